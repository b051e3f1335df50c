#include "scene/camera_track_data.h"

#include <gtest/gtest.h>

#include "scene_data/bytes.h"

namespace {

using scene::CameraTrackData;
using scene::ReadCameraTracks;
using scene::TrackKey;
using scene::WriteCameraTracks;
using scene_test::Bytes;

// Twenty tracks with the key counts of the shipped file; 37 anchors look at a target.
std::vector<CameraTrackData> TracksLikeShipped() {
  const int key_counts[20] = {7, 4, 4, 10, 10, 4, 7, 7, 4, 4, 4, 4, 13, 4, 7, 4, 7, 4, 4, 4};
  std::vector<CameraTrackData> tracks;
  int targets = 0;
  for (int t = 0; t < 20; ++t) {
    CameraTrackData track;
    for (int k = 0; k < key_counts[t]; ++k) {
      TrackKey key;
      key.position = {static_cast<float>(t), static_cast<float>(k), -32.0f};
      key.speed = 0.75f + static_cast<float>(k);
      key.pause = k == 0 ? 3.0f : 0.0f;
      if (targets < 37 && (k % 3 == 0 || t == 0)) {
        key.hasTarget = true;
        key.target = {1, 2, static_cast<float>(targets++)};
      }
      track.keys.push_back(key);
    }
    tracks.push_back(track);
  }
  return tracks;
}

TEST(CameraTracks, HandBuiltFileDecodesKeysWithAndWithoutTargets) {
  Bytes b;
  b.i32(2);
  b.u16(4).u16(0xBEEF).u8(1).u8(0);  // reserved bytes are arbitrary
  b.f32(1).f32(2).f32(3).u8(1).f32(10).f32(20).f32(30).f32(0.5f).f32(4);
  b.f32(4).f32(5).f32(6).u8(0).f32(0.25f).f32(0);
  b.f32(7).f32(8).f32(9).u8(2).f32(0.125f).f32(0);  // only 1 means a target follows
  b.f32(-1).f32(-2).f32(-3).u8(0).f32(2).f32(1);
  b.u16(1).u16(0).u8(0).u8(1);
  b.f32(0).f32(0).f32(0).u8(0).f32(1).f32(0);
  ASSERT_EQ(b.v.size(), 4 + 6 + 33 + 21 * 3 + 6 + 21u);

  std::vector<CameraTrackData> tracks;
  std::size_t used = 0;
  ASSERT_EQ(ReadCameraTracks(b.v.data(), b.v.size(), tracks, &used), S_OK);
  EXPECT_EQ(used, b.v.size());
  ASSERT_EQ(tracks.size(), 2u);
  const CameraTrackData& t = tracks[0];
  EXPECT_TRUE(t.flagA);
  EXPECT_FALSE(t.notAShot);
  ASSERT_EQ(t.keys.size(), 4u);
  EXPECT_EQ(t.segmentCount(), 1u);
  EXPECT_TRUE(t.keys[0].hasTarget);
  EXPECT_EQ(t.keys[0].target, (scene::Vec3{10, 20, 30}));
  EXPECT_EQ(t.keys[0].pause, 4.0f);
  EXPECT_EQ(t.keys[1].position, (scene::Vec3{4, 5, 6}));
  EXPECT_FALSE(t.keys[2].hasTarget);
  EXPECT_EQ(t.keys[2].speed, 0.125f);
  EXPECT_EQ(t.keys[3].pause, 1.0f);
  EXPECT_TRUE(tracks[1].notAShot);
  EXPECT_EQ(tracks[1].segmentCount(), 0u);
}

TEST(CameraTracks, ShippedShapeHasShippedSizeAndRoundTrips) {
  const std::vector<CameraTrackData> tracks = TracksLikeShipped();
  std::vector<std::uint8_t> bytes;
  ASSERT_EQ(WriteCameraTracks(tracks, bytes), S_OK);
  EXPECT_EQ(bytes.size(), 3004u);
  std::vector<CameraTrackData> back;
  std::size_t used = 0;
  ASSERT_EQ(ReadCameraTracks(bytes.data(), bytes.size(), back, &used), S_OK);
  EXPECT_EQ(used, 3004u);
  EXPECT_EQ(back, tracks);
}

TEST(CameraTracks, EveryTruncationFailsAndLeavesOutputAlone) {
  std::vector<std::uint8_t> bytes;
  ASSERT_EQ(WriteCameraTracks(TracksLikeShipped(), bytes), S_OK);
  const std::vector<CameraTrackData> sentinel(3);
  for (std::size_t n = 0; n < bytes.size(); ++n) {
    std::vector<std::uint8_t> cut(bytes.begin(), bytes.begin() + static_cast<long>(n));
    std::vector<CameraTrackData> out = sentinel;
    EXPECT_EQ(ReadCameraTracks(cut.data(), cut.size(), out), E_FAIL) << n;
    EXPECT_EQ(out.size(), 3u) << n;
  }
}

TEST(CameraTracks, LyingCountsAreRejected) {
  std::vector<CameraTrackData> out;
  for (std::int32_t n : {-1, 51, 0x7FFFFFFF}) {
    Bytes b;
    b.i32(n);
    b.v.resize(8192, 0);
    EXPECT_EQ(ReadCameraTracks(b.v.data(), b.v.size(), out), E_FAIL) << n;
  }
  {
    Bytes b;
    b.i32(1).u16(151).u16(0).u8(0).u8(0);
    b.v.resize(b.v.size() + 151 * 33, 0);  // bytes enough, but beyond a track's capacity
    EXPECT_EQ(ReadCameraTracks(b.v.data(), b.v.size(), out), E_FAIL);
  }
  {
    // Four keys claimed; the bytes hold four keys without targets but the first says it has one.
    Bytes b;
    b.i32(1).u16(4).u16(0).u8(0).u8(0);
    b.f32(0).f32(0).f32(0).u8(1);
    b.v.resize(4 + 6 + 4 * 21, 0);
    EXPECT_EQ(ReadCameraTracks(b.v.data(), b.v.size(), out), E_FAIL);
  }
}

TEST(CameraTracks, TargetOfAKeyWithoutOneIsNotWritten) {
  std::vector<std::uint8_t> bytes;
  std::vector<CameraTrackData> tracks(1);
  tracks[0].keys.resize(1);
  tracks[0].keys[0].target = {5, 5, 5};
  ASSERT_EQ(WriteCameraTracks(tracks, bytes), S_OK);
  EXPECT_EQ(bytes.size(), 4 + 6 + 21u);
  std::vector<CameraTrackData> back;
  ASSERT_EQ(ReadCameraTracks(bytes.data(), bytes.size(), back), S_OK);
  EXPECT_EQ(back, tracks);
}

}  // namespace
