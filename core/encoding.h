// Opaque pictures written as ordinary picture files, in memory: what zft
// export and zft thumbnail put into files.
#pragma once

#include <string>

#include "core/picture.h"

namespace core {

// Each throws Failure, not yet said of a file, when it cannot encode.
// Every pixel exactly, 8 bits a channel, no alpha.
std::string encode_png(const Picture& picture);
std::string encode_bmp(const Picture& picture);  // 24 bits, bottom-up, no compression
std::string encode_ppm(const Picture& picture);  // binary P6

// JPEG at `quality` (1 to 100), no chroma subsampling.
std::string encode_jpeg(const Picture& picture, int quality);

}  // namespace core
