#include "api/ApiTypes.h"

#include <utility>

#include "server/AdminOperations.h"

ApiResponse ApiError(int status, std::string message) {
    ApiResponse response;
    response.status = status;
    response.body = {{"error", std::move(message)}};
    return response;
}

AdminOrigin OriginOf(ApiTransport transport) {
    return transport == ApiTransport::Network ? AdminOrigin::Network : AdminOrigin::ControlSocket;
}
