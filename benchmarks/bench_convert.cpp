// How long a 999 × 999 conversion takes, per picture format, against what
// zft convert does for the same file in its process (decode, save, commit)
// and against djpeg decoding the same JPEG to a PPM file.
//
// Each conversion runs the real command on the real window (offscreen), with
// the prompts answered by a script. Times come from timestamps taken while
// the prompts are shown:
//
//   save   the save dialog is shown (its answer follows at once)
//   conf   the confirmation box is shown
//   input  the input box is shown
//   done   the success box is shown
//
//   whole  = done - save, less the time spent inside the prompts in between
//   pixels = done - input, less the rest of the input box and less the
//            refresh and 100 event pumps that come before the header; those
//            are timed again, on the same window in the same state, while
//            the success box is shown. What is left is the header, the
//            pixel loop and the close of the file slot (its commit).
//
// Run it by hand on a quiet machine: bench_convert [runs [FORMAT]], FORMAT one
// of JPEG, BMP, GIF for that one alone.
#include <QApplication>
#include <QElapsedTimer>
#include <QImageWriter>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

#include "benchmarks/bench_stats.h"
#include "shell/converter.h"
#include "core/decoding.h"
#include "core/zft_codec.h"
#include "platform/qt/qt_toolkit.h"
#include "shell/mainscreen.h"
#include "tests/support/gif_writer.h"
#include "tests/support/scripted_prompts.h"

extern char** environ;

namespace {

constexpr int kSide = 999;

// A picture with smooth ramps, waves and fine noise, so that the JPEG is as
// hard to decode as a photograph of its size.
QRgb photo(int x, int y) {
    const unsigned noise = (static_cast<unsigned>(x) * 2654435761u ^ static_cast<unsigned>(y) * 40503u) >> 28;
    const int wave = static_cast<int>(100 * std::sin(x / 20.0) * std::cos(y / 15.0));
    return qRgb(std::clamp(x * 255 / kSide + static_cast<int>(noise) - 8, 0, 255),
                std::clamp(y * 255 / kSide + static_cast<int>(noise) - 8, 0, 255), std::clamp(128 + wave, 0, 255));
}

struct Run {
    double whole = 0;         // save dialog answered to success box, prompts excluded
    double toConfirmation = 0;  // decode, show, fit, refresh, pumps
    double pixels = 0;        // header, pixel loop, close of the slot
    double refreshAndPumps = 0;
    double close = 0;         // commit of the slot, timed alone on a copy
};

Run convert_once(const QString& source, const QString& target) {
    testing::ScriptedPrompts prompts;
    prompts.file(source).file(target).button(platform::Answer::Ok).input(QStringLiteral("bench")).button(
        platform::Answer::Ok);
    platform::qt::QtToolkit toolkit;
    shell::MainScreen w(toolkit, prompts);
    shell::load_mainscreen(w);
    w.window->show();

    QElapsedTimer clock;
    clock.start();
    qint64 save = 0, conf = 0, input = 0, done = 0;
    qint64 promptsAtSave = 0, promptsAtInput = 0, promptsAtDone = 0;
    qint64 refreshAndPumps = 0;
    prompts.whileShown = [&](const testing::Shown& shown) {
        const qint64 now = clock.nsecsElapsed();
        if (shown.kind == testing::Shown::Kind::FileDialog && shown.mode == platform::FileDialogMode::Save) {
            save = now;
            promptsAtSave = prompts.promptNanos;
        } else if (shown.kind == testing::Shown::Kind::MessageBox && shown.style == platform::MessageStyle::Stop) {
            conf = now;
        } else if (shown.kind == testing::Shown::Kind::InputBox) {
            input = now;
            promptsAtInput = prompts.promptNanos;
        } else if (shown.kind == testing::Shown::Kind::MessageBox &&
                   shown.style == platform::MessageStyle::Exclamation) {
            done = now;
            promptsAtDone = prompts.promptNanos;
            // The window still shows the picture: the same refresh and pumps
            // the command made before the header.
            const qint64 start = clock.nsecsElapsed();
            w.window->refresh();
            shell::pump_events_times(toolkit, 100);
            refreshAndPumps = clock.nsecsElapsed() - start;
        }
    };
    w.run(shell::convert_jpg_gif_bmp_file);
    if (!prompts.unexpected.isEmpty() || done == 0) {
        std::fprintf(stderr, "conversion of %s did not succeed: %s\n", qPrintable(source),
                     qPrintable(prompts.unexpected.join(QLatin1Char('\n'))));
        std::exit(1);
    }
    Run run;
    // promptsAtDone - promptsAtSave: the whole save dialog, the confirmation
    // and the input box; promptsAtDone - promptsAtInput: the whole input box,
    // of which the part before its timestamp is a few instructions.
    run.whole = ms(done - save - (promptsAtDone - promptsAtSave));
    run.toConfirmation = ms(conf - save);
    run.refreshAndPumps = ms(refreshAndPumps);
    run.pixels = ms(done - input - (promptsAtDone - promptsAtInput)) - run.refreshAndPumps;
    return run;
}

// The time the slot's close takes for a file of this size: write it through
// a slot and time the close alone.
double close_time(const QString& path, qint64 bytes) {
    QFile::remove(path);
    platform::FileSlot slot;
    slot.openForWriting(path.toStdString());
    slot.writer()->write(std::string(static_cast<std::size_t>(bytes), 'x'));
    QElapsedTimer clock;
    clock.start();
    slot.close().take();
    return ms(clock.nsecsElapsed());
}

// Of that, what the commit's fdatasync costs: the same bytes written to a
// new file, then only the sync timed.
double sync_time(const QString& path, qint64 bytes) {
    QFile::remove(path);
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(std::string(static_cast<std::size_t>(bytes), 'x').c_str(), bytes) != bytes ||
        !file.flush())
        return -1;
    QElapsedTimer clock;
    clock.start();
    ::fdatasync(file.handle());
    return ms(clock.nsecsElapsed());
}

