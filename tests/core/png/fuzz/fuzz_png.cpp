// libFuzzer target for the PNG decoder: any bytes, taken as a whole file.
// Beyond what the sanitizers catch, the decoder's promises are checked: the
// size from the header chunk is the size decoded; rows come once each from
// the top, each pixel opaque unless the picture has alpha; a file is refused
// only with a Failure in words.
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
    Sink() : CheckingSink(true) {}
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::optional<core::Size> header;
    try {
        core::MemorySource source(data, size);
        header = core::png::size(source);
    } catch (const core::Failure& failure) {
        check_refusal(failure);
    }

    Sink sink;
    try {
        core::MemorySource source(data, size);
        core::png::decode(source, {}, sink);
        if (!sink.complete())
            broken("decoded without every row");
        if (!header)
            broken("decoded what size() refused");
        if (!(sink.size() == *header))
            broken("decoded another size than size() gave");
    } catch (const core::Failure& failure) {
        check_refusal(failure);
    } catch (const Sink::Refused&) {
    }
    return 0;
}
