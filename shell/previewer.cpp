#include "shell/previewer.h"

#include <optional>

#include "core/decoding.h"
#include "core/failure.h"
#include "core/header_text.h"
#include "core/zft_codec.h"
#include "format/zft_format.h"
#include "platform/text.h"
#include "platform/units.h"
#include "shell/converter.h"
#include "shell/mainscreen.h"

namespace shell {
namespace {

using platform::kTwipsPerPixel;

}  // namespace

// No events are handled in here: nothing can run in the middle of the loop.
void paint_pixels(platform::FileSlot& slot, platform::Surface& surface, int width, int height) {
    for (int y = 1; y <= height; ++y) {
        for (int x = 1; x <= width; ++x) {
            const auto red = static_cast<unsigned char>(slot.readChars(1)[0]);
            const auto green = static_cast<unsigned char>(slot.readChars(1)[0]);
            const auto blue = static_cast<unsigned char>(slot.readChars(1)[0]);
            // (45 + 15·x, 45 + 15·y): the first pixel on `beeld`'s top-left corner.
            surface.setPixel(kBeeldLeft + kTwipsPerPixel * static_cast<float>(x - 1),
                             kBeeldTop + kTwipsPerPixel * static_cast<float>(y - 1),
                             platform::colour_value(red, green, blue));
        }
    }
}

namespace {

// The preview command; a `path` given takes the place of the dialog's.
platform::Async<void> preview(MainScreen& w, std::string path) {
    if (path.empty()) {
        platform::FileDialog& dialog = w.CommonDialog1;
        dialog.fileName.clear();
        dialog.filter = kZftFilter;
        dialog.title = kPreviewTitle;
        co_await dialog.showOpen();
        if (platform::characters(dialog.fileName) <= 3)
            co_return;
        path = dialog.fileName;
    }

    bool headerRead = false;
    int width = 0;
    int height = 0;
    std::optional<std::string> failed;
    try {
        co_await w.slot1.close();
        w.slot1.openForReading(path);
        zft::ZftHeader header;
        for (const zft::HeaderField& field : zft::kHeaderFields)
            header.*field.member = w.slot1.readChars(field.size);
        headerRead = true;

        width = header.width_value();
        height = header.height_value();
        const std::array<std::string, 3> lines = core::header_summary(header);
        co_await w.prompts.messageBox(lines[0] + "\r\n" + lines[1] + "\r\n" + lines[2],
                                      platform::MessageStyle::Information, path);

        w.beeld->setPicture(core::load_picture());
        w.beeld->setSizeTwips(kTwipsPerPixel * width, kTwipsPerPixel * height);
        name_beeld(w, path);
        FitWindowToPicture(w, Minimum::Without);
        w.beeld->setVisible(true);
        w.beeld->refresh();
        w.window->refresh();
        pump_events_times(w.toolkit, 100);

        paint_pixels(w.slot1, w.window->surface(), width, height);
        co_await w.slot1.close();
    } catch (const core::Failure& failure) {
        // A read that passed the end used up every byte before it: what was
        // read is what the file has, even where the file system reports no
        // length (a file under /proc) or the file changed meanwhile.
        const std::uint64_t length = w.slot1.bytesRead();
        w.slot1.abandon();
        failed = failure.message();
        const bool endOfFile = failure.kind() == core::Failure::Kind::EndOfFile;
        if (endOfFile && !headerRead) {
            failed = core::cannot("preview", path, core::short_file_reason(length), failure.kind()).message();
        } else if (endOfFile) {
            failed = core::cannot("preview", path, core::length_reason(length, zft::file_size(width, height)),
                                  failure.kind())
                         .message();
        }
    }
    // A box cannot be awaited inside the handler.
    if (failed)
        co_await w.prompts.messageBox(*failed, platform::MessageStyle::Error, kTitle);
}

}  // namespace

platform::Async<void> preview_zft_file(MainScreen& w) { return preview(w, {}); }

platform::Async<void> preview_zft_file_at(MainScreen& w, std::string path) { return preview(w, std::move(path)); }

}  // namespace shell
