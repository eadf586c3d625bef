#include "shell/previewer.h"

#include "core/decoding.h"
#include "core/failure.h"
#include "core/header_text.h"
#include "core/zft_codec.h"
#include "format/zft_format.h"
#include "platform/text.h"
#include "shell/converter.h"
#include "shell/mainscreen.h"

namespace shell {
namespace {

using platform::kTwipsPerPixel;

const QString kFilter = QStringLiteral("*.ZFT");
const QString kDialogTitle = QStringLiteral("Select a file to preview ...");


}  // namespace

// No events are handled in here: nothing can run in the middle of the loop.
void paint_pixels(platform::FileSlot& slot, platform::DrawingSurface& surface, int width, int height) {
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

// The preview command; a `given` path takes the place of the dialog's.
void preview(MainScreen& w, const QString& given) {
    QString path = given;
    if (path.isEmpty()) {
        platform::FileDialog& dialog = w.CommonDialog1;
        dialog.fileName.clear();
        dialog.filter = kFilter;
        dialog.title = kDialogTitle;
        dialog.showOpen();
        if (dialog.fileName.size() <= 3)
            return;
        path = dialog.fileName;
    }

    bool headerRead = false;
    int width = 0;
    int height = 0;
    try {
        w.slot1.close();
        w.slot1.openForReading(path);
        zft::ZftHeader header;
        for (const zft::HeaderField& field : zft::kHeaderFields)
            header.*field.member = w.slot1.readChars(field.size);
        headerRead = true;

        width = header.width_value();
        height = header.height_value();
        const std::array<std::string, 3> lines = core::header_summary(header);
        w.prompts.messageBox(platform::text_of(lines[0] + "\r\n" + lines[1] + "\r\n" + lines[2]),
                             platform::MessageStyle::Information, path);

        w.beeld->setPicture(core::load_picture());
        w.beeld->setSizeTwips(kTwipsPerPixel * width, kTwipsPerPixel * height);
        name_beeld(w, path);
        FitWindowToPicture(w, Minimum::Without);
        w.beeld->setVisible(true);
        w.beeld->refresh();
        w.window.refresh();
        pump_events_times(100);

        paint_pixels(w.slot1, *w.window.surface(), width, height);
        w.slot1.close();
    } catch (const core::Failure& failure) {
        // A read that passed the end used up every byte before it: what was
        // read is what the file has, even where the file system reports no
        // length (a file under /proc) or the file changed meanwhile.
        const qint64 length = w.slot1.bytesRead();
        w.slot1.abandon();
        std::string message = failure.message();
        const std::string file = platform::file_name(path);
        const bool endOfFile = failure.kind() == core::Failure::Kind::EndOfFile;
        if (endOfFile && !headerRead) {
            message = core::cannot("preview", file, core::short_file_reason(length), failure.kind()).message();
        } else if (endOfFile) {
            message = core::cannot("preview", file, core::length_reason(length, zft::file_size(width, height)),
                                   failure.kind())
                          .message();
        }
        w.prompts.messageBox(platform::text_of(message), platform::MessageStyle::Error, kTitle);
    }
}

}  // namespace

void preview_zft_file(MainScreen& w) { preview(w, {}); }

void preview_zft_file_at(MainScreen& w, const QString& path) { preview(w, path); }

}  // namespace shell
