// Shared by the grip tests: where the scene puts an orc and the items in its hands.
#pragma once

#include <cmath>

#include "d3dutil/d3dx8math.h"
#include "scene/item_transform.h"
#include "tools/griptable/grip_builder.h"

namespace grip_test {

// The orc model's rotation for a heading (SetRotation(0, yaw + 90, 0)) and its world matrix:
// centred on its box, scaled to the orc height, turned, moved to `at`.
struct OrcPlacement {
  D3DXMATRIX rotation, world;
  float scale = 1.0f;
};

inline OrcPlacement PlaceOrc(const griptable::Box& box, float yawDegrees, const D3DXVECTOR3& at) {
  OrcPlacement p;
  p.scale = griptable::kOrcHeight / box.Height();
  D3DXMatrixRotationY(&p.rotation, -D3DXToRadian(yawDegrees + 90.0f));
  D3DXMATRIX n;
  D3DXMatrixScaling(&n, p.scale, p.scale, p.scale);
  n(3, 0) = -box.Centre(0) * p.scale;
  n(3, 1) = -box.Centre(1) * p.scale;
  n(3, 2) = -box.Centre(2) * p.scale;
  p.world = n * p.rotation;
  p.world(3, 0) += at.x;
  p.world(3, 1) += at.y;
  p.world(3, 2) += at.z;
  return p;
}

// World position of a point of an item model placed by ItemTransform: the item is centred on its
// box, scaled to its table height, then rotated and moved like any model.
inline D3DXVECTOR3 ItemPoint(const scene::ItemPlacement& placed, const griptable::Box& itemBox,
                             float itemHeight, const D3DXVECTOR3& q) {
  const float s = itemHeight / itemBox.Height();
  const D3DXVECTOR3 centred((q.x - itemBox.Centre(0)) * s, (q.y - itemBox.Centre(1)) * s,
                            (q.z - itemBox.Centre(2)) * s);
  D3DXVECTOR3 out;
  D3DXVec3TransformNormal(&out, &centred, &placed.rotation);
  return out + placed.position;
}

inline D3DXVECTOR3 Axis(const D3DXMATRIX& m, int row) { return {m(row, 0), m(row, 1), m(row, 2)}; }

inline float Distance(const D3DXVECTOR3& a, const D3DXVECTOR3& b) {
  D3DXVECTOR3 d = a - b;
  return D3DXVec3Length(&d);
}

}  // namespace grip_test
