// "Data/Map.emp": the static level's model list and its placed entities.
//
// Layout (little-endian, packed, no header): int32 model count N; N entries of mesh name and
// animation name, each zero-terminated; int32 entity count M; M entity records of 133 bytes.
//
// Limits enforced by the reader: 0 <= N <= kMaxMapModels, 0 <= M <= kMaxMapEntities, each name at
// most kMaxMapNameLength characters (the scene copies names into 100-character buffers), every
// entity's model index inside the model list. A file that breaks a limit, ends early or claims
// more entries than its bytes can hold is rejected as a whole: the reader returns E_FAIL and leaves
// the output untouched, so the scene behaves as if the file were missing (no level geometry).
// Bytes after the last record are ignored; the reader reports how many it used.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/d3d8/windows_types.h"

namespace scene {

inline constexpr std::size_t kMaxMapModels = 50;
inline constexpr std::size_t kMaxMapEntities = 200;
inline constexpr std::size_t kMaxMapNameLength = 99;
inline constexpr std::size_t kMapEntityRecordSize = 133;

// One model list entry: file names relative to "Meshes\"; "none" (or any name the archive lacks)
// means no mesh or no animation.
struct MapModel {
  std::string mesh;
  std::string animation;
  bool operator==(const MapModel&) const = default;
};

// One placed instance, exactly the fields of its 133-byte record.
struct MapEntity {
  float position[3] = {};
  float height = 0;
  float orientation[16] = {};  // row-major
  float fogStart = -1;         // -1: no fog override
  float fogEnd = -1;
  float viewDistance = -1;     // -1: always drawn
  float kept = 0;              // read and written back, no behaviour depends on it
  std::int32_t motionMode = 0; // 1: placed on its track while the track runs
  float animationSpeed = 1;
  float offset[3] = {};        // added to the track point in motion mode 1
  std::int32_t track = -1;     // camera track viewing it as a shot, -1 none
  std::int32_t startSegment = 0;
  std::uint8_t shotFlag = 0;   // 1: a shot subject; other values: ordinary instance
  std::int32_t renderClass = 0;  // 0 always drawn, 2 bump-mapped variant
  std::int32_t modelIndex = 0;

  bool isShotSubject() const { return shotFlag == 1; }
  bool operator==(const MapEntity&) const = default;
};

struct SceneMapData {
  std::vector<MapModel> models;
  std::vector<MapEntity> entities;
  bool operator==(const SceneMapData&) const = default;
};

// Decodes a whole Map.emp buffer. On success `consumed` (if given) is the number of bytes used.
HRESULT ReadSceneMap(const std::uint8_t* data, std::size_t size, SceneMapData& out,
                     std::size_t* consumed = nullptr);

// Encodes `map` in the layout above. Fails with E_INVALIDARG, writing nothing, when the map breaks
// a limit the reader enforces (so whatever it writes reads back equal).
HRESULT WriteSceneMap(const SceneMapData& map, std::vector<std::uint8_t>& out);

}  // namespace scene
