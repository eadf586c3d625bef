// The main window's own commands; Convert and Preview have files of their own.
#pragma once

#include "platform/async.h"

namespace shell {

class MainScreen;

// Help > About ZFT toolkit ... (also F1).
platform::Async<void> about_zft_toolkit(MainScreen& w);

// File > Exit ZFT toolkit: asks first, and ends the program on Yes.
platform::Async<void> exit_zft_toolkit(MainScreen& w);

}  // namespace shell
