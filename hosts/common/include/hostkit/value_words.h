// The words for booleans and numbers, one set for every text the project
// reads values from: the stand-in renderer's .mi reader (defaults and
// versions), its parameter setter (mrhost::ParameterBlock::set from text),
// and the preview tool's command line (--maya/--mr NAME=VALUE, --sweep) and
// look files. Each host keeps its own parameter names and types; only the
// spelling of a value is shared, so a value that reads in one place reads the
// same everywhere. Any code may include this header.
//
// Booleans (lower case, as written):
//   true:   on    true   yes   1
//   false:  off   false  no    0
// Writers use on/off (MEL presets 1/0, since blendAttr takes numbers). Where
// a host keeps a boolean as a number (mental ray's miBoolean is an integer,
// nonzero is true) it may also take other whole numbers; that is the host's
// rule, not a word.
//
// Numbers are decimal as C writes them: an optional sign, digits with an
// optional point, an optional exponent ("0.8", "-.5", "+2", "4.", "1e-3",
// "1E+3"), nothing around them. They read to the nearest single-precision
// float whatever the process's locale, so that the same text gives the same
// bits everywhere. Only finite numbers: "inf", "nan" and numbers beyond the
// float range are refused; a number too small for a float reads as zero of
// its sign. Hexadecimal ("0x1p-3") is not a number here.
#ifndef HOSTKIT_VALUE_WORDS_H
#define HOSTKIT_VALUE_WORDS_H

#include <optional>
#include <string_view>

namespace hostkit {

// The boolean a word stands for, or nothing when it is not a boolean word.
std::optional<bool> parse_boolean(std::string_view word);

// A finite number; false (and `*value` untouched) for anything else.
bool parse_number(std::string_view text, float* value);

// A number, or a boolean word as 1 or 0: a value word of the .mi language,
// where booleans are numbers.
bool parse_value(std::string_view word, float* value);

}  // namespace hostkit

#endif  // HOSTKIT_VALUE_WORDS_H
