#include "platform/qt/qt_toolkit.h"

#include <QApplication>

#include "core/decoding.h"
#include "platform/qt/background.h"

namespace platform::qt {

QIcon program_icon() { return QIcon(QStringLiteral(":/assets/icon.png")); }

std::unique_ptr<Window> QtToolkit::makeWindow(const std::string& name, bool withMenuBar) {
    auto form = std::make_unique<Form>(name, withMenuBar);
    form->setWindowIcon(program_icon());
    return form;
}

void QtToolkit::pumpEvents() { QCoreApplication::processEvents(); }

void QtToolkit::beep() { QApplication::beep(); }

void QtToolkit::endProgram() {
    for (QWidget* window : QApplication::topLevelWidgets())
        window->hide();
    QCoreApplication::exit(0);
}

Async<core::Picture> QtToolkit::decodePicture(core::Files& files, const std::string& path, core::Argb background,
                                              std::optional<core::Size> within) {
    co_return in_background([&] {
        return within ? core::load_picture_within(files, path, *within, background)
                      : core::load_picture(files, path, background);
    });
}

}  // namespace platform::qt
