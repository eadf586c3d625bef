#include <QAccessible>
#include <QMenuBar>
#include <QScreen>
#include <QToolButton>
#include <QtTest>

#include "core/decoding.h"
#include "shell/commands.h"
#include "shell/mainscreen.h"
#include "tests/support/event_loop.h"
#include "tests/support/scripted_prompts.h"
#include "tests/support/session.h"

using platform::Answer;
using platform::MessageStyle;
using testing::exit_status_after;
using testing::shown_on_screen;
using testing::Shown;

namespace {

const QString kQuit = QStringLiteral("Are you sure you want to quit ZFT Toolkit ?");

// Shows the window, not modal, with the keyboard.
bool showActive(shell::MainScreen& w) {
    w.window.show();
    w.window.activateWindow();
    return QTest::qWaitForWindowActive(&w.window);
}

}  // namespace

class MainScreenTest : public QObject {
    Q_OBJECT
private slots:
    void opensAroundTheLogo();
    void showsCentredAndModalUntilClosed();
    void menu_data();
    void menu();
    void menuBarShowsItsMenus_data();
    void menuBarShowsItsMenus();
    void accessKeysReachTheCommands_data();
    void accessKeysReachTheCommands();
    void f1OpensAboutFromAnywhere_data();
    void f1OpensAboutFromAnywhere();
    void aboutBox();
    void exitNoLeavesEverything();
    void exitYesEndsWithStatusZero();
    void closeAsksNothingAndWaitsForARunningCommand();
    void backupNeverShown();
    void fitKeepsTheWindowOnItsScreen();
    void beeldDragsTheWindow();
};

void MainScreenTest::opensAroundTheLogo() {
    testing::ScriptedPrompts prompts;
    shell::MainScreen w(prompts);
    shell::load_mainscreen(w);

    QCOMPARE(w.window.widthTwips(), 3915.0f);
    QCOMPARE(w.window.heightTwips(), 3450.0f);
    QCOMPARE(w.window.size(), QSize(261, 230));
    QCOMPARE(w.beeld->widthTwips(), 3750.0f);
    QCOMPARE(w.beeld->heightTwips(), 3000.0f);

    // The logo's top-left pixel at (60, 60) twips, the surface's background
    // just above and to the left of it.
    const QImage logo(QStringLiteral(":/assets/logo.jpg"));
    QCOMPARE(logo.size(), QSize(250, 200));
    const QImage shown = shown_on_screen(*w.window.surface());
    QCOMPARE(shown.copy(4, 4, 250, 200).convertToFormat(QImage::Format_RGB32), logo.convertToFormat(QImage::Format_RGB32));
    platform::DrawingSurface& surface = *w.window.surface();
    QCOMPARE(surface.readPixel(60, 60), platform::colour_value(logo.pixel(0, 0)));
    QCOMPARE(surface.readPixel(3794, 3059), platform::colour_value(logo.pixel(249, 199)));
    const int background = platform::colour_value(surface.backgroundColour().rgb());
    QCOMPARE(surface.readPixel(59, 60), background);
    QCOMPARE(surface.readPixel(60, 59), background);
    QVERIFY(!w.window.windowIcon().isNull());

    // As assistive technologies see it: a window without a title bar, named.
    QAccessibleInterface* window = QAccessible::queryAccessibleInterface(&w.window);
    QCOMPARE(window->role(), QAccessible::Window);
    QCOMPARE(window->text(QAccessible::Name), QStringLiteral("ZFT Toolkit"));
    QAccessibleInterface* beeld = QAccessible::queryAccessibleInterface(w.beeld);
    QCOMPARE(beeld->role(), QAccessible::Graphic);
    QCOMPARE(beeld->text(QAccessible::Name), QStringLiteral("logo"));
}

