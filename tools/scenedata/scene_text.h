// The readable text forms of the level map and the camera tracks, and their printers.
//
// Both forms are line based: '#' starts a comment, tokens are separated by blanks, numbers are
// decimal (floats as written by the printer read back to the same bits).
//
// Map:
//   model MESH ANIMATION                 one per model list entry, in list order
//   entity MODEL                         MODEL: a mesh name declared above, or a list index
//                                        (@N: always list index N)
//     position X Y Z                     required
//     height H                           required
//     orientation identity | 16 floats   row-major, default identity
//     fog START END                      default -1 -1 (no override)
//     view-distance D                    default -1 (always drawn)
//     kept F                             default 0
//     motion MODE                        default 0
//     animation-speed F                  default 1
//     offset X Y Z                       default 0 0 0
//     track T                            default -1
//     start-segment S                    default 0
//     shot FLAG                          default 0
//     class C                            default 0
//   end
//
// Tracks:
//   track [LABEL]                        the label is for people; tracks are numbered in order
//     flag-a 0|1                         default 0
//     not-a-shot 0|1                     default 0
//     anchor X Y Z [speed S] [pause P] [target X Y Z]
//     control X Y Z [speed S] [pause P] [target X Y Z]
//     ...                                keys in file order; anchors are keys 0, 3, 6, ...
//   end
//
// Every error names its line: ParseError::what() reads "line N: message".
#pragma once

#include <cstddef>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "scene/camera_track_data.h"
#include "scene/map_data.h"

namespace scenedata {

class ParseError : public std::runtime_error {
 public:
  ParseError(std::size_t line, const std::string& message);
  std::size_t line() const { return line_; }
  const std::string& message() const { return message_; }  // without the line number

 private:
  std::size_t line_;
  std::string message_;
};

scene::SceneMapData ParseMapText(std::string_view text);
std::vector<scene::CameraTrackData> ParseTracksText(std::string_view text);

// Printed so that parsing the result gives back equal data (floats in their shortest exact form).
std::string FormatMapText(const scene::SceneMapData& map);
std::string FormatTracksText(const std::vector<scene::CameraTrackData>& tracks);

// Shortest decimal text that reads back to the same float.
std::string FormatFloat(float v);

}  // namespace scenedata
