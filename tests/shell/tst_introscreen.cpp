#include <QAccessible>
#include <QAccessibleActionInterface>
#include <QFontDatabase>
#include <QFontInfo>
#include <QLabel>
#include <QScreen>
#include <QtTest>

#include "platform/qt/qt_toolkit.h"
#include "shell/introscreen.h"
#include "shell/logo.h"
#include "shell/mainscreen.h"
#include "tests/support/event_loop.h"
#include "tests/support/scripted_prompts.h"
#include "tests/support/session.h"

using testing::exit_status_after;

namespace {

platform::qt::QtToolkit toolkit;

platform::qt::Form& form(shell::MainScreen& w) { return platform::qt::widget_of(*w.window); }
platform::qt::Form& form(shell::IntroScreen& s) { return platform::qt::widget_of(*s.window); }

// What the main window looked like while it was shown; it is closed as soon
// as it is seen, as the window system would close it.
struct MainSeen : QObject {
    shell::MainScreen& w;
    shell::IntroScreen& s;
    bool seen = false;
    bool modal = false;
    bool introVisible = true;
    QStringList listed;  // the windows assistive technologies list
    QSize size;

    MainSeen(shell::MainScreen& w, shell::IntroScreen& s) : w(w), s(s) { form(w).installEventFilter(this); }

    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() == QEvent::Show) {
            QMetaObject::invokeMethod(
                this,
                [this] {
                    seen = true;
                    modal = QApplication::activeModalWidget() == &form(w);
                    introVisible = form(s).isVisible();
                    QAccessibleInterface* program = QAccessible::queryAccessibleInterface(qApp);
                    for (int i = 0; i < program->childCount(); ++i)
                        listed << program->child(i)->object()->objectName();
                    size = form(w).size();
                    w.window->close();
                },
                Qt::QueuedConnection);
        }
        return false;
    }
};

}  // namespace

class IntroScreenTest : public QObject {
    Q_OBJECT
private slots:
    void window();
    void controls_data();
    void controls();
    void textsFitTheirLabels_data();
    void textsFitTheirLabels();
    void clickOpensMainWindow_data();
    void clickOpensMainWindow();
    void pressAndReleaseMustBothBeOverIntro_data();
    void pressAndReleaseMustBothBeOverIntro();
    void closedBeforeTheClickEndsTheProgram();
    void assistiveTechnologiesPressIntro();
    void fileGivenOnceTheProgramRuns_data();
    void fileGivenOnceTheProgramRuns();
};

void IntroScreenTest::window() {
    testing::ScriptedPrompts prompts;
    shell::MainScreen w(toolkit, prompts);
    shell::IntroScreen s(w);
    s.show();
    QVERIFY(QTest::qWaitForWindowExposed(&form(s)));

    QCOMPARE(form(s).objectName(), QStringLiteral("introscreen"));
    QVERIFY(form(s).windowFlags() & Qt::FramelessWindowHint);
    // A one-pixel frame around a client area of 3870 × 5025 twips.
    QCOMPARE(form(s).size(), QSize(260, 337));
    QCOMPARE(form(s).minimumSize(), form(s).maximumSize());
    QCOMPARE(form(s).surface().size(), QSize(258, 335));
    QCOMPARE(form(s).surface().pos(), QPoint(1, 1));
    const QPoint offCentre = form(s).frameGeometry().center() - form(s).screen()->geometry().center();
    QVERIFY(offCentre.manhattanLength() <= 2);

    const QImage shown = testing::shown_on_screen(form(s).surface());
    QCOMPARE(shown.pixel(257, 334), qRgb(160, 160, 160));
    QCOMPARE(shown.pixel(0, 0), qRgb(160, 160, 160));
    const QImage logo =
        QImage::fromData(shell::kLogoJpeg, int(shell::kLogoJpegSize)).convertToFormat(QImage::Format_RGB32);
    QCOMPARE(shown.copy(4, 4, 250, 200), logo);

    // The main window waits, neither loaded nor shown.
    QVERIFY(!form(w).isVisible());
    QVERIFY(w.beeld->picture().isNull());
}

