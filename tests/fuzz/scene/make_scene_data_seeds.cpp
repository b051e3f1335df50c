// Writes the seed corpus of scene_data_fuzz with the scene's own writers:
//   make_scene_data_seeds <folder>
// Each seed is the selector byte (0 map, 1 grip table, 2 camera tracks) followed by the file.
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "scene/army_data.h"
#include "scene/camera_track_data.h"
#include "scene/map_data.h"

namespace {

bool Save(const std::string& path, std::uint8_t selector, const std::vector<std::uint8_t>& file) {
  std::FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) return false;
  bool ok = std::fputc(selector, f) != EOF && std::fwrite(file.data(), 1, file.size(), f) == file.size();
  return std::fclose(f) == 0 && ok;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s <folder>\n", argv[0]);
    return 2;
  }
  const std::string dir = argv[1];

  scene::SceneMapData map;
  map.models = {{"Road.EMD", "none"}, {"center.EMD", "walk.ESA"}};
  scene::MapEntity e;
  e.position[0] = 76.129f;
  e.height = 24.3f;
  for (int d = 0; d < 4; ++d) e.orientation[d * 5] = 1;
  map.entities.push_back(e);
  e.modelIndex = 1;
  e.shotFlag = 1;
  e.track = 2;
  e.renderClass = 2;
  map.entities.push_back(e);
  std::vector<std::uint8_t> map_bytes;
  scene::WriteSceneMap(map, map_bytes);

  scene::GripTable grips;
  for (auto& entry : grips.entries) {
    entry.weaponBone = 19;
    entry.shieldBone = 15;
    entry.weapons[0].matrix[0] = entry.weapons[0].matrix[15] = 1;
  }

  std::vector<scene::CameraTrackData> tracks(2);
  for (int k = 0; k < 4; ++k) {
    scene::TrackKey key;
    key.position = {static_cast<float>(k * 10), 32, 0};
    key.speed = 0.75f;
    key.hasTarget = k == 0;
    key.target = {0, 0, 100};
    tracks[0].keys.push_back(key);
  }
  tracks[1].notAShot = true;
  tracks[1].keys.resize(1);
  std::vector<std::uint8_t> track_bytes;
  scene::WriteCameraTracks(tracks, track_bytes);

  const bool ok = Save(dir + "/map.emp", 0, map_bytes) &&
                  Save(dir + "/orcs.dat", 1, scene::WriteGripTable(grips)) &&
                  Save(dir + "/cam_tracks.evd", 2, track_bytes);
  return ok ? 0 : 1;
}
