#include "shell/mainscreen.h"

#include <algorithm>
#include <exception>

#include "core/decoding.h"
#include "platform/text.h"
#include "platform/units.h"
#include "shell/commands.h"
#include "shell/converter.h"
#include "shell/logo.h"
#include "shell/previewer.h"

namespace shell {
namespace {

// The window as it is created, before the loading sizes it: a client area
// of 3885 × 5310 twips inside the frame and the menu bar.
constexpr float kCreatedWidth = 3885 + 2 * platform::kFramePixels * platform::kTwipsPerPixel;
constexpr float kCreatedHeight =
    5310 + (2 * platform::kFramePixels + platform::kMenuBarPixels) * platform::kTwipsPerPixel;

}  // namespace

MainScreen::MainScreen(platform::Toolkit& toolkit, platform::Prompts& prompts, core::Files& files)
    : toolkit(toolkit),
      prompts(prompts),
      files(files),
      window(toolkit.makeWindow("mainscreen", true)),
      CommonDialog1(prompts),
      slot1(files) {
    window->setSizeTwips(kCreatedWidth, kCreatedHeight);
    // It has no title bar: assistive technologies take the name from here.
    window->setAccessibleName(kProgramName);
    backup = &window->addPictureArea("backup", 1380, 3720, 3750, 3000);
    backup->setPicture(load_logo());
    backup->setVisible(false);
    beeld = &window->addPictureArea("beeld", kBeeldLeft, kBeeldTop, 3750, 3000);
    // The window has no title bar; where the window system places it itself
    // (Wayland), perhaps partly off the screen, the picture is its handle.
    beeld->setDragsWindow(true);

    platform::Menu& bestand = window->addMenu("bestand", kFileMenu);
    preview_zft_file = &bestand.addItem("preview_zft_file", kPreviewItem, {}, [this] { run(shell::preview_zft_file); });
    convert_jpg_gif_bmp_file = &bestand.addItem("convert_jpg_gif_bmp_file", kConvertItem, {},
                                                [this] { run(shell::convert_jpg_gif_bmp_file); });
    exit_zft_toolkit = &bestand.addItem("exit_zft_toolkit", kExitItem, {}, [this] { run(shell::exit_zft_toolkit); });
    platform::Menu& hulp = window->addMenu("hulp", kHelpMenu);
    about_zft_toolkit =
        &hulp.addItem("about_zft_toolkit", kAboutItem, kAboutShortcut, [this] { run(shell::about_zft_toolkit); });

    // A close asked for in the middle of a command waits for its end, so that
    // nothing is left half-written.
    window->setCloseGuard([this] {
        closeRequested_ = running_;
        return !running_;
    });
}

bool MainScreen::run(Command command) {
    if (running_) {
        toolkit.beep();
        return false;
    }
    running_ = true;
    platform::Async<void> ran = runToEnd(std::move(command));
    // A command that failed at once, with what it does not tell the user
    // of itself, fails here, as a plain call would.
    if (ran.done())
        ran.take();
    return true;
}

platform::Async<void> MainScreen::runToEnd(Command command) {
    std::exception_ptr failure;
    try {
        co_await command(*this);
    } catch (...) {
        failure = std::current_exception();
    }
    running_ = false;
    if (closeRequested_) {
        closeRequested_ = false;
        window->close();
    }
    if (failure)
        std::rethrow_exception(failure);
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
    w.window->setSizeTwips(width, height);
}

core::Picture load_logo() {
    core::MemorySource logo(kLogoJpeg, kLogoJpegSize);
    return core::load_picture(logo, "logo.jpg");
}

void name_beeld(MainScreen& w, const std::string& path) {
    if (path.empty()) {
        w.beeld->setAccessibleName(kLogoName);
        return;
    }
    w.beeld->setAccessibleName(picture_name(platform::file_name_of(path), platform::to_pixels(w.beeld->widthTwips()),
                                            platform::to_pixels(w.beeld->heightTwips())));
}

void load_mainscreen(MainScreen& w) {
    w.beeld->setPicture(w.backup->picture());
    name_beeld(w);
    FitWindowToPicture(w, Minimum::Without);
}

platform::Async<void> open_file(MainScreen& w, const std::string& path) {
    bool picture = false;
    try {
        picture = core::is_picture(*w.files.open(path));
    } catch (const core::Failure&) {
        // Unreadable: the previewer says why, as for any file it cannot open.
    }
    return picture ? convert_jpg_gif_bmp_file_from(w, path) : preview_zft_file_at(w, path);
}

platform::Async<void> show_mainscreen(MainScreen& w, std::string file) {
    load_mainscreen(w);
    w.window->centre();
    if (!file.empty())
        w.window->post([&w, file] { w.run([file](MainScreen& m) { return open_file(m, file); }); });
    co_await w.window->showModal();
}

}  // namespace shell
