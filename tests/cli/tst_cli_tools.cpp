// zft info, verify, export and thumbnail, the help texts and the version,
// run as processes on files made byte by byte.
#include <QImageReader>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>
#include <fcntl.h>
#include <sys/stat.h>

#include "tests/cli/cli_support.h"
#include "tests/support/bmp_writer.h"

using clitest::Run;
using clitest::run_script;
using clitest::run_zft;
using clitest::with;
using testing::asymmetric;
using testing::contents;
using testing::write_file;

class CliToolsTest : public QObject {
    Q_OBJECT
private slots:
    void init();
    void infoShowsTheHeaderAsThePreviewerDoes();
    void infoJudgesTheLength_data();
    void infoJudgesTheLength();
    void infoJson();
    void infoOnUnreadableFiles();
    void controlCharactersAreShownEscaped();
    void verifyManyFiles();
    void exportRoundTrips_data();
    void exportRoundTrips();
    void exportJpeg();
    void exportFailures_data();
    void exportFailures();
    void thumbnail_data();
    void thumbnail();
    void thumbnailFailuresWriteNothing_data();
    void thumbnailFailuresWriteNothing();
    void helpAndVersion_data();
    void helpAndVersion();
    void pipesAreNoFiles();
    void standardInputAndOutput_data();
    void standardInputAndOutput();
    void fullOutputIsTold();
    void endlessStandardInput_data();
    void endlessStandardInput();
    void terminalIsNoInput();
    void namesThatAreNoUtf8();
    void wrongCommand_data();
    void wrongCommand();

private:
    QString path(const QString& name) const { return dir_->filePath(name); }
    QString fixture(const QString& name, const QByteArray& bytes) {
        write_file(path(name), bytes);
        return path(name);
    }
    std::unique_ptr<QTemporaryDir> dir_;
};

namespace {

const QImage kPicture = asymmetric(6, 5);
const QByteArray kGood = testing::zft_bytes(kPicture);

}  // namespace

void CliToolsTest::init() {
    dir_ = std::make_unique<QTemporaryDir>();
    QVERIFY(dir_->isValid());
}

void CliToolsTest::infoShowsTheHeaderAsThePreviewerDoes() {
    // The notice in Windows-1252: Ü and ï are one byte each.
    const QByteArray bytes = testing::zft_bytes(kPicture, "(c) \xdc" "n\xef" "code");
    const Run run = run_zft({"info", fixture("p.zft", bytes)});
    QCOMPARE(run.status, 0);
    const QString out = QString::fromUtf8(run.out);
    QVERIFY2(out.contains("Version=1A - Creationdate=09/03/2004\n"), qPrintable(out));
    QVERIFY(out.contains("width=006 - height=005\n"));
    QVERIFY(out.contains(QStringLiteral("Copyright notification=(c) Ünïcode") + QString(48 - 11, ' ') + '\n'));
    QVERIFY(out.contains(QStringLiteral("6 × 5 pixels")));
    QVERIFY(out.contains("154 bytes, as 64 + 3·W·H"));
}

void CliToolsTest::infoJudgesTheLength_data() {
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("says");
    QTest::addColumn<QByteArray>("complaint");  // on stderr, with status 1, for a file that is no ZFT file
    QTest::newRow("exact") << kGood << "154 bytes, as 64 + 3·W·H" << QByteArray();
    QTest::newRow("cut short") << kGood.left(100) << "100 bytes, but 64 + 3·W·H is 154 (cut short)" << QByteArray();
    QTest::newRow("trailing bytes") << kGood + "xyz" << "157 bytes, but 64 + 3·W·H is 154 (trailing bytes)"
                                    << QByteArray();
    QTest::newRow("header only, width 000") << with(kGood, 58, "000").left(64) << "64 bytes, as 64 + 3·W·H"
                                            << QByteArray("not a ZFT file: width is \"000\"");
    // Its first 64 bytes are shown all the same, as the previewer's box shows them.
    QBuffer bmp;
    bmp.open(QIODevice::WriteOnly);
    asymmetric(30, 20).save(&bmp, "BMP");
    QTest::newRow("a BMP") << bmp.data() << "Version=BM - Creationdate="
                           << QByteArray("not a ZFT file: version is \"BM\", not \"1A\"");
}

