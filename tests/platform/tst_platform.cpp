#include <QComboBox>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QInputDialog>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QMessageBox>
#include <QProxyStyle>
#include <QSettings>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>
#include <sys/stat.h>

#include "core/failure.h"
#include "core/decoding.h"
#include "platform/file_slot.h"
#include "platform/qt/form.h"
#include "platform/qt/qt_prompts.h"
#include "tests/support/finished.h"
#include "tests/support/fixtures.h"

using core::Failure;
using platform::FileSlot;
using platform::PictureArea;
using platform::qt::DrawingSurface;
using platform::qt::Form;
using testing::finished;
using testing::asymmetric;
using testing::asymmetric_colour;
using testing::contents;
using testing::entries;
using testing::filled;
using testing::write_file;

namespace {

int value(QRgb rgb) { return platform::colour_value(rgb); }

// What the window really paints for the surface.
QImage shown_on_screen(DrawingSurface* surface) {
    return surface->grab().toImage().convertToFormat(QImage::Format_RGB32);
}

// What readPixel gives at every pixel of the surface, as a picture.
QImage read_back(DrawingSurface& surface) {
    QImage read(surface.size(), QImage::Format_RGB32);
    for (int y = 0; y < read.height(); ++y)
        for (int x = 0; x < read.width(); ++x)
            read.setPixel(x, y, platform::pixel_of(surface.readPixel(15.0f * x, 15.0f * y)));
    return read;
}

// A window of 300 × 200 pixels: a surface of 298 × 179 under the frame and
// the menu bar. Shown by the test once its picture areas are made, as the
// program's windows are.
struct Window {
    Form form{"testwindow", true};
    DrawingSurface* surface = &form.surface();

    Window() { form.setSizeTwips(4500, 3000); }
};

enum class Scene {
    BackgroundColour,
    BackgroundPicture,
    LargeBackground,
    TransparentBackground,
    GreyBackground,
    VisibleArea,
    HiddenArea,
    EmptyArea,
    Points
};

}  // namespace

Q_DECLARE_METATYPE(Scene)
Q_DECLARE_METATYPE(platform::FileDialogMode)
Q_DECLARE_METATYPE(platform::MessageStyle)
Q_DECLARE_METATYPE(platform::Answer)
Q_DECLARE_METATYPE(QDialogButtonBox::ButtonLayout)

class PlatformTest : public QObject {
    Q_OBJECT
private slots:
    void readPixelIsWhatTheWindowShows_data();
    void readPixelIsWhatTheWindowShows();
    void paintedPointsSurviveExposeButNotRefresh();
    void paintedPointsGoWhereALayerChanges();
    void backgroundFollowsThePalette();
    void slotReadsPastTheEnd_data();
    void slotReadsPastTheEnd();
    void slotCommitsOnlyOnClose();
    void slotAbandonLeavesTargetAlone_data();
    void slotAbandonLeavesTargetAlone();
    void pipesAreRefusedNotWaitedOnOrReplaced();
    void fileDialogFilterIgnoresCase_data();
    void fileDialogFilterIgnoresCase();
    void fileDialogOpensInTheLastFolder();
    void fileDialogRemembersTheChosenFolder();
    void placeInside_data();
    void placeInside();
    void pictureAreaDragsItsWindow_data();
    void pictureAreaDragsItsWindow();
    void boxesGiveTheKeyboardBack_data();
    void boxesGiveTheKeyboardBack();
    void boxesAnswerReturnWithTheirFirstButton_data();
    void boxesAnswerReturnWithTheirFirstButton();
};

void PlatformTest::readPixelIsWhatTheWindowShows_data() {
    QTest::addColumn<Scene>("scene");
    QTest::newRow("background colour") << Scene::BackgroundColour;
    QTest::newRow("background picture") << Scene::BackgroundPicture;
    QTest::newRow("background picture past the surface") << Scene::LargeBackground;
    QTest::newRow("background picture with clear pixels") << Scene::TransparentBackground;
    QTest::newRow("grey background picture") << Scene::GreyBackground;
    QTest::newRow("visible picture area") << Scene::VisibleArea;
    QTest::newRow("hidden picture area") << Scene::HiddenArea;
    QTest::newRow("empty picture area") << Scene::EmptyArea;
    QTest::newRow("painted points") << Scene::Points;
}

