#include "platform/qt/form.h"

#include <QAction>
#include <QCloseEvent>
#include <QEventLoop>
#include <QGuiApplication>
#include <QIcon>
#include <QKeySequence>
#include <QMenuBar>
#include <QPainter>
#include <QScreen>
#include <algorithm>
#include <cstdlib>
#include <xcb/xcb.h>

#include "platform/qt/accessible.h"
#include "platform/qt/click_area.h"
#include "platform/qt/label.h"
#include "platform/qt/picture_area.h"

namespace platform::qt {
namespace {

class FormMenuItem final : public MenuItem {
public:
    explicit FormMenuItem(QAction* action) : action_(action) {}
    void trigger() override { action_->trigger(); }

private:
    QAction* action_;
};

class FormMenu final : public Menu {
public:
    FormMenu(Form& form, QMenu* menu) : form_(form), menu_(menu) {}
    MenuItem& addItem(const std::string& name, const std::string& caption, const std::string& shortcut,
                      std::function<void()> run) override {
        return form_.addItem(menu_, name, caption, shortcut, std::move(run));
    }

private:
    Form& form_;
    QMenu* menu_;
};

}  // namespace

Form::Form(const std::string& name, bool withMenuBar) : QWidget(nullptr, Qt::Window | Qt::FramelessWindowHint) {
    install_accessibility();
    setObjectName(QString::fromStdString(name));
    if (withMenuBar) {
        menuBar_ = new QMenuBar(this);
        menuBar_->setObjectName(QStringLiteral("menubar"));
        menuBar_->setNativeMenuBar(false);
    }
    surface_ = new DrawingSurface(this);
    // The surface paints itself whole: the window fills only the rest
    // (paintEvent), not a window's worth of background first.
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void Form::setSizeTwips(float width, float height) {
    width_ = width;
    height_ = height;
    applySize();
}

int Form::menuBarPixels() const {
    return menuBar_ ? std::max(kMenuBarPixels, menuBar_->sizeHint().height()) : 0;
}

void Form::applySize() {
    const int w = std::max(to_pixels(width_), 2 * kFramePixels);
    const int menu = menuBarPixels();
    appliedMenuBar_ = menu;
    const int h = std::max(to_pixels(height_), 2 * kFramePixels + menu);
    setFixedSize(w, h);
    if (menuBar_)
        menuBar_->setGeometry(kFramePixels, kFramePixels, w - 2 * kFramePixels, menu);
    surface_->move(kFramePixels, kFramePixels + menu);
    surface_->setClientSize(QSize(w - 2 * kFramePixels, h - 2 * kFramePixels - menu));
    keepInsideScreen();
}

void Form::keepInsideScreen() {
    // The window has no title bar: grown past the screen's edge, it could
    // not be dragged back by one. Where the window system places windows
    // itself (Wayland), the move is only asked for and changes nothing.
    const QScreen* screen = this->screen();
    if (!screen)
        return;
    const QRect frame = frameGeometry();
    const QPoint place = place_inside(frame, screen->availableGeometry());
    if (place != frame.topLeft())
        move(place);
}

QPoint place_inside(const QRect& window, const QRect& area) {
    const auto along = [](int start, int length, int areaStart, int areaLength) {
        return std::max(areaStart, std::min(start, areaStart + areaLength - length));
    };
    return {along(window.x(), window.width(), area.x(), area.width()),
            along(window.y(), window.height(), area.y(), area.height())};
}

void Form::refresh() {
    // The window's repaint paints the surface with it, once.
    surface_->recompose();
    if (surface_->unpainted())
        repaint();
}

void Form::centre() {
    QScreen* screen = this->screen() ? this->screen() : QGuiApplication::primaryScreen();
    if (!screen)
        return;
    QRect placed(QPoint(0, 0), size());
    placed.moveCenter(screen->geometry().center());
    move(placed.topLeft());
    keepInsideScreen();
}

void Form::makeNameless() {
    setWindowIcon(QIcon());
    // Creates the window system's window, so that its name can be replaced.
    const WId id = winId();
    auto* x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
    // Other platforms may answer for X11 without a connection of their own.
    xcb_connection_t* connection = x11 && QGuiApplication::platformName() == QLatin1String("xcb") ? x11->connection() : nullptr;
    if (connection) {
        const char kName[] = "_NET_WM_NAME";
        const char kUtf8[] = "UTF8_STRING";
        const xcb_intern_atom_cookie_t name = xcb_intern_atom(connection, 0, sizeof kName - 1, kName);
        const xcb_intern_atom_cookie_t utf8 = xcb_intern_atom(connection, 0, sizeof kUtf8 - 1, kUtf8);
        xcb_intern_atom_reply_t* nameReply = xcb_intern_atom_reply(connection, name, nullptr);
        xcb_intern_atom_reply_t* utf8Reply = xcb_intern_atom_reply(connection, utf8, nullptr);
        if (nameReply && utf8Reply) {
            xcb_change_property(connection, XCB_PROP_MODE_REPLACE, static_cast<xcb_window_t>(id), nameReply->atom,
                                utf8Reply->atom, 8, 0, nullptr);
            xcb_change_property(connection, XCB_PROP_MODE_REPLACE, static_cast<xcb_window_t>(id), XCB_ATOM_WM_NAME,
                                XCB_ATOM_STRING, 8, 0, nullptr);
            xcb_flush(connection);
        }
        std::free(nameReply);
        std::free(utf8Reply);
    }
}

void Form::setAccessibleName(const std::string& name) { QWidget::setAccessibleName(QString::fromStdString(name)); }

Async<void> Form::showModal() {
    setWindowModality(Qt::ApplicationModal);
    QEventLoop loop;
    modalLoop_ = &loop;
    show();
    activateWindow();
    loop.exec(QEventLoop::DialogExec);
    modalLoop_ = nullptr;
    return Async<void>::ready();
}

void Form::post(std::function<void()> job) {
    QMetaObject::invokeMethod(this, std::move(job), Qt::QueuedConnection);
}

void Form::discard() {
    close();
    if (isVisible())
        return;
    // Not to be called from inside one of the window's own events.
    destroy();
}

Menu& Form::addMenu(const std::string& name, const std::string& caption) {
    QMenu* menu = menuBar_->addMenu(QString::fromStdString(caption));
    menu->setObjectName(QString::fromStdString(name));
    menu->menuAction()->setObjectName(QString::fromStdString(name));
    applySize();
    return *menus_.emplace_back(std::make_unique<FormMenu>(*this, menu));
}

MenuItem& Form::addItem(QMenu* menu, const std::string& name, const std::string& caption, const std::string& shortcut,
                        std::function<void()> run) {
    QAction* action = menu->addAction(QString::fromStdString(caption));
    action->setObjectName(QString::fromStdString(name));
    if (!shortcut.empty()) {
        action->setShortcut(QKeySequence(QString::fromStdString(shortcut), QKeySequence::PortableText));
        // The shortcut works from anywhere in the window, menu open or not:
        // an open menu is a window of its own, which a window-wide shortcut
        // would not reach. A modal box over the window still blocks it.
        action->setShortcutContext(Qt::ApplicationShortcut);
        addAction(action);
    }
    connect(action, &QAction::triggered, this, [run = std::move(run)] { run(); });
    return *items_.emplace_back(std::make_unique<FormMenuItem>(action));
}

PictureArea& Form::addPictureArea(const std::string& name, float left, float top, float width, float height) {
    return *new PictureAreaWidget(surface_, QString::fromStdString(name), left, top, width, height);
}

void Form::addLabel(const std::string& name, float left, float top, float width, float height, const Font& font,
                    const std::string& text) {
    new Label(surface_, QString::fromStdString(name), left, top, width, height,
              font_named(QString::fromStdString(font.family), font.points, font.bold), QString::fromStdString(text));
}

ClickArea& Form::addClickArea(const std::string& name, float left, float top, float width, float height) {
    return *new ClickAreaWidget(surface_, QString::fromStdString(name), left, top, width, height);
}

bool Form::event(QEvent* event) {
    // The menu bar asks again for room when its font or style changes.
    if (event->type() == QEvent::LayoutRequest && menuBarPixels() != appliedMenuBar_)
        applySize();
    return QWidget::event(event);
}

void Form::changeEvent(QEvent* event) {
    if ((event->type() == QEvent::FontChange || event->type() == QEvent::StyleChange) &&
        menuBarPixels() != appliedMenuBar_)
        applySize();
    QWidget::changeEvent(event);
}

void Form::paintEvent(QPaintEvent* event) {
    QPainter painter(this);
    painter.setClipRegion(event->region() - surface_->geometry());
    painter.fillRect(rect(), palette().window());
    painter.setPen(palette().color(QPalette::Shadow));
    painter.drawRect(rect().adjusted(0, 0, -1, -1));
}

void Form::closeEvent(QCloseEvent* event) {
    if (closeGuard_ && !closeGuard_()) {
        event->ignore();
        return;
    }
    event->accept();
    if (modalLoop_)
        modalLoop_->quit();
}

}  // namespace platform::qt
