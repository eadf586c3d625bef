// The GIF decoder against pictures with known pixels: the first picture as a
// viewer shows it, composed from its blocks; and the files it must refuse,
// with the reason in words, before it reads what it does not need.
//
// With ZFT_CORPUS_OUT set to a folder, every small file of the tables goes
// there too: the fuzz target's seed corpus (tests/core/gif/corpus).
#include <QDir>
#include <QFile>
#include <QImage>
#include <QRegularExpression>
#include <QtTest>

#include "core/decoders/formats.h"
#include "tests/support/gif_writer.h"

using core::Argb;
using testing::GifBlock;
using testing::GifScreen;

Q_DECLARE_METATYPE(core::Picture)

namespace {

// The window's colour, which the caller gives for what the file leaves open.
constexpr QRgb kWindow = qRgb(0x12, 0x34, 0x56);

// One letter a colour; '.' the window's.
QRgb colour(char letter) {
    static const QHash<char, QRgb> colours = {
        {'R', qRgb(255, 0, 0)},     {'G', qRgb(0, 255, 0)},   {'B', qRgb(0, 0, 255)},   {'W', qRgb(255, 255, 255)},
        {'K', qRgb(0, 0, 0)},       {'Y', qRgb(255, 255, 0)}, {'C', qRgb(0, 255, 255)}, {'M', qRgb(255, 0, 255)},
        {'O', qRgb(255, 128, 0)},   {'P', qRgb(128, 0, 128)}, {'.', kWindow}};
    return colours.value(letter);
}

QList<QRgb> palette(const char* letters) {
    QList<QRgb> colours;
    for (const char* c = letters; *c; ++c)
        colours.append(colour(*c));
    return colours;
}

// "01/23": a block of two rows of two indices.
GifBlock block(int left, int top, const char* indices) {
    GifBlock b;
    b.left = left;
    b.top = top;
    const QList<QByteArray> rows = QByteArray(indices).split('/');
    b.height = int(rows.size());
    b.width = int(rows[0].size());
    for (const QByteArray& row : rows)
        for (char digit : row)
            b.indices.push_back(static_cast<unsigned char>(digit - '0'));
    return b;
}

GifBlock with(GifBlock b, int delay, int disposal, int transparent = -1) {
    b.delay = delay;
    b.disposal = disposal;
    b.transparentIndex = transparent;
    return b;
}

QByteArray gif(int width, int height, const char* global, std::vector<GifBlock> blocks) {
    GifScreen screen;
    screen.width = width;
    screen.height = height;
    if (global)
        screen.palette = palette(global);
    screen.blocks = std::move(blocks);
    return testing::gif_bytes(screen);
}

// "RG/.K": the picture, one letter a pixel.
core::Picture picture(const char* letters) {
    const QList<QByteArray> rows = QByteArray(letters).split('/');
    core::Picture p(int(rows[0].size()), int(rows.size()));
    for (int y = 0; y < p.height(); ++y)
        for (int x = 0; x < p.width(); ++x)
            p.row(y)[x] = colour(rows[y][x]);
    return p;
}

// A screen 256 wide of `rows` one-row blocks, each with its own table of
// 256 colours that no other row has: pixel (x, y) is (x, y mod 256, y / 256).
QRgb row_colour(int x, int y) { return qRgb(x, y % 256, y / 256); }
QByteArray row_per_table(int rows) {
    GifScreen screen;
    screen.width = 256;
    screen.height = rows;
    for (int y = 0; y < rows; ++y) {
        GifBlock b = block(0, y, "0");
        b.width = 256;
        b.indices.resize(256);
        b.palette.emplace();
        for (int i = 0; i < 256; ++i) {
            b.palette->append(row_colour(i, y));
            b.indices[i] = static_cast<unsigned char>(i);
        }
        screen.blocks.push_back(b);
    }
    return testing::gif_bytes(screen);
}
core::Picture row_per_table_picture(int rows) {
    core::Picture p(256, rows);
    for (int y = 0; y < rows; ++y)
        for (int x = 0; x < 256; ++x)
            p.row(y)[x] = row_colour(x, y);
    return p;
}

// A 16 × 16 block of 256 colours, index i at (i mod 16, i / 16), on a screen
// `extra` pixels wider; `transparent` -1 for none.
QRgb spread(int i) { return qRgb(i, 255 - i, (i * 7) % 256); }
QByteArray all_indices(int extra, int transparent) {
    GifScreen screen;
    screen.width = 16 + extra;
    screen.height = 16;
    QList<QRgb> table;
    for (int i = 0; i < 256; ++i)
        table.append(spread(i));
    screen.palette = table;
    GifBlock b = with(block(0, 0, "0"), 0, 0, transparent);
    b.width = b.height = 16;
    b.indices.resize(256);
    for (int i = 0; i < 256; ++i)
        b.indices[i] = static_cast<unsigned char>(i);
    screen.blocks.push_back(b);
    return testing::gif_bytes(screen);
}
core::Picture all_indices_picture(int extra, int transparent) {
    core::Picture p(16 + extra, 16, kWindow);
    for (int i = 0; i < 256; ++i)
        p.row(i / 16)[i % 16] = i == transparent ? kWindow : spread(i);
    return p;
}

// Image data of 9-bit LZW codes after a code size byte of 8, in one piece.
QByteArray lzw(std::initializer_list<int> codes) {
    QByteArray packed;
    quint32 pending = 0;
    int bits = 0;
    for (int code : codes) {
        pending |= quint32(code) << bits;
        for (bits += 9; bits >= 8; bits -= 8, pending >>= 8)
            packed += char(pending & 0xFF);
    }
    if (bits > 0)
        packed += char(pending & 0xFF);
    return "\x08" + QByteArray(1, char(packed.size())) + packed + QByteArray(1, '\0');
}

// A one-block GIF of `width` × 1 on a 2-colour table with `data` as its image data.
QByteArray with_data(int width, const QByteArray& data) {
    const QByteArray whole = gif(width, 1, "RG", {block(0, 0, QByteArray(width, '0').constData())});
    constexpr int kDataStart = 13 + 6 + 10;  // screen, 2-entry table, block description
    return whole.left(kDataStart) + data + ";";
}

// Keeps the rows, and whether they came as a decoder must hand them: after
// one begin, once each, from the top. Rows start transparent, which no pixel
// of a finished picture is.
class Sink : public core::RowSink {
public:
    struct TooLarge {};

