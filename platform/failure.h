// A platform operation that could not be done. The message is meant for the
// user: it names the file and the reason.
#pragma once

#include <QString>
#include <exception>

namespace platform {

class Failure : public std::exception {
public:
    enum class Kind { Io, EndOfFile, Decode, TooLarge };

    Failure(Kind kind, QString message) : kind_(kind), message_(std::move(message)), what_(message_.toUtf8()) {}

    Kind kind() const { return kind_; }
    const QString& message() const { return message_; }
    const char* what() const noexcept override { return what_.constData(); }

private:
    Kind kind_;
    QString message_;
    QByteArray what_;
};

}  // namespace platform
