#include <algorithm>
#include <cstdio>
#include <unistd.h>

#include "cli/cli.h"
#include "core/header_text.h"
#include "format/zft_format.h"

namespace cli {

void print_out(std::string_view text) {
    try {
        core::system_files().writeStream(STDOUT_FILENO, text);
    } catch (const core::Failure& failure) {
        throw failure.of("write", kStandardOutput);
    }
}

void print_err(std::string_view text) {
    try {
        core::system_files().writeStream(STDERR_FILENO, text);
    } catch (const core::Failure&) {
    }
}

std::string shown(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size();) {
        char32_t c = 0;
        const std::size_t length = core::utf8_character(text, i, c);
        if (length == 0) {
            out += zft::escaped_byte(static_cast<unsigned char>(text[i++]));
            continue;
        }
        // A C1 control is shown by its code point, which for a notice is the
        // byte in the file.
        if (c < 0x20 || (c >= 0x7F && c < 0xA0))
            out += zft::escaped_byte(static_cast<unsigned char>(c));
        else
            out.append(text.substr(i, length));
        i += length;
    }
    return out;
}

int usage_error(std::string_view command, std::string_view reason) {
    std::string text = "zft ";
    text.append(command).append(": ").append(shown(reason)).append("\nTry 'zft ").append(command).append(" --help'.\n");
    print_err(text);
    return kUsage;
}

void report(std::string_view command, std::string_view file, std::string_view reason) {
    std::string text = "zft ";
    text.append(command).append(": ").append(file.empty() ? "''" : shown(file)).append(": ").append(shown(reason)).append("\n");
    print_err(text);
}

void report(std::string_view command, const core::Failure& failure) {
    if (!failure.ofFile())
        print_err("zft " + std::string(command) + ": " + shown(failure.message()) + "\n");
    else
        report(command, failure.path(), failure.reason());
}

Options::Options(std::vector<Option> known) : known_(std::move(known)) { known_.push_back({'h', "help", false}); }

const Option* Options::find(char shortName, std::string_view longName) const {
    for (const Option& option : known_)
        if ((shortName && option.shortName == shortName) || (!longName.empty() && option.longName == longName))
            return &option;
    return nullptr;
}

bool Options::isSet(std::string_view longName) const {
    for (const auto& [name, value] : given_)
        if (name == longName)
            return true;
    return false;
}

std::string Options::value(std::string_view longName) const {
    std::string found;
    for (const auto& [name, value] : given_)
        if (name == longName)
            found = value;
    return found;
}

std::optional<int> Options::parse(const Args& args, std::string_view command, std::string_view help) {
    bool optionsEnd = false;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        // "-" is standard input or output, and "-1" a negative number for
        // the command to judge (no option is a digit).
        if (optionsEnd || arg.size() < 2 || arg[0] != '-' || (arg[1] >= '0' && arg[1] <= '9')) {
            positional_.push_back(arg);
            continue;
        }
        if (arg == "--") {
            optionsEnd = true;
            continue;
        }
        const bool isLong = arg[1] == '-';
        const std::size_t equals = isLong ? arg.find('=') : std::string::npos;
        const std::string name = isLong ? arg.substr(2, equals == std::string::npos ? equals : equals - 2) : arg.substr(1, 1);
        const Option* option = isLong ? find(0, name) : find(name[0], {});
        if (!option)
            return usage_error(command, "unknown option '" + name + "'");
        std::string value;
        if (option->takesValue) {
            if (equals != std::string::npos)
                value = arg.substr(equals + 1);
            else if (!isLong && arg.size() > 2)
                value = arg.substr(2);
            else if (i + 1 < args.size())
                value = args[++i];
            else
                return usage_error(command, "missing value after '" + arg + "'");
        } else if (equals != std::string::npos || (!isLong && arg.size() > 2)) {
            return usage_error(command, "unexpected value after '" + arg.substr(0, isLong ? equals : 2) + "'");
        }
        given_.emplace_back(option->longName, value);
    }
    if (isSet("help")) {
        print_out(help);
        return kOk;
    }
    return std::nullopt;
}

std::optional<int> count_of(const std::string& text) {
    if (text.empty() || text.size() > 6 || !std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; }))
        return std::nullopt;
    return std::stoi(text);
}

std::string json_string(std::string_view text) {
    std::string out = "\"";
    for (std::size_t i = 0; i < text.size();) {
        char32_t c = 0;
        const std::size_t length = core::utf8_character(text, i, c);
        if (length == 0) {
            out += "\\ufffd";
            ++i;
            continue;
        }
        if (c == '"') {
            out += "\\\"";
        } else if (c == '\\') {
            out += "\\\\";
        } else if (c == '\n') {
            out += "\\n";
        } else if (c == '\r') {
            out += "\\r";
        } else if (c == '\t') {
            out += "\\t";
        } else if (c < 0x20 || (c >= 0x7F && c < 0xA0)) {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\u%04x", static_cast<unsigned>(c));
            out += escaped;
        } else {
            out.append(text.substr(i, length));
        }
        i += length;
    }
    return out + "\"";
}

bool is_utf8(std::string_view text) {
    for (std::size_t i = 0; i < text.size();) {
        char32_t c = 0;
        const std::size_t length = core::utf8_character(text, i, c);
        if (length == 0)
            return false;
        i += length;
    }
    return true;
}

std::string hex_bytes(std::string_view bytes) {
    static constexpr char kDigits[] = "0123456789abcdef";
    std::string out;
    out.reserve(bytes.size() * 2);
    for (const unsigned char byte : bytes) {
        out += kDigits[byte >> 4];
        out += kDigits[byte & 15];
    }
    return out;
}

}  // namespace cli
