// The previewer: a ZFT picture file's header shown in a box, its pixels
// painted on the main window, one point per pixel, where `beeld` stands.
#pragma once

#include <string>

#include "platform/async.h"

namespace platform {
class FileSlot;
class Surface;
}  // namespace platform

namespace shell {

class MainScreen;

// The command behind File > Preview ZFT-file.
platform::Async<void> preview_zft_file(MainScreen& w);

// The same command for the file at `path`, without its file dialog: the
// file the program was given on its command line.
platform::Async<void> preview_zft_file_at(MainScreen& w, std::string path);

// The command's pixel loop: `width` × `height` pixels from `slot`, row by row,
// each three one-byte reads (red, green, blue) and one point painted at
// (45 + 15·x, 45 + 15·y) twips, x and y counted from 1. Throws the slot's
// Failure when the file ends first; the complete pixels before it are painted.
void paint_pixels(platform::FileSlot& slot, platform::Surface& surface, int width, int height);

}  // namespace shell