    void begin(core::Size size, bool) override {
        ++begun;
        if (qint64(size.width) * size.height > 100'000'000)
            throw TooLarge();
        picture = core::Picture(size.width, size.height, 0);
    }
    Argb* row(int y) override {
        ++asked;
        inOrder = inOrder && y == next && !open;
        open = true;
        return picture.row(y);
    }
    void done(int y) override {
        inOrder = inOrder && y == next && open;
        open = false;
        ++next;
    }
    bool handedOver() const { return begun == 1 && inOrder && !open && next == picture.height(); }

    core::Picture picture;
    int begun = 0;
    int asked = 0;

private:
    int next = 0;
    bool open = false;
    bool inOrder = true;
};

core::DecodeOptions window_background() {
    core::DecodeOptions options;
    options.background = kWindow;
    return options;
}

// Where the two differ, in words; empty when they are the same.
QString difference(const core::Picture& got, const core::Picture& want) {
    if (got.size() != want.size())
        return QStringLiteral("%1 × %2, not %3 × %4").arg(got.width()).arg(got.height()).arg(want.width()).arg(want.height());
    for (int y = 0; y < got.height(); ++y)
        for (int x = 0; x < got.width(); ++x)
            if (got.pixel(x, y) != want.pixel(x, y))
                return QStringLiteral("(%1, %2) is %3, not %4")
                    .arg(x)
                    .arg(y)
                    .arg(got.pixel(x, y), 8, 16, QChar('0'))
                    .arg(want.pixel(x, y), 8, 16, QChar('0'));
    return {};
}

// A file whose reading fails at `failAt`, as a disk can: the reads before
// it give the bytes before it. Keeps how far it was asked to read.
class FailingSource : public core::ByteSource {
public:
    FailingSource(const QByteArray& bytes, std::uint64_t failAt)
        : bytes_(bytes.constData(), std::size_t(bytes.size())), failAt_(failAt) {}
    std::uint64_t size() const override { return bytes_.size(); }
    std::size_t read(std::uint64_t offset, void* out, std::size_t n) override {
        furthest = std::max(furthest, offset + n);
        if (offset >= failAt_)
            throw core::Failure(core::Failure::Kind::Io, "the disk failed");
        return bytes_.read(offset, out, std::min<std::uint64_t>(n, failAt_ - offset));
    }
    std::uint64_t furthest = 0;

private:
    core::MemorySource bytes_;
    std::uint64_t failAt_;
};

void keep_for_fuzzing(const QByteArray& file) {
    const QString folder = qEnvironmentVariable("ZFT_CORPUS_OUT");
    // The fuzz target reads at most 4 KiB of a file.
    if (folder.isEmpty() || file.size() > 4096)
        return;
    QString name = QString::fromUtf8(QTest::currentDataTag()).toLower().replace(QRegularExpression("[^a-z0-9]+"), "_");
    QFile out(QDir(folder).filePath(name + ".gif"));
    QVERIFY(out.open(QIODevice::WriteOnly) && out.write(file) == file.size());
}

}  // namespace

