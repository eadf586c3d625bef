// Prompts that answer from a script instead of asking a person: each prompt
// takes the next answer in line, and every prompt shown is recorded. Texts
// are kept as a person reads them, paths as Qt's file dialog gives them.
#pragma once

#include <QElapsedTimer>
#include <QString>
#include <QStringList>
#include <deque>
#include <functional>
#include <optional>
#include <variant>
#include <vector>

#include "platform/prompts.h"

namespace testing {

struct Shown {
    enum class Kind { FileDialog, MessageBox, InputBox } kind;
    QString title;
    QString text;  // message or prompt; the file name preset for a file dialog
    QString filter;
    platform::MessageStyle style = platform::MessageStyle::Information;
    platform::FileDialogMode mode = platform::FileDialogMode::Open;
};

class ScriptedPrompts final : public platform::Prompts {
public:
    // The answers, in the order the prompts will come. A file dialog answered
    // with nullopt is dismissed; an input box answered with nullopt is cancelled.
    ScriptedPrompts& file(std::optional<QString> path) { return push(FileAnswer{std::move(path)}); }
    ScriptedPrompts& button(platform::Answer answer) { return push(answer); }
    ScriptedPrompts& input(std::optional<QString> text) { return push(InputAnswer{std::move(text)}); }

    core::Date date{9, 3, 2004};

    // Set, a prompt gives its answer only when settle() is called, after the
    // prompt has returned, as a browser's prompts do.
    bool answerLater = false;
    // Gives the prompt that waits its answer, and the command goes on with
    // it; false when no prompt waits.
    bool settle();

    // Runs while a prompt is open, after it is recorded: a test's chance to
    // look at the window, or to act, as a person could at that moment.
    std::function<void(const Shown&)> whileShown;

    std::vector<Shown> shown;
    QStringList unexpected;  // prompts that came with no answer of their kind next in line
    qint64 promptNanos = 0;  // time spent inside prompts, for benchmarks

    bool allAnswered() const { return answers_.empty(); }
    void forgetAnswers() { answers_.clear(); }

    platform::Async<std::optional<std::string>> fileDialog(platform::FileDialogMode mode, const std::string& title,
                                                           const std::string& filter,
                                                           const std::string& fileName) override;
    platform::Async<platform::Answer> messageBox(const std::string& text, platform::MessageStyle style,
                                                 const std::string& title) override;
    platform::Async<std::string> inputBox(const std::string& prompt, const std::string& title) override;
    core::Date currentDate() override { return date; }

private:
    struct FileAnswer {
        std::optional<QString> path;
    };
    struct InputAnswer {
        std::optional<QString> text;
    };
    using Answer = std::variant<FileAnswer, platform::Answer, InputAnswer>;

    ScriptedPrompts& push(Answer answer) {
        answers_.push_back(std::move(answer));
        return *this;
    }
    template <typename T>
    std::optional<T> next(const Shown& prompt);
    template <typename T>
    platform::Async<T> give(T answer);

    std::deque<Answer> answers_;
    std::function<void()> waiting_;
};

}  // namespace testing
