#include <QAccessible>
#include <QMenuBar>
#include <QScreen>
#include <QToolButton>
#include <QtTest>

#include "core/decoding.h"
#include "platform/qt/qt_toolkit.h"
#include "shell/commands.h"
#include "shell/logo.h"
#include "shell/mainscreen.h"
#include "tests/support/event_loop.h"
#include "tests/support/finished.h"
#include "tests/support/scripted_prompts.h"
#include "tests/support/session.h"

using platform::Answer;
using platform::MessageStyle;
using testing::exit_status_after;
using testing::finished;
using testing::shown_on_screen;
using testing::Shown;

namespace {

const QString kQuit = QStringLiteral("Are you sure you want to quit ZFT Toolkit ?");

platform::qt::QtToolkit toolkit;

platform::qt::Form& form(shell::MainScreen& w) { return platform::qt::widget_of(*w.window); }

// Shows the window, not modal, with the keyboard.
bool showActive(shell::MainScreen& w) {
    w.window->show();
    form(w).activateWindow();
    return QTest::qWaitForWindowActive(&form(w));
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
    void commandWaitsForAnAnswerThatComesLater();
    void backupNeverShown();
    void fitKeepsTheWindowOnItsScreen();
    void beeldDragsTheWindow();
};

void MainScreenTest::opensAroundTheLogo() {
    testing::ScriptedPrompts prompts;
    shell::MainScreen w(toolkit, prompts);
    shell::load_mainscreen(w);

    QCOMPARE(w.window->widthTwips(), 3915.0f);
    QCOMPARE(w.window->heightTwips(), 3450.0f);
    QCOMPARE(form(w).size(), QSize(261, 230));
    QCOMPARE(w.beeld->widthTwips(), 3750.0f);
    QCOMPARE(w.beeld->heightTwips(), 3000.0f);

    // The logo's top-left pixel at (60, 60) twips, the surface's background
    // just above and to the left of it.
    const QImage logo = QImage::fromData(shell::kLogoJpeg, int(shell::kLogoJpegSize));
    QCOMPARE(logo.size(), QSize(250, 200));
    const QImage shown = shown_on_screen(form(w).surface());
    QCOMPARE(shown.copy(4, 4, 250, 200).convertToFormat(QImage::Format_RGB32), logo.convertToFormat(QImage::Format_RGB32));
    platform::qt::DrawingSurface& surface = form(w).surface();
    QCOMPARE(surface.readPixel(60, 60), platform::colour_value(logo.pixel(0, 0)));
    QCOMPARE(surface.readPixel(3794, 3059), platform::colour_value(logo.pixel(249, 199)));
    const int background = surface.backgroundColour();
    QCOMPARE(surface.readPixel(59, 60), background);
    QCOMPARE(surface.readPixel(60, 59), background);
    QVERIFY(!form(w).windowIcon().isNull());

    // As assistive technologies see it: a window without a title bar, named.
    QAccessibleInterface* window = QAccessible::queryAccessibleInterface(&form(w));
    QCOMPARE(window->role(), QAccessible::Window);
    QCOMPARE(window->text(QAccessible::Name), QStringLiteral("ZFT Toolkit"));
    QAccessibleInterface* beeld = QAccessible::queryAccessibleInterface(&platform::qt::widget_of(*w.beeld));
    QCOMPARE(beeld->role(), QAccessible::Graphic);
    QCOMPARE(beeld->text(QAccessible::Name), QStringLiteral("logo"));
}

void MainScreenTest::showsCentredAndModalUntilClosed() {
    testing::ScriptedPrompts prompts;
    shell::MainScreen w(toolkit, prompts);
    bool checked = false;
    QMetaObject::invokeMethod(
        qApp,
        [&] {
            QVERIFY(form(w).isVisible());
            QCOMPARE(QApplication::activeModalWidget(), &form(w));
            QCOMPARE(form(w).size(), QSize(261, 230));
            const QPoint offCentre = form(w).frameGeometry().center() - form(w).screen()->geometry().center();
            QVERIFY2(offCentre.manhattanLength() <= 2, qPrintable(QStringLiteral("%1, %2").arg(offCentre.x()).arg(offCentre.y())));
            checked = true;
            w.window->close();
        },
        Qt::QueuedConnection);
    QVERIFY(finished(shell::show_mainscreen(w)));
    QVERIFY(checked);
    QVERIFY(!form(w).isVisible());
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
    shell::MainScreen w(toolkit, prompts);
    auto* bar = form(w).findChild<QMenuBar*>();
    QVERIFY(bar);
    QStringList menus;
    for (QAction* action : bar->actions())
        menus << action->objectName();
    QCOMPARE(menus, QStringList({"bestand", "hulp"}));

    auto* found = form(w).findChild<QMenu*>(menu);
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
    shell::MainScreen w(toolkit, prompts);
    shell::load_mainscreen(w);
    w.window->show();
    QVERIFY(QTest::qWaitForWindowExposed(&form(w)));
    if (changedWhileShown)
        QApplication::setFont(font);
    QCoreApplication::processEvents();

    auto* bar = form(w).findChild<QMenuBar*>();
    const int height = bar->height();
    QApplication::setFont(original);
    QCOMPARE(height, std::max(19, bar->sizeHint().height()));
    QCOMPARE(form(w).size(), QSize(261, 230));
    QCOMPARE(form(w).surface().geometry(), QRect(1, 1 + height, 259, 230 - 2 - height));
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
    shell::MainScreen w(toolkit, prompts);
    shell::load_mainscreen(w);
    QVERIFY(showActive(w));
    auto* file = form(w).findChild<QMenu*>(QStringLiteral("bestand"));

    QTest::keyClick(&form(w), Qt::Key_F, Qt::AltModifier);
    QTRY_VERIFY_WITH_TIMEOUT(file->isVisible(), 5000);
    QTest::keyClick(file, Qt::Key(key));
    QTRY_COMPARE_WITH_TIMEOUT(prompts.shown.size(), size_t(1), 5000);
    QCOMPARE(prompts.shown.front().title, firstPrompt);
    QVERIFY(prompts.unexpected.isEmpty());
    QVERIFY(form(w).isVisible());
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
    shell::MainScreen w(toolkit, prompts);
    shell::load_mainscreen(w);
    QVERIFY(showActive(w));
    QWidget* target = form(w).findChild<QWidget*>(focus);
    QVERIFY(target);
    if (auto* menu = qobject_cast<QMenu*>(target)) {
        QTest::keyClick(&form(w), Qt::Key_F, Qt::AltModifier);
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
    shell::MainScreen w(toolkit, prompts);
    shell::load_mainscreen(w);
    const QImage before = shown_on_screen(form(w).surface());

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
    QCOMPARE(shown_on_screen(form(w).surface()), before);
    QCOMPARE(form(w).size(), QSize(261, 230));
}

void MainScreenTest::exitNoLeavesEverything() {
    testing::ScriptedPrompts prompts;
    prompts.button(Answer::No);
    shell::MainScreen w(toolkit, prompts);
    shell::load_mainscreen(w);
    QVERIFY(showActive(w));
    // Points painted as a preview paints them, over the logo and beside it.
    platform::qt::DrawingSurface& surface = form(w).surface();
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
    QVERIFY(form(w).isVisible());
    QCOMPARE(form(w).size(), QSize(261, 230));
    QCOMPARE(w.beeld->picture(), logoBefore);
    QVERIFY(w.beeld->isVisible());
    QCOMPARE(shown_on_screen(surface), before);
    for (int i = 0; i < 4; ++i)
        QCOMPARE(surface.readPixel(60 + 15 * i, 60), colours[i]);
}

void MainScreenTest::exitYesEndsWithStatusZero() {
    testing::ScriptedPrompts prompts;
    prompts.button(Answer::Yes);
    shell::MainScreen w(toolkit, prompts);
    shell::load_mainscreen(w);
    QVERIFY(showActive(w));

    const int status = exit_status_after([&] { w.exit_zft_toolkit->trigger(); });

    QCOMPARE(status, 0);
    QCOMPARE(prompts.shown.size(), size_t(1));  // no further question
    QVERIFY(!form(w).isVisible());
}

void MainScreenTest::closeAsksNothingAndWaitsForARunningCommand() {
    // Closed through the window system while shown: no question, the modal
    // showing returns.
    {
        testing::ScriptedPrompts prompts;
        shell::MainScreen w(toolkit, prompts);
        QMetaObject::invokeMethod(qApp, [&] { w.window->close(); }, Qt::QueuedConnection);
        QVERIFY(finished(shell::show_mainscreen(w)));
        QVERIFY(!form(w).isVisible());
        QVERIFY(prompts.shown.empty());
    }
    // Closed in the middle of a command: the window stays until the command
    // has ended, then goes.
    {
        testing::ScriptedPrompts prompts;
        prompts.button(Answer::Ok);
        shell::MainScreen w(toolkit, prompts);
        bool openDuringCommand = false;
        prompts.whileShown = [&](const Shown&) {
            w.window->close();
            openDuringCommand = form(w).isVisible();
        };
        QMetaObject::invokeMethod(qApp, [&] { w.about_zft_toolkit->trigger(); }, Qt::QueuedConnection);
        QVERIFY(finished(shell::show_mainscreen(w)));
        QVERIFY(openDuringCommand);
        QVERIFY(!form(w).isVisible());
        QCOMPARE(prompts.shown.size(), size_t(1));
    }
}

// A browser's boxes answer after they have returned: the command waits,
// suspended, and what the user picks meanwhile finds it still running.
void MainScreenTest::commandWaitsForAnAnswerThatComesLater() {
    testing::ScriptedPrompts prompts;
    prompts.answerLater = true;
    prompts.button(Answer::Ok);
    shell::MainScreen w(toolkit, prompts);
    shell::load_mainscreen(w);
    QVERIFY(showActive(w));

    w.about_zft_toolkit->trigger();
    QCOMPARE(prompts.shown.size(), size_t(1));
    w.exit_zft_toolkit->trigger();
    w.about_zft_toolkit->trigger();
    QVERIFY(!w.run(testing::nothing));
    w.window->close();
    QCOMPARE(prompts.shown.size(), size_t(1));
    QVERIFY(form(w).isVisible());

    QVERIFY(prompts.settle());
    QVERIFY(!form(w).isVisible());  // the close came at the command's end
    QVERIFY(!prompts.settle());
    QVERIFY(w.run(testing::nothing));
    QVERIFY(prompts.unexpected.isEmpty());
}

void MainScreenTest::backupNeverShown() {
    testing::ScriptedPrompts prompts;
    shell::MainScreen w(toolkit, prompts);
    shell::load_mainscreen(w);
    // An empty `beeld` as large as a picture gets, and the window fitted
    // around it: the window now reaches far past `backup`'s place.
    w.beeld->setPicture(core::load_picture());
    w.beeld->setSizeTwips(15 * 999, 15 * 999);
    shell::FitWindowToPicture(w, shell::Minimum::Without);
    w.window->refresh();

    QVERIFY(!w.backup->isVisible());
    QVERIFY(w.backup->picture().size() == (core::Size{250, 200}));
    const QRect backupPlace(92, 248, 250, 200);
    QVERIFY(form(w).surface().rect().contains(backupPlace));
    const QImage shown = shown_on_screen(form(w).surface());
    const QRgb background = platform::pixel_of(form(w).surface().backgroundColour());
    for (int y = backupPlace.top(); y <= backupPlace.bottom(); ++y)
        for (int x = backupPlace.left(); x <= backupPlace.right(); ++x)
            QCOMPARE(shown.pixel(x, y), background);
}

// The window has no title bar: grown past the screen's edge, it could not be
// moved back.
void MainScreenTest::fitKeepsTheWindowOnItsScreen() {
    testing::ScriptedPrompts prompts;
    shell::MainScreen w(toolkit, prompts);
    shell::load_mainscreen(w);
    w.window->show();
    QVERIFY(QTest::qWaitForWindowExposed(&form(w)));
    const QRect area = form(w).screen()->availableGeometry();
    QVERIFY2(area.width() < 1010 || area.height() < 1029, "the screen holds a window around 999 × 999 pixels");
    auto fitTo = [&](int width, int height) {
        w.beeld->setPicture(core::load_picture());
        w.beeld->setSizeTwips(15.0f * width, 15.0f * height);
        shell::FitWindowToPicture(w, shell::Minimum::Without);
    };

    // Near the bottom-right corner, grown by a picture that fits on the
    // screen: moved just enough.
    const QPoint nearCorner = area.bottomRight() - QPoint(300, 250);
    form(w).move(nearCorner);
    fitTo(area.width() / 2, area.height() / 2);
    const QRect frame = form(w).frameGeometry();
    QVERIFY(area.contains(frame));
    QCOMPARE(frame.bottomRight(), area.bottomRight());

    // The largest picture, larger than the screen: its top-left corner at
    // the area's.
    form(w).move(nearCorner);
    fitTo(999, 999);
    QCOMPARE(form(w).size(), QSize(1010, 1029));
    QCOMPARE(form(w).frameGeometry().topLeft(), area.topLeft());

    // A window that fits keeps its place, whatever its size becomes.
    const QPoint inside = area.topLeft() + QPoint(20, 30);
    form(w).move(inside);
    fitTo(250, 200);
    QCOMPARE(form(w).frameGeometry().topLeft(), inside);
    shell::load_mainscreen(w);
    QCOMPARE(form(w).frameGeometry().topLeft(), inside);
}

// `beeld` is the handle of a window without a title bar; a click on it that
// does not drag is no command.
void MainScreenTest::beeldDragsTheWindow() {
    testing::ScriptedPrompts prompts;
    shell::MainScreen w(toolkit, prompts);
    shell::load_mainscreen(w);
    QVERIFY(showActive(w));
    const QImage before = shown_on_screen(form(w).surface());
    platform::qt::DrawingSurface* surface = &form(w).surface();
    const QPoint onBeeld = platform::qt::widget_of(*w.beeld).geometry().center();

    const QPoint place = form(w).pos();
    QTest::mouseClick(surface, Qt::LeftButton, {}, onBeeld);
    QCOMPARE(form(w).pos(), place);

    QTest::mousePress(surface, Qt::LeftButton, {}, onBeeld);
    QTest::mouseMove(surface, onBeeld + QPoint(-30, 20));
    QTest::mouseRelease(surface, Qt::LeftButton, {}, onBeeld);
    QCOMPARE(form(w).pos(), place + QPoint(-30, 20));

    QVERIFY(prompts.shown.empty());
    QCOMPARE(shown_on_screen(*surface), before);
}

QTEST_MAIN(MainScreenTest)
#include "tst_mainscreen.moc"
