#include <QString>
#include <QStringList>
#include <array>
#include <cstdio>
#include <cstdlib>

#include "cli/cli.h"

namespace {

const QString kHelp = QStringLiteral(
    "Usage: zft COMMAND [OPTION]... FILE...\n"
    "Converts pictures to ZFT picture files and back, and inspects ZFT files.\n"
    "\n"
    "Commands:\n"
    "  info       show the header of ZFT files\n"
    "  convert    convert JPG, GIF, BMP (and other) pictures to ZFT files\n"
    "  export     write a ZFT picture as PNG, BMP, JPEG or PPM\n"
    "  verify     check that ZFT files are well formed\n"
    "  thumbnail  write a small PNG of a ZFT picture\n"
    "\n"
    "  -h, --help     show this help; 'zft COMMAND --help' shows a command's\n"
    "  -V, --version  show the version\n"
    "\n"
    "Exit status: 0 when everything was done, 1 when a file failed, 2 when the\n"
    "command line is wrong.\n");

struct Command {
    const char* name;
    int (*run)(const QStringList&);
};

constexpr std::array kCommands = {
    Command{"info", cli::info_command},       Command{"convert", cli::convert_command},
    Command{"export", cli::export_command},   Command{"verify", cli::verify_command},
    Command{"thumbnail", cli::thumbnail_command},
};

// Qt's own warnings (a PNG's colour profile, a missing runtime folder) say
// nothing the user can act on here: every failure is told by the command.
void quiet(QtMsgType type, const QMessageLogContext&, const QString& message) {
    if (type == QtCriticalMsg || type == QtFatalMsg)
        cli::print_err(message + u'\n');
}

}  // namespace

int main(int argc, char* argv[]) {
    qInstallMessageHandler(quiet);
    // No application object: the tool has no event loop, plugins or
    // settings, and starts sooner without one. Arguments are in the
    // locale's encoding, as the system passes them.
    QStringList args;
    for (int i = 1; i < argc; ++i)
        args << QString::fromLocal8Bit(argv[i]);
    if (args.isEmpty()) {
        cli::print_err(kHelp);
        return cli::kUsage;
    }
    const QString first = args.takeFirst();
    if (first == QLatin1String("-h") || first == QLatin1String("--help") || first == QLatin1String("help")) {
        cli::print_out(kHelp);
        return cli::kOk;
    }
    if (first == QLatin1String("-V") || first == QLatin1String("--version")) {
        cli::print_out(QStringLiteral("zft %1\n").arg(QStringLiteral(ZFT_VERSION)));
        return cli::kOk;
    }
    for (const Command& command : kCommands) {
        if (first == QLatin1String(command.name)) {
            const int status = command.run(args);
            // Every file is written and closed by now. Taking the libraries
            // and plugins apart costs a whole-file conversion's worth of
            // time again, and leaves nothing behind that the system does
            // not clear anyway.
            std::fflush(stdout);
            std::fflush(stderr);
            std::_Exit(status);
        }
    }
    cli::print_err(QStringLiteral("zft: '%1' is not a command\nTry 'zft --help'.\n").arg(first));
    return cli::kUsage;
}
