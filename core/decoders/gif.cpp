// The first picture of a GIF as a viewer shows it before its first pause:
// every image block up to the first one that asks for a delay, composed on
// the logical screen.
//
// The file is read twice. The first reading walks the blocks of the first
// picture without decompressing them: it finds where the picture ends, checks
// that each block fits on the screen and gathers the colours the picture can
// hold. That decides how narrow the composing canvas can be: a code of one
// byte per pixel when the picture has at most 256 colours (one colour table,
// the usual case), two bytes up to 65,536 colours, and the colour itself
// beyond that, which is refused on screens where it would take more than
// kCanvasBudget. The second reading decompresses and composes, then the rows
// go to the sink once each, from the top.
//
// Decisions a file can call for:
// - A block with no colour table at all (no local one and no global one)
//   draws black: an absent table holds no colours, and an index past the end
//   of a table draws black.
// - A block that reaches past the screen's edge, or is larger than the
//   screen, is clipped to it, as gdk-pixbuf and Qt show it. A screen with no
//   width or no height takes it from the first block, as far as that block
//   reaches, as Qt and the web browsers do (gdk-pixbuf refuses it).
// - The blocks of the first picture are decompressed, drawn or not: more
//   than kMostBlockPixels of them in all are refused before any is, so that
//   a small file of many large blocks cannot take minutes.
// - The file may end without its trailer after a whole block, or go on with
//   bytes that start no block (a writer's junk before its trailer): the
//   picture is the blocks read so far. A file that stops inside a block, an
//   extension or before any block is refused.
// - Restore-to-previous needs no copy of the screen: such a block is undone
//   before the next block is drawn, so only the last block of the picture
//   shows it, and the others are decompressed, to check them, but not drawn.
#include "core/decoders/formats.h"

#include <gif_lib.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <exception>
#include <memory>
#include <new>
#include <optional>
#include <type_traits>
#include <unordered_map>
#include <vector>

namespace core::gif {
namespace {

// Largest composing canvas when every pixel has to hold its colour: a
// picture with more than 65,536 colours on a screen past 62 megapixels is
// refused rather than composed past the memory a conversion may take.
constexpr std::size_t kCanvasBudget = std::size_t{240} << 20;
constexpr std::size_t kMostCodes = 65536;
// As many as a picture may have to be scaled down: a hundred full screens of
// 999 × 999.
constexpr std::uint64_t kMostBlockPixels = 100'000'000;
constexpr Argb kOpaque = 0xFF000000u;
constexpr Argb kBlack = argb(0, 0, 0);

std::string block_name(int block) { return "block " + std::to_string(block); }

// giflib's input: the ByteSource read in order, in large pieces. A failure
// of the source is kept and rethrown once giflib has returned, so that no
// exception crosses the C library.
class Input {
public:
    explicit Input(ByteSource& file) : file_(file), buffer_(new std::uint8_t[kBuffer]) {}

    static int read(GifFileType* gif, GifByteType* out, int n) {
        auto& self = *static_cast<Input*>(gif->UserData);
        try {
            return static_cast<int>(self.take(out, static_cast<std::size_t>(std::max(n, 0))));
        } catch (...) {
            self.failure_ = std::current_exception();
            return 0;
        }
    }

    // Whether the file has no byte left past what giflib has read.
    bool at_end() {
        rethrow_failure();
        return at_ == end_ && !fill();
    }
    // Whether a read came to the end of the file before it had all it asked.
    bool stopped_short() const { return stoppedShort_; }
    void rethrow_failure() const {
        if (failure_)
            std::rethrow_exception(failure_);
    }

private:
    std::size_t take(GifByteType* out, std::size_t n) {
        std::size_t done = 0;
        while (done < n) {
            if (at_ == end_ && !fill()) {
                stoppedShort_ = true;
                break;
            }
            const std::size_t part = std::min(n - done, end_ - at_);
            std::memcpy(out + done, buffer_.get() + at_, part);
            at_ += part;
            done += part;
        }
        return done;
    }

    bool fill() {
        if (failure_)
            return false;
        at_ = 0;
        end_ = file_.read(next_, buffer_.get(), kBuffer);
        next_ += end_;
        return end_ > 0;
    }

