// The core's atomic writer and compositor, where the windows and the tools
// cannot show their faults: signals, permissions, long names, leftovers of
// killed writers; blending; and the header, as the one save stamps it and as
// the previewer's box tells it.
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>
#include <csignal>
#include <cstring>
#include <functional>
#include <limits>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/time.h>
#include <sys/wait.h>
#include <unistd.h>

#include "core/atomic_file.h"
#include "core/files.h"
#include "core/compose.h"
#include "core/failure.h"
#include "core/header_text.h"
#include "core/zft_codec.h"
#include "tests/support/fixtures.h"

using core::Existing;
using testing::contents;
using testing::entries;
using testing::write_file;

namespace {

const QByteArray kOld = "the file as it was";

std::unique_ptr<core::WritableFile> create(const QString& path, Existing existing = Existing::Replace) {
    return core::system_files().create(path.toStdString(), existing);
}

// Runs in a child process: writes into a file and ends by `signal` half-way.
int write_and_get_signalled() {
    const auto file = create(qEnvironmentVariable("ZFT_SIGNAL_TARGET"));
    file->write(std::string(200000, 'x'));
    std::raise(qEnvironmentVariableIntValue("ZFT_SIGNAL"));
    return 0;
}

}  // namespace

class CoreTest : public QObject {
    Q_OBJECT
private slots:
    void replacesWholeAndKeepsPermissions();
    void keepRefusesAnExistingFile();
    void failureLeavesNothing();
    void signalRemovesTheTemporaryName_data();
    void signalRemovesTheTemporaryName();
    void killedWritersLeftoversGo();
    void symbolicLinksAreWrittenThrough();
    void unwritableFolderIsNamed();
    void streamsAreReadAsFarAsAsked();
    void blendingRoundsToTheNearest();
    void composeClipsToTheShownPart();
    void saveWritesTheHeaderThenEveryPixel_data();
    void saveWritesTheHeaderThenEveryPixel();
    void saveStoresTheNoticeAsTheUserSeesIt_data();
    void saveStoresTheNoticeAsTheUserSeesIt();
    void headerSummary_data();
    void headerSummary();
};

void CoreTest::replacesWholeAndKeepsPermissions() {
    QTemporaryDir dir;
    // As long a name as the system allows: the temporary name must still fit.
    const QString path = dir.filePath(QString(255 - 4, u'n') + QStringLiteral(".zft"));
    QVERIFY(write_file(path, kOld));
    const QByteArray name = QFile::encodeName(path);
    QCOMPARE(::chmod(name.constData(), 0640), 0);
    // Someone else's file, replaced by root, stays theirs.
    const bool root = ::geteuid() == 0;
    if (root)
        QCOMPARE(::chown(name.constData(), 4321, 8765), 0);

    const auto file = create(path);
    file->write("new ");
    file->write(std::string(100000, 'y'));
    QCOMPARE(contents(path), kOld);
    file->commit();
    QCOMPARE(contents(path), "new " + QByteArray(100000, 'y'));
    struct stat status {};
    QCOMPARE(::stat(name.constData(), &status), 0);
    QCOMPARE(status.st_mode & 07777, 0640u);
    if (root)
        QCOMPARE(std::pair(status.st_uid, status.st_gid), std::pair(uid_t(4321), gid_t(8765)));
    QCOMPARE(entries(dir.path()).size(), 1);
}

void CoreTest::keepRefusesAnExistingFile() {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("out.zft"));
    const auto file = create(path, Existing::Keep);
    file->write("mine");
    // Another program makes the file meanwhile: it is kept.
    QVERIFY(write_file(path, kOld));
    try {
        file->commit();
        QFAIL("an existing file was replaced");
    } catch (const core::Failure& failure) {
        QCOMPARE(QString::fromStdString(failure.message()), QStringLiteral("Cannot write %1: it exists already").arg(path));
        QCOMPARE(failure.kind(), core::Failure::Kind::Exists);
    }
    QCOMPARE(contents(path), kOld);
    QCOMPARE(entries(dir.path()), QStringList{QStringLiteral("out.zft")});
}

