// zft convert, run as a process: the colour behind transparent pixels, the
// same bytes after another picture, the size limit and --fit, existing files,
// batches with failures, and the command-line errors. That the window writes
// the same bytes is tests/shell/tst_converter's.
#include <QDate>
#include <QDir>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <zlib.h>

#include "format/zft_format.h"
#include "tests/cli/cli_support.h"
#include "tests/support/bmp_writer.h"
#include "tests/support/gif_writer.h"

using clitest::Run;
using clitest::run_zft;
using testing::asymmetric;
using testing::contents;
using testing::write_file;

class CliConvertTest : public QObject {
    Q_OBJECT
private slots:
    void init();
    void transparentPixelsTakeTheWindowColour_data();
    void transparentPixelsTakeTheWindowColour();
    void sameBytesAfterAnotherPicture_data();
    void sameBytesAfterAnotherPicture();
    void sizeLimit_data();
    void sizeLimit();
    void fitKeepsProportions_data();
    void fitKeepsProportions();
    void fitScalesSmoothly();
    void fitReadsLargePicturesInLittleMemory_data();
    void fitReadsLargePicturesInLittleMemory();
    void refusalsSayWhatIsWrong_data();
    void refusalsSayWhatIsWrong();
    void existingOutputKeptUnlessForced();
    void batchGoesOnPastFailures();
    void twoInputsForOneOutput();
    void unwritableOutputLeavesNothing();
    void linkedOutputIsWrittenThrough();
    void closedStandardDescriptors();
    void fileSizeLimitFailsOneFile();
    void manyFilesInParallel();
    void defaultsAreTodayAndNoNotice();
    void progressOnlyOnATerminal();
    void commandLineErrors_data();
    void commandLineErrors();

private:
    QString path(const QString& name) const { return dir_->filePath(name); }
    std::unique_ptr<QTemporaryDir> dir_;
};

void CliConvertTest::init() {
    dir_ = std::make_unique<QTemporaryDir>();
    QVERIFY(dir_->isValid());
}

namespace {

// A PNG of w × h pixels of one grey, written a row at a time so that the
// test never holds the picture: the file is small, the picture is not.
bool write_large_png(const QString& path, int w, int h) {
    auto chunk = [](const char* type, const QByteArray& data) {
        QByteArray out;
        for (int shift : {24, 16, 8, 0})
            out += static_cast<char>(data.size() >> shift);
        const QByteArray body = type + data;
        const uLong crc = crc32(0, reinterpret_cast<const Bytef*>(body.constData()), static_cast<uInt>(body.size()));
        out += body;
        for (int shift : {24, 16, 8, 0})
            out += static_cast<char>(crc >> shift);
        return out;
    };
    QByteArray header;
    for (int value : {w, h})
        for (int shift : {24, 16, 8, 0})
            header += static_cast<char>(value >> shift);
    header += QByteArray::fromHex("0800000000");  // 8 bits, grey, no interlace
    z_stream z{};
    deflateInit(&z, 1);
    QByteArray row(1 + w, char(0x5a));
    row[0] = 0;  // no filter
    QByteArray compressed;
    char out[1 << 16];
    for (int y = 0; y <= h; ++y) {
        z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(row.constData()));
        z.avail_in = y < h ? static_cast<uInt>(row.size()) : 0;
        do {
            z.next_out = reinterpret_cast<Bytef*>(out);
            z.avail_out = sizeof out;
            deflate(&z, y < h ? Z_NO_FLUSH : Z_FINISH);
            compressed.append(out, static_cast<qsizetype>(sizeof out - z.avail_out));
        } while (z.avail_out == 0);
    }
    deflateEnd(&z);
    return write_file(path, QByteArray("\x89PNG\r\n\x1a\n", 8) + chunk("IHDR", header) + chunk("IDAT", compressed) +
                                chunk("IEND", {}));
}

// Runs zft and gives its peak memory in bytes, or -1 when it failed.
qint64 peak_memory_of_zft(const QStringList& args) {
    std::vector<QByteArray> bytes{QByteArray(ZFT_TOOL)};
    for (const QString& arg : args)
        bytes.push_back(arg.toLocal8Bit());
    std::vector<char*> argv;
    for (QByteArray& arg : bytes)
        argv.push_back(arg.data());
    argv.push_back(nullptr);
    pid_t pid = 0;
    if (posix_spawn(&pid, ZFT_TOOL, nullptr, nullptr, argv.data(), environ) != 0)
        return -1;
    int status = 0;
    rusage usage{};
    if (wait4(pid, &status, 0, &usage) != pid || !WIFEXITED(status) || WEXITSTATUS(status) != 0)
        return -1;
    return qint64(usage.ru_maxrss) * 1024;
}

}  // namespace

