# FindMaya
# --------
# Finds an Autodesk Maya devkit (or a Maya installation that carries one).
#
# Searched, in this order of preference: `Maya_ROOT` (CMake variable), else
# the environment variables DEVKIT_LOCATION and MAYA_LOCATION. Nothing else:
# a devkit is never taken from the system's own folders.
#
# Each may be a devkit as its archive unpacks (devkitBase/ holding include/
# and lib/), that devkitBase/ folder itself, or a Maya installation.
#
#   headers    maya/MFnPlugin.h under include/, devkit/include/ or devkitBase/include/
#   libraries  OpenMaya and Foundation under lib/ or devkitBase/lib/
#              (Maya.app/Contents/MacOS on macOS)
#   version    MAYA_API_VERSION from maya/MTypes.h beside MFnPlugin.h: six
#              digits up to 2017 (201700), eight since 2018 (20250300)
#
# Result variables:
#   Maya_FOUND, Maya_INCLUDE_DIR, Maya_LIBRARIES, Maya_DEFINITIONS,
#   Maya_API_VERSION (e.g. 20220300),
#   Maya_VERSION (the Maya release the API version belongs to, e.g. 2022)
#
# Imported targets:
#   Maya::OpenMaya, Maya::Foundation  the two libraries
#   Maya::OpenMayaRender              Viewport 2.0, when the devkit has it
#   Maya::Maya                        all of them, the headers and the definitions a
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
  unset(Maya_OpenMayaRender_LIBRARY CACHE)
endif()
set(_Maya_SEARCHED "${_maya_search}" CACHE INTERNAL "Folders the Maya devkit was searched in")

find_path(Maya_INCLUDE_DIR maya/MFnPlugin.h
  PATHS ${_maya_search}
  PATH_SUFFIXES include devkit/include devkitBase/include
  NO_DEFAULT_PATH)
foreach(_maya_lib OpenMaya Foundation)
  find_library(Maya_${_maya_lib}_LIBRARY ${_maya_lib}
    PATHS ${_maya_search}
    PATH_SUFFIXES lib devkitBase/lib Maya.app/Contents/MacOS
    NO_DEFAULT_PATH)
endforeach()
mark_as_advanced(Maya_INCLUDE_DIR Maya_OpenMaya_LIBRARY Maya_Foundation_LIBRARY)

# Every devkit's MTypes.h defines the API version; a header folder without it
# is not one a plug-in can be built against.
set(Maya_API_VERSION "")
set(Maya_VERSION "")
set(_maya_version_problem "")
if(Maya_INCLUDE_DIR)
  set(_maya_types "${Maya_INCLUDE_DIR}/maya/MTypes.h")
  if(NOT EXISTS "${_maya_types}")
    set(_maya_version_problem "no maya/MTypes.h beside maya/MFnPlugin.h in ${Maya_INCLUDE_DIR}")
  else()
    file(STRINGS "${_maya_types}" _maya_version_line
         REGEX "^[ \t]*#[ \t]*define[ \t]+MAYA_API_VERSION[ \t]+[0-9]+")
    if(_maya_version_line MATCHES "MAYA_API_VERSION[ \t]+([0-9]+)")
      set(Maya_API_VERSION "${CMAKE_MATCH_1}")
    endif()
    if(Maya_API_VERSION MATCHES "^(20[0-9][0-9])([0-9][0-9]|[0-9][0-9][0-9][0-9])$")
      # 200900 (Maya 2009) and 20250300 (Maya 2025, update 3) alike start
      # with the release.
      set(Maya_VERSION "${CMAKE_MATCH_1}")
    elseif(Maya_API_VERSION)
      string(CONCAT _maya_version_problem "MAYA_API_VERSION ${Maya_API_VERSION} in ${_maya_types} "
                    "is not a release's six or eight digits (201700, 20250300)")
      set(Maya_API_VERSION "")
    else()
      set(_maya_version_problem "no MAYA_API_VERSION defined in ${_maya_types}")
    endif()
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
    list(APPEND _maya_missing
         "no maya/MFnPlugin.h under include/, devkit/include/ or devkitBase/include/")
  elseif(_maya_version_problem)
    list(APPEND _maya_missing "${_maya_version_problem}")
  endif()
  foreach(_maya_lib OpenMaya Foundation)
    if(NOT Maya_${_maya_lib}_LIBRARY)
      list(APPEND _maya_missing "no ${_maya_lib} library under lib/ or devkitBase/lib/")
    endif()
  endforeach()
  list(JOIN _maya_missing ", " _maya_missing)
  if(_maya_missing)
    string(PREPEND _maya_missing "${_maya_search}: ")
  endif()
endif()

include(FindPackageHandleStandardArgs)
find_package_handle_standard_args(Maya
  REQUIRED_VARS Maya_INCLUDE_DIR Maya_API_VERSION Maya_OpenMaya_LIBRARY Maya_Foundation_LIBRARY
  VERSION_VAR Maya_VERSION
  REASON_FAILURE_MESSAGE "${_maya_missing}")

# OpenMayaRender holds Viewport 2.0 (API 201400 on), which the plug-in's
# shading node override uses. Linked when the devkit has it.
find_library(Maya_OpenMayaRender_LIBRARY OpenMayaRender
  PATHS ${_maya_search}
  PATH_SUFFIXES lib devkitBase/lib Maya.app/Contents/MacOS
  NO_DEFAULT_PATH)
mark_as_advanced(Maya_OpenMayaRender_LIBRARY)

if(Maya_FOUND)
  set(Maya_LIBRARIES "${Maya_OpenMaya_LIBRARY}" "${Maya_Foundation_LIBRARY}")
  set(_maya_link "Maya::OpenMaya;Maya::Foundation")
  if(Maya_OpenMayaRender_LIBRARY)
    list(APPEND Maya_LIBRARIES "${Maya_OpenMayaRender_LIBRARY}")
    if(NOT TARGET Maya::OpenMayaRender)
      add_library(Maya::OpenMayaRender UNKNOWN IMPORTED)
      set_target_properties(Maya::OpenMayaRender PROPERTIES
        IMPORTED_LOCATION "${Maya_OpenMayaRender_LIBRARY}"
        INTERFACE_INCLUDE_DIRECTORIES "${Maya_INCLUDE_DIR}")
    endif()
    list(APPEND _maya_link Maya::OpenMayaRender)
  endif()
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
      INTERFACE_LINK_LIBRARIES "${_maya_link}"
      INTERFACE_COMPILE_DEFINITIONS "${Maya_DEFINITIONS}")
  endif()
endif()

unset(_maya_search)
unset(_maya_lib)
unset(_maya_link)
unset(_maya_missing)
unset(_maya_version_line)
unset(_maya_version_problem)
unset(_maya_types)
