// zft convert: pictures to ZFT files, the same bytes the windowed converter
// writes for the same picture, notice and date, many files at once.
#include <QCoreApplication>
#include <QDate>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImageReader>
#include <QThread>
#include <algorithm>
#include <atomic>
#include <cmath>
#include <fcntl.h>
#include <mutex>
#include <system_error>
#include <thread>
#include <unistd.h>
#include <vector>

#include "cli/cli.h"
#include "conversion/notice.h"
#include "conversion/shown_picture.h"
#include "format/zft_format.h"
#include "platform/failure.h"
#include "platform/file_kind.h"
#include "platform/picture.h"

namespace cli {
namespace {

const QString kHelp = QStringLiteral(
    "Usage: zft convert [OPTION]... INPUT... (-o OUT.zft | -d DIR)\n"
    "Converts JPG, GIF and BMP pictures, and any other picture Qt reads, to ZFT\n"
    "picture files. A file gets the same bytes as the windowed converter writes\n"
    "for the same picture, notice and date; transparent parts take the colour of\n"
    "the main window's background.\n"
    "\n"
    "  -o, --output OUT.zft  the file to write (one input only)\n"
    "  -d, --directory DIR   write INPUT's name with .zft into DIR, made if missing\n"
    "      --notice TEXT     the copyright notice (default: none); spaces around it\n"
    "                        are dropped and it is cut to 48 characters\n"
    "      --date MM/DD/YYYY the creation date (default: today)\n"
    "      --fit             scale a picture larger than 999 × 999 pixels down to\n"
    "                        fit, keeping its proportions (default: refuse it)\n"
    "      --force           replace existing files (default: keep them, and fail)\n"
    "  -j, --jobs N          convert N files at a time (default: one per core)\n"
    "  -h, --help            show this help\n"
    "\n"
    "Files are converted in parallel; on a terminal the progress is shown as\n"
    "done/total. A file that fails gets one line on standard error and nothing\n"
    "written; the others are still converted, and the exit status is then 1.\n");

struct Settings {
    std::string notice;  // Windows-1252, not yet trimmed or padded
    QDate date;
    bool fit = false;
    bool force = false;
    QColor background;
};

struct Job {
    QString input;
    QString output;
    QString clash;  // another input with the same output, when there is one
};

QString cannot(const Job& job, const QString& reason) {
    return QStringLiteral("Cannot convert %1: %2").arg(native(job.input), reason);
}

// The largest size within 999 × 999 with the picture's proportions, never
// below one pixel a side.
QSize fitted(QSize size) {
    const double scale = std::min(static_cast<double>(zft::kMaxDimension) / size.width(),
                                  static_cast<double>(zft::kMaxDimension) / size.height());
    return QSize(std::clamp(static_cast<int>(std::lround(size.width() * scale)), 1, zft::kMaxDimension),
                 std::clamp(static_cast<int>(std::lround(size.height() * scale)), 1, zft::kMaxDimension));
}

bool too_large(QSize size) { return size.width() > zft::kMaxDimension || size.height() > zft::kMaxDimension; }

QString too_large_reason(QSize size) {
    return QStringLiteral("the picture is %1 × %2 pixels, and a ZFT picture can be at most 999 × 999 pixels "
                          "(--fit scales it down)")
        .arg(size.width())
        .arg(size.height());
}

QString system_reason(int error) { return QString::fromStdString(std::generic_category().message(error)); }

// Writes all of `size` bytes, however the system splits the work; gives 0
// or the error number.
int write_all(int fd, const char* bytes, std::size_t size) {
    while (size > 0) {
        const ssize_t n = ::write(fd, bytes, size);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return errno;
        }
        bytes += n;
        size -= static_cast<std::size_t>(n);
    }
    return 0;
}

// Gives the finished file at `temporary` the name `target`; an existing
// target is replaced only when `replace` says so, otherwise EEXIST. Gives 0
// or the error number. The temporary name stays for the caller to remove.
int put_in_place(const QByteArray& temporary, const QByteArray& target, bool replace) {
    if (replace)
        return ::rename(temporary.constData(), target.constData()) == 0 ? 0 : errno;
    // A hard link is never made over an existing file, even one that
    // appeared since the check before decoding.
    if (::link(temporary.constData(), target.constData()) == 0)
        return 0;
    const int error = errno;
    if (error != EPERM && error != EOPNOTSUPP && error != ENOSYS)
        return error;
    // A file system without hard links: the check and the rename are two steps.
    if (::access(target.constData(), F_OK) == 0)
        return EEXIST;
    return ::rename(temporary.constData(), target.constData()) == 0 ? 0 : errno;
}

// Writes the ZFT file whole or not at all, as other programs see it: into a
// new file beside the target, put in its place once complete. Unlike the
// windowed converter's QSaveFile it does not wait for the disk to confirm
// each file, as cp and djpeg don't: a batch would spend its time waiting.
// The pixels go out a few rows at a time, so the file's bytes never sit in
// memory beside the picture. Gives the reason for a failure, or an empty text.
QString write_whole(const QString& path, const std::string& header, const QImage& shown, bool replace) {
    static std::atomic<unsigned> serial{0};
    const QFileInfo target(path);
    const QByteArray temporary = QFile::encodeName(target.dir().filePath(
        QStringLiteral(".%1.%2-%3.part")
            .arg(target.fileName(), QString::number(QCoreApplication::applicationPid()), QString::number(serial++))));
    // The mode of any new file: umask applies, as for the file it replaces.
    const int fd = ::open(temporary.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd < 0)
        return system_reason(errno);

    const std::size_t rowBytes = 3 * static_cast<std::size_t>(shown.width());
    thread_local std::vector<char> buffer;
    buffer.resize(std::max<std::size_t>(1 << 18, header.size() + rowBytes));
    std::copy(header.begin(), header.end(), buffer.begin());
    std::size_t used = header.size();
    int error = 0;
    for (int y = 0; y < shown.height() && error == 0; ++y) {
        if (used + rowBytes > buffer.size()) {
            error = write_all(fd, buffer.data(), used);
            used = 0;
        }
        conversion::pixel_row(shown, y, buffer.data() + used);
        used += rowBytes;
    }
    if (error == 0)
        error = write_all(fd, buffer.data(), used);
    if (::close(fd) != 0 && error == 0)
        error = errno;
    if (error == 0)
        error = put_in_place(temporary, QFile::encodeName(path), replace);
    ::unlink(temporary.constData());
    if (error == EEXIST)
        return QStringLiteral("it exists already (--force replaces it)");
    if (error != 0)
        return system_reason(error);
    return {};
}

// Converts one file; gives the failure to report, or an empty text.
QString convert_one(const Job& job, const Settings& settings) {
    if (!job.clash.isEmpty())
        return cannot(job, QStringLiteral("%1 is also the output for %2").arg(native(job.output), native(job.clash)));
    // The finished file takes the output's place: never a folder's, a device's or a pipe's.
    if (const QString reason = platform::notAFileReason(job.output); !reason.isEmpty())
        return QStringLiteral("Cannot write %1: %2").arg(native(job.output), reason);
    if (!settings.force && QFileInfo::exists(job.output))
        return cannot(job, QStringLiteral("%1 exists already (--force replaces it)").arg(native(job.output)));
    try {
        // The size is known before decoding, so a refused picture costs no memory.
        if (!settings.fit) {
            const QSize size = platform::picture_size(job.input);
            if (too_large(size))
                return cannot(job, too_large_reason(size));
        }
        platform::Picture picture = platform::load_picture(job.input);
        if (too_large(picture.size())) {
            if (!settings.fit)
                return cannot(job, too_large_reason(picture.size()));
            picture = picture.scaled(fitted(picture.size()), Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
        }
        const QImage shown = conversion::picture_as_shown(picture, settings.background);
        const zft::ZftHeader header =
            zft::make_header(settings.date.month(), settings.date.day(), settings.date.year(), settings.notice,
                             shown.width(), shown.height());
        if (const QString reason = write_whole(job.output, zft::encode_header(header), shown, settings.force);
            !reason.isEmpty())
            return QStringLiteral("Cannot write %1: %2").arg(native(job.output), reason);
    } catch (const platform::Failure& failure) {
        return failure.message();
    }
    return {};
}

// Runs every job on `threads` threads; failures go to stderr as they come,
// and on a terminal a "done/total" counter keeps its line up to date.
int run_jobs(const std::vector<Job>& jobs, const Settings& settings, int threads) {
    const bool terminal = isatty(STDERR_FILENO) == 1;
    const int total = static_cast<int>(jobs.size());
    std::atomic<int> next{0};
    std::mutex reporting;
    int done = 0;
    int failed = 0;

    auto progress = [&] {
        if (terminal)
            print_err(QStringLiteral("\r%1/%2").arg(done).arg(total));
    };
    auto work = [&] {
        for (int i = next++; i < total; i = next++) {
            const QString failure = convert_one(jobs[static_cast<std::size_t>(i)], settings);
            const std::lock_guard lock(reporting);
            ++done;
            if (!failure.isEmpty()) {
                ++failed;
                print_err((terminal ? QStringLiteral("\r\x1b[K") : QString()) + failure + u'\n');
            }
            progress();
        }
    };
    progress();
    std::vector<std::thread> pool;
    for (int t = 1; t < threads; ++t)
        pool.emplace_back(work);
    work();
    for (std::thread& thread : pool)
        thread.join();
    if (terminal)
        print_err(QStringLiteral("\r\x1b[K"));
    return failed == 0 ? kOk : kFailed;
}

}  // namespace

int convert_command(const QStringList& args) {
    const QString command = QStringLiteral("convert");
    QCommandLineParser parser;
    const QCommandLineOption output({QStringLiteral("o"), QStringLiteral("output")}, {}, QStringLiteral("OUT.zft"));
    const QCommandLineOption directory({QStringLiteral("d"), QStringLiteral("directory")}, {}, QStringLiteral("DIR"));
    const QCommandLineOption notice(QStringLiteral("notice"), {}, QStringLiteral("TEXT"));
    const QCommandLineOption date(QStringLiteral("date"), {}, QStringLiteral("MM/DD/YYYY"));
    const QCommandLineOption fit(QStringLiteral("fit"));
    const QCommandLineOption force(QStringLiteral("force"));
    const QCommandLineOption jobs({QStringLiteral("j"), QStringLiteral("jobs")}, {}, QStringLiteral("N"));
    parser.addOptions({output, directory, notice, date, fit, force, jobs});
    if (auto done = parse_or_exit(parser, args, command, kHelp))
        return *done;

    const QStringList inputs = parser.positionalArguments();
    if (inputs.isEmpty())
        return usage_error(command, QStringLiteral("no input picture given"));
    if (parser.isSet(output) == parser.isSet(directory))
        return usage_error(command, QStringLiteral("give either -o OUT.zft or -d DIR"));
    if (parser.isSet(output) && inputs.size() > 1)
        return usage_error(command, QStringLiteral("-o takes one input; use -d DIR for %1").arg(inputs.size()));

    Settings settings;
    settings.notice = conversion::notice_bytes(parser.value(notice));
    settings.date = QDate::currentDate();
    if (parser.isSet(date)) {
        const QString text = parser.value(date);
        settings.date = QDate::fromString(text, QStringLiteral("M/d/yyyy"));
        if (!settings.date.isValid() || settings.date.year() < 1)
            return usage_error(command, QStringLiteral("the date '%1' is not a date MM/DD/YYYY").arg(text));
    }
    settings.fit = parser.isSet(fit);
    // A picture to be scaled down may well be a camera's: Qt's usual limit
    // of 256 MB refuses anything past 8000 × 8000 pixels before it is read.
    if (settings.fit)
        QImageReader::setAllocationLimit(2048);
    settings.force = parser.isSet(force);
    settings.background = conversion::window_background_colour();

    int threads = QThread::idealThreadCount();
    if (parser.isSet(jobs)) {
        bool ok = false;
        threads = parser.value(jobs).toInt(&ok);
        if (!ok || threads < 1)
            return usage_error(command, QStringLiteral("--jobs takes a number of at least 1"));
    }

    std::vector<Job> list;
    if (parser.isSet(output)) {
        list.push_back({inputs.front(), parser.value(output), {}});
    } else {
        const QString dir = parser.value(directory);
        if (!QDir().mkpath(dir)) {
            print_err(QStringLiteral("zft convert: cannot make the folder %1\n").arg(native(dir)));
            return kFailed;
        }
        QHash<QString, QString> firstInput;  // output's absolute path → the input it came from
        for (const QString& input : inputs) {
            Job job{input, QDir(dir).filePath(QFileInfo(input).completeBaseName() + QStringLiteral(".zft")), {}};
            const QString key = QFileInfo(job.output).absoluteFilePath();
            if (firstInput.contains(key))
                job.clash = firstInput.value(key);
            else
                firstInput.insert(key, input);
            list.push_back(std::move(job));
        }
    }
    return run_jobs(list, settings, std::clamp(threads, 1, static_cast<int>(list.size())));
}

}  // namespace cli
