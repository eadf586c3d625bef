#include "plugin/zft_plugin.h"

#include <QLoggingCategory>
#include <QSize>
#include <QVariant>

#include "plugin/zft_reader.h"

Q_LOGGING_CATEGORY(lcZft, "qt.imageformats.zft")

bool ZftHandler::canRead(QIODevice* device) { return !ZftReader(device).fault().has_value(); }

bool ZftHandler::canRead() const {
    if (!canRead(device()))
        return false;
    setFormat("zft");
    return true;
}

bool ZftHandler::read(QImage* image) {
    ZftReader reader(device());
    std::optional<std::string> error = reader.fault();
    QImage picture;
    if (!error) {
        const zft::ZftHeader header = *reader.header();
        const QSize size(header.width_value(), header.height_value());
        // The rows of a ZFT file are those of an RGB888 image.
        if (!QImageIOHandler::allocateImage(size, QImage::Format_RGB888, &picture))
            error = "a picture of " + std::to_string(size.width()) + " × " + std::to_string(size.height()) +
                    " pixels is more than the reader's memory limit allows";
        else
            error = reader.readPixels([&](int y) { return reinterpret_cast<char*>(picture.scanLine(y)); });
    }
    if (error) {
        qCWarning(lcZft, "Cannot read the ZFT picture: %s", error->c_str());
        return false;
    }
    *image = std::move(picture);
    return true;
}

bool ZftHandler::supportsOption(ImageOption option) const { return option == Size || option == ImageFormat; }

QVariant ZftHandler::option(ImageOption option) const {
    // Answered from the header alone, and only when the header is sound, so
    // that a reader never sizes anything from a file it would then refuse.
    const auto header = ZftReader(device()).header();
    if (!header || zft::header_fault(*header))
        return {};
    if (option == Size)
        return QSize(header->width_value(), header->height_value());
    if (option == ImageFormat)
        return QImage::Format_RGB888;
    return {};
}

QImageIOPlugin::Capabilities ZftPlugin::capabilities(QIODevice* device, const QByteArray& format) const {
    if (!format.isEmpty() && format != "zft")
        return {};
    if (!device || !device->isOpen())
        return format == "zft" ? CanRead : Capabilities();
    // Even a .zft name proves nothing: a mislabelled PNG is left to the PNG
    // reader rather than refused here.
    return ZftHandler::canRead(device) ? CanRead : Capabilities();
}

QImageIOHandler* ZftPlugin::create(QIODevice* device, const QByteArray& format) const {
    auto* handler = new ZftHandler;
    handler->setDevice(device);
    handler->setFormat(format.isEmpty() ? QByteArray("zft") : format);
    return handler;
}
