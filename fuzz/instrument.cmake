# Included from the top level when QUILLAN_FUZZ is on, before any library is
# defined: every library and program of this build is compiled with coverage
# feedback for libFuzzer and with AddressSanitizer and
# UndefinedBehaviorSanitizer, so a fault anywhere under a fuzz target stops it.
if(NOT CMAKE_CXX_COMPILER_ID MATCHES "Clang")
  message(FATAL_ERROR "QUILLAN_FUZZ needs clang: configure with CC=clang CXX=clang++ (scripts/fuzz.sh does)")
endif()
if(QUILLAN_SANITIZE)
  message(FATAL_ERROR "QUILLAN_FUZZ brings its own sanitizers: leave QUILLAN_SANITIZE off")
endif()

add_compile_options(-fsanitize=fuzzer-no-link,address,undefined -fno-sanitize-recover=undefined
                    -fno-omit-frame-pointer -gline-tables-only)
# The component libraries are linked with --no-undefined, so they take the
# sanitizer runtime as a shared library too (clang links the static one into
# programs only); the programs find it through their run path.
add_link_options(-fsanitize=address,undefined -shared-libsan)
execute_process(COMMAND ${CMAKE_CXX_COMPILER} -print-file-name=libclang_rt.asan-x86_64.so
                OUTPUT_VARIABLE quillan_asan_runtime OUTPUT_STRIP_TRAILING_WHITESPACE)
get_filename_component(quillan_sanitizer_dir "${quillan_asan_runtime}" DIRECTORY)
if(NOT EXISTS "${quillan_asan_runtime}")
  message(FATAL_ERROR "clang's sanitizer runtime is missing: install libclang-rt-dev (scripts/setup.sh)")
endif()
add_link_options("LINKER:-rpath,${quillan_sanitizer_dir}")