void CliConvertTest::transparentPixelsTakeTheWindowColour_data() {
    QTest::addColumn<QString>("background");  // empty: none given
    QTest::addColumn<QColor>("written");
    QTest::addColumn<bool>("fit");
    // Qt's own palette on a desktop without a theme: the window's colour is
    // zft's default.
    QTest::newRow("default, Qt's own palette") << QString() << QColor(239, 239, 239) << false;
    QTest::newRow("--background of a dark theme") << "#323232" << QColor(50, 50, 50) << false;
    QTest::newRow("--background, digits of either case") << "#A0b0C1" << QColor(160, 176, 193) << false;
    QTest::newRow("--background with --fit") << "#010203" << QColor(1, 2, 3) << true;
}

void CliConvertTest::transparentPixelsTakeTheWindowColour() {
    QFETCH(QString, background);
    QFETCH(QColor, written);
    QFETCH(bool, fit);
    QVERIFY(write_file(path("t.gif"), testing::transparent_stripes_gif()));
    QStringList args{"convert", "--notice", "n", "--date", "09/03/2004", path("t.gif"), "-o", path("t.zft")};
    if (!background.isEmpty())
        args << "--background" << background;
    if (fit)
        args << "--fit";
    const Run run = run_zft(args);
    QVERIFY2(run.status == 0, run.err.constData());
    const QByteArray bytes = contents(path("t.zft"));
    QCOMPARE(bytes.size(), 64 + 3 * 40 * 30);
    // (0, 0) is on the diagonal of transparent colour 3; (1, 0) is colour 1.
    auto rgb = [](int r, int g, int b) {
        return QByteArray(1, static_cast<char>(r)) + static_cast<char>(g) + static_cast<char>(b);
    };
    QCOMPARE(bytes.mid(64, 3), rgb(written.red(), written.green(), written.blue()));
    QCOMPARE(bytes.mid(67, 3), rgb(16, 242, 71));
}

void CliConvertTest::sameBytesAfterAnotherPicture_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<QByteArray>("source");
    for (const clitest::Picture& picture : clitest::pictures_leaving_pixels_unset())
        QTest::newRow(picture.row) << picture.name << picture.bytes;
}

// Every byte depends on the file, the notice, the date and the background
// colour alone: nothing from the picture before shows through where the file
// sets no pixel.
void CliConvertTest::sameBytesAfterAnotherPicture() {
    QFETCH(QString, name);
    QFETCH(QByteArray, source);
    QImage red(300, 300, QImage::Format_RGB32);
    red.fill(qRgb(255, 0, 0));
    QVERIFY(red.save(path("red.bmp")));
    QVERIFY(write_file(path(name), source));
    const QStringList args{"convert", "-j1", "--notice", "n", "--date", "09/03/2004"};
    QCOMPARE(run_zft(args + QStringList{path("red.bmp"), path(name), "-d", path("after")}).status, 0);
    QCOMPARE(run_zft(args + QStringList{path(name), "-d", path("alone")}).status, 0);
    const QString output = QFileInfo(name).completeBaseName() + ".zft";
    const QByteArray alone = contents(path("alone/" + output));
    QCOMPARE(contents(path("after/" + output)), alone);
    QCOMPARE(alone.mid(64, 3), QByteArray("\xEF\xEF\xEF"));
}

void CliConvertTest::sizeLimit_data() {
    QTest::addColumn<QSize>("size");
    QTest::addColumn<bool>("accepted");
    QTest::newRow("999 wide") << QSize(999, 2) << true;
    QTest::newRow("999 tall") << QSize(2, 999) << true;
    QTest::newRow("1000 wide") << QSize(1000, 2) << false;
    QTest::newRow("1000 tall") << QSize(2, 1000) << false;
}

void CliConvertTest::sizeLimit() {
    QFETCH(QSize, size);
    QFETCH(bool, accepted);
    QImage picture(size, QImage::Format_RGB32);
    picture.fill(Qt::darkGreen);
    QVERIFY(picture.save(path("p.png")));
    const Run run = run_zft({"convert", path("p.png"), "-o", path("p.zft")});
    QCOMPARE(run.status, accepted ? 0 : 1);
    QCOMPARE(QFile::exists(path("p.zft")), accepted);
    if (!accepted) {
        QVERIFY2(run.err.contains("p.png") && run.err.contains(QByteArray::number(std::max(size.width(),
                                                                                             size.height()))),
                 run.err.constData());
        QVERIFY(run.err.contains("--fit"));
        QCOMPARE(run.err.count('\n'), 1);
    } else {
        QCOMPARE(contents(path("p.zft")).size(), 64 + 3 * size.width() * size.height());
    }
}

