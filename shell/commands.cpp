#include "shell/commands.h"

#include "shell/mainscreen.h"

namespace shell {

platform::Async<void> about_zft_toolkit(MainScreen& w) {
    co_await w.prompts.messageBox(kAbout, platform::MessageStyle::Information, kTitle);
}

platform::Async<void> exit_zft_toolkit(MainScreen& w) {
    const platform::Answer answer = co_await w.prompts.messageBox(kQuit, platform::MessageStyle::Question, kTitle);
    if (answer == platform::Answer::Yes)
        w.toolkit.endProgram();
}

}  // namespace shell
