// The intro window `introscreen`: the first window of the program, a small
// grey window with the logo, the format's long name and the author notice.
// A click anywhere on it (the click area `intro` lies in front of it all)
// closes it for good and shows the main window, modal, until that closes.
#pragma once

#include <memory>
#include <string>

#include "platform/async.h"
#include "platform/window.h"

namespace shell {

class MainScreen;

class IntroScreen {
public:
    // `main` is the window that the click opens; it is neither loaded nor
    // shown before then. A `file` the program was opened with is opened
    // once it is shown (see show_mainscreen).
    explicit IntroScreen(MainScreen& main, std::string file = {});
    IntroScreen(const IntroScreen&) = delete;
    IntroScreen& operator=(const IntroScreen&) = delete;

    MainScreen& main;
    std::unique_ptr<platform::Window> window;
    platform::PictureArea* Image1;
    // Between them, made on the window and reached through it alone: the
    // labels "Label1(0)" to "Label1(2)", 0 at the top, with the long name,
    // and "Label2" with the notice.
    platform::ClickArea* intro;

    // Centred on the screen, not modal; the program waits for the click.
    void show();

    // A file given once the program runs (a browser hands an installed
    // page the file it was opened with after the page has started): opened
    // after the click as a file given to the constructor is, or at once
    // when the main window shows already, as a menu command runs (refused
    // with a beep while another runs).
    void open(std::string file);

private:
    std::string file_;
    bool clicked_ = false;

    friend platform::Async<void> intro_click(IntroScreen& s);
};

// The click on `intro`: the intro window goes, the main window is loaded and
// shown modal (opening the file the program was given, if any), and when
// it has closed the program ends.
platform::Async<void> intro_click(IntroScreen& s);

}  // namespace shell
