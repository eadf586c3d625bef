#include "platform/qt/qt_prompts.h"

#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QInputDialog>
#include <QMessageBox>
#include <QPointer>
#include <QSettings>

namespace platform::qt {
namespace {

// Gives the keyboard back to the window under a box once the box has gone.
// Without a window manager on X11 the keyboard goes to nobody when the box
// closes, and F1 and the menus' access keys would do nothing until a click.
// Under Wayland the compositor decides: the request reaches it only where it
// offers xdg-activation.
class FocusReturns {
public:
    explicit FocusReturns(QWidget* window) : window_(window) {}
    FocusReturns(const FocusReturns&) = delete;
    FocusReturns& operator=(const FocusReturns&) = delete;
    ~FocusReturns() {
        if (window_ && window_->isVisible() && !window_->isActiveWindow())
            window_->activateWindow();
    }

private:
    QPointer<QWidget> window_;
};

// `pattern` matching names whatever their case: "*.[jJ][pP][gG]" for
// "*.JPG". GTK's file dialog matches patterns case by case, and takes no
// flag to do otherwise; a set of both cases works in Qt's dialog as in GTK's.
QString case_free(const QString& pattern) {
    QString free;
    for (const QChar c : pattern) {
        if (c.toLower() != c.toUpper())
            free += QLatin1Char('[') + c.toLower() + c.toUpper() + QLatin1Char(']');
        else
            free += c;
    }
    return free;
}

// The patterns a filter stands for. A JPEG picture may end in .jpeg, .jpe or
// .jfif as well as .jpg, and converts all the same, so "*.JPG" lists them too.
QStringList patterns_of(const QString& filter) {
    QStringList patterns;
    for (const QString& pattern : filter.split(QLatin1Char(';'), Qt::SkipEmptyParts)) {
        patterns << case_free(pattern);
        if (pattern.compare(QLatin1String("*.jpg"), Qt::CaseInsensitive) == 0) {
            for (const char* more : {"*.jpeg", "*.jpe", "*.jfif"})
                patterns << case_free(QLatin1String(more));
        }
    }
    return patterns;
}

// Where the next dialog opens, in this run or a later one: the folder of the
// file last chosen. Qt's own dialog, and GTK's through Qt, keep the folder
// a dialog was left in when it goes; a name typed with its folder may not
// have taken the dialog there.
void remember_folder(const QString& folder) {
    QSettings(QSettings::UserScope, QStringLiteral("QtProject"))
        .setValue(QStringLiteral("FileDialog/lastVisited"), QUrl::fromLocalFile(folder));
}

}  // namespace

void configure_file_dialog(QFileDialog& dialog, FileDialogMode mode, const QString& title, const QString& filter) {
    // The desktop's own dialog where its platform theme has one (GTK's on
    // GNOME and Xfce), else Qt's. Choosing an existing name replaces it:
    // the command asks before it writes.
    dialog.setOption(QFileDialog::DontConfirmOverwrite);
    // The filter's box shows the filter as given, not the patterns behind it.
    dialog.setOption(QFileDialog::HideNameFilterDetails);
    dialog.setWindowTitle(title);
    dialog.setAcceptMode(mode == FileDialogMode::Open ? QFileDialog::AcceptOpen : QFileDialog::AcceptSave);
    dialog.setFileMode(mode == FileDialogMode::Open ? QFileDialog::ExistingFile : QFileDialog::AnyFile);
    dialog.setNameFilter(QStringLiteral("%1 (%2)").arg(filter, patterns_of(filter).join(QLatin1Char(' '))));
    // Qt keeps the folder a dialog was last in among its settings when it
    // closes, but a new one, in a new run, opens in the working folder. It
    // opens where the last one was left, as the desktop's own dialogs do.
    const QUrl last = QSettings(QSettings::UserScope, QStringLiteral("QtProject"))
                          .value(QStringLiteral("FileDialog/lastVisited"))
                          .toUrl();
    if (last.isLocalFile() && QFileInfo(last.toLocalFile()).isDir())
        dialog.setDirectoryUrl(last);
}

Async<std::optional<std::string>> QtPrompts::fileDialog(FileDialogMode mode, const std::string& title,
                                                        const std::string& filter, const std::string& fileName) {
    const FocusReturns focus(parent_);
    std::optional<QString> chosen;
    {
        QFileDialog dialog(parent_);
        configure_file_dialog(dialog, mode, QString::fromStdString(title), QString::fromStdString(filter));
        if (!fileName.empty())
            dialog.selectFile(QFile::decodeName(fileName.c_str()));
        if (dialog.exec() == QDialog::Accepted && !dialog.selectedFiles().isEmpty())
            chosen = dialog.selectedFiles().constFirst();
    }  // Qt's own saving of the folder comes first.
    if (!chosen)
        return Async<std::optional<std::string>>::ready(std::nullopt);
    remember_folder(QFileInfo(*chosen).absolutePath());
    return Async<std::optional<std::string>>::ready(QFile::encodeName(*chosen).toStdString());
}

Async<Answer> QtPrompts::messageBox(const std::string& text, MessageStyle style, const std::string& title) {
    QMessageBox::Icon icon = QMessageBox::Information;
    QMessageBox::StandardButtons buttons = QMessageBox::Ok;
    // The first button answers Return. Left to itself, the box gives Return
    // to the button that has the keyboard, the first in the platform's order:
    // under GTK's order that is Cancel, or No.
    QMessageBox::StandardButton first = QMessageBox::Ok;
    QMessageBox::StandardButton escape = QMessageBox::Ok;
    switch (style) {
    case MessageStyle::Information:
        break;
    case MessageStyle::Question:
        icon = QMessageBox::Question;
        buttons = QMessageBox::Yes | QMessageBox::No;
        first = QMessageBox::Yes;
        escape = QMessageBox::No;
        break;
    case MessageStyle::Stop:
        icon = QMessageBox::Critical;
        buttons = QMessageBox::Ok | QMessageBox::Cancel;
        escape = QMessageBox::Cancel;
        break;
    case MessageStyle::Exclamation:
        icon = QMessageBox::Warning;
        break;
    case MessageStyle::Error:
        icon = QMessageBox::Critical;
        break;
    }
    QString shown = QString::fromStdString(text);
    shown.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    const FocusReturns focus(parent_);
    QMessageBox box(icon, QString::fromStdString(title), shown, buttons, parent_);
    box.setTextFormat(Qt::PlainText);
    box.setDefaultButton(first);
    box.setEscapeButton(escape);
    switch (box.exec()) {
    case QMessageBox::Ok:
        return Async<Answer>::ready(Answer::Ok);
    case QMessageBox::Yes:
        return Async<Answer>::ready(Answer::Yes);
    case QMessageBox::No:
        return Async<Answer>::ready(Answer::No);
    default:
        return Async<Answer>::ready(Answer::Cancel);
    }
}

Async<std::string> QtPrompts::inputBox(const std::string& prompt, const std::string& title) {
    const FocusReturns focus(parent_);
    bool ok = false;
    const QString text = QInputDialog::getText(parent_, QString::fromStdString(title), QString::fromStdString(prompt),
                                               QLineEdit::Normal, QString(), &ok);
    return Async<std::string>::ready(ok ? text.toStdString() : std::string());
}

}  // namespace platform::qt
