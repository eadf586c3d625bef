// An invisible area on a drawing surface that answers a click
// (platform::ClickArea). It takes every click within its bounds.
#pragma once

#include <QWidget>
#include <functional>

#include "platform/window.h"

namespace platform::qt {

class DrawingSurface;

class ClickAreaWidget final : public QWidget, public ClickArea {
public:
    // Position and size in twips, relative to the surface; placed in front
    // of everything already on it.
    ClickAreaWidget(DrawingSurface* surface, const QString& name, float left, float top, float width, float height);

    void setOnClick(std::function<void()> onClick) override { onClick_ = std::move(onClick); }
    void setAccessibleName(const std::string& name) override {
        QWidget::setAccessibleName(QString::fromStdString(name));
    }

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

}  // namespace platform::qt
