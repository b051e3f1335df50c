// Pixel tests of our Direct3D 8 implementation, rendered headless (EGL surfaceless) and read back
// with GetFrontBuffer, compared with what Direct3D 8 semantics give.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <cstdio>
#include <string>
#include <vector>

#include "fakes/headless_device/headless_device.h"
#include "platform/d3d8/d3d8.h"
#include "platform/gl/dxt_decode.h"
#include "platform/gl/gl_device.h"
#include "platform/gl/gl_window_system.h"

namespace {

constexpr UINT kW = 320, kH = 240;

struct TlVertex {  // 0x144
    float x, y, z, rhw;
    D3DCOLOR colour;
    float u, v;
};
struct LitVertex {  // 0x152
    float x, y, z, nx, ny, nz;
    D3DCOLOR colour;
    float u, v;
};

class GlPixelTest : public headless_test::HeadlessDeviceTest {
protected:
    void SetUp() override {
        if (!UseHeadlessWindows()) GTEST_SKIP() << "no EGL surfaceless OpenGL 3.3 context on this machine";
        window_ = {static_cast<int>(kW), static_cast<int>(kH), true};
        OpenDevice();
        if (HasFatalFailure()) return;
        device_->SetRenderState(D3DRS_LIGHTING, FALSE);
        device_->SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
        device_->SetRenderState(D3DRS_ZENABLE, FALSE);
    }
    void TearDown() override {
        gl::SimulateDeviceLoss(false);
        CloseDevice();
    }

    void Quad(float x, float y, float w, float h, D3DCOLOR c, float u0 = 0, float v0 = 0, float u1 = 1, float v1 = 1) {
        const TlVertex v[4] = {{x, y + h, 0.5f, 1, c, u0, v1},
                               {x, y, 0.5f, 1, c, u0, v0},
                               {x + w, y + h, 0.5f, 1, c, u1, v1},
                               {x + w, y, 0.5f, 1, c, u1, v0}};
        ASSERT_EQ(device_->SetVertexShader(D3DFVF_XYZRHW | D3DFVF_DIFFUSE | D3DFVF_TEX1), D3D_OK);
        ASSERT_EQ(device_->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, v, sizeof(TlVertex)), D3D_OK);
    }

    IDirect3DTexture8* MakeTexture(UINT w, UINT h, const std::vector<std::uint32_t>& argb) {
        IDirect3DTexture8* t = nullptr;
        EXPECT_EQ(device_->CreateTexture(w, h, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &t), D3D_OK);
        D3DLOCKED_RECT lr{};
        EXPECT_EQ(t->LockRect(0, &lr, nullptr, 0), D3D_OK);
        for (UINT y = 0; y < h; ++y) std::memcpy(static_cast<std::uint8_t*>(lr.pBits) + y * lr.Pitch, &argb[y * w], w * 4);
        EXPECT_EQ(t->UnlockRect(0), D3D_OK);
        return t;
    }

};

int Channel(std::uint32_t c, int shift) { return static_cast<int>((c >> shift) & 0xFF); }

void ExpectColour(std::uint32_t actual, std::uint32_t expected, int tolerance, const char* what) {
    for (int shift : {16, 8, 0})
        EXPECT_NEAR(Channel(actual, shift), Channel(expected, shift), tolerance)
            << what << ": got " << std::hex << actual << " want " << expected;
}

