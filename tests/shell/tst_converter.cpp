// File > Convert JPG/GIF/BMP file: its dialogs, boxes and refusals, the
// window while it converts and after, nothing lost on any failure, and the
// bytes it writes, which are zft convert's for the same picture, notice,
// date and window colour.
#include <QApplication>
#include <QBuffer>
#include <QImageReader>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>
#include <condition_variable>
#include <csignal>
#include <mutex>
#include <sys/resource.h>
#include <unistd.h>

#include "shell/converter.h"
#include "shell/mainscreen.h"
#include "tests/cli/cli_support.h"
#include "tests/support/finished.h"
#include "tests/support/fixtures.h"
#include "tests/support/gif_writer.h"
#include "tests/support/scripted_prompts.h"
#include "tests/support/session.h"

using platform::Answer;
using platform::MessageStyle;
using testing::asymmetric;
using testing::asymmetric_colour;
using testing::contents;
using testing::entries;
using testing::filled;
using testing::header_bytes;
using testing::rgb_bytes;
using testing::Shown;
using testing::write_file;

namespace {

const QString kTitle = QStringLiteral("ZFT Toolkit - SP1");
const QString kConfirmation = QStringLiteral("Click <OK> to start convertion (this can take a moment)");

// The window with its prompts scripted, as the program has it after loading.
struct Session : testing::Session {
    // As the menu starts it; it has ended when the call returns.
    void convert() {
        QVERIFY(w.run(shell::convert_jpg_gif_bmp_file));
        QVERIFY(w.run(testing::nothing));
    }

    // What is wrong with the window after a command, empty when it is back
    // at the logo's size with the logo in `beeld` and nothing of the picture
    // left on the surface: the window's colour wherever `beeld` does not show.
    QString notRestored() {
        QStringList faults;
        if (w.window->widthTwips() != 3915 || w.window->heightTwips() != 3450)
            faults << QStringLiteral("window is %1 x %2 twips").arg(w.window->widthTwips()).arg(w.window->heightTwips());
        if (w.beeld->picture() != w.backup->picture())
            faults << QStringLiteral("beeld does not hold the logo");
        if (beeld().accessibleName() != QStringLiteral("logo"))
            faults << QStringLiteral("beeld is named '%1'").arg(beeld().accessibleName());
        const QImage shown = testing::shown_on_screen(surface());
        const QRect shownBeeld = w.beeld->isVisible() ? beeld().geometry() : QRect();
        const QRgb background = platform::pixel_of(surface().backgroundColour());
        QPoint stray(-1, -1);
        for (int y = 0; y < shown.height() && stray.x() < 0; ++y)
            for (int x = 0; x < shown.width() && stray.x() < 0; ++x)
                if (!shownBeeld.contains(x, y) && shown.pixel(x, y) != background)
                    stray = QPoint(x, y);
        if (stray.x() >= 0)
            faults << QStringLiteral("the surface shows something at (%1, %2)").arg(stray.x()).arg(stray.y());
        if (!window().isVisible())
            faults << QStringLiteral("the window is gone");
        return faults.join(QStringLiteral("; "));
    }
};

QString describe(const std::vector<Shown>& shown) {
    QStringList lines;
    for (const Shown& prompt : shown)
        lines << QStringLiteral("%1 [%2] %3").arg(int(prompt.kind)).arg(prompt.title, prompt.text);
    return lines.join(QLatin1Char('\n'));
}

// The child of killedMidWay: it converts and is killed with file slot 1 open,
// at the point its first argument names.
constexpr rlim_t kKillAfterBytes = 100000;

void kill_when_the_file_grows_past_the_limit(int) {
    static const char said[] = "killed while writing\n";
    [[maybe_unused]] const auto n = ::write(STDOUT_FILENO, said, sizeof said - 1);
    std::raise(SIGKILL);
}

int convert_and_get_killed() {
    const QByteArray mode = qgetenv("ZFT_KILL_MODE");
    testing::ScriptedPrompts prompts;
    prompts.file(qEnvironmentVariable("ZFT_KILL_SOURCE"))
        .file(qEnvironmentVariable("ZFT_KILL_TARGET"))
        .button(Answer::Ok)
        .input(QStringLiteral("killed"))
        .button(Answer::Ok);
    platform::qt::QtToolkit toolkit;
    shell::MainScreen w(toolkit, prompts);
    shell::load_mainscreen(w);
    auto say = [](const char* text) {
        std::fputs(text, stdout);
        std::fflush(stdout);
    };
    prompts.whileShown = [&](const Shown& shown) {
        if (shown.kind != Shown::Kind::InputBox)
            return;
        if (!w.slot1.writer())
            return say("the slot is not open at the input box\n");
        say("slot open\n");
        if (mode == "slot-open")
            std::raise(SIGKILL);
        // The kernel stops the slot's write at the limit and signals, in the
        // middle of the pixels.
        std::signal(SIGXFSZ, kill_when_the_file_grows_past_the_limit);
        rlimit limit{};
        getrlimit(RLIMIT_FSIZE, &limit);
        limit.rlim_cur = kKillAfterBytes;
        setrlimit(RLIMIT_FSIZE, &limit);
    };
    w.run(shell::convert_jpg_gif_bmp_file);
    say("not killed\n");
    return 0;
}

}  // namespace

