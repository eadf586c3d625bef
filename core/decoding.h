// Reading picture files (JPG, GIF, BMP, PNG) into pictures.
#pragma once

#include <QString>

#include "core/failure.h"
#include "core/picture.h"

namespace core {

// The size of the picture at `path`, read from its header without decoding
// it. Throws Failure when the file cannot be read as a picture.
Size picture_size(const QString& path);

// The decoded picture at `path`. Throws Failure when it cannot be decoded.
Picture load_picture(const QString& path);

// The empty picture.
inline Picture load_picture() { return Picture(); }

// The failure of a picture too large for a ZFT file; `hint` is added to the
// reason when not empty.
Failure too_large(const QString& path, Size size, const QString& hint = {});

}  // namespace core
