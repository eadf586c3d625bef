// The converter: a JPG, GIF or BMP picture, shown on the main window and
// written as a ZFT picture file, point by point as the window shows it.
#pragma once

#include <string>

#include "platform/async.h"

namespace platform {
class Toolkit;
}  // namespace platform

namespace shell {

class MainScreen;

// The command behind File > Convert JPG/GIF/BMP file.
platform::Async<void> convert_jpg_gif_bmp_file(MainScreen& w);

// The same with the picture at `source` already chosen: the program was
// opened with it.
platform::Async<void> convert_jpg_gif_bmp_file_from(MainScreen& w, std::string source);

// Calls pump_events the given number of times in a row.
void pump_events_times(platform::Toolkit& toolkit, int times);

}  // namespace shell
