#ifndef MAYA_MFNPLUGIN_H
#define MAYA_MFNPLUGIN_H

#include <maya/MExport.h>
#include <maya/MObject.h>
#include <maya/MPxNode.h>
#include <maya/MStatus.h>
#include <maya/MString.h>
#include <maya/MTypeId.h>

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

#endif  // MAYA_MFNPLUGIN_H
