#include "tests/support/scripted_prompts.h"

#include <QFile>
#include <utility>

namespace testing {

template <typename T>
std::optional<T> ScriptedPrompts::next(const Shown& prompt) {
    QElapsedTimer timer;
    timer.start();
    shown.push_back(prompt);
    if (whileShown)
        whileShown(prompt);
    std::optional<T> answer;
    if (!answers_.empty() && std::holds_alternative<T>(answers_.front())) {
        answer = std::get<T>(answers_.front());
        answers_.pop_front();
    } else {
        unexpected << QStringLiteral("%1: %2").arg(prompt.title, prompt.text);
    }
    promptNanos += timer.nsecsElapsed();
    return answer;
}

template <typename T>
platform::Async<T> ScriptedPrompts::give(T answer) {
    if (!answerLater)
        return platform::Async<T>::ready(std::move(answer));
    auto [async, settle] = platform::Async<T>::later();
    waiting_ = [settle = std::move(settle), answer = std::move(answer)] { settle(answer); };
    return async;
}

bool ScriptedPrompts::settle() {
    // The command goes on inside the call, and may wait for its next prompt.
    const std::function<void()> answer = std::exchange(waiting_, nullptr);
    if (answer)
        answer();
    return bool(answer);
}

platform::Async<std::optional<std::string>> ScriptedPrompts::fileDialog(platform::FileDialogMode mode,
                                                                       const std::string& title,
                                                                       const std::string& filter,
                                                                       const std::string& fileName) {
    const auto answer = next<FileAnswer>({Shown::Kind::FileDialog, QString::fromStdString(title),
                                          QFile::decodeName(fileName.c_str()), QString::fromStdString(filter), {},
                                          mode});
    std::optional<std::string> path;
    if (answer && answer->path)
        path = QFile::encodeName(*answer->path).toStdString();
    return give(std::move(path));
}

platform::Async<platform::Answer> ScriptedPrompts::messageBox(const std::string& text, platform::MessageStyle style,
                                                              const std::string& title) {
    const auto answer = next<platform::Answer>(
        {Shown::Kind::MessageBox, QString::fromStdString(title), QString::fromStdString(text), {}, style, {}});
    // An unscripted box is closed the way Escape closes it.
    if (!answer)
        return give(style == platform::MessageStyle::Question ? platform::Answer::No : platform::Answer::Cancel);
    return give(*answer);
}

platform::Async<std::string> ScriptedPrompts::inputBox(const std::string& prompt, const std::string& title) {
    const auto answer =
        next<InputAnswer>({Shown::Kind::InputBox, QString::fromStdString(title), QString::fromStdString(prompt), {}, {}, {}});
    return give(answer && answer->text ? answer->text->toStdString() : std::string());
}

}  // namespace testing