void MainScreenTest::showsCentredAndModalUntilClosed() {
    testing::ScriptedPrompts prompts;
    shell::MainScreen w(prompts);
    bool checked = false;
    QMetaObject::invokeMethod(
        qApp,
        [&] {
            QVERIFY(w.window.isVisible());
            QCOMPARE(QApplication::activeModalWidget(), &w.window);
            QCOMPARE(w.window.size(), QSize(261, 230));
            const QPoint offCentre = w.window.frameGeometry().center() - w.window.screen()->geometry().center();
            QVERIFY2(offCentre.manhattanLength() <= 2, qPrintable(QStringLiteral("%1, %2").arg(offCentre.x()).arg(offCentre.y())));
            checked = true;
            w.window.close();
        },
        Qt::QueuedConnection);
    shell::show_mainscreen(w);
    QVERIFY(checked);
    QVERIFY(!w.window.isVisible());
    QVERIFY(prompts.shown.empty());
}

void MainScreenTest::menu_data() {
    QTest::addColumn<QString>("menu");
    QTest::addColumn<QString>("menuCaption");
    QTest::addColumn<int>("position");
    QTest::addColumn<QString>("item");
    QTest::addColumn<QString>("caption");
    QTest::addColumn<QKeySequence>("shortcut");
    QTest::newRow("preview") << "bestand" << "&File" << 0 << "preview_zft_file" << "&Preview ZFT-file" << QKeySequence();
    QTest::newRow("convert") << "bestand" << "&File" << 1 << "convert_jpg_gif_bmp_file" << "&Convert JPG/GIF/BMP file"
                             << QKeySequence();
    QTest::newRow("exit") << "bestand" << "&File" << 2 << "exit_zft_toolkit" << "&Exit ZFT toolkit" << QKeySequence();
    QTest::newRow("about") << "hulp" << "&Help" << 0 << "about_zft_toolkit" << "&About ZFT toolkit ..."
                           << QKeySequence(Qt::Key_F1);
}

void MainScreenTest::menu() {
    QFETCH(QString, menu);
    QFETCH(QString, menuCaption);
    QFETCH(int, position);
    QFETCH(QString, item);
    QFETCH(QString, caption);
    QFETCH(QKeySequence, shortcut);

    testing::ScriptedPrompts prompts;
    shell::MainScreen w(prompts);
    auto* bar = w.window.findChild<QMenuBar*>();
    QVERIFY(bar);
    QStringList menus;
    for (QAction* action : bar->actions())
        menus << action->objectName();
    QCOMPARE(menus, QStringList({"bestand", "hulp"}));

    auto* found = w.window.findChild<QMenu*>(menu);
    QVERIFY(found);
    QCOMPARE(found->title(), menuCaption);
    const QList<QAction*> items = found->actions();
    QCOMPARE(items.size(), menu == "bestand" ? 3 : 1);
    QAction* action = items.at(position);
    QCOMPARE(action->objectName(), item);
    QCOMPARE(action->text(), caption);
    QCOMPARE(action->shortcut(), shortcut);
}

void MainScreenTest::menuBarShowsItsMenus_data() {
    QTest::addColumn<qreal>("points");  // of the application's font
    QTest::addColumn<bool>("changedWhileShown");
    QTest::newRow("Qt's own font, 9 points") << 9.0 << false;
    QTest::newRow("GTK's, 10 points") << 10.0 << false;
    QTest::newRow("16 points") << 16.0 << false;
    QTest::newRow("16 points, set while shown") << 16.0 << true;
}

// A bar held lower than its font needs shows no menu, only its extension
// button. The window keeps its size: the surface gives up the room.
void MainScreenTest::menuBarShowsItsMenus() {
    QFETCH(qreal, points);
    QFETCH(bool, changedWhileShown);
    const QFont original = QApplication::font();
    QFont font = original;
    font.setPointSizeF(points);
    if (!changedWhileShown)
        QApplication::setFont(font);
    testing::ScriptedPrompts prompts;
    shell::MainScreen w(prompts);
    shell::load_mainscreen(w);
    w.window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w.window));
    if (changedWhileShown)
        QApplication::setFont(font);
    QCoreApplication::processEvents();

    auto* bar = w.window.findChild<QMenuBar*>();
    const int height = bar->height();
    QApplication::setFont(original);
    QCOMPARE(height, std::max(19, bar->sizeHint().height()));
    QCOMPARE(w.window.size(), QSize(261, 230));
    QCOMPARE(w.window.surface()->geometry(), QRect(1, 1 + height, 259, 230 - 2 - height));
    auto* more = bar->findChild<QToolButton*>(QStringLiteral("qt_menubar_ext_button"));
    QVERIFY(!more || !more->isVisible());
    for (QAction* menu : bar->actions())
        QVERIFY(bar->rect().contains(bar->actionGeometry(menu)));
}

