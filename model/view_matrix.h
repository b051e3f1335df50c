// The view matrix shared by every camera: eye, look-at point and up direction to a left-handed,
// row-vector view transform (p' = p * M).
#pragma once

#include "platform/d3d8/d3d8.h"

namespace model {

// Orthogonalises `up` against the viewing direction; when `up` is (nearly) parallel to it, falls
// back to +y, then +z, so a camera looking straight down still gets a valid matrix.
// Returns 0, or E_INVALIDARG with `out` left as the identity when eye and look-at coincide.
HRESULT BuildViewMatrix(D3DMATRIX& out, const D3DVECTOR& eye, const D3DVECTOR& lookAt,
                        const D3DVECTOR& up);

}  // namespace model
