// zft info and zft verify: what a ZFT file's header says, and whether the
// file is what it says.
#include <algorithm>
#include <optional>
#include <unistd.h>

#include "cli/cli.h"
#include "core/failure.h"
#include "core/files.h"
#include "core/header_text.h"
#include "core/zft_codec.h"
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
    "Exit status 1 when a file cannot be read, or is no ZFT file: shorter than\n"
    "the header, or a header the converter does not write (what it holds is\n"
    "still shown).\n";

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

// What a file holds at its start, and its length.
struct Look {
    std::string head;  // at most the header's 64 bytes
    std::uint64_t length = 0;
};

// Throws Failure naming the file.
Look look_at(const std::string& path) {
    core::Files& files = core::system_files();
    if (is_standard(path)) {
        std::string bytes = read_standard_zft();
        const std::uint64_t length = bytes.size();
        bytes.resize(std::min<std::size_t>(bytes.size(), zft::kHeaderSize));
        return {std::move(bytes), length};
    }
    const std::unique_ptr<core::ByteSource> file = files.open(path);
    Look look;
    look.length = file->size();
    look.head.resize(zft::kHeaderSize);
    try {
        look.head.resize(file->read(0, look.head.data(), zft::kHeaderSize));
    } catch (const core::Failure& failure) {
        throw failure.of("read", path);
    }
    return look;
}

// What is wrong with a file, nullopt when it is a well-formed ZFT file.
std::optional<core::Failure> failure_of(const Look& look) {
    try {
        core::check_zft_file(look.head, look.length);
        return std::nullopt;
    } catch (const core::Failure& failure) {
        return failure;
    }
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
    // "path" as text; a name that is no UTF-8 also as its bytes, in
    // "path_bytes", since the text has U+FFFD in place of what is not.
    JsonObject& path(std::string_view value) {
        text("path", value);
        return is_utf8(value) ? *this : text("path_bytes", hex_bytes(value));
    }
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
    if (std::any_of(files.begin(), files.end(), is_terminal_input))
        return usage_error("info", kTerminalInput);
    const bool json = options.isSet("json");

    int status = kOk;
    std::vector<std::string> objects;
    bool first = true;
    for (const std::string& path : files) {
        Look look;
        std::string reason;
        try {
            look = look_at(path);
            if (look.head.size() < zft::kHeaderSize)
                reason = core::short_file_reason(look.length);
        } catch (const core::Failure& failure) {
            reason = failure.reason();
        } catch (const std::bad_alloc&) {
            reason = "out of memory";
        }
        if (!reason.empty()) {
            report("info", input_name(path), reason);
            status = kFailed;
            if (json)
                objects.push_back(JsonObject().path(path).text("error", reason).done());
            continue;
        }

        const zft::ZftHeader header = zft::decode_header(look.head);
        const int width = header.width_value();
        const int height = header.height_value();
        const std::uint64_t expected = zft::file_size(width, height);
        const std::optional<core::Failure> failure = failure_of(look);
        const std::string date = header_text(header.creation_month) + "/" + header_text(header.creation_day) + "/" +
                                 header_text(header.creation_year);
        if (json) {
            objects.push_back(JsonObject()
                                  .path(path)
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
                                  .truth("well_formed", !failure.has_value())
                                  .field("fault", failure ? json_string(failure->reason()) : "null")
                                  .done());
        } else {
            std::string text = first ? "" : "\n";
            first = false;
            text += shown(path) + "\n";
            for (const std::string& line : core::header_summary(header))
                text += "  " + shown(line) + "\n";
            text += "  size: " + std::to_string(width) + " × " + std::to_string(height) + " pixels\n";
            text += "  length: " + length_verdict(look.length, expected) + "\n";
            print_out(text);
        }
        // What it holds is shown, as the previewer's box shows any 64 bytes;
        // but a header the converter never writes is no ZFT file's. A length
        // that is not the header's is the verdict's to tell.
        try {
            core::check_zft_header(header);
        } catch (const core::Failure& notZft) {
            report("info", input_name(path), "not a ZFT file: " + notZft.reason());
            status = kFailed;
        }
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
    if (std::any_of(files.begin(), files.end(), is_terminal_input))
        return usage_error("verify", kTerminalInput);

    int status = kOk;
    for (const std::string& path : files) {
        std::optional<core::Failure> fault;
        try {
            fault = failure_of(look_at(path));
        } catch (const core::Failure& failure) {
            report("verify", input_name(path), failure.reason());
            status = kFailed;
        } catch (const std::bad_alloc&) {
            report("verify", input_name(path), "out of memory");
            status = kFailed;
        }
        if (fault) {
            print_out(shown(input_name(path)) + ": " + fault->reason() + "\n");
            status = kFailed;
        }
    }
    return status;
}

}  // namespace cli
