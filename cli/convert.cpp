// zft convert: pictures to ZFT files, the same bytes the windowed converter
// writes for the same picture, notice and date, many files at once.
#include <algorithm>
#include <atomic>
#include <filesystem>
#include <map>
#include <mutex>
#include <sched.h>
#include <system_error>
#include <thread>
#include <unistd.h>
#include <vector>

#include "cli/cli.h"
#include "core/compose.h"
#include "core/decoding.h"
#include "core/failure.h"
#include "core/header_text.h"
#include "core/zft_codec.h"
#include "format/zft_format.h"

namespace cli {
namespace {

constexpr std::string_view kHelp =
    "Usage: zft convert [OPTION]... INPUT... (-o OUT.zft | -d DIR)\n"
    "Converts JPG, GIF, BMP and PNG pictures to ZFT picture files. A file gets\n"
    "the same bytes as the windowed converter writes for the same picture,\n"
    "notice and date; transparent parts take the colour of the main window's\n"
    "background (see --background). INPUT - is standard input, OUT - standard\n"
    "output (not a terminal).\n"
    "\n"
    "  -o, --output OUT.zft  the file to write (one input only); a name ending as\n"
    "                        another kind of picture does (.png, .jpg, ...) is\n"
    "                        refused: 'zft export' writes those\n"
    "  -d, --directory DIR   write INPUT's name with .zft into DIR, made if missing\n"
    "      --notice TEXT     the copyright notice (default: none); spaces around it\n"
    "                        are dropped and it is cut to 48 characters\n"
    "      --date DATE       the creation date, MM/DD/YYYY or YYYY-MM-DD (default:\n"
    "                        today)\n"
    "      --background COLOUR  transparent parts in COLOUR, #RRGGBB (default:\n"
    "                        #efefef, the window's under Qt's own palette; a\n"
    "                        theme's window colour writes what its window does)\n"
    "      --fit             scale a picture larger than 999 × 999 pixels down to\n"
    "                        fit, keeping its proportions (default: refuse it);\n"
    "                        pictures up to 100 megapixels are read, larger ones\n"
    "                        refused with or without it\n"
    "      --force           replace existing files (default: keep them, and fail)\n"
    "  -j, --jobs N          convert N files at a time (default: one per core)\n"
    "  -h, --help            show this help\n"
    "\n"
    "Files are converted in parallel; on a terminal the progress is shown as\n"
    "done/total, and a batch ends with how many were converted and failed. A\n"
    "file that fails gets one line on standard error, \"zft convert: FILE: reason\",\n"
    "and nothing written; the others are still converted, and the exit status\n"
    "is then 1.\n";

struct Settings {
    core::Stamp stamp;  // the notice, the date and the colour of transparent parts
    bool fit = false;
    bool force = false;
};

struct Job {
    std::string input;
    std::string output;
    std::string clash;  // another input with the same output, when there is one
};

// "#RRGGBB", six hexadecimal digits of either case; nullopt for anything else.
std::optional<core::Argb> parse_colour(const std::string& text) {
    if (text.size() != 7 || text[0] != '#')
        return std::nullopt;
    core::Argb rgb = 0;
    for (std::size_t i = 1; i < text.size(); ++i) {
        const char c = text[i];
        const int digit = c >= '0' && c <= '9'   ? c - '0'
                          : c >= 'a' && c <= 'f' ? c - 'a' + 10
                          : c >= 'A' && c <= 'F' ? c - 'A' + 10
                                                 : -1;
        if (digit < 0)
            return std::nullopt;
        rgb = rgb << 4 | static_cast<core::Argb>(digit);
    }
    return core::argb(0, 0, 0) | rgb;
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

// Decodes one input, from its file or from standard input, refused from
// its headers when too large, so that a refused picture costs no memory.
core::Picture load(const std::string& input, bool fit, core::Argb background) {
    if (!is_standard(input))
        return fit ? core::load_picture_within(core::system_files(), input, kLargest, background)
                   : core::load_picture(core::system_files(), input, background, kFitHint);
    const std::unique_ptr<core::ByteSource> data = open_standard_picture();
    return fit ? core::load_picture_within(*data, kStandardInput, kLargest, background)
               : core::load_picture(*data, kStandardInput, background, kFitHint);
}

// Converts one file; throws the failure to report. The output is written
// whole or not at all, a row at a time, so that the file's bytes never sit
// in memory beside the picture.
void convert_one(const Job& job, const Settings& settings) {
    if (!job.clash.empty())
        throw core::cannot("convert", job.input, job.output + " is also the output for " + job.clash,
                           core::Failure::Kind::Exists);
    Output output(job.output, settings.force);
    const core::Picture picture = load(job.input, settings.fit, settings.stamp.background);
    try {
        core::save_zft(output, picture, settings.stamp);
    } catch (const core::Failure& failure) {
        throw failure.of("write", output.name());
    }
    output.commit();
}

// Runs every job on `threads` threads; failures go to stderr as they come.
// On a terminal a "done/total" counter keeps its line up to date, and a
// batch ends with what became of it.
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
            const Job& job = jobs[static_cast<std::size_t>(i)];
            std::optional<core::Failure> failure;
            try {
                convert_one(job, settings);
            } catch (const core::Failure& f) {
                failure = f;
            } catch (const std::bad_alloc&) {
                // What the job held is given back by now: the batch goes on.
                failure = core::cannot("convert", input_name(job.input), "out of memory",
                                       core::Failure::Kind::OutOfMemory);
            }
            const std::lock_guard lock(reporting);
            ++done;
            if (failure) {
                ++failed;
                if (terminal)
                    print_err("\r\x1b[K");
                report("convert", *failure);
            }
            progress();
        }
    };
    progress();
    std::vector<std::thread> pool;
    for (int t = 1; t < threads; ++t) {
        try {
            pool.emplace_back(work);
        } catch (const std::system_error&) {
            break;  // no more threads to be had (a process limit): fewer do it all
        }
    }
    work();
    for (std::thread& thread : pool)
        thread.join();
    if (terminal) {
        print_err("\r\x1b[K");
        if (total > 1)
            print_err("zft convert: " + std::to_string(total - failed) + " converted" +
                      (failed ? ", " + std::to_string(failed) + " failed" : "") + "\n");
    }
    return failed == 0 ? kOk : kFailed;
}

