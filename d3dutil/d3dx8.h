// The Direct3D 8 utility library: math and textures. On Windows the real library is used.
#pragma once

#if defined(_WIN32)
#include <d3dx8.h>
#else
#include "d3dutil/d3dx8math.h"
#include "d3dutil/d3dx8tex.h"
#endif
