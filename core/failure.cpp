#include "core/failure.h"

#include <cerrno>
#include <system_error>

namespace core {

Failure::Failure(Kind kind, std::string reason) : kind_(kind), reason_(std::move(reason)), message_(reason_) {}

Failure Failure::of(std::string_view action, std::string_view path) const {
    if (ofFile_)
        return *this;
    return cannot(action, path, reason_, kind_);
}

Failure cannot(std::string_view action, std::string_view path, std::string_view reason, Failure::Kind kind) {
    Failure failure(kind, std::string(reason));
    failure.path_ = path;
    failure.ofFile_ = true;
    failure.message_ = "Cannot ";
    failure.message_.append(action).append(" ").append(path.empty() ? "''" : path).append(": ").append(reason);
    return failure;
}

Failure system_failure(std::string_view action, std::string_view path, int error) {
    return cannot(action, path, system_reason(error), error == ENOMEM ? Failure::Kind::OutOfMemory : Failure::Kind::Io);
}

Failure system_failure(int error) {
    return Failure(error == ENOMEM ? Failure::Kind::OutOfMemory : Failure::Kind::Io, system_reason(error));
}

std::string system_reason(int error) { return std::generic_category().message(error); }

}  // namespace core
