# cpp-httplib, as the imported target httplib::httplib.
#
# Debian builds it as a compiled library with TLS and compression switched
# on, and its pkg-config file carries the definitions that the header must
# see; so pkg-config comes first. Elsewhere it may be the plain single header.
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
