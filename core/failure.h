// The one error of the program and its tools: something could not be done.
// Its message is the sentence the user reads, naming the file and the reason
// ("Cannot write /home/ann/x.zft: No space left on device").
#pragma once

#include <QByteArray>
#include <QString>
#include <exception>

namespace core {

class Failure : public std::exception {
public:
    explicit Failure(QString message) : message_(std::move(message)), what_(message_.toUtf8()) {}

    // A read that passed the end of a file: the caller may know better than
    // the reader what that means for the file as a whole.
    static Failure endOfFile(QString message) {
        Failure failure(std::move(message));
        failure.endOfFile_ = true;
        return failure;
    }

    const QString& message() const { return message_; }
    bool isEndOfFile() const { return endOfFile_; }
    const char* what() const noexcept override { return what_.constData(); }

private:
    QString message_;
    QByteArray what_;
    bool endOfFile_ = false;
};

// "Cannot <action> <path>: <reason>", the path as the system writes it.
Failure cannot(const QString& action, const QString& path, const QString& reason);

// The reason the system gives for an error number ("No such file or directory").
QString system_reason(int error);

}  // namespace core
