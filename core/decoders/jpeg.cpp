// JPEG through libjpeg-turbo's libjpeg API, the one djpeg uses, so that a
// file gives djpeg's pixels and fails where djpeg fails.
//
// libjpeg reads the file through a buffer as it needs it, and stops at the
// end-of-image marker: however long the file, only its JPEG data is read.
// Rows go to the sink as libjpeg gives them, so a sequential file is decoded
// in the memory of a few rows. A file stored in several scans (progressive,
// or sequential with a scan per component) keeps all its coefficients until
// its last scan: one that would need more than kMostCoefficientBytes for
// them is refused from its headers, and one of more than kMostScans scans
// stops there, as TurboJPEG's TJFLAG_LIMITSCANS stops it.
//
// A warning is not damage: libjpeg decodes what it warns of (extra bytes
// before a marker, say) as djpeg does, a file that ends without its
// end-of-image marker too, when every pixel came before its end. Except
// when a scan's data stops before its last block, at the end of the file
// (the data stops early) or at a marker (the scan's data is corrupt), or
// when a restart marker is not where it belongs: the rest would be made up,
// so the decode stops there, and in a Huffman-coded scan no row that was not
// decoded is ever handed on; nor is the blurred picture of a file in several
// scans whose end came before its last. (A code that no Huffman table has
// cannot be told so: libjpeg-turbo's fast path takes it as a zero without a
// word.) A fatal error is a failure, whatever warnings came before.
//
// Arithmetic coding leaves out the zero bytes that end a scan's data, so its
// decoder runs into the marker after a scan as a matter of course, rows
// before the scan's last where they are flat, and takes zeros for the rest
// without a word. The file's end inside a scan stops the decode at once. A
// marker inside the scan's data shows by what follows it, the rest of the
// scan: junk before the next marker, a restart marker out of place, a
// segment past the file's end, a marker with no business there. So whatever
// goes wrong in the markers after a scan that ran into one is that scan's
// corrupt data. It is known only once the scan is over: the rows of a
// sequential file handed on by then go with the failed decode. (An
// end-of-image marker inside the data cannot be told from the scan's end,
// by djpeg either.)
#include "core/decoders/formats.h"

#include <cstdio>  // jpeglib.h needs FILE and size_t first

#include <jpeglib.h>
// After jpeglib.h, whose settings say which of its codes jerror.h has.
#include <jerror.h>

#include <algorithm>
#include <bit>
#include <csetjmp>
#include <cstring>
#include <exception>
#include <memory>
#include <vector>

