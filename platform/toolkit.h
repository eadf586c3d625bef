// The platform under the program: it makes the windows, handles their
// events, decodes pictures away from the windows' thread and ends the
// program. One for Qt Widgets (platform/qt) and one for a browser
// (platform/web); tests take Qt's, on its offscreen screen.
#pragma once

#include <memory>
#include <optional>
#include <string>

#include "core/files.h"
#include "core/picture.h"
#include "platform/async.h"
#include "platform/window.h"

namespace platform {

class Toolkit {
public:
    virtual ~Toolkit() = default;

    // A new window, not yet shown. `name` is the window's own name.
    virtual std::unique_ptr<Window> makeWindow(const std::string& name, bool withMenuBar) = 0;

    // Handles the pending window events once.
    virtual void pumpEvents() = 0;

    // Tells the user, without words, that what was asked is refused.
    virtual void beep() = 0;

    // Ends the program at once: every window goes, and no further event is
    // handled. The call returns, and the command that made it ends.
    virtual void endProgram() = 0;

    // The picture at `path` in `files`, decoded while the windows go on
    // being painted and answering; less than opaque parts are left for the
    // surface to compose over `background`. With `within`, a picture larger
    // than it is reduced to fit, keeping its proportions. What the decoder
    // throws (core::Failure) is thrown where the answer is awaited.
    virtual Async<core::Picture> decodePicture(core::Files& files, const std::string& path, core::Argb background,
                                               std::optional<core::Size> within) = 0;
};

}  // namespace platform
