// Texts as the program's logic handles them: UTF-8, counted in characters
// where a person counts them.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace platform {

// How many characters `text` holds: its code points, a byte that is no
// UTF-8 counting as one, as a file name of another encoding shows.
std::size_t characters(std::string_view text);

// The last part of a path: the file's name without its folder.
std::string_view file_name_of(std::string_view path);

}  // namespace platform
