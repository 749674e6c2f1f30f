# Renders every picture of the user guide into docs/images with the real
# plug-ins, through the preview tool, and plots the lobe. Run by the `docs`
# target:
#   cmake -DTOOL=velvet-preview -DPLOT=velvet-lobe-plot -DSOURCE_DIR=... \
#         -DWORK_DIR=... -P render_docs.cmake
foreach(var TOOL PLOT SOURCE_DIR WORK_DIR)
  if(NOT DEFINED ${var})
    message(FATAL_ERROR "render_docs.cmake needs -D${var}=...")
  endif()
endforeach()
set(images "${SOURCE_DIR}/docs/images")
file(MAKE_DIRECTORY "${images}")

# Small pictures: the guide shows many, and they are committed.
set(strip_size --size 160x80 --aa 2 --threads 2)
set(look_size --size 320x160 --aa 3 --threads 2)

# Runs the tool into a fresh work folder and copies `produced` to `image`.
function(render image produced)
  file(REMOVE_RECURSE "${WORK_DIR}")
  execute_process(COMMAND "${TOOL}" --out "${WORK_DIR}" ${ARGN}
                  RESULT_VARIABLE rc OUTPUT_QUIET ERROR_VARIABLE err)
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "velvet-preview ${ARGN} failed (${rc}): ${err}")
  endif()
  file(COPY_FILE "${WORK_DIR}/${produced}" "${images}/${image}")
  message(STATUS "docs/images/${image}")
endfunction()

# One strip per parameter, fields split by "|": name, the values swept (as --sweep takes
# them) and any settings the parameter needs to show.
set(maya_sweeps
  "color|0.8,0.1,0.1,0.1,0.6,0.2,0.15,0.25,0.8,0.5,0.5,0.5,0.05,0.05,0.05"
  "transparency|0,0,0,0.25,0.25,0.25,0.5,0.5,0.5,0.75,0.75,0.75,1,1,1"
  "ambientColor|0,0,0,0.15,0.15,0.15,0.3,0.3,0.3,0.6,0.6,0.6,0.6,0.3,0.1"
  "incandescence|0,0,0,0.05,0.05,0.05,0.15,0.15,0.15,0.3,0.1,0,0,0.1,0.3"
  "diffuse|0,0.25,0.5,0.8,1"
  "translucence|0,0.1,0.25,0.5,1"
  "backscatter|0,0.1,0.25,0.5,1"
  "edginess|1,3,10,20,50"
  "roughness|0.05,0.1,0.2,0.5,1"
  "specularColor|0,0,0,0.25,0.25,0.25,0.5,0.5,0.5,1,1,1,1,0.5,0.2")
set(mr_sweeps
  "color|0.8,0.1,0.1,0.1,0.6,0.2,0.15,0.25,0.8,0.5,0.5,0.5,0.05,0.05,0.05"
  "ambientColor|0,0,0,0.15,0.15,0.15,0.3,0.3,0.3,0.6,0.6,0.6,0.6,0.3,0.1"
  "incandescence|0,0,0,0.05,0.05,0.05,0.15,0.15,0.15,0.3,0.1,0,0,0.1,0.3"
  "normalOffset|0,0,0,0.4,0,0,-0.4,0,0,0,0.4,0,0,-0.4,0"
  "diffuse|0,0.25,0.5,0.8,1"
  "edginess|1,2,4,10,20"
  "specular|0,0.5,1,1.5,2"
  "specularColor|0,0,0,0.25,0.25,0.25,0.5,0.5,0.5,1,1,1,1,0.5,0.2"
  "useIrradiance|off,on|--irradiance|0.6,0.6,0.6"
  "irradianceColor|0,0,0,0.25,0.25,0.25,0.5,0.5,0.5,1,1,1,1,0.5,0.2|--mr|useIrradiance=on|--irradiance|0.6,0.6,0.6")

foreach(host maya mr)
  foreach(entry ${${host}_sweeps})
    string(REPLACE "|" ";" parts "${entry}")
    list(POP_FRONT parts name values)
    render("${host}-${name}.png" sheet.png --hosts ${host} ${strip_size}
           --sweep "${name}=${values}" ${parts})
  endforeach()
endforeach()

# The gallery: every look the tool finds in the source tree.
execute_process(COMMAND "${TOOL}" --list-looks
                  --maya-presets "${SOURCE_DIR}/maya/presets/attrPresets/velvet"
                  --mr-looks "${SOURCE_DIR}/mentalray/krel_velvet_looks.mi"
                RESULT_VARIABLE rc OUTPUT_VARIABLE listing ERROR_VARIABLE err)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "velvet-preview --list-looks failed (${rc}): ${err}")
endif()
string(REGEX MATCHALL "\n  [a-z0-9-]+\n" names "\n${listing}")
foreach(name ${names})
  string(STRIP "${name}" name)
  render("look-${name}.png" preview.png --look ${name} ${look_size}
         --maya-presets "${SOURCE_DIR}/maya/presets/attrPresets/velvet"
         --mr-looks "${SOURCE_DIR}/mentalray/krel_velvet_looks.mi")
endforeach()

# The hosts' defaults, beside the looks.
render("defaults.png" preview.png ${look_size})

execute_process(COMMAND "${PLOT}" "${images}/lobe.png" RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "velvet-lobe-plot failed (${rc})")
endif()
message(STATUS "docs/images/lobe.png")
file(REMOVE_RECURSE "${WORK_DIR}")
