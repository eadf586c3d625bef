// What the tests that run `zft` share (the command-line tool's, the image
// plugin's, the converter's): running it, ZFT files changed byte by byte,
// and pictures that leave pixels to the background.
#pragma once

#include <QByteArray>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <vector>

#include "tests/support/bmp_writer.h"
#include "tests/support/fixtures.h"
#include "tests/support/gif_writer.h"

namespace clitest {

struct Run {
    int status = -1;
    QByteArray out;
    QByteArray err;
};

// Runs `program` with `args`, `input` on its standard input, and waits for
// it, two minutes at most.
inline Run run_process(const QString& program, const QStringList& args, const QString& workingDirectory = {},
                       const QByteArray& input = {}) {
    QProcess process;
    process.setProgram(program);
    process.setArguments(args);
    if (!workingDirectory.isEmpty())
        process.setWorkingDirectory(workingDirectory);
    process.start();
    process.write(input);
    process.closeWriteChannel();
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

// Runs the built `zft` with `args`.
inline Run run_zft(const QStringList& args, const QString& workingDirectory = {}, const QByteArray& input = {}) {
    return run_process(QStringLiteral(ZFT_TOOL), args, workingDirectory, input);
}

// Runs a shell script in which "$0" is the built `zft`: for file names that
// are bytes rather than text, and for limits set before zft starts.
inline Run run_script(const QString& script, const QString& workingDirectory) {
    return run_process(QStringLiteral("sh"), {"-c", script, QStringLiteral(ZFT_TOOL)}, workingDirectory);
}

// `bytes` with `replacement` written over them from `offset` on.
inline QByteArray with(QByteArray bytes, int offset, const QByteArray& replacement) {
    return bytes.replace(offset, replacement.size(), replacement);
}

struct Picture {
    const char* row;
    QString name;
    QByteArray bytes;
};

// Files that set no pixel at the top-left corner, so that whatever was
// shown before could show through there: the first pixel of their ZFT file
// (offset 64) is the window's colour.
inline std::vector<Picture> pictures_leaving_pixels_unset() {
    // 5 × 4: three pixels on the bottom row, two on the next, then the end.
    testing::Bmp rle;
    rle.width = 5;
    rle.height = 4;
    rle.bits = 8;
    rle.compression = 1;
    rle.palette = {0x102030, 0xC0B0A0};
    rle.data = QByteArray::fromHex("0301000002000001");
    testing::GifScreen gif;
    gif.width = 20;
    gif.height = 15;
    gif.palette = QList<QRgb>{qRgb(9, 8, 7), qRgb(200, 100, 50)};
    testing::GifBlock block;
    block.left = 3;
    block.top = 4;
    block.width = block.height = 5;
    block.indices.assign(25, 1);
    gif.blocks.push_back(block);
    return {{"BMP whose RLE stream ends early", QStringLiteral("d.bmp"), testing::bytes(rle)},
            {"GIF block on a larger screen", QStringLiteral("d.gif"), testing::gif_bytes(gif)}};
}

}  // namespace clitest
