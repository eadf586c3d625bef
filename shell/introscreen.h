// The intro window `introscreen`: the first window of the program, a small
// grey window with the logo, the format's long name and the author notice.
// A click anywhere on it (the click area `intro` lies in front of it all)
// closes it for good and shows the main window, modal, until that closes.
#pragma once

#include <QString>
#include <array>

#include "platform/click_area.h"
#include "platform/form.h"
#include "platform/label.h"
#include "platform/picture_area.h"

namespace shell {

class MainScreen;

// The words of the intro window, one per label: the long name, one word to
// a label of `Label1`, the last with the edition tag; then the notice.
inline const std::array<QString, 3> kLongName = {QStringLiteral("Zero"), QStringLiteral("Fuss"),
                                                 QStringLiteral("Truecolour (SP1)")};
inline const QString kAuthorNotice = QStringLiteral("Made by the ZFT Toolkit team");

class IntroScreen {
public:
    // `main` is the window that the click opens; it is neither loaded nor
    // shown before then. A `file` the program was opened with is opened
    // once it is shown (see show_mainscreen).
    explicit IntroScreen(MainScreen& main, QString file = {});
    IntroScreen(const IntroScreen&) = delete;
    IntroScreen& operator=(const IntroScreen&) = delete;

    MainScreen& main;
    platform::Form window;
    platform::PictureArea* Image1;
    // One group told apart by index, 0 at the top; each label's objectName is
    // "Label1" and its "index" property the index.
    std::array<platform::Label*, 3> Label1;
    platform::Label* Label2;
    platform::ClickArea* intro;

    // Centred on the screen, not modal; the program waits for the click.
    void show();

private:
    QString file_;
    bool clicked_ = false;

    friend void intro_click(IntroScreen& s);
};

// The click on `intro`: the intro window goes, the main window is loaded and
// shown modal (opening the file the program was given, if any), and when
// it has closed the program ends.
void intro_click(IntroScreen& s);

}  // namespace shell
