// The .mi declaration reader, and the parameter blocks the stand-in renderer
// lays out from what it reads.
//
// Input: .mi text. Asserts that a declaration that reads has a consistent
// layout (parameters in block order, inside the block, struct members inside
// their struct), that its block takes every declared default and refuses
// out-of-range values cleanly, that a refusal names its line, and that a
// second read gives the same answer.
#include <mrhost/declaration.h>
#include <mrhost/renderer.h>

#include <cstdint>
#include <string>

#include "fuzz_check.h"

namespace {

bool same(const mrhost::Declaration& a, const mrhost::Declaration& b) {
  if (a.name != b.name || a.result_type != b.result_type || a.version != b.version ||
      a.size != b.size || a.parameters.size() != b.parameters.size()) {
    return false;
  }
  for (std::size_t i = 0; i < a.parameters.size(); ++i) {
    const mrhost::Parameter& p = a.parameters[i];
    const mrhost::Parameter& q = b.parameters[i];
    if (p.name != q.name || p.type != q.type || p.offset != q.offset || p.array != q.array ||
        p.size != q.size || p.value.size() != q.value.size() ||
        (!p.value.empty() &&
         std::memcmp(p.value.data(), q.value.data(), 4 * p.value.size()) != 0)) {
      return false;
    }
  }
  return true;
}

void check_layout(const mrhost::Declaration& d) {
  std::size_t end = 0;  // where the previous value ended
  for (const mrhost::Parameter& p : d.parameters) {
    FUZZ_CHECK(p.offset % 4 == 0, "\"%s\" at offset %zu", p.name.c_str(), p.offset);
    FUZZ_CHECK(p.offset >= end || p.name.find('.') != std::string::npos,
               "\"%s\" at %zu overlaps the value ending at %zu", p.name.c_str(), p.offset, end);
    FUZZ_CHECK(p.offset + p.size <= d.size, "\"%s\" runs past the block (%zu)", p.name.c_str(),
               d.size);
    FUZZ_CHECK(d.find(p.name) == &p, "\"%s\" is not found under its own name", p.name.c_str());
    // A struct's members lie inside it, so it does not move `end` past them.
    end = p.type == mrhost::ParamType::structure ? p.offset : p.offset + p.size;
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size > 64 * 1024) return -1;  // beyond any real declaration file
  const std::string text(reinterpret_cast<const char*>(data), size);

  mrhost::Declaration first, second;
  std::string error1, error2;
  const bool read1 = mrhost::parse_declaration(text, &first, &error1);
  const bool read2 = mrhost::parse_declaration(text, &second, &error2);
  FUZZ_CHECK(read1 == read2 && error1 == error2, "a second read differs: '%s' / '%s'",
             error1.c_str(), error2.c_str());
  if (!read1) {
    FUZZ_CHECK(error1.rfind("line ", 0) == 0 || error1.rfind("no shader", 0) == 0,
               "a refusal must say where: '%s'", error1.c_str());
    return 0;
  }
  FUZZ_CHECK(same(first, second), "a second read gave another declaration of \"%s\"",
             first.name.c_str());
  check_layout(first);

  // Asking for it by name finds the same declaration.
  mrhost::Declaration by_name;
  FUZZ_CHECK(mrhost::parse_declaration(text, first.name, &by_name, &error1) && same(first, by_name),
             "\"%s\" is not found by its name: %s", first.name.c_str(), error1.c_str());

  // A block laid out from it takes its defaults; values out of a field's
  // range are refused without touching the block.
  if (first.size > 16 * 1024) return 0;
  mrhost::ParameterBlock block(first, {0x100, 0x101});
  for (const mrhost::Parameter& p : first.parameters) {
    std::string why;
    if (!p.value.empty()) {
      FUZZ_CHECK(block.set(p.name, p.value, &why), "default of \"%s\" refused: %s", p.name.c_str(),
                 why.c_str());
    }
    if (mrhost::is_whole_type(p.type)) {
      for (float v : {5e9f, -5e9f, 0.5f, 4294967296.0f}) {
        FUZZ_CHECK(!block.set(p.name, std::vector<float>{v}, &why), "\"%s\" took %g",
                   p.name.c_str(), static_cast<double>(v));
      }
    }
  }
  return 0;
}
