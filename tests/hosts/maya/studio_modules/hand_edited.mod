// Shading tools for the lighting department.
// Edited by hand: ask pipeline before changing the paths.
+ MAYAVERSION:2025 PLATFORM:linux	lightkit 3.1 /opt/studio/lightkit
plug-ins: bin/2025
LIGHTKIT_LICENSE = 27000@licence
MAYA_SCRIPT_PATH +:= mel

+ PLATFORM:linux studiotools 1.0 ../studiotools
plug-ins bin
scripts: mel

+ PLATFORM:linux paintkit 2.0 ../paintkit
# the rest of this section is Maya's to ignore
plug-ins: never/read
