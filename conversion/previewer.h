// The previewer: a ZFT picture file's header shown in a box, its pixels
// painted on the main window, one point per pixel, where `beeld` stands.
#pragma once

namespace shell {
class MainScreen;
}

namespace conversion {

// The command behind File > Preview ZFT-file.
void preview_zft_file(shell::MainScreen& w);

}  // namespace conversion