namespace core::jpeg {
namespace {

// What a file in several scans may ask for: with the picture's own memory
// and the reduced result it stays under 300 MB.
constexpr std::uint64_t kMostCoefficientBytes = std::uint64_t(256) << 20;
// A progressive file has ten or so; a file of many thousands costs minutes.
constexpr int kMostScans = 500;

// The colour space whose pixels are 0xAARRGGBB as native words.
constexpr J_COLOR_SPACE kArgbSpace = std::endian::native == std::endian::little ? JCS_EXT_BGRA : JCS_EXT_ARGB;

// How a decode ended when libjpeg gave up, or was stopped.
struct Errors {
    jpeg_error_mgr pub{};
    std::jmp_buf jump;
    int code = 0;  // libjpeg's message code (jerror.h)
    char message[JMSG_LENGTH_MAX] = {};
    bool tooManyScans = false;
    std::exception_ptr thrown;  // what the file threw, carried out past libjpeg
};

// The file, read in order through a buffer.
struct Source {
    jpeg_source_mgr pub{};
    ByteSource* file = nullptr;
    std::uint64_t next = 0;  // the file's offset of the byte after the buffer
    std::unique_ptr<JOCTET[]> buffer = std::make_unique<JOCTET[]>(kFileBufferSize);
    bool ended = false;  // the file's end came: libjpeg reads end-of-image markers of ours
};

// What the callbacks reach through libjpeg's client data.
struct State {
    Errors errors;
    Source source;
    unsigned scanned = 0;  // a bit for each component that a scan has held
    // The arithmetic-coded scan just read ran into the marker after it: that
    // marker may have been inside its data.
    bool ranIntoMarker = false;
};

State& state_of(j_common_ptr info) { return *static_cast<State*>(info->client_data); }
State& state_of(j_decompress_ptr info) { return *static_cast<State*>(info->client_data); }

[[noreturn]] void stop(j_common_ptr info) {
    Errors& errors = state_of(info).errors;
    errors.code = info->err->msg_code;
    info->err->format_message(info, errors.message);
    std::longjmp(errors.jump, 1);
}

void on_error(j_common_ptr info) { stop(info); }

// Warnings are counted and let pass, but for those that mean that a scan's
// data stopped before its last block or lost its place.
void on_message(j_common_ptr info, int level) {
    if (level >= 0)
        return;  // tracing
    const int code = info->err->msg_code;
    if (code == JWRN_HIT_MARKER || code == JWRN_MUST_RESYNC || code == JWRN_ARITH_BAD_CODE ||
        (code == JWRN_EXTRANEOUS_DATA && state_of(info).ranIntoMarker))
        stop(info);
    ++info->err->num_warnings;
}

// Whether the arithmetic decoder is inside a scan: it wants the scan's data.
bool inside_arithmetic_scan(j_decompress_ptr info) {
    return info->arith_code && info->input_iMCU_row < info->total_iMCU_rows;
}

// Between a scan and the markers after it: whether the scan ran into one.
void note_scan_end(j_decompress_ptr info) {
    state_of(info).ranIntoMarker = info->arith_code && info->input_iMCU_row >= info->total_iMCU_rows &&
                                   info->unread_marker != 0;
}

void never_print(j_common_ptr) {}

// Called as each scan is read, with the scan's components at hand.
void on_progress(j_common_ptr info) {
    const auto decompress = reinterpret_cast<j_decompress_ptr>(info);
    if (decompress->input_scan_number > kMostScans) {
        state_of(info).errors.tooManyScans = true;
        std::longjmp(state_of(info).errors.jump, 1);
    }
    for (int i = 0; i < decompress->comps_in_scan; ++i)
        state_of(info).scanned |= 1u << decompress->cur_comp_info[i]->component_index;
    note_scan_end(decompress);
}

void start_source(j_decompress_ptr) {}
void end_source(j_decompress_ptr) {}

boolean fill_buffer(j_decompress_ptr info) {
    State& state = state_of(info);
    Source& source = state.source;
    std::size_t got = 0;
    try {
        got = source.file->read(source.next, source.buffer.get(), kFileBufferSize);
    } catch (...) {
        state.errors.thrown = std::current_exception();
        std::longjmp(state.errors.jump, 1);
    }
    source.next += got;
    if (got == 0) {
        // As libjpeg's own sources do: a warning, and an end-of-image marker,
        // which ends the picture where a scan needs no more of its data.
        // Not for a scan in arithmetic coding, which would take zeros for
        // the rest, nor for the segment of a marker such a scan ran into.
        source.ended = true;
        info->err->msg_code = JWRN_JPEG_EOF;
        if (inside_arithmetic_scan(info) || state.ranIntoMarker)
            stop(reinterpret_cast<j_common_ptr>(info));
        info->err->emit_message(reinterpret_cast<j_common_ptr>(info), -1);
        source.buffer[0] = 0xFF;
        source.buffer[1] = JPEG_EOI;
        got = 2;
    }
    source.pub.next_input_byte = source.buffer.get();
    source.pub.bytes_in_buffer = got;
    return TRUE;
}

// A segment passed over is not read at all.
void skip(j_decompress_ptr info, long count) {
    if (count <= 0)
        return;
    Source& source = state_of(info).source;
    const auto n = static_cast<std::size_t>(count);
    if (n <= source.pub.bytes_in_buffer) {
        source.pub.next_input_byte += n;
        source.pub.bytes_in_buffer -= n;
        return;
    }
    source.next += n - source.pub.bytes_in_buffer;
    source.pub.bytes_in_buffer = 0;
}

// One decompression. Every libjpeg call runs inside guarded(), whose setjmp
// libjpeg's errors jump back to; nothing with a destructor lives in the
// frames they jump over.
class Decompressor {
public:
    explicit Decompressor(ByteSource& file) {
        info.err = jpeg_std_error(&state_.errors.pub);
        state_.errors.pub.error_exit = on_error;
        state_.errors.pub.emit_message = on_message;
        state_.errors.pub.output_message = never_print;
        info.client_data = &state_;
        state_.source.file = &file;
        guarded([this] { jpeg_create_decompress(&info); });
        Source& source = state_.source;
        source.pub.init_source = start_source;
        source.pub.fill_input_buffer = fill_buffer;
        source.pub.skip_input_data = skip;
        source.pub.resync_to_restart = jpeg_resync_to_restart;
        source.pub.term_source = end_source;
        info.src = &source.pub;
        progress_.progress_monitor = on_progress;
        info.progress = &progress_;
    }
    ~Decompressor() { jpeg_destroy_decompress(&info); }
    Decompressor(const Decompressor&) = delete;
    Decompressor& operator=(const Decompressor&) = delete;

