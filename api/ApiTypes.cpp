#include "api/ApiTypes.h"

#include <utility>

ApiResponse ApiError(int status, std::string message) {
    ApiResponse response;
    response.status = status;
    response.body = {{"error", std::move(message)}};
    return response;
}
