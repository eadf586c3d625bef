// Wrote the conformance corpus into a folder: ZFT files, each with what the
// readers are to make of it beside it in NAME.expected (tst_conformance
// says how it reads them). The well-formed files are the pictures of the
// fixtures as the converter writes them; the others are copies of them
// damaged the ways files get damaged. tests/format/corpus holds its output:
//   zft_make_corpus tests/format/corpus
// A case can as well be added by hand, as a file and its expectation.
#include <QDir>
#include <cstdio>

#include "core/header_text.h"
#include "tests/support/fixtures.h"
#include "tests/support/outcome.h"

namespace {

// As the converter writes `picture` with `notice`, on 25 December 2001.
QByteArray convert(const QImage& picture, const QString& notice) {
    const std::string bytes = core::notice_bytes(notice.toStdString());
    return testing::zft_bytes(picture, QByteArray::fromStdString(bytes), QDate(2001, 12, 25));
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

QByteArray expectation(const Case& c) {
    const QString strict = c.wellFormed ? testing::accepted(c.shown.width(), c.shown.height(),
                                                            testing::rgb_crc(c.bytes.mid(64)))
                                        : QStringLiteral("refused Damaged");
    return QStringLiteral("# %1\nstrict: %2\npreviewer: %3\n")
        .arg(QString::fromUtf8(c.about), strict, testing::previewed(c.bytes, c.shown))
        .toUtf8();
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s FOLDER\n", argv[0]);
        return 2;
    }
    const QDir out(QString::fromLocal8Bit(argv[1]));
    if (!out.mkpath(QStringLiteral(".")))
        qFatal("cannot make %s", argv[1]);

    const QByteArray six = convert(testing::asymmetric(6, 5), QStringLiteral("  (c) Zoë €5  "));
    const QByteArray wide = convert(testing::asymmetric(65, 7), QString());
    const QSize sixSize(6, 5);
    const Case cases[] = {
        {"one_pixel", "1 × 1, the smallest picture, whose pixel is the bytes 0D 0A 1A",
         convert(testing::filled(1, 1, qRgb(13, 10, 26)), QStringLiteral("one")), true, {1, 1}},
        {"asymmetric_6x5", "6 × 5, as the converter writes it, its notice with letters beyond ASCII", six, true,
         sixSize},
        {"wide_65x7", "65 × 7: rows of 195 bytes, which Qt and gdk-pixbuf pad to 196, and an empty notice", wide, true, {65, 7}},
        {"widest_999x1", "999 × 1, the widest picture",
         convert(testing::asymmetric(999, 1), QStringLiteral("wide")), true, {999, 1}},
        {"tallest_1x999", "1 × 999, the tallest picture",
         convert(testing::asymmetric(1, 999), QStringLiteral("tall")), true, {1, 999}},
        {"largest_999x999", "999 × 999, the largest picture",
         convert(blocks(), QStringLiteral("large")), true, {999, 999}},
        {"notice_windows_1252", "a notice of bytes 0x80 and up, Windows-1252 letters",
         convert(testing::asymmetric(3, 2),
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