class GifTest : public QObject {
    Q_OBJECT
private slots:
    void knownPixels_data();
    void knownPixels();
    void interlacedRowsAsQtReadsThem_data();
    void interlacedRowsAsQtReadsThem();
    void refused_data();
    void refused();
    void screenRefusedBeforeItsData_data();
    void screenRefusedBeforeItsData();
    void sourceFailureComesThrough();
};

void GifTest::knownPixels_data() {
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<core::Picture>("expected");

    QTest::newRow("one block") << gif(3, 2, "RGB", {block(0, 0, "012/210")}) << picture("RGB/BGR");
    QTest::newRow("screen larger than the block")
        << gif(4, 3, "RG", {block(1, 1, "01")}) << picture("..../.RG./....");
    QTest::newRow("block past the screen's edge, clipped")
        << gif(3, 2, "RGBW", {block(2, 1, "01/23")}) << picture(".../..R");
    // As gdk-pixbuf and Qt show them: clipped to the screen.
    QTest::newRow("block larger than the screen, clipped")
        << gif(2, 2, "RGBW", {block(0, 0, "012/123/230")}) << picture("RG/GB");
    // As Qt and the browsers show them: the screen as far as the first block reaches.
    QTest::newRow("screen of 0 × 0 takes the first block's reach")
        << gif(0, 0, "RGB", {block(1, 1, "01/21"), block(0, 0, "2222")}) << picture("BBB/.RG/.BG");
    QTest::newRow("screen of no width takes the first block's")
        << gif(0, 2, "RG", {block(0, 0, "01")}) << picture("RG/..");
    QTest::newRow("no trailer") << [] {
        GifScreen s;
        s.width = 2;
        s.height = 1;
        s.palette = palette("RG");
        s.blocks = {block(0, 0, "10")};
        s.trailer = false;
        return testing::gif_bytes(s);
    }() << picture("GR");
    // As a missing trailer: the blocks before the junk are the picture.
    QTest::newRow("junk between the last block and the trailer") << [] {
        const QByteArray file = gif(2, 1, "RG", {block(0, 0, "10")});
        return file.left(file.size() - 1) + QByteArray("\0junk\x2c", 6) + ";";
    }() << picture("GR");
    QTest::newRow("local table over the global one")
        << [] {
               GifBlock b = block(0, 0, "01");
               b.palette = palette("BW");
               return gif(2, 1, "RG", {b});
           }()
        << picture("BW");
    QTest::newRow("index past a short table is black") << gif(4, 1, "RG", {block(0, 0, "0123")}) << picture("RGKK");
    QTest::newRow("no colour table at all is black") << gif(2, 1, nullptr, {block(0, 0, "01")}) << picture("KK");
    QTest::newRow("transparent pixel shows the window")
        << gif(2, 2, "RG", {with(block(0, 0, "01/10"), 0, 0, 1)}) << picture("R./.R");
    QTest::newRow("transparent pixel shows the block under it")
        << gif(2, 2, "RGB", {block(0, 0, "00/00"), with(block(0, 0, "12/21"), 0, 0, 2)}) << picture("GR/RG");

    // The first picture: every block up to the first with a delay.
    QTest::newRow("blocks without delay all show")
        << gif(3, 1, "RGB", {with(block(0, 0, "0"), 0, 1), block(1, 0, "1"), with(block(2, 0, "2"), 0, 1)})
        << picture("RGB");
    QTest::newRow("block after a delay does not show")
        << gif(2, 1, "RGB", {with(block(0, 0, "0"), 10, 1), block(1, 0, "1")}) << picture("R.");
    QTest::newRow("a block without pixels still ends the picture with its delay") << [] {
        GifBlock empty;
        empty.delay = 5;
        return gif(2, 1, "RG", {block(0, 0, "0"), empty, block(0, 0, "11")});
    }() << picture("R.");
    QTest::newRow("damage after the first picture does not matter") << [] {
        QByteArray file = gif(2, 1, "RG", {with(block(0, 0, "00"), 5, 0), block(0, 0, "11")});
        return file.left(file.size() - 6);  // cut inside the second block's data
    }() << picture("RR");

    // Disposal of a block before the next one is drawn.
    QTest::newRow("leave")
        << gif(2, 2, "RG", {with(block(0, 0, "00/00"), 0, 1), block(1, 1, "1")}) << picture("RR/RG");
    QTest::newRow("restore to background is the window, not the file's colour")
        << gif(2, 2, "RG", {with(block(0, 0, "00/00"), 0, 2), block(1, 1, "1")}) << picture("../.G");
    QTest::newRow("restore to background over an earlier block")
        << gif(3, 1, "RGB", {block(0, 0, "000"), with(block(1, 0, "11"), 0, 2), block(2, 0, "2")})
        << picture("R.B");
    QTest::newRow("restore to previous")
        << gif(2, 2, "RGB", {block(0, 0, "00/00"), with(block(0, 0, "11/11"), 0, 3), block(0, 0, "2")})
        << picture("BR/RR");
    QTest::newRow("restore to previous on the last block still shows it")
        << gif(2, 1, "RGB", {block(0, 0, "00"), with(block(0, 0, "1"), 0, 3)}) << picture("GR");
    QTest::newRow("restore to previous before a delay shows it")
        << gif(2, 1, "RGB", {block(0, 0, "00"), with(block(0, 0, "1"), 7, 3), block(0, 0, "22")}) << picture("GR");
    QTest::newRow("restore to previous as the first block")
        << gif(2, 1, "RGB", {with(block(0, 0, "11"), 0, 3), block(1, 0, "2")}) << picture(".B");

    QTest::newRow("interlaced, 4 rows") << [] {
        GifBlock b = block(0, 0, "0/1/2/3");
        b.interlaced = true;
        return gif(1, 4, "RGBW", {b});
    }() << picture("R/G/B/W");
    QTest::newRow("interlaced, every pass")
        << [] {
               GifBlock b = block(0, 0, "0/1/2/3/4/5/6/7/8/9");
               b.interlaced = true;
               return gif(1, 10, "RGBWKYCMOP", {b});
           }()
        << picture("R/G/B/W/K/Y/C/M/O/P");

    // Past 256 colours, and at the edges of the narrow canvases.
    QTest::newRow("256 colours covering the screen") << all_indices(0, -1) << all_indices_picture(0, -1);
    QTest::newRow("256 colours, one transparent") << all_indices(0, 7) << all_indices_picture(0, 7);
    QTest::newRow("256 colours and an uncovered column") << all_indices(1, -1) << all_indices_picture(1, -1);
    QTest::newRow("512 colours in two blocks") << row_per_table(2) << row_per_table_picture(2);
    QTest::newRow("65,792 colours in 257 blocks") << row_per_table(257) << row_per_table_picture(257);
}

