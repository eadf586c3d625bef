#include "platform/qt/click_area.h"

#include <QApplication>
#include <QMouseEvent>
#include <QStyleHints>
#include <QTimer>

#include "platform/qt/surface.h"
#include "platform/units.h"

namespace platform::qt {

ClickAreaWidget::ClickAreaWidget(DrawingSurface* surface, const QString& name, float left, float top, float width, float height)
    : QWidget(surface) {
    setObjectName(name);
    setAttribute(Qt::WA_NoSystemBackground);
    setGeometry(to_pixels(left), to_pixels(top), to_pixels(width), to_pixels(height));
    raise();
}

namespace {

// Swallows the second half of a double click whose first click was taken.
// The click may close its window and open another under the pointer, and
// that window must not take the second press as a click of its own.
class SecondClickSwallower : public QObject {
public:
    // `click` is the release that ended the first click.
    explicit SecondClickSwallower(const QMouseEvent& click)
        : where_(click.globalPosition()), releasedAt_(click.timestamp()) {
        qApp->installEventFilter(this);
        // The events' own times decide; this only takes the filter away
        // when no second click comes. The click's command may keep the
        // program from handling events for a while, so it is generous.
        QTimer::singleShot(10 * QGuiApplication::styleHints()->mouseDoubleClickInterval(), this, [this] {
            if (!swallowing_)
                finish();
        });
    }

    void finish() {
        done_ = true;
        deleteLater();
    }

protected:
    bool eventFilter(QObject*, QEvent* event) override {
        const QEvent::Type type = event->type();
        if (done_ || (type != QEvent::MouseButtonPress && type != QEvent::MouseButtonDblClick &&
                      type != QEvent::MouseButtonRelease))
            return false;
        const auto* mouse = static_cast<QMouseEvent*>(event);
        if (!swallowing_) {
            const QPointF moved = mouse->globalPosition() - where_;
            const QStyleHints* hints = QGuiApplication::styleHints();
            const int distance = hints->mouseDoubleClickDistance();
            swallowing_ = type == QEvent::MouseButtonPress && mouse->button() == Qt::LeftButton &&
                          mouse->timestamp() - releasedAt_ <= ulong(hints->mouseDoubleClickInterval()) &&
                          qAbs(moved.x()) <= distance && qAbs(moved.y()) <= distance;
            if (!swallowing_)
                finish();
            return swallowing_;
        }
        if (type == QEvent::MouseButtonRelease && mouse->button() == Qt::LeftButton)
            finish();
        return true;
    }

private:
    QPointF where_;
    ulong releasedAt_;
    bool swallowing_ = false;
    bool done_ = false;
};

}  // namespace

void ClickAreaWidget::mousePressEvent(QMouseEvent* event) {
    pressed_ = event->button() == Qt::LeftButton;
}

void ClickAreaWidget::mouseReleaseEvent(QMouseEvent* event) {
    // A press that wandered off the area before its release is no click.
    const bool click = pressed_ && event->button() == Qt::LeftButton && rect().contains(event->position().toPoint());
    pressed_ = false;
    if (click && onClick_) {
        new SecondClickSwallower(*event);
        this->click();
    }
}

void ClickAreaWidget::click() {
    QMetaObject::invokeMethod(
        this,
        [this] {
            if (onClick_)
                onClick_();
        },
        Qt::QueuedConnection);
}

}  // namespace platform::qt
