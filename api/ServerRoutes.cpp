#include "api/ServerRouteGroups.h"

std::vector<ApiRoute> ServerRoutes() {
    std::vector<ApiRoute> routes;
    for (std::vector<ApiRoute> group : {ServerStateRoutes(), SessionRoutes(), LogRoutes(),
                                        IpListRoutes(), OptionRoutes(), HistoryRoutes()})
        for (ApiRoute& route : group) routes.push_back(std::move(route));
    return routes;
}
