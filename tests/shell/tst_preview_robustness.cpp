// Random, truncated and garbage files through the previewer and the format's
// readers: whatever the bytes, the preview paints what the file holds and no
// more, says what is wrong, and reads no further than the pixels.
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QtTest>
#include <random>

#include "shell/previewer.h"
#include "platform/units.h"
#include "shell/mainscreen.h"
#include "tests/format/random_files.h"
#include "tests/support/fixtures.h"
#include "tests/support/scripted_prompts.h"
#include "tests/support/session.h"

using platform::Answer;
using platform::MessageStyle;
using testing::Shown;

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

bool mentions_bytes(const QString& text, qint64 count) {
    return text.contains(QRegularExpression(QStringLiteral("\\b%1 bytes\\b").arg(count)));
}

// Previews `bytes` and checks all that can be said of the result without
// knowing how the file was made. Returns a description of the first thing
// wrong, or an empty string.
QString preview_and_check(Session& s, const QByteArray& bytes, int maxChecked = 1 << 30) {
    const QString path = s.write(kFileName, bytes);
    const qint64 length = bytes.size();
    const bool hasHeader = length >= 64;
    const int w = hasHeader ? testing::size_of(bytes.mid(58, 3)) : 0;
    const int h = hasHeader ? testing::size_of(bytes.mid(61, 3)) : 0;
    const qint64 promised = 64 + 3 * qint64(w) * h;
    const qint64 complete = hasHeader ? std::min<qint64>(qint64(w) * h, (length - 64) / 3) : 0;
    const bool cut = !hasHeader || length < promised;

    s.prompts.shown.clear();
    s.prompts.file(path);
    for (int boxes = int(hasHeader) + int(cut); boxes > 0; --boxes)
        s.prompts.button(Answer::Ok);
    shell::preview_zft_file(s.w);

    if (!s.prompts.unexpected.isEmpty() || !s.prompts.allAnswered())
        return QStringLiteral("prompts other than expected: %1").arg(s.prompts.unexpected.join(u'|'));
    if (s.w.slot1.isOpen())
        return QStringLiteral("slot 1 left open");
    const Shown& last = s.prompts.shown.back();
    if (hasHeader) {
        const Shown& box = s.prompts.shown[1];
        if (box.style != MessageStyle::Information || box.title != path)
            return QStringLiteral("no information box");
        const QStringList lines = box.text.split(QStringLiteral("\r\n"));
        if (lines.size() != 3 || lines[2].size() != 23 + 48)
            return QStringLiteral("information text not three lines: %1").arg(box.text);
        if (s.w.beeld->widthTwips() != 15.0f * w || s.w.beeld->heightTwips() != 15.0f * h ||
            s.w.window.widthTwips() != 15.0f * w + 165 || s.w.window.heightTwips() != 15.0f * h + 450)
            return QStringLiteral("beeld or window sized wrong for %1 x %2").arg(w).arg(h);
    }
    if (cut) {
        if (last.style != MessageStyle::Error || last.title != shell::kTitle)
            return QStringLiteral("no failure message");
        if (!mentions_bytes(last.text, length) || (hasHeader && !mentions_bytes(last.text, promised)))
            return QStringLiteral("the failure message lacks a byte count: %1").arg(last.text);
    }
    if (!hasHeader)
        return QString();

    // The complete pixels painted in file order, and nothing where the file ran out.
    const int background = platform::colour_value(s.w.window.surface()->backgroundColour().rgb());
    const auto* pixel = reinterpret_cast<const uchar*>(bytes.constData()) + 64;
    for (qint64 i = 0; i < std::min<qint64>(complete, maxChecked); ++i, pixel += 3) {
        if (s.shownAt(i, w) != pixel[0] + 256 * pixel[1] + 65536 * pixel[2])
            return QStringLiteral("pixel %1 of %2 x %3 not as the file holds it").arg(i).arg(w).arg(h);
    }
    for (qint64 i = complete; i < std::min<qint64>(qint64(w) * h, complete + maxChecked); ++i) {
        if (s.shownAt(i, w) != background)
            return QStringLiteral("pixel %1 of %2 x %3 painted past the end of the file").arg(i).arg(w).arg(h);
    }
    return QString();
}

}  // namespace

class PreviewRobustnessTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void randomFiles();
    void shortFilePromisingTheLargestPicture();
    void hugeFileReadNoFurtherThanItsPixels();
};

void PreviewRobustnessTest::initTestCase() {
    qInfo("random files from seed %u (set ZFT_SEED to repeat another run)", testing::seed());
}

void PreviewRobustnessTest::randomFiles() {
    testing::RandomFiles random(testing::seed() + 1);
    Session s;
    for (int n = 0; n < 300; ++n) {
        const QByteArray bytes = random.file();
        const QString wrong = preview_and_check(s, bytes, 5000);
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
    const QString wrong = preview_and_check(s, bytes);
    QVERIFY2(wrong.isEmpty(), qPrintable(wrong));
    QVERIFY(mentions_bytes(s.prompts.shown.back().text, 2994067));
}

void PreviewRobustnessTest::hugeFileReadNoFurtherThanItsPixels() {
    if (proc_value("io", "rchar") < 0 || proc_value("status", "VmHWM") < 0)
        QSKIP("this system does not report bytes read or peak memory in /proc/self");
    testing::RandomFiles random(testing::seed() + 3);
    Session s;
    const QByteArray whole = testing::header_bytes(999, 999, "") + random.bytes(3 * 999 * 999);
    QString wrong = preview_and_check(s, whole, 20000);  // the window and surface at their largest
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
    shell::preview_zft_file(s.w);
    const qint64 read = proc_value("io", "rchar") - readBefore;
    const qint64 peakGrowth = (proc_value("status", "VmHWM") - peakBefore) * 1024;

    QVERIFY2(s.prompts.unexpected.isEmpty() && s.prompts.allAnswered(), qPrintable(s.prompts.unexpected.join('|')));
    QCOMPARE(s.prompts.shown.size(), size_t(2));  // the information box, and no failure
    QVERIFY(!s.w.slot1.isOpen());
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
