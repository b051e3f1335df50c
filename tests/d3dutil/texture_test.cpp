#include <gtest/gtest.h>

#include <cstring>

#include "d3dutil/d3dx8.h"
#include "d3dutil/image_ops.h"
#include "d3dutil/image_writers.h"
#include "fakes/d3d8/fake_d3d8.h"

namespace {

using namespace fake_d3d8;
namespace files = d3dutil::test_files;

class TextureTest : public ::testing::Test {
protected:
  void SetUp() override {
    live_ = FakeObjects::Live();
    d3d_ = new FakeDirect3D;
    d3d_->Adapters.push_back(FakeAdapter::Typical());
    device_ = new FakeDevice(d3d_);
    device_->Caps.TextureCaps = D3DPTEXTURECAPS_MIPMAP | D3DPTEXTURECAPS_POW2 | D3DPTEXTURECAPS_CUBEMAP |
                                D3DPTEXTURECAPS_MIPCUBEMAP;
    device_->Caps.MaxTextureWidth = device_->Caps.MaxTextureHeight = 2048;
  }
  void TearDown() override {
    device_->Release();
    d3d_->Release();
    EXPECT_EQ(FakeObjects::Live(), live_);  // every texture made or failed was released
  }
  void Allow(D3DFORMAT f) { d3d_->Adapters[0].TextureFormats.insert(f); }

  // The level's pixels read back as RGBA.
  static d3dutil::Image Level(IDirect3DTexture8* texture, UINT level) {
    auto* fake = static_cast<FakeTexture*>(texture);
    FakeSurface* s = fake->Levels.at(level);
    d3dutil::Image out;
    d3dutil::DecodePixels(s->Bits.data(), s->Pitch, static_cast<d3dutil::PixelFormat>(s->Desc.Format), s->Desc.Width,
                          s->Desc.Height, out);
    return out;
  }

