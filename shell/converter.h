// The converter: a JPG, GIF or BMP picture, shown on the main window, read
// back point by point from the window and written as a ZFT picture file.
#pragma once

namespace shell {

class MainScreen;

// The command behind File > Convert JPG/GIF/BMP file.
void convert_jpg_gif_bmp_file(MainScreen& w);

// Calls pump_events the given number of times in a row.
void pump_events_times(int times);

}  // namespace shell
