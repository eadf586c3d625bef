// What the tests of the command-line tool and the image plugin share: running
// `zft`, and ZFT files made byte by byte.
#pragma once

#include <QByteArray>
#include <QImage>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <string>

#include "format/zft_format.h"
#include "tests/support/fixtures.h"

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

// The bytes of a well-formed ZFT file for an opaque picture.
inline QByteArray zft_bytes(const QImage& picture, const std::string& notice = "fixture", int month = 9,
                            int day = 3, int year = 2004) {
    const std::string header = zft::encode_header(
        zft::make_header(month, day, year, notice, picture.width(), picture.height()));
    return QByteArray(header.data(), static_cast<qsizetype>(header.size())) + testing::rgb_bytes(picture);
}

// `bytes` with `replacement` written over them from `offset` on.
inline QByteArray with(QByteArray bytes, int offset, const QByteArray& replacement) {
    return bytes.replace(offset, replacement.size(), replacement);
}

}  // namespace clitest
