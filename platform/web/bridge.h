// The boundary between the program and page.js, the browser's side of the
// seams. The program calls page.js's functions (EM_JS functions reaching
// `Module.page`, the object page.js hands the module when it starts it),
// and page.js calls back the program's entry points (EMSCRIPTEN_KEEPALIVE
// C functions named zft_web_*), handing back a number the program gave it:
// an answer to settle, a window, a job to run.
//
// Texts cross as UTF-8 C strings, bytes as a pointer and a length into the
// module's memory. What page.js hands over it allocates with the module's
// malloc, each allocation checked, and frees after the call unless the call
// takes it (a file's bytes): a null pointer stands for one that found no
// room.
#pragma once

#include <functional>
#include <map>
#include <utility>

namespace platform::web {

// What the program does with a number once page.js hands it back, each
// done once: a number unknown, or handed back again, does nothing.
template <typename... Args>
class Waiting {
public:
    int add(std::function<void(Args...)> then) {
        const int number = ++last_;
        waiting_.emplace(number, std::move(then));
        return number;
    }

    // Whether `number` was waiting.
    bool take(int number, Args... args) {
        const auto found = waiting_.find(number);
        if (found == waiting_.end())
            return false;
        const std::function<void(Args...)> then = std::move(found->second);
        waiting_.erase(found);
        then(args...);
        return true;
    }

    void drop(int number) { waiting_.erase(number); }

private:
    int last_ = 0;
    std::map<int, std::function<void(Args...)>> waiting_;
};

// Whether the program has ended (WebToolkit::endProgram): page.js's calls
// then change nothing.
bool program_ended();

}  // namespace platform::web
