#include <algorithm>
#include <array>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "cli/cli.h"

namespace {

constexpr std::string_view kHelp =
    "Usage: zft COMMAND [OPTION]... FILE...\n"
    "Converts pictures to ZFT picture files and back, and inspects ZFT files.\n"
    "\n"
    "Commands:\n"
    "  info       show the header of ZFT files\n"
    "  convert    convert JPG, GIF, BMP and PNG pictures to ZFT files\n"
    "  export     write a ZFT picture as PNG, BMP, JPEG or PPM\n"
    "  verify     check that ZFT files are well formed\n"
    "  thumbnail  write a small PNG of a ZFT picture\n"
    "\n"
    "  -h, --help     show this help; 'zft COMMAND --help' shows a command's\n"
    "  -V, --version  show the version\n"
    "\n"
    "Exit status: 0 when everything was done, 1 when a file failed, 2 when the\n"
    "command line is wrong.\n";

struct Command {
    const char* name;
    int (*run)(const cli::Args&);
};

constexpr std::array kCommands = {
    Command{"info", cli::info_command},       Command{"convert", cli::convert_command},
    Command{"export", cli::export_command},   Command{"verify", cli::verify_command},
    Command{"thumbnail", cli::thumbnail_command},
};

}  // namespace

int main(int argc, char* argv[]) {
    const cli::Args args(argv + std::min(argc, 1), argv + argc);
    if (args.empty()) {
        cli::print_err(kHelp);
        return cli::kUsage;
    }
    const std::string& first = args.front();
    if (first == "-h" || first == "--help" || first == "help") {
        cli::print_out(kHelp);
        return cli::kOk;
    }
    if (first == "-V" || first == "--version") {
        cli::print_out("zft " ZFT_VERSION "\n");
        return cli::kOk;
    }
    for (const Command& command : kCommands) {
        if (first == command.name) {
            const int status = command.run(cli::Args(args.begin() + 1, args.end()));
            // Every file is written and closed by now; what is left to take
            // apart the system clears anyway.
            std::fflush(stdout);
            std::fflush(stderr);
            std::_Exit(status);
        }
    }
    cli::print_err("zft: '" + cli::shown(first) + "' is not a command\nTry 'zft --help'.\n");
    return cli::kUsage;
}
