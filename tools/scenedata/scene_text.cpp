#include "tools/scenedata/scene_text.h"

#include <charconv>
#include <cmath>
#include <cstdint>
#include <limits>

namespace scenedata {
namespace {

// One line split into tokens, comments dropped.
struct Line {
  std::size_t number = 0;
  std::vector<std::string_view> tokens;
};

std::vector<Line> SplitLines(std::string_view text) {
  std::vector<Line> lines;
  std::size_t number = 0;
  std::size_t pos = 0;
  while (pos <= text.size()) {
    std::size_t end = text.find('\n', pos);
    if (end == std::string_view::npos) end = text.size();
    std::string_view raw = text.substr(pos, end - pos);
    ++number;
    if (const std::size_t hash = raw.find('#'); hash != std::string_view::npos) raw = raw.substr(0, hash);
    Line line{number, {}};
    std::size_t i = 0;
    while (i < raw.size()) {
      while (i < raw.size() && (raw[i] == ' ' || raw[i] == '\t' || raw[i] == '\r')) ++i;
      std::size_t j = i;
      while (j < raw.size() && raw[j] != ' ' && raw[j] != '\t' && raw[j] != '\r') ++j;
      if (j > i) line.tokens.push_back(raw.substr(i, j - i));
      i = j;
    }
    if (!line.tokens.empty()) lines.push_back(std::move(line));
    if (end == text.size()) break;
    pos = end + 1;
  }
  return lines;
}

[[noreturn]] void Fail(const Line& line, const std::string& message) { throw ParseError(line.number, message); }

float ParseFloat(const Line& line, std::string_view token) {
  float v = 0;
  const char* first = token.data();
  const char* last = first + token.size();
  if (!token.empty() && *first == '+') ++first;  // from_chars refuses a leading plus
  const auto [ptr, ec] = std::from_chars(first, last, v);
  if (ec != std::errc() || ptr != last || !std::isfinite(v))
    Fail(line, "'" + std::string(token) + "' is not a finite number");
  return v;
}

std::int32_t ParseInt(const Line& line, std::string_view token) {
  std::int32_t v = 0;
  const auto [ptr, ec] = std::from_chars(token.data(), token.data() + token.size(), v);
  if (ec != std::errc() || ptr != token.data() + token.size())
    Fail(line, "'" + std::string(token) + "' is not a 32-bit integer");
  return v;
}

bool ParseFlag(const Line& line, std::string_view token) {
  if (token == "0") return false;
  if (token == "1") return true;
  Fail(line, "'" + std::string(token) + "' is not 0 or 1");
}

void ExpectArgs(const Line& line, std::size_t count) {
  if (line.tokens.size() != count + 1)
    Fail(line, "'" + std::string(line.tokens[0]) + "' takes " + std::to_string(count) + " value" +
                   (count == 1 ? "" : "s") + ", got " + std::to_string(line.tokens.size() - 1));
}

void ParseFloats(const Line& line, float* out, std::size_t count) {
  ExpectArgs(line, count);
  for (std::size_t i = 0; i < count; ++i) out[i] = ParseFloat(line, line.tokens[i + 1]);
}

constexpr float kIdentity[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};

void AppendFloats(std::string& out, const float* v, std::size_t count) {
  for (std::size_t i = 0; i < count; ++i) {
    out += ' ';
    out += FormatFloat(v[i]);
  }
}

void AppendVec(std::string& out, const scene::Vec3& v) {
  const float f[3] = {v.x, v.y, v.z};
  AppendFloats(out, f, 3);
}

}  // namespace

ParseError::ParseError(std::size_t line, const std::string& message)
    : std::runtime_error("line " + std::to_string(line) + ": " + message), line_(line), message_(message) {}

std::string FormatFloat(float v) {
  char buf[64];
  const auto [ptr, ec] = std::to_chars(buf, buf + sizeof buf, v);
  if (ec != std::errc()) return "nan";
  return std::string(buf, ptr);
}

scene::SceneMapData ParseMapText(std::string_view text) {
  scene::SceneMapData map;
  const std::vector<Line> lines = SplitLines(text);
  bool in_entity = false;
  bool have_position = false, have_height = false;
  std::size_t entity_line = 0;
  scene::MapEntity entity;

  for (const Line& line : lines) {
    const std::string_view key = line.tokens[0];
    if (!in_entity) {
      if (key == "model") {
        ExpectArgs(line, 2);
        if (!map.entities.empty()) Fail(line, "models must come before the first entity");
        for (std::size_t i = 1; i <= 2; ++i) {
          if (line.tokens[i].size() > scene::kMaxMapNameLength)
            Fail(line, "name longer than " + std::to_string(scene::kMaxMapNameLength) + " characters");
          if (line.tokens[i].find('\0') != std::string_view::npos) Fail(line, "name holds a NUL byte");
        }
        if (map.models.size() == scene::kMaxMapModels)
          Fail(line, "more than " + std::to_string(scene::kMaxMapModels) + " models");
        map.models.push_back({std::string(line.tokens[1]), std::string(line.tokens[2])});
      } else if (key == "entity") {
        ExpectArgs(line, 1);
        if (map.entities.size() == scene::kMaxMapEntities)
          Fail(line, "more than " + std::to_string(scene::kMaxMapEntities) + " entities");
        entity = scene::MapEntity{};
        std::copy(std::begin(kIdentity), std::end(kIdentity), entity.orientation);
        std::string_view ref = line.tokens[1];
        // "@N" is always list index N; a plain word is a mesh name first, then an index.
        const bool by_index = !ref.empty() && ref[0] == '@';
        if (by_index) ref.remove_prefix(1);
        bool found = false;
        for (std::size_t i = 0; !by_index && i < map.models.size(); ++i) {
          if (map.models[i].mesh == ref) {
            entity.modelIndex = static_cast<std::int32_t>(i);
            found = true;
            break;
          }
        }
        if (!found) {
          std::int32_t index = -1;
          const auto [ptr, ec] = std::from_chars(ref.data(), ref.data() + ref.size(), index);
          if (ec != std::errc() || ptr != ref.data() + ref.size())
            Fail(line, "no model named '" + std::string(ref) + "' declared above");
          if (index < 0 || static_cast<std::size_t>(index) >= map.models.size())
            Fail(line, "model index " + std::string(ref) + " outside the " + std::to_string(map.models.size()) +
                           " models declared above");
          entity.modelIndex = index;
        }
        in_entity = true;
        have_position = have_height = false;
        entity_line = line.number;
      } else {
        Fail(line, "expected 'model' or 'entity', got '" + std::string(key) + "'");
      }
      continue;
    }

    if (key == "end") {
      ExpectArgs(line, 0);
      if (!have_position) Fail(line, "entity without 'position'");
      if (!have_height) Fail(line, "entity without 'height'");
      map.entities.push_back(entity);
      in_entity = false;
    } else if (key == "position") {
      ParseFloats(line, entity.position, 3);
      have_position = true;
    } else if (key == "height") {
      ParseFloats(line, &entity.height, 1);
      have_height = true;
    } else if (key == "orientation") {
      if (line.tokens.size() == 2 && line.tokens[1] == "identity") {
        std::copy(std::begin(kIdentity), std::end(kIdentity), entity.orientation);
      } else {
        ParseFloats(line, entity.orientation, 16);
      }
    } else if (key == "fog") {
      float f[2];
      ParseFloats(line, f, 2);
      entity.fogStart = f[0];
      entity.fogEnd = f[1];
    } else if (key == "view-distance") {
      ParseFloats(line, &entity.viewDistance, 1);
    } else if (key == "kept") {
      ParseFloats(line, &entity.kept, 1);
    } else if (key == "motion") {
      ExpectArgs(line, 1);
      entity.motionMode = ParseInt(line, line.tokens[1]);
    } else if (key == "animation-speed") {
      ParseFloats(line, &entity.animationSpeed, 1);
    } else if (key == "offset") {
      ParseFloats(line, entity.offset, 3);
    } else if (key == "track") {
      ExpectArgs(line, 1);
      entity.track = ParseInt(line, line.tokens[1]);
    } else if (key == "start-segment") {
      ExpectArgs(line, 1);
      entity.startSegment = ParseInt(line, line.tokens[1]);
    } else if (key == "shot") {
      ExpectArgs(line, 1);
      const std::int32_t v = ParseInt(line, line.tokens[1]);
      if (v < 0 || v > 255) Fail(line, "shot flag must be a byte (0..255)");
      entity.shotFlag = static_cast<std::uint8_t>(v);
    } else if (key == "class") {
      ExpectArgs(line, 1);
      entity.renderClass = ParseInt(line, line.tokens[1]);
    } else if (key == "model" || key == "entity") {
      Fail(line, "'" + std::string(key) + "' inside the entity opened on line " + std::to_string(entity_line) +
                     " (missing 'end')");
    } else {
      Fail(line, "unknown entity field '" + std::string(key) + "'");
    }
  }
  if (in_entity) throw ParseError(entity_line, "entity not closed with 'end'");
  return map;
}

std::vector<scene::CameraTrackData> ParseTracksText(std::string_view text) {
  std::vector<scene::CameraTrackData> tracks;
  const std::vector<Line> lines = SplitLines(text);
  bool in_track = false;
  std::size_t track_line = 0;
  scene::CameraTrackData track;

  for (const Line& line : lines) {
    const std::string_view key = line.tokens[0];
    if (!in_track) {
      if (key != "track") Fail(line, "expected 'track', got '" + std::string(key) + "'");
      if (tracks.size() == scene::kMaxTracks)
        Fail(line, "more than " + std::to_string(scene::kMaxTracks) + " tracks");
      track = scene::CameraTrackData{};
      in_track = true;
      track_line = line.number;
      continue;
    }
    if (key == "end") {
      ExpectArgs(line, 0);
      const std::size_t k = track.keys.size();
      if (k > 0 && (k - 1) % 3 != 0)
        Fail(line, "track has " + std::to_string(k) + " keys; a chain of segments has 3n + 1 (ends on an anchor)");
      tracks.push_back(std::move(track));
      in_track = false;
    } else if (key == "flag-a") {
      ExpectArgs(line, 1);
      track.flagA = ParseFlag(line, line.tokens[1]);
    } else if (key == "not-a-shot") {
      ExpectArgs(line, 1);
      track.notAShot = ParseFlag(line, line.tokens[1]);
    } else if (key == "anchor" || key == "control") {
      const bool should_be_anchor = track.keys.size() % 3 == 0;
      if ((key == "anchor") != should_be_anchor)
        Fail(line, "key " + std::to_string(track.keys.size()) + " must be " +
                       (should_be_anchor ? "an anchor" : "a control point") +
                       " (anchors are keys 0, 3, 6, ...)");
      if (track.keys.size() == scene::kMaxTrackKeys)
        Fail(line, "more than " + std::to_string(scene::kMaxTrackKeys) + " keys in a track");
      if (line.tokens.size() < 4) Fail(line, "'" + std::string(key) + "' needs X Y Z");
      scene::TrackKey k;
      k.position = {ParseFloat(line, line.tokens[1]), ParseFloat(line, line.tokens[2]),
                    ParseFloat(line, line.tokens[3])};
      bool have_speed = false, have_pause = false;
      for (std::size_t i = 4; i < line.tokens.size();) {
        const std::string_view attr = line.tokens[i];
        const std::size_t need = attr == "target" ? 3 : 1;
        if (attr != "speed" && attr != "pause" && attr != "target")
          Fail(line, "unknown key attribute '" + std::string(attr) + "' (speed, pause, target)");
        if (i + need >= line.tokens.size())
          Fail(line, "'" + std::string(attr) + "' needs " + std::to_string(need) + " value" + (need == 1 ? "" : "s"));
        if (attr == "speed") {
          if (have_speed) Fail(line, "speed given twice");
          k.speed = ParseFloat(line, line.tokens[i + 1]);
          have_speed = true;
        } else if (attr == "pause") {
          if (have_pause) Fail(line, "pause given twice");
          k.pause = ParseFloat(line, line.tokens[i + 1]);
          if (k.pause < 0) Fail(line, "pause must not be negative");
          have_pause = true;
        } else {
          if (k.hasTarget) Fail(line, "target given twice");
          k.hasTarget = true;
          k.target = {ParseFloat(line, line.tokens[i + 1]), ParseFloat(line, line.tokens[i + 2]),
                      ParseFloat(line, line.tokens[i + 3])};
        }
        i += need + 1;
      }
      track.keys.push_back(k);
    } else if (key == "track") {
      Fail(line, "'track' inside the track opened on line " + std::to_string(track_line) + " (missing 'end')");
    } else {
      Fail(line, "unknown track field '" + std::string(key) + "'");
    }
  }
  if (in_track) throw ParseError(track_line, "track not closed with 'end'");
  return tracks;
}

std::string FormatMapText(const scene::SceneMapData& map) {
  std::string out;
  for (const scene::MapModel& m : map.models) out += "model " + m.mesh + " " + m.animation + "\n";
  for (std::size_t i = 0; i < map.entities.size(); ++i) {
    const scene::MapEntity& e = map.entities[i];
    // By name when the name leads back to this model, else by index.
    std::string ref = "@" + std::to_string(e.modelIndex);
    if (e.modelIndex >= 0 && static_cast<std::size_t>(e.modelIndex) < map.models.size()) {
      const std::string& mesh = map.models[static_cast<std::size_t>(e.modelIndex)].mesh;
      std::size_t first = 0;
      while (map.models[first].mesh != mesh) ++first;
      if (first == static_cast<std::size_t>(e.modelIndex) && !mesh.empty() && mesh[0] != '@') ref = mesh;
    }
    out += "\nentity " + ref;
    out += "\n  position";
    AppendFloats(out, e.position, 3);
    out += "\n  height " + FormatFloat(e.height);
    out += "\n  orientation";
    if (std::equal(std::begin(kIdentity), std::end(kIdentity), e.orientation)) {
      out += " identity";
    } else {
      AppendFloats(out, e.orientation, 16);
    }
    out += "\n  fog " + FormatFloat(e.fogStart) + " " + FormatFloat(e.fogEnd);
    out += "\n  view-distance " + FormatFloat(e.viewDistance);
    out += "\n  kept " + FormatFloat(e.kept);
    out += "\n  motion " + std::to_string(e.motionMode);
    out += "\n  animation-speed " + FormatFloat(e.animationSpeed);
    out += "\n  offset";
    AppendFloats(out, e.offset, 3);
    out += "\n  track " + std::to_string(e.track);
    out += "\n  start-segment " + std::to_string(e.startSegment);
    out += "\n  shot " + std::to_string(e.shotFlag);
    out += "\n  class " + std::to_string(e.renderClass);
    out += "\nend\n";
  }
  return out;
}

std::string FormatTracksText(const std::vector<scene::CameraTrackData>& tracks) {
  std::string out;
  for (std::size_t t = 0; t < tracks.size(); ++t) {
    const scene::CameraTrackData& track = tracks[t];
    if (t > 0) out += "\n";
    out += "track " + std::to_string(t) + "\n";
    out += "  flag-a " + std::string(track.flagA ? "1" : "0") + "\n";
    out += "  not-a-shot " + std::string(track.notAShot ? "1" : "0") + "\n";
    for (std::size_t i = 0; i < track.keys.size(); ++i) {
      const scene::TrackKey& k = track.keys[i];
      out += i % 3 == 0 ? "  anchor" : "  control";
      AppendVec(out, k.position);
      // Controls carry speed and pause in the file too; printed only when they hold something.
      if (i % 3 == 0 || k.speed != 0) out += " speed " + FormatFloat(k.speed);
      if (i % 3 == 0 || k.pause != 0) out += " pause " + FormatFloat(k.pause);
      if (k.hasTarget) {
        out += " target";
        AppendVec(out, k.target);
      }
      out += "\n";
    }
    out += "end\n";
  }
  return out;
}

}  // namespace scenedata