void CliToolsTest::infoJudgesTheLength() {
    QFETCH(QByteArray, bytes);
    QFETCH(QString, says);
    QFETCH(QByteArray, complaint);
    const Run run = run_zft({"info", fixture("p.zft", bytes)});
    QVERIFY2(QString::fromUtf8(run.out).contains(says), run.out.constData());
    if (complaint.isEmpty()) {
        QCOMPARE(run.status, 0);
        QCOMPARE(run.err, QByteArray());
    } else {
        QCOMPARE(run.status, 1);
        QVERIFY2(run.err.startsWith("zft info: " + path("p.zft").toUtf8() + ": " + complaint), run.err.constData());
        QCOMPARE(run.err.count('\n'), 1);
    }
}

void CliToolsTest::infoJson() {
    const Run run = run_zft({"info", "--json", fixture("good.zft", kGood), fixture("short.zft", kGood.left(70)),
                         fixture("tiny.zft", "1A")});
    QCOMPARE(run.status, 1);
    QVERIFY2(run.err.contains("tiny.zft") && run.err.count('\n') == 1, run.err.constData());
    QJsonParseError error;
    const QJsonArray files = QJsonDocument::fromJson(run.out, &error).array();
    QCOMPARE(error.error, QJsonParseError::NoError);
    QCOMPARE(files.size(), 3);

    const QJsonObject good = files[0].toObject();
    QCOMPARE(good["path"].toString(), path("good.zft"));
    QCOMPARE(good["version"].toString(), "1A");
    QCOMPARE(good["creation_date"].toString(), "09/03/2004");
    QCOMPARE(good["copyright_notice"].toString().size(), 48);
    QCOMPARE(good["width"].toString(), "006");
    QCOMPARE(good["width_pixels"].toInt(), 6);
    QCOMPARE(good["height_pixels"].toInt(), 5);
    QCOMPARE(good["file_size"].toInt(), 154);
    QCOMPARE(good["expected_size"].toInt(), 154);
    QCOMPARE(good["length_matches"].toBool(), true);
    QCOMPARE(good["well_formed"].toBool(), true);
    QVERIFY(good["fault"].isNull());

    const QJsonObject cut = files[1].toObject();
    QCOMPARE(cut["length_matches"].toBool(), false);
    QCOMPARE(cut["well_formed"].toBool(), false);
    QVERIFY(cut["fault"].toString().contains("cut short"));

    QVERIFY(files[2].toObject()["error"].toString().contains("2 bytes"));
}

void CliToolsTest::infoOnUnreadableFiles() {
    const Run run = run_zft({"info", path("missing.zft"), fixture("good.zft", kGood), dir_->path()});
    QCOMPARE(run.status, 1);
    const QList<QByteArray> lines = run.err.trimmed().split('\n');
    QCOMPARE(lines.size(), 2);
    QCOMPARE(lines[0], "zft info: " + path("missing.zft").toUtf8() + ": No such file or directory");
    QCOMPARE(lines[1], "zft info: " + dir_->path().toUtf8() + ": it is a folder");
    QVERIFY(run.out.contains("good.zft"));
}

