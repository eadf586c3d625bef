// The BMP decoder against pictures written here with known pixels: every
// header size, bit depth and bit-field layout, RLE streams, and damaged
// files, whose refusals must name the fault with its numbers.
//
// With ZFT_CORPUS_OUT set to a folder, every small picture of the tables
// is also written there: the fuzz target's seed corpus.
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>
#include <cmath>

#include "core/decoders/formats.h"
#include "tests/support/bmp_writer.h"

using core::Argb;
using core::argb;
using core::Size;
using testing::Bmp;

Q_DECLARE_METATYPE(core::Size)
Q_DECLARE_METATYPE(std::vector<core::Argb>)

namespace {

constexpr int kWidth = 11;  // odd, and more than a byte of 1-bit pixels
constexpr int kHeight = 3;
constexpr Argb kBackground = argb(1, 2, 3);

enum : std::uint32_t { kRgb = 0, kRle8 = 1, kRle4 = 2, kBitfields = 3, kAlphaBitfields = 6 };

// Different in every pixel and every salt, the same in every run.
std::uint32_t noise(int x, int y, int salt) {
    std::uint32_t h = std::uint32_t(x) * 73856093u ^ std::uint32_t(y) * 19349663u ^ std::uint32_t(salt) * 83492791u;
    h ^= h >> 13;
    h *= 0x5BD1E995u;
    return h ^ h >> 15;
}

// Palette colours whose red, green and blue differ, so a swap shows.
std::uint32_t palette_colour(int i) { return std::uint32_t((i * 7 + 3) % 256 << 16 | (255 - i) << 8 | (i * 131 + 50) % 256); }
Argb shown(std::uint32_t rgb) { return rgb | 0xFF000000u; }

struct Good {
    QByteArray file;
    Size size;
    std::vector<Argb> expected;  // rows from the top
    bool hasAlpha = false;
};

// Palette indices, with `colours` entries of a palette for them (indices
// past it must show black), or 24-bit colours.
Good stored(std::uint32_t headerSize, int bits, int colours = 0, bool counted = false, bool topDown = false,
            int width = kWidth) {
    Bmp bmp{.headerSize = headerSize, .width = width, .height = topDown ? -kHeight : kHeight, .bits = bits,
            .colorsUsed = counted ? std::uint32_t(colours) : 0};
    for (int i = 0; i < colours; ++i)
        bmp.palette.push_back(palette_colour(i));
    Good good{.size = {width, kHeight}};
    for (int y = 0; y < kHeight; ++y) {
        bmp.rows.emplace_back();
        for (int x = 0; x < width; ++x) {
            const std::uint32_t value = noise(x, y, bits) % (1u << bits);
            bmp.rows.back().push_back(value);
            good.expected.push_back(bits == 24 ? shown(value)
                                    : value < std::uint32_t(colours) ? shown(palette_colour(int(value)))
                                                                       : argb(0, 0, 0));
        }
    }
    good.file = testing::bytes(bmp);
    return good;
}

enum class Alpha { Noise, AllZero, LastStoredPixelOnly };

struct Fields {
    std::uint32_t headerSize = 40;
    int bits = 32;
    std::uint32_t compression = kBitfields;
    std::array<std::uint32_t, 4> masks{};  // as the picture is to be read
    std::array<std::uint32_t, 4> headerMasks{};
    std::vector<std::uint32_t> masksAfter;
    Alpha alpha = Alpha::Noise;
    int width = kWidth;
};

// Channels of random values, with the largest value of every field in the
// first pixel and zero in the second; bits outside the fields are noise that
// must not show.
Good fields(const Fields& f) {
    Bmp bmp{.headerSize = f.headerSize, .width = f.width, .height = kHeight, .bits = f.bits,
            .compression = f.compression, .headerMasks = f.headerMasks, .masksAfter = f.masksAfter};
    const std::uint32_t used = f.masks[0] | f.masks[1] | f.masks[2] | f.masks[3];
    const std::uint32_t all = f.bits == 32 ? 0xFFFFFFFFu : (1u << f.bits) - 1;
    const bool alphaShown = f.masks[3] != 0 && f.alpha != Alpha::AllZero;
    Good good{.size = {f.width, kHeight}, .hasAlpha = alphaShown};
    for (int y = 0; y < kHeight; ++y) {
        bmp.rows.emplace_back();
        for (int x = 0; x < f.width; ++x) {
            std::uint32_t value = noise(x, y, 1) & all & ~used;
            int channel[4];
            for (int c = 0; c < 4; ++c) {
                const std::uint32_t mask = f.masks[c];
                const int shift = mask ? std::countr_zero(mask) : 0;
                const std::uint64_t largest = mask >> shift;
                std::uint64_t raw = x == 0 && y == 0 ? largest : x == 1 && y == 0 ? 0 : noise(x, y, c + 2) % (largest + 1);
                if (c == 3 && f.alpha == Alpha::AllZero)
                    raw = 0;
                if (c == 3 && f.alpha == Alpha::LastStoredPixelOnly)
                    raw = x == f.width - 1 && y == 0 ? 1 : 0;
                value |= std::uint32_t(raw << shift);
                channel[c] = largest ? int(std::lround(double(raw) * 255.0 / double(largest))) : 0;
            }
            bmp.rows.back().push_back(value);
            good.expected.push_back(argb(channel[0], channel[1], channel[2], alphaShown ? channel[3] : 255));
        }
    }
    good.file = testing::bytes(bmp);
    return good;
}

// An RLE picture 6 × 4 with palette indices 0–3 and `expected` rows from the
// top: an index, or -1 where the stream sets nothing.
Good rle(int bits, const QByteArray& stream, const std::vector<int>& expected) {
    Bmp bmp{.width = 6, .height = 4, .bits = bits, .compression = bits == 8 ? kRle8 : kRle4, .colorsUsed = 4};
    for (int i = 0; i < 4; ++i)
        bmp.palette.push_back(palette_colour(i));
    bmp.data = stream;
    Good good{.file = testing::bytes(bmp), .size = {6, 4}};
    for (const int index : expected)
        good.expected.push_back(index < 0 ? kBackground : index < 4 ? shown(palette_colour(index)) : argb(0, 0, 0));
    return good;
}

// A 300 × 300 RLE8 picture whose stream is longer than one read of it:
// every row an absolute run of 251 pixels and a run of 49, indices 0–5.
Good long_rle() {
    constexpr int side = 300;
    Bmp bmp{.width = side, .height = side, .bits = 8, .compression = kRle8, .colorsUsed = 4};
    for (int i = 0; i < 4; ++i)
        bmp.palette.push_back(palette_colour(i));
    std::vector<std::vector<int>> rows(side);  // from the bottom
    for (int r = 0; r < side; ++r) {
        bmp.data.append('\0').append(char(251));
        for (int x = 0; x < 251; ++x) {
            rows[r].push_back(int(noise(x, r, 8) % 6));
            bmp.data.append(char(rows[r].back()));
        }
        bmp.data.append('\0').append(char(49)).append(char(r % 6)).append("\0\0", 2);
        rows[r].insert(rows[r].end(), 49, r % 6);
    }
    bmp.data.append("\0\1", 2);
    Good good{.file = testing::bytes(bmp), .size = {side, side}};
    for (int y = 0; y < side; ++y)
        for (const int index : rows[side - 1 - y])
            good.expected.push_back(index < 4 ? shown(palette_colour(index)) : argb(0, 0, 0));
    return good;
}

QByteArray hex_bytes(const char* hex) { return QByteArray::fromHex(hex); }

// A good 40-byte header picture to damage: 24 bits, or `bits` with a full palette.
Bmp plain(int width, int height, int bits = 24) {
    Bmp bmp{.width = width, .height = height, .bits = bits};
    if (bits <= 8)
        bmp.palette.assign(std::size_t(1) << bits, 0x123456);
    bmp.rows.assign(std::size_t(height), std::vector<std::uint32_t>(std::size_t(width), 1));
    return bmp;
}
QByteArray plain_bytes(int width, int height, int bits = 24) { return testing::bytes(plain(width, height, bits)); }
QByteArray rle_bytes(int bits, const char* stream, std::int32_t height = 4) {
    Bmp bmp{.width = 6, .height = height, .bits = bits, .compression = bits == 8 ? kRle8 : kRle4, .colorsUsed = 4,
            .palette = {1, 2, 3, 4}, .data = hex_bytes(stream)};
    return testing::bytes(bmp);
}

void put32(QByteArray& file, int at, std::uint32_t v) { testing::bmp_detail::put32(file, at, v); }

// Checks that the decoder keeps the sink's rules, and collects the pixels.
// Rows are handed out filled with a colour no test picture has, so a pixel
// the decoder leaves unset shows.
class CheckingSink : public core::RowSink {
public:
    void begin(Size s, bool alpha) override {
        if (++begins != 1)
            fault += QLatin1String("begin() called again; ");
        size = s;
        hasAlpha = alpha;
        line.assign(std::size_t(s.width), 0x5A5A5A5Au);
    }
    Argb* row(int y) override {
        if (y != next || begins != 1)
            fault += QStringLiteral("row(%1) out of order; ").arg(y);
        std::fill(line.begin(), line.end(), 0x5A5A5A5Au);
        return line.data();
    }
    void done(int y) override {
        if (y != next++)
            fault += QStringLiteral("done(%1) out of order; ").arg(y);
        pixels.insert(pixels.end(), line.begin(), line.end());
    }

