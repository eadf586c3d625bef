// The one error of the program, its tools and its plugins: something could
// not be done. It carries a kind, which callers branch on, and the reason in
// plain words; once it is said of a file, also the sentence the user reads,
// naming the file and the reason ("Cannot write /home/ann/x.zft: No space
// left on device"), in UTF-8.
//
// A decoder or a checker knows what is wrong but not which file it reads:
// it throws a failure without a file, and the caller that opened the file
// says it of that file (of()). Hosts with their own error values (a Qt
// plugin's false, a GError) translate it at their edge.
#pragma once

#include <exception>
#include <string>
#include <string_view>

namespace core {

class Failure : public std::exception {
public:
    enum class Kind {
        Io,           // the system refused to open, read or write (its reason)
        Damaged,      // the bytes are not a well-formed file of their kind
        Unsupported,  // not a kind of file this program reads
        TooLarge,     // more than the program takes: pixels, bytes or work
        EndOfFile,    // a read passed the end of the file
        OutOfMemory,
        Exists,       // an output that exists already, and is to be kept
    };

    // A failure not yet said of a file: its message is the reason alone.
    Failure(Kind kind, std::string reason);

    Kind kind() const { return kind_; }
    const std::string& reason() const { return reason_; }
    // Whether it is said of a file yet, and of which (a name may be empty).
    bool ofFile() const { return ofFile_; }
    const std::string& path() const { return path_; }
    // "Cannot <action> <path>: <reason>", or the reason alone.
    const std::string& message() const { return message_; }
    const char* what() const noexcept override { return message_.c_str(); }

    // This failure said of the file at `path`; one said of a file already
    // stays as it is, since the innermost caller knows the file best.
    Failure of(std::string_view action, std::string_view path) const;

private:
    friend Failure cannot(std::string_view action, std::string_view path, std::string_view reason, Kind kind);

    Kind kind_;
    std::string reason_;
    std::string path_;
    bool ofFile_ = false;
    std::string message_;
};

// "Cannot <action> <path>: <reason>". Paths are as the system names files;
// an empty one is shown as '', as other tools show it.
Failure cannot(std::string_view action, std::string_view path, std::string_view reason,
               Failure::Kind kind = Failure::Kind::Io);

// The failure the system reports with `error` (an errno value): its own
// reason ("No such file or directory"), of kind OutOfMemory for ENOMEM and
// Io for the rest.
Failure system_failure(std::string_view action, std::string_view path, int error);
// The same, not yet said of a file.
Failure system_failure(int error);

// The reason the system gives for an error number.
std::string system_reason(int error);

}  // namespace core
