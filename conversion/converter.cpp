#include "conversion/converter.h"
#include "conversion/notice.h"

#include <QDir>
#include <bit>
#include <cstdint>
#include <cstring>

#include "format/zft_format.h"
#include "platform/failure.h"
#include "platform/picture.h"
#include "shell/mainscreen.h"

namespace conversion {
namespace {

using platform::Answer;
using platform::MessageStyle;
using shell::kTitle;

const QString kSourceFilter = QStringLiteral("*.JPG;*.GIF;*.BMP");
const QString kSourceTitle = QStringLiteral("Select a file to convert ...");
const QString kTargetFilter = QStringLiteral("*.ZFT");
const QString kTargetTitle = QStringLiteral("Select a filename to save ...");
const QString kConfirmation = QStringLiteral("Click <OK> to start convertion (this can take a moment)");
const QString kNoticePrompt = QStringLiteral("Please enter Copyright notice (max. 48 chars)");
const QString kSuccess = QStringLiteral("Conversion succesfull !");

// The header holds three digits a side: a larger picture is refused before
// anything is shown or written. Its size is read before it is decoded, so a
// huge picture costs no memory either.
platform::Picture load_source(const QString& path) {
    auto refuseIfTooLarge = [&](QSize size) {
        if (size.width() > zft::kMaxDimension || size.height() > zft::kMaxDimension)
            throw platform::Failure(platform::Failure::Kind::TooLarge,
                                    QStringLiteral("Cannot convert %1: the picture is %2 × %3 pixels, and a ZFT "
                                                   "picture can be at most 999 × 999 pixels")
                                        .arg(QDir::toNativeSeparators(path), QString::number(size.width()),
                                             QString::number(size.height())));
    };
    refuseIfTooLarge(platform::picture_size(path));
    platform::Picture picture = platform::load_picture(path);
    refuseIfTooLarge(picture.size());
    return picture;
}

}  // namespace

void pump_events_times(int times) {
    for (int i = 0; i < times; ++i)
        platform::pump_events();
}

void convert_jpg_gif_bmp_file(shell::MainScreen& w) {
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
        const platform::Picture picture = load_source(source);
        w.beeld->setPicture(picture);
        w.beeld->refresh();
        w.beeld->setVisible(false);
        shell::FitWindowToPicture(w, shell::Minimum::With);
        // Decoding the file again would give the same pixels: the window's
        // background shares the picture already decoded.
        surface.setBackgroundPicture(picture);
        w.window.refresh();
        pump_events_times(100);

        if (w.prompts.messageBox(kConfirmation, MessageStyle::Stop, kTitle) == Answer::Ok) {
            w.slot1.close();
            w.slot1.openForWriting(target);
            const int width = static_cast<int>(w.beeld->widthTwips() / 15);
            const int height = static_cast<int>(w.beeld->heightTwips() / 15);
            const std::string widthText = zft::zero_padded(width, zft::ZftHeader::kWidthSize);
            const std::string heightText = zft::zero_padded(height, zft::ZftHeader::kHeightSize);
            const std::string notice = zft::notice_field(notice_bytes(w.prompts.inputBox(kNoticePrompt, kTitle)));
            const QDate today = w.prompts.currentDate();
            const std::string dateText = zft::date_text(today.month(), today.day(), today.year());
            w.window.refresh();
            pump_events_times(100);

            w.slot1.writeText(zft::kVersion);
            w.slot1.writeText(dateText);
            w.slot1.writeText(notice);
            w.slot1.writeText(widthText);
            w.slot1.writeText(heightText);
            for (int r = 0; r < height; ++r) {
                for (int c = 0; c < width; ++c) {
                    const int colour = surface.readPixel(15.0f * c, 15.0f * r);
                    const std::uint32_t red = colour % 256;
                    const std::uint32_t green = colour / 256 % 256;
                    const std::uint32_t blue = colour / 65536 % 256;
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
    } catch (const platform::Failure& failure) {
        w.slot1.abandon();
        w.prompts.messageBox(failure.message(), MessageStyle::Error, kTitle);
    }

    w.beeld->setPicture(w.backup->picture());
    surface.setBackgroundPicture(platform::load_picture());
    shell::FitWindowToPicture(w, shell::Minimum::With);
}

}  // namespace conversion
