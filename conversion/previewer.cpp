#include "conversion/previewer.h"

#include <QDir>

#include "conversion/converter.h"
#include "conversion/notice.h"
#include "format/zft_format.h"
#include "platform/failure.h"
#include "platform/picture.h"
#include "shell/mainscreen.h"

namespace conversion {
namespace {

const QString kFilter = QStringLiteral("*.ZFT");
const QString kTitle = QStringLiteral("Select a file to preview ...");

}  // namespace

// No events are handled in here: nothing can run in the middle of the loop.
void paint_pixels(platform::FileSlot& slot, platform::DrawingSurface& surface, int width, int height) {
    for (int y = 1; y <= height; ++y) {
        for (int x = 1; x <= width; ++x) {
            const auto red = static_cast<unsigned char>(slot.readChars(1)[0]);
            const auto green = static_cast<unsigned char>(slot.readChars(1)[0]);
            const auto blue = static_cast<unsigned char>(slot.readChars(1)[0]);
            surface.setPixel(45.0f + 15.0f * x, 45.0f + 15.0f * y, red + 256 * green + 65536 * blue);
        }
    }
}

void preview_zft_file(shell::MainScreen& w) {
    platform::FileDialog& dialog = w.CommonDialog1;
    dialog.fileName.clear();
    dialog.filter = kFilter;
    dialog.title = kTitle;
    dialog.showOpen();
    if (dialog.fileName.size() <= 3)
        return;
    const QString path = dialog.fileName;

    bool headerRead = false;
    int width = 0;
    int height = 0;
    try {
        w.slot1.close();
        w.slot1.openForReading(path);
        zft::ZftHeader header;
        header.version = w.slot1.readChars(zft::ZftHeader::kVersionSize);
        header.creation_month = w.slot1.readChars(zft::ZftHeader::kMonthSize);
        header.creation_day = w.slot1.readChars(zft::ZftHeader::kDaySize);
        header.creation_year = w.slot1.readChars(zft::ZftHeader::kYearSize);
        header.copyright_notice = w.slot1.readChars(zft::ZftHeader::kNoticeSize);
        header.width = w.slot1.readChars(zft::ZftHeader::kWidthSize);
        header.height = w.slot1.readChars(zft::ZftHeader::kHeightSize);
        headerRead = true;

        const QString date =
            header_text(header.creation_month) + u'/' + header_text(header.creation_day) + u'/' + header_text(header.creation_year);
        width = zft::field_value(header.width);
        height = zft::field_value(header.height);
        const QString information = QStringLiteral("Version=") + header_text(header.version) +
                                    QStringLiteral(" - Creationdate=") + date + QStringLiteral("\r\n") +
                                    QStringLiteral("width=") + header_text(header.width) + QStringLiteral(" - height=") +
                                    header_text(header.height) + QStringLiteral("\r\n") +
                                    QStringLiteral("Copyright notification=") + header_text(header.copyright_notice);
        w.prompts.messageBox(information, platform::MessageStyle::Information, path);

        w.beeld->setPicture(platform::load_picture());
        w.beeld->setSizeTwips(15.0f * width, 15.0f * height);
        shell::FitWindowToPicture(w, shell::Minimum::Without);
        w.beeld->setVisible(true);
        w.beeld->refresh();
        w.window.refresh();
        pump_events_times(100);

        paint_pixels(w.slot1, *w.window.surface(), width, height);
        w.slot1.close();
    } catch (const platform::Failure& failure) {
        // A read that passed the end used up every byte before it: what was
        // read is what the file has, even where the file system reports no
        // length (a file under /proc) or the file changed meanwhile.
        const qint64 length = w.slot1.bytesRead();
        w.slot1.abandon();
        QString message = failure.message();
        const QString native = QDir::toNativeSeparators(path);
        // One pass of arg() for all values: chained calls would take a "%2"
        // in the file's name for a place of their own.
        if (failure.kind() == platform::Failure::Kind::EndOfFile && !headerRead) {
            message = QStringLiteral("Cannot preview %1: the file is %2 bytes long, shorter than the 64-byte "
                                     "header of a ZFT picture")
                          .arg(native, QString::number(length));
        } else if (failure.kind() == platform::Failure::Kind::EndOfFile) {
            message = QStringLiteral("Cannot preview %1 completely: its header promises %2 bytes (%3 × %4 pixels), "
                                     "but the file has only %5 bytes")
                          .arg(native, QString::number(zft::file_size(width, height)), QString::number(width),
                               QString::number(height), QString::number(length));
        }
        w.prompts.messageBox(message, platform::MessageStyle::Error, shell::kTitle);
    }
}

}  // namespace conversion
