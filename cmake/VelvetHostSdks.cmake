# What each plug-in is built against: its host's real SDK when a path to one
# is given, otherwise the stand-in under hosts/. A build against a real SDK
# leaves that host's stand-in out (with its tests, benchmarks and preview
# backend), since nothing here can drive the real host.
#
# Sets VELVET_MAYA_STANDIN and VELVET_MENTALRAY_STANDIN: whether the stand-in
# of each host is built.

# The devkit defaults from the environment the first time the build is
# configured, then stays in the cache: a later re-run from another shell must
# not switch SDKs under the build.
if(NOT DEFINED CACHE{VELVET_MAYA_DEVKIT})
  set(_velvet_devkit "")
  if(DEFINED ENV{DEVKIT_LOCATION} AND NOT "$ENV{DEVKIT_LOCATION}" STREQUAL "")
    set(_velvet_devkit "$ENV{DEVKIT_LOCATION}")
  elseif(DEFINED ENV{MAYA_LOCATION} AND NOT "$ENV{MAYA_LOCATION}" STREQUAL "")
    set(_velvet_devkit "$ENV{MAYA_LOCATION}")
  endif()
  set(VELVET_MAYA_DEVKIT "${_velvet_devkit}" CACHE PATH
      "Maya devkit to build the plug-in against; empty: the stand-in (default: $DEVKIT_LOCATION, then $MAYA_LOCATION)")
  unset(_velvet_devkit)
endif()
set(VELVET_MENTALRAY_SDK "" CACHE PATH
    "Folder holding mental ray's shader.h (in include/ or itself); empty: the stand-in")

# Which devkit the stand-in models: 200900 (the API the plug-in was first
# written for) or 20250000, shaped like the devkits since 2018 (eight-digit
# version, versioned namespace, schedulingType()). Tests, benchmarks and the
# preview build against whichever is chosen.
set(VELVET_MAYA_STANDIN_API 200900 CACHE STRING
    "API version of the stand-in Maya devkit: 200900 or 20250000")
set_property(CACHE VELVET_MAYA_STANDIN_API PROPERTY STRINGS 200900 20250000)
if(NOT VELVET_MAYA_STANDIN_API MATCHES "^(200900|20250000)$")
  message(FATAL_ERROR "VELVET_MAYA_STANDIN_API is '${VELVET_MAYA_STANDIN_API}': "
                      "the stand-in devkit comes as 200900 or 20250000")
endif()

set(VELVET_MAYA_STANDIN ${VELVET_BUILD_MAYA})
if(VELVET_BUILD_MAYA AND NOT VELVET_MAYA_DEVKIT STREQUAL "")
  set(Maya_ROOT "${VELVET_MAYA_DEVKIT}")
  find_package(Maya REQUIRED)
  set(VELVET_MAYA_STANDIN OFF)
  message(STATUS "velvet: Maya plug-in against the devkit in ${VELVET_MAYA_DEVKIT} "
                 "(API version ${Maya_API_VERSION}, Maya ${Maya_VERSION}); no stand-in Maya host")
endif()

# The Maya release the plug-in is built for, which names its module section
# (MAYAVERSION:) and its folder (plug-ins/<release>/), so that builds for
# several releases install side by side: the devkit's release, or the one the
# stand-in models. Empty for the stand-in's 200900, which installs as one
# section for every release into plug-ins/ itself.
set(VELVET_MAYA_RELEASE "")
if(VELVET_BUILD_MAYA AND NOT VELVET_MAYA_STANDIN)
  set(VELVET_MAYA_RELEASE "${Maya_VERSION}")
elseif(VELVET_BUILD_MAYA AND VELVET_MAYA_STANDIN_API GREATER_EQUAL 20180000)
  string(SUBSTRING "${VELVET_MAYA_STANDIN_API}" 0 4 VELVET_MAYA_RELEASE)
endif()

set(VELVET_MENTALRAY_STANDIN ${VELVET_BUILD_MENTALRAY})
if(VELVET_BUILD_MENTALRAY AND NOT VELVET_MENTALRAY_SDK STREQUAL "")
  set(MentalRay_ROOT "${VELVET_MENTALRAY_SDK}")
  find_package(MentalRay REQUIRED)
  set(VELVET_MENTALRAY_STANDIN OFF)
  message(STATUS "velvet: mental ray library against ${MentalRay_INCLUDE_DIR}/shader.h; "
                 "no stand-in renderer")
endif()
