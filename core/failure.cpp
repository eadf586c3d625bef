#include "core/failure.h"

#include <system_error>
#include <sys/stat.h>

#include "core/file_kind.h"

namespace core {

Failure cannot(std::string_view action, std::string_view path, std::string_view reason) {
    std::string message = "Cannot ";
    message.append(action).append(" ").append(path).append(": ").append(reason);
    return Failure(std::move(message));
}

std::string system_reason(int error) { return std::generic_category().message(error); }

std::string not_a_file_reason(const std::string& path) {
    struct stat status {};
    if (::stat(path.c_str(), &status) != 0)
        return {};
    if (S_ISDIR(status.st_mode))
        return "it is a folder";
    if (!S_ISREG(status.st_mode))
        return "it is not a regular file (a device or a pipe)";
    return {};
}

}  // namespace core
