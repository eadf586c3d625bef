// Random, truncated and garbage files through the previewer and the format's
// readers: whatever the bytes, the preview paints what the file holds and no
// more, says what is wrong, and reads no further than the pixels.
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QtTest>
#include <random>

#include "conversion/previewer.h"
#include "platform/twips.h"
#include "shell/mainscreen.h"
#include "tests/previewer/reader_properties.h"
#include "tests/support/scripted_prompts.h"
#include "tests/support/session.h"

using platform::Answer;
using platform::MessageStyle;
using testing::Shown;

namespace {

const QString kFileName = QStringLiteral("file.zft");

// One number from /proc/self/<file>, for example "rchar" from io; -1 when the
// system does not tell.
qint64 procValue(const char* file, const QByteArray& key) {
    QFile proc(QStringLiteral("/proc/self/%1").arg(QLatin1String(file)));
    if (!proc.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray& line : proc.readAll().split('\n')) {
        if (line.startsWith(key + ':'))
            return line.mid(key.size() + 1).trimmed().split(' ').front().toLongLong();
    }
    return -1;
}

// How the previewer takes a size field: blanks skipped, then digits.
int sizeOf(const QByteArray& field) {
    int i = 0;
    while (i < field.size() && (field[i] == ' ' || field[i] == '\t'))
        ++i;
    int value = 0;
    for (; i < field.size() && field[i] >= '0' && field[i] <= '9'; ++i)
        value = value * 10 + (field[i] - '0');
    return value;
}

QByteArray sizeField(int n) { return QByteArray::number(n).rightJustified(3, '0'); }

class Generator {
public:
    explicit Generator(quint32 seed) : rng_(seed) {}

    int below(int n) { return std::uniform_int_distribution<int>(0, n - 1)(rng_); }
    QByteArray bytes(int n) {
        QByteArray out(n, '\0');
        for (char& c : out)
            c = char(below(256));
        return out;
    }

    // A file of one of the kinds a previewer meets: noise, a sound file cut
    // or extended, one with garbage in its size fields or anywhere in its
    // header, one that promises far more than it holds.
    QByteArray file() {
        const int w = below(21);
        const int h = below(21);
        QByteArray header = "1A" + QByteArray("12252001") + QByteArray("seed").leftJustified(48, ' ') +
                            sizeField(w) + sizeField(h);
        switch (below(5)) {
        case 0:
            return bytes(below(300));
        case 1:
            break;
        case 2: {
            static const QByteArray alphabet("0123456789 -+.x\t\0\xFF", 18);
            for (int i = 58; i < 64; ++i)
                header[i] = alphabet[below(alphabet.size())];
            break;
        }
        case 3:
            for (int n = 1 + below(5); n > 0; --n)
                header[below(64)] = char(below(256));
            break;
        case 4:
            header.replace(58, 6, below(2) ? QByteArray("999999") : "999" + sizeField(below(4)));
            return header + bytes(below(20000));
        }
        const int pixels = 3 * sizeOf(header.mid(58, 3)) * sizeOf(header.mid(61, 3));
        switch (below(3)) {
        case 0:
            return header + bytes(pixels);
        case 1:
            return (header + bytes(pixels)).left(below(64 + pixels + 1));
        default:
            return header + bytes(pixels + 1 + below(100));
        }
    }

private:
    std::mt19937 rng_;
};

// A main window after loading, shown, and where the previewer paints.
struct Session : testing::Session {
    // The colour shown where the previewer paints the pixel at `index` in
    // file order, in a picture `width` pixels wide.
    int shownAt(qint64 index, int width) {
        return surface().readPixel(45.0f + 15 * (1 + index % width), 45.0f + 15 * (1 + index / width));
    }
};

bool mentionsBytes(const QString& text, qint64 count) {
    return text.contains(QRegularExpression(QStringLiteral("\\b%1 bytes\\b").arg(count)));
}

// Previews `bytes` and checks all that can be said of the result without
// knowing how the file was made. Returns a description of the first thing
// wrong, or an empty string.
QString previewAndCheck(Session& s, const QByteArray& bytes, int maxChecked = 1 << 30) {
    const QString path = s.write(kFileName, bytes);
    const qint64 length = bytes.size();
    const bool hasHeader = length >= 64;
    const int w = hasHeader ? sizeOf(bytes.mid(58, 3)) : 0;
    const int h = hasHeader ? sizeOf(bytes.mid(61, 3)) : 0;
    const qint64 promised = 64 + 3 * qint64(w) * h;
    const qint64 complete = hasHeader ? std::min<qint64>(qint64(w) * h, (length - 64) / 3) : 0;
    const bool cut = !hasHeader || length < promised;

    s.prompts.shown.clear();
    s.prompts.file(path);
    for (int boxes = int(hasHeader) + int(cut); boxes > 0; --boxes)
        s.prompts.button(Answer::Ok);
    conversion::preview_zft_file(s.w);

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
        if (!mentionsBytes(last.text, length) || (hasHeader && !mentionsBytes(last.text, promised)))
            return QStringLiteral("the failure message lacks a byte count: %1").arg(last.text);
    }
    if (!hasHeader)
        return QString();

