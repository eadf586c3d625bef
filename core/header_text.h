// Header text between the user's characters and the file's bytes: one
// Windows-1252 byte a character. The user's side is UTF-8.
#pragma once

#include <array>
#include <string>
#include <string_view>

#include "format/zft_format.h"

namespace core {

// The notice as the file stores it, one byte per character as the user sees
// it (a letter with its accents is one, however it was typed); a character
// the set cannot represent becomes "?". Not yet trimmed, cut or padded.
std::string notice_bytes(std::string_view utf8);

// The character of UTF-8 `text` that starts at byte `at` (< text.size()),
// put in `c`: gives its length in bytes, or 0 when the bytes there are no
// well-formed UTF-8.
std::size_t utf8_character(std::string_view text, std::size_t at, char32_t& c);

// Header bytes as the user reads them, in UTF-8.
std::string header_text(std::string_view bytes);

// The header as the previewer shows it, three lines as the user reads them:
//   Version=1A - Creationdate=09/03/2004
//   width=065 - height=007
//   Copyright notification=<the 48 characters of the notice>
std::array<std::string, 3> header_summary(const zft::ZftHeader& header);

// What the editors' and scripting hosts show of a header and take for one:
// the notice as the user reads it, without its padding, and the creation
// date as "YYYY-MM-DD", from the header's digits as they stand.
std::string notice_text(const zft::ZftHeader& header);
std::string iso_date(const zft::ZftHeader& header);

struct Date {
    int month = 1;
    int day = 1;
    int year = 1;
};

// Today's local calendar date.
Date today();

// A creation date as a writer takes it: what a ZFT file's header can hold
// and every reader accepts back, month 1 to 12, day 1 to 31 and year 0 to
// 9999, so that any file read can be saved again with its own date (a
// 02/31 among them). Written "MM/DD/YYYY" (month and day of one or two
// digits) or "YYYY-MM-DD", as iso_date() gives it. Throws Failure
// (Unsupported, not yet said of a file) for anything else.
Date parse_date(std::string_view text);

}  // namespace core
