// Meshes: smooth normals, the hierarchy's hits against every triangle tried
// in turn, the generated shapes, and reading OBJ files (skipped in a build
// without tinyobjloader), where every refusal names the file.
#include "tools/preview/render/mesh.h"

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <random>

#include "tools/preview/render/obj.h"

namespace {

namespace fs = std::filesystem;
using preview::Mesh;
using preview::Vec3;

// A unit square in z = 0 as two triangles, UVs from its corners.
Mesh square() {
  Mesh m;
  m.positions = {{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0}};
  m.uvs = {{0, 0}, {1, 0}, {1, 1}, {0, 1}};
  m.triangles = {{{0, 1, 2}, {0, 1, 2}, {0, 1, 2}}, {{0, 2, 3}, {0, 2, 3}, {0, 2, 3}}};
  m.smooth_normals();
  m.build();
  return m;
}

double length(Vec3 v) {
  return std::sqrt(v.x * v.x + v.y * v.y + v.z * v.z);
}

TEST(MeshNormals, SmoothNormalsAverageByArea) {
  // Two faces sharing an edge: one in z = 0 (area 1/2) facing +z, one in
  // x = 0 (area 1) facing +x.
  Mesh m;
  m.positions = {{0, 0, 0}, {0, 1, 0}, {1, 0, 0}, {0, 0, 2}};
  m.triangles = {{{0, 2, 1}, {}, {}}, {{0, 1, 3}, {}, {}}};
  m.smooth_normals();
  // A shared corner: the faces' normals weighted by twice their areas, 1
  // along +z and 2 along +x, then normalised.
  const Vec3 shared = m.normals[0];
  EXPECT_NEAR(length(shared), 1.0, 1e-12);
  EXPECT_NEAR(shared.x / shared.z, 2.0, 1e-12);
  EXPECT_EQ(shared.y, 0.0);
  // A corner of one face alone takes that face's normal.
  EXPECT_NEAR(m.normals[2].z, 1.0, 1e-12);
  EXPECT_NEAR(m.normals[3].x, 1.0, 1e-12);
  EXPECT_EQ(m.triangles[0].normal, m.triangles[0].position);
}

TEST(MeshHits, HitGivesDistanceNormalAndUvs) {
  const Mesh m = square();
  preview::MeshHit hit;
  ASSERT_TRUE(m.hit({0.25, 0.75, 5.0}, {0, 0, -1}, hit));
  EXPECT_DOUBLE_EQ(hit.t, 5.0);
  EXPECT_DOUBLE_EQ(hit.u, 0.25);
  EXPECT_DOUBLE_EQ(hit.v, 0.75);
  EXPECT_DOUBLE_EQ(hit.normal.z, 1.0);
  // From behind, the normal faces the ray.
  ASSERT_TRUE(m.hit({0.5, 0.2, -3.0}, {0, 0, 1}, hit));
  EXPECT_DOUBLE_EQ(hit.normal.z, -1.0);
  // Beside it, and behind the ray's origin, nothing.
  EXPECT_FALSE(m.hit({1.5, 0.5, 5.0}, {0, 0, -1}, hit));
  EXPECT_FALSE(m.hit({0.5, 0.5, -1.0}, {0, 0, -1}, hit));
  // An empty mesh is never hit.
  Mesh empty;
  empty.build();
  EXPECT_FALSE(empty.hit({0, 0, 1}, {0, 0, -1}, hit));
}

TEST(MeshHits, HierarchyFindsWhatEveryTriangleTriedFinds) {
  // A soup of overlapping triangles, and each of them as a mesh of its own.
  std::mt19937 random(7);
  std::uniform_real_distribution<double> spread(-1.0, 1.0);
  Mesh soup;
  std::vector<Mesh> alone;
  for (std::uint32_t i = 0; i < 500; ++i) {
    const Vec3 c{spread(random), spread(random), spread(random)};
    Mesh one;
    for (int k = 0; k < 3; ++k) {
      const Vec3 p{c.x + 0.2 * spread(random), c.y + 0.2 * spread(random),
                   c.z + 0.2 * spread(random)};
      soup.positions.push_back(p);
      one.positions.push_back(p);
    }
    soup.triangles.push_back({{3 * i, 3 * i + 1, 3 * i + 2}, {}, {}});
    one.triangles.push_back({{0, 1, 2}, {}, {}});
    one.build();
    alone.push_back(std::move(one));
  }
  soup.build();
  int hits = 0;
  for (int i = 0; i < 400; ++i) {
    const Vec3 origin{spread(random), spread(random), 3.0};
    Vec3 dir{0.2 * spread(random), 0.2 * spread(random), -1.0};
    const double len = length(dir);
    dir = {dir.x / len, dir.y / len, dir.z / len};
    preview::MeshHit fast;
    const bool found = soup.hit(origin, dir, fast);
    double best = 1e300;
    for (const Mesh& one : alone) {
      preview::MeshHit h;
      if (one.hit(origin, dir, h) && h.t < best) best = h.t;
    }
    ASSERT_EQ(found, best < 1e300) << i;
    if (found) {
      ++hits;
      EXPECT_EQ(fast.t, best) << i;
    }
  }
  EXPECT_GT(hits, 100);  // the rays were aimed at it
}

TEST(GeneratedShapes, DeterministicWithUvsAndUnitNormals) {
  for (const auto make : {preview::make_plane, preview::make_cloth, preview::make_cushion}) {
    const Mesh a = make(), b = make();
    ASSERT_EQ(a.positions.size(), b.positions.size()) << a.name;
    for (std::size_t i = 0; i < a.positions.size(); ++i) {
      ASSERT_EQ(a.positions[i].x, b.positions[i].x) << a.name;
      ASSERT_EQ(a.positions[i].y, b.positions[i].y) << a.name;
      ASSERT_EQ(a.positions[i].z, b.positions[i].z) << a.name;
    }
    EXPECT_TRUE(a.has_uvs()) << a.name;
    EXPECT_FALSE(a.triangles.empty()) << a.name;
    for (const Vec3& n : a.normals) ASSERT_NEAR(length(n), 1.0, 1e-9) << a.name;
    // About two units across, so that framing and lights suit them all.
    const preview::Bounds box = a.bounds();
    EXPECT_GT(box.hi.x - box.lo.x, 1.5) << a.name;
    EXPECT_LT(box.hi.x - box.lo.x, 3.0) << a.name;
  }
  // The cloth has folds: its depth varies across it.
  const preview::Bounds cloth = preview::make_cloth().bounds();
  EXPECT_GT(cloth.hi.z - cloth.lo.z, 0.3);
}

class ObjFiles : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!preview::obj_available()) {
      GTEST_SKIP() << "built without tinyobjloader (Debian package libtinyobjloader-dev)";
    }
    dir_ = fs::temp_directory_path() / ("velvet_obj_" + std::to_string(std::random_device{}()));
    fs::create_directories(dir_);
  }
  void TearDown() override {
    if (!dir_.empty()) fs::remove_all(dir_);
  }
  std::string write(const std::string& name, const std::string& text) {
    const std::string p = (dir_ / name).string();
    std::ofstream(p, std::ios::binary) << text;
    return p;
  }
  void expect_refused(const std::string& file, const std::string& why) {
    Mesh m;
    std::string error;
    EXPECT_FALSE(preview::load_obj(file, m, error)) << file;
    EXPECT_NE(error.find(file), std::string::npos) << error;
    EXPECT_NE(error.find(why), std::string::npos) << error;
  }
  fs::path dir_;
};