// A notice or a file name can hold what a terminal takes as commands: an
// escape sequence, a bell, a C1 control (Windows-1252 leaves five bytes to
// them). On a terminal they are shown, never obeyed; JSON escapes its own.
void CliToolsTest::controlCharactersAreShownEscaped() {
    const QByteArray notice = "\x1b]0;owned\x07\x1b[2J\x81\x8d\x8f\x90\x9d\x7f\x01 \x80\xe9";
    const QString name = path("a\x1b[31mb.zft");
    fixture("a\x1b[31mb.zft", testing::zft_bytes(kPicture, notice));
    const Run run = run_zft({"info", name, path("gone\x1b]0;x\x07.zft")});
    QCOMPARE(run.status, 1);
    auto obeys = [](const QByteArray& text) {
        for (qsizetype i = 0; i < text.size(); ++i) {
            const auto c = static_cast<unsigned char>(text[i]);
            const bool c1 = c == 0xC2 && i + 1 < text.size() && static_cast<unsigned char>(text[i + 1]) < 0xA0;
            if ((c < 0x20 && c != '\n') || c == 0x7F || c1)
                return true;
        }
        return false;
    };
    QVERIFY2(!obeys(run.out), run.out.toHex(' ').constData());
    QVERIFY2(!obeys(run.err), run.err.toHex(' ').constData());
    QVERIFY2(run.out.contains("a\\x1B[31mb.zft\n"), run.out.constData());
    // Printable characters stay as they are: the euro sign and é are 0x80 and 0xE9.
    QVERIFY2(run.out.contains("Copyright notification=\\x1B]0;owned\\x07\\x1B[2J\\x81\\x8D\\x8F\\x90\\x9D\\x7F"
                              "\\x01 \xe2\x82\xac\xc3\xa9"),
             run.out.constData());
    QVERIFY2(run.err.startsWith("zft info: " + path("gone\\x1B]0;x\\x07.zft").toUtf8() + ": "), run.err.constData());

    const Run json = run_zft({"info", "--json", name});
    QCOMPARE(json.status, 0);
    QVERIFY2(!obeys(json.out), json.out.toHex(' ').constData());
    QVERIFY(json.out.contains("\\u001b]0;owned\\u0007\\u001b[2J\\u0081\\u008d\\u008f\\u0090\\u009d\\u007f"));
    const QJsonObject file = QJsonDocument::fromJson(json.out).array()[0].toObject();
    QCOMPARE(file["path"].toString(), name);
    QVERIFY(file["copyright_notice"].toString().startsWith(QStringLiteral("\x1b]0;owned\a\x1b[2J\u0081")));
}

// What verify says of each kind of damage is tst_conformance's, over the corpus.
void CliToolsTest::verifyManyFiles() {
    const Run good = run_zft({"verify", fixture("a.zft", kGood), fixture("b.zft", kGood)});
    QCOMPARE(good.status, 0);
    QCOMPARE(good.out + good.err, QByteArray());
    QBuffer png;
    png.open(QIODevice::WriteOnly);
    kPicture.save(&png, "PNG");
    const Run run = run_zft({"verify", path("a.zft"), fixture("c.zft", kGood.left(80)), path("missing.zft"),
                         path("b.zft"), fixture("p.png", png.data())});
    QCOMPARE(run.status, 1);
    // A line for each bad file; the one that cannot be read is a failure.
    QCOMPARE(run.out, path("c.zft").toUtf8() + ": file is 80 bytes; its header promises 154 (cut short)\n" +
                          path("p.png").toUtf8() + ": version is \"\\x89P\", not \"1A\"\n");
    QCOMPARE(run.err, "zft verify: " + path("missing.zft").toUtf8() + ": No such file or directory\n");
}

void CliToolsTest::exportRoundTrips_data() {
    QTest::addColumn<QString>("name");
    QTest::newRow("png") << "out.png";
    QTest::newRow("bmp") << "out.bmp";
    QTest::newRow("ppm") << "out.ppm";
    QTest::newRow("upper-case PNG") << "OUT.PNG";
}

void CliToolsTest::exportRoundTrips() {
    QFETCH(QString, name);
    const QImage picture = asymmetric(65, 7);
    const QString zftFile = fixture("p.zft", testing::zft_bytes(picture));
    QVERIFY(write_file(path(name), "an older file"));
    const Run run = run_zft({"export", "--force", zftFile, path(name)});
    QVERIFY2(run.status == 0, run.err.constData());
    const QImage back(path(name));
    QCOMPARE(back.size(), picture.size());
    QCOMPARE(back.convertToFormat(QImage::Format_RGB32), picture);
    // And back again: the same ZFT bytes.
    QCOMPARE(run_zft({"convert", "--notice", "fixture", "--date", "09/03/2004", path(name), "-o", path("again.zft")})
                 .status,
             0);
    QCOMPARE(contents(path("again.zft")), testing::zft_bytes(picture));
}

