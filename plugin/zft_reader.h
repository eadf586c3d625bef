// ZFT pictures read strictly from a Qt device: a picture is taken only when
// every header field is well formed and, where the device knows its size,
// the length is 64 + 3·W·H. There is no magic number, so this strictness is
// what keeps a PNG or a text file from ever being taken for a ZFT picture.
#pragma once

#include <QIODevice>
#include <functional>
#include <optional>
#include <string>

#include "format/zft_format.h"

class ZftReader {
public:
    // Reads from the device's current position on; consumes nothing until
    // readPixels().
    explicit ZftReader(QIODevice* device) : device_(device) {}

    // What is wrong with the picture there, nullopt when it is well formed.
    // A sequential device cannot tell its length, so only its header is judged.
    std::optional<std::string> fault() const;

    // The header, when 64 bytes are there.
    std::optional<zft::ZftHeader> header() const;

    // Reads the pixels of a well-formed picture, row by row: the 3·W bytes
    // of row y go to rowAt(y). Gives what went wrong, nullopt when all came.
    std::optional<std::string> readPixels(const std::function<char*(int y)>& rowAt);

private:
    QIODevice* device_;
};