void MainScreenTest::accessKeysReachTheCommands_data() {
    QTest::addColumn<int>("key");
    QTest::addColumn<QString>("firstPrompt");
    QTest::newRow("Alt+F, P") << int(Qt::Key_P) << "Select a file to preview ...";
    QTest::newRow("Alt+F, C") << int(Qt::Key_C) << "Select a file to convert ...";
    QTest::newRow("Alt+F, E") << int(Qt::Key_E) << "ZFT Toolkit - SP1";
}

void MainScreenTest::accessKeysReachTheCommands() {
    QFETCH(int, key);
    QFETCH(QString, firstPrompt);

    testing::ScriptedPrompts prompts;
    if (key == Qt::Key_E)
        prompts.button(Answer::No);
    else
        prompts.file(std::nullopt);
    shell::MainScreen w(prompts);
    shell::load_mainscreen(w);
    QVERIFY(showActive(w));
    auto* file = w.window.findChild<QMenu*>(QStringLiteral("bestand"));

    QTest::keyClick(&w.window, Qt::Key_F, Qt::AltModifier);
    QTRY_VERIFY_WITH_TIMEOUT(file->isVisible(), 5000);
    QTest::keyClick(file, Qt::Key(key));
    QTRY_COMPARE_WITH_TIMEOUT(prompts.shown.size(), size_t(1), 5000);
    QCOMPARE(prompts.shown.front().title, firstPrompt);
    QVERIFY(prompts.unexpected.isEmpty());
    QVERIFY(w.window.isVisible());
}

void MainScreenTest::f1OpensAboutFromAnywhere_data() {
    QTest::addColumn<QString>("focus");
    QTest::newRow("drawing surface") << "surface";
    QTest::newRow("menu bar") << "menubar";
    QTest::newRow("open File menu") << "bestand";
}

void MainScreenTest::f1OpensAboutFromAnywhere() {
    QFETCH(QString, focus);

    testing::ScriptedPrompts prompts;
    prompts.button(Answer::Ok);
    shell::MainScreen w(prompts);
    shell::load_mainscreen(w);
    QVERIFY(showActive(w));
    QWidget* target = w.window.findChild<QWidget*>(focus);
    QVERIFY(target);
    if (auto* menu = qobject_cast<QMenu*>(target)) {
        QTest::keyClick(&w.window, Qt::Key_F, Qt::AltModifier);
        QTRY_VERIFY_WITH_TIMEOUT(menu->isVisible(), 5000);
    } else {
        target->setFocus();
    }

    QTest::keyClick(target, Qt::Key_F1);
    QTRY_COMPARE_WITH_TIMEOUT(prompts.shown.size(), size_t(1), 5000);
    QCOMPARE(prompts.shown.front().style, MessageStyle::Information);
    QCOMPARE(prompts.shown.front().title, QStringLiteral("ZFT Toolkit - SP1"));
}

void MainScreenTest::aboutBox() {
    testing::ScriptedPrompts prompts;
    prompts.button(Answer::Ok);
    shell::MainScreen w(prompts);
    shell::load_mainscreen(w);
    const QImage before = shown_on_screen(*w.window.surface());

    w.about_zft_toolkit->trigger();

    QCOMPARE(prompts.shown.size(), size_t(1));
    const Shown& box = prompts.shown.front();
    QCOMPARE(box.kind, Shown::Kind::MessageBox);
    QCOMPARE(box.style, MessageStyle::Information);
    QCOMPARE(box.title, QStringLiteral("ZFT Toolkit - SP1"));
    // Two lines joined by CR LF: who made it, and where to write.
    const QStringList lines = box.text.split(QStringLiteral("\r\n"));
    QCOMPARE(lines.size(), 2);
    for (const QString& line : lines) {
        QVERIFY(!line.trimmed().isEmpty());
        QVERIFY(!line.contains(QLatin1Char('\r')) && !line.contains(QLatin1Char('\n')));
    }
    QCOMPARE(shown_on_screen(*w.window.surface()), before);
    QCOMPARE(w.window.size(), QSize(261, 230));
}

