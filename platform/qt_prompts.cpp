#include "platform/prompts.h"

#include <QFileDialog>
#include <QInputDialog>
#include <QMessageBox>

namespace platform {

void configure_file_dialog(QFileDialog& dialog, FileDialogMode mode, const QString& title, const QString& filter) {
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setWindowTitle(title);
    dialog.setAcceptMode(mode == FileDialogMode::Open ? QFileDialog::AcceptOpen : QFileDialog::AcceptSave);
    dialog.setFileMode(mode == FileDialogMode::Open ? QFileDialog::ExistingFile : QFileDialog::AnyFile);
    // Qt separates patterns by blanks; the caption keeps the filter as given.
    QString patterns = filter;
    patterns.replace(QLatin1Char(';'), QLatin1Char(' '));
    dialog.setNameFilter(patterns == filter ? filter : QStringLiteral("%1 (%2)").arg(filter, patterns));
    dialog.setFilter(dialog.filter() & ~QDir::CaseSensitive);
}

std::optional<QString> QtPrompts::fileDialog(FileDialogMode mode, const QString& title, const QString& filter,
                                             const QString& fileName) {
    QFileDialog dialog(parent_);
    configure_file_dialog(dialog, mode, title, filter);
    if (!fileName.isEmpty())
        dialog.selectFile(fileName);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return std::nullopt;
    return dialog.selectedFiles().constFirst();
}

Answer QtPrompts::messageBox(const QString& text, MessageStyle style, const QString& title) {
    QMessageBox::Icon icon = QMessageBox::Information;
    QMessageBox::StandardButtons buttons = QMessageBox::Ok;
    QMessageBox::StandardButton escape = QMessageBox::Ok;
    switch (style) {
    case MessageStyle::Information:
        break;
    case MessageStyle::Question:
        icon = QMessageBox::Question;
        buttons = QMessageBox::Yes | QMessageBox::No;
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
    QString shown = text;
    shown.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    QMessageBox box(icon, title, shown, buttons, parent_);
    box.setTextFormat(Qt::PlainText);
    box.setEscapeButton(escape);
    switch (box.exec()) {
    case QMessageBox::Ok:
        return Answer::Ok;
    case QMessageBox::Yes:
        return Answer::Yes;
    case QMessageBox::No:
        return Answer::No;
    default:
        return Answer::Cancel;
    }
}

QString QtPrompts::inputBox(const QString& prompt, const QString& title) {
    bool ok = false;
    const QString text = QInputDialog::getText(parent_, title, prompt, QLineEdit::Normal, QString(), &ok);
    return ok ? text : QString();
}

QDate QtPrompts::currentDate() { return QDate::currentDate(); }

}  // namespace platform
