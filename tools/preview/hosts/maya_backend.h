// The Maya road's backend: velvet.so loaded by the stand-in Maya host and one
// `velvet` node, whose attributes are the parameters. Shared by the two
// ways the tool shows that node: as Maya's renderer shades it
// (maya_backend.cpp) and as Viewport 2.0 draws it (viewport_backend.cpp),
// which differ only in how they make a shading context. Internal to the
// hosts layer.
#ifndef VELVET_TOOLS_PREVIEW_HOSTS_MAYA_BACKEND_H
#define VELVET_TOOLS_PREVIEW_HOSTS_MAYA_BACKEND_H

#include <maya/MFloatVector.h>
#include <mayahost/node.h>
#include <mayahost/plugin.h>

#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "tools/preview/hosts/backend.h"

namespace preview {

// One lightDataArray element: a point light, or one sample of an area light
// carrying its share of the light's intensity, as a renderer that samples
// area lights hands them to a shading node.
struct Emitter {
  core::Vector position;
  MFloatVector intensity;
  bool diffuse, specular;
};

// A colour input fed by a file texture.
struct Connection {
  std::string name;
  std::shared_ptr<const Texture> texture;
};

class MayaBackend;

// Finds the Maya plug-in as locate_maya() does (at `path` when given) and
// opens `backend` with it; false with a message in `error`.
bool open_located(MayaBackend& backend, const std::string& path, std::string& error);

class MayaBackend : public Backend {
 public:
  // Loads the plug-in at `path` and makes the node; false with a message.
  bool open(const std::string& path, std::string& error);

  const std::vector<ParamInfo>& parameters() const override { return params_; }
  ParamHints hints(const std::string& name) const override;
  std::string set_parameter(const std::string& name, const ParamValue& v) override;
  std::string connect_texture(const std::string& name,
                              std::shared_ptr<const Texture> texture) override;
  std::vector<std::pair<std::string, std::string>> lobe_only_settings(
      const LobeOnly& lobe) const override;
  void set_lights(const std::vector<Light>& lights) override;
  std::unique_ptr<ShadingContext> make_context(std::string& error) override;

 protected:
  mayahost::Node& node() { return node_; }
  const std::vector<Emitter>& emitters() const { return emitters_; }
  const std::vector<Connection>& connections() const { return connections_; }

 private:
  void disconnect(const std::string& name);

  // Declared in this order so that the node goes before its plug-in. Maya
  // loads a plug-in once: the backends that show one node type share it.
  std::shared_ptr<mayahost::Plugin> plugin_;
  mayahost::Node node_;
  std::vector<ParamInfo> params_;
  std::vector<Emitter> emitters_;
  std::vector<Connection> connections_;
};

}  // namespace preview

#endif  // VELVET_TOOLS_PREVIEW_HOSTS_MAYA_BACKEND_H