TEST_F(GlPixelTest, PretransformedQuadsCoverExactlyTheirPixels) {
    device_->Clear(0, nullptr, D3DCLEAR_TARGET, 0xFF000000, 1.0f, 0);
    Quad(0, 0, kW, kH, 0xFFFF0000);
    auto full = Frame();
    int missing = 0;
    for (std::uint32_t p : full) missing += (p & 0xFFFFFF) != 0xFF0000;
    EXPECT_EQ(missing, 0) << "a full-viewport quad leaves a seam or an edge uncovered";

    device_->Clear(0, nullptr, D3DCLEAR_TARGET, 0xFF000000, 1.0f, 0);
    Quad(30, 40, 256, 128, 0xFF00FF00);
    auto part = Frame();
    int wrong = 0;
    for (UINT y = 0; y < kH; ++y)
        for (UINT x = 0; x < kW; ++x) {
            const bool inside = x >= 30 && x < 286 && y >= 40 && y < 168;
            wrong += ((part[y * kW + x] & 0xFFFFFF) == 0x00FF00) != inside;
        }
    EXPECT_EQ(wrong, 0) << "the 256 x 128 quad is not on exactly its pixels";
}

TEST_F(GlPixelTest, BlendModesGiveTheDirect3DResult) {
    struct Case {
        DWORD src, dst;
        float (*expect)(float s, float sa, float d);
    };
    const Case cases[] = {
        {D3DBLEND_SRCALPHA, D3DBLEND_ONE, [](float s, float sa, float d) { return s * sa + d; }},
        {D3DBLEND_SRCALPHA, D3DBLEND_INVSRCALPHA, [](float s, float sa, float d) { return s * sa + d * (1 - sa); }},
        {D3DBLEND_ZERO, D3DBLEND_SRCCOLOR, [](float s, float, float d) { return d * s; }},
        {D3DBLEND_ONE, D3DBLEND_ONE, [](float s, float, float d) { return s + d; }},
        {D3DBLEND_INVSRCCOLOR, D3DBLEND_ONE, [](float s, float, float d) { return s * (1 - s) + d; }},
        {D3DBLEND_ONE, D3DBLEND_ZERO, [](float s, float, float) { return s; }},
    };
    const D3DCOLOR dest = 0xFF406080, source = 0x80C02040;  // alpha 0x80
    for (const Case& c : cases) {
        device_->Clear(0, nullptr, D3DCLEAR_TARGET, dest, 1.0f, 0);
        device_->SetRenderState(D3DRS_ALPHABLENDENABLE, TRUE);
        device_->SetRenderState(D3DRS_SRCBLEND, c.src);
        device_->SetRenderState(D3DRS_DESTBLEND, c.dst);
        device_->SetTextureStageState(0, D3DTSS_ALPHAOP, D3DTOP_SELECTARG2);
        device_->SetTextureStageState(0, D3DTSS_ALPHAARG2, D3DTA_DIFFUSE);
        Quad(0, 0, kW, kH, source);
        device_->SetRenderState(D3DRS_ALPHABLENDENABLE, FALSE);
        const std::uint32_t got = Frame()[kH / 2 * kW + kW / 2];
        std::uint32_t want = 0;
        for (int shift : {16, 8, 0}) {
            const float s = Channel(source, shift) / 255.f, d = Channel(dest, shift) / 255.f;
            const float r = std::fmin(1.f, c.expect(s, 0x80 / 255.f, d));
            want |= static_cast<std::uint32_t>(std::lround(r * 255)) << shift;
        }
        ExpectColour(got, want, 2, ("blend " + std::to_string(c.src) + "/" + std::to_string(c.dst)).c_str());
    }
}

TEST_F(GlPixelTest, AlphaTestAtReference50PassesFromFiftyUp) {
    device_->Clear(0, nullptr, D3DCLEAR_TARGET, 0xFF000000, 1.0f, 0);
    device_->SetRenderState(D3DRS_ALPHATESTENABLE, TRUE);
    device_->SetRenderState(D3DRS_ALPHAREF, 50);
    device_->SetRenderState(D3DRS_ALPHAFUNC, D3DCMP_GREATEREQUAL);
    device_->SetTextureStageState(0, D3DTSS_ALPHAOP, D3DTOP_SELECTARG2);
    device_->SetTextureStageState(0, D3DTSS_ALPHAARG2, D3DTA_DIFFUSE);
    Quad(0, 0, 100, 100, D3DCOLOR_ARGB(49, 255, 255, 255));
    Quad(100, 0, 100, 100, D3DCOLOR_ARGB(50, 255, 255, 255));
    Quad(200, 0, 100, 100, D3DCOLOR_ARGB(51, 255, 255, 255));
    auto f = Frame();
    EXPECT_EQ(f[50 * kW + 50] & 0xFFFFFF, 0u);
    EXPECT_EQ(f[50 * kW + 150] & 0xFFFFFF, 0xFFFFFFu);
    EXPECT_EQ(f[50 * kW + 250] & 0xFFFFFF, 0xFFFFFFu);
}

