// How long the preview of a 999 × 999 ZFT file takes, on the real window
// (offscreen), with the prompts answered by a script.
//
//   whole  the command from the open dialog's answer to the end of the pixel
//          loop (and the close of the slot right after it), less the time
//          spent inside the prompts: the information box, and what is left
//          of the dialog after its answer.
//   box on the part of it after the information box: emptying and sizing
//          `beeld`, fitting and refreshing the window, 100 event pumps, the
//          pixel loop and the close.
//   loop   the pixel loop alone, the very function the command runs (three
//          one-byte reads from file slot 1 and one set_pixel per pixel), on
//          the window the preview left, the file opened and its header read
//          beforehand.
//
// Run it by hand on a quiet machine: bench_preview [runs]
#include <QApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdio>
#include <random>
#include <vector>

#include "benchmarks/bench_stats.h"
#include "platform/qt/qt_toolkit.h"
#include "shell/mainscreen.h"
#include "shell/previewer.h"
#include "tests/support/fixtures.h"
#include "tests/support/scripted_prompts.h"

namespace {

constexpr int kSide = 999;

QString write_picture(const QTemporaryDir& dir) {
    QByteArray bytes = testing::header_bytes(kSide, kSide, "bench", QDate(2001, 12, 25));
    bytes.reserve(64 + 3 * kSide * kSide);
    std::mt19937 random(1);
    for (int i = 0; i < 3 * kSide * kSide; ++i)
        bytes += static_cast<char>(random() & 0xFF);
    const QString path = dir.filePath(QStringLiteral("big.zft"));
    if (!testing::write_file(path, bytes)) {
        std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
        std::exit(1);
    }
    return path;
}

struct Run {
    double whole = 0;
    double afterBox = 0;
    double loop = 0;
};

Run preview_once(const QString& path) {
    testing::ScriptedPrompts prompts;
    prompts.file(path).button(platform::Answer::Ok);
    platform::qt::QtToolkit toolkit;
    shell::MainScreen w(toolkit, prompts);
    shell::load_mainscreen(w);
    w.window->show();

    QElapsedTimer clock;
    clock.start();
    qint64 answered = 0;
    qint64 promptsAtAnswer = 0;
    qint64 box = 0;
    prompts.whileShown = [&](const testing::Shown& shown) {
        if (shown.kind == testing::Shown::Kind::FileDialog) {
            answered = clock.nsecsElapsed();
            promptsAtAnswer = prompts.promptNanos;
        } else {
            box = clock.nsecsElapsed();
        }
    };
    w.run(shell::preview_zft_file);
    const qint64 end = clock.nsecsElapsed();
    if (!prompts.unexpected.isEmpty() || prompts.shown.size() != 2) {
        std::fprintf(stderr, "the preview did not go as scripted: %s\n",
                     qPrintable(prompts.unexpected.join(QLatin1Char('\n'))));
        std::exit(1);
    }
    Run run;
    run.whole = ms(end - answered - (prompts.promptNanos - promptsAtAnswer));
    run.afterBox = ms(end - box);  // the few instructions left of the box's prompt are noise

    // The loop again, alone, on the window as the preview left it.
    w.slot1.close().take();
    w.slot1.openForReading(path.toStdString());
    w.slot1.readChars(64);
    const qint64 start = clock.nsecsElapsed();
    shell::paint_pixels(w.slot1, w.window->surface(), kSide, kSide);
    run.loop = ms(clock.nsecsElapsed() - start);
    w.slot1.close().take();
    return run;
}

}  // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 9;

    QTemporaryDir dir;
    const QString path = write_picture(dir);
    preview_once(path);  // warm-up: fonts, caches, the first window

    std::vector<double> whole, afterBox, loop;
    for (int i = 0; i < runs; ++i) {
        const Run run = preview_once(path);
        whole.push_back(run.whole);
        afterBox.push_back(run.afterBox);
        loop.push_back(run.loop);
    }
    std::printf("preview of a %d x %d ZFT file, %d runs (median / best, ms)\n", kSide, kSide, runs);
    std::printf("  pixel loop             %7.1f / %7.1f   target < 50\n", median(loop), best(loop));
    std::printf("  whole, less prompts    %7.1f / %7.1f   target < 100\n", median(whole), best(whole));
    std::printf("    of it after the box  %7.1f / %7.1f\n", median(afterBox), best(afterBox));
    return 0;
}
