// The gdk-pixbuf loader as gdk-pixbuf programs meet it: through the loader
// cache made for the build tree, and the file type made from the program's
// MIME package, as an installed system has them. It must read every
// well-formed file pixel for pixel, tell the size before the pixels, take a
// file in pieces of any size, and end every damaged one in a GError.
// GLib's headers first: they name a member "signals", which Qt's headers
// define as a keyword.
#include <gdk-pixbuf/gdk-pixbuf.h>
#include <gio/gio.h>

#include <QDirIterator>
#include <QProcess>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QtTest>

#include "tests/format/reader_properties.h"
#include "tests/cli/cli_support.h"

using clitest::with;
using testing::asymmetric;
using testing::write_file;

class PixbufLoaderTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void reads_data();
    void reads();
    void inPieces_data();
    void inPieces();
    void damaged_data();
    void damaged();
    void corpus();
    void fileType_data();
    void fileType();

private:
    QString path(const QString& name) const { return dir_.filePath(name); }
    QTemporaryDir dir_;
};

namespace {

const QByteArray kGood = testing::zft_bytes(asymmetric(6, 5));

std::string fault_of(const QByteArray& bytes) {
    return testing::file_fault(std::string_view(bytes.constData(), static_cast<std::size_t>(bytes.size())),
                           static_cast<std::uint64_t>(bytes.size()))
        .value_or(std::string());
}

// Whether the pixbuf shows `picture` exactly: RGB, no alpha, every pixel.
bool same_pixels(GdkPixbuf* pixbuf, const QImage& picture) {
    if (!pixbuf || gdk_pixbuf_get_has_alpha(pixbuf) || gdk_pixbuf_get_n_channels(pixbuf) != 3 ||
        gdk_pixbuf_get_width(pixbuf) != picture.width() || gdk_pixbuf_get_height(pixbuf) != picture.height())
        return false;
    const QByteArray rgb = testing::rgb_bytes(picture);
    const int rowBytes = 3 * picture.width();
    for (int y = 0; y < picture.height(); ++y) {
        const auto* row = gdk_pixbuf_read_pixels(pixbuf) + y * gdk_pixbuf_get_rowstride(pixbuf);
        if (memcmp(row, rgb.constData() + y * rowBytes, static_cast<std::size_t>(rowBytes)) != 0)
            return false;
    }
    return true;
}

struct Feed {
    GdkPixbufLoader* loader = gdk_pixbuf_loader_new_with_type("zft", nullptr);
    GError* error = nullptr;
    ~Feed() {
        g_clear_error(&error);
        if (loader) {
            gdk_pixbuf_loader_close(loader, nullptr);
            g_object_unref(loader);
        }
    }
    // Writes `bytes` in pieces of `piece`: whether all were taken.
    bool write(const QByteArray& bytes, int piece) {
        for (qsizetype at = 0; at < bytes.size(); at += piece) {
            const auto* data = reinterpret_cast<const guchar*>(bytes.constData()) + at;
            const auto size = static_cast<gsize>(std::min<qsizetype>(piece, bytes.size() - at));
            if (!gdk_pixbuf_loader_write(loader, data, size, &error))
                return false;
        }
        return true;
    }
    bool close() {
        const bool closed = gdk_pixbuf_loader_close(loader, error ? nullptr : &error);
        return closed && !error;
    }
    bool run(const QByteArray& bytes, int piece) { return write(bytes, piece) && close(); }
};

}  // namespace

void PixbufLoaderTest::initTestCase() {
    QVERIFY(dir_.isValid());
    // The file type as an install makes it, for GIO's sniffing.
    qputenv("XDG_DATA_DIRS", (path("share") + QStringLiteral(":/usr/share")).toUtf8());
    QVERIFY(QDir().mkpath(path("share/mime/packages")));
    QVERIFY(QFile::copy(QStringLiteral(ZFT_MIME_PACKAGE), path("share/mime/packages/zft-toolkit.xml")));
    QCOMPARE(QProcess::execute(QStringLiteral("update-mime-database"), {path("share/mime")}), 0);
    qputenv("GDK_PIXBUF_MODULE_FILE", ZFT_PIXBUF_CACHE);

    bool found = false;
    GSList* formats = gdk_pixbuf_get_formats();
    for (GSList* f = formats; f; f = f->next) {
        auto* format = static_cast<GdkPixbufFormat*>(f->data);
        gchar* name = gdk_pixbuf_format_get_name(format);
        found = found || g_strcmp0(name, "zft") == 0;
        g_free(name);
    }
    g_slist_free(formats);
    QVERIFY2(found, "no zft loader in " ZFT_PIXBUF_CACHE);
}

