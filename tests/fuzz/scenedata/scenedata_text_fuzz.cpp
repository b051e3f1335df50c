// The scene data tool's text readers on arbitrary text. The first byte picks the map (even) or
// the tracks (odd). Bad text may only raise ParseError; accepted text must print and read back
// equal, and the scene's writer must take it.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>
#include <vector>

#include "tools/scenedata/scene_text.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  const std::string_view text(reinterpret_cast<const char*>(data + 1), size - 1);
  std::vector<std::uint8_t> bytes;
  try {
    if (data[0] % 2 == 0) {
      const scene::SceneMapData map = scenedata::ParseMapText(text);
      if (!(scenedata::ParseMapText(scenedata::FormatMapText(map)) == map)) std::abort();
      if (FAILED(scene::WriteSceneMap(map, bytes))) std::abort();
    } else {
      const auto tracks = scenedata::ParseTracksText(text);
      if (!(scenedata::ParseTracksText(scenedata::FormatTracksText(tracks)) == tracks)) std::abort();
      if (FAILED(scene::WriteCameraTracks(tracks, bytes))) std::abort();
    }
  } catch (const scenedata::ParseError&) {
  }
  return 0;
}