void CliConvertTest::fitKeepsProportions_data() {
    QTest::addColumn<QSize>("size");
    QTest::addColumn<QSize>("fitted");
    QTest::newRow("2000 × 1000") << QSize(2000, 1000) << QSize(999, 500);
    QTest::newRow("1000 × 3000") << QSize(1000, 3000) << QSize(333, 999);
    QTest::newRow("1998 × 1998") << QSize(1998, 1998) << QSize(999, 999);
    QTest::newRow("long and thin") << QSize(5000, 2) << QSize(999, 1);
    QTest::newRow("small stays as it is") << QSize(640, 480) << QSize(640, 480);
}

void CliConvertTest::fitKeepsProportions() {
    QFETCH(QSize, size);
    QFETCH(QSize, fitted);
    QImage picture(size, QImage::Format_RGB32);
    picture.fill(qRgb(10, 13, 26));
    QVERIFY(picture.save(path("p.bmp")));
    const Run run = run_zft({"convert", "--fit", path("p.bmp"), "-o", path("p.zft")});
    QVERIFY2(run.status == 0, run.err.constData());
    const QByteArray bytes = contents(path("p.zft"));
    const zft::ZftHeader header = zft::decode_header(std::string_view(bytes.constData(), 64));
    QCOMPARE(QSize(header.width_value(), header.height_value()), fitted);
    QCOMPARE(bytes.size(), 64 + 3 * fitted.width() * fitted.height());
    // A picture of one colour stays that colour, to the last pixel.
    QCOMPARE(bytes.right(3), QByteArray("\x0a\x0d\x1a"));
}

void CliConvertTest::fitScalesSmoothly() {
    // Black and white columns one pixel wide: scaled smoothly they blend to
    // grey; dropping every other column would leave black or white.
    QImage picture(2000, 10, QImage::Format_RGB32);
    for (int x = 0; x < 2000; ++x)
        for (int y = 0; y < 10; ++y)
            picture.setPixel(x, y, x % 2 ? qRgb(255, 255, 255) : qRgb(0, 0, 0));
    QVERIFY(picture.save(path("stripes.png")));
    QCOMPARE(run_zft({"convert", "--fit", path("stripes.png"), "-o", path("s.zft")}).status, 0);
    const QByteArray bytes = contents(path("s.zft"));
    QCOMPARE(bytes.mid(58, 6), QByteArray("999005"));
    const auto middle = static_cast<unsigned char>(bytes.at(64 + 3 * (2 * 999 + 500)));
    QVERIFY2(middle > 64 && middle < 192, QByteArray::number(middle).constData());
}

void CliConvertTest::fitReadsLargePicturesInLittleMemory_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<QSize>("fitted");
    QTest::newRow("PNG, 10000 × 10000, row by row") << "p.png" << QSize(999, 999);
    QTest::newRow("BMP, 10000 × 10000, row by row") << "p.bmp" << QSize(999, 999);
    QTest::newRow("BMP, 1 bit, 100,000,000 × 1, a row in pieces") << "wide.bmp" << QSize(999, 1);
    QTest::newRow("JPEG, 8000 × 6000, at 1/8 scale") << "p.jpg" << QSize(999, 749);
}