void CliToolsTest::exportJpeg() {
    QImage picture(64, 48, QImage::Format_RGB32);
    picture.fill(qRgb(200, 40, 90));
    const Run run = run_zft({"export", fixture("p.zft", testing::zft_bytes(picture)), path("p.jpg")});
    QCOMPARE(run.status, 0);
    QImageReader reader(path("p.jpg"));
    QCOMPARE(reader.format(), QByteArray("jpeg"));
    const QColor middle = reader.read().pixelColor(32, 24);
    QVERIFY(std::abs(middle.red() - 200) <= 3 && std::abs(middle.green() - 40) <= 3 &&
            std::abs(middle.blue() - 90) <= 3);
}

void CliToolsTest::exportFailures_data() {
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<int>("status");
    QTest::addColumn<QByteArray>("says");
    QTest::newRow("unknown format") << QStringList{"good.zft", "out.gif"} << 2 << QByteArray(".png");
    QTest::newRow("no output") << QStringList{"good.zft"} << 2 << QByteArray("one ZFT file");
    QTest::newRow("cut short") << QStringList{"short.zft", "out.png"} << 1
                               << QByteArray("zft export: short.zft: file is 100");
    QTest::newRow("missing") << QStringList{"missing.zft", "out.png"} << 1
                             << QByteArray("zft export: missing.zft: No such file or directory\n");
    QTest::newRow("an empty name") << QStringList{"", "out.png"} << 1
                                   << QByteArray("zft export: '': No such file or directory\n");
    QTest::newRow("folder not there") << QStringList{"good.zft", "nowhere/out.png"} << 1
                                      << QByteArray("zft export: nowhere/out.png: ");
    QTest::newRow("existing output") << QStringList{"good.zft", "old.png"} << 1
                                     << QByteArray("zft export: old.png: it exists already (--force replaces it)\n");
    QTest::newRow("a format zft does not write") << QStringList{"--format", "gif", "good.zft", "-"} << 2
                                                 << QByteArray("--format takes png");
    QTest::newRow("a format the name does not end in") << QStringList{"--format", "jpg", "good.zft", "out.png"} << 2
                                                       << QByteArray("out.png does not end in .jpg");
}

void CliToolsTest::exportFailures() {
    QFETCH(QStringList, args);
    QFETCH(int, status);
    QFETCH(QByteArray, says);
    fixture("good.zft", kGood);
    fixture("short.zft", kGood.left(100));
    fixture("old.png", "old");
    const Run run = run_zft(QStringList{"export"} + args, dir_->path());
    QCOMPARE(run.status, status);
    QVERIFY2(run.err.contains(says), run.err.constData());
    QCOMPARE(QDir(dir_->path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot),
             QStringList({"good.zft", "old.png", "short.zft"}));
    QCOMPARE(contents(path("old.png")), QByteArray("old"));
}

void CliToolsTest::thumbnail_data() {
    QTest::addColumn<QSize>("picture");
    QTest::addColumn<int>("size");
    QTest::addColumn<QSize>("thumbnail");
    QTest::newRow("small keeps its size") << QSize(6, 5) << 128 << QSize(6, 5);
    QTest::newRow("wide") << QSize(200, 100) << 64 << QSize(64, 32);
    QTest::newRow("tall") << QSize(30, 300) << 100 << QSize(10, 100);
    QTest::newRow("long and thin") << QSize(999, 1) << 16 << QSize(16, 1);
}

void CliToolsTest::thumbnail() {
    QFETCH(QSize, picture);
    QFETCH(int, size);
    QFETCH(QSize, thumbnail);
    const QImage image = asymmetric(picture.width(), picture.height());
    // A thumbnailer makes the output file, empty, before it calls zft.
    QVERIFY(write_file(path("t.png"), {}));
    const Run run = run_zft({"thumbnail", fixture("p.zft", testing::zft_bytes(image)), path("t.png"),
                         QString::number(size)});
    QVERIFY2(run.status == 0, run.err.constData());
    QImageReader reader(path("t.png"));
    QCOMPARE(reader.format(), QByteArray("png"));
    const QImage small = reader.read();
    QCOMPARE(small.size(), thumbnail);
    if (thumbnail == picture)
        QCOMPARE(small.convertToFormat(QImage::Format_RGB32), image);
}

