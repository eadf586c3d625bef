#include "platform/qt/surface.h"

#include <QPaintEvent>
#include <QPainter>

#include "core/compose.h"
#include "platform/qt/picture_area.h"

namespace platform::qt {

DrawingSurface::DrawingSurface(QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("surface"));
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void DrawingSurface::setBackgroundColour(std::optional<int> colour) {
    backgroundColour_ = colour;
    invalidate(rect());
}

void DrawingSurface::setBackgroundPicture(const core::Picture& picture) {
    const QRect changed = QRect(0, 0, backgroundPicture_.width(), backgroundPicture_.height())
                              .united(QRect(0, 0, picture.width(), picture.height()));
    backgroundPicture_ = picture;
    invalidate(changed);
}

void DrawingSurface::setClientSize(QSize pixels) {
    pixels = pixels.expandedTo(QSize(0, 0));
    if (pixels == composed_.size() && !composed_.isNull())
        return;
    // In the core's pixel memory: a window the size of a large picture then
    // costs a few page faults, not thousands, each time it is resized.
    std::shared_ptr<core::Argb[]> memory =
        core::allocate_pixels(static_cast<std::size_t>(pixels.width()) * static_cast<std::size_t>(pixels.height()));
    composed_ = QImage(reinterpret_cast<uchar*>(memory.get()), pixels.width(), pixels.height(),
                       static_cast<qsizetype>(sizeof(core::Argb)) * pixels.width(), QImage::Format_RGB32);
    composedMemory_ = std::move(memory);
    width_ = pixels.width();
    height_ = pixels.height();
    widthTwips_ = to_twips(width_);
    heightTwips_ = to_twips(height_);
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
    if (pointsPainted_) {
        stale_ = QRegion(0, 0, width_, height_);
        anyStale_ = true;
        pointsPainted_ = false;
    }
    composeStale();
}

void DrawingSurface::composeStale() {
    if (stale_.isEmpty() || composed_.isNull()) {
        stale_ = QRegion();
        anyStale_ = false;
        return;
    }
    std::vector<core::Layer> layers;
    if (!backgroundPicture_.isNull())
        layers.push_back({&backgroundPicture_, 0, 0, backgroundPicture_.size()});
    for (const PictureAreaWidget* area : areas_) {
        if (area->isVisibleTo(this) && !area->picture().isNull()) {
            const QRect place = area->geometry();
            layers.push_back({&area->picture(), place.x(), place.y(), {place.width(), place.height()}});
        }
    }
    auto* target = reinterpret_cast<core::Argb*>(composed_.bits());
    const auto stride = static_cast<std::ptrdiff_t>(composed_.bytesPerLine() / sizeof(core::Argb));
    const core::Argb background = backgroundPixel();
    for (const QRect& r : stale_)
        core::compose(target, stride, {r.x(), r.y(), r.width(), r.height()}, background, layers);
    unpainted_ = true;
    stale_ = QRegion();
    anyStale_ = false;
    bits_ = composed_.bits();
}

void DrawingSurface::changeEvent(QEvent* event) {
    // A new theme, or the desktop switching between light and dark.
    if (event->type() == QEvent::PaletteChange && !backgroundColour_)
        invalidate(rect());
    QWidget::changeEvent(event);
}

void DrawingSurface::paintEvent(QPaintEvent* event) {
    composeStale();
    paintPending_ = false;
    if (event->region().contains(rect()))
        unpainted_ = false;
    QPainter painter(this);
    for (const QRect& r : event->region())
        painter.drawImage(r, composed_, r);
}

}  // namespace platform::qt