void PlatformTest::readPixelIsWhatTheWindowShows() {
    QFETCH(Scene, scene);
    Window w;
    DrawingSurface& s = *w.surface;
    QCOMPARE(s.size(), QSize(298, 179));
    const QRgb background = qRgb(12, 34, 56);
    s.setBackgroundColour(value(background));
    const QRgb areaColour = qRgb(200, 100, 0);

    // Each scene says, independently of the composition, what some points show.
    QList<QPair<QPointF, QRgb>> expected{{{0, 0}, background}, {{15 * 297, 15 * 178}, background}};
    switch (scene) {
    case Scene::BackgroundColour:
        break;
    case Scene::BackgroundPicture:
        s.setBackgroundPicture(testing::picture_of(asymmetric(6, 5)));
        expected = {{{0, 0}, asymmetric_colour(0, 0)},
                    {{14.9f, 0}, asymmetric_colour(0, 0)},
                    {{15, 0}, asymmetric_colour(1, 0)},
                    {{15 * 5, 15 * 4}, asymmetric_colour(5, 4)},
                    {{15 * 6, 0}, background},
                    {{0, 15 * 5}, background}};
        break;
    case Scene::LargeBackground:
        s.setBackgroundPicture(testing::picture_of(asymmetric(400, 300)));
        expected = {{{15 * 297, 15 * 178}, asymmetric_colour(297, 178)}};
        break;
    case Scene::TransparentBackground: {
        QImage picture(3, 1, QImage::Format_ARGB32);
        picture.setPixel(0, 0, qRgba(0, 0, 0, 0));
        picture.setPixel(1, 0, qRgba(200, 150, 100, 255));
        picture.setPixel(2, 0, qRgba(255, 0, 255, 0));
        s.setBackgroundPicture(testing::picture_of(picture));
        expected = {{{0, 0}, background}, {{15, 0}, qRgb(200, 150, 100)}, {{30, 0}, background}};
        break;
    }
    case Scene::GreyBackground: {
        QImage picture(2, 1, QImage::Format_Grayscale8);
        picture.bits()[0] = 13;
        picture.bits()[1] = 250;
        s.setBackgroundPicture(testing::picture_of(picture));
        expected = {{{0, 0}, qRgb(13, 13, 13)}, {{15, 0}, qRgb(250, 250, 250)}, {{30, 0}, background}};
        break;
    }
    case Scene::VisibleArea:
    case Scene::HiddenArea:
    case Scene::EmptyArea: {
        s.setBackgroundPicture(testing::picture_of(asymmetric(6, 5)));
        PictureArea* area = &w.form.addPictureArea("area", 60, 60, 150, 150);
        if (scene != Scene::EmptyArea)
            area->setPicture(testing::picture_of(filled(3, 2, areaColour)));
        if (scene == Scene::HiddenArea)
            area->setVisible(false);
        // The area covers pixels 4 to 6 across and 4 to 5 down; the
        // background picture 0 to 5 across and 0 to 4 down.
        const bool shows = scene == Scene::VisibleArea;
        expected = {{{60, 60}, shows ? areaColour : asymmetric_colour(4, 4)},
                    {{75, 60}, shows ? areaColour : asymmetric_colour(5, 4)},
                    {{90, 75}, shows ? areaColour : background},
                    {{105, 60}, background},
                    {{60, 90}, background}};
        break;
    }
    case Scene::Points:
        s.setBackgroundPicture(testing::picture_of(asymmetric(6, 5)));
        s.setPixel(15, 15, value(qRgb(10, 13, 26)));
        s.setPixel(15 * 200, 15 * 100, value(qRgb(255, 255, 255)));
        s.setPixel(15 * 297, 15 * 178, value(qRgb(0, 0, 0)));
        s.setPixel(15 * 298, 0, value(qRgb(1, 1, 1)));  // past the edge: nothing
        expected = {{{15, 15}, qRgb(10, 13, 26)},
                    {{0, 15}, asymmetric_colour(0, 1)},
                    {{15 * 200, 15 * 100}, qRgb(255, 255, 255)},
                    {{15 * 297, 15 * 178}, qRgb(0, 0, 0)},
                    {{15 * 297, 0}, background}};
        break;
    }

    w.form.show();
    for (const auto& [point, colour] : expected)
        QCOMPARE(s.readPixel(point.x(), point.y()), value(colour));
    QCOMPARE(s.readPixel(15 * 298, 0), -1);
    QCOMPARE(s.readPixel(-1, 0), -1);
    QCOMPARE(shown_on_screen(&s), read_back(s));
}