void MainScreenTest::exitNoLeavesEverything() {
    testing::ScriptedPrompts prompts;
    prompts.button(Answer::No);
    shell::MainScreen w(prompts);
    shell::load_mainscreen(w);
    QVERIFY(showActive(w));
    // Points painted as a preview paints them, over the logo and beside it.
    platform::DrawingSurface& surface = *w.window.surface();
    const int colours[] = {0x1a0a0d, 0x000000, 0xffffff, 0x030201};
    for (int i = 0; i < 4; ++i) {
        surface.setPixel(60 + 15 * i, 60, colours[i]);
        surface.setPixel(3810 + 15 * i, 3075, colours[i]);
    }
    const QImage before = shown_on_screen(surface);
    const core::Picture logoBefore = w.beeld->picture();

    w.exit_zft_toolkit->trigger();
    QCoreApplication::processEvents();

    QCOMPARE(prompts.shown.size(), size_t(1));
    QCOMPARE(prompts.shown.front().text, kQuit);
    QCOMPARE(prompts.shown.front().style, MessageStyle::Question);
    QCOMPARE(prompts.shown.front().title, QStringLiteral("ZFT Toolkit - SP1"));
    QVERIFY(w.window.isVisible());
    QCOMPARE(w.window.size(), QSize(261, 230));
    QCOMPARE(w.beeld->picture(), logoBefore);
    QVERIFY(w.beeld->isVisible());
    QCOMPARE(shown_on_screen(surface), before);
    for (int i = 0; i < 4; ++i)
        QCOMPARE(surface.readPixel(60 + 15 * i, 60), colours[i]);
}

void MainScreenTest::exitYesEndsWithStatusZero() {
    testing::ScriptedPrompts prompts;
    prompts.button(Answer::Yes);
    shell::MainScreen w(prompts);
    shell::load_mainscreen(w);
    QVERIFY(showActive(w));

    const int status = exit_status_after([&] { w.exit_zft_toolkit->trigger(); });

    QCOMPARE(status, 0);
    QCOMPARE(prompts.shown.size(), size_t(1));  // no further question
    QVERIFY(!w.window.isVisible());
}

void MainScreenTest::closeAsksNothingAndWaitsForARunningCommand() {
    // Closed through the window system while shown: no question, the modal
    // showing returns.
    {
        testing::ScriptedPrompts prompts;
        shell::MainScreen w(prompts);
        QMetaObject::invokeMethod(qApp, [&] { w.window.close(); }, Qt::QueuedConnection);
        shell::show_mainscreen(w);
        QVERIFY(!w.window.isVisible());
        QVERIFY(prompts.shown.empty());
    }
    // Closed in the middle of a command: the window stays until the command
    // has ended, then goes.
    {
        testing::ScriptedPrompts prompts;
        prompts.button(Answer::Ok);
        shell::MainScreen w(prompts);
        bool openDuringCommand = false;
        prompts.whileShown = [&](const Shown&) {
            w.window.close();
            openDuringCommand = w.window.isVisible();
        };
        QMetaObject::invokeMethod(qApp, [&] { w.about_zft_toolkit->trigger(); }, Qt::QueuedConnection);
        shell::show_mainscreen(w);
        QVERIFY(openDuringCommand);
        QVERIFY(!w.window.isVisible());
        QCOMPARE(prompts.shown.size(), size_t(1));
    }
}

