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
#include "velvetShadingOverride.h"

#if MAYA_API_VERSION >= 201400
#include <maya/MDrawRegistry.h>

#include "statusReport.h"
#endif

#if defined(_WIN32)
#define VELVET_PLUGIN_EXPORT extern "C" __declspec(dllexport)
#else
#define VELVET_PLUGIN_EXPORT extern "C" __attribute__((visibility("default")))
#endif

namespace {

#if MAYA_API_VERSION >= 201400
// A surface shader, drawn in Viewport 2.0 by the override registered under
// the drawdb part.
const char* const kClassification = "shader/surface:drawdb/shader/surface/velvet";
const char* const kDrawClassification = "drawdb/shader/surface/velvet";
const char* const kRegistrantId = "velvetPlugin";
#else
const char* const kClassification = "shader/surface";
#endif
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
#if MAYA_API_VERSION >= 201400
  // The fragments are registered later, by the override's creator: Viewport
  // 2.0 may not be up yet (batch rendering loads plug-ins without it). The
  // node renders in software whatever happens here.
  VELVET_CHECK(MHWRender::MDrawRegistry::registerSurfaceShadingNodeOverrideCreator(
      kDrawClassification, kRegistrantId, velvetShadingOverride::creator));
#endif
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
#if MAYA_API_VERSION >= 201400
  VELVET_CHECK(MHWRender::MDrawRegistry::deregisterSurfaceShadingNodeOverrideCreator(
      kDrawClassification, kRegistrantId));
  velvetShadingOverride::deregisterFragments();
#endif
  command += classification;
  command += kRefreshTail;
  MGlobal::executeCommand(command, false, false);
  return MStatus::kSuccess;
}
