// Reader for shader declarations in the renderer's .mi scene language, as
// far as the stand-in renderer needs them: one `declare shader` block with
// parameters of simple types and light arrays. It gives each parameter's
// name, type, offset in the parameter block and default, the way the
// renderer lays the block out.
#ifndef MRHOST_DECLARATION_H
#define MRHOST_DECLARATION_H

#include <cstddef>
#include <string>
#include <vector>

namespace mrhost {

enum class ParamType { color, vector, scalar, boolean, integer, light };

const char* type_name(ParamType type);  // as written in .mi: "color", "scalar", ...
std::size_t type_size(ParamType type);  // bytes in the parameter block

struct Parameter {
  std::string name;
  ParamType type;
  std::size_t offset;        // from the start of the parameter block
  bool array;                // element 0 of a variable-length array
  std::vector<float> value;  // the declared default; empty when none
};

struct Declaration {
  std::string name;         // the shader's name
  std::string result_type;  // e.g. "color"
  int version = 0;
  // In block order. An `array T "x"` declares the integers "i_x" and "n_x"
  // followed by "x" (element 0 of the array).
  std::vector<Parameter> parameters;
  std::size_t size = 0;  // size of the block with one element per array

  const Parameter* find(const std::string& name) const;
};

// Fill `out` from .mi text or a .mi file. On failure return false and say
// where and why in `error` ("line 7: ...").
bool parse_declaration(const std::string& text, Declaration* out, std::string* error);
bool read_declaration(const std::string& path, Declaration* out, std::string* error);

}  // namespace mrhost

#endif  // MRHOST_DECLARATION_H
