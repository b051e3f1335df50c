// Reader and writer of "Data/Cam_Tracks.evd"; limits and behaviour on bad input are in
// camera_track_data.h.
#include "scene/camera_track_data.h"

#include "scene/byte_cursor.h"

namespace scene {
namespace {

constexpr std::size_t kTrackHeaderSize = 6;

Vec3 ReadVec3(ByteReader& in) {
  Vec3 v;
  v.x = in.f32();
  v.y = in.f32();
  v.z = in.f32();
  return v;
}

void WriteVec3(ByteWriter& out, const Vec3& v) {
  out.f32(v.x);
  out.f32(v.y);
  out.f32(v.z);
}

}  // namespace

HRESULT ReadCameraTracks(const std::uint8_t* data, std::size_t size,
                         std::vector<CameraTrackData>& out, std::size_t* consumed) {
  ByteReader in(data, size);
  const std::int32_t track_count = in.i32();
  if (!in.ok() || track_count < 0 || static_cast<std::size_t>(track_count) > kMaxTracks ||
      !in.has(static_cast<std::size_t>(track_count) * kTrackHeaderSize)) {
    return E_FAIL;
  }
  std::vector<CameraTrackData> tracks(static_cast<std::size_t>(track_count));
  for (CameraTrackData& t : tracks) {
    const std::uint16_t key_count = in.u16();
    in.skip(2);
    t.flagA = in.u8() == 1;
    t.notAShot = in.u8() == 1;
    // Every key takes at least kTrackKeySize bytes, so a count that cannot fit is caught here.
    if (!in.ok() || key_count > kMaxTrackKeys || !in.has(key_count * kTrackKeySize)) {
      return E_FAIL;
    }
    t.keys.resize(key_count);
    for (TrackKey& k : t.keys) {
      k.position = ReadVec3(in);
      k.hasTarget = in.u8() == 1;
      if (k.hasTarget) k.target = ReadVec3(in);
      k.speed = in.f32();
      k.pause = in.f32();
    }
    if (!in.ok()) return E_FAIL;
  }
  if (consumed) *consumed = in.offset();
  out = std::move(tracks);
  return S_OK;
}

HRESULT WriteCameraTracks(const std::vector<CameraTrackData>& tracks,
                          std::vector<std::uint8_t>& out) {
  if (tracks.size() > kMaxTracks) return E_INVALIDARG;
  for (const CameraTrackData& t : tracks) {
    if (t.keys.size() > kMaxTrackKeys) return E_INVALIDARG;
  }
  std::vector<std::uint8_t> bytes;
  ByteWriter w(bytes);
  w.i32(static_cast<std::int32_t>(tracks.size()));
  for (const CameraTrackData& t : tracks) {
    w.u16(static_cast<std::uint16_t>(t.keys.size()));
    w.u16(0);
    w.u8(t.flagA ? 1 : 0);
    w.u8(t.notAShot ? 1 : 0);
    for (const TrackKey& k : t.keys) {
      WriteVec3(w, k.position);
      w.u8(k.hasTarget ? 1 : 0);
      if (k.hasTarget) WriteVec3(w, k.target);
      w.f32(k.speed);
      w.f32(k.pause);
    }
  }
  out = std::move(bytes);
  return S_OK;
}

}  // namespace scene
