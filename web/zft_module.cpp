// The core for a browser: what zft.js (and through it the page) asks of the
// decoders and the ZFT codec, as C functions over bytes in the module's
// memory. Each call does one thing from its start to its end and leaves its
// outcome for the caller to take: bytes (zft_bytes, zft_length) and a JSON
// text (zft_json), or a failure, whose JSON text holds its kind, the reason
// zft gives and the sentence the window's box shows.
//
// The input comes as a pointer and a length; a null pointer stands for an
// input zft.js could not place in the module's memory, which the call tells
// as it tells a file it cannot read.
#include <emscripten/emscripten.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <new>
#include <span>
#include <string>
#include <string_view>

#include "core/decoding.h"
#include "core/failure.h"
#include "core/files.h"
#include "core/header_text.h"
#include "core/zft_codec.h"
#include "format/zft_format.h"

namespace {

struct Outcome {
    std::string bytes;
    std::string json;
};

Outcome outcome;

void append_json_string(std::string& out, std::string_view text) {
    out += '"';
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (c == '"' || c == '\\') {
            out += '\\';
            out += c;
        } else if (byte < 0x20) {
            static constexpr char kHex[] = "0123456789abcdef";
            out += "\\u00";
            out += kHex[byte >> 4];
            out += kHex[byte & 0xF];
        } else {
            out += c;
        }
    }
    out += '"';
}

// A JSON object built a member at a time, in order.
class Json {
public:
    Json& text(std::string_view name, std::string_view value) {
        key(name);
        append_json_string(out_, value);
        return *this;
    }
    Json& number(std::string_view name, std::int64_t value) {
        key(name);
        out_ += std::to_string(value);
        return *this;
    }
    Json& texts(std::string_view name, std::span<const std::string> values) {
        key(name);
        out_ += '[';
        for (std::size_t i = 0; i < values.size(); ++i) {
            if (i)
                out_ += ',';
            append_json_string(out_, values[i]);
        }
        out_ += ']';
        return *this;
    }
    std::string done() { return out_.empty() ? "{}" : out_ + '}'; }

private:
    void key(std::string_view name) {
        out_ += out_.empty() ? '{' : ',';
        append_json_string(out_, name);
        out_ += ':';
    }
    std::string out_;
};

const char* kind_name(core::Failure::Kind kind) {
    using Kind = core::Failure::Kind;
    switch (kind) {
    case Kind::Io: return "Io";
    case Kind::Damaged: return "Damaged";
    case Kind::Unsupported: return "Unsupported";
    case Kind::TooLarge: return "TooLarge";
    case Kind::EndOfFile: return "EndOfFile";
    case Kind::OutOfMemory: return "OutOfMemory";
    case Kind::Exists: return "Exists";
    }
    return "Io";
}

std::string failure_json(const core::Failure& failure) {
    return Json()
        .text("kind", kind_name(failure.kind()))
        .text("reason", failure.reason())
        .text("message", failure.message())
        .done();
}

// Runs `work`, which fills `outcome`; gives 1, or 0 with the failure told
// in zft_json.
template <typename Work>
int run(Work work) {
    outcome = {};
    try {
        work();
        return 1;
    } catch (const core::Failure& failure) {
        outcome = {{}, failure_json(failure)};
    } catch (const std::bad_alloc&) {
        outcome = {{}, failure_json(core::Failure(core::Failure::Kind::OutOfMemory, "out of memory"))};
    }
    return 0;
}

// The picture's pixels as a ZFT file stores them, red, green, blue.
std::string rgb_of(const core::Picture& picture) {
    std::string rgb(zft::pixel_bytes(picture.width(), picture.height()), '\0');
    auto* out = reinterpret_cast<std::uint8_t*>(rgb.data());
    for (int y = 0; y < picture.height(); ++y)
        core::rgb_bytes(picture.row(y), picture.width(), out + 3 * static_cast<std::size_t>(picture.width()) * y);
    return rgb;
}

constexpr core::Size kLargest{zft::kMaxDimension, zft::kMaxDimension};

core::Failure not_held() {
    return core::Failure(core::Failure::Kind::OutOfMemory, "the file is too large to read into memory");
}

// What stands for an input that could not be placed in memory: every read
// fails, and the core says it of the file as it says any failed read.
class NotHeld final : public core::ByteSource {
public:
    std::uint64_t size() const override { return 0; }
    std::size_t read(std::uint64_t, void*, std::size_t) override { throw not_held(); }
};

std::unique_ptr<core::ByteSource> input(const std::uint8_t* bytes, std::size_t length) {
    if (!bytes)
        return std::make_unique<NotHeld>();
    return std::make_unique<core::MemorySource>(bytes, length);
}

// The picture; with `fit`, one larger than a ZFT file holds reduced to fit,
// as zft convert --fit reduces it, and otherwise refused.
core::Picture decode(const std::uint8_t* bytes, std::size_t length, const char* name, core::Argb background,
                     bool fit) {
    const auto source = input(bytes, length);
    return fit ? core::load_picture_within(*source, name, kLargest, background)
               : core::load_picture(*source, name, background);
}

}  // namespace

