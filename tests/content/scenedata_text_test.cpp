// The scene data tool's text forms: they read back what they print, refuse bad input with the
// right line, and the committed texts are what the committed binary files hold.
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <limits>
#include <string>

#include "scene/camera_track.h"
#include "tools/scenedata/scene_text.h"
#include "tools/scenedata/track_preview.h"

namespace {

namespace fs = std::filesystem;
using scenedata::ParseError;

std::string ReadText(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}
std::vector<std::uint8_t> ReadBytes(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  return std::vector<std::uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

const char* kMap = R"(# two models
model Road.EMD none
model center.EMD walk.ESA
entity Road.EMD
  position 76.129 21.595 -99.057
  height 24.3
end
entity 1   # by index
  position -1 +2 3e2
  height 1462.9
  orientation 0 0 1 0  0 1 0 0  -1 0 0 0  0 0 0 1
  fog 0 0
  view-distance 250.5
  kept 7
  motion 1
  animation-speed 0.5
  offset 1 2 3
  track 4
  start-segment 2
  shot 1
  class 2
end
)";

TEST(MapText, FieldsDefaultsAndRoundTripThroughPrinter) {
  const scene::SceneMapData map = scenedata::ParseMapText(kMap);
  ASSERT_EQ(map.models.size(), 2u);
  EXPECT_EQ(map.models[1].animation, "walk.ESA");
  ASSERT_EQ(map.entities.size(), 2u);
  const scene::MapEntity& a = map.entities[0];
  EXPECT_EQ(a.modelIndex, 0);
  EXPECT_FLOAT_EQ(a.position[2], -99.057f);
  EXPECT_EQ(a.orientation[0], 1);  // identity unless given
  EXPECT_EQ(a.orientation[5], 1);
  EXPECT_EQ(a.orientation[1], 0);
  EXPECT_EQ(a.fogStart, -1);
  EXPECT_EQ(a.viewDistance, -1);
  EXPECT_EQ(a.track, -1);
  EXPECT_EQ(a.animationSpeed, 1);
  const scene::MapEntity& b = map.entities[1];
  EXPECT_EQ(b.modelIndex, 1);
  EXPECT_EQ(b.position[1], 2);
  EXPECT_EQ(b.position[2], 300);
  EXPECT_EQ(b.orientation[2], 1);
  EXPECT_EQ(b.orientation[8], -1);
  EXPECT_EQ(b.fogStart, 0);
  EXPECT_EQ(b.viewDistance, 250.5f);
  EXPECT_EQ(b.kept, 7);
  EXPECT_EQ(b.motionMode, 1);
  EXPECT_EQ(b.offset[2], 3);
  EXPECT_EQ(b.track, 4);
  EXPECT_EQ(b.startSegment, 2);
  EXPECT_EQ(b.shotFlag, 1);
  EXPECT_EQ(b.renderClass, 2);

  const std::string printed = scenedata::FormatMapText(map);
  EXPECT_EQ(scenedata::ParseMapText(printed), map);
  EXPECT_NE(printed.find("entity Road.EMD\n"), std::string::npos);

  // A model named like a number, or a name used twice, is printed by index.
  scene::SceneMapData tricky = scenedata::ParseMapText(
      "model 1 none\nmodel x none\nmodel x none\n"
      "entity @1\n position 0 0 0\n height 1\nend\nentity 2\n position 0 0 0\n height 1\nend\n");
  ASSERT_EQ(tricky.entities.size(), 2u);
  EXPECT_EQ(tricky.entities[0].modelIndex, 1);
  tricky.entities[1].modelIndex = 2;
  EXPECT_EQ(scenedata::ParseMapText(scenedata::FormatMapText(tricky)), tricky);
  EXPECT_EQ(scenedata::FormatMapText(scenedata::ParseMapText(printed)), printed);
}

const char* kTracks = R"(track route
  anchor 0 0 0 speed 1 pause 10
  control 10 0 0
  control 20 0 0
  anchor 30 0 0 speed 2 target 1 2 3
  control 40 0 0 speed 0.25
  control 50 0 0
  anchor 60 0 0 speed 3 pause 0
end
track
  not-a-shot 1
  flag-a 1
end
)";

TEST(TracksText, KeysFlagsAndRoundTripThroughPrinter) {
  const auto tracks = scenedata::ParseTracksText(kTracks);
  ASSERT_EQ(tracks.size(), 2u);
  ASSERT_EQ(tracks[0].keys.size(), 7u);
  EXPECT_EQ(tracks[0].segmentCount(), 2u);
  EXPECT_EQ(tracks[0].keys[0].pause, 10);
  EXPECT_FALSE(tracks[0].keys[0].hasTarget);
  EXPECT_TRUE(tracks[0].keys[3].hasTarget);
  EXPECT_EQ(tracks[0].keys[3].target, (scene::Vec3{1, 2, 3}));
  EXPECT_EQ(tracks[0].keys[4].speed, 0.25f);  // control points keep what they carry
  EXPECT_EQ(tracks[0].keys[6].speed, 3);
  EXPECT_FALSE(tracks[0].notAShot);
  EXPECT_TRUE(tracks[1].notAShot);
  EXPECT_TRUE(tracks[1].flagA);
  EXPECT_TRUE(tracks[1].keys.empty());

  const std::string printed = scenedata::FormatTracksText(tracks);
  EXPECT_EQ(scenedata::ParseTracksText(printed), tracks);
}

