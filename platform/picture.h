// Pictures: what the decoder gives and what picture areas and windows show.
// A null QImage is the empty picture.
#pragma once

#include <QImage>
#include <QSize>
#include <QString>

namespace platform {

using Picture = QImage;

// The size of the picture at `path`, read from its header without decoding it.
// Throws Failure when the file cannot be read as a picture.
QSize picture_size(const QString& path);

// The decoded picture at `path`. Throws Failure when it cannot be decoded.
Picture load_picture(const QString& path);

// `picture` in the format the drawing surface composes from: RGB32, or
// premultiplied ARGB32 where it has transparent parts; an empty picture stays
// empty. A picture already so is shared, not copied. Whatever composes a
// picture the way the surface does starts here.
Picture composable(const Picture& picture);

// The empty picture.
inline Picture load_picture() { return Picture(); }

}  // namespace platform