TEST_F(GlPixelTest, StageOperationsClampAndSelectTheTextureFactor) {
    IDirect3DTexture8* t = MakeTexture(1, 1, {0xFF806020});
    device_->SetTexture(0, t);
    device_->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_MODULATE4X);
    device_->SetTextureStageState(0, D3DTSS_COLORARG1, D3DTA_TEXTURE);
    device_->SetTextureStageState(0, D3DTSS_COLORARG2, D3DTA_DIFFUSE);
    device_->Clear(0, nullptr, D3DCLEAR_TARGET, 0xFF000000, 1.0f, 0);
    Quad(0, 0, kW, kH, 0xFF808080);
    // red 0x80 * 0x80 * 4 clamps to 255; green 0x60 * 0x80 * 4 = 193; blue 0x20 * 0x80 * 4 = 0x40.
    ExpectColour(Frame()[1000], 0xFFFFC140, 3, "MODULATE4X");

    device_->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_SELECTARG1);
    device_->SetTextureStageState(0, D3DTSS_COLORARG1, D3DTA_TFACTOR);
    device_->SetRenderState(D3DRS_TEXTUREFACTOR, 0xFF123456);
    Quad(0, 0, kW, kH, 0xFF808080);
    ExpectColour(Frame()[1000], 0xFF123456, 0, "SELECTARG1 TFACTOR");

    device_->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_DISABLE);
    Quad(0, 0, kW, kH, 0xFF336699);
    ExpectColour(Frame()[1000], 0xFF336699, 0, "DISABLE passes the diffuse colour");
    device_->SetTexture(0, nullptr);
    t->Release();
}

TEST_F(GlPixelTest, WrapAndMirrorAddressing) {
    // Two texels, black then white; four repeats across 16 pixels.
    IDirect3DTexture8* t = MakeTexture(2, 1, {0xFF000000, 0xFFFFFFFF});
    device_->SetTexture(0, t);
    device_->SetTextureStageState(0, D3DTSS_MINFILTER, D3DTEXF_POINT);
    device_->SetTextureStageState(0, D3DTSS_MAGFILTER, D3DTEXF_POINT);
    for (DWORD mode : {static_cast<DWORD>(D3DTADDRESS_WRAP), static_cast<DWORD>(D3DTADDRESS_MIRROR)}) {
        device_->SetTextureStageState(0, D3DTSS_ADDRESSU, mode);
        device_->Clear(0, nullptr, D3DCLEAR_TARGET, 0xFF800000, 1.0f, 0);
        Quad(0, 0, 16, 4, 0xFFFFFFFF, 0, 0, 4, 1);
        auto f = Frame();
        std::string row;  // sampled at texel centres
        for (int x = 1; x < 16; x += 2) row += (f[kW + x] & 0xFF) > 128 ? 'W' : 'B';
        EXPECT_EQ(row, mode == D3DTADDRESS_WRAP ? "BWBWBWBW" : "BWWBBWWB") << "address mode " << mode;
    }
    device_->SetTexture(0, nullptr);
    t->Release();
}

