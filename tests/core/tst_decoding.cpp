// Picture files through the core's decoders, as the window and zft read
// them: told apart by their bytes, PNG's many layouts as Qt reads them too,
// plain-worded refusals for damaged files, and scaling down by area.
#include <malloc.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QBuffer>
#include <QDir>
#include <QRegularExpression>
#include <QImageWriter>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>
#include <turbojpeg.h>
#include <zlib.h>

#include "core/decoders/formats.h"
#include "core/decoding.h"
#include "core/scaling.h"
#include "tests/support/fixtures.h"

using testing::asymmetric;
using testing::contents;
using testing::picture_of;
using testing::write_file;

namespace {

QByteArray encoded(const QImage& image, const char* format, int quality = -1) {
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, format);
    writer.setQuality(quality);
    if (!writer.write(image))
        qFatal("cannot write a %s fixture: %s", format, qPrintable(writer.errorString()));
    return buffer.data();
}

// A PNG chunk: length, name, data and check.
QByteArray png_chunk(const char* name, const QByteArray& data, quint32 length) {
    QByteArray out;
    for (int shift : {24, 16, 8, 0})
        out += char(length >> shift);
    const QByteArray body = name + data;
    const uLong crc = crc32(0, reinterpret_cast<const Bytef*>(body.constData()), uInt(body.size()));
    out += body;
    for (int shift : {24, 16, 8, 0})
        out += char(crc >> shift);
    return out;
}
QByteArray png_chunk(const char* name, const QByteArray& data) { return png_chunk(name, data, quint32(data.size())); }

// A 1 × 1 grey PNG with `ancillary` chunks after its header and `pixels`,
// compressed, as its image data.
QByteArray tiny_png(const QByteArray& ancillary, const QByteArray& pixels = QByteArray("\0\x80", 2)) {
    return QByteArray("\x89PNG\r\n\x1a\n", 8) + png_chunk("IHDR", QByteArray::fromHex("00000001000000010800000000")) +
           ancillary + png_chunk("IDAT", qCompress(pixels).mid(4)) + png_chunk("IEND", {});
}

// A w × h interlaced 1-bit grey PNG, each pass a colour of its own.
QByteArray interlaced_png(int w, int h) {
    static constexpr int kLeft[] = {0, 4, 0, 2, 0, 1, 0}, kTop[] = {0, 0, 4, 0, 2, 0, 1};
    static constexpr int kAcross[] = {8, 8, 4, 4, 2, 2, 1}, kDown[] = {8, 8, 8, 4, 4, 2, 2};
    z_stream z{};
    deflateInit(&z, 6);
    QByteArray compressed;
    char out[1 << 16];
    auto deflate_some = [&](const QByteArray& bytes, int flush) {
        z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(bytes.constData()));
        z.avail_in = uInt(bytes.size());
        do {
            z.next_out = reinterpret_cast<Bytef*>(out);
            z.avail_out = sizeof out;
            deflate(&z, flush);
            compressed.append(out, qsizetype(sizeof out - z.avail_out));
        } while (z.avail_out == 0);
    };
    for (int pass = 0; pass < 7; ++pass) {
        const int across = (w - kLeft[pass] + kAcross[pass] - 1) / kAcross[pass];
        const int down = (h - kTop[pass] + kDown[pass] - 1) / kDown[pass];
        if (across <= 0 || down <= 0)
            continue;
        QByteArray row(1 + (across + 7) / 8, pass % 2 ? '\xFF' : '\x55');
        row[0] = 0;  // no filter
        for (int y = 0; y < down; ++y)
            deflate_some(row, Z_NO_FLUSH);
    }
    deflate_some({}, Z_FINISH);
    deflateEnd(&z);
    QByteArray header;
    for (int value : {w, h})
        for (int shift : {24, 16, 8, 0})
            header += char(value >> shift);
    header += QByteArray::fromHex("0100000001");  // 1 bit, grey, Adam7
    return QByteArray("\x89PNG\r\n\x1a\n", 8) + png_chunk("IHDR", header) + png_chunk("IDAT", compressed) +
           png_chunk("IEND", {});
}

// With ZFT_CORPUS_OUT set to a folder (tests/core), the small JPEG and PNG
// files of the tables go to its jpeg/corpus and png/corpus: the fuzz
// targets' seeds.
void keep_for_fuzzing(const QByteArray& file) {
    const QString folder = qEnvironmentVariable("ZFT_CORPUS_OUT");
    const char* kind = file.startsWith("\xFF\xD8\xFF") ? "jpeg" : file.startsWith("\x89PNG") ? "png" : nullptr;
    // The fuzz targets read at most 4 KiB of a file.
    if (folder.isEmpty() || !kind || file.size() > 4096)
        return;
    const QDir corpus(QDir(folder).filePath(QStringLiteral("%1/corpus").arg(QLatin1String(kind))));
    QString name = QString::fromUtf8(QTest::currentTestFunction()) + QLatin1Char('_') +
                   QString::fromUtf8(QTest::currentDataTag()).toLower();
    QFile out(corpus.filePath(name.replace(QRegularExpression(QStringLiteral("[^A-Za-z0-9]+")), QStringLiteral("_")) +
                              (kind[0] == 'j' ? QStringLiteral(".jpg") : QStringLiteral(".png"))));
    QVERIFY(corpus.exists() && out.open(QIODevice::WriteOnly) && out.write(file) == file.size());
}