// Why the folder `dir` is not there after making it failed with `error`:
// something else has its name, or a name on the way to it is no folder
// ("afile is not a folder"), or the system's reason.
std::string why_no_folder(const std::string& dir, std::error_code error) {
    namespace fs = std::filesystem;
    std::error_code ignored;
    const int missing = static_cast<int>(std::errc::no_such_file_or_directory);
    if (dir.empty())
        return core::system_reason(missing);
    if (fs::exists(dir, ignored))
        return "it is not a folder";
    for (fs::path on = fs::path(dir).parent_path(); !on.empty() && on != on.root_path(); on = on.parent_path()) {
        if (fs::exists(on, ignored))
            return fs::is_directory(on, ignored) ? core::system_reason(error.value()) : on.string() + " is not a folder";
        if (on == on.parent_path())
            break;
    }
    return core::system_reason(error ? error.value() : missing);
}

}  // namespace

int convert_command(const Args& args) {
    const std::string command = "convert";
    Options options({{'o', "output", true},
                     {'d', "directory", true},
                     {0, "notice", true},
                     {0, "date", true},
                     {0, "background", true},
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
    if (options.isSet("directory") && std::any_of(inputs.begin(), inputs.end(), is_standard))
        return usage_error(command, "standard input has no name to make a .zft name from: give -o OUT.zft");
    if (std::any_of(inputs.begin(), inputs.end(), is_terminal_input))
        return usage_error(command, kTerminalInput);
    if (options.isSet("output")) {
        const std::string output = options.value("output");
        if (picture_format_of(output))
            return usage_error(command, output + " is the name of another kind of picture, and a ZFT file is "
                                                 "written; give a name ending in .zft ('zft export' writes "
                                                 "PNG, BMP, JPEG and PPM from it)");
        if (is_terminal_output(output))
            return usage_error(command, kTerminalOutput);
    }

    Settings settings;
    settings.stamp.notice = options.value("notice");
    if (options.isSet("date")) {
        try {
            settings.stamp.date = core::parse_date(options.value("date"));
        } catch (const core::Failure& failure) {
            return usage_error(command, failure.reason());
        }
    }
    if (options.isSet("background")) {
        const std::string text = options.value("background");
        const std::optional<core::Argb> colour = parse_colour(text);
        if (!colour)
            return usage_error(command, "the colour '" + text + "' is not a colour #RRGGBB");
        settings.stamp.background = *colour;
    }
    settings.fit = options.isSet("fit");
    settings.force = options.isSet("force");

    int threads = cores();
    if (options.isSet("jobs")) {
        const std::string text = options.value("jobs");
        threads = count_of(text).value_or(0);
        if (threads < 1)
            return usage_error(command, "--jobs takes a number from 1 to 999999");
    }

    std::vector<Job> list;
    if (options.isSet("output")) {
        list.push_back({inputs.front(), options.value("output"), {}});
    } else {
        namespace fs = std::filesystem;
        const std::string dir = options.value("directory");
        std::error_code error;
        fs::create_directories(dir, error);
        std::error_code looking;
        if (!fs::is_directory(dir, looking)) {
            report(command, dir, why_no_folder(dir, error));
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
