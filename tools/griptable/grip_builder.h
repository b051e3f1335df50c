// Builds the grip table (Data/Orcs.dat) from named palm points and the model files.
//
// The grip file is a small text file, one line per orc model in model order (8 lines; '#' starts
// a comment, blank lines are skipped):
//   MODEL  WEAPON_BONE  gx gy gz  SHIELD_BONE  gx gy gz
// MODEL names Meshes/MODEL.EMD; each bone is named as in that model, and (gx, gy, gz) is the palm
// point in that bone's space, in the orc model's own (unscaled) units.
//
// The scene orients an item by bone * pose.matrix * unitRotation and places it at
// pose.offset * pose.matrix * bone * unitWorld. With pose.matrix the identity, an item of box
// centre c (item units) scaled by s_item = table height / box height, carried by an orc scaled by
// s_orc = 45.3 / orc box height, has its own origin (its grip) on the palm point exactly when
//   offset = g + c * s_item / s_orc,
// because the item model is centred on c before it is scaled, and the offset is scaled with the
// orc's world matrix.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "model/emd_format.h"
#include "scene/army_data.h"

namespace griptable {

inline constexpr float kOrcHeight = 45.3f;
inline constexpr std::array<float, scene::kWeaponCount> kWeaponHeights = {
    12.5f, 34.5f, 20.5f, 18.5f, 14.0f, 14.0f, 14.5f, 14.5f, 40.5f, 40.5f, 40.5f, 40.5f, 40.5f, 40.5f};
inline constexpr std::array<float, scene::kShieldCount> kShieldHeights = {
    15.5f, 17.5f, 16.5f, 21.5f, 23.5f, 22.5f, 22.5f, 25.5f, 27.5f, 25.5f, 22.5f, 22.5f};

struct OrcGrip {
  std::string model;
  std::string weaponBone;
  float weaponPalm[3] = {};
  std::string shieldBone;
  float shieldPalm[3] = {};
};

// Parses the grip file; false with a message naming the line on anything but exactly kOrcModelCount
// well-formed lines.
bool ParseGripSpec(const std::string& text, std::vector<OrcGrip>& out, std::string& error);

// Bounding box of all source vertices of all meshes (the box the scene fits and centres);
// false when the model has no vertices.
struct Box {
  float min[3] = {};
  float max[3] = {};
  float Centre(int axis) const { return (min[axis] + max[axis]) * 0.5f; }
  float Height() const { return max[1] - min[1]; }
};
bool ModelBox(const model::emd::ModelFile& m, Box& out);

// Index of the bone called `name`, or -1.
int FindBone(const model::emd::ModelFile& m, const std::string& name);

// Loads "Meshes/NAME.EMD" (NAME without extension), or nothing when there is no such file.
using ModelLoader = std::function<std::optional<model::emd::ModelFile>(const std::string& name)>;

// Fills the table. Orc models must load and hold their bones (false with a message otherwise);
// a missing weapon or shield model is reported in `warnings` and posed as if its box were centred
// on its grip (offset = palm point).
bool BuildGripTable(const std::vector<OrcGrip>& spec, const ModelLoader& load, scene::GripTable& out,
                    std::string& error, std::vector<std::string>& warnings);

}  // namespace griptable
