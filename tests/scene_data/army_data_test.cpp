#include "scene/army_data.h"

#include <gtest/gtest.h>

#include "scene_data/bytes.h"

namespace {

using scene::GripTable;
using scene::kGripTableSize;
using scene::ReadGripTable;
using scene::WriteGripTable;
using scene_test::Bytes;

TEST(GripTable, HandBuiltFileDecodesToItsPlaces) {
  // Every float holds its own index in the file, so a misplaced field shows as a wrong number.
  Bytes b;
  float next = 0;
  for (int model = 0; model < 8; ++model) {
    b.i32(100 + model);
    for (int k = 0; k < 14 * 19; ++k) b.f32(next++);
    b.i32(200 + model);
    for (int k = 0; k < 12 * 19; ++k) b.f32(next++);
  }
  ASSERT_EQ(b.v.size(), 15872u);
  GripTable t;
  ASSERT_EQ(ReadGripTable(b.v.data(), b.v.size(), t), S_OK);
  EXPECT_EQ(t.entries[0].weaponBone, 100);
  EXPECT_EQ(t.entries[7].shieldBone, 207);
  EXPECT_EQ(t.entries[0].weapons[0].matrix[0], 0.0f);
  EXPECT_EQ(t.entries[0].weapons[0].offset[0], 16.0f);
  EXPECT_EQ(t.entries[0].weapons[1].matrix[0], 19.0f);
  EXPECT_EQ(t.entries[0].shields[0].matrix[0], 14 * 19.0f);
  EXPECT_EQ(t.entries[1].weapons[0].matrix[0], 26 * 19.0f);
  EXPECT_EQ(t.entries[7].shields[11].offset[2], 8 * 26 * 19 - 1.0f);
}

TEST(GripTable, RoundTripIsExactlyTheTableSize) {
  GripTable t;
  for (std::size_t m = 0; m < 8; ++m) {
    t.entries[m].weaponBone = m < 6 ? 19 : 9;
    t.entries[m].shieldBone = static_cast<std::int32_t>(13 + m);
    t.entries[m].weapons[13].offset[1] = -0.5f * static_cast<float>(m);
    t.entries[m].shields[11].matrix[15] = 1;
  }
  const std::vector<std::uint8_t> bytes = WriteGripTable(t);
  ASSERT_EQ(bytes.size(), kGripTableSize);
  GripTable back;
  ASSERT_EQ(ReadGripTable(bytes.data(), bytes.size(), back), S_OK);
  EXPECT_EQ(back, t);

  std::vector<std::uint8_t> longer = bytes;
  longer.push_back(0x5A);
  ASSERT_EQ(ReadGripTable(longer.data(), longer.size(), back), S_OK);
  EXPECT_EQ(back, t);
}

TEST(GripTable, ShortBufferFailsAndKeepsTheOldTable) {
  GripTable filled;
  filled.entries[2].weaponBone = 5;
  const std::vector<std::uint8_t> bytes = WriteGripTable(GripTable{});
  for (std::size_t n : {std::size_t{0}, std::size_t{3}, std::size_t{1984}, kGripTableSize - 1}) {
    std::vector<std::uint8_t> cut(bytes.begin(), bytes.begin() + static_cast<long>(n));
    GripTable out = filled;
    EXPECT_EQ(ReadGripTable(cut.data(), cut.size(), out), E_FAIL) << n;
    EXPECT_EQ(out, filled) << n;
  }
  GripTable out;
  EXPECT_EQ(ReadGripTable(nullptr, kGripTableSize, out), E_FAIL);
}

}  // namespace
