// ZFT picture files read strictly, for the tools that turn them into other
// pictures (zft export and thumbnail): a picture is taken only when every
// header field is well formed and the length is 64 + 3·W·H.
// (The previewer reads as the window's command does, trusting the header.)
#pragma once

#include <cstdint>
#include <span>
#include <string>

#include "core/picture.h"

namespace core {

// The ZFT picture at `path`, opaque. Throws Failure naming the file.
Picture read_zft_file(const std::string& path);

// The same for a file's bytes in memory (read from a pipe); `name` stands
// for its path in messages.
Picture read_zft_data(std::span<const std::uint8_t> bytes, const std::string& name);

}  // namespace core
