// Plays camera tracks with the scene's own TrackFollower, the way the show does, to see where the
// eye goes and where it looks before anything is drawn.
#pragma once

#include <cstddef>
#include <vector>

#include "scene/camera_track.h"

namespace scenedata {

struct TrackSample {
  float seconds = 0;
  std::int32_t segment = 0;
  scene::Vec3 eye;
  float yaw = 0, pitch = 0;
  scene::Vec3 look;  // eye + look direction
};

struct TrackPreview {
  std::size_t track = 0;
  bool played = false;      // the track has a segment to start on
  bool finished = false;    // the follower reported the end of the track
  float seconds = 0;        // time until the end, at 100 ms per step
  scene::Vec3 eyeMin, eyeMax;
  float pitchMin = 0, pitchMax = 0;
  std::vector<TrackSample> samples;  // every `sample_every` seconds, plus the first and last step
};

// Starts `track` at segment 0 and steps it by `step` (time steps: 0.16 is a 16 ms frame) until the
// follower reports the end, at most `max_seconds`. Track 0 is walked as the army walks it (targets
// off); every other track as a camera shot (targets on).
TrackPreview PreviewTrack(const scene::TrackFollower& tracks, std::size_t track, float step, float sample_every,
                          float max_seconds = 600);

}  // namespace scenedata
