#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <new>
#include <string>
#include <unistd.h>

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

// A program started with standard input, output or error closed would give
// that number to the first file it opens, and a message meant for standard
// error would land in a picture being written. Each closed one is held by
// /dev/null instead, before any file is opened or thread started.
void hold_standard_descriptors() {
    for (int fd = 0; fd <= 2; ++fd) {
        if (::fcntl(fd, F_GETFD) != -1 || errno != EBADF)
            continue;
        // The lowest free number is this one, since those below it are held.
        const int held = ::open("/dev/null", O_RDWR);
        if (held != fd) {
            // No /dev/null (a bare chroot): nothing would be safe to write.
            std::_Exit(cli::kFailed);
        }
    }
}

// Runs a command; what it did not catch itself is told as its failure.
int run(const Command& command, const cli::Args& args) {
    try {
        return command.run(args);
    } catch (const core::Failure& failure) {
        cli::report(command.name, failure);
    } catch (const std::bad_alloc&) {
        cli::print_err(std::string("zft ") + command.name + ": out of memory\n");
    }
    return cli::kFailed;
}

}  // namespace

int main(int argc, char* argv[]) {
    hold_standard_descriptors();
    const cli::Args args(argv + std::min(argc, 1), argv + argc);
    if (args.empty()) {
        cli::print_err(kHelp);
        return cli::kUsage;
    }
    const std::string& first = args.front();
    if (first == "-h" || first == "--help" || first == "help" || first == "-V" || first == "--version") {
        try {
            cli::print_out(first == "-V" || first == "--version" ? std::string_view("zft " ZFT_VERSION "\n") : kHelp);
        } catch (const core::Failure& failure) {
            cli::print_err("zft: " + cli::shown(failure.path()) + ": " + cli::shown(failure.reason()) + "\n");
            return cli::kFailed;
        }
        return cli::kOk;
    }
    for (const Command& command : kCommands) {
        if (first == command.name) {
            const int status = run(command, cli::Args(args.begin() + 1, args.end()));
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