void CliToolsTest::thumbnailFailuresWriteNothing_data() {
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("size");
    QTest::addColumn<int>("status");
    QTest::addColumn<QByteArray>("says");
    QTest::newRow("cut short") << kGood.chopped(3) << "128" << 1 << QByteArray("cut short");
    QTest::newRow("not a ZFT file") << QByteArray("\x89PNG\r\n\x1a\n", 8) + QByteArray(100, 'x') << "128" << 1
                                    << QByteArray("version");
    QTest::newRow("size 0") << kGood << "0" << 2 << QByteArray("the size '0' is not valid");
    QTest::newRow("size -1") << kGood << "-1" << 2 << QByteArray("the size '-1' is not valid");
    QTest::newRow("size not a number") << kGood << "large" << 2 << QByteArray("the size 'large' is not valid");
    QTest::newRow("size 1000000") << kGood << "1000000" << 2
                                  << QByteArray("the size '1000000' is not valid: give a number of pixels from 1 to 999999\n");
}

void CliToolsTest::thumbnailFailuresWriteNothing() {
    QFETCH(QByteArray, bytes);
    QFETCH(QString, size);
    QFETCH(int, status);
    QFETCH(QByteArray, says);
    const Run run = run_zft({"thumbnail", fixture("p.zft", bytes), path("t.png"), size});
    QCOMPARE(run.status, status);
    QVERIFY2(run.err.startsWith("zft thumbnail: ") && run.err.contains(says), run.err.constData());
    QVERIFY(!QFile::exists(path("t.png")));
}

void CliToolsTest::helpAndVersion_data() {
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<QByteArray>("begins");
    QTest::newRow("zft --help") << QStringList{"--help"} << QByteArray("Usage: zft COMMAND");
    for (const char* command : {"info", "convert", "export", "verify", "thumbnail"}) {
        QTest::addRow("%s --help", command) << QStringList{command, "--help"}
                                            << QByteArray("Usage: zft ") + command;
        QTest::addRow("%s -h", command) << QStringList{command, "-h"} << QByteArray("Usage: zft ") + command;
    }
    QTest::newRow("--version") << QStringList{"--version"} << QByteArray("zft 1.");
}

void CliToolsTest::helpAndVersion() {
    QFETCH(QStringList, args);
    QFETCH(QByteArray, begins);
    const Run run = run_zft(args);
    QCOMPARE(run.status, 0);
    QVERIFY2(run.out.startsWith(begins), run.out.constData());
    QCOMPARE(run.err, QByteArray());
}

void CliToolsTest::pipesAreNoFiles() {
    // Opening a pipe to read waits for a writer that never comes, and a
    // finished file put in its place would replace it: refused at once.
    QCOMPARE(::mkfifo(QFile::encodeName(path("pipe.zft")).constData(), 0600), 0);
    QCOMPARE(::mkfifo(QFile::encodeName(path("pipe.png")).constData(), 0600), 0);
    fixture("good.zft", kGood);
    const QList<QStringList> commands = {{"info", path("pipe.zft")},
                                         {"verify", path("pipe.zft")},
                                         {"export", path("pipe.zft"), path("out.png")},
                                         {"export", path("good.zft"), path("pipe.png")},
                                         {"thumbnail", path("pipe.zft"), path("t.png"), "64"}};
    for (const QStringList& args : commands) {
        const Run run = run_zft(args);
        QCOMPARE(run.status, 1);
        QVERIFY2((run.out + run.err).contains("not a regular file"), qPrintable(args.join(' ')));
    }
    QVERIFY(!QFileInfo(path("pipe.png")).isFile() && QFileInfo::exists(path("pipe.png")));
    QVERIFY(!QFile::exists(path("out.png")) && !QFile::exists(path("t.png")));
}

void CliToolsTest::wrongCommand_data() {
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<QByteArray>("says");
    QTest::newRow("nothing") << QStringList{} << QByteArray("Usage: zft COMMAND");
    QTest::newRow("unknown command") << QStringList{"show", "p.zft"} << QByteArray("'show' is not a command");
    QTest::newRow("info without files") << QStringList{"info"} << QByteArray("no file");
    QTest::newRow("verify without files") << QStringList{"verify"} << QByteArray("no file");
    QTest::newRow("unknown option") << QStringList{"verify", "--deep", "p.zft"} << QByteArray("deep");
}

