#include "tools/griptable/grip_builder.h"

#include <cmath>
#include <cstdio>
#include <sstream>

namespace griptable {

namespace {

bool ParseFloat(const std::string& s, float& out) {
  char* end = nullptr;
  const float v = std::strtof(s.c_str(), &end);
  if (s.empty() || end != s.c_str() + s.size() || !std::isfinite(v)) return false;
  out = v;
  return true;
}

void SetIdentity(float m[16]) {
  for (int i = 0; i < 16; ++i) m[i] = (i % 5 == 0) ? 1.0f : 0.0f;
}

}  // namespace

bool ParseGripSpec(const std::string& text, std::vector<OrcGrip>& out, std::string& error) {
  std::vector<OrcGrip> grips;
  std::istringstream lines(text);
  std::string line;
  int number = 0;
  while (std::getline(lines, line)) {
    ++number;
    if (const auto hash = line.find('#'); hash != std::string::npos) line.resize(hash);
    std::istringstream words(line);
    std::vector<std::string> w;
    for (std::string word; words >> word;) w.push_back(word);
    if (w.empty()) continue;
    const std::string where = "line " + std::to_string(number) + ": ";
    if (w.size() != 9) {
      error = where + "expected MODEL WEAPON_BONE x y z SHIELD_BONE x y z (9 fields), found " +
              std::to_string(w.size());
      return false;
    }
    OrcGrip g;
    g.model = w[0];
    g.weaponBone = w[1];
    g.shieldBone = w[5];
    for (int i = 0; i < 3; ++i) {
      if (!ParseFloat(w[2 + i], g.weaponPalm[i]) || !ParseFloat(w[6 + i], g.shieldPalm[i])) {
        error = where + "a palm coordinate is not a finite number";
        return false;
      }
    }
    if (grips.size() == scene::kOrcModelCount) {
      error = where + "more than " + std::to_string(scene::kOrcModelCount) + " orc models";
      return false;
    }
    grips.push_back(std::move(g));
  }
  if (grips.size() != scene::kOrcModelCount) {
    error = "expected " + std::to_string(scene::kOrcModelCount) + " orc models, found " +
            std::to_string(grips.size());
    return false;
  }
  out = std::move(grips);
  return true;
}

bool ModelBox(const model::emd::ModelFile& m, Box& out) {
  bool any = false;
  Box box;
  for (const auto& mesh : m.meshes) {
    for (const auto& v : mesh.vertices) {
      for (int a = 0; a < 3; ++a) {
        if (!any || v.position[a] < box.min[a]) box.min[a] = v.position[a];
        if (!any || v.position[a] > box.max[a]) box.max[a] = v.position[a];
      }
      any = true;
    }
  }
  if (any) out = box;
  return any;
}

int FindBone(const model::emd::ModelFile& m, const std::string& name) {
  for (std::size_t i = 0; i < m.bones.size(); ++i)
    if (m.bones[i].name == name) return static_cast<int>(i);
  return -1;
}

bool BuildGripTable(const std::vector<OrcGrip>& spec, const ModelLoader& load, scene::GripTable& out,
                    std::string& error, std::vector<std::string>& warnings) {
  if (spec.size() != scene::kOrcModelCount) {
    error = "the grip file needs " + std::to_string(scene::kOrcModelCount) + " orc models";
    return false;
  }
  // Item boxes: centre and scale, each loaded once.
  struct Item {
    bool present = false;
    float centre[3] = {};
    float scale = 1.0f;
  };
  auto loadItem = [&](const std::string& name, float height) {
    Item item;
    const auto m = load(name);
    Box box;
    if (!m) {
      warnings.push_back(name + ": not found; posed as if centred on its grip");
    } else if (!ModelBox(*m, box) || box.Height() <= 0.0f) {
      warnings.push_back(name + ": no height; posed as if centred on its grip");
    } else {
      item.present = true;
      for (int a = 0; a < 3; ++a) item.centre[a] = box.Centre(a);
      item.scale = height / box.Height();
    }
    return item;
  };
  std::array<Item, scene::kWeaponCount> weapons;
  std::array<Item, scene::kShieldCount> shields;
  for (std::size_t k = 0; k < weapons.size(); ++k)
    weapons[k] = loadItem("Weapon_" + std::to_string(k), kWeaponHeights[k]);
  for (std::size_t k = 0; k < shields.size(); ++k)
    shields[k] = loadItem("Shield_" + std::to_string(k), kShieldHeights[k]);

  scene::GripTable table;
  for (std::size_t i = 0; i < spec.size(); ++i) {
    const OrcGrip& g = spec[i];
    const auto orc = load(g.model);
    if (!orc) {
      error = g.model + ": the orc model cannot be read";
      return false;
    }
    Box box;
    if (!ModelBox(*orc, box) || box.Height() <= 0.0f) {
      error = g.model + ": the orc model has no height";
      return false;
    }
    const float orcScale = kOrcHeight / box.Height();
    const int weaponBone = FindBone(*orc, g.weaponBone);
    const int shieldBone = FindBone(*orc, g.shieldBone);
    if (weaponBone < 0 || shieldBone < 0) {
      error = g.model + ": no bone named " + (weaponBone < 0 ? g.weaponBone : g.shieldBone);
      return false;
    }
    scene::GripEntry& e = table.entries[i];
    e.weaponBone = weaponBone;
    e.shieldBone = shieldBone;
    auto pose = [&](scene::GripPose& p, const Item& item, const float palm[3]) {
      SetIdentity(p.matrix);
      for (int a = 0; a < 3; ++a) p.offset[a] = palm[a] + item.centre[a] * item.scale / orcScale;
    };
    for (std::size_t k = 0; k < weapons.size(); ++k) pose(e.weapons[k], weapons[k], g.weaponPalm);
    for (std::size_t k = 0; k < shields.size(); ++k) pose(e.shields[k], shields[k], g.shieldPalm);
  }
  out = table;
  return true;
}

}  // namespace griptable
