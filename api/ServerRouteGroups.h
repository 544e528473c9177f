// The groups that make up ServerRoutes(), one file each.
#pragma once

#include <vector>

#include "api/ApiTypes.h"

std::vector<ApiRoute> ServerStateRoutes();  // server, stats
std::vector<ApiRoute> SessionRoutes();      // sessions, bans
std::vector<ApiRoute> LogRoutes();          // log
std::vector<ApiRoute> IpListRoutes();       // iplists, iplists/allow, iplists/deny
std::vector<ApiRoute> OptionRoutes();       // options
std::vector<ApiRoute> HistoryRoutes();      // history
