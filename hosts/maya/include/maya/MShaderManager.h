// Viewport 2.0's shader instances (OpenMayaRender): an override's
// updateShader() sets the parameters it maps itself on one.
#ifndef MAYA_MSHADERMANAGER_H
#define MAYA_MSHADERMANAGER_H

#include <maya/MExport.h>
#include <maya/MStatus.h>
#include <maya/MString.h>
#include <maya/MTypes.h>
#include <maya/MViewport2Renderer.h>

namespace mayahost::detail {
struct ShaderAccess;
}

OPENMAYA_MAJOR_NAMESPACE_OPEN

namespace MHWRender {

class OPENMAYARENDER_EXPORT MShaderInstance {
 public:
  // kInvalidParameter for a name the shader lacks or a value of another size.
  MStatus setParameter(const MString& parameterName, float value);
  MStatus setParameter(const MString& parameterName, const float* value);
  MStatus setParameter(const MString& parameterName, bool value);
  MStatus setParameter(const MString& parameterName, int value);

  MShaderInstance(const MShaderInstance&) = delete;
  MShaderInstance& operator=(const MShaderInstance&) = delete;

 private:
  friend struct mayahost::detail::ShaderAccess;
  MShaderInstance() = default;
  ~MShaderInstance() = default;
  void* shader_ = nullptr;
};

}  // namespace MHWRender

OPENMAYA_NAMESPACE_CLOSE

#endif  // MAYA_MSHADERMANAGER_H
