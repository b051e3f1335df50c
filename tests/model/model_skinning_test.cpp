// Animation loading, the clock and software skinning: key choice and blend, wrapping, weighted
// positions, first-influence normals and tangents, the origin rule, static vertices.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

#include "model/model.h"
#include "model_test_support.h"

namespace {

using model::Model;
using model::emd::SkinWeight;
using namespace model_test;

SkinWeight Influence(int bone, float weight, D3DXVECTOR3 v) {
    SkinWeight w;
    w.bone = bone;
    w.weight = weight;
    w.offset[0] = v.x;
    w.offset[1] = v.y;
    w.offset[2] = v.z;
    return w;
}

// Quaternion turning about +y by `degrees` (D3DX sense).
D3DXQUATERNION TurnY(float degrees) {
    const float h = degrees * 0.5f * 0.017453292f;
    return D3DXQUATERNION(0, std::sin(h), 0, std::cos(h));
}

class ModelSkinningTest : public ::testing::Test {
protected:
    void SetUp() override {
        // Planes (0, 0, 0, 1): nothing is culled.
        D3DXMATRIX keep(0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1), identity;
        D3DXMatrixIdentity(&identity);
        model::UpdateFrustumPlanes(keep, identity);
    }

    // Two bones; mesh 0 holds four vertices:
    //   0: bone 0 only, offset (1, 0, 0), normal (0, 0, -1) in bone space, two variants;
    //   1: half bone 0 at (2, 0, 0), half bone 1 at (0, 2, 0); normal entries follow bone 0 then
    //      bone 1 first (its second entry lists bone 1 first);
    //   2: no influences (a static part inside the skinned model);
    //   3: bone 0 with offset (0, 0, 0) (lands on the origin while bone 0 sits there).
    ModelFile SkinnedFile() const {
        ModelFile file;
        file.materials = {MakeMaterial("skin.jpg")};
        file.bones = {{"hips", -1}, {"arm", 0}};
        Mesh mesh;
        mesh.name = "body";
        SourceVertex v0 = StaticVertex(1, 0, 0, 0, 0, -1, 0, 0);
        v0.channels[0].push_back({0.5f, 0.5f});
        v0.weights = {Influence(0, 1, {1, 0, 0})};
        v0.normals[0].weights = {Influence(0, 1, {0, 0, -1})};
        SourceVertex v1 = StaticVertex(1, 1, 0, 1, 0, 0);
        v1.weights = {Influence(0, 0.5f, {2, 0, 0}), Influence(1, 0.5f, {0, 2, 0})};
        v1.normals[0].weights = {Influence(0, 0.5f, {1, 0, 0}), Influence(1, 0.5f, {0, 1, 0})};
        model::emd::NormalEntry second;
        second.normal[1] = 1;
        second.weights = {Influence(1, 0.5f, {0, 0, 1}), Influence(0, 0.5f, {1, 0, 0})};
        v1.normals.push_back(second);
        SourceVertex v2 = StaticVertex(7, 8, 9, 0, 1, 0);
        SourceVertex v3 = StaticVertex(3, 3, 3, 0, 1, 0);
        v3.weights = {Influence(0, 1, {0, 0, 0})};
        v3.normals[0].weights = {Influence(0, 1, {0, 1, 0})};
        mesh.vertices = {v0, v1, v2, v3};
        // Corners: v0 with uv 0 and uv 1 (two variants), v1 with each normal (two variants).
        model::emd::FaceGroup g;
        g.material = 0;
        g.vertexIndices = {0, 1, 2, 0, 1, 3};
        g.normalIndices = {0, 0, 0, 0, 1, 0};
        g.uvIndices = {{0, 0, 0, 1, 0, 0}};
        mesh.groups = {g};
        file.meshes = {mesh};
        return file;
    }

    // Bone 0 moves along +x by 1 per 100 ms and turns about y by 9 degrees per 100 ms; bone 1
    // stays at (0, 5, 0) unturned.
    model::esa::AnimationFile Animation(int length) const {
        model::esa::AnimationFile anim;
        anim.animLength = length;
        anim.keyInterval = 100;
        anim.tracks = {Track(length, 100, [](int t) { return D3DXVECTOR3(t / 100.0f, 0, 0); },
                             [](int t) { return TurnY(t * 0.09f); }),
                       Track(length, 100, [](int) { return D3DXVECTOR3(0, 5, 0); }, NoTurn)};
        return anim;
    }

    void Load(Model& m, int length = 1000) {
        ASSERT_EQ(m.LoadModelFromBytes(Bytes(SkinnedFile())), S_OK);
        ASSERT_EQ(m.LoadAnimationFromBytes(Bytes(Animation(length))), S_OK);
    }

    const model::emd::RenderVertex* Vertices(const Model& m) {
        return stage_.RenderVertices(m.Meshes()[0].vertexBuffer);
    }

