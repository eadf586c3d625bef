// The system's files with the faults a test asks for: a disk that fills up
// after so many bytes of a file, a read that fails past so many bytes. The
// program meets them as it would meet the real ones, through core::Files.
#pragma once

#include <cstdint>
#include <functional>
#include <limits>

#include "core/files.h"

namespace testing {

class FaultyFiles final : public core::Files {
public:
    // From now on a file being written fails with `error` (an errno value)
    // once it would pass `bytes`.
    void failWritesAfter(std::uint64_t bytes, int error) {
        writeLimit_ = bytes;
        writeError_ = error;
    }
    // From now on reading a file fails with `error` past `bytes`.
    void failReadsAfter(std::uint64_t bytes, int error) {
        readLimit_ = bytes;
        readError_ = error;
    }

    // Run by open(), on whatever thread opens, before the file is opened.
    std::function<void()> whileOpening;

    // No faults from now on.
    void heal() {
        writeLimit_ = readLimit_ = kNoLimit;
    }

    std::unique_ptr<core::ByteSource> open(const std::string& path) override;
    std::unique_ptr<core::WritableFile> create(const std::string& path, core::Existing existing) override;

private:
    static constexpr std::uint64_t kNoLimit = std::numeric_limits<std::uint64_t>::max();
    std::uint64_t writeLimit_ = kNoLimit;
    int writeError_ = 0;
    std::uint64_t readLimit_ = kNoLimit;
    int readError_ = 0;
};

}  // namespace testing
