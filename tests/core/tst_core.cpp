// The core's atomic writer and compositor, where the windows and the tools
// cannot show their faults: signals, permissions, long names, leftovers of
// killed writers; and blending.
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

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsSet("ZFT_SIGNAL"))
        return write_and_get_signalled();
    QCoreApplication app(argc, argv);
    CoreTest test;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&test, argc, argv);
}

#include "tst_core.moc"