TEST_F(GlPixelTest, OneDirectionalLightOnANormalMesh) {
    D3DMATERIAL8 m{};
    m.Diffuse = {1, 1, 1, 1};
    m.Ambient = {1, 1, 1, 1};
    device_->SetMaterial(&m);
    D3DLIGHT8 l{};
    l.Type = D3DLIGHT_DIRECTIONAL;
    l.Diffuse = {0.5f, 0.5f, 0.5f, 1};
    l.Direction = {0, 0, 1};  // shining into the screen (left-handed: +z away from the viewer)
    device_->SetLight(0, &l);
    device_->LightEnable(0, TRUE);
    device_->SetRenderState(D3DRS_LIGHTING, TRUE);
    device_->SetRenderState(D3DRS_AMBIENT, 0xFF202020);
    device_->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_SELECTARG2);
    device_->SetTextureStageState(0, D3DTSS_COLORARG2, D3DTA_DIFFUSE);
    // Identity transforms: x and y in [-1, 1] span the viewport; z 0.5 inside the depth range.
    auto tri = [&](float x0, float nz, D3DCOLOR c) {
        const LitVertex v[3] = {{x0, -0.5f, 0.5f, 0, 0, nz, c, 0, 0},
                                {x0, 0.5f, 0.5f, 0, 0, nz, c, 0, 0},
                                {x0 + 0.8f, 0.5f, 0.5f, 0, 0, nz, c, 0, 0}};
        device_->SetVertexShader(D3DFVF_XYZ | D3DFVF_NORMAL | D3DFVF_DIFFUSE | D3DFVF_TEX1);
        device_->DrawPrimitiveUP(D3DPT_TRIANGLELIST, 1, v, sizeof(LitVertex));
    };
    device_->Clear(0, nullptr, D3DCLEAR_TARGET, 0xFF000000, 1.0f, 0);
    tri(-0.9f, -1.0f, 0xFFFF8000);  // faces the light: vertex colour as diffuse material
    tri(0.1f, 1.0f, 0xFFFF8000);    // faces away: ambient only
    auto f = Frame();
    // Left triangle covers x in [-0.9,-0.1] (pixels 16..144) and y top half of [-0.5, 0.5].
    const std::uint32_t lit = f[65 * kW + 120], dark = f[65 * kW + 280];
    ExpectColour(lit, D3DCOLOR_XRGB(0x20 + 0x80, 0x20 + 0x40, 0x20), 3, "lit side");
    ExpectColour(dark, D3DCOLOR_XRGB(0x20, 0x20, 0x20), 3, "unlit side");
}

TEST_F(GlPixelTest, RenderTargetTextureDrawnBack) {
    IDirect3DTexture8* rt = nullptr;
    ASSERT_EQ(device_->CreateTexture(64, 64, 1, D3DUSAGE_RENDERTARGET, D3DFMT_X8R8G8B8, D3DPOOL_DEFAULT, &rt), D3D_OK);
    IDirect3DSurface8 *surface = nullptr, *back = nullptr, *depth = nullptr;
    ASSERT_EQ(rt->GetSurfaceLevel(0, &surface), D3D_OK);
    device_->GetRenderTarget(&back);
    device_->GetDepthStencilSurface(&depth);
    ASSERT_EQ(device_->SetRenderTarget(surface, nullptr), D3D_OK);
    device_->Clear(0, nullptr, D3DCLEAR_TARGET, 0xFF0000FF, 1.0f, 0);
    Quad(0, 0, 32, 64, 0xFFFFFF00);  // left half yellow
    ASSERT_EQ(device_->SetRenderTarget(back, depth), D3D_OK);
    device_->Clear(0, nullptr, D3DCLEAR_TARGET, 0xFF000000, 1.0f, 0);
    device_->SetTexture(0, rt);
    Quad(0, 0, 64, 64, 0xFFFFFFFF);
    auto f = Frame();
    ExpectColour(f[10 * kW + 10], 0xFFFFFF00, 0, "drawn half");
    ExpectColour(f[10 * kW + 50], 0xFF0000FF, 0, "cleared half");
    device_->SetTexture(0, nullptr);
    surface->Release();
    back->Release();
    depth->Release();
    EXPECT_EQ(rt->Release(), 0u);
}

