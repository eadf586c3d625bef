#include "shell/converter.h"

#include <optional>

#include "core/decoding.h"
#include "core/failure.h"
#include "core/picture.h"
#include "core/zft_codec.h"
#include "format/zft_format.h"
#include "platform/text.h"
#include "platform/units.h"
#include "shell/mainscreen.h"

namespace shell {
namespace {

using platform::Answer;
using platform::MessageStyle;
using platform::kTwipsPerPixel;

}  // namespace

void pump_events_times(platform::Toolkit& toolkit, int times) {
    for (int i = 0; i < times; ++i)
        toolkit.pumpEvents();
}

namespace {

// The source picture, decoded while the windows go on being painted. A
// picture too large for a ZFT file is offered reduced to fit, as zft
// convert --fit reduces it; nullopt when the user declines.
platform::Async<std::optional<core::Picture>> decode_source(MainScreen& w, std::string source,
                                                            core::Argb background) {
    std::optional<core::Failure> tooLarge;
    try {
        co_return co_await w.toolkit.decodePicture(w.files, source, background, std::nullopt);
    } catch (const core::Failure& failure) {
        if (failure.kind() != core::Failure::Kind::TooLarge)
            throw;
        tooLarge = failure;
    }
    // Too much work to decode, reduced or not, picture_size() refuses it
    // too, in the same words: no reduction is offered.
    const core::Size size = core::picture_size(w.files, source);
    if (zft::fits_header(size.width, size.height))
        throw *tooLarge;
    const core::Size fitted = core::fit_within(size, {zft::kMaxDimension, zft::kMaxDimension});
    const std::string offer = reduce_offer(tooLarge->message(), fitted.width, fitted.height);
    const Answer reduce = co_await w.prompts.messageBox(offer, MessageStyle::Question, kTitle);
    if (reduce != Answer::Yes)
        co_return std::nullopt;
    co_return co_await w.toolkit.decodePicture(w.files, source, background,
                                               core::Size{zft::kMaxDimension, zft::kMaxDimension});
}

platform::Async<void> convert(MainScreen& w, std::string source) {
    platform::FileDialog& dialog = w.CommonDialog1;
    if (source.empty()) {
        dialog.fileName.clear();
        dialog.filter = kSourceFilter;
        dialog.title = kSourceTitle;
        co_await dialog.showOpen();
        if (platform::characters(dialog.fileName) <= 3)
            co_return;
        source = dialog.fileName;
    }

    dialog.fileName.clear();
    dialog.filter = kZftFilter;
    dialog.title = kTargetTitle;
    co_await dialog.showSave();
    if (platform::characters(dialog.fileName) <= 3)
        co_return;
    const std::string target = dialog.fileName;
    dialog.fileName.clear();

    platform::Surface& surface = w.window->surface();
    std::optional<std::string> failed;
    try {
        // What a GIF leaves transparent takes the window's colour, as
        // everything the picture does not cover.
        const std::optional<core::Picture> picture =
            co_await decode_source(w, source, platform::pixel_of(surface.backgroundColour()));
        if (picture) {
            w.beeld->setPicture(*picture);
            name_beeld(w, source);
            w.beeld->refresh();
            w.beeld->setVisible(false);
            FitWindowToPicture(w, Minimum::With);
            // Decoding the file again would give the same pixels: the
            // window's background shares the picture already decoded.
            surface.setBackgroundPicture(*picture);
            w.window->refresh();
            pump_events_times(w.toolkit, 100);

            const Answer confirmed = co_await w.prompts.messageBox(kConfirmation, MessageStyle::Stop, kTitle);
            if (confirmed == Answer::Ok) {
                co_await w.slot1.close();
                w.slot1.openForWriting(target);
                const int width = static_cast<int>(w.beeld->widthTwips() / kTwipsPerPixel);
                const int height = static_cast<int>(w.beeld->heightTwips() / kTwipsPerPixel);
                core::Stamp stamp;
                stamp.notice = co_await w.prompts.inputBox(kNoticePrompt, kTitle);
                stamp.date = w.prompts.currentDate();
                w.window->refresh();
                pump_events_times(w.toolkit, 100);

                // The header, then each pixel as the window shows it, its
                // red, green and blue bytes, a row at a time: the picture's
                // pixel in column c and row r, where the window shows it at
                // (15·c, 15·r), over the window's colour where it lets that
                // through. Taken from the picture, not read back from the
                // screen, the bytes are the same whatever part of the picture
                // the window has room to show.
                stamp.background = platform::pixel_of(surface.backgroundColour());
                core::save_zft(*w.slot1.writer(), {width, height}, [&picture](int r, core::Argb* row) {
                    const core::Argb* pictureRow = picture->row(r);
                    for (int c = 0, columns = picture->width(); c < columns; ++c)
                        row[c] = pictureRow[c];
                }, stamp);
                co_await w.slot1.close();
                co_await w.prompts.messageBox(kSuccess, MessageStyle::Exclamation, kTitle);
            }
        }
    } catch (const core::Failure& failure) {
        w.slot1.abandon();
        failed = failure.message();
    }
    // A box cannot be awaited inside the handler.
    if (failed)
        co_await w.prompts.messageBox(*failed, MessageStyle::Error, kTitle);

    w.beeld->setPicture(w.backup->picture());
    name_beeld(w);
    surface.setBackgroundPicture(core::load_picture());
    FitWindowToPicture(w, Minimum::With);
}

}  // namespace

platform::Async<void> convert_jpg_gif_bmp_file(MainScreen& w) { return convert(w, {}); }

platform::Async<void> convert_jpg_gif_bmp_file_from(MainScreen& w, std::string source) {
    return convert(w, std::move(source));
}

}  // namespace shell
