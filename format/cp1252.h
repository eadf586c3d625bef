// Windows-1252, the 8-bit character set of the notice field.
#pragma once

#include <optional>

namespace zft {

// The byte that stands for `c`, or nullopt when the set has no such character.
std::optional<unsigned char> to_cp1252(char32_t c);

// The character a byte stands for. The five bytes the set leaves undefined
// (0x81, 0x8D, 0x8F, 0x90, 0x9D) map to the control characters of the same
// number, as Windows itself maps them, so every byte round-trips.
char32_t from_cp1252(unsigned char byte);

}  // namespace zft
