// The .ESA animation file: one loop of absolute bone poses sampled at a fixed interval, one
// position track and one rotation track per bone, in the bone order of the model it belongs to.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "platform/d3d8/windows_types.h"

namespace model::esa {

constexpr std::uint16_t kVersion = 0x0300;

struct PositionKey {
    std::int32_t time = 0;
    float position[3] = {};
    bool operator==(const PositionKey&) const = default;
};

struct RotationKey {
    std::int32_t time = 0;
    float quaternion[4] = {0, 0, 0, 1};  // x, y, z, w
    bool operator==(const RotationKey&) const = default;
};

struct BoneTrack {
    std::vector<PositionKey> positionKeys;
    std::vector<RotationKey> rotationKeys;
    bool operator==(const BoneTrack&) const = default;
};

struct AnimationFile {
    std::int32_t animLength = 0;
    std::int32_t keyInterval = 0;
    std::vector<BoneTrack> tracks;  // one per bone of the model
    bool operator==(const AnimationFile&) const = default;
};

// Decodes an .ESA image against a model of `boneCount` bones (records for further bones, if the
// file has them, are left unread). E_FAIL on a wrong magic or version, data past the end, a
// length or interval that is not positive, or a bone whose tracks playback could not interpolate
// (fewer than two position keys, fewer rotation keys than position keys). `out` is replaced only
// on success.
HRESULT ReadAnimation(std::span<const std::uint8_t> bytes, std::size_t boneCount, AnimationFile& out);

// Encodes `anim` with all of its tracks. E_FAIL when a key count does not fit its 32-bit field.
HRESULT WriteAnimation(const AnimationFile& anim, std::vector<std::uint8_t>& out);

// For inspecting a file without its model: the number of whole bone records that follow the
// header when they are read until the bytes run out; E_FAIL when the header is bad or the last
// record is cut off.
HRESULT CountAnimationTracks(std::span<const std::uint8_t> bytes, std::size_t& boneCount);

}  // namespace model::esa
