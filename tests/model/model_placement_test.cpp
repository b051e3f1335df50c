// Model placement and bounds: rotation matrices and orders, scale and FitHeight, normalisation
// and the world matrix, bounds over meshes, frustum planes and the box test.
#include <gtest/gtest.h>

#include <cmath>

#include "model/model.h"
#include "model_test_support.h"

namespace {

using model::Model;
using namespace model_test;

constexpr float kRad = 0.017453292f;

void ExpectNear(const D3DXMATRIX& a, const D3DXMATRIX& b, float tolerance = 1e-5f) {
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 4; ++c) EXPECT_NEAR(a.m[r][c], b.m[r][c], tolerance) << "row " << r << " col " << c;
}

D3DXVECTOR3 Apply(const D3DXMATRIX& m, const D3DXVECTOR3& p) {
    D3DXVECTOR3 out;
    D3DXVec3TransformCoord(&out, &p, &m);
    return out;
}

class ModelPlacementTest : public ::testing::Test {
protected:
    // One mesh whose box is [lo, hi].
    void LoadBox(Model& m, D3DXVECTOR3 lo, D3DXVECTOR3 hi) {
        ModelFile file;
        Mesh mesh;
        mesh.name = "box";
        mesh.vertices = {StaticVertex(lo.x, lo.y, lo.z), StaticVertex(hi.x, hi.y, hi.z),
                         StaticVertex(lo.x, hi.y, lo.z)};
        AddGroup(mesh, -1, {0, 1, 2});
        file.meshes = {mesh};
        ASSERT_EQ(m.LoadModelFromBytes(Bytes(file)), S_OK);
    }
    FakeStage stage_;
};

TEST_F(ModelPlacementTest, RotationTurnsByTheNegativeAngleInEveryOrder) {
    Model m(stage_.pool.get(), stage_.textures.get());
    m.SetRotation(90, 0, 0);
    ExpectNear(m.Rotation(), D3DXMATRIX(1, 0, 0, 0, 0, 0, -1, 0, 0, 1, 0, 0, 0, 0, 0, 1));
    D3DXMATRIX rx;
    D3DXMatrixRotationX(&rx, -90 * kRad);
    ExpectNear(m.Rotation(), rx);

    // Each order is the product of the single-axis turns (by -angle in D3DX terms), left to right.
    const float ax = 30, ay = -50, az = 70;
    D3DXMATRIX X, Y, Z;
    D3DXMatrixRotationX(&X, -ax * kRad);
    D3DXMatrixRotationY(&Y, -ay * kRad);
    D3DXMatrixRotationZ(&Z, -az * kRad);
    const D3DXMATRIX expected[6] = {X * Y * Z, X * Z * Y, Y * X * Z, Y * Z * X, Z * X * Y, Z * Y * X};
    for (std::uint8_t order = 0; order < 6; ++order) {
        m.rotationOrder = order;
        m.SetRotation(ax, ay, az);
        ExpectNear(m.Rotation(), expected[order]);
        EXPECT_EQ(m.Angles(), D3DXVECTOR3(ax, ay, az));
    }
    // An unknown order keeps the previous rotation but records the angles.
    m.rotationOrder = 6;
    m.SetRotation(1, 2, 3);
    ExpectNear(m.Rotation(), expected[5]);
    EXPECT_EQ(m.Angles(), D3DXVECTOR3(1, 2, 3));

    // A given matrix loses its translation.
    D3DXMATRIX given = Y;
    given.m[3][0] = 9;
    given.m[3][2] = -4;
    m.SetRotationMatrix(given);
    ExpectNear(m.Rotation(), Y);
}

TEST_F(ModelPlacementTest, FitHeightScalesUniformlyAndLeavesAFlatBoxAlone) {
    Model m(stage_.pool.get(), stage_.textures.get());
    LoadBox(m, {0, 10, 0}, {4, 60, 2});
    EXPECT_FLOAT_EQ(m.FitHeight(100), 2.0f);
    EXPECT_EQ(m.Scale(), D3DXVECTOR3(2, 2, 2));
    EXPECT_FLOAT_EQ(m.HalfExtentMax().y, 50.0f);

    Model flat(stage_.pool.get(), stage_.textures.get());
    LoadBox(flat, {0, 5, 0}, {4, 5, 2});
    flat.SetScale(3, 3, 3);
    EXPECT_FLOAT_EQ(flat.FitHeight(100), 1.0f);
    EXPECT_EQ(flat.Scale(), D3DXVECTOR3(3, 3, 3));
}

