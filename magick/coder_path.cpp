// Prints the folder this MagickCore looks for its coder modules in. The
// headers spell it out for POSIX systems only, as MagickCore's own build
// says it is one.
#define MAGICKCORE_POSIX_SUPPORT 1
#include <magick/magick-config.h>

#include <cstdio>

int main() { std::fputs(MAGICKCORE_CODER_PATH, stdout); }