TEST_F(ObjFiles, ReadsPositionsUvsNormalsAndSplitsPolygons) {
  const std::string file = write("quad.obj",
                                 "mtllib elsewhere.mtl\n"
                                 "v 0 0 0\nv 2 0 0\nv 2 2 0\nv 0 2 0\n"
                                 "vt 0 0\nvt 1 0\nvt 1 1\nvt 0 1\n"
                                 "vn 0 0 1\n"
                                 "f 1/1/1 2/2/1 3/3/1 4/4/1\n");
  Mesh m;
  std::string error;
  ASSERT_TRUE(preview::load_obj(file, m, error)) << error;
  EXPECT_EQ(m.triangles.size(), 2u);
  EXPECT_TRUE(m.has_uvs());
  preview::MeshHit hit;
  ASSERT_TRUE(m.hit({0.5, 1.5, 1.0}, {0, 0, -1}, hit));
  EXPECT_DOUBLE_EQ(hit.u, 0.25);
  EXPECT_DOUBLE_EQ(hit.v, 0.75);
  EXPECT_DOUBLE_EQ(hit.normal.z, 1.0);
}

TEST_F(ObjFiles, WithoutNormalsGetsSmoothOnesWithoutUvsHasNone) {
  // A tent: two triangles of one size meeting at a ridge from vertex 2 to 5.
  const std::string file = write("tent.obj",
                                 "v -1 0 0\nv 0 0 1\nv 1 0 0\nv -1 1 0\nv 0 1 1\nv 1 1 0\n"
                                 "f 1 2 5\nf 2 3 5\n");
  Mesh m;
  std::string error;
  ASSERT_TRUE(preview::load_obj(file, m, error)) << error;
  EXPECT_FALSE(m.has_uvs());
  ASSERT_EQ(m.normals.size(), m.positions.size());
  // On the ridge, the two faces' normals average to straight out along z.
  EXPECT_NEAR(m.normals[1].x, 0.0, 1e-12);
  EXPECT_NEAR(m.normals[1].z, 1.0, 1e-12);
}

