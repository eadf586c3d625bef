// The browser's files as the program's one way to files (core::Files).
//
// A browser tells a page a file's name, never its folder. A file picked in
// the open dialog, or one the installed page is opened with, is read into
// the module's memory by page.js and kept under its name in a folder that
// stands for the one the browser does not tell: ".../photo.jpg". So the
// commands handle it as any file (a name of three characters is a name),
// and the boxes name it with its folder left out. A file chosen in the save
// box is kept as a target under such a name too; its bytes go to the
// browser, which writes them, once the file is complete.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string>
#include <string_view>

#include "core/failure.h"
#include "core/files.h"

namespace platform::web {

// The folder that names the browser's files.
inline constexpr std::string_view kFolder = ".../";

// A file's bytes in the module's memory, as page.js read them: none when
// they were too many, or found no room.
struct HeldBytes {
    struct Free {
        void operator()(std::uint8_t* bytes) const { std::free(bytes); }
    };
    std::unique_ptr<std::uint8_t, Free> bytes;
    std::size_t length = 0;
    std::string unread;  // the browser's reason, when it could not read them
};

class WebFiles final : public core::Files {
public:
    // Keeps the file `name` that page.js read into memory at `bytes`
    // (allocated with malloc, and taken here), or, null, could not: every
    // read of it then fails (see NotHeld; `unread` is the browser's reason
    // when it could not read the file). Gives its path. The program works on
    // one file at a time: the file kept before goes, once nothing reads it
    // any more.
    std::string hold(std::string_view name, std::uint8_t* bytes, std::size_t length, const char* unread = nullptr);

    // The bytes of the file at `path`, or null when it is not held.
    std::shared_ptr<const HeldBytes> held(const std::string& path) const;

    // Keeps the file page.js writes to as its target number `target`,
    // chosen in the save box as `name`; gives its path. The target kept
    // before goes.
    std::string target(std::string_view name, int target);

    std::unique_ptr<core::ByteSource> open(const std::string& path) override;
    // A file that page.js writes whole once it is committed, through its
    // target: a DeferredFile, which tells when the file is in its place.
    std::unique_ptr<core::WritableFile> create(const std::string& path, core::Existing existing) override;

private:
    std::string heldPath_;
    std::shared_ptr<HeldBytes> held_;
    std::string targetPath_;
    int target_ = 0;
};

// A file the page could not read into memory: every read of it fails,
// saying why. The bytes were too many, or found no room there, unless a
// reason is given (the browser's, when it could not read the file).
class NotHeld final : public core::ByteSource {
public:
    explicit NotHeld(std::string reason = {}) : reason_(std::move(reason)) {}
    std::uint64_t size() const override { return 0; }
    std::size_t read(std::uint64_t, void*, std::size_t) override {
        if (!reason_.empty())
            throw core::Failure(core::Failure::Kind::Io, reason_);
        throw core::Failure(core::Failure::Kind::OutOfMemory, "the file is too large to read into memory");
    }

private:
    std::string reason_;
};

}  // namespace platform::web
