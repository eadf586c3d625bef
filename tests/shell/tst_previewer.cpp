#include <QTemporaryDir>
#include <QtTest>

#include "shell/converter.h"
#include "shell/previewer.h"
#include "platform/units.h"
#include "shell/mainscreen.h"
#include "tests/support/finished.h"
#include "tests/support/fixtures.h"
#include "tests/support/outcome.h"
#include "tests/support/scripted_prompts.h"
#include "tests/support/session.h"

using platform::Answer;
using platform::MessageStyle;
using testing::asymmetric;
using testing::header_bytes;
using testing::rgb_bytes;
using testing::Shown;

namespace {

const QString kDialogTitle = QStringLiteral("Select a file to preview ...");

// A main window after loading, shown, and where the previewer paints.
struct Session : testing::Session {
    // The colour shown where the previewer paints pixel (x, y), counted from 1.
    int shownAt(int x, int y) { return surface().readPixel(45.0f + 15 * x, 45.0f + 15 * y); }
    int background() { return surface().backgroundColour(); }

    QList<Shown> boxes() const {
        QList<Shown> boxes;
        for (const Shown& s : prompts.shown)
            if (s.kind == Shown::Kind::MessageBox)
                boxes << s;
        return boxes;
    }
};

int colourOf(QRgb rgb) { return platform::colour_value(rgb); }

// Every pixel of `picture` where the previewer paints it; the first
// `complete` in file order painted, the rest showing the background.
void check_painted(Session& s, const QImage& picture, qsizetype complete) {
    qsizetype index = 0;
    for (int y = 0; y < picture.height(); ++y) {
        for (int x = 0; x < picture.width(); ++x, ++index) {
            const int expected = index < complete ? colourOf(picture.pixel(x, y)) : s.background();
            if (s.shownAt(x + 1, y + 1) != expected)
                QFAIL(qPrintable(QStringLiteral("pixel (%1, %2): shown %3, expected %4")
                                     .arg(x)
                                     .arg(y)
                                     .arg(s.shownAt(x + 1, y + 1), 6, 16, QLatin1Char('0'))
                                     .arg(expected, 6, 16, QLatin1Char('0'))));
        }
    }
}

// Nothing is painted on the surface: recomposing it from its layers changes nothing.
bool nothing_painted(Session& s) {
    const QImage shown = testing::shown_on_screen(s.surface());
    s.surface().refresh();
    return testing::shown_on_screen(s.surface()) == shown;
}

}  // namespace

class PreviewerTest : public QObject {
    Q_OBJECT
private slots:
    void shortOrNoNameEndsSilently_data();
    void shortOrNoNameEndsSilently();
    void fourCharacterNameIsAccepted();
    void informationBox_data();
    void informationBox();
    void sizeFields_data();
    void sizeFields();
    void fileShorterThanHeader_data();
    void fileShorterThanHeader();
    void pathThatCannotBeOpened_data();
    void pathThatCannotBeOpened();
    void pointsSurviveACoveringWindow();
    void pointsGoOnNextPreview();
    void pointsGoOnNextConversion();
    void otherCommandsRefusedWhilePreviewRuns();
    void convertedPictureRoundTrips_data();
    void convertedPictureRoundTrips();
    void fileGivenToTheProgram();
};

void PreviewerTest::shortOrNoNameEndsSilently_data() {
    QTest::addColumn<std::optional<QString>>("answer");
    QTest::addColumn<QString>("nameLeft");
    QTest::newRow("dismissed") << std::optional<QString>() << QString();
    QTest::newRow("empty name") << std::optional<QString>(QString()) << QString();
    QTest::newRow("three characters") << std::optional<QString>(QStringLiteral("abc")) << QStringLiteral("abc");
}

