// Writes the conformance corpus into a folder: ZFT files, each with what the
// readers are to make of it beside it in NAME.expected (tst_conformance
// says how it reads them). The well-formed files are made by the program's
// own converter; the others are copies of them damaged the ways files get
// damaged. The corpus is also the seed corpus of the readers' fuzz target.
// tests/format/corpus holds its output:
//   zft_make_corpus tests/format/corpus
// A case can as well be added by hand, as a file and its expectation.
#include <QApplication>
#include <QDir>
#include <QImage>
#include <QSize>
#include <QTemporaryDir>
#include <cstdio>

#include "shell/converter.h"
#include "shell/mainscreen.h"
#include "tests/format/outcome.h"
#include "tests/support/fixtures.h"
#include "tests/support/scripted_prompts.h"

namespace {

QByteArray convert(shell::MainScreen& w, testing::ScriptedPrompts& prompts, const QImage& picture,
                   const QString& notice) {
    QTemporaryDir dir;
    const QString source = dir.filePath(QStringLiteral("source.bmp"));
    const QString target = dir.filePath(QStringLiteral("target.zft"));
    if (!picture.convertToFormat(QImage::Format_RGB888).save(source))
        qFatal("cannot write %s", qPrintable(source));
    prompts.file(source).file(target).button(platform::Answer::Ok).input(notice).button(platform::Answer::Ok);
    shell::convert_jpg_gif_bmp_file(w);
    if (!prompts.unexpected.isEmpty() || !prompts.allAnswered())
        qFatal("the conversion asked something unexpected: %s", qPrintable(prompts.unexpected.join('\n')));
    const QByteArray bytes = testing::contents(target);
    if (bytes.mid(64) != testing::rgb_bytes(picture))
        qFatal("the converter wrote other pixels than the picture's");
    return bytes;
}

QByteArray replaced(QByteArray bytes, int offset, const QByteArray& with) {
    return bytes.replace(offset, with.size(), with);
}

// 999 × 999 in blocks of 16 × 16 pixels, each block a colour of its own:
// few enough patterns that git keeps the 3 MB file in some 30 kB.
QImage blocks() {
    QImage picture(999, 999, QImage::Format_RGB32);
    for (int y = 0; y < picture.height(); ++y)
        for (int x = 0; x < picture.width(); ++x)
            picture.setPixel(x, y, testing::asymmetric_colour(x / 16, y / 16));
    return picture;
}

struct Case {
    const char* name;
    const char* about;
    QByteArray bytes;
    bool wellFormed;  // taken by the strict readers; the others refuse it as damaged
    QSize shown;      // the size the previewer reads from the header; none for a file shorter than it
};

// The previewer trusts the header: it paints the whole pixels the file has,
// up to W × H, and fails at the end of a file that has fewer.
QString previewer_expectation(const Case& c) {
    if (!c.shown.isValid())
        return QStringLiteral("refused EndOfFile");
    const qint64 pixels = qint64(c.shown.width()) * c.shown.height();
    const qint64 painted = std::min(pixels, (c.bytes.size() - 64) / 3);
    QString text = QStringLiteral("painted ");
    if (painted < pixels)
        text += QStringLiteral("%1 of ").arg(painted);
    text += QStringLiteral("%1x%2 ").arg(c.shown.width()).arg(c.shown.height()) +
            testing::crc_text(testing::rgb_crc(c.bytes.mid(64, 3 * painted)));
    if (painted < pixels)
        text += QStringLiteral(", then EndOfFile");
    return text;
}

QByteArray expectation(const Case& c) {
    const QString strict = c.wellFormed ? testing::accepted(c.shown.width(), c.shown.height(),
                                                            testing::rgb_crc(c.bytes.mid(64)))
                                        : QStringLiteral("refused Damaged");
    return QStringLiteral("# %1\nstrict: %2\npreviewer: %3\n")
        .arg(QString::fromUtf8(c.about), strict, previewer_expectation(c))
        .toUtf8();
}

}  // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s FOLDER\n", argv[0]);
        return 2;
    }
    const QDir out(QString::fromLocal8Bit(argv[1]));
    if (!out.mkpath(QStringLiteral(".")))
        qFatal("cannot make %s", argv[1]);

    testing::ScriptedPrompts prompts;
    prompts.date = QDate(2001, 12, 25);
    shell::MainScreen w(prompts);
    shell::load_mainscreen(w);

    const QByteArray six = convert(w, prompts, testing::asymmetric(6, 5), QStringLiteral("  (c) Zoë €5  "));
    const QByteArray wide = convert(w, prompts, testing::asymmetric(65, 7), QString());
    const QSize sixSize(6, 5);
    const Case cases[] = {
        {"one_pixel", "1 × 1, the smallest picture, whose pixel is the bytes 0D 0A 1A",
         convert(w, prompts, testing::filled(1, 1, qRgb(13, 10, 26)), QStringLiteral("one")), true, {1, 1}},
        {"asymmetric_6x5", "6 × 5, as the converter writes it, its notice with letters beyond ASCII", six, true,
         sixSize},
        {"wide_65x7", "65 × 7: rows of 195 bytes, which Qt and gdk-pixbuf pad to 196, and an empty notice", wide, true, {65, 7}},
        {"widest_999x1", "999 × 1, the widest picture",
         convert(w, prompts, testing::asymmetric(999, 1), QStringLiteral("wide")), true, {999, 1}},
        {"tallest_1x999", "1 × 999, the tallest picture",
         convert(w, prompts, testing::asymmetric(1, 999), QStringLiteral("tall")), true, {1, 999}},
        {"largest_999x999", "999 × 999, the largest picture",
         convert(w, prompts, blocks(), QStringLiteral("large")), true, {999, 999}},
        {"notice_windows_1252", "a notice of bytes 0x80 and up, Windows-1252 letters",
         convert(w, prompts, testing::asymmetric(3, 2),
                 QStringLiteral("€‚ƒ„…†‡ˆ‰Š‹ŒŽ‘’“”•–—˜™š›œžŸ ¡¢£¤¥¦§¨©ª«¬®¯°±²³´µ¶·¸¹º»¼½¾¿ÀÿÞß")),
         true, {3, 2}},
        {"notice_control_characters", "control characters in the notice, which no reader judges",
         replaced(six, 10, QByteArray("\x01\x1B[31m\x7F\r\n\t\0", 11)), true, sixSize},
        {"empty", "no bytes at all", QByteArray(), false, {}},
        {"cut_in_header", "cut inside the notice", six.left(40), false, {}},
        {"header_only", "the header and not one pixel", six.left(64), false, sixSize},
        {"cut_in_pixels", "cut after 14 pixels and a byte", six.left(64 + 3 * 14 + 1), false, sixSize},
        {"cut_one_byte_short", "the last pixel's blue missing", six.chopped(1), false, sixSize},
        {"trailing_bytes", "bytes after the last pixel", six + QByteArray("\x0D\x0A\x1A trailing bytes"), false,
         sixSize},
        {"version_7Q", "a version other than 1A", replaced(six, 0, "7Q"), false, sixSize},
        {"month_13", "month 13", replaced(six, 2, "13"), false, sixSize},
        {"day_00", "day 00", replaced(six, 4, "00"), false, sixSize},
        {"year_with_blank", "a blank among the year's digits", replaced(six, 6, "20 1"), false, sixSize},
        {"width_000", "width 000, a picture of no pixels", replaced(six, 58, "000"), false, {0, 5}},
        {"height_000", "height 000", replaced(six, 61, "000"), false, {6, 0}},
        {"width_signed", "a sign before the width's digits", replaced(six, 58, "-06"), false, {0, 5}},
        {"width_0x1", "the width written in hexadecimal", replaced(six, 58, "0x1"), false, {0, 5}},
        {"width_blanks", "the width padded with blanks instead of zeros", replaced(six, 58, " 6 "), false,
         sixSize},
        {"sizes_garbage", "a letter and a byte 0xFF among the sizes' digits",
         replaced(six, 58, QByteArray(" 6x\xFF" "05", 6)), false, {6, 0}},
        {"promises_999x999", "the header of the largest picture before the pixels of a small one",
         replaced(wide, 58, "999999"), false, {999, 999}},
    };
    for (const Case& c : cases) {
        const QString name = QString::fromLatin1(c.name);
        if (!testing::write_file(out.filePath(name + QStringLiteral(".zft")), c.bytes) ||
            !testing::write_file(out.filePath(name + QStringLiteral(".expected")), expectation(c)))
            qFatal("cannot write %s", c.name);
    }
    std::printf("%zu files and their expectations in %s\n", std::size(cases), argv[1]);
    return 0;
}
