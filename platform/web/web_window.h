// A window of the program (platform::Window) on a page: an element page.js
// makes and places as it is told, with its menu bar, labels, click areas
// and picture areas in the DOM, and a canvas for its drawing surface. The
// geometry is worked out here, in pixels of the page (CSS pixels), 15 twips
// to one, as the desktop's windows work it out in screen pixels.
//
// The surface composes what it shows in the module's memory, as the
// desktop's does: the background colour, the background picture, the
// visible picture areas, then the points painted; reading a point gives
// what the canvas shows. page.js copies what changed onto the canvas at
// refresh(), and once an animation frame for anything else.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "core/compose.h"
#include "core/picture.h"
#include "platform/units.h"
#include "platform/window.h"

namespace platform::web {

class WebWindow;
class WebPictureArea;

// An area of the surface in pixels; empty when either side is 0 or less.
core::Rect united(core::Rect a, core::Rect b);
core::Rect intersected(core::Rect a, core::Rect b);
inline bool is_empty(core::Rect r) { return r.width <= 0 || r.height <= 0; }

class WebSurface final : public Surface {
public:
    explicit WebSurface(int window) : window_(window) {}

    // Where nothing covers the surface it shows the page's window colour (the
    // browser's ButtonFace) unless a colour is set.
    int backgroundColour() const override { return colour_value(backgroundPixel()); }
    void setBackgroundColour(std::optional<int> colour) override;
    void setBackgroundPicture(const core::Picture& picture) override;

    int readPixel(float x, float y) override {
        if (!is_empty(stale_)) [[unlikely]]
            composeStale();
        if (!inside(x, y)) [[unlikely]]
            return -1;
        return colour_value(pixels_[index(x, y)]);
    }

    void setPixel(float x, float y, int colour) override {
        if (!is_empty(stale_)) [[unlikely]]
            composeStale();
        if (!inside(x, y)) [[unlikely]]
            return;
        const int column = static_cast<int>(x) / kWholeTwipsPerPixel;
        const int row = static_cast<int>(y) / kWholeTwipsPerPixel;
        pixels_[static_cast<std::size_t>(row) * width_ + column] = pixel_of(colour);
        pointsPainted_ = true;
        // The points since the canvas was last drawn, as a bounding box.
        if (!painting_) [[unlikely]] {
            painting_ = true;
            paintedLeft_ = paintedRight_ = column;
            paintedTop_ = paintedBottom_ = row;
            requestFrame();
        }
        paintedLeft_ = column < paintedLeft_ ? column : paintedLeft_;
        paintedRight_ = column > paintedRight_ ? column : paintedRight_;
        paintedTop_ = row < paintedTop_ ? row : paintedTop_;
        paintedBottom_ = row > paintedBottom_ ? row : paintedBottom_;
    }

    void refresh() override;

    // The client area's size in pixels, as the window's frame leaves it.
    void setClientSize(int width, int height);
    // Recomposes everything when points were painted, else what changed.
    void recompose();
    // Puts on the canvas what it does not show yet.
    void present();
    // The layers changed within `pixels`.
    void invalidate(core::Rect pixels);
    void addPictureArea(const WebPictureArea* area) { areas_.push_back(area); }

private:
    static constexpr int kWholeTwipsPerPixel = static_cast<int>(kTwipsPerPixel);

    core::Argb backgroundPixel() const;
    void composeStale();
    void requestFrame();
    bool inside(float x, float y) const {
        return (x >= 0) & (y >= 0) & (x < widthTwips_) & (y < heightTwips_);
    }
    std::size_t index(float x, float y) const {
        return static_cast<std::size_t>(static_cast<int>(y) / kWholeTwipsPerPixel) * width_ +
               static_cast<std::size_t>(static_cast<int>(x) / kWholeTwipsPerPixel);
    }

    int window_;
    std::optional<int> colour_;
    core::Picture backgroundPicture_;
    std::vector<const WebPictureArea*> areas_;  // back to front
    std::shared_ptr<core::Argb[]> pixels_;
    int width_ = 0;
    int height_ = 0;
    float widthTwips_ = 0;
    float heightTwips_ = 0;
    core::Rect stale_;       // to compose again
    core::Rect unshown_;     // composed, not yet on the canvas
    bool pointsPainted_ = false;  // since the last whole compose
    bool painting_ = false;       // points painted not yet on the canvas
    int paintedLeft_ = 0, paintedTop_ = 0, paintedRight_ = 0, paintedBottom_ = 0;
    bool framePending_ = false;
    std::vector<std::uint32_t> rgba_;  // what goes to the canvas, red first
};

// A picture area: drawn by the surface, and standing in the DOM as an
// image for assistive technologies, which takes the pointer only when it
// drags the window.
class WebPictureArea final : public PictureArea {
public:
    WebPictureArea(WebSurface& surface, int window, int index, float left, float top, float width, float height);

