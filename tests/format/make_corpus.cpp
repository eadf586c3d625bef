// Writes the seed corpus of the readers' fuzz target into a folder: pictures
// converted by the program's own converter, and copies of them damaged the
// ways files get damaged. tests/format/corpus holds its output:
//   zft_make_corpus tests/format/corpus
#include <QApplication>
#include <QDir>
#include <QImage>
#include <QTemporaryDir>
#include <cstdio>

#include "shell/converter.h"
#include "shell/mainscreen.h"
#include "tests/support/fixtures.h"
#include "tests/support/scripted_prompts.h"

namespace {

QByteArray convert(shell::MainScreen& w, testing::ScriptedPrompts& prompts, const QImage& picture,
                   const QString& notice) {
    QTemporaryDir dir;
    const QString source = dir.filePath(QStringLiteral("source.bmp"));
    const QString target = dir.filePath(QStringLiteral("target.zft"));
    if (!picture.convertToFormat(QImage::Format_RGB888).save(source))
        qFatal("cannot write %s", qPrintable(source));
    prompts.file(source).file(target).button(platform::Answer::Ok).input(notice).button(platform::Answer::Ok);
    shell::convert_jpg_gif_bmp_file(w);
    if (!prompts.unexpected.isEmpty() || !prompts.allAnswered())
        qFatal("the conversion asked something unexpected: %s", qPrintable(prompts.unexpected.join('\n')));
    const QByteArray bytes = testing::contents(target);
    if (bytes.isEmpty())
        qFatal("the conversion wrote nothing");
    return bytes;
}

}  // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s FOLDER\n", argv[0]);
        return 2;
    }
    const QDir out(QString::fromLocal8Bit(argv[1]));
    if (!out.mkpath(QStringLiteral(".")))
        qFatal("cannot make %s", argv[1]);

    testing::ScriptedPrompts prompts;
    prompts.date = QDate(2001, 12, 25);
    shell::MainScreen w(prompts);
    shell::load_mainscreen(w);

    QImage one(1, 1, QImage::Format_RGB32);
    one.setPixel(0, 0, qRgb(13, 10, 26));
    const QByteArray six = convert(w, prompts, testing::asymmetric(6, 5), QStringLiteral("  (c) Zoë €5  "));
    const QByteArray wide = convert(w, prompts, testing::asymmetric(65, 7), QString());

    auto replaced = [](QByteArray bytes, int offset, const QByteArray& with) {
        return bytes.replace(offset, with.size(), with);
    };
    const std::pair<const char*, QByteArray> files[] = {
        {"one_pixel.zft", convert(w, prompts, one, QStringLiteral("one"))},
        {"asymmetric_6x5.zft", six},
        {"wide_65x7.zft", wide},
        {"notice_windows_1252.zft",
         convert(w, prompts, testing::asymmetric(3, 2), QStringLiteral("€‚ƒ„…†‡ˆ‰Š‹ŒŽ‘’“”•–—˜™š›œžŸ ¡¢£¤¥¦§¨©ª«¬®¯°±²³´µ¶·¸¹º»¼½¾¿ÀÿÞß"))},
        {"cut_in_header.zft", six.left(40)},
        {"cut_in_pixels.zft", six.left(64 + 3 * 14 + 1)},
        {"trailing_bytes.zft", six + QByteArray("\x0D\x0A\x1A trailing bytes")},
        {"width_000.zft", replaced(six, 58, "000")},
        {"width_signed.zft", replaced(six, 58, "-06")},
        {"sizes_garbage.zft", replaced(six, 58, QByteArray(" 6x\xFF" "05", 6))},
        {"version_7Q.zft", replaced(six, 0, "7Q")},
        {"promises_999x999.zft", replaced(wide, 58, "999999")},
    };
    for (const auto& [name, bytes] : files) {
        if (!testing::write_file(out.filePath(QString::fromLatin1(name)), bytes))
            qFatal("cannot write %s", name);
    }
    std::printf("%zu files in %s\n", std::size(files), argv[1]);
    return 0;
}
