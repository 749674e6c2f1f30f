// Symbol export for the stand-in OpenMaya, OpenMayaRender and Foundation
// libraries and for
// the plug-ins' MApiVersion: the one place that knows how a Windows DLL and an
// ELF shared object publish their names.
#ifndef MAYA_MEXPORT_H
#define MAYA_MEXPORT_H

#if defined(_WIN32)
#if defined(OPENMAYA_BUILDING)
#define OPENMAYA_EXPORT __declspec(dllexport)
#else
#define OPENMAYA_EXPORT __declspec(dllimport)
#endif
#if defined(FOUNDATION_BUILDING)
#define FOUNDATION_EXPORT __declspec(dllexport)
#else
#define FOUNDATION_EXPORT __declspec(dllimport)
#endif
// The stand-in's OpenMaya holds OpenMayaRender's classes too.
#if defined(OPENMAYA_BUILDING) || defined(OPENMAYARENDER_BUILDING)
#define OPENMAYARENDER_EXPORT __declspec(dllexport)
#else
#define OPENMAYARENDER_EXPORT __declspec(dllimport)
#endif
#define MAYA_PLUGIN_EXPORT __declspec(dllexport)
#else
#define OPENMAYARENDER_EXPORT __attribute__((visibility("default")))
#define OPENMAYA_EXPORT __attribute__((visibility("default")))
#define FOUNDATION_EXPORT __attribute__((visibility("default")))
#define MAYA_PLUGIN_EXPORT __attribute__((visibility("default")))
#endif

#endif  // MAYA_MEXPORT_H