class ConverterTest : public QObject {
    Q_OBJECT
private slots:
    void dismissedDialogsAndShortNames_data();
    void dismissedDialogsAndShortNames();
    void cancelAtConfirmation_data();
    void cancelAtConfirmation();
    void windowFitsThePictureWhileConfirming_data();
    void windowFitsThePictureWhileConfirming();
    void notice_data();
    void notice();
    void writesWhatZftConvertWrites_data();
    void writesWhatZftConvertWrites();
    void failureIsReportedAndNothingLost_data();
    void failureIsReportedAndNothingLost();
    void killedMidWayLeavesNothing_data();
    void killedMidWayLeavesNothing();
    void tooLargePictureIsRefused_data();
    void tooLargePictureIsRefused();
    void otherCommandsAreRefusedWhileConverting();
    void windowAnswersWhileThePictureIsDecoded();
    void answersThatComeLater();
};

void ConverterTest::dismissedDialogsAndShortNames_data() {
    QTest::addColumn<QVariant>("source");  // QString, or nothing for a dismissed dialog
    QTest::addColumn<QVariant>("target");
    QTest::addColumn<int>("dialogs");
    QTest::addColumn<bool>("converts");

    // Relative names count as they are typed, so 3 characters is the whole name.
    QTest::newRow("open dismissed") << QVariant() << QVariant() << 1 << false;
    QTest::newRow("open name of 3 characters") << QVariant(u"p.b"_qs) << QVariant() << 1 << false;
    QTest::newRow("open name of 3 characters in 4 bytes") << QVariant(u"é.b"_qs) << QVariant() << 1 << false;
    QTest::newRow("save dismissed") << QVariant(u"p.bm"_qs) << QVariant() << 2 << false;
    QTest::newRow("save name of 3 characters") << QVariant(u"p.bm"_qs) << QVariant(u"t.z"_qs) << 2 << false;
    QTest::newRow("names of 4 characters") << QVariant(u"p.bm"_qs) << QVariant(u"t.zf"_qs) << 2 << true;
}

void ConverterTest::dismissedDialogsAndShortNames() {
    QFETCH(QVariant, source);
    QFETCH(QVariant, target);
    QFETCH(int, dialogs);
    QFETCH(bool, converts);

    QTemporaryDir dir;
    const QString before = QDir::currentPath();
    QVERIFY(QDir::setCurrent(dir.path()));
    const auto back = qScopeGuard([&] { QDir::setCurrent(before); });
    // Both pictures exist, so a refused name is refused for its length.
    QVERIFY(asymmetric(6, 5).save(u"p.b"_qs, "BMP"));
    QVERIFY(asymmetric(6, 5).save(u"é.b"_qs, "BMP"));
    QVERIFY(asymmetric(6, 5).save(u"p.bm"_qs, "BMP"));
    const QStringList files = entries(dir.path());

    Session s;
    s.prompts.file(source.isValid() ? std::optional(source.toString()) : std::nullopt);
    if (dialogs == 2)
        s.prompts.file(target.isValid() ? std::optional(target.toString()) : std::nullopt);
    if (converts)
        s.prompts.button(Answer::Ok).input(u"abc"_qs).button(Answer::Ok);
    s.convert();

    QVERIFY2(s.prompts.unexpected.isEmpty(), qPrintable(s.unexpected()));
    QVERIFY(s.prompts.allAnswered());
    const Shown& open = s.prompts.shown.at(0);
    QCOMPARE(open.kind, Shown::Kind::FileDialog);
    QCOMPARE(open.mode, platform::FileDialogMode::Open);
    QCOMPARE(open.filter, u"*.JPG;*.GIF;*.BMP"_qs);
    QCOMPARE(open.title, u"Select a file to convert ..."_qs);
    QCOMPARE(open.text, QString());
    if (dialogs == 2) {
        const Shown& save = s.prompts.shown.at(1);
        QCOMPARE(save.kind, Shown::Kind::FileDialog);
        QCOMPARE(save.mode, platform::FileDialogMode::Save);
        QCOMPARE(save.filter, u"*.ZFT"_qs);
        QCOMPARE(save.title, u"Select a filename to save ..."_qs);
        QCOMPARE(save.text, QString());  // the source's name is not offered
    }

    if (converts) {
        QCOMPARE(s.prompts.shown.size(), 5u);
        QCOMPARE(s.w.CommonDialog1.fileName, std::string());
        QCOMPARE(contents(u"t.zf"_qs), header_bytes(6, 5, "abc") + rgb_bytes(asymmetric(6, 5)));
        QVERIFY2(s.notRestored().isEmpty(), qPrintable(s.notRestored()));
    } else {
        QCOMPARE(s.prompts.shown.size(), std::size_t(dialogs));
        QCOMPARE(entries(dir.path()), files);
        // Nothing shown: the window is as loading left it.
        QVERIFY(s.w.beeld->isVisible());
        QVERIFY2(s.notRestored().isEmpty(), qPrintable(s.notRestored()));
    }
}

