// One target for the three scene data readers: the first byte picks the reader, the rest is the
// file. Whatever a reader accepts must survive a write and read back equal; accepted tracks are
// also followed for a few steps.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "scene/army_data.h"
#include "scene/camera_track.h"
#include "scene/camera_track_data.h"
#include "scene/map_data.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  const std::uint8_t* file = data + 1;
  const std::size_t file_size = size - 1;
  switch (data[0] % 3) {
    case 0: {
      scene::SceneMapData map;
      std::size_t used = 0;
      if (scene::ReadSceneMap(file, file_size, map, &used) != S_OK) break;
      if (used > file_size) std::abort();
      std::vector<std::uint8_t> bytes;
      if (scene::WriteSceneMap(map, bytes) != S_OK || bytes.size() != used) std::abort();
      // Floats compare by bits through the written file; NaNs make structure equality unusable.
      scene::SceneMapData back;
      std::vector<std::uint8_t> again;
      if (scene::ReadSceneMap(bytes.data(), bytes.size(), back) != S_OK) std::abort();
      if (scene::WriteSceneMap(back, again) != S_OK || again != bytes) std::abort();
      break;
    }
    case 1: {
      scene::GripTable table;
      if (scene::ReadGripTable(file, file_size, table) != S_OK) break;
      const std::vector<std::uint8_t> bytes = scene::WriteGripTable(table);
      if (bytes.size() != scene::kGripTableSize) std::abort();
      for (std::size_t i = 0; i < bytes.size(); ++i) {
        if (bytes[i] != file[i]) std::abort();
      }
      break;
    }
    case 2: {
      std::vector<scene::CameraTrackData> tracks;
      std::size_t used = 0;
      if (scene::ReadCameraTracks(file, file_size, tracks, &used) != S_OK) break;
      if (used > file_size) std::abort();
      std::vector<std::uint8_t> bytes;
      if (scene::WriteCameraTracks(tracks, bytes) != S_OK || bytes.size() != used) std::abort();
      std::vector<scene::CameraTrackData> back;
      std::vector<std::uint8_t> again;
      if (scene::ReadCameraTracks(bytes.data(), bytes.size(), back) != S_OK) std::abort();
      if (scene::WriteCameraTracks(back, again) != S_OK || again != bytes) std::abort();
      // Whatever the numbers, following a track must end each step (no endless carry loop).
      scene::TrackFollower follower;
      follower.SetTracks(std::move(tracks));
      for (std::size_t i = 0; i < follower.trackCount(); ++i) {
        if (!follower.StartTrack(static_cast<std::int32_t>(i), 0)) continue;
        for (float dt : {0.0f, 0.16f, 7.5f, 1e6f, -3.0f}) follower.Step(dt);
      }
      break;
    }
  }
  return 0;
}
