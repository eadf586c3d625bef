// Whether a command, or anything else that may wait, has ended by now;
// what it threw is thrown here. On the desktop every answer is at hand,
// so whatever a test starts has ended when the call returns:
//   QVERIFY(testing::finished(shell::preview_zft_file(s.w)));
#pragma once

#include "platform/async.h"

namespace testing {

template <typename T>
bool finished(platform::Async<T> async) {
    if (!async.done())
        return false;
    async.take();
    return true;
}

}  // namespace testing
