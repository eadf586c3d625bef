// An invisible area on a drawing surface that answers a click: the left
// button pressed and released over it. It shows nothing, so whatever lies
// behind it shows through, and it takes every click within its bounds.
#pragma once

#include <QWidget>
#include <functional>

namespace platform {

class DrawingSurface;

class ClickArea : public QWidget {
public:
    // Position and size in twips, relative to the surface; placed in front
    // of everything already on it.
    ClickArea(DrawingSurface* surface, const QString& name, float left, float top, float width, float height);

    void setOnClick(std::function<void()> onClick) { onClick_ = std::move(onClick); }

    // Runs the click's command, as a click on the area does, once the event
    // at hand has been handled: the command may run for as long as the
    // program does, and take the area's window away meanwhile. Assistive
    // technologies press the area through this.
    void click();

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void paintEvent(QPaintEvent*) override {}

private:
    std::function<void()> onClick_;
    bool pressed_ = false;
};

}  // namespace platform
