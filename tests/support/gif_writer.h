// A GIF writer for test pictures with known pixels; Qt reads GIF but cannot
// write it. One frame, a full 256-entry colour table, optionally one
// transparent colour (a Graphic Control Extension); or, for the decoder's
// tests, several blocks with their places, tables and control extensions.
#pragma once

#include <QByteArray>
#include <QImage>
#include <QList>
#include <QRgb>
#include <QString>
#include <optional>
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

// A 40 × 30 GIF of 16 colours whose colour 3 is transparent, in stripes and a
// diagonal: (0, 0) is transparent, (1, 0) colour 1, RGB (16, 242, 71).
QByteArray transparent_stripes_gif();

// One image block. A table of n colours is written with the next power of
// two entries (at least 2), the rest black.
struct GifBlock {
    int left = 0;
    int top = 0;
    int width = 0;
    int height = 0;
    std::vector<unsigned char> indices;  // width × height, row by row from the top
    std::optional<QList<QRgb>> palette;  // the block's own colour table
    bool interlaced = false;
    // A Graphic Control Extension goes before the block when any of these
    // differs from "none".
    int delay = 0;         // hundredths of a second
    int disposal = 0;      // 1 leave, 2 restore to background, 3 restore to previous
    int transparentIndex = -1;
};

struct GifScreen {
    int width = 0;
    int height = 0;
    std::optional<QList<QRgb>> palette;  // the global colour table
    std::vector<GifBlock> blocks;
    bool trailer = true;
};

QByteArray gif_bytes(const GifScreen& gif);

}  // namespace testing
