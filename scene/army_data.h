// "Data/Orcs.dat": the `GripTable`, how each orc model carries its weapons and shields.
//
// Layout (little-endian, packed, no header): for each of the kOrcModelCount orc models in order,
// int32 weapon bone, kWeaponCount 76-byte `GripPose`s, int32 shield bone, kShieldCount poses.
// A `GripPose` is a row-major 4x4 matrix (16 floats) and an offset point (3 floats).
// The counts are the scene's constants, not stored in the file, so the reader needs exactly
// kGripTableSize bytes. A shorter buffer is rejected (E_FAIL) and the output left untouched; the
// scene then keeps its zeroed table, as when the file is missing. Longer buffers are accepted and
// the bytes after the table ignored. Bone indices are not checked here: the skeleton that they
// index is not known to the reader, so whoever looks up a bone must check it against its model.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "platform/d3d8/windows_types.h"

namespace scene {

inline constexpr std::size_t kOrcModelCount = 8;
inline constexpr std::size_t kWeaponCount = 14;
inline constexpr std::size_t kShieldCount = 12;
inline constexpr std::size_t kGripPoseSize = 76;
inline constexpr std::size_t kGripEntrySize =
    4 + kWeaponCount * kGripPoseSize + 4 + kShieldCount * kGripPoseSize;
inline constexpr std::size_t kGripTableSize = kOrcModelCount * kGripEntrySize;
static_assert(kGripEntrySize == 1984 && kGripTableSize == 15872);

struct GripPose {
  float matrix[16] = {};  // row-major rotation
  float offset[3] = {};
  bool operator==(const GripPose&) const = default;
};

struct GripEntry {
  std::int32_t weaponBone = 0;
  std::array<GripPose, kWeaponCount> weapons{};
  std::int32_t shieldBone = 0;
  std::array<GripPose, kShieldCount> shields{};
  bool operator==(const GripEntry&) const = default;
};

struct GripTable {
  std::array<GripEntry, kOrcModelCount> entries{};
  bool operator==(const GripTable&) const = default;
};

// Decodes the table from the first kGripTableSize bytes of the buffer.
HRESULT ReadGripTable(const std::uint8_t* data, std::size_t size, GripTable& out);

// Encodes the table: always exactly kGripTableSize bytes.
std::vector<std::uint8_t> WriteGripTable(const GripTable& table);

}  // namespace scene