void ConverterTest::cancelAtConfirmation_data() {
    QTest::addColumn<bool>("existing");
    QTest::newRow("no file at the target") << false;
    QTest::newRow("existing target kept") << true;
}

void ConverterTest::cancelAtConfirmation() {
    QFETCH(bool, existing);
    QTemporaryDir dir;
    const QString source = dir.filePath(u"big.bmp"_qs);
    const QString target = dir.filePath(u"out.zft"_qs);
    QVERIFY(asymmetric(400, 300).save(source));
    const QByteArray old = "an older file, not a ZFT at all\r\n\x1a";
    if (existing)
        QVERIFY(write_file(target, old));
    const QStringList files = entries(dir.path());

    Session s;
    s.prompts.file(source).file(target).button(Answer::Cancel);
    s.convert();

    QVERIFY2(s.prompts.unexpected.isEmpty(), qPrintable(s.unexpected()));
    QCOMPARE(s.prompts.shown.size(), 3u);
    const Shown& confirmation = s.prompts.shown.back();
    QCOMPARE(confirmation.kind, Shown::Kind::MessageBox);
    QCOMPARE(confirmation.text, kConfirmation);
    QCOMPARE(confirmation.title, kTitle);
    QCOMPARE(confirmation.style, MessageStyle::Stop);
    QCOMPARE(QFileInfo::exists(target), existing);
    if (existing)
        QCOMPARE(contents(target), old);
    QCOMPARE(entries(dir.path()), files);
    QVERIFY(!s.w.slot1.writer());
    QVERIFY2(s.notRestored().isEmpty(), qPrintable(s.notRestored()));
}

void ConverterTest::windowFitsThePictureWhileConfirming_data() {
    QTest::addColumn<QSize>("picture");
    QTest::addColumn<QSizeF>("window");

    QTest::newRow("100 x 100: the minimum") << QSize(100, 100) << QSizeF(3915, 3450);
    QTest::newRow("400 x 300") << QSize(400, 300) << QSizeF(6165, 4950);
    QTest::newRow("300 x 100: wider only") << QSize(300, 100) << QSizeF(4665, 3450);
    QTest::newRow("100 x 300: taller only") << QSize(100, 300) << QSizeF(3915, 4950);
    QTest::newRow("250 x 200: the logo's size") << QSize(250, 200) << QSizeF(3915, 3450);
    QTest::newRow("999 x 999, past the screen") << QSize(999, 999) << QSizeF(15150, 15435);
}

void ConverterTest::windowFitsThePictureWhileConfirming() {
    QFETCH(QSize, picture);
    QFETCH(QSizeF, window);
    QTemporaryDir dir;
    const QString source = dir.filePath(u"picture.bmp"_qs);
    QVERIFY(asymmetric(picture.width(), picture.height()).save(source));

    Session s;
    s.prompts.file(source).file(dir.filePath(u"out.zft"_qs)).button(Answer::Cancel);
    QSizeF seen;
    QSizeF beeldSize;
    QString beeldName;
    bool beeldHidden = false;
    int shownAtCorner = -1;
    int shownAtFarCorner = -1;
    s.prompts.whileShown = [&](const Shown& shown) {
        if (shown.kind != Shown::Kind::MessageBox)
            return;
        seen = QSizeF(s.w.window->widthTwips(), s.w.window->heightTwips());
        beeldSize = QSizeF(s.w.beeld->widthTwips(), s.w.beeld->heightTwips());
        beeldHidden = !s.w.beeld->isVisible();
        beeldName = s.beeld().accessibleName();
        platform::qt::DrawingSurface& surface = s.surface();
        shownAtCorner = surface.readPixel(0, 0);
        shownAtFarCorner = surface.readPixel(15.0f * (picture.width() - 1), 15.0f * (picture.height() - 1));
    };
    s.convert();

    QVERIFY2(s.prompts.unexpected.isEmpty(), qPrintable(s.unexpected()));
    QCOMPARE(seen, window);
    QCOMPARE(beeldSize, QSizeF(15.0 * picture.width(), 15.0 * picture.height()));
    QVERIFY(beeldHidden);
    QCOMPARE(beeldName, QStringLiteral("picture.bmp, %1 × %2 pixels").arg(picture.width()).arg(picture.height()));
    QCOMPARE(shownAtCorner, platform::colour_value(asymmetric_colour(0, 0)));
    QCOMPARE(shownAtFarCorner, platform::colour_value(asymmetric_colour(picture.width() - 1, picture.height() - 1)));
    QVERIFY2(s.notRestored().isEmpty(), qPrintable(s.notRestored()));
}

