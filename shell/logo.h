// The logo's JPEG bytes, assets/logo.jpg built into the program as an array
// (embed.cmake writes it into a source file of the build), the same bytes
// on every platform.
#pragma once

#include <cstddef>

namespace shell {

extern const unsigned char kLogoJpeg[];
extern const std::size_t kLogoJpegSize;

}  // namespace shell
