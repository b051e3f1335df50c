#include <gtest/gtest.h>

#include <cmath>

#include "d3dutil/d3dx8math.h"

namespace {

constexpr float kEps = 1e-5f;

void ExpectMatrixNear(const D3DXMATRIX& a, const D3DXMATRIX& b, float eps = kEps) {
  for (int i = 0; i < 4; ++i)
    for (int j = 0; j < 4; ++j) EXPECT_NEAR(a.m[i][j], b.m[i][j], eps) << "entry " << i + 1 << j + 1;
}

void ExpectVecNear(const D3DXVECTOR3& a, const D3DXVECTOR3& b, float eps = kEps) {
  EXPECT_NEAR(a.x, b.x, eps);
  EXPECT_NEAR(a.y, b.y, eps);
  EXPECT_NEAR(a.z, b.z, eps);
}

D3DXMATRIX Identity() {
  D3DXMATRIX m;
  return *D3DXMatrixIdentity(&m);
}

TEST(Matrix, MultiplyIsRowMajorProductAndAllowsAliasing) {
  D3DXMATRIX a(1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16);
  D3DXMATRIX b(2, 0, 0, 0, 0, 3, 0, 0, 0, 0, 4, 0, 1, 1, 1, 1);
  D3DXMATRIX r;
  D3DXMatrixMultiply(&r, &a, &b);
  // Row 1 of a times b: (1·2 + 4·1, 2·3 + 4·1, 3·4 + 4·1, 4·1)
  EXPECT_FLOAT_EQ(r._11, 6);
  EXPECT_FLOAT_EQ(r._12, 10);
  EXPECT_FLOAT_EQ(r._13, 16);
  EXPECT_FLOAT_EQ(r._14, 4);
  EXPECT_FLOAT_EQ(r._41, 13 * 2 + 16);
  D3DXMatrixMultiply(&a, &a, &b);
  ExpectMatrixNear(a, r, 0);
  D3DXMATRIX t;
  D3DXMatrixTranspose(&t, &r);
  EXPECT_FLOAT_EQ(t._14, r._41);
  EXPECT_FLOAT_EQ(t._32, r._23);
}

TEST(Matrix, InverseTimesMatrixIsIdentityAndSingularFails) {
  D3DXMATRIX rot, trans, scale, m;
  const D3DXVECTOR3 axis(1, 2, 3);
  D3DXMatrixRotationAxis(&rot, &axis, 0.7f);
  D3DXMatrixTranslation(&trans, 3, -4, 5);
  D3DXMatrixScaling(&scale, 2, 0.5f, 3);
  m = scale * rot * trans;
  m._14 = 0.1f;  // a projective entry, so the general path is exercised
  D3DXMATRIX inv;
  float det = 0;
  ASSERT_NE(D3DXMatrixInverse(&inv, &det, &m), nullptr);
  EXPECT_NE(det, 0.0f);
  ExpectMatrixNear(inv * m, Identity(), 1e-4f);
  ExpectMatrixNear(m * inv, Identity(), 1e-4f);

  D3DXMATRIX singular(1, 2, 3, 4, 2, 4, 6, 8, 0, 0, 1, 0, 0, 0, 0, 1);
  D3DXMATRIX untouched = Identity();
  EXPECT_EQ(D3DXMatrixInverse(&untouched, &det, &singular), nullptr);
  EXPECT_EQ(det, 0.0f);
  EXPECT_TRUE(D3DXMatrixIsIdentity(&untouched));
}

TEST(Matrix, RotationsFollowLeftHandedRowVectorConvention) {
  D3DXMATRIX x, y, z;
  D3DXMatrixRotationX(&x, D3DXToRadian(-90.0f));
  // The rows a model's own rotation code expects for RotationX(-90°).
  ExpectMatrixNear(x, D3DXMATRIX(1, 0, 0, 0, 0, 0, -1, 0, 0, 1, 0, 0, 0, 0, 0, 1));
  // +90° about y carries +z onto +x, +90° about z carries +x onto +y (row vectors).
  D3DXMatrixRotationY(&y, D3DX_PI / 2);
  D3DXMatrixRotationZ(&z, D3DX_PI / 2);
  D3DXVECTOR3 v;
  const D3DXVECTOR3 ex(1, 0, 0), ez(0, 0, 1);
  ExpectVecNear(*D3DXVec3TransformNormal(&v, &ez, &y), D3DXVECTOR3(1, 0, 0));
  ExpectVecNear(*D3DXVec3TransformNormal(&v, &ex, &z), D3DXVECTOR3(0, 1, 0));

  // RotationAxis agrees with the axis-aligned rotations, and with an unnormalised axis.
  D3DXMATRIX a;
  const D3DXVECTOR3 ax(2, 0, 0), ay(0, 1, 0), az(0, 0, 5);
  ExpectMatrixNear(*D3DXMatrixRotationAxis(&a, &ax, -D3DX_PI / 2), x);
  ExpectMatrixNear(*D3DXMatrixRotationAxis(&a, &ay, D3DX_PI / 2), y);
  ExpectMatrixNear(*D3DXMatrixRotationAxis(&a, &az, D3DX_PI / 2), z);

  // Yaw-pitch-roll: roll about z, then pitch about x, then yaw about y.
  D3DXMATRIX ypr, rz, rx, ry;
  D3DXMatrixRotationYawPitchRoll(&ypr, 0.3f, 0.5f, 0.7f);
  D3DXMatrixRotationZ(&rz, 0.7f);
  D3DXMatrixRotationX(&rx, 0.5f);
  D3DXMatrixRotationY(&ry, 0.3f);
  ExpectMatrixNear(ypr, rz * rx * ry);
}

TEST(Matrix, LookAtAndPerspectiveMatchKnownValues) {
  D3DXMATRIX view;
  const D3DXVECTOR3 eye(0, 0, -1), at(0, 0, 0), up(0, 1, 0);
  D3DXMatrixLookAtLH(&view, &eye, &at, &up);
  ExpectMatrixNear(view, D3DXMATRIX(1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 1, 1));

  // Looking from +x toward the origin: the origin lands 5 units ahead, world +z is to the right.
  const D3DXVECTOR3 eye2(5, 0, 0), up2(0, 1, 0);
  D3DXMatrixLookAtLH(&view, &eye2, &at, &up2);
  D3DXVECTOR3 p;
  ExpectVecNear(*D3DXVec3TransformCoord(&p, &at, &view), D3DXVECTOR3(0, 0, 5));
  const D3DXVECTOR3 wz(0, 0, 1);
  ExpectVecNear(*D3DXVec3TransformCoord(&p, &wz, &view), D3DXVECTOR3(1, 0, 5));

  D3DXMATRIX proj;
  D3DXMatrixPerspectiveFovLH(&proj, D3DX_PI / 2, 2.0f, 1.0f, 101.0f);
  EXPECT_NEAR(proj._11, 0.5f, kEps);
  EXPECT_NEAR(proj._22, 1.0f, kEps);
  EXPECT_NEAR(proj._33, 101.0f / 100.0f, kEps);
  EXPECT_FLOAT_EQ(proj._34, 1.0f);
  EXPECT_NEAR(proj._43, -101.0f / 100.0f, kEps);
  EXPECT_FLOAT_EQ(proj._44, 0.0f);
  // The near plane maps to depth 0 and the far plane to depth 1 after the divide by w.
  const D3DXVECTOR3 nearPt(0, 0, 1), farPt(0, 0, 101);
  EXPECT_NEAR(D3DXVec3TransformCoord(&p, &nearPt, &proj)->z, 0.0f, kEps);
  EXPECT_NEAR(D3DXVec3TransformCoord(&p, &farPt, &proj)->z, 1.0f, kEps);
}

TEST(Vector, TransformCoordDividesByWAndNormalIgnoresTranslation) {
  D3DXMATRIX m = Identity();
  m._41 = 10;
  m._44 = 2;
  const D3DXVECTOR3 v(2, 4, 6);
  D3DXVECTOR3 r;
  ExpectVecNear(*D3DXVec3TransformCoord(&r, &v, &m), D3DXVECTOR3(6, 2, 3));
  ExpectVecNear(*D3DXVec3TransformNormal(&r, &v, &m), v);
  D3DXVECTOR3 c;
  const D3DXVECTOR3 a(1, 0, 0), b(0, 1, 0);
  ExpectVecNear(*D3DXVec3Cross(&c, &a, &b), D3DXVECTOR3(0, 0, 1));
  const D3DXVECTOR3 zero(0, 0, 0);
  ExpectVecNear(*D3DXVec3Normalize(&c, &zero), zero, 0);
}

TEST(Quaternion, MatrixAndSlerp) {
  const D3DXVECTOR3 axis(0, 1, 0);
  D3DXQUATERNION q;
  D3DXQuaternionRotationAxis(&q, &axis, 0.8f);
  D3DXMATRIX fromQ, fromAxis;
  D3DXMatrixRotationQuaternion(&fromQ, &q);
  D3DXMatrixRotationAxis(&fromAxis, &axis, 0.8f);
  ExpectMatrixNear(fromQ, fromAxis);

  // Back from a matrix (any of the four branches), up to sign.
  const D3DXVECTOR3 axes[] = {{1, 2, 3}, {1, 0, 0}, {0, 1, 0}, {0, 0, 1}};
  for (const D3DXVECTOR3& ax : axes) {
    D3DXQUATERNION orig, back;
    D3DXQuaternionRotationAxis(&orig, &ax, 3.0f);
    D3DXMATRIX m;
    D3DXMatrixRotationQuaternion(&m, &orig);
    D3DXQuaternionRotationMatrix(&back, &m);
    EXPECT_NEAR(std::fabs(D3DXQuaternionDot(&orig, &back)), 1.0f, 1e-4f);
  }

  // Yaw-pitch-roll quaternion matches the matrix; Multiply(a, b) means a first, then b.
  D3DXQUATERNION ypr;
  D3DXQuaternionRotationYawPitchRoll(&ypr, 0.3f, 0.5f, 0.7f);
  D3DXMATRIX mq, mm;
  D3DXMatrixRotationQuaternion(&mq, &ypr);
  D3DXMatrixRotationYawPitchRoll(&mm, 0.3f, 0.5f, 0.7f);
  ExpectMatrixNear(mq, mm);

  D3DXQUATERNION a, b, s;
  D3DXQuaternionIdentity(&a);
  const D3DXVECTOR3 zAxis(0, 0, 1);
  D3DXQuaternionRotationAxis(&b, &zAxis, 1.0f);
  D3DXQuaternionSlerp(&s, &a, &b, 0.0f);
  EXPECT_NEAR(D3DXQuaternionDot(&s, &a), 1.0f, kEps);
  D3DXQuaternionSlerp(&s, &a, &b, 1.0f);
  EXPECT_NEAR(D3DXQuaternionDot(&s, &b), 1.0f, kEps);
  D3DXQUATERNION half;
  D3DXQuaternionRotationAxis(&half, &zAxis, 0.5f);
  D3DXQuaternionSlerp(&s, &a, &b, 0.5f);
  EXPECT_NEAR(D3DXQuaternionDot(&s, &half), 1.0f, kEps);
  EXPECT_NEAR(D3DXQuaternionLength(&s), 1.0f, kEps);

  // The shorter arc: -b is the same rotation as b, so the midpoint is the same rotation.
  D3DXQUATERNION negB = -b;
  D3DXQuaternionSlerp(&s, &a, &negB, 0.5f);
  EXPECT_NEAR(std::fabs(D3DXQuaternionDot(&s, &half)), 1.0f, kEps);
  // Nearly equal inputs take the linear path without NaNs.
  D3DXQuaternionSlerp(&s, &a, &a, 0.3f);
  EXPECT_NEAR(s.w, 1.0f, kEps);
}

TEST(Colour, ConvertsAndClamps) {
  D3DXCOLOR c(0x80FF4000u);
  EXPECT_NEAR(c.a, 128 / 255.0f, kEps);
  EXPECT_NEAR(c.r, 1.0f, kEps);
  EXPECT_NEAR(c.g, 64 / 255.0f, kEps);
  EXPECT_EQ(static_cast<DWORD>(c), 0x80FF4000u);
  EXPECT_EQ(static_cast<DWORD>(D3DXCOLOR(2.0f, -1.0f, NAN, 1.0f)), 0xFFFF0000u);
  D3DXPLANE p;
  const D3DXVECTOR3 pt(0, 2, 0), n(0, 1, 0), q(5, 5, 5);
  D3DXPlaneFromPointNormal(&p, &pt, &n);
  EXPECT_FLOAT_EQ(D3DXPlaneDotCoord(&p, &q), 3.0f);
}

}  // namespace
