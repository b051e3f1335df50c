// Small double-precision math for the converter, in glTF's own convention: column vectors
// (p' = M p), matrices stored column by column (m[col * 4 + row]), quaternions (x, y, z, w).
#pragma once

#include <array>
#include <cmath>

namespace meshconv::math {

using Vec3 = std::array<double, 3>;
using Quat = std::array<double, 4>;  // x, y, z, w

struct Mat4 {
    std::array<double, 16> m{1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
    double& at(int row, int col) { return m[col * 4 + row]; }
    double at(int row, int col) const { return m[col * 4 + row]; }
};

inline Mat4 operator*(const Mat4& a, const Mat4& b) {
    Mat4 r;
    for (int row = 0; row < 4; ++row)
        for (int col = 0; col < 4; ++col) {
            double s = 0;
            for (int k = 0; k < 4; ++k) s += a.at(row, k) * b.at(k, col);
            r.at(row, col) = s;
        }
    return r;
}

inline Vec3 TransformPoint(const Mat4& a, const Vec3& p) {
    Vec3 r;
    for (int i = 0; i < 3; ++i) r[i] = a.at(i, 0) * p[0] + a.at(i, 1) * p[1] + a.at(i, 2) * p[2] + a.at(i, 3);
    return r;
}

inline Vec3 TransformDirection(const Mat4& a, const Vec3& v) {
    Vec3 r;
    for (int i = 0; i < 3; ++i) r[i] = a.at(i, 0) * v[0] + a.at(i, 1) * v[1] + a.at(i, 2) * v[2];
    return r;
}

inline double Dot(const Vec3& a, const Vec3& b) { return a[0] * b[0] + a[1] * b[1] + a[2] * b[2]; }
inline Vec3 Cross(const Vec3& a, const Vec3& b) {
    return {a[1] * b[2] - a[2] * b[1], a[2] * b[0] - a[0] * b[2], a[0] * b[1] - a[1] * b[0]};
}
inline Vec3 Sub(const Vec3& a, const Vec3& b) { return {a[0] - b[0], a[1] - b[1], a[2] - b[2]}; }
inline double Length(const Vec3& a) { return std::sqrt(Dot(a, a)); }
inline Vec3 Normalized(const Vec3& a) {
    const double l = Length(a);
    if (!(l > 0) || !std::isfinite(l)) return {0, 0, 0};
    return {a[0] / l, a[1] / l, a[2] / l};
}

inline double Determinant3(const Mat4& a) {
    return a.at(0, 0) * (a.at(1, 1) * a.at(2, 2) - a.at(1, 2) * a.at(2, 1)) -
           a.at(0, 1) * (a.at(1, 0) * a.at(2, 2) - a.at(1, 2) * a.at(2, 0)) +
           a.at(0, 2) * (a.at(1, 0) * a.at(2, 1) - a.at(1, 1) * a.at(2, 0));
}

// Inverse transpose of the upper 3 x 3 (how normals transform); identity when singular.
inline Mat4 NormalMatrix(const Mat4& a) {
    const double det = Determinant3(a);
    Mat4 r;
    if (!(std::fabs(det) > 1e-300)) return r;
    // cofactor matrix / det = inverse transpose
    auto c = [&](int r0, int c0) {
        const int r1 = (r0 + 1) % 3, r2 = (r0 + 2) % 3, c1 = (c0 + 1) % 3, c2 = (c0 + 2) % 3;
        return a.at(r1, c1) * a.at(r2, c2) - a.at(r1, c2) * a.at(r2, c1);
    };
    for (int row = 0; row < 3; ++row)
        for (int col = 0; col < 3; ++col) r.at(row, col) = c(row, col) / det;
    return r;
}

// Inverse of an affine transform (upper 3 x 3 plus translation); identity part when singular.
inline Mat4 InverseAffine(const Mat4& a) {
    const Mat4 n = NormalMatrix(a);  // (A^-1)^T
    Mat4 r;
    for (int row = 0; row < 3; ++row)
        for (int col = 0; col < 3; ++col) r.at(row, col) = n.at(col, row);
    for (int row = 0; row < 3; ++row)
        r.at(row, 3) = -(r.at(row, 0) * a.at(0, 3) + r.at(row, 1) * a.at(1, 3) + r.at(row, 2) * a.at(2, 3));
    return r;
}

inline Mat4 FromQuat(const Quat& q) {
    const double x = q[0], y = q[1], z = q[2], w = q[3];
    Mat4 r;
    r.at(0, 0) = 1 - 2 * (y * y + z * z);
    r.at(0, 1) = 2 * (x * y - z * w);
    r.at(0, 2) = 2 * (x * z + y * w);
    r.at(1, 0) = 2 * (x * y + z * w);
    r.at(1, 1) = 1 - 2 * (x * x + z * z);
    r.at(1, 2) = 2 * (y * z - x * w);
    r.at(2, 0) = 2 * (x * z - y * w);
    r.at(2, 1) = 2 * (y * z + x * w);
    r.at(2, 2) = 1 - 2 * (x * x + y * y);
    return r;
}

inline Quat NormalizedQuat(const Quat& q) {
    const double l = std::sqrt(q[0] * q[0] + q[1] * q[1] + q[2] * q[2] + q[3] * q[3]);
    if (!(l > 0) || !std::isfinite(l)) return {0, 0, 0, 1};
    return {q[0] / l, q[1] / l, q[2] / l, q[3] / l};
}

// Unit quaternion of a pure rotation matrix (upper 3 x 3).
inline Quat ToQuat(const Mat4& a) {
    const double m00 = a.at(0, 0), m11 = a.at(1, 1), m22 = a.at(2, 2);
    const double trace = m00 + m11 + m22;
    Quat q;
    if (trace > 0) {
        const double s = std::sqrt(trace + 1.0) * 2;
        q = {(a.at(2, 1) - a.at(1, 2)) / s, (a.at(0, 2) - a.at(2, 0)) / s, (a.at(1, 0) - a.at(0, 1)) / s, 0.25 * s};
    } else if (m00 > m11 && m00 > m22) {
        const double s = std::sqrt(1.0 + m00 - m11 - m22) * 2;
        q = {0.25 * s, (a.at(0, 1) + a.at(1, 0)) / s, (a.at(0, 2) + a.at(2, 0)) / s, (a.at(2, 1) - a.at(1, 2)) / s};
    } else if (m11 > m22) {
        const double s = std::sqrt(1.0 + m11 - m00 - m22) * 2;
        q = {(a.at(0, 1) + a.at(1, 0)) / s, 0.25 * s, (a.at(1, 2) + a.at(2, 1)) / s, (a.at(0, 2) - a.at(2, 0)) / s};
    } else {
        const double s = std::sqrt(1.0 + m22 - m00 - m11) * 2;
        q = {(a.at(0, 2) + a.at(2, 0)) / s, (a.at(1, 2) + a.at(2, 1)) / s, 0.25 * s, (a.at(1, 0) - a.at(0, 1)) / s};
    }
    return NormalizedQuat(q);
}

// Translation * rotation * scale, the order glTF composes a node's TRS in.
inline Mat4 FromTrs(const Vec3& t, const Quat& r, const Vec3& s) {
    Mat4 m = FromQuat(NormalizedQuat(r));
    for (int row = 0; row < 3; ++row)
        for (int col = 0; col < 3; ++col) m.at(row, col) *= s[col];
    for (int row = 0; row < 3; ++row) m.at(row, 3) = t[row];
    return m;
}

inline Quat Slerp(const Quat& a, Quat b, double t) {
    double d = a[0] * b[0] + a[1] * b[1] + a[2] * b[2] + a[3] * b[3];
    if (d < 0) {
        d = -d;
        for (double& c : b) c = -c;
    }
    double wa = 1 - t, wb = t;
    if (d < 0.9995) {
        const double theta = std::acos(d > 1 ? 1 : d), s = std::sin(theta);
        wa = std::sin((1 - t) * theta) / s;
        wb = std::sin(t * theta) / s;
    }
    return NormalizedQuat({wa * a[0] + wb * b[0], wa * a[1] + wb * b[1], wa * a[2] + wb * b[2], wa * a[3] + wb * b[3]});
}

}  // namespace meshconv::math