    static constexpr std::size_t kBuffer = std::size_t{1} << 16;
    ByteSource& file_;
    std::unique_ptr<std::uint8_t[]> buffer_;
    std::size_t at_ = 0;
    std::size_t end_ = 0;
    std::uint64_t next_ = 0;
    bool stoppedShort_ = false;
    std::exception_ptr failure_;
};

struct Closer {
    void operator()(GifFileType* gif) const {
        int ignored = 0;
        DGifCloseFile(gif, &ignored);
    }
};

// What a Graphic Control Extension says about the block after it.
struct Control {
    int disposal = 0;
    int delay = 0;
    int transparent = -1;
};

enum Disposal { kRestoreBackground = 2, kRestorePrevious = 3 };

struct Rect {
    int left = 0;
    int top = 0;
    int width = 0;
    int height = 0;
};

// One reading of the file through giflib, block after block, with giflib's
// failures said in words.
class Reading {
public:
    explicit Reading(ByteSource& file) : input_(file) {
        int error = 0;
        gif_.reset(DGifOpen(&input_, &Input::read, &error));
        if (!gif_)
            fail("its header", error, "");
    }
    // giflib holds the address of input_.
    Reading(const Reading&) = delete;
    Reading& operator=(const Reading&) = delete;

    // Reads on to the next image block of the first picture, through the
    // extensions before it, and its description; false when the picture ends
    // before one: at the trailer, at the end of a file that lacks it, or at
    // bytes that start no block.
    bool next_block(Control& control) {
        control = {};
        for (;;) {
            if (block_ > 0 && input_.at_end())
                return false;
            GifRecordType type = UNDEFINED_RECORD_TYPE;
            if (DGifGetRecordType(gif_.get(), &type) == GIF_ERROR) {
                if (block_ == 0 && input_.stopped_short())
                    throw damaged("the file stops before its first image");
                input_.rethrow_failure();
                if (gif_->Error == D_GIF_ERR_WRONG_RECORD) {
                    if (block_ > 0)
                        return false;
                    throw damaged("the file is damaged before its first image");
                }
                fail_here("the record after " + block_name(block_));
            }
            if (type == TERMINATE_RECORD_TYPE) {
                if (block_ == 0)
                    throw damaged("the file holds no image");
                return false;
            }
            if (type == EXTENSION_RECORD_TYPE) {
                read_extension(control);
                continue;
            }
            ++block_;
            // giflib reads the image data's code size with the description,
            // and refuses a size past 8 there.
            if (DGifGetImageDesc(gif_.get()) == GIF_ERROR) {
                if (input_.stopped_short() || gif_->Error == D_GIF_ERR_NOT_ENOUGH_MEM)
                    fail_here("the description of " + block_name(block_));
                fail_data();
            }
            // giflib keeps a copy of every description it reads, colour table
            // included, for its whole-file reading; let go of each one, or a
            // file of many small blocks would grow that list without end.
            GifFreeSavedImages(gif_.get());
            gif_->SavedImages = nullptr;
            gif_->ImageCount = 0;
            return true;
        }
    }

    // The current block's place, and its colour table: its own, else the
    // file's, else none.
    Rect rect() const { return {gif_->Image.Left, gif_->Image.Top, gif_->Image.Width, gif_->Image.Height}; }
    bool interlaced() const { return gif_->Image.Interlace; }
    const ColorMapObject* table() const { return gif_->Image.ColorMap ? gif_->Image.ColorMap : gif_->SColorMap; }
    int block() const { return block_; }

    // Passes over the current block's image data without decompressing it.
    void skip_data() {
        int codeSize = 0;
        GifByteType* piece = nullptr;
        if (DGifGetCode(gif_.get(), &codeSize, &piece) == GIF_ERROR)
            fail_data();
        // Indices are at most 8 bits: a larger code size is not image data.
        if (codeSize < 1 || codeSize > 8)
            throw damaged("the image data of " + block_name(block_) + " is damaged");
        while (piece)
            if (DGifGetCodeNext(gif_.get(), &piece) == GIF_ERROR)
                fail_data();
    }

