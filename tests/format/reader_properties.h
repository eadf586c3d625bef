// What the format's reader functions promise whatever bytes they are given.
// Shared by the property test and the fuzz target, so it uses the standard
// library only.
#pragma once

#include <algorithm>
#include <cstdint>
#include <limits>
#include <optional>
#include <string>
#include <string_view>

#include "core/failure.h"
#include "core/zft_codec.h"
#include "format/zft_format.h"

namespace testing {

// The reason the codec's checks give, nullopt when they pass; a check that
// fails with another kind than Damaged says so.
template <typename Check>
std::optional<std::string> reason_of(Check check) {
    try {
        check();
        return std::nullopt;
    } catch (const core::Failure& failure) {
        if (failure.kind() != core::Failure::Kind::Damaged)
            return "(not of kind Damaged) " + failure.reason();
        return failure.reason();
    }
}

inline std::optional<std::string> file_fault(std::string_view head, std::uint64_t length) {
    return reason_of([&] { core::check_zft_file(head, length); });
}

inline std::optional<std::string> header_fault(const zft::ZftHeader& header) {
    return reason_of([&] { core::check_zft_header(header); });
}

// `file` stands for the whole content of a file. Nullopt when every promise
// holds, otherwise the first one broken, in words.
inline std::optional<std::string> broken_reader_property(std::string_view file) {
    using namespace zft;
    const std::string length = std::to_string(file.size());

    // A size field, or any text at all, never reads as a negative number, and
    // three characters never as more than 999.
    for (std::size_t n = 0; n <= 3 && n <= file.size(); ++n) {
        const int value = field_value(file.substr(0, n));
        if (value < 0 || value > kMaxDimension)
            return "field_value of " + std::to_string(n) + " characters gave " + std::to_string(value);
    }
    if (field_value(file) < 0)
        return "field_value of " + length + " characters gave a negative number";

    const std::string_view head = file.substr(0, std::min(file.size(), kHeaderSize));
    const std::optional<std::string> fault = file_fault(head, file.size());
    if (file.size() < kHeaderSize)
        return fault ? std::nullopt : std::optional<std::string>("a file of " + length + " bytes has no fault");
    if (fault && fault->empty())
        return std::string("a fault without words");

    const ZftHeader header = decode_header(head);
    const std::size_t sizes[] = {header.version.size(),          header.creation_month.size(),
                                 header.creation_day.size(),     header.creation_year.size(),
                                 header.copyright_notice.size(), header.width.size(),
                                 header.height.size()};
    const std::size_t expected[] = {2, 2, 2, 4, 48, 3, 3};
    if (!std::equal(std::begin(sizes), std::end(sizes), std::begin(expected)))
        return std::string("decode_header gave fields of the wrong widths");
    if (encode_header(header) != head)
        return std::string("decode_header then encode_header changed the bytes");

    const int w = field_value(header.width);
    const int h = field_value(header.height);
    if (w != header.width_value() || h != header.height_value())
        return std::string("width_value or height_value differ from field_value");
    if (w < 0 || w > kMaxDimension || h < 0 || h > kMaxDimension)
        return "the header reads as " + std::to_string(w) + " x " + std::to_string(h);
    if (file_size(w, h) > file_size(kMaxDimension, kMaxDimension))
        return std::string("file_size exceeds the largest picture");

    const bool headerSound = !header_fault(header).has_value();
    if (headerSound && (w < 1 || h < 1 || header.version != kVersion))
        return std::string("header_fault passes a header a reader cannot use");
    // Well formed exactly when the header is and the length is 64 + 3WH.
    if (fault.has_value() == (headerSound && file.size() == file_size(w, h)))
        return "file_fault is wrong about a file of " + length + " bytes";
    // Lengths far beyond anything on disk, as a file system may report them.
    for (std::uint64_t huge : {std::uint64_t(1) << 40, std::numeric_limits<std::uint64_t>::max()})
        if (!file_fault(head, huge))
            return "file_fault passes a file of " + std::to_string(huge) + " bytes";
    return std::nullopt;
}

}  // namespace testing
