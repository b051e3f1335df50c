// .ESA decoder and encoder.
//
// Limits the decoder enforces (anything else is E_FAIL, never a read past the buffer):
// - magic "esa" + NUL, version 0x0300;
// - animLength and keyInterval positive (playback divides by the interval and wraps by the
//   length, so zero or negative values would divide by zero or never finish wrapping);
// - for each of the model's bones: key counts non-negative and their keys inside the buffer,
//   at least two position keys and at least as many rotation keys (playback reads the rotation
//   keys at the position keys' indices k and k + 1);
// - bytes after the model's last bone are ignored.
#include "model/esa_format.h"

#include "model/format_cursor.h"

namespace model::esa {
namespace {

using format::ReadCursor;
using format::WriteCursor;

constexpr char kMagic[4] = {'e', 's', 'a', 0};
constexpr std::size_t kPositionKeyBytes = 16;
constexpr std::size_t kRotationKeyBytes = 20;

bool ReadHeader(ReadCursor& in, AnimationFile& a) {
    char magic[4];
    std::uint16_t version = 0;
    if (!in.Bytes(magic, 4) || !in.U16(version) || !in.I32(a.animLength) || !in.I32(a.keyInterval))
        return false;
    if (magic[0] != kMagic[0] || magic[1] != kMagic[1] || magic[2] != kMagic[2] || magic[3] != 0) return false;
    return version == kVersion;
}

bool ReadTrack(ReadCursor& in, BoneTrack& t) {
    std::int32_t count = 0;
    if (!in.Count(count, kPositionKeyBytes)) return false;
    t.positionKeys.resize(std::size_t(count));
    for (PositionKey& k : t.positionKeys)
        if (!in.I32(k.time) || !in.F32s(k.position, 3)) return false;
    if (!in.Count(count, kRotationKeyBytes)) return false;
    t.rotationKeys.resize(std::size_t(count));
    for (RotationKey& k : t.rotationKeys)
        if (!in.I32(k.time) || !in.F32s(k.quaternion, 4)) return false;
    return true;
}

}  // namespace

HRESULT ReadAnimation(std::span<const std::uint8_t> bytes, std::size_t boneCount, AnimationFile& out) {
    ReadCursor in(bytes);
    AnimationFile a;
    if (!ReadHeader(in, a)) return E_FAIL;
    if (a.animLength <= 0 || a.keyInterval <= 0) return E_FAIL;
    // Each bone record holds at least its two counts.
    if (boneCount > in.Remaining() / 8) return E_FAIL;
    a.tracks.resize(boneCount);
    for (BoneTrack& t : a.tracks) {
        if (!ReadTrack(in, t)) return E_FAIL;
        if (t.positionKeys.size() < 2 || t.rotationKeys.size() < t.positionKeys.size()) return E_FAIL;
    }
    out = std::move(a);
    return S_OK;
}

HRESULT CountAnimationTracks(std::span<const std::uint8_t> bytes, std::size_t& boneCount) {
    ReadCursor in(bytes);
    AnimationFile a;
    if (!ReadHeader(in, a)) return E_FAIL;
    std::size_t n = 0;
    BoneTrack t;
    while (in.Remaining() > 0) {
        if (!ReadTrack(in, t)) return E_FAIL;
        ++n;
    }
    boneCount = n;
    return S_OK;
}

HRESULT WriteAnimation(const AnimationFile& anim, std::vector<std::uint8_t>& out) {
    std::vector<std::uint8_t> bytes;
    WriteCursor w(bytes);
    w.Bytes(kMagic, 4);
    w.U16(kVersion);
    w.I32(anim.animLength);
    w.I32(anim.keyInterval);
    for (const BoneTrack& t : anim.tracks) {
        if (t.positionKeys.size() > 0x7FFFFFFF || t.rotationKeys.size() > 0x7FFFFFFF) return E_FAIL;
        w.I32(std::int32_t(t.positionKeys.size()));
        for (const PositionKey& k : t.positionKeys) {
            w.I32(k.time);
            w.F32s(k.position, 3);
        }
        w.I32(std::int32_t(t.rotationKeys.size()));
        for (const RotationKey& k : t.rotationKeys) {
            w.I32(k.time);
            w.F32s(k.quaternion, 4);
        }
    }
    out = std::move(bytes);
    return S_OK;
}

}  // namespace model::esa
