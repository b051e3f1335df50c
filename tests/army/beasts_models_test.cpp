// The shipped troll, draught beast and war drums: their files load, their loops are playable
// and seamless, their skins suit normals that follow the first influence, and their boxes give
// the placements the squads rely on (the troll's hands at the tower, the drums on the beast's
// back). Files that are not there yet skip their tests with a message.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "d3dutil/d3dx8math.h"
#include "model/emd_format.h"
#include "model/esa_format.h"

namespace {

namespace emd = model::emd;
namespace esa = model::esa;
namespace fs = std::filesystem;

struct Unit {
    const char* name;
    const char* texturePrefix;
    float height;  // the FitHeight the scene gives it
    int length;    // loop length in ms
};

constexpr Unit kTroll{"cave_troll", "Troll_", 49.2f, 1333};
constexpr Unit kBeast{"zver", "Beast_", 69.1f, 1000};
constexpr Unit kDrums{"orc_drums", "Drums_", 45.1f, 1000};
const Unit kUnits[] = {kTroll, kBeast, kDrums};

const fs::path kMedia = fs::path(GRIM_SOURCE_DIR) / "resources" / "media";

std::vector<std::uint8_t> ReadAll(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

struct Loaded {
    emd::ModelFile model;
    esa::AnimationFile anim;
    std::vector<std::uint8_t> esaBytes;
    D3DXVECTOR3 lo{1e30f, 1e30f, 1e30f}, hi{-1e30f, -1e30f, -1e30f};
    float Scale(const Unit& u) const { return u.height / (hi.y - lo.y); }
};

// Empty message: loaded; otherwise why not (a missing file, for the caller to skip on).
std::string Load(const Unit& u, Loaded& out, bool& missing) {
    const fs::path m = kMedia / "Meshes" / (std::string(u.name) + ".EMD");
    const fs::path a = kMedia / "Meshes" / (std::string(u.name) + ".ESA");
    missing = !fs::exists(m) || !fs::exists(a);
    if (missing) return std::string(u.name) + ".EMD/.ESA not built yet";
    const auto mb = ReadAll(m);
    if (FAILED(emd::ReadModel(mb, out.model))) return std::string(u.name) + ".EMD does not parse";
    out.esaBytes = ReadAll(a);
    if (FAILED(esa::ReadAnimation(out.esaBytes, out.model.bones.size(), out.anim)))
        return std::string(u.name) + ".ESA does not parse against its model";
    for (const auto& mesh : out.model.meshes)
        for (const auto& v : mesh.vertices) {
            out.lo = {std::min(out.lo.x, v.position[0]), std::min(out.lo.y, v.position[1]),
                      std::min(out.lo.z, v.position[2])};
            out.hi = {std::max(out.hi.x, v.position[0]), std::max(out.hi.y, v.position[1]),
                      std::max(out.hi.z, v.position[2])};
        }
    return {};
}

#define LOAD_OR_SKIP(unit, loaded)                                  \
    Loaded loaded;                                                  \
    {                                                               \
        bool missing = false;                                       \
        const std::string why = Load(unit, loaded, missing);        \
        if (missing) GTEST_SKIP() << why;                           \
        ASSERT_TRUE(why.empty()) << why;                            \
    }

// Bone matrices at key index k (key times are exact, so no blending is needed).
std::vector<D3DXMATRIX> PoseAtKey(const Loaded& l, std::size_t k) {
    std::vector<D3DXMATRIX> out;
    for (const auto& t : l.anim.tracks) {
        const auto& r = t.rotationKeys[k].quaternion;
        const D3DXQUATERNION q(r[0], r[1], r[2], r[3]);
        D3DXMATRIX m;
        D3DXMatrixRotationQuaternion(&m, &q);
        m(3, 0) = t.positionKeys[k].position[0];
        m(3, 1) = t.positionKeys[k].position[1];
        m(3, 2) = t.positionKeys[k].position[2];
        out.push_back(m);
    }
    return out;
}

// Skinned positions of every vertex under `bones`, as the player computes them.
std::vector<D3DXVECTOR3> Skin(const Loaded& l, const std::vector<D3DXMATRIX>& bones) {
    std::vector<D3DXVECTOR3> out;
    for (const auto& mesh : l.model.meshes)
        for (const auto& v : mesh.vertices) {
            D3DXVECTOR3 p(0, 0, 0);
            for (const auto& w : v.weights) {
                const D3DXVECTOR3 o(w.offset[0], w.offset[1], w.offset[2]);
                D3DXVECTOR3 t;
                D3DXVec3TransformCoord(&t, &o, &bones[std::size_t(w.bone)]);
                p += t * w.weight;
            }
            out.push_back(v.weights.empty() ? D3DXVECTOR3(v.position[0], v.position[1], v.position[2])
                                            : p);
        }
    return out;
}

TEST(BeastFiles, ParseAndTheAnimationFillsItsWholeFile) {
    for (const Unit& u : kUnits) {
        SCOPED_TRACE(u.name);
        LOAD_OR_SKIP(u, l);
        ASSERT_FALSE(l.model.bones.empty());
        std::size_t expected = 14;
        for (const auto& t : l.anim.tracks)
            expected += 8 + t.positionKeys.size() * 16 + t.rotationKeys.size() * 20;
        EXPECT_EQ(expected, l.esaBytes.size()) << "records beyond the model's bones or cut short";
        std::size_t records = 0;
        ASSERT_EQ(S_OK, esa::CountAnimationTracks(l.esaBytes, records));
        EXPECT_EQ(l.model.bones.size(), records);
        for (std::size_t b = 0; b < l.model.bones.size(); ++b)
            EXPECT_LT(l.model.bones[b].parent, int(b)) << "parents come before their children";
    }
}

TEST(BeastFiles, KeysEveryIntervalWithTheLastAtTheLengthAndUnitRotations) {
    for (const Unit& u : kUnits) {
        SCOPED_TRACE(u.name);
        LOAD_OR_SKIP(u, l);
        EXPECT_EQ(u.length, l.anim.animLength);
        EXPECT_EQ(100, l.anim.keyInterval);
        const std::size_t keys = std::size_t((u.length + 99) / 100) + 1;
        for (std::size_t b = 0; b < l.anim.tracks.size(); ++b) {
            const auto& t = l.anim.tracks[b];
            SCOPED_TRACE(l.model.bones[b].name);
            ASSERT_EQ(keys, t.positionKeys.size());
            ASSERT_EQ(keys, t.rotationKeys.size());
            for (std::size_t k = 0; k < keys; ++k) {
                const int want = k + 1 == keys ? u.length : int(k) * 100;
                EXPECT_EQ(want, t.positionKeys[k].time);
                EXPECT_EQ(want, t.rotationKeys[k].time);
                const auto& q = t.rotationKeys[k].quaternion;
                EXPECT_NEAR(1.0f, std::sqrt(q[0] * q[0] + q[1] * q[1] + q[2] * q[2] + q[3] * q[3]), 1e-3f);
            }
        }
    }
}

TEST(BeastFiles, LoopsAreSeamless) {
    for (const Unit& u : kUnits) {
        SCOPED_TRACE(u.name);
        LOAD_OR_SKIP(u, l);
        const float tolerance = 1e-3f * (l.hi.y - l.lo.y);
        for (std::size_t b = 0; b < l.anim.tracks.size(); ++b) {
            const auto& t = l.anim.tracks[b];
            SCOPED_TRACE(l.model.bones[b].name);
            const auto& p0 = t.positionKeys.front().position;
            const auto& p1 = t.positionKeys.back().position;
            for (int i = 0; i < 3; ++i) EXPECT_NEAR(p0[i], p1[i], tolerance);
            const auto& q0 = t.rotationKeys.front().quaternion;
            const auto& q1 = t.rotationKeys.back().quaternion;
            const float dot = q0[0] * q1[0] + q0[1] * q1[1] + q0[2] * q1[2] + q0[3] * q1[3];
            EXPECT_GT(std::fabs(dot), 1.0f - 1e-5f);
        }
    }
}

TEST(BeastFiles, SkinsLeadWithTheirLargestInfluenceAndStayInBudget) {
    for (const Unit& u : kUnits) {
        SCOPED_TRACE(u.name);
        LOAD_OR_SKIP(u, l);
        std::size_t faces = 0;
        for (const auto& mesh : l.model.meshes) {
            EXPECT_LT(mesh.renderVertices.size(), std::size_t(emd::kMaxRenderVertices));
            for (const auto& g : mesh.groups) faces += g.FaceCount();
            for (const auto& v : mesh.vertices) {
                ASSERT_FALSE(v.weights.empty()) << "every vertex follows a bone";
                float sum = 0;
                for (const auto& w : v.weights) {
                    ASSERT_GE(w.bone, 0);
                    ASSERT_LT(std::size_t(w.bone), l.model.bones.size());
                    EXPECT_LE(w.weight, v.weights.front().weight);
                    sum += w.weight;
                }
                EXPECT_NEAR(1.0f, sum, 1e-3f);
            }
        }
        EXPECT_LE(faces, 7000u);
    }
}

TEST(BeastFiles, MaterialsNameTheirOwnTexturesWithinBudget) {
    std::uintmax_t bytes = 0;
    for (const Unit& u : kUnits) {
        SCOPED_TRACE(u.name);
        LOAD_OR_SKIP(u, l);
        for (const auto& m : l.model.materials) {
            EXPECT_EQ(0u, m.colourMap.rfind(u.texturePrefix, 0)) << m.colourMap;
            EXPECT_FALSE(emd::IsTranslucentMap(m.colourMap)) << "opaque hides and wood";
            const auto dot = m.colourMap.rfind('.');
            ASSERT_NE(std::string::npos, dot);
            EXPECT_EQ(m.colourMap.substr(0, dot) + "DOT3" + m.colourMap.substr(dot), m.bumpMap);
            for (const std::string& name : {m.colourMap, m.bumpMap}) {
                const fs::path p = kMedia / "Texture" / name;
                ASSERT_TRUE(fs::exists(p)) << name;
            }
        }
        for (const auto& e : fs::directory_iterator(kMedia / "Texture"))
            if (e.path().filename().string().rfind(u.texturePrefix, 0) == 0) bytes += e.file_size();
    }
    EXPECT_LE(bytes, 1536u * 1024u);
}

// The beast's back, scaled to its height, carries the drums' saddle 57 above the road, under
// the point 2 ahead of its box centre (model -Z is forward).
TEST(BeastPlacement, TheBackIsAtTheDrumsLift) {
    LOAD_OR_SKIP(kBeast, l);
    const float s = l.Scale(kBeast);
    const float cx = (l.lo.x + l.hi.x) / 2, cz = (l.lo.z + l.hi.z) / 2 - 2.0f / s;
    float back = -1e30f;
    for (const auto& v : l.model.meshes[0].vertices)
        if (std::fabs(v.position[0] - cx) < 4 / s && std::fabs(v.position[2] - cz) < 8 / s)
            back = std::max(back, (v.position[1] - l.lo.y) * s);
    EXPECT_NEAR(57.0f, back, 2.5f);
    // Long enough for the drums' 40-unit saddle to sit behind its shoulders.
    EXPECT_GT((l.hi.z - l.lo.z) * s, 100.0f);
}

// The saddle is the drums' box bottom: a flat base spread over the footprint, not a strap end.
TEST(BeastPlacement, TheDrumsStandOnAFlatSaddle) {
    LOAD_OR_SKIP(kDrums, l);
    float x0 = 1e30f, x1 = -1e30f, z0 = 1e30f, z1 = -1e30f;
    for (const auto& v : l.model.meshes[0].vertices)
        if (v.position[1] - l.lo.y < 0.02f * (l.hi.y - l.lo.y)) {
            x0 = std::min(x0, v.position[0]), x1 = std::max(x1, v.position[0]);
            z0 = std::min(z0, v.position[2]), z1 = std::max(z1, v.position[2]);
        }
    EXPECT_GT(x1 - x0, 0.7f * (l.hi.x - l.lo.x));
    EXPECT_GT(z1 - z0, 0.7f * (l.hi.z - l.lo.z));
}

// The troll's hands lead its box: 28 to 40 units ahead of its centre when 49.2 tall, where the
// tower's rear is, and the front-most point is a hand.
TEST(BeastPlacement, TheTrollPushesWithItsHandsAhead) {
    LOAD_OR_SKIP(kTroll, l);
    const float s = l.Scale(kTroll);
    const float reach = ((l.lo.z + l.hi.z) / 2 - l.lo.z) * s;
    EXPECT_GE(reach, 28.0f);
    EXPECT_LE(reach, 40.0f);
    const emd::SourceVertex* front = nullptr;
    for (const auto& v : l.model.meshes[0].vertices)
        if (!front || v.position[2] < front->position[2]) front = &v;
    ASSERT_NE(nullptr, front);
    EXPECT_EQ(0u, l.model.bones[std::size_t(front->weights.front().bone)].name.rfind("hand", 0));
}

// Over the whole loop the feet stay on the road: no key sinks the lowest point more than a
// little below the box bottom or lifts the body off the ground; the drums' saddle never moves.
TEST(BeastPlacement, FeetAndSaddleStayOnTheGround) {
    for (const Unit& u : kUnits) {
        SCOPED_TRACE(u.name);
        LOAD_OR_SKIP(u, l);
        const float s = l.Scale(u);
        for (std::size_t k = 0; k < l.anim.tracks[0].positionKeys.size(); ++k) {
            const auto posed = Skin(l, PoseAtKey(l, k));
            float lowest = 1e30f;
            for (const auto& p : posed) lowest = std::min(lowest, p.y);
            const float drop = (lowest - l.lo.y) * s;
            EXPECT_GT(drop, u.name == kDrums.name ? -0.05f : -1.5f) << "key " << k;
            EXPECT_LT(drop, u.name == kDrums.name ? 0.05f : 1.5f) << "key " << k;
        }
    }
}

}  // namespace
