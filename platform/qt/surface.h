// The drawing surface of a window: its client area below the menu bar, in
// twips from the top-left corner.
//
// What the surface shows is composed off-screen, into one image the size of
// the client area: the background colour, then the background picture at
// (0, 0), then the visible picture areas, then the points painted on it. The
// widget only copies that image to the screen, so reading a point gives
// exactly what the window shows there whatever the real screen is, and costs
// an array access.
//
// Painted points live in the composed image. They go where the layers below
// change (a new picture, a picture area moved, shown or hidden) and
// everywhere on refresh(); a window that covered the surface and went away
// again takes nothing with it.
#pragma once

#include <QImage>
#include <QRegion>
#include <QWidget>
#include <memory>
#include <optional>
#include <vector>

#include "core/picture.h"
#include "platform/units.h"
#include "platform/window.h"

namespace platform::qt {

class PictureAreaWidget;

class DrawingSurface final : public QWidget, public Surface {
public:
    explicit DrawingSurface(QWidget* parent);

    // Where no picture covers the surface it shows the palette's window
    // colour (QPalette::Window) as it is when the surface is drawn, so the
    // desktop's light or dark theme shows through; a colour given here
    // replaces it, nullopt gives it back.
    void setBackgroundColour(std::optional<int> colour) override;
    int backgroundColour() const override { return colour_value(backgroundPixel()); }

    // Drawn at its natural size from the top-left corner; the empty picture
    // removes it.
    void setBackgroundPicture(const core::Picture& picture) override;

    // The client area's size in pixels, as the window's frame leaves it.
    void setClientSize(QSize pixels);

    // The colour value shown at (x, y) twips; -1 outside the surface.
    int readPixel(float x, float y) override {
        if (anyStale_) [[unlikely]]
            composeStale();
        if (!inside(x, y)) [[unlikely]]
            return -1;
        return colour_value(reinterpret_cast<const core::Argb*>(bits_ + row(y))[column(x)]);
    }

    // Paints the one screen pixel at (x, y) twips; outside the surface nothing.
    void setPixel(float x, float y, int colour) override {
        if (anyStale_) [[unlikely]]
            composeStale();
        if (!inside(x, y)) [[unlikely]]
            return;
        reinterpret_cast<core::Argb*>(bits_ + row(y))[column(x)] = pixel_of(colour);
        pointsPainted_ = true;
        if (!paintPending_) {
            paintPending_ = true;
            update();
        }
    }

    // Recomposes everything, dropping painted points, and repaints at once.
    // With no point painted and nothing changed, what is composed stands.
    void refresh() override;

    // The same without the repaint, for a window that repaints the surface
    // along with itself.
    void recompose();

    // Whether the surface holds anything not yet painted on the screen.
    bool unpainted() const { return unpainted_ || paintPending_; }

    // For picture areas: the layers changed within `pixels`.
    void invalidate(const QRect& pixels);
    void addPictureArea(PictureAreaWidget* area) { areas_.push_back(area); }

protected:
    void changeEvent(QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    core::Argb backgroundPixel() const {
        return backgroundColour_ ? pixel_of(*backgroundColour_) : palette().color(QPalette::Window).rgb();
    }
    void composeStale();

    // The pixel a point falls in, in integers: for a point inside the
    // surface floor(x / 15) is the whole twips divided by 15, and a million
    // reads then cost no float division or floor each.
    static constexpr int kWholeTwipsPerPixel = static_cast<int>(kTwipsPerPixel);
    // All four sides at once, with no branch each: a point is nearly always inside.
    bool inside(float x, float y) const {
        return (x >= 0) & (y >= 0) & (x < widthTwips_) & (y < heightTwips_);
    }
    static int column(float x) { return static_cast<int>(x) / kWholeTwipsPerPixel; }
    qsizetype row(float y) const { return static_cast<int>(y) / kWholeTwipsPerPixel * bytesPerLine_; }

    std::optional<int> backgroundColour_;  // none: the palette's
    core::Picture backgroundPicture_;
    std::vector<PictureAreaWidget*> areas_;  // back to front
    QImage composed_;  // over composedMemory_
    std::shared_ptr<core::Argb[]> composedMemory_;
    uchar* bits_ = nullptr;
    qsizetype bytesPerLine_ = 0;
    int width_ = 0;
    int height_ = 0;
    float widthTwips_ = 0;  // 15 · width_, exact for any size a window can have
    float heightTwips_ = 0;
    QRegion stale_;
    bool anyStale_ = false;  // !stale_.isEmpty(), cheap enough to ask per point
    bool paintPending_ = false;
    bool pointsPainted_ = false;  // since the last whole compose
    bool unpainted_ = true;       // composed since the last paint
};

}  // namespace platform::qt
