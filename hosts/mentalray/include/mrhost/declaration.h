// Reader for shader declarations in the renderer's .mi scene language.
//
// Reads files as renderers are given them: any number of `declare shader`
// blocks (and other declarations, which are skipped) among other statements,
// with trailing commas, empty parameter lists, `#` and `#:` comments, struct
// results and parameters, arrays of any type, and the tag types (shader,
// data, light, texture, ...). It returns the declaration asked for, with each
// parameter's name, type, offset in the parameter block and default, laid out
// the way the renderer lays the block out. Defaults are numbers or boolean
// words (hostkit/value_words.h). Every shader declaration in the text must
// read cleanly; anything that does not is refused with its line. Part of the
// driver (renderer.h includes it); any code may include it.
#ifndef MRHOST_DECLARATION_H
#define MRHOST_DECLARATION_H

#include <cstddef>
#include <string>
#include <vector>

namespace mrhost {

enum class ParamType {
  color,
  vector,
  scalar,
  boolean,
  integer,
  light,
  transform,  // 4x4 matrix of scalars
  string,     // the rest are database tags in the block
  shader,
  data,
  material,
  geometry,
  lightprofile,
  color_texture,
  scalar_texture,
  vector_texture,
  structure,  // its members follow it as "name.member"
};

const char* type_name(ParamType type);  // as written in .mi: "color", "color texture", ...
std::size_t type_size(
    ParamType type);  // bytes in the parameter block (a struct's are its members')
// Booleans, integers and tags hold whole numbers; the rest floats.
bool is_whole_type(ParamType type);

struct Parameter {
  // A struct's members are named "struct.member"; an array `x` is preceded by
  // its first-index and count integers "i_x" and "n_x".
  std::string name;
  ParamType type;
  std::size_t offset;        // from the start of the parameter block
  bool array;                // element 0 of a variable-length array
  std::vector<float> value;  // the declared default; empty when none
  std::size_t size = 0;      // bytes of one value (element 0 for an array)
};

struct Declaration {
  std::string name;         // the shader's name
  std::string result_type;  // e.g. "color", "struct"; empty when none is given
  int version = 0;
  int line = 0;  // where its `declare` stands
  // In block order. An `array T "x"` declares the integers "i_x" and "n_x"
  // followed by "x" (element 0 of the array).
  std::vector<Parameter> parameters;
  std::size_t size = 0;  // size of the block with one element per array

  const Parameter* find(const std::string& name) const;
};

// Fill `out` with the declaration of shader `name` from .mi text or a .mi
// file (an empty `name` takes the first shader declared). On failure return
// false and say where and why in `error` ("line 7: ...", prefixed with the
// path for a file).
bool parse_declaration(const std::string& text, const std::string& name, Declaration* out,
                       std::string* error);
bool read_declaration(const std::string& path, const std::string& name, Declaration* out,
                      std::string* error);

// The first shader declared.
inline bool parse_declaration(const std::string& text, Declaration* out, std::string* error) {
  return parse_declaration(text, std::string(), out, error);
}
inline bool read_declaration(const std::string& path, Declaration* out, std::string* error) {
  return read_declaration(path, std::string(), out, error);
}

}  // namespace mrhost

#endif  // MRHOST_DECLARATION_H