  int live_ = 0;
  FakeDirect3D* d3d_ = nullptr;
  FakeDevice* device_ = nullptr;
};

int MaxDiff(const d3dutil::Image& a, const d3dutil::Image& b) {
  int worst = 0;
  for (std::size_t i = 0; i < a.rgba.size() && i < b.rgba.size(); ++i)
    worst = std::max(worst, std::abs(a.rgba[i] - b.rgba[i]));
  return worst;
}

TEST_F(TextureTest, FileSizeRoundsUpToPowersOfTwoWithFullChainAndFallbackFormat) {
  d3dutil::Image src = files::Pattern(64, 48);
  for (std::size_t i = 3; i < src.rgba.size(); i += 4) src.rgba[i] = 255;
  const auto jpeg = files::WriteJpeg(src, 95);
  d3d_->Adapters[0].TextureFormats.erase(D3DFMT_X8R8G8B8);
  Ref<IDirect3DTexture8> tex;
  D3DXIMAGE_INFO info{};
  ASSERT_EQ(D3DXCreateTextureFromFileInMemoryEx(device_, jpeg.data(), static_cast<UINT>(jpeg.size()), 0, 0, 0, 0,
                                                D3DFMT_UNKNOWN, D3DPOOL_MANAGED, D3DX_DEFAULT, D3DX_DEFAULT, 0, &info,
                                                nullptr, tex.out()),
            D3D_OK);
  EXPECT_EQ(info.Width, 64u);
  EXPECT_EQ(info.Height, 48u);
  EXPECT_EQ(info.Format, D3DFMT_X8R8G8B8);
  EXPECT_EQ(info.ImageFileFormat, D3DXIFF_JPG);
  auto* fake = static_cast<FakeTexture*>(tex.get());
  // X8R8G8B8 is not offered by this adapter: the nearest it takes.
  EXPECT_EQ(fake->Format, D3DFMT_A8R8G8B8);
  ASSERT_EQ(tex->GetLevelCount(), 7u);
  D3DSURFACE_DESC desc{};
  tex->GetLevelDesc(0, &desc);
  EXPECT_EQ(desc.Width, 64u);
  EXPECT_EQ(desc.Height, 64u);
  d3dutil::Image top = Level(tex.get(), 0);
  // Horizontally unscaled: the red ramp survives exactly up to JPEG error.
  EXPECT_NEAR(top.Pixel(63, 10)[0], 255, 12);
  EXPECT_NEAR(top.Pixel(0, 10)[0], 0, 12);
  EXPECT_EQ(top.Pixel(5, 5)[3], 255);
  d3dutil::Image last = Level(tex.get(), 6);
  ASSERT_EQ(last.width, 1u);
  EXPECT_NEAR(last.rgba[0], 128, 8);  // the mean of the red ramp
  EXPECT_NEAR(last.rgba[1], 128, 8);
}

TEST_F(TextureTest, ConvertsToRequestedCompressedAndExplicitFormats) {
  Allow(D3DFMT_DXT5);
  const d3dutil::Image src = files::Pattern(32, 32);
  const auto tga = files::WriteTga(src, 32, true, false);
  Ref<IDirect3DTexture8> tex;
  ASSERT_EQ(D3DXCreateTextureFromFileInMemoryEx(device_, tga.data(), static_cast<UINT>(tga.size()), 0, 0, 0, 0,
                                                D3DFMT_DXT5, D3DPOOL_MANAGED, D3DX_DEFAULT, D3DX_DEFAULT, 0, nullptr,
                                                nullptr, tex.out()),
            D3D_OK);
  EXPECT_EQ(static_cast<FakeTexture*>(tex.get())->Format, D3DFMT_DXT5);
  EXPECT_LE(MaxDiff(Level(tex.get(), 0), src), 48);

  // An explicit size scales; R5G6B5 of a solid colour is exact.
  d3dutil::Image solid;
  d3dutil::AllocateImage(20, 10, solid, nullptr);
  for (std::size_t i = 0; i < solid.rgba.size(); i += 4) std::memcpy(&solid.rgba[i], "\xFF\x00\x80\xFF", 4);
  const auto bmp = files::WriteBmp24(solid);
  ASSERT_EQ(D3DXCreateTextureFromFileInMemoryEx(device_, bmp.data(), static_cast<UINT>(bmp.size()), 128, 128, 0, 0,
                                                D3DFMT_R5G6B5, D3DPOOL_MANAGED, D3DX_DEFAULT, D3DX_DEFAULT, 0, nullptr,
                                                nullptr, tex.out()),
            D3D_OK);
  D3DSURFACE_DESC desc{};
  tex->GetLevelDesc(0, &desc);
  EXPECT_EQ(desc.Width, 128u);
  EXPECT_EQ(desc.Format, D3DFMT_R5G6B5);
  auto* level0 = static_cast<FakeTexture*>(tex.get())->Levels[0];
  const unsigned v = level0->Bits[200] | (level0->Bits[201] << 8);
  EXPECT_EQ(v, (31u << 11) | 16u);
}

TEST_F(TextureTest, ColourKeyMakesMatchingPixelsTransparent) {
  d3dutil::Image img = files::Pattern(8, 8);
  for (std::size_t i = 0; i < img.rgba.size(); i += 4) img.rgba[i + 3] = 255;
  std::memset(img.Pixel(2, 2), 0, 3);
  const auto bmp = files::WriteBmp24(img);
  Ref<IDirect3DTexture8> tex;
  ASSERT_EQ(D3DXCreateTextureFromFileInMemoryEx(device_, bmp.data(), static_cast<UINT>(bmp.size()), 0, 0, 1, 0,
                                                D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, D3DX_FILTER_NONE, D3DX_DEFAULT,
                                                0xFF000000u, nullptr, nullptr, tex.out()),
            D3D_OK);
  d3dutil::Image top = Level(tex.get(), 0);
  EXPECT_EQ(top.Pixel(2, 2)[3], 0);
  EXPECT_EQ(top.Pixel(3, 2)[3], 255);
}

TEST_F(TextureTest, BadInputAndDeviceFailuresReturnErrorsWithoutLeaks) {
  const std::uint8_t junk[] = {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};
  Ref<IDirect3DTexture8> tex;
  EXPECT_EQ(D3DXCreateTextureFromFileInMemoryEx(device_, junk, sizeof junk, 0, 0, 0, 0, D3DFMT_UNKNOWN, D3DPOOL_MANAGED,
                                                D3DX_DEFAULT, D3DX_DEFAULT, 0, nullptr, nullptr, tex.out()),
            D3DXERR_INVALIDDATA);
  EXPECT_EQ(tex.get(), nullptr);
  const auto png = files::WritePng(files::Pattern(8, 8));
  EXPECT_EQ(D3DXCreateTextureFromFileInMemoryEx(device_, png.data(), static_cast<UINT>(png.size() / 2), 0, 0, 0, 0,
                                                D3DFMT_UNKNOWN, D3DPOOL_MANAGED, D3DX_DEFAULT, D3DX_DEFAULT, 0, nullptr,
                                                nullptr, tex.out()),
            D3DXERR_INVALIDDATA);
  device_->Results.Set("CreateTexture", {D3DERR_OUTOFVIDEOMEMORY});
  EXPECT_EQ(D3DXCreateTextureFromFileInMemory(device_, png.data(), static_cast<UINT>(png.size()), tex.out()),
            D3DERR_OUTOFVIDEOMEMORY);
  EXPECT_EQ(tex.get(), nullptr);
  EXPECT_EQ(D3DXCreateTextureFromFileInMemoryEx(device_, png.data(), static_cast<UINT>(png.size()), 0, 0, 0, 0,
                                                D3DFMT_UNKNOWN, D3DPOOL_MANAGED, 77, D3DX_DEFAULT, 0, nullptr, nullptr,
                                                tex.out()),
            D3DERR_INVALIDCALL);
  EXPECT_EQ(D3DXCreateTextureFromFileInMemory(nullptr, png.data(), 10, tex.out()), D3DERR_INVALIDCALL);
}

TEST_F(TextureTest, RequirementChecksAdjustToTheDevice) {
  UINT w = 300, h = 5000, mips = 20;
  D3DFORMAT f = D3DFMT_L8;  // not offered: luminance falls to the nearest colour format offered
  ASSERT_EQ(D3DXCheckTextureRequirements(device_, &w, &h, &mips, 0, &f, D3DPOOL_MANAGED), D3D_OK);
  EXPECT_EQ(w, 512u);
  EXPECT_EQ(h, 2048u);
  EXPECT_EQ(mips, 12u);
  EXPECT_EQ(f, D3DFMT_X8R8G8B8);
  f = D3DFMT_A1R5G5B5;
  w = h = 0;
  ASSERT_EQ(D3DXCheckTextureRequirements(device_, &w, &h, nullptr, 0, &f, D3DPOOL_MANAGED), D3D_OK);
  EXPECT_EQ(f, D3DFMT_A1R5G5B5);
  EXPECT_EQ(w, 256u);

  device_->Caps.TextureCaps &= ~static_cast<DWORD>(D3DPTEXTURECAPS_MIPMAP);
  mips = 0;
  w = h = 64;
  ASSERT_EQ(D3DXCheckTextureRequirements(device_, &w, &h, &mips, 0, nullptr, D3DPOOL_MANAGED), D3D_OK);
  EXPECT_EQ(mips, 1u);

  UINT edge = 100;
  f = D3DFMT_A8R8G8B8;
  EXPECT_EQ(D3DXCheckCubeTextureRequirements(device_, &edge, nullptr, 0, &f, D3DPOOL_MANAGED), D3D_OK);
  UINT d = 4;
  EXPECT_EQ(D3DXCheckVolumeTextureRequirements(device_, &w, &h, &d, nullptr, 0, &f, D3DPOOL_MANAGED),
            D3DERR_NOTAVAILABLE);
  device_->Caps.TextureCaps = 0;
  EXPECT_EQ(D3DXCheckCubeTextureRequirements(device_, &edge, nullptr, 0, &f, D3DPOOL_MANAGED), D3DERR_NOTAVAILABLE);
}

struct FillLog {
  int calls = 0;
  float firstU = -1, firstV = -1, sizeU = 0;
  D3DXVECTOR3 dirSum{0, 0, 0};
};

void Fill2D(D3DXVECTOR4* out, D3DXVECTOR2* coord, D3DXVECTOR2* size, LPVOID data) {
  auto* log = static_cast<FillLog*>(data);
  if (log->calls++ == 0) log->firstU = coord->x, log->firstV = coord->y, log->sizeU = size->x;
  *out = D3DXVECTOR4(coord->x, coord->y, 0.0f, 1.0f);
}

void Fill3D(D3DXVECTOR4* out, D3DXVECTOR3* dir, D3DXVECTOR3*, LPVOID data) {
  auto* log = static_cast<FillLog*>(data);
  ++log->calls;
  log->dirSum += *dir;
  D3DXVECTOR3 n;
  D3DXVec3Normalize(&n, dir);
  *out = D3DXVECTOR4(n.x * 0.5f + 0.5f, n.y * 0.5f + 0.5f, n.z * 0.5f + 0.5f, 1.0f);
}

TEST_F(TextureTest, FillsCallOncePerTexelOfEveryLevelAndFace) {
  Ref<IDirect3DTexture8> tex;
  ASSERT_EQ(D3DXCreateTexture(device_, 4, 4, 0, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, tex.out()), D3D_OK);
  FillLog log;
  ASSERT_EQ(D3DXFillTexture(tex.get(), Fill2D, &log), D3D_OK);
  EXPECT_EQ(log.calls, 16 + 4 + 1);
  EXPECT_FLOAT_EQ(log.firstU, 0.125f);
  EXPECT_FLOAT_EQ(log.firstV, 0.125f);
  EXPECT_FLOAT_EQ(log.sizeU, 0.25f);
  d3dutil::Image top = Level(tex.get(), 0);
  EXPECT_EQ(top.Pixel(3, 0)[0], 223);  // u = 0.875

  Ref<IDirect3DCubeTexture8> cube;
  ASSERT_EQ(device_->CreateCubeTexture(8, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, cube.out()), D3D_OK);
  FillLog cubeLog;
  ASSERT_EQ(D3DXFillCubeTexture(cube.get(), Fill3D, &cubeLog), D3D_OK);
  EXPECT_EQ(cubeLog.calls, 6 * 64);
  // The six faces cover the directions symmetrically.
  EXPECT_NEAR(cubeLog.dirSum.x, 0, 1e-3);
  EXPECT_NEAR(cubeLog.dirSum.y, 0, 1e-3);
  EXPECT_NEAR(cubeLog.dirSum.z, 0, 1e-3);

  Ref<IDirect3DVolumeTexture8> volume;
  ASSERT_EQ(device_->CreateVolumeTexture(4, 4, 2, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, volume.out()), D3D_OK);
  FillLog volumeLog;
  ASSERT_EQ(D3DXFillVolumeTexture(volume.get(), Fill3D, &volumeLog), D3D_OK);
  EXPECT_EQ(volumeLog.calls, 32);
  EXPECT_EQ(D3DXFillTexture(nullptr, Fill2D, &log), D3DERR_INVALIDCALL);
}

}  // namespace