void PreviewerTest::shortOrNoNameEndsSilently() {
    QFETCH(std::optional<QString>, answer);
    QFETCH(QString, nameLeft);
    Session s;
    // "abc" names a real picture in the working folder: were it opened, a box would show.
    s.write(QStringLiteral("abc"), header_bytes(2, 2) + rgb_bytes(asymmetric(2, 2)));
    const QString oldCurrent = QDir::currentPath();
    QDir::setCurrent(s.dir.path());
    s.w.CommonDialog1.fileName = "earlier.zft";
    s.prompts.file(answer);
    const QImage before = testing::shown_on_screen(s.surface());
    const QSizeF window(s.w.window->widthTwips(), s.w.window->heightTwips());
    const QSizeF beeld(s.w.beeld->widthTwips(), s.w.beeld->heightTwips());
    const bool beeldVisible = s.w.beeld->isVisible();

    QVERIFY(testing::finished(shell::preview_zft_file(s.w)));
    QDir::setCurrent(oldCurrent);

    QCOMPARE(s.prompts.shown.size(), size_t(1));
    const Shown& dialog = s.prompts.shown.front();
    QCOMPARE(dialog.kind, Shown::Kind::FileDialog);
    QCOMPARE(dialog.mode, platform::FileDialogMode::Open);
    QCOMPARE(dialog.title, kDialogTitle);
    QCOMPARE(dialog.filter, QStringLiteral("*.ZFT"));
    QCOMPARE(dialog.text, QString());  // the name chosen earlier is not offered again
    QCOMPARE(QString::fromStdString(s.w.CommonDialog1.fileName), nameLeft);
    QVERIFY(s.prompts.unexpected.isEmpty());
    QVERIFY(!testing::held_open(s.dir.filePath(QStringLiteral("abc"))));
    QCOMPARE(testing::shown_on_screen(s.surface()), before);
    QCOMPARE(QSizeF(s.w.window->widthTwips(), s.w.window->heightTwips()), window);
    QCOMPARE(QSizeF(s.w.beeld->widthTwips(), s.w.beeld->heightTwips()), beeld);
    QCOMPARE(s.w.beeld->isVisible(), beeldVisible);
}

void PreviewerTest::fourCharacterNameIsAccepted() {
    Session s;
    const QImage picture = asymmetric(2, 2);
    s.write(QStringLiteral("abcd"), header_bytes(2, 2) + rgb_bytes(picture));
    const QString oldCurrent = QDir::currentPath();
    QDir::setCurrent(s.dir.path());
    s.prompts.file(QStringLiteral("abcd")).button(Answer::Ok);
    QVERIFY(testing::finished(shell::preview_zft_file(s.w)));
    QDir::setCurrent(oldCurrent);

    QVERIFY2(s.prompts.unexpected.isEmpty(), qPrintable(s.prompts.unexpected.join('\n')));
    QCOMPARE(s.boxes().size(), 1);
    QCOMPARE(s.boxes().front().title, QStringLiteral("abcd"));
    check_painted(s, picture, 4);
}

// The box tells the header in the core's words (tests/core's headerSummary
// has them for every kind of field), as the window shows text.
void PreviewerTest::informationBox_data() {
    QTest::addColumn<QByteArray>("headerBytes");
    QTest::addColumn<QString>("text");

    QTest::newRow("as the converter writes it")
        << header_bytes("1A", "09032004", "abc", "002", "001")
        << QStringLiteral("Version=1A - Creationdate=09/03/2004\r\nwidth=002 - height=001\r\nCopyright notification=abc") +
               QString(45, u' ');
    QByteArray high;
    for (int b = 0xE0; b <= 0xFF; ++b)
        high += char(b);
    QTest::newRow("notice 0xE0-0xFF from Windows-1252")
        << header_bytes("1A", "09032004", high, "002", "001")
        << QStringLiteral("Version=1A - Creationdate=09/03/2004\r\nwidth=002 - height=001\r\nCopyright notification=") +
               QString::fromUtf8("àáâãäåæçèéêëìíîïðñòóôõö÷øùúûüýþÿ") + QString(16, u' ');
}

