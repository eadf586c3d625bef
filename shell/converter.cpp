#include "shell/converter.h"

#include <optional>

#include "core/decoding.h"
#include "core/failure.h"
#include "core/picture.h"
#include "core/zft_codec.h"
#include "format/zft_format.h"
#include "platform/background.h"
#include "platform/text.h"
#include "shell/mainscreen.h"

namespace shell {
namespace {

using platform::Answer;
using platform::MessageStyle;
using platform::kTwipsPerPixel;

const QString kSourceFilter = QStringLiteral("*.JPG;*.GIF;*.BMP");
const QString kSourceTitle = QStringLiteral("Select a file to convert ...");
const QString kTargetFilter = QStringLiteral("*.ZFT");
const QString kTargetTitle = QStringLiteral("Select a filename to save ...");
const QString kConfirmation = QStringLiteral("Click <OK> to start convertion (this can take a moment)");
const QString kNoticePrompt = QStringLiteral("Please enter Copyright notice (max. 48 chars)");
const QString kSuccess = QStringLiteral("Conversion succesfull !");

}  // namespace

void pump_events_times(int times) {
    for (int i = 0; i < times; ++i)
        platform::pump_events();
}

namespace {

// The source picture, decoded while the windows go on being painted. A
// picture too large for a ZFT file is offered reduced to fit, as zft
// convert --fit reduces it; nullopt when the user declines.
std::optional<core::Picture> decode_source(MainScreen& w, const std::string& source, core::Argb background) {
    try {
        return platform::in_background([&] { return core::load_picture(w.files, source, background); });
    } catch (const core::Failure& failure) {
        if (failure.kind() != core::Failure::Kind::TooLarge)
            throw;
        // Too much work to decode, reduced or not, picture_size() refuses it
        // too, in the same words: no reduction is offered.
        const core::Size size = core::picture_size(w.files, source);
        if (zft::fits_header(size.width, size.height))
            throw;
        const core::Size fitted = core::fit_within(size, {zft::kMaxDimension, zft::kMaxDimension});
        const QString offer = platform::text_of(failure.message()) +
                              QStringLiteral("\r\n\r\nReduce it to %1 × %2 pixels?").arg(fitted.width).arg(fitted.height);
        if (w.prompts.messageBox(offer, MessageStyle::Question, kTitle) != Answer::Yes)
            return std::nullopt;
        return platform::in_background([&] {
            return core::load_picture_within(w.files, source, {zft::kMaxDimension, zft::kMaxDimension}, background);
        });
    }
}

void convert(MainScreen& w, const QString& given) {
    platform::FileDialog& dialog = w.CommonDialog1;
    QString source = given;
    if (source.isEmpty()) {
        dialog.fileName.clear();
        dialog.filter = kSourceFilter;
        dialog.title = kSourceTitle;
        dialog.showOpen();
        if (dialog.fileName.size() <= 3)
            return;
        source = dialog.fileName;
    }

    dialog.fileName.clear();
    dialog.filter = kTargetFilter;
    dialog.title = kTargetTitle;
    dialog.showSave();
    if (dialog.fileName.size() <= 3)
        return;
    const QString target = dialog.fileName;
    dialog.fileName.clear();

    platform::DrawingSurface& surface = *w.window.surface();
    try {
        // What a GIF leaves transparent takes the window's colour, as
        // everything the picture does not cover.
        const std::optional<core::Picture> picture =
            decode_source(w, platform::file_name(source), surface.backgroundColour().rgb());
        if (picture) {
            w.beeld->setPicture(*picture);
            name_beeld(w, source);
            w.beeld->refresh();
            w.beeld->setVisible(false);
            FitWindowToPicture(w, Minimum::With);
            // Decoding the file again would give the same pixels: the
            // window's background shares the picture already decoded.
            surface.setBackgroundPicture(*picture);
            w.window.refresh();
            pump_events_times(100);

            if (w.prompts.messageBox(kConfirmation, MessageStyle::Stop, kTitle) == Answer::Ok) {
                w.slot1.close();
                w.slot1.openForWriting(target);
                const int width = static_cast<int>(w.beeld->widthTwips() / kTwipsPerPixel);
                const int height = static_cast<int>(w.beeld->heightTwips() / kTwipsPerPixel);
                core::Stamp stamp;
                stamp.notice = platform::utf8(w.prompts.inputBox(kNoticePrompt, kTitle));
                const QDate today = w.prompts.currentDate();
                stamp.date = {today.month(), today.day(), today.year()};
                w.window.refresh();
                pump_events_times(100);

                // The header, then each pixel as the window shows it, its
                // red, green and blue bytes, a row at a time: the picture's
                // pixel in column c and row r, where the window shows it at
                // (15·c, 15·r), over the window's colour where it lets that
                // through. Taken from the picture, not read back from the
                // screen, the bytes are the same whatever part of the picture
                // the window has room to show.
                stamp.background = surface.backgroundColour().rgb();
                core::save_zft(*w.slot1.writer(), {width, height}, [&picture](int r, core::Argb* row) {
                    const core::Argb* pictureRow = picture->row(r);
                    for (int c = 0, columns = picture->width(); c < columns; ++c)
                        row[c] = pictureRow[c];
                }, stamp);
                w.slot1.close();
                w.prompts.messageBox(kSuccess, MessageStyle::Exclamation, kTitle);
            }
        }
    } catch (const core::Failure& failure) {
        w.slot1.abandon();
        w.prompts.messageBox(platform::text_of(failure.message()), MessageStyle::Error, kTitle);
    }

    w.beeld->setPicture(w.backup->picture());
    name_beeld(w);
    surface.setBackgroundPicture(core::load_picture());
    FitWindowToPicture(w, Minimum::With);
}

}  // namespace

void convert_jpg_gif_bmp_file(MainScreen& w) { convert(w, {}); }

void convert_jpg_gif_bmp_file_from(MainScreen& w, const QString& source) { convert(w, source); }

}  // namespace shell