void CliToolsTest::wrongCommand() {
    QFETCH(QStringList, args);
    QFETCH(QByteArray, says);
    const Run run = run_zft(args);
    QCOMPARE(run.status, 2);
    QVERIFY2(run.err.contains(says), run.err.constData());
    QCOMPARE(run.out, QByteArray());
}

void CliToolsTest::standardInputAndOutput_data() {
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<QByteArray>("input");
    QTest::addColumn<QString>("output");  // "-" for standard output, or a file
    QTest::addColumn<QByteArray>("kind");  // "zft" (kGood itself), "text", or a picture format
    QBuffer bmp;
    bmp.open(QIODevice::WriteOnly);
    kPicture.save(&bmp, "BMP");
    const QStringList zftOf = {"convert", "--notice", "fixture", "--date", "09/03/2004"};
    QTest::newRow("convert - -o out.zft") << zftOf + QStringList{"-", "-o", "out.zft"} << bmp.data() << "out.zft"
                                          << QByteArray("zft");
    QTest::newRow("convert --fit - -o out.zft") << zftOf + QStringList{"--fit", "-", "-o", "out.zft"} << bmp.data()
                                                << "out.zft" << QByteArray("zft");
    QTest::newRow("convert p.bmp -o -") << zftOf + QStringList{"p.bmp", "-o", "-"} << QByteArray() << "-"
                                        << QByteArray("zft");
    QTest::newRow("export - out.ppm") << QStringList{"export", "-", "out.ppm"} << kGood << "out.ppm"
                                      << QByteArray("ppm");
    QTest::newRow("export p.zft - (PNG)") << QStringList{"export", "p.zft", "-"} << QByteArray() << "-"
                                          << QByteArray("png");
    QTest::newRow("export --format bmp p.zft -") << QStringList{"export", "--format", "bmp", "p.zft", "-"}
                                                 << QByteArray() << "-" << QByteArray("bmp");
    QTest::newRow("export - - --format=JPG") << QStringList{"export", "-", "-", "--format=JPG"} << kGood << "-"
                                             << QByteArray("jpeg");
    QTest::newRow("info -") << QStringList{"info", "-"} << kGood << "-" << QByteArray("text");
}

void CliToolsTest::standardInputAndOutput() {
    QFETCH(QStringList, args);
    QFETCH(QByteArray, input);
    QFETCH(QString, output);
    QFETCH(QByteArray, kind);
    fixture("p.zft", kGood);
    QVERIFY(kPicture.save(path("p.bmp")));
    const Run run = run_zft(args, dir_->path(), input);
    QVERIFY2(run.status == 0, run.err.constData());
    QCOMPARE(run.err, QByteArray());
    const QByteArray written = output == "-" ? run.out : contents(path(output));
    if (kind == "zft") {
        QCOMPARE(written, kGood);
    } else if (kind == "text") {
        QVERIFY2(written.startsWith("-\n") && written.contains("6 × 5 pixels") && written.contains("154 bytes, as"),
                 written.constData());
    } else {
        QBuffer buffer;
        buffer.setData(written);
        QImageReader reader(&buffer);
        QCOMPARE(reader.format(), kind);
        const QImage back = reader.read().convertToFormat(QImage::Format_RGB32);
        QCOMPARE(back.size(), kPicture.size());
        if (kind != "jpeg")
            QCOMPARE(back, kPicture);
    }
}

