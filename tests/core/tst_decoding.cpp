// Picture files through the core's decoders, as the window and zft read
// them: told apart by their bytes, PNG's many layouts as Qt reads them too,
// plain-worded refusals for damaged files, and scaling down by area.
#include <QBuffer>
#include <QImageWriter>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>
#include <turbojpeg.h>

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
    void reductionAveragesWhatEachPixelCovers();
    void fitDecodesLargeJpegsAtAReducedScale();

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
    QTest::newRow("text") << QByteArray("just some words\n") << u"not a picture in a format this program reads"_qs;
    QTest::newRow("PNG of 0 × 0") << with(png, 16, QByteArray(8, '\0')) << u"the picture has no pixels (0 × 0)"_qs;
    QTest::newRow("PNG cut in its pixels") << png.left(png.size() - 40) << u"the file stops inside the PNG data"_qs;
    QTest::newRow("PNG with a damaged chunk") << damagedChunk << u"the PNG data is damaged"_qs;
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
    const QString file = path(QStringLiteral("damaged.pic"));
    QVERIFY(write_file(file, bytes));
    const QString said = refusal(file);
    QVERIFY2(said.startsWith(QStringLiteral("Cannot ")) && said.contains(file), qPrintable(said));
    QVERIFY2(said.contains(reason), qPrintable(said));
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
    QVERIFY(write_file(path(QStringLiteral("large.jpg")), encoded(flat, "jpeg", 95)));
    const core::Picture fitted = core::load_picture_within(core::system_files(), path(QStringLiteral("large.jpg")).toStdString(), {999, 999});
    QVERIFY(fitted.size() == (core::Size{999, 749}));
    for (const auto& [x, y] : {std::pair{0, 0}, {998, 748}, {500, 300}}) {
        const core::Argb c = fitted.pixel(x, y);
        QVERIFY(qAbs(core::red_of(c) - 200) <= 2 && qAbs(core::green_of(c) - 120) <= 2 && qAbs(core::blue_of(c) - 40) <= 2);
    }
}

QTEST_MAIN(DecodingTest)
#include "tst_decoding.moc"