void PixbufLoaderTest::reads_data() {
    QTest::addColumn<QSize>("size");
    QTest::addColumn<QString>("name");
    QTest::newRow("1 × 1") << QSize(1, 1) << "p.zft";
    QTest::newRow("6 × 5") << QSize(6, 5) << "p.zft";
    QTest::newRow("65 × 7, rows padded in the pixbuf") << QSize(65, 7) << "p.zft";
    QTest::newRow("no .zft in the name") << QSize(6, 5) << "picture";
    QTest::newRow("upper-case name") << QSize(6, 5) << "P.ZFT";
}

void PixbufLoaderTest::reads() {
    QFETCH(QSize, size);
    QFETCH(QString, name);
    const QImage picture = asymmetric(size.width(), size.height());
    QVERIFY(write_file(path(name), testing::zft_bytes(picture)));
    const QByteArray file = path(name).toUtf8();

    int width = 0;
    int height = 0;
    GdkPixbufFormat* format = gdk_pixbuf_get_file_info(file.constData(), &width, &height);
    QVERIFY(format);
    gchar* formatName = gdk_pixbuf_format_get_name(format);
    QCOMPARE(QByteArray(formatName), QByteArray("zft"));
    g_free(formatName);
    QCOMPARE(QSize(width, height), size);

    GError* error = nullptr;
    GdkPixbuf* pixbuf = gdk_pixbuf_new_from_file(file.constData(), &error);
    QVERIFY2(pixbuf, error ? error->message : "");
    QVERIFY(same_pixels(pixbuf, picture));
    g_object_unref(pixbuf);
}

void PixbufLoaderTest::inPieces_data() {
    QTest::addColumn<int>("piece");
    for (int piece : {1, 3, 63, 64, 65, 196, 4096})
        QTest::newRow(qPrintable(QStringLiteral("%1 bytes").arg(piece))) << piece;
}

void PixbufLoaderTest::inPieces() {
    QFETCH(int, piece);
    const QImage picture = asymmetric(65, 7);
    const QByteArray bytes = testing::zft_bytes(picture);
    Feed feed;
    struct Seen {
        QList<QSize> sizes;
        int nextRow = 0;  // rows are told in order, each once
        bool inOrder = true;
    } seen;
    g_signal_connect(feed.loader, "size-prepared", G_CALLBACK(+[](GdkPixbufLoader*, int w, int h, Seen* s) {
                         s->sizes << QSize(w, h);
                     }),
                     &seen);
    g_signal_connect(feed.loader, "area-updated", G_CALLBACK(+[](GdkPixbufLoader*, int x, int y, int w, int h, Seen* s) {
                         s->inOrder = s->inOrder && x == 0 && w == 65 && y == s->nextRow;
                         s->nextRow = y + h;
                     }),
                     &seen);

    // The size is told once the header is in, before any pixel.
    const int headerPieces = (64 + piece - 1) / piece;
    QVERIFY(feed.write(bytes.left((headerPieces - 1) * piece), piece));
    QVERIFY(seen.sizes.isEmpty());
    QVERIFY(feed.write(bytes.mid((headerPieces - 1) * piece, piece), piece));
    QCOMPARE(seen.sizes, QList<QSize>{QSize(65, 7)});

    QVERIFY(feed.write(bytes.mid(headerPieces * piece), piece));
    QVERIFY2(feed.close(), feed.error ? feed.error->message : "");
    QCOMPARE(seen.sizes.size(), 1);
    QVERIFY(seen.inOrder);
    QCOMPARE(seen.nextRow, 7);
    QVERIFY(same_pixels(gdk_pixbuf_loader_get_pixbuf(feed.loader), picture));
}