// A DXT5 image made of solid 4 x 4 blocks (colours exact in 5:6:5) with an alpha ramp.
std::vector<std::uint8_t> MakeDxt5(int w, int h, std::vector<std::uint32_t>& source) {
    std::vector<std::uint8_t> blocks;
    source.assign(static_cast<std::size_t>(w * h), 0);
    for (int by = 0; by < h / 4; ++by)
        for (int bx = 0; bx < w / 4; ++bx) {
            const unsigned r5 = (bx * 7) & 31, g6 = (by * 13) & 63, b5 = (bx + by) & 31;
            const std::uint16_t c = static_cast<std::uint16_t>((r5 << 11) | (g6 << 5) | b5);
            // alpha: endpoints 255 and 0, 8 levels; index i used for column x.
            std::uint8_t block[16] = {255, 0};
            std::uint64_t bits = 0;
            for (int i = 0; i < 16; ++i) bits |= static_cast<std::uint64_t>(i & 3) << (3 * i);
            for (int i = 0; i < 6; ++i) block[2 + i] = static_cast<std::uint8_t>(bits >> (8 * i));
            block[8] = block[10] = static_cast<std::uint8_t>(c & 0xFF);
            block[9] = block[11] = static_cast<std::uint8_t>(c >> 8);
            blocks.insert(blocks.end(), block, block + 16);
            const unsigned r = (r5 << 3) | (r5 >> 2), g = (g6 << 2) | (g6 >> 4), b = (b5 << 3) | (b5 >> 2);
            for (int i = 0; i < 16; ++i) {
                const unsigned alphas[4] = {255, 0, (6 * 255 + 3) / 7, (5 * 255 + 3) / 7};
                source[(by * 4 + i / 4) * w + bx * 4 + i % 4] = (alphas[i & 3] << 24) | (r << 16) | (g << 8) | b;
            }
        }
    return blocks;
}

TEST_F(GlPixelTest, Dxt5TextureDecodesCloseToItsSource) {
    std::vector<std::uint32_t> source;
    const auto blocks = MakeDxt5(64, 64, source);
    // The software decoder (used without S3TC support) agrees with the source exactly.
    std::vector<std::uint8_t> decoded(64 * 64 * 4);
    ASSERT_TRUE(gl::DecodeDxt(D3DFMT_DXT5, blocks.data(), blocks.size(), 64, 64, decoded.data()));
    for (int i = 0; i < 64 * 64; ++i) {
        std::uint32_t v;
        std::memcpy(&v, &decoded[i * 4], 4);
        ASSERT_EQ(v, source[i]) << "texel " << i;
    }
    EXPECT_FALSE(gl::DecodeDxt(D3DFMT_DXT5, blocks.data(), blocks.size() - 1, 64, 64, decoded.data()));

    IDirect3DTexture8* t = nullptr;
    ASSERT_EQ(device_->CreateTexture(64, 64, 1, 0, D3DFMT_DXT5, D3DPOOL_MANAGED, &t), D3D_OK);
    D3DLOCKED_RECT lr{};
    ASSERT_EQ(t->LockRect(0, &lr, nullptr, 0), D3D_OK);
    ASSERT_EQ(lr.Pitch, 16 * 16);
    std::memcpy(lr.pBits, blocks.data(), blocks.size());
    t->UnlockRect(0);
    device_->SetTexture(0, t);
    device_->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_SELECTARG1);
    device_->SetTextureStageState(0, D3DTSS_ALPHAOP, D3DTOP_SELECTARG1);
    device_->SetRenderState(D3DRS_ALPHABLENDENABLE, TRUE);
    device_->SetRenderState(D3DRS_SRCBLEND, D3DBLEND_SRCALPHA);
    device_->SetRenderState(D3DRS_DESTBLEND, D3DBLEND_INVSRCALPHA);
    device_->Clear(0, nullptr, D3DCLEAR_TARGET, 0xFF000000, 1.0f, 0);
    // Texel centres sit half a pixel off pixel centres, as in Direct3D: shift to map 1:1.
    Quad(-0.5f, -0.5f, 64, 64, 0xFFFFFFFF);
    auto f = Frame();
    int worst = 0;
    for (int y = 0; y < 64; ++y)
        for (int x = 0; x < 64; ++x) {
            const std::uint32_t s = source[y * 64 + x];
            const float a = static_cast<float>(s >> 24) / 255.f;
            for (int shift : {16, 8, 0}) {
                const int want = static_cast<int>(std::lround(Channel(s, shift) * a));
                worst = std::max(worst, std::abs(Channel(f[y * kW + x], shift) - want));
            }
        }
    EXPECT_LE(worst, 4);
    device_->SetTexture(0, nullptr);
    t->Release();
}

