#include "platform/label.h"

#include "platform/surface.h"
#include "platform/twips.h"

namespace platform {

QFont fontNamed(const QString& family, qreal points, bool bold) {
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
    setGeometry(toPixels(left), toPixels(top), toPixels(width), toPixels(height));
}

}  // namespace platform
