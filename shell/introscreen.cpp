#include "shell/introscreen.h"

#include "platform/units.h"
#include "shell/mainscreen.h"

namespace shell {
namespace {

// The client area is 3870 × 5025 twips inside a one-pixel frame.
constexpr float kWidth = 3870 + 2 * platform::kFramePixels * platform::kTwipsPerPixel;
constexpr float kHeight = 5025 + 2 * platform::kFramePixels * platform::kTwipsPerPixel;

}  // namespace

IntroScreen::IntroScreen(MainScreen& main, std::string file)
    : main(main), window(main.toolkit.makeWindow("introscreen", false)), file_(std::move(file)) {
    window->setSizeTwips(kWidth, kHeight);
    // For assistive technologies only: the window system is told no name.
    window->setAccessibleName(kProgramName);
    window->surface().setBackgroundColour(platform::colour_value(160, 160, 160));

    Image1 = &window->addPictureArea("Image1", 60, 60, 3750, 3000);
    Image1->setPicture(load_logo());
    Image1->setAccessibleName(kLogoName);

    const platform::Font title{"MS Sans Serif", 18, true};
    constexpr float kTitleTops[3] = {3120, 3540, 4020};
    for (int i = 0; i < 3; ++i)
        window->addLabel("Label1(" + std::to_string(i) + ")", 120, kTitleTops[i], 3675, 495, title, kLongName[i]);
    window->addLabel("Label2", 120, 4620, 3735, 315, {"MS Sans Serif", 9.75f, false}, kAuthorNotice);

    // Last, so that it lies in front of the logo and the labels. It leaves
    // the right-most pixel column and the two bottom pixel rows uncovered.
    intro = &window->addClickArea("intro", 0, 0, 3855, 4995);
    intro->setOnClick([this] { intro_click(*this); });
    // Keys do nothing here; a screen reader or switch access presses it.
    intro->setAccessibleName(kStart);

    // Closed before its click, the intro leaves no window behind: the
    // program ends.
    window->setCloseGuard([this] {
        if (!clicked_)
            this->main.toolkit.endProgram();
        return true;
    });
}

void IntroScreen::show() {
    // No caption and no icon: it is no window to pick from a taskbar.
    window->makeNameless();
    window->centre();
    window->show();
}

void IntroScreen::open(std::string file) {
    if (!clicked_) {
        file_ = std::move(file);
        return;
    }
    main.run([file = std::move(file)](MainScreen& w) { return open_file(w, file); });
}

platform::Async<void> intro_click(IntroScreen& s) {
    if (s.clicked_)
        co_return;
    s.clicked_ = true;
    s.window->discard();
    co_await show_mainscreen(s.main, s.file_);
    s.main.toolkit.endProgram();
}

}  // namespace shell