// The decoder alone, as the command calls it.
double decode_time(const QString& path) {
    QElapsedTimer clock;
    clock.start();
    const core::Picture picture = core::load_picture(core::system_files(), path.toStdString());
    const double took = ms(clock.nsecsElapsed());
    return picture.width() == kSide ? took : -1;
}

// What zft convert does for one file, in this process: the picture decoded,
// saved through the core's one save and committed to a new file.
double core_convert_once(const QString& source, const QString& target) {
    QFile::remove(target);
    QElapsedTimer clock;
    clock.start();
    const std::string path = target.toStdString();
    core::save_zft(core::system_files(), path, core::Existing::Keep,
                   core::load_picture(core::system_files(), source.toStdString()), {"bench", {9, 3, 2004}});
    return ms(clock.nsecsElapsed());
}

// djpeg as a whole process, writing its PPM to a file as the converter writes its ZFT.
double djpeg_once(const QString& djpeg, const QString& jpeg, const QString& ppm) {
    const QByteArray program = djpeg.toLocal8Bit();
    const QByteArray in = jpeg.toLocal8Bit();
    const QByteArray out = ppm.toLocal8Bit();
    char* argv[] = {const_cast<char*>(program.constData()), const_cast<char*>("-ppm"), const_cast<char*>("-outfile"),
                    const_cast<char*>(out.constData()), const_cast<char*>(in.constData()), nullptr};
    QFile::remove(ppm);  // a new file each time, as the converter's target
    QElapsedTimer clock;
    clock.start();
    pid_t pid = 0;
    if (posix_spawn(&pid, program.constData(), nullptr, nullptr, argv, environ) != 0)
        return -1;
    int status = 0;
    waitpid(pid, &status, 0);
    const double took = ms(clock.nsecsElapsed());
    return WIFEXITED(status) && WEXITSTATUS(status) == 0 ? took : -1;
}

}  // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 9;

    QTemporaryDir dir;
    QImage picture(kSide, kSide, QImage::Format_RGB32);
    testing::IndexedPicture gif;
    gif.width = gif.height = kSide;
    for (int i = 0; i < 256; ++i)
        gif.palette << qRgb((i >> 5) * 255 / 7, ((i >> 2) & 7) * 255 / 7, (i & 3) * 255 / 3);
    for (int y = 0; y < kSide; ++y) {
        for (int x = 0; x < kSide; ++x) {
            const QRgb colour = photo(x, y);
            picture.setPixel(x, y, colour);
            gif.indices.push_back(static_cast<unsigned char>((qRed(colour) >> 5) << 5 | (qGreen(colour) >> 5) << 2 |
                                                             qBlue(colour) >> 6));
        }
    }
    const QString jpeg = dir.filePath(QStringLiteral("photo.jpg"));
    QImageWriter writer(jpeg, "jpeg");
    writer.setQuality(90);
    const QString bmp = dir.filePath(QStringLiteral("photo.bmp"));
    const QString gifPath = dir.filePath(QStringLiteral("photo.gif"));
    if (!writer.write(picture) || !picture.save(bmp) || !testing::write_gif(gifPath, gif)) {
        std::fprintf(stderr, "cannot write the test pictures in %s\n", qPrintable(dir.path()));
        return 1;
    }

    std::printf("ZFT conversion of 999 x 999 pictures, %d runs each, medians (best) in ms\n", runs);
    std::printf("whole  = save dialog answered to success box, less the time inside the prompts\n");
    std::printf("pixels = input box to success box, less the prompt and the refresh + 100 pumps\n");
    std::printf("         before the header (timed again on the same window): header, pixel loop, close\n\n");
    std::printf("to confirmation = save dialog answered to confirmation shown: decode, show, fit, refresh, pumps\n");
    std::printf("decode = load_picture alone; close = the slot's close (commit) alone, of which\n");
    std::printf("         fdatasync = the sync of a 3 MB file alone; all on new files\n\n");
    std::printf("core   = zft convert's work in this process: decode, save, commit to a new file\n\n");
    std::printf("%-6s %16s %16s %16s %9s %9s %9s %9s %9s %7s\n", "format", "whole", "to confirmation", "pixels", "refresh",
                "decode", "close", "fdatasync", "core", "whole/core");
    const QString djpeg = QStandardPaths::findExecutable(QStringLiteral("djpeg"));
    const QString ppm = dir.filePath(QStringLiteral("photo.ppm"));
    double jpegWhole = 0;
    double jpegCore = 0;
    std::vector<double> djpegTimes;
    for (const auto& [name, source] : {std::pair{"JPEG", jpeg}, std::pair{"BMP", bmp}, std::pair{"GIF", gifPath}}) {
        if (argc > 2 && std::string_view(argv[2]) != name)
            continue;
        const bool againstDjpeg = std::string_view(name) == "JPEG" && !djpeg.isEmpty();
        std::vector<double> whole, confirm, pixels, pumps, decodes, closes, syncs, cores;
        const QString target = dir.filePath(QStringLiteral("out.zft"));
        convert_once(source, target);  // warm the caches and the decoder plugin
        for (int i = 0; i < runs; ++i) {
            QFile::remove(target);
            const Run run = convert_once(source, target);
            whole.push_back(run.whole);
            confirm.push_back(run.toConfirmation);
            pixels.push_back(run.pixels);
            pumps.push_back(run.refreshAndPumps);
            decodes.push_back(decode_time(source));
            closes.push_back(close_time(dir.filePath(QStringLiteral("close.zft")), 2994067));
            syncs.push_back(sync_time(dir.filePath(QStringLiteral("sync.zft")), 2994067));
            cores.push_back(core_convert_once(source, dir.filePath(QStringLiteral("core.zft"))));
            // Side by side with the conversion, so that both meet the same
            // moment of a busy machine.
            if (againstDjpeg)
                djpegTimes.push_back(djpeg_once(djpeg, jpeg, ppm));
        }
        if (QFileInfo(target).size() != 2994067) {
            std::fprintf(stderr, "%s: the ZFT file is %lld bytes\n", name, QFileInfo(target).size());
            return 1;
        }
        std::printf("%-6s %8.1f (%5.1f) %8.1f (%5.1f) %8.1f (%5.1f) %9.1f %9.1f %9.1f %9.1f %9.1f %7.2f\n", name,
                    median(whole), best(whole), median(confirm), best(confirm), median(pixels), best(pixels),
                    median(pumps), median(decodes), median(closes), median(syncs), median(cores),
                    median(whole) / median(cores));
        if (std::string_view(name) == "JPEG") {
            jpegWhole = median(whole);
            jpegCore = median(cores);
        }
    }

    std::printf("\nJPEG: the window's whole conversion / zft convert's in its process, medians: %.2f (aim: at most 1.1)\n",
                jpegWhole / jpegCore);
    if (djpeg.isEmpty()) {
        std::printf("\ndjpeg not found (package libjpeg-turbo-progs): no comparison\n");
        return 0;
    }
    if (std::any_of(djpegTimes.begin(), djpegTimes.end(), [](double t) { return t < 0; })) {
        std::fprintf(stderr, "djpeg failed\n");
        return 1;
    }
    std::printf("\ndjpeg -ppm, whole process writing the PPM file: best %.1f ms, median %.1f ms\n", best(djpegTimes),
                median(djpegTimes));
    std::printf("JPEG conversion / djpeg, medians: %.2f (aim: at most 1.3)\n", jpegWhole / median(djpegTimes));
    return 0;
}
