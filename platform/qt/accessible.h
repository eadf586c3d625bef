// What assistive technologies (screen readers, switch access) are told of
// the program's own kinds of widget: a window is a window, a picture area a
// picture, and a click area a button they can press, which clicks it.
#pragma once

namespace platform::qt {

// Idempotent; every window calls it before its widgets are asked about.
void install_accessibility();

}  // namespace platform::qt
