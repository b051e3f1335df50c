// Animation clock and software skinning: wrapping, key choice and blend, weighted positions,
// first-influence normals and tangents, the origin rule, static vertices.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

#include "model_test_support.h"

namespace {

using model::Model;
using namespace model_test;

model::emd::SkinWeight Influence(int bone, float weight, D3DXVECTOR3 v) { return {bone, weight, {v.x, v.y, v.z}}; }
D3DXQUATERNION TurnY(float degrees) {  // about +y, D3DX sense
    const float h = degrees * 0.5f * 0.017453292f;
    return D3DXQUATERNION(0, std::sin(h), 0, std::cos(h));
}

class ModelSkinningTest : public ::testing::Test {
protected:
    void SetUp() override {  // planes (0, 0, 0, 1): nothing is culled
        D3DXMATRIX keep(0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1), identity;
        D3DXMatrixIdentity(&identity);
        model::UpdateFrustumPlanes(keep, identity);
    }
    // Bones "hips" and "arm"; render vertices in order:
    //   0, 1: v0, bone 0 at offset (1, 0, 0), bone-space normal (0, 0, -1), two uv variants;
    //   2, 3: v1, half bone 0 at (2, 0, 0), half bone 1 at (0, 2, 0); normal entry 0 lists
    //         bone 0 first, entry 1 lists bone 1 first;
    //   4:    v2 without influences;   5: v3, bone 0 at offset (0, 0, 0).
    static ModelFile SkinnedFile() {
        ModelFile file;
        file.bones = {{"hips", -1}, {"arm", 0}};
        SourceVertex v0 = StaticVertex(1, 0, 0), v1 = StaticVertex(1, 1, 0), v2 = StaticVertex(7, 8, 9, 0, 1, 0),
                     v3 = StaticVertex(3, 3, 3, 0, 1, 0);
        v0.channels[0].push_back({0.5f, 0.5f});
        v0.weights = {Influence(0, 1, {1, 0, 0})};
        v0.normals[0].weights = {Influence(0, 1, {0, 0, -1})};
        v1.weights = {Influence(0, 0.5f, {2, 0, 0}), Influence(1, 0.5f, {0, 2, 0})};
        v1.normals[0].weights = {Influence(0, 0.5f, {1, 0, 0}), Influence(1, 0.5f, {0, 1, 0})};
        v1.normals.push_back({{0, 1, 0}, {Influence(1, 0.5f, {0, 0, 1}), Influence(0, 0.5f, {1, 0, 0})}});
        v3.weights = {Influence(0, 1, {0, 0, 0})};
        v3.normals[0].weights = {Influence(0, 1, {0, 1, 0})};
        Mesh mesh;
        mesh.name = "body";
        mesh.vertices = {v0, v1, v2, v3};
        model::emd::FaceGroup g;
        g.vertexIndices = {0, 1, 2, 0, 1, 3};
        g.normalIndices = {0, 0, 0, 0, 1, 0};
        g.uvIndices = {{0, 0, 0, 1, 0, 0}};
        mesh.groups = {g};
        file.meshes = {mesh};
        return file;
    }
    // Bone 0 moves 1 unit along +x and turns 9 degrees about y per 100 ms; bone 1 rests at (0, 5, 0).
    static model::esa::AnimationFile Animation(int length) {
        return {length, 100,
                {Track(length, 100, [](int t) { return D3DXVECTOR3(t / 100.0f, 0, 0); }, [](int t) { return TurnY(t * 0.09f); }),
                 Track(length, 100, [](int) { return D3DXVECTOR3(0, 5, 0); }, NoTurn)}};
    }
    void Load(Model& m, int length = 1000) {
        ASSERT_EQ(m.LoadModelFromBytes(Bytes(SkinnedFile())), S_OK);
        ASSERT_EQ(m.LoadAnimationFromBytes(Bytes(Animation(length))), S_OK);
    }
    const model::emd::RenderVertex* Vertices(const Model& m) { return stage_.RenderVertices(m.Meshes()[0].vertexBuffer); }
    FakeStage stage_;
};

TEST_F(ModelSkinningTest, ClockWrapsByLengthsAndOnlyRunsWithAnAnimation) {
    Model m(stage_.pool.get(), stage_.textures.get());
    Load(m);
    EXPECT_FALSE(m.PoseDirty());  // a fresh animation keeps the file's positions
    m.SetTime(2500);
    EXPECT_FLOAT_EQ(m.AnimTime(), 500.0f);
    EXPECT_TRUE(m.PoseDirty());
    m.AdvanceTime(500);
    EXPECT_FLOAT_EQ(m.AnimTime(), 1000.0f);  // the length itself is not wrapped
    m.AdvanceTime(3250);
    EXPECT_FLOAT_EQ(m.AnimTime(), 250.0f);
    m.AdvanceTime(1e12f);  // a huge step ends inside the loop instead of spinning
    EXPECT_LE(m.AnimTime(), 1000.0f);

    // A rejected animation (version 0x0200, or cut short) leaves a model whose clock never moves.
    Model still(stage_.pool.get(), stage_.textures.get());
    ASSERT_EQ(still.LoadModelFromBytes(Bytes(SkinnedFile())), S_OK);
    std::vector<std::uint8_t> bad = Bytes(Animation(1000)), cut = bad;
    bad[5] = 0x02;
    cut.resize(cut.size() - 4);
    EXPECT_EQ(still.LoadAnimationFromBytes(bad), E_FAIL);
    EXPECT_EQ(still.LoadAnimationFromBytes(cut), E_FAIL);
    still.AdvanceTime(300);
    EXPECT_EQ(still.AnimTime(), 0.0f);
    EXPECT_FALSE(still.PoseDirty());
    const auto* vb = stage_.VertexBufferOf(still.Meshes()[0].vertexBuffer);
    const int locks = vb->LockCount;
    still.RenderModel(stage_.device);
    EXPECT_EQ(vb->LockCount, locks);
}

TEST_F(ModelSkinningTest, KeyChoiceAndBlendFactor) {
    Model m(stage_.pool.get(), stage_.textures.get());
    Load(m, 1000);
    m.SetTime(1000);  // keys 9 and 10 with f = 1: the last key's pose
    m.ApplySkinning();
    const D3DXMATRIX& hips = m.Bone(0)->matrix;
    EXPECT_NEAR(hips.m[3][0], 10.0f, 1e-5);
    D3DXMATRIX last;
    const D3DXQUATERNION q = TurnY(90);
    D3DXMatrixRotationQuaternion(&last, &q);
    for (int r = 0; r < 3; ++r)
        for (int c = 0; c < 3; ++c) EXPECT_NEAR(hips.m[r][c], last.m[r][c], 1e-5);

    Model shorter(stage_.pool.get(), stage_.textures.get());
    Load(shorter, 833);
    shorter.SetTime(820);  // keys 800 and 833 with f = 20/33
    shorter.ApplySkinning();
    const float f = 20.0f / 33.0f;
    EXPECT_NEAR(shorter.Bone(0)->matrix.m[3][0], 8.0f + 0.33f * f, 1e-5);
    D3DXQUATERNION blended;
    const D3DXQUATERNION a = TurnY(72), b = TurnY(833 * 0.09f);
    D3DXQuaternionSlerp(&blended, &a, &b, f);
    D3DXMATRIX expected;
    D3DXMatrixRotationQuaternion(&expected, &blended);
    for (int r = 0; r < 3; ++r)
        for (int c = 0; c < 3; ++c) EXPECT_NEAR(shorter.Bone(0)->matrix.m[r][c], expected.m[r][c], 1e-6);
    shorter.SetTime(250);
    shorter.ApplySkinning();
    EXPECT_NEAR(shorter.Bone(0)->matrix.m[3][0], 2.5f, 1e-5);
    EXPECT_EQ(shorter.Bone(1)->matrix.m[3][1], 5.0f);
}

TEST_F(ModelSkinningTest, PositionsBlendAllInfluencesNormalsFollowTheFirst) {
    Model m(stage_.pool.get(), stage_.textures.get());
    Load(m);
    ASSERT_EQ(m.Meshes()[0].renderVertexCount, 6u);
    const model::emd::RenderVertex untouched = Vertices(m)[4];
    m.SetTime(0);  // bone 0 at the origin unturned, bone 1 at (0, 5, 0)
    m.RenderModel(stage_.device);
    const auto* v = Vertices(m);
    for (int r : {0, 1}) {  // every variant of v0 gets position, normal and tangent (0, n.z, -n.y)
        EXPECT_EQ(v[r].position[0], 1.0f);
        EXPECT_EQ(v[r].normal[2], -1.0f);
        EXPECT_EQ(v[r].tangent[0], 0.0f);
        EXPECT_EQ(v[r].tangent[1], -1.0f);
        EXPECT_EQ(v[r].tangent[2], 0.0f);
    }
    EXPECT_EQ(v[1].uv0[0], 0.5f);  // texture coordinates are never rewritten
    EXPECT_FLOAT_EQ(v[2].position[0], 1.0f);  // halfway between (2, 0, 0) and (0, 2, 0) + (0, 5, 0)
    EXPECT_FLOAT_EQ(v[2].position[1], 3.5f);
    EXPECT_EQ(v[2].normal[0], 1.0f);  // unweighted, from each entry's first influence
    EXPECT_EQ(v[3].normal[2], 1.0f);
    EXPECT_EQ(v[3].tangent[1], 1.0f);
    EXPECT_EQ(std::memcmp(&v[4], &untouched, sizeof untouched), 0);  // no influence: untouched

    m.SetTime(500);  // bone 0 at (5, 0, 0) turned 45 degrees: +x toward -z, -z toward -x
    m.RenderModel(stage_.device);
    v = Vertices(m);
    const float c = std::cos(45 * 0.017453292f);
    EXPECT_NEAR(v[0].position[0], 5 + c, 1e-5);
    EXPECT_NEAR(v[0].position[2], -c, 1e-5);
    EXPECT_NEAR(v[0].normal[0], -c, 1e-5);
    EXPECT_NEAR(v[0].normal[2], -c, 1e-5);
    EXPECT_NEAR(v[2].position[0], 0.5f * (5 + 2 * c), 1e-5);
    EXPECT_NEAR(v[2].position[2], -c, 1e-5);
    EXPECT_NEAR(v[2].normal[0], c, 1e-5);  // entry 0 follows bone 0
    EXPECT_EQ(v[3].normal[2], 1.0f);       // entry 1 follows bone 1, which does not turn
}

TEST_F(ModelSkinningTest, VertexLandingOnTheOriginKeepsItsPreviousPosition) {
    Model m(stage_.pool.get(), stage_.textures.get());
    Load(m);
    m.SetTime(0);  // v3 sits on bone 0, which is at the origin
    m.ApplySkinning();
    EXPECT_EQ(Vertices(m)[5].position[0], 3.0f);  // the file's position stays
    EXPECT_EQ(Vertices(m)[5].normal[1], 1.0f);    // the normal is still written
    EXPECT_EQ(Vertices(m)[5].tangent[2], -1.0f);
    m.SetTime(300);
    m.ApplySkinning();
    EXPECT_FLOAT_EQ(Vertices(m)[5].position[1], 0.0f);  // now on bone 0 at (3, 0, 0)
    m.SetTime(0);
    m.ApplySkinning();
    EXPECT_FLOAT_EQ(Vertices(m)[5].position[0], 3.0f);  // back at the origin: the last one stays
    EXPECT_FLOAT_EQ(Vertices(m)[5].position[1], 0.0f);
}

}  // namespace
