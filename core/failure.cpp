#include "core/failure.h"

#include <system_error>

namespace core {

Failure cannot(std::string_view action, std::string_view path, std::string_view reason) {
    std::string message = "Cannot ";
    message.append(action).append(" ").append(path).append(": ").append(reason);
    Failure failure(std::move(message));
    failure.path_ = path;
    failure.reason_ = reason;
    return failure;
}

std::string system_reason(int error) { return std::generic_category().message(error); }

}  // namespace core
