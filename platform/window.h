// The windows of the program as its logic sees them, whatever draws them (Qt
// Widgets on the desktop, the DOM and a canvas in a browser): windows with a
// fixed frame and an optional menu bar, their drawing surface, and what lies
// on it (picture areas, labels, click areas). Lengths are twips, 15 to the
// pixel; colours are colour values, red + 256·green + 65536·blue; texts are
// UTF-8.
//
// A window owns what is made on it; the references it gives stay good for
// the window's life.
#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "core/picture.h"
#include "platform/async.h"

namespace platform {

inline constexpr int kFramePixels = 1;
inline constexpr int kMenuBarPixels = 19;  // the least a menu bar takes

// A picture area on a drawing surface: no frame, no stretching. Given a
// non-empty picture it takes the picture's natural size, one screen pixel
// per picture pixel, with its top-left corner where it was placed. Empty,
// it shows nothing and lets the surface show through.
class PictureArea {
public:
    virtual ~PictureArea() = default;

    virtual const core::Picture& picture() const = 0;
    virtual void setPicture(const core::Picture& picture) = 0;

    virtual float widthTwips() const = 0;
    virtual float heightTwips() const = 0;
    virtual void setSizeTwips(float width, float height) = 0;

    // Not hidden, whether its window is shown yet or not.
    virtual bool isVisible() const = 0;
    virtual void setVisible(bool visible) = 0;

    // Repaints the area at once.
    virtual void refresh() = 0;

    // What assistive technologies are told the area shows.
    virtual void setAccessibleName(const std::string& name) = 0;

    // Lets the user move the whole window by dragging the area, where the
    // window has no title bar to drag it by.
    virtual void setDragsWindow(bool drags) = 0;
};

// An invisible area that answers a click (the left button pressed and
// released over it): whatever lies behind it shows through.
class ClickArea {
public:
    virtual ~ClickArea() = default;
    virtual void setOnClick(std::function<void()> onClick) = 0;
    // Assistive technologies can press it; keys do nothing on it.
    virtual void setAccessibleName(const std::string& name) = 0;
};

// A font asked for by name; where the family is missing, the system's own
// sans-serif font stands in.
struct Font {
    std::string family;
    float points = 0;
    bool bold = false;
};

// The client area below the menu bar, in twips from its top-left corner.
// What it shows is composed off-screen: the background colour, the
// background picture at (0, 0), the visible picture areas, then the points
// painted on it; a read of a point gives exactly what the window shows
// there. Painted points go where the layers below change and on refresh().
class Surface {
public:
    virtual ~Surface() = default;

    // The colour where nothing covers the surface: the desktop's window
    // colour at the time, unless one is set here (nullopt gives it back).
    virtual int backgroundColour() const = 0;
    virtual void setBackgroundColour(std::optional<int> colour) = 0;

    // Drawn at its natural size from the top-left corner; the empty picture
    // removes it.
    virtual void setBackgroundPicture(const core::Picture& picture) = 0;

    // The colour value shown at (x, y) twips; -1 outside the surface.
    virtual int readPixel(float x, float y) = 0;
    // Paints the one screen pixel at (x, y) twips; outside the surface nothing.
    virtual void setPixel(float x, float y, int colour) = 0;

    // Recomposes everything, dropping painted points, and repaints at once.
    virtual void refresh() = 0;
};

// A menu item, as the window's menu shows it.
class MenuItem {
public:
    virtual ~MenuItem() = default;
    // Runs the item's command, as picking it does.
    virtual void trigger() = 0;
};

class Menu {
public:
    virtual ~Menu() = default;
    // The caption's "&" marks the access key; `shortcut` is a key as people
    // write it ("F1"), or empty.
    virtual MenuItem& addItem(const std::string& name, const std::string& caption, const std::string& shortcut,
                              std::function<void()> run) = 0;
};

// A window of the program: no title bar, a fixed size, a thin frame of one
// pixel, an optional menu bar, and a drawing surface filling the rest. Its
// size is its outer size, frame and menu bar included. The menu bar is as
// tall as the desktop's style and font need, and never less than 19 pixels.
class Window {
public:
    virtual ~Window() = default;

    virtual float widthTwips() const = 0;
    virtual float heightTwips() const = 0;
    // Both sides at once; a window that grows keeps itself on the screen.
    virtual void setSizeTwips(float width, float height) = 0;

    virtual Surface& surface() = 0;

    // Repaints the whole window at once; points painted on the surface go.
    virtual void refresh() = 0;

    // In the middle of the screen.
    virtual void centre() = 0;
    // The window names itself to nobody and shows no icon: no window to
    // pick from a taskbar.
    virtual void makeNameless() = 0;
    virtual void setAccessibleName(const std::string& name) = 0;

    // Shown, not modal.
    virtual void show() = 0;
    // Shown modal; settles when the window has closed.
    virtual Async<void> showModal() = 0;
    // Asks the window to close, as the window system does (the close guard
    // is asked first).
    virtual void close() = 0;
    // Closes the window for good; it is never shown again.
    virtual void discard() = 0;
    // Called when the window is asked to close; returning false keeps it open.
    virtual void setCloseGuard(std::function<bool()> guard) = 0;

    // Runs `job` once the events pending now have been handled (a window
    // just shown modal has come up by then); never if the window is gone
    // first.
    virtual void post(std::function<void()> job) = 0;

    // Menus in display order, items in each in display order. The
    // caption's "&" marks the access key; `name` is the menu's or item's
    // own name, by which tests and assistive technologies find it.
    virtual Menu& addMenu(const std::string& name, const std::string& caption) = 0;

    // What lies on the surface, front-most last; positions and sizes in
    // twips, relative to the surface. Labels of one group are told apart
    // by an index in their names: "Label1(0)", "Label1(1)".
    virtual PictureArea& addPictureArea(const std::string& name, float left, float top, float width,
                                        float height) = 0;
    virtual void addLabel(const std::string& name, float left, float top, float width, float height,
                          const Font& font, const std::string& text) = 0;
    virtual ClickArea& addClickArea(const std::string& name, float left, float top, float width, float height) = 0;
};

}  // namespace platform
