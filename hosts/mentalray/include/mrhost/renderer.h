// Driver API of the stand-in mental ray renderer.
//
// Loads a shader library (krel_velvet) and a host module the way the
// renderer does: both with dlopen (LoadLibrary on Windows), the module's
// handle handed to the library's miSetModuleHandle. Lights, irradiance and
// connected parameters are scripted in the host module; parameter blocks are
// laid out from the shader's .mi declaration and set by name. Shading calls
// the library's shader function directly: no allocation, lock or look-up by
// name per sample, so any number of threads may shade at once once the
// scene is set up (set-up itself is single-threaded).
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
#include <mrhost/module_state.h>
#include <shader.h>

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace mrhost {

// The files a shader needs: its library, the renderer's host module and the
// .mi declaration.
struct Paths {
  std::string shader_library;
  // Empty: the renderer's own module, mrhost_module.so (.dll), opened by
  // its bare name so that the program's run path (its own folder on
  // Windows) finds it.
  std::string host_module;
  std::string declaration;
  // The shader the declaration must declare; empty takes whatever it does.
  std::string shader;
};

// Where the renderer looks for what a scene's `link` and `$include` name:
// the folders of MI_LIBRARY_PATH and MI_RAY_INCPATH, then lib/ and include/
// under each folder of MI_CUSTOM_SHADER_PATH (as mental ray inside Maya
// does).
struct SearchPath {
  std::vector<std::string> libraries;
  std::vector<std::string> includes;
};
// An environment variable's value, or nothing when it is unset.
using Environment = std::function<std::optional<std::string>(const std::string& name)>;
Environment process_environment();
SearchPath search_path(const Environment& environment);

// The shader library's file name on this platform ("krel_velvet.so").
std::string library_file_name(const std::string& shader);

// `link "file"` and `$include "file"`: a name with a folder is taken as it
// is, a bare name from the first folder that holds it. False with a message
// saying where it looked.
bool find_library(const std::string& file, const SearchPath& search, std::string* path,
                  std::string* error);
bool find_include(const std::string& file, const SearchPath& search, std::string* path,
                  std::string* error);

// The paths of `shader` as a scene would name them (`link "<shader>.so"`,
// `$include "<shader>.mi"`), found on `search`; the host module is left to
// the program's run path.
bool resolve(const std::string& shader, const SearchPath& search, Paths* paths, std::string* error);

// One loaded host module and its script. A module file is loaded once per
// process: two HostModule objects on the same file share one script.
class HostModule {
 public:
  HostModule() = default;
  ~HostModule();
  HostModule(const HostModule&) = delete;
  HostModule& operator=(const HostModule&) = delete;

  // `global` makes the module's exports visible to look-ups in the global
  // scope (RTLD_GLOBAL), as if the renderer's executable exported them.
  // Windows has no such scope; there it changes nothing.
  bool open(const std::string& path, std::string* error, bool global = false);
  void* handle() const { return handle_; }
  // An export of the module, as a shader's look-up would find it, or null.
  void* symbol(const char* name) const;
  ModuleState& state() const { return *state_; }

  // Clears lights, connections, irradiance, counters and the call log;
  // recording is set to `recording`.
  void reset(int recording = kRecordCounts | kRecordCalls);
  // Clears only the counters and the call log.
  void clear_records();
  void set_recording(int recording);

  // Lights. Each returns the light's tag, or 0 when the module's tables are
  // full. Scripted lights deliver the given colours and directions as they
  // are; geometric ones deliver their colour and the unit direction from the
  // state's point to each sample position.
  miTag add_light(const std::vector<LightSample>& samples);
  miTag add_point_light(miVector position, miColor color);
  // Rectangle centred on `center` with edges `edge_u` and `edge_v`.
  miTag add_rect_light(miVector center, miVector edge_u, miVector edge_v, miColor color,
                       int samples);
  // Disc of `radius` around `center`, facing along `normal`.
  miTag add_disc_light(miVector center, miVector normal, float radius, miColor color, int samples);
  void set_irradiance(miColor irradiance);
  // The n-th mi_sample_light call from now on (1 = the next) delivers no
  // sample and returns 0; 0 refuses none. Cleared by reset().
  void refuse_sample_light(long n);

  // A new connection evaluating to `value` (up to 16 bytes); returns the
  // ghost word that marks a parameter as connected to it, or 0 when full.
  std::int32_t add_connection(const void* value, std::size_t size);

  long phen_eval_calls() const;
  long sample_light_calls() const;
  long compute_irradiance_calls() const;
  // The recorded calls, in the order they were made (at most kMaxCallRecords).
  std::vector<CallRecord> calls() const;

 private:
  miTag add_samples(const LightSample* samples, int count, bool geometric);

  void* handle_ = nullptr;
  ModuleState* state_ = nullptr;
};

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
  // rest 1; booleans and integers must be whole numbers) or from text
  // ("0.8 0.2 0.2", "0.8,0.2,0.2", "on"). Returns false with a message for
  // an unknown name or a wrong number or kind of values.
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

  // Hands the library any module handle (null included) in place of the
  // host module's.
  void set_module_handle(void* handle) { set_module_handle_(handle); }

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
  void (*set_module_handle_)(void*) = nullptr;
};

}  // namespace mrhost

#endif  // MRHOST_RENDERER_H
