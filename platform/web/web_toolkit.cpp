#include "platform/web/web_toolkit.h"

#include <emscripten/emscripten.h>

#include <map>
#include <new>

#include "core/decoding.h"
#include "core/failure.h"
#include "platform/web/bridge.h"
#include "platform/web/web_files.h"

// page.js's side: see the functions of `seams` there. decode() hands the
// bytes to the worker, copied, and answers later through zft_web_decoded
// or zft_web_decode_failed; false when the page has no worker.
EM_JS(void, page_beep, (), { Module.page.beep(); });
EM_JS(void, page_end_program, (), { Module.page.endProgram(); });
EM_JS(int, page_decode,
      (int job, const void* bytes, std::size_t length, const char* name, std::uint32_t background, int width,
       int height), {
    return Module.page.decode(job, bytes, length, UTF8ToString(name), background, width, height);
});
// The worker's side: see decoder.js.
EM_JS(void, worker_decoded, (const void* pixels, int width, int height, int alpha), {
    Module.decoder.decoded(pixels, width, height, !!alpha);
});
EM_JS(void, worker_failed, (int kind, const char* reason, const char* message), {
    Module.decoder.failed(kind, UTF8ToString(reason), UTF8ToString(message));
});

namespace platform::web {
namespace {

bool ended = false;

struct Decode {
    Async<core::Picture>::Settle settle;
    std::string path;
    core::Picture picture;
};

std::map<int, Decode>& decodes() {
    static std::map<int, Decode> waiting;
    return waiting;
}

// What a picture that decoded may be: within a ZFT file's size, or reduced
// to fit one, and the most a picture may have to be decoded at all.
bool plausible(int width, int height) {
    return width > 0 && height > 0 && std::int64_t(width) * height <= core::kMostPixels;
}

}  // namespace

bool program_ended() { return ended; }

std::unique_ptr<Window> WebToolkit::makeWindow(const std::string& name, bool withMenuBar) {
    return std::make_unique<WebWindow>(name, withMenuBar);
}

void WebToolkit::pumpEvents() { WebWindow::presentAll(); }

void WebToolkit::beep() { page_beep(); }

void WebToolkit::endProgram() {
    if (ended)
        return;
    ended = true;
    page_end_program();
}

Async<core::Picture> WebToolkit::decodePicture(core::Files& files, const std::string& path, core::Argb background,
                                               std::optional<core::Size> within) {
    auto picture = Async<core::Picture>::later();
    const auto settle = picture.second;
    const auto* web = dynamic_cast<const WebFiles*>(&files);
    if (const std::shared_ptr<const HeldBytes> held = web ? web->held(path) : nullptr) {
        static int last = 0;
        const int job = ++last;
        decodes().emplace(job, Decode{settle, path, {}});
        if (page_decode(job, held->bytes.get(), held->length, path.c_str(), background, within ? within->width : 0,
                        within ? within->height : 0))
            return picture.first;
        decodes().erase(job);
    }
    try {
        settle(within ? core::load_picture_within(files, path, *within, background)
                      : core::load_picture(files, path, background));
    } catch (...) {
        settle.fail(std::current_exception());
    }
    return picture.first;
}

core::Failure failure_of(int kind, const std::string& reason, const std::string& message, const std::string& path) {
    const auto k = kind >= 0 && kind <= static_cast<int>(core::Failure::Kind::Exists)
                       ? static_cast<core::Failure::Kind>(kind)
                       : core::Failure::Kind::Io;
    if (message == reason)
        return core::Failure(k, reason);
    // "Cannot <action> <path>: <reason>"
    const std::string start = "Cannot ";
    const std::string end = " " + (path.empty() ? std::string("''") : path) + ": " + reason;
    if (message.size() > start.size() + end.size() && message.starts_with(start) && message.ends_with(end))
        return core::cannot(message.substr(start.size(), message.size() - start.size() - end.size()), path, reason,
                            k);
    return core::Failure(k, message);
}

}  // namespace platform::web

using platform::web::decodes;

extern "C" {

// The worker decoded a picture of `width` × `height`: where page.js is to
// put its pixels (0xAARRGGBB each, rows from the top), or null when there
// is no room for them, which ends the decode.
EMSCRIPTEN_KEEPALIVE void* zft_web_decoded_pixels(int job, int width, int height) {
    const auto found = decodes().find(job);
    if (found == decodes().end())
        return nullptr;
    platform::web::Decode& decode = found->second;
    try {
        if (!platform::web::plausible(width, height))
            throw core::cannot(core::kReadPicture, decode.path, "the decoder gave no picture");
        decode.picture = core::Picture(width, height);
        return decode.picture.row(0);
    } catch (const std::bad_alloc&) {
        decode.settle.fail(std::make_exception_ptr(core::no_memory_to_decode(decode.path)));
    } catch (const core::Failure& failure) {
        decode.settle.fail(std::make_exception_ptr(failure));
    }
    decodes().erase(found);
    return nullptr;
}

// The pixels are in place: the decode has ended.
EMSCRIPTEN_KEEPALIVE void zft_web_decoded(int job, int alpha) {
    const auto found = decodes().find(job);
    if (found == decodes().end())
        return;
    platform::web::Decode decode = std::move(found->second);
    decodes().erase(found);
    decode.picture.setHasAlpha(alpha != 0);
    decode.settle(std::move(decode.picture));
}

// The worker refused the picture, as core::Failure `kind` with its reason
// and message; null texts found no room in memory.
EMSCRIPTEN_KEEPALIVE void zft_web_decode_failed(int job, int kind, const char* reason, const char* message) {
    const auto found = decodes().find(job);
    if (found == decodes().end())
        return;
    platform::web::Decode decode = std::move(found->second);
    decodes().erase(found);
    decode.settle.fail(std::make_exception_ptr(reason && message
                                                   ? platform::web::failure_of(kind, reason, message, decode.path)
                                                   : core::no_memory_to_decode(decode.path)));
}

// The worker's module stopped before it answered: `why` is the browser's
// own reason (a trap, a worker that could not start), null where no memory
// was left to tell it.
EMSCRIPTEN_KEEPALIVE void zft_web_decoder_stopped(int job, const char* why) {
    const auto found = decodes().find(job);
    if (found == decodes().end())
        return;
    platform::web::Decode decode = std::move(found->second);
    decodes().erase(found);
    const std::string reason = why && *why ? "the decoder stopped: " + std::string(why) : "the decoder stopped";
    decode.settle.fail(std::make_exception_ptr(why ? core::cannot(core::kReadPicture, decode.path, reason)
                                                   : core::no_memory_to_decode(decode.path)));
}

// In the worker: decodes the picture `name` in `bytes` (null: bytes the
// page could not place in memory) as the desktop's decodePicture does,
// and tells decoder.js the pixels or the failure before it returns.
EMSCRIPTEN_KEEPALIVE void zft_web_decode(const std::uint8_t* bytes, std::size_t length, const char* name,
                                         std::uint32_t background, int withinWidth, int withinHeight) {
    core::MemorySource held(bytes, length);
    platform::web::NotHeld notHeld;
    core::ByteSource& source = bytes ? static_cast<core::ByteSource&>(held) : notHeld;
    try {
        const core::Picture picture =
            withinWidth > 0 ? core::load_picture_within(source, name, {withinWidth, withinHeight}, background)
                            : core::load_picture(source, name, background);
        worker_decoded(picture.row(0), picture.width(), picture.height(), picture.hasAlpha());
    } catch (const core::Failure& failure) {
        worker_failed(static_cast<int>(failure.kind()), failure.reason().c_str(), failure.message().c_str());
    }
}

}  // extern "C"