TEST_F(GlPixelTest, GammaRampIsAppliedWhenPresenting) {
    D3DGAMMARAMP ramp{};
    for (int i = 0; i < 256; ++i)
        ramp.red[i] = ramp.green[i] = ramp.blue[i] = static_cast<WORD>((255 - i) * 257);
    device_->SetGammaRamp(D3DSGR_CALIBRATE, &ramp);
    device_->Clear(0, nullptr, D3DCLEAR_TARGET, 0xFF204080, 1.0f, 0);
    ExpectColour(Frame()[0], 0xFFDFBF7F, 0, "inverted ramp");
    D3DGAMMARAMP back{};
    device_->GetGammaRamp(&back);
    EXPECT_EQ(back.red[1], ramp.red[1]);
}

TEST_F(GlPixelTest, ReferenceCountsFollowTheApi) {
    IDirect3DTexture8* t = MakeTexture(4, 4, std::vector<std::uint32_t>(16, 0xFFFFFFFF));
    EXPECT_EQ(t->AddRef(), 2u);
    EXPECT_EQ(t->Release(), 1u);
    IDirect3DSurface8* level = nullptr;
    ASSERT_EQ(t->GetSurfaceLevel(0, &level), D3D_OK);
    EXPECT_EQ(t->AddRef(), 3u) << "a level surface holds its texture";
    t->Release();
    level->Release();
    // Bound to a stage, the texture outlives the program's last reference.
    device_->SetTexture(0, t);
    EXPECT_EQ(t->Release(), 0u);
    IDirect3DBaseTexture8* bound = nullptr;
    ASSERT_EQ(device_->GetTexture(0, &bound), D3D_OK);
    ASSERT_NE(bound, nullptr);
    EXPECT_EQ(bound->GetType(), D3DRTYPE_TEXTURE);
    EXPECT_EQ(bound->Release(), 0u);
    device_->SetTexture(0, nullptr);
    IDirect3D8* d3d = nullptr;
    ASSERT_EQ(device_->GetDirect3D(&d3d), D3D_OK);
    EXPECT_EQ(d3d, d3d_);
    d3d->Release();
    IDirect3DVertexBuffer8* vb = nullptr;
    ASSERT_EQ(device_->CreateVertexBuffer(112, D3DUSAGE_WRITEONLY, 0x144, D3DPOOL_MANAGED, &vb), D3D_OK);
    BYTE* data = nullptr;
    EXPECT_EQ(vb->Lock(100, 20, &data, 0), D3DERR_INVALIDCALL) << "lock past the end";
    EXPECT_EQ(vb->Release(), 0u);
}