void PreviewerTest::informationBox() {
    QFETCH(QByteArray, headerBytes);
    QFETCH(QString, text);
    Session s;
    const QImage picture = asymmetric(2, 1);
    const QString path = s.write(QStringLiteral("box.zft"), headerBytes + rgb_bytes(picture));
    s.prompts.file(path).button(Answer::Ok);
    QVERIFY(testing::finished(shell::preview_zft_file(s.w)));

    QVERIFY2(s.prompts.unexpected.isEmpty(), qPrintable(s.prompts.unexpected.join('\n')));
    QCOMPARE(s.boxes().size(), 1);
    const Shown box = s.boxes().front();
    QCOMPARE(box.style, MessageStyle::Information);
    QCOMPARE(box.title, path);
    QCOMPARE(box.text, text);
    // Shown, then painted like any other.
    check_painted(s, picture, 2);
    QVERIFY(!testing::held_open(path));
}

void PreviewerTest::sizeFields_data() {
    QTest::addColumn<QByteArray>("width");
    QTest::addColumn<QByteArray>("height");
    QTest::addColumn<int>("w");
    QTest::addColumn<int>("h");
    // The fields read as the format reads them (tests/format's fieldValue has
    // every kind of field); a side of 0 paints nothing.
    QTest::newRow("zero-padded") << QByteArray("065") << QByteArray("007") << 65 << 7;
    QTest::newRow("largest") << QByteArray("999") << QByteArray("002") << 999 << 2;
    QTest::newRow("garbage ends, a blank does not") << QByteArray("3x9") << QByteArray("1 2") << 3 << 12;
    QTest::newRow("minus sign") << QByteArray("-12") << QByteArray("004") << 0 << 4;
    QTest::newRow("plus sign") << QByteArray("003") << QByteArray("+12") << 3 << 0;
    QTest::newRow("garbage") << QByteArray("abc") << QByteArray("\x01\xff\x80") << 0 << 0;
}

void PreviewerTest::sizeFields() {
    QFETCH(QByteArray, width);
    QFETCH(QByteArray, height);
    QFETCH(int, w);
    QFETCH(int, h);
    Session s;
    const QImage picture = asymmetric(std::max(w, 1), std::max(h, 1)).copy(0, 0, w, h);
    const QByteArray bytes = header_bytes("1A", "09032004", "", width, height) + rgb_bytes(picture) + QByteArray(30, '\xEE');
    // Painted as W × H, the window fitted around it, and no failure: all W × H pixels are there.
    QCOMPARE(s.preview(s.write(QStringLiteral("sizes.zft"), bytes), {}), testing::previewed(bytes, QSize(w, h)));
    if (w == 0 || h == 0)
        QVERIFY(nothing_painted(s));
}

void PreviewerTest::fileShorterThanHeader_data() {
    QTest::addColumn<int>("length");
    QTest::newRow("one byte") << 1;
    QTest::newRow("inside the notice") << 30;
    QTest::newRow("inside the height") << 62;
    QTest::newRow("one byte short") << 63;
}

void PreviewerTest::fileShorterThanHeader() {
    QFETCH(int, length);
    Session s;
    const QString path = s.write(QStringLiteral("short %1%2.zft"), (header_bytes(1, 1) + "\x01\x02\x03").left(length));
    const QImage before = testing::shown_on_screen(s.surface());
    const float windowWidth = s.w.window->widthTwips();
    // No header shown: a message naming the file and its length instead.
    QCOMPARE(s.preview(path, {}), QStringLiteral("refused EndOfFile"));
    QVERIFY2(s.prompts.shown.back().text.contains(QStringLiteral("64-byte header")), qPrintable(s.prompts.shown.back().text));
    QCOMPARE(testing::shown_on_screen(s.surface()), before);
    QCOMPARE(s.w.window->widthTwips(), windowWidth);
    QVERIFY(s.window().isVisible());
}

void PreviewerTest::pathThatCannotBeOpened_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("reason");
    QTest::newRow("missing") << QStringLiteral("missing %1%2.zft") << QStringLiteral("No such file");
    QTest::newRow("a folder") << QStringLiteral("folder.zft") << QStringLiteral("folder");
    QTest::newRow("in a missing folder") << QStringLiteral("nowhere/x.zft") << QStringLiteral("No such file");
}