    void read_line(GifPixelType* line, int width) {
        if (DGifGetLine(gif_.get(), line, width) == GIF_ERROR)
            fail_data();
    }

private:
    void read_extension(Control& control) {
        int code = 0;
        GifByteType* data = nullptr;
        if (DGifGetExtension(gif_.get(), &code, &data) == GIF_ERROR)
            fail_here("an extension before " + block_name(block_ + 1));
        // data[0] is the length of the first piece. A control block shorter
        // than its four bytes says nothing.
        if (code == GRAPHICS_EXT_FUNC_CODE && data && data[0] >= 4) {
            control.disposal = data[1] >> 2 & 0x07;
            control.delay = data[2] | data[3] << 8;
            control.transparent = (data[1] & 0x01) ? data[4] : -1;
        }
        while (data)
            if (DGifGetExtensionNext(gif_.get(), &data) == GIF_ERROR)
                fail_here("an extension before " + block_name(block_ + 1));
    }

    [[noreturn]] void fail_data() {
        input_.rethrow_failure();
        const std::string data = "the image data of " + block_name(block_);
        if (input_.stopped_short())
            throw damaged("the file stops inside the first picture, in " + data);
        if (gif_->Error == D_GIF_ERR_EOF_TOO_SOON)
            throw damaged(data + " ends before its last pixel");
        if (gif_->Error == D_GIF_ERR_NOT_ENOUGH_MEM)
            throw Failure(Failure::Kind::OutOfMemory, "there is not enough memory to read " + data);
        throw damaged(data + " is damaged");
    }

    [[noreturn]] void fail_here(const std::string& what) {
        fail(what, gif_->Error, "the file stops inside the first picture, in ");
    }

    [[noreturn]] void fail(const std::string& what, int error, const char* stops) {
        input_.rethrow_failure();
        if (error == D_GIF_ERR_NOT_GIF_FILE)
            throw damaged("not a GIF file");
        if (error == D_GIF_ERR_NOT_ENOUGH_MEM)
            throw Failure(Failure::Kind::OutOfMemory, "there is not enough memory to read " + what);
        if (input_.stopped_short())
            throw damaged(*stops ? stops + what : "the file stops inside " + what);
        throw damaged(what + " is damaged");
    }

    Input input_;
    std::unique_ptr<GifFileType, Closer> gif_;
    int block_ = 0;
};

Argb colour_of(const GifColorType& c) { return argb(c.Red, c.Green, c.Blue); }

// Whether an index can point past `table`. giflib can give any byte from
// damaged data, whatever the code size, so every short table counts.
bool reaches_past(const ColorMapObject* table) { return !table || table->ColorCount < 256; }

// The colours of the first picture, each with its code on the canvas.
class Colours {
public:
    // Past kMostCodes colours the canvas holds colours, not codes.
    bool overflowed() const { return overflowed_; }
    std::size_t count() const { return codes_.size(); }

    void add(Argb colour) {
        if (overflowed_ || codes_.contains(colour))
            return;
        if (codes_.size() == kMostCodes) {
            overflowed_ = true;
            codes_.clear();
            return;
        }
        codes_.emplace(colour, static_cast<std::uint32_t>(codes_.size()));
    }

    std::optional<std::uint32_t> code(Argb colour) const {
        if (overflowed_)
            return colour;
        const auto found = codes_.find(colour);
        if (found == codes_.end())
            return std::nullopt;
        return found->second;
    }