void GifTest::knownPixels() {
    QFETCH(QByteArray, file);
    QFETCH(core::Picture, expected);
    keep_for_fuzzing(file);
    core::MemorySource source(file.constData(), std::size_t(file.size()));
    QCOMPARE(core::gif::size(source), expected.size());
    Sink sink;
    core::gif::decode(source, window_background(), sink);
    QVERIFY(sink.handedOver());
    QVERIFY(!sink.picture.hasAlpha());
    const QString wrong = difference(sink.picture, expected);
    QVERIFY2(wrong.isEmpty(), qPrintable(wrong));
}

// Qt's reader, which reads interlaced rows as well, for the heights where
// the passes begin and end. (Blocks of 3 and 4 rows it takes in an order of
// its own, as broken files.)
void GifTest::interlacedRowsAsQtReadsThem_data() {
    QTest::addColumn<int>("height");
    for (int height : {1, 2, 5, 6, 8, 9, 13, 16, 17})
        QTest::addRow("%d rows", height) << height;
}

void GifTest::interlacedRowsAsQtReadsThem() {
    QFETCH(int, height);
    GifBlock b = block(0, 0, "01");
    b.height = height;
    b.indices.clear();
    for (int y = 0; y < height; ++y)
        b.indices.insert(b.indices.end(), {static_cast<unsigned char>(y), static_cast<unsigned char>(y + 100)});
    b.interlaced = true;
    QList<QRgb> table;
    for (int i = 0; i < 256; ++i)
        table.append(qRgb(i, 3 * i % 256, 255 - i));
    b.palette = table;
    const QByteArray file = gif(2, height, nullptr, {b});

    const QImage qt = QImage::fromData(file, "GIF").convertToFormat(QImage::Format_RGB32);
    QCOMPARE(qt.height(), height);
    core::MemorySource source(file.constData(), std::size_t(file.size()));
    Sink sink;
    core::gif::decode(source, window_background(), sink);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < 2; ++x)
            QCOMPARE(sink.picture.pixel(x, y), qt.pixel(x, y));
}