    Size size;
    bool hasAlpha = false;
    int begins = 0;
    int next = 0;
    QString fault;
    std::vector<Argb> line;
    std::vector<Argb> pixels;
};

// What `call` says when it refuses a file.
template <typename Call>
QString refusal_of(Call&& call) {
    try {
        call();
        return QStringLiteral("(no refusal)");
    } catch (const core::Failure& error) {
        return QString::fromUtf8(error.what());
    }
}

QString pixel_text(Argb c) { return QString::number(c, 16).rightJustified(8, u'0'); }

// Writes `file` into the seed corpus folder when one is asked for.
void add_to_corpus(const QByteArray& file) {
    const QString folder = qEnvironmentVariable("ZFT_CORPUS_OUT");
    if (folder.isEmpty() || file.size() > 4096)
        return;
    QDir().mkpath(folder);
    QString name = QString::fromUtf8(QTest::currentDataTag()).replace(QRegularExpression(QStringLiteral("[^A-Za-z0-9]+")), QStringLiteral("_"));
    QFile out(QDir(folder).filePath(name + QStringLiteral(".bmp")));
    QVERIFY(out.open(QIODevice::WriteOnly));
    out.write(file);
}

}  // namespace

class BmpTest : public QObject {
    Q_OBJECT
private slots:
    void decodesKnownPixels_data();
    void decodesKnownPixels();
    void refusesDamagedFiles_data();
    void refusesDamagedFiles();
    void hugeSizeIsReadBeforeAnythingIsAllocated();
    void imageMagicksRle8AsItReadsIt_data();
    void imageMagicksRle8AsItReadsIt();
};