void IntroScreenTest::controls_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<QRect>("pixels");
    // Twips from the layout, divided by 15.
    QTest::newRow("intro") << "intro" << QRect(0, 0, 257, 333);
    QTest::newRow("Label2") << "Label2" << QRect(8, 308, 249, 21);
    QTest::newRow("Label1(2)") << "Label1(2)" << QRect(8, 268, 245, 33);
    QTest::newRow("Label1(1)") << "Label1(1)" << QRect(8, 236, 245, 33);
    QTest::newRow("Label1(0)") << "Label1(0)" << QRect(8, 208, 245, 33);
    QTest::newRow("Image1") << "Image1" << QRect(4, 4, 250, 200);
}

void IntroScreenTest::controls() {
    QFETCH(QString, name);
    QFETCH(QRect, pixels);

    testing::ScriptedPrompts prompts;
    shell::MainScreen w(toolkit, prompts);
    shell::IntroScreen s(w);
    const QList<QWidget*> controls = form(s).surface().findChildren<QWidget*>(name);
    QCOMPARE(controls.size(), 1);
    QCOMPARE(controls.front()->geometry(), pixels);

    // `intro` lies in front: every point of every other control hits it.
    QWidget* surface = &form(s).surface();
    for (const QPoint& point : {pixels.topLeft(), pixels.center(), pixels.bottomRight()})
        QCOMPARE(surface->childAt(point), &platform::qt::widget_of(*s.intro));
}

void IntroScreenTest::textsFitTheirLabels_data() {
    QTest::addColumn<QString>("label");
    QTest::addColumn<qreal>("points");
    QTest::addColumn<bool>("bold");
    QTest::newRow("Label1(0)") << "Label1(0)" << 18.0 << true;
    QTest::newRow("Label1(1)") << "Label1(1)" << 18.0 << true;
    QTest::newRow("Label1(2)") << "Label1(2)" << 18.0 << true;
    QTest::newRow("Label2") << "Label2" << 9.75 << false;
}

void IntroScreenTest::textsFitTheirLabels() {
    QFETCH(QString, label);
    QFETCH(qreal, points);
    QFETCH(bool, bold);

    testing::ScriptedPrompts prompts;
    shell::MainScreen w(toolkit, prompts);
    shell::IntroScreen s(w);
    const auto* shown = form(s).surface().findChild<QLabel*>(label);
    QVERIFY(shown);
    const QFont font = shown->font();
    QCOMPARE(font.pointSizeF(), points);
    QCOMPARE(font.bold(), bold);
    // What the system draws with: a font it has, not a fixed-pitch one.
    const QFontInfo drawn(font);
    QVERIFY2(QFontDatabase::hasFamily(drawn.family()), qPrintable(drawn.family()));
    QVERIFY(!drawn.fixedPitch());

    QVERIFY(!shown->text().trimmed().isEmpty());
    if (label == QStringLiteral("Label1(2)"))
        QVERIFY(shown->text().endsWith(QStringLiteral(" (SP1)")));
    QCOMPARE(shown->alignment() & Qt::AlignHorizontal_Mask, Qt::AlignLeft);
    const QFontMetrics metrics(font);
    const int width = metrics.horizontalAdvance(shown->text());
    QVERIFY2(width <= shown->width(), qPrintable(QStringLiteral("%1 px wide in %2 px").arg(width).arg(shown->width())));
    QVERIFY2(metrics.height() <= shown->height(),
             qPrintable(QStringLiteral("%1 px high in %2 px").arg(metrics.height()).arg(shown->height())));
}

void IntroScreenTest::clickOpensMainWindow_data() {
    // Points of the client area, in pixels.
    QTest::addColumn<QPoint>("point");
    QTest::addColumn<bool>("opens");
    QTest::newRow("logo") << QPoint(120, 100) << true;
    QTest::newRow("Label1(0)") << QPoint(20, 220) << true;
    QTest::newRow("Label1(2)") << QPoint(200, 280) << true;
    QTest::newRow("Label2") << QPoint(30, 318) << true;
    QTest::newRow("grey background") << QPoint(255, 100) << true;
    QTest::newRow("last pixel of intro") << QPoint(256, 332) << true;
    QTest::newRow("right-most column") << QPoint(257, 100) << false;
    QTest::newRow("right-most column, bottom") << QPoint(257, 334) << false;
    QTest::newRow("second row from the bottom") << QPoint(100, 333) << false;
    QTest::newRow("bottom row") << QPoint(100, 334) << false;
}

