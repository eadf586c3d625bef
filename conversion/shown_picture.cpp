#include "conversion/shown_picture.h"

#include <QGuiApplication>
#include <QPainter>
#include <QPalette>
#include <algorithm>

namespace conversion {

QColor window_background_colour() { return QGuiApplication::palette().color(QPalette::Window); }

QImage picture_as_shown(const QImage& picture, const QColor& background) {
    // The same target format and the same two painter calls as the surface,
    // so that the blending of half-transparent pixels rounds alike.
    QImage shown(picture.size(), QImage::Format_RGB32);
    QPainter painter(&shown);
    painter.fillRect(shown.rect(), background);
    painter.drawImage(0, 0, picture);
    painter.end();
    return shown;
}

std::string pixel_bytes(const QImage& shown) {
    const QImage rgb = shown.convertToFormat(QImage::Format_RGB888);
    const auto rowBytes = static_cast<std::size_t>(rgb.width()) * 3;
    std::string bytes;
    bytes.resize(rowBytes * static_cast<std::size_t>(rgb.height()));
    for (int y = 0; y < rgb.height(); ++y)
        std::copy_n(rgb.constScanLine(y), rowBytes, bytes.data() + rowBytes * static_cast<std::size_t>(y));
    return bytes;
}

}  // namespace conversion