void BmpTest::decodesKnownPixels_data() {
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<Size>("size");
    QTest::addColumn<std::vector<Argb>>("expected");
    QTest::addColumn<bool>("hasAlpha");
    auto row = [](const char* name, const Good& good) {
        QTest::newRow(name) << good.file << good.size << good.expected << good.hasAlpha;
    };

    row("OS/2 1.x, 1 bit", stored(12, 1, 2));
    row("OS/2 1.x, 4 bits, palette of 6 before the pixels", stored(12, 4, 6));
    row("OS/2 1.x, 8 bits", stored(12, 8, 256));
    row("OS/2 1.x, 24 bits", stored(12, 24));
    row("OS/2 2.x 16-byte header, 8 bits, palette of 20", stored(16, 8, 20));
    row("OS/2 2.x 64-byte header, 4 bits", stored(64, 4, 16, true));
    row("1 bit", stored(40, 1, 2, true));
    row("2 bits", stored(40, 2, 4));
    row("4 bits", stored(40, 4, 16));
    row("8 bits, 5 colours used", stored(40, 8, 5, true));
    // Rows are expanded a piece at a time; the second piece starts mid-row.
    row("1 bit, rows longer than one piece", stored(40, 1, 2, true, true, 40001));
    row("4 bits, rows longer than one piece", stored(40, 4, 16, false, false, 20003));
    row("8 bits, top-down", stored(40, 8, 256, true, true));
    row("24 bits", stored(40, 24));
    row("24 bits, V5 header, top-down", stored(124, 24, 0, false, true));

    row("16 bits 5-5-5 by default", fields({.bits = 16, .compression = kRgb, .masks = {0x7C00, 0x03E0, 0x001F}}));
    row("16 bits 5-6-5 after a 40-byte header",
        fields({.bits = 16, .masks = {0xF800, 0x07E0, 0x001F}, .masksAfter = {0xF800, 0x07E0, 0x001F}}));
    row("16 bits 5-6-5 in a V2 header",
        fields({.headerSize = 52, .bits = 16, .masks = {0xF800, 0x07E0, 0x001F}, .headerMasks = {0xF800, 0x07E0, 0x001F}}));
    row("16 bits 1-5-5-5 with alpha in a V3 header",
        fields({.headerSize = 56, .bits = 16, .masks = {0x7C00, 0x03E0, 0x001F, 0x8000},
                .headerMasks = {0x7C00, 0x03E0, 0x001F, 0x8000}}));
    row("16 bits, fields of 1 bit", fields({.bits = 16, .masks = {0x0100, 0x0010, 0x0001}, .masksAfter = {0x0100, 0x0010, 0x0001}}));
    row("32 bits 8-8-8 by default, fourth byte unused", fields({.compression = kRgb, .masks = {0xFF0000, 0xFF00, 0xFF}}));
    row("32 bits 10-10-10 in a V2 header",
        fields({.headerSize = 52, .masks = {0x3FF00000, 0x000FFC00, 0x3FF}, .headerMasks = {0x3FF00000, 0x000FFC00, 0x3FF}}));
    row("32 bits 11-11-10 in a V4 header",
        fields({.headerSize = 108, .masks = {0xFFE00000, 0x001FFC00, 0x3FF}, .headerMasks = {0xFFE00000, 0x001FFC00, 0x3FF}}));
    row("32 bits, fields of 16, 12 and 4 bits",
        fields({.masks = {0xFFFF0000, 0xFFF0, 0xF}, .masksAfter = {0xFFFF0000, 0xFFF0, 0xF}}));
    row("32 bits, one field of 32 bits", fields({.masks = {0xFFFFFFFF, 0, 0}, .masksAfter = {0xFFFFFFFF, 0, 0}}));
    row("32 bits, alpha bit fields after a 40-byte header, channels reordered",
        fields({.compression = kAlphaBitfields, .masks = {0xFF00, 0xFF0000, 0xFF000000, 0xFF},
                .masksAfter = {0xFF00, 0xFF0000, 0xFF000000, 0xFF}}));
    row("32 bits, bit fields with alpha in a V5 header",
        fields({.headerSize = 124, .masks = {0xFF0000, 0xFF00, 0xFF, 0xFF000000},
                .headerMasks = {0xFF0000, 0xFF00, 0xFF, 0xFF000000}}));
    row("32 bits by default with a V5 header's alpha mask",
        fields({.headerSize = 124, .compression = kRgb, .masks = {0xFF0000, 0xFF00, 0xFF, 0xFF000000},
                .headerMasks = {0, 0, 0, 0xFF000000}}));
    // Writers that leave the fourth byte zero mean an opaque picture.
    row("32 bits, alpha zero everywhere: opaque",
        fields({.headerSize = 124, .masks = {0xFF0000, 0xFF00, 0xFF, 0xFF000000},
                .headerMasks = {0xFF0000, 0xFF00, 0xFF, 0xFF000000}, .alpha = Alpha::AllZero}));
    // One pixel with alpha, far into a row longer than one read.
    row("32 bits, alpha only in the last pixel of a long row",
        fields({.headerSize = 124, .masks = {0xFF0000, 0xFF00, 0xFF, 0xFF000000},
                .headerMasks = {0xFF0000, 0xFF00, 0xFF, 0xFF000000}, .alpha = Alpha::LastStoredPixelOnly, .width = 20000}));

    // Rows bottom up: a run and an absolute run with padding, end of line;
    // a run, then a delta one row up; a run of an index past the palette,
    // end of line; an absolute run, end of picture.
    row("RLE8 with delta, end of line and end of picture",
        rle(8, hex_bytes("0301" "0003020300" "00" "0000" "0202" "00020101" "0209" "0000" "000400010203" "0001"),
            {0, 1, 2, 3, -1, -1, -1, -1, -1, 9, 9, -1, 2, 2, -1, -1, -1, -1, 1, 1, 1, 2, 3, 0}));
    row("RLE8 ending without its end marker",
        rle(8, hex_bytes("0603" "0000" "0202"), {-1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, 2, 2, -1, -1, -1, -1,
                                                  3, 3, 3, 3, 3, 3}));
    row("RLE4 with odd runs, delta and end of line",
        rle(4, hex_bytes("0312" "00030130" "0000" "0123" "00020201" "0330" "0000" "000521300000" "0001"),
            {2, 1, 3, 0, 0, -1, -1, -1, -1, 3, 0, 3, 2, -1, -1, -1, -1, -1, 1, 2, 1, 0, 1, 3}));
    row("RLE8 stream longer than one read", long_rle());
    // Runs past a row's end are cut there: writers that pad rows to four
    // pixels with a run (ImageMagick) and other readers agree.
    row("RLE8 run past the row's end, cut there",
        rle(8, hex_bytes("0401" "0302" "0000" "0203" "0001"),
            {-1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, 3, 3, -1, -1, -1, -1, 1, 1, 1, 1, 2, 2}));
    row("RLE4 absolute run past the row's end, cut there",
        rle(4, hex_bytes("0000" "000701020300" "0000" "0212" "0001"),
            {-1, -1, -1, -1, -1, -1, 1, 2, -1, -1, -1, -1, 0, 1, 0, 2, 0, 3, -1, -1, -1, -1, -1, -1}));
}

