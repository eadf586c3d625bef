// The "zft" image plugin as Qt programs meet it: through QImageReader and
// through the plugin's own capabilities(). It must read every well-formed
// file and claim nothing else, since the format has no magic number; how it
// judges each kind of damage is tst_conformance's, over the corpus.
#include <QImageIOPlugin>
#include <QImageReader>
#include <QPluginLoader>
#include <QTemporaryDir>
#include <QtTest>

#include "tests/cli/cli_support.h"
#include "tests/support/gif_writer.h"

using clitest::with;
using testing::asymmetric;
using testing::contents;
using testing::write_file;

class ZftPluginTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void reads_data();
    void reads();
    void readsFromASequentialDevice();
    void othersAreRefused_data();
    void othersAreRefused();
    void picturesNamedZftStillOpen_data();
    void picturesNamedZftStillOpen();
    void damageIsToldInTheLog_data();
    void damageIsToldInTheLog();
    void allocationLimit();

private:
    QString path(const QString& name) const { return dir_->filePath(name); }
    QImageIOPlugin* plugin_ = nullptr;
    std::unique_ptr<QTemporaryDir> dir_;
};

namespace {

const QImage kPicture = asymmetric(6, 5);
const QByteArray kGood = testing::zft_bytes(kPicture);

QByteArray encoded(const char* format) {
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    kPicture.save(&buffer, format);
    return buffer.data();
}

QByteArray gif() {
    QImage indexed = kPicture.convertToFormat(QImage::Format_Indexed8);
    return testing::gif_bytes(indexed, -1);
}

// A pipe-like device: Qt cannot ask it for its size or seek in it.
class Sequential : public QIODevice {
public:
    void setData(const QByteArray& data) { data_ = data; }
    bool isSequential() const override { return true; }
    qint64 bytesAvailable() const override { return data_.size() - at_ + QIODevice::bytesAvailable(); }

protected:
    qint64 readData(char* data, qint64 max) override {
        const qint64 n = std::min(max, data_.size() - at_);
        std::copy_n(data_.constData() + at_, n, data);
        at_ += n;
        return n;
    }
    qint64 writeData(const char*, qint64) override { return -1; }

private:
    QByteArray data_;
    qint64 at_ = 0;
};

QStringList warnings;

void collect(QtMsgType type, const QMessageLogContext&, const QString& message) {
    if (type == QtWarningMsg)
        warnings << message;
}

}  // namespace

void ZftPluginTest::initTestCase() {
    const QString file = QStringLiteral(ZFT_PLUGINS "/imageformats/libzft.so");
    QVERIFY2(QFile::exists(file), qPrintable(file));
    QCoreApplication::addLibraryPath(QStringLiteral(ZFT_PLUGINS));
    QVERIFY(QImageReader::supportedImageFormats().contains("zft"));
    QVERIFY(QImageReader::supportedMimeTypes().contains("image/x-zft"));
    QPluginLoader loader(file);
    plugin_ = qobject_cast<QImageIOPlugin*>(loader.instance());
    QVERIFY2(plugin_, qPrintable(loader.errorString()));
    qInstallMessageHandler(collect);
}

void ZftPluginTest::init() {
    dir_ = std::make_unique<QTemporaryDir>();
    QVERIFY(dir_->isValid());
}

void ZftPluginTest::reads_data() {
    QTest::addColumn<QSize>("size");
    QTest::addColumn<QString>("name");
    QTest::newRow("6 × 5") << QSize(6, 5) << "p.zft";
    QTest::newRow("no .zft in the name") << QSize(6, 5) << "picture.dat";
    QTest::newRow("upper-case name") << QSize(6, 5) << "P.ZFT";
}

void ZftPluginTest::reads() {
    QFETCH(QSize, size);
    QFETCH(QString, name);
    const QImage picture = asymmetric(size.width(), size.height());
    QVERIFY(write_file(path(name), testing::zft_bytes(picture)));
    QImageReader reader(path(name));
    QVERIFY(reader.canRead());
    QCOMPARE(reader.format(), QByteArray("zft"));
    QCOMPARE(reader.size(), size);  // from the header, before reading
    QCOMPARE(reader.imageFormat(), QImage::Format_RGB888);
    const QImage image = reader.read();
    QVERIFY2(!image.isNull(), qPrintable(reader.errorString()));
    QCOMPARE(image.convertToFormat(QImage::Format_RGB32), picture);
}

void ZftPluginTest::readsFromASequentialDevice() {
    Sequential device;
    device.setData(testing::zft_bytes(asymmetric(65, 7)));
    QVERIFY(device.open(QIODevice::ReadOnly));
    QImageReader reader(&device);
    const QImage image = reader.read();
    QVERIFY2(!image.isNull(), qPrintable(reader.errorString()));
    QCOMPARE(image.convertToFormat(QImage::Format_RGB32), asymmetric(65, 7));

    // Its length is unknown until the end: the header is judged, and a
    // picture that stops short then fails to read.
    Sequential cut;
    cut.setData(testing::zft_bytes(asymmetric(65, 7)).chopped(1));
    QVERIFY(cut.open(QIODevice::ReadOnly));
    QImageReader cutReader(&cut, "zft");
    QVERIFY(cutReader.read().isNull());
}

