// The base of Viewport 2.0 shading node overrides (OpenMayaRender), and the
// mappings between a node's attributes and its fragment's parameters.
#ifndef MAYA_MPXSHADINGNODEOVERRIDE_H
#define MAYA_MPXSHADINGNODEOVERRIDE_H

#include <maya/MExport.h>
#include <maya/MObject.h>
#include <maya/MPlug.h>
#include <maya/MString.h>
#include <maya/MTypes.h>
#include <maya/MViewport2Renderer.h>

#include <vector>

OPENMAYA_MAJOR_NAMESPACE_OPEN

namespace MHWRender {

class MShaderInstance;

// One fragment parameter and the node attribute that drives it. An empty
// attribute name: Maya renames the parameter (resolvedParameterName()) and
// the override sets it in updateShader().
class OPENMAYARENDER_EXPORT MAttributeParameterMapping {
 public:
  MAttributeParameterMapping(const MString& paramName, const MString& attrName,
                             bool allowConnection, bool allowRename);
  MString parameterName() const;
  MString resolvedParameterName() const;
  MString attributeName() const;
  bool allowConnection() const;
  bool allowRename() const;

 private:
  friend class MAttributeParameterMappingList;
  MString parameter_, resolved_, attribute_;
  bool allowConnection_, allowRename_;
};

class OPENMAYARENDER_EXPORT MAttributeParameterMappingList {
 public:
  MAttributeParameterMappingList();
  ~MAttributeParameterMappingList();
  MAttributeParameterMappingList(const MAttributeParameterMappingList&) = delete;
  MAttributeParameterMappingList& operator=(const MAttributeParameterMappingList&) = delete;

  unsigned int length() const;
  // Null past the end.
  const MAttributeParameterMapping* getMapping(unsigned int index) const;
  const MAttributeParameterMapping* findByAttributeName(const MString& attributeName) const;
  const MAttributeParameterMapping* findByParameterName(const MString& parameterName) const;
  // Appends a copy.
  void append(const MAttributeParameterMapping& mapping);
  void clear();

 private:
  std::vector<MAttributeParameterMapping>* mappings_;
};

class OPENMAYARENDER_EXPORT MPxShadingNodeOverride {
 public:
  explicit MPxShadingNodeOverride(const MObject& obj);
  virtual ~MPxShadingNodeOverride();

  // Default: kOpenGL only.
  virtual DrawAPI supportedDrawAPIs() const;
  virtual MString fragmentName() const = 0;
  virtual void getCustomMappings(MAttributeParameterMappingList& mappings);
  // Asked once, right after the override is made. Default true.
  virtual bool allowConnections() const;
  virtual MString outputForConnection(const MPlug& sourcePlug, const MPlug& destinationPlug);
  // `plug` may be null. Default false.
  virtual bool valueChangeRequiresFragmentRebuild(const MPlug* plug) const;
  // Read and cache dependency graph values here.
  virtual void updateDG();
  // Set the parameters the override maps itself; never touch the graph here.
  virtual void updateShader(MShaderInstance& shader,
                            const MAttributeParameterMappingList& mappings);

  MPxShadingNodeOverride(const MPxShadingNodeOverride&) = delete;
  MPxShadingNodeOverride& operator=(const MPxShadingNodeOverride&) = delete;

 private:
  MObject node_;
};

}  // namespace MHWRender

OPENMAYA_NAMESPACE_CLOSE

#endif  // MAYA_MPXSHADINGNODEOVERRIDE_H
