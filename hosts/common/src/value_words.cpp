#include <hostkit/value_words.h>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstddef>
#include <system_error>

namespace hostkit {

namespace {

// For decimal digits (no sign) that do not fit a float: whether they are too
// small for one (and round to zero) rather than too large.
bool below_float_range(std::string_view digits) {
  const std::size_t e = digits.find_first_of("eE");
  const std::string_view mantissa = digits.substr(0, e);
  long long exponent = 0;
  if (e != std::string_view::npos) {
    std::string_view text = digits.substr(e + 1);
    const bool negative = !text.empty() && text.front() == '-';
    if (!text.empty() && (text.front() == '-' || text.front() == '+')) text.remove_prefix(1);
    const auto [ptr, ec] = std::from_chars(text.data(), text.data() + text.size(), exponent);
    // An exponent beyond 64 bits outweighs any mantissa a text can hold.
    if (ec == std::errc::result_out_of_range) return negative;
    if (negative) exponent = -exponent;
  }
  // The power of ten of the first significant digit (there is one: zero
  // always fits).
  const std::size_t point = std::min(mantissa.find('.'), mantissa.size());
  const std::size_t first = mantissa.find_first_not_of("0.");
  const long long power = first < point ? static_cast<long long>(point - first - 1)
                                        : -static_cast<long long>(first - point);
  return exponent < -power;
}

}  // namespace

std::optional<bool> parse_boolean(std::string_view word) {
  for (const char* w : {"on", "true", "yes", "1"}) {
    if (word == w) return true;
  }
  for (const char* w : {"off", "false", "no", "0"}) {
    if (word == w) return false;
  }
  return std::nullopt;
}

bool parse_number(std::string_view text, float* value) {
  // One sign, which from_chars would not take as '+'.
  const bool negative = !text.empty() && text.front() == '-';
  if (!text.empty() && (text.front() == '-' || text.front() == '+')) text.remove_prefix(1);
  if (text.empty() || text.front() == '-' || text.front() == '+') return false;
  // Not the locale's strtof: a decimal comma must not change what "0.5" is.
  float v = 0.0f;
  const char* end = text.data() + text.size();
  const auto [ptr, ec] = std::from_chars(text.data(), end, v, std::chars_format::general);
  if (ptr != end) return false;
  if (ec == std::errc::result_out_of_range) {
    if (!below_float_range(text)) return false;
    v = 0.0f;
  } else if (ec != std::errc() || !std::isfinite(v)) {
    return false;
  }
  // Rounding to nearest is symmetric: negating after rounding gives the bits
  // of rounding the negative number.
  *value = negative ? -v : v;
  return true;
}

bool parse_value(std::string_view word, float* value) {
  if (const std::optional<bool> b = parse_boolean(word)) {
    *value = *b ? 1.0f : 0.0f;
    return true;
  }
  return parse_number(word, value);
}

}  // namespace hostkit
