// Reads the export and import tables of a Windows DLL or program file (PE32+),
// and the addresses of its named symbols when the linker kept its symbol
// table, so that tests can check what a library publishes and what it needs
// without loading it, and reach what it does not export. Plain byte reading:
// no Windows header or tool is needed.
#ifndef VELVET_TESTS_COMMON_PE_FILE_H
#define VELVET_TESTS_COMMON_PE_FILE_H

#include <cstddef>
#include <cstdint>
#include <fstream>
#include <iterator>
#include <map>
#include <set>
#include <string>
#include <utility>
#include <vector>

namespace petest {

struct PeFile {
  std::string error;                                     // empty when the file was read
  std::set<std::string> exports;                         // names in the export table
  std::map<std::string, std::set<std::string>> imports;  // DLL name -> names imported by name
  // Symbol table (COFF) name -> relative virtual address, for the symbols
  // defined in a section; empty for a stripped file.
  std::map<std::string, std::uint32_t> symbols;
};

namespace detail {

class Image {
 public:
  explicit Image(std::vector<unsigned char> bytes) : bytes_(std::move(bytes)) {}

  bool has(std::size_t offset, std::size_t size) const {
    return offset <= bytes_.size() && size <= bytes_.size() - offset;
  }
  std::uint64_t read(std::size_t offset, int size) const {
    std::uint64_t v = 0;
    if (!has(offset, static_cast<std::size_t>(size))) return 0;
    for (int i = size - 1; i >= 0; --i) v = (v << 8) | bytes_[offset + static_cast<std::size_t>(i)];
    return v;
  }
  std::string text(std::size_t offset) const {
    std::string s;
    while (offset < bytes_.size() && bytes_[offset] != 0) s += static_cast<char>(bytes_[offset++]);
    return s;
  }
  std::size_t size() const { return bytes_.size(); }

 private:
  std::vector<unsigned char> bytes_;
};

struct Section {
  std::uint32_t address, size, file;
};

}  // namespace detail

inline PeFile readPeFile(const std::string& path) {
  PeFile pe;
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    pe.error = "cannot open " + path;
    return pe;
  }
  const detail::Image image(std::vector<unsigned char>(std::istreambuf_iterator<char>(in), {}));
  if (image.read(0, 2) != 0x5a4d) {  // "MZ"
    pe.error = path + " is not a PE file";
    return pe;
  }
  const std::size_t header = image.read(0x3c, 4);
  if (image.read(header, 4) != 0x4550) {  // "PE\0\0"
    pe.error = path + " has no PE header";
    return pe;
  }
  const std::size_t sectionCount = image.read(header + 6, 2);
  const std::size_t optional = header + 24;
  const std::size_t optionalSize = image.read(header + 20, 2);
  if (image.read(optional, 2) != 0x20b) {
    pe.error = path + " is not a 64-bit (PE32+) image";
    return pe;
  }
  const std::size_t directoryCount = image.read(optional + 108, 4);

  std::vector<detail::Section> sections;
  for (std::size_t i = 0; i < sectionCount; ++i) {
    const std::size_t s = optional + optionalSize + 40 * i;
    const auto virtualSize = static_cast<std::uint32_t>(image.read(s + 8, 4));
    const auto rawSize = static_cast<std::uint32_t>(image.read(s + 16, 4));
    sections.push_back({static_cast<std::uint32_t>(image.read(s + 12, 4)),
                        virtualSize > rawSize ? virtualSize : rawSize,
                        static_cast<std::uint32_t>(image.read(s + 20, 4))});
  }
  // File offset of a relative virtual address; 0 (never a table) outside
  // every section.
  auto offset = [&](std::uint64_t rva) -> std::size_t {
    for (const detail::Section& s : sections) {
      if (rva >= s.address && rva - s.address < s.size) return s.file + (rva - s.address);
    }
    return 0;
  };
  auto directory = [&](std::size_t index) -> std::size_t {
    return index < directoryCount ? offset(image.read(optional + 112 + 8 * index, 4)) : 0;
  };

  if (const std::size_t exports = directory(0)) {
    const std::size_t names = offset(image.read(exports + 32, 4));
    const std::size_t count = image.read(exports + 24, 4);
    for (std::size_t i = 0; i < count && names != 0; ++i) {
      pe.exports.insert(image.text(offset(image.read(names + 4 * i, 4))));
    }
  }
  if (const std::size_t imports = directory(1)) {
    for (std::size_t d = imports; image.has(d, 20) && image.read(d + 12, 4) != 0; d += 20) {
      std::set<std::string>& names = pe.imports[image.text(offset(image.read(d + 12, 4)))];
      // The lookup table (or, without one, the address table as on disk).
      std::uint64_t table = image.read(d, 4);
      if (table == 0) table = image.read(d + 16, 4);
      for (std::size_t t = offset(table); t != 0 && image.has(t, 8); t += 8) {
        const std::uint64_t entry = image.read(t, 8);
        if (entry == 0) break;
        if (entry >> 63) continue;                                  // by ordinal
        names.insert(image.text(offset(entry & 0x7fffffffu) + 2));  // after the hint
      }
    }
  }
  // The COFF symbol table: 18-byte records, long names in the string table
  // right after it; a record's auxiliary records follow it.
  const std::size_t symbolTable = image.read(header + 12, 4);
  const std::size_t symbolCount = image.read(header + 16, 4);
  const std::size_t strings = symbolTable + 18 * symbolCount;
  for (std::size_t i = 0; symbolTable != 0 && i < symbolCount; ++i) {
    const std::size_t r = symbolTable + 18 * i;
    if (!image.has(r, 18)) break;
    std::string name;
    if (image.read(r, 4) == 0) {
      name = image.text(strings + image.read(r + 4, 4));
    } else {
      for (std::size_t k = 0; k < 8 && image.read(r + k, 1) != 0; ++k) {
        name += static_cast<char>(image.read(r + k, 1));
      }
    }
    const auto section = static_cast<std::int16_t>(image.read(r + 12, 2));
    if (section > 0 && static_cast<std::size_t>(section) <= sections.size()) {
      pe.symbols.emplace(name, sections[static_cast<std::size_t>(section) - 1].address +
                                   static_cast<std::uint32_t>(image.read(r + 8, 4)));
    }
    i += image.read(r + 17, 1);
  }
  return pe;
}

}  // namespace petest

#endif  // VELVET_TESTS_COMMON_PE_FILE_H
