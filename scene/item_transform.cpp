#include "scene/item_transform.h"

namespace scene {

D3DXMATRIX GripPoseMatrix(const GripPose& pose) {
  D3DXMATRIX m;
  for (unsigned r = 0; r < 4; ++r)
    for (unsigned c = 0; c < 4; ++c) m(r, c) = pose.matrix[r * 4 + c];
  return m;
}

ItemPlacement ItemTransform(const D3DXMATRIX& bone, const GripPose& pose, const D3DXMATRIX& unitRotation,
                            const D3DXMATRIX& unitWorld) {
  const D3DXMATRIX grip = GripPoseMatrix(pose);
  ItemPlacement out;
  out.rotation = bone * grip * unitRotation;
  out.rotation(3, 0) = 0.0f;
  out.rotation(3, 1) = 0.0f;
  out.rotation(3, 2) = 0.0f;

  const D3DXMATRIX toWorld = grip * bone * unitWorld;
  const D3DXVECTOR3 offset(pose.offset[0], pose.offset[1], pose.offset[2]);
  D3DXVec3TransformCoord(&out.position, &offset, &toWorld);
  return out;
}

}  // namespace scene
