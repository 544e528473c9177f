#include "api/ApiTypes.h"

std::vector<ApiRoute> AccountRoutes() { return {}; }
