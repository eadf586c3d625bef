// An answer that may come later. A command asks the user through the
// platform's prompts and waits for the answer before its next step. The
// desktop's boxes wait in place, inside the call, and give an answer at hand;
// a browser's come back through its event loop, after the call has returned.
// The commands are written once for both as coroutines: `co_await` takes an
// answer at hand at once and goes on, and otherwise suspends the command
// until the platform settles the answer.
//
//   platform::Async<void> about_zft_toolkit(MainScreen& w) {
//       co_await w.prompts.messageBox(kAbout, MessageStyle::Information, kTitle);
//   }
//
// A coroutine returning Async starts at once, when it is called, and runs
// until its first wait for an answer not yet come; what it gives (or
// throws) goes to whoever awaits it, and may be left untaken. Commands
// suspended in a wait may be several at once: the intro's click waits in
// the main window's modal showing while a menu command waits in a box.
//
// Two rules for the commands. A catch handler cannot await (the language
// forbids it): keep what went wrong and ask after the handler. And GCC 12
// miscompiles a `co_await` that stands right in the condition of an `if`
// or a loop (the program crashes when the coroutine ends): take the answer
// into a variable first; `if (auto x = co_await ...)`, a declaration, is
// compiled right.
#pragma once

#include <exception>
#include <memory>
#include <optional>
#include <type_traits>
#include <utility>

// Debian's emscripten has its library's coroutines under their draft name.
#if __has_include(<coroutine>)
#include <coroutine>
namespace platform::coro {
using std::coroutine_handle;
using std::suspend_never;
}  // namespace platform::coro
#else
#include <experimental/coroutine>
namespace platform::coro {
using std::experimental::coroutine_handle;
using std::experimental::suspend_never;
}  // namespace platform::coro
#endif

namespace platform {

template <typename T = void>
class Async;

namespace detail {

// What an Async stands for, shared by the awaiting side and the side that
// settles it (a coroutine's promise, or a platform's prompt).
template <typename T>
struct AsyncState {
    using Value = std::conditional_t<std::is_void_v<T>, bool, T>;
    std::optional<Value> value;
    std::exception_ptr failure;
    coro::coroutine_handle<> waiting;
    bool done = false;

    void finish() {
        done = true;
        if (coro::coroutine_handle<> next = std::exchange(waiting, {}))
            next.resume();
    }
};

template <typename T>
struct AsyncPromiseBase {
    std::shared_ptr<AsyncState<T>> state = std::make_shared<AsyncState<T>>();

    coro::suspend_never initial_suspend() noexcept { return {}; }
    // The frame goes first, then whoever waits goes on: a command that
    // ends never stays behind in memory, awaited or not.
    auto final_suspend() noexcept {
        struct Done {
            std::shared_ptr<AsyncState<T>> state;
            bool await_ready() noexcept { return false; }
            void await_suspend(coro::coroutine_handle<> self) noexcept {
                const std::shared_ptr<AsyncState<T>> kept = state;
                self.destroy();
                kept->finish();
            }
            void await_resume() noexcept {}
        };
        return Done{state};
    }
    void unhandled_exception() noexcept { state->failure = std::current_exception(); }
};

}  // namespace detail

template <typename T>
class Async {
    using State = detail::AsyncState<T>;
    using Value = typename State::Value;

public:
    // How a platform settles an answer it gives later; settling resumes the
    // command that waits for it, inside the call.
    class Settle {
    public:
        template <typename... V>
        void operator()(V&&... value) const {
            if (state_->done)
                return;
            if constexpr (std::is_void_v<T>)
                state_->value.emplace(true);
            else
                state_->value.emplace(std::forward<V>(value)...);
            state_->finish();
        }
        void fail(std::exception_ptr failure) const {
            if (state_->done)
                return;
            state_->failure = std::move(failure);
            state_->finish();
        }

    private:
        friend class Async;
        explicit Settle(std::shared_ptr<State> state) : state_(std::move(state)) {}
        std::shared_ptr<State> state_;
    };

    // An answer at hand.
    template <typename... V>
    static Async ready(V&&... value) {
        Async async;
        Settle(async.state_)(std::forward<V>(value)...);
        return async;
    }

    // An answer to come: the platform keeps the Settle and calls it.
    static std::pair<Async, Settle> later() {
        Async async;
        return {async, Settle(async.state_)};
    }

    bool done() const { return state_->done; }

    // The answer of an Async that is done (what it threw is thrown here).
    T take() {
        if (state_->failure)
            std::rethrow_exception(state_->failure);
        if constexpr (!std::is_void_v<T>)
            return std::move(*state_->value);
    }

    bool await_ready() const noexcept { return state_->done; }
    void await_suspend(coro::coroutine_handle<> waiting) noexcept { state_->waiting = waiting; }
    T await_resume() { return take(); }

    struct promise_type;

private:
    Async() : state_(std::make_shared<State>()) {}
    explicit Async(std::shared_ptr<State> state) : state_(std::move(state)) {}

    std::shared_ptr<State> state_;
};

template <typename T>
struct Async<T>::promise_type : detail::AsyncPromiseBase<T> {
    Async get_return_object() { return Async(this->state); }
    template <typename V>
    void return_value(V&& value) {
        this->state->value.emplace(std::forward<V>(value));
    }
};

template <>
struct Async<void>::promise_type : detail::AsyncPromiseBase<void> {
    Async get_return_object() { return Async(this->state); }
    void return_void() { this->state->value.emplace(true); }
};

}  // namespace platform
