#include <QApplication>
#include <QBuffer>
#include <QImageReader>
#include <QImageWriter>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>
#include <condition_variable>
#include <csignal>
#include <mutex>
#include <sys/resource.h>
#include <unistd.h>

#include "shell/converter.h"
#include "shell/mainscreen.h"
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
    void convert() { w.run(shell::convert_jpg_gif_bmp_file); }

    // What is wrong with the window after a command, empty when it is back
    // at the logo's size with the logo in `beeld` and no background picture.
    QString notRestored() const {
        QStringList faults;
        if (w.window.widthTwips() != 3915 || w.window.heightTwips() != 3450)
            faults << QStringLiteral("window is %1 x %2 twips").arg(w.window.widthTwips()).arg(w.window.heightTwips());
        if (w.beeld->picture() != w.backup->picture())
            faults << QStringLiteral("beeld does not hold the logo");
        if (w.beeld->accessibleName() != QStringLiteral("logo"))
            faults << QStringLiteral("beeld is named '%1'").arg(w.beeld->accessibleName());
        if (!w.window.surface()->backgroundPicture().isNull())
            faults << QStringLiteral("the background picture is still there");
        if (!w.window.isVisible())
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

// The pixel bytes of a PPM or PGM from djpeg, as red, green, blue.
QByteArray pnm_pixels(const QByteArray& pnm, QSize* size) {
    QList<QByteArray> fields;
    qsizetype at = 0;
    while (fields.size() < 4 && at < pnm.size()) {
        while (at < pnm.size() && QChar(pnm[at]).isSpace())
            ++at;
        qsizetype end = at;
        while (end < pnm.size() && !QChar(pnm[end]).isSpace())
            ++end;
        fields << pnm.mid(at, end - at);
        at = end;
    }
    if (fields.size() < 4 || fields[3] != "255")
        return {};
    *size = QSize(fields[1].toInt(), fields[2].toInt());
    const QByteArray data = pnm.mid(at + 1);
    if (fields[0] == "P6")
        return data;
    QByteArray rgb;
    for (char grey : data)
        rgb += QByteArray(3, grey);
    return fields[0] == "P5" ? rgb : QByteArray();
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
    shell::MainScreen w(prompts);
    shell::load_mainscreen(w);
    auto say = [](const char* text) {
        std::fputs(text, stdout);
        std::fflush(stdout);
    };
    prompts.whileShown = [&](const Shown& shown) {
        if (shown.kind != Shown::Kind::InputBox)
            return;
        if (!w.slot1.isOpen())
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
    void writesThePixelsShown_data();
    void writesThePixelsShown();
    void failureIsReportedAndNothingLost_data();
    void failureIsReportedAndNothingLost();
    void killedMidWayLeavesNothing_data();
    void killedMidWayLeavesNothing();
    void tooLargePictureIsRefused_data();
    void tooLargePictureIsRefused();
    void otherCommandsAreRefusedWhileConverting();
    void windowAnswersWhileThePictureIsDecoded();
};

void ConverterTest::dismissedDialogsAndShortNames_data() {
    QTest::addColumn<QVariant>("source");  // QString, or nothing for a dismissed dialog
    QTest::addColumn<QVariant>("target");
    QTest::addColumn<int>("dialogs");
    QTest::addColumn<bool>("converts");

    // Relative names count as they are typed, so 3 characters is the whole name.
    QTest::newRow("open dismissed") << QVariant() << QVariant() << 1 << false;
    QTest::newRow("open name of 3 characters") << QVariant(u"p.b"_qs) << QVariant() << 1 << false;
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
        QCOMPARE(s.w.CommonDialog1.fileName, QString());
        QCOMPARE(contents(u"t.zf"_qs), header_bytes(6, 5, "abc") + rgb_bytes(asymmetric(6, 5)));
        QVERIFY2(s.notRestored().isEmpty(), qPrintable(s.notRestored()));
    } else {
        QCOMPARE(s.prompts.shown.size(), std::size_t(dialogs));
        QCOMPARE(entries(dir.path()), files);
        // Nothing shown: the window is as loading left it.
        QVERIFY(s.w.beeld->isVisibleTo(&s.w.window));
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
    QVERIFY(!s.w.slot1.isOpen());
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
        seen = QSizeF(s.w.window.widthTwips(), s.w.window.heightTwips());
        beeldSize = QSizeF(s.w.beeld->widthTwips(), s.w.beeld->heightTwips());
        beeldHidden = !s.w.beeld->isVisibleTo(&s.w.window);
        beeldName = s.w.beeld->accessibleName();
        platform::DrawingSurface& surface = *s.w.window.surface();
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

    const QByteArray a47(47, 'a');
    const QString s47(47, u'a');
    QTest::newRow("dismissed") << QVariant() << QByteArray();
    QTest::newRow("empty") << QVariant(QString()) << QByteArray();
    QTest::newRow("only spaces") << QVariant(QString(60, u' ')) << QByteArray();
    QTest::newRow("spaces around") << QVariant(u"  abc  "_qs) << QByteArray("abc");
    QTest::newRow("exactly 48") << QVariant(s47 + u'b') << a47 + 'b';
    QTest::newRow("60 keeps the first 48") << QVariant(s47 + u"bcdefghijklmn"_qs) << a47 + 'b';
    QTest::newRow("outside Windows-1252") << QVariant(u"\u0100 ok \u4e2d"_qs) << QByteArray("? ok ?");
    QTest::newRow("Windows-1252 beyond Latin-1") << QVariant(u"\u20ac \u2018x\u2019 \u2122 \u00a9"_qs)
                                                 << QByteArray("\x80 \x91x\x92 \x99 \xa9");
    QTest::newRow("e and combining accent is one") << QVariant(u"e\u0301te\u0301"_qs) << QByteArray("\xe9t\xe9");
    QTest::newRow("composed e-acute as typed") << QVariant(u"\u00e9t\u00e9"_qs) << QByteArray("\xe9t\xe9");
    QTest::newRow("Angstrom sign and A with a ring are A-ring") << QVariant(u"\u212b A\u030a"_qs) << QByteArray("\xc5 \xc5");
    QTest::newRow("combined letter with no byte") << QVariant(u"q\u0301!"_qs) << QByteArray("?!");
    QTest::newRow("e and accent count once in 48") << QVariant(s47 + u"e\u0301z"_qs) << a47 + '\xe9';
    QTest::newRow("emoji counts once in 48") << QVariant(s47 + u"\U0001F600z"_qs) << a47 + '?';
    QTest::newRow("flag is one character") << QVariant(u"\U0001F1F3\U0001F1F1x"_qs) << QByteArray("?x");
    QTest::newRow("joined emoji is one character")
        << QVariant(u"\U0001F468\u200D\U0001F469\u200D\U0001F467"_qs) << QByteArray("?");
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
QByteArray encoded(const QImage& image, const char* format, int quality = -1, bool progressive = false) {
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, format);
    writer.setQuality(quality);
    writer.setProgressiveScanWrite(progressive);
    return writer.write(image) ? buffer.data() : QByteArray();
}

// Smooth ramps with hard edges, so rounding in the colour conversion and the
// chroma upsampling both show.
QImage ramps(QSize size, bool grey) {
    QImage picture(size, QImage::Format_RGB32);
    for (int y = 0; y < size.height(); ++y)
        for (int x = 0; x < size.width(); ++x)
            picture.setPixel(x, y, qRgb(x * 255 / size.width(), y * 255 / size.height(), (x / 7 + y / 5) % 2 ? 230 : 20));
    return grey ? picture.convertToFormat(QImage::Format_Grayscale8) : picture;
}

// A JPEG written by cjpeg with `options`; empty when there is no cjpeg.
QByteArray cjpeg_bytes(const QImage& picture, int quality, const QStringList& options) {
    const QString cjpeg = QStandardPaths::findExecutable(u"cjpeg"_qs);
    QTemporaryDir dir;
    const QString ppm = dir.filePath(u"photo.ppm"_qs);
    const QString jpeg = dir.filePath(u"photo.jpg"_qs);
    if (cjpeg.isEmpty() || !picture.save(ppm))
        return {};
    QProcess encoder;
    encoder.start(cjpeg, QStringList{u"-quality"_qs, QString::number(quality)} + options + QStringList{u"-outfile"_qs, jpeg, ppm});
    return encoder.waitForFinished(60000) && encoder.exitCode() == 0 ? contents(jpeg) : QByteArray();
}

// An indexed picture as a GIF, and as the window shows it: the pixels of the
// transparent index with alpha 0.
std::pair<QByteArray, QImage> gif(const testing::IndexedPicture& picture) {
    QImage shown(picture.width, picture.height,
                 picture.transparentIndex < 0 ? QImage::Format_RGB32 : QImage::Format_ARGB32);
    for (int i = 0; i < picture.width * picture.height; ++i) {
        const int index = picture.indices[static_cast<std::size_t>(i)];
        shown.setPixel(i % picture.width, i / picture.width,
                       index == picture.transparentIndex ? qRgba(0, 0, 0, 0) : picture.palette[index]);
    }
    return {testing::gif_bytes(picture), shown};
}

// An opaque w × h GIF of the colours of the first six columns of
// `asymmetric`, repeated: they fit one palette.
std::pair<QByteArray, QImage> asymmetric_gif(int w, int h) {
    testing::IndexedPicture picture;
    picture.width = w;
    picture.height = h;
    for (int r = 0; r < h; ++r) {
        for (int c = 0; c < w; ++c) {
            const QRgb colour = asymmetric_colour(c % 6, r);
            qsizetype index = picture.palette.indexOf(colour);
            if (index < 0) {
                index = picture.palette.size();
                picture.palette << colour;
            }
            picture.indices.push_back(static_cast<unsigned char>(index));
        }
    }
    return gif(picture);
}

// The ZFT pixel bytes of `shown` on a window of `background`.
QByteArray shown_bytes(const QImage& shown, QRgb background) {
    QImage composed = shown.convertToFormat(QImage::Format_ARGB32);
    for (int y = 0; y < composed.height(); ++y)
        for (int x = 0; x < composed.width(); ++x)
            if (qAlpha(composed.pixel(x, y)) == 0)
                composed.setPixel(x, y, background);
    return rgb_bytes(composed);
}

}  // namespace

void ConverterTest::writesThePixelsShown_data() {
    QTest::addColumn<QByteArray>("source");  // the picture file
    QTest::addColumn<QImage>("shown");       // its pixels as the window shows them; none: as djpeg decodes it
    QTest::addColumn<QColor>("background");  // of the window, for transparent pixels; invalid: the window's own

    QImage two(2, 2, QImage::Format_RGB32);
    two.setPixel(0, 0, qRgb(13, 10, 26));  // bytes 64 to 66: 0D 0A 1A
    two.setPixel(1, 0, qRgb(0, 0, 0));     // 67 to 69, its right
    two.setPixel(0, 1, qRgb(255, 255, 255));  // 70 to 72, the first of the second row
    two.setPixel(1, 1, qRgb(1, 2, 3));
    QTest::newRow("2 x 2, 76 bytes") << encoded(two, "BMP") << two << QColor();
    const std::pair<const char*, QRgb> raw[] = {{"black", qRgb(0, 0, 0)},        {"white", qRgb(255, 255, 255)},
                                                {"10, 13, 26", qRgb(10, 13, 26)}, {"13, 10, 26", qRgb(13, 10, 26)},
                                                {"channels apart", qRgb(255, 0, 128)}};
    for (const auto& [name, colour] : raw)
        QTest::newRow(qPrintable(u"raw bytes, "_qs + QLatin1String(name)))
            << encoded(filled(1, 1, colour), "BMP") << filled(1, 1, colour) << QColor();

    const QImage six = asymmetric(6, 5);
    QTest::newRow("BMP, 24 bits") << encoded(six, "BMP") << six << QColor();
    QList<QRgb> palette;
    for (int r = 0; r < 5; ++r)
        for (int c = 0; c < 6; ++c)
            palette << asymmetric_colour(c, r);
    const QImage indexed = six.convertToFormat(QImage::Format_Indexed8, palette, Qt::ThresholdDither);
    const QByteArray bmp8 = encoded(indexed, "BMP");
    QCOMPARE(QImage::fromData(bmp8).format(), QImage::Format_Indexed8);
    QTest::newRow("BMP, 8-bit palette") << bmp8 << six << QColor();
    const auto [small, smallShown] = asymmetric_gif(6, 5);
    QTest::newRow("GIF") << small << smallShown << QColor();
    // At 300 pixels a row the codes cross several clear codes.
    const auto [wide, wideShown] = asymmetric_gif(300, 2);
    QTest::newRow("GIF, wider than its clear-code run") << wide << wideShown << QColor();

    testing::IndexedPicture clear;  // index 3 is transparent: its table colour must not show
    clear.width = 4;
    clear.height = 3;
    clear.palette = {qRgb(255, 0, 0), qRgb(0, 255, 0), qRgb(0, 0, 255), qRgb(255, 0, 255)};
    clear.transparentIndex = 3;
    clear.indices = {3, 0, 1, 3,  //
                     2, 3, 3, 0,  //
                     1, 2, 0, 3};
    const auto [clearGif, clearShown] = gif(clear);
    QTest::newRow("transparent GIF on the window's own background") << clearGif << clearShown << QColor();
    QTest::newRow("transparent GIF on a background set for the test") << clearGif << clearShown << QColor(1, 2, 3);

    QTest::newRow("JPEG 37 x 23, odd sizes") << encoded(ramps({37, 23}, false), "jpeg", 75) << QImage() << QColor();
    QTest::newRow("JPEG, best quality") << encoded(ramps({64, 48}, false), "jpeg", 100) << QImage() << QColor();
    QTest::newRow("JPEG, greyscale") << encoded(ramps({40, 30}, true), "jpeg", 80) << QImage() << QColor();
    QTest::newRow("JPEG, progressive") << encoded(ramps({50, 40}, false), "jpeg", 85, true) << QImage() << QColor();
    QTest::newRow("JPEG 999 x 999, the largest") << encoded(ramps({999, 999}, false), "jpeg", 90) << QImage()
                                                 << QColor();
    const QImage odd = ramps({45, 33}, false);
    QTest::newRow("JPEG, restart markers") << cjpeg_bytes(odd, 90, {u"-restart"_qs, u"1"_qs}) << QImage() << QColor();
    QTest::newRow("JPEG, arithmetic coding") << cjpeg_bytes(odd, 90, {u"-arithmetic"_qs}) << QImage() << QColor();
    QTest::newRow("JPEG, 4:2:2 sampling") << cjpeg_bytes(odd, 90, {u"-sample"_qs, u"2x1"_qs}) << QImage() << QColor();
}

// Every pixel written as the window shows it, over an existing file that is
// replaced whole, and the window restored.
void ConverterTest::writesThePixelsShown() {
    QFETCH(QByteArray, source);
    QFETCH(QImage, shown);
    QFETCH(QColor, background);
    const QString djpeg = QStandardPaths::findExecutable(u"djpeg"_qs);
    if (shown.isNull() && (djpeg.isEmpty() || source.isEmpty()))
        QSKIP("djpeg or cjpeg is not installed (package libjpeg-turbo-progs)");
    if (!shown.hasAlphaChannel() && !shown.isNull())  // the fixture is what it says
        QCOMPARE(QImage::fromData(source).convertToFormat(QImage::Format_RGB32), shown.convertToFormat(QImage::Format_RGB32));
    QTemporaryDir dir;
    const QString picture = dir.filePath(u"picture"_qs);  // its kind is told by its bytes
    const QString target = dir.filePath(u"picture.zft"_qs);
    QVERIFY(write_file(picture, source));
    QVERIFY(write_file(target, QByteArray(5000, 'x')));

    Session s;
    s.prompts.date = QDate(2003, 11, 9);
    if (background.isValid())
        s.w.window.surface()->setBackgroundColour(background);
    QSize size = shown.size();
    QByteArray pixels;
    if (shown.isNull()) {
        QProcess process;
        process.start(djpeg, {u"-ppm"_qs, picture});
        QVERIFY(process.waitForFinished(60000));
        QCOMPARE(process.exitCode(), 0);
        pixels = pnm_pixels(process.readAllStandardOutput(), &size);
        QCOMPARE(pixels.size(), 3 * size.width() * size.height());
    } else {
        pixels = shown_bytes(shown, s.w.window.surface()->backgroundColour().rgb());
    }
    s.prompts.file(picture).file(target).button(Answer::Ok).input(u"  abc  "_qs).button(Answer::Ok);
    s.convert();

    QVERIFY2(s.prompts.unexpected.isEmpty(), qPrintable(s.unexpected()));
    QCOMPARE(s.prompts.shown.size(), 5u);
    const Shown& success = s.prompts.shown.back();
    QCOMPARE(success.kind, Shown::Kind::MessageBox);
    QCOMPARE(success.text, u"Conversion succesfull !"_qs);
    QCOMPARE(success.title, kTitle);
    QCOMPARE(success.style, MessageStyle::Exclamation);
    const QByteArray bytes = contents(target);
    QCOMPARE(bytes.left(64), header_bytes("1A", "11092003", "abc", QByteArray::number(size.width()).rightJustified(3, '0'),
                                          QByteArray::number(size.height()).rightJustified(3, '0')));
    QCOMPARE(bytes.size(), 64 + pixels.size());
    if (bytes.mid(64) != pixels) {
        qsizetype at = 0;
        while (bytes[64 + at] == pixels[at])
            ++at;
        QFAIL(qPrintable(u"pixel bytes differ first at offset %1 (pixel %2 of row %3)"_qs.arg(64 + at)
                             .arg(at / 3 % size.width())
                             .arg(at / 3 / size.width())));
    }
    QVERIFY(!s.w.slot1.isOpen());
    QVERIFY2(s.notRestored().isEmpty(), qPrintable(s.notRestored()));
    QCOMPARE(entries(dir.path()), QStringList({u"picture"_qs, u"picture.zft"_qs}));
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
    QVERIFY(!s.w.slot1.isOpen());
    QVERIFY(!s.w.commandRunning());

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

    QTest::newRow("1000 x 10") << QSize(1000, 10) << false;
    QTest::newRow("10 x 1000") << QSize(10, 1000) << false;
    QTest::newRow("16000 x 16000, never decoded") << QSize(16000, 16000) << true;
}

void ConverterTest::tooLargePictureIsRefused() {
    QFETCH(QSize, size);
    QFETCH(bool, headerOnly);
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
    s.prompts.file(source).file(target).button(Answer::No);
    QString unchangedAtError = u"the error box was not shown"_qs;
    s.prompts.whileShown = [&](const Shown& shown) {
        if (shown.kind != Shown::Kind::MessageBox)
            return;
        unchangedAtError = s.notRestored();
        if (unchangedAtError.isEmpty() && !s.w.beeld->isVisibleTo(&s.w.window))
            unchangedAtError = u"beeld was hidden"_qs;
    };
    s.convert();

    QVERIFY2(s.prompts.unexpected.isEmpty(), qPrintable(s.unexpected()));
    QCOMPARE(s.prompts.shown.size(), 3u);  // no confirmation
    // The refusal offers the reduction zft convert --fit makes; declined, nothing more happens.
    const Shown& error = s.prompts.shown.back();
    QCOMPARE(error.style, MessageStyle::Question);
    QVERIFY2(error.text.contains(u"Reduce it to"_qs), qPrintable(error.text));
    QCOMPARE(error.title, kTitle);
    QVERIFY2(error.text.contains(QDir::toNativeSeparators(source)), qPrintable(error.text));
    QVERIFY2(error.text.contains(u"%1 × %2"_qs.arg(size.width()).arg(size.height())), qPrintable(error.text));
    QVERIFY2(error.text.contains(u"999 × 999"_qs), qPrintable(error.text));
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
        for (QAction* other : {s.w.preview_zft_file, s.w.convert_jpg_gif_bmp_file, s.w.about_zft_toolkit,
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
    QVERIFY(s.w.window.isVisible());

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
    QTimer::singleShot(0, &s.w.window, [&] {
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

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    if (qEnvironmentVariableIsSet("ZFT_KILL_MODE"))
        return convert_and_get_killed();
    ConverterTest test;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&test, argc, argv);
}

#include "tst_converter.moc"
