// The recording fakes are shared by several test areas; these checks keep their behaviour honest.
#include <gtest/gtest.h>

#include "fakes/d3d8/fake_d3d8.h"

namespace {

using namespace fake_d3d8;

TEST(FakeDevice, ResourcesHoldRealMemoryAndReferenceCounts) {
    {
        Ref<FakeDevice> device(new FakeDevice());
        Ref<IDirect3DTexture8> texture;
        ASSERT_EQ(device->CreateTexture(64, 32, 0, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, texture.out()), S_OK);
        EXPECT_EQ(texture->GetLevelCount(), 7u);  // 64x32 down to 1x1
        D3DLOCKED_RECT locked{};
        ASSERT_EQ(texture->LockRect(1, &locked, nullptr, 0), S_OK);
        EXPECT_EQ(locked.Pitch, 32 * 4);
        static_cast<std::uint8_t*>(locked.pBits)[locked.Pitch * 15 + 127] = 0xAB;  // last byte
        EXPECT_EQ(texture->LockRect(1, &locked, nullptr, 0), D3DERR_INVALIDCALL);  // already locked
        EXPECT_EQ(texture->UnlockRect(1), S_OK);
        EXPECT_EQ(texture->UnlockRect(1), D3DERR_INVALIDCALL);

        IDirect3DSurface8* level = nullptr;
        ASSERT_EQ(texture->GetSurfaceLevel(1, &level), S_OK);
        D3DSURFACE_DESC desc{};
        level->GetDesc(&desc);
        EXPECT_EQ(desc.Width, 32u);
        EXPECT_EQ(desc.Height, 16u);
        EXPECT_EQ(static_cast<FakeSurface*>(level)->Bits.back(), 0xAB);
        level->Release();

        Ref<IDirect3DVertexBuffer8> vb;
        ASSERT_EQ(device->CreateVertexBuffer(112, 0, 0x144, D3DPOOL_MANAGED, vb.out()), S_OK);
        BYTE* bytes = nullptr;
        EXPECT_EQ(vb->Lock(100, 20, &bytes, 0), D3DERR_INVALIDCALL);  // past the end
        ASSERT_EQ(vb->Lock(100, 12, &bytes, 0), S_OK);
        vb->Unlock();

        Ref<IDirect3DCubeTexture8> cube;
        ASSERT_EQ(device->CreateCubeTexture(8, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, cube.out()), S_OK);
        ASSERT_EQ(cube->LockRect(D3DCUBEMAP_FACE_NEGATIVE_Z, 0, &locked, nullptr, 0), S_OK);
        cube->UnlockRect(D3DCUBEMAP_FACE_NEGATIVE_Z, 0);
        EXPECT_GT(FakeObjects::Live(), 0);
    }
    EXPECT_EQ(FakeObjects::Live(), 0);
}

TEST(FakeDevice, ScriptedResultsAndRecordedArguments) {
    Ref<FakeDevice> device(new FakeDevice());
    device->Results.Set("CreateTexture", {E_OUTOFMEMORY});
    IDirect3DTexture8* texture = reinterpret_cast<IDirect3DTexture8*>(1);
    EXPECT_EQ(device->CreateTexture(4, 4, 1, 0, D3DFMT_R5G6B5, D3DPOOL_MANAGED, &texture), E_OUTOFMEMORY);
    EXPECT_EQ(texture, nullptr);
    ASSERT_EQ(device->CreateTexture(4, 4, 1, 0, D3DFMT_R5G6B5, D3DPOOL_MANAGED, &texture), S_OK);
    texture->Release();

    device->Clear(0, nullptr, D3DCLEAR_TARGET, 0xFF102030u, 0.5f, 0);
    device->SetRenderState(D3DRS_ZENABLE, FALSE);
    const Call clear = device->Log.Named("Clear")[0];
    EXPECT_EQ(static_cast<DWORD>(clear.Int(3)), 0xFF102030u);
    EXPECT_DOUBLE_EQ(clear.Float(4), 0.5);
    EXPECT_EQ(device->RenderState(D3DRS_ZENABLE), static_cast<DWORD>(FALSE));
    EXPECT_EQ(device->Log.NamesWithout({"CreateTexture"}),
              (std::vector<std::string>{"Clear", "SetRenderState"}));

    EXPECT_EQ(device->EndScene(), D3DERR_INVALIDCALL);  // not in a scene
    EXPECT_EQ(device->BeginScene(), S_OK);
    EXPECT_EQ(device->BeginScene(), D3DERR_INVALIDCALL);
    EXPECT_EQ(device->EndScene(), S_OK);
}

TEST(FakeDirect3D, DevicesTakeTheirSizeFromThePresentParameters) {
    Ref<FakeDirect3D> d3d(new FakeDirect3D());
    d3d->Adapters.push_back(FakeAdapter::Typical());
    D3DPRESENT_PARAMETERS pp{};
    pp.BackBufferWidth = 800;
    pp.BackBufferHeight = 600;
    Ref<IDirect3DDevice8> device;
    ASSERT_EQ(d3d->CreateDevice(0, D3DDEVTYPE_HAL, nullptr, 0, &pp, device.out()), S_OK);
    D3DVIEWPORT8 vp{};
    device->GetViewport(&vp);
    EXPECT_EQ(vp.Width, 800u);
    EXPECT_EQ(d3d->LastDevice(), device.get());
    EXPECT_EQ(d3d->CreateDevice(1, D3DDEVTYPE_HAL, nullptr, 0, &pp, device.out()), D3DERR_INVALIDCALL);
    EXPECT_EQ(d3d->CheckDeviceMultiSampleType(0, D3DDEVTYPE_HAL, D3DFMT_X8R8G8B8, FALSE, D3DMULTISAMPLE_NONE), S_OK);
    EXPECT_NE(d3d->CheckDeviceMultiSampleType(0, D3DDEVTYPE_HAL, D3DFMT_X8R8G8B8, FALSE, D3DMULTISAMPLE_2_SAMPLES), S_OK);
}

}  // namespace