TEST_F(ObjFiles, BadFilesAreRefusedByName) {
  expect_refused((dir_ / "missing.obj").string(), "no such file");
  expect_refused(write("nofaces.obj", "v 0 0 0\nv 1 0 0\nv 0 1 0\n"), "no faces");
  expect_refused(write("lines.obj", "v 0 0 0\nv 1 0 0\nl 1 2\n"), "no faces");
  expect_refused(write("empty.obj", ""), "no faces");
  expect_refused(write("range.obj", "v 0 0 0\nv 1 0 0\nv 0 1 0\nf 1 2 9\n"), "vertex 9 of 3");
  expect_refused(write("uvrange.obj", "v 0 0 0\nv 1 0 0\nv 0 1 0\nvt 0 0\nf 1/1 2/2 3/1\n"),
                 "texture coordinate 2 of 1");
  expect_refused(write("nrange.obj", "v 0 0 0\nv 1 0 0\nv 0 1 0\nvn 0 0 1\nf 1//1 2//1 3//4\n"),
                 "normal 4 of 1");
  expect_refused(write("inf.obj", "v 0 0 0\nv 1 1e999 0\nv 0 1 0\nf 1 2 3\n"), "finite");
  // An upload's bytes: read as the file is, refused by their own name.
  Mesh m;
  std::string error;
  EXPECT_FALSE(preview::read_obj("v 0 0 0\nf 1 1 4\n", "up.obj", m, error));
  EXPECT_NE(error.find("mesh up.obj: a face of"), std::string::npos) << error;
  EXPECT_NE(error.find("vertex 4 of 1"), std::string::npos) << error;
  ASSERT_TRUE(preview::read_obj("v 0 0 0\nv 1 0 0\nv 0 1 0\nf 1 2 3\n", "up.obj", m, error));
  EXPECT_EQ(m.triangles.size(), 1u);
  EXPECT_EQ(m.name, "up.obj");
  // Past the size limit, refused before it is read (a sparse file).
  const std::string big = write("big.obj", "v 0 0 0\n");
  fs::resize_file(big, preview::kMaxObjBytes + 1);
  expect_refused(big, "MiB");
}

}  // namespace
