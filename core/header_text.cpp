#include "core/header_text.h"

#include <dlfcn.h>

#include <ctime>

#include <mutex>
#include <optional>
#include <vector>

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

// Unicode's rules for what a reader takes as one character, and for the
// one composed form of a letter with accents, come from ICU, the library
// the desktop's own text handling uses. It is loaded on first use only: a
// notice in plain ASCII needs none of it, and the tool starts sooner.
struct Icu {
    using Normalizer = const void* (*)(int* status);
    using Normalize = std::int32_t (*)(const void*, const char16_t*, std::int32_t, char16_t*, std::int32_t, int*);
    using Open = void* (*)(int type, const char* locale, const char16_t* text, std::int32_t length, int* status);
    using Step = std::int32_t (*)(void*);
    using Close = void (*)(void*);
    Normalizer nfc = nullptr;
    Normalize normalize = nullptr;
    Open open = nullptr;
    Step first = nullptr;
    Step next = nullptr;
    Close close = nullptr;
};

const Icu* icu() {
    static std::optional<Icu> loaded;
    static std::once_flag once;
    std::call_once(once, [] {
        // ICU names its library and its functions after its version.
        for (int version = 90; version >= 50 && !loaded; --version) {
            const std::string suffix = "_" + std::to_string(version);
            void* library = ::dlopen(("libicuuc.so." + std::to_string(version)).c_str(), RTLD_NOW | RTLD_LOCAL);
            if (!library)
                continue;
            auto symbol = [&](const char* name) { return ::dlsym(library, (name + suffix).c_str()); };
            Icu functions;
            functions.nfc = reinterpret_cast<Icu::Normalizer>(symbol("unorm2_getNFCInstance"));
            functions.normalize = reinterpret_cast<Icu::Normalize>(symbol("unorm2_normalize"));
            functions.open = reinterpret_cast<Icu::Open>(symbol("ubrk_open"));
            functions.first = reinterpret_cast<Icu::Step>(symbol("ubrk_first"));
            functions.next = reinterpret_cast<Icu::Step>(symbol("ubrk_next"));
            functions.close = reinterpret_cast<Icu::Close>(symbol("ubrk_close"));
            if (functions.nfc && functions.normalize && functions.open && functions.first && functions.next &&
                functions.close)
                loaded = functions;
        }
    });
    return loaded ? &*loaded : nullptr;
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

// The text in its composed form, split into what a reader takes as one
// character each; without ICU, one code point is one character.
std::vector<std::u32string> characters(const std::u32string& text) {
    std::vector<std::u32string> out;
    const Icu* unicode = icu();
    if (!unicode) {
        for (char32_t c : text)
            out.emplace_back(1, c);
        return out;
    }
    constexpr int kCharacterBreaks = 0;  // UBRK_CHARACTER
    const std::u16string input = to_utf16(text);
    int status = 0;
    const void* nfc = unicode->nfc(&status);
    std::u16string composed(input.size() * 3 + 16, u'\0');
    const std::int32_t length = unicode->normalize(nfc, input.data(), static_cast<std::int32_t>(input.size()),
                                                   composed.data(), static_cast<std::int32_t>(composed.size()), &status);
    if (status > 0)  // a failure: take the text as it came
        composed = input;
    else
        composed.resize(static_cast<std::size_t>(length));
    status = 0;
    void* breaks = unicode->open(kCharacterBreaks, "", composed.data(), static_cast<std::int32_t>(composed.size()), &status);
    if (status > 0 || !breaks) {
        for (char32_t c : text)
            out.emplace_back(1, c);
        return out;
    }
    for (std::int32_t start = unicode->first(breaks), end = unicode->next(breaks); end >= 0;
         start = end, end = unicode->next(breaks)) {
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
    unicode->close(breaks);
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

std::optional<Date> parse_iso_date(std::string_view text) {
    if (text.size() != 10 || text[4] != '-' || text[7] != '-')
        return std::nullopt;
    int values[3] = {};
    const std::size_t starts[3] = {0, 5, 8};
    const std::size_t lengths[3] = {4, 2, 2};
    for (int part = 0; part < 3; ++part) {
        for (std::size_t i = starts[part]; i < starts[part] + lengths[part]; ++i) {
            if (text[i] < '0' || text[i] > '9')
                return std::nullopt;
            values[part] = values[part] * 10 + (text[i] - '0');
        }
    }
    const Date date{values[1], values[2], values[0]};
    return is_real_date(date) ? std::optional(date) : std::nullopt;
}

bool is_real_date(const Date& date) {
    static constexpr int kDays[12] = {31, 29, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    const bool leap = (date.year % 4 == 0 && date.year % 100 != 0) || date.year % 400 == 0;
    return date.year >= 1 && date.year <= 9999 && date.month >= 1 && date.month <= 12 && date.day >= 1 &&
           date.day <= kDays[date.month - 1] && !(date.month == 2 && date.day == 29 && !leap);
}

}  // namespace core