void PlatformTest::paintedPointsSurviveExposeButNotRefresh() {
    Window w;
    DrawingSurface& s = *w.surface;
    s.setBackgroundPicture(testing::picture_of(asymmetric(20, 20)));
    const int painted = value(qRgb(10, 13, 26));
    w.form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w.form));
    s.setPixel(75, 75, painted);

    // Another widget laid over the surface and taken away again: the part
    // under it is painted anew, from what the surface keeps.
    QLabel cover(&w.form);
    cover.setAutoFillBackground(true);
    cover.setGeometry(s.geometry());
    cover.show();
    QCoreApplication::processEvents();
    cover.hide();
    QCoreApplication::processEvents();
    s.repaint();
    QCOMPARE(s.readPixel(75, 75), painted);
    QCOMPARE(shown_on_screen(&s).pixel(5, 5), platform::pixel_of(painted));

    s.refresh();
    QCOMPARE(s.readPixel(75, 75), value(asymmetric_colour(5, 5)));
    QCOMPARE(shown_on_screen(&s), read_back(s));

    s.setPixel(75, 75, painted);
    w.form.refresh();
    QCOMPARE(s.readPixel(75, 75), value(asymmetric_colour(5, 5)));
    QCOMPARE(shown_on_screen(&s), read_back(s));
}

void PlatformTest::paintedPointsGoWhereALayerChanges() {
    Window w;
    DrawingSurface& s = *w.surface;
    const QRgb background = qRgb(12, 34, 56);
    s.setBackgroundColour(value(background));
    PictureArea* area = &w.form.addPictureArea("area", 60, 60, 150, 150);
    area->setPicture(testing::picture_of(filled(10, 10, qRgb(200, 100, 0))));
    w.form.show();
    const int painted = value(qRgb(1, 2, 3));
    s.setPixel(90, 90, painted);      // on the area
    s.setPixel(15 * 50, 15, painted);  // away from it

    area->setVisible(false);
    QCOMPARE(s.readPixel(90, 90), value(background));
    QCOMPARE(s.readPixel(15 * 50, 15), painted);
    QCOMPARE(shown_on_screen(&s), read_back(s));
}

// The desktop's theme may change while the window is shown, from light to
// dark: the surface shows the window colour of the palette it has now.
void PlatformTest::backgroundFollowsThePalette() {
    Window w;
    DrawingSurface& s = *w.surface;
    w.form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w.form));
    QCOMPARE(s.readPixel(0, 0), value(w.form.palette().color(QPalette::Window).rgb()));

    QPalette dark = w.form.palette();
    dark.setColor(QPalette::Window, QColor(50, 50, 50));
    w.form.setPalette(dark);
    QCOMPARE(s.backgroundColour(), value(qRgb(50, 50, 50)));
    QCOMPARE(s.readPixel(15 * 297, 15 * 178), value(qRgb(50, 50, 50)));
    QCOMPARE(shown_on_screen(&s), read_back(s));

    // A colour of its own holds whatever the palette; without it, the palette's again.
    s.setBackgroundColour(platform::colour_value(160, 160, 160));
    w.form.setPalette(QPalette());
    QCOMPARE(s.readPixel(0, 0), value(qRgb(160, 160, 160)));
    s.setBackgroundColour(std::nullopt);
    w.form.setPalette(dark);
    QCOMPARE(s.readPixel(0, 0), value(qRgb(50, 50, 50)));
}

