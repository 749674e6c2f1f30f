// Material parameters as the command line sees them: a name, a host type and
// a text value such as "0.6,0.1,0.2".
#ifndef VELVET_TOOLS_PREVIEW_LOOK_PARAMS_H
#define VELVET_TOOLS_PREVIEW_LOOK_PARAMS_H

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace preview {

enum class ParamType { Float, Integer, Boolean, Color, Vector };

struct ParamInfo {
  std::string name;
  ParamType type;
};

struct ParamValue {
  ParamType type = ParamType::Float;
  float v[3] = {0.0f, 0.0f, 0.0f};  // Float uses v[0]; Color and Vector all three
  int i = 0;                        // Integer
  bool b = false;                   // Boolean
};

// What a control for a parameter shows besides its type: the host's default
// as value text (empty when the host declares none) and the soft range, where
// the host gives one.
struct ParamHints {
  std::string default_text;
  std::optional<double> soft_min, soft_max;
};

// "float", "color", ...: the type's name, as the live preview's page gets it.
const char* type_name(ParamType type);

// "float", "color (r,g,b)", ...: the name and the form of a value, as
// messages and --list show it.
std::string type_text(ParamType type);

// Number of comma-separated numbers a value of this type takes.
int arity(ParamType type);

// Parses `text` as a value of `info`'s type. Numbers must be finite; colours
// and vectors take exactly three, comma separated. On failure returns false
// with a message naming the parameter.
bool parse_value(const ParamInfo& info, std::string_view text, ParamValue& out, std::string& error);

// Splits a sweep's value list ("0,2,5" or, for a colour, "1,0,0,0,1,0") into
// one text per value, grouping numbers by the type's arity.
bool split_values(const ParamInfo& info, std::string_view text, std::vector<std::string>& out,
                  std::string& error);

// The shortest text that reads back as the same float.
std::string format_number(float f);

// The value as parse_value() reads it back: the shortest text that gives the
// same floats, colours as "r,g,b", booleans as on/off.
std::string format_value(const ParamValue& value);

// The value as a MEL command (mi = false) or a .mi shader block (mi = true)
// writes it: numbers separated by spaces; booleans 1/0 in MEL, on/off in .mi.
std::string format_spaced(const ParamValue& value, bool mi);

// Same type and the same bits in every number the type uses.
bool same_value(const ParamValue& a, const ParamValue& b);

// An integer flag's value: `text` as a whole integer in [lo, hi] into `out`,
// else the message ("--aa takes an integer from 1 to 16, not 'x'").
std::string checked_int(std::string_view flag, const std::string& text, int lo, int hi, int& out);

const ParamInfo* find_param(const std::vector<ParamInfo>& params, std::string_view name);

}  // namespace preview

#endif  // VELVET_TOOLS_PREVIEW_LOOK_PARAMS_H
