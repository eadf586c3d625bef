// A main() for a libFuzzer target built with the ordinary compiler: it
// gives the target every file of the folders it is given, once each, in
// the order of their names. So the default test run checks each target's
// promises on its seed corpus, the same way every time and in a second;
// the long runs under libFuzzer are scripts/dev.sh fuzz.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);

int main(int argc, char** argv) {
    std::vector<std::filesystem::path> inputs;
    for (int i = 1; i < argc; ++i)
        for (const auto& entry : std::filesystem::directory_iterator(argv[i]))
            if (entry.is_regular_file())
                inputs.push_back(entry.path());
    std::sort(inputs.begin(), inputs.end());
    if (inputs.empty()) {
        std::fprintf(stderr, "no inputs in the folders given\n");
        return 1;
    }
    for (const auto& input : inputs) {
        // Said before, since a broken promise aborts.
        std::printf("%s\n", input.c_str());
        std::fflush(stdout);
        std::ifstream in(input, std::ios::binary);
        const std::vector<char> bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
        static const std::uint8_t none = 0;
        LLVMFuzzerTestOneInput(bytes.empty() ? &none : reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size());
    }
    std::printf("%zu inputs, every promise kept\n", inputs.size());
    return 0;
}