TEST_F(GlPixelTest, DeviceLossNeedsAReset) {
    EXPECT_EQ(device_->TestCooperativeLevel(), D3D_OK);
    gl::SimulateDeviceLoss(true);
    EXPECT_EQ(device_->TestCooperativeLevel(), D3DERR_DEVICELOST);
    EXPECT_EQ(device_->Present(nullptr, nullptr, nullptr, nullptr), D3DERR_DEVICELOST);
    gl::SimulateDeviceLoss(false);
    EXPECT_EQ(device_->TestCooperativeLevel(), D3DERR_DEVICENOTRESET);
    EXPECT_EQ(device_->Reset(&params_), D3D_OK);
    EXPECT_EQ(device_->TestCooperativeLevel(), D3D_OK);
    // A hidden full-screen window is a lost device too.
    window_.visible = false;
    EXPECT_EQ(device_->TestCooperativeLevel(), D3DERR_DEVICELOST);
    window_.visible = true;
    EXPECT_EQ(device_->TestCooperativeLevel(), D3DERR_DEVICENOTRESET);
    EXPECT_EQ(device_->Reset(&params_), D3D_OK);
    EXPECT_EQ(device_->TestCooperativeLevel(), D3D_OK);
}

TEST_F(GlPixelTest, SameStateReusesItsProgram) {
    for (int frame = 0; frame < 2; ++frame) {
        device_->Clear(0, nullptr, D3DCLEAR_TARGET, 0xFF000000, 1.0f, 0);
        Quad(0, 0, 10, 10, 0xFFFFFFFF);
        device_->SetRenderState(D3DRS_ALPHABLENDENABLE, TRUE);
        Quad(0, 0, 10, 10, 0xFFFFFFFF);
        device_->SetRenderState(D3DRS_ALPHABLENDENABLE, FALSE);
        device_->Present(nullptr, nullptr, nullptr, nullptr);
    }
    EXPECT_EQ(static_cast<gl::Device*>(device_)->ProgramCount(), 1u) << "blending needs no program of its own";
}

TEST(GlAdapter, HeadlessReportsItsModesAndFormats) {
    gl::UseHeadlessWindowSystem({});
    IDirect3D8* d3d = Direct3DCreate8(D3D_SDK_VERSION);
    ASSERT_NE(d3d, nullptr);
    EXPECT_EQ(Direct3DCreate8(12345), nullptr);
    EXPECT_EQ(d3d->GetAdapterCount(), 1u);
    EXPECT_EQ(d3d->GetAdapterModeCount(0), 10u);
    D3DDISPLAYMODE mode{};
    EXPECT_EQ(d3d->GetAdapterDisplayMode(0, &mode), D3D_OK);
    EXPECT_EQ(mode.Width, 1024u);
    EXPECT_EQ(d3d->CheckDeviceType(0, D3DDEVTYPE_HAL, D3DFMT_R8G8B8, D3DFMT_R8G8B8, FALSE), D3DERR_NOTAVAILABLE);
    EXPECT_EQ(d3d->CheckDeviceType(0, D3DDEVTYPE_HAL, D3DFMT_R5G6B5, D3DFMT_R5G6B5, FALSE), D3D_OK);
    EXPECT_EQ(d3d->CheckDeviceFormat(0, D3DDEVTYPE_HAL, D3DFMT_X8R8G8B8, D3DUSAGE_DEPTHSTENCIL, D3DRTYPE_SURFACE, D3DFMT_D32), D3D_OK);
    EXPECT_EQ(d3d->CheckDeviceFormat(0, D3DDEVTYPE_HAL, D3DFMT_X8R8G8B8, 0, D3DRTYPE_TEXTURE, D3DFMT_DXT3), D3D_OK);
    EXPECT_EQ(d3d->CheckDeviceFormat(0, D3DDEVTYPE_HAL, D3DFMT_X8R8G8B8, 0, D3DRTYPE_VOLUMETEXTURE, D3DFMT_A8R8G8B8),
              D3DERR_NOTAVAILABLE);
    EXPECT_EQ(d3d->CheckDeviceMultiSampleType(0, D3DDEVTYPE_HAL, D3DFMT_X8R8G8B8, FALSE, D3DMULTISAMPLE_4_SAMPLES),
              D3DERR_NOTAVAILABLE);
    D3DCAPS8 caps{};
    ASSERT_EQ(d3d->GetDeviceCaps(0, D3DDEVTYPE_HAL, &caps), D3D_OK);
    EXPECT_EQ(caps.VertexShaderVersion, 0u) << "no shader support is reported";
    EXPECT_NE(caps.TextureOpCaps & D3DTEXOPCAPS_MODULATE4X, 0u);
    EXPECT_EQ(d3d->GetDeviceCaps(1, D3DDEVTYPE_HAL, &caps), D3DERR_INVALIDCALL);
    EXPECT_EQ(d3d->Release(), 0u);
}

}  // namespace