    const core::Picture& picture() const override { return picture_; }
    void setPicture(const core::Picture& picture) override;
    float widthTwips() const override { return width_; }
    float heightTwips() const override { return height_; }
    void setSizeTwips(float width, float height) override;
    bool isVisible() const override { return visible_; }
    void setVisible(bool visible) override;
    void refresh() override;
    void setAccessibleName(const std::string& name) override;
    void setDragsWindow(bool drags) override;

    // Where it lies on the surface, in pixels.
    core::Rect place() const { return place_; }

private:
    void placeAgain();

    WebSurface& surface_;
    int window_;
    int index_;
    core::Picture picture_;
    float left_, top_, width_, height_;
    core::Rect place_;
    bool visible_ = true;
    bool drags_ = false;
};

class WebClickArea final : public ClickArea {
public:
    WebClickArea(int window, int index) : window_(window), index_(index) {}
    void setOnClick(std::function<void()> onClick) override { onClick_ = std::move(onClick); }
    void setAccessibleName(const std::string& name) override;
    void click() {
        if (onClick_)
            onClick_();
    }

private:
    int window_;
    int index_;
    std::function<void()> onClick_;
};

class WebWindow final : public Window {
public:
    WebWindow(const std::string& name, bool withMenuBar);
    ~WebWindow() override;
    WebWindow(const WebWindow&) = delete;
    WebWindow& operator=(const WebWindow&) = delete;

    float widthTwips() const override { return width_; }
    float heightTwips() const override { return height_; }
    void setSizeTwips(float width, float height) override;
    WebSurface& surface() override { return surface_; }
    void refresh() override;
    // In the middle of the browser's view of the page.
    void centre() override;
    // A page's windows are no windows of the system's: there is nothing to
    // hide from a taskbar.
    void makeNameless() override {}
    void setAccessibleName(const std::string& name) override;
    void show() override;
    // Settles when the window has closed; the page goes on meanwhile.
    Async<void> showModal() override;
    void close() override;
    void discard() override;
    void setCloseGuard(std::function<bool()> guard) override { closeGuard_ = std::move(guard); }
    // Once the browser has handled the events pending now.
    void post(std::function<void()> job) override;
    Menu& addMenu(const std::string& name, const std::string& caption) override;
    PictureArea& addPictureArea(const std::string& name, float left, float top, float width, float height) override;
    void addLabel(const std::string& name, float left, float top, float width, float height, const Font& font,
                  const std::string& text) override;
    ClickArea& addClickArea(const std::string& name, float left, float top, float width, float height) override;

    // An item of one of the window's menus, as the menu adds it.
    MenuItem& addItem(int menu, const std::string& name, const std::string& caption, const std::string& shortcut,
                      std::function<void()> run);

    // What page.js hands back: a click on a click area, a menu item picked
    // (by the pointer, its access key or its shortcut), an animation frame.
    void clicked(int area);
    void picked(int item);
    void frame() { surface_.present(); }

    // Every window there is, by number.
    static WebWindow* numbered(int number);
    // Puts on every window's canvas what its surface shows now.
    static void presentAll();

private:
    // Outer size in pixels, frame and menu bar included.
    core::Size pixelSize() const;
    // Placed again where the user left it (the page lets the user drag it).
    void applySize();
    void placeAt(int left, int top);

    int number_;
    WebSurface surface_;
    int menuBar_ = 0;  // pixels
    float width_ = 0;
    float height_ = 0;
    bool discarded_ = false;
    std::function<bool()> closeGuard_;
    std::optional<Async<void>::Settle> modal_;
    std::vector<std::unique_ptr<Menu>> menus_;
    std::vector<std::unique_ptr<MenuItem>> items_;
    std::vector<std::unique_ptr<WebPictureArea>> areas_;
    std::vector<std::unique_ptr<WebClickArea>> clickAreas_;
};

// Where a window at `window` goes to lie inside `area`: where it is when
// it lies inside already, else moved just enough; along a side
// where it is larger than the area, at the area's start.
core::Rect place_inside(core::Rect window, core::Rect area);

}  // namespace platform::web
