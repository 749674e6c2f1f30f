# FindMaya
# --------
# Finds an Autodesk Maya devkit (or a Maya installation that carries one).
#
# Searched, in this order of preference: `Maya_ROOT` (CMake variable), else
# the environment variables DEVKIT_LOCATION and MAYA_LOCATION. Nothing else:
# a devkit is never taken from the system's own folders.
#
#   headers    maya/MFnPlugin.h under include/ or devkit/include/
#   libraries  OpenMaya and Foundation under lib/ (Maya.app/Contents/MacOS on macOS)
#   version    MAYA_API_VERSION from maya/MTypes.h, when that file exists
#
# Result variables:
#   Maya_FOUND, Maya_INCLUDE_DIR, Maya_LIBRARIES, Maya_DEFINITIONS,
#   Maya_API_VERSION (e.g. 20220300; empty without MTypes.h),
#   Maya_VERSION (the Maya release the API version belongs to, e.g. 2022)
#
# Imported targets:
#   Maya::OpenMaya, Maya::Foundation  the two libraries
#   Maya::Maya                        both, the headers and the definitions a
#                                     plug-in is compiled with: REQUIRE_IOSTREAM,
#                                     _BOOL and LINUX, NT_PLUGIN or OSMac_

if(Maya_ROOT)
  set(_maya_search "${Maya_ROOT}")
else()
  set(_maya_search "$ENV{DEVKIT_LOCATION}" "$ENV{MAYA_LOCATION}")
  list(REMOVE_ITEM _maya_search "")
endif()

# Another devkit than last time: forget what was found in the old one.
if(DEFINED _Maya_SEARCHED AND NOT _Maya_SEARCHED STREQUAL "${_maya_search}")
  unset(Maya_INCLUDE_DIR CACHE)
  unset(Maya_OpenMaya_LIBRARY CACHE)
  unset(Maya_Foundation_LIBRARY CACHE)
endif()
set(_Maya_SEARCHED "${_maya_search}" CACHE INTERNAL "Folders the Maya devkit was searched in")

find_path(Maya_INCLUDE_DIR maya/MFnPlugin.h
  PATHS ${_maya_search}
  PATH_SUFFIXES include devkit/include
  NO_DEFAULT_PATH)
foreach(_maya_lib OpenMaya Foundation)
  find_library(Maya_${_maya_lib}_LIBRARY ${_maya_lib}
    PATHS ${_maya_search}
    PATH_SUFFIXES lib Maya.app/Contents/MacOS
    NO_DEFAULT_PATH)
endforeach()
mark_as_advanced(Maya_INCLUDE_DIR Maya_OpenMaya_LIBRARY Maya_Foundation_LIBRARY)

set(Maya_API_VERSION "")
set(Maya_VERSION "")
if(Maya_INCLUDE_DIR AND EXISTS "${Maya_INCLUDE_DIR}/maya/MTypes.h")
  file(STRINGS "${Maya_INCLUDE_DIR}/maya/MTypes.h" _maya_version_line
       REGEX "^#define[ \t]+MAYA_API_VERSION[ \t]+[0-9]+")
  if(_maya_version_line MATCHES "MAYA_API_VERSION[ \t]+([0-9]+)")
    set(Maya_API_VERSION "${CMAKE_MATCH_1}")
    # 200900 (Maya 2009) and 20220300 (Maya 2022.3) alike start with the year.
    string(SUBSTRING "${Maya_API_VERSION}" 0 4 Maya_VERSION)
  endif()
endif()

if(WIN32)
  set(Maya_DEFINITIONS REQUIRE_IOSTREAM _BOOL NT_PLUGIN)
elseif(APPLE)
  set(Maya_DEFINITIONS REQUIRE_IOSTREAM _BOOL OSMac_)
else()
  set(Maya_DEFINITIONS REQUIRE_IOSTREAM _BOOL LINUX)
endif()

# Say what is missing where, not only which variable is empty.
set(_maya_missing "")
if(NOT _maya_search)
  set(_maya_missing "no folder to search: set Maya_ROOT, DEVKIT_LOCATION or MAYA_LOCATION")
else()
  if(NOT Maya_INCLUDE_DIR)
    list(APPEND _maya_missing "no maya/MFnPlugin.h under include/ or devkit/include/")
  endif()
  foreach(_maya_lib OpenMaya Foundation)
    if(NOT Maya_${_maya_lib}_LIBRARY)
      list(APPEND _maya_missing "no ${_maya_lib} library under lib/")
    endif()
  endforeach()
  list(JOIN _maya_missing ", " _maya_missing)
  if(_maya_missing)
    string(PREPEND _maya_missing "${_maya_search}: ")
  endif()
endif()

include(FindPackageHandleStandardArgs)
find_package_handle_standard_args(Maya
  REQUIRED_VARS Maya_INCLUDE_DIR Maya_OpenMaya_LIBRARY Maya_Foundation_LIBRARY
  VERSION_VAR Maya_VERSION
  REASON_FAILURE_MESSAGE "${_maya_missing}")

if(Maya_FOUND)
  set(Maya_LIBRARIES "${Maya_OpenMaya_LIBRARY}" "${Maya_Foundation_LIBRARY}")
  foreach(_maya_lib OpenMaya Foundation)
    if(NOT TARGET Maya::${_maya_lib})
      add_library(Maya::${_maya_lib} UNKNOWN IMPORTED)
      set_target_properties(Maya::${_maya_lib} PROPERTIES
        IMPORTED_LOCATION "${Maya_${_maya_lib}_LIBRARY}"
        INTERFACE_INCLUDE_DIRECTORIES "${Maya_INCLUDE_DIR}")
    endif()
  endforeach()
  if(NOT TARGET Maya::Maya)
    add_library(Maya::Maya INTERFACE IMPORTED)
    set_target_properties(Maya::Maya PROPERTIES
      INTERFACE_LINK_LIBRARIES "Maya::OpenMaya;Maya::Foundation"
      INTERFACE_COMPILE_DEFINITIONS "${Maya_DEFINITIONS}")
  endif()
endif()

unset(_maya_search)
unset(_maya_lib)
unset(_maya_missing)
unset(_maya_version_line)
