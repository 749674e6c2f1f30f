// What every fuzz target asserts beyond the sanitizers: a failed check prints
// what broke and aborts, which libFuzzer records as a crash with its input.
#ifndef VELVET_FUZZ_COMMON_FUZZ_CHECK_H
#define VELVET_FUZZ_COMMON_FUZZ_CHECK_H

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#define FUZZ_CHECK(condition, ...)                                                         \
  do {                                                                                     \
    if (!(condition)) {                                                                    \
      std::fprintf(stderr, "%s:%d: check failed: %s\n  ", __FILE__, __LINE__, #condition); \
      std::fprintf(stderr, __VA_ARGS__);                                                   \
      std::fprintf(stderr, "\n");                                                          \
      std::abort();                                                                        \
    }                                                                                      \
  } while (0)

namespace fuzzutil {

// Same bits, NaN payloads included: a rerun must not differ anywhere.
template <class T>
bool same_bits(const T& a, const T& b) {
  return std::memcmp(&a, &b, sizeof(T)) == 0;
}

// "Moderate": finite and no larger than this in magnitude. Scene values
// (colours, weights, intensities) stay far below it; products of a handful
// of them stay far below FLT_MAX, so an overflow from such input is a fault
// and not arithmetic.
constexpr float kModerate = 1e4f;

inline bool moderate(float v) {
  return std::isfinite(v) && std::fabs(v) <= kModerate;
}

}  // namespace fuzzutil

#endif  // VELVET_FUZZ_COMMON_FUZZ_CHECK_H
