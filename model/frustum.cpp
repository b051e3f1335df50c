// The six view-frustum planes every model culls against, and the box test.
#include "model/model.h"

namespace model {
namespace {

// Until the scene sets a view, every plane accepts every point.
FrustumPlanes g_planes = [] {
    FrustumPlanes p;
    p.fill(D3DXPLANE(0, 0, 0, 1));
    return p;
}();

float Side(const D3DXPLANE& p, float x, float y, float z) { return p.a * x + p.b * y + p.c * z + p.d; }

}  // namespace

FrustumPlanes ComputeFrustumPlanes(const D3DXMATRIX& vp) {
    // Column j of M is (m[0][j], m[1][j], m[2][j], m[3][j]).
    auto column = [&](int j) { return D3DXPLANE(vp.m[0][j], vp.m[1][j], vp.m[2][j], vp.m[3][j]); };
    const D3DXPLANE c1 = column(0), c2 = column(1), c3 = column(2), c4 = column(3);
    auto add = [](const D3DXPLANE& a, const D3DXPLANE& b, float sign) {
        return D3DXPLANE(a.a + sign * b.a, a.b + sign * b.b, a.c + sign * b.c, a.d + sign * b.d);
    };
    return FrustumPlanes{add(c4, c1, -1), add(c4, c1, +1), add(c4, c2, +1),
                         add(c4, c2, -1), add(c4, c3, -1), add(c4, c3, +1)};
}

void UpdateFrustumPlanes(const D3DXMATRIX& view, const D3DXMATRIX& projection) {
    D3DXMATRIX vp;
    D3DXMatrixMultiply(&vp, &view, &projection);
    g_planes = ComputeFrustumPlanes(vp);
}

void UpdateFrustumPlanes(IDirect3DDevice8* device) {
    if (device == nullptr) return;
    D3DMATRIX view{}, projection{};
    if (FAILED(device->GetTransform(D3DTS_VIEW, &view)) ||
        FAILED(device->GetTransform(D3DTS_PROJECTION, &projection)))
        return;
    UpdateFrustumPlanes(D3DXMATRIX(view), D3DXMATRIX(projection));
}

const FrustumPlanes& SharedFrustumPlanes() { return g_planes; }

bool BoxOutside(const FrustumPlanes& planes, const D3DXVECTOR3 (&corners)[8]) {
    for (const D3DXPLANE& p : planes) {
        bool allBehind = true;
        for (const D3DXVECTOR3& c : corners) {
            if (Side(p, c.x, c.y, c.z) >= 0.0f) {
                allBehind = false;
                break;
            }
        }
        if (allBehind) return true;
    }
    return false;
}

bool BoxOutsideFrustum(const D3DXVECTOR3& lo, const D3DXVECTOR3& hi) {
    // For an axis-aligned box the corner furthest along a plane's normal is the one that picks,
    // per axis, the extreme on the normal's side; every corner is behind the plane exactly when
    // that one is, so one evaluation per plane replaces eight.
    for (const D3DXPLANE& p : g_planes) {
        const float x = p.a >= 0.0f ? hi.x : lo.x;
        const float y = p.b >= 0.0f ? hi.y : lo.y;
        const float z = p.c >= 0.0f ? hi.z : lo.z;
        if (Side(p, x, y, z) < 0.0f) return true;
    }
    return false;
}

}  // namespace model
