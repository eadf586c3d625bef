#include "platform/qt/label.h"

#include "platform/qt/surface.h"
#include "platform/units.h"

namespace platform::qt {

QFont font_named(const QString& family, qreal points, bool bold) {
    QFont font(family);
    font.setStyleHint(QFont::SansSerif);
    font.setPointSizeF(points);
    font.setBold(bold);
    return font;
}

Label::Label(DrawingSurface* surface, const QString& name, float left, float top, float width, float height,
             const QFont& font, const QString& text)
    : QLabel(text, surface) {
    setObjectName(name);
    setFont(font);
    setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    setFrameShape(QFrame::NoFrame);
    setAutoFillBackground(false);
    setTextFormat(Qt::PlainText);
    setGeometry(to_pixels(left), to_pixels(top), to_pixels(width), to_pixels(height));
}

}  // namespace platform::qt
