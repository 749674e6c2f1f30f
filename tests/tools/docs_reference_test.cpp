// The user guide's parameter references, held against the plug-ins
// themselves: every input the Maya node registers and every parameter of
// the shader's declaration is documented, nothing else is, and each
// documented default, soft range and picture is the real one.
#include <gtest/gtest.h>
#include <mayahost/node.h>
#include <mayahost/plugin.h>
#include <mrhost/declaration.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

const fs::path kDocs = fs::path(VELVET_SOURCE_DIR) / "docs";

// A documented parameter: a "### `name`" section (its table's data row and
// its first picture) or a "| `name` | ... |" table row.
struct Entry {
  bool section = false;
  std::vector<std::string> cells;  // after the name for rows; the whole row for sections
  std::string picture;
  int line = 0;
};

std::string trim(const std::string& s) {
  const std::size_t b = s.find_first_not_of(' ');
  const std::size_t e = s.find_last_not_of(' ');
  return b == std::string::npos ? "" : s.substr(b, e - b + 1);
}

std::vector<std::string> cells_of(const std::string& row) {
  std::vector<std::string> cells;
  std::stringstream in(row.substr(1));
  std::string cell;
  while (std::getline(in, cell, '|')) cells.push_back(trim(cell));
  if (!cells.empty() && cells.back().empty()) cells.pop_back();
  return cells;
}

std::map<std::string, Entry> read_reference(const fs::path& file) {
  std::map<std::string, Entry> entries;
  std::ifstream in(file);
  EXPECT_TRUE(in) << "cannot read " << file;
  std::string line, current;
  bool want_row = false;
  for (int n = 1; std::getline(in, line); ++n) {
    const auto add = [&](const std::string& name, Entry e) {
      e.line = n;
      EXPECT_TRUE(entries.emplace(name, e).second) << file << ":" << n << ": " << name << " twice";
    };
    if (line.rfind("### `", 0) == 0) {
      current = line.substr(5, line.find('`', 5) - 5);
      add(current, Entry{true, {}, "", 0});
      want_row = true;
    } else if (line.rfind("| `", 0) == 0) {
      const std::vector<std::string> cells = cells_of(line);
      const std::string name = cells[0].substr(1, cells[0].find('`', 1) - 1);
      add(name, Entry{false, std::vector<std::string>(cells.begin() + 1, cells.end()), "", 0});
    } else if (want_row && line.rfind("| ", 0) == 0 && line.rfind("| Type", 0) != 0) {
      entries[current].cells = cells_of(line);
      want_row = false;
    } else if (line.rfind("![", 0) == 0 && !current.empty() && entries[current].picture.empty()) {
      const std::size_t open = line.find("](");
      entries[current].picture = line.substr(open + 2, line.find(')', open) - open - 2);
    } else if (line.rfind("## ", 0) == 0) {
      current.clear();
    }
  }
  return entries;
}

// "0.5, 0.5, 0.5", "0.8", "on", "off".
std::vector<float> numbers(const std::string& text) {
  std::vector<float> out;
  std::stringstream in(text);
  std::string part;
  while (std::getline(in, part, ',')) {
    part = trim(part);
    out.push_back(part == "on" ? 1.0f : part == "off" ? 0.0f : std::stof(part));
  }
  return out;
}

std::set<std::string> names(const std::map<std::string, Entry>& entries) {
  std::set<std::string> out;
  for (const auto& [name, e] : entries) out.insert(name);
  return out;
}

// A section's picture is the host's strip of that parameter, and exists.
void expect_picture(const std::string& host, const std::string& name, const Entry& e) {
  EXPECT_EQ(e.picture, "images/" + host + "-" + name + ".png") << name;
  EXPECT_TRUE(fs::is_regular_file(kDocs / e.picture)) << e.picture;
}

TEST(GuideReference, MayaCoversExactlyTheNodesRegisteredInputs) {
  mayahost::Plugin plugin;
  ASSERT_TRUE(plugin.load(VELVET_PLUGIN_PATH).ok());
  mayahost::NodeTypeInfo type;
  ASSERT_TRUE(mayahost::nodeType("velvet", &type).ok());
  std::set<std::string> inputs;
  for (const std::string& name : type.added) {
    if (name != "outColor" && name != "outTransparency") inputs.insert(name);
  }
  ASSERT_EQ(inputs.size(), 22u);

  const std::map<std::string, Entry> doc = read_reference(kDocs / "maya-reference.md");
  EXPECT_EQ(names(doc), inputs);

  for (const auto& [name, e] : doc) {
    SCOPED_TRACE("maya-reference.md:" + std::to_string(e.line) + " " + name);
    mayahost::AttributeInfo a;
    if (!mayahost::attribute("velvet", name, &a).ok()) continue;  // reported above
    // What the Attribute Editor shows gets a section and a strip; what the
    // renderer sets, a row.
    const bool renderer_sets = a.hidden || !a.parent.empty();
    EXPECT_EQ(e.section, !renderer_sets);
    if (!e.section) continue;
    expect_picture("maya", name, e);
    ASSERT_EQ(e.cells.size(), 3u);
    const std::vector<float> documented = numbers(e.cells[1]);
    ASSERT_EQ(documented.size(), a.defaultValue.size());
    for (std::size_t k = 0; k < documented.size(); ++k) {
      EXPECT_EQ(documented[k], static_cast<float>(a.defaultValue[k]));
    }
    if (a.softMin && a.softMax) {
      std::ostringstream range;
      range << *a.softMin << " to " << *a.softMax;
      EXPECT_EQ(e.cells[2], range.str());
    } else {
      EXPECT_EQ(e.cells[2].rfind("none", 0), 0u) << e.cells[2];
    }
  }
}

TEST(GuideReference, MentalRayCoversExactlyTheDeclaredParameters) {
  mrhost::Declaration decl;
  std::string error;
  ASSERT_TRUE(mrhost::read_declaration(
      (fs::path(VELVET_SOURCE_DIR) / "mentalray" / "krel_velvet.mi").string(), &decl, &error))
      << error;
  // The array counters i_<array> and n_<array> are the renderer's.
  std::set<std::string> params;
  for (const mrhost::Parameter& p : decl.parameters) params.insert(p.name);
  for (const mrhost::Parameter& p : decl.parameters) {
    if (p.array) params.erase("i_" + p.name), params.erase("n_" + p.name);
  }

  const std::map<std::string, Entry> doc = read_reference(kDocs / "mentalray-reference.md");
  EXPECT_EQ(names(doc), params);

  for (const auto& [name, e] : doc) {
    SCOPED_TRACE("mentalray-reference.md:" + std::to_string(e.line) + " " + name);
    const mrhost::Parameter* p = decl.find(name);
    if (p == nullptr) continue;  // reported above
    EXPECT_EQ(e.section, !p->array);
    if (!e.section) continue;
    expect_picture("mr", name, e);
    ASSERT_EQ(e.cells.size(), 3u);
    EXPECT_EQ(e.cells[0], mrhost::type_name(p->type));
    const std::vector<float> documented = numbers(e.cells[1]);
    // Colours are documented without the alpha, which the shader ignores.
    ASSERT_LE(documented.size(), p->value.size());
    ASSERT_GE(documented.size() + 1, p->value.size());
    for (std::size_t k = 0; k < documented.size(); ++k) EXPECT_EQ(documented[k], p->value[k]);
  }
}

}  // namespace
