#include "platform/surface.h"

#include <QPaintEvent>
#include <QPainter>

#include "platform/picture.h"
#include "platform/picture_area.h"

namespace platform {

DrawingSurface::DrawingSurface(QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("surface"));
    setAttribute(Qt::WA_OpaquePaintEvent);
    backgroundColour_ = palette().color(QPalette::Window);
}

void DrawingSurface::setBackgroundColour(QColor colour) {
    backgroundColour_ = colour;
    invalidate(rect());
}

void DrawingSurface::setBackgroundPicture(const QImage& picture) {
    const QRect changed = backgroundPicture_.rect().united(picture.rect());
    // Kept in the composed image's own format, so that each composition is
    // a plain copy rather than a conversion (a GIF decodes to a palette, a
    // grey JPEG to one channel).
    backgroundPicture_ = composable(picture);
    invalidate(changed);
}

void DrawingSurface::setClientSize(QSize pixels) {
    pixels = pixels.expandedTo(QSize(0, 0));
    if (pixels == composed_.size() && !composed_.isNull())
        return;
    composed_ = QImage(pixels, QImage::Format_RGB32);
    width_ = pixels.width();
    height_ = pixels.height();
    widthTwips_ = toTwips(width_);
    heightTwips_ = toTwips(height_);
    bits_ = composed_.bits();
    bytesPerLine_ = composed_.bytesPerLine();
    stale_ = QRegion(composed_.rect());
    anyStale_ = true;
    resize(pixels);
}

void DrawingSurface::invalidate(const QRect& pixels) {
    stale_ += pixels.intersected(QRect(0, 0, width_, height_));
    anyStale_ = !stale_.isEmpty();
    update(pixels);
}

void DrawingSurface::refresh() {
    recompose();
    repaint();
}

void DrawingSurface::recompose() {
    stale_ = QRegion(0, 0, width_, height_);
    anyStale_ = true;
    composeStale();
}

QImage DrawingSurface::composedImage() {
    composeStale();
    return composed_.copy();
}

void DrawingSurface::composeStale() {
    if (stale_.isEmpty() || composed_.isNull()) {
        stale_ = QRegion();
        anyStale_ = false;
        return;
    }
    QPainter painter(&composed_);
    painter.setClipRegion(stale_);
    // Under an opaque background picture the colour never shows.
    QRegion uncovered = stale_;
    if (!backgroundPicture_.isNull() && !backgroundPicture_.hasAlphaChannel())
        uncovered -= backgroundPicture_.rect();
    for (const QRect& r : uncovered)
        painter.fillRect(r, backgroundColour_);
    if (!backgroundPicture_.isNull())
        painter.drawImage(0, 0, backgroundPicture_);
    for (const PictureArea* area : areas_) {
        if (area->isVisibleTo(this) && !area->picture().isNull())
            painter.drawImage(area->geometry().topLeft(), area->picture(),
                              QRect(QPoint(0, 0), area->geometry().size()));
    }
    painter.end();
    stale_ = QRegion();
    anyStale_ = false;
    bits_ = composed_.bits();
}

void DrawingSurface::paintEvent(QPaintEvent* event) {
    composeStale();
    paintPending_ = false;
    QPainter painter(this);
    for (const QRect& r : event->region())
        painter.drawImage(r, composed_, r);
}

}  // namespace platform
