#include <gtest/gtest.h>

#include "army/grip_placement.h"

namespace {

using griptable::Box;
using model::emd::ModelFile;

// A model whose only mesh is the 8 corners of a box, optionally with bones.
ModelFile BoxModel(D3DXVECTOR3 lo, D3DXVECTOR3 hi, std::vector<std::string> bones = {}) {
  ModelFile m;
  for (std::size_t i = 0; i < bones.size(); ++i)
    m.bones.push_back({bones[i], i == 0 ? -1 : 0});
  m.meshes.emplace_back();
  for (int c = 0; c < 8; ++c) {
    model::emd::SourceVertex v;
    v.position[0] = (c & 1) ? hi.x : lo.x;
    v.position[1] = (c & 2) ? hi.y : lo.y;
    v.position[2] = (c & 4) ? hi.z : lo.z;
    m.meshes[0].vertices.push_back(v);
  }
  return m;
}

std::string Spec(const std::string& line, int count = 8) {
  std::string s = "# comment line\n\n";
  for (int i = 0; i < count; ++i) s += line + "  # trailing comment\n";
  return s;
}

TEST(GripSpec, ReadsNamedBonesAndPalmPoints) {
  std::vector<griptable::OrcGrip> spec;
  std::string error;
  ASSERT_TRUE(griptable::ParseGripSpec(Spec("Orc_3 hand_R 0.5 -1 2e-1 arm_L 0 0 -0.25"), spec, error)) << error;
  ASSERT_EQ(spec.size(), 8u);
  EXPECT_EQ(spec[7].model, "Orc_3");
  EXPECT_EQ(spec[0].weaponBone, "hand_R");
  EXPECT_EQ(spec[0].shieldBone, "arm_L");
  EXPECT_FLOAT_EQ(spec[0].weaponPalm[1], -1.0f);
  EXPECT_FLOAT_EQ(spec[0].weaponPalm[2], 0.2f);
  EXPECT_FLOAT_EQ(spec[0].shieldPalm[2], -0.25f);
}

TEST(GripSpec, RejectsMalformedSpecsWithTheLine) {
  std::vector<griptable::OrcGrip> spec;
  std::string error;
  EXPECT_FALSE(griptable::ParseGripSpec(Spec("Orc_0 a 0 0 0 b 0 0 0", 7), spec, error));
  EXPECT_NE(error.find("found 7"), std::string::npos) << error;
  EXPECT_FALSE(griptable::ParseGripSpec(Spec("Orc_0 a 0 0 0 b 0 0 0", 9), spec, error));
  EXPECT_FALSE(griptable::ParseGripSpec(Spec("Orc_0 a 0 0 b 0 0 0"), spec, error));
  EXPECT_NE(error.find("line 3"), std::string::npos) << error;
  EXPECT_FALSE(griptable::ParseGripSpec(Spec("Orc_0 a 0 0 0x b 0 0 0"), spec, error));
  EXPECT_FALSE(griptable::ParseGripSpec(Spec("Orc_0 a 0 0 nan b 0 0 0"), spec, error));
  EXPECT_FALSE(griptable::ParseGripSpec(std::string("Orc_0 a 0 0 0 b 0 0 \0", 22), spec, error));
  EXPECT_TRUE(spec.empty());
}

// Stand-in gear far from centred on its grip, and a turned hand bone: the item's grip (its model
// origin) must land on the palm point and its axes must follow the bone.
TEST(GripTable, OffsetsPutEveryItemsGripOnThePalm) {
  const ModelFile orc = BoxModel({-0.5f, 0.0f, -0.3f}, {0.7f, 2.0f, 0.3f}, {"root", "hand", "arm"});
  const ModelFile weapon = BoxModel({-0.05f, -0.3f, -0.05f}, {0.05f, 1.2f, 0.15f});
  const ModelFile shield = BoxModel({-0.4f, -0.5f, -0.3f}, {0.5f, 0.6f, -0.02f});
  const griptable::ModelLoader load = [&](const std::string& name) -> std::optional<ModelFile> {
    if (name == "Orc_0") return orc;
    if (name.rfind("Weapon_", 0) == 0) return weapon;
    if (name.rfind("Shield_", 0) == 0 && name != "Shield_11") return shield;
    return std::nullopt;
  };
  std::vector<griptable::OrcGrip> spec(8);
  for (auto& g : spec) {
    g.model = "Orc_0";
    g.weaponBone = "hand";
    g.weaponPalm[0] = 0.02f;
    g.weaponPalm[1] = 0.01f;
    g.shieldBone = "arm";
    g.shieldPalm[2] = -0.03f;
  }
  scene::GripTable table;
  std::string error;
  std::vector<std::string> warnings;
  ASSERT_TRUE(griptable::BuildGripTable(spec, load, table, error, warnings)) << error;
  ASSERT_EQ(warnings.size(), 1u);
  EXPECT_NE(warnings[0].find("Shield_11"), std::string::npos);
  EXPECT_EQ(table.entries[5].weaponBone, 1);
  EXPECT_EQ(table.entries[5].shieldBone, 2);

  Box orcBox, weaponBox, shieldBox;
  ASSERT_TRUE(griptable::ModelBox(orc, orcBox));
  ASSERT_TRUE(griptable::ModelBox(weapon, weaponBox));
  ASSERT_TRUE(griptable::ModelBox(shield, shieldBox));
  // The hand turned 30 degrees about X and 20 about Z, at (-0.4, 1.1, 0.25).
  D3DXMATRIX rx, rz, bone;
  D3DXMatrixRotationX(&rx, D3DXToRadian(30));
  D3DXMatrixRotationZ(&rz, D3DXToRadian(20));
  bone = rx * rz;
  bone(3, 0) = -0.4f;
  bone(3, 1) = 1.1f;
  bone(3, 2) = 0.25f;
  const auto orcAt = grip_test::PlaceOrc(orcBox, 35.0f, {100.0f, 20.0f, -40.0f});

  for (std::size_t k = 0; k < scene::kWeaponCount; ++k) {
    const scene::GripPose& pose = table.entries[5].weapons[k];
    const auto placed = scene::ItemTransform(bone, pose, orcAt.rotation, orcAt.world);
    D3DXVECTOR3 palm(0.02f, 0.01f, 0.0f), palmWorld;
    D3DXVECTOR3 palmModel;
    D3DXVec3TransformCoord(&palmModel, &palm, &bone);
    D3DXVec3TransformCoord(&palmWorld, &palmModel, &orcAt.world);
    const auto grip = grip_test::ItemPoint(placed, weaponBox, griptable::kWeaponHeights[k], {0, 0, 0});
    EXPECT_LT(grip_test::Distance(grip, palmWorld), 1e-3f) << "weapon " << k;
    // The haft (+Y) follows the bone's +Y turned with the unit.
    D3DXVECTOR3 up = grip_test::Axis(bone, 1), upWorld;
    D3DXVec3TransformNormal(&upWorld, &up, &orcAt.rotation);
    D3DXVECTOR3 haft = grip_test::Axis(placed.rotation, 1);
    EXPECT_NEAR(D3DXVec3Dot(&haft, &upWorld), 1.0f, 1e-5f) << "weapon " << k;
  }
  for (std::size_t k = 0; k < scene::kShieldCount; ++k) {
    const scene::GripPose& pose = table.entries[5].shields[k];
    const auto placed = scene::ItemTransform(bone, pose, orcAt.rotation, orcAt.world);
    D3DXVECTOR3 palm(0.0f, 0.0f, -0.03f), palmModel, palmWorld;
    D3DXVec3TransformCoord(&palmModel, &palm, &bone);
    D3DXVec3TransformCoord(&palmWorld, &palmModel, &orcAt.world);
    // The missing shield is posed as if centred on its grip: a centred box of any height.
    const Box box = k == 11 ? Box{{-1, -1, -1}, {1, 1, 1}} : shieldBox;
    const auto grip = grip_test::ItemPoint(placed, box, griptable::kShieldHeights[k], {0, 0, 0});
    EXPECT_LT(grip_test::Distance(grip, palmWorld), 1e-3f) << "shield " << k;
  }
}

TEST(GripTable, ReportsOrcModelsItCannotUse) {
  const ModelFile orc = BoxModel({0, 0, 0}, {1, 2, 1}, {"root", "hand"});
  std::vector<griptable::OrcGrip> spec(8);
  for (auto& g : spec) {
    g.model = "Orc_0";
    g.weaponBone = "hand";
    g.shieldBone = "root";
  }
  scene::GripTable table;
  std::string error;
  std::vector<std::string> warnings;
  auto none = [](const std::string&) -> std::optional<ModelFile> { return std::nullopt; };
  EXPECT_FALSE(griptable::BuildGripTable(spec, none, table, error, warnings));
  EXPECT_NE(error.find("Orc_0"), std::string::npos);
  spec[3].shieldBone = "tail";
  auto orcOnly = [&](const std::string& n) -> std::optional<ModelFile> {
    return n == "Orc_0" ? std::optional<ModelFile>(orc) : std::nullopt;
  };
  EXPECT_FALSE(griptable::BuildGripTable(spec, orcOnly, table, error, warnings));
  EXPECT_NE(error.find("tail"), std::string::npos);
  const ModelFile flat = BoxModel({0, 1, 0}, {1, 1, 1}, {"root", "hand"});
  spec[3].shieldBone = "root";
  auto flatOnly = [&](const std::string& n) -> std::optional<ModelFile> {
    return n == "Orc_0" ? std::optional<ModelFile>(flat) : std::nullopt;
  };
  EXPECT_FALSE(griptable::BuildGripTable(spec, flatOnly, table, error, warnings));
  EXPECT_NE(error.find("height"), std::string::npos);
}

}  // namespace
