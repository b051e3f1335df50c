// Where an orc's weapon or shield goes: the item rides on one bone of the orc's skeleton, held
// by a grip pose from the grip table (Data/Orcs.dat).
#pragma once

#include "d3dutil/d3dx8math.h"
#include "scene/army_data.h"

namespace scene {

// The item model's orientation (for SetRotationMatrix: its translation row is already zero) and
// its position (for SetPosition), both in world space.
struct ItemPlacement {
  D3DXMATRIX rotation;
  D3DXVECTOR3 position;
};

// bone: the carrying bone's current model-space matrix (after the orc's last skinning);
// unitRotation and unitWorld: the orc model's rotation and world matrices. With row vectors
//   rotation = bone * pose.matrix * unitRotation   (translation row then set to 0, 0, 0)
//   position = pose.offset * pose.matrix * bone * unitWorld   (offset taken as a point)
// The two products take bone and pose.matrix in opposite orders; both orders are kept as they
// are because the grip table's poses were authored against exactly these formulas.
ItemPlacement ItemTransform(const D3DXMATRIX& bone, const GripPose& pose, const D3DXMATRIX& unitRotation,
                            const D3DXMATRIX& unitWorld);

// The grip pose's row-major matrix as a D3DXMATRIX.
D3DXMATRIX GripPoseMatrix(const GripPose& pose);

}  // namespace scene