void PixbufLoaderTest::damaged_data() {
    QTest::addColumn<QByteArray>("bytes");
    QTest::newRow("empty") << QByteArray();
    QTest::newRow("shorter than the header") << kGood.left(63);
    QTest::newRow("header only") << kGood.left(64);
    QTest::newRow("cut short") << kGood.chopped(1);
    QTest::newRow("one byte too many") << kGood + 'x';
    QTest::newRow("version 2A") << with(kGood, 0, "2A");
    QTest::newRow("month 13") << with(kGood, 2, "13");
    QTest::newRow("day 00") << with(kGood, 4, "00");
    QTest::newRow("year 2k04") << with(kGood, 6, "2k04");
    QTest::newRow("width 000") << with(kGood, 58, "000");
    QTest::newRow("height -05") << with(kGood, 61, "-05");
    QTest::newRow("width grown, length kept") << with(kGood, 58, "999");
}

void PixbufLoaderTest::damaged() {
    QFETCH(QByteArray, bytes);
    const QString expected = QStringLiteral("Cannot read the ZFT picture: ") + QString::fromStdString(fault_of(bytes));
    for (int piece : {1, 4096}) {
        Feed feed;
        QVERIFY(!feed.run(bytes, piece));
        QVERIFY(feed.error);
        QVERIFY(g_error_matches(feed.error, GDK_PIXBUF_ERROR, GDK_PIXBUF_ERROR_CORRUPT_IMAGE));
        QCOMPARE(QString::fromUtf8(feed.error->message), expected);
    }
    // Opened by name as a viewer does: an error, never a picture.
    QVERIFY(write_file(path("damaged.zft"), bytes));
    GError* error = nullptr;
    GdkPixbuf* pixbuf = gdk_pixbuf_new_from_file(path("damaged.zft").toUtf8().constData(), &error);
    QVERIFY(!pixbuf);
    QVERIFY(error && *error->message);
    g_error_free(error);
}

void PixbufLoaderTest::corpus() {
    // The readers' fuzz corpus, and damaged copies of good files made here,
    // the same every run: a picture exactly when the format finds no fault.
    QList<QByteArray> files;
    QDirIterator it(QStringLiteral(ZFT_CORPUS), QDir::Files, QDirIterator::Subdirectories);
    while (it.hasNext())
        files << testing::contents(it.next());
    QRandomGenerator random(20041109);
    const QList<QByteArray> seeds = {kGood, testing::zft_bytes(asymmetric(1, 1)), testing::zft_bytes(asymmetric(17, 3))};
    for (int i = 0; i < 150; ++i) {
        QByteArray bytes = seeds[i % seeds.size()];
        if (i % 3 == 0)
            bytes[random.bounded(64)] = static_cast<char>(random.bounded(256));
        else if (i % 3 == 1)
            bytes.truncate(random.bounded(static_cast<int>(bytes.size()) + 1));
        else
            bytes[58 + random.bounded(6)] = static_cast<char>('0' + random.bounded(10));
        files << bytes;
    }
    int good = 0;
    for (const QByteArray& bytes : files) {
        Feed feed;
        const bool read = feed.run(bytes, 1 + static_cast<int>(random.bounded(300)));
        QCOMPARE(read, fault_of(bytes).empty());
        good += read;
    }
    QVERIFY(good > 0 && good < files.size());
}

void PixbufLoaderTest::fileType_data() {
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("type");
    QTest::newRow("ZFT named .zft") << kGood << "p.zft" << "image/x-zft";
    QTest::newRow("ZFT without a name") << kGood << QString() << "image/x-zft";
    QTest::newRow("ZFT of grey pixels, all text") << testing::zft_bytes(testing::filled(9, 9, qRgb(65, 65, 65)))
                                                   << QString() << "image/x-zft";
    QTest::newRow("a letter starting 1A0") << QByteArray("1A09032004 a letter, not a picture ") + QByteArray(200, '.')
                                           << QString() << "text/plain";
    QTest::newRow("month 20") << with(kGood, 2, "20") << QString() << "application/octet-stream";
}

void PixbufLoaderTest::fileType() {
    QFETCH(QByteArray, bytes);
    QFETCH(QString, name);
    QFETCH(QString, type);
    const QByteArray file = name.toUtf8();
    gchar* guessed = g_content_type_guess(name.isEmpty() ? nullptr : file.constData(),
                                          reinterpret_cast<const guchar*>(bytes.constData()),
                                          static_cast<gsize>(bytes.size()), nullptr);
    gchar* mime = g_content_type_get_mime_type(guessed);
    QCOMPARE(QString::fromUtf8(mime), type);
    g_free(mime);
    g_free(guessed);
}

QTEST_GUILESS_MAIN(PixbufLoaderTest)
#include "tst_pixbuf_loader.moc"
