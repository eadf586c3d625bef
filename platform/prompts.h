// The modal prompts and the clock: everything a command asks the user, or the
// world, passes through here, so that tests can script the answers.
#pragma once

#include <QDate>
#include <QString>
#include <optional>

class QFileDialog;
class QWidget;

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
    virtual std::optional<QString> fileDialog(FileDialogMode mode, const QString& title, const QString& filter,
                                              const QString& fileName) = 0;

    // `text` may hold line breaks as CR LF.
    virtual Answer messageBox(const QString& text, MessageStyle style, const QString& title) = 0;

    // The text entered; empty when the box was cancelled.
    virtual QString inputBox(const QString& prompt, const QString& title) = 0;

    virtual QDate currentDate() = 0;
};

// The real prompts: Qt's boxes and the platform's file dialog, modal over
// `parent`.
class QtPrompts final : public Prompts {
public:
    void setParent(QWidget* parent) { parent_ = parent; }

    std::optional<QString> fileDialog(FileDialogMode mode, const QString& title, const QString& filter,
                                      const QString& fileName) override;
    Answer messageBox(const QString& text, MessageStyle style, const QString& title) override;
    QString inputBox(const QString& prompt, const QString& title) override;
    QDate currentDate() override;

private:
    QWidget* parent_ = nullptr;
};

// The program's one file dialog. Its file name, filter and title stay as they
// were last set; a dismissed dialog leaves the file name unchanged.
class FileDialog {
public:
    explicit FileDialog(Prompts& prompts) : prompts_(prompts) {}

    QString fileName;
    QString filter;
    QString title;

    void showOpen() { show(FileDialogMode::Open); }
    void showSave() { show(FileDialogMode::Save); }

private:
    void show(FileDialogMode mode) {
        if (auto chosen = prompts_.fileDialog(mode, title, filter, fileName))
            fileName = *chosen;
    }

    Prompts& prompts_;
};

// Sets up a file dialog for `filter`, Qt's own or the desktop's (GTK's under
// GNOME and Xfce), matching names whatever their case, so that PHOTO.Jpg and
// photo.jpeg show under "*.JPG"; saving over an existing name asks nothing;
// it opens in the folder of the file last chosen, or where the last dialog
// was left, in this run or an earlier one.
void configure_file_dialog(QFileDialog& dialog, FileDialogMode mode, const QString& title, const QString& filter);

}  // namespace platform
