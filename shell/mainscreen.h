// The main window `mainscreen` and its controls: the menu, the picture area
// `beeld` that shows the current picture, the hidden picture area `backup`
// that keeps the built-in logo, the file dialog `CommonDialog1` and file slot 1.
// The commands work on these; they keep no state of their own between runs.
#pragma once

#include <functional>
#include <memory>
#include <string>

#include "platform/async.h"
#include "platform/file_slot.h"
#include "platform/prompts.h"
#include "platform/toolkit.h"
#include "platform/window.h"
#include "shell/texts.h"

namespace shell {

// Where `beeld`'s top-left corner stays, in twips of the drawing surface.
inline constexpr float kBeeldLeft = 60;
inline constexpr float kBeeldTop = 60;

class MainScreen;

// A menu command: it may wait for answers, and ends when its Async does.
using Command = std::function<platform::Async<void>(MainScreen&)>;

class MainScreen {
public:
    // The toolkit makes the window; the prompts and the files are the
    // commands' ways to the user and to the disk; tests give their own.
    MainScreen(platform::Toolkit& toolkit, platform::Prompts& prompts, core::Files& files = core::system_files());
    MainScreen(const MainScreen&) = delete;
    MainScreen& operator=(const MainScreen&) = delete;

    platform::Toolkit& toolkit;
    platform::Prompts& prompts;
    core::Files& files;
    std::unique_ptr<platform::Window> window;
    platform::PictureArea* backup;
    platform::PictureArea* beeld;
    platform::FileDialog CommonDialog1;
    platform::FileSlot slot1;

    platform::MenuItem* preview_zft_file;
    platform::MenuItem* convert_jpg_gif_bmp_file;
    platform::MenuItem* exit_zft_toolkit;
    platform::MenuItem* about_zft_toolkit;

    // Runs one menu command from its start to its end, also while it waits
    // for an answer. Until it has ended the other commands are refused, with
    // a beep: they would share file slot 1 and the window. Returns false
    // when refused.
    bool run(Command command);

private:
    platform::Async<void> runToEnd(Command command);

    bool running_ = false;
    bool closeRequested_ = false;
};

enum class Minimum { Without, With };

// Sizes the main window around `beeld`: 165 twips wider and 450 twips taller,
// and with the minimum at least 3915 × 3450 twips, the window around the logo.
void FitWindowToPicture(MainScreen& w, Minimum minimum);

// The logo, a 250 × 200-pixel JPEG built into the program, decoded as every
// picture is.
core::Picture load_logo();

// Tells assistive technologies what `beeld` shows at its size now: the
// logo (no path), or the picture of the file at `path`.
void name_beeld(MainScreen& w, const std::string& path = {});

// The loading of the main window: the logo into `beeld` and the window fitted.
void load_mainscreen(MainScreen& w);

// Loads the main window, shows it centred and modal, and ends when it has
// closed. A `file` is opened as soon as the window is shown, without the
// open dialog: a picture the program reads is converted (File > Convert
// JPG/GIF/BMP file, the save dialog next), anything else previewed (File >
// Preview ZFT-file), which tells what is wrong with it if it is no ZFT file.
platform::Async<void> show_mainscreen(MainScreen& w, std::string file = {});

// The command for a file the program was opened with: a picture it reads
// converted, anything else previewed, as show_mainscreen opens `file`.
platform::Async<void> open_file(MainScreen& w, const std::string& path);

}  // namespace shell
