// scenedata: writes the level map and the camera tracks from their text forms, and reads them back.
//
//   scenedata map IN.txt OUT.emp          text map -> "Data/Map.emp"
//   scenedata tracks IN.txt OUT.evd       text tracks -> "Data/Cam_Tracks.evd"
//   scenedata dump FILE                   what the scene's readers see, in the text form
//   scenedata preview-tracks FILE [--every SECONDS]
//                                         plays every track with the scene's follower (16 ms
//                                         frames) and prints its time, eye range and samples
//
// The binary files are written with the scene's own writers and read back with its readers
// before they are saved, so a file this tool writes is one the scene accepts.
#include <cctype>
#include <cstdio>
#include <exception>
#include <string>
#include <vector>

#include "scene/camera_track.h"
#include "scene/camera_track_data.h"
#include "scene/map_data.h"
#include "tools/common/file_io.h"
#include "tools/scenedata/scene_text.h"
#include "tools/scenedata/track_preview.h"

namespace {

int Usage() {
  std::fprintf(stderr,
               "usage: scenedata map IN.txt OUT.emp\n"
               "       scenedata tracks IN.txt OUT.evd\n"
               "       scenedata dump FILE\n"
               "       scenedata preview-tracks FILE.evd [--every SECONDS]\n");
  return 2;
}

bool EndsWith(const std::string& s, const char* suffix) {
  const std::string x(suffix);
  if (s.size() < x.size()) return false;
  for (std::size_t i = 0; i < x.size(); ++i)
    if (std::tolower(static_cast<unsigned char>(s[s.size() - x.size() + i])) != x[i]) return false;
  return true;
}

int MakeMap(const std::string& in, const std::string& out) {
  std::string text;
  if (!tools::ReadWholeText(in, text)) {
    std::fprintf(stderr, "scenedata: cannot read %s\n", in.c_str());
    return 1;
  }
  scene::SceneMapData map;
  try {
    map = scenedata::ParseMapText(text);
  } catch (const scenedata::ParseError& e) {
    std::fprintf(stderr, "scenedata: %s:%zu: %s\n", in.c_str(), e.line(), e.message().c_str());
    return 1;
  }
  std::vector<std::uint8_t> bytes;
  scene::SceneMapData back;
  std::size_t used = 0;
  if (FAILED(scene::WriteSceneMap(map, bytes)) || FAILED(scene::ReadSceneMap(bytes.data(), bytes.size(), back, &used)) ||
      !(back == map) || used != bytes.size()) {
    std::fprintf(stderr, "scenedata: %s: the map breaks a limit of the scene's reader\n", in.c_str());
    return 1;
  }
  if (!tools::WriteWholeFileAtomically(out, bytes)) {
    std::fprintf(stderr, "scenedata: cannot write %s\n", out.c_str());
    return 1;
  }
  std::printf("%s: %zu models, %zu entities, %zu bytes\n", out.c_str(), map.models.size(), map.entities.size(),
              bytes.size());
  return 0;
}

int MakeTracks(const std::string& in, const std::string& out) {
  std::string text;
  if (!tools::ReadWholeText(in, text)) {
    std::fprintf(stderr, "scenedata: cannot read %s\n", in.c_str());
    return 1;
  }
  std::vector<scene::CameraTrackData> tracks;
  try {
    tracks = scenedata::ParseTracksText(text);
  } catch (const scenedata::ParseError& e) {
    std::fprintf(stderr, "scenedata: %s:%zu: %s\n", in.c_str(), e.line(), e.message().c_str());
    return 1;
  }
  std::vector<std::uint8_t> bytes;
  std::vector<scene::CameraTrackData> back;
  std::size_t used = 0;
  if (FAILED(scene::WriteCameraTracks(tracks, bytes)) ||
      FAILED(scene::ReadCameraTracks(bytes.data(), bytes.size(), back, &used)) || !(back == tracks) ||
      used != bytes.size()) {
    std::fprintf(stderr, "scenedata: %s: the tracks break a limit of the scene's reader\n", in.c_str());
    return 1;
  }
  if (!tools::WriteWholeFileAtomically(out, bytes)) {
    std::fprintf(stderr, "scenedata: cannot write %s\n", out.c_str());
    return 1;
  }
  std::size_t keys = 0;
  for (const auto& t : tracks) keys += t.keys.size();
  std::printf("%s: %zu tracks, %zu keys, %zu bytes\n", out.c_str(), tracks.size(), keys, bytes.size());
  return 0;
}

int Dump(const std::string& path) {
  std::vector<std::uint8_t> bytes;
  if (!tools::ReadWholeFile(path, bytes)) {
    std::fprintf(stderr, "scenedata: cannot read %s\n", path.c_str());
    return 1;
  }
  const bool as_map = EndsWith(path, ".emp"), as_tracks = EndsWith(path, ".evd");
  std::size_t used = 0;
  if (as_map || !as_tracks) {
    scene::SceneMapData map;
    if (SUCCEEDED(scene::ReadSceneMap(bytes.data(), bytes.size(), map, &used))) {
      std::printf("# %s: map, %zu of %zu bytes read\n%s", path.c_str(), used, bytes.size(),
                  scenedata::FormatMapText(map).c_str());
      return 0;
    }
  }
  if (as_tracks || !as_map) {
    std::vector<scene::CameraTrackData> tracks;
    if (SUCCEEDED(scene::ReadCameraTracks(bytes.data(), bytes.size(), tracks, &used))) {
      std::printf("# %s: camera tracks, %zu of %zu bytes read\n%s", path.c_str(), used, bytes.size(),
                  scenedata::FormatTracksText(tracks).c_str());
      return 0;
    }
  }
  std::fprintf(stderr, "scenedata: %s: the scene's reader refuses it\n", path.c_str());
  return 1;
}

int PreviewTracks(const std::string& path, float every) {
  std::vector<std::uint8_t> bytes;
  if (!tools::ReadWholeFile(path, bytes)) {
    std::fprintf(stderr, "scenedata: cannot read %s\n", path.c_str());
    return 1;
  }
  scene::TrackFollower follower;
  if (FAILED(follower.LoadTracks(bytes.data(), bytes.size()))) {
    std::fprintf(stderr, "scenedata: %s: the scene's reader refuses it\n", path.c_str());
    return 1;
  }
  int unfinished = 0;
  for (std::size_t t = 0; t < follower.trackCount(); ++t) {
    const scenedata::TrackPreview p = scenedata::PreviewTrack(follower, t, 0.16f, every);
    if (!p.played) {
      std::printf("track %zu: no segments\n", t);
      continue;
    }
    if (!p.finished) ++unfinished;
    std::printf("track %zu: %zu segments, %.1f s%s, eye x %.0f..%.0f y %.0f..%.0f z %.0f..%.0f, pitch %.0f..%.0f\n",
                t, follower.Track(t).segmentCount(), p.seconds, p.finished ? "" : " (did not end)", p.eyeMin.x,
                p.eyeMax.x, p.eyeMin.y, p.eyeMax.y, p.eyeMin.z, p.eyeMax.z, p.pitchMin, p.pitchMax);
    for (const scenedata::TrackSample& s : p.samples)
      std::printf("  %6.1f s  seg %d  eye (%7.1f %7.1f %7.1f)  yaw %5.1f  pitch %5.1f  dir (%5.2f %5.2f %5.2f)\n",
                  s.seconds, s.segment, s.eye.x, s.eye.y, s.eye.z, s.yaw, s.pitch, s.look.x - s.eye.x,
                  s.look.y - s.eye.y, s.look.z - s.eye.z);
  }
  return unfinished == 0 ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) return Usage();
  const std::string cmd = argv[1];
  const std::vector<std::string> args(argv + 2, argv + argc);
  try {
    if (cmd == "map" && args.size() == 2) return MakeMap(args[0], args[1]);
    if (cmd == "tracks" && args.size() == 2) return MakeTracks(args[0], args[1]);
    if (cmd == "dump" && args.size() == 1) return Dump(args[0]);
    if (cmd == "preview-tracks" && (args.size() == 1 || (args.size() == 3 && args[1] == "--every"))) {
      const float every = args.size() == 3 ? std::stof(args[2]) : 0.0f;
      return PreviewTracks(args[0], every);
    }
  } catch (const std::exception& e) {
    std::fprintf(stderr, "scenedata: %s\n", e.what());
    return 1;
  }
  return Usage();
}
