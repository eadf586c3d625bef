#include "format/zft_format.h"

#include <cassert>
#include <limits>

namespace zft {

std::string escaped_byte(unsigned char byte) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    return {'\\', 'x', kHex[byte >> 4], kHex[byte & 15]};
}

int ZftHeader::width_value() const { return field_value(width); }
int ZftHeader::height_value() const { return field_value(height); }

std::string zero_padded(int value, std::size_t digits) {
    std::string text = std::to_string(value);
    if (text.size() < digits)
        text.insert(0, digits - text.size(), '0');
    return text;
}

std::string date_text(int month, int day, int year) {
    return zero_padded(month, 2) + zero_padded(day, 2) + zero_padded(year, 4);
}

std::string notice_field(std::string_view notice_bytes) {
    const auto first = notice_bytes.find_first_not_of(' ');
    if (first == std::string_view::npos)
        return std::string(kNoticeSize, ' ');
    const auto last = notice_bytes.find_last_not_of(' ');
    std::string field(notice_bytes.substr(first, last - first + 1).substr(0, kNoticeSize));
    field.resize(kNoticeSize, ' ');
    return field;
}

ZftHeader make_header(int month, int day, int year, std::string_view notice_bytes, int w, int h) {
    assert(w >= 0 && h >= 0 && fits_header(w, h));
    const std::string date = date_text(month, day, year);
    ZftHeader header;
    header.version = std::string(kVersion);
    header.creation_month = date.substr(0, 2);
    header.creation_day = date.substr(2, 2);
    header.creation_year = date.substr(4);
    header.copyright_notice = notice_field(notice_bytes);
    header.width = zero_padded(w, 3);
    header.height = zero_padded(h, 3);
    return header;
}

std::string encode_header(const ZftHeader& header) {
    std::string bytes;
    bytes.reserve(kHeaderSize);
    for (const HeaderField& field : kHeaderFields) {
        assert((header.*field.member).size() == field.size);
        bytes += header.*field.member;
    }
    return bytes;
}

ZftHeader decode_header(std::string_view bytes) {
    assert(bytes.size() >= kHeaderSize);
    ZftHeader header;
    std::size_t offset = 0;
    for (const HeaderField& field : kHeaderFields) {
        header.*field.member = std::string(bytes.substr(offset, field.size));
        offset += field.size;
    }
    return header;
}

int field_value(std::string_view field) {
    // Saturates rather than overflows on a run of digits longer than a size field.
    constexpr int kMax = std::numeric_limits<int>::max();
    int value = 0;
    for (const char c : field) {
        if (c == ' ' || c == '\t')
            continue;
        if (c < '0' || c > '9')
            break;
        const int digit = c - '0';
        value = value > (kMax - digit) / 10 ? kMax : value * 10 + digit;
    }
    return value;
}

}  // namespace zft
