// libFuzzer target for the JPEG decoder: any bytes, taken as a whole file.
// Beyond what the sanitizers catch, the decoder's promises are checked: the
// size from our walk of the markers is the size libjpeg decodes; rows come
// once each from the top, every pixel opaque; a file is refused only with
// a Failure in words; and a file decoded whole decodes at a reduced scale
// too, at least as large as asked.
#include <algorithm>
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

// Whether the file decoded; a refusal must say why.
bool decode(const std::uint8_t* data, std::size_t size, core::Size atLeast, Sink& sink) {
    core::MemorySource source(data, size);
    core::DecodeOptions options;
    options.atLeast = atLeast;
    try {
        core::jpeg::decode(source, options, sink);
        if (!sink.complete())
            broken("decoded without every row");
        return true;
    } catch (const core::Failure& failure) {
        check_refusal(failure);
    } catch (const Sink::Refused&) {
    }
    return false;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::optional<core::Size> header;
    try {
        core::MemorySource source(data, size);
        header = core::jpeg::size(source);
    } catch (const core::Failure& failure) {
        check_refusal(failure);
    }

    Sink whole;
    if (!decode(data, size, {}, whole))
        return 0;
    if (!header)
        broken("decoded what size() refused");
    if (!(whole.size() == *header))
        broken("decoded another size than size() gave");

    const core::Size half{(header->width + 1) / 2, (header->height + 1) / 2};
    Sink reduced;
    if (!decode(data, size, half, reduced))
        broken("refused at a reduced scale what decodes whole");
    if (reduced.size().width < half.width || reduced.size().height < half.height ||
        reduced.size().width > header->width || reduced.size().height > header->height)
        broken("a reduced scale outside what was asked");
    return 0;
}