// 100 megapixels are 400 MB as a picture in memory: the tool must never
// hold one whole to scale it down.
void CliConvertTest::fitReadsLargePicturesInLittleMemory() {
    QFETCH(QString, name);
    QFETCH(QSize, fitted);
    const QString picture = path(name);
    if (name.endsWith(".png")) {
        QVERIFY(write_large_png(picture, 10000, 10000));
    } else if (name == "wide.bmp") {
        // 1 bit a pixel: a 12.5 MB file whose one row is 400 MB expanded.
        const quint32 width = 100'000'000u, bytes = width / 8;
        QByteArray header("BM");
        for (quint32 value : {62 + bytes, 0u, 62u, 40u, width, 1u, 1u | 1u << 16, 0u, bytes, 0u, 0u, 2u, 0u, 0u, 0xFFFFFFu})
            for (int shift : {0, 8, 16, 24})
                header += static_cast<char>(value >> shift);
        QVERIFY(write_file(picture, header));
        QFile file(picture);
        QVERIFY(file.resize(62 + qint64(bytes)));
    } else if (name.endsWith(".bmp")) {
        // Rows of zeros, black, mostly a hole in the file, so the test costs no disk.
        const quint32 pixels = 30000u * 10000u;
        QByteArray header("BM");
        for (quint32 value : {54 + pixels, 0u, 54u, 40u, 10000u, 10000u, 1u | 24u << 16, 0u, pixels, 0u, 0u, 0u, 0u})
            for (int shift : {0, 8, 16, 24})
                header += static_cast<char>(value >> shift);
        QVERIFY(write_file(picture, header));
        QFile file(picture);
        QVERIFY(file.resize(54 + qint64(pixels)));
    } else {
        const QString cjpeg = QStandardPaths::findExecutable("cjpeg");
        if (cjpeg.isEmpty())
            QSKIP("cjpeg is not installed (package libjpeg-turbo-progs)");
        QFile ppm(path("p.ppm"));
        QVERIFY(ppm.open(QIODevice::WriteOnly));
        ppm.write("P6\n8000 6000\n255\n");
        QVERIFY(ppm.resize(ppm.size() + qint64(3) * 8000 * 6000));
        ppm.close();
        QCOMPARE(QProcess::execute(cjpeg, {"-outfile", picture, path("p.ppm")}), 0);
    }
    const qint64 peak = peak_memory_of_zft({"convert", "--fit", picture, "-o", path("p.zft")});
    QVERIFY2(peak > 0, "zft failed");
    QVERIFY2(peak < qint64(300) << 20, qPrintable(QStringLiteral("%1 MB at the peak").arg(peak >> 20)));
    QCOMPARE(contents(path("p.zft")).mid(58, 6),
             QByteArray::number(fitted.width()).rightJustified(3, '0') +
                 QByteArray::number(fitted.height()).rightJustified(3, '0'));
}

void CliConvertTest::refusalsSayWhatIsWrong_data() {
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<bool>("fit");
    QTest::addColumn<QByteArray>("reason");
    auto png = [](const QImage& image) {
        QBuffer buffer;
        buffer.open(QIODevice::WriteOnly);
        image.save(&buffer, "PNG");
        return buffer.data();
    };
    const QByteArray good = png(asymmetric(30, 20));
    QByteArray wrongCrc = good;
    wrongCrc[wrongCrc.indexOf("IDAT") + 8] ^= 0x20;
    QByteArray huge = good;
    huge.replace(16, 8, QByteArray::fromHex("00004e2000004e20"));

    testing::Bmp gradient;  // 300 × 300, 24 bits: 270,000 bytes of pixels
    gradient.width = gradient.height = 300;
    gradient.rows.assign(300, std::vector<std::uint32_t>(300));
    for (int y = 0; y < 300; ++y)
        for (int x = 0; x < 300; ++x)
            gradient.rows[y][x] = std::uint32_t(x * 255 / 299 << 16 | y * 255 / 299 << 8 | 128);
    testing::Bmp vast;
    vast.width = 3'000'000;
    vast.height = 2'000'000;
    vast.data = QByteArray(12, '\x40');
    testing::GifScreen wide;
    wide.width = wide.height = 65535;
    wide.palette = QList<QRgb>{qRgb(0, 0, 0), qRgb(255, 255, 255)};
    QByteArray damagedLzw = testing::gif_bytes(asymmetric(30, 20).convertToFormat(QImage::Format_Indexed8), -1);
    for (qsizetype i = damagedLzw.size() - 60; i < damagedLzw.size() - 20; ++i)
        damagedLzw[i] = char(0xFF);

    QTest::newRow("BMP cut short") << testing::bytes(gradient).left(100000) << false
                                   << QByteArray("the pixel data stops after 99,946 of 270,000 bytes");
    QTest::newRow("BMP of 3,000,000 × 2,000,000") << testing::bytes(vast) << false
                                                 << QByteArray("3000000 × 2000000 pixels, more than the 100 megapixels");
    QTest::newRow("GIF of 65535 × 65535") << testing::gif_bytes(wide) << true << QByteArray("65535 × 65535 pixels");
    QTest::newRow("GIF with damaged image data") << damagedLzw << false << QByteArray("damaged");
    QTest::newRow("PNG with a damaged chunk") << wrongCrc << false << QByteArray("the PNG data is damaged");
    // All of a progressive JPEG's coefficients are kept while it is decoded:
    // 286 MB for 100 megapixels at 4:2:0, refused rather than taken.
    const QString cjpeg = QStandardPaths::findExecutable("cjpeg");
    QTemporaryDir scratch;
    QFile ppm(scratch.filePath("p.ppm"));
    if (!cjpeg.isEmpty() && ppm.open(QIODevice::WriteOnly) && ppm.write("P6\n10000 10000\n255\n") > 0 &&
        ppm.resize(ppm.size() + qint64(300'000'000))) {
        ppm.close();
        QProcess::execute(cjpeg, {"-progressive", "-outfile", scratch.filePath("p.jpg"), ppm.fileName()});
        const QByteArray progressive = contents(scratch.filePath("p.jpg"));
        QTest::newRow("progressive JPEG of 10000 × 10000") << progressive << false << QByteArray("needs 286 MB");
        QTest::newRow("progressive JPEG of 10000 × 10000 with --fit") << progressive << true << QByteArray("needs 286 MB");
    }
    // 101 blocks of 1000 × 1000 on a screen of that size, their data empty.
    QByteArray manyBlocks = QByteArray("GIF89a") + QByteArray::fromHex("e803e803000000");
    for (int i = 0; i < 101; ++i)
        manyBlocks += QByteArray::fromHex("2c00000000e803e803000200");
    QTest::newRow("GIF of blocks of 101 megapixels") << manyBlocks + ";" << false << QByteArray("more than 100,000,000");
    QTest::newRow("PNG cut short") << good.left(good.size() - 30) << false << QByteArray("stops inside the PNG data");
    QTest::newRow("PNG of 20000 × 20000") << huge << false << QByteArray("20000 × 20000 pixels, more than the 100 megapixels");
    QTest::newRow("PNG of 20000 × 20000 with --fit") << huge << true << QByteArray("more than the 100 megapixels");
}

