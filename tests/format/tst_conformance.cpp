// Every strict reader of ZFT files over the conformance corpus, corpus/: the
// core's reader, zft verify, zft export, the image plugin in a Qt 6 and in a
// Qt 5 program, the gdk-pixbuf loader, Pillow with pillow_zft, ImageMagick's
// convert with its coder. (GIMP's plug-in is glue of the same kind, but a
// GIMP takes seconds to start: its own test reads a damaged file. The
// previewer, the window's command, is held to its lines by
// tests/shell/tst_preview_robustness.) Beside each NAME.zft,
// NAME.expected says what they are to make of it, in lines like these:
//   strict: accepted 6x5 crc32 1a2b3c4d   a picture of that size whose red,
//                                         green and blue bytes have that CRC-32
//   strict: refused Damaged               the core fails with that kind, the
//                                         others refuse it in the core's words
//   previewer: painted 6x5 crc32 1a2b3c4d
//   previewer: painted 14 of 6x5 crc32 1a2b3c4d, then EndOfFile
//   previewer: refused EndOfFile          the header shown and W × H pixels
//                                         painted (read back from the window),
//                                         or only the first 14 before it says
//                                         the file ends, or no header at all
// and comments after #. A case is added as a file and its expectation
// (zft_make_corpus wrote the first ones). Damaged copies of the corpus's
// small good files, made here, are judged by every strict reader as by the
// core's.
//
// GLib's headers first: they name a member "signals", which Qt's headers
// define as a keyword.
#include <gdk-pixbuf/gdk-pixbuf.h>

#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QtTest>

#include "core/failure.h"
#include "core/zft_codec.h"
#include "tests/cli/cli_support.h"
#include "tests/support/outcome.h"

using testing::accepted;

