#include "shell/converter.h"

#include <bit>
#include <cstdint>
#include <cstring>

#include "core/decoding.h"
#include "core/failure.h"
#include "core/header_text.h"
#include "format/zft_format.h"
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

void convert_jpg_gif_bmp_file(MainScreen& w) {
    platform::FileDialog& dialog = w.CommonDialog1;
    dialog.fileName.clear();
    dialog.filter = kSourceFilter;
    dialog.title = kSourceTitle;
    dialog.showOpen();
    if (dialog.fileName.size() <= 3)
        return;
    const QString source = dialog.fileName;

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
        // The header holds three digits a side: a larger picture is refused
        // from its size, before anything is decoded, shown or written. What
        // a GIF leaves transparent takes the window's colour, as everything
        // the picture does not cover.
        const core::Picture picture =
            core::load_picture(platform::file_name(source), surface.backgroundColour().rgb());
        w.beeld->setPicture(picture);
        name_beeld(w, source);
        w.beeld->refresh();
        w.beeld->setVisible(false);
        FitWindowToPicture(w, Minimum::With);
        // Decoding the file again would give the same pixels: the window's
        // background shares the picture already decoded.
        surface.setBackgroundPicture(picture);
        w.window.refresh();
        pump_events_times(100);

        if (w.prompts.messageBox(kConfirmation, MessageStyle::Stop, kTitle) == Answer::Ok) {
            w.slot1.close();
            w.slot1.openForWriting(target);
            const int width = static_cast<int>(w.beeld->widthTwips() / kTwipsPerPixel);
            const int height = static_cast<int>(w.beeld->heightTwips() / kTwipsPerPixel);
            const std::string notice = core::notice_bytes(platform::utf8(w.prompts.inputBox(kNoticePrompt, kTitle)));
            const QDate today = w.prompts.currentDate();
            // The width and height texts, the notice padded to its field and
            // the date text, as the format defines them.
            const zft::ZftHeader header =
                zft::make_header(today.month(), today.day(), today.year(), notice, width, height);
            w.window.refresh();
            pump_events_times(100);

            for (const zft::HeaderField& field : zft::kHeaderFields)
                w.slot1.writeText(header.*field.member);
            for (int r = 0; r < height; ++r) {
                for (int c = 0; c < width; ++c) {
                    const int colour = surface.readPixel(kTwipsPerPixel * c, kTwipsPerPixel * r);
                    const auto red = static_cast<std::uint32_t>(platform::red_of(colour));
                    const auto green = static_cast<std::uint32_t>(platform::green_of(colour));
                    const auto blue = static_cast<std::uint32_t>(platform::blue_of(colour));
                    // The three bytes go into place with one store: three
                    // byte stores read back as wider words stall this loop.
                    const std::uint32_t packed = std::endian::native == std::endian::little
                                                     ? red | green << 8 | blue << 16
                                                     : red << 24 | green << 16 | blue << 8;
                    char rgb[4];
                    std::memcpy(rgb, &packed, sizeof packed);
                    w.slot1.writeText(std::string_view(rgb, 3));
                }
            }
            w.slot1.close();
            w.prompts.messageBox(kSuccess, MessageStyle::Exclamation, kTitle);
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

}  // namespace shell
