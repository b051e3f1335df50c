#include "model/view_matrix.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace {

D3DVECTOR V(float x, float y, float z) { return D3DVECTOR{x, y, z}; }

// Row vector times matrix, as the device applies the view transform.
D3DVECTOR Transform(const D3DVECTOR& p, const D3DMATRIX& m) {
    return {p.x * m.m[0][0] + p.y * m.m[1][0] + p.z * m.m[2][0] + m.m[3][0],
            p.x * m.m[0][1] + p.y * m.m[1][1] + p.z * m.m[2][1] + m.m[3][1],
            p.x * m.m[0][2] + p.y * m.m[1][2] + p.z * m.m[2][2] + m.m[3][2]};
}

void ExpectIdentity(const D3DMATRIX& m) {
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 4; ++c) EXPECT_EQ(m.m[r][c], r == c ? 1.0f : 0.0f) << r << "," << c;
}

D3DMATRIX Garbage() {
    D3DMATRIX m;
    for (auto& row : m.m)
        for (float& v : row) v = 7.0f;
    return m;
}

TEST(BuildViewMatrix, CameraOnNegativeZLookingAtOriginIsATranslation) {
    D3DMATRIX m = Garbage();
    ASSERT_EQ(model::BuildViewMatrix(m, V(0, 0, -1), V(0, 0, 0), V(0, 1, 0)), S_OK);
    for (int r = 0; r < 3; ++r)
        for (int c = 0; c < 4; ++c) EXPECT_FLOAT_EQ(m.m[r][c], r == c ? 1.0f : 0.0f);
    EXPECT_FLOAT_EQ(m.m[3][0], 0.0f);
    EXPECT_FLOAT_EQ(m.m[3][1], 0.0f);
    EXPECT_FLOAT_EQ(m.m[3][2], 1.0f);
    EXPECT_FLOAT_EQ(m.m[3][3], 1.0f);
}

TEST(BuildViewMatrix, MapsEyeToOriginAndLookAtOntoPositiveZ) {
    D3DMATRIX m;
    const D3DVECTOR eye = V(3, 4, -5), at = V(-2, 1, 7);
    ASSERT_EQ(model::BuildViewMatrix(m, eye, at, V(0.2f, 1, 0.1f)), S_OK);
    const D3DVECTOR e = Transform(eye, m);
    EXPECT_NEAR(e.x, 0, 1e-5);
    EXPECT_NEAR(e.y, 0, 1e-5);
    EXPECT_NEAR(e.z, 0, 1e-5);
    const D3DVECTOR a = Transform(at, m);
    EXPECT_NEAR(a.x, 0, 1e-4);
    EXPECT_NEAR(a.y, 0, 1e-4);
    EXPECT_NEAR(a.z, 13.3417f, 1e-3);  // |at - eye|
    // The rotation part is orthonormal and left-handed (x cross y = z).
    for (int i = 0; i < 3; ++i) {
        for (int j = 0; j < 3; ++j) {
            float dot = 0;
            for (int k = 0; k < 3; ++k) dot += m.m[k][i] * m.m[k][j];
            EXPECT_NEAR(dot, i == j ? 1.0f : 0.0f, 1e-5);
        }
    }
    // An up vector with a component along the view still ends up straight up on screen.
    const D3DVECTOR up = Transform(V(eye.x, eye.y + 1, eye.z), m);
    EXPECT_GT(up.y, 0.9f);
}

TEST(BuildViewMatrix, LookingStraightDownFallsBackToZUp) {
    D3DMATRIX m;
    ASSERT_EQ(model::BuildViewMatrix(m, V(0, 10, 0), V(0, 0, 0), V(0, 1, 0)), S_OK);
    // Columns hold x, y, z of the camera frame.
    EXPECT_FLOAT_EQ(m.m[0][0], 1);  // x = (1, 0, 0)
    EXPECT_FLOAT_EQ(m.m[1][0], 0);
    EXPECT_FLOAT_EQ(m.m[2][0], 0);
    EXPECT_FLOAT_EQ(m.m[0][1], 0);  // y = (0, 0, 1)
    EXPECT_FLOAT_EQ(m.m[1][1], 0);
    EXPECT_FLOAT_EQ(m.m[2][1], 1);
    EXPECT_FLOAT_EQ(m.m[0][2], 0);  // z = (0, -1, 0)
    EXPECT_FLOAT_EQ(m.m[1][2], -1);
    EXPECT_FLOAT_EQ(m.m[2][2], 0);
    EXPECT_FLOAT_EQ(m.m[3][2], 10);  // -eye . z
}

TEST(BuildViewMatrix, UpParallelToViewUsesYFallback) {
    D3DMATRIX m;
    // Up along the viewing direction (+x): y falls back to world up.
    ASSERT_EQ(model::BuildViewMatrix(m, V(0, 0, 0), V(5, 0, 0), V(2, 0, 0)), S_OK);
    EXPECT_FLOAT_EQ(m.m[1][1], 1);  // y = (0, 1, 0)
    EXPECT_FLOAT_EQ(m.m[0][2], 1);  // z = (1, 0, 0)
    EXPECT_FLOAT_EQ(m.m[2][0], -1);  // x = y cross z = (0, 0, -1)
}

TEST(BuildViewMatrix, DegenerateInputsFailWithIdentity) {
    const float nan = std::numeric_limits<float>::quiet_NaN();
    struct Case {
        D3DVECTOR eye, at, up;
    } cases[] = {
        {V(1, 2, 3), V(1, 2, 3), V(0, 1, 0)},           // eye on the look-at point
        {V(0, 0, 0), V(0, 0, 5e-7f), V(0, 1, 0)},       // closer than 1e-6
        {V(nan, 0, 0), V(0, 0, 1), V(0, 1, 0)},         // not a number
    };
    for (const Case& c : cases) {
        D3DMATRIX m = Garbage();
        EXPECT_EQ(model::BuildViewMatrix(m, c.eye, c.at, c.up), E_INVALIDARG);
        ExpectIdentity(m);
    }
}

TEST(BuildViewMatrix, ZeroUpVectorStillGivesAValidMatrix) {
    D3DMATRIX m;
    ASSERT_EQ(model::BuildViewMatrix(m, V(0, 0, -1), V(0, 0, 0), V(0, 0, 0)), S_OK);
    EXPECT_FLOAT_EQ(m.m[1][1], 1);
}

}  // namespace
