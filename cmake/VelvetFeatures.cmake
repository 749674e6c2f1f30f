# Optional features: libraries that a fresh Debian machine with only
# GoogleTest, Google Benchmark, libpng and Ninja lacks. Each is looked for
# once, here at the top of the project (so that its imported targets are seen
# everywhere); without it the build goes on, the feature is off, and the
# summary at the end of configure names the Debian package that turns it on.
#
#   velvet_optional_package(<Package> DEBIAN <deb-package>... FEATURE <text>
#                           [FIND_ARGS <find_package arguments>...])
#
# Sets <Package>_FOUND and VELVET_WITH_<PACKAGE> (upper case) in the caller.
# CMAKE_DISABLE_FIND_PACKAGE_<Package>=ON turns a feature off on purpose, as
# CI's degraded build does. With VELVET_REQUIRE_FEATURES on (the presets set
# it from $CI) a feature missing for any other reason stops the configure: a
# CI machine must not pass by skipping tests of a library it failed to find.
include(FeatureSummary)

function(velvet_optional_package package)
  cmake_parse_arguments(PARSE_ARGV 1 arg "" "FEATURE" "DEBIAN;FIND_ARGS")
  find_package(${package} ${arg_FIND_ARGS} QUIET)
  list(JOIN arg_DEBIAN " " debian)
  set_package_properties(${package} PROPERTIES TYPE OPTIONAL)
  string(TOUPPER "${package}" upper)
  add_feature_info("${package}" ${package}_FOUND "${arg_FEATURE} (Debian package ${debian})")
  if(NOT ${package}_FOUND)
    set_property(GLOBAL APPEND PROPERTY VELVET_MISSING_DEBIAN_PACKAGES ${arg_DEBIAN})
    if(VELVET_REQUIRE_FEATURES AND NOT CMAKE_DISABLE_FIND_PACKAGE_${package})
      message(FATAL_ERROR "${package} was not found and VELVET_REQUIRE_FEATURES is on: "
                          "install the Debian package ${debian}, or configure with "
                          "-DCMAKE_DISABLE_FIND_PACKAGE_${package}=ON to build without it.")
    endif()
  endif()
  set(${package}_FOUND ${${package}_FOUND} PARENT_SCOPE)
  set(VELVET_WITH_${upper} ${${package}_FOUND} PARENT_SCOPE)
endfunction()

# The summary, and one apt-get line for everything missing.
function(velvet_feature_summary)
  feature_summary(WHAT ENABLED_FEATURES DISABLED_FEATURES PACKAGES_NOT_FOUND INCLUDE_QUIET_PACKAGES
                  DESCRIPTION "velvet's optional features:" QUIET_ON_EMPTY)
  get_property(missing GLOBAL PROPERTY VELVET_MISSING_DEBIAN_PACKAGES)
  if(missing)
    list(REMOVE_DUPLICATES missing)
    list(JOIN missing " " missing)
    message(STATUS "To turn every feature on: apt-get install ${missing}")
  endif()
endfunction()

# A header-only library that a cross build takes from the build machine lies
# in /usr/include, beside the build machine's own C library headers, which
# must never reach the cross compiler. `target` is pointed at a copy of the
# library's own folder `subdir` in the build tree instead.
function(velvet_isolate_headers target subdir)
  get_target_property(dirs ${target} INTERFACE_INCLUDE_DIRECTORIES)
  set(isolated "${CMAKE_BINARY_DIR}/isolated-headers/${subdir}")
  foreach(dir IN LISTS dirs)
    if(IS_DIRECTORY "${dir}/${subdir}")
      file(REMOVE_RECURSE "${isolated}")
      file(COPY "${dir}/${subdir}" DESTINATION "${isolated}")
      set_target_properties(${target} PROPERTIES INTERFACE_INCLUDE_DIRECTORIES "${isolated}"
                                                 INTERFACE_SYSTEM_INCLUDE_DIRECTORIES "${isolated}")
      return()
    endif()
  endforeach()
  message(FATAL_ERROR "${target}: no folder ${subdir} in its include folders (${dirs})")
endfunction()
