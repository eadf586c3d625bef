#include "platform/qt/picture_area.h"

#include <QApplication>
#include <QMouseEvent>
#include <QWindow>

#include "platform/qt/surface.h"
#include "platform/units.h"

namespace platform::qt {

PictureAreaWidget::PictureAreaWidget(DrawingSurface* surface, const QString& name, float left, float top, float width,
                         float height)
    : QWidget(surface), surface_(surface), left_(left), top_(top), width_(width), height_(height) {
    setObjectName(name);
    // The surface paints what the area shows; clicks go to the surface too.
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setAttribute(Qt::WA_NoSystemBackground);
    surface->addPictureArea(this);
    place();
}

void PictureAreaWidget::place() {
    const QRect before = geometry();
    setGeometry(to_pixels(left_), to_pixels(top_), std::max(0, to_pixels(width_)), std::max(0, to_pixels(height_)));
    surface_->invalidate(before.united(geometry()));
}

void PictureAreaWidget::setPicture(const core::Picture& picture) {
    picture_ = picture;
    if (!picture.isNull()) {
        width_ = to_twips(picture.width());
        height_ = to_twips(picture.height());
    }
    place();
}

void PictureAreaWidget::setSizeTwips(float width, float height) {
    width_ = width;
    height_ = height;
    place();
}

void PictureAreaWidget::setVisible(bool visible) {
    const bool was = isVisibleTo(surface_);
    QWidget::setVisible(visible);
    if (was != visible)
        surface_->invalidate(geometry());
}

bool PictureAreaWidget::isVisible() const { return isVisibleTo(surface_); }

void PictureAreaWidget::setAccessibleName(const std::string& name) {
    QWidget::setAccessibleName(QString::fromStdString(name));
}

void PictureAreaWidget::setDragsWindow(bool drags) {
    if (drags == dragsWindow_)
        return;
    dragsWindow_ = drags;
    pressedAt_.reset();
    if (drags)
        surface_->installEventFilter(this);
    else
        surface_->removeEventFilter(this);
}

bool PictureAreaWidget::eventFilter(QObject* watched, QEvent* event) {
    if (watched != surface_)
        return false;
    switch (event->type()) {
    case QEvent::MouseButtonPress: {
        const auto* mouse = static_cast<QMouseEvent*>(event);
        if (mouse->button() == Qt::LeftButton && geometry().contains(mouse->position().toPoint())) {
            pressedAt_ = mouse->globalPosition();
            windowAtPress_ = window()->pos();
            following_ = false;
        }
        return false;
    }
    case QEvent::MouseMove: {
        const auto* mouse = static_cast<QMouseEvent*>(event);
        if (!pressedAt_ || !(mouse->buttons() & Qt::LeftButton))
            return false;
        return dragWindow(mouse->globalPosition());
    }
    case QEvent::MouseButtonRelease:
        if (static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton)
            pressedAt_.reset();
        return false;
    default:
        return false;
    }
}

bool PictureAreaWidget::dragWindow(const QPointF& global) {
    const QPoint moved = (global - *pressedAt_).toPoint();
    if (!following_) {
        if (moved.manhattanLength() < QApplication::startDragDistance())
            return false;
        // Under Wayland only the compositor moves windows, and a window
        // manager on X11 moves them best itself; without one (or on a
        // platform with no interactive move) the window follows the
        // pointer, which works wherever a program may place its windows.
        QWindow* handle = window()->windowHandle();
        if (handle && handle->startSystemMove()) {
            pressedAt_.reset();
            return true;
        }
        following_ = true;
    }
    window()->move(windowAtPress_ + moved);
    return true;
}

void PictureAreaWidget::refresh() {
    surface_->invalidate(geometry());
    surface_->repaint(geometry());
}

}  // namespace platform::qt
