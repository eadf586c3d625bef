#include "platform/picture_area.h"

#include "platform/surface.h"
#include "platform/units.h"

namespace platform {

PictureArea::PictureArea(DrawingSurface* surface, const QString& name, float left, float top, float width,
                         float height)
    : QWidget(surface), surface_(surface), left_(left), top_(top), width_(width), height_(height) {
    setObjectName(name);
    // The surface paints what the area shows; clicks go to the surface too.
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setAttribute(Qt::WA_NoSystemBackground);
    surface->addPictureArea(this);
    place();
}

void PictureArea::place() {
    const QRect before = geometry();
    setGeometry(to_pixels(left_), to_pixels(top_), std::max(0, to_pixels(width_)), std::max(0, to_pixels(height_)));
    surface_->invalidate(before.united(geometry()));
}

void PictureArea::setPicture(const core::Picture& picture) {
    picture_ = picture;
    if (!picture.isNull()) {
        width_ = to_twips(picture.width());
        height_ = to_twips(picture.height());
    }
    place();
}

void PictureArea::setSizeTwips(float width, float height) {
    width_ = width;
    height_ = height;
    place();
}

void PictureArea::setVisible(bool visible) {
    const bool was = isVisibleTo(surface_);
    QWidget::setVisible(visible);
    if (was != visible)
        surface_->invalidate(geometry());
}

void PictureArea::refresh() {
    surface_->invalidate(geometry());
    surface_->repaint(geometry());
}

}  // namespace platform
