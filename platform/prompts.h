// The modal prompts and the clock: everything a command asks the user, or the
// world, passes through here, so that tests can script the answers. Texts
// are UTF-8; paths are as the system spells them.
#pragma once

#include <optional>
#include <string>

#include "core/header_text.h"
#include "platform/async.h"

namespace platform {

// Icon and buttons of a message box, as pairs: each style has its own buttons.
enum class MessageStyle {
    Information,  // OK
    Question,     // Yes, No
    Stop,         // OK, Cancel
    Exclamation,  // OK
    Error,        // OK, with the stop sign: something failed
};

enum class Answer { Ok, Cancel, Yes, No };

enum class FileDialogMode { Open, Save };

class Prompts {
public:
    virtual ~Prompts() = default;

    // The full path chosen, or nullopt when the dialog was dismissed.
    // `filter` is a list of patterns separated by ";" ("*.JPG;*.GIF;*.BMP").
    virtual Async<std::optional<std::string>> fileDialog(FileDialogMode mode, const std::string& title,
                                                         const std::string& filter, const std::string& fileName) = 0;

    // `text` may hold line breaks as CR LF. The answer is the button pressed;
    // a box closed otherwise answers with its last button (OK where it has one).
    virtual Async<Answer> messageBox(const std::string& text, MessageStyle style, const std::string& title) = 0;

    // The text entered; empty when the box was cancelled.
    virtual Async<std::string> inputBox(const std::string& prompt, const std::string& title) = 0;

    // Today's local date.
    virtual core::Date currentDate() = 0;
};

// The program's one file dialog. Its file name, filter and title stay as they
// were last set; a dismissed dialog leaves the file name unchanged.
class FileDialog {
public:
    explicit FileDialog(Prompts& prompts) : prompts_(prompts) {}

    std::string fileName;
    std::string filter;
    std::string title;

    Async<void> showOpen() { return show(FileDialogMode::Open); }
    Async<void> showSave() { return show(FileDialogMode::Save); }

private:
    Async<void> show(FileDialogMode mode) {
        if (std::optional<std::string> chosen = co_await prompts_.fileDialog(mode, title, filter, fileName))
            fileName = std::move(*chosen);
    }

    Prompts& prompts_;
};

}  // namespace platform
