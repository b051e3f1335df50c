// The glTF converter against small hand-made files: material mapping, vertex merging, the z mirror
// and winding, skin offsets and pose keys checked by skinning the way the scene does.
#include "tools/meshconv/convert.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <cmath>
#include <cstring>
#include <fstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "d3dutil/d3dx8math.h"
#include "model/emd_format.h"
#include "model/esa_format.h"

namespace {

using meshconv::ConvertError;
using meshconv::ConvertFile;
using meshconv::ConvertOptions;
using meshconv::ConvertResult;

std::string DataPath(const std::string& name) { return std::string(GRIM_SOURCE_DIR) + "/tests/meshconv/data/" + name; }

ConvertResult Convert(const std::string& name, ConvertOptions o = {}) { return ConvertFile(DataPath(name), o); }

// The file as the program reads it: written, read back, render data built.
model::emd::ModelFile RoundTrip(const model::emd::ModelFile& m) {
    std::vector<std::uint8_t> bytes;
    EXPECT_EQ(model::emd::WriteModel(m, bytes), S_OK);
    model::emd::ModelFile back;
    EXPECT_EQ(model::emd::ReadModel(bytes, back), S_OK);
    return back;
}

D3DXVECTOR3 V(const float* f) { return {f[0], f[1], f[2]}; }
D3DXVECTOR3 Mirror(const nlohmann::json& p) { return {p[0].get<float>(), p[1].get<float>(), -p[2].get<float>()}; }

void ExpectNear(const D3DXVECTOR3& a, const D3DXVECTOR3& b, float tol, const std::string& what) {
    EXPECT_NEAR(a.x, b.x, tol) << what;
    EXPECT_NEAR(a.y, b.y, tol) << what;
    EXPECT_NEAR(a.z, b.z, tol) << what;
}

// Every triangle of the model, wound as the file stores it, against its corners' normals: front
// faces are clockwise for Direct3D, so cross(b - a, c - a) points along the normal.
void ExpectClockwiseFrontFaces(const model::emd::Mesh& mesh) {
    for (const auto& g : mesh.groups)
        for (std::size_t t = 0; t < g.vertexIndices.size(); t += 3) {
            const D3DXVECTOR3 a = V(mesh.vertices[g.vertexIndices[t]].position);
            const D3DXVECTOR3 b = V(mesh.vertices[g.vertexIndices[t + 1]].position);
            const D3DXVECTOR3 c = V(mesh.vertices[g.vertexIndices[t + 2]].position);
            D3DXVECTOR3 e1 = b - a, e2 = c - a, cr;
            D3DXVec3Cross(&cr, &e1, &e2);
            const auto& n = mesh.vertices[g.vertexIndices[t]].normals[g.normalIndices[t]].normal;
            D3DXVECTOR3 nv = V(n);
            EXPECT_GT(D3DXVec3Dot(&cr, &nv), 0.0f) << mesh.name << " triangle " << t / 3;
        }
}

TEST(MeshconvQuad, MaterialsComeFromTexturesSamplersFactorsAndExtras) {
    const ConvertResult r = Convert("quad.gltf");
    ASSERT_EQ(r.model.materials.size(), 2u);
    const auto& stone = r.model.materials[0];
    EXPECT_EQ(stone.colourMap, "Stone Wall.jpg");     // basename of the uri, %20 decoded
    EXPECT_EQ(stone.bumpMap, "StoneWallDOT3.jpg");    // backslash path stripped too
    EXPECT_EQ(stone.wrapU, 1);                        // REPEAT
    EXPECT_EQ(stone.wrapV, 0);                        // MIRRORED_REPEAT
    EXPECT_FLOAT_EQ(stone.diffuse[0], 0.5f);
    EXPECT_FLOAT_EQ(stone.diffuse[1], 0.25f);
    EXPECT_FLOAT_EQ(stone.ambient[1], 0.1f);          // diffuse * 0.4
    EXPECT_FLOAT_EQ(stone.ambient[2], 0.4f);
    EXPECT_FLOAT_EQ(stone.specular[0], 0.2f);
    EXPECT_FLOAT_EQ(stone.storedPower, 0.1f);

    const auto& leaf = r.model.materials[1];
    EXPECT_EQ(leaf.colourMap, "leaf.tga");            // extras win over the image's name
    EXPECT_EQ(leaf.bumpMap, "light.jpg");             // occlusion map, embedded image: its name
    EXPECT_EQ(leaf.wrapU, 0);                         // extras
    EXPECT_EQ(leaf.wrapV, 1);                         // sampler wrapT REPEAT
    EXPECT_FLOAT_EQ(leaf.diffuse[0], 1.0f);
    EXPECT_FLOAT_EQ(leaf.ambient[0], 0.1f);
    EXPECT_FLOAT_EQ(leaf.ambient[2], 0.3f);
    EXPECT_FLOAT_EQ(leaf.specular[1], 0.7f);
}

TEST(MeshconvQuad, GeometryIsPlacedMirroredAndGroupedByMaterial) {
    const ConvertResult r = Convert("quad.gltf");
    ASSERT_EQ(r.model.meshes.size(), 1u);
    const model::emd::Mesh m = RoundTrip(r.model).meshes[0];
    EXPECT_EQ(m.name, "Quad");
    ASSERT_EQ(m.vertices.size(), 4u);  // both primitives' corners merge
    ASSERT_EQ(m.groups.size(), 2u);
    EXPECT_EQ(m.groups[0].material, 0);
    EXPECT_EQ(m.groups[1].material, 1);
    EXPECT_EQ(m.groups[0].FaceCount(), 1u);
    EXPECT_FALSE(m.groups[0].translucent);
    EXPECT_TRUE(m.groups[1].translucent);
    ASSERT_EQ(m.renderVertices.size(), 4u);
    // glTF corner 2 is (1, 1, 0) + node translation (10, 0, 5), with uv0 (2, -1), uv1 (0.5, 0.5);
    // the reversed corner order stores it second.
    const auto& g0 = m.groups[0];
    const auto& v2 = m.vertices[g0.vertexIndices[1]];
    ExpectNear(V(v2.position), {11, 1, -5}, 1e-6f, "position");
    ExpectNear(V(v2.normals[0].normal), {0, 0, -1}, 1e-6f, "normal");
    ASSERT_EQ(v2.channels.size(), 2u);
    const auto& rv = m.renderVertices[g0.indices[1]];
    EXPECT_FLOAT_EQ(rv.uv0[0], 2.0f);
    EXPECT_FLOAT_EQ(rv.uv0[1], -1.0f);
    EXPECT_FLOAT_EQ(rv.uv1[0], 0.5f);
    EXPECT_FLOAT_EQ(rv.uv1[1], 0.5f);
    ExpectClockwiseFrontFaces(m);
}

TEST(MeshconvCube, HardEdgesGiveThreeNormalsPerCornerAndFlatNormalsPointOutwards) {
    const ConvertResult r = Convert("cube.gltf");
    ASSERT_EQ(r.model.meshes.size(), 3u);
    const auto model = RoundTrip(r.model);
    for (const auto& m : model.meshes) {
        SCOPED_TRACE(m.name);
        ASSERT_EQ(m.vertices.size(), 8u);
        EXPECT_EQ(m.renderVertices.size(), 24u);
        ASSERT_EQ(m.groups.size(), 1u);
        EXPECT_EQ(m.groups[0].FaceCount(), 12u);
        const float centreY = m.name == "FlatCube" ? 5.0f : m.name == "MirroredCube" ? -5.0f : 0.0f;
        for (const auto& v : m.vertices) {
            ASSERT_EQ(v.normals.size(), 3u);
            EXPECT_TRUE(v.channels.empty());
            for (const auto& n : v.normals) {
                const D3DXVECTOR3 nv = V(n.normal);
                EXPECT_NEAR(D3DXVec3Length(&nv), 1.0f, 1e-6f);
                // outward: along the corner's offset from the centre on exactly one axis
                D3DXVECTOR3 rel = V(v.position) - D3DXVECTOR3(0, centreY, 0);
                EXPECT_NEAR(D3DXVec3Dot(&nv, &rel), 1.0f, 1e-5f);
            }
        }
        ExpectClockwiseFrontFaces(m);
    }
    EXPECT_EQ(model.meshes[1].name, "FlatCube");
    EXPECT_EQ(model.meshes[2].name, "MirroredCube");
}

// ---------------------------------------------------------------------------------------------

struct SkinFile {
    nlohmann::json extras;
    SkinFile() {
        std::ifstream in(DataPath("skin.gltf"));
        extras = nlohmann::json::parse(in)["scenes"][0]["extras"];
    }
};

// glTF matrix (column-major array) -> model-space row-vector matrix: S * M * S, transposed.
D3DXMATRIX ConvertedPose(const nlohmann::json& columnMajor) {
    D3DXMATRIX m;
    for (int col = 0; col < 4; ++col)
        for (int row = 0; row < 4; ++row) {
            const float s = ((row == 2) != (col == 2)) ? -1.0f : 1.0f;
            m.m[col][row] = columnMajor[col * 4 + row].get<float>() * s;  // transposed
        }
    return m;
}

// A bone's matrix at `time`, as the scene's playback builds it.
D3DXMATRIX BoneMatrix(const model::esa::BoneTrack& t, float time, int interval) {
    int k = static_cast<int>(time / interval);
    k = std::min(k, static_cast<int>(t.positionKeys.size()) - 2);
    const auto& p0 = t.positionKeys[k];
    const auto& p1 = t.positionKeys[k + 1];
    const float f = (time - p0.time) / static_cast<float>(p1.time - p0.time);
    D3DXQUATERNION a, b, q;
    std::memcpy(&a, t.rotationKeys[k].quaternion, 16);
    std::memcpy(&b, t.rotationKeys[k + 1].quaternion, 16);
    D3DXQuaternionSlerp(&q, &a, &b, f);
    D3DXMATRIX m;
    D3DXMatrixRotationQuaternion(&m, &q);
    for (int i = 0; i < 3; ++i) m.m[3][i] = p0.position[i] + (p1.position[i] - p0.position[i]) * f;
    return m;
}

D3DXVECTOR3 Skin(const model::emd::SourceVertex& v, const model::esa::AnimationFile& a, float time) {
    D3DXVECTOR3 sum(0, 0, 0);
    for (const auto& w : v.weights) {
        const D3DXMATRIX m = BoneMatrix(a.tracks[w.bone], time, a.keyInterval);
        D3DXVECTOR3 o = V(w.offset), p;
        D3DXVec3TransformCoord(&p, &o, &m);
        sum += p * w.weight;
    }
    return sum;
}

const model::emd::Mesh& MeshNamed(const model::emd::ModelFile& m, const std::string& name) {
    for (const auto& mesh : m.meshes)
        if (mesh.name == name) return mesh;
    throw std::runtime_error("no mesh " + name);
}

ConvertResult ConvertSkin(ConvertOptions o = {}) {
    o.wantAnimation = true;
    return Convert("skin.gltf", o);
}

TEST(MeshconvSkin, BonesComeParentFirstAndInfluencesAreSortedAndRenormalised) {
    const ConvertResult r = ConvertSkin();
    ASSERT_EQ(r.model.bones.size(), 3u);
    EXPECT_EQ(r.model.bones[0], (model::emd::Bone{"Lower", -1}));
    EXPECT_EQ(r.model.bones[1], (model::emd::Bone{"Upper", 0}));
    EXPECT_EQ(r.model.bones[2], (model::emd::Bone{"Tip", 1}));
    const auto& verts = MeshNamed(r.model, "StripMesh").vertices;
    ASSERT_EQ(verts.size(), 6u);
    // glTF vertex 3: 0.25 on joint 0 (Upper), 0.75 on joint 1 (Lower) -> Lower first.
    // glTF vertex 4: 0.6 Upper, 0.2 Tip, summing to 0.8 -> 0.75, 0.25.
    bool sawThree = false, sawFour = false;
    for (const auto& v : verts) {
        float sum = 0;
        for (std::size_t k = 0; k < v.weights.size(); ++k) {
            sum += v.weights[k].weight;
            if (k) {
                EXPECT_GE(v.weights[k - 1].weight, v.weights[k].weight);
            }
            for (const auto& n : v.normals) EXPECT_EQ(n.weights[k].bone, v.weights[k].bone);
        }
        EXPECT_NEAR(sum, 1.0f, 1e-6f);
        const D3DXVECTOR3 p = V(v.position);
        auto at = [&](float x, float y) { return std::fabs(p.x - x) < 1e-5f && std::fabs(p.y - y) < 1e-5f; };
        if (at(1, 1)) {
            ASSERT_EQ(v.weights.size(), 2u);
            EXPECT_EQ(v.weights[0].bone, 0);
            EXPECT_EQ(v.weights[1].bone, 1);
            EXPECT_FLOAT_EQ(v.weights[0].weight, 0.75f);
            sawThree = true;
        }
        if (at(0, 2)) {
            ASSERT_EQ(v.weights.size(), 2u);
            EXPECT_EQ(v.weights[0].bone, 1);
            EXPECT_EQ(v.weights[1].bone, 2);
            EXPECT_FLOAT_EQ(v.weights[0].weight, 0.75f);
            EXPECT_FLOAT_EQ(v.weights[1].weight, 0.25f);
            sawFour = true;
        }
    }
    EXPECT_TRUE(sawThree);
    EXPECT_TRUE(sawFour);
}

TEST(MeshconvSkin, KeysEvery100MsWithWrittenQuaternionsMatchingTheConvertedPoses) {
    const ConvertResult r = ConvertSkin();
    ASSERT_TRUE(r.animation);
    const auto& a = *r.animation;
    EXPECT_EQ(a.animLength, 1000);
    EXPECT_EQ(a.keyInterval, 100);
    ASSERT_EQ(a.tracks.size(), 3u);
    for (const auto& t : a.tracks) {
        ASSERT_EQ(t.positionKeys.size(), 11u);
        ASSERT_EQ(t.rotationKeys.size(), 11u);
        for (int k = 0; k < 11; ++k) {
            EXPECT_EQ(t.positionKeys[k].time, k * 100);
            EXPECT_EQ(t.rotationKeys[k].time, k * 100);
            const float* q = t.rotationKeys[k].quaternion;
            EXPECT_NEAR(q[0] * q[0] + q[1] * q[1] + q[2] * q[2] + q[3] * q[3], 1.0f, 1e-5f);
        }
    }
    // The last key against the glTF pose at 1 s, converted as a matrix. The armature's scale of 0.5
    // lives in the offsets, so the key's rotation is the converted pose with that scale divided out.
    const SkinFile file;
    const struct { int bone; const char* key; } checks[] = {{0, "lowerAt1000"}, {1, "upperAt1000"}};
    for (const auto& c : checks) {
        SCOPED_TRACE(c.key);
        const D3DXMATRIX want = ConvertedPose(file.extras[c.key]);
        const auto& track = a.tracks[c.bone];
        D3DXQUATERNION q;
        std::memcpy(&q, track.rotationKeys.back().quaternion, 16);
        D3DXMATRIX got;
        D3DXMatrixRotationQuaternion(&got, &q);
        for (int row = 0; row < 3; ++row)
            for (int col = 0; col < 3; ++col) EXPECT_NEAR(got.m[row][col], want.m[row][col] / 0.5f, 1e-5f);
        for (int i = 0; i < 3; ++i) EXPECT_NEAR(track.positionKeys.back().position[i], want.m[3][i], 1e-5f);
    }
}

TEST(MeshconvSkin, SceneSkinningMatchesGltfSkinningMirrored) {
    const SkinFile file;
    for (double scale : {1.0, 2.0}) {
        SCOPED_TRACE(scale);
        ConvertOptions o;
        o.scale = scale;
        const ConvertResult r = ConvertSkin(o);
        const auto& verts = MeshNamed(r.model, "StripMesh").vertices;
        const auto& rest = file.extras["rest"];
        const auto& end = file.extras["t1000"];
        int matched = 0;
        for (std::size_t i = 0; i < rest.size(); ++i) {
            const D3DXVECTOR3 want = Mirror(rest[i]) * static_cast<float>(scale);
            for (const auto& v : verts) {
                D3DXVECTOR3 d = V(v.position) - want;
                if (D3DXVec3Length(&d) > 1e-4f) continue;
                ++matched;
                // At rest (key 0) and at the end (t = 1000, the last key) the scene's skinning puts
                // the vertex where glTF's skinning does, mirrored.
                ExpectNear(Skin(v, *r.animation, 0.0f), want, 1e-4f, "rest " + std::to_string(i));
                ExpectNear(Skin(v, *r.animation, 1000.0f), Mirror(end[i]) * static_cast<float>(scale), 1e-4f,
                           "t = 1000, vertex " + std::to_string(i));
                // Normals follow the first influence: its bone-space normal through the rest pose
                // gives back the stored model-space normal.
                const D3DXMATRIX m0 = BoneMatrix(r.animation->tracks[v.weights[0].bone], 0.0f, 100);
                for (const auto& n : v.normals) {
                    D3DXVECTOR3 bn = V(n.weights[0].offset), out;
                    D3DXVec3TransformNormal(&out, &bn, &m0);
                    ExpectNear(out, V(n.normal), 1e-5f, "normal");
                }
            }
        }
        EXPECT_EQ(matched, 6);
    }
}

TEST(MeshconvSkin, MeshParentedToABoneFollowsItRigidly) {
    const SkinFile file;
    const ConvertResult r = ConvertSkin();
    ASSERT_EQ(r.model.meshes.size(), 2u);
    const auto& hat = MeshNamed(r.model, "Hat");
    ASSERT_EQ(hat.vertices.size(), 3u);
    for (std::size_t i = 0; i < 3; ++i) {
        const auto& v = hat.vertices[i];
        ASSERT_EQ(v.weights.size(), 1u);
        EXPECT_EQ(v.weights[0].bone, 1);  // Upper
        EXPECT_FLOAT_EQ(v.weights[0].weight, 1.0f);
        ExpectNear(Skin(v, *r.animation, 0.0f), V(v.position), 1e-5f, "rest " + std::to_string(i));
        ExpectNear(Skin(v, *r.animation, 1000.0f), Mirror(file.extras["hatAt1000"][i]), 1e-4f,
                   "t = 1000, vertex " + std::to_string(i));
    }
    ExpectClockwiseFrontFaces(hat);
}

TEST(MeshconvSkin, AnimationChoiceLengthAndStepInterpolation) {
    ConvertOptions o;
    o.animationName = "Jump";  // STEP: Lower jumps to (5, 5, 5) at 0.4 s; its last key is 0.4 s
    ConvertResult r = ConvertSkin(o);
    ASSERT_EQ(r.animation->animLength, 400);
    const auto& lower = r.animation->tracks[0].positionKeys;
    ASSERT_EQ(lower.size(), 5u);
    for (int k = 1; k < 4; ++k)
        for (int i = 0; i < 3; ++i) EXPECT_FLOAT_EQ(lower[k].position[i], lower[0].position[i]);
    EXPECT_GT(std::fabs(lower[4].position[0] - lower[3].position[0]), 1.0f);

    // Keys from 0.5 s to 1 s: the loop starts at the first key and lasts 500 ms.
    o.animationName = "Late";
    const auto jumpStart = lower[0];
    r = ConvertSkin(o);
    ASSERT_EQ(r.animation->animLength, 500);
    const auto& late = r.animation->tracks[0].positionKeys;
    ASSERT_EQ(late.size(), 6u);
    for (int i = 0; i < 3; ++i) EXPECT_FLOAT_EQ(late[0].position[i], jumpStart.position[i]);
    EXPECT_GT(std::fabs(late[5].position[0] - late[0].position[0]), 0.4f);

    o.lengthMs = 1333;
    r = ConvertSkin(o);
    EXPECT_EQ(r.animation->animLength, 1333);
    const auto& keys = r.animation->tracks[2].rotationKeys;
    ASSERT_EQ(keys.size(), 15u);
    EXPECT_EQ(keys[13].time, 1300);
    EXPECT_EQ(keys[14].time, 1333);

    o.animationName = "Walk";
    try {
        ConvertSkin(o);
        FAIL() << "an unknown animation name was accepted";
    } catch (const ConvertError& e) {
        EXPECT_NE(std::string(e.what()).find("\"Bend\", \"Jump\", \"Late\""), std::string::npos) << e.what();
    }
}

// ---------------------------------------------------------------------------------------------

TEST(MeshconvBadInput, IsRefusedWithAMessageNamingTheProblem) {
    const struct { const char* file; const char* says; } cases[] = {
        {"bad_missing_buffer.gltf", "bad glTF"},
        {"bad_json.gltf", "bad glTF"},
        {"bad_index_range.gltf", "out of"},
        {"bad_short_view.gltf", "runs past the end"},
        {"bad_lines.gltf", "only triangles"},
        {"bad_quads.gltf", "not a whole number of triangles"},
        {"bad_vertex_index.gltf", "index 7 out of range"},
        {"bad_huge_scale.gltf", "does not fit a 32-bit float"},
        {"no_such_file.gltf", "cannot open"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.file);
        try {
            Convert(c.file);
            ADD_FAILURE() << "accepted";
        } catch (const ConvertError& e) {
            const std::string msg = e.what();
            EXPECT_NE(msg.find(c.says), std::string::npos) << msg;
            EXPECT_EQ(msg.find('\n'), std::string::npos) << msg;
        }
    }
}

}  // namespace