void PreviewerTest::pathThatCannotBeOpened() {
    QFETCH(QString, name);
    QFETCH(QString, reason);
    Session s;
    QVERIFY(QDir(s.dir.path()).mkdir(QStringLiteral("folder.zft")));
    const QString path = s.dir.filePath(name);
    s.prompts.file(path).button(Answer::Ok);
    const QImage before = testing::shown_on_screen(s.surface());
    QVERIFY(testing::finished(shell::preview_zft_file(s.w)));

    QVERIFY2(s.prompts.unexpected.isEmpty(), qPrintable(s.prompts.unexpected.join('\n')));
    QCOMPARE(s.boxes().size(), 1);
    const Shown failure = s.boxes().front();
    QCOMPARE(failure.style, MessageStyle::Error);
    QCOMPARE(failure.title, QString::fromStdString(shell::kTitle));
    QVERIFY2(failure.text.contains(path), qPrintable(failure.text));
    QVERIFY2(failure.text.contains(reason, Qt::CaseInsensitive), qPrintable(failure.text));
    QVERIFY(!testing::held_open(path));
    QCOMPARE(testing::shown_on_screen(s.surface()), before);
    QVERIFY(s.window().isVisible());
}

void PreviewerTest::pointsSurviveACoveringWindow() {
    Session s;
    const QImage picture = asymmetric(6, 5);
    const QString path = s.write(QStringLiteral("six.zft"), header_bytes(6, 5) + rgb_bytes(picture));
    s.prompts.file(path).button(Answer::Ok);
    QVERIFY(testing::finished(shell::preview_zft_file(s.w)));
    check_painted(s, picture, 30);

    // A box-like window over the whole main window, then gone again.
    QWidget cover(nullptr, Qt::Dialog);
    cover.setGeometry(s.window().geometry().adjusted(-10, -10, 10, 10));
    cover.show();
    QVERIFY(QTest::qWaitForWindowExposed(&cover));
    cover.hide();
    // The window system asks the uncovered window to repaint itself.
    s.window().update();
    s.surface().update();
    QCoreApplication::processEvents();
    s.window().repaint();
    check_painted(s, picture, 30);
    QCOMPARE(testing::shown_on_screen(s.surface()).copy(s.beeld().geometry()),
             picture.convertToFormat(QImage::Format_RGB32));
}

void PreviewerTest::pointsGoOnNextPreview() {
    Session s;
    const QImage picture = asymmetric(6, 5);
    const QString first = s.write(QStringLiteral("six.zft"), header_bytes(6, 5) + rgb_bytes(picture));
    // Same size, so the window keeps its size; cut after two pixels, so the
    // rest of the first picture would still show had it not been cleared.
    const QString second = s.write(QStringLiteral("two.zft"), header_bytes(6, 5) + QByteArray("\x01\x02\x03\x04\x05\x06"));
    s.prompts.file(first).button(Answer::Ok).file(second).button(Answer::Ok).button(Answer::Ok);
    QVERIFY(testing::finished(shell::preview_zft_file(s.w)));
    const QSize client = s.surface().size();
    QVERIFY(testing::finished(shell::preview_zft_file(s.w)));

    QVERIFY2(s.prompts.unexpected.isEmpty(), qPrintable(s.prompts.unexpected.join('\n')));
    QCOMPARE(s.surface().size(), client);
    QCOMPARE(s.shownAt(1, 1), 0x030201);
    QCOMPARE(s.shownAt(2, 1), 0x060504);
    QImage rest = picture;
    rest.setPixel(0, 0, qRgb(1, 2, 3));
    rest.setPixel(1, 0, qRgb(4, 5, 6));
    check_painted(s, rest, 2);
}

