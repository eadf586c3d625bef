// The one error of the program and its tools: something could not be done.
// Its message is the sentence the user reads, naming the file and the reason
// ("Cannot write /home/ann/x.zft: No space left on device"), in UTF-8.
#pragma once

#include <exception>
#include <string>
#include <string_view>

namespace core {

class Failure : public std::exception {
public:
    explicit Failure(std::string message) : message_(std::move(message)) {}

    // A read that passed the end of a file: the caller may know better than
    // the reader what that means for the file as a whole.
    static Failure endOfFile(std::string message) {
        Failure failure(std::move(message));
        failure.endOfFile_ = true;
        return failure;
    }

    const std::string& message() const { return message_; }
    bool isEndOfFile() const { return endOfFile_; }
    // The file and the reason apart, for tools that print them in their own
    // form; both empty for a failure not made by cannot().
    const std::string& path() const { return path_; }
    const std::string& reason() const { return reason_; }
    const char* what() const noexcept override { return message_.c_str(); }

private:
    friend Failure cannot(std::string_view action, std::string_view path, std::string_view reason);

    std::string message_;
    std::string path_;
    std::string reason_;
    bool endOfFile_ = false;
};

// "Cannot <action> <path>: <reason>". Paths are as the system names files.
Failure cannot(std::string_view action, std::string_view path, std::string_view reason);

// The reason the system gives for an error number ("No such file or directory").
std::string system_reason(int error);

}  // namespace core
