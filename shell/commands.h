// The main window's own commands; Convert and Preview have files of their own.
#pragma once

namespace shell {

class MainScreen;

// Help > About ZFT toolkit ... (also F1).
void about_zft_toolkit(MainScreen& w);

// File > Exit ZFT toolkit: asks first, and ends the program on Yes.
void exit_zft_toolkit(MainScreen& w);

}  // namespace shell