// What `load_picture` says of a file, or an empty text when it decodes.
QString refusal(const QString& path) {
    try {
        core::load_picture(core::system_files(), path.toStdString());
    } catch (const core::Failure& failure) {
        return QString::fromStdString(failure.message());
    }
    return {};
}

// A picture with alpha 0 to 255 over distinct colours.
QImage half_transparent(int w, int h) {
    QImage image(w, h, QImage::Format_ARGB32);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const QRgb c = testing::asymmetric_colour(x, y);
            image.setPixel(x, y, qRgba(qRed(c), qGreen(c), qBlue(c), (x * 37 + y * 11) % 256));
        }
    return image;
}

// Ramps with hard edges, no row of one colour: a row made up of no data,
// flat grey, shows.
QImage ramps(int w, int h) {
    QImage image(w, h, QImage::Format_RGB32);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            image.setPixel(x, y, qRgb(x * 255 / w, y * 255 / h, (x / 7 + y / 5) % 2 ? 230 : 20));
    return image;
}

// `image` as cjpeg writes it with `options`; empty when cjpeg is missing.
QByteArray cjpeg(const QImage& image, const QStringList& options = {}) {
    const QString cjpeg = QStandardPaths::findExecutable(QStringLiteral("cjpeg"));
    QTemporaryDir dir;
    const QString ppm = dir.filePath(QStringLiteral("p.ppm"));
    const QString jpeg = dir.filePath(QStringLiteral("p.jpg"));
    if (cjpeg.isEmpty() || !image.save(ppm) ||
        QProcess::execute(cjpeg, options + QStringList{QStringLiteral("-outfile"), jpeg, ppm}) != 0)
        return {};
    return contents(jpeg);
}

// Where the n-th (from 1) start of scan is.
qsizetype scan_start(const QByteArray& jpeg, int n) {
    qsizetype at = -1;
    for (int i = 0; i < n; ++i)
        at = jpeg.indexOf("\xFF\xDA", at + 1);
    return at;
}

// Collects the rows a decoder hands over.
class RowsSink : public core::RowSink {
public:
    void begin(core::Size s, bool) override {
        size = s;
        line.assign(std::size_t(s.width), 0);
    }
    core::Argb* row(int) override { return line.data(); }
    void done(int) override { rows.push_back(line); }

    core::Size size;
    std::vector<core::Argb> line;
    std::vector<std::vector<core::Argb>> rows;
};

// What load_picture_within() says of `file` in a child process whose address
// space may grow by `megabytes` at most: empty when it decodes.
QString fitted_within(const QString& file, int megabytes) {
    const std::string name = file.toStdString();
    int channel[2];
    if (pipe(channel) != 0)
        return QStringLiteral("no pipe");
    const pid_t child = fork();
    if (child == 0) {
        ::close(channel[0]);
        long pages = 0;
        if (FILE* statm = std::fopen("/proc/self/statm", "r")) {
            if (std::fscanf(statm, "%ld", &pages) != 1)
                pages = 0;
            std::fclose(statm);
        }
        // Large blocks from the system, where the limit counts them. (A
        // thread's malloc arena holds up to 64 MB that it does not.)
        mallopt(M_MMAP_THRESHOLD, 128 * 1024);
        const rlim_t limit = rlim_t(pages) * rlim_t(sysconf(_SC_PAGESIZE)) + (rlim_t(megabytes) << 20);
        const rlimit bound{limit, limit};
        std::string said = pages > 0 && setrlimit(RLIMIT_AS, &bound) == 0 ? "" : "no limit set";
        try {
            if (said.empty())
                core::load_picture_within(core::system_files(), name, {999, 999});
        } catch (const core::Failure& failure) {
            said = failure.message();
        } catch (...) {
            said = "something else was thrown";
        }
        const bool written = ::write(channel[1], said.data(), said.size()) == ssize_t(said.size());
        ::_exit(written ? 0 : 1);
    }
    ::close(channel[1]);
    QByteArray said;
    char piece[4096];
    for (ssize_t n; (n = ::read(channel[0], piece, sizeof piece)) > 0;)
        said.append(piece, n);
    ::close(channel[0]);
    int status = 0;
    if (child < 0 || waitpid(child, &status, 0) != child || !WIFEXITED(status) || WEXITSTATUS(status) != 0)
        return QStringLiteral("the child did not finish");
    return QString::fromUtf8(said);
}

}  // namespace

