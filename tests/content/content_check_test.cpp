// The committed media files, read from resources/media/ with the program's own readers: what the
// build packs into the archive must be what the scene can load. A file that is not there yet
// makes its case skip with a message, so the check stays green while content is still arriving.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cctype>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "d3dutil/image.h"
#include "model/emd_format.h"
#include "model/esa_format.h"
#include "scene/camera_track.h"
#include "scene/camera_track_data.h"
#include "scene/map_data.h"

namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<std::uint8_t>;

const fs::path kMedia = fs::path(GRIM_SOURCE_DIR) / "resources" / "media";

Bytes ReadAll(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::string Lower(std::string s) {
  for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

// Files of a media folder by lower-case name (the archive lookup ignores case).
std::map<std::string, fs::path> FolderIndex(const fs::path& dir) {
  std::map<std::string, fs::path> index;
  std::error_code ec;
  if (!fs::is_directory(dir, ec)) return index;
  for (const auto& e : fs::recursive_directory_iterator(dir, ec)) {
    if (!e.is_regular_file()) continue;
    std::string rel;
    for (const auto& part : e.path().lexically_relative(dir)) rel += (rel.empty() ? "" : "/") + part.string();
    index[Lower(rel)] = e.path();
  }
  return index;
}

bool IsPowerOfTwo(std::uint32_t v) { return v != 0 && (v & (v - 1)) == 0; }

// Decodes an image with the program's decoders; fills `why` on failure.
bool DecodeFile(const fs::path& p, d3dutil::Image& image, std::string& why) {
  const Bytes bytes = ReadAll(p);
  d3dutil::ImageFileDescription info;
  return d3dutil::DecodeImage(bytes.data(), bytes.size(), image, info, &why);
}

TEST(LevelMap, HasTheNineModelsAndEntitiesAndNamesOnlyMeshesThatLoad) {
  const fs::path file = kMedia / "Data" / "Map.emp";
  if (!fs::exists(file)) GTEST_SKIP() << file << " is not there yet";
  const Bytes bytes = ReadAll(file);
  scene::SceneMapData map;
  std::size_t used = 0;
  ASSERT_EQ(scene::ReadSceneMap(bytes.data(), bytes.size(), map, &used), S_OK);
  EXPECT_EQ(used, bytes.size()) << "bytes left after the last entity";
  ASSERT_EQ(map.models.size(), 9u);
  ASSERT_EQ(map.entities.size(), 9u);
  // The two bump-mapped variants are drawn only with advanced lighting; the rest always.
  for (std::size_t i = 0; i < map.entities.size(); ++i)
    EXPECT_EQ(map.entities[i].renderClass, i < 7 ? 0 : 2) << "entity " << i;

  const auto meshes = FolderIndex(kMedia / "Meshes");
  std::vector<std::string> missing;
  for (const scene::MapModel& m : map.models) {
    const auto it = meshes.find(Lower(m.mesh));
    if (it == meshes.end()) {
      missing.push_back(m.mesh);
      continue;
    }
    model::emd::ModelFile model;
    EXPECT_EQ(model::emd::ReadModel(ReadAll(it->second), model), S_OK) << m.mesh << " does not parse whole";
  }
  if (!missing.empty()) {
    std::string list;
    for (const auto& n : missing) list += " " + n;
    GTEST_SKIP() << "level meshes not there yet:" << list;
  }
}

TEST(CameraTracks, MarchRouteAndShotsArePlayable) {
  const fs::path file = kMedia / "Data" / "Cam_Tracks.evd";
  if (!fs::exists(file)) GTEST_SKIP() << file << " is not there yet";
  const Bytes bytes = ReadAll(file);
  std::vector<scene::CameraTrackData> tracks;
  std::size_t used = 0;
  ASSERT_EQ(scene::ReadCameraTracks(bytes.data(), bytes.size(), tracks, &used), S_OK);
  EXPECT_EQ(used, bytes.size());
  ASSERT_EQ(tracks.size(), 20u);
  for (std::size_t t = 0; t < tracks.size(); ++t) {
    EXPECT_GE(tracks[t].segmentCount(), 1u) << "track " << t;
    EXPECT_EQ((tracks[t].keys.size() - 1) % 3, 0u) << "track " << t << " does not end on an anchor";
    EXPECT_FALSE(tracks[t].notAShot) << "track " << t << " would never be shown";
  }

  // The march route, walked as the army walks it, goes from inside the fortress to the road's end
  // along the road and through the gate opening.
  scene::TrackFollower f;
  ASSERT_EQ(f.LoadTracks(bytes.data(), bytes.size()), S_OK);
  f.useTargets = false;
  ASSERT_TRUE(f.StartTrack(0, 0));
  EXPECT_NEAR(f.position.x, -734, 2);
  float last_x = f.position.x, min_z = 1e9f, max_z = -1e9f, min_y = 1e9f, max_y = -1e9f;
  int steps = 0;
  while (steps < 100000) {
    const scene::Vec3 before = f.position;
    f.Step(0.16f);
    ++steps;
    if (f.trackEnded) {
      EXPECT_NEAR(before.x, 922, 10);
      break;
    }
    EXPECT_GE(f.position.x, last_x - 1e-3f) << "the route turns back at step " << steps;
    last_x = f.position.x;
    if (f.position.x > -600 && f.position.x < -400) {  // in the gate
      min_z = std::min(min_z, f.position.z);
      max_z = std::max(max_z, f.position.z);
    }
    min_y = std::min(min_y, f.position.y);
    max_y = std::max(max_y, f.position.y);
  }
  EXPECT_TRUE(f.trackEnded) << "the route never ends";
  EXPECT_GT(min_z, -234 + 40) << "too close to the gate's -z side";
  EXPECT_LT(max_z, -66 - 40) << "too close to the gate's +z side";
  EXPECT_GT(min_y, 30);
  EXPECT_LT(max_y, 34);
  // Squads spawn while segment 0 is clear for 350 units and close-ups pick units 380..430 along it.
  EXPECT_GT(f.Track(0).segmentLengths[0], 430.0f);
}

// Every shot, played as the show plays it (16 ms frames, targets on), ends after a watchable time
// and keeps its eye inside the open canyon: clear of the fortress face, the rock masses and the
// canyon walls, under the sky and above the lava.
TEST(CameraTracks, ShotsEndInTimeAndStayInTheOpenCanyon) {
  const fs::path file = kMedia / "Data" / "Cam_Tracks.evd";
  if (!fs::exists(file)) GTEST_SKIP() << file << " is not there yet";
  const Bytes bytes = ReadAll(file);
  scene::TrackFollower f;
  ASSERT_EQ(f.LoadTracks(bytes.data(), bytes.size()), S_OK);
  for (std::size_t t = 1; t < f.trackCount(); ++t) {
    f.useTargets = true;
    ASSERT_TRUE(f.StartTrack(static_cast<std::int32_t>(t), 0)) << "track " << t;
    int frames = 0;
    bool reported = false;
    for (; frames < 60 * 1000 / 16; ++frames) {  // a minute at most
      const scene::Vec3 p = f.position;
      if (!reported && (p.x < -390 || p.x > 950 || p.z < -600 || p.z > 650 || p.y > 800 || p.y < -330)) {
        ADD_FAILURE() << "track " << t << " leaves the canyon at (" << p.x << ", " << p.y << ", " << p.z << ")";
        reported = true;
      }
      f.Step(0.16f);
      if (f.trackEnded) break;
    }
    const float seconds = static_cast<float>(frames + 1) * 0.016f;
    EXPECT_TRUE(f.trackEnded) << "track " << t << " runs for over a minute";
    EXPECT_GT(seconds, 5.0f) << "track " << t << " is over in a blink";
  }
}

TEST(Meshes, EveryModelAndAnimationParsesAndItsTexturesExist) {
  const auto meshes = FolderIndex(kMedia / "Meshes");
  const auto textures = FolderIndex(kMedia / "Texture");
  std::size_t models = 0, animations = 0;
  std::set<std::string> missing_textures;
  for (const auto& [name, path] : meshes) {
    if (path.extension() == ".EMD" || Lower(path.extension().string()) == ".emd") {
      ++models;
      model::emd::ModelFile model;
      ASSERT_EQ(model::emd::ReadModel(ReadAll(path), model), S_OK) << path.filename();
      for (const model::emd::Material& m : model.materials) {
        for (const std::string* tex : {&m.colourMap, &m.bumpMap}) {
          if (tex->empty()) continue;
          EXPECT_EQ(tex->find_first_of("/\\"), std::string::npos) << path.filename() << ": " << *tex;
          if (!textures.count(Lower(*tex))) missing_textures.insert(path.filename().string() + " -> " + *tex);
        }
      }
      // Its animation, if it has one, reads against its bones.
      fs::path esa = path;
      esa.replace_extension(".ESA");
      const auto it = meshes.find(Lower(esa.filename().string()));
      if (it != meshes.end()) {
        ++animations;
        model::esa::AnimationFile anim;
        EXPECT_EQ(model::esa::ReadAnimation(ReadAll(it->second), model.bones.size(), anim), S_OK)
            << esa.filename() << " against " << model.bones.size() << " bones";
      }
    }
  }
  for (const auto& [name, path] : meshes) {
    if (Lower(path.extension().string()) != ".esa") continue;
    fs::path emd = path;
    emd.replace_extension(".EMD");
    EXPECT_TRUE(meshes.count(Lower(emd.filename().string()))) << path.filename() << " has no model";
  }
  for (const std::string& m : missing_textures) ADD_FAILURE() << "texture not in Texture/: " << m;
  if (models == 0) GTEST_SKIP() << "no meshes yet";
  RecordProperty("models", static_cast<int>(models));
  RecordProperty("animations", static_cast<int>(animations));
}

TEST(Textures, EffectTexturesDecodeAtPowerOfTwoSizes) {
  const auto textures = FolderIndex(kMedia / "Texture");
  std::vector<std::string> wanted;
  for (int i = 1; i <= 32; ++i) {
    char name[32];
    std::snprintf(name, sizeof name, "fire_tex/f%02d.jpg", i);
    wanted.push_back(name);
  }
  wanted.push_back("particle.jpg");
  for (const char* face : {"ft", "bk", "lf", "rt", "up", "dn"}) wanted.push_back(std::string("dam_") + face + ".jpg");
  std::size_t present = 0;
  for (const std::string& n : wanted) {
    const auto it = textures.find(n);
    if (it == textures.end()) {
      ADD_FAILURE() << "missing Texture/" << n;
      continue;
    }
    ++present;
    d3dutil::Image image;
    std::string why;
    ASSERT_TRUE(DecodeFile(it->second, image, why)) << n << ": " << why;
    EXPECT_TRUE(IsPowerOfTwo(image.width) && IsPowerOfTwo(image.height)) << n << ": " << image.width << " x "
                                                                        << image.height;
    if (n.rfind("dam_", 0) == 0) {
      EXPECT_EQ(image.width, 512u) << n;
      EXPECT_EQ(image.height, 512u) << n;
    }
  }
  EXPECT_EQ(present, wanted.size());
}

TEST(Textures, EveryTextureDecodesAtAPowerOfTwoSize) {
  const auto textures = FolderIndex(kMedia / "Texture");
  if (textures.empty()) GTEST_SKIP() << "no textures yet";
  for (const auto& [name, path] : textures) {
    d3dutil::Image image;
    std::string why;
    EXPECT_TRUE(DecodeFile(path, image, why)) << name << ": " << why;
    EXPECT_TRUE(IsPowerOfTwo(image.width) && IsPowerOfTwo(image.height)) << name << ": " << image.width << " x "
                                                                        << image.height;
  }
}

// The gate's glowing slices show each flame frame through its four corner texels (texture
// coordinate (0, 1) with wrapping and linear filtering): they must carry a visible warm light, and
// the flame itself must stay dark at its borders so the torches show no rectangle.
TEST(Textures, FlameFramesCarryTheGateLightInTheirCorners) {
  const auto textures = FolderIndex(kMedia / "Texture");
  if (!textures.count("fire_tex/f01.jpg")) GTEST_SKIP() << "no flame frames yet";
  for (int i = 1; i <= 32; ++i) {
    char name[32];
    std::snprintf(name, sizeof name, "fire_tex/f%02d.jpg", i);
    const auto it = textures.find(name);
    if (it == textures.end()) continue;  // reported by the case above
    d3dutil::Image image;
    std::string why;
    ASSERT_TRUE(DecodeFile(it->second, image, why)) << name << ": " << why;
    const std::uint32_t w = image.width, h = image.height;
    int corner_r = 0, corner_b = 0;
    for (auto [x, y] : {std::pair{0u, 0u}, {w - 1, 0u}, {0u, h - 1}, {w - 1, h - 1}}) {
      corner_r += image.Pixel(x, y)[0];
      corner_b += image.Pixel(x, y)[2];
    }
    EXPECT_GT(corner_r / 4, 100) << name << ": the gate light is too dark";
    EXPECT_GT(corner_r, 2 * corner_b) << name << ": the gate light is not warm";
    // Midpoints of the border rows and columns are black (additive: black draws nothing).
    for (auto [x, y] : {std::pair{w / 2, 0u}, {0u, h / 2}, {w - 1, h / 2}, {w / 4, 0u}}) {
      const std::uint8_t* p = image.Pixel(x, y);
      EXPECT_LT(p[0] + p[1] + p[2], 30) << name << " at " << x << "," << y;
    }
  }
}

// Each sky face's edge texels lie just past the box edge, so neighbouring faces show the same
// directions along a shared edge. Averages over 8 texels along each of the 12 edges must agree;
// a face turned or mirrored the wrong way breaks this at once on the horizon.
TEST(Textures, SkyFacesMeetWithoutSeams) {
  const auto textures = FolderIndex(kMedia / "Texture");
  std::map<std::string, d3dutil::Image> faces;
  for (const char* f : {"ft", "bk", "lf", "rt", "up", "dn"}) {
    const auto it = textures.find(std::string("dam_") + f + ".jpg");
    if (it == textures.end()) GTEST_SKIP() << "sky face dam_" << f << ".jpg not there yet";
    std::string why;
    ASSERT_TRUE(DecodeFile(it->second, faces[f], why)) << f << ": " << why;
    ASSERT_EQ(faces[f].width, faces[f].height);
  }
  const std::uint32_t n = faces["ft"].width;
  // Texel i along an edge: L/R are columns 0 / n-1 (top to bottom), T/B rows 0 / n-1 (left to right).
  auto texel = [&](const std::string& f, char side, std::uint32_t i) {
    const d3dutil::Image& im = faces[f];
    switch (side) {
      case 'L': return im.Pixel(0, i);
      case 'R': return im.Pixel(n - 1, i);
      case 'T': return im.Pixel(i, 0);
      default: return im.Pixel(i, n - 1);
    }
  };
  struct Edge {
    const char* a;
    char sa;
    const char* b;
    char sb;
    bool reversed;
  };
  const Edge edges[] = {{"ft", 'R', "lf", 'L', false}, {"lf", 'R', "bk", 'L', false}, {"bk", 'R', "rt", 'L', false},
                        {"rt", 'R', "ft", 'L', false}, {"up", 'B', "bk", 'T', false}, {"up", 'T', "ft", 'T', true},
                        {"up", 'L', "lf", 'T', false}, {"up", 'R', "rt", 'T', true},  {"dn", 'T', "bk", 'B', false},
                        {"dn", 'B', "ft", 'B', true},  {"dn", 'L', "lf", 'B', true},  {"dn", 'R', "rt", 'B', false}};
  for (const Edge& e : edges) {
    double diff = 0;
    int blocks = 0;
    for (std::uint32_t start = 0; start + 8 <= n; start += 8, ++blocks) {
      for (int c = 0; c < 3; ++c) {
        double sa = 0, sb = 0;
        for (std::uint32_t i = start; i < start + 8; ++i) {
          sa += texel(e.a, e.sa, i)[c];
          sb += texel(e.b, e.sb, e.reversed ? n - 1 - i : i)[c];
        }
        diff += std::abs(sa - sb) / 8;
      }
    }
    EXPECT_LT(diff / (blocks * 3), 4.0) << e.a << e.sa << " against " << e.b << e.sb;
  }
}

// The media budget is what the executable carries: the archive the build packs from the folder.
// (The loose folder is larger: meshes are plain floats that pack to about a third.) Both sizes are
// printed; the packed one must stay under 16 MB.
TEST(MediaFolder, PackedArchiveStaysUnderSixteenMegabytes) {
  std::uintmax_t total = 0;
  std::error_code ec;
  if (!fs::is_directory(kMedia, ec)) GTEST_SKIP() << "no media folder yet";
  std::map<std::string, std::uintmax_t> by_folder;
  for (const auto& e : fs::recursive_directory_iterator(kMedia, ec)) {
    if (!e.is_regular_file()) continue;
    total += e.file_size();
    by_folder[e.path().parent_path().lexically_relative(kMedia).string()] += e.file_size();
  }
  std::string folders;
  for (const auto& [name, bytes] : by_folder) folders += " " + name + " " + std::to_string(bytes);
  std::printf("resources/media holds %ju bytes:%s\n", total, folders.c_str());

  const fs::path archive = fs::path(GRIM_BINARY_DIR) / "resources" / "media.rar";
  if (!fs::exists(archive)) GTEST_SKIP() << "the media archive is not built (" << archive << ")";
  const std::uintmax_t packed = fs::file_size(archive);
  std::printf("packed into %ju bytes\n", packed);
  EXPECT_LT(packed, 16u * 1024 * 1024) << "the media archive is over budget:" << folders;
}

}  // namespace
