// A picture area on a drawing surface (platform::PictureArea).
//
// The surface draws it (see DrawingSurface); the widget is there for its
// place, its name and its visibility.
#pragma once

#include <QPointF>
#include <QWidget>
#include <optional>

#include "core/picture.h"
#include "platform/window.h"

namespace platform::qt {

class DrawingSurface;

class PictureAreaWidget final : public QWidget, public PictureArea {
public:
    // Position and size in twips, relative to the surface.
    PictureAreaWidget(DrawingSurface* surface, const QString& name, float left, float top, float width, float height);

    const core::Picture& picture() const override { return picture_; }
    void setPicture(const core::Picture& picture) override;

    float widthTwips() const override { return width_; }
    float heightTwips() const override { return height_; }
    void setSizeTwips(float width, float height) override;

    // Shown or hidden (QWidget::setVisible); the surface follows.
    void setVisible(bool visible) override;
    bool isVisible() const override;

    // Repaints the area at once.
    void refresh() override;

    void setAccessibleName(const std::string& name) override;

    // Lets the user move the whole window by pressing the left button on
    // the area and dragging, shown or not: the window system moves it where
    // it can (QWindow::startSystemMove), else the window follows the
    // pointer. A press released before the pointer has gone the drag
    // distance is left to the surface, as any other.
    void setDragsWindow(bool drags) override;

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

}  // namespace platform::qt
