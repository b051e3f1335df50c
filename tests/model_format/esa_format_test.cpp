#include "model/esa_format.h"

#include <gtest/gtest.h>

#include "model_format/test_bytes.h"

namespace {

using namespace model::esa;

// Length 833, interval 100: keys at 0, 100, ..., 800, 833 for each of `bones` bones.
std::vector<std::uint8_t> Animation833(int bones, std::vector<std::size_t>* countOffsets = nullptr) {
    TestBytes t;
    t.Raw("esa", 4).U16(0x0300).I32(833).I32(100);
    for (int b = 0; b < bones; ++b) {
        if (countOffsets) countOffsets->push_back(t.Mark());
        t.I32(10);
        for (int k = 0; k < 10; ++k) t.I32(k == 9 ? 833 : k * 100).F3(float(b), float(k), 0.5f);
        if (countOffsets) countOffsets->push_back(t.Mark());
        t.I32(10);
        for (int k = 0; k < 10; ++k) t.I32(k == 9 ? 833 : k * 100).F(0).F(0).F(float(b) * 0.1f).F(1);
    }
    return t.b;
}

TEST(EsaRead, DecodesKeysAgainstTheModelsBones) {
    const auto bytes = Animation833(3);
    AnimationFile a;
    ASSERT_EQ(ReadAnimation(bytes, 3, a), S_OK);
    EXPECT_EQ(a.animLength, 833);
    EXPECT_EQ(a.keyInterval, 100);
    ASSERT_EQ(a.tracks.size(), 3u);
    ASSERT_EQ(a.tracks[2].positionKeys.size(), 10u);
    EXPECT_EQ(a.tracks[2].positionKeys[9].time, 833);
    EXPECT_EQ(a.tracks[2].positionKeys[8].time, 800);
    EXPECT_FLOAT_EQ(a.tracks[2].positionKeys[4].position[0], 2.0f);
    EXPECT_FLOAT_EQ(a.tracks[2].positionKeys[4].position[1], 4.0f);
    EXPECT_FLOAT_EQ(a.tracks[1].rotationKeys[3].quaternion[2], 0.1f);
    EXPECT_FLOAT_EQ(a.tracks[1].rotationKeys[3].quaternion[3], 1.0f);

    // Fewer bones in the model than records in the file: the rest is not read.
    ASSERT_EQ(ReadAnimation(bytes, 2, a), S_OK);
    EXPECT_EQ(a.tracks.size(), 2u);
    // A model without bones reads only the header.
    ASSERT_EQ(ReadAnimation(std::span(bytes.data(), 14), 0, a), S_OK);
    EXPECT_TRUE(a.tracks.empty());
    // More bones than records is a truncated file.
    EXPECT_EQ(ReadAnimation(bytes, 4, a), E_FAIL);

    std::size_t tracks = 0;
    ASSERT_EQ(CountAnimationTracks(bytes, tracks), S_OK);
    EXPECT_EQ(tracks, 3u);
    EXPECT_EQ(CountAnimationTracks(std::span(bytes.data(), bytes.size() - 1), tracks), E_FAIL);
}

TEST(EsaRead, SizeOfTwentyTwoBonesOfElevenKeys) {
    AnimationFile a{1000, 100, {}};
    a.tracks.resize(22);
    for (auto& t : a.tracks) {
        t.positionKeys.resize(11);
        t.rotationKeys.resize(11);
    }
    std::vector<std::uint8_t> bytes;
    ASSERT_EQ(WriteAnimation(a, bytes), S_OK);
    EXPECT_EQ(bytes.size(), 8902u);
}

TEST(EsaRead, HeaderChecks) {
    auto bytes = Animation833(1);
    AnimationFile a;
    auto bad = bytes;
    bad[5] = 0x02;  // version 0x0200
    EXPECT_EQ(ReadAnimation(bad, 1, a), E_FAIL);
    bad = bytes;
    bad[0] = 'E';
    EXPECT_EQ(ReadAnimation(bad, 1, a), E_FAIL);
    bad = bytes;
    bad[3] = '!';
    EXPECT_EQ(ReadAnimation(bad, 1, a), E_FAIL);
    // Playback divides by the interval and wraps by the length.
    for (auto [at, value] : std::vector<std::pair<std::size_t, std::int32_t>>{{6, 0}, {6, -833}, {10, 0}, {10, -1}}) {
        TestBytes t{bytes};
        t.PatchI32(at, value);
        EXPECT_EQ(ReadAnimation(t.b, 1, a), E_FAIL) << at << " " << value;
        EXPECT_EQ(ReadAnimation(t.b, 0, a), E_FAIL) << at << " " << value;
    }
}

TEST(EsaRead, EveryTruncationFailsAndLeavesOutputAlone) {
    const auto full = Animation833(2);
    const AnimationFile sentinel{1, 2, {BoneTrack{}}};
    for (std::size_t n = 0; n < full.size(); ++n) {
        AnimationFile a = sentinel;
        ASSERT_EQ(ReadAnimation(std::span(full.data(), n), 2, a), E_FAIL) << "length " << n;
        ASSERT_EQ(a, sentinel);
    }
}

TEST(EsaRead, LyingOrUnplayableCountsFail) {
    std::vector<std::size_t> at;
    const auto bytes = Animation833(2, &at);
    AnimationFile a;
    for (std::int32_t value : {0x7FFFFFFF, 0x10000000, 11, -1}) {
        for (std::size_t offset : at) {
            TestBytes t{bytes};
            t.PatchI32(offset, value);
            EXPECT_EQ(ReadAnimation(t.b, 2, a), E_FAIL) << offset << " " << value;
        }
    }
    // Tracks too short to interpolate: one position key, or fewer rotation keys than position keys.
    AnimationFile src{1000, 100, {BoneTrack{}}};
    src.tracks[0].positionKeys.resize(1);
    src.tracks[0].rotationKeys.resize(1);
    std::vector<std::uint8_t> out;
    ASSERT_EQ(WriteAnimation(src, out), S_OK);
    EXPECT_EQ(ReadAnimation(out, 1, a), E_FAIL);
    src.tracks[0].positionKeys.resize(3);
    src.tracks[0].rotationKeys.resize(2);
    ASSERT_EQ(WriteAnimation(src, out), S_OK);
    EXPECT_EQ(ReadAnimation(out, 1, a), E_FAIL);
    src.tracks[0].rotationKeys.resize(4);
    ASSERT_EQ(WriteAnimation(src, out), S_OK);
    EXPECT_EQ(ReadAnimation(out, 1, a), S_OK);
}

TEST(EsaRoundTrip, WrittenFilesReadBackEqual) {
    const auto bytes = Animation833(4);
    AnimationFile a;
    ASSERT_EQ(ReadAnimation(bytes, 4, a), S_OK);
    std::vector<std::uint8_t> out;
    ASSERT_EQ(WriteAnimation(a, out), S_OK);
    EXPECT_EQ(out, bytes);

    AnimationFile src{1333, 100, {}};
    for (int b = 0; b < 5; ++b) {
        BoneTrack t;
        for (int k = 0; k <= 14; ++k) {
            const int time = k == 14 ? 1333 : k * 100;
            t.positionKeys.push_back({time, {float(b), float(k) * 0.5f, -float(k)}});
            t.rotationKeys.push_back({time, {0.5f, -0.5f, 0.5f, float(b) / 10.0f}});
        }
        src.tracks.push_back(t);
    }
    ASSERT_EQ(WriteAnimation(src, out), S_OK);
    AnimationFile back;
    ASSERT_EQ(ReadAnimation(out, 5, back), S_OK);
    EXPECT_EQ(back, src);
}

}  // namespace