void PlatformTest::slotReadsPastTheEnd_data() {
    QTest::addColumn<int>("length");
    QTest::addColumn<QList<int>>("reads");  // the last one passes the end
    QTest::newRow("empty file") << 0 << QList<int>{1};
    QTest::newRow("short by one") << 10 << QList<int>{4, 4, 3};
    QTest::newRow("header cut short") << 63 << QList<int>{2, 2, 2, 4, 48, 3, 3};
    QTest::newRow("past the read buffer") << 70000 << QList<int>{65535, 10, 4000, 1, 1, 1, 452, 1};
}

void PlatformTest::slotReadsPastTheEnd() {
    QFETCH(int, length);
    QFETCH(QList<int>, reads);
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("short.zft"));
    QByteArray bytes(length, '\0');
    for (int i = 0; i < length; ++i)
        bytes[i] = static_cast<char>(i * 7 + i / 256);
    QVERIFY(write_file(path, bytes));

    FileSlot slot;
    slot.openForReading(path.toStdString());
    std::uint64_t at = 0;
    for (qsizetype i = 0; i + 1 < reads.size(); ++i) {
        const std::string chars = slot.readChars(reads[i]);
        QCOMPARE(QByteArray::fromStdString(chars), bytes.mid(at, reads[i]));
        at += reads[i];
        QCOMPARE(slot.bytesRead(), at);
    }
    QVERIFY(at + reads.back() > std::uint64_t(length));
    for (int again = 0; again < 2; ++again) {
        try {
            slot.readChars(reads.back());
            QFAIL("a read past the end gave bytes");
        } catch (const Failure& failure) {
            QCOMPARE(failure.kind(), Failure::Kind::EndOfFile);
            const QString message = QString::fromStdString(failure.message());
            QVERIFY2(message.contains(QDir::toNativeSeparators(path)), qPrintable(message));
            QVERIFY2(message.contains(QStringLiteral("after %1 bytes").arg(length)), qPrintable(message));
        }
        QCOMPARE(slot.bytesRead(), std::uint64_t(length));
    }
    QVERIFY(testing::held_open(path));
    QVERIFY(finished(slot.close()));
    QVERIFY(!testing::held_open(path));
    QVERIFY(finished(slot.close()));  // nothing open: nothing happens
}

void PlatformTest::slotCommitsOnlyOnClose() {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("out.zft"));
    const QByteArray old = "the file as it was";
    QVERIFY(write_file(path, old));

    FileSlot slot;
    slot.openForWriting(path.toStdString());
    // More than the write buffer, written a few bytes at a time.
    QByteArray written;
    for (int i = 0; i < 100000; ++i) {
        const char rgb[3] = {static_cast<char>(i), static_cast<char>(i >> 8), '\x1a'};
        slot.writer()->write(std::string_view(rgb, 3));
        written.append(rgb, 3);
    }
    QCOMPARE(contents(path), old);
    QCOMPARE(entries(dir.path()), QStringList{QStringLiteral("out.zft")});
    QVERIFY(finished(slot.close()));
    QVERIFY(!slot.writer());
    QCOMPARE(contents(path), written);
    QCOMPARE(entries(dir.path()), QStringList{QStringLiteral("out.zft")});
}

void PlatformTest::slotAbandonLeavesTargetAlone_data() {
    QTest::addColumn<bool>("existing");
    QTest::newRow("no file before") << false;
    QTest::newRow("a file before") << true;
}

