// The converter: a JPG, GIF or BMP picture, shown on the main window, read
// back point by point from the window and written as a ZFT picture file.
#pragma once

#include <QString>
#include <string>

namespace shell {
class MainScreen;
}

namespace conversion {

// The command behind File > Convert JPG/GIF/BMP file.
void convert_jpg_gif_bmp_file(shell::MainScreen& w);

// The notice as the file stores it, one Windows-1252 byte per character as the
// user sees it (a letter with its accents is one); a character the set cannot
// represent becomes "?". Not yet trimmed, cut or padded.
std::string notice_bytes(const QString& notice);

// Calls pump_events the given number of times in a row.
void pump_events_times(int times);

}  // namespace conversion
