// The real prompts: Qt's boxes and the desktop's file dialog, modal over a
// window. They wait in place, handling the program's events meanwhile, and
// give their answers at hand.
#pragma once

#include <QString>

#include "platform/prompts.h"

class QFileDialog;
class QWidget;

namespace platform::qt {

class QtPrompts final : public Prompts {
public:
    void setParent(QWidget* parent) { parent_ = parent; }

    Async<std::optional<std::string>> fileDialog(FileDialogMode mode, const std::string& title,
                                                 const std::string& filter, const std::string& fileName) override;
    Async<Answer> messageBox(const std::string& text, MessageStyle style, const std::string& title) override;
    Async<std::string> inputBox(const std::string& prompt, const std::string& title) override;
    core::Date currentDate() override { return core::today(); }

private:
    QWidget* parent_ = nullptr;
};

// Sets up a file dialog for `filter`, Qt's own or the desktop's (GTK's under
// GNOME and Xfce), matching names whatever their case, so that PHOTO.Jpg and
// photo.jpeg show under "*.JPG"; saving over an existing name asks nothing;
// it opens in the folder of the file last chosen, or where the last dialog
// was left, in this run or an earlier one.
void configure_file_dialog(QFileDialog& dialog, FileDialogMode mode, const QString& title, const QString& filter);

}  // namespace platform::qt
