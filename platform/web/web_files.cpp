#include "platform/web/web_files.h"

#include <emscripten/emscripten.h>

#include <cerrno>
#include <new>
#include <optional>
#include <utility>

#include "platform/file_slot.h"
#include "platform/web/bridge.h"

// page.js's side: see the functions of `seams` there. write() hands the
// bytes over at once and answers later, through zft_web_written.
EM_JS(void, page_write, (int target, const void* bytes, std::size_t length, int job), {
    Module.page.write(target, bytes, length, job);
});
EM_JS(void, page_drop_target, (int target), { Module.page.dropTarget(target); });

namespace platform::web {
namespace {

// Writes finished or failed, by their job's number: the reason, or null.
Waiting<const char*>& writes() {
    static Waiting<const char*> waiting;
    return waiting;
}

class HeldSource final : public core::ByteSource {
public:
    explicit HeldSource(std::shared_ptr<const HeldBytes> held)
        : held_(std::move(held)), source_(held_->bytes.get(), held_->length) {}
    std::uint64_t size() const override { return source_.size(); }
    std::size_t read(std::uint64_t offset, void* out, std::size_t n) override { return source_.read(offset, out, n); }

private:
    std::shared_ptr<const HeldBytes> held_;
    core::MemorySource source_;
};

// A file the browser writes, once it is whole: page.js hands the bytes to
// the target the user chose in the save box, which puts them in the file
// the save dialog picked (replacing that file only when all of them are
// written) or downloads them.
class TargetFile final : public DeferredFile {
public:
    TargetFile(std::string path, int target) : path_(std::move(path)), target_(target) {}

    void write(std::string_view bytes) override {
        try {
            bytes_.append(bytes);
        } catch (const std::bad_alloc&) {
            throw core::cannot("write", path_, "there is not enough memory to hold the file",
                               core::Failure::Kind::OutOfMemory);
        }
    }

    void commit() override {
        auto placed = Async<void>::later();
        const auto settle = placed.second;
        placed_ = placed.first;
        const int job = writes().add([settle, path = path_](const char* reason) {
            if (reason)
                settle.fail(std::make_exception_ptr(core::cannot("write", path, reason)));
            else
                settle();
        });
        // page.js takes a copy before it returns.
        page_write(target_, bytes_.data(), bytes_.size(), job);
        std::string().swap(bytes_);
    }

    void abandon() noexcept override { std::string().swap(bytes_); }

    Async<void> placed() override {
        if (!placed_)
            return Async<void>::ready();
        return *placed_;
    }

private:
    std::string path_;
    int target_;
    std::string bytes_;
    std::optional<Async<void>> placed_;
};

std::string path_of(std::string_view name) { return std::string(kFolder).append(name); }

}  // namespace

std::string WebFiles::hold(std::string_view name, std::uint8_t* bytes, std::size_t length, const char* unread) {
    held_ = std::make_shared<HeldBytes>();
    held_->bytes.reset(bytes);
    held_->length = bytes ? length : 0;
    held_->unread = unread && !bytes ? unread : "";
    heldPath_ = path_of(name);
    return heldPath_;
}

std::shared_ptr<const HeldBytes> WebFiles::held(const std::string& path) const {
    return held_ && path == heldPath_ && held_->bytes ? held_ : nullptr;
}

std::string WebFiles::target(std::string_view name, int target) {
    if (target_ && target_ != target)
        page_drop_target(target_);
    target_ = target;
    targetPath_ = path_of(name);
    return targetPath_;
}

std::unique_ptr<core::ByteSource> WebFiles::open(const std::string& path) {
    if (!held_ || path != heldPath_)
        throw core::system_failure("read", path, ENOENT);
    if (!held_->bytes)
        return std::make_unique<NotHeld>(held_->unread);
    return std::make_unique<HeldSource>(held_);
}

std::unique_ptr<core::WritableFile> WebFiles::create(const std::string& path, core::Existing) {
    // The browser's save dialog asked already whether to replace a file of
    // the name.
    if (!target_ || path != targetPath_)
        throw core::cannot("write", path, "the page writes only the file chosen in its save box");
    return std::make_unique<TargetFile>(path, std::exchange(target_, 0));
}

}  // namespace platform::web

extern "C" {

// A write of page.js's has ended: `written`, or failed for `reason` (null
// when page.js found no room for it).
EMSCRIPTEN_KEEPALIVE void zft_web_written(int job, int written, const char* reason) {
    platform::web::writes().take(job, written ? nullptr : reason ? reason : "the browser did not write it");
}

}  // extern "C"
