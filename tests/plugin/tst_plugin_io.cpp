// The image plugin as a Qt 5 and as a Qt 6 program meet it: this source is
// built once against each Qt, and each program loads the plugin built for
// its Qt. A picture saved as ZFT must be the file `zft convert` writes for
// the same pixels, notice and date; a ZFT opened and saved again keeps its
// notice; and the plugin brings no other Qt into the program.
#include <QBuffer>
#include <QDate>
#include <QDir>
#include <QFile>
#include <QImageReader>
#include <QImageWriter>
#include <QProcess>
#include <QSaveFile>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QtTest>
#include <sys/resource.h>

class PluginIoTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void writes_data();
    void writes();
    void keepsNoticeAndDate();
    void refusesTooLarge();
    void failedWritesAreTold();
    void noOtherQt();

private:
    QString path(const QString& name) const { return dir_.filePath(name); }
    QTemporaryDir dir_;
};

namespace {

QStringList warnings;

void collect(QtMsgType type, const QMessageLogContext&, const QString& message) {
    if (type == QtWarningMsg)
        warnings << message;
}

// Runs the built zft; its exit status, -1 when it did not finish.
int zft(const QStringList& args) {
    QProcess process;
    process.start(QStringLiteral(ZFT_TOOL), args);
    if (!process.waitForFinished(60000))
        return -1;
    return process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
}

QByteArray contents(const QString& name) {
    QFile file(name);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// Every pixel a different colour; with alpha, opacity from 0 to 255 too.
QImage picture(int w, int h, bool alpha) {
    QImage image(w, h, alpha ? QImage::Format_ARGB32 : QImage::Format_RGB32);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            image.setPixel(x, y, qRgba(x * 37 % 256, y * 53 % 256, (x + y) * 11 % 256,
                                       alpha ? (x * 97 + y * 41) % 256 : 255));
    return image;
}

QImage with_notice(QImage image, const QString& notice) {
    image.setText(QStringLiteral("Copyright"), notice);
    return image;
}

}  // namespace

void PluginIoTest::initTestCase() {
    QVERIFY(dir_.isValid());
    // Only the build's plugins, each Qt's folder beside the other's, as
    // QT_PLUGIN_PATH names both after an install to another prefix: each Qt
    // must pass over the other's plugin.
    QCoreApplication::setLibraryPaths({QStringLiteral(ZFT_OTHER_PLUGINS), QStringLiteral(ZFT_PLUGINS)});
    QVERIFY(QImageReader::supportedImageFormats().contains("zft"));
    QVERIFY(QImageWriter::supportedImageFormats().contains("zft"));
    QVERIFY(QImageWriter::supportedMimeTypes().contains("image/x-zft"));
    qInstallMessageHandler(collect);
}

void PluginIoTest::writes_data() {
    QTest::addColumn<QImage>("image");
    QTest::addColumn<QString>("writerNotice");  // given to QImageWriter::setText
    QTest::addColumn<QString>("notice");        // what the file must hold
    QTest::newRow("opaque, no notice") << picture(6, 5, false) << QString() << QString();
    QTest::newRow("transparent pixels over the window colour") << picture(17, 9, true) << QString() << QString();
    QTest::newRow("indexed colours") << picture(6, 5, false).convertToFormat(QImage::Format_Indexed8) << QString()
                                     << QString();
    QTest::newRow("notice from the image's Copyright key")
        << with_notice(picture(6, 5, false), QStringLiteral("  © 2026 Ä. Painter  ")) << QString()
        << QStringLiteral("© 2026 Ä. Painter");
    QTest::newRow("notice from QImageWriter::setText, over the key's")
        << with_notice(picture(6, 5, false), QStringLiteral("(c) key")) << QStringLiteral("(c) writer")
        << QStringLiteral("(c) writer");
    QTest::newRow("notice past 48 characters") << with_notice(picture(2, 2, false), QString(60, u'n')) << QString()
                                               << QString(48, u'n');
    QTest::newRow("999 × 999") << picture(999, 999, true) << QString() << QString();
}

void PluginIoTest::writes() {
    QFETCH(QImage, image);
    QFETCH(QString, writerNotice);
    QFETCH(QString, notice);
    const QString out = path(QStringLiteral("saved.zft"));
    QFile::remove(out);
    QImageWriter writer(out);  // the format from the name, as "Save as" gives it
    if (!writerNotice.isEmpty())
        writer.setText(QStringLiteral("Copyright"), writerNotice);
    QVERIFY2(writer.write(image), qPrintable(writer.errorString()));
    QCOMPARE(zft({QStringLiteral("verify"), out}), 0);

    // zft convert on the same pixels, notice and date.
    const QString png = path(QStringLiteral("same.png"));
    const QString reference = path(QStringLiteral("reference.zft"));
    QFile::remove(reference);
    QVERIFY(image.save(png, "PNG"));
    const QString today = QDate::currentDate().toString(QStringLiteral("MM/dd/yyyy"));
    QCOMPARE(zft({QStringLiteral("convert"), QStringLiteral("--notice"), notice, QStringLiteral("--date"), today, png,
                  QStringLiteral("-o"), reference}),
             0);
    QCOMPARE(contents(out), contents(reference));

    QImageReader reader(out);
    const QImage read = reader.read();
    QCOMPARE(read.size(), image.size());
    QCOMPARE(read.text(QStringLiteral("Copyright")), notice);
    if (!image.hasAlphaChannel())
        QCOMPARE(read.convertToFormat(QImage::Format_RGB32), image.convertToFormat(QImage::Format_RGB32));
}

void PluginIoTest::keepsNoticeAndDate() {
    const QString png = path(QStringLiteral("in.png"));
    const QString original = path(QStringLiteral("original.zft"));
    QVERIFY(picture(4, 3, false).save(png, "PNG"));
    QCOMPARE(zft({QStringLiteral("convert"), QStringLiteral("--notice"), QStringLiteral("(c) 2004 Ann Painter"),
                  QStringLiteral("--date"), QStringLiteral("02/31/2004"), png, QStringLiteral("-o"), original}),
             0);

    QImageReader reader(original);
    QCOMPARE(reader.text(QStringLiteral("Copyright")), QStringLiteral("(c) 2004 Ann Painter"));
    const QImage image = reader.read();
    QCOMPARE(image.text(QStringLiteral("Copyright")), QStringLiteral("(c) 2004 Ann Painter"));
    QCOMPARE(image.text(QStringLiteral("Creation Time")), QStringLiteral("2004-02-31"));

    const QString again = path(QStringLiteral("again.zft"));
    QVERIFY(image.save(again));
    // Every date a file can hold is saved again, a 31 February among them.
    QCOMPARE(contents(again), contents(original));
}

void PluginIoTest::refusesTooLarge() {
    // Larger than a header can say: refused, with the reason in the log,
    // since QImageWriter has no way to take a plugin's own words.
    for (const QSize size : {QSize(1000, 1), QSize(1, 1000)}) {
        warnings.clear();
        QBuffer buffer;
        QVERIFY(buffer.open(QIODevice::WriteOnly));
        QImageWriter writer(&buffer, "zft");
        QVERIFY(!writer.write(picture(size.width(), size.height(), false)));
        QVERIFY(buffer.data().isEmpty());
        QVERIFY2(warnings.join(u'\n').contains(QStringLiteral("at most 999 × 999 pixels")),
                 qPrintable(warnings.join(u'\n')));
    }
}

// A write is done only when it is on the disk: a full one (/dev/full
// refuses every write as a full disk does) or a device that refuses part-way
// gives false, with the reason in the log.
void PluginIoTest::failedWritesAreTold() {
    warnings.clear();
    QImageWriter full(QStringLiteral("/dev/full"), "zft");
    QVERIFY(!full.write(picture(6, 5, false)));
    QVERIFY2(warnings.join(u'\n').contains(QStringLiteral("/dev/full: No space left on device")),
             qPrintable(warnings.join(u'\n')));

    class Refusing : public QBuffer {
    protected:
        qint64 writeData(const char* data, qint64 length) override {
            if (size() + length > 100) {
                setErrorString(QStringLiteral("the device is full"));
                return -1;
            }
            return QBuffer::writeData(data, length);
        }
    } refusing;
    QVERIFY(refusing.open(QIODevice::WriteOnly));
    warnings.clear();
    QImageWriter writer(&refusing, "zft");
    QVERIFY(!writer.write(picture(6, 5, false)));
    QVERIFY2(warnings.join(u'\n').contains(QStringLiteral("the device is full")), qPrintable(warnings.join(u'\n')));

    // A file the picture does not fit in (a file size limit, whose SIGXFSZ
    // ends a Qt program): the system's reason, and nothing of the picture left
    // in a file QImageWriter has emptied through a link; through QSaveFile,
    // the old file whole, also in a program that commits whatever write() said.
    const QString old = path(QStringLiteral("old.zft"));
    const QString link = path(QStringLiteral("link.zft"));
    QVERIFY(picture(4, 3, false).save(old) && QFile::link(old, link));
    const QByteArray before = contents(old);
    rlimit limit{};
    QCOMPARE(getrlimit(RLIMIT_FSIZE, &limit), 0);
    const auto restore = qScopeGuard([was = limit] { setrlimit(RLIMIT_FSIZE, &was); });
    limit.rlim_cur = 100000;
    QCOMPARE(setrlimit(RLIMIT_FSIZE, &limit), 0);
    QSaveFile save(old);
    QVERIFY(save.open(QIODevice::WriteOnly));
    QVERIFY(!QImageWriter(&save, "zft").write(picture(600, 600, false)) && !save.commit());
    QCOMPARE(contents(old), before);
    warnings.clear();
    QVERIFY(!QImageWriter(link).write(picture(600, 600, false)));
    QVERIFY2(warnings.join(u'\n').endsWith(link + QStringLiteral(": File too large")), qPrintable(warnings.join(u'\n')));
    QCOMPARE(QFileInfo(old).size(), 0);
}

void PluginIoTest::noOtherQt() {
    // By now the plugin has read and written: a Qt 5 program holds no Qt 6
    // library, nor a Qt 6 program a Qt 5 one.
    const QByteArray maps = contents(QStringLiteral("/proc/self/maps"));
    QVERIFY(maps.contains(ZFT_OWN_QT));
    QVERIFY2(!maps.contains(ZFT_OTHER_QT), ZFT_OTHER_QT " is loaded");
}

QTEST_GUILESS_MAIN(PluginIoTest)
#include "tst_plugin_io.moc"
