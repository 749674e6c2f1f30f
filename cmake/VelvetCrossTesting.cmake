# Testing a cross build: GoogleTest built for the target, and (for the
# MinGW-w64 toolchain) a Wine prefix for ctest to run the test programs in.

# Built from the sources of Debian's googletest package (a dependency of
# libgtest-dev): there is no packaged build for the target, and nothing is
# downloaded.
set(VELVET_GTEST_SOURCE_DIR "/usr/src/googletest" CACHE PATH "GoogleTest sources for a cross build")
if(NOT EXISTS "${VELVET_GTEST_SOURCE_DIR}/CMakeLists.txt")
  message(FATAL_ERROR "No GoogleTest sources in ${VELVET_GTEST_SOURCE_DIR}: install Debian's "
                      "googletest package, or set VELVET_GTEST_SOURCE_DIR")
endif()
set(BUILD_GMOCK OFF)
set(INSTALL_GTEST OFF)
add_subdirectory("${VELVET_GTEST_SOURCE_DIR}" "${CMAKE_BINARY_DIR}/googletest" EXCLUDE_FROM_ALL)
# It keeps its own warning flags: ours (and -Werror) reach only the targets
# that link velvet_compile_settings.

# Every emulated process start costs (about a second under Wine), so tests
# are listed when ctest runs rather than after every link, with room for a
# slow start on a busy machine.
set(CMAKE_GTEST_DISCOVER_TESTS_DISCOVERY_MODE PRE_TEST)
set(VELVET_TEST_DISCOVERY_TIMEOUT 120)

# The Wine prefix, made once while building so that the first test does not
# pay for it (and time out). The toolchain names it and its environment.
if(VELVET_WINEPREFIX AND VELVET_WINE)
  add_custom_command(
    OUTPUT "${VELVET_WINEPREFIX}/system.reg"
    COMMAND ${CMAKE_COMMAND} -E env ${VELVET_WINE_ENVIRONMENT} "${VELVET_WINE}" wineboot --init
    # The prefix is complete only once its server has written it out and quit.
    COMMAND ${CMAKE_COMMAND} -E env ${VELVET_WINE_ENVIRONMENT} wineserver --wait
    COMMENT "Creating the Wine prefix ${VELVET_WINEPREFIX}"
    VERBATIM)
  add_custom_target(velvet_wine_prefix ALL DEPENDS "${VELVET_WINEPREFIX}/system.reg")
endif()
