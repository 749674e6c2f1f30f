# Where each deliverable goes, in an installed tree and in the build tree
# alike. The build tree holds the same layout under its own root (the
# "staged" tree), so that hosts pointed at the build find the plug-ins
# exactly as they find an installed copy.
#
#   modules/velvet.mod                        Maya module description
#   modules/velvet/plug-ins/                  velvet.so (velvet.mll on Windows)
#   modules/velvet/scripts/                   AE template
#   mentalray/lib/                            krel_velvet.so (.dll)
#   mentalray/include/                        krel_velvet.mi
#   bin/                                      velvet-preview
#   lib/velvet-preview/                       the preview tool's stand-in hosts
#   share/doc/velvet/                         README

set(VELVET_INSTALL_MODULES_DIR "modules")
set(VELVET_INSTALL_MODULE_DIR "${VELVET_INSTALL_MODULES_DIR}/velvet")
set(VELVET_INSTALL_MAYA_PLUGIN_DIR "${VELVET_INSTALL_MODULE_DIR}/plug-ins")
set(VELVET_INSTALL_MAYA_SCRIPT_DIR "${VELVET_INSTALL_MODULE_DIR}/scripts")
set(VELVET_INSTALL_MAYA_PRESET_DIR "${VELVET_INSTALL_MODULE_DIR}/presets")
set(VELVET_INSTALL_MENTALRAY_DIR "mentalray")
set(VELVET_INSTALL_MENTALRAY_LIB_DIR "${VELVET_INSTALL_MENTALRAY_DIR}/lib")
set(VELVET_INSTALL_MENTALRAY_INCLUDE_DIR "${VELVET_INSTALL_MENTALRAY_DIR}/include")
set(VELVET_INSTALL_BIN_DIR "bin")
# Windows finds a program's DLLs beside it; elsewhere the tool's run path
# points here, out of the hosts' way.
if(WIN32)
  set(VELVET_INSTALL_PREVIEW_LIB_DIR "${VELVET_INSTALL_BIN_DIR}")
else()
  set(VELVET_INSTALL_PREVIEW_LIB_DIR "lib/velvet-preview")
endif()
set(VELVET_INSTALL_DOC_DIR "share/doc/velvet")

# The staged tree's root in the build.
set(VELVET_STAGE_DIR "${PROJECT_BINARY_DIR}")

# A plug-in library: built into the staged tree at `destination` and
# installed there. Installed plug-ins carry no run path: inside the real
# host they must bind to the host's own libraries.
function(velvet_ship_plugin target destination)
  set_target_properties(
    ${target} PROPERTIES LIBRARY_OUTPUT_DIRECTORY "${VELVET_STAGE_DIR}/${destination}"
                         RUNTIME_OUTPUT_DIRECTORY "${VELVET_STAGE_DIR}/${destination}"
                         INSTALL_RPATH "")
  install(TARGETS ${target} LIBRARY DESTINATION "${destination}" RUNTIME DESTINATION "${destination}")
endfunction()

# Files shipped as they are in the source tree: copied into the staged tree
# (again whenever they change) and installed at `destination`.
function(velvet_ship_files destination)
  foreach(file IN LISTS ARGN)
    get_filename_component(name "${file}" NAME)
    configure_file("${file}" "${VELVET_STAGE_DIR}/${destination}/${name}" COPYONLY)
  endforeach()
  install(FILES ${ARGN} DESTINATION "${destination}")
endfunction()
