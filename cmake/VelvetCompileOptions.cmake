# Compiler settings shared by every target.
#
# The shading arithmetic must give the same bits on every machine and in both
# plug-ins: no contraction into fused multiply-adds and no fast-math, ever.
# These apply to the whole project so that tests, tools and benchmarks see the
# same arithmetic as the plug-ins.

if(MSVC)
  # /fp:precise contracts nothing from Visual Studio 2022 on (contraction
  # takes /fp:contract, which has no "-" form). Older compilers contract
  # under /fp:precise, so they get /fp:strict, which never does.
  if(MSVC_VERSION GREATER_EQUAL 1930)
    add_compile_options(/W4 /fp:precise)
  else()
    add_compile_options(/W4 /fp:strict)
  endif()
  if(VELVET_WARNINGS_AS_ERRORS)
    add_compile_options(/WX)
  endif()
else()
  add_compile_options(-Wall -Wextra -Wpedantic -Wshadow -ffp-contract=off -fno-fast-math)
  if(CMAKE_CXX_COMPILER_ID MATCHES "Clang")
    # Maya looks its entry points up by their C names, and they return
    # MStatus: that is the host's interface, not a slip.
    add_compile_options(-Wno-return-type-c-linkage)
  endif()
  if(VELVET_WARNINGS_AS_ERRORS)
    add_compile_options(-Werror)
  endif()
endif()

if(WIN32 AND NOT VELVET_SANITIZER STREQUAL "none")
  message(FATAL_ERROR "VELVET_SANITIZER: the ASan and TSan builds are Linux-only")
endif()

if(VELVET_BUILD_FUZZERS)
  # Every library is instrumented for coverage and checked by ASan + UBSan;
  # only the fuzz executables link libFuzzer's main (fuzz/CMakeLists.txt).
  if(NOT CMAKE_CXX_COMPILER_ID STREQUAL "Clang")
    message(FATAL_ERROR "VELVET_BUILD_FUZZERS needs Clang (libFuzzer); use the fuzz preset")
  endif()
  if(NOT VELVET_SANITIZER STREQUAL "none")
    message(FATAL_ERROR "VELVET_BUILD_FUZZERS brings its own sanitizers; leave VELVET_SANITIZER none")
  endif()
  add_compile_options(-fsanitize=fuzzer-no-link,address,undefined -fno-sanitize-recover=undefined
                      -fno-omit-frame-pointer)
  add_link_options(-fsanitize=address,undefined)
endif()

if(VELVET_SANITIZER STREQUAL "address")
  add_compile_options(-fsanitize=address,undefined -fno-sanitize-recover=undefined
                      -fno-omit-frame-pointer)
  add_link_options(-fsanitize=address,undefined)
elseif(VELVET_SANITIZER STREQUAL "thread")
  add_compile_options(-fsanitize=thread -fno-omit-frame-pointer)
  add_link_options(-fsanitize=thread)
elseif(NOT VELVET_SANITIZER STREQUAL "none")
  message(FATAL_ERROR "VELVET_SANITIZER must be none, address or thread, not '${VELVET_SANITIZER}'")
endif()

# Plug-ins export only what their host looks up; everything else stays hidden.
set(CMAKE_CXX_VISIBILITY_PRESET hidden)
set(CMAKE_VISIBILITY_INLINES_HIDDEN ON)
