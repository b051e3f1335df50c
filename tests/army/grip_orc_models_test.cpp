// The committed orc models, their marches and the committed grip table, read with the product's
// own format layer. Files that are not there yet are skipped with a message.
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>
#include <vector>

#include "army/grip_placement.h"
#include "model/esa_format.h"

namespace {

namespace fs = std::filesystem;
using model::emd::ModelFile;

const fs::path kMedia = fs::path(GRIM_SOURCE_DIR) / "resources" / "media";

std::optional<std::vector<std::uint8_t>> Bytes(const fs::path& p) {
  std::ifstream f(p, std::ios::binary);
  if (!f) return std::nullopt;
  return std::vector<std::uint8_t>(std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>());
}

std::optional<ModelFile> Model(const std::string& name) {
  const auto b = Bytes(kMedia / "Meshes" / (name + ".EMD"));
  if (!b) return std::nullopt;
  ModelFile m;
  if (FAILED(model::emd::ReadModel(*b, m))) return std::nullopt;
  return m;
}

std::vector<std::string> OrcNames() {
  std::vector<std::string> n;
  for (int i = 0; i < 8; ++i) n.push_back("Orc_" + std::to_string(i));
  n.push_back("Orc_flag");
  return n;
}

D3DXMATRIX KeyMatrix(const model::esa::BoneTrack& t, std::size_t k) {
  const auto& q = t.rotationKeys[k].quaternion;
  const D3DXQUATERNION quat(q[0], q[1], q[2], q[3]);
  D3DXMATRIX m;
  D3DXMatrixRotationQuaternion(&m, &quat);
  m(3, 0) = t.positionKeys[k].position[0];
  m(3, 1) = t.positionKeys[k].position[1];
  m(3, 2) = t.positionKeys[k].position[2];
  return m;
}

struct Loaded {
  ModelFile model;
  model::esa::AnimationFile anim;
  std::size_t esaBytes = 0;
};

std::optional<Loaded> LoadOrc(const std::string& name, std::string& why) {
  const auto emd = Bytes(kMedia / "Meshes" / (name + ".EMD"));
  const auto esa = Bytes(kMedia / "Meshes" / (name + ".ESA"));
  if (!emd || !esa) {
    why = name + ".EMD/.ESA not committed yet";
    return std::nullopt;
  }
  Loaded l;
  EXPECT_EQ(model::emd::ReadModel(*emd, l.model), S_OK) << name;
  EXPECT_EQ(model::esa::ReadAnimation(*esa, l.model.bones.size(), l.anim), S_OK) << name;
  l.esaBytes = esa->size();
  return l;
}

TEST(OrcModels, ParseAndStayWithinTheRendererLimits) {
  for (const auto& name : OrcNames()) {
    std::string why;
    const auto l = LoadOrc(name, why);
    if (!l) GTEST_SKIP() << why;
    ASSERT_FALSE(l->model.meshes.empty()) << name;
    EXPECT_GE(l->model.bones.size(), 20u) << name;
    for (const auto& b : l->model.bones) EXPECT_LT(b.parent, static_cast<int>(&b - l->model.bones.data()));
    for (const auto& mesh : l->model.meshes) {
      EXPECT_LT(mesh.renderVertices.size(), 65535u) << name;
      for (const auto& v : mesh.vertices) {
        ASSERT_FALSE(v.weights.empty()) << name << ": an unskinned vertex";
        for (std::size_t k = 1; k < v.weights.size(); ++k)
          EXPECT_GE(v.weights[k - 1].weight, v.weights[k].weight) << name << ": weights not largest first";
      }
    }
    for (const auto& mat : l->model.materials) {
      EXPECT_TRUE(fs::exists(kMedia / "Texture" / mat.colourMap)) << mat.colourMap;
      EXPECT_TRUE(fs::exists(kMedia / "Texture" / mat.bumpMap)) << mat.bumpMap;
    }
    griptable::Box box;
    ASSERT_TRUE(griptable::ModelBox(l->model, box));
    EXPECT_NEAR(box.min[1], 0.0f, 1e-3f) << name << ": feet not on the box bottom";
  }
}

TEST(OrcModels, MarchesAreWholeSeamlessLoops) {
  for (const auto& name : OrcNames()) {
    std::string why;
    const auto l = LoadOrc(name, why);
    if (!l) GTEST_SKIP() << why;
    const auto& a = l->anim;
    EXPECT_EQ(a.keyInterval, 100) << name;
    EXPECT_TRUE(a.animLength == 833 || a.animLength == 1000 || a.animLength == 1333) << name;
    ASSERT_EQ(a.tracks.size(), l->model.bones.size());
    std::size_t expected = 14;
    for (const auto& t : a.tracks) expected += 8 + t.positionKeys.size() * 16 + t.rotationKeys.size() * 20;
    EXPECT_EQ(expected, l->esaBytes) << name << ": the file holds more than its bones' tracks";
    for (std::size_t b = 0; b < a.tracks.size(); ++b) {
      const auto& t = a.tracks[b];
      ASSERT_GE(t.positionKeys.size(), 2u);
      ASSERT_EQ(t.positionKeys.size(), t.rotationKeys.size());
      for (std::size_t k = 0; k < t.positionKeys.size(); ++k) {
        EXPECT_EQ(t.positionKeys[k].time, t.rotationKeys[k].time);
        const int want = k + 1 == t.positionKeys.size() ? a.animLength : static_cast<int>(k) * 100;
        EXPECT_EQ(t.positionKeys[k].time, want) << name << " bone " << b << " key " << k;
        const auto& q = t.rotationKeys[k].quaternion;
        EXPECT_NEAR(std::sqrt(q[0] * q[0] + q[1] * q[1] + q[2] * q[2] + q[3] * q[3]), 1.0f, 1e-4f);
      }
      // The loop closes: the pose at the length is the pose at 0.
      const D3DXMATRIX first = KeyMatrix(t, 0), last = KeyMatrix(t, t.positionKeys.size() - 1);
      for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 3; ++c)
          EXPECT_NEAR(first(r, c), last(r, c), 1e-3f) << name << " bone " << b;
    }
  }
}

