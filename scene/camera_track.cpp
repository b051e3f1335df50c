// Track evaluation: Bezier points, segment lengths, the follower's stepping and turning.
#include "scene/camera_track.h"

#include <cmath>
#include <numbers>

namespace scene {
namespace {

constexpr float kDegrees = 180.0f / std::numbers::pi_v<float>;
constexpr float kMinSpeed = 0.01f;
constexpr float kLookAhead = 0.035f;  // in samples: how far ahead on the path the look point lies

Vec3 Sub(const Vec3& a, const Vec3& b) { return {a.x - b.x, a.y - b.y, a.z - b.z}; }
float Length(const Vec3& v) { return std::sqrt(v.x * v.x + v.y * v.y + v.z * v.z); }

float SampleT(float samples) { return 1.0f - samples / kSegmentSamples; }

// Pitch and yaw of a direction; false when it has no usable length (yaw and pitch then stay).
bool DirectionAngles(Vec3 d, float& yaw_out, float& pitch_out) {
  const float len = Length(d);
  if (!(len > 0) || !std::isfinite(len)) return false;
  d = {d.x / len, d.y / len, d.z / len};
  pitch_out = std::asin(std::fmax(-1.0f, std::fmin(1.0f, d.y))) * kDegrees;
  if (d.x == 0 && d.z == 0) {
    yaw_out = NAN;  // straight up or down: no heading
    return true;
  }
  float yaw = std::atan(d.z / d.x) * kDegrees;
  if (d.x < 0) yaw += 180;
  if (d.x > 0 && d.z < 0) yaw += 360;
  yaw_out = yaw;
  return true;
}

float WrapTo360(float a) {
  a = std::fmod(a, 360.0f);
  if (a < 0) a += 360;
  if (a >= 360) a -= 360;  // -tiny + 360 rounds to 360
  return a;
}

}  // namespace

Vec3 BezierPoint(const Vec3& p0, const Vec3& p1, const Vec3& p2, const Vec3& p3, float t) {
  const float u = 1 - t;
  const float a = t * t * t, b = 3 * t * t * u, c = 3 * t * u * u, d = u * u * u;
  return {a * p0.x + b * p1.x + c * p2.x + d * p3.x, a * p0.y + b * p1.y + c * p2.y + d * p3.y,
          a * p0.z + b * p1.z + c * p2.z + d * p3.z};
}

Vec3 CameraTrack::SegmentPoint(std::size_t s, float t) const {
  const TrackKey* k = &data.keys[3 * s];
  return BezierPoint(k[0].position, k[1].position, k[2].position, k[3].position, t);
}

void CameraTrack::Prepare() {
  segmentLengths.assign(data.segmentCount(), 0.0f);
  for (std::size_t s = 0; s < segmentLengths.size(); ++s) {
    Vec3 prev = SegmentPoint(s, 1);
    float sum = 0;
    for (int k = 1; k <= kSegmentSamples; ++k) {
      const Vec3 p = SegmentPoint(s, SampleT(static_cast<float>(k)));
      sum += Length(Sub(p, prev));
      prev = p;
    }
    segmentLengths[s] = sum;
  }
}

Vec3 LookDirection(float yaw_degrees, float pitch_degrees) {
  const float y = yaw_degrees / kDegrees, p = pitch_degrees / kDegrees;
  return {std::cos(y) * std::cos(p), std::sin(p), std::sin(y) * std::cos(p)};
}

HRESULT TrackFollower::LoadTracks(const std::uint8_t* data, std::size_t size) {
  std::vector<CameraTrackData> tracks;
  const HRESULT hr = ReadCameraTracks(data, size, tracks);
  SetTracks(FAILED(hr) ? std::vector<CameraTrackData>{} : std::move(tracks));
  return hr;
}

void TrackFollower::SetTracks(std::vector<CameraTrackData> tracks) {
  tracks_.clear();
  tracks_.reserve(tracks.size());
  for (CameraTrackData& d : tracks) {
    CameraTrack t;
    t.data = std::move(d);
    t.Prepare();
    tracks_.push_back(std::move(t));
  }
  track = 0;
}

bool TrackFollower::Valid() const {
  return track >= 0 && static_cast<std::size_t>(track) < tracks_.size() && segment >= 0 &&
         static_cast<std::size_t>(segment) < tracks_[static_cast<std::size_t>(track)].segmentCount();
}

void TrackFollower::SetPauseFromAnchor() {
  const float p = tracks_[static_cast<std::size_t>(track)].Anchor(static_cast<std::size_t>(segment)).pause;
  // A negative or NaN pause would never count down to the 0 that lets the point move again.
  pauseLeft = p > 0 ? p : 0;
}

bool TrackFollower::StartTrack(std::int32_t track_index, std::int32_t segment_index) {
  if (track_index < 0 || static_cast<std::size_t>(track_index) >= tracks_.size() ||
      segment_index < 0 ||
      static_cast<std::size_t>(segment_index) >= tracks_[static_cast<std::size_t>(track_index)].segmentCount()) {
    return false;
  }
  track = track_index;
  segment = segment_index;
  distance = 0;
  trackEnded = 0;
  SetPauseFromAnchor();
  const CameraTrack& t = tracks_[static_cast<std::size_t>(track)];
  const std::size_t s = static_cast<std::size_t>(segment);
  const TrackKey& anchor = t.Anchor(s);
  position = anchor.position;
  const Vec3 look = useTargets && anchor.hasTarget ? anchor.target : t.SegmentPoint(s, 0.965f);
  float new_yaw = yaw, new_pitch = pitch;
  if (DirectionAngles(Sub(look, position), new_yaw, new_pitch)) {
    pitch = new_pitch;
    if (!std::isnan(new_yaw)) yaw = WrapTo360(new_yaw);
  }
  return true;
}

void TrackFollower::Step(float dt) {
  if (!Valid()) return;
  const CameraTrack& t = tracks_[static_cast<std::size_t>(track)];
  const std::size_t segments = t.segmentCount();
  float track_length = 0;
  for (float len : t.segmentLengths) track_length += len;

  trackEnded = 0;
  if (dt == 0) dt = 0.0001f;
  if (!(pauseLeft > 0)) pauseLeft = 0;

  if (pauseLeft > 0) {
    pauseLeft -= dt;
    // The part of the step beyond the pause is used for travel; a pause used up exactly leaves none.
    if (pauseLeft <= 0) {
      dt = -pauseLeft;
      pauseLeft = 0;
    }
  }
  if (pauseLeft == 0) {
    auto s = static_cast<std::size_t>(segment);
    const float len = t.segmentLengths[s];
    const float v0 = t.Anchor(s).speed, v1 = t.data.keys[3 * s + 3].speed;
    speed = len > 0 ? distance / len * (v1 - v0) + v0 : v0;
    if (!(speed >= kMinSpeed)) speed = kMinSpeed;  // also catches NaN speeds from the file
    distance += dt * speed;
    if (!std::isfinite(distance) || !(track_length > 0)) {
      // Nothing sensible to travel: an endless or zero-length track is treated as played through.
      if (distance > 0 || !std::isfinite(distance)) {
        distance = 0;
        segment = 0;
        trackEnded = 1;
        SetPauseFromAnchor();
      }
    } else {
      if (distance > track_length) {
        // Whole laps come back to this segment; each one passes the end of the track.
        distance = std::fmod(distance, track_length);
        trackEnded = 1;
        SetPauseFromAnchor();
      }
      for (std::size_t guard = 0; guard <= 2 * segments && distance > t.segmentLengths[s]; ++guard) {
        distance -= t.segmentLengths[s];
        if (++s == segments) {
          s = 0;
          trackEnded = 1;
        }
        segment = static_cast<std::int32_t>(s);
        SetPauseFromAnchor();
      }
      if (distance > t.segmentLengths[s]) distance = t.segmentLengths[s];  // rounding leftovers
      if (distance < 0) distance = 0;  // a negative step does not walk back past the anchor
    }
  }

  // Arc-length position: find the chord that holds the distance.
  const std::size_t s = static_cast<std::size_t>(segment);
  Vec3 prev = t.SegmentPoint(s, 1);
  float walked = 0;
  bool between_samples = false;
  float samples = 0;  // position along the segment in chords
  if (distance > 0) {
    samples = kSegmentSamples;
    for (int k = 1; k <= kSegmentSamples; ++k) {
      const Vec3 p = t.SegmentPoint(s, SampleT(static_cast<float>(k)));
      const float c = Length(Sub(p, prev));
      if (walked + c >= distance) {
        const float f = c > 0 ? (distance - walked) / c : 0;
        samples = static_cast<float>(k - 1) + f;
        between_samples = c > 0 && f > 0 && f < 1;
        break;
      }
      walked += c;
      prev = p;
    }
  }
  position = t.SegmentPoint(s, SampleT(samples));
  if (!between_samples) return;

  const TrackKey& anchor = t.Anchor(s);
  const Vec3 look = useTargets && anchor.hasTarget ? anchor.target
                                                   : t.SegmentPoint(s, SampleT(samples + kLookAhead));
  float desired_yaw = 0, desired_pitch = 0;
  if (!DirectionAngles(Sub(look, position), desired_yaw, desired_pitch)) return;

  const float turn = dt * turnRate;
  const float pitch_error = desired_pitch - pitch;
  if (std::fabs(turn * pitch_error) < std::fabs(pitch_error)) {
    pitch += turn * pitch_error;
  } else {
    pitch = desired_pitch;
  }

  if (std::isnan(desired_yaw)) return;
  yaw = WrapTo360(yaw);
  float yaw_error = desired_yaw - yaw;
  while (yaw_error > 180) yaw_error -= 360;
  while (yaw_error < -180) yaw_error += 360;
  const float magnitude = std::fabs(yaw_error);
  if (magnitude * turn <= magnitude) {
    yaw += (yaw_error < 0 ? -1.0f : 1.0f) * magnitude * turn;
  } else {
    yaw += yaw_error;
  }
  yaw = WrapTo360(yaw);
}

}  // namespace scene
