# For the fuzz targets' projects of their own: they need clang++ and its
# sanitizers, while the program is built with whatever compiler the machine
# has. Only standard-library code (and a decoding library) goes in, so no Qt
# is needed. tests/support/run_fuzz.sh configures, builds and runs them.
#   zft_fuzz_target(NAME SOURCE... [LIBRARIES library...])
if(NOT CMAKE_CXX_COMPILER_ID STREQUAL "Clang")
  message(FATAL_ERROR "libFuzzer needs clang++: configure with -DCMAKE_CXX_COMPILER=clang++")
endif()
set(CMAKE_CXX_STANDARD 20)
set(CMAKE_CXX_STANDARD_REQUIRED ON)
get_filename_component(ZFT_ROOT "${CMAKE_CURRENT_LIST_DIR}/../.." ABSOLUTE)

function(zft_fuzz_target name)
  cmake_parse_arguments(PARSE_ARGV 1 fuzz "" "" "LIBRARIES")
  # No build type: assertions stay on, as a fuzz run should check them too.
  set(sanitizers -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=all)
  list(TRANSFORM fuzz_UNPARSED_ARGUMENTS PREPEND ${ZFT_ROOT}/ REGEX "^(core|format)/")
  add_executable(${name} ${fuzz_UNPARSED_ARGUMENTS})
  target_include_directories(${name} PRIVATE ${ZFT_ROOT})
  target_compile_options(${name} PRIVATE ${sanitizers} -g -O1 -Wall -Wextra)
  target_link_options(${name} PRIVATE ${sanitizers})
  target_link_libraries(${name} PRIVATE ${fuzz_LIBRARIES})
endfunction()