    // The complete pixels painted in file order, and nothing where the file ran out.
    const int background = platform::colourValue(s.w.window.surface()->backgroundColour().rgb());
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

quint32 seed() {
    bool ok = false;
    const quint32 chosen = qEnvironmentVariableIntValue("ZFT_SEED", &ok);
    return ok ? chosen : 20011225u;
}

}  // namespace

class PreviewRobustnessTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void readersKeepTheirPromises();
    void seedCorpus();
    void randomFiles();
    void shortFilePromisingTheLargestPicture();
    void hugeFileReadNoFurtherThanItsPixels();
};

void PreviewRobustnessTest::initTestCase() {
    qInfo("random files from seed %u (set ZFT_SEED to repeat another run)", seed());
}

void PreviewRobustnessTest::readersKeepTheirPromises() {
    Generator random(seed());
    for (int n = 0; n < 20000; ++n) {
        QByteArray file = random.file();
        if (n % 4 == 0)
            file = file.left(random.below(80));
        if (n % 7 == 0)  // digits a long way, as no size field has them
            file = QByteArray(random.below(40), ' ') + QByteArray(random.below(40), char('0' + random.below(10)));
        const auto broken = testing::broken_reader_property(file.toStdString());
        if (broken)
            QFAIL(qPrintable(QStringLiteral("%1 (file %2)").arg(QString::fromStdString(*broken),
                                                                 QString::fromLatin1(file.toHex()))));
    }
}

void PreviewRobustnessTest::seedCorpus() {
    const QDir corpus(QStringLiteral(ZFT_CORPUS_DIR));
    const QStringList names = corpus.entryList(QDir::Files);
    QVERIFY2(names.size() >= 10, qPrintable(corpus.path()));
    Session s;
    for (const QString& name : names) {
        QFile file(corpus.filePath(name));
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QByteArray bytes = file.readAll();
        const auto broken = testing::broken_reader_property(bytes.toStdString());
        QVERIFY2(!broken, qPrintable(name + QStringLiteral(": ") + QString::fromStdString(broken.value_or(""))));
        const QString wrong = previewAndCheck(s, bytes);
        QVERIFY2(wrong.isEmpty(), qPrintable(name + QStringLiteral(": ") + wrong));
    }
}

void PreviewRobustnessTest::randomFiles() {
    Generator random(seed() + 1);
    Session s;
    for (int n = 0; n < 300; ++n) {
        const QByteArray bytes = random.file();
        const QString wrong = previewAndCheck(s, bytes, 5000);
        if (!wrong.isEmpty())
            QFAIL(qPrintable(QStringLiteral("file %1 of seed %2: %3\n%4")
                                 .arg(n)
                                 .arg(seed())
                                 .arg(wrong, QString::fromLatin1(bytes.left(200).toHex()))));
    }
}

void PreviewRobustnessTest::shortFilePromisingTheLargestPicture() {
    Generator random(seed() + 2);
    Session s;
    // A row and a bit, then a cut inside the next pixel.
    const QByteArray bytes = "1A12252001" + QByteArray(48, ' ') + "999999" + random.bytes(3 * 1000 + 2);
    const QString wrong = previewAndCheck(s, bytes);
    QVERIFY2(wrong.isEmpty(), qPrintable(wrong));
    QVERIFY(mentionsBytes(s.prompts.shown.back().text, 2994067));
}

void PreviewRobustnessTest::hugeFileReadNoFurtherThanItsPixels() {
    if (procValue("io", "rchar") < 0 || procValue("status", "VmHWM") < 0)
        QSKIP("this system does not report bytes read or peak memory in /proc/self");
    Generator random(seed() + 3);
    Session s;
    const QByteArray whole = "1A12252001" + QByteArray(48, ' ') + "999999" + random.bytes(3 * 999 * 999);
    QString wrong = previewAndCheck(s, whole, 20000);  // the window and surface at their largest
    QVERIFY2(wrong.isEmpty(), qPrintable(wrong));

    // The same picture with 512 MiB of garbage after it, most of it a hole in
    // the file so that the test costs no disk.
    const QString path = s.write(kFileName, whole + random.bytes(4096));
    QFile file(path);
    QVERIFY(file.resize(qint64(512) << 20));
    s.prompts.shown.clear();
    s.prompts.file(path).button(Answer::Ok);
    const qint64 readBefore = procValue("io", "rchar");
    const qint64 peakBefore = procValue("status", "VmHWM");
    conversion::preview_zft_file(s.w);
    const qint64 read = procValue("io", "rchar") - readBefore;
    const qint64 peakGrowth = (procValue("status", "VmHWM") - peakBefore) * 1024;

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
