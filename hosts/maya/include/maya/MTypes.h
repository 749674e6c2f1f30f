// Basic definitions of the devkit; here only the API version that this
// stand-in models. Build tools read MAYA_API_VERSION from this file.
#ifndef MAYA_MTYPES_H
#define MAYA_MTYPES_H

#define MAYA_API_VERSION 200900

#endif  // MAYA_MTYPES_H
