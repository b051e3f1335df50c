#include "tools/scenedata/track_preview.h"

#include <algorithm>

namespace scenedata {

TrackPreview PreviewTrack(const scene::TrackFollower& tracks, std::size_t track, float step, float sample_every,
                          float max_seconds) {
  TrackPreview p;
  p.track = track;
  scene::TrackFollower f = tracks;
  f.useTargets = track != 0;
  f.yaw = 0;
  f.pitch = 0;
  if (!f.StartTrack(static_cast<std::int32_t>(track), 0)) return p;
  p.played = true;

  auto sample = [&](float seconds) {
    const scene::Vec3 d = scene::LookDirection(f.yaw, f.pitch);
    p.samples.push_back({seconds, f.segment, f.position, f.yaw, f.pitch,
                         {f.position.x + d.x, f.position.y + d.y, f.position.z + d.z}});
  };
  auto widen = [&]() {
    p.eyeMin = {std::min(p.eyeMin.x, f.position.x), std::min(p.eyeMin.y, f.position.y),
                std::min(p.eyeMin.z, f.position.z)};
    p.eyeMax = {std::max(p.eyeMax.x, f.position.x), std::max(p.eyeMax.y, f.position.y),
                std::max(p.eyeMax.z, f.position.z)};
    p.pitchMin = std::min(p.pitchMin, f.pitch);
    p.pitchMax = std::max(p.pitchMax, f.pitch);
  };
  p.eyeMin = p.eyeMax = f.position;
  p.pitchMin = p.pitchMax = f.pitch;
  sample(0);

  const float seconds_per_step = 0.1f;
  float next_sample = sample_every;
  const auto max_steps = static_cast<std::size_t>(max_seconds / (step * seconds_per_step)) + 1;
  for (std::size_t i = 1; i <= max_steps; ++i) {
    const scene::Vec3 before = f.position;
    const std::int32_t before_segment = f.segment;
    f.Step(step);
    const float seconds = static_cast<float>(i) * step * seconds_per_step;
    if (f.trackEnded) {
      // The step that ends a track wraps to its start; the show cuts away before drawing it.
      f.position = before;
      f.segment = before_segment;
      p.finished = true;
      p.seconds = seconds;
      sample(seconds);
      return p;
    }
    widen();
    if (sample_every > 0 && seconds + 1e-4f >= next_sample) {
      sample(seconds);
      next_sample += sample_every;
    }
  }
  p.seconds = max_seconds;
  sample(max_seconds);
  return p;
}

}  // namespace scenedata
