// zft info and zft verify: what a ZFT file's header says, and whether the
// file is what it says.
#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "cli/cli.h"
#include "core/failure.h"
#include "core/file_kind.h"
#include "core/header_text.h"
#include "format/zft_format.h"

namespace cli {
namespace {

using core::header_text;

constexpr std::string_view kInfoHelp =
    "Usage: zft info [--json] FILE...\n"
    "Shows the header of each ZFT file as the previewer shows it, the picture's\n"
    "size, and whether the file's length is 64 + 3·W·H bytes. FILE - is standard\n"
    "input. Control characters in names and notices are shown as \\xNN.\n"
    "\n"
    "      --json  one JSON array, an object per file, for scripts\n"
    "  -h, --help  show this help\n"
    "\n"
    "Exit status 1 when a file cannot be read or is shorter than its header.\n";

constexpr std::string_view kVerifyHelp =
    "Usage: zft verify FILE...\n"
    "Checks that each file is a well-formed ZFT picture: every header field as the\n"
    "converter writes it and the length exactly 64 + 3·W·H bytes. Prints one line\n"
    "for each bad file saying what is wrong, nothing for a good one; a file that\n"
    "cannot be read is told on standard error.\n"
    "\n"
    "  -h, --help  show this help\n"
    "\n"
    "Exit status 0 only when every file is well formed.\n";

// What a file holds at its start, or why it could not be looked at.
struct Look {
    std::string head;  // at most the header's 64 bytes
    std::uint64_t length = 0;
    std::string error;  // empty when the file was read
};

// Reads through `fd` to its end, keeping the header's bytes.
void read_head(int fd, Look& look) {
    char chunk[1 << 16];
    for (;;) {
        const ssize_t got = ::read(fd, chunk, sizeof chunk);
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0) {
            look.error = core::system_reason(errno);
            return;
        }
        if (got == 0)
            return;
        const auto n = static_cast<std::size_t>(got);
        look.head.append(chunk, std::min(n, zft::kHeaderSize - look.head.size()));
        look.length += n;
    }
}

Look look_at(const std::string& path) {
    Look look;
    if (is_standard(path)) {
        read_head(STDIN_FILENO, look);
        return look;
    }
    // A pipe would keep the tool waiting; a folder or a device is no file.
    look.error = core::not_a_file_reason(path);
    if (!look.error.empty())
        return look;
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    struct stat status {};
    if (fd < 0 || ::fstat(fd, &status) != 0) {
        look.error = core::system_reason(errno);
        if (fd >= 0)
            ::close(fd);
        return look;
    }
    look.length = static_cast<std::uint64_t>(status.st_size);
    char head[zft::kHeaderSize];
    ssize_t got = 0;
    do {
        got = ::read(fd, head, sizeof head);
    } while (got < 0 && errno == EINTR);
    if (got < 0)
        look.error = core::system_reason(errno);
    else
        look.head.assign(head, static_cast<std::size_t>(got));
    ::close(fd);
    return look;
}

std::string length_verdict(std::uint64_t length, std::uint64_t expected) {
    if (length == expected)
        return std::to_string(length) + " bytes, as 64 + 3·W·H";
    return std::to_string(length) + " bytes, but 64 + 3·W·H is " + std::to_string(expected) + " (" +
           (length < expected ? "cut short" : "trailing bytes") + ")";
}

// An object of a JSON array, as `zft info --json` prints each file.
class JsonObject {
public:
    JsonObject& field(std::string_view name, const std::string& json) {
        text_ += (text_.empty() ? "    {\n" : ",\n") + std::string(8, ' ') + json_string(name) + ": " + json;
        return *this;
    }
    JsonObject& text(std::string_view name, std::string_view value) { return field(name, json_string(value)); }
    JsonObject& number(std::string_view name, std::uint64_t value) { return field(name, std::to_string(value)); }
    JsonObject& truth(std::string_view name, bool value) { return field(name, value ? "true" : "false"); }
    std::string done() const { return text_ + "\n    }"; }

private:
    std::string text_;
};

}  // namespace

int info_command(const Args& args) {
    Options options({{0, "json", false}});
    if (auto done = options.parse(args, "info", kInfoHelp))
        return *done;
    const Args& files = options.positional();
    if (files.empty())
        return usage_error("info", "no file given");
    const bool json = options.isSet("json");

    int status = kOk;
    std::vector<std::string> objects;
    bool first = true;
    for (const std::string& path : files) {
        const Look look = look_at(path);
        std::string problem = look.error;
        if (problem.empty() && look.head.size() < zft::kHeaderSize)
            problem = zft::short_file_fault(look.length);
        if (!problem.empty()) {
            report("info", input_name(path), problem);
            status = kFailed;
            if (json)
                objects.push_back(JsonObject().text("path", path).text("error", problem).done());
            continue;
        }

        const zft::ZftHeader header = zft::decode_header(look.head);
        const int width = header.width_value();
        const int height = header.height_value();
        const std::uint64_t expected = zft::file_size(width, height);
        const auto fault = zft::file_fault(look.head, look.length);
        const std::string date = header_text(header.creation_month) + "/" + header_text(header.creation_day) + "/" +
                                 header_text(header.creation_year);
        if (json) {
            objects.push_back(JsonObject()
                                  .text("path", path)
                                  .text("version", header_text(header.version))
                                  .text("creation_date", date)
                                  .text("copyright_notice", header_text(header.copyright_notice))
                                  .text("width", header_text(header.width))
                                  .text("height", header_text(header.height))
                                  .number("width_pixels", static_cast<std::uint64_t>(width))
                                  .number("height_pixels", static_cast<std::uint64_t>(height))
                                  .number("file_size", look.length)
                                  .number("expected_size", expected)
                                  .truth("length_matches", look.length == expected)
                                  .truth("well_formed", !fault.has_value())
                                  .field("fault", fault ? json_string(*fault) : "null")
                                  .done());
            continue;
        }
        std::string text = first ? "" : "\n";
        first = false;
        text += shown(path) + "\n";
        for (const std::string& line : core::header_summary_lines(header))
            text += "  " + shown(line) + "\n";
        text += "  size: " + std::to_string(width) + " × " + std::to_string(height) + " pixels\n";
        text += "  length: " + length_verdict(look.length, expected) + "\n";
        print_out(text);
    }
    if (json) {
        std::string array = "[\n";
        for (std::size_t i = 0; i < objects.size(); ++i)
            array += objects[i] + (i + 1 < objects.size() ? ",\n" : "\n");
        print_out(array + "]\n");
    }
    return status;
}

int verify_command(const Args& args) {
    Options options({});
    if (auto done = options.parse(args, "verify", kVerifyHelp))
        return *done;
    const Args& files = options.positional();
    if (files.empty())
        return usage_error("verify", "no file given");

    int status = kOk;
    for (const std::string& path : files) {
        const Look look = look_at(path);
        if (!look.error.empty()) {
            report("verify", input_name(path), look.error);
            status = kFailed;
        } else if (auto fault = zft::file_fault(look.head, look.length)) {
            print_out(shown(input_name(path)) + ": " + *fault + "\n");
            status = kFailed;
        }
    }
    return status;
}

}  // namespace cli