void PreviewerTest::pointsGoOnNextConversion() {
    Session s;
    const QImage picture = asymmetric(6, 5);
    const QString zft = s.write(QStringLiteral("six.zft"), header_bytes(6, 5) + rgb_bytes(picture));
    QImage source(2, 2, QImage::Format_RGB32);
    source.fill(qRgb(1, 2, 3));
    const QString bmp = s.dir.filePath(QStringLiteral("two.bmp"));
    QVERIFY(source.save(bmp));
    s.prompts.file(zft).button(Answer::Ok);
    QVERIFY(testing::finished(shell::preview_zft_file(s.w)));
    check_painted(s, picture, 30);

    // At the confirmation the converter has refreshed the window over its new
    // background picture: the preview's points are gone.
    s.prompts.file(bmp).file(s.dir.filePath(QStringLiteral("two.zft"))).button(Answer::Cancel);
    std::optional<QImage> atConfirmation;
    s.prompts.whileShown = [&](const Shown& shown) {
        if (shown.kind == Shown::Kind::MessageBox && shown.style == MessageStyle::Stop)
            atConfirmation = testing::shown_on_screen(s.surface());
    };
    QVERIFY(testing::finished(shell::convert_jpg_gif_bmp_file(s.w)));
    QVERIFY2(s.prompts.unexpected.isEmpty(), qPrintable(s.prompts.unexpected.join('\n')));
    QVERIFY(atConfirmation);
    // The 2 × 2 background picture lies left of and above the points.
    for (int y = 0; y < 5; ++y)
        for (int x = 0; x < 6; ++x)
            QCOMPARE(atConfirmation->pixel(x + 4, y + 4), platform::pixel_of(s.surface().backgroundColour()));
}

void PreviewerTest::otherCommandsRefusedWhilePreviewRuns() {
    Session s;
    const QImage picture = asymmetric(3, 2);
    const QString path = s.write(QStringLiteral("three.zft"), header_bytes(3, 2) + rgb_bytes(picture));
    s.prompts.file(path).button(Answer::Ok);
    size_t promptsWhileRunning = 0;
    bool running = false;
    s.prompts.whileShown = [&](const Shown& shown) {
        if (shown.kind != Shown::Kind::MessageBox || shown.title != path)
            return;
        running = !s.w.run(testing::nothing);
        const size_t before = s.prompts.shown.size();
        s.w.convert_jpg_gif_bmp_file->trigger();
        s.w.preview_zft_file->trigger();
        s.w.about_zft_toolkit->trigger();
        s.w.exit_zft_toolkit->trigger();
        promptsWhileRunning = s.prompts.shown.size() - before;
    };
    s.w.preview_zft_file->trigger();

    QVERIFY2(s.prompts.unexpected.isEmpty(), qPrintable(s.prompts.unexpected.join('\n')));
    QVERIFY(running);
    QCOMPARE(promptsWhileRunning, size_t(0));
    check_painted(s, picture, 6);
    QVERIFY(s.w.run(testing::nothing));

    // Once it has ended, the commands run again.
    s.prompts.whileShown = nullptr;
    s.prompts.button(Answer::Ok);
    s.w.about_zft_toolkit->trigger();
    QCOMPARE(s.prompts.shown.back().title, QString::fromStdString(shell::kTitle));
    QVERIFY(s.prompts.allAnswered());
}

void PreviewerTest::convertedPictureRoundTrips_data() {
    QTest::addColumn<QSize>("size");
    QTest::addColumn<QString>("notice");
    QTest::addColumn<QString>("noticeShown");
    QTest::newRow("6 x 5") << QSize(6, 5) << QStringLiteral("  (c) Zoë Ĳssel €5  ")
                           << QStringLiteral("(c) Zoë ?ssel €5") + QString(48 - 16, u' ');
    QTest::newRow("65 x 7") << QSize(65, 7) << QString() << QString(48, u' ');
    QTest::newRow("1 x 9") << QSize(1, 9) << QString(60, u'ÿ') << QString(48, u'ÿ');
}