void ConverterTest::notice_data() {
    QTest::addColumn<QVariant>("given");  // QString, or nothing for a dismissed box
    QTest::addColumn<QByteArray>("stored");

    // Typed text is stored as the one save stores any notice: tests/core's
    // saveStoresTheNoticeAsTheUserSeesIt has every kind of character.
    const QByteArray a47(47, 'a');
    const QString s47(47, u'a');
    QTest::newRow("dismissed") << QVariant() << QByteArray();
    QTest::newRow("empty") << QVariant(QString()) << QByteArray();
    QTest::newRow("60 keeps the first 48") << QVariant(s47 + u"bcdefghijklmn"_qs) << a47 + 'b';
    QTest::newRow("e and combining accent is one") << QVariant(u"e\u0301te\u0301"_qs) << QByteArray("\xe9t\xe9");
    QTest::newRow("emoji counts once in 48") << QVariant(s47 + u"\U0001F600z"_qs) << a47 + '?';
}

void ConverterTest::notice() {
    QFETCH(QVariant, given);
    QFETCH(QByteArray, stored);
    QTemporaryDir dir;
    const QString source = dir.filePath(u"one.bmp"_qs);
    const QString target = dir.filePath(u"one.zft"_qs);
    QVERIFY(filled(1, 1, qRgb(1, 2, 3)).save(source));

    Session s;
    s.prompts.file(source).file(target).button(Answer::Ok);
    s.prompts.input(given.isValid() ? std::optional(given.toString()) : std::nullopt);
    s.prompts.button(Answer::Ok);
    s.convert();

    QVERIFY2(s.prompts.unexpected.isEmpty(), qPrintable(s.unexpected()));
    const Shown& input = s.prompts.shown.at(3);
    QCOMPARE(input.kind, Shown::Kind::InputBox);
    QCOMPARE(input.text, u"Please enter Copyright notice (max. 48 chars)"_qs);
    QCOMPARE(input.title, kTitle);
    const QByteArray bytes = contents(target);
    QCOMPARE(bytes.size(), 67);
    QCOMPARE(bytes.mid(10, 48), stored.leftJustified(48, ' '));
}

namespace {

// A picture file's bytes, as Qt writes them.
QByteArray encoded(const QImage& image, const char* format, int quality = -1) {
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    return image.save(&buffer, format, quality) ? buffer.data() : QByteArray();
}

// Alpha from 0 to 255 across the picture, over distinct colours: every way
// of rounding a blend shows.
QImage half_transparent(int w, int h) {
    QImage image = asymmetric(w, h).convertToFormat(QImage::Format_ARGB32);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            image.setPixel(x, y, (image.pixel(x, y) & 0xFFFFFF) | uint((x * 7 + y * 3) % 256) << 24);
    return image;
}

}  // namespace

void ConverterTest::writesWhatZftConvertWrites_data() {
    QTest::addColumn<QString>("name");  // of the picture's file
    QTest::addColumn<QByteArray>("source");
    QTest::addColumn<QString>("notice");       // typed in, and zft's --notice
    QTest::addColumn<QDate>("date");           // the clock's, and zft's --date
    QTest::addColumn<QColor>("windowColour");  // of the palette, as a theme sets it, and zft's --background;
                                               // invalid: Qt's own
    QTest::addColumn<bool>("reduce");          // too large: reduced when offered, and zft's --fit
    QTest::addColumn<QByteArray>("before");    // a BMP converted first in the same window; empty: none

    const QDate date(2004, 9, 3);
    const QByteArray gif = testing::transparent_stripes_gif();
    QTest::newRow("GIF with a transparent colour")
        << u"t.gif"_qs << gif << u"  Ünïcode € Ω  "_qs << date << QColor() << false << QByteArray();
    QTest::newRow("GIF with a transparent colour, on a dark theme")
        << u"t.gif"_qs << gif << u"n"_qs << date << QColor(50, 50, 50) << false << QByteArray();
    QTest::newRow("GIF without transparency")
        << u"o.gif"_qs << testing::gif_bytes(asymmetric(30, 20).convertToFormat(QImage::Format_Indexed8), -1)
        << QString() << date << QColor() << false << QByteArray();
    QTest::newRow("JPEG") << u"p.jpg"_qs << encoded(asymmetric(64, 48), "JPG", 80) << u"(c) 2026 A. Painter"_qs
                          << QDate(1999, 12, 31) << QColor() << false << QByteArray();
    QTest::newRow("grey JPEG") << u"g.jpg"_qs
                               << encoded(asymmetric(50, 40).convertToFormat(QImage::Format_Grayscale8), "JPG")
                               << u"grey"_qs << QDate(2004, 2, 29) << QColor() << false << QByteArray();
    QTest::newRow("JPEG 999 x 999, the largest") << u"l.jpg"_qs << encoded(asymmetric(999, 999), "JPG", 90)
                                                 << u"large"_qs << date << QColor() << false << QByteArray();
    QTest::newRow("JPEG 1600 x 300, reduced to fit") << u"wide.jpg"_qs << encoded(asymmetric(1600, 300), "JPG", 90)
                                                     << u"wide"_qs << QDate(2026, 2, 28) << QColor() << true
                                                     << QByteArray();
    QTest::newRow("BMP 65 x 7") << u"p.bmp"_qs << encoded(asymmetric(65, 7), "BMP") << QString() << QDate(2026, 1, 2)
                                << QColor() << false << QByteArray();
    QTest::newRow("PNG with alpha 0 to 255")
        << u"a.png"_qs << encoded(half_transparent(120, 90), "PNG")
        << u"a notice longer than forty-eight characters, cut short here"_qs << QDate(2010, 5, 6) << QColor() << false
        << QByteArray();
    // Nothing of the picture before shows where the file sets no pixel.
    const QByteArray red = encoded(filled(300, 300, qRgb(255, 0, 0)), "BMP");
    for (const clitest::Picture& picture : clitest::pictures_leaving_pixels_unset())
        QTest::addRow("%s, after another picture", picture.row)
            << picture.name << picture.bytes << u"n"_qs << date << QColor() << false << red;
}