void IntroScreenTest::clickOpensMainWindow() {
    QFETCH(QPoint, point);
    QFETCH(bool, opens);

    testing::ScriptedPrompts prompts;
    shell::MainScreen w(toolkit, prompts);
    shell::IntroScreen s(w);
    s.show();
    QVERIFY(QTest::qWaitForWindowExposed(&form(s)));
    MainSeen seen(w, s);

    const QPoint inWindow = form(s).surface().mapTo(&form(s), point);
    const int status = exit_status_after([&] {
        QTest::mouseClick(form(s).windowHandle(), Qt::LeftButton, {}, inWindow);
        // A click that opened nothing leaves the program waiting; the test
        // ends it here with a status of its own.
        if (form(s).isVisible())
            QCoreApplication::exit(1);
    });

    QCOMPARE(seen.seen, opens);
    QCOMPARE(status, opens ? 0 : 1);
    QCOMPARE(form(s).isVisible(), !opens);
    if (opens) {
        QVERIFY(seen.modal);
        QVERIFY(!seen.introVisible);
        QCOMPARE(seen.listed, QStringList{QStringLiteral("mainscreen")});
        QCOMPARE(seen.size, QSize(261, 230));
        QVERIFY(!form(w).isVisible());
    }
    QVERIFY(prompts.shown.empty());
}

void IntroScreenTest::pressAndReleaseMustBothBeOverIntro_data() {
    QTest::addColumn<QPoint>("press");
    QTest::addColumn<QPoint>("release");
    QTest::newRow("pressed on the logo, released on the bottom row") << QPoint(120, 100) << QPoint(120, 334);
    QTest::newRow("pressed on the bottom row, released on the logo") << QPoint(120, 334) << QPoint(120, 100);
}

void IntroScreenTest::pressAndReleaseMustBothBeOverIntro() {
    QFETCH(QPoint, press);
    QFETCH(QPoint, release);

    testing::ScriptedPrompts prompts;
    shell::MainScreen w(toolkit, prompts);
    shell::IntroScreen s(w);
    s.show();
    QVERIFY(QTest::qWaitForWindowExposed(&form(s)));
    MainSeen seen(w, s);

    QWindow* window = form(s).windowHandle();
    QWidget* surface = &form(s).surface();
    const int status = exit_status_after([&] {
        QTest::mousePress(window, Qt::LeftButton, {}, surface->mapTo(&form(s), press));
        QTest::mouseMove(window, surface->mapTo(&form(s), release));
        QTest::mouseRelease(window, Qt::LeftButton, {}, surface->mapTo(&form(s), release));
        if (form(s).isVisible())
            QCoreApplication::exit(1);
    });

    QCOMPARE(status, 1);
    QVERIFY(!seen.seen);
    QVERIFY(form(s).isVisible());
}

void IntroScreenTest::closedBeforeTheClickEndsTheProgram() {
    testing::ScriptedPrompts prompts;
    shell::MainScreen w(toolkit, prompts);
    shell::IntroScreen s(w);
    s.show();
    QVERIFY(QTest::qWaitForWindowExposed(&form(s)));
    MainSeen seen(w, s);

    const int status = exit_status_after([&] { form(s).close(); });

    QCOMPARE(status, 0);
    QVERIFY(!seen.seen);
    QVERIFY(!form(s).isVisible());
}