namespace {

using Outcomes = QHash<QString, QString>;  // file → outcome

// Failure::Kind's values by name, in their order.
const char* const kKinds[] = {"Io", "Damaged", "Unsupported", "TooLarge", "EndOfFile", "OutOfMemory", "Exists"};

// "accepted 6x5 crc32 1a2b3c4d", or "refused Damaged: <reason>".
QString core_outcome(const QString& file) {
    try {
        const core::Picture picture = core::read_zft(core::system_files(), file.toStdString()).picture;
        // Its pixels are 0xAARRGGBB, as a QImage holds them.
        return accepted(QImage(reinterpret_cast<const uchar*>(picture.row(0)), picture.width(), picture.height(),
                               4 * picture.width(), QImage::Format_RGB32));
    } catch (const core::Failure& failure) {
        return QStringLiteral("refused %1: %2")
            .arg(QLatin1String(kKinds[int(failure.kind())]), QString::fromStdString(failure.reason()));
    }
}

// zft verify on all the files at once: "accepted" for a file it passes,
// "refused: <reason>" for each line it prints.
Outcomes verify_outcomes(const QStringList& files) {
    const clitest::Run run = clitest::run_zft(QStringList{QStringLiteral("verify")} + files);
    Outcomes outcomes;
    for (const QString& file : files)
        outcomes[file] = QStringLiteral("accepted");
    for (const QString& line : QString::fromUtf8(run.out).split(u'\n', Qt::SkipEmptyParts)) {
        const qsizetype colon = line.indexOf(QLatin1String(": "));
        outcomes[line.left(colon)] = QStringLiteral("refused: ") + line.mid(colon + 2);
    }
    if (!run.err.isEmpty() || run.status != (run.out.isEmpty() ? 0 : 1))
        for (const QString& file : files)
            outcomes[file] += QStringLiteral(" (exit status %1, %2)").arg(run.status).arg(QString::fromUtf8(run.err));
    return outcomes;
}

// A reader program's reading of all the files, a line "FILE<tab>outcome" each.
Outcomes reader_outcomes(const QString& reader, const QStringList& arguments, const QStringList& files) {
    const clitest::Run run = clitest::run_process(reader, arguments + files);
    Outcomes outcomes;
    for (const QString& file : files)
        outcomes[file] = QStringLiteral("no answer: ") + QString::fromUtf8(run.err);
    for (const QString& line : QString::fromUtf8(run.out).split(u'\n', Qt::SkipEmptyParts))
        outcomes[line.section(u'\t', 0, -2)] = line.section(u'\t', -1);
    return outcomes;
}

// A Qt program's reading, through the plugin built for its Qt.
Outcomes qt_outcomes(const QString& reader, const QStringList& files) { return reader_outcomes(reader, {}, files); }

// Pillow's and ImageMagick's readings, in one program: by "FILE<tab>HOST".
Outcomes host_outcomes(const QStringList& files) {
    return reader_outcomes(QStringLiteral("/usr/bin/python3"), {QStringLiteral(ZFT_HOST_READERS)}, files);
}

// zft export to PPM: the picture it writes, or "refused: <reason>".
QString export_outcome(const QString& file, const QString& ppm) {
    QFile::remove(ppm);
    const clitest::Run run = clitest::run_zft({QStringLiteral("export"), file, ppm});
    if (run.status == 0)
        return accepted(QImage(ppm, "PPM"));
    const QByteArray said = "zft export: " + file.toUtf8() + ": ";
    QString outcome = run.status == 1 && run.err.startsWith(said) && run.err.endsWith('\n')
                          ? QStringLiteral("refused: ") + QString::fromUtf8(run.err.mid(said.size()).chopped(1))
                          : QStringLiteral("refused, saying ") + QString::fromUtf8(run.err);
    if (QFile::exists(ppm))
        outcome += QStringLiteral(" (and wrote a picture all the same)");
    return outcome;
}

// The loader as gdk-pixbuf drives it, the file given in pieces of `piece`
// bytes: the picture, or "refused: <reason>" from its GError.
QString pixbuf_outcome(const QByteArray& bytes, qsizetype piece) {
    GdkPixbufLoader* loader = gdk_pixbuf_loader_new_with_type("zft", nullptr);
    if (!loader)
        return QStringLiteral("no zft loader in " ZFT_PIXBUF_CACHE);
    GError* error = nullptr;
    bool taken = true;
    for (qsizetype at = 0; taken && at < bytes.size(); at += piece)
        taken = gdk_pixbuf_loader_write(loader, reinterpret_cast<const guchar*>(bytes.constData()) + at,
                                        static_cast<gsize>(std::min(piece, bytes.size() - at)), &error);
    taken = gdk_pixbuf_loader_close(loader, taken ? &error : nullptr) && taken;
    QString outcome;
    if (GdkPixbuf* pixbuf = taken ? gdk_pixbuf_loader_get_pixbuf(loader) : nullptr) {
        const int width = gdk_pixbuf_get_width(pixbuf);
        const int height = gdk_pixbuf_get_height(pixbuf);
        outcome = gdk_pixbuf_get_has_alpha(pixbuf) || gdk_pixbuf_get_n_channels(pixbuf) != 3
                      ? QStringLiteral("a picture not in RGB")
                      : accepted(width, height,
                                 testing::rgb_crc(gdk_pixbuf_read_pixels(pixbuf), gdk_pixbuf_get_rowstride(pixbuf),
                                                  width, height));
    } else {
        const QString message = QString::fromUtf8(error ? error->message : "no error");
        const QString prefix = QStringLiteral("Cannot read the ZFT picture: ");
        outcome = error && g_error_matches(error, GDK_PIXBUF_ERROR, GDK_PIXBUF_ERROR_CORRUPT_IMAGE) &&
                          message.startsWith(prefix)
                      ? QStringLiteral("refused: ") + message.mid(prefix.size())
                      : QStringLiteral("refused, saying ") + message;
    }
    g_clear_error(&error);
    g_object_unref(loader);
    return outcome;
}

// In pieces small enough to cut the header and the pixels anywhere, and whole.
QString pixbuf_outcome(const QString& file) {
    const QByteArray bytes = testing::contents(file);
    const QString inPieces = pixbuf_outcome(bytes, 7);
    const QString whole = pixbuf_outcome(bytes, std::max<qsizetype>(1, bytes.size()));
    return inPieces == whole ? whole : QStringLiteral("in pieces: %1; whole: %2").arg(inPieces, whole);
}

}  // namespace

class ConformanceTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void corpus_data();
    void corpus();
    void damagedCopiesAreJudgedAlike();

private:
    // Where the strict readers other than the core's differ from it: as
    // many lines as readers that do.
    QStringList disagreements(const QString& file, const QString& core);

    QTemporaryDir dir_;
    QStringList files_;
    Outcomes verify_;
    Outcomes qt6_;
    Outcomes qt5_;
    Outcomes hosts_;
};

void ConformanceTest::initTestCase() {
    QVERIFY(dir_.isValid());
    qputenv("GDK_PIXBUF_MODULE_FILE", ZFT_PIXBUF_CACHE);
    qputenv("PYTHONPATH", ZFT_PYTHON_PATH);
    qputenv("MAGICK_CODER_MODULE_PATH", ZFT_MAGICK_CODER_MODULE_PATH);
    const QDir corpus(QStringLiteral(ZFT_CORPUS));
    for (const QString& name : corpus.entryList({QStringLiteral("*.zft")}, QDir::Files, QDir::Name))
        files_ << corpus.filePath(name);
    QVERIFY2(files_.size() >= 20, qPrintable(corpus.path()));
    for (const QString& name : corpus.entryList({QStringLiteral("*.expected")}, QDir::Files))
        QVERIFY2(corpus.exists(name.chopped(9) + QStringLiteral(".zft")), qPrintable(name + " has no file"));
    verify_ = verify_outcomes(files_);
    qt6_ = qt_outcomes(QStringLiteral(ZFT_QT6_READER), files_);
    qt5_ = qt_outcomes(QStringLiteral(ZFT_QT5_READER), files_);
    hosts_ = host_outcomes(files_);
}