// The file the window writes over an existing one, replaced whole, is the
// one zft convert writes; the window tells of its success and is restored.
void ConverterTest::writesWhatZftConvertWrites() {
    QFETCH(QString, name);
    QFETCH(QByteArray, source);
    QFETCH(QString, notice);
    QFETCH(QDate, date);
    QFETCH(QColor, windowColour);
    QFETCH(bool, reduce);
    QFETCH(QByteArray, before);
    QTemporaryDir dir;
    const QString picture = dir.filePath(name);
    const QString target = dir.filePath(u"picture.zft"_qs);
    QVERIFY(write_file(picture, source));
    QVERIFY(write_file(target, QByteArray(5000, 'x')));
    QStringList sources{picture};
    if (!before.isEmpty()) {
        sources.prepend(dir.filePath(u"before.bmp"_qs));
        QVERIFY(write_file(sources.front(), before));
    }
    const QStringList files = entries(dir.path());

    Session s;
    if (windowColour.isValid()) {
        QPalette palette = s.window().palette();
        palette.setColor(QPalette::Window, windowColour);
        s.window().setPalette(palette);
    }
    s.prompts.date = {date.month(), date.day(), date.year()};
    for (const QString& file : sources) {
        s.prompts.shown.clear();
        s.prompts.file(file).file(target);
        if (reduce)
            s.prompts.button(Answer::Yes);
        s.prompts.button(Answer::Ok).input(notice).button(Answer::Ok);
        s.convert();
    }

    QVERIFY2(s.prompts.unexpected.isEmpty(), qPrintable(s.unexpected()));
    QCOMPARE(s.prompts.shown.size(), reduce ? 6u : 5u);
    const Shown& success = s.prompts.shown.back();
    QCOMPARE(success.kind, Shown::Kind::MessageBox);
    QCOMPARE(success.text, u"Conversion succesfull !"_qs);
    QCOMPARE(success.title, kTitle);
    QCOMPARE(success.style, MessageStyle::Exclamation);
    QVERIFY(!s.w.slot1.writer());
    QVERIFY2(s.notRestored().isEmpty(), qPrintable(s.notRestored()));
    QCOMPARE(entries(dir.path()), files);
    const QByteArray bytes = contents(target);

    QStringList args{u"convert"_qs, u"--notice"_qs, notice, u"--date"_qs, date.toString(u"MM/dd/yyyy"_qs), picture,
                     u"-o"_qs, dir.filePath(u"zft.zft"_qs)};
    if (windowColour.isValid())
        args << u"--background"_qs << windowColour.name();
    if (reduce)
        args << u"--fit"_qs;
    const clitest::Run run = clitest::run_zft(args);
    QVERIFY2(run.status == 0 && run.err.isEmpty(), run.err.constData());
    const QByteArray expected = contents(dir.filePath(u"zft.zft"_qs));
    QCOMPARE(bytes.size(), expected.size());
    QCOMPARE(bytes.left(64), expected.left(64));
    if (bytes != expected) {
        qsizetype at = 64;
        while (bytes[at] == expected[at])
            ++at;
        const int width = expected.mid(58, 3).toInt();
        QFAIL(qPrintable(u"pixel bytes differ first at offset %1 (pixel %2 of row %3)"_qs.arg(at)
                             .arg((at - 64) / 3 % width)
                             .arg((at - 64) / 3 / width)));
    }
}

