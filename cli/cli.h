// The `zft` command-line tool: one function per command, each taking the
// arguments after the command's name and giving the exit status. Standard
// C++ over the core: the tool loads no Qt, and starts in a millisecond.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

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

// Writes to standard output or standard error, as is (UTF-8).
void print_out(std::string_view text);
void print_err(std::string_view text);

// "zft convert: <problem>" and a pointer to the command's help, on stderr.
int usage_error(std::string_view command, std::string_view problem);

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

// Text, quoted for JSON.
std::string json_string(std::string_view text);

}  // namespace cli
