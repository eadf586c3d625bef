// What the tests of the command-line tool and the image plugin share: running
// `zft`, and ZFT files changed byte by byte.
#pragma once

#include <QByteArray>
#include <QProcess>
#include <QString>
#include <QStringList>

#include "tests/support/fixtures.h"

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

}  // namespace clitest
