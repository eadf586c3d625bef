// zft convert: pictures to ZFT files, the same bytes the windowed converter
// writes for the same picture, notice and date, many files at once.
#include <algorithm>
#include <atomic>
#include <ctime>
#include <filesystem>
#include <map>
#include <mutex>
#include <sched.h>
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

constexpr std::string_view kHelp =
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
    "written; the others are still converted, and the exit status is then 1.\n";

struct Date {
    int month = 0;
    int day = 0;
    int year = 0;
};

struct Settings {
    std::string notice;  // Windows-1252, not yet trimmed or padded
    Date date;
    bool fit = false;
    bool force = false;
};

struct Job {
    std::string input;
    std::string output;
    std::string clash;  // another input with the same output, when there is one
};

core::Failure cannot_convert(const Job& job, const std::string& reason) { return core::cannot("convert", job.input, reason); }

Date today() {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    return {local.tm_mon + 1, local.tm_mday, local.tm_year + 1900};
}

// "M/D/YYYY", month and day of one or two digits, a real day of a year from
// 1 on; nullopt for anything else.
std::optional<Date> parse_date(const std::string& text) {
    int values[3] = {};
    std::size_t at = 0;
    for (int part = 0; part < 3; ++part) {
        const std::size_t start = at;
        while (at < text.size() && text[at] >= '0' && text[at] <= '9' && at - start < 4)
            values[part] = values[part] * 10 + (text[at++] - '0');
        const std::size_t digits = at - start;
        if (part < 2 ? (digits < 1 || digits > 2) : digits != 4)
            return std::nullopt;
        if (part < 2 && (at >= text.size() || text[at++] != '/'))
            return std::nullopt;
    }
    if (at != text.size())
        return std::nullopt;
    const Date date{values[0], values[1], values[2]};
    static constexpr int kDays[] = {31, 29, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    const bool leap = (date.year % 4 == 0 && date.year % 100 != 0) || date.year % 400 == 0;
    if (date.year < 1 || date.month < 1 || date.month > 12 || date.day < 1 || date.day > kDays[date.month - 1] ||
        (date.month == 2 && date.day == 29 && !leap))
        return std::nullopt;
    return date;
}

// One thread a core this process may run on.
int cores() {
    cpu_set_t set;
    if (sched_getaffinity(0, sizeof set, &set) == 0)
        return std::max(1, CPU_COUNT(&set));
    return std::max(1u, std::thread::hardware_concurrency());
}

constexpr core::Size kLargest{zft::kMaxDimension, zft::kMaxDimension};

const std::string kFitHint = "--fit scales it down";

// Writes the ZFT file whole or not at all, a few rows at a time, so that the
// file's bytes never sit in memory beside the picture.
void write_zft(const std::string& path, const zft::ZftHeader& header, const core::Picture& shown, bool replace) {
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
    if (!job.clash.empty())
        throw cannot_convert(job, job.output + " is also the output for " + job.clash);
    // The finished file takes the output's place: never a folder's, a device's or a pipe's.
    if (const std::string reason = core::not_a_file_reason(job.output); !reason.empty())
        throw core::cannot("write", job.output, reason);
    if (!settings.force && ::access(job.output.c_str(), F_OK) == 0)
        throw cannot_convert(job, job.output + " exists already (--force replaces it)");
    // The size is known before decoding, so a refused picture costs no memory.
    core::Picture picture;
    if (settings.fit) {
        picture = core::load_picture_within(job.input, kLargest);
    } else {
        picture = core::load_picture(job.input, core::kWindowColour, kFitHint);
    }
    const core::Picture shown = core::picture_as_shown(picture, core::kWindowColour);
    write_zft(job.output,
              zft::make_header(settings.date.month, settings.date.day, settings.date.year, settings.notice,
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
            print_err("\r" + std::to_string(done) + "/" + std::to_string(total));
    };
    auto work = [&] {
        for (int i = next++; i < total; i = next++) {
            std::string failure;
            try {
                convert_one(jobs[static_cast<std::size_t>(i)], settings);
            } catch (const core::Failure& f) {
                failure = f.message();
            }
            const std::lock_guard lock(reporting);
            ++done;
            if (!failure.empty()) {
                ++failed;
                print_err((terminal ? "\r\x1b[K" : "") + failure + "\n");
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
        print_err("\r\x1b[K");
    return failed == 0 ? kOk : kFailed;
}

}  // namespace

int convert_command(const Args& args) {
    const std::string command = "convert";
    Options options({{'o', "output", true},
                     {'d', "directory", true},
                     {0, "notice", true},
                     {0, "date", true},
                     {0, "fit", false},
                     {0, "force", false},
                     {'j', "jobs", true}});
    if (auto done = options.parse(args, command, kHelp))
        return *done;

    const Args& inputs = options.positional();
    if (inputs.empty())
        return usage_error(command, "no input picture given");
    if (options.isSet("output") == options.isSet("directory"))
        return usage_error(command, "give either -o OUT.zft or -d DIR");
    if (options.isSet("output") && inputs.size() > 1)
        return usage_error(command, "-o takes one input; use -d DIR for " + std::to_string(inputs.size()));

    Settings settings;
    settings.notice = core::notice_bytes(options.value("notice"));
    settings.date = today();
    if (options.isSet("date")) {
        const std::string text = options.value("date");
        const std::optional<Date> date = parse_date(text);
        if (!date)
            return usage_error(command, "the date '" + text + "' is not a date MM/DD/YYYY");
        settings.date = *date;
    }
    settings.fit = options.isSet("fit");
    settings.force = options.isSet("force");

    int threads = cores();
    if (options.isSet("jobs")) {
        const std::string text = options.value("jobs");
        const bool digits = !text.empty() && text.size() <= 6 &&
                            std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
        threads = digits ? std::stoi(text) : 0;
        if (threads < 1)
            return usage_error(command, "--jobs takes a number of at least 1");
    }

    std::vector<Job> list;
    if (options.isSet("output")) {
        list.push_back({inputs.front(), options.value("output"), {}});
    } else {
        namespace fs = std::filesystem;
        const std::string dir = options.value("directory");
        std::error_code error;
        fs::create_directories(dir, error);
        if (!fs::is_directory(dir, error)) {
            print_err("zft convert: cannot make the folder " + dir + "\n");
            return kFailed;
        }
        std::map<std::string, std::string> firstInput;  // output's absolute path → the input it came from
        for (const std::string& input : inputs) {
            Job job{input, (fs::path(dir) / fs::path(input).stem()).string() + ".zft", {}};
            const std::string key = fs::absolute(job.output, error).lexically_normal().string();
            if (const auto first = firstInput.find(key); first != firstInput.end())
                job.clash = first->second;
            else
                firstInput.emplace(key, input);
            list.push_back(std::move(job));
        }
    }
    return run_jobs(list, settings, std::clamp(threads, 1, static_cast<int>(list.size())));
}

}  // namespace cli