TEST(TextForms, FloatsPrintShortAndReadBackExactly) {
  for (float v : {0.1f, -0.0f, 76.129f, 1e-30f, 3.4028235e38f, std::numeric_limits<float>::denorm_min(), -1462.9f}) {
    const std::string s = scenedata::FormatFloat(v);
    scene::SceneMapData map = scenedata::ParseMapText("model a none\nentity a\nposition " + s + " 0 0\nheight 1\nend\n");
    EXPECT_EQ(std::signbit(map.entities[0].position[0]), std::signbit(v)) << s;
    EXPECT_EQ(map.entities[0].position[0], v) << s;
  }
  EXPECT_EQ(scenedata::FormatFloat(24.3f), "24.3");
}

struct BadInput {
  const char* text;
  std::size_t line;
  const char* message_part;
};

void ExpectMapError(const BadInput& b) {
  try {
    scenedata::ParseMapText(b.text);
    ADD_FAILURE() << "accepted: " << b.text;
  } catch (const ParseError& e) {
    EXPECT_EQ(e.line(), b.line) << e.what();
    EXPECT_NE(e.message().find(b.message_part), std::string::npos) << e.what();
  }
}

void ExpectTracksError(const BadInput& b) {
  try {
    scenedata::ParseTracksText(b.text);
    ADD_FAILURE() << "accepted: " << b.text;
  } catch (const ParseError& e) {
    EXPECT_EQ(e.line(), b.line) << e.what();
    EXPECT_NE(e.message().find(b.message_part), std::string::npos) << e.what();
  }
}

TEST(MapText, BadInputNamesItsLine) {
  const std::string long_name(100, 'x');
  const std::string too_long = "model " + long_name + " none\n";
  const BadInput cases[] = {
      {"model a\n", 1, "takes 2 values"},
      {too_long.c_str(), 1, "longer than 99"},
      {"model a none\nentity b\n", 2, "no model named 'b'"},
      {"model a none\nentity 1\n", 2, "outside the 1 models"},
      {"model a none\nentity a\n  position 1 2\nend\n", 3, "takes 3 values"},
      {"model a none\nentity a\n  position 1 2 x\nend\n", 3, "'x' is not a finite number"},
      {"model a none\nentity a\n  position 1 2 inf\nend\n", 3, "not a finite number"},
      {"model a none\nentity a\n  position 1 2 1.5.2\nend\n", 3, "not a finite number"},
      {"model a none\nentity a\n  height 1\nend\n", 4, "without 'position'"},
      {"model a none\nentity a\n  position 1 2 3\nend\n", 4, "without 'height'"},
      {"model a none\nentity a\n  position 1 2 3\n  colour 1\nend\n", 4, "unknown entity field 'colour'"},
      {"model a none\nentity a\n  track 1.5\nend\n", 3, "not a 32-bit integer"},
      {"model a none\nentity a\n  shot 256\nend\n", 3, "byte"},
      {"model a none\n\n# note\nentity a\n  position 1 2 3\n  height 1\n", 4, "not closed"},
      {"model a none\nentity a\n  position 1 2 3\n  height 1\nentity a\n", 5, "missing 'end'"},
      {"model a none\nentity a\n position 0 0 0\n height 1\nend\nmodel b none\n", 6, "before the first entity"},
      {"modle a none\n", 1, "expected 'model' or 'entity'"},
      {"model a none\nentity @a\n", 2, "no model named 'a'"},
  };
  for (const BadInput& b : cases) ExpectMapError(b);
}

