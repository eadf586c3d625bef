// The platform in a browser: windows drawn by page.js, events the
// browser's, pictures decoded in a worker of page.js's that runs the same
// module (zft-core.wasm), so that the page goes on being drawn and
// answering while a large picture is decoded, as the desktop's windows do
// while a thread of their own decodes it.
#pragma once

#include "core/failure.h"
#include "platform/toolkit.h"
#include "platform/web/web_window.h"

namespace platform::web {

class WebToolkit final : public Toolkit {
public:
    std::unique_ptr<Window> makeWindow(const std::string& name, bool withMenuBar) override;
    // The browser handles its events only between the program's calls: what
    // the windows' surfaces show now is put on their canvases.
    void pumpEvents() override;
    // A short tone, where the browser lets the page play one.
    void beep() override;
    // The windows go, and the page says that the program has ended; a page
    // cannot close itself.
    void endProgram() override;
    // In the decoding worker, for a file page.js read into memory; in place,
    // where the page has no worker or the file is not in memory (its read
    // then fails at once, with the reason).
    Async<core::Picture> decodePicture(core::Files& files, const std::string& path, core::Argb background,
                                       std::optional<core::Size> within) override;
};

// The failure the worker told of as its kind, reason and message, rebuilt as
// it was: said of `path`, when the message names it, with the same action.
core::Failure failure_of(int kind, const std::string& reason, const std::string& message, const std::string& path);

}  // namespace platform::web
