// What the commands share about their files: standard input and output,
// the endings of picture formats, and writing a picture out.
#include <algorithm>
#include <cerrno>
#include <unistd.h>

#include "cli/cli.h"

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

void write_all(int fd, std::string_view bytes) {
    while (!bytes.empty()) {
        const ssize_t written = ::write(fd, bytes.data(), bytes.size());
        if (written < 0 && errno == EINTR)
            continue;
        if (written < 0)
            throw core::cannot("write", kStandardOutput, core::system_reason(errno));
        bytes.remove_prefix(static_cast<std::size_t>(written));
    }
}

}  // namespace

std::string read_standard_input() {
    std::string bytes;
    char chunk[1 << 16];
    for (;;) {
        const ssize_t got = ::read(STDIN_FILENO, chunk, sizeof chunk);
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0)
            throw core::cannot("read", kStandardInput, core::system_reason(errno));
        if (got == 0)
            return bytes;
        bytes.append(chunk, static_cast<std::size_t>(got));
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

std::string refused_output(const std::string& path) {
    if (is_standard(path) && ::isatty(STDOUT_FILENO) == 1)
        return "standard output is a terminal: a picture is not written to one (redirect it to a file or a pipe)";
    return {};
}

Output::Output(const std::string& path, bool replace) : path_(path) {
    if (is_standard(path))
        return;
    // Refuses a folder's, a device's or a pipe's place before anything else.
    file_.open(path, replace ? core::AtomicFile::Existing::Replace : core::AtomicFile::Existing::Keep);
    // Told now, before the picture is decoded; the commit checks again.
    if (!replace && ::access(path.c_str(), F_OK) == 0)
        throw core::cannot("write", path, "it exists already (--force replaces it)");
}

void Output::write(std::string_view bytes) {
    if (is_standard(path_))
        held_.append(bytes);
    else
        file_.write(bytes);
}

void Output::commit() {
    if (!is_standard(path_)) {
        file_.commit();
        return;
    }
    write_all(STDOUT_FILENO, held_);
    held_.clear();
}

}  // namespace cli
