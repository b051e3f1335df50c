// A lit, textured model drawn through RenderModel by our Direct3D 8 implementation, headless,
// compared with a stored reference image. Set GRIM_UPDATE_REFERENCE=1 to rewrite the reference
// (tests/model/data/model_lit_textured.png) after a deliberate change.
#include <gtest/gtest.h>
#include <png.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "display/texture_table.h"
#include "display/vertex_buffer_pool.h"
#include "media/writer/archive_writer.h"
#include "model/model.h"
#include "model_test_support.h"
#include "fakes/headless_device/headless_device.h"
#include "platform/d3d8/d3d8.h"

namespace {

using namespace model_test;

constexpr UINT kSize = 96;
constexpr D3DCOLOR kBackground = 0xFF203040;
const std::string kReference = std::string(GRIM_SOURCE_DIR) + "/tests/model/data/model_lit_textured.png";

// Texture "files" are one letter: 'A' makes an 8 x 8 texture of opaque white and fully clear
// texels in a checker, anything else an opaque orange and blue checker.
HRESULT CheckerTexture(IDirect3DDevice8* device, const void* data, UINT size, UINT, UINT, D3DFORMAT,
                       IDirect3DTexture8** out) {
    *out = nullptr;
    if (size < 1) return E_FAIL;
    const bool alpha = static_cast<const char*>(data)[0] == 'A';
    IDirect3DTexture8* t = nullptr;
    if (FAILED(device->CreateTexture(8, 8, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &t))) return E_FAIL;
    D3DLOCKED_RECT lr{};
    if (FAILED(t->LockRect(0, &lr, nullptr, 0))) {
        t->Release();
        return E_FAIL;
    }
    for (int y = 0; y < 8; ++y) {
        auto* row = reinterpret_cast<std::uint32_t*>(static_cast<std::uint8_t*>(lr.pBits) + y * lr.Pitch);
        for (int x = 0; x < 8; ++x) {
            const bool odd = ((x / 2 + y / 2) & 1) != 0;
            row[x] = alpha ? (odd ? 0x00FFFFFFu : 0xFFFFFFFFu) : (odd ? 0xFF3050E0u : 0xFFF09020u);
        }
    }
    t->UnlockRect(0);
    *out = t;
    return S_OK;
}

// A cube of side 2 about the origin (24 source vertices, one face per quad, material 0) and a
// see-through grille (material 1, translucent) in front of it at z = -1.5.
ModelFile CubeAndGrille() {
    ModelFile file;
    file.materials = {MakeMaterial("crate.jpg"), MakeMaterial("grille.tga")};
    Mesh cube;
    cube.name = "cube";
    const float n[6][3] = {{0, 0, -1}, {0, 0, 1}, {-1, 0, 0}, {1, 0, 0}, {0, 1, 0}, {0, -1, 0}};
    std::vector<std::int32_t> corners;
    for (int f = 0; f < 6; ++f) {
        // Two axes spanning the face.
        const int axis = n[f][0] != 0 ? 0 : n[f][1] != 0 ? 1 : 2;
        const int a = (axis + 1) % 3, b = (axis + 2) % 3;
        const float su[4] = {-1, 1, 1, -1}, sv[4] = {1, 1, -1, -1};
        const std::int32_t base = static_cast<std::int32_t>(cube.vertices.size());
        for (int k = 0; k < 4; ++k) {
            float p[3];
            p[axis] = n[f][axis];
            p[a] = su[k];
            p[b] = sv[k];
            cube.vertices.push_back(StaticVertex(p[0], p[1], p[2], n[f][0], n[f][1], n[f][2],
                                                 (su[k] + 1) / 2, (1 - sv[k]) / 2));
        }
        for (int c : {0, 1, 2, 0, 2, 3}) corners.push_back(base + c);
    }
    AddGroup(cube, 0, corners);
    file.meshes = {cube, QuadMesh("grille", -1.6f, -0.6f, 1.6f, 0.6f, -1.5f, 1)};
    return file;
}

// The frame as RGBA (opaque) for the PNG files.
std::vector<std::uint8_t> Rgba(const std::vector<std::uint32_t>& argb) {
    std::vector<std::uint8_t> out;
    for (std::uint32_t p : argb)
        out.insert(out.end(), {std::uint8_t(p >> 16), std::uint8_t(p >> 8), std::uint8_t(p), 255});
    return out;
}

bool ReadPng(const std::string& path, std::vector<std::uint8_t>& rgba) {
    png_image png{};
    png.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_file(&png, path.c_str())) return false;
    png.format = PNG_FORMAT_RGBA;
    rgba.resize(PNG_IMAGE_SIZE(png));
    const bool sized = png.width == kSize && png.height == kSize;
    return png_image_finish_read(&png, nullptr, rgba.data(), 0, nullptr) != 0 && sized;
}

class ModelPixelTest : public headless_test::HeadlessDeviceTest {
protected:
    void SetUp() override {
        if (!UseHeadlessWindows()) GTEST_SKIP() << "no EGL surfaceless OpenGL 3.3 context on this machine";
        window_ = {static_cast<int>(kSize), static_cast<int>(kSize), true};
        OpenDevice();
        if (HasFatalFailure()) return;
        pool_ = std::make_unique<display::VertexBufferPool>();
        pool_->AttachDevice(device_);
        textures_ = std::make_unique<display::TextureTable>();
        textures_->SetQuiet(true);
        textures_->SetFactory({&CheckerTexture, nullptr});
        textures_->Init(d3d_, device_, D3DFMT_X8R8G8B8, nullptr);
    }
    void TearDown() override {
        if (textures_) textures_->ReleaseAll();
        pool_.reset();  // releases the buffers before the device
        CloseDevice();
    }