// One line on standard error, in the tool's words: no library prints.
void CliConvertTest::refusalsSayWhatIsWrong() {
    QFETCH(QByteArray, bytes);
    QFETCH(bool, fit);
    QFETCH(QByteArray, reason);
    QVERIFY(write_file(path("p.pic"), bytes));
    const Run run = run_zft(QStringList{"convert"} + (fit ? QStringList{"--fit"} : QStringList{}) +
                            QStringList{path("p.pic"), "-o", path("p.zft")});
    QCOMPARE(run.status, 1);
    QCOMPARE(run.err.count('\n'), 1);
    QVERIFY2(run.err.startsWith("zft convert: " + path("p.pic").toUtf8() + ": "), run.err.constData());
    QVERIFY2(run.err.contains(reason), run.err.constData());
    QVERIFY2(!run.err.contains("--fit"), run.err.constData());  // none of these can be reduced
    QVERIFY(!QFile::exists(path("p.zft")));
}

void CliConvertTest::existingOutputKeptUnlessForced() {
    QVERIFY(asymmetric(6, 5).save(path("p.bmp")));
    QVERIFY(write_file(path("p.zft"), "keep me"));
    Run run = run_zft({"convert", path("p.bmp"), "-o", path("p.zft")});
    QCOMPARE(run.status, 1);
    QCOMPARE(run.err, "zft convert: " + path("p.zft").toUtf8() + ": it exists already (--force replaces it)\n");
    QCOMPARE(contents(path("p.zft")), QByteArray("keep me"));

    run = run_zft({"convert", "--force", "--notice", "fixture", "--date", "09/03/2004", path("p.bmp"), "-o",
               path("p.zft")});
    QCOMPARE(run.status, 0);
    QCOMPARE(contents(path("p.zft")), testing::zft_bytes(asymmetric(6, 5)));
}

void CliConvertTest::batchGoesOnPastFailures() {
    QVERIFY(asymmetric(6, 5).save(path("good1.bmp")));
    QVERIFY(asymmetric(7, 3).save(path("good2.png")));
    QVERIFY(write_file(path("broken.jpg"), QByteArray("\xff\xd8\xff\xe0 this is no JPEG", 20)));
    QImage wide(1200, 3, QImage::Format_RGB32);
    wide.fill(Qt::red);
    QVERIFY(wide.save(path("wide.bmp")));
    QVERIFY(QDir().mkpath(path("out")));
    QVERIFY(write_file(path("out/kept.zft"), "old"));
    QVERIFY(asymmetric(2, 2).save(path("kept.bmp")));

    const QStringList inputs = {path("good1.bmp"), path("broken.jpg"), path("missing.gif"), path("wide.bmp"),
                                path("kept.bmp"), path("good2.png")};
    const Run run = run_zft(QStringList{"convert", "--date", "09/03/2004", "--notice", "fixture", "-d", path("out")} +
                        inputs);
    QCOMPARE(run.status, 1);
    const QList<QByteArray> lines = run.err.trimmed().split('\n');
    QCOMPARE(lines.size(), 4);
    // Each names the file at fault: the input, or the output kept.
    for (const QString& name : {path("broken.jpg"), path("missing.gif"), path("wide.bmp"), path("out/kept.zft")}) {
        const auto named = std::count_if(lines.begin(), lines.end(), [&](const QByteArray& l) {
            return l.startsWith("zft convert: " + name.toUtf8() + ": ");
        });
        QVERIFY2(named == 1, qPrintable(name));
    }
    QVERIFY(run.err.contains("missing.gif: No such file or directory"));
    QCOMPARE(QDir(path("out")).entryList(QDir::Files | QDir::Hidden, QDir::Name),
             QStringList({"good1.zft", "good2.zft", "kept.zft"}));
    QCOMPARE(contents(path("out/good1.zft")), testing::zft_bytes(asymmetric(6, 5)));
    QCOMPARE(contents(path("out/good2.zft")), testing::zft_bytes(asymmetric(7, 3)));
    QCOMPARE(contents(path("out/kept.zft")), QByteArray("old"));
}