class DecodingTest : public QObject {
    Q_OBJECT
private slots:
    void init() { QVERIFY(dir_.isValid()); }
    void pngLayouts_data();
    void pngLayouts();
    void formatComesFromTheBytesNotTheName();
    void cmykJpegs_data();
    void cmykJpegs();
    void refusals_data();
    void refusals();
    void jpegsAsDjpegReadsThem_data();
    void jpegsAsDjpegReadsThem();
    void reductionAveragesWhatEachPixelCovers();
    void fitDecodesLargeJpegsAtAReducedScale();
    void hostileFilesCostLittleMemory_data();
    void hostileFilesCostLittleMemory();

private:
    QString path(const QString& name) const { return dir_.filePath(name); }
    QTemporaryDir dir_;
};

void DecodingTest::pngLayouts_data() {
    QTest::addColumn<QImage>("image");
    QTest::addColumn<bool>("interlaced");
    QImage rgba64(9, 7, QImage::Format_RGBA64);
    for (int y = 0; y < 7; ++y)
        for (int x = 0; x < 9; ++x)  // 257 · n: every 8-bit rounding of the 16 bits agrees
            rgba64.setPixelColor(x, y, QColor::fromRgba64(257 * (x * 28), 257 * (y * 36), 257 * (255 - x * y), 257 * (x * 20 + 15)));
    QImage palette = asymmetric(6, 5).convertToFormat(QImage::Format_Indexed8);
    QList<QRgb> table = palette.colorTable();
    table[0] = qRgba(qRed(table[0]), qGreen(table[0]), qBlue(table[0]), 0);
    palette.setColorTable(table);

    QTest::newRow("8-bit RGB") << asymmetric(13, 11) << false;
    QTest::newRow("RGBA") << half_transparent(13, 11) << false;
    QTest::newRow("16-bit RGBA") << rgba64 << false;
    QTest::newRow("palette with a transparent entry") << palette << false;
    QTest::newRow("grey") << asymmetric(10, 3).convertToFormat(QImage::Format_Grayscale8) << false;
    QTest::newRow("1 bit") << asymmetric(17, 5).convertToFormat(QImage::Format_Mono) << false;
    QTest::newRow("interlaced") << half_transparent(21, 19) << true;
    // Rows from the last pass and rows kept from the six before it, at the
    // sizes where passes are empty or end early.
    QTest::newRow("interlaced, 1 × 1") << half_transparent(1, 1) << true;
    QTest::newRow("interlaced, 2 × 3") << half_transparent(2, 3) << true;
    QTest::newRow("interlaced, 9 × 17") << half_transparent(9, 17) << true;
    QTest::newRow("interlaced, 33 × 8") << half_transparent(33, 8) << true;
}

void DecodingTest::pngLayouts() {
    QFETCH(QImage, image);
    QFETCH(bool, interlaced);
    const QString file = path(QStringLiteral("p.png"));
    QVERIFY(write_file(file, encoded(image, "png")));
    if (interlaced) {
        const QString convert = QStandardPaths::findExecutable(QStringLiteral("convert"));
        if (convert.isEmpty())
            QSKIP("ImageMagick is not installed");
        QCOMPARE(QProcess::execute(convert, {file, QStringLiteral("-interlace"), QStringLiteral("PNG"),
                                             QStringLiteral("PNG32:") + file}), 0);
        QCOMPARE(contents(file).at(28), '\x01');  // IHDR's interlace method: Adam7
    }
    keep_for_fuzzing(contents(file));
    const core::Picture decoded = core::load_picture(core::system_files(), file.toStdString());
    const QImage expected = image.convertToFormat(QImage::Format_ARGB32);
    QCOMPARE(decoded.hasAlpha(), image.hasAlphaChannel());
    QCOMPARE(decoded.width(), expected.width());
    QCOMPARE(decoded.height(), expected.height());
    for (int y = 0; y < expected.height(); ++y)
        for (int x = 0; x < expected.width(); ++x)
            QCOMPARE(decoded.pixel(x, y), expected.pixel(x, y));
}

void DecodingTest::formatComesFromTheBytesNotTheName() {
    const QImage image = asymmetric(8, 6);
    QVERIFY(write_file(path(QStringLiteral("png.jpg")), encoded(image, "png")));
    QVERIFY(write_file(path(QStringLiteral("jpeg.gif")), encoded(image, "jpeg", 100)));
    QCOMPARE(core::load_picture(core::system_files(), path(QStringLiteral("png.jpg")).toStdString()), picture_of(image));
    const core::Picture jpeg = core::load_picture(core::system_files(), path(QStringLiteral("jpeg.gif")).toStdString());
    QVERIFY(jpeg.size() == (core::Size{8, 6}));
    QVERIFY(qAbs(core::red_of(jpeg.pixel(3, 2)) - qRed(image.pixel(3, 2))) < 8);
}