void GifTest::refused_data() {
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<QString>("reason");

    const QByteArray one = gif(2, 1, "RG", {block(0, 0, "01")});
    const QByteArray two = gif(2, 1, "RG", {block(0, 0, "0"), block(1, 0, "1")});
    QTest::newRow("not a GIF") << QByteArray("\x89PNG\r\n\x1a\n0000") << "not a GIF file";
    QTest::newRow("cut in the signature") << one.left(4) << "the file stops inside its header";
    QTest::newRow("cut in the screen size") << one.left(8) << "the file stops inside its header";
    QTest::newRow("cut in the colour table") << one.left(16) << "the file stops inside its header";
    QTest::newRow("cut before the first block") << one.left(19) << "the file stops before its first image";
    QTest::newRow("cut in a block description")
        << one.left(24) << "the file stops inside the first picture, in the description of block 1";
    QTest::newRow("cut in the image data")
        << one.left(32) << "the file stops inside the first picture, in the image data of block 1";
    QTest::newRow("cut in the second block of the first picture")
        << two.left(two.size() - 4) << "the file stops inside the first picture, in the image data of block 2";
    QTest::newRow("cut in a control extension")
        << gif(2, 1, "RG", {with(block(0, 0, "01"), 0, 1)}).left(22)
        << "the file stops inside the first picture, in an extension before block 1";
    QTest::newRow("screen without pixels and no image") << gif(0, 3, "RG", {}) << "the file holds no image";
    QTest::newRow("screen without pixels and a first block without pixels")
        << gif(0, 0, "RG", {GifBlock{}, block(0, 0, "01")}) << "the picture's screen is 0 × 0 pixels: there is nothing to show";
    QTest::newRow("no image") << gif(2, 1, "RG", {}) << "the file holds no image";
    QTest::newRow("junk before the first block") << one.left(19) + "junk" + one.mid(19)
                                                 << "the file is damaged before its first image";
    // 101 blocks of 1000 × 1000, refused from their descriptions before any
    // is decompressed: their image data is empty.
    QTest::newRow("blocks of more than 100 megapixels in all") << [] {
        QByteArray file = QByteArray("GIF89a") + QByteArray::fromHex("e803e803000000");
        for (int i = 0; i < 101; ++i)
            file += QByteArray::fromHex("2c00000000e803e803000200");
        return file + ";";
    }() << "the blocks of the first picture hold more than 100,000,000 pixels in all, more than this program decodes for one picture";

    // Image data that giflib finds damaged.
    QTest::newRow("code the table does not hold yet")
        << with_data(1, lzw({256, 300, 257})) << "the image data of block 1 is damaged";
    QTest::newRow("end code before the last pixel")
        << with_data(2, lzw({256, 0, 257})) << "the image data of block 1 ends before its last pixel";
    QTest::newRow("data pieces end before the last pixel")
        << with_data(2, lzw({256, 0})) << "the image data of block 1 is damaged";
    QTest::newRow("code size past 8")
        << with_data(1, "\x09" + lzw({256, 0, 257}).mid(1)) << "the image data of block 1 is damaged";
}

