// The `zft` command-line tool: one function per command, each taking the
// arguments after the command's name and giving the exit status. Standard
// C++ over the core: the tool loads no Qt, and starts in a millisecond.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/failure.h"
#include "core/files.h"

namespace cli {

enum Exit : int {
    kOk = 0,
    kFailed = 1,  // a file could not be done; the others were
    kUsage = 2,   // the command line itself is wrong; nothing was done
};

using Args = std::vector<std::string>;

int info_command(const Args& args);
int verify_command(const Args& args);
int convert_command(const Args& args);
int export_command(const Args& args);
int thumbnail_command(const Args& args);

// Writes to standard output or standard error, as is (UTF-8). print_out
// throws Failure said of standard output when the text cannot go there (a
// full disk); what cannot go to standard error is lost, as there is nowhere
// left to say so.
void print_out(std::string_view text);
void print_err(std::string_view text);

// Text as a terminal may be given it: a character that would steer the
// terminal (C0 and C1 controls, DEL) and a byte that is no UTF-8 are written
// as "\x1B", the way the codec's reasons show bad bytes. A file name
// or a notice can hold an escape sequence that retitles or clears the
// terminal it is printed on.
std::string shown(std::string_view text);

// "zft convert: <reason>" and a pointer to the command's help, on stderr.
int usage_error(std::string_view command, std::string_view reason);

// A file that could not be done, on stderr as other tools say it:
// "zft export: out.png: No space left on device"; an empty name as ''.
void report(std::string_view command, std::string_view file, std::string_view reason);
void report(std::string_view command, const core::Failure& failure);

// "-" for standard input or output, named in messages as below.
inline bool is_standard(std::string_view path) { return path == "-"; }
inline const std::string kStandardInput = "standard input";
inline const std::string kStandardOutput = "standard output";
inline const std::string& input_name(const std::string& path) { return is_standard(path) ? kStandardInput : path; }

// All of standard input, which is to hold a ZFT file: read up to one byte
// more than the largest ZFT file, and refused past that. Throws Failure
// naming it.
std::string read_standard_zft();
// Standard input, which is to hold a picture, to be read as far as its
// decoder asks, up to core::kMostPictureBytes. Throws Failure naming it.
std::unique_ptr<core::ByteSource> open_standard_picture();

// Ordinary picture formats, as a file name's ending or --format names them.
enum class PictureFormat { Png, Bmp, Ppm, Jpeg, Other };  // Other: one zft does not write
// The format a name's ending stands for, whatever its case; nullopt for a
// name that ends in no picture format's ending.
std::optional<PictureFormat> picture_format_of(std::string_view path);
// The format named by itself ("png", "JPG"), as --format takes it.
std::optional<PictureFormat> picture_format_named(std::string_view name);

// A picture is never written to a terminal: "-" there is refused with this.
bool is_terminal_output(const std::string& path);
inline const std::string kTerminalOutput =
    "standard output is a terminal: a picture is not written to one (redirect it to a file or a pipe)";
// Nor read from one, where it would wait for typing that never makes one.
bool is_terminal_input(const std::string& path);
inline const std::string kTerminalInput =
    "standard input is a terminal: a file is not read from one (redirect a file or a pipe to it)";

// Where a command's picture goes: a file, written whole or not at all, or
// standard output for "-" (held until commit, so that a failure before it
// writes nothing there either). Throws Failure naming the file.
class Output final : public core::ByteSink {
public:
    // `replace`: an existing file may be replaced; otherwise it is refused.
    Output(const std::string& path, bool replace);
    void write(std::string_view bytes) override;
    void commit();
    // "standard output" for "-".
    const std::string& name() const;

private:
    std::string path_;
    std::unique_ptr<core::WritableFile> file_;
    std::string held_;  // for standard output
};

// A command's options, as GNU tools take them: "-o OUT", "-oOUT", "--output
// OUT", "--output=OUT", "--" before arguments that start with "-".
struct Option {
    char shortName;  // 0 for none
    std::string longName;
    bool takesValue = false;
};

class Options {
public:
    explicit Options(std::vector<Option> known);

    bool isSet(std::string_view longName) const;
    // The last value given; empty when the option was not given.
    std::string value(std::string_view longName) const;
    const Args& positional() const { return positional_; }

    // Parses `args` after adding -h, --help. Gives the exit status when the
    // command is done already (help printed, or a usage error told),
    // nullopt when it goes on.
    std::optional<int> parse(const Args& args, std::string_view command, std::string_view help);

private:
    const Option* find(char shortName, std::string_view longName) const;

    std::vector<Option> known_;
    std::vector<std::pair<std::string, std::string>> given_;  // long name, value
    Args positional_;
};

// A count given on the command line (--jobs, a thumbnail's size): one to
// six decimal digits and nothing else; nullopt for anything else.
std::optional<int> count_of(const std::string& text);

// Text, quoted for JSON, in UTF-8 whatever it holds: a byte that is no
// UTF-8 becomes U+FFFD, and control characters (C0, DEL and C1), which
// would steer a terminal, are escaped as \u00XX.
std::string json_string(std::string_view text);
// Whether `text` is well-formed UTF-8.
bool is_utf8(std::string_view text);
// Bytes as two lower-case hexadecimal digits each.
std::string hex_bytes(std::string_view bytes);

}  // namespace cli
