// The platform in Qt Widgets, on the desktop: its windows are Forms, their
// events Qt's, pictures are decoded on a thread of Qt's pool.
#pragma once

#include <QIcon>

#include "platform/qt/click_area.h"
#include "platform/qt/form.h"
#include "platform/qt/picture_area.h"
#include "platform/toolkit.h"

namespace platform::qt {

class QtToolkit final : public Toolkit {
public:
    // Each window shows the program's icon, unless it is made nameless.
    std::unique_ptr<Window> makeWindow(const std::string& name, bool withMenuBar) override;
    void pumpEvents() override;
    void beep() override;
    // With exit status 0.
    void endProgram() override;
    // Waits in place, the windows painted and answering meanwhile, and gives
    // the answer at hand.
    Async<core::Picture> decodePicture(core::Files& files, const std::string& path, core::Argb background,
                                       std::optional<core::Size> within) override;
};

// The program's icon (assets/icon.png), built into it.
QIcon program_icon();

// The widgets behind a window and what lies on it, which the Qt main and
// the tests reach; nothing else needs them.
inline Form& widget_of(Window& window) { return dynamic_cast<Form&>(window); }
inline PictureAreaWidget& widget_of(PictureArea& area) { return dynamic_cast<PictureAreaWidget&>(area); }
inline ClickAreaWidget& widget_of(ClickArea& area) { return dynamic_cast<ClickAreaWidget&>(area); }

}  // namespace platform::qt