    FakeStage stage_;
};

TEST_F(ModelSkinningTest, ClockWrapsByLengthsAndOnlyRunsWithAnAnimation) {
    Model m(stage_.pool.get(), stage_.textures.get());
    Load(m);
    EXPECT_TRUE(m.AnimLoaded());
    EXPECT_EQ(m.AnimTime(), 0.0f);
    EXPECT_FALSE(m.PoseDirty());  // a fresh animation keeps the file's positions
    m.SetTime(2500);
    EXPECT_FLOAT_EQ(m.AnimTime(), 500.0f);
    EXPECT_TRUE(m.PoseDirty());
    m.AdvanceTime(500);
    EXPECT_FLOAT_EQ(m.AnimTime(), 1000.0f);  // the length itself is not wrapped
    m.AdvanceTime(3250);
    EXPECT_FLOAT_EQ(m.AnimTime(), 250.0f);
    m.AdvanceTime(1e12f);  // a huge step ends inside the loop instead of spinning
    EXPECT_GE(m.AnimTime(), 0.0f);
    EXPECT_LE(m.AnimTime(), 1000.0f);

    // Without an animation (or with a rejected one) the clock never moves.
    Model still(stage_.pool.get(), stage_.textures.get());
    ASSERT_EQ(still.LoadModelFromBytes(Bytes(SkinnedFile())), S_OK);
    std::vector<std::uint8_t> bad = Bytes(Animation(1000));
    bad[5] = 0x02;  // version 0x0200
    EXPECT_EQ(still.LoadAnimationFromBytes(bad), E_FAIL);
    std::vector<std::uint8_t> cut = Bytes(Animation(1000));
    cut.resize(cut.size() - 4);
    EXPECT_EQ(still.LoadAnimationFromBytes(cut), E_FAIL);
    EXPECT_FALSE(still.AnimLoaded());
    still.AdvanceTime(300);
    EXPECT_EQ(still.AnimTime(), 0.0f);
    EXPECT_FALSE(still.PoseDirty());
    auto* vb = stage_.VertexBufferOf(still.Meshes()[0].vertexBuffer);
    const int locks = vb->LockCount;
    still.RenderModel(stage_.device);
    EXPECT_EQ(vb->LockCount, locks);

    // A model without bones reads the header only and is marked animated, but does not move.
    Model boneless(stage_.pool.get(), stage_.textures.get());
    ModelFile file;
    file.meshes = {QuadMesh("q", 0, 0, 1, 1, 0, -1)};
    ASSERT_EQ(boneless.LoadModelFromBytes(Bytes(file)), S_OK);
    model::esa::AnimationFile header;
    header.animLength = 1000;
    header.keyInterval = 100;
    EXPECT_EQ(boneless.LoadAnimationFromBytes(Bytes(header)), S_OK);
    EXPECT_TRUE(boneless.AnimLoaded());
    boneless.AdvanceTime(100);
    EXPECT_FALSE(boneless.PoseDirty());
}

TEST_F(ModelSkinningTest, KeyChoiceAndBlendFactor) {
    Model m(stage_.pool.get(), stage_.textures.get());
    Load(m, 1000);
    // Time 1000 of 1000: keys 9 and 10 with f = 1, the last key's pose.
    m.SetTime(1000);
    m.ApplySkinning();
    const D3DXMATRIX& hips = m.Bone(0)->matrix;
    EXPECT_NEAR(hips.m[3][0], 10.0f, 1e-5);
    D3DXMATRIX last;
    const D3DXQUATERNION q = TurnY(90);
    D3DXMatrixRotationQuaternion(&last, &q);
    for (int r = 0; r < 3; ++r)
        for (int c = 0; c < 3; ++c) EXPECT_NEAR(hips.m[r][c], last.m[r][c], 1e-5);

    // Time 820 of 833: keys 800 and 833 with f = 20/33 (the last interval is 33 ms long).
    Model shorter(stage_.pool.get(), stage_.textures.get());
    Load(shorter, 833);
    shorter.SetTime(820);
    shorter.ApplySkinning();
    const float f = 20.0f / 33.0f;
    EXPECT_NEAR(shorter.Bone(0)->matrix.m[3][0], 8.0f + (8.33f - 8.0f) * f, 1e-5);
    D3DXQUATERNION blended;
    const D3DXQUATERNION a = TurnY(72), b = TurnY(833 * 0.09f);
    D3DXQuaternionSlerp(&blended, &a, &b, f);
    D3DXMATRIX expected;
    D3DXMatrixRotationQuaternion(&expected, &blended);
    for (int r = 0; r < 3; ++r)
        for (int c = 0; c < 3; ++c) EXPECT_NEAR(shorter.Bone(0)->matrix.m[r][c], expected.m[r][c], 1e-6);
    // Between keys 200 and 300 of the same animation.
    shorter.SetTime(250);
    shorter.ApplySkinning();
    EXPECT_NEAR(shorter.Bone(0)->matrix.m[3][0], 2.5f, 1e-5);
    EXPECT_EQ(shorter.Bone(1)->matrix.m[3][1], 5.0f);
    EXPECT_EQ(shorter.FindBone("arm"), 1);
    EXPECT_EQ(shorter.FindBone("leg"), -1);
    EXPECT_EQ(shorter.Bone(2), nullptr);
}

TEST_F(ModelSkinningTest, PositionsBlendAllInfluencesNormalsFollowTheFirst) {
    Model m(stage_.pool.get(), stage_.textures.get());
    Load(m);
    // Render order: v0 (2 variants), v1 (2 variants), v2, v3.
    ASSERT_EQ(m.Meshes()[0].renderVertexCount, 6u);
    const model::emd::RenderVertex before2 = Vertices(m)[4];
    m.SetTime(0);  // bone 0 at the origin unturned, bone 1 at (0, 5, 0)
    m.RenderModel(stage_.device);
    const auto* v = Vertices(m);

    // v0: offset (1, 0, 0) in bone 0; both variants get the position and the normal.
    for (int r : {0, 1}) {
        EXPECT_EQ(v[r].position[0], 1.0f);
        EXPECT_EQ(v[r].normal[2], -1.0f);
        // Tangent (-1, 0, 0) x n = (0, n.z, -n.y).
        EXPECT_EQ(v[r].tangent[0], 0.0f);
        EXPECT_EQ(v[r].tangent[1], -1.0f);
        EXPECT_EQ(v[r].tangent[2], 0.0f);
    }
    EXPECT_EQ(v[1].uv0[0], 0.5f);  // texture coordinates are never rewritten
    // v1: halfway between (2, 0, 0) and (0, 2, 0) + (0, 5, 0).
    EXPECT_FLOAT_EQ(v[2].position[0], 1.0f);
    EXPECT_FLOAT_EQ(v[2].position[1], 3.5f);
    // Its normals come from the first influence of each entry alone, unweighted.
    EXPECT_EQ(v[2].normal[0], 1.0f);
    EXPECT_EQ(v[2].normal[1], 0.0f);
    EXPECT_EQ(v[3].normal[2], 1.0f);
    EXPECT_EQ(v[3].tangent[1], 1.0f);
    // v2 has no influence: untouched, including its load-time tangent (0, 1, 1) x n.
    EXPECT_EQ(std::memcmp(&v[4], &before2, sizeof before2), 0);

    // Later: bone 0 at (5, 0, 0) turned 45 degrees about y.
    m.SetTime(500);
    m.RenderModel(stage_.device);
    v = Vertices(m);
    const float c = std::cos(45 * 0.017453292f);
    EXPECT_NEAR(v[0].position[0], 5 + c, 1e-5);
    EXPECT_NEAR(v[0].position[2], -c, 1e-5);  // +x turns toward -z
    EXPECT_NEAR(v[0].normal[0], -c, 1e-5);    // (0, 0, -1) turns toward -x
    EXPECT_NEAR(v[0].normal[2], -c, 1e-5);
    EXPECT_NEAR(v[2].position[0], 0.5f * (5 + 2 * c) + 0.0f, 1e-5);
    EXPECT_NEAR(v[2].position[2], 0.5f * (-2 * c), 1e-5);
}

TEST_F(ModelSkinningTest, VertexLandingOnTheOriginKeepsItsPreviousPosition) {
    Model m(stage_.pool.get(), stage_.textures.get());
    Load(m);
    // v3 (render index 5) has offset (0, 0, 0) in bone 0, which sits at the origin at time 0.
    m.SetTime(0);
    m.ApplySkinning();
    const auto* v = Vertices(m);
    EXPECT_EQ(v[5].position[0], 3.0f);  // the file's position stays
    EXPECT_EQ(v[5].position[1], 3.0f);
    EXPECT_EQ(v[5].normal[1], 1.0f);   // the normal is still written
    EXPECT_EQ(v[5].tangent[2], -1.0f);
    m.SetTime(300);
    m.ApplySkinning();
    EXPECT_FLOAT_EQ(Vertices(m)[5].position[0], 3.0f);  // now bone 0 sits at (3, 0, 0)
    EXPECT_FLOAT_EQ(Vertices(m)[5].position[1], 0.0f);
    m.SetTime(0);
    m.ApplySkinning();
    EXPECT_FLOAT_EQ(Vertices(m)[5].position[0], 3.0f);  // back at the origin: the last one stays
    EXPECT_FLOAT_EQ(Vertices(m)[5].position[1], 0.0f);
}

}  // namespace