void MainScreenTest::backupNeverShown() {
    testing::ScriptedPrompts prompts;
    shell::MainScreen w(prompts);
    shell::load_mainscreen(w);
    // An empty `beeld` as large as a picture gets, and the window fitted
    // around it: the window now reaches far past `backup`'s place.
    w.beeld->setPicture(core::load_picture());
    w.beeld->setSizeTwips(15 * 999, 15 * 999);
    shell::FitWindowToPicture(w, shell::Minimum::Without);
    w.window.refresh();

    QVERIFY(!w.backup->isVisible());
    QVERIFY(w.backup->picture().size() == (core::Size{250, 200}));
    const QRect backupPlace(92, 248, 250, 200);
    QVERIFY(w.window.surface()->rect().contains(backupPlace));
    const QImage shown = shown_on_screen(*w.window.surface());
    const QRgb background = w.window.surface()->backgroundColour().rgb();
    for (int y = backupPlace.top(); y <= backupPlace.bottom(); ++y)
        for (int x = backupPlace.left(); x <= backupPlace.right(); ++x)
            QCOMPARE(shown.pixel(x, y), background);
}

// The window has no title bar: grown past the screen's edge, it could not be
// moved back.
void MainScreenTest::fitKeepsTheWindowOnItsScreen() {
    testing::ScriptedPrompts prompts;
    shell::MainScreen w(prompts);
    shell::load_mainscreen(w);
    w.window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w.window));
    const QRect area = w.window.screen()->availableGeometry();
    QVERIFY2(area.width() < 1010 || area.height() < 1029, "the screen holds a window around 999 × 999 pixels");
    auto fitTo = [&](int width, int height) {
        w.beeld->setPicture(core::load_picture());
        w.beeld->setSizeTwips(15.0f * width, 15.0f * height);
        shell::FitWindowToPicture(w, shell::Minimum::Without);
    };

    // Near the bottom-right corner, grown by a picture that fits on the
    // screen: moved just enough.
    const QPoint nearCorner = area.bottomRight() - QPoint(300, 250);
    w.window.move(nearCorner);
    fitTo(area.width() / 2, area.height() / 2);
    const QRect frame = w.window.frameGeometry();
    QVERIFY(area.contains(frame));
    QCOMPARE(frame.bottomRight(), area.bottomRight());

    // The largest picture, larger than the screen: its top-left corner at
    // the area's.
    w.window.move(nearCorner);
    fitTo(999, 999);
    QCOMPARE(w.window.size(), QSize(1010, 1029));
    QCOMPARE(w.window.frameGeometry().topLeft(), area.topLeft());

    // A window that fits keeps its place, whatever its size becomes.
    const QPoint inside = area.topLeft() + QPoint(20, 30);
    w.window.move(inside);
    fitTo(250, 200);
    QCOMPARE(w.window.frameGeometry().topLeft(), inside);
    shell::load_mainscreen(w);
    QCOMPARE(w.window.frameGeometry().topLeft(), inside);
}

// `beeld` is the handle of a window without a title bar; a click on it that
// does not drag is no command.
void MainScreenTest::beeldDragsTheWindow() {
    testing::ScriptedPrompts prompts;
    shell::MainScreen w(prompts);
    shell::load_mainscreen(w);
    QVERIFY(showActive(w));
    const QImage before = shown_on_screen(*w.window.surface());
    platform::DrawingSurface* surface = w.window.surface();
    const QPoint onBeeld = w.beeld->geometry().center();

    const QPoint place = w.window.pos();
    QTest::mouseClick(surface, Qt::LeftButton, {}, onBeeld);
    QCOMPARE(w.window.pos(), place);

    QTest::mousePress(surface, Qt::LeftButton, {}, onBeeld);
    QTest::mouseMove(surface, onBeeld + QPoint(-30, 20));
    QTest::mouseRelease(surface, Qt::LeftButton, {}, onBeeld);
    QCOMPARE(w.window.pos(), place + QPoint(-30, 20));

    QVERIFY(prompts.shown.empty());
    QCOMPARE(shown_on_screen(*surface), before);
}

QTEST_MAIN(MainScreenTest)
#include "tst_mainscreen.moc"
