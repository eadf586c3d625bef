// The converter: a JPG, GIF or BMP picture, shown on the main window and
// written as a ZFT picture file, point by point as the window shows it.
#pragma once

class QString;

namespace shell {

class MainScreen;

// The command behind File > Convert JPG/GIF/BMP file.
void convert_jpg_gif_bmp_file(MainScreen& w);

// The same with the picture at `source` already chosen: the program was
// opened with it.
void convert_jpg_gif_bmp_file_from(MainScreen& w, const QString& source);

// Calls pump_events the given number of times in a row.
void pump_events_times(int times);

}  // namespace shell