void BmpTest::decodesKnownPixels() {
    QFETCH(QByteArray, file);
    QFETCH(Size, size);
    QFETCH(std::vector<Argb>, expected);
    QFETCH(bool, hasAlpha);
    add_to_corpus(file);

    core::MemorySource source(file.constData(), std::size_t(file.size()));
    QCOMPARE(core::bmp::size(source), size);
    CheckingSink sink;
    core::bmp::decode(source, core::DecodeOptions{.background = kBackground}, sink);
    QVERIFY2(sink.fault.isEmpty(), qPrintable(sink.fault));
    QCOMPARE(sink.size, size);
    QCOMPARE(sink.next, size.height);
    QCOMPARE(sink.hasAlpha, hasAlpha);
    for (std::size_t i = 0; i < expected.size(); ++i)
        if (sink.pixels[i] != expected[i])
            QFAIL(qPrintable(QStringLiteral("pixel (%1, %2) is %3, not %4")
                                 .arg(i % size.width).arg(i / size.width)
                                 .arg(pixel_text(sink.pixels[i]), pixel_text(expected[i]))));
}

void BmpTest::refusesDamagedFiles_data() {
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<bool>("inHeaders");  // whether size() refuses it too
    QTest::addColumn<QString>("reason");

    const QByteArray good24 = plain_bytes(5, 3);
    auto with32 = [](QByteArray file, int at, std::uint32_t v) { put32(file, at, v); return file; };
    auto row = [](const char* name, const QByteArray& file, bool inHeaders, const char* reason) {
        QTest::newRow(name) << file << inHeaders << QString::fromUtf8(reason);
    };

    row("not a BMP", QByteArray("GIF89a\x01\x00\x01\x00", 10), true, "does not start with BM");
    row("cut in the file header", good24.left(10), true, "the BMP file header stops after 10 of 14 bytes");
    row("cut in the picture header", good24.left(30), true, "the picture header stops after 16 of 40 bytes");
    row("header of 20 bytes", with32(good24, 14, 20), true, "the picture header is 20 bytes long");
    row("zero width", with32(good24, 18, 0), true, "the picture is 0 pixels wide");
    row("negative width", with32(good24, 18, std::uint32_t(-5)), true, "a width of -5 pixels");
    row("zero height", with32(good24, 22, 0), true, "the picture is 0 pixels high");
    row("height of -2^31", with32(good24, 22, 0x80000000u), true, "a height of -2,147,483,648 pixels");
    row("17 bits per pixel", testing::bytes(Bmp{.width = 5, .height = 3, .bits = 17}), true,
        "the header says 17 bits per pixel");
    row("JPEG inside", with32(good24, 30, 4), true, "compressed with JPEG");
    row("PNG inside", with32(good24, 30, 5), true, "compressed with PNG");
    row("OS/2 Huffman 1D", testing::bytes(Bmp{.headerSize = 64, .width = 5, .height = 3, .bits = 1, .compression = 3}),
        true, "compressed with Huffman 1D");
    row("compression kind 9", with32(good24, 30, 9), true, "compression kind 9, which is not a BMP compression");
    row("RLE8 with 4 bits", rle_bytes(4, "0001").replace(30, 1, "\x01", 1), true,
        "RLE8 compression needs 8 bits per pixel, and the header says 4");
    row("RLE stored top-down", rle_bytes(8, "0001", -4), true, "RLE-compressed and stored top-down");
    row("bit mask in two runs",
        testing::bytes(Bmp{.width = 1, .height = 1, .bits = 16, .compression = kBitfields,
                           .masksAfter = {0xF800, 0x07A0, 0x001F}, .rows = {{0}}}),
        true, "the green bit mask 0x000007A0 is not one run of bits");
    row("bit mask wider than the pixel",
        testing::bytes(Bmp{.width = 1, .height = 1, .bits = 16, .compression = kBitfields,
                           .masksAfter = {0x1F000, 0x07E0, 0x001F}, .rows = {{0}}}),
        true, "the red bit mask 0x0001F000 does not fit in 16 bits per pixel");
    row("cut in the bit masks",
        testing::bytes(Bmp{.width = 1, .height = 1, .bits = 16, .compression = kBitfields,
                           .masksAfter = {0xF800, 0x07E0, 0x001F}}).left(58),
        true, "the bit masks stop after 4 of 12 bytes");

    row("cut in the palette", plain_bytes(5, 3, 8).left(54 + 100), false, "the palette stops after 100 of 1,024 bytes");
    Bmp counted = plain(5, 3, 8);
    counted.colorsUsed = 300;
    row("300 colours for 8 bits", testing::bytes(counted), false,
        "the header promises 300 palette colours, more than the 256 that 8 bits per pixel can index");
    counted.colorsUsed = 256;
    counted.pixelOffset = 100;
    row("palette past the pixel data's start", testing::bytes(counted), false,
        "the palette of 256 colours runs from byte 54 to byte 1,078, past the start of the pixel data at byte 100");
    row("no room for a palette", with32(plain_bytes(5, 3, 8), 10, 54), false,
        "8 bits per pixel and no room for a palette");
    row("pixel data inside the headers", with32(good24, 10, 20), false,
        "the pixel data would start at byte 20, inside the headers, which end at byte 54");
    row("pixel data past the end", with32(good24, 10, 5000), false,
        "the pixel data would start at byte 5,000, past the end of the 102-byte file");
    row("cut in the pixels", plain_bytes(300, 300).left(54 + 100000), false,
        "the pixel data stops after 100,000 of 270,000 bytes");

    // A stream that ends between two commands, without its end marker, in
    // a file shorter than its headers say: cut, not short.
    const QByteArray whole = rle_bytes(8, "0401" "0000" "0302" "0001");
    row("RLE cut between two commands", whole.left(whole.size() - 4), false,
        "the pixel data stops after 4 of 8 bytes, before the RLE data's end-of-picture marker");
    row("RLE cut between two commands, the file header's length alone",
        with32(whole.left(whole.size() - 4), 34, 0), false, "the pixel data stops after 4 of 8 bytes");
    row("RLE delta past the picture", rle_bytes(8, "0202" "00020104"), false,
        "the RLE data at byte 72 moves 1 column right and 4 rows up from column 2 of row 0 from the bottom, out of the 6 × 4 picture");
    row("RLE delta past the row", rle_bytes(8, "0202" "00020500"), false, "moves 5 columns right and 0 rows up");
    row("RLE pixels past the top row", rle_bytes(8, "0000" "0000" "0000" "0000" "0101"), false,
        "the RLE data at byte 78 has pixels past the picture's top row");
    row("RLE absolute run past the file's end", rle_bytes(8, "00050102"), false,
        "the RLE data at byte 70 has a run of 5 pixels in 6 bytes, and the file stops after 2 of them");
    row("RLE cut in a command", rle_bytes(8, "0202" "00"), false,
        "the RLE data stops inside a command at byte 72, with 1 byte of the file left");
    row("RLE cut in a delta", rle_bytes(8, "0202" "000201"), false, "the RLE data stops inside a delta at byte 72");
}

