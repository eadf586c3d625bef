# Writes the bytes of the file INPUT into the C++ source OUTPUT as the array
# shell::NAME and its length NAMESize, declared in the header HEADER:
#   cmake -DINPUT=logo.jpg -DOUTPUT=logo.cpp -DNAME=kLogoJpeg -DHEADER=shell/logo.h -P embed.cmake
file(READ "${INPUT}" hex HEX)
string(REGEX REPLACE "(..)" "0x\\1," bytes "${hex}")
string(REGEX REPLACE "((0x..,){16})" "\\1\n    " bytes "${bytes}")
get_filename_component(name "${INPUT}" NAME)
file(WRITE "${OUTPUT}.new" "// ${name}, written by shell/embed.cmake.
#include \"${HEADER}\"

namespace shell {

const unsigned char ${NAME}[] = {
    ${bytes}
};
const std::size_t ${NAME}Size = sizeof ${NAME};

}  // namespace shell
")
file(COPY_FILE "${OUTPUT}.new" "${OUTPUT}" ONLY_IF_DIFFERENT)
file(REMOVE "${OUTPUT}.new")