void ConverterTest::failureIsReportedAndNothingLost_data() {
    QTest::addColumn<QString>("source");  // a file name in the test's folder
    QTest::addColumn<QString>("target");  // in the folder, unless absolute
    QTest::addColumn<int>("answered");    // the prompts before the failure: 2, 3 (confirmed) or 4 (notice given)
    QTest::addColumn<bool>("sourceNamed");
    QTest::addColumn<QString>("reason");

    QTest::newRow("picture cannot be decoded") << u"garbage.jpg"_qs << u"old.zft"_qs << 2 << true
                                               << u"not a picture in a format this program reads"_qs;
    QTest::newRow("picture missing") << u"missing.bmp"_qs << u"old.zft"_qs << 2 << true << u"No such file or directory"_qs;
    QTest::newRow("target in a missing folder") << u"small.bmp"_qs << u"missing/out.zft"_qs << 3 << false
                                                << u"No such file or directory"_qs;
    QTest::newRow("target is a folder") << u"small.bmp"_qs << u"folder.zft"_qs << 3 << false << u"it is a folder"_qs;
    QTest::newRow("target cannot be written") << u"small.bmp"_qs << u"/proc/zft-test.zft"_qs << 3 << false
                                              << u"No such file or directory"_qs;
    QTest::newRow("disk fails reading") << u"small.bmp"_qs << u"old.zft"_qs << 2 << true << u"Input/output error"_qs;
    QTest::newRow("disk fills") << u"small.bmp"_qs << u"old.zft"_qs << 4 << false << u"No space left on device"_qs;
}

void ConverterTest::failureIsReportedAndNothingLost() {
    QFETCH(QString, source);
    QFETCH(QString, target);
    QFETCH(int, answered);
    QFETCH(bool, sourceNamed);
    QFETCH(QString, reason);

    QTemporaryDir dir;
    const QByteArray old = "the target as it was\n";
    QVERIFY(write_file(dir.filePath(u"old.zft"_qs), old));
    QVERIFY(write_file(dir.filePath(u"garbage.jpg"_qs), "this is not a picture at all"));
    QVERIFY(QDir(dir.path()).mkdir(u"folder.zft"_qs));
    QVERIFY(asymmetric(100, 100).save(dir.filePath(u"small.bmp"_qs)));
    const QStringList files = entries(dir.path());
    source = dir.filePath(source);
    target = QDir(dir.path()).absoluteFilePath(target);

    Session s;
    s.prompts.file(source).file(target);
    if (answered >= 3)
        s.prompts.button(Answer::Ok);
    if (answered >= 4)
        s.prompts.input(u"notice"_qs);
    s.prompts.button(Answer::Ok);

    // A disk that fails the picture's read half-way, or fills up 10 kB into the new file.
    if (QByteArray(QTest::currentDataTag()) == "disk fails reading")
        s.files.failReadsAfter(1000, EIO);
    if (QByteArray(QTest::currentDataTag()) == "disk fills")
        s.files.failWritesAfter(10000, ENOSPC);
    s.convert();
    s.files.heal();

    QVERIFY2(s.prompts.unexpected.isEmpty(), qPrintable(s.unexpected()));
    QVERIFY(s.prompts.allAnswered());
    QCOMPARE(s.prompts.shown.size(), std::size_t(answered + 1));
    const Shown& error = s.prompts.shown.back();
    QCOMPARE(error.kind, Shown::Kind::MessageBox);
    QCOMPARE(error.style, MessageStyle::Error);
    QCOMPARE(error.title, kTitle);
    QVERIFY2(error.text.contains(QDir::toNativeSeparators(sourceNamed ? source : target)), qPrintable(error.text));
    QVERIFY2(error.text.contains(reason), qPrintable(error.text));
    QVERIFY2(error.text.startsWith(u"Cannot "_qs), qPrintable(error.text));
    QVERIFY2(error.text.size() > QDir::toNativeSeparators(sourceNamed ? source : target).size() + 10,
             qPrintable(error.text));
    QVERIFY2(s.notRestored().isEmpty(), qPrintable(s.notRestored()));
    QVERIFY(!s.w.slot1.writer() && !testing::held_open(source));
    QVERIFY(s.w.run(testing::nothing));  // no command left running

    // Nothing lost, nothing left over.
    QCOMPARE(contents(dir.filePath(u"old.zft"_qs)), old);
    QCOMPARE(entries(dir.path()), files);
    QVERIFY(!QFileInfo::exists(u"/proc/zft-test.zft"_qs));

    // The program goes on: the next conversion works in the same window.
    const QString next = dir.filePath(u"next.zft"_qs);
    s.prompts.file(dir.filePath(u"small.bmp"_qs)).file(next).button(Answer::Ok).input(u"n"_qs).button(Answer::Ok);
    s.convert();
    QVERIFY2(s.prompts.unexpected.isEmpty(), qPrintable(s.unexpected()));
    QCOMPARE(contents(next), header_bytes(100, 100, "n") + rgb_bytes(asymmetric(100, 100)));
}

void ConverterTest::killedMidWayLeavesNothing_data() {
    QTest::addColumn<QByteArray>("mode");
    QTest::addColumn<QByteArray>("said");
    QTest::newRow("killed with the slot open") << QByteArray("slot-open") << QByteArray("slot open\n");
    QTest::newRow("killed in the pixel loop")
        << QByteArray("pixel-loop") << QByteArray("slot open\nkilled while writing\n");
}

