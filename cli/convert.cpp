// zft convert: pictures to ZFT files, the same bytes the windowed converter
// writes for the same picture, notice and date, many files at once.
#include <QDate>
#include <QDir>
#include <QFileInfo>
#include <QThread>
#include <algorithm>
#include <atomic>
#include <mutex>
#include <thread>
#include <unistd.h>
#include <vector>

#include "cli/cli.h"
#include "core/atomic_file.h"
#include "core/compose.h"
#include "core/decoding.h"
#include "core/failure.h"
#include "core/file_kind.h"
#include "core/header_text.h"
#include "format/zft_format.h"

namespace cli {
namespace {

const QString kHelp = QStringLiteral(
    "Usage: zft convert [OPTION]... INPUT... (-o OUT.zft | -d DIR)\n"
    "Converts JPG, GIF, BMP and PNG pictures to ZFT picture files. A file gets\n"
    "the same bytes as the windowed converter writes for the same picture,\n"
    "notice and date; transparent parts take the colour of the main window's\n"
    "background.\n"
    "\n"
    "  -o, --output OUT.zft  the file to write (one input only)\n"
    "  -d, --directory DIR   write INPUT's name with .zft into DIR, made if missing\n"
    "      --notice TEXT     the copyright notice (default: none); spaces around it\n"
    "                        are dropped and it is cut to 48 characters\n"
    "      --date MM/DD/YYYY the creation date (default: today)\n"
    "      --fit             scale a picture larger than 999 × 999 pixels down to\n"
    "                        fit, keeping its proportions (default: refuse it);\n"
    "                        pictures up to 100 megapixels are read\n"
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
};

struct Job {
    QString input;
    QString output;
    QString clash;  // another input with the same output, when there is one
};

core::Failure cannot_convert(const Job& job, const QString& reason) {
    return core::cannot(QStringLiteral("convert"), job.input, reason);
}

constexpr core::Size kLargest{zft::kMaxDimension, zft::kMaxDimension};

const QString kFitHint = QStringLiteral("--fit scales it down");

// Writes the ZFT file whole or not at all, a few rows at a time, so that the
// file's bytes never sit in memory beside the picture.
void write_zft(const QString& path, const zft::ZftHeader& header, const core::Picture& shown, bool replace) {
    core::AtomicFile file;
    file.open(path, replace ? core::AtomicFile::Existing::Replace : core::AtomicFile::Existing::Keep);
    file.write(zft::encode_header(header));
    thread_local std::vector<char> row;
    row.resize(3 * static_cast<std::size_t>(shown.width()));
    for (int y = 0; y < shown.height(); ++y) {
        core::pixel_row(shown, y, row.data());
        file.write(std::string_view(row.data(), row.size()));
    }
    file.commit();
}

// Converts one file; throws the failure to report.
void convert_one(const Job& job, const Settings& settings) {
    if (!job.clash.isEmpty())
        throw cannot_convert(job, QStringLiteral("%1 is also the output for %2").arg(native(job.output), native(job.clash)));
    // The finished file takes the output's place: never a folder's, a device's or a pipe's.
    if (const QString reason = core::not_a_file_reason(job.output); !reason.isEmpty())
        throw core::cannot(QStringLiteral("write"), job.output, reason);
    if (!settings.force && QFileInfo::exists(job.output))
        throw cannot_convert(job, QStringLiteral("%1 exists already (--force replaces it)").arg(native(job.output)));
    // The size is known before decoding, so a refused picture costs no memory.
    core::Picture picture;
    if (settings.fit) {
        picture = core::load_picture_within(job.input, kLargest);
    } else {
        const core::Size size = core::picture_size(job.input);
        if (!zft::fits_header(size.width, size.height))
            throw core::too_large(job.input, size, kFitHint);
        picture = core::load_picture(job.input);
    }
    const core::Picture shown = core::picture_as_shown(picture, core::kWindowColour);
    write_zft(job.output,
              zft::make_header(settings.date.month(), settings.date.day(), settings.date.year(), settings.notice,
                               shown.width(), shown.height()),
              shown, settings.force);
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
            QString failure;
            try {
                convert_one(jobs[static_cast<std::size_t>(i)], settings);
            } catch (const core::Failure& f) {
                failure = f.message();
            }
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
    settings.notice = core::notice_bytes(parser.value(notice));
    settings.date = QDate::currentDate();
    if (parser.isSet(date)) {
        const QString text = parser.value(date);
        settings.date = QDate::fromString(text, QStringLiteral("M/d/yyyy"));
        if (!settings.date.isValid() || settings.date.year() < 1)
            return usage_error(command, QStringLiteral("the date '%1' is not a date MM/DD/YYYY").arg(text));
    }
    settings.fit = parser.isSet(fit);
    settings.force = parser.isSet(force);

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