void PreviewerTest::convertedPictureRoundTrips() {
    QFETCH(QSize, size);
    QFETCH(QString, notice);
    QFETCH(QString, noticeShown);
    Session s;
    const QImage picture = asymmetric(size.width(), size.height()).convertToFormat(QImage::Format_RGB888);
    const QString bmp = s.dir.filePath(QStringLiteral("source.bmp"));
    QVERIFY(picture.save(bmp));
    const QString zft = s.dir.filePath(QStringLiteral("target.zft"));
    s.prompts.date = {12, 25, 2001};
    s.prompts.file(bmp).file(zft).button(Answer::Ok).input(notice).button(Answer::Ok);
    QVERIFY(testing::finished(shell::convert_jpg_gif_bmp_file(s.w)));
    QVERIFY2(s.prompts.unexpected.isEmpty(), qPrintable(s.prompts.unexpected.join('\n')));
    QCOMPARE(QFileInfo(zft).size(), qint64(64 + 3 * size.width() * size.height()));

    s.prompts.shown.clear();
    s.prompts.file(zft).button(Answer::Ok);
    QVERIFY(testing::finished(shell::preview_zft_file(s.w)));
    QVERIFY2(s.prompts.unexpected.isEmpty(), qPrintable(s.prompts.unexpected.join('\n')));
    QCOMPARE(s.boxes().size(), 1);
    QCOMPARE(s.boxes().front().text, QStringLiteral("Version=1A - Creationdate=12/25/2001\r\nwidth=%1 - height=%2\r\n"
                                                    "Copyright notification=%3")
                                         .arg(size.width(), 3, 10, QLatin1Char('0'))
                                         .arg(size.height(), 3, 10, QLatin1Char('0'))
                                         .arg(noticeShown));
    // Every painted point, read back from the surface, is the source's pixel.
    QImage decoded(bmp);
    QCOMPARE(decoded.size(), size);
    for (int y = 1; y <= size.height(); ++y)
        for (int x = 1; x <= size.width(); ++x)
            QCOMPARE(s.surface().readPixel(45.0f + 15 * x, 45.0f + 15 * y), colourOf(decoded.pixel(x - 1, y - 1)));
    // ... and lies exactly where `beeld` stands.
    QCOMPARE(s.beeld().geometry(), QRect(4, 4, size.width(), size.height()));
    const QImage shown = testing::shown_on_screen(s.surface()).copy(s.beeld().geometry());
    QCOMPARE(shown.convertToFormat(QImage::Format_RGB888), decoded.convertToFormat(QImage::Format_RGB888));
}

// The file named on the command line, previewed once the main window shows,
// as File > Preview does but for the dialog; a missing file is told as the
// command tells it.
void PreviewerTest::fileGivenToTheProgram() {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("given.zft"));
    QVERIFY(testing::write_file(path, header_bytes(2, 1) + QByteArray("\x0D\x0A\x1A\x01\x02\x03")));
    for (const QString& given : {path, dir.filePath(QStringLiteral("missing.zft"))}) {
        testing::ScriptedPrompts prompts;
        prompts.button(Answer::Ok);
        platform::qt::QtToolkit toolkit;
        shell::MainScreen w(toolkit, prompts);
        platform::qt::Form& form = platform::qt::widget_of(*w.window);
        bool shownOverTheWindow = false;
        prompts.whileShown = [&](const Shown&) {
            shownOverTheWindow = form.isVisible() && QApplication::activeModalWidget() == &form;
            // Waits for the command's end, as a close through the window system does.
            QMetaObject::invokeMethod(&form, [&] { w.window->close(); }, Qt::QueuedConnection);
        };
        QVERIFY(testing::finished(shell::show_mainscreen(w, QFile::encodeName(given).toStdString())));

        QVERIFY2(prompts.unexpected.isEmpty(), qPrintable(prompts.unexpected.join('\n')));
        QCOMPARE(prompts.shown.size(), size_t(1));
        QVERIFY(shownOverTheWindow);
        if (given == path) {
            QCOMPARE(prompts.shown.front().title, path);
            QCOMPARE(prompts.shown.front().style, MessageStyle::Information);
            QCOMPARE(form.surface().readPixel(60, 60), 13 + 256 * 10 + 65536 * 26);
            QCOMPARE(form.surface().readPixel(75, 60), 1 + 256 * 2 + 65536 * 3);
            QCOMPARE(platform::qt::widget_of(*w.beeld).accessibleName(), QStringLiteral("given.zft, 2 × 1 pixels"));
        } else {
            QCOMPARE(prompts.shown.front().style, MessageStyle::Error);
            QVERIFY2(prompts.shown.front().text.contains(QStringLiteral("No such file or directory")),
                     qPrintable(prompts.shown.front().text));
            QCOMPARE(platform::qt::widget_of(*w.beeld).accessibleName(), QStringLiteral("logo"));
        }
    }
}

QTEST_MAIN(PreviewerTest)
#include "tst_previewer.moc"