void DecodingTest::cmykJpegs_data() {
    QTest::addColumn<QString>("maker");
    QTest::newRow("CMYK, as ImageMagick writes it") << "imagemagick";
    QTest::newRow("YCCK, as libjpeg-turbo writes CMYK") << "turbojpeg";
}

// Both kinds store ink inverted, as Adobe's programs do: 255 is no ink.
void DecodingTest::cmykJpegs() {
    QFETCH(QString, maker);
    const QString file = path(QStringLiteral("cmyk.jpg"));
    if (maker == u"imagemagick") {
        const QString convert = QStandardPaths::findExecutable(QStringLiteral("convert"));
        if (convert.isEmpty())
            QSKIP("ImageMagick is not installed");
        QCOMPARE(QProcess::execute(convert, {QStringLiteral("-size"), QStringLiteral("16x8"),
                                             QStringLiteral("xc:rgb(200,100,50)"), QStringLiteral("-colorspace"),
                                             QStringLiteral("CMYK"), QStringLiteral("-quality"), QStringLiteral("100"),
                                             file}), 0);
    } else {
        // Ink values that read back as (200, 100, 50): red = C · K / 255.
        std::vector<unsigned char> cmyk(16 * 8 * 4);
        for (std::size_t i = 0; i < cmyk.size(); i += 4) {
            cmyk[i] = 200;
            cmyk[i + 1] = 100;
            cmyk[i + 2] = 50;
            cmyk[i + 3] = 255;
        }
        tjhandle encoder = tjInitCompress();
        unsigned char* jpeg = nullptr;
        unsigned long size = 0;
        QCOMPARE(tjCompress2(encoder, cmyk.data(), 16, 16 * 4, 8, TJPF_CMYK, &jpeg, &size, TJSAMP_444, 100, 0), 0);
        const bool written = write_file(file, QByteArray(reinterpret_cast<const char*>(jpeg), qsizetype(size)));
        tjFree(jpeg);
        tjDestroy(encoder);
        QVERIFY(written);
    }
    keep_for_fuzzing(contents(file));
    const core::Picture picture = core::load_picture(core::system_files(), file.toStdString());
    for (const core::Argb c : {picture.pixel(0, 0), picture.pixel(15, 7)}) {
        QVERIFY2(qAbs(core::red_of(c) - 200) <= 2 && qAbs(core::green_of(c) - 100) <= 2 && qAbs(core::blue_of(c) - 50) <= 2,
                 qPrintable(QString::number(c, 16)));
    }
}

void DecodingTest::refusals_data() {
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("reason");
    const QByteArray png = encoded(asymmetric(40, 30), "png");
    const QByteArray jpeg = encoded(asymmetric(40, 30), "jpeg", 90);
    const qsizetype sof = jpeg.indexOf("\xFF\xC0");
    auto with = [](QByteArray bytes, qsizetype at, const QByteArray& part) { return bytes.replace(at, part.size(), part); };
    QByteArray damagedChunk = png;
    damagedChunk[damagedChunk.indexOf("IDAT") + 10] ^= 0x55;

    QTest::newRow("empty") << QByteArray() << u"the file is empty"_qs;
    QTest::newRow("text") << QByteArray("just some words\n")
                          << u"not a picture in a format this program reads (JPEG, GIF, BMP, PNG, PPM or PGM)"_qs;
    QTest::newRow("PNG of 0 × 0") << with(png, 16, QByteArray(8, '\0')) << u"the picture has no pixels (0 × 0)"_qs;
    QTest::newRow("PNG cut in its pixels") << png.left(png.size() - 40) << u"the file stops inside the PNG data"_qs;
    QTest::newRow("PNG with a damaged chunk") << damagedChunk << u"the PNG data is damaged"_qs;
    // The chunk's length is checked as its header is read, before libpng
    // would allocate it.
    QTest::newRow("PNG whose text chunk claims 2 GB")
        << tiny_png(png_chunk("tEXt", "abc", 0x7FFFFFFF)).left(50)
        << u"the file stops inside the PNG data: the chunk at byte 33 holds 2,147,483,647 bytes, past the end of the 50-byte file"_qs;
    // What libpng only warns of, every pixel there, is read as libpng reads it.
    const QByteArray compressed = qCompress(QByteArray("\0\x80", 2)).mid(4), tiny = tiny_png({});
    const qsizetype idat = tiny.indexOf("IDAT") - 4, iend = tiny.indexOf("IEND") - 4;
    QTest::newRow("PNG with more image data than its pixels") << tiny_png({}, QByteArray(102, '\0')) << QString();
    QTest::newRow("PNG with bytes after the compressed stream")
        << tiny.left(idat) + png_chunk("IDAT", compressed + "more") + tiny.mid(iend) << QString();
    QTest::newRow("PNG with a tRNS chunk of the wrong length") << tiny_png(png_chunk("tRNS", "abc")) << QString();
    QTest::newRow("PNG whose image data stops before its last pixel")
        << tiny_png({}, QByteArray(1, '\0')) << u"the PNG data is damaged (Not enough image data)"_qs;
    QTest::newRow("PNG of 20000 × 20000, never decoded")
        << with(png, 16, QByteArray::fromHex("00004e2000004e20")) << u"the picture is 20000 × 20000 pixels"_qs;
    QTest::newRow("JPEG of 0 × 0") << with(jpeg, sof + 5, QByteArray(4, '\0')) << u"the picture has no pixels"_qs;
    QTest::newRow("JPEG cut short") << jpeg.left(jpeg.size() / 2) << u"the JPEG data stops early"_qs;
    QTest::newRow("JPEG without a frame") << jpeg.left(sof) + "\xFF\xD9" << u"has no frame header"_qs;
    QTest::newRow("PPM cut short") << QByteArray("P6\n4 4\n255\n") + QByteArray(20, 'x') << u"stops after 20 of 48 bytes"_qs;
}

