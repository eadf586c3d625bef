// What the tests of the command-line tool and the image plugin share: running
// `zft`, fixture pictures, and ZFT files made byte by byte.
#pragma once

#include <QByteArray>
#include <QColor>
#include <QFile>
#include <QImage>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <string>

#include "format/zft_format.h"

namespace clitest {

struct Run {
    int status = -1;
    QByteArray out;
    QByteArray err;
};

// Runs the built `zft` with `args` and waits for it, two minutes at most.
inline Run run_zft(const QStringList& args, const QString& workingDirectory = {}) {
    QProcess process;
    process.setProgram(QStringLiteral(ZFT_TOOL));
    process.setArguments(args);
    if (!workingDirectory.isEmpty())
        process.setWorkingDirectory(workingDirectory);
    process.start();
    Run run;
    if (!process.waitForFinished(120000)) {
        process.kill();
        process.waitForFinished(5000);
        run.err = "zft did not finish";
        return run;
    }
    run.status = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    run.out = process.readAllStandardOutput();
    run.err = process.readAllStandardError();
    return run;
}

// w × h, every pixel its own colour, red growing to the right and blue
// downwards: a swapped channel, a flipped row or a shifted column shows.
inline QImage asymmetric(int w, int h) {
    QImage image(w, h, QImage::Format_RGB32);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            image.setPixel(x, y, qRgb((x * 37 + 13) % 256, (x * 11 + y * 29 + 10) % 256, (y * 53 + 26) % 256));
    return image;
}

// The bytes of a well-formed ZFT file for an opaque picture.
inline QByteArray zft_bytes(const QImage& picture, const std::string& notice = "fixture", int month = 9,
                            int day = 3, int year = 2004) {
    const std::string header = zft::encode_header(
        zft::make_header(month, day, year, notice, picture.width(), picture.height()));
    QByteArray bytes(header.data(), static_cast<qsizetype>(header.size()));
    for (int y = 0; y < picture.height(); ++y) {
        for (int x = 0; x < picture.width(); ++x) {
            const QRgb pixel = picture.pixel(x, y);
            bytes.append(static_cast<char>(qRed(pixel)));
            bytes.append(static_cast<char>(qGreen(pixel)));
            bytes.append(static_cast<char>(qBlue(pixel)));
        }
    }
    return bytes;
}

inline bool write_file(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

inline QByteArray read_file(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// A GIF89a of an 8-bit indexed picture, `transparent` the index drawn as
// nothing (-1 for none). Qt reads GIF but does not write it. The codes stay
// 9 bits wide: a clear code comes before the table would grow past 511.
inline QByteArray gif_bytes(const QImage& indexed, int transparent) {
    QByteArray out("GIF89a");
    auto word = [&](int v) {
        out.append(static_cast<char>(v & 0xFF));
        out.append(static_cast<char>(v >> 8));
    };
    word(indexed.width());
    word(indexed.height());
    out.append(static_cast<char>(0xF7));  // global table of 256 entries
    out.append('\0');
    out.append('\0');
    const QList<QRgb> table = indexed.colorTable();
    for (int i = 0; i < 256; ++i) {
        const QRgb c = i < table.size() ? table[i] : 0;
        out.append(static_cast<char>(qRed(c)));
        out.append(static_cast<char>(qGreen(c)));
        out.append(static_cast<char>(qBlue(c)));
    }
    if (transparent >= 0) {
        out.append("\x21\xF9\x04\x01", 4);
        word(0);
        out.append(static_cast<char>(transparent));
        out.append('\0');
    }
    out.append(',');
    word(0);
    word(0);
    word(indexed.width());
    word(indexed.height());
    out.append('\0');
    out.append('\x08');  // minimum code size

    QByteArray codes;
    quint32 bits = 0;
    int count = 0;
    auto put = [&](int code) {
        bits |= static_cast<quint32>(code) << count;
        count += 9;
        while (count >= 8) {
            codes.append(static_cast<char>(bits & 0xFF));
            bits >>= 8;
            count -= 8;
        }
    };
    int run = 0;
    for (int y = 0; y < indexed.height(); ++y) {
        for (int x = 0; x < indexed.width(); ++x) {
            if (run == 0)
                put(256);
            put(indexed.pixelIndex(x, y));
            run = (run + 1) % 250;
        }
    }
    put(257);
    if (count > 0)
        codes.append(static_cast<char>(bits & 0xFF));
    for (qsizetype i = 0; i < codes.size(); i += 255) {
        const QByteArray block = codes.mid(i, 255);
        out.append(static_cast<char>(block.size()));
        out.append(block);
    }
    out.append('\0');
    out.append(';');
    return out;
}

}  // namespace clitest
