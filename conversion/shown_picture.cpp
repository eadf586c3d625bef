#include "conversion/shown_picture.h"

#include <QGuiApplication>
#include <QPainter>
#include <QPalette>

namespace conversion {

QColor window_background_colour() { return QGuiApplication::palette().color(QPalette::Window); }

QImage picture_as_shown(const QImage& picture, const QColor& background) {
    // Drawing an opaque picture of the surface's own format is a plain copy
    // (what JPEG and most BMP files decode to): it is already as shown.
    if (picture.format() == QImage::Format_RGB32)
        return picture;
    // The same target format and the same two painter calls as the surface,
    // so that the blending of half-transparent pixels rounds alike.
    QImage shown(picture.size(), QImage::Format_RGB32);
    QPainter painter(&shown);
    painter.fillRect(shown.rect(), background);
    painter.drawImage(0, 0, picture);
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