// The grip poses are identities, so the hand bones themselves must keep the item frames all
// through the march: the weapon bone's +Y up, the shield bone's -Z forward (model -Z) and +Y up.
TEST(OrcModels, HandFramesMatchTheItemConventionAtEveryKey) {
  for (std::size_t i = 0; i < 8; ++i) {
    const std::string name = "Orc_" + std::to_string(i);
    std::string why;
    const auto l = LoadOrc(name, why);
    if (!l) GTEST_SKIP() << why;
    const int weapon = griptable::FindBone(l->model, "weapon_R");
    const int shield = griptable::FindBone(l->model, "shield_L");
    ASSERT_GE(weapon, 0) << name;
    ASSERT_GE(shield, 0) << name;
    for (std::size_t k = 0; k < l->anim.tracks[weapon].positionKeys.size(); ++k) {
      const D3DXMATRIX w = KeyMatrix(l->anim.tracks[weapon], k), s = KeyMatrix(l->anim.tracks[shield], k);
      EXPECT_GT(w(1, 1), 0.93f) << name << " key " << k << ": weapon bone's +Y leaves the vertical";
      // the bone's -Z (minus row 2) against the model's forward (0, 0, -1) is s(2, 2)
      EXPECT_GT(s(2, 2), 0.93f) << name << " key " << k << ": shield bone's -Z leaves the facing";
      EXPECT_GT(s(1, 1), 0.93f) << name << " key " << k << ": shield bone's +Y leaves the vertical";
    }
  }
}

