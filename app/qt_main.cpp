// The desktop program: Qt Widgets under the shell's windows.
#include <QApplication>
#include <QFile>
#include <cstdio>
#include <cstring>

#include "platform/qt/qt_prompts.h"
#include "platform/qt/qt_toolkit.h"
#include "shell/introscreen.h"
#include "shell/mainscreen.h"

namespace {

constexpr const char* kHelp =
    "Usage: zft-toolkit [FILE]\n"
    "Converts JPG, GIF and BMP pictures to ZFT picture files and previews ZFT\n"
    "files, in a window. The program starts with its intro window; a click on\n"
    "it opens the main window. Given a picture (JPG, GIF, BMP, PNG), the main\n"
    "window then converts it as File > Convert JPG/GIF/BMP file does, asking\n"
    "where to save it; given a ZFT file, it previews it as File > Preview\n"
    "ZFT-file does.\n"
    "\n"
    "  -h, --help     show this help and exit\n"
    "      --version  show the version and exit\n"
    "\n"
    "Qt's options for the window system (-display, -platform and others) are\n"
    "taken as in every Qt program. 'zft' converts and inspects without a window.\n";

// The program's own arguments, once Qt has taken its options: at most one
// file, the one a file manager's "Open With" passes. Sets `file`, or says
// what is wrong and gives false.
bool file_to_open(const QStringList& arguments, QString& file) {
    QStringList files;
    bool options = true;
    for (const QString& argument : arguments) {
        if (options && argument == QLatin1String("--")) {
            options = false;
        } else if (options && argument.startsWith(QLatin1Char('-')) && argument.size() > 1) {
            std::fprintf(stderr, "zft-toolkit: unknown option '%s'\nTry 'zft-toolkit --help'.\n", qPrintable(argument));
            return false;
        } else {
            files << argument;
        }
    }
    if (files.size() > 1 || (files.size() == 1 && files.front().isEmpty())) {
        std::fprintf(stderr, "zft-toolkit: give one file at most\nTry 'zft-toolkit --help'.\n");
        return false;
    }
    file = files.value(0);
    return true;
}

}  // namespace

int main(int argc, char* argv[]) {
    // Answered before Qt looks for a display: they need none.
    for (int i = 1; i < argc && std::strcmp(argv[i], "--") != 0; ++i) {
        if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
            std::fputs(kHelp, stdout);
            return 0;
        }
        if (std::strcmp(argv[i], "--version") == 0) {
            std::fputs("zft-toolkit " ZFT_VERSION "\n", stdout);
            return 0;
        }
    }
    QApplication app(argc, argv);
    QString file;
    if (!file_to_open(QCoreApplication::arguments().mid(1), file))
        return 2;
    QApplication::setWindowIcon(platform::qt::program_icon());
    // The intro's click decides when the program ends; the moment between the
    // intro closing and the main window showing has no window and is no end.
    QApplication::setQuitOnLastWindowClosed(false);

    platform::qt::QtToolkit toolkit;
    platform::qt::QtPrompts prompts;
    shell::MainScreen w(toolkit, prompts);
    prompts.setParent(&platform::qt::widget_of(*w.window));
    shell::IntroScreen intro(w, QFile::encodeName(file).toStdString());
    intro.show();
    return app.exec();
}
