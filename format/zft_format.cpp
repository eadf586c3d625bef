#include "format/zft_format.h"

#include <algorithm>
#include <cassert>
#include <limits>

namespace zft {
namespace {

bool all_digits(std::string_view s) {
    return !s.empty() && std::all_of(s.begin(), s.end(), [](char c) { return c >= '0' && c <= '9'; });
}

int digits_value(std::string_view s) {
    int value = 0;
    for (char c : s)
        value = value * 10 + (c - '0');
    return value;
}

std::string quoted(std::string_view field) {
    std::string out = "\"";
    for (unsigned char c : field) {
        if (c >= 0x20 && c < 0x7F) {
            out += static_cast<char>(c);
        } else {
            out += escaped_byte(c);
        }
    }
    return out + "\"";
}

std::optional<std::string> number_fault(const char* name, std::string_view field, int low, int high) {
    if (!all_digits(field))
        return std::string(name) + " is " + quoted(field) + ", not " + std::to_string(field.size()) + " digits";
    const int value = digits_value(field);
    if (value < low || value > high)
        return std::string(name) + " is " + quoted(field) + ", outside " + std::to_string(low) + " to " +
               std::to_string(high);
    return std::nullopt;
}

}  // namespace

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

std::array<std::string, 3> header_summary(const ZftHeader& header) {
    return {
        "Version=" + header.version + " - Creationdate=" + header.creation_month + "/" + header.creation_day + "/" +
            header.creation_year,
        "width=" + header.width + " - height=" + header.height,
        "Copyright notification=" + header.copyright_notice,
    };
}

std::string short_file_fault(std::uint64_t length) {
    return "file is " + std::to_string(length) + " bytes, shorter than the 64-byte header";
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

std::optional<std::string> header_fault(const ZftHeader& header) {
    if (header.version != kVersion)
        return "version is " + quoted(header.version) + ", not \"1A\"";
    if (auto fault = number_fault("month", header.creation_month, 1, 12))
        return fault;
    if (auto fault = number_fault("day", header.creation_day, 1, 31))
        return fault;
    if (auto fault = number_fault("year", header.creation_year, 0, 9999))
        return fault;
    if (auto fault = number_fault("width", header.width, 1, kMaxDimension))
        return fault;
    if (auto fault = number_fault("height", header.height, 1, kMaxDimension))
        return fault;
    return std::nullopt;
}

std::optional<std::string> file_fault(std::string_view header_bytes, std::uint64_t length) {
    if (header_bytes.size() < kHeaderSize || length < kHeaderSize)
        return short_file_fault(length);
    const ZftHeader header = decode_header(header_bytes);
    if (auto fault = header_fault(header))
        return fault;
    const std::uint64_t expected = file_size(header.width_value(), header.height_value());
    if (length < expected)
        return "file is " + std::to_string(length) + " bytes; its header promises " + std::to_string(expected) +
               " (cut short)";
    if (length > expected)
        return "file is " + std::to_string(length) + " bytes; its header promises " + std::to_string(expected) +
               " (trailing bytes)";
    return std::nullopt;
}

}  // namespace zft