// Every weapon and shield in every orc's hands at the start of its march: the item's grip lands
// in the fist, the haft points up and the shield's face forward along the heading.
TEST(OrcModels, GearSitsInTheHandsThroughTheGripTable) {
  const auto dat = Bytes(kMedia / "Data" / "Orcs.dat");
  if (!dat) GTEST_SKIP() << "Data/Orcs.dat not committed yet";
  scene::GripTable table;
  ASSERT_EQ(dat->size(), scene::kGripTableSize);
  ASSERT_EQ(scene::ReadGripTable(dat->data(), dat->size(), table), S_OK);
  auto itemBox = [](const std::string& name) {
    const auto m = Model(name);
    griptable::Box box{{-1, -1, -1}, {1, 1, 1}};  // what the table assumes for a missing item
    if (m) griptable::ModelBox(*m, box);
    return box;
  };
  std::vector<griptable::Box> weapons, shields;
  for (std::size_t k = 0; k < scene::kWeaponCount; ++k) weapons.push_back(itemBox("Weapon_" + std::to_string(k)));
  for (std::size_t k = 0; k < scene::kShieldCount; ++k) shields.push_back(itemBox("Shield_" + std::to_string(k)));

  for (std::size_t i = 0; i < scene::kOrcModelCount; ++i) {
    const std::string name = "Orc_" + std::to_string(i);
    std::string why;
    const auto l = LoadOrc(name, why);
    if (!l) GTEST_SKIP() << why;
    const auto& e = table.entries[i];
    ASSERT_LT(static_cast<std::size_t>(e.weaponBone), l->model.bones.size());
    ASSERT_LT(static_cast<std::size_t>(e.shieldBone), l->model.bones.size());
    EXPECT_EQ(l->model.bones[e.weaponBone].name, "weapon_R");
    EXPECT_EQ(l->model.bones[e.shieldBone].name, "shield_L");
    griptable::Box box;
    ASSERT_TRUE(griptable::ModelBox(l->model, box));
    // Heading 30 degrees; the unit faces (cos 30, 0, sin 30).
    const float yaw = 30.0f;
    const auto orc = grip_test::PlaceOrc(box, yaw, {50.0f, 10.0f, -20.0f});
    const D3DXVECTOR3 forward(std::cos(D3DXToRadian(yaw)), 0.0f, std::sin(D3DXToRadian(yaw)));
    const D3DXVECTOR3 up(0.0f, 1.0f, 0.0f);
    auto boneWorld = [&](int b) {
      const D3DXMATRIX m = KeyMatrix(l->anim.tracks[b], 0);
      D3DXVECTOR3 o(m(3, 0), m(3, 1), m(3, 2)), w;
      D3DXVec3TransformCoord(&w, &o, &orc.world);
      return w;
    };
    for (std::size_t k = 0; k < scene::kWeaponCount; ++k) {
      const auto placed =
          scene::ItemTransform(KeyMatrix(l->anim.tracks[e.weaponBone], 0), e.weapons[k], orc.rotation, orc.world);
      const auto grip = grip_test::ItemPoint(placed, weapons[k], griptable::kWeaponHeights[k], {0, 0, 0});
      EXPECT_LT(grip_test::Distance(grip, boneWorld(e.weaponBone)), 2.0f) << name << " weapon " << k;
      D3DXVECTOR3 haft = grip_test::Axis(placed.rotation, 1);
      EXPECT_GT(D3DXVec3Dot(&haft, &up), 0.85f) << name << " weapon " << k << ": haft not upright";
    }
    for (std::size_t k = 0; k < scene::kShieldCount; ++k) {
      const auto placed =
          scene::ItemTransform(KeyMatrix(l->anim.tracks[e.shieldBone], 0), e.shields[k], orc.rotation, orc.world);
      const auto grip = grip_test::ItemPoint(placed, shields[k], griptable::kShieldHeights[k], {0, 0, 0});
      EXPECT_LT(grip_test::Distance(grip, boneWorld(e.shieldBone)), 2.0f) << name << " shield " << k;
      const D3DXVECTOR3 face = -grip_test::Axis(placed.rotation, 2);
      EXPECT_GT(D3DXVec3Dot(&face, &forward), 0.85f) << name << " shield " << k << ": face not forward";
      D3DXVECTOR3 top = grip_test::Axis(placed.rotation, 1);
      EXPECT_GT(D3DXVec3Dot(&top, &up), 0.85f) << name << " shield " << k << ": not upright";
    }
  }
}

}  // namespace
