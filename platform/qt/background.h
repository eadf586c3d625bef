// Work that may take a while (decoding a large or slow picture) done on a
// thread of its own, while the windows go on being painted and answering:
// a command that waits for it is never a white, frozen rectangle. The
// command still runs its steps in order: it waits here until the work is
// done.
#pragma once

#include <exception>
#include <functional>
#include <optional>

namespace platform::qt {

// Runs `job` on another thread and handles the program's events until it
// has ended.
void wait_for(const std::function<void()>& job);

// What `work` gives, worked out on another thread; what it throws is thrown
// here.
template <typename Work>
auto in_background(Work work) {
    std::optional<decltype(work())> result;
    std::exception_ptr failure;
    wait_for([&] {
        try {
            result.emplace(work());
        } catch (...) {
            failure = std::current_exception();
        }
    });
    if (failure)
        std::rethrow_exception(failure);
    return std::move(*result);
}

}  // namespace platform::qt
