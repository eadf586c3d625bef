// zft export and zft thumbnail: a ZFT picture back to an ordinary picture.
#include <QFileInfo>
#include <stdexcept>

#include "cli/cli.h"
#include "core/atomic_file.h"
#include "core/encoding.h"
#include "core/failure.h"
#include "core/scaling.h"
#include "core/zft_reading.h"

namespace cli {
namespace {

const QString kExportHelp = QStringLiteral(
    "Usage: zft export IN.zft OUT.png|OUT.bmp|OUT.jpg|OUT.ppm\n"
    "Writes the ZFT picture IN.zft as an ordinary picture, in the format its\n"
    "name ends with. PNG, BMP and PPM keep every pixel exactly; JPEG is written\n"
    "at quality 95. An existing OUT is replaced.\n"
    "\n"
    "  -h, --help  show this help\n");

const QString kThumbnailHelp = QStringLiteral(
    "Usage: zft thumbnail IN.zft OUT.png SIZE\n"
    "Writes a PNG of the ZFT picture whose longer side is at most SIZE pixels,\n"
    "for the desktop's thumbnailer. A picture already small enough keeps its size.\n"
    "On failure nothing is written and the exit status is 1.\n"
    "\n"
    "  -h, --help  show this help\n");

// The file format for an output name, or empty when the tool writes none.
QByteArray format_for(const QString& path) {
    const QString suffix = QFileInfo(path).suffix().toLower();
    if (suffix == QLatin1String("png") || suffix == QLatin1String("bmp") || suffix == QLatin1String("ppm"))
        return suffix.toLatin1();
    if (suffix == QLatin1String("jpg") || suffix == QLatin1String("jpeg"))
        return QByteArrayLiteral("jpeg");
    return {};
}

// Reads a ZFT file strictly; on failure says so on stderr and gives the
// empty picture.
core::Picture read_zft(const QString& command, const QString& path) {
    try {
        return core::read_zft_file(path);
    } catch (const core::Failure& failure) {
        print_err(QStringLiteral("zft %1: %2\n").arg(command, failure.message()));
        return {};
    }
}

std::string encoded(const core::Picture& picture, const QByteArray& format) {
    if (format == "png")
        return core::encode_png(picture);
    if (format == "bmp")
        return core::encode_bmp(picture);
    if (format == "ppm")
        return core::encode_ppm(picture);
    return core::encode_jpeg(picture, 95);
}

// Writes all of it or nothing: an existing file stays as it was on failure.
bool save(const QString& command, const core::Picture& picture, const QString& path, const QByteArray& format) {
    try {
        std::string bytes;
        try {
            bytes = encoded(picture, format);
        } catch (const std::runtime_error& error) {
            throw core::cannot(QStringLiteral("write"), path, QString::fromStdString(error.what()));
        }
        core::AtomicFile file;
        file.open(path);
        file.write(bytes);
        file.commit();
        return true;
    } catch (const core::Failure& failure) {
        print_err(QStringLiteral("zft %1: %2\n").arg(command, failure.message()));
        return false;
    }
}

}  // namespace

int export_command(const QStringList& args) {
    const QString command = QStringLiteral("export");
    QCommandLineParser parser;
    if (auto done = parse_or_exit(parser, args, command, kExportHelp))
        return *done;
    const QStringList files = parser.positionalArguments();
    if (files.size() != 2)
        return usage_error(command, QStringLiteral("give one ZFT file and one output picture"));
    const QByteArray format = format_for(files[1]);
    if (format.isEmpty())
        return usage_error(command, QStringLiteral("%1 does not end in .png, .bmp, .jpg or .ppm").arg(files[1]));
    const core::Picture picture = read_zft(command, files[0]);
    if (picture.isNull())
        return kFailed;
    return save(command, picture, files[1], format) ? kOk : kFailed;
}

int thumbnail_command(const QStringList& args) {
    const QString command = QStringLiteral("thumbnail");
    QCommandLineParser parser;
    if (auto done = parse_or_exit(parser, args, command, kThumbnailHelp))
        return *done;
    const QStringList files = parser.positionalArguments();
    if (files.size() != 3)
        return usage_error(command, QStringLiteral("give a ZFT file, an output PNG and a size"));
    bool ok = false;
    const int size = files[2].toInt(&ok);
    if (!ok || size < 1)
        return usage_error(command, QStringLiteral("the size '%1' is not a number of pixels").arg(files[2]));
    core::Picture picture = read_zft(command, files[0]);
    if (picture.isNull())
        return kFailed;
    const core::Size small = core::fit_within(picture.size(), {size, size});
    if (small != picture.size())
        picture = core::reduce(picture, small);
    return save(command, picture, files[1], QByteArrayLiteral("png")) ? kOk : kFailed;
}

}  // namespace cli
