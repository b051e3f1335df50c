// Reader and writer of "Data/Orcs.dat"; limits and behaviour on bad input are in army_data.h.
#include "scene/army_data.h"

#include "scene/byte_cursor.h"

namespace scene {
namespace {

void ReadPose(ByteReader& in, GripPose& p) {
  in.floats(p.matrix, 16);
  in.floats(p.offset, 3);
}

void WritePose(ByteWriter& out, const GripPose& p) {
  out.floats(p.matrix, 16);
  out.floats(p.offset, 3);
}

}  // namespace

HRESULT ReadGripTable(const std::uint8_t* data, std::size_t size, GripTable& out) {
  ByteReader in(data, size);
  if (!in.has(kGripTableSize)) return E_FAIL;
  GripTable table;
  for (GripEntry& e : table.entries) {
    e.weaponBone = in.i32();
    for (GripPose& p : e.weapons) ReadPose(in, p);
    e.shieldBone = in.i32();
    for (GripPose& p : e.shields) ReadPose(in, p);
  }
  if (!in.ok() || in.offset() != kGripTableSize) return E_FAIL;
  out = table;
  return S_OK;
}

std::vector<std::uint8_t> WriteGripTable(const GripTable& table) {
  std::vector<std::uint8_t> bytes;
  bytes.reserve(kGripTableSize);
  ByteWriter w(bytes);
  for (const GripEntry& e : table.entries) {
    w.i32(e.weaponBone);
    for (const GripPose& p : e.weapons) WritePose(w, p);
    w.i32(e.shieldBone);
    for (const GripPose& p : e.shields) WritePose(w, p);
  }
  return bytes;
}

}  // namespace scene
