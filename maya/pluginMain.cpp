// The plug-in's entry points: everything Maya looks up by name. The only
// file that includes <maya/MFnPlugin.h>, which gives the plug-in its
// MApiVersion (the API version it is built for) and, on Windows (NT_PLUGIN),
// its module entry DllMain, which records the module handle in MhInstPlugin.
#include <maya/MFnPlugin.h>
#include <maya/MGlobal.h>
#include <maya/MObject.h>
#include <maya/MPxNode.h>
#include <maya/MStatus.h>
#include <maya/MString.h>

#include "velvetNode.h"

#if defined(_WIN32)
#define VELVET_PLUGIN_EXPORT extern "C" __declspec(dllexport)
#else
#define VELVET_PLUGIN_EXPORT extern "C" __attribute__((visibility("default")))
#endif

namespace {

const char* const kClassification = "shader/surface";
// Refreshes the render-node creation window, if open, so the node type
// appears in it (or leaves it, at unload).
const char* const kRefreshHead =
    "if( `window -exists createRenderNodeWindow` )  {refreshCreateRenderNodeWindow(\"";
const char* const kRefreshTail = "\");}\n";

}  // namespace

// Registration failures are not reported: Maya shows its own message, and the
// refresh command is harmless either way.
VELVET_PLUGIN_EXPORT MStatus initializePlugin(MObject obj) {
  const MString classification(kClassification);
  MString command(kRefreshHead);
  MFnPlugin plugin(obj, "velvet shading node", "1.0", "Any");
  plugin.registerNode("velvet", velvet::id, velvet::creator, velvet::initialize,
                      MPxNode::kDependNode, &classification);
  command += classification;
  command += kRefreshTail;
  MGlobal::executeCommand(command, false, false);
  return MStatus::kSuccess;
}

VELVET_PLUGIN_EXPORT MStatus uninitializePlugin(MObject obj) {
  const MString classification(kClassification);
  MString command(kRefreshHead);
  MFnPlugin plugin(obj, "Unknown", "Unknown", "Any");
  plugin.deregisterNode(velvet::id);
  command += classification;
  command += kRefreshTail;
  MGlobal::executeCommand(command, false, false);
  return MStatus::kSuccess;
}
