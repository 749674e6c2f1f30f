# Compiler settings for every target of this project, on one INTERFACE target,
# velvet_compile_settings, that each target links PRIVATE. Nothing here is
# global: a project that adds this one as a subdirectory keeps its own flags,
# and third-party code built in the tree (GoogleTest in the Windows build)
# keeps its own warnings.
#
# The shading arithmetic must give the same bits on every machine and in both
# plug-ins: no contraction into fused multiply-adds and no fast-math, ever.
# Tests, tools and benchmarks get the same settings, so that they see the
# same arithmetic as the plug-ins. velvet_check_compile_settings() (called
# last by the top-level CMakeLists.txt) stops the configure if a target was
# left without them.

add_library(velvet_compile_settings INTERFACE)

# ---- Sanitizers and fuzzing: checked before any flag is chosen ----------------
if(NOT VELVET_SANITIZER MATCHES "^(none|address|thread)$")
  message(FATAL_ERROR "VELVET_SANITIZER must be none, address or thread, not '${VELVET_SANITIZER}'")
endif()
if(NOT VELVET_SANITIZER STREQUAL "none" AND (WIN32 OR MSVC))
  # The sanitizer flags below are GCC/Clang ones, and the runtimes are Linux
  # builds here; MSVC's /fsanitize=address is a different tool.
  message(FATAL_ERROR "VELVET_SANITIZER: the ASan and TSan builds are Linux-only (GCC or Clang)")
endif()
if(VELVET_BUILD_FUZZERS)
  if(NOT CMAKE_CXX_COMPILER_ID STREQUAL "Clang")
    message(FATAL_ERROR "VELVET_BUILD_FUZZERS needs Clang (libFuzzer); use the fuzz preset")
  endif()
  if(NOT VELVET_SANITIZER STREQUAL "none")
    message(FATAL_ERROR "VELVET_BUILD_FUZZERS brings its own sanitizers; leave VELVET_SANITIZER none")
  endif()
endif()

# ---- Warnings and floating point ------------------------------------------------
if(MSVC)
  # /fp:precise contracts nothing from Visual Studio 2022 on (contraction
  # takes /fp:contract, which has no "-" form). Older compilers contract
  # under /fp:precise, so they get /fp:strict, which never does.
  if(MSVC_VERSION GREATER_EQUAL 1930)
    target_compile_options(velvet_compile_settings INTERFACE /W4 /fp:precise)
  else()
    target_compile_options(velvet_compile_settings INTERFACE /W4 /fp:strict)
  endif()
  if(VELVET_WARNINGS_AS_ERRORS)
    target_compile_options(velvet_compile_settings INTERFACE /WX)
  endif()
else()
  target_compile_options(velvet_compile_settings INTERFACE -Wall -Wextra -Wpedantic -Wshadow
                                                           -ffp-contract=off -fno-fast-math)
  if(CMAKE_CXX_COMPILER_ID MATCHES "Clang")
    # Maya looks its entry points up by their C names, and they return
    # MStatus: that is the host's interface, not a slip.
    target_compile_options(velvet_compile_settings INTERFACE -Wno-return-type-c-linkage)
  endif()
  if(VELVET_WARNINGS_AS_ERRORS)
    target_compile_options(velvet_compile_settings INTERFACE -Werror)
  endif()

  # ---- Instrumentation (never reached by MSVC: refused above) -------------------
  if(VELVET_BUILD_FUZZERS)
    # Every library is instrumented for coverage and checked by ASan + UBSan;
    # only the fuzz executables link libFuzzer's main (fuzz/CMakeLists.txt).
    target_compile_options(velvet_compile_settings INTERFACE -fsanitize=fuzzer-no-link,address,undefined
                                                             -fno-sanitize-recover=undefined -fno-omit-frame-pointer)
    target_link_options(velvet_compile_settings INTERFACE -fsanitize=address,undefined)
  elseif(VELVET_SANITIZER STREQUAL "address")
    target_compile_options(velvet_compile_settings INTERFACE -fsanitize=address,undefined
                                                             -fno-sanitize-recover=undefined -fno-omit-frame-pointer)
    target_link_options(velvet_compile_settings INTERFACE -fsanitize=address,undefined)
  elseif(VELVET_SANITIZER STREQUAL "thread")
    target_compile_options(velvet_compile_settings INTERFACE -fsanitize=thread -fno-omit-frame-pointer)
    target_link_options(velvet_compile_settings INTERFACE -fsanitize=thread)
  endif()
endif()

# Plug-ins export only what their host looks up; everything else stays hidden.
# (Directory-scoped: these reach this project's targets only.)
set(CMAKE_CXX_VISIBILITY_PRESET hidden)
set(CMAKE_VISIBILITY_INLINES_HIDDEN ON)

# Stops the configure if a target of this project that compiles code does not
# link velvet_compile_settings: a test built without -ffp-contract=off would
# compare its reference values against different arithmetic and still pass
# or fail by accident.
function(velvet_check_compile_settings)
  set(dirs "${PROJECT_SOURCE_DIR}")
  set(unsettled "")
  while(dirs)
    list(POP_FRONT dirs dir)
    get_property(subdirs DIRECTORY "${dir}" PROPERTY SUBDIRECTORIES)
    list(APPEND dirs ${subdirs})
    # Only this project's folders: GoogleTest built in the tree is not ours.
    cmake_path(IS_PREFIX PROJECT_SOURCE_DIR "${dir}" NORMALIZE ours)
    if(NOT ours)
      continue()
    endif()
    get_property(targets DIRECTORY "${dir}" PROPERTY BUILDSYSTEM_TARGETS)
    foreach(target IN LISTS targets)
      get_target_property(type ${target} TYPE)
      if(type MATCHES "^(EXECUTABLE|STATIC_LIBRARY|SHARED_LIBRARY|MODULE_LIBRARY|OBJECT_LIBRARY)$")
        get_target_property(links ${target} LINK_LIBRARIES)
        if(NOT "velvet_compile_settings" IN_LIST links)
          list(APPEND unsettled ${target})
        endif()
      endif()
    endforeach()
  endwhile()
  if(unsettled)
    list(JOIN unsettled ", " names)
    message(FATAL_ERROR "These targets do not link velvet_compile_settings: ${names}")
  endif()
endfunction()
