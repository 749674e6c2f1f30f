# FindMentalRay
# -------------
# Finds the mental ray shader interface: shader.h in <root>/include/ or
# <root>/, with <root> from `MentalRay_ROOT`. A shader library links against
# no renderer library (it binds the host functions at run time), so the
# header is all there is to find.
#
# Result variables: MentalRay_FOUND, MentalRay_INCLUDE_DIR
# Imported target:  MentalRay::Shader (the include folder)

if(DEFINED _MentalRay_SEARCHED AND NOT _MentalRay_SEARCHED STREQUAL "${MentalRay_ROOT}")
  unset(MentalRay_INCLUDE_DIR CACHE)
endif()
set(_MentalRay_SEARCHED "${MentalRay_ROOT}" CACHE INTERNAL "Folder shader.h was searched in")

find_path(MentalRay_INCLUDE_DIR shader.h
  PATHS "${MentalRay_ROOT}"
  PATH_SUFFIXES include
  NO_DEFAULT_PATH)
mark_as_advanced(MentalRay_INCLUDE_DIR)

include(FindPackageHandleStandardArgs)
find_package_handle_standard_args(MentalRay
  REQUIRED_VARS MentalRay_INCLUDE_DIR
  REASON_FAILURE_MESSAGE "${MentalRay_ROOT}: no shader.h in include/ or in the folder itself")

if(MentalRay_FOUND AND NOT TARGET MentalRay::Shader)
  add_library(MentalRay::Shader INTERFACE IMPORTED)
  set_target_properties(MentalRay::Shader PROPERTIES
    INTERFACE_INCLUDE_DIRECTORIES "${MentalRay_INCLUDE_DIR}")
endif()