void DecodingTest::refusals() {
    QFETCH(QByteArray, bytes);
    QFETCH(QString, reason);
    keep_for_fuzzing(bytes);
    const QString file = path(QStringLiteral("damaged.pic"));
    QVERIFY(write_file(file, bytes));
    const QString said = refusal(file);
    if (reason.isEmpty()) {
        QVERIFY2(said.isEmpty(), qPrintable(said));
        return;
    }
    QVERIFY2(said.startsWith(QStringLiteral("Cannot ")) && said.contains(file), qPrintable(said));
    QVERIFY2(said.contains(reason), qPrintable(said));
}

// A warning is not damage: what djpeg decodes gives its pixels, also of a
// file whose end marker alone is missing. Data that stops early, a scan whose
// data is corrupt, and a fatal error after warnings, are refused, and no row
// made up in their place is handed over.
void DecodingTest::jpegsAsDjpegReadsThem_data() {
    QTest::addColumn<QByteArray>("jpeg");
    QTest::addColumn<int>("djpegStatus");  // 0 clean, 1 failed, 2 warned
    QTest::addColumn<QString>("refusal");  // empty: decoded as djpeg decodes it
    const QByteArray plain = cjpeg(ramps(64, 48));
    const QByteArray progressive = cjpeg(ramps(64, 48), {QStringLiteral("-progressive")});
    if (plain.isEmpty() || progressive.isEmpty())
        QSKIP("cjpeg is not installed (package libjpeg-turbo-progs)");
    const qsizetype table = plain.indexOf("\xFF\xC4");
    auto inserted = [](QByteArray bytes, qsizetype at, const QByteArray& part) { return bytes.insert(at, part); };
    auto middle_of = [](const QByteArray& jpeg) {  // of the first scan, not inside a marker or stuffed byte
        qsizetype at = (scan_start(jpeg, 1) + jpeg.size()) / 2;
        while (jpeg.at(at - 1) == '\xFF')
            ++at;
        return at;
    };
    const qsizetype middle = middle_of(plain);
    QTemporaryDir dir;
    QFile script(dir.filePath(QStringLiteral("scans")));
    QVERIFY(script.open(QIODevice::WriteOnly) && script.write("0;\n1;\n2;\n") > 0);
    script.close();
    // The smallest scan of the progressive file, over and over.
    qsizetype smallest = 1, smallestLength = progressive.size();
    for (int n = 1; scan_start(progressive, n) >= 0; ++n) {
        const qsizetype next = scan_start(progressive, n + 1);
        const qsizetype length = (next >= 0 ? next : progressive.size() - 2) - scan_start(progressive, n);
        if (length < smallestLength)
            std::tie(smallest, smallestLength) = std::pair(n, length);
    }
    const qsizetype afterSmallest = scan_start(progressive, smallest) + smallestLength;

    // Files of every kind cjpeg writes.
    const std::pair<const char*, QStringList> kinds[] = {
        {"progressive", {QStringLiteral("-progressive")}},
        {"best quality", {QStringLiteral("-quality"), QStringLiteral("100")}},
        {"greyscale", {QStringLiteral("-grayscale")}},
        {"restart markers", {QStringLiteral("-restart"), QStringLiteral("1")}},
        {"arithmetic coding", {QStringLiteral("-arithmetic")}},
        {"progressive, arithmetic coding", {QStringLiteral("-progressive"), QStringLiteral("-arithmetic")}},
        {"restart markers, arithmetic coding", {QStringLiteral("-restart"), QStringLiteral("1"), QStringLiteral("-arithmetic")}},
        {"4:2:2 sampling", {QStringLiteral("-sample"), QStringLiteral("2x1")}}};
    for (const auto& [kind, options] : kinds)
        QTest::newRow(kind) << cjpeg(ramps(45, 33), options) << 0 << QString();
    QTest::newRow("37 x 23, odd sizes") << cjpeg(ramps(37, 23)) << 0 << QString();
    // Arithmetic coding leaves out the zeros that end a scan's data: the scan
    // runs into its end marker before the flat rows at the bottom.
    QTest::newRow("arithmetic coding, flat rows at the bottom")
        << cjpeg(ramps(64, 32).copy(0, 0, 64, 96), {QStringLiteral("-arithmetic")}) << 0 << QString();
    QTest::newRow("two stray bytes before a marker") << inserted(plain, table, "\x12\x34") << 2 << QString();
    QTest::newRow("junk and fill bytes before a marker")
        << inserted(plain, table, QByteArray(300, '\x5a') + QByteArray(5, '\xFF')) << 2 << QString();
    QTest::newRow("2 MB of fill bytes after the start marker")
        << inserted(plain, 2, QByteArray(2'000'000, '\xFF')) << 0 << QString();
    QTest::newRow("bytes after the end marker") << plain + QByteArray(5000, '\0') << 0 << QString();
    const QByteArray perColour =
        cjpeg(ramps(64, 48), {QStringLiteral("-sample"), QStringLiteral("1x1"), QStringLiteral("-scans"), script.fileName()});
    QTest::newRow("sequential, a scan for each colour") << perColour << 0 << QString();
    QTest::newRow("a start marker inside the scan's data")
        << inserted(plain, middle, "\xFF\xD8") << 1 << u"corrupt data in the JPEG scan (Corrupt JPEG data: premature end of data segment)"_qs;
    QTest::newRow("junk and an unknown marker before the fourth scan, after a warning")
        << inserted(progressive, scan_start(progressive, 4), QByteArray("junk\xFF\x44\x00\x04" "ab", 10)) << 1
        << u"the JPEG data is damaged (Unsupported marker type 0x44)"_qs;
    QTest::newRow("no end marker") << plain.left(plain.size() - 2) << 2 << QString();
    QTest::newRow("progressive, no end marker") << progressive.left(progressive.size() - 2) << 2 << QString();
    // djpeg shows the blurred picture of the scans before the end.
    QTest::newRow("progressive, cut before its last scan") << progressive.left(scan_start(progressive, 4)) << 2
                                                           << u"the JPEG data stops early, before its last scan"_qs;
    QTest::newRow("a scan for each colour, cut before the last") << perColour.left(scan_start(perColour, 3)) << 2
                                                                 << u"the JPEG data stops early, before its last scan"_qs;
    // Arithmetic coding reads zeros past the end of its data without a word.
    auto arithmetic = [](QStringList options) { return cjpeg(ramps(64, 48), options << u"-arithmetic"_qs); };
    const QByteArray one = arithmetic({}), restarted = arithmetic({u"-restart"_qs, u"1"_qs});
    const QByteArray steps = arithmetic({u"-progressive"_qs}), huffmanRestarted = cjpeg(ramps(64, 48), {u"-restart"_qs, u"1"_qs});
    const qsizetype inScan = middle_of(one);
    const QString early = u"the JPEG data stops early"_qs, corrupt = u"corrupt data in the JPEG scan (%1)"_qs;
    QTest::newRow("arithmetic coding, cut at 60 %") << one.left(one.size() * 6 / 10) << 2 << early;
    QTest::newRow("arithmetic coding, restart markers, cut at half") << restarted.left(restarted.size() / 2) << 2 << early;
    QTest::newRow("progressive, arithmetic coding, cut in its last scan")
        << steps.left((steps.lastIndexOf("\xFF\xDA") + steps.size()) / 2) << 2 << early;
    QTest::newRow("arithmetic coding, a start marker inside the scan's data")
        << inserted(one, inScan, "\xFF\xD8") << 1 << corrupt.arg(u"Invalid JPEG file structure: two SOI markers"_qs);
    QTest::newRow("arithmetic coding, a restart marker inside the scan's data") << inserted(one, inScan, "\xFF\xD3") << 2
        << corrupt.arg(u"Corrupt JPEG data: %1 extraneous bytes before marker 0xd9"_qs.arg(one.size() - 2 - inScan));
    QTest::newRow("arithmetic coding, a comment marker inside the scan's data, longer than the file")
        << inserted(one, inScan, "\xFF\xFE\x7F\xFF") << 2 << early;
    QTest::newRow("arithmetic coding, an end marker before the first restart marker")
        << inserted(restarted, restarted.indexOf("\xFF\xD0"), "\xFF\xD9") << 2
        << corrupt.arg(u"Corrupt JPEG data: found marker 0xd9 instead of RST0"_qs);
    QTest::newRow("a restart marker missing: its interval would be made up")
        << QByteArray(huffmanRestarted).remove(huffmanRestarted.indexOf("\xFF\xD0"), 2) << 2
        << corrupt.arg(u"Corrupt JPEG data: found marker 0xd1 instead of RST0"_qs);
    QTest::newRow("600 scans")
        << inserted(progressive, afterSmallest, progressive.mid(scan_start(progressive, smallest), smallestLength).repeated(600))
        << 2 << u"the JPEG file has more than 500 scans, more than this program decodes"_qs;
}

