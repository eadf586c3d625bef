#include "core/file_kind.h"

#include <sys/stat.h>

namespace core {

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
