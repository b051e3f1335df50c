#include "scene/camera_track.h"

#include <gtest/gtest.h>

#include <limits>

namespace {

using scene::CameraTrackData;
using scene::TrackFollower;
using scene::TrackKey;
using scene::Vec3;

TrackKey Key(float x, float y, float z, float speed = 1, float pause = 0) {
  TrackKey k;
  k.position = {x, y, z};
  k.speed = speed;
  k.pause = pause;
  return k;
}

// Evenly spaced control points on a line make the curve move uniformly: 10 units per key.
CameraTrackData StraightTrack(int segments, float speed = 1) {
  CameraTrackData t;
  for (int k = 0; k <= 3 * segments; ++k) t.keys.push_back(Key(10.0f * k, 0, 0, speed));
  return t;
}

TrackFollower FollowerOn(std::vector<CameraTrackData> tracks) {
  TrackFollower f;
  f.SetTracks(std::move(tracks));
  EXPECT_TRUE(f.StartTrack(0, 0));
  return f;
}

TEST(Bezier, EndsAndMiddle) {
  const Vec3 p0{0, 0, 0}, p1{8, 0, 0}, p2{8, 8, 0}, p3{0, 8, 16};
  EXPECT_EQ(scene::BezierPoint(p0, p1, p2, p3, 1), p0);
  EXPECT_EQ(scene::BezierPoint(p0, p1, p2, p3, 0), p3);
  const Vec3 mid = scene::BezierPoint(p0, p1, p2, p3, 0.5f);  // (p0 + 3 p1 + 3 p2 + p3) / 8
  EXPECT_FLOAT_EQ(mid.x, 6);
  EXPECT_FLOAT_EQ(mid.y, 4);
  EXPECT_FLOAT_EQ(mid.z, 2);
}

TEST(TrackFollower, PreparesLengthsAndStartsAtTheAnchorLookingAhead) {
  CameraTrackData bent = StraightTrack(2);
  bent.keys.push_back(Key(0, 0, 0));  // 8 keys: still two segments
  TrackFollower f = FollowerOn({StraightTrack(2), bent, CameraTrackData{}});
  ASSERT_EQ(f.trackCount(), 3u);
  ASSERT_EQ(f.Track(0).segmentCount(), 2u);
  EXPECT_NEAR(f.Track(0).segmentLengths[0], 30, 1e-3);
  EXPECT_EQ(f.Track(1).segmentCount(), 2u);
  EXPECT_EQ(f.Track(2).segmentCount(), 0u);

  ASSERT_TRUE(f.StartTrack(0, 1));
  EXPECT_EQ(f.position, (Vec3{30, 0, 0}));
  EXPECT_NEAR(f.yaw, 0, 1e-3);
  EXPECT_NEAR(f.pitch, 0, 1e-3);
  EXPECT_FALSE(f.StartTrack(0, 2));
  EXPECT_FALSE(f.StartTrack(2, 0));  // no segments
  EXPECT_EQ(f.segment, 1);
}

TEST(TrackFollower, TargetsSetTheViewUnlessTurnedOff) {
  CameraTrackData t = StraightTrack(1);
  t.keys[0].hasTarget = true;
  t.keys[0].target = {0, 10, -10};  // up 45 degrees, toward -z
  TrackFollower f = FollowerOn({t});
  EXPECT_NEAR(f.pitch, 45, 1e-3);
  EXPECT_NEAR(f.yaw, 270, 1e-3);
  f.useTargets = false;
  ASSERT_TRUE(f.StartTrack(0, 0));
  EXPECT_NEAR(f.pitch, 0, 1e-3);
  EXPECT_NEAR(f.yaw, 0, 1e-3);
}

TEST(TrackFollower, MovesByArcLengthAndCarriesIntoLaterSegments) {
  TrackFollower f = FollowerOn({StraightTrack(3)});
  f.Step(5);
  EXPECT_NEAR(f.position.x, 5, 1e-3);
  EXPECT_EQ(f.segment, 0);
  EXPECT_EQ(f.trackEnded, 0);
  f.Step(40);  // through the rest of segment 0 and into segment 1
  EXPECT_EQ(f.segment, 1);
  EXPECT_NEAR(f.distance, 15, 1e-3);
  EXPECT_NEAR(f.position.x, 45, 1e-2);
  f.Step(50);  // through segment 2 and past the end: back to segment 0
  EXPECT_EQ(f.trackEnded, 1);
  EXPECT_EQ(f.segment, 0);
  EXPECT_NEAR(f.position.x, 5, 1e-2);
  f.Step(1);
  EXPECT_EQ(f.trackEnded, 0);
}

TEST(TrackFollower, SpeedFollowsTheAnchorsAndNeverStops) {
  CameraTrackData ramp = StraightTrack(1);
  ramp.keys[0].speed = 1;
  ramp.keys[3].speed = 3;
  TrackFollower f = FollowerOn({ramp, StraightTrack(1, 0)});
  f.Step(15);  // at distance 0 the start speed applies
  EXPECT_NEAR(f.distance, 15, 1e-3);
  f.Step(1);  // halfway: speed 2
  EXPECT_NEAR(f.speed, 2, 1e-3);
  EXPECT_NEAR(f.distance, 17, 1e-3);

  ASSERT_TRUE(f.StartTrack(1, 0));
  f.Step(100);
  EXPECT_NEAR(f.distance, 1, 1e-4);
  f.Step(0);  // a zero step still moves a little
  EXPECT_GT(f.distance, 1);
}

TEST(TrackFollower, PauseHoldsAtTheAnchorAndHandsOverTheRest) {
  CameraTrackData t = StraightTrack(2);
  t.keys[0].pause = 2;
  t.keys[3].pause = 1;
  TrackFollower f = FollowerOn({t});
  EXPECT_EQ(f.pauseLeft, 2);
  f.Step(1.5f);
  EXPECT_EQ(f.position, (Vec3{0, 0, 0}));
  EXPECT_FLOAT_EQ(f.pauseLeft, 0.5f);
  f.Step(3.5f);  // 0.5 of pause, 3 of travel
  EXPECT_NEAR(f.position.x, 3, 1e-3);
  f.Step(28);  // into segment 1, whose anchor pauses for 1
  EXPECT_EQ(f.segment, 1);
  EXPECT_FLOAT_EQ(f.pauseLeft, 1);
  EXPECT_NEAR(f.position.x, 31, 1e-2);
  f.Step(1);  // a pause used up exactly leaves nothing to travel
  EXPECT_NEAR(f.position.x, 31, 1e-2);
  f.Step(1);
  EXPECT_NEAR(f.position.x, 32, 1e-2);
}

TEST(TrackFollower, YawTurnsTheShortWayAcrossZero) {
  CameraTrackData t;
  for (int k = 0; k <= 3; ++k) t.keys.push_back(Key(10.0f * k, 0, 1.7632698f * k));  // 10 degrees
  TrackFollower f = FollowerOn({t});
  EXPECT_NEAR(f.yaw, 10, 1e-2);
  f.yaw = 350;
  f.Step(1);  // error +20, a turn rate of 0.125 per step takes 2.5
  EXPECT_NEAR(f.yaw, 352.5, 1e-2);
  f.yaw = 30;
  f.pitch = 8;
  f.Step(1);
  EXPECT_NEAR(f.yaw, 27.5, 1e-2);
  EXPECT_NEAR(f.pitch, 7, 1e-2);
  f.yaw = 350;
  f.Step(10);  // a turn larger than the error lands on the heading
  EXPECT_NEAR(f.yaw, 10, 1e-2);
  EXPECT_NEAR(f.pitch, 0, 1e-2);
}

TEST(TrackFollower, DegenerateTracksAndStepsDoNotHang) {
  CameraTrackData still;
  for (int k = 0; k < 4; ++k) still.keys.push_back(Key(5, 5, 5));
  CameraTrackData bad_pause = StraightTrack(1);
  bad_pause.keys[0].pause = -3;
  TrackFollower f = FollowerOn({still, StraightTrack(2), bad_pause});
  f.Step(1);  // zero length: played through at once
  EXPECT_EQ(f.trackEnded, 1);
  EXPECT_NEAR(f.position.x, 5, 1e-4);
  EXPECT_NEAR(f.position.z, 5, 1e-4);

  ASSERT_TRUE(f.StartTrack(1, 0));
  f.Step(1e30f);
  EXPECT_EQ(f.trackEnded, 1);
  EXPECT_LE(f.distance, 30.0f);
  f.Step(std::numeric_limits<float>::infinity());
  EXPECT_EQ(f.trackEnded, 1);

  ASSERT_TRUE(f.StartTrack(2, 0));
  f.Step(4);  // a negative pause does not hold the point forever
  EXPECT_NEAR(f.position.x, 4, 1e-3);

  f.segment = 7;  // a segment the track lacks
  const Vec3 before = f.position;
  f.Step(1);
  EXPECT_EQ(f.position, before);
}

TEST(TrackFollower, BadFileLeavesNoTracks) {
  TrackFollower f;
  f.SetTracks({StraightTrack(1)});
  const std::uint8_t lying[] = {5, 0, 0, 0, 1};
  EXPECT_EQ(f.LoadTracks(lying, sizeof lying), E_FAIL);
  EXPECT_EQ(f.trackCount(), 0u);
  f.Step(1);  // nothing to follow: nothing happens
  EXPECT_FALSE(f.StartTrack(0, 0));
}

}  // namespace