void DecodingTest::jpegsAsDjpegReadsThem() {
    QFETCH(QByteArray, jpeg);
    QFETCH(int, djpegStatus);
    QFETCH(QString, refusal);
    const QString djpeg = QStandardPaths::findExecutable(QStringLiteral("djpeg"));
    if (djpeg.isEmpty())
        QSKIP("djpeg is not installed (package libjpeg-turbo-progs)");
    keep_for_fuzzing(jpeg);
    const QString file = path(QStringLiteral("p.jpg"));
    QVERIFY(write_file(file, jpeg));
    QProcess process;
    process.start(djpeg, {QStringLiteral("-ppm"), file});
    QVERIFY(process.waitForFinished(60000));
    QCOMPARE(process.exitCode(), djpegStatus);
    const QImage reference = QImage::fromData(process.readAllStandardOutput(), "PPM");

    core::MemorySource source(jpeg.constData(), std::size_t(jpeg.size()));
    RowsSink sink;
    QString said;
    try {
        core::jpeg::decode(source, {}, sink);
    } catch (const core::Failure& failure) {
        said = QString::fromStdString(failure.reason());
    }
    QCOMPARE(said, refusal);
    if (refusal.isEmpty()) {
        QCOMPARE(int(sink.rows.size()), reference.height());
        // The size from the headers alone, by a walk of the markers of our own.
        QCOMPARE(core::jpeg::size(source), sink.size);
    }
    for (std::size_t y = 0; y < sink.rows.size(); ++y) {
        const std::vector<core::Argb>& row = sink.rows[y];
        QVERIFY2(std::any_of(row.begin(), row.end(), [](core::Argb c) { return c != core::argb(128, 128, 128); }),
                 qPrintable(QStringLiteral("row %1 is made up").arg(y)));
        for (int x = 0; x < sink.size.width && int(y) < reference.height(); ++x)
            QCOMPARE(row[std::size_t(x)], reference.pixel(x, int(y)));
    }
}

