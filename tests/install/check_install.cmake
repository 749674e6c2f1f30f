# cmake -DBUILD_DIR=... -DPREFIX=... -DREADELF=... -DWINDOWS=0 -DMAYA_PLUGIN=velvet.so
#       -DMR_LIBRARY=krel_velvet.so -DPREVIEW=velvet-preview
#       -DPREVIEW_LIB_DIR=lib/velvet-preview -DRUN=1 -P check_install.cmake
cmake_minimum_required(VERSION 3.25)

function(fail)
  string(JOIN "" message ${ARGN})
  message(FATAL_ERROR "${message}")
endfunction()

file(REMOVE_RECURSE "${PREFIX}" "${PREFIX}-moved")
execute_process(COMMAND "${CMAKE_COMMAND}" --install "${BUILD_DIR}" --prefix "${PREFIX}"
                RESULT_VARIABLE rc OUTPUT_QUIET ERROR_VARIABLE err)
if(rc)
  fail("cmake --install failed: ${err}")
endif()

# The layout each host uses as it is.
foreach(file modules/velvet.mod "modules/velvet/plug-ins/${MAYA_PLUGIN}"
             modules/velvet/scripts/AEvelvetTemplate.mel "mentalray/lib/${MR_LIBRARY}"
             mentalray/include/krel_velvet.mi "bin/${PREVIEW}" share/doc/velvet/README.md
             modules/velvet/presets/attrPresets/velvet/crushed_red_velvet.mel
             mentalray/include/krel_velvet_looks.mi)
  if(NOT EXISTS "${PREFIX}/${file}")
    fail("the installed tree lacks ${file}")
  endif()
endforeach()
file(READ "${PREFIX}/modules/velvet.mod" mod)
foreach(platform linux win64 mac)
  if(NOT mod MATCHES "(^|\n)\\+ [^\n]*PLATFORM:${platform} velvet [0-9.]+ velvet\n")
    fail("velvet.mod has no module line for ${platform}:\n${mod}")
  endif()
endforeach()

# The hosts' folders hold the plug-ins and nothing of the stand-in hosts.
file(GLOB_RECURSE shipped RELATIVE "${PREFIX}" "${PREFIX}/modules/*" "${PREFIX}/mentalray/*")
foreach(file IN LISTS shipped)
  if(file MATCHES "OpenMaya|Foundation|mrhost")
    fail("${file} belongs beside the preview tool, not in the hosts' folders")
  endif()
endforeach()
file(GLOB stand_ins "${PREFIX}/${PREVIEW_LIB_DIR}/*OpenMaya*" "${PREFIX}/${PREVIEW_LIB_DIR}/*Foundation*"
     "${PREFIX}/${PREVIEW_LIB_DIR}/mrhost_module*")
list(LENGTH stand_ins count)
if(NOT count EQUAL 3)
  fail("expected the stand-in OpenMaya, Foundation and host module in ${PREVIEW_LIB_DIR}, found: "
       "${stand_ins}")
endif()

# Nothing installed points back into the build.
foreach(file "bin/${PREVIEW}" "modules/velvet/plug-ins/${MAYA_PLUGIN}" "mentalray/lib/${MR_LIBRARY}")
  file(STRINGS "${PREFIX}/${file}" hits REGEX "${BUILD_DIR}/(modules|mentalray|hosts)")
  if(hits)
    fail("${file} names build-tree paths: ${hits}")
  endif()
endforeach()

set(skipped "")
# Windows finds DLLs beside the program, not by run path: nothing to check
# there (.ci/windows.sh runs the unpacked ZIP from elsewhere under Wine).
if(WINDOWS)
elseif(READELF)
  # Inside the real Maya velvet must bind to Maya's own OpenMaya: no run path.
  foreach(file "modules/velvet/plug-ins/${MAYA_PLUGIN}" "mentalray/lib/${MR_LIBRARY}")
    execute_process(COMMAND "${READELF}" -d "${PREFIX}/${file}" OUTPUT_VARIABLE dynamic
                    RESULT_VARIABLE rc)
    if(rc)
      fail("readelf failed on ${file}")
    endif()
    if(dynamic MATCHES "RPATH|RUNPATH")
      fail("${file} carries a run path:\n${dynamic}")
    endif()
  endforeach()
  execute_process(COMMAND "${READELF}" -d "${PREFIX}/bin/${PREVIEW}" OUTPUT_VARIABLE dynamic)
  string(REGEX MATCH "(RPATH|RUNPATH)[^\n]*\\[([^]\n]*)\\]" entry "${dynamic}")
  if(NOT CMAKE_MATCH_2 STREQUAL "$ORIGIN/../${PREVIEW_LIB_DIR}")
    fail("bin/${PREVIEW} should run with $ORIGIN/../${PREVIEW_LIB_DIR}, has: '${entry}'")
  endif()
else()
  set(skipped "no readelf: run paths not checked")
endif()

# A copy somewhere else, the first tree gone, no host variables set: the
# tool finds both plug-ins around itself and renders.
if(RUN)
  file(COPY "${PREFIX}/" DESTINATION "${PREFIX}-moved")
  file(REMOVE_RECURSE "${PREFIX}")
  set(clean_env --unset=MAYA_MODULE_PATH --unset=MAYA_PLUG_IN_PATH --unset=MI_LIBRARY_PATH
                --unset=MI_RAY_INCPATH --unset=MI_CUSTOM_SHADER_PATH --unset=LD_LIBRARY_PATH
                --unset=VELVET_MAYA_PRESETS --unset=VELVET_MR_LOOKS)
  execute_process(COMMAND "${CMAKE_COMMAND}" -E env ${clean_env} "${PREFIX}-moved/bin/${PREVIEW}" --hosts
                  RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err)
  if(rc OR NOT out MATCHES "maya: found through the installed tree \\(${PREFIX}-moved/modules\\)"
     OR NOT out MATCHES "mr: found through the installed tree \\(${PREFIX}-moved/mentalray\\)")
    fail("the moved tree's velvet-preview --hosts (exit ${rc}):\n${out}${err}")
  endif()
  execute_process(
    COMMAND "${CMAKE_COMMAND}" -E env ${clean_env} "${PREFIX}-moved/bin/${PREVIEW}" --size 32x16
            --aa 1 --out "${PREFIX}-moved/render"
    RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err)
  if(rc OR NOT EXISTS "${PREFIX}-moved/render/preview.png")
    fail("the moved tree's velvet-preview did not render (exit ${rc}):\n${out}${err}")
  endif()
  execute_process(COMMAND "${CMAKE_COMMAND}" -E env ${clean_env} "${PREFIX}-moved/bin/${PREVIEW}"
                          --list-looks
                  RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err)
  if(rc OR NOT out MATCHES "^looks \\(installed tree ${PREFIX}-moved\\):\n  [a-z]")
    fail("the moved tree's velvet-preview --list-looks (exit ${rc}):\n${out}${err}")
  endif()
  file(REMOVE_RECURSE "${PREFIX}-moved")
endif()

if(skipped)
  message("SKIPPED: ${skipped}")
endif()
