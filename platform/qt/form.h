// A window of the program (platform::Window) in Qt Widgets: a frameless
// top-level widget with a menu bar of its own and a drawing surface.
//
// The menu bar is as tall as the style and the font need, and never less
// than 19 pixels. Held lower, a bar puts every menu behind its extension
// button, as it does under GTK's theme with its larger font.
#pragma once

#include <QWidget>
#include <functional>
#include <memory>
#include <vector>

#include "platform/qt/surface.h"
#include "platform/window.h"

class QEventLoop;
class QMenu;
class QMenuBar;

namespace platform::qt {

class Form final : public QWidget, public Window {
public:
    Form(const std::string& name, bool withMenuBar);

    float widthTwips() const override { return width_; }
    float heightTwips() const override { return height_; }
    void setSizeTwips(float width, float height) override;

    DrawingSurface& surface() override { return *surface_; }

    // The menu bar's height in pixels; 0 without one.
    int menuBarPixels() const;

    // A window that shows nothing new is not painted again: what it shows
    // stands in its backing store, also where another window covered it.
    void refresh() override;

    // Inside the screen's available area.
    void centre() override;

    // Qt alone always names a window, after the program when it has no
    // caption.
    void makeNameless() override;

    void setAccessibleName(const std::string& name) override;

    void show() override { QWidget::show(); }

    // Returns when the window has closed, the program's events handled
    // meanwhile; the answer is then at hand.
    Async<void> showModal() override;

    void close() override { QWidget::close(); }

    // The window system's window goes too, and with it the window's place
    // among the program's windows that assistive technologies list.
    void discard() override;

    void setCloseGuard(std::function<bool()> guard) override { closeGuard_ = std::move(guard); }

    // Queued behind the events pending now; dropped if the window goes first.
    void post(std::function<void()> job) override;

    Menu& addMenu(const std::string& name, const std::string& caption) override;
    // An item of one of the window's menus, as the menu adds it.
    MenuItem& addItem(QMenu* menu, const std::string& name, const std::string& caption, const std::string& shortcut,
                      std::function<void()> run);

    PictureArea& addPictureArea(const std::string& name, float left, float top, float width, float height) override;
    void addLabel(const std::string& name, float left, float top, float width, float height, const Font& font,
                  const std::string& text) override;
    ClickArea& addClickArea(const std::string& name, float left, float top, float width, float height) override;

protected:
    bool event(QEvent* event) override;
    void changeEvent(QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    void applySize();
    void keepInsideScreen();

    QMenuBar* menuBar_ = nullptr;
    DrawingSurface* surface_ = nullptr;
    float width_ = 0;
    float height_ = 0;
    int appliedMenuBar_ = 0;
    std::function<bool()> closeGuard_;
    QEventLoop* modalLoop_ = nullptr;
    std::vector<std::unique_ptr<Menu>> menus_;
    std::vector<std::unique_ptr<MenuItem>> items_;
};

// Where a window whose frame is `window` goes to lie inside `area`: where it
// is when it lies inside already, else moved just enough; along a side where
// it is larger than the area, at the area's start.
QPoint place_inside(const QRect& window, const QRect& area);

}  // namespace platform::qt