void DecodingTest::reductionAveragesWhatEachPixelCovers() {
    // 3 × 2 to 2 × 1: each target pixel covers one and a half columns.
    QImage image(3, 2, QImage::Format_ARGB32);
    image.setPixel(0, 0, qRgba(0, 0, 0, 255));
    image.setPixel(1, 0, qRgba(90, 30, 60, 255));
    image.setPixel(2, 0, qRgba(255, 255, 255, 255));
    image.setPixel(0, 1, qRgba(30, 0, 0, 255));
    image.setPixel(1, 1, qRgba(90, 30, 60, 255));
    image.setPixel(2, 1, qRgba(200, 0, 0, 0));  // transparent: weighs nothing in the colour
    const core::Picture small = core::reduce(picture_of(image), {2, 1});
    // Left: columns 0 (weight 2) and 1 (weight 1) of both rows, of 6.
    QCOMPARE(small.pixel(0, 0), core::argb(40, 10, 20));
    // Right: 90 + 90 at weight 1, 255 at weight 2, the transparent one at 2;
    // alpha (255·4) / 6 = 170, colour over the 4 opaque units.
    QCOMPARE(small.pixel(1, 0), core::argb(173, 143, 158, 170));

    // Rows handed over in pieces of any length reduce as whole rows do.
    const core::Picture wide = picture_of(half_transparent(37, 5));
    core::ReducingSink pieces({10, 2});
    pieces.begin(wide.size(), true);
    for (int y = 0; y < wide.height(); ++y) {
        for (int x = 0, n = 1; x < wide.width(); x += n, n = n % 7 + 3)
            pieces.piece(y, x, wide.row(y) + x, std::min(n, wide.width() - x));
        pieces.done(y);
    }
    QCOMPARE(pieces.picture, core::reduce(wide, {10, 2}));
}

