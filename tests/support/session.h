// A main window as the program has it after loading, shown on the offscreen
// screen, with the answers of one scripted user, a folder for its files and
// the faults its disk is to have.
#pragma once

#include <QByteArray>
#include <QImage>
#include <QString>
#include <QTemporaryDir>
#include <QWidget>

#include "platform/qt/qt_toolkit.h"
#include "shell/mainscreen.h"
#include "tests/support/faulty_files.h"
#include "tests/support/scripted_prompts.h"

namespace testing {

// What the window system is given to show for `widget` and its children.
inline QImage shown_on_screen(QWidget& widget) {
    return widget.grab().toImage().convertToFormat(QImage::Format_RGB32);
}

// A command that does nothing at once: whether MainScreen::run takes one.
platform::Async<void> nothing(shell::MainScreen&);

struct Session {
    QTemporaryDir dir;
    platform::qt::QtToolkit toolkit;
    ScriptedPrompts prompts;
    FaultyFiles files;
    shell::MainScreen w{toolkit, prompts, files};

    Session();

    // The widgets behind the main window.
    platform::qt::Form& window() { return platform::qt::widget_of(*w.window); }
    platform::qt::DrawingSurface& surface() { return window().surface(); }
    platform::qt::PictureAreaWidget& beeld() { return platform::qt::widget_of(*w.beeld); }

    // Writes `bytes` to `name` in the folder and gives its path; a fixture
    // that cannot be written ends the test program.
    QString write(const QString& name, const QByteArray& bytes);

    // The prompts that came with no answer in line, one a line.
    QString unexpected() const;

    // Runs the previewer on `path` as from the menu, every box answered, and
    // says what it did as the conformance corpus says it (support/outcome.h):
    // what it painted, read back from the window, and whether it told of an
    // end of file, with whatever else was wrong after it. Where `expected`
    // paints N of W × H pixels, N are read back and the rest must show the
    // window's background.
    QString preview(const QString& path, const QString& expected);
};

}  // namespace testing
