// zft export and zft thumbnail: a ZFT picture back to an ordinary picture.
#include <algorithm>
#include <filesystem>
#include <stdexcept>

#include "cli/cli.h"
#include "core/atomic_file.h"
#include "core/encoding.h"
#include "core/failure.h"
#include "core/scaling.h"
#include "core/zft_reading.h"

namespace cli {
namespace {

constexpr std::string_view kExportHelp =
    "Usage: zft export IN.zft OUT.png|OUT.bmp|OUT.jpg|OUT.ppm\n"
    "Writes the ZFT picture IN.zft as an ordinary picture, in the format its\n"
    "name ends with. PNG, BMP and PPM keep every pixel exactly; JPEG is written\n"
    "at quality 95. An existing OUT is replaced.\n"
    "\n"
    "  -h, --help  show this help\n";

constexpr std::string_view kThumbnailHelp =
    "Usage: zft thumbnail IN.zft OUT.png SIZE\n"
    "Writes a PNG of the ZFT picture whose longer side is at most SIZE pixels,\n"
    "for the desktop's thumbnailer. A picture already small enough keeps its size.\n"
    "On failure nothing is written and the exit status is 1.\n"
    "\n"
    "  -h, --help  show this help\n";

enum class Format { None, Png, Bmp, Ppm, Jpeg };

// The file format for an output name, whatever the case of its ending.
Format format_for(const std::string& path) {
    std::string suffix = std::filesystem::path(path).extension().string();
    std::transform(suffix.begin(), suffix.end(), suffix.begin(), [](unsigned char c) { return std::tolower(c); });
    if (suffix == ".png")
        return Format::Png;
    if (suffix == ".bmp")
        return Format::Bmp;
    if (suffix == ".ppm")
        return Format::Ppm;
    if (suffix == ".jpg" || suffix == ".jpeg")
        return Format::Jpeg;
    return Format::None;
}

std::string encoded(const core::Picture& picture, Format format) {
    switch (format) {
    case Format::Bmp:
        return core::encode_bmp(picture);
    case Format::Ppm:
        return core::encode_ppm(picture);
    case Format::Jpeg:
        return core::encode_jpeg(picture, 95);
    default:
        return core::encode_png(picture);
    }
}

// Reads the ZFT picture strictly and writes it as `format`, all of it or
// nothing: an existing file stays as it was on failure. A failure goes to
// stderr, and gives false.
bool convert_back(std::string_view command, const std::string& in, const std::string& out, Format format,
                  int longestSide = 0) {
    try {
        core::Picture picture = core::read_zft_file(in);
        if (longestSide > 0) {
            const core::Size small = core::fit_within(picture.size(), {longestSide, longestSide});
            if (small != picture.size())
                picture = core::reduce(picture, small);
        }
        std::string bytes;
        try {
            bytes = encoded(picture, format);
        } catch (const std::runtime_error& error) {
            throw core::cannot("write", out, error.what());
        }
        core::AtomicFile file;
        file.open(out);
        file.write(bytes);
        file.commit();
        return true;
    } catch (const core::Failure& failure) {
        print_err("zft " + std::string(command) + ": " + failure.message() + "\n");
        return false;
    }
}

}  // namespace

int export_command(const Args& args) {
    const std::string command = "export";
    Options options({});
    if (auto done = options.parse(args, command, kExportHelp))
        return *done;
    const Args& files = options.positional();
    if (files.size() != 2)
        return usage_error(command, "give one ZFT file and one output picture");
    const Format format = format_for(files[1]);
    if (format == Format::None)
        return usage_error(command, files[1] + " does not end in .png, .bmp, .jpg or .ppm");
    return convert_back(command, files[0], files[1], format) ? kOk : kFailed;
}

int thumbnail_command(const Args& args) {
    const std::string command = "thumbnail";
    Options options({});
    if (auto done = options.parse(args, command, kThumbnailHelp))
        return *done;
    const Args& files = options.positional();
    if (files.size() != 3)
        return usage_error(command, "give a ZFT file, an output PNG and a size");
    const std::string& text = files[2];
    const bool digits = !text.empty() && text.size() <= 6 &&
                        std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
    const int size = digits ? std::stoi(text) : 0;
    if (size < 1)
        return usage_error(command, "the size '" + text + "' is not a number of pixels");
    return convert_back(command, files[0], files[1], Format::Png, size) ? kOk : kFailed;
}

}  // namespace cli
