# cpp-httplib, as the imported target httplib::httplib.
#
# Debian builds it as a compiled library with TLS and compression switched
# on, and its pkg-config file carries the definitions that the header must
# see; so pkg-config comes first. Elsewhere it may be the plain single header.
#
# Debian's build is for Linux only: its httplib.h declares the library and the
# compiled part is a Linux shared library. A Windows cross build takes the
# library's single header from Debian's source package of the same version
# instead, unpacked into VELVET_HTTPLIB_SOURCE_DIR by .ci/httplib-source.sh;
# it needs Winsock (ws2_32) and the Windows 10 API (inet_pton, poll).
if(WIN32)
  set(VELVET_HTTPLIB_SOURCE_DIR "${PROJECT_SOURCE_DIR}/build/deps/cpp-httplib"
      CACHE PATH "cpp-httplib's single-header source for a Windows build (.ci/httplib-source.sh)")
  unset(httplib_FROM)
  set(header "${VELVET_HTTPLIB_SOURCE_DIR}/httplib.h")
  # The single header defines Server::listen_after_bind; the split one only
  # declares it.
  if(EXISTS "${header}")
    file(STRINGS "${header}" definition REGEX "^inline bool Server::listen_after_bind\\(\\)")
    file(STRINGS "${header}" version_line REGEX "^#define CPPHTTPLIB_VERSION ")
    if(definition)
      set(httplib_FROM "${VELVET_HTTPLIB_SOURCE_DIR}")
      string(REGEX REPLACE ".*\"(.*)\".*" "\\1" httplib_VERSION "${version_line}")
    endif()
  endif()
  include(FindPackageHandleStandardArgs)
  find_package_handle_standard_args(httplib REQUIRED_VARS httplib_FROM VERSION_VAR httplib_VERSION
                                    REASON_FAILURE_MESSAGE "run .ci/httplib-source.sh")
  if(httplib_FOUND AND NOT TARGET httplib::httplib)
    add_library(httplib::httplib INTERFACE IMPORTED)
    target_include_directories(httplib::httplib SYSTEM INTERFACE "${httplib_FROM}")
    target_compile_definitions(httplib::httplib INTERFACE _WIN32_WINNT=0x0A00)
    target_link_libraries(httplib::httplib INTERFACE ws2_32)
  endif()
  return()
endif()

find_package(PkgConfig QUIET)
if(PkgConfig_FOUND)
  pkg_check_modules(PC_HTTPLIB QUIET IMPORTED_TARGET cpp-httplib)
endif()
if(TARGET PkgConfig::PC_HTTPLIB)
  set(httplib_VERSION "${PC_HTTPLIB_VERSION}")
  set(httplib_FROM "pkg-config")
else()
  find_path(HTTPLIB_INCLUDE_DIR httplib.h)
  set(httplib_FROM "${HTTPLIB_INCLUDE_DIR}")
endif()

include(FindPackageHandleStandardArgs)
find_package_handle_standard_args(httplib REQUIRED_VARS httplib_FROM VERSION_VAR httplib_VERSION)

if(httplib_FOUND AND NOT TARGET httplib::httplib)
  add_library(httplib::httplib INTERFACE IMPORTED)
  if(TARGET PkgConfig::PC_HTTPLIB)
    target_link_libraries(httplib::httplib INTERFACE PkgConfig::PC_HTTPLIB)
  else()
    target_include_directories(httplib::httplib SYSTEM INTERFACE "${HTTPLIB_INCLUDE_DIR}")
  endif()
endif()
