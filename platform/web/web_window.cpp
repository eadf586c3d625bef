#include "platform/web/web_window.h"

#include <emscripten/emscripten.h>

#include <algorithm>
#include <map>

#include "platform/web/bridge.h"

// page.js's side: see the functions of `seams` there.
EM_JS(void, page_make_window, (int window, const char* name, int withMenuBar), {
    Module.page.makeWindow(window, UTF8ToString(name), !!withMenuBar);
});
EM_JS(int, page_menu_bar_height, (int window), { return Module.page.menuBarHeight(window); });
EM_JS(void, page_place_window,
      (int window, int left, int top, int width, int height, int menuBar, int clientWidth, int clientHeight), {
    Module.page.placeWindow(window, left, top, width, height, menuBar, clientWidth, clientHeight);
});
// [left, top] of the window, where the user may have dragged it.
EM_JS(void, page_window_place, (int window, int* out), {
    HEAP32.set(Module.page.windowPlace(window), out >> 2);
});
// [width, height, left, top] of the part of the page the browser shows.
EM_JS(void, page_viewport, (int* out), { HEAP32.set(Module.page.viewport(), out >> 2); });
EM_JS(void, page_show_window, (int window, int shown), { Module.page.showWindow(window, !!shown); });
EM_JS(void, page_remove_window, (int window), { Module.page.removeWindow(window); });
EM_JS(int, page_window_colour, (int window), { return Module.page.windowColour(window); });
EM_JS(void, page_add_menu, (int window, int menu, const char* name, const char* caption), {
    Module.page.addMenu(window, menu, UTF8ToString(name), UTF8ToString(caption));
});
EM_JS(void, page_add_item,
      (int window, int menu, int item, const char* name, const char* caption, const char* shortcut), {
    Module.page.addItem(window, menu, item, UTF8ToString(name), UTF8ToString(caption), UTF8ToString(shortcut));
});
EM_JS(void, page_add_label,
      (int window, const char* name, int left, int top, int width, int height, const char* family, double points,
       int bold, const char* text), {
    Module.page.addLabel(window, UTF8ToString(name), left, top, width, height, UTF8ToString(family), points, !!bold,
                         UTF8ToString(text));
});
// kind 0: a picture area, 1: a click area
EM_JS(void, page_add_part, (int window, int kind, int index, const char* name), {
    Module.page.addPart(window, kind, index, UTF8ToString(name));
});
EM_JS(void, page_place_part,
      (int window, int kind, int index, int left, int top, int width, int height, int visible, int active), {
    Module.page.placePart(window, kind, index, left, top, width, height, !!visible, !!active);
});
// kind -1: the window itself
EM_JS(void, page_name, (int window, int kind, int index, const char* name), {
    Module.page.name(window, kind, index, UTF8ToString(name));
});
EM_JS(void, page_present, (int window, const void* rgba, int left, int top, int width, int height), {
    Module.page.present(window, rgba, left, top, width, height);
});
EM_JS(void, page_request_frame, (int window), { Module.page.requestFrame(window); });
EM_JS(void, page_post, (int job), { Module.page.post(job); });

