#include "tests/support/session.h"

#include <QFileInfo>
#include <QRegularExpression>

#include "core/zft_codec.h"
#include "shell/previewer.h"
#include "tests/support/finished.h"
#include "tests/support/fixtures.h"
#include "tests/support/outcome.h"

namespace testing {

platform::Async<void> nothing(shell::MainScreen&) { co_return; }

Session::Session() {
    shell::load_mainscreen(w);
    w.window->show();
}

QString Session::write(const QString& name, const QByteArray& bytes) {
    const QString path = dir.filePath(name);
    if (!write_file(path, bytes))
        qFatal("cannot write fixture %s", qPrintable(path));
    return path;
}

QString Session::unexpected() const { return prompts.unexpected.join(QLatin1Char('\n')); }

QString Session::preview(const QString& path, const QString& expected) {
    prompts.shown.clear();
    prompts.unexpected.clear();
    prompts.file(path).button(platform::Answer::Ok).button(platform::Answer::Ok);
    const bool ended = finished(shell::preview_zft_file(w));
    prompts.forgetAnswers();

    QList<Shown> boxes;
    for (const Shown& shown : prompts.shown)
        if (shown.kind == Shown::Kind::MessageBox)
            boxes << shown;
    const QRect area = beeld().geometry();  // one point a pixel, where `beeld` stands
    const qint64 pixels = qint64(area.width()) * area.height();
    QString failure;
    if (!boxes.isEmpty() && boxes.back().style == platform::MessageStyle::Error) {
        // At an end of file the previewer tells the file's length, and the
        // header's promise once it has read one, in the core's words.
        const Shown error = boxes.takeLast();
        const auto length = static_cast<std::uint64_t>(QFileInfo(path).size());
        const std::string reason = boxes.isEmpty() ? core::short_file_reason(length)
                                                   : core::length_reason(length, 64 + 3 * static_cast<std::uint64_t>(pixels));
        const bool told = error.title == QString::fromStdString(shell::kTitle) &&
                          error.text == QStringLiteral("Cannot preview %1: %2").arg(path, QString::fromStdString(reason));
        failure = told ? QStringLiteral("EndOfFile") : QStringLiteral("an error saying ") + error.text;
    }

    QString outcome;
    if (boxes.isEmpty()) {
        outcome = failure.isEmpty() ? QStringLiteral("nothing shown") : QStringLiteral("refused ") + failure;
    } else if (boxes.size() > 1 || boxes[0].style != platform::MessageStyle::Information || boxes[0].title != path) {
        outcome = QStringLiteral("other boxes than the header's");
    } else {
        // The picture, and a pixel's breadth around it where nothing is to be painted.
        const QImage shown = shown_on_screen(surface()).copy(area.adjusted(-1, -1, 1, 1));
        const QRgb background = platform::pixel_of(surface().backgroundColour());
        static const QRegularExpression part(QStringLiteral("^painted (\\d+) of "));
        const QRegularExpressionMatch match = part.match(expected);
        const qint64 counted = match.hasMatch() ? std::min(match.captured(1).toLongLong(), pixels) : pixels;
        QByteArray rgb;
        bool more = false;
        for (int y = -1; y <= area.height(); ++y) {
            for (int x = -1; x <= area.width(); ++x) {
                const QRgb colour = shown.pixel(x + 1, y + 1);
                if (x >= 0 && y >= 0 && x < area.width() && y < area.height() && qint64(y) * area.width() + x < counted) {
                    rgb += static_cast<char>(qRed(colour));
                    rgb += static_cast<char>(qGreen(colour));
                    rgb += static_cast<char>(qBlue(colour));
                } else {
                    more = more || colour != background;
                }
            }
        }
        const QString some = counted < pixels ? QStringLiteral("%1 of ").arg(counted) : QString();
        outcome = QStringLiteral("painted %1%2x%3 ").arg(some).arg(area.width()).arg(area.height()) +
                  crc_text(rgb_crc(rgb));
        if (more)
            outcome += QStringLiteral(" and more");
        if (!failure.isEmpty())
            outcome += QStringLiteral(", then ") + failure;
        const QString notice = QStringLiteral("\r\nCopyright notification=");
        if (boxes[0].text.size() - boxes[0].text.lastIndexOf(notice) != notice.size() + 48)
            outcome += QStringLiteral(" (the header's box shows no notice of 48 characters)");
        if (w.window->widthTwips() != 15.0f * area.width() + 165 || w.window->heightTwips() != 15.0f * area.height() + 450)
            outcome += QStringLiteral(" (the window not fitted to the picture)");
        if (!w.beeld->isVisible() || !w.beeld->picture().isNull())
            outcome += QStringLiteral(" (beeld hidden, or holding a picture)");
    }
    if (w.slot1.writer() || held_open(path))
        outcome += QStringLiteral(" (the file left open)");
    if (!ended)
        outcome += QStringLiteral(" (the command did not end)");
    if (!prompts.unexpected.isEmpty())
        outcome += QStringLiteral(" (unexpected prompts: %1)").arg(unexpected());
    return outcome;
}

}  // namespace testing
