// zft export and zft thumbnail: a ZFT picture back to an ordinary picture.
#include "cli/cli.h"
#include "core/encoding.h"
#include "core/failure.h"
#include "core/scaling.h"
#include "core/zft_codec.h"

namespace cli {
namespace {

constexpr std::string_view kExportHelp =
    "Usage: zft export [OPTION]... IN.zft OUT.png|OUT.bmp|OUT.jpg|OUT.ppm\n"
    "Writes the ZFT picture IN.zft as an ordinary picture, in the format its\n"
    "name ends with. PNG, BMP and PPM keep every pixel exactly; JPEG is written\n"
    "at quality 95. IN - is standard input, OUT - standard output (not a terminal).\n"
    "\n"
    "      --format png|bmp|jpg|ppm  the format for OUT - (default: png); for a\n"
    "                    file it must be the one the name ends with\n"
    "      --force       replace an existing OUT (default: keep it, and fail)\n"
    "  -h, --help        show this help\n";

constexpr std::string_view kThumbnailHelp =
    "Usage: zft thumbnail IN.zft OUT.png SIZE\n"
    "Writes a PNG of the ZFT picture whose longer side is at most SIZE pixels,\n"
    "for the desktop's thumbnailer. A picture already small enough keeps its size.\n"
    "An existing OUT.png is replaced: a thumbnailer makes the file first and then\n"
    "gives its name. On failure nothing is written and the exit status is 1.\n"
    "\n"
    "  -h, --help  show this help\n";

std::string encoded(const core::Picture& picture, PictureFormat format) {
    switch (format) {
    case PictureFormat::Bmp:
        return core::encode_bmp(picture);
    case PictureFormat::Ppm:
        return core::encode_ppm(picture);
    case PictureFormat::Jpeg:
        return core::encode_jpeg(picture, 95);
    default:
        return core::encode_png(picture);
    }
}

// Reads the ZFT picture strictly and writes it as `format`, all of it or
// nothing: an existing file stays as it was on failure. A failure goes to
// stderr, and gives false.
bool convert_back(std::string_view command, const std::string& in, const std::string& out, PictureFormat format,
                  bool replace, int longestSide = 0) {
    try {
        Output output(out, replace);
        core::Picture picture;
        if (is_standard(in)) {
            const std::string bytes = read_standard_zft();
            core::MemorySource data(bytes.data(), bytes.size());
            picture = core::read_zft(data, kStandardInput).picture;
        } else {
            picture = core::read_zft(core::system_files(), in).picture;
        }
        if (longestSide > 0) {
            const core::Size small = core::fit_within(picture.size(), {longestSide, longestSide});
            if (small != picture.size())
                picture = core::reduce(picture, small);
        }
        try {
            output.write(encoded(picture, format));
        } catch (const core::Failure& failure) {
            throw failure.of("write", output.name());
        }
        output.commit();
        return true;
    } catch (const core::Failure& failure) {
        report(command, failure);
    } catch (const std::bad_alloc&) {
        report(command, input_name(in), "out of memory");
    }
    return false;
}

}  // namespace

int export_command(const Args& args) {
    const std::string command = "export";
    Options options({{0, "format", true}, {0, "force", false}});
    if (auto done = options.parse(args, command, kExportHelp))
        return *done;
    const Args& files = options.positional();
    if (files.size() != 2)
        return usage_error(command, "give one ZFT file and one output picture");
    const std::string& out = files[1];
    std::optional<PictureFormat> format = is_standard(out) ? PictureFormat::Png : picture_format_of(out);
    if (options.isSet("format")) {
        const std::string name = options.value("format");
        const std::optional<PictureFormat> named = picture_format_named(name);
        if (!named || *named == PictureFormat::Other)
            return usage_error(command, "--format takes png, bmp, jpg or ppm, not '" + name + "'");
        if (!is_standard(out) && named != format)
            return usage_error(command, out + " does not end in ." + name + " (--format names the format of -)");
        format = named;
    }
    if (!format || *format == PictureFormat::Other)
        return usage_error(command, out + " does not end in .png, .bmp, .jpg or .ppm");
    if (is_terminal_output(out))
        return usage_error(command, kTerminalOutput);
    if (is_terminal_input(files[0]))
        return usage_error(command, kTerminalInput);
    return convert_back(command, files[0], out, *format, options.isSet("force")) ? kOk : kFailed;
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
    const int size = count_of(text).value_or(0);
    if (size < 1)
        return usage_error(command, "the size '" + text + "' is not valid: give a number of pixels from 1 to 999999");
    if (is_terminal_output(files[1]))
        return usage_error(command, kTerminalOutput);
    if (is_terminal_input(files[0]))
        return usage_error(command, kTerminalInput);
    // The desktop's thumbnailer makes OUT.png before it asks for it.
    return convert_back(command, files[0], files[1], PictureFormat::Png, true, size) ? kOk : kFailed;
}

}  // namespace cli
