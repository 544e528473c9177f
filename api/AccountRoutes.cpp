#include "api/AccountRouteParts.h"

std::vector<ApiRoute> AccountRoutes() {
    std::vector<ApiRoute> routes = UserRoutes();
    for (auto* group : {GroupRoutes, FolderRoutes})
        for (ApiRoute& route : group()) routes.push_back(std::move(route));
    return routes;
}
