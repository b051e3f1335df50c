#include "scene/map_data.h"

#include <gtest/gtest.h>

#include "scene_data/bytes.h"

namespace {

using scene::MapEntity;
using scene::MapModel;
using scene::ReadSceneMap;
using scene::SceneMapData;
using scene::WriteSceneMap;
using scene_test::Bytes;

// A 9-model, 9-entity level shaped like the one the scene ships with.
SceneMapData LevelLikeShipped() {
  SceneMapData map;
  for (const char* name : {"Road.EMD", "Bottom.EMD", "center.EMD", "Rocks.EMD", "Wall_Left.EMD",
                           "Wall_Right.EMD", "rock_back.EMD", "Road_Bump.EMD", "center_bump.EMD"}) {
    map.models.push_back({name, "none"});
  }
  const int model_of[9] = {0, 2, 3, 1, 4, 5, 6, 7, 8};
  for (int i = 0; i < 9; ++i) {
    MapEntity e;
    e.position[0] = 76.129f + i;
    e.position[1] = 21.595f - i;
    e.position[2] = -99.057f * i;
    e.height = 24.3f + 100 * i;
    for (int d = 0; d < 4; ++d) e.orientation[d * 5] = 1;
    e.fogStart = 0;
    e.fogEnd = 0;
    e.renderClass = i >= 7 ? 2 : 0;
    e.modelIndex = model_of[i];
    map.entities.push_back(e);
  }
  return map;
}

TEST(SceneMap, HandBuiltRecordDecodesFieldByField) {
  Bytes b;
  b.i32(2).str("Road.EMD").str("none").str("Orc.EMD").str("walk.ESA").i32(1);
  b.f32(1.5f).f32(-2.25f).f32(3);  // position
  b.f32(24.3f);                    // height
  for (int i = 0; i < 16; ++i) b.f32(static_cast<float>(i));
  b.f32(10).f32(20).f32(-1).f32(7.5f);
  b.i32(1).f32(0.5f).f32(4).f32(5).f32(6);
  b.i32(3).i32(2).u8(1).i32(2).i32(1);
  b.u8(0xEE).u8(0xEE);  // trailing bytes are not part of the map
  ASSERT_EQ(b.v.size(), 4 + 9 + 5 + 8 + 9 + 4 + 133 + 2u);

  SceneMapData map;
  std::size_t used = 0;
  ASSERT_EQ(ReadSceneMap(b.v.data(), b.v.size(), map, &used), S_OK);
  EXPECT_EQ(used, b.v.size() - 2);
  ASSERT_EQ(map.models.size(), 2u);
  EXPECT_EQ(map.models[0], (MapModel{"Road.EMD", "none"}));
  EXPECT_EQ(map.models[1], (MapModel{"Orc.EMD", "walk.ESA"}));
  ASSERT_EQ(map.entities.size(), 1u);
  const MapEntity& e = map.entities[0];
  EXPECT_EQ(e.position[0], 1.5f);
  EXPECT_EQ(e.position[1], -2.25f);
  EXPECT_EQ(e.position[2], 3.0f);
  EXPECT_EQ(e.height, 24.3f);
  EXPECT_EQ(e.orientation[0], 0.0f);
  EXPECT_EQ(e.orientation[15], 15.0f);
  EXPECT_EQ(e.fogStart, 10.0f);
  EXPECT_EQ(e.fogEnd, 20.0f);
  EXPECT_EQ(e.viewDistance, -1.0f);
  EXPECT_EQ(e.kept, 7.5f);
  EXPECT_EQ(e.motionMode, 1);
  EXPECT_EQ(e.animationSpeed, 0.5f);
  EXPECT_EQ(e.offset[2], 6.0f);
  EXPECT_EQ(e.track, 3);
  EXPECT_EQ(e.startSegment, 2);
  EXPECT_TRUE(e.isShotSubject());
  EXPECT_EQ(e.renderClass, 2);  // the unaligned int32 at record offset 125
  EXPECT_EQ(e.modelIndex, 1);
}

TEST(SceneMap, ShippedShapeHasShippedSizeAndRoundTrips) {
  const SceneMapData map = LevelLikeShipped();
  std::vector<std::uint8_t> bytes;
  ASSERT_EQ(WriteSceneMap(map, bytes), S_OK);
  EXPECT_EQ(bytes.size(), 1364u);
  SceneMapData back;
  std::size_t used = 0;
  ASSERT_EQ(ReadSceneMap(bytes.data(), bytes.size(), back, &used), S_OK);
  EXPECT_EQ(used, 1364u);
  EXPECT_EQ(back, map);
}

TEST(SceneMap, EveryTruncationFailsAndLeavesOutputAlone) {
  std::vector<std::uint8_t> bytes;
  ASSERT_EQ(WriteSceneMap(LevelLikeShipped(), bytes), S_OK);
  SceneMapData sentinel;
  sentinel.models.push_back({"keep", "me"});
  for (std::size_t n = 0; n < bytes.size(); ++n) {
    // Exact-size copies so that the sanitizers see any read past the end.
    std::vector<std::uint8_t> cut(bytes.begin(), bytes.begin() + static_cast<long>(n));
    SceneMapData out = sentinel;
    EXPECT_EQ(ReadSceneMap(cut.data(), cut.size(), out), E_FAIL) << n;
    EXPECT_EQ(out, sentinel) << n;
  }
  SceneMapData out;
  EXPECT_EQ(ReadSceneMap(nullptr, 100, out), E_FAIL);
}

TEST(SceneMap, LyingCountsAndIndicesAreRejected) {
  SceneMapData out;
  // Counts beyond the scene's capacity, negative, or larger than the bytes can hold.
  for (std::int32_t n : {-1, 51, 0x7FFFFFFF}) {
    Bytes b;
    b.i32(n);
    b.v.resize(4096, 0);
    EXPECT_EQ(ReadSceneMap(b.v.data(), b.v.size(), out), E_FAIL) << n;
  }
  {
    Bytes b;
    b.i32(0).i32(3);
    b.v.resize(8 + 2 * 133, 0);  // two records for a count of three
    EXPECT_EQ(ReadSceneMap(b.v.data(), b.v.size(), out), E_FAIL);
    b.v.resize(8 + 3 * 133, 0);
    // Now complete, but the entities name model 0 of an empty list.
    EXPECT_EQ(ReadSceneMap(b.v.data(), b.v.size(), out), E_FAIL);
  }
  {
    Bytes b;
    b.i32(1).str(std::string(99, 'a')).str("none").i32(0);
    EXPECT_EQ(ReadSceneMap(b.v.data(), b.v.size(), out), S_OK);
    Bytes c;
    c.i32(1).str(std::string(100, 'a')).str("none").i32(0);  // overflows a 100-char buffer
    EXPECT_EQ(ReadSceneMap(c.v.data(), c.v.size(), out), E_FAIL);
  }
  {
    Bytes b;
    b.i32(1).u8('a').u8('b');  // name never terminated
    EXPECT_EQ(ReadSceneMap(b.v.data(), b.v.size(), out), E_FAIL);
  }
}

TEST(SceneMap, WriterRefusesWhatTheReaderWouldReject) {
  std::vector<std::uint8_t> bytes{1, 2, 3};
  SceneMapData map = LevelLikeShipped();
  map.entities[3].modelIndex = 9;
  EXPECT_EQ(WriteSceneMap(map, bytes), E_INVALIDARG);
  map = LevelLikeShipped();
  map.models[0].mesh = std::string(100, 'x');
  EXPECT_EQ(WriteSceneMap(map, bytes), E_INVALIDARG);
  EXPECT_EQ(bytes, (std::vector<std::uint8_t>{1, 2, 3}));
}

}  // namespace