namespace platform::web {
namespace {

constexpr int kPictureArea = 0;
constexpr int kClickArea = 1;

std::map<int, WebWindow*>& windows() {
    static std::map<int, WebWindow*> all;
    return all;
}

// Jobs posted to windows, run unless their window went first.
Waiting<>& posted() {
    static Waiting<> jobs;
    return jobs;
}

class WebMenuItem final : public MenuItem {
public:
    explicit WebMenuItem(std::function<void()> run) : run_(std::move(run)) {}
    void trigger() override { run_(); }

private:
    std::function<void()> run_;
};

class WebMenu final : public Menu {
public:
    WebMenu(WebWindow& window, int index) : window_(window), index_(index) {}
    MenuItem& addItem(const std::string& name, const std::string& caption, const std::string& shortcut,
                      std::function<void()> run) override {
        return window_.addItem(index_, name, caption, shortcut, std::move(run));
    }

private:
    WebWindow& window_;
    int index_;
};

core::Rect pixels_of(float left, float top, float width, float height) {
    return {to_pixels(left), to_pixels(top), std::max(0, to_pixels(width)), std::max(0, to_pixels(height))};
}

}  // namespace

core::Rect united(core::Rect a, core::Rect b) {
    if (is_empty(a))
        return b;
    if (is_empty(b))
        return a;
    const int left = std::min(a.left, b.left);
    const int top = std::min(a.top, b.top);
    return {left, top, std::max(a.left + a.width, b.left + b.width) - left,
            std::max(a.top + a.height, b.top + b.height) - top};
}

core::Rect intersected(core::Rect a, core::Rect b) {
    const int left = std::max(a.left, b.left);
    const int top = std::max(a.top, b.top);
    const int right = std::min(a.left + a.width, b.left + b.width);
    const int bottom = std::min(a.top + a.height, b.top + b.height);
    if (right <= left || bottom <= top)
        return {};
    return {left, top, right - left, bottom - top};
}

core::Rect place_inside(core::Rect window, core::Rect area) {
    const auto along = [](int start, int length, int areaStart, int areaLength) {
        return std::max(areaStart, std::min(start, areaStart + areaLength - length));
    };
    return {along(window.left, window.width, area.left, area.width),
            along(window.top, window.height, area.top, area.height), window.width, window.height};
}

// ---- The surface --------------------------------------------------------------

core::Argb WebSurface::backgroundPixel() const {
    return colour_ ? pixel_of(*colour_) : core::argb(0, 0, 0) | static_cast<core::Argb>(page_window_colour(window_));
}

void WebSurface::setBackgroundColour(std::optional<int> colour) {
    colour_ = colour;
    invalidate({0, 0, width_, height_});
}

void WebSurface::setBackgroundPicture(const core::Picture& picture) {
    const core::Rect changed =
        united({0, 0, backgroundPicture_.width(), backgroundPicture_.height()}, {0, 0, picture.width(), picture.height()});
    backgroundPicture_ = picture;
    invalidate(changed);
}

void WebSurface::setClientSize(int width, int height) {
    width = std::max(width, 0);
    height = std::max(height, 0);
    if (pixels_ && width == width_ && height == height_)
        return;
    // In the core's pixel memory, as a picture's, since a window may be as
    // large as one.
    pixels_ = core::allocate_pixels(static_cast<std::size_t>(width) * static_cast<std::size_t>(height) + 1);
    width_ = width;
    height_ = height;
    widthTwips_ = to_twips(width);
    heightTwips_ = to_twips(height);
    painting_ = false;
    pointsPainted_ = false;
    // The canvas was cleared with its new size.
    stale_ = {0, 0, width, height};
    unshown_ = stale_;
    requestFrame();
}

void WebSurface::invalidate(core::Rect pixels) {
    const core::Rect changed = intersected(pixels, {0, 0, width_, height_});
    if (is_empty(changed))
        return;
    stale_ = united(stale_, changed);
    requestFrame();
}

void WebSurface::refresh() {
    recompose();
    present();
}

void WebSurface::recompose() {
    if (pointsPainted_) {
        stale_ = {0, 0, width_, height_};
        pointsPainted_ = false;
    }
    composeStale();
}

void WebSurface::composeStale() {
    if (is_empty(stale_))
        return;
    std::vector<core::Layer> layers;
    if (!backgroundPicture_.isNull())
        layers.push_back({&backgroundPicture_, 0, 0, backgroundPicture_.size()});
    for (const WebPictureArea* area : areas_) {
        if (area->isVisible() && !area->picture().isNull()) {
            const core::Rect place = area->place();
            layers.push_back({&area->picture(), place.left, place.top, {place.width, place.height}});
        }
    }
    core::compose(pixels_.get(), width_, stale_, backgroundPixel(), layers);
    unshown_ = united(unshown_, stale_);
    stale_ = {};
}

void WebSurface::requestFrame() {
    if (framePending_)
        return;
    framePending_ = true;
    page_request_frame(window_);
}

void WebSurface::present() {
    framePending_ = false;
    composeStale();
    if (painting_) {
        unshown_ = united(unshown_, {paintedLeft_, paintedTop_, paintedRight_ - paintedLeft_ + 1,
                                     paintedBottom_ - paintedTop_ + 1});
        painting_ = false;
    }
    const core::Rect r = intersected(unshown_, {0, 0, width_, height_});
    unshown_ = {};
    if (is_empty(r))
        return;
    // The canvas takes red, green, blue and alpha bytes in that order; a
    // pixel holds them as 0xAARRGGBB, blue first in memory.
    rgba_.resize(static_cast<std::size_t>(r.width) * r.height);
    std::uint32_t* out = rgba_.data();
    for (int y = r.top; y < r.top + r.height; ++y) {
        const core::Argb* row = pixels_.get() + static_cast<std::size_t>(y) * width_ + r.left;
        for (int x = 0; x < r.width; ++x) {
            const core::Argb p = row[x];
            *out++ = (p & 0xFF00FF00u) | (p >> 16 & 0xFFu) | (p & 0xFFu) << 16;
        }
    }
    page_present(window_, rgba_.data(), r.left, r.top, r.width, r.height);
}

// ---- Picture areas and click areas ---------------------------------------------------

WebPictureArea::WebPictureArea(WebSurface& surface, int window, int index, float left, float top, float width,
                               float height)
    : surface_(surface), window_(window), index_(index), left_(left), top_(top), width_(width), height_(height) {
    surface.addPictureArea(this);
    placeAgain();
}

void WebPictureArea::placeAgain() {
    const core::Rect before = place_;
    place_ = pixels_of(left_, top_, width_, height_);
    surface_.invalidate(united(before, place_));
    page_place_part(window_, kPictureArea, index_, place_.left, place_.top, place_.width, place_.height, visible_,
                    drags_);
}

void WebPictureArea::setPicture(const core::Picture& picture) {
    picture_ = picture;
    if (!picture.isNull()) {
        width_ = to_twips(picture.width());
        height_ = to_twips(picture.height());
    }
    placeAgain();
}

void WebPictureArea::setSizeTwips(float width, float height) {
    width_ = width;
    height_ = height;
    placeAgain();
}

void WebPictureArea::setVisible(bool visible) {
    if (visible == visible_)
        return;
    visible_ = visible;
    placeAgain();
}

void WebPictureArea::refresh() {
    surface_.invalidate(place_);
    surface_.present();
}

void WebPictureArea::setAccessibleName(const std::string& name) { page_name(window_, kPictureArea, index_, name.c_str()); }

void WebPictureArea::setDragsWindow(bool drags) {
    drags_ = drags;
    page_place_part(window_, kPictureArea, index_, place_.left, place_.top, place_.width, place_.height, visible_,
                    drags_);
}

void WebClickArea::setAccessibleName(const std::string& name) { page_name(window_, kClickArea, index_, name.c_str()); }

// ---- The window -----------------------------------------------------------------------

WebWindow* WebWindow::numbered(int number) {
    const auto found = windows().find(number);
    return found == windows().end() ? nullptr : found->second;
}

void WebWindow::presentAll() {
    for (const auto& [number, window] : windows())
        window->frame();
}

namespace {
int next_window_number() {
    static int last = 0;
    return ++last;
}
}  // namespace

WebWindow::WebWindow(const std::string& name, bool withMenuBar)
    : number_(next_window_number()), surface_(number_) {
    windows().emplace(number_, this);
    page_make_window(number_, name.c_str(), withMenuBar);
    if (withMenuBar)
        menuBar_ = std::max(kMenuBarPixels, page_menu_bar_height(number_));
}

WebWindow::~WebWindow() {
    windows().erase(number_);
    if (!discarded_)
        page_remove_window(number_);
}

void WebWindow::setSizeTwips(float width, float height) {
    width_ = width;
    height_ = height;
    applySize();
}

core::Size WebWindow::pixelSize() const {
    return {std::max(to_pixels(width_), 2 * kFramePixels), std::max(to_pixels(height_), 2 * kFramePixels + menuBar_)};
}

void WebWindow::applySize() {
    int place[2];
    page_window_place(number_, place);
    placeAt(place[0], place[1]);
}

void WebWindow::placeAt(int left, int top) {
    const core::Size size = pixelSize();
    // A window that grows stays in the part of the page the browser shows,
    // where it fits; one larger than that starts at its top-left corner,
    // and the page scrolls.
    int view[4];
    page_viewport(view);
    const core::Rect kept = place_inside({left, top, size.width, size.height}, {view[2], view[3], view[0], view[1]});
    const int clientWidth = size.width - 2 * kFramePixels;
    const int clientHeight = size.height - 2 * kFramePixels - menuBar_;
    page_place_window(number_, kept.left, kept.top, size.width, size.height, menuBar_, clientWidth, clientHeight);
    // The canvas, cleared by a new size, shows the surface again by the
    // next frame the browser draws, unless a refresh comes first.
    surface_.setClientSize(clientWidth, clientHeight);
}

void WebWindow::refresh() {
    surface_.recompose();
    surface_.present();
}

void WebWindow::centre() {
    int view[4];
    page_viewport(view);
    const core::Size size = pixelSize();
    placeAt(view[2] + std::max(0, (view[0] - size.width) / 2), view[3] + std::max(0, (view[1] - size.height) / 2));
}

void WebWindow::setAccessibleName(const std::string& name) { page_name(number_, -1, 0, name.c_str()); }

void WebWindow::show() {
    if (discarded_)
        return;
    // Shown with what its surface shows, not with a canvas cleared by its
    // last resize.
    surface_.present();
    page_show_window(number_, true);
}

Async<void> WebWindow::showModal() {
    auto closed = Async<void>::later();
    const auto settle = closed.second;
    modal_ = settle;
    show();
    return closed.first;
}

void WebWindow::close() {
    if (discarded_ || (closeGuard_ && !closeGuard_()))
        return;
    page_show_window(number_, false);
    if (std::optional<Async<void>::Settle> modal = std::exchange(modal_, std::nullopt))
        (*modal)();
}

void WebWindow::discard() {
    close();
    if (discarded_)
        return;
    discarded_ = true;
    page_remove_window(number_);
}

void WebWindow::post(std::function<void()> job) {
    const int number = number_;
    page_post(posted().add([number, job = std::move(job)] {
        if (numbered(number))
            job();
    }));
}

Menu& WebWindow::addMenu(const std::string& name, const std::string& caption) {
    const int index = static_cast<int>(menus_.size());
    page_add_menu(number_, index, name.c_str(), caption.c_str());
    // The menu bar as tall as its captions in the page's font need.
    menuBar_ = std::max(kMenuBarPixels, page_menu_bar_height(number_));
    applySize();
    return *menus_.emplace_back(std::make_unique<WebMenu>(*this, index));
}

MenuItem& WebWindow::addItem(int menu, const std::string& name, const std::string& caption,
                             const std::string& shortcut, std::function<void()> run) {
    const int index = static_cast<int>(items_.size());
    page_add_item(number_, menu, index, name.c_str(), caption.c_str(), shortcut.c_str());
    return *items_.emplace_back(std::make_unique<WebMenuItem>(std::move(run)));
}

PictureArea& WebWindow::addPictureArea(const std::string& name, float left, float top, float width, float height) {
    const int index = static_cast<int>(areas_.size());
    page_add_part(number_, kPictureArea, index, name.c_str());
    return *areas_.emplace_back(std::make_unique<WebPictureArea>(surface_, number_, index, left, top, width, height));
}

void WebWindow::addLabel(const std::string& name, float left, float top, float width, float height, const Font& font,
                         const std::string& text) {
    const core::Rect place = pixels_of(left, top, width, height);
    page_add_label(number_, name.c_str(), place.left, place.top, place.width, place.height, font.family.c_str(),
                   font.points, font.bold, text.c_str());
}

ClickArea& WebWindow::addClickArea(const std::string& name, float left, float top, float width, float height) {
    const int index = static_cast<int>(clickAreas_.size());
    page_add_part(number_, kClickArea, index, name.c_str());
    const core::Rect place = pixels_of(left, top, width, height);
    page_place_part(number_, kClickArea, index, place.left, place.top, place.width, place.height, true, true);
    return *clickAreas_.emplace_back(std::make_unique<WebClickArea>(number_, index));
}

void WebWindow::clicked(int area) {
    if (area >= 0 && area < static_cast<int>(clickAreas_.size()))
        clickAreas_[area]->click();
}

void WebWindow::picked(int item) {
    if (item >= 0 && item < static_cast<int>(items_.size()))
        items_[item]->trigger();
}

}  // namespace platform::web

using platform::web::WebWindow;

extern "C" {

EMSCRIPTEN_KEEPALIVE void zft_web_click(int window, int area) {
    if (WebWindow* w = WebWindow::numbered(window); w && !platform::web::program_ended())
        w->clicked(area);
}

EMSCRIPTEN_KEEPALIVE void zft_web_menu_item(int window, int item) {
    if (WebWindow* w = WebWindow::numbered(window); w && !platform::web::program_ended())
        w->picked(item);
}

EMSCRIPTEN_KEEPALIVE void zft_web_frame(int window) {
    if (WebWindow* w = WebWindow::numbered(window); w && !platform::web::program_ended())
        w->frame();
}

EMSCRIPTEN_KEEPALIVE void zft_web_run(int job) {
    if (!platform::web::program_ended())
        platform::web::posted().take(job);
}

}  // extern "C"
