// The `zft` command-line tool: one function per command, each taking the
// arguments after the command's name and giving the exit status.
#pragma once

#include <QCommandLineParser>
#include <QString>
#include <QStringList>
#include <optional>

namespace cli {

enum Exit : int {
    kOk = 0,
    kFailed = 1,  // a file could not be done; the others were
    kUsage = 2,   // the command line itself is wrong; nothing was done
};

int info_command(const QStringList& args);
int verify_command(const QStringList& args);
int convert_command(const QStringList& args);
int export_command(const QStringList& args);
int thumbnail_command(const QStringList& args);

// Writes to standard output or standard error, UTF-8, as is.
void print_out(const QString& text);
void print_err(const QString& text);

// "zft convert: <problem>" and a pointer to the command's help, on stderr.
int usage_error(const QString& command, const QString& problem);

QString native(const QString& path);

// Parses `args` with `parser`, which gets --help added. Gives the exit status
// when the command is done already (help printed, or a usage error told),
// nullopt when it goes on.
std::optional<int> parse_or_exit(QCommandLineParser& parser, const QStringList& args, const QString& command,
                                 const QString& help);

}  // namespace cli