void PlatformTest::slotAbandonLeavesTargetAlone() {
    QFETCH(bool, existing);
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("out.zft"));
    const QByteArray old = "the file as it was";
    if (existing)
        QVERIFY(write_file(path, old));
    const QStringList before = entries(dir.path());

    {
        FileSlot slot;
        slot.openForWriting(path.toStdString());
        slot.writer()->write(std::string(200000, 'x'));
        slot.abandon();
        QVERIFY(!slot.writer());
        QVERIFY(finished(slot.close()));  // nothing left to commit
    }
    QCOMPARE(entries(dir.path()), before);
    if (existing)
        QCOMPARE(contents(path), old);

    {
        // A slot that goes away unclosed commits nothing either.
        FileSlot slot;
        slot.openForWriting(path.toStdString());
        slot.writer()->write("half");
    }
    QCOMPARE(entries(dir.path()), before);
    if (existing)
        QCOMPARE(contents(path), old);
}

// Opening a pipe to read waits for a writer that never comes, and a finished
// file moved into a pipe's place would destroy it.
void PlatformTest::pipesAreRefusedNotWaitedOnOrReplaced() {
    QTemporaryDir dir;
    const QString pipe = dir.filePath(QStringLiteral("pipe.zft"));
    QCOMPARE(::mkfifo(QFile::encodeName(pipe).constData(), 0600), 0);
    auto message = [](auto&& attempt) {
        try {
            attempt();
        } catch (const Failure& failure) {
            return QString::fromStdString(failure.message());
        }
        return QString();
    };
    FileSlot slot;
    QVERIFY(message([&] { slot.openForReading(pipe.toStdString()); }).contains(QStringLiteral("not a regular file")));
    QVERIFY(message([&] { slot.openForWriting(pipe.toStdString()); }).contains(QStringLiteral("not a regular file")));
    QVERIFY(!slot.writer() && !testing::held_open(pipe));
    const QString refusal = message([&] { core::load_picture(core::system_files(), pipe.toStdString()); });
    QVERIFY(refusal.contains(pipe));
    QVERIFY(refusal.contains(QStringLiteral("not a regular file")));
    QVERIFY(QFileInfo(pipe).exists() && !QFileInfo(pipe).isFile());
}

void PlatformTest::fileDialogFilterIgnoresCase_data() {
    QTest::addColumn<platform::FileDialogMode>("mode");
    QTest::addColumn<QString>("filter");
    QTest::addColumn<QStringList>("files");
    QTest::addColumn<QStringList>("listed");

    QTest::newRow("open pictures") << platform::FileDialogMode::Open << QStringLiteral("*.JPG;*.GIF;*.BMP")
                                   << QStringList{"photo.jpg", "PHOTO.Jpg", "x.gif", "y.BMP", "notes.txt", "z.jpeg",
                                                  "w.JPE", "v.jfif", "u.jpgx", "t.png"}
                                   << QStringList{"PHOTO.Jpg", "photo.jpg", "v.jfif", "w.JPE", "x.gif", "y.BMP", "z.jpeg"};
    QTest::newRow("save ZFT") << platform::FileDialogMode::Save << QStringLiteral("*.ZFT")
                              << QStringList{"a.zft", "B.ZFT", "c.Zft", "d.txt", "zft"}
                              << QStringList{"B.ZFT", "a.zft", "c.Zft"};
}

