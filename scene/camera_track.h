// Moving a point along camera tracks: the `CameraTrack` with its segment lengths, and the one
// `TrackFollower` that the camera, the marching army and moving map objects share.
//
// Units: distances in scene units, speeds per time step, pauses in time steps, angles in degrees.
// Curves run with a parameter t from 1 at a segment's start to 0 at its end.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "scene/camera_track_data.h"

namespace scene {

inline constexpr int kSegmentSamples = 150;  // chords per segment, for lengths and arc positions

// Cubic Bezier point: B(1) = p0, B(0) = p3.
Vec3 BezierPoint(const Vec3& p0, const Vec3& p1, const Vec3& p2, const Vec3& p3, float t);

struct CameraTrack {
  CameraTrackData data;
  std::vector<float> segmentLengths;  // one per segment, filled by Prepare

  std::size_t segmentCount() const { return segmentLengths.size(); }
  // Point of segment s at parameter t; s must be below segmentCount().
  Vec3 SegmentPoint(std::size_t s, float t) const;
  const TrackKey& Anchor(std::size_t s) const { return data.keys[3 * s]; }
  // Computes the segment lengths (the sum of kSegmentSamples chords each).
  void Prepare();
};

// (cos yaw cos pitch, sin pitch, sin yaw cos pitch).
Vec3 LookDirection(float yaw_degrees, float pitch_degrees);

class TrackFollower {
 public:
  // Fields that clients save and restore around their use, in the scene's order.
  bool useTargets = true;
  float speed = 0.75f;
  float distance = 0;  // within the current segment
  float turnRate = 0.125f;
  bool flag = true;    // kept
  std::int32_t segment = 0;
  std::int32_t track = 0;
  float yaw = 0;
  float pitch = 0;
  Vec3 position;
  float pauseLeft = 0;
  std::int32_t trackEnded = 0;  // 1 after a step that wrapped past the last segment

  // Decodes a Cam_Tracks.evd buffer (see camera_track_data.h) and prepares every track; the
  // current track is 0 afterwards. On failure the follower keeps no tracks.
  HRESULT LoadTracks(const std::uint8_t* data, std::size_t size);
  void SetTracks(std::vector<CameraTrackData> tracks);

  std::size_t trackCount() const { return tracks_.size(); }
  const CameraTrack& Track(std::size_t i) const { return tracks_[i]; }

  // Starts the track at a segment, with yaw and pitch set at once toward the point just ahead (or
  // the anchor's target). Returns false, changing nothing, for a track or segment that does not
  // exist.
  bool StartTrack(std::int32_t track_index, std::int32_t segment_index);

  // Advances by dt time steps. A current track or segment that does not exist leaves the follower
  // as it is.
  void Step(float dt);

 private:
  bool Valid() const;
  void SetPauseFromAnchor();

  std::vector<CameraTrack> tracks_;
};

}  // namespace scene
