# Installing builds for several Maya releases into one prefix
# (cmake/VelvetModuleFile.cmake): each release keeps its own folder and
# sections, a later install of the same release replaces the earlier one
# wholly, release-less sections come last, and what else the prefix's
# velvet.mod holds stays.
#
#   cmake -DSOURCE_DIR=<repository> -DWORK=<scratch folder> -P module_install_test.cmake
cmake_minimum_required(VERSION 3.25)
include("${SOURCE_DIR}/cmake/VelvetModuleFile.cmake")

function(fail)
  string(JOIN "" message ${ARGN})
  message(FATAL_ERROR "${message}")
endfunction()

# One install of a build for `release` ("" for none) whose plug-in file is
# `plugin` holding `content`.
function(install_release release content)
  if(release)
    set(dir "modules/velvet/plug-ins/${release}")
  else()
    set(dir "modules/velvet/plug-ins")
  endif()
  velvet_module_sections(sections "1.0" "${release}")
  velvet_merge_module_file("${WORK}" "modules/velvet.mod" "${dir}" "${release}" "${sections}")
  file(WRITE "${WORK}/${dir}/velvet.so" "${content}")
endfunction()

function(expect_file path content)
  if(NOT EXISTS "${WORK}/${path}")
    fail("${path} is missing")
  endif()
  file(READ "${WORK}/${path}" actual)
  if(NOT actual STREQUAL content)
    fail("${path} holds '${actual}', not '${content}'")
  endif()
endfunction()

# The + lines of velvet.mod, in order, joined by "|".
function(sections out)
  file(STRINGS "${WORK}/modules/velvet.mod" lines REGEX "^[-+]")
  list(JOIN lines "|" joined)
  set(${out} "${joined}" PARENT_SCOPE)
endfunction()

file(REMOVE_RECURSE "${WORK}")

# 1. A fresh prefix: the release's sections, each naming its folder.
install_release(2024 "2024 first")
file(READ "${WORK}/modules/velvet.mod" mod)
set(expected "")
foreach(platform linux win64 mac)
  string(APPEND expected "+ MAYAVERSION:2024 PLATFORM:${platform} velvet 1.0 velvet\n"
                         "plug-ins: plug-ins/2024\n\n")
endforeach()
string(REGEX REPLACE "\n\n$" "\n" expected "${expected}")
if(NOT mod STREQUAL expected)
  fail("a fresh install wrote:\n${mod}\nnot:\n${expected}")
endif()

# 2. A second release: both folders, both releases' sections, the newer install's first.
install_release(2025 "2025 first")
expect_file(modules/velvet/plug-ins/2024/velvet.so "2024 first")
expect_file(modules/velvet/plug-ins/2025/velvet.so "2025 first")
sections(s)
string(CONCAT want "+ MAYAVERSION:2025 PLATFORM:linux velvet 1.0 velvet|"
                   "+ MAYAVERSION:2025 PLATFORM:win64 velvet 1.0 velvet|"
                   "+ MAYAVERSION:2025 PLATFORM:mac velvet 1.0 velvet|"
                   "+ MAYAVERSION:2024 PLATFORM:linux velvet 1.0 velvet|"
                   "+ MAYAVERSION:2024 PLATFORM:win64 velvet 1.0 velvet|"
                   "+ MAYAVERSION:2024 PLATFORM:mac velvet 1.0 velvet")
if(NOT s STREQUAL want)
  fail("two releases gave the sections\n${s}")
endif()

# 3. The same release again replaces it wholly: no file of the earlier
# install is left, and its sections are there once.
file(WRITE "${WORK}/modules/velvet/plug-ins/2025/stale.txt" "from the earlier install")
install_release(2025 "2025 second")
if(EXISTS "${WORK}/modules/velvet/plug-ins/2025/stale.txt")
  fail("a file of the earlier 2025 install survived the later one")
endif()
expect_file(modules/velvet/plug-ins/2025/velvet.so "2025 second")
expect_file(modules/velvet/plug-ins/2024/velvet.so "2024 first")
sections(again)
if(NOT again STREQUAL want)
  fail("reinstalling 2025 gave the sections\n${again}")
endif()

# 4. A release-less build goes into plug-ins/ itself, leaves the release
# folders alone, and its sections come last; installed again, it replaces
# them.
install_release("" "any release")
install_release("" "any release, again")
expect_file(modules/velvet/plug-ins/velvet.so "any release, again")
expect_file(modules/velvet/plug-ins/2024/velvet.so "2024 first")
sections(s)
string(CONCAT want_any "${want}|+ PLATFORM:linux velvet 1.0 velvet|"
                       "+ PLATFORM:win64 velvet 1.0 velvet|+ PLATFORM:mac velvet 1.0 velvet")
if(NOT s STREQUAL want_any)
  fail("a release-less install gave the sections\n${s}")
endif()
# A release installed after it still comes before it.
install_release(2026 "2026")
sections(s)
if(NOT s MATCHES "^\\+ MAYAVERSION:2026 .*\\+ MAYAVERSION:2024 PLATFORM:mac[^|]*\\|\\+ PLATFORM:linux")
  fail("a release installed after a release-less one gave the sections\n${s}")
endif()

# 5. What else the file holds stays: comments above the first section, other
# modules, lines with ';', Windows line ends read.
file(REMOVE_RECURSE "${WORK}")
file(WRITE "${WORK}/modules/velvet.mod"
     "# site notes\r\n+ MAYAVERSION:2025 PLATFORM:linux velvet 0.9 velvet\r\nplug-ins: old\r\n"
     "+ PLATFORM:win64 helper 2.0 helper\r\nPATH+=a;b\r\n")
install_release(2025 "2025")
file(READ "${WORK}/modules/velvet.mod" mod)
if(NOT mod MATCHES "^# site notes\n\\+ MAYAVERSION:2025 PLATFORM:linux velvet 1.0 velvet\n")
  fail("the comments above the first section moved:\n${mod}")
endif()
if(NOT mod MATCHES "\\+ PLATFORM:win64 helper 2.0 helper\nPATH\\+=a;b\n$")
  fail("another module's section was not kept as written:\n${mod}")
endif()
if(mod MATCHES "velvet 0.9" OR mod MATCHES "plug-ins: old" OR mod MATCHES "\r")
  fail("the earlier 2025 section or a Windows line end survived:\n${mod}")
endif()
file(REMOVE_RECURSE "${WORK}")
message(STATUS "module file merges: OK")
