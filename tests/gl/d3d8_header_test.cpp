// The declarations must keep the API's layouts: code and data written against the real header
// (vertex structs, caps dumps, saved gamma ramps) depend on them.
#include <cstddef>

#include <gtest/gtest.h>

#include "platform/d3d8/d3d8.h"

static_assert(sizeof(D3DMATRIX) == 64);
static_assert(sizeof(D3DVECTOR) == 12);
static_assert(sizeof(D3DCOLORVALUE) == 16);
static_assert(sizeof(D3DVIEWPORT8) == 24);
static_assert(sizeof(D3DMATERIAL8) == 68);
static_assert(sizeof(D3DLIGHT8) == 104);
static_assert(sizeof(D3DCAPS8) == 212);
static_assert(sizeof(D3DGAMMARAMP) == 1536);
static_assert(sizeof(D3DRECT) == 16);
static_assert(sizeof(D3DDISPLAYMODE) == 16);
static_assert(sizeof(D3DFORMAT) == 4);
static_assert(offsetof(D3DLIGHT8, Direction) == 64);
static_assert(offsetof(D3DCAPS8, MaxVertexW) == 112);
static_assert(offsetof(D3DCAPS8, PixelShaderVersion) == 204);
static_assert(offsetof(D3DPRESENT_PARAMETERS, hDeviceWindow) == 24);
static_assert(sizeof(void*) != 4 || sizeof(D3DPRESENT_PARAMETERS) == 52);

TEST(D3d8Header, MacrosAndCodesMatchTheApi) {
    EXPECT_EQ(D3DCOLOR_ARGB(0x12, 0x34, 0x56, 0x78), 0x12345678u);
    EXPECT_EQ(D3DCOLOR_XRGB(1, 2, 3), 0xff010203u);
    EXPECT_EQ(D3DCOLOR_RGBA(1, 2, 3, 4), 0x04010203u);
    EXPECT_EQ(static_cast<DWORD>(D3DFMT_DXT5), 0x35545844u);
    EXPECT_EQ(static_cast<DWORD>(D3DERR_DEVICELOST), 0x88760868u);
    EXPECT_EQ(static_cast<DWORD>(D3DERR_INVALIDCALL), 0x8876086cu);
    EXPECT_EQ(static_cast<DWORD>(D3DERR_OUTOFVIDEOMEMORY), 0x8876017cu);
    EXPECT_EQ(D3DFVF_XYZRHW | D3DFVF_DIFFUSE | D3DFVF_TEX1, 0x144);
    EXPECT_EQ(D3DFVF_XYZ | D3DFVF_NORMAL | D3DFVF_DIFFUSE | D3DFVF_TEX1, 0x152);
    EXPECT_EQ(static_cast<DWORD>(D3DTS_WORLD), 256u);
    EXPECT_EQ(D3DVSD_END(), 0xFFFFFFFFu);
    EXPECT_EQ(D3DVSD_REG(D3DVSDE_NORMAL, D3DVSDT_FLOAT3), 0x40020003u);
    EXPECT_EQ(D3DVSD_STREAM(0), 0x20000000u);
    EXPECT_EQ(D3DVS_VERSION(1, 1), 0xFFFE0101u);
    EXPECT_EQ(D3DPS_VERSION(1, 4), 0xFFFF0104u);
    D3DMATRIX m{};
    m._23 = 5.0f;
    EXPECT_EQ(m.m[1][2], 5.0f);
}
