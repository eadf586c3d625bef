// Fixture pictures and files for the tests and the benchmarks.
#pragma once

#include <QByteArray>
#include <QDate>
#include <QImage>
#include <QRgb>
#include <QString>
#include <QStringList>

#include "core/picture.h"

namespace testing {

// The colour of pixel (x, y) of `asymmetric`: red grows to the right, green
// downwards and blue with both, each wrapping round at 256. No two pixels of
// a picture up to 100 × 100 (6 × 5 and 65 × 7 among them) share a colour and
// none is grey, so a swapped channel, a flipped row or a column off by one
// changes the bytes.
QRgb asymmetric_colour(int x, int y);

// A w × h picture of `asymmetric_colour`, opaque.
QImage asymmetric(int w, int h);

// A w × h picture of one colour, opaque.
QImage filled(int w, int h, QRgb colour);

// `image` as the program's pictures hold it; with alpha where it has any.
core::Picture picture_of(const QImage& image);

// The pixels of an opaque picture as a ZFT file holds them: red, green and
// blue of every pixel, row by row from the top.
QByteArray rgb_bytes(const QImage& picture);

// The 64 bytes of a ZFT header from its fields as stored: any bytes in any
// field, for files the converter would never write. The notice is padded
// with spaces to its 48 bytes; every other field must have its width.
QByteArray header_bytes(const QByteArray& version, const QByteArray& date, const QByteArray& notice,
                        const QByteArray& width, const QByteArray& height);

// The header the converter writes for a w × h picture.
QByteArray header_bytes(int w, int h, const QByteArray& notice = "fixture", QDate date = QDate(2004, 9, 3));

// A well-formed ZFT file of an opaque picture: that header, then its pixels.
QByteArray zft_bytes(const QImage& picture, const QByteArray& notice = "fixture", QDate date = QDate(2004, 9, 3));

// The whole file, or nothing when it cannot be read.
QByteArray contents(const QString& path);

// Whether all of `bytes` went into the file.
bool write_file(const QString& path, const QByteArray& bytes);

// Every name in `folder`, hidden ones too, sorted.
QStringList entries(const QString& folder);

// Whether this process holds the file at `path` open, as /proc/self/fd says.
bool held_open(const QString& path);

}  // namespace testing
