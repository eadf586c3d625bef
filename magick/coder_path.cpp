// Prints the folder this MagickCore looks for its coder modules in, and on
// a second line the folder of its own configuration files (magic.xml among
// them). The headers spell them out for POSIX systems only, as MagickCore's
// own build says it is one.
#define MAGICKCORE_POSIX_SUPPORT 1
#include <magick/magick-config.h>

#include <cstdio>

int main() { std::printf("%s\n%s", MAGICKCORE_CODER_PATH, MAGICKCORE_SHAREARCH_PATH); }
