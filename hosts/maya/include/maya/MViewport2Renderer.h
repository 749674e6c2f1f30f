// Viewport 2.0's renderer (OpenMayaRender): the draw APIs and the renderer
// object, through which a plug-in reaches the fragment manager. Devkits since
// API 201400 have it.
#ifndef MAYA_MVIEWPORT2RENDERER_H
#define MAYA_MVIEWPORT2RENDERER_H

#include <maya/MTypes.h>

#if MAYA_API_VERSION < 201400
#error "Viewport 2.0 overrides need a devkit for API 201400 or later"
#endif

#include <maya/MExport.h>

OPENMAYA_MAJOR_NAMESPACE_OPEN

namespace MHWRender {

class MFragmentManager;

// The devices Viewport 2.0 draws with; an override says which it supports.
enum DrawAPI {
  kNone = 0,
  kOpenGL = 1 << 0,
  kDirectX11 = 1 << 1,
  kOpenGLCoreProfile = 1 << 2,
  kAllDevices = kOpenGL | kDirectX11 | kOpenGLCoreProfile
};

inline DrawAPI operator|(DrawAPI a, DrawAPI b) {
  return static_cast<DrawAPI>(static_cast<int>(a) | static_cast<int>(b));
}

class OPENMAYARENDER_EXPORT MRenderer {
 public:
  // The renderer; Maya creates it with Viewport 2.0.
  static MRenderer* theRenderer(bool initializeRenderer = true);
  // Null until Viewport 2.0 is initialised (a batch render never starts it).
  MFragmentManager* getFragmentManager() const;

  MRenderer(const MRenderer&) = delete;
  MRenderer& operator=(const MRenderer&) = delete;

 private:
  MRenderer() = default;
  ~MRenderer() = default;
};

}  // namespace MHWRender

OPENMAYA_NAMESPACE_CLOSE

#endif  // MAYA_MVIEWPORT2RENDERER_H
