// The prompts on a page: the boxes are page.js's <dialog>s, the file
// dialogs the browser's own pickers. Each answer comes later, through the
// browser's event loop: the command waits for it, and the page goes on.
#pragma once

#include <string>

#include "platform/prompts.h"
#include "platform/web/web_files.h"

namespace platform::web {

class WebPrompts final : public Prompts {
public:
    // Files picked and chosen are kept in `files`, under the paths the
    // dialogs give.
    explicit WebPrompts(WebFiles& files) : files_(files) {}

    // Open: the browser's open dialog. It takes no title or name, and shows
    // the files of the filter's kinds. Save: the save box titled `title`,
    // which takes a name (`fileName`'s at first); where the browser has a
    // save dialog its Save button opens it (a click or key of the user's,
    // which the dialog needs), elsewhere the file is downloaded under that
    // name. A dialog the browser refuses is a dismissed one.
    Async<std::optional<std::string>> fileDialog(FileDialogMode mode, const std::string& title,
                                                 const std::string& filter, const std::string& fileName) override;
    Async<Answer> messageBox(const std::string& text, MessageStyle style, const std::string& title) override;
    Async<std::string> inputBox(const std::string& prompt, const std::string& title) override;
    // The browser's local date.
    core::Date currentDate() override { return core::today(); }

private:
    WebFiles& files_;
};

// What the browser's open dialog offers for `filter` ("*.JPG;*.GIF"): the
// extensions, ".jpg,.jpeg,.jpe,.jfif,.gif". A JPEG picture may end in
// .jpeg, .jpe or .jfif as well as .jpg, and converts all the same.
std::string extensions_of(const std::string& filter);

}  // namespace platform::web