    // Code to colour; codes no colour has stay transparent, which a row
    // handed to the sink never holds.
    std::vector<Argb> table(std::size_t size) const {
        std::vector<Argb> colours(size, 0);
        for (const auto& [colour, code] : codes_)
            colours[code] = colour;
        return colours;
    }

private:
    std::unordered_map<Argb, std::uint32_t> codes_;
    bool overflowed_ = false;
};

// What the first reading learns.
struct Plan {
    int blocks = 0;
    // Whether any pixel can show the caller's background: a pixel no block
    // covers, a transparent one over it, or a block restored to it.
    bool background = false;
    Colours colours;
};

// A block that the picture shows, as far as its colours go.
struct Drawn {
    std::vector<Argb> table;
    int transparent = -1;
    bool reachesPast = false;
    bool coversScreen = false;
};

Plan survey(ByteSource& file, Size screen, Argb background) {
    Reading reading(file);
    Plan plan;
    bool anyDrawn = false;
    auto draw = [&](const Drawn& block) {
        if (!anyDrawn && !(block.coversScreen && block.transparent < 0))
            plan.background = true;
        anyDrawn = true;
        for (std::size_t i = 0; i < block.table.size(); ++i)
            if (static_cast<int>(i) != block.transparent)
                plan.colours.add(block.table[i]);
        if (block.reachesPast)
            plan.colours.add(kBlack);
    };

    std::uint64_t blockPixels = 0;
    std::optional<Drawn> undone;  // a restore-to-previous block, drawn only if it is the last
    bool previousDrawn = false;
    int previousDisposal = 0;
    Control control;
    while (reading.next_block(control)) {
        // The block before this one is not the last: a restore-to-previous
        // one is undone, a restore-to-background one uncovers its place.
        undone.reset();
        if (previousDrawn && previousDisposal == kRestoreBackground)
            plan.background = true;

        const Rect rect = reading.rect();
        blockPixels += std::uint64_t(rect.width) * std::uint64_t(rect.height);
        if (blockPixels > kMostBlockPixels)
            throw Failure(Failure::Kind::TooLarge, "the blocks of the first picture hold more than " +
                                                       with_commas(kMostBlockPixels) +
                                                       " pixels in all, more than this program decodes for one picture");
        const ColorMapObject* table = reading.table();
        Drawn block;
        block.transparent = control.transparent;
        if (table)
            for (int i = 0; i < table->ColorCount; ++i)
                block.table.push_back(colour_of(table->Colors[i]));
        block.coversScreen = rect.left == 0 && rect.top == 0 && rect.width >= screen.width &&
                             rect.height >= screen.height;
        block.reachesPast = reaches_past(table);
        reading.skip_data();

        ++plan.blocks;
        const bool last = control.delay > 0;
        previousDrawn = !(control.disposal == kRestorePrevious && !last);
        previousDisposal = control.disposal;
        if (previousDrawn)
            draw(block);
        else
            undone = std::move(block);
        if (last)
            break;
    }
    if (undone)
        draw(*undone);
    if (plan.background)
        plan.colours.add(background);
    return plan;
}

// The rows of a block in the order its data holds them.
template <typename Each>
void for_each_row(int height, bool interlaced, Each each) {
    if (!interlaced) {
        for (int r = 0; r < height; ++r)
            each(r);
        return;
    }
    static constexpr int kStart[] = {0, 4, 2, 1};
    static constexpr int kStep[] = {8, 8, 4, 2};
    for (int pass = 0; pass < 4; ++pass)
        for (int r = kStart[pass]; r < height; r += kStep[pass])
            each(r);
}

[[noreturn]] void changed() { throw damaged("the file changed while it was read"); }

template <typename Code>
void compose(ByteSource& file, Size screen, const Plan& plan, Argb background, RowSink& sink) {
    constexpr bool kColours = std::is_same_v<Code, Argb>;
    const std::size_t width = static_cast<std::size_t>(screen.width);
    std::vector<Code> canvas;
    try {
        canvas.resize(width * static_cast<std::size_t>(screen.height));
    } catch (const std::bad_alloc&) {
        throw Failure(Failure::Kind::OutOfMemory, "there is not enough memory to compose the picture");
    }
    std::vector<Argb> lut;
    if constexpr (!kColours)
        lut = plan.colours.table(std::size_t{1} << 8 * sizeof(Code));
    auto code_of = [&](Argb colour) -> Code {
        const auto code = plan.colours.code(colour);
        if (!code)
            changed();
        return static_cast<Code>(*code);
    };
    Code backgroundCode{};
    if (plan.background) {
        backgroundCode = code_of(background);
        std::fill(canvas.begin(), canvas.end(), backgroundCode);
    }
    auto fill = [&](const Rect& r, Code code) {
        const int x0 = std::min(r.left, screen.width), x1 = std::min(r.left + r.width, screen.width);
        const int y1 = std::min(r.top + r.height, screen.height);
        for (int y = r.top; y < y1; ++y)
            std::fill(canvas.data() + y * width + x0, canvas.data() + y * width + x1, code);
    };

    Reading reading(file);
    std::vector<GifPixelType> line;
    Rect previous;
    bool previousDrawn = false;
    int previousDisposal = 0;
    for (int block = 1; block <= plan.blocks; ++block) {
        Control control;
        if (!reading.next_block(control))
            changed();
        if (previousDrawn && previousDisposal == kRestoreBackground) {
            if (!plan.background)
                changed();
            fill(previous, backgroundCode);
        }
        const Rect rect = reading.rect();
        const bool drawn = !(control.disposal == kRestorePrevious && block != plan.blocks);

        // Each index's code, and whether it draws at all.
        std::array<Code, 256> codes{};
        std::array<bool, 256> opaque{};
        if (drawn) {
            const ColorMapObject* table = reading.table();
            const int count = table ? table->ColorCount : 0;
            const Code black = count < 256 ? code_of(kBlack) : Code{};
            for (int i = 0; i < 256; ++i) {
                opaque[i] = i != control.transparent;
                if (opaque[i])
                    codes[i] = i < count ? code_of(colour_of(table->Colors[i])) : black;
            }
        }

        if (rect.width > 0 && rect.height > 0) {
            line.resize(static_cast<std::size_t>(rect.width));
            const int x0 = std::min(rect.left, screen.width);
            const int x1 = std::min(rect.left + rect.width, screen.width);
            for_each_row(rect.height, reading.interlaced(), [&](int r) {
                reading.read_line(line.data(), rect.width);
                const int y = rect.top + r;
                if (!drawn || y >= screen.height)
                    return;
                Code* out = canvas.data() + static_cast<std::size_t>(y) * width;
                for (int x = x0; x < x1; ++x) {
                    const GifPixelType index = line[x - rect.left];
                    if (opaque[index])
                        out[x] = codes[index];
                }
            });
        } else {
            reading.skip_data();
        }
        previous = rect;
        previousDrawn = drawn;
        previousDisposal = control.disposal;
    }

    for (int y = 0; y < screen.height; ++y) {
        Argb* out = sink.row(y);
        const Code* in = canvas.data() + static_cast<std::size_t>(y) * width;
        if constexpr (kColours)
            std::copy_n(in, width, out);
        else
            for (std::size_t x = 0; x < width; ++x)
                out[x] = lut[in[x]];
        sink.done(y);
    }
}

}  // namespace

bool sniff(std::span<const std::uint8_t> start) {
    return start.size() >= 6 &&
           (std::memcmp(start.data(), "GIF87a", 6) == 0 || std::memcmp(start.data(), "GIF89a", 6) == 0);
}

Size size(ByteSource& file) {
    std::uint8_t header[10] = {};
    const std::size_t got = file.read(0, header, sizeof header);
    if (got < 6 || !sniff({header, 6})) {
        const bool prefix = got < 6 && std::memcmp(header, "GIF89a", std::min<std::size_t>(got, 4)) == 0;
        throw damaged(prefix ? "the file stops inside its header" : "not a GIF file");
    }
    if (got < sizeof header)
        throw damaged("the file stops inside its header");
    Size screen{header[6] | header[7] << 8, header[8] | header[9] << 8};
    if (screen.width == 0 || screen.height == 0) {
        Reading reading(file);
        Control control;
        if (reading.next_block(control)) {
            const Rect first = reading.rect();
            if (screen.width == 0)
                screen.width = first.left + first.width;
            if (screen.height == 0)
                screen.height = first.top + first.height;
        }
    }
    if (screen.width == 0 || screen.height == 0)
        throw damaged("the picture's screen is " + std::to_string(screen.width) + " × " +
                          std::to_string(screen.height) + " pixels: there is nothing to show");
    return screen;
}

void decode(ByteSource& file, const DecodeOptions& options, RowSink& sink) {
    const Size screen = size(file);
    sink.begin(screen, false);
    const Argb background = options.background | kOpaque;
    const Plan plan = survey(file, screen, background);
    if (!plan.colours.overflowed() && plan.colours.count() <= 256) {
        compose<std::uint8_t>(file, screen, plan, background, sink);
    } else if (!plan.colours.overflowed()) {
        compose<std::uint16_t>(file, screen, plan, background, sink);
    } else {
        const std::size_t bytes = static_cast<std::size_t>(screen.width) * screen.height * sizeof(Argb);
        if (bytes > kCanvasBudget)
            throw Failure(Failure::Kind::TooLarge, "the first picture has more than 65,536 colours on a screen of " +
                              std::to_string(screen.width) + " × " + std::to_string(screen.height) +
                              " pixels, more than this program can compose in memory");
        compose<Argb>(file, screen, plan, background, sink);
    }
}

// The first reading alone: it counts the blocks' pixels before any is
// decompressed.
void check_limits(ByteSource& file) { survey(file, size(file), kBlack); }

}  // namespace core::gif
