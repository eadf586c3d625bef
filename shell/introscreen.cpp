#include "shell/introscreen.h"

#include "shell/mainscreen.h"

namespace shell {
namespace {

// The client area is 3870 × 5025 twips inside a one-pixel frame.
constexpr float kWidth = 3870 + 2 * platform::kFramePixels * platform::kTwipsPerPixel;
constexpr float kHeight = 5025 + 2 * platform::kFramePixels * platform::kTwipsPerPixel;

}  // namespace

IntroScreen::IntroScreen(MainScreen& main, QString file)
    : main(main), window(QStringLiteral("introscreen"), false), file_(std::move(file)) {
    window.setSizeTwips(kWidth, kHeight);
    // For assistive technologies only: the window system is told no name.
    window.setAccessibleName(QStringLiteral("ZFT Toolkit"));
    platform::DrawingSurface* surface = window.surface();
    surface->setBackgroundColour(QColor(160, 160, 160));

    Image1 = new platform::PictureArea(surface, QStringLiteral("Image1"), 60, 60, 3750, 3000);
    Image1->setPicture(load_logo());
    Image1->setAccessibleName(QStringLiteral("logo"));

    const QFont title = platform::font_named(QStringLiteral("MS Sans Serif"), 18, true);
    constexpr float kTitleTops[3] = {3120, 3540, 4020};
    for (int i = 0; i < 3; ++i) {
        Label1[i] = new platform::Label(surface, QStringLiteral("Label1"), 120, kTitleTops[i], 3675, 495, title,
                                        kLongName[i]);
        Label1[i]->setProperty("index", i);
    }
    Label2 = new platform::Label(surface, QStringLiteral("Label2"), 120, 4620, 3735, 315,
                                 platform::font_named(QStringLiteral("MS Sans Serif"), 9.75, false), kAuthorNotice);

    // Last, so that it lies in front of the logo and the labels. It leaves
    // the right-most pixel column and the two bottom pixel rows uncovered.
    intro = new platform::ClickArea(surface, QStringLiteral("intro"), 0, 0, 3855, 4995);
    intro->setOnClick([this] { intro_click(*this); });
    // Keys do nothing here; a screen reader or switch access presses it.
    intro->setAccessibleName(QStringLiteral("Start"));

    // Closed before its click, the intro leaves no window behind: the
    // program ends.
    window.setCloseGuard([this] {
        if (!clicked_)
            platform::end_program();
        return true;
    });
}

void IntroScreen::show() {
    // No caption and no icon: it is no window to pick from a taskbar.
    window.makeNameless();
    window.centre();
    window.show();
}

void intro_click(IntroScreen& s) {
    if (s.clicked_)
        return;
    s.clicked_ = true;
    s.window.discard();
    show_mainscreen(s.main, s.file_);
    platform::end_program();
}

}  // namespace shell
