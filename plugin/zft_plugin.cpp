#include "plugin/zft_plugin.h"

#include <QLoggingCategory>
#include <QSize>
#include <QVariant>

#include "plugin/zft_image.h"

Q_LOGGING_CATEGORY(lcZft, "qt.imageformats.zft")

bool ZftHandler::canRead(QIODevice* device) { return !zft_image::fault(device).has_value(); }

bool ZftHandler::canRead() const {
    if (!canRead(device()))
        return false;
    setFormat("zft");
    return true;
}

bool ZftHandler::read(QImage* image) {
    std::string error;
    if (zft_image::read(device(), image, &error))
        return true;
    qCWarning(lcZft, "Cannot read the ZFT picture: %s", error.c_str());
    return false;
}

bool ZftHandler::supportsOption(ImageOption option) const { return option == Size || option == ImageFormat; }

QVariant ZftHandler::option(ImageOption option) const {
    // Answered from the header alone, and only when the header is sound, so
    // that a reader never sizes anything from a file it would then refuse.
    const auto header = zft_image::peek_header(device());
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
