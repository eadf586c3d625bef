// libFuzzer target for the format's readers: any bytes, taken as a whole file.
#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "tests/format/reader_properties.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view file(reinterpret_cast<const char*>(data), size);
    if (const auto broken = testing::broken_reader_property(file)) {
        std::fprintf(stderr, "broken: %s\n", broken->c_str());
        std::abort();
    }
    return 0;
}
