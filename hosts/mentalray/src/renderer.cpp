#include <mrhost/renderer.h>

#include <cstring>

#include "platform.h"

namespace mrhost {

Renderer::~Renderer() {
  if (library_) platform::close_library(library_);
}

bool Renderer::open(const Paths& paths, std::string* error) {
  // The file may declare several shaders; the one asked for is read.
  if (!read_declaration(paths.declaration, paths.shader, &declaration_, error)) {
    Declaration first;
    if (!paths.shader.empty() && read_declaration(paths.declaration, &first, nullptr) && error) {
      *error = paths.declaration + " declares shader \"" + first.name + "\", not \"" +
               paths.shader + "\"";
    }
    return false;
  }
  const std::string host_module =
      paths.host_module.empty() ? library_file_name("mrhost_module") : paths.host_module;
  if (!host_.open(host_module, error)) return false;
  std::string reason;
  void* library = platform::open_library(paths.shader_library, false, &reason);
  if (!library) {
    if (error) *error = "cannot load shader library " + paths.shader_library + ": " + reason;
    return false;
  }
  const std::string shader_name = declaration_.name;
  const std::string version_name = shader_name + "_version";
  shader_ = platform::find_function<ShaderFunction>(library, shader_name.c_str());
  version_ = platform::find_function<int (*)()>(library, version_name.c_str());
  const auto set_module_handle =
      platform::find_function<void (*)(void*)>(library, "miSetModuleHandle");
  if (!shader_ || !version_ || !set_module_handle) {
    if (error) {
      *error = paths.shader_library + " lacks " + shader_name + ", " + version_name +
               " or miSetModuleHandle";
    }
    platform::close_library(library);
    return false;
  }
  if (library_) platform::close_library(library_);
  library_ = library;
  set_module_handle(host_.handle());
  return true;
}

ParameterBlock Renderer::make_block(const std::vector<miTag>& lights) const {
  return ParameterBlock(declaration_, lights);
}

miState Renderer::make_state(ParameterBlock& block, miVector point, miVector normal,
                             miVector dir) const {
  miState state;
  std::memset(&state, 0, sizeof state);
  state.dir = dir;
  state.org = {point.x - dir.x, point.y - dir.y, point.z - dir.z};
  state.dist = 1.0f;
  state.point = point;
  state.normal = normal;
  state.normal_geom = normal;
  state.dot_nd = (normal.x * dir.x + normal.y * dir.y) + normal.z * dir.z;
  state.shader = &block.shader_record();
  return state;
}

}  // namespace mrhost