QStringList ConformanceTest::disagreements(const QString& file, const QString& core) {
    const bool taken = core.startsWith(QLatin1String("accepted"));
    const QString refusal = QStringLiteral("refused: ") + core.mid(core.indexOf(QLatin1String(": ")) + 2);
    QStringList wrong;
    auto check = [&](const char* reader, const QString& outcome, const QString& expected) {
        if (outcome != expected)
            wrong << QStringLiteral("%1: %2\n    not %3").arg(QLatin1String(reader), outcome, expected);
    };
    check("zft verify", verify_.value(file), taken ? QStringLiteral("accepted") : refusal);
    check("zft export", export_outcome(file, dir_.filePath(QStringLiteral("exported.ppm"))), taken ? core : refusal);
    check("Qt 6 plugin", qt6_.value(file), taken ? core : QStringLiteral("refused"));
    check("Qt 5 plugin", qt5_.value(file), taken ? core : QStringLiteral("refused"));
    // The loader stops at the first byte past the picture, not knowing how many follow.
    static const QRegularExpression trailing(u"its header promises (\\d+) \\(trailing bytes\\)$"_qs);
    const QRegularExpressionMatch longer = trailing.match(core);
    const std::string loaderReason = core::longer_reason(longer.captured(1).toULongLong());
    check("gdk-pixbuf loader", pixbuf_outcome(file),
          taken ? core : longer.hasMatch() ? u"refused: "_qs + QString::fromStdString(loaderReason) : refusal);
    check("Pillow", hosts_.value(file + u"\tPillow"_qs), taken ? core : QStringLiteral("refused"));
    check("ImageMagick", hosts_.value(file + u"\tImageMagick"_qs), taken ? core : QStringLiteral("refused"));
    return wrong;
}

void ConformanceTest::corpus_data() {
    QTest::addColumn<QString>("file");
    for (const QString& file : files_)
        QTest::newRow(qPrintable(QFileInfo(file).completeBaseName())) << file;
}

void ConformanceTest::corpus() {
    QFETCH(QString, file);
    const QHash<QString, QString> expected = testing::read_expectation(file.chopped(4) + u".expected"_qs);
    const QString strict = expected.value(u"strict"_qs);
    const QString previewer = expected.value(u"previewer"_qs);
    QVERIFY2(expected.size() == 2 && !strict.isEmpty() && !previewer.isEmpty(),
             "no expectation beside the file, or one not in the words tst_conformance.cpp gives");

    const QString core = core_outcome(file);
    QStringList wrong = disagreements(file, core);
    // Of a refusal the expectation gives the kind; the words are the core's, for the others to say.
    if ((core.startsWith(u"refused"_qs) ? core.section(u": "_qs, 0, 0) : core) != strict)
        wrong.prepend(u"core::read_zft: %1\n    not %2"_qs.arg(core, strict));
    QVERIFY2(wrong.isEmpty(), qPrintable(wrong.join(u'\n')));
}

void ConformanceTest::damagedCopiesAreJudgedAlike() {
    QList<QByteArray> good;
    for (const QString& file : files_)
        if (QFileInfo(file).size() < 4096 && core_outcome(file).startsWith(QLatin1String("accepted")))
            good << testing::contents(file);
    QVERIFY(good.size() >= 3);

    // The same copies every run.
    QRandomGenerator random(20041109);
    QStringList made;
    for (int i = 0; i < 150; ++i) {
        QByteArray bytes = good[i % good.size()];
        switch (i % 3) {
        case 0:  // a byte of the header changed
            bytes[random.bounded(64)] = static_cast<char>(random.bounded(256));
            break;
        case 1:  // cut anywhere
            bytes.truncate(random.bounded(static_cast<int>(bytes.size()) + 1));
            break;
        default:  // a digit of a size changed, the length left
            bytes[58 + random.bounded(6)] = static_cast<char>('0' + random.bounded(10));
            break;
        }
        made << dir_.filePath(QStringLiteral("made-%1.zft").arg(i));
        QVERIFY(testing::write_file(made.back(), bytes));
    }
    verify_ = verify_outcomes(made);
    qt6_ = qt_outcomes(QStringLiteral(ZFT_QT6_READER), made);
    qt5_ = qt_outcomes(QStringLiteral(ZFT_QT5_READER), made);
    hosts_ = host_outcomes(made);

    int taken = 0;
    for (const QString& file : made) {
        const QString core = core_outcome(file);
        taken += core.startsWith(QLatin1String("accepted"));
        const QStringList wrong = disagreements(file, core);
        QVERIFY2(wrong.isEmpty(), qPrintable(file + u'\n' + wrong.join(u'\n')));
    }
    QVERIFY(taken > 0 && taken < made.size());
}

QTEST_MAIN(ConformanceTest)
#include "tst_conformance.moc"