void BmpTest::refusesDamagedFiles() {
    QFETCH(QByteArray, file);
    QFETCH(bool, inHeaders);
    QFETCH(QString, reason);
    add_to_corpus(file);

    core::MemorySource source(file.constData(), std::size_t(file.size()));
    if (inHeaders) {
        const QString refusal = refusal_of([&] { core::bmp::size(source); });
        QVERIFY2(refusal.contains(reason), qPrintable(QStringLiteral("size(): ") + refusal));
    } else {
        QVERIFY(core::bmp::size(source).width > 0);
    }
    CheckingSink sink;
    const QString refusal = refusal_of([&] { core::bmp::decode(source, {}, sink); });
    QVERIFY2(refusal.contains(reason), qPrintable(QStringLiteral("decode(): ") + refusal));
    QCOMPARE(sink.next, 0);
}

// size() gives what the headers say however little of the file there is, so
// the caller can refuse it; an RLE picture's canvas waits for the sink's
// agreement to its size.
void BmpTest::hugeSizeIsReadBeforeAnythingIsAllocated() {
    struct Refusal {};
    struct RefusingSink : CheckingSink {
        void begin(Size, bool) override { throw Refusal{}; }
    };
    for (const std::uint32_t compression : {kRgb, kRle8}) {
        QByteArray file = rle_bytes(8, "0001");
        put32(file, 18, 3000000);
        put32(file, 22, 2000000);
        put32(file, 30, compression);
        core::MemorySource source(file.constData(), std::size_t(file.size()));
        QCOMPARE(core::bmp::size(source), (Size{3000000, 2000000}));
        RefusingSink sink;
        if (compression == kRle8)
            QVERIFY_THROWS_EXCEPTION(Refusal, core::bmp::decode(source, {}, sink));
        else
            QVERIFY(refusal_of([&] { core::bmp::decode(source, {}, sink); })
                        .contains(QStringLiteral("the pixel data stops after 2 of 6,000,000,000,000 bytes")));
    }
}

