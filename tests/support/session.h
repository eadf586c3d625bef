// A main window as the program has it after loading, shown on the offscreen
// screen, with the answers of one scripted user, a folder for its files and
// the faults its disk is to have.
#pragma once

#include <QByteArray>
#include <QString>
#include <QTemporaryDir>

#include "platform/surface.h"
#include "shell/mainscreen.h"
#include "tests/support/faulty_files.h"
#include "tests/support/scripted_prompts.h"

namespace testing {

struct Session {
    QTemporaryDir dir;
    ScriptedPrompts prompts;
    FaultyFiles files;
    shell::MainScreen w{prompts, files};

    Session();

    platform::DrawingSurface& surface() { return *w.window.surface(); }

    // Writes `bytes` to `name` in the folder and gives its path; a fixture
    // that cannot be written ends the test program.
    QString write(const QString& name, const QByteArray& bytes);

    // The prompts that came with no answer in line, one a line.
    QString unexpected() const;
};

}  // namespace testing