// A full disk: /dev/full refuses every write as a full disk does. Every
// command that writes to standard output says so.
void CliToolsTest::fullOutputIsTold() {
    fixture("p.zft", kGood);
    fixture("bad.zft", kGood.left(100));
    const QList<QStringList> commands = {{"export", "p.zft", "-"},  {"info", "p.zft"},
                                         {"info", "--json", "p.zft"}, {"verify", "bad.zft"},
                                         {"info", "--help"},          {"--help"}};
    for (const QStringList& args : commands) {
        QProcess process;
        process.setWorkingDirectory(dir_->path());
        process.setStandardOutputFile("/dev/full");
        process.start(ZFT_TOOL, args);
        QVERIFY(process.waitForFinished(60000));
        QVERIFY2(process.exitCode() == 1, qPrintable(args.join(' ')));
        const QString command = args[0].startsWith('-') ? QString() : ' ' + args[0];
        QCOMPARE(QString::fromUtf8(process.readAllStandardError()),
                 "zft" + command + ": standard output: No space left on device\n");
    }

    const Run broken = run_zft({"export", "-", "out.png"}, dir_->path(), "not a ZFT file at all");
    QCOMPARE(broken.status, 1);
    QVERIFY2(broken.err.startsWith("zft export: standard input: "), broken.err.constData());
    QVERIFY(!QFile::exists(path("out.png")));
}

// A file name is bytes: one in Latin-1 ("café" as 63 61 66 E9) is no UTF-8,
// and every command takes it as it is.
void CliToolsTest::namesThatAreNoUtf8() {
    QVERIFY(kPicture.save(path("p.bmp")));
    const QString script = QStringLiteral(
        "set -e; f=$(printf 'caf\\351'); cp p.bmp \"$f.bmp\"; mkdir d\n"
        "\"$0\" convert --notice fixture --date 09/03/2004 \"$f.bmp\" -o \"$f.zft\"\n"
        "\"$0\" convert --notice fixture --date 09/03/2004 -d d \"$f.bmp\"\n"
        "\"$0\" info \"$f.zft\"; \"$0\" verify \"$f.zft\"\n"
        "\"$0\" export \"$f.zft\" \"$f.png\"; \"$0\" thumbnail \"$f.zft\" \"$f-small.png\" 3\n"
        "\"$0\" info \"$f.missing\" || true\n"
        "\"$0\" info --json \"$f.zft\" >info.json\n");
    const Run run = run_script(script, dir_->path());
    QVERIFY2(run.status == 0, run.err.constData());
    const QByteArray folder = QFile::encodeName(dir_->path()) + '/';
    auto file = [&](const QByteArray& name) {
        QFile f;
        return f.open(::open((folder + name).constData(), O_RDONLY), QIODevice::ReadOnly, QFile::AutoCloseHandle)
                   ? f.readAll()
                   : QByteArray();
    };
    QCOMPARE(file("caf\xe9.zft"), kGood);
    QCOMPARE(file("d/caf\xe9.zft"), kGood);
    QVERIFY(QImage::fromData(file("caf\xe9.png")) == kPicture);
    QCOMPARE(QImage::fromData(file("caf\xe9-small.png")).width(), 3);
    QVERIFY2(run.out.startsWith("caf\\xE9.zft\n"), run.out.constData());
    QCOMPARE(run.err, QByteArray("zft info: caf\\xE9.missing: No such file or directory\n"));
    // JSON is UTF-8: the name as text has U+FFFD for the byte, and its bytes
    // beside it, from which it comes back.
    QJsonParseError error;
    const QByteArray json = file("info.json");
    const QJsonObject info = QJsonDocument::fromJson(json, &error).array()[0].toObject();
    QCOMPARE(error.error, QJsonParseError::NoError);
    QVERIFY2(QString::fromUtf8(json).toUtf8() == json, json.constData());
    QCOMPARE(info["path"].toString(), QStringLiteral("caf\uFFFD.zft"));
    QCOMPARE(QByteArray::fromHex(info["path_bytes"].toString().toLatin1()), QByteArray("caf\xe9.zft"));
    QCOMPARE(info["well_formed"].toBool(), true);
}

