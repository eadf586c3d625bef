#include "platform/web/web_prompts.h"

#include <emscripten/emscripten.h>

#include <array>
#include <cctype>
#include <vector>

#include "core/failure.h"
#include "platform/text.h"
#include "platform/web/bridge.h"

// page.js's side: see the functions of `seams` there. Each answers later
// with the number `answer`: the boxes through zft_web_answer, the open
// dialog through zft_web_opened, the save box through zft_web_save_target.
EM_JS(void, page_message_box,
      (int answer, const char* text, const char* icon, const char* title, const char* buttons, int escape, int alert), {
    Module.page.messageBox(answer, UTF8ToString(text), UTF8ToString(icon), UTF8ToString(title),
                           UTF8ToString(buttons).split("\n"), escape, !!alert);
});
EM_JS(void, page_input_box, (int answer, const char* prompt, const char* title, const char* ok, const char* cancel), {
    Module.page.inputBox(answer, UTF8ToString(prompt), UTF8ToString(title), UTF8ToString(ok), UTF8ToString(cancel));
});
EM_JS(void, page_ask_open, (int answer, const char* title, const char* filter, const char* accept), {
    Module.page.askOpen(answer, UTF8ToString(title), UTF8ToString(filter), UTF8ToString(accept));
});
EM_JS(void, page_ask_save,
      (int answer, const char* title, const char* filter, const char* accept, const char* label, const char* save,
       const char* cancel, const char* suggested), {
    Module.page.askSave(answer, UTF8ToString(title), UTF8ToString(filter), UTF8ToString(accept), UTF8ToString(label),
                        UTF8ToString(save), UTF8ToString(cancel), UTF8ToString(suggested));
});

namespace platform::web {
namespace {

// The boxes' own words, as a desktop's toolkit has its own.
const std::string kOk = "OK";
const std::string kCancel = "Cancel";
const std::string kYes = "Yes";
const std::string kNo = "No";
const std::string kSave = "Save";
std::string file_name_label(const std::string& filter) { return "File name (" + filter + "):"; }

struct Box {
    const char* icon;
    std::vector<std::pair<std::string, Answer>> buttons;  // the first answers Return, the last Escape
};

Box box_of(MessageStyle style) {
    switch (style) {
    case MessageStyle::Question:
        return {"question", {{kYes, Answer::Yes}, {kNo, Answer::No}}};
    case MessageStyle::Stop:
        return {"stop", {{kOk, Answer::Ok}, {kCancel, Answer::Cancel}}};
    case MessageStyle::Exclamation:
        return {"exclamation", {{kOk, Answer::Ok}}};
    case MessageStyle::Error:
        return {"error", {{kOk, Answer::Ok}}};
    case MessageStyle::Information:
        break;
    }
    return {"information", {{kOk, Answer::Ok}}};
}

// Answers of the boxes: the button's place, and the text entered.
Waiting<int, const char*>& box_answers() {
    static Waiting<int, const char*> waiting;
    return waiting;
}

// Answers of the open dialog: whether a file was picked, its name, its
// bytes, and the browser's reason when it could not read them.
Waiting<int, const char*, std::uint8_t*, std::size_t, const char*>& open_answers() {
    static Waiting<int, const char*, std::uint8_t*, std::size_t, const char*> waiting;
    return waiting;
}

// Answers of the save box: page.js's number for the target, 0 for none, and its name.
Waiting<int, const char*>& save_answers() {
    static Waiting<int, const char*> waiting;
    return waiting;
}

core::Failure no_room_for_the_answer() {
    return core::Failure(core::Failure::Kind::OutOfMemory, "there is not enough memory to take the answer");
}

}  // namespace

std::string extensions_of(const std::string& filter) {
    std::string extensions;
    std::size_t start = 0;
    while (start < filter.size()) {
        std::size_t end = filter.find(';', start);
        if (end == std::string::npos)
            end = filter.size();
        std::string pattern = filter.substr(start, end - start);
        start = end + 1;
        if (pattern.rfind("*.", 0) != 0)
            continue;
        std::string extension = pattern.substr(1);
        for (char& c : extension)
            c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        extensions += (extensions.empty() ? "" : ",") + extension;
        if (extension == ".jpg")
            extensions += ",.jpeg,.jpe,.jfif";
    }
    return extensions;
}

Async<std::optional<std::string>> WebPrompts::fileDialog(FileDialogMode mode, const std::string& title,
                                                         const std::string& filter, const std::string& fileName) {
    auto chosen = Async<std::optional<std::string>>::later();
    const auto settle = chosen.second;
    const std::string accept = extensions_of(filter);
    if (mode == FileDialogMode::Open) {
        const int answer = open_answers().add(
            [this, settle](int picked, const char* name, std::uint8_t* bytes, std::size_t length, const char* unread) {
                if (!picked)
                    return settle(std::nullopt);
                if (!name) {
                    std::free(bytes);
                    return settle.fail(std::make_exception_ptr(no_room_for_the_answer()));
                }
                settle(files_.hold(name, bytes, length, unread));
            });
        page_ask_open(answer, title.c_str(), filter.c_str(), accept.c_str());
    } else {
        const int answer = save_answers().add([this, settle](int target, const char* name) {
            if (!target)
                return settle(std::nullopt);
            if (!name)
                return settle.fail(std::make_exception_ptr(no_room_for_the_answer()));
            settle(files_.target(name, target));
        });
        // The browser shows no folder: a name given comes without its own.
        page_ask_save(answer, title.c_str(), filter.c_str(), accept.c_str(), file_name_label(filter).c_str(),
                      kSave.c_str(), kCancel.c_str(), std::string(file_name_of(fileName)).c_str());
    }
    return chosen.first;
}

Async<Answer> WebPrompts::messageBox(const std::string& text, MessageStyle style, const std::string& title) {
    auto answered = Async<Answer>::later();
    const auto settle = answered.second;
    const Box box = box_of(style);
    std::string buttons;
    for (const auto& [caption, answer] : box.buttons)
        buttons += (buttons.empty() ? "" : "\n") + caption;
    // The boxes break lines where the text has CR LF.
    std::string shown;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text.compare(i, 2, "\r\n") == 0)
            ++i;
        shown += text[i];
    }
    const int answer = box_answers().add([settle, answers = box.buttons](int button, const char*) {
        settle(button >= 0 && button < static_cast<int>(answers.size()) ? answers[button].second
                                                                        : answers.back().second);
    });
    page_message_box(answer, shown.c_str(), box.icon, title.c_str(), buttons.c_str(),
                     static_cast<int>(box.buttons.size()) - 1, style != MessageStyle::Information);
    return answered.first;
}

