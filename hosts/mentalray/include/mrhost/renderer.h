// Driver API of the stand-in mental ray renderer: load a shader library,
// bind it to the host module, lay out and set its parameters, shade. Any
// code may include it; test support is in mrhost/testing.h.
//
// Loads a shader library (krel_velvet) and a host module the way the
// renderer does: both with dlopen (LoadLibrary on Windows), the module's
// handle handed to the library's miSetModuleHandle. Lights, irradiance and
// connected parameters are scripted in the host module (host_module.h);
// parameter blocks are laid out from the shader's .mi declaration
// (declaration.h) and set by name. Shading calls the library's shader
// function directly: no allocation, lock or look-up by name per sample, so
// any number of threads may shade at once once the scene is set up (set-up
// itself is single-threaded).
//
//   std::string error;
//   mrhost::Renderer renderer;
//   mrhost::Paths paths;
//   if (!mrhost::resolve("krel_velvet", mrhost::search_path(mrhost::process_environment()),
//                        &paths, &error) ||
//       !renderer.open(paths, &error)) die(error);
//   mrhost::HostModule& host = renderer.host();
//   host.set_recording(mrhost::kRecordNothing);  // no shared counters when rendering
//   miTag key = host.add_point_light({4, 6, 5}, {1, 1, 1, 1});
//   miTag fill = host.add_rect_light({-6, 2, 4}, {2, 0, 0}, {0, 2, 0}, {.3f, .3f, .4f, 1}, 16);
//   mrhost::ParameterBlock block = renderer.make_block({key, fill});
//   if (!block.set("color", "0.6 0.1 0.2", &error)) die(error);
//   miState state = renderer.make_state(block, point, normal, ray_dir);  // per sample
//   miColor c{0, 0, 0, 0}; renderer.shade(&c, &state, block);
#ifndef MRHOST_RENDERER_H
#define MRHOST_RENDERER_H

#include <mrhost/declaration.h>
#include <mrhost/host_module.h>
#include <mrhost/search_path.h>
#include <shader.h>

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace mrhost {

// A shader's parameter block, laid out from its declaration, with the ghost
// area (one word per parameter word, zero = not connected) right after it and
// the shader record whose ghost_offs points there. Movable; the block's and
// the record's addresses stay put.
class ParameterBlock {
 public:
  ParameterBlock(const Declaration& declaration, const std::vector<miTag>& lights);

  void* data() { return storage_->words.data(); }
  const Declaration& declaration() const { return *declaration_; }
  std::size_t size() const { return size_; }  // without the ghost area
  miFunction& shader_record() { return storage_->record; }

  // Set a parameter by name from values (colours take 3 or 4, vectors 3, the
  // rest 1; booleans and integers must be whole numbers) or from text: values
  // separated by white space or commas, each a number or a boolean word
  // (hostkit/value_words.h), as in "0.8 0.2 0.2", "0.8,0.2,0.2" or "on".
  // Returns false with a message for an unknown name or a wrong number or
  // kind of values.
  bool set(const std::string& name, const std::vector<float>& values, std::string* error);
  bool set(const std::string& name, const std::string& text, std::string* error);

  // Marks the parameter as connected through `ghost` (HostModule::add_connection).
  bool connect(const std::string& name, std::int32_t ghost, std::string* error);

 private:
  struct Storage {
    std::vector<std::uint32_t> words;  // block, then ghost area
    miFunction record;
  };
  const Parameter* lookup(const std::string& name, std::string* error) const;

  const Declaration* declaration_;
  std::size_t size_;
  std::unique_ptr<Storage> storage_;
};

using ShaderFunction = miBoolean (*)(miColor*, miState*, void*);

class Renderer {
 public:
  Renderer() = default;
  ~Renderer();
  Renderer(const Renderer&) = delete;
  Renderer& operator=(const Renderer&) = delete;

  // Reads the declaration (which must declare `paths.shader` when that is
  // set), loads the host module and the shader library, and hands the
  // library the module's handle.
  bool open(const Paths& paths, std::string* error);

  HostModule& host() { return host_; }
  const Declaration& declaration() const { return declaration_; }
  int version() const { return version_(); }

  // The shader library as the platform loaded it; null until open.
  void* library() const { return library_; }

  // A block with the declared defaults and the shader's lights `lights`
  // (i_light 0, n_light = their number).
  ParameterBlock make_block(const std::vector<miTag>& lights) const;
  // A state for one sample of `block`'s shader: a ray along `dir` hitting
  // `point` with shading normal `normal`.
  miState make_state(ParameterBlock& block, miVector point, miVector normal, miVector dir) const;

  miBoolean shade(miColor* result, miState* state, ParameterBlock& block) const {
    return shader_(result, state, block.data());
  }
  // A block the caller laid out itself (a fuzzer's, say); `state`'s shader
  // record must describe it.
  miBoolean shade(miColor* result, miState* state, void* block) const {
    return shader_(result, state, block);
  }

 private:
  Declaration declaration_;
  HostModule host_;
  void* library_ = nullptr;
  ShaderFunction shader_ = nullptr;
  int (*version_)() = nullptr;
};

}  // namespace mrhost

#endif  // MRHOST_RENDERER_H
