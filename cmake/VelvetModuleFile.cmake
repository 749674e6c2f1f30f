# The Maya module description, velvet.mod, for builds for several Maya
# releases installed into one prefix.
#
# A build for a known release writes, per platform,
#
#   + MAYAVERSION:2025 PLATFORM:linux velvet 1.0 velvet
#   plug-ins: plug-ins/2025
#
# and installs its plug-in into modules/velvet/plug-ins/2025/; a build with no
# release (the stand-in's 200900) writes "+ PLATFORM:linux velvet 1.0 velvet"
# and uses plug-ins/ itself. Installing merges: the sections of other
# releases already in the prefix's velvet.mod stay, this release's are
# replaced, and the release-less sections (which match every Maya) come last
# so that each Maya takes its own section first.
#
# Included at configure time and again by the install script, which runs
# velvet_merge_module_file(), where the project's policies are not set.
cmake_policy(VERSION 3.25)

# The sections this build writes, into `out`.
function(velvet_module_sections out version release)
  set(text "")
  foreach(platform linux win64 mac)
    if(release)
      string(APPEND text "+ MAYAVERSION:${release} PLATFORM:${platform} velvet ${version} velvet\n"
                         "plug-ins: plug-ins/${release}\n\n")
    else()
      string(APPEND text "+ PLATFORM:${platform} velvet ${version} velvet\n\n")
    endif()
  endforeach()
  set(${out} "${text}" PARENT_SCOPE)
endfunction()

# Installs the module file by merging `sections` into the prefix's one, after
# emptying this release's plug-in folder (`plugin_dir`, relative to the
# prefix): what a later install for the same release lays down replaces
# every file of the earlier one.
function(velvet_install_module_release mod_file plugin_dir release sections)
  install(CODE "include(\"${CMAKE_CURRENT_FUNCTION_LIST_DIR}/VelvetModuleFile.cmake\")
velvet_merge_module_file(\"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}\" [==[${mod_file}]==]
                         [==[${plugin_dir}]==] [==[${release}]==] [==[${sections}]==])")
endfunction()

# Install time: see above. Lines are kept as written (a studio's comments
# too); Windows line ends become plain ones.
function(velvet_merge_module_file root mod_file plugin_dir release sections)
  if(release)
    file(REMOVE_RECURSE "${root}/${plugin_dir}")
  else()
    # Only the plug-in itself: the release folders beside it stay.
    file(GLOB old_plugins "${root}/${plugin_dir}/velvet.so" "${root}/${plugin_dir}/velvet.mll"
         "${root}/${plugin_dir}/velvet.bundle")
    if(old_plugins)
      file(REMOVE ${old_plugins})
    endif()
  endif()

  set(preamble "")
  set(versioned "")
  set(any_release "")
  set(mod "${root}/${mod_file}")
  if(EXISTS "${mod}")
    file(READ "${mod}" text)
    string(REPLACE "\r" "" text "${text}")
    # One list item per line: protect the list separator first.
    string(REPLACE ";" "<velvet-semicolon>" text "${text}")
    string(REPLACE "\n" ";" lines "${text}")
    set(section "")
    set(where preamble)
    foreach(line IN LISTS lines)
      if(line MATCHES "^[ \t]*[-+]")
        velvet_module_file_flush_(${where} section)
        # Conditions, then the name.
        string(REGEX MATCH "MAYAVERSION:[^ \t]+" condition "${line}")
        string(REGEX REPLACE "^[ \t]*[-+]([ \t]+[A-Z]+:[^ \t]*)*[ \t]+([^ \t]+).*" "\\2" name "${line}")
        if(name STREQUAL "velvet" AND ((release AND condition STREQUAL "MAYAVERSION:${release}")
                                       OR (NOT release AND NOT condition)))
          set(where dropped)
        elseif(condition)
          set(where versioned)
        else()
          set(where any_release)
        endif()
      endif()
      string(APPEND section "${line}\n")
    endforeach()
    velvet_module_file_flush_(${where} section)
  endif()

  string(REPLACE "<velvet-semicolon>" ";" preamble "${preamble}")
  string(REPLACE "<velvet-semicolon>" ";" versioned "${versioned}")
  string(REPLACE "<velvet-semicolon>" ";" any_release "${any_release}")
  if(release)
    set(merged "${preamble}${sections}${versioned}${any_release}")
  else()
    set(merged "${preamble}${versioned}${sections}${any_release}")
  endif()
  # Blank lines collapse to one between sections; the file ends in one newline.
  string(REGEX REPLACE "\n\n\n+" "\n\n" merged "${merged}")
  string(REGEX REPLACE "\n+$" "\n" merged "${merged}")
  if(release)
    message(STATUS "Installing: ${mod} (velvet for Maya ${release})")
  else()
    message(STATUS "Installing: ${mod} (velvet for every Maya release)")
  endif()
  file(WRITE "${mod}" "${merged}")
endfunction()

# Appends the section gathered so far to the list named `where`.
macro(velvet_module_file_flush_ where section_var)
  if(NOT "${where}" STREQUAL "dropped")
    string(APPEND ${where} "${${section_var}}")
  endif()
  set(${section_var} "")
endmacro()