void CliConvertTest::twoInputsForOneOutput() {
    QVERIFY(QDir().mkpath(path("a")) && QDir().mkpath(path("b")));
    QVERIFY(asymmetric(6, 5).save(path("a/x.bmp")));
    QVERIFY(asymmetric(5, 6).save(path("b/x.png")));
    const Run run = run_zft({"convert", path("a/x.bmp"), path("b/x.png"), "-d", path("out")});
    QCOMPARE(run.status, 1);
    QCOMPARE(run.err.count('\n'), 1);
    QVERIFY2(run.err.contains("b/x.png") && run.err.contains("a/x.bmp"), run.err.constData());
    QCOMPARE(contents(path("out/x.zft")).mid(58, 6), QByteArray("006005"));
}

void CliConvertTest::unwritableOutputLeavesNothing() {
    QVERIFY(asymmetric(6, 5).save(path("p.bmp")));
    Run run = run_zft({"convert", path("p.bmp"), "-o", path("nowhere/p.zft")});
    QCOMPARE(run.status, 1);
    QCOMPARE(run.err, "zft convert: " + path("nowhere/p.zft").toUtf8() + ": No such file or directory\n");

    // A folder, or a pipe, where the file would go: refused, and left as it was.
    QVERIFY(QDir().mkpath(path("out/p.zft")));
    QCOMPARE(::mkfifo(QFile::encodeName(path("out/q.zft")).constData(), 0600), 0);
    for (const char* name : {"out/p.zft", "out/q.zft"}) {
        run = run_zft({"convert", "--force", path("p.bmp"), "-o", path(name)});
        QCOMPARE(run.status, 1);
        QVERIFY2(run.err.contains("it is a folder") || run.err.contains("not a regular file"), run.err.constData());
    }
    QVERIFY(QFileInfo(path("out/p.zft")).isDir());
    QVERIFY(!QFileInfo(path("out/q.zft")).isFile() && QFileInfo::exists(path("out/q.zft")));

    // Standard output is a pipe here: /dev/stdout leads to it, and is refused.
    run = run_zft({"convert", "--force", path("p.bmp"), "-o", "/dev/stdout"});
    QCOMPARE(run.status, 1);
    QCOMPARE(run.err, QByteArray("zft convert: /dev/stdout: it is not a regular file (a device or a pipe)\n"));
    QVERIFY(run.out.isEmpty());

    // Names that are not there say so in the same form.
    QVERIFY(write_file(path("afile"), "a file"));
    run = run_zft({"convert", path("p.bmp"), "-d", path("afile/sub")});
    QCOMPARE(run.status, 1);
    QCOMPARE(run.err, "zft convert: " + path("afile/sub").toUtf8() + ": " + path("afile").toUtf8() +
                          " is not a folder\n");
    for (const char* option : {"-o", "-d"}) {
        run = run_zft({"convert", path("p.bmp"), option, ""});
        QCOMPARE(run.status, 1);
        QCOMPARE(run.err, QByteArray("zft convert: '': No such file or directory\n"));
    }
    QCOMPARE(QDir(dir_->path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot),
             QStringList({"afile", "out", "p.bmp"}));
}

// A symbolic link as the output is written through: the link stays, the file
// it leads to gets the picture.
void CliConvertTest::linkedOutputIsWrittenThrough() {
    QVERIFY(asymmetric(6, 5).save(path("p.bmp")));
    QVERIFY(QDir().mkpath(path("pictures")));
    QVERIFY(write_file(path("pictures/p.zft"), "old"));
    QVERIFY(QFile::link("pictures/p.zft", path("p.zft")));
    for (const char* out : {"p.zft", "plain.zft"}) {
        const Run run = run_zft({"convert", "--force", "--date", "09/03/2004", "p.bmp", "-o", out}, dir_->path());
        QVERIFY2(run.status == 0, run.err.constData());
    }
    QVERIFY(QFileInfo(path("p.zft")).isSymLink());
    QCOMPARE(contents(path("pictures/p.zft")), contents(path("plain.zft")));
    QCOMPARE(QDir(path("pictures")).entryList(QDir::Files | QDir::Hidden), QStringList{"p.zft"});
}

