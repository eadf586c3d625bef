// The page's program: the shell's windows over the browser (platform/web),
// set up as qt_main.cpp sets them up over Qt Widgets. page.js starts it
// once the module runs, and hands it a file the installed page was opened
// with, as the desktop program takes FILE on its command line; the file
// comes once the page runs, perhaps after the intro was clicked.
#include <emscripten/emscripten.h>

#include <cstdint>
#include <cstdlib>

#include "platform/web/bridge.h"
#include "platform/web/web_files.h"
#include "platform/web/web_prompts.h"
#include "platform/web/web_toolkit.h"
#include "shell/introscreen.h"
#include "shell/mainscreen.h"

namespace {

struct Program {
    platform::web::WebToolkit toolkit;
    platform::web::WebFiles files;
    platform::web::WebPrompts prompts{files};
    shell::MainScreen main{toolkit, prompts, files};
    shell::IntroScreen intro{main};
};

// For the page's life: page.js starts one program, which ends with the page.
Program* program = nullptr;

}  // namespace

extern "C" {

EMSCRIPTEN_KEEPALIVE void zft_web_start() {
    if (program)
        return;
    program = new Program;
    program->intro.show();
}

// The file `name` the installed page was opened with, its bytes read into
// memory allocated with malloc, which the program takes (null when there
// were too many, or no room for them, or when the browser could not read
// them, for the reason `unread`).
EMSCRIPTEN_KEEPALIVE void zft_web_launched(const char* name, std::uint8_t* bytes, std::size_t length,
                                           const char* unread) {
    if (!program || !name || platform::web::program_ended()) {
        std::free(bytes);
        return;
    }
    program->intro.open(program->files.hold(name, bytes, length, unread));
}

}  // extern "C"
