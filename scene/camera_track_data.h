// "Data/Cam_Tracks.evd": the camera tracks, chains of cubic Bezier segments.
//
// Layout (little-endian, packed, no header): int32 track count; per track uint16 key count K,
// 2 reserved bytes (skipped on reading, written as zero), byte flag A, byte not-a-shot flag, then
// K keys: 3 floats position, byte has-target, 3 floats target only when has-target is 1, float
// speed, float pause. A key is 21 bytes, or 33 with a target. Flags count as set only when 1.
//
// Limits enforced by the reader: 0 <= track count <= kMaxTracks, K <= kMaxTrackKeys (the scene's
// fixed track storage). Counts are checked against the bytes left before anything is allocated.
// A file that breaks a limit or ends early (also inside a key) is rejected as a whole: E_FAIL and
// the output untouched, so the scene has no tracks, as when the file is missing. Bytes after the
// last track are ignored; the reader reports how many it used.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "platform/d3d8/windows_types.h"

namespace scene {

inline constexpr std::size_t kMaxTracks = 50;
inline constexpr std::size_t kMaxTrackKeys = 150;
inline constexpr std::size_t kTrackKeySize = 21;
inline constexpr std::size_t kTrackKeyTargetSize = 12;

struct Vec3 {
  float x = 0, y = 0, z = 0;
  bool operator==(const Vec3&) const = default;
};

// Anchors are keys 0, 3, 6, ...; the two keys between anchors are Bezier control points. Speed,
// pause and target matter on anchors only, but every key carries them in the file.
struct TrackKey {
  Vec3 position;
  float pause = 0;  // time steps
  bool hasTarget = false;
  Vec3 target;      // meaningful only with hasTarget
  float speed = 0;  // scene units per time step
  // The target takes part only when the key has one: the file holds no target otherwise.
  bool operator==(const TrackKey& o) const {
    return position == o.position && pause == o.pause && hasTarget == o.hasTarget &&
           (!hasTarget || target == o.target) && speed == o.speed;
  }
};

struct CameraTrackData {
  bool flagA = false;     // kept, no behaviour depends on it
  bool notAShot = false;  // never picked as a camera shot
  std::vector<TrackKey> keys;

  // (K - 1) / 3 segments; a track with fewer than 2 keys has none.
  std::size_t segmentCount() const { return keys.size() < 2 ? 0 : (keys.size() - 1) / 3; }
  bool operator==(const CameraTrackData&) const = default;
};

HRESULT ReadCameraTracks(const std::uint8_t* data, std::size_t size,
                         std::vector<CameraTrackData>& out, std::size_t* consumed = nullptr);

// Encodes the tracks. Fails with E_INVALIDARG, writing nothing, beyond kMaxTracks tracks or
// kMaxTrackKeys keys in a track. Targets of keys without hasTarget are not written.
HRESULT WriteCameraTracks(const std::vector<CameraTrackData>& tracks,
                          std::vector<std::uint8_t>& out);

}  // namespace scene
