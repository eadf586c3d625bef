#include "tests/support/scripted_prompts.h"

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

std::optional<QString> ScriptedPrompts::fileDialog(platform::FileDialogMode mode, const QString& title,
                                                   const QString& filter, const QString& fileName) {
    const auto answer = next<FileAnswer>({Shown::Kind::FileDialog, title, fileName, filter, {}, mode});
    return answer ? answer->path : std::nullopt;
}

platform::Answer ScriptedPrompts::messageBox(const QString& text, platform::MessageStyle style, const QString& title) {
    const auto answer = next<platform::Answer>({Shown::Kind::MessageBox, title, text, {}, style, {}});
    // An unscripted box is closed the way Escape closes it.
    if (!answer)
        return style == platform::MessageStyle::Question ? platform::Answer::No : platform::Answer::Cancel;
    return *answer;
}

QString ScriptedPrompts::inputBox(const QString& prompt, const QString& title) {
    const auto answer = next<InputAnswer>({Shown::Kind::InputBox, title, prompt, {}, {}, {}});
    return answer && answer->text ? *answer->text : QString();
}

}  // namespace testing
