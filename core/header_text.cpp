#include "core/header_text.h"

#include <unicode/ubrk.h>
#include <unicode/unorm2.h>

#include <ctime>
#include <optional>
#include <vector>

#include "core/failure.h"
#include "format/cp1252.h"

namespace core {
namespace {

// The code points of UTF-8 text; a malformed sequence is one U+FFFD.
std::u32string decode_utf8(std::string_view text) {
    std::u32string out;
    for (std::size_t i = 0; i < text.size();) {
        char32_t c = 0;
        const std::size_t length = utf8_character(text, i, c);
        out += length ? c : U'\uFFFD';
        i += length ? length : 1;
    }
    return out;
}

void append_utf8(std::string& out, char32_t c) {
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | c >> 6);
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += static_cast<char>(0xE0 | c >> 12);
        out += static_cast<char>(0x80 | (c >> 6 & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | c >> 18);
        out += static_cast<char>(0x80 | (c >> 12 & 0x3F));
        out += static_cast<char>(0x80 | (c >> 6 & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

std::u16string to_utf16(const std::u32string& text) {
    std::u16string out;
    for (char32_t c : text) {
        if (c < 0x10000) {
            out += static_cast<char16_t>(c);
        } else {
            out += static_cast<char16_t>(0xD800 + ((c - 0x10000) >> 10));
            out += static_cast<char16_t>(0xDC00 + ((c - 0x10000) & 0x3FF));
        }
    }
    return out;
}

// One code point a character: what is left when ICU cannot do its part,
// which for text it was given whole only happens when memory runs out.
std::vector<std::u32string> code_points(const std::u32string& text) {
    std::vector<std::u32string> out;
    for (char32_t c : text)
        out.emplace_back(1, c);
    return out;
}

// The text in its composed form (NFC), split into what a reader takes as one
// character each. Unicode's rules for both come from ICU, linked in, so that
// the same notice gives the same bytes on every machine.
std::vector<std::u32string> characters(const std::u32string& text) {
    const std::u16string input = to_utf16(text);
    UErrorCode status = U_ZERO_ERROR;
    const UNormalizer2* nfc = unorm2_getNFCInstance(&status);
    if (U_FAILURE(status))
        return code_points(text);
    // Composing never lengthens text by more than this; ICU says how much it
    // needs when it does not fit.
    std::u16string composed(input.size() * 3 + 16, u'\0');
    std::int32_t length = unorm2_normalize(nfc, input.data(), static_cast<std::int32_t>(input.size()),
                                           composed.data(), static_cast<std::int32_t>(composed.size()), &status);
    if (status == U_BUFFER_OVERFLOW_ERROR) {
        composed.assign(static_cast<std::size_t>(length), u'\0');
        status = U_ZERO_ERROR;
        length = unorm2_normalize(nfc, input.data(), static_cast<std::int32_t>(input.size()), composed.data(),
                                  static_cast<std::int32_t>(composed.size()), &status);
    }
    if (U_FAILURE(status))
        return code_points(text);
    composed.resize(static_cast<std::size_t>(length));

    status = U_ZERO_ERROR;
    UBreakIterator* breaks =
        ubrk_open(UBRK_CHARACTER, "", composed.data(), static_cast<std::int32_t>(composed.size()), &status);
    if (U_FAILURE(status))
        return code_points(text);
    std::vector<std::u32string> out;
    for (std::int32_t start = ubrk_first(breaks), end = ubrk_next(breaks); end != UBRK_DONE;
         start = end, end = ubrk_next(breaks)) {
        std::u32string character;
        for (std::int32_t i = start; i < end; ++i) {
            const char16_t unit = composed[static_cast<std::size_t>(i)];
            if (unit >= 0xD800 && unit < 0xDC00 && i + 1 < end) {
                character += static_cast<char32_t>(0x10000 + ((unit - 0xD800) << 10) +
                                                   (composed[static_cast<std::size_t>(i) + 1] - 0xDC00));
                ++i;
            } else {
                character += unit;
            }
        }
        out.push_back(std::move(character));
    }
    ubrk_close(breaks);
    return out;
}

}  // namespace

std::size_t utf8_character(std::string_view text, std::size_t at, char32_t& c) {
    const auto lead = static_cast<unsigned char>(text[at]);
    const int length = lead < 0x80 ? 1 : (lead >> 5) == 6 ? 2 : (lead >> 4) == 14 ? 3 : (lead >> 3) == 30 ? 4 : 0;
    c = length == 1 ? lead : length == 2 ? lead & 0x1F : length == 3 ? lead & 0x0F : lead & 0x07;
    bool sound = length > 0 && at + static_cast<std::size_t>(length) <= text.size();
    for (int k = 1; sound && k < length; ++k) {
        const auto next = static_cast<unsigned char>(text[at + static_cast<std::size_t>(k)]);
        sound = (next & 0xC0) == 0x80;
        c = c << 6 | (next & 0x3F);
    }
    // Overlong forms, surrogates and values past Unicode are malformed too.
    static constexpr char32_t kLeast[] = {0, 0, 0x80, 0x800, 0x10000};
    if (sound && (c < kLeast[length] || (c >= 0xD800 && c <= 0xDFFF) || c > 0x10FFFF))
        sound = false;
    return sound ? static_cast<std::size_t>(length) : 0;
}

std::string notice_bytes(std::string_view utf8) {
    const std::u32string text = decode_utf8(utf8);
    // Plain ASCII is its own composed form, a character to a code point,
    // except for a carriage return before a line feed, which reads as one.
    bool plain = true;
    for (std::size_t i = 0; i < text.size() && plain; ++i)
        plain = text[i] < 0x80 && !(text[i] == U'\r' && i + 1 < text.size() && text[i + 1] == U'\n');
    if (plain)
        return std::string(utf8);
    std::string bytes;
    for (const std::u32string& character : characters(text)) {
        std::optional<unsigned char> byte;
        if (character.size() == 1)
            byte = zft::to_cp1252(character.front());
        bytes += static_cast<char>(byte.value_or('?'));
    }
    return bytes;
}

std::string header_text(std::string_view bytes) {
    std::string text;
    text.reserve(bytes.size());
    for (unsigned char byte : bytes)
        append_utf8(text, zft::from_cp1252(byte));
    return text;
}

std::array<std::string, 3> header_summary(const zft::ZftHeader& header) {
    return {
        header_text("Version=" + header.version + " - Creationdate=" + header.creation_month + "/" +
                    header.creation_day + "/" + header.creation_year),
        header_text("width=" + header.width + " - height=" + header.height),
        header_text("Copyright notification=" + header.copyright_notice),
    };
}

std::string notice_text(const zft::ZftHeader& header) {
    std::string notice = header_text(header.copyright_notice);
    while (!notice.empty() && notice.back() == ' ')
        notice.pop_back();
    return notice;
}

std::string iso_date(const zft::ZftHeader& header) {
    return header_text(header.creation_year + "-" + header.creation_month + "-" + header.creation_day);
}

Date today() {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    return {local.tm_mon + 1, local.tm_mday, local.tm_year + 1900};
}

namespace {

// The digits of `text` from `at` on, at least `least` and at most `most` of
// them, as a number; nullopt when there are fewer or more.
std::optional<int> digits_at(std::string_view text, std::size_t& at, std::size_t least, std::size_t most) {
    const std::size_t start = at;
    int value = 0;
    while (at < text.size() && text[at] >= '0' && text[at] <= '9' && at - start < most)
        value = value * 10 + (text[at++] - '0');
    if (at - start < least || (at < text.size() && text[at] >= '0' && text[at] <= '9'))
        return std::nullopt;
    return value;
}

bool separator_at(std::string_view text, std::size_t& at, char separator) {
    if (at >= text.size() || text[at] != separator)
        return false;
    ++at;
    return true;
}

std::optional<Date> date_of(std::string_view text) {
    std::size_t at = 0;
    std::optional<int> month, day, year;
    if (text.find('-') != std::string_view::npos) {
        if ((year = digits_at(text, at, 4, 4)) && separator_at(text, at, '-') && (month = digits_at(text, at, 2, 2)) &&
            separator_at(text, at, '-'))
            day = digits_at(text, at, 2, 2);
    } else if ((month = digits_at(text, at, 1, 2)) && separator_at(text, at, '/') && (day = digits_at(text, at, 1, 2)) &&
               separator_at(text, at, '/')) {
        year = digits_at(text, at, 4, 4);
    }
    if (!month || !day || !year || at != text.size() || *month < 1 || *month > 12 || *day < 1 || *day > 31)
        return std::nullopt;
    return Date{*month, *day, *year};
}

}  // namespace

Date parse_date(std::string_view text) {
    if (const std::optional<Date> date = date_of(text))
        return *date;
    throw Failure(Failure::Kind::Unsupported,
                  "the date \"" + std::string(text) + "\" is not a date YYYY-MM-DD or MM/DD/YYYY");
}

}  // namespace core
