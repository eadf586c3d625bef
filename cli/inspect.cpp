// zft info and zft verify: what a ZFT file's header says, and whether the
// file is what it says.
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include "cli/cli.h"
#include "core/file_kind.h"
#include "core/header_text.h"
#include "format/zft_format.h"

namespace cli {
namespace {

using core::header_text;

const QString kInfoHelp = QStringLiteral(
    "Usage: zft info [--json] FILE...\n"
    "Shows the header of each ZFT file as the previewer shows it, the picture's\n"
    "size, and whether the file's length is 64 + 3·W·H bytes.\n"
    "\n"
    "      --json  one JSON array, an object per file, for scripts\n"
    "  -h, --help  show this help\n"
    "\n"
    "Exit status 1 when a file cannot be read or is shorter than its header.\n");

const QString kVerifyHelp = QStringLiteral(
    "Usage: zft verify FILE...\n"
    "Checks that each file is a well-formed ZFT picture: every header field as the\n"
    "converter writes it and the length exactly 64 + 3·W·H bytes. Prints one line\n"
    "for each bad file saying what is wrong, nothing for a good one.\n"
    "\n"
    "  -h, --help  show this help\n"
    "\n"
    "Exit status 0 only when every file is well formed.\n");

// What a file holds at its start, or why it could not be looked at.
struct Look {
    QByteArray head;  // at most the header's 64 bytes
    qint64 length = 0;
    QString error;  // empty when the file was read
};

Look look_at(const QString& path) {
    Look look;
    // A pipe would keep the tool waiting; a folder or a device is no file.
    look.error = core::not_a_file_reason(path);
    if (!look.error.isEmpty())
        return look;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        look.error = file.errorString();
        return look;
    }
    look.length = file.size();
    look.head = file.read(zft::kHeaderSize);
    if (look.head.size() < look.length && look.head.size() < static_cast<qsizetype>(zft::kHeaderSize))
        look.error = file.errorString();
    return look;
}


QString length_verdict(qint64 length, std::uint64_t expected) {
    if (static_cast<std::uint64_t>(length) == expected)
        return QStringLiteral("%1 bytes, as 64 + 3·W·H").arg(length);
    return QStringLiteral("%1 bytes, but 64 + 3·W·H is %2 (%3)")
        .arg(length)
        .arg(expected)
        .arg(static_cast<std::uint64_t>(length) < expected ? QStringLiteral("cut short")
                                                           : QStringLiteral("trailing bytes"));
}

}  // namespace

int info_command(const QStringList& args) {
    QCommandLineParser parser;
    const QCommandLineOption json(QStringLiteral("json"));
    parser.addOption(json);
    if (auto done = parse_or_exit(parser, args, QStringLiteral("info"), kInfoHelp))
        return *done;
    const QStringList files = parser.positionalArguments();
    if (files.isEmpty())
        return usage_error(QStringLiteral("info"), QStringLiteral("no file given"));

    int status = kOk;
    QJsonArray array;
    bool first = true;
    for (const QString& path : files) {
        const Look look = look_at(path);
        QString problem = look.error;
        if (problem.isEmpty() && look.head.size() < static_cast<qsizetype>(zft::kHeaderSize))
            problem = QString::fromStdString(zft::short_file_fault(static_cast<std::uint64_t>(look.length)));
        if (!problem.isEmpty()) {
            print_err(QStringLiteral("zft info: cannot read %1: %2\n").arg(native(path), problem));
            status = kFailed;
            if (parser.isSet(json))
                array.append(QJsonObject{{QStringLiteral("path"), path}, {QStringLiteral("error"), problem}});
            continue;
        }

        const zft::ZftHeader header = zft::decode_header(std::string_view(look.head.constData(), zft::kHeaderSize));
        const int width = header.width_value();
        const int height = header.height_value();
        const std::uint64_t expected = zft::file_size(width, height);
        const auto fault = zft::file_fault(std::string_view(look.head.constData(), zft::kHeaderSize),
                                           static_cast<std::uint64_t>(look.length));
        const QString date = header_text(header.creation_month) + u'/' + header_text(header.creation_day) + u'/' +
                             header_text(header.creation_year);
        if (parser.isSet(json)) {
            array.append(QJsonObject{
                {QStringLiteral("path"), path},
                {QStringLiteral("version"), header_text(header.version)},
                {QStringLiteral("creation_date"), date},
                {QStringLiteral("copyright_notice"), header_text(header.copyright_notice)},
                {QStringLiteral("width"), header_text(header.width)},
                {QStringLiteral("height"), header_text(header.height)},
                {QStringLiteral("width_pixels"), width},
                {QStringLiteral("height_pixels"), height},
                {QStringLiteral("file_size"), look.length},
                {QStringLiteral("expected_size"), static_cast<qint64>(expected)},
                {QStringLiteral("length_matches"), static_cast<std::uint64_t>(look.length) == expected},
                {QStringLiteral("well_formed"), !fault.has_value()},
                {QStringLiteral("fault"), fault ? QJsonValue(QString::fromStdString(*fault)) : QJsonValue()},
            });
            continue;
        }
        if (!first)
            print_out(QStringLiteral("\n"));
        first = false;
        QString shown = native(path) + u'\n';
        for (const QString& line : core::header_summary_lines(header))
            shown += QStringLiteral("  ") + line + u'\n';
        print_out(shown + QStringLiteral("  size: %1 × %2 pixels\n"
                                         "  length: %3\n")
                              .arg(QString::number(width), QString::number(height),
                                   length_verdict(look.length, expected)));
    }
    if (parser.isSet(json))
        print_out(QString::fromUtf8(QJsonDocument(array).toJson(QJsonDocument::Indented)));
    return status;
}

int verify_command(const QStringList& args) {
    QCommandLineParser parser;
    if (auto done = parse_or_exit(parser, args, QStringLiteral("verify"), kVerifyHelp))
        return *done;
    const QStringList files = parser.positionalArguments();
    if (files.isEmpty())
        return usage_error(QStringLiteral("verify"), QStringLiteral("no file given"));

    int status = kOk;
    for (const QString& path : files) {
        const Look look = look_at(path);
        QString fault;
        if (!look.error.isEmpty()) {
            fault = QStringLiteral("cannot be read: ") + look.error;
        } else if (auto problem = zft::file_fault(std::string_view(look.head.constData(),
                                                                   static_cast<std::size_t>(look.head.size())),
                                                  static_cast<std::uint64_t>(look.length))) {
            fault = QString::fromStdString(*problem);
        }
        if (!fault.isEmpty()) {
            print_out(QStringLiteral("%1: %2\n").arg(native(path), fault));
            status = kFailed;
        }
    }
    return status;
}

}  // namespace cli
