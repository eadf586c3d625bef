// A picture area on a drawing surface: no frame, no stretching. Given a
// non-empty picture it takes the picture's natural size, one screen pixel per
// picture pixel, with its top-left corner where it was placed. Empty, it
// shows nothing and lets the surface show through.
//
// The surface draws it (see DrawingSurface); the widget is there for its
// place, its name and its visibility.
#pragma once

#include <QPointF>
#include <QWidget>
#include <optional>

#include "core/picture.h"

namespace platform {

class DrawingSurface;

class PictureArea : public QWidget {
public:
    // Position and size in twips, relative to the surface.
    PictureArea(DrawingSurface* surface, const QString& name, float left, float top, float width, float height);

    const core::Picture& picture() const { return picture_; }
    void setPicture(const core::Picture& picture);

    float widthTwips() const { return width_; }
    float heightTwips() const { return height_; }
    void setSizeTwips(float width, float height);

    // Shown or hidden (QWidget::setVisible); the surface follows.
    void setVisible(bool visible) override;

    // Repaints the area at once.
    void refresh();

    // Lets the user move the whole window by pressing the left button on
    // the area and dragging, shown or not: the window system moves it where
    // it can (QWindow::startSystemMove), else the window follows the
    // pointer. A press released before the pointer has gone the drag
    // distance is left to the surface, as any other.
    void setDragsWindow(bool drags);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void place();
    bool dragWindow(const QPointF& global);

    DrawingSurface* surface_;
    core::Picture picture_;
    float left_;
    float top_;
    float width_;
    float height_;
    bool dragsWindow_ = false;
    std::optional<QPointF> pressedAt_;  // global, while a drag may begin
    QPoint windowAtPress_;
    bool following_ = false;
};

}  // namespace platform