// ImageMagick pads each row of an RLE8 picture to a multiple of four pixels
// with a run past the row's end; its own reading of the file is the reference.
void BmpTest::imageMagicksRle8AsItReadsIt_data() {
    QTest::addColumn<int>("width");
    for (const int width : {17, 18, 19, 20, 401})
        QTest::addRow("ImageMagick's RLE8, %d pixels wide", width) << width;
}

void BmpTest::imageMagicksRle8AsItReadsIt() {
    QFETCH(int, width);
    const QString convert = QStandardPaths::findExecutable(QStringLiteral("convert"));
    if (convert.isEmpty())
        QSKIP("ImageMagick is not installed");
    QTemporaryDir dir;
    const QString bmp = dir.filePath(QStringLiteral("rle.bmp"));
    QCOMPARE(QProcess::execute(convert, {QStringLiteral("-seed"), QStringLiteral("1"), QStringLiteral("-size"),
                                         QStringLiteral("%1x5").arg(width), QStringLiteral("plasma:fractal"),
                                         QStringLiteral("-colors"), QStringLiteral("20"), QStringLiteral("-type"),
                                         QStringLiteral("Palette"), QStringLiteral("-compress"), QStringLiteral("RLE"),
                                         QStringLiteral("BMP3:") + bmp}),
             0);
    QProcess reader;
    reader.start(convert, {bmp, QStringLiteral("ppm:-")});
    QVERIFY(reader.waitForFinished(60000));
    const QByteArray ppm = reader.readAllStandardOutput();
    const QByteArray head = QByteArray("P6\n") + QByteArray::number(width) + " 5\n255\n";
    QVERIFY2(ppm.startsWith(head) && ppm.size() == head.size() + 3 * width * 5, ppm.left(20).constData());

    QFile file(bmp);
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QByteArray bytes = file.readAll();
    QCOMPARE(bytes.at(30), '\x01');  // RLE8
    add_to_corpus(bytes);
    core::MemorySource source(bytes.constData(), std::size_t(bytes.size()));
    CheckingSink sink;
    core::bmp::decode(source, {}, sink);
    QVERIFY2(sink.fault.isEmpty(), qPrintable(sink.fault));
    QCOMPARE(sink.size, (Size{width, 5}));
    for (int i = 0; i < width * 5; ++i) {
        const char* rgb = ppm.constData() + head.size() + 3 * i;
        QCOMPARE(pixel_text(sink.pixels[std::size_t(i)]),
                 pixel_text(argb(std::uint8_t(rgb[0]), std::uint8_t(rgb[1]), std::uint8_t(rgb[2]))));
    }
}

QTEST_GUILESS_MAIN(BmpTest)
#include "tst_bmp.moc"