TEST(TracksText, BadInputNamesItsLine) {
  const BadInput cases[] = {
      {"anchor 0 0 0\n", 1, "expected 'track'"},
      {"track\n  control 0 0 0\nend\n", 2, "must be an anchor"},
      {"track\n  anchor 0 0 0\n  anchor 1 0 0\nend\n", 3, "must be a control point"},
      {"track\n  anchor 0 0 0\n  control 1 0 0\nend\n", 4, "3n + 1"},
      {"track\n  anchor 0 0 0 speed\nend\n", 2, "'speed' needs 1 value"},
      {"track\n  anchor 0 0 0 target 1 2\nend\n", 2, "'target' needs 3 values"},
      {"track\n  anchor 0 0 0 speed 1 speed 2\nend\n", 2, "speed given twice"},
      {"track\n  anchor 0 0 0 pause -1\nend\n", 2, "not be negative"},
      {"track\n  anchor 0 0 0 spede 1\nend\n", 2, "unknown key attribute 'spede'"},
      {"track\n  anchor 0 0\nend\n", 2, "needs X Y Z"},
      {"track\n  not-a-shot 2\nend\n", 2, "not 0 or 1"},
      {"track\n  anchor 0 0 0\n", 1, "not closed"},
      {"track\n  anchor 0 0 0\ntrack\n", 3, "missing 'end'"},
  };
  for (const BadInput& b : cases) ExpectTracksError(b);

  std::string many;
  for (int i = 0; i < 51; ++i) many += "track\nend\n";
  ExpectTracksError({many.c_str(), 101, "more than 50 tracks"});
  std::string keys = "track\n";
  for (int i = 0; i < 151; ++i) keys += i % 3 == 0 ? "anchor 0 0 0\n" : "control 0 0 0\n";
  ExpectTracksError({keys.c_str(), 152, "more than 150 keys"});
}

// A straight 100-unit segment: at speed 1 it takes 100 steps (10 s), a 10-step pause adds 1 s.
scene::TrackFollower Straight(float pause, bool target) {
  std::string text = "track\n  anchor 0 0 0 speed 1 pause " + std::to_string(pause) + "\n" +
                     "  control 33.333333 0 0\n  control 66.666667 0 0\n  anchor 100 0 0 speed 1\nend\n";
  text += text;  // tracks 0 and 1 alike
  auto tracks = scenedata::ParseTracksText(text);
  if (target) {
    for (auto& t : tracks) {
      t.keys[0].hasTarget = true;
      t.keys[0].target = {50, 0, 100};
    }
  }
  scene::TrackFollower f;
  f.SetTracks(tracks);
  return f;
}

TEST(TrackPreview, TimesTheTrackAndFollowsTargetsOnlyForShots) {
  const scenedata::TrackPreview plain = scenedata::PreviewTrack(Straight(0, false), 1, 0.5f, 2.0f);
  ASSERT_TRUE(plain.played);
  EXPECT_TRUE(plain.finished);
  EXPECT_NEAR(plain.seconds, 10.0f, 0.06f);
  EXPECT_NEAR(plain.eyeMax.x, 100.0f, 0.6f);
  EXPECT_EQ(plain.eyeMin.x, 0.0f);
  EXPECT_NEAR(plain.samples.back().eye.x, 100.0f, 0.6f) << "the wrapping step is not shown";
  ASSERT_GE(plain.samples.size(), 6u);  // start, every 2 s, end
  for (int i = 1; i <= 4; ++i) EXPECT_NEAR(plain.samples[static_cast<std::size_t>(i)].seconds, 2.0f * i, 0.06f);

  const scenedata::TrackPreview paused = scenedata::PreviewTrack(Straight(10, false), 1, 0.5f, 0);
  EXPECT_NEAR(paused.seconds, 11.0f, 0.06f);

  // The march route ignores targets (the army looks where it walks); a shot looks at them.
  const scenedata::TrackPreview route = scenedata::PreviewTrack(Straight(0, true), 0, 0.5f, 5.0f);
  const scenedata::TrackPreview shot = scenedata::PreviewTrack(Straight(0, true), 1, 0.5f, 5.0f);
  EXPECT_NEAR(route.samples[1].yaw, 0.0f, 0.5f);
  EXPECT_NEAR(shot.samples[1].yaw, 90.0f, 10.0f);

  EXPECT_FALSE(scenedata::PreviewTrack(Straight(0, false), 5, 0.5f, 1.0f).played);
}

// The committed texts are what the committed files hold: nobody edited one and forgot the other.
TEST(CommittedData, TextsGiveTheFilesByteForByte) {
  const fs::path src(GRIM_SOURCE_DIR);
  const fs::path texts = src / "tools" / "content" / "data";
  const fs::path data = src / "resources" / "media" / "Data";
  struct Pair {
    const char* text;
    const char* file;
    bool map;
  };
  for (const Pair& p : {Pair{"map.txt", "Map.emp", true}, Pair{"tracks.txt", "Cam_Tracks.evd", false}}) {
    if (!fs::exists(texts / p.text) || !fs::exists(data / p.file)) {
      GTEST_SKIP() << p.text << " or " << p.file << " not there";
    }
    std::vector<std::uint8_t> bytes;
    const std::string text = ReadText(texts / p.text);
    if (p.map) {
      ASSERT_EQ(scene::WriteSceneMap(scenedata::ParseMapText(text), bytes), S_OK);
    } else {
      ASSERT_EQ(scene::WriteCameraTracks(scenedata::ParseTracksText(text), bytes), S_OK);
    }
    EXPECT_TRUE(bytes == ReadBytes(data / p.file)) << p.file << " is out of date: run tools/content/data/build.sh";
  }
}

}  // namespace