void PlatformTest::fileDialogFilterIgnoresCase() {
    QFETCH(platform::FileDialogMode, mode);
    QFETCH(QString, filter);
    QFETCH(QStringList, files);
    QFETCH(QStringList, listed);
    QTemporaryDir dir;
    for (const QString& name : files)
        QVERIFY(write_file(dir.filePath(name), "x"));

    QFileDialog dialog;
    platform::qt::configure_file_dialog(dialog, mode, QStringLiteral("A title"), filter);
    dialog.setDirectory(dir.path());
    dialog.show();
    QCOMPARE(dialog.windowTitle(), QStringLiteral("A title"));
    QCOMPARE(dialog.acceptMode(),
             mode == platform::FileDialogMode::Open ? QFileDialog::AcceptOpen : QFileDialog::AcceptSave);
    // The filter's box shows the filter as given; an existing name is taken without a question.
    auto* types = dialog.findChild<QComboBox*>(QStringLiteral("fileTypeCombo"));
    QVERIFY(types);
    QCOMPARE(types->currentText(), filter);
    QVERIFY(dialog.testOption(QFileDialog::DontConfirmOverwrite));

    auto* view = dialog.findChild<QListView*>(QStringLiteral("listView"));
    QVERIFY(view);
    auto shown = [&] {
        QStringList names;
        const QAbstractItemModel* model = view->model();
        for (int row = 0; row < model->rowCount(view->rootIndex()); ++row)
            names << model->index(row, 0, view->rootIndex()).data().toString();
        names.sort();
        return names;
    };
    QTRY_COMPARE_WITH_TIMEOUT(shown(), listed, 10000);
}

void PlatformTest::fileDialogOpensInTheLastFolder() {
    QStandardPaths::setTestModeEnabled(true);
    QTemporaryDir last;
    // As an earlier run's dialog left it when it closed.
    QSettings(QSettings::UserScope, QStringLiteral("QtProject"))
        .setValue(QStringLiteral("FileDialog/lastVisited"), QUrl::fromLocalFile(last.path()));
    QFileDialog dialog;
    platform::qt::configure_file_dialog(dialog, platform::FileDialogMode::Open, QStringLiteral("A title"),
                                    QStringLiteral("*.ZFT"));
    QCOMPARE(dialog.directory().absolutePath(), QDir(last.path()).absolutePath());
}

// A name typed with its folder may not take the dialog there; the next one
// opens where that file was.
void PlatformTest::fileDialogRemembersTheChosenFolder() {
    QStandardPaths::setTestModeEnabled(true);
    QTemporaryDir shown;
    QTemporaryDir other;
    const QString chosen = other.filePath(QStringLiteral("chosen.zft"));
    QVERIFY(write_file(chosen, "x"));
    QSettings settings(QSettings::UserScope, QStringLiteral("QtProject"));
    settings.setValue(QStringLiteral("FileDialog/lastVisited"), QUrl::fromLocalFile(shown.path()));
    settings.sync();
    Window w;
    w.form.show();
    platform::qt::QtPrompts prompts;
    prompts.setParent(&w.form);

    QTimer typist;
    QObject::connect(&typist, &QTimer::timeout, [&] {
        auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
        auto* name = dialog ? dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit")) : nullptr;
        if (!name || !dialog->isActiveWindow())
            return;
        typist.stop();
        name->setText(chosen);
        QTest::keyClick(name, Qt::Key_Return);
    });
    typist.start(10);
    QCOMPARE(prompts.fileDialog(platform::FileDialogMode::Open, "A title", "*.ZFT", {}).take(),
             std::optional<std::string>(chosen.toStdString()));

    QFileDialog next;
    platform::qt::configure_file_dialog(next, platform::FileDialogMode::Open, QStringLiteral("A title"),
                                    QStringLiteral("*.ZFT"));
    QCOMPARE(next.directory().absolutePath(), QDir(other.path()).absolutePath());
}