// Started with standard error (or output) closed, zft opens its files as
// always: a message never lands in a picture another thread is writing.
void CliConvertTest::closedStandardDescriptors() {
    QStringList good;
    QStringList inputs;
    for (int i = 0; i < 16; ++i) {
        good << QStringLiteral("g%1.bmp").arg(i);
        QVERIFY(asymmetric(200 + i, 150).save(path(good.last())));
        QVERIFY(write_file(path(QStringLiteral("b%1.jpg").arg(i)), QByteArray("\xff\xd8\xff\xe0 no JPEG", 14)));
        inputs << good.last() << QStringLiteral("b%1.jpg").arg(i);
    }
    const QString convert = "\"$0\" convert -j4 --date 09/03/2004 ";
    const Run run = clitest::run_script(convert + "-d out " + inputs.join(' ') + " 2>&-; echo $? >status\n" +
                                            convert + "-d alike " + good.join(' ') + "\n"
                                            "\"$0\" info out/g0.zft >&-; echo $? >>status",
                                        dir_->path());
    QCOMPARE(run.status, 0);
    QCOMPARE(contents(path("status")), QByteArray("1\n0\n"));
    QCOMPARE(QDir(path("out")).entryList(QDir::Files | QDir::Hidden).size(), good.size());
    for (int i = 0; i < good.size(); ++i) {
        const QString name = QStringLiteral("g%1.zft").arg(i);
        QCOMPARE(contents(path("out/" + name)), contents(path("alike/" + name)));
    }
}

// A file size limit of 512 bytes (the shell's "ulimit -f 1") stops one file
// of the batch half-way: that file fails with the reason and leaves nothing,
// and the files that fit are still written.
void CliConvertTest::fileSizeLimitFailsOneFile() {
    QVERIFY(asymmetric(4, 4).save(path("small1.bmp")));
    QVERIFY(asymmetric(40, 30).save(path("big.bmp")));
    QVERIFY(asymmetric(5, 3).save(path("small2.bmp")));
    const Run run = clitest::run_script(
        "ulimit -f 1; exec \"$0\" convert -j1 --notice fixture --date 09/03/2004 -d out small1.bmp big.bmp small2.bmp",
        dir_->path());
    QCOMPARE(run.status, 1);
    QCOMPARE(run.err, QByteArray("zft convert: out/big.zft: File too large\n"));
    QCOMPARE(QDir(path("out")).entryList(QDir::Files | QDir::Hidden, QDir::Name),
             QStringList({"small1.zft", "small2.zft"}));
    QCOMPARE(contents(path("out/small2.zft")), testing::zft_bytes(asymmetric(5, 3)));
}

void CliConvertTest::manyFilesInParallel() {
    QStringList args = {"convert", "--jobs", "4", "--notice", "fixture", "--date", "09/03/2004", "-d", path("out")};
    for (int i = 0; i < 24; ++i) {
        QVERIFY(asymmetric(3 + i, 2 + i % 5).save(path(QStringLiteral("p%1.bmp").arg(i))));
        args << path(QStringLiteral("p%1.bmp").arg(i));
    }
    const Run run = run_zft(args);
    QVERIFY2(run.status == 0, run.err.constData());
    QVERIFY(run.err.isEmpty());
    for (int i = 0; i < 24; ++i)
        QCOMPARE(contents(path(QStringLiteral("out/p%1.zft").arg(i))),
                 testing::zft_bytes(asymmetric(3 + i, 2 + i % 5)));
    // Written whole, under their names: no temporary file left behind.
    QCOMPARE(QDir(path("out")).entryList(QDir::Files | QDir::Hidden).size(), 24);
}

void CliConvertTest::defaultsAreTodayAndNoNotice() {
    QVERIFY(asymmetric(2, 2).save(path("p.bmp")));
    const QDate before = QDate::currentDate();
    QCOMPARE(run_zft({"convert", path("p.bmp"), "-o", path("p.zft")}).status, 0);
    const QDate after = QDate::currentDate();
    const QByteArray head = contents(path("p.zft")).left(64);
    QVERIFY2(head.mid(2, 8) == before.toString("MMddyyyy").toLatin1() ||
                 head.mid(2, 8) == after.toString("MMddyyyy").toLatin1(),
             head.constData());
    QCOMPARE(head.mid(10, 48), QByteArray(48, ' '));
}

