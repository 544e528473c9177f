#include "api/ApiTypes.h"

std::vector<ApiRoute> SignInRoutes() { return {}; }