// Keys do nothing on the intro, but a screen reader or switch access can
// press `intro`, as a click would.
void IntroScreenTest::assistiveTechnologiesPressIntro() {
    testing::ScriptedPrompts prompts;
    shell::MainScreen w(toolkit, prompts);
    shell::IntroScreen s(w);
    s.show();
    QVERIFY(QTest::qWaitForWindowExposed(&form(s)));
    MainSeen seen(w, s);

    QAccessibleInterface* window = QAccessible::queryAccessibleInterface(&form(s));
    QCOMPARE(window->role(), QAccessible::Window);
    QCOMPARE(window->text(QAccessible::Name), QStringLiteral("ZFT Toolkit"));
    QCOMPARE(QAccessible::queryAccessibleInterface(&platform::qt::widget_of(*s.Image1))->text(QAccessible::Name), QStringLiteral("logo"));
    QAccessibleInterface* intro = QAccessible::queryAccessibleInterface(&platform::qt::widget_of(*s.intro));
    QCOMPARE(intro->role(), QAccessible::Button);
    QCOMPARE(intro->text(QAccessible::Name), QStringLiteral("Start"));
    QAccessibleActionInterface* actions = intro->actionInterface();
    QVERIFY(actions);
    QCOMPARE(actions->actionNames(), QStringList{QAccessibleActionInterface::pressAction()});

    for (Qt::Key key : {Qt::Key_Return, Qt::Key_Space, Qt::Key_Enter, Qt::Key_Escape})
        QTest::keyClick(&form(s), key);
    QCoreApplication::processEvents();
    QVERIFY(!seen.seen);

    const int status = exit_status_after([&] { actions->doAction(QAccessibleActionInterface::pressAction()); });

    QCOMPARE(status, 0);
    QVERIFY(seen.seen);
    QVERIFY(seen.modal);
    QVERIFY(!seen.introVisible);
    QCOMPARE(seen.size, QSize(261, 230));
    QCOMPARE(seen.listed, QStringList{QStringLiteral("mainscreen")});
}

// A file given once the program runs (a browser hands an installed page
// its file after the page has started), before the click or after it, is
// opened as a file given at the start: a missing one told in a box over
// the main window.
void IntroScreenTest::fileGivenOnceTheProgramRuns_data() {
    QTest::addColumn<bool>("afterTheClick");
    QTest::addColumn<QPoint>("point");  // apart, so that two rows make no double click
    QTest::newRow("before the click") << false << QPoint(60, 60);
    QTest::newRow("after the click") << true << QPoint(200, 150);
}

void IntroScreenTest::fileGivenOnceTheProgramRuns() {
    QFETCH(bool, afterTheClick);
    QFETCH(QPoint, point);
    const std::string missing = "/nonexistent/given.zft";
    testing::ScriptedPrompts prompts;
    prompts.button(platform::Answer::Ok);
    shell::MainScreen w(toolkit, prompts);
    shell::IntroScreen s(w);
    s.show();
    QVERIFY(QTest::qWaitForWindowExposed(&form(s)));
    bool overTheWindow = false;
    prompts.whileShown = [&](const testing::Shown&) {
        overTheWindow = QApplication::activeModalWidget() == &form(w);
        QMetaObject::invokeMethod(&form(w), [&] { w.window->close(); }, Qt::QueuedConnection);
    };
    // Before the click, or once the main window it opens shows.
    struct OnShow : QObject {
        std::function<void()> then;
        bool eventFilter(QObject*, QEvent* event) override {
            if (event->type() == QEvent::Show && then)
                QMetaObject::invokeMethod(this, std::exchange(then, {}), Qt::QueuedConnection);
            return false;
        }
    } onShow;
    if (afterTheClick) {
        onShow.then = [&] { s.open(missing); };
        form(w).installEventFilter(&onShow);
    } else {
        s.open(missing);
    }

    const int status = exit_status_after([&] {
        QTest::mouseClick(form(s).windowHandle(), Qt::LeftButton, {}, form(s).surface().mapTo(&form(s), point));
    });

    QCOMPARE(status, 0);
    QVERIFY2(prompts.unexpected.isEmpty(), qPrintable(prompts.unexpected.join('\n')));
    QCOMPARE(prompts.shown.size(), size_t(1));
    QCOMPARE(prompts.shown.front().style, platform::MessageStyle::Error);
    QVERIFY2(prompts.shown.front().text.startsWith(QStringLiteral("Cannot read /nonexistent/given.zft: ")),
             qPrintable(prompts.shown.front().text));
    QVERIFY(overTheWindow);
}

QTEST_MAIN(IntroScreenTest)
#include "tst_introscreen.moc"
