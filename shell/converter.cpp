#include "shell/converter.h"

#include <vector>

#include "core/decoding.h"
#include "core/failure.h"
#include "core/header_text.h"
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
        // the picture does not cover. The windows are painted meanwhile.
        const core::Argb background = surface.backgroundColour().rgb();
        const core::Picture picture = platform::in_background(
            [&] { return core::load_picture(w.files, platform::file_name(source), background); });
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

            // The header, then each pixel as the surface shows it, its red,
            // green and blue bytes, a row at a time.
            core::ZftRowWriter zft(*w.slot1.writer(), header);
            std::vector<core::Argb> row(static_cast<std::size_t>(width));
            for (int r = 0; r < height; ++r) {
                for (int c = 0; c < width; ++c) {
                    const int colour = surface.readPixel(kTwipsPerPixel * c, kTwipsPerPixel * r);
                    // Its red, green and blue: the colour value's low, middle and high byte.
                    row[static_cast<std::size_t>(c)] = platform::pixel_of(colour);
                }
                zft.writeRow(row.data());
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
