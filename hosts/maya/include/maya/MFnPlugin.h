#ifndef MAYA_MFNPLUGIN_H
#define MAYA_MFNPLUGIN_H

#include <maya/MExport.h>
#include <maya/MObject.h>
#include <maya/MPxNode.h>
#include <maya/MStatus.h>
#include <maya/MString.h>
#include <maya/MTypeId.h>
#include <maya/MTypes.h>

OPENMAYA_MAJOR_NAMESPACE_OPEN

typedef void* (*MCreatorFunction)();
typedef MStatus (*MInitializeFunction)();

// Function set on the plug-in object that initializePlugin and
// uninitializePlugin receive.
class OPENMAYA_EXPORT MFnPlugin {
 public:
  MFnPlugin(MObject& object, const char* vendor = "Unknown", const char* version = "Unknown",
            const char* requiredApiVersion = "Any", MStatus* status = nullptr);
  ~MFnPlugin();

  // Registers a node type and runs its initialize function. Fails for a name
  // or id that is already registered.
  MStatus registerNode(const MString& typeName, const MTypeId& typeId,
                       MCreatorFunction creatorFunction, MInitializeFunction initFunction,
                       MPxNode::Type type = MPxNode::kDependNode,
                       const MString* classification = nullptr);
  MStatus deregisterNode(const MTypeId& typeId);

  MFnPlugin(const MFnPlugin&) = delete;
  MFnPlugin& operator=(const MFnPlugin&) = delete;

 private:
  void* plugin_;
};

OPENMAYA_NAMESPACE_CLOSE

// As with the devkit's header, including this one gives the plug-in the
// exported MApiVersion text: the API version it is built for. A plug-in that
// includes it in more than one file, and anything that is not a plug-in (the
// host itself, tests), defines MNoVersionString first.
#if !defined(MNoVersionString)
#define MAYA_API_VERSION_TEXT_(v) #v
#define MAYA_API_VERSION_TEXT(v) MAYA_API_VERSION_TEXT_(v)
extern "C" MAYA_PLUGIN_EXPORT const char MApiVersion[] = MAYA_API_VERSION_TEXT(MAYA_API_VERSION);
#endif

// A Windows plug-in (NT_PLUGIN) gets its module entry from this header too:
// DllMain records the module handle in MhInstPlugin and returns 1 for every
// notification. A plug-in that includes this header in more than one file,
// and anything that is not a plug-in, defines MNoPluginEntry first.
#if defined(NT_PLUGIN) && !defined(MNoPluginEntry)
HINSTANCE MhInstPlugin;
extern "C" int APIENTRY DllMain(HINSTANCE hInstance, DWORD /*dwReason*/, LPVOID /*lpReserved*/) {
  MhInstPlugin = hInstance;
  return 1;
}
#endif

#endif  // MAYA_MFNPLUGIN_H
