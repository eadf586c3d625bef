#include "platform/click_area.h"

#include <QMouseEvent>

#include "platform/surface.h"
#include "platform/units.h"

namespace platform {

ClickArea::ClickArea(DrawingSurface* surface, const QString& name, float left, float top, float width, float height)
    : QWidget(surface) {
    setObjectName(name);
    setAttribute(Qt::WA_NoSystemBackground);
    setGeometry(to_pixels(left), to_pixels(top), to_pixels(width), to_pixels(height));
    raise();
}

void ClickArea::mousePressEvent(QMouseEvent* event) {
    pressed_ = event->button() == Qt::LeftButton;
}

void ClickArea::mouseReleaseEvent(QMouseEvent* event) {
    // A press that wandered off the area before its release is no click.
    const bool click = pressed_ && event->button() == Qt::LeftButton && rect().contains(event->position().toPoint());
    pressed_ = false;
    if (click && onClick_)
        onClick_();
}

}  // namespace platform
