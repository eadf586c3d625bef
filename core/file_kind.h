// What kind of thing a path names, in the words a message to the user needs.
#pragma once

#include <string>

namespace core {

// Why `path` cannot be read or written as a file, or an empty text when it
// can be tried. A folder cannot; nor can a pipe or a device: opening one to
// read can wait for ever, and replacing one by a finished file (the way files
// are written here) would destroy it.
std::string not_a_file_reason(const std::string& path);

}  // namespace core
