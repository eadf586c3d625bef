#include <QApplication>
#include <QIcon>

#include "platform/prompts.h"
#include "shell/introscreen.h"
#include "shell/mainscreen.h"

// The program takes no command line: QApplication takes the options of the
// window system (-display, -platform and the like) and anything else is let be.
int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/assets/icon.png")));
    // The intro's click decides when the program ends; the moment between the
    // intro closing and the main window showing has no window and is no end.
    QApplication::setQuitOnLastWindowClosed(false);

    platform::QtPrompts prompts;
    shell::MainScreen w(prompts);
    prompts.setParent(&w.window);
    shell::IntroScreen intro(w);
    intro.show();
    return app.exec();
}