    // The presented frame, opaque.
    std::vector<std::uint32_t> OpaqueFrame() {
        std::vector<std::uint32_t> pixels = Frame();
        for (auto& p : pixels) p |= 0xFF000000u;
        return pixels;
    }

    std::unique_ptr<display::VertexBufferPool> pool_;
    std::unique_ptr<display::TextureTable> textures_;
};

TEST_F(ModelPixelTest, LitTexturedCubeBehindAnAlphaTestedGrilleMatchesTheReference) {
    model::Model m(pool_.get(), textures_.get());
    ASSERT_EQ(m.LoadModelFromBytes(Bytes(CubeAndGrille())), S_OK);
    media::writer::ArchiveOptions store;
    store.store = true;
    media::writer::ArchiveWriter writer(store);
    const std::uint8_t opaque[1] = {'C'}, clear[1] = {'A'};
    writer.AddFile("Texture\\crate.jpg", opaque);
    writer.AddFile("Texture\\grille.tga", clear);
    std::vector<std::uint8_t> archive = writer.Finish();
    media::ResourceBlob blob = media::BlobOverBytes(archive.data(), archive.size());
    ASSERT_EQ(m.LoadModelTextures(blob, ""), 2);
    m.SetRotation(20, 35, 0);
    m.SetPosition(0, 0, 0);

    D3DXMATRIX view, projection;
    const D3DXVECTOR3 eye(0, 0, -6), at(0, 0, 0), up(0, 1, 0);
    D3DXMatrixLookAtLH(&view, &eye, &at, &up);
    D3DXMatrixPerspectiveFovLH(&projection, 0.9f, 1.0f, 1.0f, 50.0f);
    device_->SetTransform(D3DTS_VIEW, &view);
    device_->SetTransform(D3DTS_PROJECTION, &projection);
    model::UpdateFrustumPlanes(device_);

    D3DLIGHT8 light{};
    light.Type = D3DLIGHT_DIRECTIONAL;
    light.Diffuse = {1, 1, 1, 1};
    light.Direction = {0.4f, -0.5f, 0.75f};
    device_->SetLight(0, &light);
    device_->LightEnable(0, TRUE);
    device_->SetRenderState(D3DRS_LIGHTING, TRUE);
    device_->SetRenderState(D3DRS_AMBIENT, 0xFF404040);
    device_->SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
    device_->SetRenderState(D3DRS_ZENABLE, TRUE);
    device_->SetRenderState(D3DRS_ALPHAFUNC, D3DCMP_GREATEREQUAL);
    device_->SetMaterial(&m.Materials()[0].material);
    device_->SetTextureStageState(0, D3DTSS_MINFILTER, D3DTEXF_POINT);
    device_->SetTextureStageState(0, D3DTSS_MAGFILTER, D3DTEXF_POINT);

    ASSERT_EQ(device_->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, kBackground, 1.0f, 0), D3D_OK);
    ASSERT_EQ(device_->BeginScene(), D3D_OK);
    m.bumpStage = false;
    m.RenderModel(device_);
    ASSERT_EQ(device_->EndScene(), D3D_OK);
    EXPECT_EQ(m.TrianglesDrawn(), 14);
    const std::vector<std::uint32_t> frame = OpaqueFrame();

    // Checks that hold for any correct picture: the corners show the background, the middle
    // shows the model, and the grille row (alpha-tested) lets the cube through in places but
    // also covers it with its white texels.
    EXPECT_EQ(frame[0] & 0xFFFFFF, kBackground & 0xFFFFFF);
    EXPECT_EQ(frame[kSize * kSize - 1] & 0xFFFFFF, kBackground & 0xFFFFFF);
    int white = 0, other = 0;
    const UINT row = kSize / 2;
    for (UINT x = kSize / 4; x < 3 * kSize / 4; ++x) {
        const std::uint32_t p = frame[row * kSize + x] & 0xFFFFFF;
        if (p == 0xFFFFFF) ++white; else ++other;
    }
    EXPECT_GT(white, 4);
    EXPECT_GT(other, 4);

    if (const char* update = std::getenv("GRIM_UPDATE_REFERENCE"); update != nullptr && std::string(update) == "1") {
        png_image png{};
        png.version = PNG_IMAGE_VERSION;
        png.width = png.height = kSize;
        png.format = PNG_FORMAT_RGBA;
        ASSERT_TRUE(png_image_write_to_file(&png, kReference.c_str(), 0, Rgba(frame).data(), 0, nullptr));
        GTEST_SKIP() << "reference rewritten: " << kReference;
    }
    std::vector<std::uint8_t> reference;
    ASSERT_TRUE(ReadPng(kReference, reference)) << "missing or unreadable reference " << kReference
                                                << " (GRIM_UPDATE_REFERENCE=1 writes it)";
    // Rasterisers may differ on edge pixels and in rounding: allow small differences anywhere
    // and larger ones on at most 1% of the pixels.
    const std::vector<std::uint8_t> got = Rgba(frame);
    int far = 0;
    for (std::size_t i = 0; i < frame.size(); ++i) {
        int worst = 0;
        for (int c = 0; c < 3; ++c) worst = std::max(worst, std::abs(got[i * 4 + c] - reference[i * 4 + c]));
        far += worst > 6 ? 1 : 0;
    }
    EXPECT_LE(far, static_cast<int>(frame.size() / 100)) << "pixels differing from " << kReference;
}

}  // namespace