TEST_F(ModelPlacementTest, NormalisationCentresScalesThenWorldRotatesAndMoves) {
    Model m(stage_.pool.get(), stage_.textures.get());
    LoadBox(m, {2, 0, -2}, {4, 4, 4});  // centre (3, 2, 1), half extents (1, 2, 3)
    m.SetScale(2, 1, 0.5f);
    ExpectNear(m.Normalisation(), D3DXMATRIX(2, 0, 0, 0, 0, 1, 0, 0, 0, 0, 0.5f, 0, -6, -2, -0.5f, 1));
    EXPECT_EQ(m.HalfExtentMax(), D3DXVECTOR3(2, 2, 1.5f));
    EXPECT_EQ(m.HalfExtentMin(), D3DXVECTOR3(-2, -2, -1.5f));
    EXPECT_NEAR(m.RadiusRatio(), std::sqrt(4 + 4 + 2.25f) / std::sqrt(1 + 4 + 9.0f), 1e-6);

    // The box centre lands on the position; a corner is scaled, turned (y by -90 in D3DX terms:
    // +x goes to +z) and moved.
    m.SetRotation(0, 90, 0);
    m.SetPosition(10, 20, 30);
    const D3DXVECTOR3 centre = Apply(m.World(), {3, 2, 1});
    EXPECT_NEAR(centre.x, 10, 1e-5);
    EXPECT_NEAR(centre.y, 20, 1e-5);
    EXPECT_NEAR(centre.z, 30, 1e-5);
    const D3DXVECTOR3 corner = Apply(m.World(), {4, 2, 1});  // +1 in x, scaled to +2
    EXPECT_NEAR(corner.x, 10, 1e-5);
    EXPECT_NEAR(corner.y, 20, 1e-5);
    EXPECT_NEAR(corner.z, 32, 1e-5);
}

TEST_F(ModelPlacementTest, BoundsCoverEveryMeshWithVertices) {
    ModelFile file;
    file.meshes = {QuadMesh("a", -1, 0, 1, 2, 5, -1), Mesh{}, QuadMesh("b", 3, -4, 4, 1, -2, -1)};
    file.meshes[1].name = "empty";
    Model m(stage_.pool.get(), stage_.textures.get());
    ASSERT_EQ(m.LoadModelFromBytes(Bytes(file)), S_OK);
    EXPECT_EQ(m.BoxMin(), D3DXVECTOR3(-1, -4, -2));
    EXPECT_EQ(m.BoxMax(), D3DXVECTOR3(4, 2, 5));
    const model::ModelMesh& a = m.Meshes()[0];
    EXPECT_EQ(a.centre, D3DXVECTOR3(0, 1, 5));
    EXPECT_FLOAT_EQ(a.radius, std::sqrt(2.0f));
    EXPECT_EQ(m.Meshes()[1].boxMax, D3DXVECTOR3(0, 0, 0));

    // A reload without vertices keeps the previous box.
    ModelFile none;
    ASSERT_EQ(m.LoadModelFromBytes(Bytes(none)), S_OK);
    EXPECT_EQ(m.MeshCount(), 0u);
    EXPECT_EQ(m.BoxMax(), D3DXVECTOR3(4, 2, 5));
}

TEST(FrustumTest, PlanesFollowTheColumnsAndTheBoxTestNeedsAllCornersBehindOnePlane) {
    D3DXMATRIX m(1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16);
    const model::FrustumPlanes p = model::ComputeFrustumPlanes(m);
    // col4 -/+ col1, col4 +/- col2, col4 -/+ col3.
    EXPECT_EQ(p[0], D3DXPLANE(3, 3, 3, 3));
    EXPECT_EQ(p[1], D3DXPLANE(5, 13, 21, 29));
    EXPECT_EQ(p[2], D3DXPLANE(6, 14, 22, 30));
    EXPECT_EQ(p[3], D3DXPLANE(2, 2, 2, 2));
    EXPECT_EQ(p[4], D3DXPLANE(1, 1, 1, 1));
    EXPECT_EQ(p[5], D3DXPLANE(7, 15, 23, 31));

    // A camera at the origin looking down +z.
    D3DXMATRIX view, projection;
    D3DXMatrixIdentity(&view);
    D3DXMatrixPerspectiveFovLH(&projection, 1.0f, 1.0f, 1.0f, 100.0f);
    model::UpdateFrustumPlanes(view, projection);
    auto outside = [](D3DXVECTOR3 lo, D3DXVECTOR3 hi) {
        D3DXVECTOR3 corners[8];
        for (int k = 0; k < 8; ++k)
            corners[k] = D3DXVECTOR3(k & 1 ? hi.x : lo.x, k & 2 ? hi.y : lo.y, k & 4 ? hi.z : lo.z);
        const bool general = model::BoxOutside(model::SharedFrustumPlanes(), corners);
        EXPECT_EQ(general, model::BoxOutsideFrustum(lo, hi)) << lo.x << " " << lo.z;
        return general;
    };
    EXPECT_FALSE(outside({-1, -1, 10}, {1, 1, 12}));      // ahead
    EXPECT_TRUE(outside({-1, -1, -12}, {1, 1, -10}));     // behind
    EXPECT_TRUE(outside({-90, -1, 10}, {-80, 1, 12}));    // far left
    EXPECT_TRUE(outside({-1, 20, 10}, {1, 30, 12}));      // above
    EXPECT_TRUE(outside({-1, -1, 200}, {1, 1, 210}));     // beyond the far plane
    EXPECT_FALSE(outside({-100, -1, 10}, {100, 1, 12}));  // straddles both side planes
    EXPECT_FALSE(outside({-1, -1, -5}, {1, 1, 5}));       // around the eye

    // The device form reads the current view and projection (here moved 500 units away).
    fake_d3d8::FakeDevice* device = new fake_d3d8::FakeDevice();
    D3DXMATRIX shifted;
    D3DXMatrixTranslation(&shifted, 0, 0, -500);
    device->SetTransform(D3DTS_VIEW, &shifted);
    device->SetTransform(D3DTS_PROJECTION, &projection);
    model::UpdateFrustumPlanes(device);
    EXPECT_TRUE(model::BoxOutsideFrustum({-1, -1, 10}, {1, 1, 12}));
    device->Release();
}

}  // namespace
