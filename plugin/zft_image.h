// ZFT pictures read into a QImage, strictly: a picture is taken only when
// every header field is well formed and, where the device knows its size, the
// length is 64 + 3·W·H. There is no magic number, so this strictness is what
// keeps a PNG or a text file from ever being taken for a ZFT picture.
// Shared by the Qt image plugin and the command-line tool.
#pragma once

#include <QIODevice>
#include <QImage>
#include <optional>
#include <string>

#include "format/zft_format.h"

namespace zft_image {

// The header at the device's current position, without consuming it;
// nullopt when fewer than 64 bytes are there.
std::optional<zft::ZftHeader> peek_header(QIODevice* device);

// What is wrong with the picture at the device's current position, nullopt
// when it is well formed. Consumes nothing. A sequential device cannot tell
// its length, so only its header is judged.
std::optional<std::string> fault(QIODevice* device);

// Reads the picture at the device's position into `image`, as
// Format_RGB888, allocated within QImageReader's allocation limit. On failure
// returns false, leaves `image` untouched and says why in `error`.
bool read(QIODevice* device, QImage* image, std::string* error);

// The same for a file; `error` then names no file, the caller does.
bool read_file(const QString& path, QImage* image, std::string* error);

}  // namespace zft_image