    // Runs `work`, which calls libjpeg; throws what stopped it.
    template <typename Work>
    void guarded(Work work) {
        if (setjmp(state_.errors.jump) == 0) {
            work();
            return;
        }
        fail();
    }

    // Once a file in several scans is read: refuses one whose end came
    // before its last scan. A progressive file has then not brought every
    // coefficient to its full precision, a sequential one every component.
    void checkEveryScanCame(bool severalScans) const {
        if (!state_.source.ended || !severalScans)
            return;
        bool whole = true;
        if (info.progressive_mode) {
            for (int c = 0; c < info.num_components; ++c)
                for (int k = 0; k < DCTSIZE2; ++k)
                    whole = whole && info.coef_bits[c][k] == 0;
        } else {
            whole = state_.scanned == (1u << info.num_components) - 1;
        }
        if (!whole)
            throw damaged("the JPEG data stops early, before its last scan");
    }

    // After the last row, before the markers after the last scan are read.
    void finish() {
        note_scan_end(&info);
        jpeg_finish_decompress(&info);
    }

    jpeg_decompress_struct info{};

private:
    [[noreturn]] void fail() {
        const Errors& errors = state_.errors;
        if (errors.thrown)
            std::rethrow_exception(errors.thrown);
        if (errors.tooManyScans)
            throw Failure(Failure::Kind::TooLarge, "the JPEG file has more than " + std::to_string(kMostScans) +
                                                       " scans, more than this program decodes");
        const std::string said = errors.message;
        if (errors.code == JERR_OUT_OF_MEMORY)
            throw Failure(Failure::Kind::OutOfMemory, "there is not enough memory to decode it");
        // Past the file's end libjpeg reads our end-of-image markers, and
        // whatever it then finds wrong is the end it came to.
        if (state_.source.ended)
            throw damaged("the JPEG data stops early");
        if (state_.ranIntoMarker)
            throw damaged("corrupt data in the JPEG scan (" + said + ")");
        switch (errors.code) {
        case JWRN_HIT_MARKER:
        case JWRN_MUST_RESYNC:
        case JWRN_ARITH_BAD_CODE:
            throw damaged("corrupt data in the JPEG scan (" + said + ")");
        case JERR_EMPTY_IMAGE:
            throw damaged("the picture has no pixels (" + std::to_string(info.image_width) + " × " +
                          std::to_string(info.image_height) + ")");
        case JERR_NO_IMAGE:
        case JERR_SOS_NO_SOF:
            throw damaged("the JPEG file has no frame header before its image data");
        case JERR_SOF_UNSUPPORTED:
        case JERR_CONVERSION_NOTIMPL:
            throw Failure(Failure::Kind::Unsupported, "the JPEG is of a kind this program does not read (" + said + ")");
        default:
            throw damaged("the JPEG data is damaged (" + said + ")");
        }
    }