void ConverterTest::killedMidWayLeavesNothing() {
    QFETCH(QByteArray, mode);
    QFETCH(QByteArray, said);
    QTemporaryDir dir;
    const QString source = dir.filePath(u"large.bmp"_qs);
    const QString target = dir.filePath(u"old.zft"_qs);
    // 270,064 bytes to write, well past the point the child is killed at.
    QVERIFY(asymmetric(300, 300).save(source));
    const QByteArray old = "the target as it was\n";
    QVERIFY(write_file(target, old));
    const QStringList files = entries(dir.path());

    QProcess child;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(u"QT_QPA_PLATFORM"_qs, u"offscreen"_qs);
    environment.insert(u"ZFT_KILL_MODE"_qs, QString::fromLatin1(mode));
    environment.insert(u"ZFT_KILL_SOURCE"_qs, source);
    environment.insert(u"ZFT_KILL_TARGET"_qs, target);
    child.setProcessEnvironment(environment);
    child.start(QCoreApplication::applicationFilePath(), {});
    QVERIFY(child.waitForFinished(60000));
    QCOMPARE(child.exitStatus(), QProcess::CrashExit);
    QCOMPARE(child.readAllStandardOutput(), said);

    QCOMPARE(contents(target), old);
    QCOMPARE(entries(dir.path()), files);
}

void ConverterTest::tooLargePictureIsRefused_data() {
    QTest::addColumn<QSize>("size");
    QTest::addColumn<bool>("headerOnly");  // a BMP header with no pixels behind it
    QTest::addColumn<bool>("offered");     // the reduction zft convert --fit makes; or refused at once

    QTest::newRow("1000 x 10") << QSize(1000, 10) << false << true;
    QTest::newRow("10 x 1000") << QSize(10, 1000) << false << true;
    QTest::newRow("16000 x 16000, over the 100 megapixels decoded") << QSize(16000, 16000) << true << false;
}

void ConverterTest::tooLargePictureIsRefused() {
    QFETCH(QSize, size);
    QFETCH(bool, headerOnly);
    QFETCH(bool, offered);
    QTemporaryDir dir;
    const QString source = dir.filePath(u"huge.bmp"_qs);
    const QString target = dir.filePath(u"old.zft"_qs);
    if (headerOnly) {
        QByteArray bmp("BM");
        auto put32 = [&](quint32 v) {
            for (int i = 0; i < 4; ++i)
                bmp += static_cast<char>((v >> (8 * i)) & 0xFF);
        };
        put32(54);                         // file size, as far as it goes
        put32(0);                          // reserved
        put32(54);                         // pixels start here
        put32(40);                         // info header size
        put32(quint32(size.width()));
        put32(quint32(size.height()));
        bmp += QByteArray::fromHex("01001800");  // one plane, 24 bits
        bmp += QByteArray(24, '\0');
        QVERIFY(write_file(source, bmp));
        QCOMPARE(QImageReader(source).size(), size);
    } else {
        QVERIFY(filled(size.width(), size.height(), qRgb(9, 9, 9)).save(source));
    }
    const QByteArray old = "the target as it was\n";
    QVERIFY(write_file(target, old));
    const QStringList files = entries(dir.path());

    Session s;
    s.prompts.file(source).file(target).button(offered ? Answer::No : Answer::Ok);
    QString unchangedAtError = u"the error box was not shown"_qs;
    s.prompts.whileShown = [&](const Shown& shown) {
        if (shown.kind != Shown::Kind::MessageBox)
            return;
        unchangedAtError = s.notRestored();
        if (unchangedAtError.isEmpty() && !s.w.beeld->isVisible())
            unchangedAtError = u"beeld was hidden"_qs;
    };
    s.convert();

    QVERIFY2(s.prompts.unexpected.isEmpty(), qPrintable(s.unexpected()));
    QCOMPARE(s.prompts.shown.size(), 3u);  // no confirmation
    // Declined, the offer ends the command; the refusal without one too.
    const Shown& error = s.prompts.shown.back();
    QCOMPARE(error.style, offered ? MessageStyle::Question : MessageStyle::Error);
    QCOMPARE(error.text.contains(u"Reduce it to"_qs), offered);
    QCOMPARE(error.title, kTitle);
    QVERIFY2(error.text.contains(QDir::toNativeSeparators(source)), qPrintable(error.text));
    QVERIFY2(error.text.contains(u"%1 × %2"_qs.arg(size.width()).arg(size.height())), qPrintable(error.text));
    QVERIFY2(error.text.contains(offered ? u"999 × 999"_qs : u"the 100 megapixels"_qs), qPrintable(error.text));
    QVERIFY2(unchangedAtError.isEmpty(), qPrintable(unchangedAtError));
    QVERIFY2(s.notRestored().isEmpty(), qPrintable(s.notRestored()));
    QCOMPARE(contents(target), old);
    QCOMPARE(entries(dir.path()), files);
}

