// What the commands share about their files: standard input and output,
// the endings of picture formats, and writing a picture out.
#include <algorithm>
#include <unistd.h>

#include "cli/cli.h"
#include "core/decoders/decoder.h"
#include "core/decoding.h"
#include "format/zft_format.h"

namespace cli {
namespace {

// The endings of picture formats other than ZFT, and which of them zft
// writes: a ZFT file is never to be given one of these names, where the
// desktop would take it for that format.
struct Ending {
    std::string_view ending;
    PictureFormat format;
};
constexpr Ending kEndings[] = {
    {"png", PictureFormat::Png},    {"bmp", PictureFormat::Bmp},     {"ppm", PictureFormat::Ppm},
    {"jpg", PictureFormat::Jpeg},   {"jpeg", PictureFormat::Jpeg},   {"jpe", PictureFormat::Other},
    {"jfif", PictureFormat::Other}, {"gif", PictureFormat::Other},   {"dib", PictureFormat::Other},
    {"pgm", PictureFormat::Other},  {"pbm", PictureFormat::Other},   {"pnm", PictureFormat::Other},
    {"pam", PictureFormat::Other},  {"tif", PictureFormat::Other},   {"tiff", PictureFormat::Other},
    {"webp", PictureFormat::Other}, {"ico", PictureFormat::Other},   {"cur", PictureFormat::Other},
    {"tga", PictureFormat::Other},  {"xpm", PictureFormat::Other},   {"xbm", PictureFormat::Other},
    {"pcx", PictureFormat::Other},  {"psd", PictureFormat::Other},   {"svg", PictureFormat::Other},
    {"heic", PictureFormat::Other}, {"heif", PictureFormat::Other},  {"avif", PictureFormat::Other},
    {"jxl", PictureFormat::Other},  {"jp2", PictureFormat::Other},   {"exr", PictureFormat::Other},
    {"hdr", PictureFormat::Other},  {"apng", PictureFormat::Other},  {"icns", PictureFormat::Other},
    {"qoi", PictureFormat::Other},  {"dds", PictureFormat::Other},
};

}  // namespace

std::string read_standard_zft() {
    const std::uint64_t largest = zft::file_size(zft::kMaxDimension, zft::kMaxDimension);
    return core::read_stream(core::system_files(), STDIN_FILENO, kStandardInput, largest,
                             "more than " + core::with_commas(largest) + " bytes, longer than any ZFT file");
}

std::unique_ptr<core::ByteSource> open_standard_picture() {
    try {
        return core::system_files().openStream(STDIN_FILENO, core::kMostPictureBytes,
                                               "more than " + core::with_commas(core::kMostPictureBytes) +
                                                   " bytes, more than a picture of 100 megapixels takes");
    } catch (const core::Failure& failure) {
        throw failure.of("read", kStandardInput);
    }
}

std::optional<PictureFormat> picture_format_named(std::string_view name) {
    std::string lower(name);
    std::transform(lower.begin(), lower.end(), lower.begin(), [](unsigned char c) { return std::tolower(c); });
    for (const Ending& ending : kEndings)
        if (ending.ending == lower)
            return ending.format;
    return std::nullopt;
}

std::optional<PictureFormat> picture_format_of(std::string_view path) {
    const std::size_t dot = path.rfind('.');
    const std::size_t slash = path.rfind('/');
    // ".png" alone is a hidden file's name, not an ending.
    if (dot == std::string_view::npos || dot + 1 == path.size() ||
        (slash == std::string_view::npos ? dot == 0 : dot <= slash + 1))
        return std::nullopt;
    return picture_format_named(path.substr(dot + 1));
}

bool is_terminal_output(const std::string& path) { return is_standard(path) && ::isatty(STDOUT_FILENO) == 1; }
bool is_terminal_input(const std::string& path) { return is_standard(path) && ::isatty(STDIN_FILENO) == 1; }

Output::Output(const std::string& path, bool replace) : path_(path) {
    if (is_standard(path))
        return;
    // Refuses a folder's, a device's or a pipe's place before anything else.
    file_ = core::system_files().create(path, replace ? core::Existing::Replace : core::Existing::Keep);
    // Told now, before the picture is decoded; the commit checks again.
    if (!replace && ::access(path.c_str(), F_OK) == 0)
        throw core::cannot("write", path, "it exists already (--force replaces it)", core::Failure::Kind::Exists);
}

const std::string& Output::name() const { return is_standard(path_) ? kStandardOutput : path_; }

void Output::write(std::string_view bytes) {
    if (file_)
        file_->write(bytes);
    else
        held_.append(bytes);
}

void Output::commit() {
    if (file_) {
        file_->commit();
        return;
    }
    try {
        core::system_files().writeStream(STDOUT_FILENO, held_);
    } catch (const core::Failure& failure) {
        throw failure.of("write", kStandardOutput);
    }
    held_.clear();
}

}  // namespace cli