    State state_;
    jpeg_progress_mgr progress_{};
};

// What a file in several scans keeps while it is decoded: each component's
// blocks of 8 × 8 two-byte coefficients, padded to its sampling, as libjpeg
// allocates them.
std::uint64_t coefficient_bytes(const jpeg_decompress_struct& info) {
    std::uint64_t bytes = 0;
    for (int c = 0; c < info.num_components; ++c) {
        const jpeg_component_info& component = info.comp_info[c];
        auto rounded = [](std::uint64_t n, std::uint64_t multiple) { return (n + multiple - 1) / multiple * multiple; };
        bytes += rounded(component.width_in_blocks, component.h_samp_factor) *
                 rounded(component.height_in_blocks, component.v_samp_factor) * sizeof(JBLOCK);
    }
    return bytes;
}

// Reads the headers up to the first scan; gives whether the file is stored
// in several scans, refused when their coefficients would take more than
// kMostCoefficientBytes: at any scale, since all of them are kept.
bool read_headers(Decompressor& jpeg) {
    bool severalScans = false;
    jpeg.guarded([&] {
        jpeg_read_header(&jpeg.info, TRUE);
        severalScans = jpeg_has_multiple_scans(&jpeg.info);
    });
    const jpeg_decompress_struct& info = jpeg.info;
    if (severalScans && coefficient_bytes(info) > kMostCoefficientBytes)
        throw Failure(Failure::Kind::TooLarge, "a JPEG of " + std::to_string(info.image_width) + " × " +
                                                   std::to_string(info.image_height) + " pixels in several scans needs " +
                                                   with_commas(coefficient_bytes(info) >> 20) + " MB to decode, more than the " +
                                                   with_commas(kMostCoefficientBytes >> 20) + " MB this program allows it");
    return severalScans;
}

// The start-of-frame markers: baseline, extended, progressive and lossless,
// Huffman or arithmetic coded (not DHT, JPG or DAC, which share the range).
bool is_frame_marker(int marker) {
    return marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 && marker != 0xCC;
}

// The markers of a file up to its frame header, read through a buffer and
// found as libjpeg finds them: bytes that are no marker before one, fill
// bytes (0xFF) and stuffed zeros are passed over.
class Markers {
public:
    explicit Markers(ByteSource& file) : file_(file), buffer_(std::make_unique<std::uint8_t[]>(kFileBufferSize)) {}

    // The next byte, or -1 at the end of the file.
    int next() {
        if (at_ == end_ && !fill())
            return -1;
        return buffer_[at_++];
    }

    // The next marker's code, or -1 at the end of the file.
    int marker() {
        for (;;) {
            // Up to the next 0xFF: the junk libjpeg warns of.
            for (;;) {
                const auto* found = static_cast<const std::uint8_t*>(std::memchr(buffer_.get() + at_, 0xFF, end_ - at_));
                if (found) {
                    at_ = static_cast<std::size_t>(found - buffer_.get()) + 1;
                    break;
                }
                if (!fill())
                    return -1;
            }
            // Past the fill bytes, a word at a time: a file may hold megabytes.
            for (;;) {
                std::uint64_t word;
                while (end_ - at_ >= sizeof word && (std::memcpy(&word, buffer_.get() + at_, sizeof word), word == ~0ull))
                    at_ += sizeof word;
                while (at_ < end_ && buffer_[at_] == 0xFF)
                    ++at_;
                if (at_ < end_ || !fill())
                    break;
            }
            const int code = next();
            if (code < 0)
                return -1;
            if (code != 0)
                return code;
        }
    }

    void skip(std::uint64_t n) {
        const std::uint64_t here = end_ - at_;
        if (n <= here) {
            at_ += static_cast<std::size_t>(n);
            return;
        }
        next_ += n - here;
        at_ = end_ = 0;
    }

private:
    bool fill() {
        end_ = file_.read(next_, buffer_.get(), kFileBufferSize);
        next_ += end_;
        at_ = 0;
        return end_ > 0;
    }