void ZftPluginTest::othersAreRefused_data() {
    QTest::addColumn<QByteArray>("bytes");
    QTest::newRow("PNG") << encoded("PNG");
    QTest::newRow("JPEG") << encoded("JPG");
    QTest::newRow("BMP") << encoded("BMP");
    QTest::newRow("GIF") << gif();
    QTest::newRow("PPM") << encoded("PPM");
    QTest::newRow("text starting 1A") << QByteArray("1A09032004 a letter, not a picture ") + QByteArray(200, '.');
    QTest::newRow("a ZFT file cut short") << kGood.chopped(1);
}

void ZftPluginTest::othersAreRefused() {
    QFETCH(QByteArray, bytes);
    QVERIFY(write_file(path("x.zft"), bytes));
    QVERIFY(write_file(path("x.bin"), bytes));

    QFile file(path("x.bin"));
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(plugin_->capabilities(&file, QByteArray()), QImageIOPlugin::Capabilities());
    QCOMPARE(plugin_->capabilities(&file, "zft"), QImageIOPlugin::Capabilities());
    std::unique_ptr<QImageIOHandler> handler(plugin_->create(&file, "zft"));
    QVERIFY(!handler->canRead());
    QImage image;
    QVERIFY(!handler->read(&image));
    QCOMPARE(file.pos(), 0);

    QImageReader detect(path("x.bin"));
    QVERIFY(detect.format() != "zft");
    QImageReader named(path("x.zft"));
    QVERIFY(named.format() != "zft");
}

void ZftPluginTest::picturesNamedZftStillOpen_data() {
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QByteArray>("format");
    QTest::newRow("PNG") << encoded("PNG") << QByteArray("png");
    QTest::newRow("BMP") << encoded("BMP") << QByteArray("bmp");
    QTest::newRow("GIF") << gif() << QByteArray("gif");
}

void ZftPluginTest::picturesNamedZftStillOpen() {
    QFETCH(QByteArray, bytes);
    QFETCH(QByteArray, format);
    QVERIFY(write_file(path("mislabelled.zft"), bytes));
    QImageReader reader(path("mislabelled.zft"));
    QCOMPARE(reader.format(), format);
    QCOMPARE(reader.read().convertToFormat(QImage::Format_RGB32), kPicture);
}

// Qt says no more than "Unsupported image format" of a file no plugin takes:
// one asked for by its name as ZFT that starts as a ZFT file but is damaged
// gets its reason in the log, once; another kind of file under the name is
// no news worth a warning.
void ZftPluginTest::damageIsToldInTheLog_data() {
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QByteArray>("logged");  // empty: no warning
    QTest::newRow("cut short") << kGood.chopped(1) << QByteArray("file is 153 bytes; its header promises 154 (cut short)");
    QTest::newRow("one byte too many") << kGood + 'x' << QByteArray("(trailing bytes)");
    QTest::newRow("month 00") << with(kGood, 2, "00") << QByteArray("month is \"00\"");
    QTest::newRow("width 000") << with(kGood, 58, "000") << QByteArray("width is \"000\"");
    QTest::newRow("a letter starting 1A") << QByteArray("1A09032004 a letter, not a picture ") + QByteArray(200, '.')
                                          << QByteArray("width is");
    QTest::newRow("a PNG") << encoded("PNG") << QByteArray();
    QTest::newRow("empty") << QByteArray() << QByteArray();
}

void ZftPluginTest::damageIsToldInTheLog() {
    QFETCH(QByteArray, bytes);
    QFETCH(QByteArray, logged);
    QVERIFY(write_file(path("x.zft"), bytes));
    warnings.clear();
    QImageReader named(path("x.zft"));
    QVERIFY(named.format() != "zft");
    named.read();  // another format's picture under the name, or nothing
    if (logged.isEmpty()) {
        QVERIFY2(warnings.isEmpty(), qPrintable(warnings.join(u'\n')));
    } else {
        QCOMPARE(warnings.size(), 1);
        QVERIFY2(warnings[0].startsWith("Cannot read the ZFT picture " + path("x.zft") + ": ") &&
                     warnings[0].contains(QString::fromUtf8(logged)),
                 qPrintable(warnings[0]));
    }
}

void ZftPluginTest::allocationLimit() {
    const int limit = QImageReader::allocationLimit();
    QVERIFY(write_file(path("big.zft"), testing::zft_bytes(asymmetric(999, 400))));
    QImageReader::setAllocationLimit(1);  // MB; the picture needs 1.2
    QImageReader refused(path("big.zft"));
    QCOMPARE(refused.size(), QSize(999, 400));
    const bool read = !refused.read().isNull();
    QImageReader::setAllocationLimit(limit);
    QVERIFY(!read);
    QImageReader allowed(path("big.zft"));
    QCOMPARE(allowed.read().size(), QSize(999, 400));
}

QTEST_MAIN(ZftPluginTest)
#include "tst_zft_plugin.moc"
