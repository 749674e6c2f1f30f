# FindGlslangValidator
# --------------------
# Finds glslangValidator, the Khronos reference compiler for GLSL and (through
# its HLSL front end) HLSL, which the tests use to compile shader sources.
#
# Result variables: GlslangValidator_FOUND, GlslangValidator_EXECUTABLE.
find_program(GlslangValidator_EXECUTABLE glslangValidator)
mark_as_advanced(GlslangValidator_EXECUTABLE)
include(FindPackageHandleStandardArgs)
find_package_handle_standard_args(GlslangValidator REQUIRED_VARS GlslangValidator_EXECUTABLE)
