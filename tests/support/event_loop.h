#pragma once

#include <functional>

namespace testing {

// Runs the application's own event loop around `act`, as the program runs
// inside it, and gives its exit status; a program that never ends gives 99
// after a generous bound.
int exit_status_after(std::function<void()> act);

}  // namespace testing
