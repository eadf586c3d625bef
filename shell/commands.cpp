#include "shell/commands.h"

#include "platform/form.h"
#include "shell/mainscreen.h"

namespace shell {

void about_zft_toolkit(MainScreen& w) {
    w.prompts.messageBox(QStringLiteral("ZFT Toolkit SP1, written by the ZFT Toolkit developers.\r\n"
                                        "Questions and bug reports: the ZFT Toolkit project's issue tracker."),
                         platform::MessageStyle::Information, kTitle);
}

void exit_zft_toolkit(MainScreen& w) {
    if (w.prompts.messageBox(QStringLiteral("Are you sure you want to quit ZFT Toolkit ?"),
                             platform::MessageStyle::Question, kTitle) == platform::Answer::Yes)
        platform::end_program();
}

}  // namespace shell