namespace {

// The level's light-map stage: stage 0 texture x diffuse, stage 1 its texture (read through the uv
// set TEXCOORDINDEX names) x current x 4, so a light-map texel of 64 leaves the colour as it is.
TEST_F(GlPixelTest, LightMapStageReadsTheUvSetItsIndexNamesAndModulatesFourTimes) {
    struct Vertex {  // XYZRHW | DIFFUSE | TEX2
        float x, y, z, rhw;
        D3DCOLOR colour;
        float u0, v0, u1, v1;
    };
    IDirect3DTexture8* base = MakeTexture(1, 1, {0xFF808080});
    IDirect3DTexture8* light = MakeTexture(2, 1, {0xFF404040, 0xFF202020});  // neutral | half
    device_->SetTexture(0, base);
    device_->SetTexture(1, light);
    device_->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_MODULATE);
    device_->SetTextureStageState(0, D3DTSS_COLORARG1, D3DTA_TEXTURE);
    device_->SetTextureStageState(0, D3DTSS_COLORARG2, D3DTA_DIFFUSE);
    device_->SetTextureStageState(1, D3DTSS_COLOROP, D3DTOP_MODULATE4X);
    device_->SetTextureStageState(1, D3DTSS_COLORARG1, D3DTA_TEXTURE);
    device_->SetTextureStageState(1, D3DTSS_COLORARG2, D3DTA_CURRENT);
    for (DWORD stage : {0u, 1u}) {
        device_->SetTextureStageState(stage, D3DTSS_MINFILTER, D3DTEXF_POINT);
        device_->SetTextureStageState(stage, D3DTSS_MAGFILTER, D3DTEXF_POINT);
    }
    // uv set 0 points at the light map's left (neutral) texel, uv set 1 at its right one.
    const float w = static_cast<float>(kW), h = static_cast<float>(kH);
    const Vertex v[4] = {{0, h, 0.5f, 1, 0xFFFFFFFF, 0.25f, 0.5f, 0.75f, 0.5f},
                         {0, 0, 0.5f, 1, 0xFFFFFFFF, 0.25f, 0.5f, 0.75f, 0.5f},
                         {w, h, 0.5f, 1, 0xFFFFFFFF, 0.25f, 0.5f, 0.75f, 0.5f},
                         {w, 0, 0.5f, 1, 0xFFFFFFFF, 0.25f, 0.5f, 0.75f, 0.5f}};
    const struct {
        DWORD index;
        std::uint32_t expected;
    } cases[] = {{1, 0xFF404040}, {0, 0xFF808080}};  // 0x80 * 0x20 * 4 / 255; 0x80 * 0x40 * 4 / 255
    for (const auto& c : cases) {
        device_->SetTextureStageState(1, D3DTSS_TEXCOORDINDEX, c.index);
        device_->Clear(0, nullptr, D3DCLEAR_TARGET, 0xFF000000, 1.0f, 0);
        ASSERT_EQ(device_->SetVertexShader(D3DFVF_XYZRHW | D3DFVF_DIFFUSE | D3DFVF_TEX2), D3D_OK);
        ASSERT_EQ(device_->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, v, sizeof(Vertex)), D3D_OK);
        ExpectColour(Frame()[kW * (kH / 2) + kW / 2], c.expected, 3, c.index == 1 ? "uv set 1" : "uv set 0");
    }
    device_->SetTexture(0, nullptr);
    device_->SetTexture(1, nullptr);
    base->Release();
    light->Release();
}

}  // namespace