void PlatformTest::placeInside_data() {
    QTest::addColumn<QRect>("window");
    QTest::addColumn<QRect>("area");
    QTest::addColumn<QPoint>("placed");
    // An area below a panel of 30 pixels, as a desktop's available area is.
    const QRect area(0, 30, 800, 570);
    QTest::newRow("inside") << QRect(100, 100, 261, 230) << area << QPoint(100, 100);
    QTest::newRow("touching the bottom-right corner") << QRect(539, 370, 261, 230) << area << QPoint(539, 370);
    QTest::newRow("past the bottom-right corner") << QRect(700, 500, 261, 230) << area << QPoint(539, 370);
    QTest::newRow("one pixel past the right") << QRect(540, 100, 261, 230) << area << QPoint(539, 100);
    QTest::newRow("under the panel") << QRect(-20, 10, 261, 230) << area << QPoint(0, 30);
    QTest::newRow("wider than the area") << QRect(300, 100, 1010, 230) << area << QPoint(0, 100);
    QTest::newRow("taller than the area") << QRect(300, 100, 261, 1029) << area << QPoint(300, 30);
    QTest::newRow("larger than the area") << QRect(700, 500, 1010, 1029) << area << QPoint(0, 30);
    QTest::newRow("on a second screen") << QRect(1500, 700, 261, 230) << QRect(800, 0, 1024, 768)
                                        << QPoint(1500, 538);
}

void PlatformTest::placeInside() {
    QFETCH(QRect, window);
    QFETCH(QRect, area);
    QFETCH(QPoint, placed);
    QCOMPARE(platform::qt::place_inside(window, area), placed);
}

void PlatformTest::pictureAreaDragsItsWindow_data() {
    QTest::addColumn<QPoint>("pressed");  // pixels on the surface
    QTest::addColumn<QPoint>("moved");    // by the pointer before the release
    QTest::addColumn<QPoint>("windowMoved");
    const int short_of_drag = QApplication::startDragDistance() - 1;
    QTest::newRow("click") << QPoint(10, 10) << QPoint(0, 0) << QPoint(0, 0);
    QTest::newRow("short of the drag distance") << QPoint(10, 10) << QPoint(short_of_drag, 0) << QPoint(0, 0);
    QTest::newRow("drag") << QPoint(10, 10) << QPoint(40, -25) << QPoint(40, -25);
    QTest::newRow("drag from beside the area") << QPoint(150, 10) << QPoint(40, 25) << QPoint(0, 0);
}

// The offscreen platform has no interactive move: the window follows the
// pointer, as it does on X11 without a window manager.
void PlatformTest::pictureAreaDragsItsWindow() {
    QFETCH(QPoint, pressed);
    QFETCH(QPoint, moved);
    QFETCH(QPoint, windowMoved);
    Window w;
    // Pixels 4 to 103 across and down on the surface.
    w.form.addPictureArea("area", 60, 60, 1500, 1500).setDragsWindow(true);
    w.form.move(200, 150);
    w.form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w.form));
    const QPoint before = w.form.pos();
    const QPoint at = pressed + QPoint(4, 4);

    QTest::mousePress(w.surface, Qt::LeftButton, {}, at);
    if (!moved.isNull())
        QTest::mouseMove(w.surface, at + moved);
    // The release where the pointer now is, on the surface that moved with it.
    QTest::mouseRelease(w.surface, Qt::LeftButton, {}, at + moved - (w.form.pos() - before));

    QCOMPARE(w.form.pos() - before, windowMoved);
    // Pressed again and released, the window stays where the drag left it.
    const QPoint after = w.form.pos();
    QTest::mouseClick(w.surface, Qt::LeftButton, {}, at);
    QCOMPARE(w.form.pos(), after);
}

void PlatformTest::boxesGiveTheKeyboardBack_data() {
    QTest::addColumn<QString>("box");
    QTest::newRow("message box") << QStringLiteral("message");
    QTest::newRow("input box") << QStringLiteral("input");
    QTest::newRow("file dialog") << QStringLiteral("file");
}