    ByteSource& file_;
    std::unique_ptr<std::uint8_t[]> buffer_;
    std::size_t at_ = 0;
    std::size_t end_ = 0;
    std::uint64_t next_ = 0;  // the file's offset of the byte after the buffer
};

}  // namespace

bool sniff(std::span<const std::uint8_t> start) {
    return start.size() >= 3 && start[0] == 0xFF && start[1] == 0xD8 && start[2] == 0xFF;
}

// From the frame header, found by a walk of our own that reads only the
// headers and none of their contents: the size is known before libjpeg
// starts, and a padded file is not walked twice at libjpeg's pace.
Size size(ByteSource& file) {
    Markers markers(file);
    if (markers.next() != 0xFF || markers.next() != 0xD8)
        throw damaged("not a JPEG file");
    auto stops = [] { return damaged("the file stops inside the JPEG headers"); };
    for (;;) {
        const int marker = markers.marker();
        if (marker < 0)
            throw stops();
        if (marker == 0xD9 || marker == 0xDA)
            throw damaged("the JPEG file has no frame header before its image data");
        if (marker == 0x01 || (marker >= 0xD0 && marker <= 0xD7))  // markers without a length
            continue;
        const int high = markers.next();
        const int low = markers.next();
        if (low < 0)
            throw stops();
        // A length short of its own two bytes skips nothing, as in libjpeg.
        const int length = high << 8 | low;
        if (!is_frame_marker(marker)) {
            markers.skip(std::max(length - 2, 0));
            continue;
        }
        int frame[5];  // precision, height, width
        for (int& byte : frame)
            if ((byte = markers.next()) < 0)
                throw stops();
        const Size size{frame[3] << 8 | frame[4], frame[1] << 8 | frame[2]};
        if (size.width == 0 || size.height == 0)
            throw damaged("the picture has no pixels (" + std::to_string(size.width) + " × " +
                          std::to_string(size.height) + ")");
        return size;
    }
}

void decode(ByteSource& file, const DecodeOptions& options, RowSink& sink) {
    Decompressor jpeg(file);
    jpeg_decompress_struct& info = jpeg.info;
    // Refused from the headers, before libjpeg allocates a block.
    const bool severalScans = read_headers(jpeg);
    // For a caller that scales down, the smallest of 1/2, 1/4 and 1/8 that
    // still gives at least what it asks: a large photo never costs its size.
    const bool cmyk = info.jpeg_color_space == JCS_CMYK || info.jpeg_color_space == JCS_YCCK;
    info.out_color_space = cmyk ? JCS_CMYK : kArgbSpace;
    for (const unsigned denominator : {2u, 4u, 8u}) {
        auto scaled = [denominator](JDIMENSION n) { return (n + denominator - 1) / denominator; };
        if (options.atLeast.width > 0 && scaled(info.image_width) >= unsigned(options.atLeast.width) &&
            scaled(info.image_height) >= unsigned(options.atLeast.height)) {
            info.scale_num = 1;
            info.scale_denom = denominator;
        }
    }
    jpeg.guarded([&] { jpeg_calc_output_dimensions(&info); });
    const Size shown{static_cast<int>(info.output_width), static_cast<int>(info.output_height)};
    sink.begin(shown, false);

    std::vector<JSAMPLE> inks(cmyk ? static_cast<std::size_t>(shown.width) * 4 : 0);
    // A file in several scans is read whole here, before its first row.
    jpeg.guarded([&] { jpeg_start_decompress(&info); });
    jpeg.checkEveryScanCame(severalScans);
    jpeg.guarded([&] {
        while (info.output_scanline < info.output_height) {
            const int y = static_cast<int>(info.output_scanline);
            Argb* row = sink.row(y);
            JSAMPROW into = cmyk ? inks.data() : reinterpret_cast<JSAMPROW>(row);
            jpeg_read_scanlines(&info, &into, 1);
            if (cmyk) {
                // Adobe's inverted CMYK, as YCCK decodes too: 255 is no ink.
                const JSAMPLE* from = inks.data();
                for (int x = 0; x < shown.width; ++x, from += 4) {
                    const unsigned k = from[3];
                    auto channel = [k](unsigned c) { return static_cast<int>((c * k + 127) / 255); };
                    row[x] = argb(channel(from[0]), channel(from[1]), channel(from[2]));
                }
            }
            sink.done(y);
        }
        jpeg.finish();
    });
}

void check_limits(ByteSource& file) {
    Decompressor jpeg(file);
    read_headers(jpeg);
}

}  // namespace core::jpeg