void CoreTest::failureLeavesNothing() {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("out.zft"));
    QVERIFY(write_file(path, kOld));
    const auto file = create(path);
    file->write(std::string(100000, 'z'));
    // The target's folder goes while the file is written.
    QVERIFY(QFile::rename(path, dir.filePath(QStringLiteral("kept.zft"))));
    QVERIFY(QDir(dir.path()).mkdir(QStringLiteral("out.zft")));
    QVERIFY_THROWS_EXCEPTION(core::Failure, file->commit());
    QCOMPARE(entries(dir.path()), (QStringList{QStringLiteral("kept.zft"), QStringLiteral("out.zft")}));
    QCOMPARE(contents(dir.filePath(QStringLiteral("kept.zft"))), kOld);
}

void CoreTest::signalRemovesTheTemporaryName_data() {
    QTest::addColumn<int>("signal");
    QTest::newRow("SIGINT") << SIGINT;
    QTest::newRow("SIGTERM") << SIGTERM;
    QTest::newRow("SIGHUP") << SIGHUP;
}

void CoreTest::signalRemovesTheTemporaryName() {
    QFETCH(int, signal);
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("out.zft"));
    QVERIFY(write_file(path, kOld));
    QProcess child;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("ZFT_SIGNAL"), QString::number(signal));
    environment.insert(QStringLiteral("ZFT_SIGNAL_TARGET"), path);
    child.setProcessEnvironment(environment);
    child.start(QCoreApplication::applicationFilePath(), {});
    QVERIFY(child.waitForFinished(60000));
    QCOMPARE(child.exitStatus(), QProcess::CrashExit);  // ended by the signal, as without the writer
    QCOMPARE(entries(dir.path()), QStringList{QStringLiteral("out.zft")});
    QCOMPARE(contents(path), kOld);
}

void CoreTest::killedWritersLeftoversGo() {
    QTemporaryDir dir;
    auto made_long_ago = [&](const QString& name) {
        const QString path = dir.filePath(name);
        if (!write_file(path, kOld))
            return false;
        const struct timeval hourAgo[2] = {{::time(nullptr) - 3600, 0}, {::time(nullptr) - 3600, 0}};
        return ::utimes(QFile::encodeName(path).constData(), hourAgo) == 0;
    };
    auto writers_name = [&] {
        return QFileInfo(QString::fromStdString(core::temporary_name(dir.path().toStdString()))).fileName();
    };
    // One killed writer's name; one a working writer holds; names of a user's
    // that only look alike, down to twelve letters and digits.
    const QString killed = writers_name();
    const QString working = writers_name();
    QVERIFY(made_long_ago(killed));
    QVERIFY(made_long_ago(working));
    QVERIFY(made_long_ago(QStringLiteral(".zft-short")));
    QVERIFY(made_long_ago(QStringLiteral(".zft-NOTOURS00000")));
    QVERIFY(made_long_ago(QStringLiteral(".zft-000000000000")));
    QVERIFY(made_long_ago(QStringLiteral(".zft-") + killed.right(12).left(7) + QStringLiteral("00000")));
    const int held = ::open(QFile::encodeName(dir.filePath(working)).constData(), O_RDONLY);
    QVERIFY(held >= 0);
    QCOMPARE(::flock(held, LOCK_EX), 0);

    QStringList kept = entries(dir.path());
    kept.removeOne(killed);
    const auto file = create(dir.filePath(QStringLiteral("out.zft")));
    file->write("new");
    file->commit();
    ::close(held);
    kept << QStringLiteral("out.zft");
    kept.sort();
    QCOMPARE(entries(dir.path()), kept);
    QCOMPARE(kept.size(), 6);
}

