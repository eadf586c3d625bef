// A line of text on a window's drawing surface: left-aligned, without a
// frame, in the platform's standard text colour, over whatever the surface
// shows behind it. Position and size in twips, relative to the surface.
#pragma once

#include <QFont>
#include <QLabel>

namespace platform::qt {

class DrawingSurface;

// A font asked for by name. Where the family is missing, as "MS Sans Serif"
// is on most Linux desktops, the system's own sans-serif font stands in.
QFont font_named(const QString& family, qreal points, bool bold);

class Label : public QLabel {
public:
    Label(DrawingSurface* surface, const QString& name, float left, float top, float width, float height,
          const QFont& font, const QString& text);
};

}  // namespace platform::qt
