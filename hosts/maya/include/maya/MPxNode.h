#ifndef MAYA_MPXNODE_H
#define MAYA_MPXNODE_H

#include <maya/MDataBlock.h>
#include <maya/MDataHandle.h>
#include <maya/MExport.h>
#include <maya/MObject.h>
#include <maya/MPlug.h>
#include <maya/MStatus.h>
#include <maya/MTypeId.h>
#include <maya/MTypes.h>

namespace mayahost::detail {
struct NodeAccess;
}

OPENMAYA_MAJOR_NAMESPACE_OPEN

class MDGContext;
class MArrayDataBuilder;
class MPlugArray;

// Base of every plug-in node. The host creates nodes through the type's
// creator, then calls postConstructor, compute for each output it needs, and
// deletes them through the virtual destructor.
class OPENMAYA_EXPORT MPxNode {
 public:
  enum Type {
    kDependNode = 0,
    kLocatorNode,
    kDeformerNode,
    kManipContainer,
    kSurfaceShape,
    kFieldNode,
    kEmitterNode,
    kSpringNode,
    kIkSolverNode,
    kHardwareShader,
    kHwShaderNode,
    kTransformNode,
    kObjectSet,
    kFluidEmitterNode,
    kImagePlaneNode,
    kParticleAttributeMapperNode,
    kCameraSetNode,
    kConstraintNode,
    kManipulatorNode,
    kLast
  };

#if MAYA_API_VERSION >= 20180000
  // How the evaluation manager may run a node's compute: kParallel when
  // compute keeps all working data in the call.
  enum SchedulingType { kParallel, kSerial, kGloballySerial, kUntrusted };
#endif

  MPxNode();
  // Virtual slots in the host's order; a plug-in overrides the first three.
  virtual ~MPxNode();
  virtual void postConstructor();
  virtual MStatus compute(const MPlug& plug, MDataBlock& dataBlock);
  virtual bool getInternalValueInContext(const MPlug& plug, MDataHandle& handle,
                                         MDGContext& context);
  virtual bool setInternalValueInContext(const MPlug& plug, const MDataHandle& handle,
                                         MDGContext& context);
  virtual bool getInternalValue(const MPlug& plug, MDataHandle& handle);
  virtual bool setInternalValue(const MPlug& plug, const MDataHandle& handle);
  virtual int internalArrayCount(const MPlug& plug, const MDGContext& context) const;
  virtual void copyInternalData(MPxNode* source);
  virtual MStatus legalConnection(const MPlug& plug, const MPlug& otherPlug, bool asSrc,
                                  bool& isLegal) const;
  virtual MStatus legalDisconnection(const MPlug& plug, const MPlug& otherPlug, bool asSrc,
                                     bool& isLegal) const;
  virtual MStatus setDependentsDirty(const MPlug& plug, MPlugArray& plugArray);
  virtual MStatus connectionMade(const MPlug& plug, const MPlug& otherPlug, bool asSrc);
  virtual MStatus connectionBroken(const MPlug& plug, const MPlug& otherPlug, bool asSrc);
  virtual bool isPassiveOutput(const MPlug& plug) const;
  virtual bool shouldSave(const MPlug& plug, bool& isSaving);
  virtual MPlug passThroughToOne(const MPlug& plug) const;
  virtual bool passThroughToMany(const MPlug& plug, MPlugArray& plugArray) const;
  virtual Type type() const;
  virtual bool isAbstractClass() const;
#if MAYA_API_VERSION >= 20180000
  // Asked once per node, after postConstructor.
  virtual SchedulingType schedulingType() const;
#endif

  MObject thisMObject() const;
  // Declares that compute may run on several threads at once. Deprecated
  // since 2019, as in the devkit: schedulingType() says it now.
#if MAYA_API_VERSION >= 20190000
  [[deprecated("Override schedulingType() to set thread safety instead.")]]
#endif
  MStatus
  setMPSafe(bool flag);

  // Only valid inside the type's initialize function.
  static MStatus addAttribute(const MObject& attribute);
  static MStatus attributeAffects(const MObject& whenChanges, const MObject& isAffected);

  MPxNode(const MPxNode&) = delete;
  MPxNode& operator=(const MPxNode&) = delete;

 private:
  friend struct mayahost::detail::NodeAccess;
  void* instance_ = nullptr;
};

OPENMAYA_NAMESPACE_CLOSE

#endif  // MAYA_MPXNODE_H