Async<std::string> WebPrompts::inputBox(const std::string& prompt, const std::string& title) {
    auto entered = Async<std::string>::later();
    const auto settle = entered.second;
    const int answer = box_answers().add([settle](int ok, const char* text) {
        if (ok && !text)
            return settle.fail(std::make_exception_ptr(no_room_for_the_answer()));
        settle(ok ? std::string(text) : std::string());
    });
    page_input_box(answer, prompt.c_str(), title.c_str(), kOk.c_str(), kCancel.c_str());
    return entered.first;
}

}  // namespace platform::web

extern "C" {

// A box answered: by its button at `button` (0 the first), and for the
// input box, with OK, the `text` entered.
EMSCRIPTEN_KEEPALIVE void zft_web_answer(int answer, int button, const char* text) {
    if (!platform::web::program_ended())
        platform::web::box_answers().take(answer, button, text);
}

// The open dialog answered: `picked`, the file's `name` and its bytes,
// which page.js read into memory allocated with malloc and which the
// program takes (null when there were too many, or no room for them, or
// when the browser could not read them, for the reason `unread`).
EMSCRIPTEN_KEEPALIVE void zft_web_opened(int answer, int picked, const char* name, std::uint8_t* bytes,
                                         std::size_t length, const char* unread) {
    if (platform::web::program_ended() ||
        !platform::web::open_answers().take(answer, picked, name, bytes, length, unread))
        std::free(bytes);
}

// The save box answered: page.js's number for the target chosen as `name`,
// or 0 when the box or the browser's dialog was dismissed.
EMSCRIPTEN_KEEPALIVE void zft_web_save_target(int answer, int target, const char* name) {
    if (!platform::web::program_ended())
        platform::web::save_answers().take(answer, target, name);
}

}  // extern "C"
