#include "shell/mainscreen.h"

#include <QApplication>
#include <QFile>
#include <QFileInfo>
#include <QIcon>
#include <algorithm>

#include "core/decoding.h"
#include "platform/text.h"
#include "shell/commands.h"
#include "shell/converter.h"
#include "shell/previewer.h"

namespace shell {
namespace {

// The window as it is created, before the loading sizes it: a client area
// of 3885 × 5310 twips inside the frame and the menu bar.
constexpr float kCreatedWidth = 3885 + 2 * platform::kFramePixels * platform::kTwipsPerPixel;
constexpr float kCreatedHeight =
    5310 + (2 * platform::kFramePixels + platform::kMenuBarPixels) * platform::kTwipsPerPixel;

// The command for a file the program was opened with.
void open_file(MainScreen& w, const QString& path) {
    bool picture = false;
    try {
        picture = core::is_picture(*w.files.open(platform::file_name(path)));
    } catch (const core::Failure&) {
        // Unreadable: the previewer says why, as for any file it cannot open.
    }
    if (picture)
        convert_jpg_gif_bmp_file_from(w, path);
    else
        preview_zft_file_at(w, path);
}

}  // namespace

MainScreen::MainScreen(platform::Prompts& prompts, core::Files& files)
    : prompts(prompts), files(files), window(QStringLiteral("mainscreen"), true), CommonDialog1(prompts), slot1(files) {
    window.setSizeTwips(kCreatedWidth, kCreatedHeight);
    window.setWindowIcon(QIcon(QStringLiteral(":/assets/icon.png")));
    // It has no title bar: assistive technologies take the name from here.
    window.setAccessibleName(QStringLiteral("ZFT Toolkit"));
    platform::DrawingSurface* surface = window.surface();
    backup = new platform::PictureArea(surface, QStringLiteral("backup"), 1380, 3720, 3750, 3000);
    backup->setPicture(load_logo());
    backup->setVisible(false);
    beeld = new platform::PictureArea(surface, QStringLiteral("beeld"), kBeeldLeft, kBeeldTop, 3750, 3000);
    // The window has no title bar; where the window system places it itself
    // (Wayland), perhaps partly off the screen, the picture is its handle.
    beeld->setDragsWindow(true);

    QMenu* bestand = window.addMenu(QStringLiteral("bestand"), QStringLiteral("&File"));
    preview_zft_file = window.addItem(bestand, QStringLiteral("preview_zft_file"), QStringLiteral("&Preview ZFT-file"),
                                      {}, [this] { run(shell::preview_zft_file); });
    convert_jpg_gif_bmp_file =
        window.addItem(bestand, QStringLiteral("convert_jpg_gif_bmp_file"),
                       QStringLiteral("&Convert JPG/GIF/BMP file"), {}, [this] { run(shell::convert_jpg_gif_bmp_file); });
    exit_zft_toolkit = window.addItem(bestand, QStringLiteral("exit_zft_toolkit"), QStringLiteral("&Exit ZFT toolkit"),
                                      {}, [this] { run(shell::exit_zft_toolkit); });
    QMenu* hulp = window.addMenu(QStringLiteral("hulp"), QStringLiteral("&Help"));
    about_zft_toolkit =
        window.addItem(hulp, QStringLiteral("about_zft_toolkit"), QStringLiteral("&About ZFT toolkit ..."),
                       QKeySequence(Qt::Key_F1), [this] { run(shell::about_zft_toolkit); });

    // A close asked for in the middle of a command waits for its end, so that
    // nothing is left half-written.
    window.setCloseGuard([this] {
        closeRequested_ = running_;
        return !running_;
    });
}

bool MainScreen::run(const std::function<void(MainScreen&)>& command) {
    if (running_) {
        QApplication::beep();
        return false;
    }
    running_ = true;
    command(*this);
    running_ = false;
    if (closeRequested_) {
        closeRequested_ = false;
        window.close();
    }
    return true;
}

void FitWindowToPicture(MainScreen& w, Minimum minimum) {
    float width = w.beeld->widthTwips() + 165;
    float height = w.beeld->heightTwips() + 450;
    if (minimum == Minimum::With) {
        width = std::max(width, 3915.0f);
        height = std::max(height, 3450.0f);
    }
    // Both sides at once: the window is kept on its screen for the size it
    // ends with, not moved for a width that goes with the old height.
    w.window.setSizeTwips(width, height);
}

core::Picture load_logo() {
    const QString path = QStringLiteral(":/assets/logo.jpg");
    QFile file(path);
    file.open(QIODevice::ReadOnly);
    const QByteArray bytes = file.readAll();
    core::MemorySource logo(bytes.constData(), static_cast<std::size_t>(bytes.size()));
    return core::load_picture(logo, path.toStdString());
}

void name_beeld(MainScreen& w, const QString& path) {
    if (path.isEmpty()) {
        w.beeld->setAccessibleName(QStringLiteral("logo"));
        return;
    }
    w.beeld->setAccessibleName(QStringLiteral("%1, %2 × %3 pixels")
                                   .arg(QFileInfo(path).fileName())
                                   .arg(platform::to_pixels(w.beeld->widthTwips()))
                                   .arg(platform::to_pixels(w.beeld->heightTwips())));
}

void load_mainscreen(MainScreen& w) {
    w.beeld->setPicture(w.backup->picture());
    name_beeld(w);
    FitWindowToPicture(w, Minimum::Without);
}

void show_mainscreen(MainScreen& w, const QString& file) {
    load_mainscreen(w);
    w.window.centre();
    if (!file.isEmpty()) {
        QMetaObject::invokeMethod(
            &w.window, [&w, file] { w.run([&file](MainScreen& m) { open_file(m, file); }); }, Qt::QueuedConnection);
    }
    w.window.showModal();
}

}  // namespace shell
