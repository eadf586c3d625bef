// The gdk-pixbuf loader as gdk-pixbuf programs meet it: through the loader
// cache made for the build tree, and the file type made from the program's
// MIME package, as an installed system has them. It must read every
// well-formed file pixel for pixel, take a file in pieces of any size, tell
// nothing of a picture (its size neither) before the file has ended where
// its header says, and end every damaged one in a GError (the kinds of
// damage are tst_conformance's, over the corpus).
// GLib's headers first: they name a member "signals", which Qt's headers
// define as a keyword.
#include <gdk-pixbuf/gdk-pixbuf.h>
#include <gio/gio.h>

#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

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
    void noSizeOfRefused();
    void fileType_data();
    void fileType();

private:
    QString path(const QString& name) const { return dir_.filePath(name); }
    QTemporaryDir dir_;
};

namespace {

const QByteArray kGood = testing::zft_bytes(asymmetric(6, 5));

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
    QTest::newRow("6 × 5") << QSize(6, 5) << "p.zft";
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

    // Nothing is told until the file has ended where its header says.
    QVERIFY(feed.write(bytes, piece));
    QVERIFY(seen.sizes.isEmpty());
    QCOMPARE(seen.nextRow, 0);
    QVERIFY2(feed.close(), feed.error ? feed.error->message : "");
    QCOMPARE(seen.sizes, QList<QSize>{QSize(65, 7)});
    QVERIFY(seen.inOrder);
    QCOMPARE(seen.nextRow, 7);
    QVERIFY(same_pixels(gdk_pixbuf_loader_get_pixbuf(feed.loader), picture));
}

// gdk_pixbuf_get_file_info, by which file managers and dialogs size files,
// gives no size for a file the loader refuses (reads() checks a sound one).
void PixbufLoaderTest::noSizeOfRefused() {
    for (const QByteArray& bytes : {kGood + 'x', kGood.chopped(1)}) {
        QVERIFY(write_file(path(QStringLiteral("refused.zft")), bytes));
        int width = -1;
        int height = -1;
        gdk_pixbuf_get_file_info(path(QStringLiteral("refused.zft")).toUtf8().constData(), &width, &height);
        QCOMPARE(QSize(width, height), QSize());
    }
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
