// Reader and writer of "Data/Map.emp"; limits and behaviour on bad input are in map_data.h.
#include "scene/map_data.h"

#include "scene/byte_cursor.h"

namespace scene {
namespace {

// Smallest model entry: two empty names, each just its terminator.
constexpr std::size_t kMinModelEntrySize = 2;

void ReadEntity(ByteReader& in, MapEntity& e) {
  in.floats(e.position, 3);
  e.height = in.f32();
  in.floats(e.orientation, 16);
  e.fogStart = in.f32();
  e.fogEnd = in.f32();
  e.viewDistance = in.f32();
  e.kept = in.f32();
  e.motionMode = in.i32();
  e.animationSpeed = in.f32();
  in.floats(e.offset, 3);
  e.track = in.i32();
  e.startSegment = in.i32();
  e.shotFlag = in.u8();
  e.renderClass = in.i32();  // at offset 125: unaligned, hence the byte-wise reads
  e.modelIndex = in.i32();
}

void WriteEntity(ByteWriter& out, const MapEntity& e) {
  out.floats(e.position, 3);
  out.f32(e.height);
  out.floats(e.orientation, 16);
  out.f32(e.fogStart);
  out.f32(e.fogEnd);
  out.f32(e.viewDistance);
  out.f32(e.kept);
  out.i32(e.motionMode);
  out.f32(e.animationSpeed);
  out.floats(e.offset, 3);
  out.i32(e.track);
  out.i32(e.startSegment);
  out.u8(e.shotFlag);
  out.i32(e.renderClass);
  out.i32(e.modelIndex);
}

bool NameFits(const std::string& name) {
  return name.size() <= kMaxMapNameLength && name.find('\0') == std::string::npos;
}

}  // namespace

HRESULT ReadSceneMap(const std::uint8_t* data, std::size_t size, SceneMapData& out,
                     std::size_t* consumed) {
  ByteReader in(data, size);
  SceneMapData map;

  const std::int32_t model_count = in.i32();
  if (!in.ok() || model_count < 0 || static_cast<std::size_t>(model_count) > kMaxMapModels ||
      !in.has(static_cast<std::size_t>(model_count) * kMinModelEntrySize)) {
    return E_FAIL;
  }
  map.models.resize(static_cast<std::size_t>(model_count));
  for (MapModel& m : map.models) {
    if (!in.cstring(m.mesh, kMaxMapNameLength + 1) ||
        !in.cstring(m.animation, kMaxMapNameLength + 1)) {
      return E_FAIL;
    }
  }

  const std::int32_t entity_count = in.i32();
  if (!in.ok() || entity_count < 0 || static_cast<std::size_t>(entity_count) > kMaxMapEntities ||
      !in.has(static_cast<std::size_t>(entity_count) * kMapEntityRecordSize)) {
    return E_FAIL;
  }
  map.entities.resize(static_cast<std::size_t>(entity_count));
  for (MapEntity& e : map.entities) {
    ReadEntity(in, e);
    // The scene indexes its model slots with this; an index outside the list would reach past them.
    if (e.modelIndex < 0 || e.modelIndex >= model_count) return E_FAIL;
  }
  if (!in.ok()) return E_FAIL;

  if (consumed) *consumed = in.offset();
  out = std::move(map);
  return S_OK;
}

HRESULT WriteSceneMap(const SceneMapData& map, std::vector<std::uint8_t>& out) {
  if (map.models.size() > kMaxMapModels || map.entities.size() > kMaxMapEntities) {
    return E_INVALIDARG;
  }
  for (const MapModel& m : map.models) {
    if (!NameFits(m.mesh) || !NameFits(m.animation)) return E_INVALIDARG;
  }
  for (const MapEntity& e : map.entities) {
    if (e.modelIndex < 0 || static_cast<std::size_t>(e.modelIndex) >= map.models.size()) {
      return E_INVALIDARG;
    }
  }
  std::vector<std::uint8_t> bytes;
  ByteWriter w(bytes);
  w.i32(static_cast<std::int32_t>(map.models.size()));
  for (const MapModel& m : map.models) {
    w.cstring(m.mesh);
    w.cstring(m.animation);
  }
  w.i32(static_cast<std::int32_t>(map.entities.size()));
  for (const MapEntity& e : map.entities) WriteEntity(w, e);
  out = std::move(bytes);
  return S_OK;
}

}  // namespace scene
