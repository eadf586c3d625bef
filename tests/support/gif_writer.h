// A GIF writer for test pictures with known pixels; Qt reads GIF but cannot
// write it. One frame, a full 256-entry colour table, optionally one
// transparent colour (a Graphic Control Extension).
#pragma once

#include <QByteArray>
#include <QImage>
#include <QList>
#include <QRgb>
#include <QString>
#include <vector>

namespace testing {

struct IndexedPicture {
    int width = 0;
    int height = 0;
    QList<QRgb> palette;                  // at most 256 colours; alpha ignored
    std::vector<unsigned char> indices;  // width × height, row by row from the top
    int transparentIndex = -1;            // -1: none
};

QByteArray gif_bytes(const IndexedPicture& picture);
// The same for an 8-bit indexed picture; `transparentIndex` -1 for none.
QByteArray gif_bytes(const QImage& indexed, int transparentIndex = -1);
bool write_gif(const QString& path, const IndexedPicture& picture);

}  // namespace testing
