// Random, truncated and garbage files through the previewer, and the
// conformance corpus (tests/format/corpus, its "previewer:" lines):
// whatever the bytes, the preview paints what the file holds and no more,
// says what is wrong, and reads no further than the pixels.
#include <QTemporaryDir>
#include <QtTest>
#include <random>

#include "shell/previewer.h"
#include "platform/units.h"
#include "shell/mainscreen.h"
#include "tests/format/random_files.h"
#include "tests/support/finished.h"
#include "tests/support/fixtures.h"
#include "tests/support/outcome.h"
#include "tests/support/scripted_prompts.h"
#include "tests/support/session.h"

using platform::Answer;

namespace {

const QString kFileName = QStringLiteral("file.zft");

// One number from /proc/self/<file>, for example "rchar" from io; -1 when the
// system does not tell.
qint64 proc_value(const char* file, const QByteArray& key) {
    QFile proc(QStringLiteral("/proc/self/%1").arg(QLatin1String(file)));
    if (!proc.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray& line : proc.readAll().split('\n')) {
        if (line.startsWith(key + ':'))
            return line.mid(key.size() + 1).trimmed().split(' ').front().toLongLong();
    }
    return -1;
}

// A main window after loading, shown, and where the previewer paints.
struct Session : testing::Session {
    // The colour shown where the previewer paints the pixel at `index` in
    // file order, in a picture `width` pixels wide.
    int shownAt(qint64 index, int width) {
        return surface().readPixel(45.0f + 15 * (1 + index % width), 45.0f + 15 * (1 + index / width));
    }
};

// Previews `bytes` and checks all that can be said of the result without
// knowing how the file was made: the complete pixels painted as the header
// places them and nothing past them, and an end of file told where the file
// is shorter than its header promises. Returns what is wrong, or nothing.
QString preview_and_check(Session& s, const QByteArray& bytes) {
    const QSize size(testing::size_of(bytes.mid(58, 3)), testing::size_of(bytes.mid(61, 3)));
    const QString expected = testing::previewed(bytes, bytes.size() < 64 ? QSize() : size);
    const QString outcome = s.preview(s.write(kFileName, bytes), expected);
    return outcome == expected ? QString() : outcome + QStringLiteral(", not ") + expected;
}

}  // namespace

class PreviewRobustnessTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void corpus_data();
    void corpus();
    void randomFiles();
    void shortFilePromisingTheLargestPicture();
    void hugeFileReadNoFurtherThanItsPixels();
};

void PreviewRobustnessTest::initTestCase() {
    qInfo("random files from seed %u (set ZFT_SEED to repeat another run)", testing::seed());
}

void PreviewRobustnessTest::corpus_data() {
    QTest::addColumn<QString>("file");
    const QDir corpus(QStringLiteral(ZFT_CORPUS));
    const QStringList names = corpus.entryList({QStringLiteral("*.zft")}, QDir::Files, QDir::Name);
    QVERIFY2(names.size() >= 20, qPrintable(corpus.path()));
    for (const QString& name : names)
        QTest::newRow(qPrintable(QFileInfo(name).completeBaseName())) << corpus.filePath(name);
}

void PreviewRobustnessTest::corpus() {
    QFETCH(QString, file);
    const QString expected = testing::read_expectation(file.chopped(4) + u".expected"_qs).value(u"previewer"_qs);
    QVERIFY2(!expected.isEmpty(), "no previewer: line beside the file");
    QCOMPARE(Session().preview(file, expected), expected);
}

void PreviewRobustnessTest::randomFiles() {
    testing::RandomFiles random(testing::seed() + 1);
    Session s;
    for (int n = 0; n < 300; ++n) {
        const QByteArray bytes = random.file();
        const QString wrong = preview_and_check(s, bytes);
        if (!wrong.isEmpty())
            QFAIL(qPrintable(QStringLiteral("file %1 of seed %2: %3\n%4")
                                 .arg(n)
                                 .arg(testing::seed())
                                 .arg(wrong, QString::fromLatin1(bytes.left(200).toHex()))));
    }
}

void PreviewRobustnessTest::shortFilePromisingTheLargestPicture() {
    testing::RandomFiles random(testing::seed() + 2);
    Session s;
    // A row and a bit, then a cut inside the next pixel.
    const QByteArray bytes = testing::header_bytes(999, 999, "") + random.bytes(3 * 1000 + 2);
    // Told as an end of file: the file's length, and the 2,994,067 bytes promised.
    const QString wrong = preview_and_check(s, bytes);
    QVERIFY2(wrong.isEmpty(), qPrintable(wrong));
}

void PreviewRobustnessTest::hugeFileReadNoFurtherThanItsPixels() {
    if (proc_value("io", "rchar") < 0 || proc_value("status", "VmHWM") < 0)
        QSKIP("this system does not report bytes read or peak memory in /proc/self");
    testing::RandomFiles random(testing::seed() + 3);
    Session s;
    const QByteArray whole = testing::header_bytes(999, 999, "") + random.bytes(3 * 999 * 999);
    QString wrong = preview_and_check(s, whole);  // the window and surface at their largest
    QVERIFY2(wrong.isEmpty(), qPrintable(wrong));

    // The same picture with 512 MiB of garbage after it, most of it a hole in
    // the file so that the test costs no disk.
    const QString path = s.write(kFileName, whole + random.bytes(4096));
    QFile file(path);
    QVERIFY(file.resize(qint64(512) << 20));
    s.prompts.shown.clear();
    s.prompts.file(path).button(Answer::Ok);
    const qint64 readBefore = proc_value("io", "rchar");
    const qint64 peakBefore = proc_value("status", "VmHWM");
    QVERIFY(testing::finished(shell::preview_zft_file(s.w)));
    const qint64 read = proc_value("io", "rchar") - readBefore;
    const qint64 peakGrowth = (proc_value("status", "VmHWM") - peakBefore) * 1024;

    QVERIFY2(s.prompts.unexpected.isEmpty() && s.prompts.allAnswered(), qPrintable(s.prompts.unexpected.join('|')));
    QCOMPARE(s.prompts.shown.size(), size_t(2));  // the information box, and no failure
    QVERIFY(!testing::held_open(path));
    // The pixels, plus at most one buffer's worth read ahead and a little
    // that the window system may read meanwhile.
    QVERIFY2(read >= 64 + 3 * 999 * 999, qPrintable(QString::number(read)));
    QVERIFY2(read < 64 + 3 * 999 * 999 + (1 << 20), qPrintable(QString::number(read)));
    QVERIFY2(peakGrowth < (32 << 20), qPrintable(QString::number(peakGrowth)));
    const auto* last = reinterpret_cast<const uchar*>(whole.constData()) + whole.size() - 3;
    QCOMPARE(s.shownAt(999 * 999 - 1, 999), last[0] + 256 * last[1] + 65536 * last[2]);
}

QTEST_MAIN(PreviewRobustnessTest)
#include "tst_preview_robustness.moc"