extern "C" {

// The most bytes zft.js places in memory for one input: no picture the
// decoders read takes more, and more is refused unread.
static_assert(core::kMostPictureBytes < UINT32_MAX);
EMSCRIPTEN_KEEPALIVE std::uint32_t zft_most_bytes() { return core::kMostPictureBytes; }

EMSCRIPTEN_KEEPALIVE const char* zft_bytes() { return outcome.bytes.data(); }
EMSCRIPTEN_KEEPALIVE std::size_t zft_length() { return outcome.bytes.size(); }
EMSCRIPTEN_KEEPALIVE const char* zft_json() { return outcome.json.c_str(); }

// The ZFT file of the picture in `bytes`: transparent parts over
// `background` (0xRRGGBB), the notice as typed (UTF-8), the date
// "MM/DD/YYYY" or "YYYY-MM-DD", today's when empty.
EMSCRIPTEN_KEEPALIVE int zft_convert(const std::uint8_t* bytes, std::size_t length, const char* name,
                                     const char* notice, const char* date, std::uint32_t background, int fit) {
    return run([&] {
        core::Stamp stamp;
        stamp.notice = notice;
        if (*date)
            stamp.date = core::parse_date(date);
        stamp.background = core::argb(0, 0, 0) | background;
        outcome.bytes = core::save_zft(decode(bytes, length, name, stamp.background, fit), stamp);
    });
}

// The picture in `bytes` as the main window shows it over `background`:
// its red, green and blue bytes, with its width and height.
EMSCRIPTEN_KEEPALIVE int zft_picture(const std::uint8_t* bytes, std::size_t length, const char* name,
                                     std::uint32_t background, int fit) {
    return run([&] {
        const core::Argb colour = core::argb(0, 0, 0) | background;
        const core::Picture shown = core::picture_as_shown(decode(bytes, length, name, colour, fit), colour);
        outcome.bytes = rgb_of(shown);
        outcome.json = Json().number("width", shown.width()).number("height", shown.height()).done();
    });
}

// The size of the picture in `bytes` from its headers, and the size it is
// reduced to when it is fitted; refused as core::picture_size() refuses a
// picture that cannot be decoded at all, so that no reduction is offered.
EMSCRIPTEN_KEEPALIVE int zft_size(const std::uint8_t* bytes, std::size_t length, const char* name) {
    return run([&] {
        const core::Size size = core::picture_size(*input(bytes, length), name);
        const core::Size fitted = core::fit_within(size, kLargest);
        outcome.json = Json()
                           .number("width", size.width)
                           .number("height", size.height)
                           .number("fittedWidth", fitted.width)
                           .number("fittedHeight", fitted.height)
                           .done();
    });
}

// Whether `bytes` start as a picture the decoders read: the window converts
// such a file it is opened with, and previews any other.
EMSCRIPTEN_KEEPALIVE int zft_is_picture(const std::uint8_t* bytes, std::size_t length) {
    return run([&] { outcome.json = core::is_picture(*input(bytes, length)) ? "true" : "false"; });
}

// The well-formed ZFT file in `bytes`: its header as the user reads it and
// its pixels.
EMSCRIPTEN_KEEPALIVE int zft_read(const std::uint8_t* bytes, std::size_t length, const char* name) {
    return run([&] {
        const core::ZftPicture zft = core::read_zft(*input(bytes, length), name);
        const zft::ZftHeader& h = zft.header;
        outcome.bytes = rgb_of(zft.picture);
        outcome.json = Json()
                           .text("version", core::header_text(h.version))
                           .text("date", core::header_text(h.creation_month + "/" + h.creation_day + "/" +
                                                           h.creation_year))
                           .text("notice", core::notice_text(h))
                           .number("width", zft.picture.width())
                           .number("height", zft.picture.height())
                           .done();
    });
}

// A ZFT file as the previewer reads it, trusting its header: the three
// lines of its box, the size the header gives, and the pixels the file
// holds of it, whole ones only. A file that ends before its last pixel
// gives those it has and, in `failure`, the sentence the previewer shows
// after painting them.
EMSCRIPTEN_KEEPALIVE int zft_preview(const std::uint8_t* bytes, std::size_t length, const char* name) {
    return run([&] {
        if (!bytes)
            throw not_held().of("preview", name);
        if (length < zft::kHeaderSize)
            throw core::cannot("preview", name, core::short_file_reason(length), core::Failure::Kind::EndOfFile);
        const zft::ZftHeader header =
            zft::decode_header({reinterpret_cast<const char*>(bytes), zft::kHeaderSize});
        const int width = header.width_value();
        const int height = header.height_value();
        const std::uint64_t promised = zft::file_size(width, height);
        const std::uint64_t whole = (length - zft::kHeaderSize) / 3 * 3;
        const std::uint64_t pixels = std::min<std::uint64_t>(whole, zft::pixel_bytes(width, height));
        outcome.bytes.assign(reinterpret_cast<const char*>(bytes) + zft::kHeaderSize, pixels);
        const auto lines = core::header_summary(header);
        Json json;
        json.texts("lines", lines).number("width", width).number("height", height);
        if (length < promised)
            json.text("failure", core::cannot("preview", name, core::length_reason(length, promised),
                                              core::Failure::Kind::EndOfFile)
                                     .message());
        outcome.json = json.done();
    });
}

}  // extern "C"