void CliConvertTest::progressOnlyOnATerminal() {
    const QString script = QStandardPaths::findExecutable(QStringLiteral("script"));
    if (script.isEmpty())
        QSKIP("script (util-linux) is not installed: no terminal to run zft on");
    for (int i = 0; i < 3; ++i)
        QVERIFY(asymmetric(4, 4).save(path(QStringLiteral("p%1.bmp").arg(i))));
    const QString command = QStringLiteral("'%1' convert -d out p0.bmp p1.bmp missing.bmp p2.bmp").arg(ZFT_TOOL);
    QProcess process;
    process.setWorkingDirectory(dir_->path());
    process.start(script, {"-qec", command, "/dev/null"});
    QVERIFY(process.waitForFinished(60000));
    QCOMPARE(process.exitCode(), 1);
    const QByteArray shown = process.readAllStandardOutput();
    QVERIFY2(shown.contains("4/4"), shown.constData());
    QVERIFY2(shown.contains("zft convert: missing.bmp: No such file or directory"), shown.constData());
    QVERIFY2(shown.endsWith("zft convert: 3 converted, 1 failed\r\n"), shown.constData());

    // The same run without a terminal says nothing but what failed.
    const Run quiet = run_zft({"convert", "--force", "-d", "out", "p0.bmp", "p1.bmp", "p2.bmp"}, dir_->path());
    QCOMPARE(quiet.status, 0);
    QCOMPARE(quiet.err, QByteArray());
}

void CliConvertTest::commandLineErrors_data() {
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<QByteArray>("says");
    QTest::newRow("no input") << QStringList{"-o", "x.zft"} << QByteArray("no input");
    QTest::newRow("no output") << QStringList{"p.bmp"} << QByteArray("-o");
    QTest::newRow("both outputs") << QStringList{"p.bmp", "-o", "x.zft", "-d", "out"} << QByteArray("-o");
    QTest::newRow("-o with two inputs") << QStringList{"p.bmp", "p.bmp", "-o", "x.zft"} << QByteArray("-d");
    QTest::newRow("month 13") << QStringList{"--date", "13/01/2004", "p.bmp", "-o", "x.zft"} << QByteArray("13/01");
    QTest::newRow("day 32") << QStringList{"--date", "2004-01-32", "p.bmp", "-o", "x.zft"} << QByteArray("2004-01-32");
    QTest::newRow("year first with slashes") << QStringList{"--date", "2004/09/03", "p.bmp", "-o", "x.zft"}
                                             << QByteArray("YYYY-MM-DD or MM/DD/YYYY");
    QTest::newRow("no jobs") << QStringList{"--jobs", "0", "p.bmp", "-o", "x.zft"} << QByteArray("--jobs");
    for (const char* colour : {"red", "#12345", "#1234567", "#12345g", "123456", "# 12345"})
        QTest::addRow("background %s", colour) << QStringList{"--background", colour, "p.bmp", "-o", "x.zft"}
                                               << QByteArray("not a colour #RRGGBB");
    QTest::newRow("unknown option") << QStringList{"--colour", "p.bmp", "-o", "x.zft"} << QByteArray("colour");
    QTest::newRow("notice without text") << QStringList{"p.bmp", "-o", "x.zft", "--notice"}
                                         << QByteArray("notice");
    // A ZFT file under another picture's name would be taken for that picture.
    QTest::newRow("output named .png") << QStringList{"p.bmp", "-o", "k.png"} << QByteArray("zft export");
    QTest::newRow("output named .JPEG") << QStringList{"p.bmp", "-o", "k.JPEG"} << QByteArray("zft export");
    QTest::newRow("output named .tif") << QStringList{"p.bmp", "-o", "k.tif"} << QByteArray("zft export");
    QTest::newRow("standard input into a folder") << QStringList{"-", "-d", "out"} << QByteArray("-o OUT.zft");
}

void CliConvertTest::commandLineErrors() {
    QFETCH(QStringList, args);
    QFETCH(QByteArray, says);
    QVERIFY(asymmetric(2, 2).save(path("p.bmp")));
    const Run run = run_zft(QStringList{"convert"} + args, dir_->path());
    QCOMPARE(run.status, 2);
    QVERIFY2(run.err.contains(says), run.err.constData());
    QVERIFY(run.err.contains("zft convert --help"));
    QVERIFY(run.out.isEmpty());
    QCOMPARE(QDir(dir_->path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot), QStringList{"p.bmp"});
}

QTEST_MAIN(CliConvertTest)
#include "tst_cli_convert.moc"
