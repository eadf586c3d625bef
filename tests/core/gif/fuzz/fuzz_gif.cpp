// libFuzzer target for the GIF decoder: any bytes, taken as a whole file.
// Beyond what the sanitizers catch, the decoder's promises are checked: the
// size from the header is the size decoded; rows come once each from the
// top, every pixel opaque; a file is refused only with a Failure in
// words; and the caller's background shows only where the file leaves the
// screen open, the same places whatever its colour.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>
#include <vector>

#include "core/decoders/formats.h"
#include "tests/support/checking_sink.h"

namespace {

using fuzzing::broken;
using fuzzing::check_refusal;

class Sink : public fuzzing::CheckingSink {
public:
    Sink() : CheckingSink(false) {}
};

struct Outcome {
    std::optional<std::string> refusal;  // the decoder's words, or none
    bool tooLarge = false;
    Sink sink;
};

void decode(const std::uint8_t* data, std::size_t size, core::Argb background, Outcome& out) {
    core::MemorySource source(data, size);
    core::DecodeOptions options;
    options.background = background;
    try {
        core::gif::decode(source, options, out.sink);
        if (!out.sink.complete())
            broken("decoded without every row");
    } catch (const core::Failure& failure) {
        check_refusal(failure);
        out.refusal = failure.reason();
    } catch (const Sink::Refused&) {
        out.tooLarge = true;
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::optional<core::Size> header;
    try {
        core::MemorySource source(data, size);
        header = core::gif::size(source);
    } catch (const core::Failure&) {
    }

    constexpr core::Argb kFirst = core::argb(1, 2, 3), kSecond = core::argb(250, 251, 252);
    Outcome first, second;
    decode(data, size, kFirst, first);
    if (!header) {
        if (!first.refusal)
            broken("decoded what size() refused");
        return 0;
    }
    if (!first.tooLarge && !(first.sink.size() == *header))
        broken("decoded another size than size() gave");
    if (first.tooLarge || first.refusal)
        return 0;

    decode(data, size, kSecond, second);
    if (!second.sink.complete())
        broken("the background changed whether the file decodes");
    for (std::size_t i = 0; i < first.sink.pixels().size(); ++i) {
        const core::Argb a = first.sink.pixels()[i], b = second.sink.pixels()[i];
        if (a != b && (a != kFirst || b != kSecond))
            broken("the background changed a pixel the file sets");
    }
    return 0;
}