void GifTest::refused() {
    QFETCH(QByteArray, file);
    QFETCH(QString, reason);
    keep_for_fuzzing(file);
    core::MemorySource source(file.constData(), std::size_t(file.size()));
    Sink sink;
    try {
        core::gif::decode(source, window_background(), sink);
        QFAIL("decoded");
    } catch (const core::Failure& e) {
        QCOMPARE(QString::fromUtf8(e.what()), reason);
    }
    QCOMPARE(sink.asked, 0);
}

// What the sink refuses is never decoded: no byte past the screen's size is
// read, no row asked for. The 35-byte file of one pixel on a large screen.
void GifTest::screenRefusedBeforeItsData_data() {
    QTest::addColumn<int>("side");
    QTest::newRow("16383 × 16383") << 16383;
    QTest::newRow("65535 × 65535") << 65535;
}

void GifTest::screenRefusedBeforeItsData() {
    QFETCH(int, side);
    const QByteArray file = QByteArray("GIF89a") + char(side & 0xFF) + char(side >> 8) + char(side & 0xFF) +
                            char(side >> 8) +
                            QByteArray::fromHex("800000"           // 2-entry table, background 0, no aspect
                                                "000000ffffff"     // the table
                                                "2c0000000001000100" "00"  // block: (0, 0), 1 × 1
                                                "0202440100"       // code size 2: clear, 0, end
                                                "3b");
    QCOMPARE(file.size(), 35);
    keep_for_fuzzing(file);
    FailingSource source(file, std::uint64_t(file.size()) + 1);
    QCOMPARE(core::gif::size(source), (core::Size{side, side}));
    QVERIFY(source.furthest <= 13);

    Sink sink;
    QVERIFY_THROWS_EXCEPTION(Sink::TooLarge, core::gif::decode(source, window_background(), sink));
    QCOMPARE(sink.begun, 1);
    QCOMPARE(sink.asked, 0);
    QVERIFY(source.furthest <= 13);
}

// A source that fails inside the data: its own words come through giflib.
void GifTest::sourceFailureComesThrough() {
    const QByteArray file = gif(2, 1, "RG", {block(0, 0, "01")});
    FailingSource source(file, 30);
    Sink sink;
    try {
        core::gif::decode(source, window_background(), sink);
        QFAIL("decoded");
    } catch (const core::Failure& e) {
        QCOMPARE(QString::fromUtf8(e.what()), QStringLiteral("the disk failed"));
    }
}

QTEST_GUILESS_MAIN(GifTest)
#include "tst_gif.moc"