// The real boxes, closed with Escape as a person would.
void PlatformTest::boxesGiveTheKeyboardBack() {
    QFETCH(QString, box);
    Window w;
    w.form.show();
    w.form.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&w.form));
    platform::qt::QtPrompts prompts;
    prompts.setParent(&w.form);

    bool closed = false;
    QTimer closer;
    QObject::connect(&closer, &QTimer::timeout, [&] {
        QWidget* open = QApplication::activeModalWidget();
        if (!open || open == &w.form || !open->isActiveWindow())
            return;
        QTest::keyClick(open, Qt::Key_Escape);
        closed = true;
        closer.stop();
    });
    closer.start(10);
    if (box == QStringLiteral("message"))
        QVERIFY(finished(prompts.messageBox("Text", platform::MessageStyle::Question, "Title")));
    else if (box == QStringLiteral("input"))
        QCOMPARE(prompts.inputBox("Prompt", "Title").take(), std::string());
    else
        QCOMPARE(prompts.fileDialog(platform::FileDialogMode::Open, "Title", "*.ZFT", {}).take(), std::nullopt);
    QVERIFY(closed);

    QTRY_COMPARE_WITH_TIMEOUT(QApplication::activeWindow(), &w.form, 5000);
}

// The order of a box's buttons as a platform theme gives it: GTK's puts
// Cancel and No first.
class ButtonOrder : public QProxyStyle {
public:
    explicit ButtonOrder(QDialogButtonBox::ButtonLayout layout) : QProxyStyle(QStringLiteral("fusion")), layout_(layout) {}
    int styleHint(StyleHint hint, const QStyleOption* option, const QWidget* widget,
                  QStyleHintReturn* returnData) const override {
        if (hint == SH_DialogButtonLayout)
            return layout_;
        return QProxyStyle::styleHint(hint, option, widget, returnData);
    }

private:
    QDialogButtonBox::ButtonLayout layout_;
};

void PlatformTest::boxesAnswerReturnWithTheirFirstButton_data() {
    QTest::addColumn<QDialogButtonBox::ButtonLayout>("order");
    QTest::addColumn<platform::MessageStyle>("style");
    QTest::addColumn<int>("key");
    QTest::addColumn<platform::Answer>("answer");
    using platform::Answer;
    using platform::MessageStyle;
    const std::pair<const char*, QDialogButtonBox::ButtonLayout> orders[] = {
        {"Windows", QDialogButtonBox::WinLayout}, {"KDE", QDialogButtonBox::KdeLayout},
        {"GNOME", QDialogButtonBox::GnomeLayout}};
    for (const auto& [name, order] : orders) {
        QTest::addRow("%s, Yes/No, Return", name) << order << MessageStyle::Question << int(Qt::Key_Return) << Answer::Yes;
        QTest::addRow("%s, Yes/No, Escape", name) << order << MessageStyle::Question << int(Qt::Key_Escape) << Answer::No;
        QTest::addRow("%s, OK/Cancel, Return", name) << order << MessageStyle::Stop << int(Qt::Key_Return) << Answer::Ok;
        QTest::addRow("%s, OK/Cancel, Escape", name) << order << MessageStyle::Stop << int(Qt::Key_Escape) << Answer::Cancel;
        QTest::addRow("%s, OK, Escape", name) << order << MessageStyle::Exclamation << int(Qt::Key_Escape) << Answer::Ok;
    }
}

// Keys go where a keyboard sends them, to the widget that has the focus.
void PlatformTest::boxesAnswerReturnWithTheirFirstButton() {
    QFETCH(QDialogButtonBox::ButtonLayout, order);
    QFETCH(platform::MessageStyle, style);
    QFETCH(int, key);
    QFETCH(platform::Answer, answer);
    QApplication::setStyle(new ButtonOrder(order));
    Window w;
    w.form.show();
    platform::qt::QtPrompts prompts;
    prompts.setParent(&w.form);

    bool pressed = false;
    QTimer presser;
    QObject::connect(&presser, &QTimer::timeout, [&] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (!box || !box->isActiveWindow() || !QApplication::focusWidget())
            return;
        QTest::keyClick(QApplication::focusWidget(), Qt::Key(key));
        pressed = true;
        presser.stop();
    });
    presser.start(10);
    const platform::Answer given = prompts.messageBox("Text", style, "Title").take();
    QApplication::setStyle(QStringLiteral("fusion"));
    QVERIFY(pressed);
    QCOMPARE(given, answer);
}

QTEST_MAIN(PlatformTest)
#include "tst_platform.moc"
