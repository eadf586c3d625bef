#include <QApplication>
#include <QIcon>

#include "platform/prompts.h"
#include "shell/mainscreen.h"

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/assets/icon.png")));
    platform::QtPrompts prompts;
    shell::MainScreen w(prompts);
    prompts.setParent(&w.window);
    shell::load_mainscreen(w);
    w.window.show();
    return app.exec();
}