// Standard input has no length to refuse it by beforehand: it is read only
// as far as it must be, up to a bound, in little memory, whatever comes. A
// picture of any kind followed by no end is converted as the file alone is.
void CliToolsTest::endlessStandardInput_data() {
    QTest::addColumn<QString>("feed");  // a shell command whose output is zft's input
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<QByteArray>("says");  // empty: converted
    const QByteArray tooLong = "standard input: more than 2,994,067 bytes, longer than any ZFT file\n";
    QTest::newRow("info") << "cat /dev/zero" << QStringList{"info", "-"} << "zft info: " + tooLong;
    QTest::newRow("verify") << "cat /dev/zero" << QStringList{"verify", "-"} << "zft verify: " + tooLong;
    QTest::newRow("export") << "cat /dev/zero" << QStringList{"export", "-", "out.png"} << "zft export: " + tooLong;
    QTest::newRow("thumbnail") << "cat /dev/zero" << QStringList{"thumbnail", "-", "out.png", "64"}
                               << "zft thumbnail: " + tooLong;
    QTest::newRow("a ZFT header, then no end") << "cat p.zft /dev/zero" << QStringList{"export", "-", "-"}
                                              << "zft export: " + tooLong;
    QTest::newRow("convert") << "cat /dev/zero" << QStringList{"convert", "-", "-o", "out.zft"}
                             << QByteArray("zft convert: standard input: not a picture");
    // Refused by its headers before the rest is read.
    const QByteArray vast("zft convert: standard input: the picture is 20000 × 20000 pixels, more than the 100 megapixels");
    QTest::newRow("a large BMP's headers, then no end")
        << "cat vast.bmp /dev/zero" << QStringList{"convert", "-", "-o", "out.zft"} << vast;
    QTest::newRow("the same with --fit") << "cat vast.bmp /dev/zero"
                                         << QStringList{"convert", "--fit", "-", "-o", "out.zft"} << vast;
    for (const char* kind : {"png", "bmp", "ppm", "jpg"})
        QTest::addRow("a %s, then no end", kind) << QStringLiteral("cat p.%1 /dev/zero").arg(kind)
                                                << QStringList{"convert", "-", "-o", "out.zft"}
                                                << QByteArray();
}

void CliToolsTest::endlessStandardInput() {
    QFETCH(QString, feed);
    QFETCH(QStringList, args);
    QFETCH(QByteArray, says);
    fixture("p.zft", kGood);
    testing::Bmp vast;
    vast.width = vast.height = 20000;
    vast.data = QByteArray(12, '\x40');
    fixture("vast.bmp", testing::bytes(vast));
    for (const char* kind : {"png", "bmp", "ppm", "jpg"})
        QVERIFY(kPicture.save(path(QStringLiteral("p.%1").arg(kind))));
    // An address space of 400 MB: what is read is not held in memory.
    QString script = "ulimit -v 400000; " + feed + " | \"$0\"";
    for (const QString& arg : args)
        script += " '" + arg + "'";
    const Run run = run_script(script + " >/dev/null", dir_->path());
    if (says.isEmpty()) {
        QVERIFY2(run.status == 0, run.err.constData());
        QCOMPARE(contents(path("out.zft")).mid(58, 6), QByteArray("006005"));
        return;
    }
    QCOMPARE(run.status, 1);
    QVERIFY2(run.err.startsWith(says) && run.err.count('\n') == 1, run.err.constData());
    QVERIFY(!QFile::exists(path("out.png")) && !QFile::exists(path("out.zft")));
}

// A terminal is never taken as a file to read, as it is never written a
// picture: zft would wait for typing that never makes a picture.
void CliToolsTest::terminalIsNoInput() {
    const QString script = QStandardPaths::findExecutable(QStringLiteral("script"));
    if (script.isEmpty())
        QSKIP("script (util-linux) is not installed: no terminal to run zft on");
    fixture("p.zft", kGood);
    for (const char* command : {"info -", "verify -", "export - out.png", "thumbnail - out.png 64",
                             "convert - -o out.zft", "convert --fit - -o out.zft"}) {
        QProcess process;
        process.setWorkingDirectory(dir_->path());
        process.start(script, {"-qec", QStringLiteral("'%1' %2").arg(ZFT_TOOL, QLatin1String(command)), "/dev/null"});
        QVERIFY(process.waitForFinished(60000));
        QVERIFY2(process.exitCode() == 2, qPrintable(command));
        const QByteArray shown = process.readAllStandardOutput();
        QVERIFY2(shown.contains(": standard input is a terminal: a file is not read from one"), shown.constData());
    }
    QCOMPARE(QDir(dir_->path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot), QStringList{"p.zft"});
}

QTEST_MAIN(CliToolsTest)
#include "tst_cli_tools.moc"
