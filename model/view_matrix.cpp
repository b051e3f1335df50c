#include "model/view_matrix.h"

#include <cmath>

namespace model {
namespace {

constexpr float kMinLength = 1e-6f;

struct Vec {
    float x, y, z;
};

Vec operator-(Vec a, Vec b) { return {a.x - b.x, a.y - b.y, a.z - b.z}; }
Vec operator*(float s, Vec v) { return {s * v.x, s * v.y, s * v.z}; }
float Dot(Vec a, Vec b) { return a.x * b.x + a.y * b.y + a.z * b.z; }
float Length(Vec v) { return std::sqrt(Dot(v, v)); }
Vec Cross(Vec a, Vec b) {
    return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
}
Vec FromD3D(const D3DVECTOR& v) { return {v.x, v.y, v.z}; }

// The part of `v` orthogonal to the unit vector `z`.
Vec Orthogonal(Vec v, Vec z) { return v - Dot(v, z) * z; }

void SetIdentity(D3DMATRIX& m) {
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 4; ++c) m.m[r][c] = r == c ? 1.0f : 0.0f;
}

}  // namespace

HRESULT BuildViewMatrix(D3DMATRIX& out, const D3DVECTOR& eye, const D3DVECTOR& lookAt,
                        const D3DVECTOR& up) {
    SetIdentity(out);
    const Vec e = FromD3D(eye);
    Vec z = FromD3D(lookAt) - e;
    const float zLength = Length(z);
    // Written as !(a >= b) so that NaN coordinates fail rather than produce a NaN matrix.
    if (!(zLength >= kMinLength)) return E_INVALIDARG;
    z = (1.0f / zLength) * z;

    Vec y = Orthogonal(FromD3D(up), z);
    if (!(Length(y) >= kMinLength)) y = Orthogonal({0.0f, 1.0f, 0.0f}, z);
    if (!(Length(y) >= kMinLength)) y = Orthogonal({0.0f, 0.0f, 1.0f}, z);
    const float yLength = Length(y);
    if (!(yLength >= kMinLength)) return E_INVALIDARG;
    y = (1.0f / yLength) * y;

    const Vec x = Cross(y, z);

    out.m[0][0] = x.x; out.m[0][1] = y.x; out.m[0][2] = z.x; out.m[0][3] = 0.0f;
    out.m[1][0] = x.y; out.m[1][1] = y.y; out.m[1][2] = z.y; out.m[1][3] = 0.0f;
    out.m[2][0] = x.z; out.m[2][1] = y.z; out.m[2][2] = z.z; out.m[2][3] = 0.0f;
    out.m[3][0] = -Dot(e, x);
    out.m[3][1] = -Dot(e, y);
    out.m[3][2] = -Dot(e, z);
    out.m[3][3] = 1.0f;
    return S_OK;
}

}  // namespace model