void ConverterTest::otherCommandsAreRefusedWhileConverting() {
    QTemporaryDir dir;
    const QString source = dir.filePath(u"six.bmp"_qs);
    const QString target = dir.filePath(u"six.zft"_qs);
    QVERIFY(asymmetric(6, 5).save(source));

    Session s;
    s.prompts.file(source).file(target).button(Answer::Ok).input(u"busy"_qs).button(Answer::Ok);
    int tries = 0;
    s.prompts.whileShown = [&](const Shown& shown) {
        if (shown.kind == Shown::Kind::FileDialog)
            return;
        // Each of these would open a prompt of its own if it ran.
        for (platform::MenuItem* other : {s.w.preview_zft_file, s.w.convert_jpg_gif_bmp_file, s.w.about_zft_toolkit,
                               s.w.exit_zft_toolkit}) {
            other->trigger();
            ++tries;
        }
    };
    // As the menu starts it.
    s.w.convert_jpg_gif_bmp_file->trigger();

    QCOMPARE(tries, 12);  // at the confirmation, the input box and the success box
    QVERIFY2(s.prompts.unexpected.isEmpty(), qPrintable(s.unexpected()));
    QVERIFY2(s.prompts.shown.size() == 5, qPrintable(describe(s.prompts.shown)));
    QCOMPARE(contents(target), header_bytes(6, 5, "busy") + rgb_bytes(asymmetric(6, 5)));
    QVERIFY(s.window().isVisible());

    // Once it has ended, the commands run again.
    s.prompts.whileShown = nullptr;
    s.prompts.button(Answer::Ok);
    s.w.about_zft_toolkit->trigger();
    QCOMPARE(s.prompts.shown.size(), 6u);
    QCOMPARE(s.prompts.shown.back().style, MessageStyle::Information);
}

void ConverterTest::windowAnswersWhileThePictureIsDecoded() {
    QTemporaryDir dir;
    const QString source = dir.filePath(u"six.bmp"_qs);
    const QString target = dir.filePath(u"six.zft"_qs);
    QVERIFY(asymmetric(6, 5).save(source));

    Session s;
    s.prompts.file(source).file(target).button(Answer::Ok).input(u"n"_qs).button(Answer::Ok);
    // The picture is opened only once the window has handled an event: the
    // decode waits for it, which on the window's own thread it never could
    // (it gives up after ten seconds).
    std::mutex guard;
    std::condition_variable told;
    bool handled = false;
    bool handledBeforeTheDecode = false;
    QTimer::singleShot(0, &s.window(), [&] {
        const std::lock_guard lock(guard);
        handled = true;
        told.notify_all();
    });
    s.files.whileOpening = [&] {
        std::unique_lock lock(guard);
        handledBeforeTheDecode = told.wait_for(lock, std::chrono::seconds(10), [&] { return handled; });
    };
    s.convert();
    s.files.whileOpening = nullptr;

    QVERIFY(handledBeforeTheDecode);
    QVERIFY2(s.prompts.unexpected.isEmpty(), qPrintable(s.unexpected()));
    QCOMPARE(contents(target), header_bytes(6, 5, "n") + rgb_bytes(asymmetric(6, 5)));
    QVERIFY2(s.notRestored().isEmpty(), qPrintable(s.notRestored()));
}

// A browser's prompts answer after they have returned: the conversion
// waits at each, the other commands refused meanwhile, and goes on with
// each answer to the same file.
void ConverterTest::answersThatComeLater() {
    QTemporaryDir dir;
    const QString source = dir.filePath(u"six.bmp"_qs);
    const QString target = dir.filePath(u"six.zft"_qs);
    QVERIFY(asymmetric(6, 5).save(source));

    Session s;
    s.prompts.answerLater = true;
    s.prompts.file(source).file(target).button(Answer::Ok).input(u"later"_qs).button(Answer::Ok);
    QVERIFY(s.w.run(shell::convert_jpg_gif_bmp_file));
    for (std::size_t waiting = 1; waiting <= 5; ++waiting) {
        QCOMPARE(s.prompts.shown.size(), waiting);
        QVERIFY(!s.w.run(testing::nothing));
        QVERIFY(s.prompts.settle());
    }

    QVERIFY(s.w.run(testing::nothing));
    QVERIFY2(s.prompts.unexpected.isEmpty(), qPrintable(s.unexpected()));
    QCOMPARE(contents(target), header_bytes(6, 5, "later") + rgb_bytes(asymmetric(6, 5)));
    QVERIFY2(s.notRestored().isEmpty(), qPrintable(s.notRestored()));
}

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    if (qEnvironmentVariableIsSet("ZFT_KILL_MODE"))
        return convert_and_get_killed();
    ConverterTest test;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&test, argc, argv);
}

#include "tst_converter.moc"