void DecodingTest::fitDecodesLargeJpegsAtAReducedScale() {
    QImage flat(4000, 3000, QImage::Format_RGB32);
    flat.fill(qRgb(200, 120, 40));
    const std::string file = path(QStringLiteral("large.jpg")).toStdString();
    QVERIFY(write_file(QString::fromStdString(file), encoded(flat, "jpeg", 95)));

    // Asked for at least 999 × 749, the decoder gives a quarter, 1000 × 750,
    // and never holds the 12 megapixels: what the sink is told to begin.
    struct Begun : core::RowSink {
        void begin(core::Size s, bool) override {
            size = s;
            line.resize(static_cast<std::size_t>(s.width));
        }
        core::Argb* row(int) override { return line.data(); }
        void done(int) override {}
        core::Size size;
        std::vector<core::Argb> line;
    } sink;
    core::DecodeOptions options;
    options.atLeast = {999, 749};
    core::jpeg::decode(*core::system_files().open(file), options, sink);
    QVERIFY(sink.size == (core::Size{1000, 750}));

    const core::Picture fitted = core::load_picture_within(core::system_files(), file, {999, 999});
    QVERIFY(fitted.size() == (core::Size{999, 749}));
    for (const auto& [x, y] : {std::pair{0, 0}, {998, 748}, {500, 300}}) {
        const core::Argb c = fitted.pixel(x, y);
        QVERIFY(qAbs(core::red_of(c) - 200) <= 2 && qAbs(core::green_of(c) - 120) <= 2 && qAbs(core::blue_of(c) - 40) <= 2);
    }
}

// Files small on disk that asked for gigabytes. Each is decoded with --fit's
// bound in a child whose address space cannot grow past what it may take.
void DecodingTest::hostileFilesCostLittleMemory_data() {
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<qint64>("hole");  // zero bytes after them, a hole in the file
    QTest::addColumn<int>("megabytes");
    QTest::addColumn<QString>("refusal");  // empty: decoded

    // 100 megapixels, 400 MB whole: only half of it is kept for the last pass.
    QTest::newRow("interlaced PNG of 10000 × 10000") << interlaced_png(10000, 10000) << qint64(0) << 300 << QString();
    const QByteArray jpeg = encoded(asymmetric(17, 13), "jpeg", 90);
    QTest::newRow("JPEG and 1.5 GB after its end marker") << jpeg << (qint64(1500) << 20) << 100 << QString();
    // Its frame header says 8000 × 8000: 192 MB of coefficients, which do
    // not fit in 32 MB. Out of memory, said as such, not as damage.
    QByteArray progressive = cjpeg(ramps(64, 48), {QStringLiteral("-progressive")});
    if (!progressive.isEmpty()) {
        progressive.replace(progressive.indexOf("\xFF\xC2") + 5, 4, QByteArray::fromHex("1f401f40"));
        QTest::newRow("progressive JPEG of 8000 × 8000 in 32 MB")
            << progressive << qint64(0) << 32 << u"there is not enough memory to decode it"_qs;
    }
    QTemporaryDir dir;
    QFile script(dir.filePath(QStringLiteral("scans")));
    QVERIFY(script.open(QIODevice::WriteOnly) && script.write("0;\n1;\n2;\n") > 0);
    script.close();
    QByteArray threeScans = cjpeg(ramps(64, 48), {QStringLiteral("-sample"), QStringLiteral("1x1"), QStringLiteral("-scans"), script.fileName()});
    if (!threeScans.isEmpty()) {
        // The frame header says 10000 × 10000: 572 MB of coefficients.
        threeScans.replace(threeScans.indexOf("\xFF\xC0") + 5, 4, QByteArray::fromHex("27102710"));
        QTest::newRow("sequential JPEG of 10000 × 10000 in three scans")
            << threeScans << qint64(0) << 300
            << u"a JPEG of 10000 × 10000 pixels in several scans needs 572 MB to decode, more than the 256 MB"_qs;
    }
}

void DecodingTest::hostileFilesCostLittleMemory() {
    QFETCH(QByteArray, bytes);
    QFETCH(qint64, hole);
    QFETCH(int, megabytes);
    QFETCH(QString, refusal);
    const QString file = path(QStringLiteral("hostile.pic"));
    keep_for_fuzzing(bytes);
    QVERIFY(write_file(file, bytes));
    QFile grown(file);
    QVERIFY(grown.resize(bytes.size() + hole));
    const QString said = fitted_within(file, megabytes);
    if (refusal.isEmpty())
        QVERIFY2(said.isEmpty(), qPrintable(said));
    else
        QVERIFY2(said.contains(refusal), qPrintable(said));
}

QTEST_MAIN(DecodingTest)
#include "tst_decoding.moc"
