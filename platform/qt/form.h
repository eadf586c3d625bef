// A window of the program: no title bar, a fixed size, a thin frame of one
// pixel, an optional menu bar, and a drawing surface filling the rest. Its
// size is its outer size, frame and menu bar included, in twips.
//
// The menu bar is as tall as the style and the font need, and never less
// than 19 pixels. Held lower, a bar puts every menu behind its extension
// button, as it does under GTK's theme with its larger font.
#pragma once

#include <QKeySequence>
#include <QWidget>
#include <functional>

#include "platform/surface.h"

class QEventLoop;
class QMenu;
class QMenuBar;

namespace platform {

inline constexpr int kFramePixels = 1;
inline constexpr int kMenuBarPixels = 19;  // the least

class Form : public QWidget {
public:
    Form(const QString& name, bool withMenuBar);

    float widthTwips() const { return width_; }
    float heightTwips() const { return height_; }
    void setSizeTwips(float width, float height);

    DrawingSurface* surface() const { return surface_; }

    // The menu bar's height in pixels; 0 without one.
    int menuBarPixels() const;

    // Repaints the whole window at once; points painted on the surface go.
    // A window that shows nothing new is not painted again: what it shows
    // stands in its backing store, also where another window covered it.
    void refresh();

    // Places the window in the middle of the screen, inside its available
    // area.
    void centre();

    // The window tells the window system no name and shows no icon, so a
    // taskbar has nothing to list it by. Qt alone always names a window,
    // after the program when it has no caption.
    void makeNameless();

    // Shows the window modal and returns when it has closed; the events of
    // the program are handled meanwhile.
    void showModal();

    // Closes the window for good: the window system's window goes too, and
    // with it the window's place among the program's windows that assistive
    // technologies list.
    void discard();

    // Menus in display order. The caption's "&" marks the access key.
    QMenu* addMenu(const QString& name, const QString& caption);
    QAction* addItem(QMenu* menu, const QString& name, const QString& caption, const QKeySequence& shortcut,
                     std::function<void()> run);

    // Called when the window system asks the window to close; returning false
    // keeps it open.
    void setCloseGuard(std::function<bool()> guard) { closeGuard_ = std::move(guard); }

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
};

// Where a window whose frame is `window` goes to lie inside `area`: where it
// is when it lies inside already, else moved just enough; along a side where
// it is larger than the area, at the area's start.
QPoint place_inside(const QRect& window, const QRect& area);

// Processes the pending window events once.
void pump_events();

// Ends the program at once with exit status 0: every window goes, and no
// further event is handled.
void end_program();

}  // namespace platform