// A symbolic link as the output leads to the file written: the link stays
// and its target is replaced in its own folder, keeping what it kept; a
// link to nothing makes its target; one to a device or a folder is refused.
void CoreTest::symbolicLinksAreWrittenThrough() {
    QTemporaryDir dir;
    QVERIFY(QDir(dir.path()).mkdir(QStringLiteral("real")));
    const QString target = dir.filePath(QStringLiteral("real/picture.zft"));
    QVERIFY(write_file(target, kOld));
    QCOMPARE(::chmod(QFile::encodeName(target).constData(), 0640), 0);
    const QString link = dir.filePath(QStringLiteral("link.zft"));
    QVERIFY(QFile::link(QStringLiteral("real/picture.zft"), link));
    // And a link to that link, by its full path.
    const QString second = dir.filePath(QStringLiteral("second.zft"));
    QVERIFY(QFile::link(link, second));

    auto file = create(second);
    file->write("through");
    file->commit();
    QCOMPARE(QFileInfo(link).symLinkTarget(), target);
    QCOMPARE(QFileInfo(second).symLinkTarget(), link);
    QCOMPARE(contents(target), QByteArray("through"));
    struct stat status {};
    QCOMPARE(::stat(QFile::encodeName(target).constData(), &status), 0);
    QCOMPARE(status.st_mode & 07777, 0640u);
    QCOMPARE(entries(dir.filePath(QStringLiteral("real"))), QStringList{QStringLiteral("picture.zft")});

    // Kept when it exists, through the link as well.
    QVERIFY_THROWS_EXCEPTION(core::Failure, create(link, Existing::Keep)->commit());
    QCOMPARE(contents(target), QByteArray("through"));

    const QString dangling = dir.filePath(QStringLiteral("dangling.zft"));
    QVERIFY(QFile::link(QStringLiteral("real/new.zft"), dangling));
    file = create(dangling, Existing::Keep);
    file->write("made");
    file->commit();
    QVERIFY(QFileInfo(dangling).isSymLink());
    QCOMPARE(contents(dir.filePath(QStringLiteral("real/new.zft"))), QByteArray("made"));

    for (const char* to : {"/dev/null", "real"}) {
        const QString refused = dir.filePath(QStringLiteral("refused.zft"));
        QFile::remove(refused);
        QVERIFY(QFile::link(QString::fromLatin1(to), refused));
        QVERIFY_THROWS_EXCEPTION(core::Failure, create(refused));
        QVERIFY(QFileInfo(refused).isSymLink());
    }
    QVERIFY(QFileInfo(dir.filePath(QStringLiteral("real"))).isDir());

    // In a sticky folder everyone may write to, as /tmp, another user's link
    // is not followed, by root neither, as the system's fs.protected_symlinks
    // has it; one of the folder owner's is.
    if (::geteuid() != 0)
        return;  // only root can give a link to another user
    const QByteArray shared = QFile::encodeName(dir.filePath(QStringLiteral("real")));
    const QString planted = dir.filePath(QStringLiteral("real/planted.zft"));
    QVERIFY(QFile::link(QStringLiteral("picture.zft"), planted));
    QCOMPARE(::lchown(QFile::encodeName(planted).constData(), 65534, gid_t(-1)) | ::chmod(shared.constData(), 01777), 0);
    try {
        create(planted);
        QFAIL("another's link was followed");
    } catch (const core::Failure& failure) {
        QVERIFY2(failure.reason().starts_with("the symbolic link " + planted.toStdString() + " is not followed"),
                 failure.what());
    }
    QCOMPARE(contents(target), QByteArray("through"));
    QCOMPARE(::chown(shared.constData(), 65534, gid_t(-1)), 0);
    create(planted)->commit();
    QCOMPARE(contents(target), QByteArray());
}

// A writable file in a folder the user may not write (root is made another
// user for it): the folder is named as the cause, and the file stays.
void CoreTest::unwritableFolderIsNamed() {
    QTemporaryDir dir;
    const QString folder = dir.filePath(QStringLiteral("locked")), path = folder + QStringLiteral("/x.zft");
    QVERIFY(QDir(dir.path()).mkdir(QStringLiteral("locked")) && write_file(path, kOld));
    for (const auto& [name, mode] : {std::pair(path, 0666), {folder, 0555}, {dir.path(), 0755}})
        QCOMPARE(::chmod(QFile::encodeName(name).constData(), mode), 0);
    const std::string expected =
        QStringLiteral("Cannot write %1: the folder %2 is not writable (Permission denied)").arg(path, folder).toStdString();
    const pid_t child = ::fork();
    if (child == 0) {
        try {
            if (::geteuid() != 0 || (::setgid(65534) == 0 && ::setuid(65534) == 0))
                create(path);
        } catch (const core::Failure& failure) {
            ::_exit(failure.message() == expected ? 0 : 1);
        }
        ::_exit(2);
    }
    int status = -1;
    QCOMPARE(::waitpid(child, &status, 0), child);
    QCOMPARE(::chmod(QFile::encodeName(folder).constData(), 0755) | status, 0);
    QCOMPARE(contents(path), kOld);
}

