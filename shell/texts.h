// Every text the program shows, each written once: the boxes' texts and
// titles, the file dialogs' titles and filters, the menus, the intro's words
// and the names assistive technologies are told. UTF-8; line breaks in a
// box's text are CR LF.
#pragma once

#include <array>
#include <string>
#include <string_view>

namespace shell {

// The title of every message box and of the input box.
inline const std::string kTitle = "ZFT Toolkit - SP1";

// The windows' name, told to assistive technologies only: the windows have
// no title bar, and the window system is told no name.
inline const std::string kProgramName = "ZFT Toolkit";

// The menus of the main window. "&" marks the access key.
inline const std::string kFileMenu = "&File";
inline const std::string kPreviewItem = "&Preview ZFT-file";
inline const std::string kConvertItem = "&Convert JPG/GIF/BMP file";
inline const std::string kExitItem = "&Exit ZFT toolkit";
inline const std::string kHelpMenu = "&Help";
inline const std::string kAboutItem = "&About ZFT toolkit ...";
inline const std::string kAboutShortcut = "F1";

// Help > About, and File > Exit.
inline const std::string kAbout =
    "ZFT Toolkit SP1, written by the ZFT Toolkit developers.\r\n"
    "Questions and bug reports: the ZFT Toolkit project's issue tracker.";
inline const std::string kQuit = "Are you sure you want to quit ZFT Toolkit ?";

// The converter's dialogs and boxes.
inline const std::string kSourceFilter = "*.JPG;*.GIF;*.BMP";
inline const std::string kSourceTitle = "Select a file to convert ...";
inline const std::string kZftFilter = "*.ZFT";
inline const std::string kTargetTitle = "Select a filename to save ...";
inline const std::string kConfirmation = "Click <OK> to start convertion (this can take a moment)";
inline const std::string kNoticePrompt = "Please enter Copyright notice (max. 48 chars)";
inline const std::string kSuccess = "Conversion succesfull !";

// The offer that follows the refusal of a picture too large for a ZFT file.
inline std::string reduce_offer(const std::string& refusal, int width, int height) {
    return refusal + "\r\n\r\nReduce it to " + std::to_string(width) + " × " + std::to_string(height) + " pixels?";
}

// The previewer's dialog.
inline const std::string kPreviewTitle = "Select a file to preview ...";

// The intro's words, one per label of `Label1`, the last with the edition
// tag, then the notice of `Label2`.
inline const std::array<std::string, 3> kLongName = {"Zero", "Fuss", "Truecolour (SP1)"};
inline const std::string kAuthorNotice = "Made by the ZFT Toolkit team";

// What assistive technologies are told a picture area shows, and the
// intro's button.
inline const std::string kLogoName = "logo";
inline std::string picture_name(std::string_view file, int width, int height) {
    return std::string(file) + ", " + std::to_string(width) + " × " + std::to_string(height) + " pixels";
}
inline const std::string kStart = "Start";

}  // namespace shell
