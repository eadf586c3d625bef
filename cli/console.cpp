#include <QDir>
#include <cstdio>

#include "cli/cli.h"

namespace cli {
namespace {

void write(std::FILE* stream, const QString& text) {
    const QByteArray bytes = text.toUtf8();
    std::fwrite(bytes.constData(), 1, static_cast<std::size_t>(bytes.size()), stream);
    std::fflush(stream);
}

}  // namespace

void print_out(const QString& text) { write(stdout, text); }
void print_err(const QString& text) { write(stderr, text); }

QString native(const QString& path) { return QDir::toNativeSeparators(path); }

int usage_error(const QString& command, const QString& problem) {
    print_err(QStringLiteral("zft %1: %2\nTry 'zft %1 --help'.\n").arg(command, problem));
    return kUsage;
}

std::optional<int> parse_or_exit(QCommandLineParser& parser, const QStringList& args, const QString& command,
                                 const QString& help) {
    const QCommandLineOption helpOption(QStringList{QStringLiteral("h"), QStringLiteral("help")});
    parser.addOption(helpOption);
    // The parser takes the first argument for the program's name.
    QStringList withProgram = args;
    withProgram.prepend(QStringLiteral("zft"));
    if (!parser.parse(withProgram))
        return usage_error(command, parser.errorText());
    if (parser.isSet(helpOption)) {
        print_out(help);
        return kOk;
    }
    return std::nullopt;
}

}  // namespace cli