// A stream read as a file: only as far as a reader asks, and never past its
// bound, however long it is.
void CoreTest::streamsAreReadAsFarAsAsked() {
    class Stream final : public core::Files {
    public:
        explicit Stream(std::uint64_t length) : length_(length) {}
        std::size_t readStream(int, void* out, std::size_t n) override {
            const std::size_t take = static_cast<std::size_t>(std::min<std::uint64_t>(n, length_ - given));
            std::memset(out, 'x', take);
            given += take;
            return take;
        }
        std::uint64_t given = 0;

    private:
        std::uint64_t length_;
    };

    Stream endless(std::numeric_limits<std::uint64_t>::max());
    const auto source = endless.openStream(0, 1'000'000, "longer than it may be");
    char bytes[10] = {};
    QCOMPARE(source->read(999'990, bytes, sizeof bytes), sizeof bytes);
    QCOMPARE(QByteArray(bytes, sizeof bytes), QByteArray(10, 'x'));
    QCOMPARE(endless.given, 1'000'000u);
    for (auto reach : {std::function<void()>([&] { source->read(999'995, bytes, sizeof bytes); }),
                       std::function<void()>([&] { source->sizeUpTo(1'000'001); }),
                       std::function<void()>([&] { source->size(); })}) {
        try {
            reach();
            QFAIL("read past the bound");
        } catch (const core::Failure& failure) {
            QCOMPARE(failure.kind(), core::Failure::Kind::TooLarge);
            QCOMPARE(failure.reason(), std::string("longer than it may be"));
        }
    }
    QCOMPARE(endless.given, 1'000'001u);

    Stream finite(70'000);
    const auto whole = finite.openStream(0, 70'000, "longer than it may be");
    QCOMPARE(whole->read(0, bytes, 1), 1u);
    QCOMPARE(whole->sizeUpTo(50'000), 50'000u);
    QVERIFY(finite.given < 70'000);
    QCOMPARE(whole->sizeUpTo(100'000), 70'000u);
    QCOMPARE(whole->size(), 70'000u);
    QCOMPARE(whole->read(69'995, bytes, sizeof bytes), 5u);
    QCOMPARE(whole->read(70'000, bytes, sizeof bytes), 0u);
}

void CoreTest::blendingRoundsToTheNearest() {
    // Every alpha over two backgrounds, each channel against the exact value.
    core::Picture picture(256, 1);
    picture.setHasAlpha(true);
    for (int a = 0; a < 256; ++a)
        picture.row(0)[a] = core::argb(255, 0, 100, a);
    for (core::Argb background : {core::argb(0, 255, 7), core::kWindowColour}) {
        const core::Picture shown = core::picture_as_shown(picture, background);
        QVERIFY(!shown.hasAlpha());
        for (int a = 0; a < 256; ++a) {
            auto expected = [&](int c, int under) { return int(std::lround((c * a + under * (255 - a)) / 255.0)); };
            const core::Argb got = shown.pixel(a, 0);
            QCOMPARE(core::alpha_of(got), 255);
            QCOMPARE(core::red_of(got), expected(255, core::red_of(background)));
            QCOMPARE(core::green_of(got), expected(0, core::green_of(background)));
            QCOMPARE(core::blue_of(got), expected(100, core::blue_of(background)));
        }
    }
}

void CoreTest::composeClipsToTheShownPart() {
    // A 4 × 3 picture placed at (1, 1), of which 2 × 5 is shown: only the two
    // columns and three rows it has, within the clip (0, 0)–(3, 2).
    const core::Picture picture = testing::picture_of(testing::asymmetric(4, 3));
    std::vector<core::Argb> target(6 * 5, 0);
    const core::Layer layer{&picture, 1, 1, {2, 5}};
    const core::Argb background = core::argb(1, 2, 3);
    core::compose(target.data(), 6, {0, 0, 4, 3}, background, {&layer, 1});
    for (int y = 0; y < 5; ++y) {
        for (int x = 0; x < 6; ++x) {
            core::Argb expected = 0;
            if (x < 4 && y < 3)
                expected = (x >= 1 && x < 3 && y >= 1) ? picture.pixel(x - 1, y - 1) : background;
            QCOMPARE(target[std::size_t(y * 6 + x)], expected);
        }
    }
}

void CoreTest::saveWritesTheHeaderThenEveryPixel_data() {
    QTest::addColumn<QImage>("picture");
    QTest::addColumn<QByteArray>("pixels");  // as the file holds them, over the window's colour

    QImage two(2, 2, QImage::Format_RGB32);
    two.setPixel(0, 0, qRgb(13, 10, 26));     // bytes 64 to 66: 0D 0A 1A
    two.setPixel(1, 0, qRgb(0, 0, 0));        // 67 to 69, its right
    two.setPixel(0, 1, qRgb(255, 255, 255));  // 70 to 72, the first of the second row
    two.setPixel(1, 1, qRgb(1, 2, 3));
    QTest::newRow("2 x 2, 76 bytes") << two << QByteArray::fromHex("0d0a1a000000ffffff010203");
    const std::pair<const char*, QRgb> raw[] = {{"black", qRgb(0, 0, 0)},        {"white", qRgb(255, 255, 255)},
                                                {"10, 13, 26", qRgb(10, 13, 26)}, {"13, 10, 26", qRgb(13, 10, 26)},
                                                {"channels apart", qRgb(255, 0, 128)}};
    for (const auto& [name, colour] : raw)
        QTest::addRow("raw bytes, %s", name) << testing::filled(1, 1, colour) << testing::rgb_bytes(testing::filled(1, 1, colour));
    QTest::newRow("6 x 5") << testing::asymmetric(6, 5) << testing::rgb_bytes(testing::asymmetric(6, 5));
    QImage clear(3, 1, QImage::Format_ARGB32);
    clear.setPixel(0, 0, qRgba(200, 0, 0, 0));  // its colour must not show
    clear.setPixel(1, 0, qRgba(0, 200, 0, 255));
    clear.setPixel(2, 0, qRgba(0, 0, 200, 0));
    QTest::newRow("transparent pixels take the window's colour") << clear << QByteArray::fromHex("010203" "00c800" "010203");
}

// Through the file, as every host saves: the header of the stamp, then red,
// green and blue of every pixel, row by row from the top, byte for byte.
void CoreTest::saveWritesTheHeaderThenEveryPixel() {
    QFETCH(QImage, picture);
    QFETCH(QByteArray, pixels);
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("out.zft"));
    core::Stamp stamp;
    stamp.notice = "  abc  ";
    stamp.date = {11, 9, 2003};
    stamp.background = core::argb(1, 2, 3);
    core::save_zft(core::system_files(), path.toStdString(), Existing::Replace, testing::picture_of(picture), stamp);
    const QByteArray size = QByteArray::number(picture.width()).rightJustified(3, '0') +
                            QByteArray::number(picture.height()).rightJustified(3, '0');
    QCOMPARE(contents(path), testing::header_bytes("1A", "11092003", "abc", size.left(3), size.mid(3)) + pixels);
    QCOMPARE(entries(dir.path()), QStringList{QStringLiteral("out.zft")});
}

void CoreTest::saveStoresTheNoticeAsTheUserSeesIt_data() {
    QTest::addColumn<QString>("given");
    QTest::addColumn<QByteArray>("stored");  // before its padding

    const QByteArray a47(47, 'a');
    const QString s47(47, u'a');
    QTest::newRow("spaces around") << u"  abc  "_qs << QByteArray("abc");
    QTest::newRow("outside Windows-1252") << u"\u0100 ok \u4e2d"_qs << QByteArray("? ok ?");
    QTest::newRow("Windows-1252 beyond Latin-1") << u"\u20ac \u2018x\u2019 \u2122 \u00a9"_qs
                                                 << QByteArray("\x80 \x91x\x92 \x99 \xa9");
    QTest::newRow("e and combining accent is one") << u"e\u0301te\u0301"_qs << QByteArray("\xe9t\xe9");
    QTest::newRow("composed e-acute as typed") << u"\u00e9t\u00e9"_qs << QByteArray("\xe9t\xe9");
    QTest::newRow("Angstrom sign and A with a ring are A-ring") << u"\u212b A\u030a"_qs << QByteArray("\xc5 \xc5");
    QTest::newRow("combined letter with no byte") << u"q\u0301!"_qs << QByteArray("?!");
    QTest::newRow("e and accent count once in 48") << s47 + u"e\u0301z"_qs << a47 + '\xe9';
    QTest::newRow("emoji counts once in 48") << s47 + u"\U0001F600z"_qs << a47 + '?';
    QTest::newRow("flag is one character") << u"\U0001F1F3\U0001F1F1x"_qs << QByteArray("?x");
    QTest::newRow("joined emoji is one character")
        << u"\U0001F468\u200D\U0001F469\u200D\U0001F467"_qs << QByteArray("?");
}

// The notice as typed, in UTF-8: one Windows-1252 byte a character as the
// user sees it, trimmed, cut to 48 and padded (the format's own table has
// the trimming, cutting and padding of bytes).
void CoreTest::saveStoresTheNoticeAsTheUserSeesIt() {
    QFETCH(QString, given);
    QFETCH(QByteArray, stored);
    core::Stamp stamp;
    stamp.notice = given.toStdString();
    const std::string file = core::save_zft(testing::picture_of(testing::filled(1, 1, qRgb(1, 2, 3))), stamp);
    QCOMPARE(file.size(), 67u);
    QCOMPARE(QByteArray::fromStdString(file.substr(10, 48)), stored.leftJustified(48, ' '));
}

void CoreTest::headerSummary_data() {
    QTest::addColumn<QByteArray>("header");
    QTest::addColumn<QString>("text");  // the three lines joined by CR LF

    using testing::header_bytes;
    const QString blanks45(45, u' ');
    const QString sizes = u"\r\nwidth=002 - height=001\r\nCopyright notification="_qs;
    QTest::newRow("as the converter writes it")
        << header_bytes("1A", "09032004", "abc", "002", "001") << u"Version=1A - Creationdate=09/03/2004"_qs + sizes + u"abc"_qs + blanks45;
    QTest::newRow("date split 2, 2, 4")
        << header_bytes("1A", "12252001", "abc", "002", "001") << u"Version=1A - Creationdate=12/25/2001"_qs + sizes + u"abc"_qs + blanks45;
    QTest::newRow("date not checked")
        << header_bytes("1A", "ab3 -x9Z", "abc", "002", "001") << u"Version=1A - Creationdate=ab/3 /-x9Z"_qs + sizes + u"abc"_qs + blanks45;
    QTest::newRow("other version")
        << header_bytes("7Q", "01011999", "abc", "002", "001") << u"Version=7Q - Creationdate=01/01/1999"_qs + sizes + u"abc"_qs + blanks45;
    QTest::newRow("empty notice")
        << header_bytes("1A", "09032004", "", "002", "001") << u"Version=1A - Creationdate=09/03/2004"_qs + sizes + QString(48, u' ');
    QTest::newRow("full notice, no padding")
        << header_bytes("1A", "09032004", QByteArray(48, 'N'), "002", "001")
        << u"Version=1A - Creationdate=09/03/2004"_qs + sizes + QString(48, u'N');
    QTest::newRow("sizes shown as stored")
        << header_bytes("1A", "09032004", "abc", " 2x", "01 ")
        << u"Version=1A - Creationdate=09/03/2004\r\nwidth= 2x - height=01 \r\nCopyright notification=abc"_qs + blanks45;

    // Every byte from 0x80 up, as the converter stores the notice: Windows-1252.
    const std::pair<int, QString> high[] = {
        {0x80, QString::fromUtf8("€\u0081‚ƒ„…†‡ˆ‰Š‹Œ\u008DŽ\u008F\u0090‘’“”•–—˜™š›œ\u009DžŸ\u00A0¡¢£¤¥¦§¨©ª«¬\u00AD®¯")},
        {0xB0, QString::fromUtf8("°±²³´µ¶·¸¹º»¼½¾¿ÀÁÂÃÄÅÆÇÈÉÊËÌÍÎÏÐÑÒÓÔÕÖ×ØÙÚÛÜÝÞß")},
        {0xE0, QString::fromUtf8("àáâãäåæçèéêëìíîïðñòóôõö÷øùúûüýþÿ") + QString(16, u' ')}};
    for (const auto& [first, shown] : high) {
        QByteArray notice;
        for (int b = first; b < std::min(first + 48, 0x100); ++b)
            notice += char(b);
        QTest::addRow("notice 0x%X-0x%X from Windows-1252", first, first + int(notice.size()) - 1)
            << header_bytes("1A", "09032004", notice, "002", "001") << u"Version=1A - Creationdate=09/03/2004"_qs + sizes + shown;
    }
}

void CoreTest::headerSummary() {
    QFETCH(QByteArray, header);
    QFETCH(QString, text);
    const std::array<std::string, 3> lines = core::header_summary(zft::decode_header(header.toStdString()));
    QCOMPARE(QString::fromStdString(lines[0] + "\r\n" + lines[1] + "\r\n" + lines[2]), text);
    QCOMPARE(QString::fromStdString(lines[2]).size(), 23 + 48);
}

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsSet("ZFT_SIGNAL"))
        return write_and_get_signalled();
    QCoreApplication app(argc, argv);
    CoreTest test;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&test, argc, argv);
}

#include "tst_core.moc"
