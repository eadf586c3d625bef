#include "conversion/shown_picture.h"

#include <QGuiApplication>
#include <QPainter>
#include <QPalette>

#include "platform/picture.h"

namespace conversion {

QColor window_background_colour() { return QGuiApplication::palette().color(QPalette::Window); }

QImage picture_as_shown(const QImage& picture, const QColor& background) {
    // The surface's own steps, so that half-transparent pixels round alike:
    // the picture in the composed image's format, drawn over the colour.
    const QImage drawn = platform::composable(picture);
    // An opaque picture covers the colour: drawing it would be a plain copy.
    if (!drawn.hasAlphaChannel())
        return drawn;
    QImage shown(picture.size(), QImage::Format_RGB32);
    QPainter painter(&shown);
    painter.fillRect(shown.rect(), background);
    painter.drawImage(0, 0, drawn);
    painter.end();
    return shown;
}

void pixel_row(const QImage& shown, int y, char* out) {
    Q_ASSERT(shown.format() == QImage::Format_RGB32);
    const auto* line = reinterpret_cast<const QRgb*>(shown.constScanLine(y));
    const int width = shown.width();
    for (int x = 0; x < width; ++x) {
        *out++ = static_cast<char>(qRed(line[x]));
        *out++ = static_cast<char>(qGreen(line[x]));
        *out++ = static_cast<char>(qBlue(line[x]));
    }
}

}  // namespace conversion
