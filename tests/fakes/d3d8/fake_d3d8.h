// Test doubles of the Direct3D 8 API.
//
//   FakeDirect3D  an IDirect3D8 whose adapters (identifier, modes, caps, supported formats, depth
//                 formats, multisample types) are plain data set by the test;
//   FakeDevice    an IDirect3DDevice8 that records every call (name and arguments), tracks the
//                 state set on it (render and stage states, textures, transforms, viewport,
//                 material, streams, gamma ramp, scene nesting, presents) and returns scripted
//                 results;
//   FakeTexture, FakeCubeTexture, FakeVolumeTexture, FakeSurface, FakeVertexBuffer,
//   FakeIndexBuffer   resources with real memory behind Lock/LockRect and real reference counts.
//
// Scripting: `Script("CreateTexture", {E_OUTOFMEMORY})` makes the next call of that name return
// the given results in turn (creation calls then return no object); afterwards calls succeed
// again. `FakeObjects::Live()` counts fake objects not yet released, for leak checks.
#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <initializer_list>
#include <map>
#include <set>
#include <string>
#include <string_view>
#include <type_traits>
#include <utility>
#include <vector>

#include "platform/d3d8/d3d8.h"

namespace fake_d3d8 {

// One recorded argument: integers and enums in `i` (and `f`), floats in `f` (and `i`), pointers
// in `p`.
struct CallArg {
    long long i = 0;
    double f = 0.0;
    const void* p = nullptr;

    template <class T>
    static CallArg From(T value) {
        CallArg a;
        if constexpr (std::is_pointer_v<T>) {
            a.p = static_cast<const void*>(value);
        } else if constexpr (std::is_floating_point_v<T>) {
            a.f = value;
            a.i = static_cast<long long>(value);
        } else {
            a.i = static_cast<long long>(value);
            a.f = static_cast<double>(value);
        }
        return a;
    }
};

struct Call {
    std::string Name;
    std::vector<CallArg> Args;
    long long Int(std::size_t k) const { return k < Args.size() ? Args[k].i : 0; }
    double Float(std::size_t k) const { return k < Args.size() ? Args[k].f : 0.0; }
    const void* Ptr(std::size_t k) const { return k < Args.size() ? Args[k].p : nullptr; }
};

class CallLog {
public:
    template <class... A>
    void Record(const char* name, A... args) {
        calls_.push_back(Call{name, {CallArg::From(args)...}});
    }
    const std::vector<Call>& Calls() const { return calls_; }
    std::vector<Call> Named(std::string_view name) const;
    std::size_t Count(std::string_view name) const;
    std::vector<std::string> Names() const;
    // Names in order, leaving out the given ones (for example the Get* queries).
    std::vector<std::string> NamesWithout(const std::set<std::string>& skip) const;
    void Clear() { calls_.clear(); }

private:
    std::vector<Call> calls_;
};

// Results queued per method name.
class Script {
public:
    void Set(const std::string& name, std::initializer_list<HRESULT> results);
    void Repeat(const std::string& name, HRESULT result, int times);
    // The next scripted result of `name`, or `normal` when none is queued.
    HRESULT Next(const std::string& name, HRESULT normal = S_OK);
    bool Pending(const std::string& name) const;

private:
    std::map<std::string, std::deque<HRESULT>> queued_;
};

struct FakeObjects {
    static int Live();
    static void Born();
    static void Died();
};

// Reference counting shared by every fake: created with one reference, deleted at zero.
template <class Interface>
class RefCounted : public Interface {
public:
    RefCounted() { FakeObjects::Born(); }
    virtual ~RefCounted() { FakeObjects::Died(); }
    RefCounted(const RefCounted&) = delete;
    RefCounted& operator=(const RefCounted&) = delete;

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID, void** out) override {
        if (out) *out = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++refs_; }
    ULONG STDMETHODCALLTYPE Release() override {
        const ULONG left = --refs_;
        if (left == 0) delete this;
        return left;
    }
    ULONG RefCount() const { return refs_; }

private:
    ULONG refs_ = 1;
};

class FakeDevice;

// Bytes per pixel of the uncompressed formats; compressed formats report their block size per
// 4 x 4 block through BlockBytes.
UINT BytesPerPixel(D3DFORMAT format);
bool IsCompressed(D3DFORMAT format);

class FakeSurface final : public RefCounted<IDirect3DSurface8> {
public:
    FakeSurface(FakeDevice* device, UINT width, UINT height, D3DFORMAT format, DWORD usage,
                D3DPOOL pool, D3DRESOURCETYPE type = D3DRTYPE_SURFACE);

    HRESULT STDMETHODCALLTYPE GetDevice(IDirect3DDevice8** device) override;
    HRESULT STDMETHODCALLTYPE SetPrivateData(REFGUID, const void*, DWORD, DWORD) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE GetPrivateData(REFGUID, void*, DWORD*) override { return D3DERR_NOTFOUND; }
    HRESULT STDMETHODCALLTYPE FreePrivateData(REFGUID) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE GetContainer(REFIID, void** container) override;
    HRESULT STDMETHODCALLTYPE GetDesc(D3DSURFACE_DESC* desc) override;
    HRESULT STDMETHODCALLTYPE LockRect(D3DLOCKED_RECT* locked, const RECT* rect, DWORD flags) override;
    HRESULT STDMETHODCALLTYPE UnlockRect() override;

    std::vector<std::uint8_t> Bits;
    UINT Pitch = 0;
    bool Locked = false;
    int LockCount = 0;
    D3DSURFACE_DESC Desc{};

private:
    FakeDevice* device_;
};

class FakeTexture final : public RefCounted<IDirect3DTexture8> {
public:
    // Levels 0 means the full chain down to 1 x 1.
    FakeTexture(FakeDevice* device, UINT width, UINT height, UINT levels, DWORD usage,
                D3DFORMAT format, D3DPOOL pool);
    ~FakeTexture() override;

    HRESULT STDMETHODCALLTYPE GetDevice(IDirect3DDevice8** device) override;
    HRESULT STDMETHODCALLTYPE SetPrivateData(REFGUID, const void*, DWORD, DWORD) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE GetPrivateData(REFGUID, void*, DWORD*) override { return D3DERR_NOTFOUND; }
    HRESULT STDMETHODCALLTYPE FreePrivateData(REFGUID) override { return S_OK; }
    DWORD STDMETHODCALLTYPE SetPriority(DWORD) override { return 0; }
    DWORD STDMETHODCALLTYPE GetPriority() override { return 0; }
    void STDMETHODCALLTYPE PreLoad() override {}
    D3DRESOURCETYPE STDMETHODCALLTYPE GetType() override { return D3DRTYPE_TEXTURE; }
    DWORD STDMETHODCALLTYPE SetLOD(DWORD) override { return 0; }
    DWORD STDMETHODCALLTYPE GetLOD() override { return 0; }
    DWORD STDMETHODCALLTYPE GetLevelCount() override { return static_cast<DWORD>(Levels.size()); }
    HRESULT STDMETHODCALLTYPE GetLevelDesc(UINT level, D3DSURFACE_DESC* desc) override;
    HRESULT STDMETHODCALLTYPE GetSurfaceLevel(UINT level, IDirect3DSurface8** surface) override;
    HRESULT STDMETHODCALLTYPE LockRect(UINT level, D3DLOCKED_RECT* locked, const RECT* rect,
                                       DWORD flags) override;
    HRESULT STDMETHODCALLTYPE UnlockRect(UINT level) override;
    HRESULT STDMETHODCALLTYPE AddDirtyRect(const RECT*) override { return S_OK; }

    std::vector<FakeSurface*> Levels;  // owned
    DWORD Usage;
    D3DFORMAT Format;
    D3DPOOL Pool;

private:
    FakeDevice* device_;
};

class FakeCubeTexture final : public RefCounted<IDirect3DCubeTexture8> {
public:
    FakeCubeTexture(FakeDevice* device, UINT edge, UINT levels, DWORD usage, D3DFORMAT format,
                    D3DPOOL pool);
    ~FakeCubeTexture() override;

    HRESULT STDMETHODCALLTYPE GetDevice(IDirect3DDevice8** device) override;
    HRESULT STDMETHODCALLTYPE SetPrivateData(REFGUID, const void*, DWORD, DWORD) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE GetPrivateData(REFGUID, void*, DWORD*) override { return D3DERR_NOTFOUND; }
    HRESULT STDMETHODCALLTYPE FreePrivateData(REFGUID) override { return S_OK; }
    DWORD STDMETHODCALLTYPE SetPriority(DWORD) override { return 0; }
    DWORD STDMETHODCALLTYPE GetPriority() override { return 0; }
    void STDMETHODCALLTYPE PreLoad() override {}
    D3DRESOURCETYPE STDMETHODCALLTYPE GetType() override { return D3DRTYPE_CUBETEXTURE; }
    DWORD STDMETHODCALLTYPE SetLOD(DWORD) override { return 0; }
    DWORD STDMETHODCALLTYPE GetLOD() override { return 0; }
    DWORD STDMETHODCALLTYPE GetLevelCount() override { return LevelCount; }
    HRESULT STDMETHODCALLTYPE GetLevelDesc(UINT level, D3DSURFACE_DESC* desc) override;
    HRESULT STDMETHODCALLTYPE GetCubeMapSurface(D3DCUBEMAP_FACES face, UINT level,
                                                IDirect3DSurface8** surface) override;
    HRESULT STDMETHODCALLTYPE LockRect(D3DCUBEMAP_FACES face, UINT level, D3DLOCKED_RECT* locked,
                                       const RECT* rect, DWORD flags) override;
    HRESULT STDMETHODCALLTYPE UnlockRect(D3DCUBEMAP_FACES face, UINT level) override;
    HRESULT STDMETHODCALLTYPE AddDirtyRect(D3DCUBEMAP_FACES, const RECT*) override { return S_OK; }

    FakeSurface* Face(UINT face, UINT level) const;

    UINT LevelCount = 0;
    std::vector<FakeSurface*> Surfaces;  // face-major: face * LevelCount + level; owned
    DWORD Usage;
    D3DFORMAT Format;
    D3DPOOL Pool;

private:
    FakeDevice* device_;
};

class FakeVolumeTexture final : public RefCounted<IDirect3DVolumeTexture8> {
public:
    FakeVolumeTexture(FakeDevice* device, UINT width, UINT height, UINT depth, UINT levels,
                      DWORD usage, D3DFORMAT format, D3DPOOL pool);

    HRESULT STDMETHODCALLTYPE GetDevice(IDirect3DDevice8** device) override;
    HRESULT STDMETHODCALLTYPE SetPrivateData(REFGUID, const void*, DWORD, DWORD) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE GetPrivateData(REFGUID, void*, DWORD*) override { return D3DERR_NOTFOUND; }
    HRESULT STDMETHODCALLTYPE FreePrivateData(REFGUID) override { return S_OK; }
    DWORD STDMETHODCALLTYPE SetPriority(DWORD) override { return 0; }
    DWORD STDMETHODCALLTYPE GetPriority() override { return 0; }
    void STDMETHODCALLTYPE PreLoad() override {}
    D3DRESOURCETYPE STDMETHODCALLTYPE GetType() override { return D3DRTYPE_VOLUMETEXTURE; }
    DWORD STDMETHODCALLTYPE SetLOD(DWORD) override { return 0; }
    DWORD STDMETHODCALLTYPE GetLOD() override { return 0; }
    DWORD STDMETHODCALLTYPE GetLevelCount() override { return static_cast<DWORD>(LevelDescs.size()); }
    HRESULT STDMETHODCALLTYPE GetLevelDesc(UINT level, D3DVOLUME_DESC* desc) override;
    HRESULT STDMETHODCALLTYPE GetVolumeLevel(UINT, IDirect3DVolume8** volume) override;
    HRESULT STDMETHODCALLTYPE LockBox(UINT level, D3DLOCKED_BOX* locked, const D3DBOX* box,
                                      DWORD flags) override;
    HRESULT STDMETHODCALLTYPE UnlockBox(UINT level) override;
    HRESULT STDMETHODCALLTYPE AddDirtyBox(const D3DBOX*) override { return S_OK; }

    std::vector<D3DVOLUME_DESC> LevelDescs;
    std::vector<std::vector<std::uint8_t>> LevelBits;

private:
    FakeDevice* device_;
};

class FakeVertexBuffer final : public RefCounted<IDirect3DVertexBuffer8> {
public:
    FakeVertexBuffer(FakeDevice* device, UINT length, DWORD usage, DWORD fvf, D3DPOOL pool);

    HRESULT STDMETHODCALLTYPE GetDevice(IDirect3DDevice8** device) override;
    HRESULT STDMETHODCALLTYPE SetPrivateData(REFGUID, const void*, DWORD, DWORD) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE GetPrivateData(REFGUID, void*, DWORD*) override { return D3DERR_NOTFOUND; }
    HRESULT STDMETHODCALLTYPE FreePrivateData(REFGUID) override { return S_OK; }
    DWORD STDMETHODCALLTYPE SetPriority(DWORD) override { return 0; }
    DWORD STDMETHODCALLTYPE GetPriority() override { return 0; }
    void STDMETHODCALLTYPE PreLoad() override {}
    D3DRESOURCETYPE STDMETHODCALLTYPE GetType() override { return D3DRTYPE_VERTEXBUFFER; }
    HRESULT STDMETHODCALLTYPE Lock(UINT offset, UINT size, BYTE** data, DWORD flags) override;
    HRESULT STDMETHODCALLTYPE Unlock() override;
    HRESULT STDMETHODCALLTYPE GetDesc(D3DVERTEXBUFFER_DESC* desc) override;

    std::vector<std::uint8_t> Bytes;
    D3DVERTEXBUFFER_DESC Desc{};
    bool Locked = false;
    int LockCount = 0;

private:
    FakeDevice* device_;
};

class FakeIndexBuffer final : public RefCounted<IDirect3DIndexBuffer8> {
public:
    FakeIndexBuffer(FakeDevice* device, UINT length, DWORD usage, D3DFORMAT format, D3DPOOL pool);

    HRESULT STDMETHODCALLTYPE GetDevice(IDirect3DDevice8** device) override;
    HRESULT STDMETHODCALLTYPE SetPrivateData(REFGUID, const void*, DWORD, DWORD) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE GetPrivateData(REFGUID, void*, DWORD*) override { return D3DERR_NOTFOUND; }
    HRESULT STDMETHODCALLTYPE FreePrivateData(REFGUID) override { return S_OK; }
    DWORD STDMETHODCALLTYPE SetPriority(DWORD) override { return 0; }
    DWORD STDMETHODCALLTYPE GetPriority() override { return 0; }
    void STDMETHODCALLTYPE PreLoad() override {}
    D3DRESOURCETYPE STDMETHODCALLTYPE GetType() override { return D3DRTYPE_INDEXBUFFER; }
    HRESULT STDMETHODCALLTYPE Lock(UINT offset, UINT size, BYTE** data, DWORD flags) override;
    HRESULT STDMETHODCALLTYPE Unlock() override;
    HRESULT STDMETHODCALLTYPE GetDesc(D3DINDEXBUFFER_DESC* desc) override;

    std::vector<std::uint8_t> Bytes;
    D3DINDEXBUFFER_DESC Desc{};
    bool Locked = false;
    int LockCount = 0;

private:
    FakeDevice* device_;
};

class FakeDirect3D;

class FakeDevice final : public RefCounted<IDirect3DDevice8> {
public:
    // `direct3D` may be null; when given, the device holds a reference on it.
    explicit FakeDevice(FakeDirect3D* direct3D = nullptr);
    ~FakeDevice() override;

    // --- what the test sets up ---
    D3DCAPS8 Caps{};
    D3DDISPLAYMODE DisplayMode{640, 480, 0, D3DFMT_X8R8G8B8};
    // What TestCooperativeLevel returns, one value per call; `CooperativeLevel` once the queue is
    // empty. Reset sets `CooperativeLevel` back to D3D_OK when it succeeds.
    std::deque<HRESULT> CooperativeLevels;
    HRESULT CooperativeLevel = S_OK;
    Script Results;
    // Called at every DrawPrimitive after it is recorded (to look at the bound vertices then).
    std::function<void(FakeDevice&)> OnDrawPrimitive;

    // --- what the device saw ---
    CallLog Log;
    std::map<DWORD, DWORD> RenderStates;
    std::map<std::pair<DWORD, DWORD>, DWORD> StageStates;
    IDirect3DBaseTexture8* Textures[8] = {};  // not owned (references are not taken)
    std::map<DWORD, D3DMATRIX> Transforms;
    D3DVIEWPORT8 Viewport{0, 0, 640, 480, 0.0f, 1.0f};
    D3DMATERIAL8 Material{};
    D3DGAMMARAMP GammaRamp{};
    DWORD GammaFlags = 0;
    int GammaSets = 0;
    DWORD VertexShader = 0;
    DWORD PixelShader = 0;
    IDirect3DVertexBuffer8* StreamData[16] = {};
    UINT StreamStride[16] = {};
    IDirect3DIndexBuffer8* Indices = nullptr;
    UINT BaseVertexIndex = 0;
    int SceneDepth = 0;  // BeginScene minus EndScene
    int Presents = 0;
    int Resets = 0;
    D3DPRESENT_PARAMETERS LastReset{};
    D3DPRESENT_PARAMETERS CreationParameters{};

    DWORD RenderState(DWORD state) const;
    DWORD StageState(DWORD stage, DWORD type) const;
    const D3DMATRIX* Transform(DWORD state) const;

    // IDirect3DDevice8
    HRESULT STDMETHODCALLTYPE TestCooperativeLevel() override;
    UINT STDMETHODCALLTYPE GetAvailableTextureMem() override;
    HRESULT STDMETHODCALLTYPE ResourceManagerDiscardBytes(DWORD Bytes) override;
    HRESULT STDMETHODCALLTYPE GetDirect3D(IDirect3D8** ppD3D8) override;
    HRESULT STDMETHODCALLTYPE GetDeviceCaps(D3DCAPS8* pCaps) override;
    HRESULT STDMETHODCALLTYPE GetDisplayMode(D3DDISPLAYMODE* pMode) override;
    HRESULT STDMETHODCALLTYPE GetCreationParameters(D3DDEVICE_CREATION_PARAMETERS* pParameters) override;
    HRESULT STDMETHODCALLTYPE SetCursorProperties(UINT XHotSpot, UINT YHotSpot, IDirect3DSurface8* pCursorBitmap) override;
    void STDMETHODCALLTYPE SetCursorPosition(UINT XScreenSpace, UINT YScreenSpace, DWORD Flags) override;
    BOOL STDMETHODCALLTYPE ShowCursor(BOOL bShow) override;
    HRESULT STDMETHODCALLTYPE CreateAdditionalSwapChain(D3DPRESENT_PARAMETERS* pPresentationParameters, IDirect3DSwapChain8** pSwapChain) override;
    HRESULT STDMETHODCALLTYPE Reset(D3DPRESENT_PARAMETERS* pPresentationParameters) override;
    HRESULT STDMETHODCALLTYPE Present(const RECT* pSourceRect, const RECT* pDestRect, HWND hDestWindowOverride, const RGNDATA* pDirtyRegion) override;
    HRESULT STDMETHODCALLTYPE GetBackBuffer(UINT BackBuffer, D3DBACKBUFFER_TYPE Type, IDirect3DSurface8** ppBackBuffer) override;
    HRESULT STDMETHODCALLTYPE GetRasterStatus(D3DRASTER_STATUS* pRasterStatus) override;
    void STDMETHODCALLTYPE SetGammaRamp(DWORD Flags, const D3DGAMMARAMP* pRamp) override;
    void STDMETHODCALLTYPE GetGammaRamp(D3DGAMMARAMP* pRamp) override;
    HRESULT STDMETHODCALLTYPE CreateTexture(UINT Width, UINT Height, UINT Levels, DWORD Usage, D3DFORMAT Format, D3DPOOL Pool, IDirect3DTexture8** ppTexture) override;
    HRESULT STDMETHODCALLTYPE CreateVolumeTexture(UINT Width, UINT Height, UINT Depth, UINT Levels, DWORD Usage, D3DFORMAT Format, D3DPOOL Pool, IDirect3DVolumeTexture8** ppVolumeTexture) override;
    HRESULT STDMETHODCALLTYPE CreateCubeTexture(UINT EdgeLength, UINT Levels, DWORD Usage, D3DFORMAT Format, D3DPOOL Pool, IDirect3DCubeTexture8** ppCubeTexture) override;
    HRESULT STDMETHODCALLTYPE CreateVertexBuffer(UINT Length, DWORD Usage, DWORD FVF, D3DPOOL Pool, IDirect3DVertexBuffer8** ppVertexBuffer) override;
    HRESULT STDMETHODCALLTYPE CreateIndexBuffer(UINT Length, DWORD Usage, D3DFORMAT Format, D3DPOOL Pool, IDirect3DIndexBuffer8** ppIndexBuffer) override;
    HRESULT STDMETHODCALLTYPE CreateRenderTarget(UINT Width, UINT Height, D3DFORMAT Format, D3DMULTISAMPLE_TYPE MultiSample, BOOL Lockable, IDirect3DSurface8** ppSurface) override;
    HRESULT STDMETHODCALLTYPE CreateDepthStencilSurface(UINT Width, UINT Height, D3DFORMAT Format, D3DMULTISAMPLE_TYPE MultiSample, IDirect3DSurface8** ppSurface) override;
    HRESULT STDMETHODCALLTYPE CreateImageSurface(UINT Width, UINT Height, D3DFORMAT Format, IDirect3DSurface8** ppSurface) override;
    HRESULT STDMETHODCALLTYPE CopyRects(IDirect3DSurface8* pSourceSurface, const RECT* pSourceRectsArray, UINT cRects, IDirect3DSurface8* pDestinationSurface, const POINT* pDestPointsArray) override;
    HRESULT STDMETHODCALLTYPE UpdateTexture(IDirect3DBaseTexture8* pSourceTexture, IDirect3DBaseTexture8* pDestinationTexture) override;
    HRESULT STDMETHODCALLTYPE GetFrontBuffer(IDirect3DSurface8* pDestSurface) override;
    HRESULT STDMETHODCALLTYPE SetRenderTarget(IDirect3DSurface8* pRenderTarget, IDirect3DSurface8* pNewZStencil) override;
    HRESULT STDMETHODCALLTYPE GetRenderTarget(IDirect3DSurface8** ppRenderTarget) override;
    HRESULT STDMETHODCALLTYPE GetDepthStencilSurface(IDirect3DSurface8** ppZStencilSurface) override;
    HRESULT STDMETHODCALLTYPE BeginScene() override;
    HRESULT STDMETHODCALLTYPE EndScene() override;
    HRESULT STDMETHODCALLTYPE Clear(DWORD Count, const D3DRECT* pRects, DWORD Flags, D3DCOLOR Color, float Z, DWORD Stencil) override;
    HRESULT STDMETHODCALLTYPE SetTransform(D3DTRANSFORMSTATETYPE State, const D3DMATRIX* pMatrix) override;
    HRESULT STDMETHODCALLTYPE GetTransform(D3DTRANSFORMSTATETYPE State, D3DMATRIX* pMatrix) override;
    HRESULT STDMETHODCALLTYPE MultiplyTransform(D3DTRANSFORMSTATETYPE State, const D3DMATRIX* pMatrix) override;
    HRESULT STDMETHODCALLTYPE SetViewport(const D3DVIEWPORT8* pViewport) override;
    HRESULT STDMETHODCALLTYPE GetViewport(D3DVIEWPORT8* pViewport) override;
    HRESULT STDMETHODCALLTYPE SetMaterial(const D3DMATERIAL8* pMaterial) override;
    HRESULT STDMETHODCALLTYPE GetMaterial(D3DMATERIAL8* pMaterial) override;
    HRESULT STDMETHODCALLTYPE SetLight(DWORD Index, const D3DLIGHT8* pLight) override;
    HRESULT STDMETHODCALLTYPE GetLight(DWORD Index, D3DLIGHT8* pLight) override;
    HRESULT STDMETHODCALLTYPE LightEnable(DWORD Index, BOOL Enable) override;
    HRESULT STDMETHODCALLTYPE GetLightEnable(DWORD Index, BOOL* pEnable) override;
    HRESULT STDMETHODCALLTYPE SetClipPlane(DWORD Index, const float* pPlane) override;
    HRESULT STDMETHODCALLTYPE GetClipPlane(DWORD Index, float* pPlane) override;
    HRESULT STDMETHODCALLTYPE SetRenderState(D3DRENDERSTATETYPE State, DWORD Value) override;
    HRESULT STDMETHODCALLTYPE GetRenderState(D3DRENDERSTATETYPE State, DWORD* pValue) override;
    HRESULT STDMETHODCALLTYPE BeginStateBlock() override;
    HRESULT STDMETHODCALLTYPE EndStateBlock(DWORD* pToken) override;
    HRESULT STDMETHODCALLTYPE ApplyStateBlock(DWORD Token) override;
    HRESULT STDMETHODCALLTYPE CaptureStateBlock(DWORD Token) override;
    HRESULT STDMETHODCALLTYPE DeleteStateBlock(DWORD Token) override;
    HRESULT STDMETHODCALLTYPE CreateStateBlock(D3DSTATEBLOCKTYPE Type, DWORD* pToken) override;
    HRESULT STDMETHODCALLTYPE SetClipStatus(const D3DCLIPSTATUS8* pClipStatus) override;
    HRESULT STDMETHODCALLTYPE GetClipStatus(D3DCLIPSTATUS8* pClipStatus) override;
    HRESULT STDMETHODCALLTYPE GetTexture(DWORD Stage, IDirect3DBaseTexture8** ppTexture) override;
    HRESULT STDMETHODCALLTYPE SetTexture(DWORD Stage, IDirect3DBaseTexture8* pTexture) override;
    HRESULT STDMETHODCALLTYPE GetTextureStageState(DWORD Stage, D3DTEXTURESTAGESTATETYPE Type, DWORD* pValue) override;
    HRESULT STDMETHODCALLTYPE SetTextureStageState(DWORD Stage, D3DTEXTURESTAGESTATETYPE Type, DWORD Value) override;
    HRESULT STDMETHODCALLTYPE ValidateDevice(DWORD* pNumPasses) override;
    HRESULT STDMETHODCALLTYPE GetInfo(DWORD DevInfoID, void* pDevInfoStruct, DWORD DevInfoStructSize) override;
    HRESULT STDMETHODCALLTYPE SetPaletteEntries(UINT PaletteNumber, const PALETTEENTRY* pEntries) override;
    HRESULT STDMETHODCALLTYPE GetPaletteEntries(UINT PaletteNumber, PALETTEENTRY* pEntries) override;
    HRESULT STDMETHODCALLTYPE SetCurrentTexturePalette(UINT PaletteNumber) override;
    HRESULT STDMETHODCALLTYPE GetCurrentTexturePalette(UINT* PaletteNumber) override;
    HRESULT STDMETHODCALLTYPE DrawPrimitive(D3DPRIMITIVETYPE PrimitiveType, UINT StartVertex, UINT PrimitiveCount) override;
    HRESULT STDMETHODCALLTYPE DrawIndexedPrimitive(D3DPRIMITIVETYPE PrimitiveType, UINT minIndex, UINT NumVertices, UINT startIndex, UINT primCount) override;
    HRESULT STDMETHODCALLTYPE DrawPrimitiveUP(D3DPRIMITIVETYPE PrimitiveType, UINT PrimitiveCount, const void* pVertexStreamZeroData, UINT VertexStreamZeroStride) override;
    HRESULT STDMETHODCALLTYPE DrawIndexedPrimitiveUP(D3DPRIMITIVETYPE PrimitiveType, UINT MinVertexIndex, UINT NumVertexIndices, UINT PrimitiveCount, const void* pIndexData, D3DFORMAT IndexDataFormat, const void* pVertexStreamZeroData, UINT VertexStreamZeroStride) override;
    HRESULT STDMETHODCALLTYPE ProcessVertices(UINT SrcStartIndex, UINT DestIndex, UINT VertexCount, IDirect3DVertexBuffer8* pDestBuffer, DWORD Flags) override;
    HRESULT STDMETHODCALLTYPE CreateVertexShader(const DWORD* pDeclaration, const DWORD* pFunction, DWORD* pHandle, DWORD Usage) override;
    HRESULT STDMETHODCALLTYPE SetVertexShader(DWORD Handle) override;
    HRESULT STDMETHODCALLTYPE GetVertexShader(DWORD* pHandle) override;
    HRESULT STDMETHODCALLTYPE DeleteVertexShader(DWORD Handle) override;
    HRESULT STDMETHODCALLTYPE SetVertexShaderConstant(DWORD Register, const void* pConstantData, DWORD ConstantCount) override;
    HRESULT STDMETHODCALLTYPE GetVertexShaderConstant(DWORD Register, void* pConstantData, DWORD ConstantCount) override;
    HRESULT STDMETHODCALLTYPE GetVertexShaderDeclaration(DWORD Handle, void* pData, DWORD* pSizeOfData) override;
    HRESULT STDMETHODCALLTYPE GetVertexShaderFunction(DWORD Handle, void* pData, DWORD* pSizeOfData) override;
    HRESULT STDMETHODCALLTYPE SetStreamSource(UINT StreamNumber, IDirect3DVertexBuffer8* pStreamData, UINT Stride) override;
    HRESULT STDMETHODCALLTYPE GetStreamSource(UINT StreamNumber, IDirect3DVertexBuffer8** ppStreamData, UINT* pStride) override;
    HRESULT STDMETHODCALLTYPE SetIndices(IDirect3DIndexBuffer8* pIndexData, UINT BaseVertexIndex) override;
    HRESULT STDMETHODCALLTYPE GetIndices(IDirect3DIndexBuffer8** ppIndexData, UINT* pBaseVertexIndex) override;
    HRESULT STDMETHODCALLTYPE CreatePixelShader(const DWORD* pFunction, DWORD* pHandle) override;
    HRESULT STDMETHODCALLTYPE SetPixelShader(DWORD Handle) override;
    HRESULT STDMETHODCALLTYPE GetPixelShader(DWORD* pHandle) override;
    HRESULT STDMETHODCALLTYPE DeletePixelShader(DWORD Handle) override;
    HRESULT STDMETHODCALLTYPE SetPixelShaderConstant(DWORD Register, const void* pConstantData, DWORD ConstantCount) override;
    HRESULT STDMETHODCALLTYPE GetPixelShaderConstant(DWORD Register, void* pConstantData, DWORD ConstantCount) override;
    HRESULT STDMETHODCALLTYPE GetPixelShaderFunction(DWORD Handle, void* pData, DWORD* pSizeOfData) override;
    HRESULT STDMETHODCALLTYPE DrawRectPatch(UINT Handle, const float* pNumSegs, const D3DRECTPATCH_INFO* pRectPatchInfo) override;
    HRESULT STDMETHODCALLTYPE DrawTriPatch(UINT Handle, const float* pNumSegs, const D3DTRIPATCH_INFO* pTriPatchInfo) override;
    HRESULT STDMETHODCALLTYPE DeletePatch(UINT Handle) override;

private:
    FakeDirect3D* direct3D_;
    FakeSurface* backBuffer_ = nullptr;    // owned
    FakeSurface* depthStencil_ = nullptr;  // owned
    IDirect3DSurface8* renderTarget_ = nullptr;
    IDirect3DSurface8* zStencil_ = nullptr;
    DWORD nextShaderHandle_ = 0x1000;
    DWORD nextStateBlock_ = 1;
    std::map<DWORD, D3DLIGHT8> lights_;
    std::map<DWORD, BOOL> lightEnabled_;
};

// One adapter as the scripted IDirect3D8 reports it.
struct FakeAdapter {
    D3DADAPTER_IDENTIFIER8 Identifier{};
    std::vector<D3DDISPLAYMODE> Modes;
    D3DDISPLAYMODE Desktop{1024, 768, 60, D3DFMT_X8R8G8B8};
    bool DesktopReadable = true;
    D3DCAPS8 Caps{};
    std::set<D3DFORMAT> DeviceTypes;    // CheckDeviceType passes for these display formats
    std::set<D3DFORMAT> DepthFormats;   // CheckDeviceFormat(DEPTHSTENCIL) passes
    std::set<std::pair<D3DFORMAT, D3DFORMAT>> DepthMismatches;  // (format, depth) that do not match
    std::set<D3DMULTISAMPLE_TYPE> MultiSampleTypes;  // besides NONE, which always passes
    std::set<D3DFORMAT> TextureFormats;  // CheckDeviceFormat(TEXTURE) passes

    // 640x480, 800x600 and 1024x768 in X8R8G8B8 and R5G6B5 at 60 Hz; both usable, D16 and D24X8
    // depth, no multisampling, A8R8G8B8/A1R5G5B5/R5G6B5 textures.
    static FakeAdapter Typical();
    static D3DDISPLAYMODE Mode(UINT width, UINT height, D3DFORMAT format, UINT refresh = 60) {
        return D3DDISPLAYMODE{width, height, refresh, format};
    }
};

class FakeDirect3D final : public RefCounted<IDirect3D8> {
public:
    std::vector<FakeAdapter> Adapters;
    CallLog Log;
    Script Results;  // "CreateDevice" scripted failures, for instance
    std::vector<FakeDevice*> Devices;  // created so far (not owned; may have been released)
    // Set up every device this object creates (caps are taken from the adapter first).
    D3DCAPS8* DeviceCapsOverride = nullptr;

    // The last device created, or null.
    FakeDevice* LastDevice() const { return Devices.empty() ? nullptr : Devices.back(); }

    HRESULT STDMETHODCALLTYPE RegisterSoftwareDevice(void* pInitializeFunction) override;
    UINT STDMETHODCALLTYPE GetAdapterCount() override;
    HRESULT STDMETHODCALLTYPE GetAdapterIdentifier(UINT Adapter, DWORD Flags, D3DADAPTER_IDENTIFIER8* pIdentifier) override;
    UINT STDMETHODCALLTYPE GetAdapterModeCount(UINT Adapter) override;
    HRESULT STDMETHODCALLTYPE EnumAdapterModes(UINT Adapter, UINT Mode, D3DDISPLAYMODE* pMode) override;
    HRESULT STDMETHODCALLTYPE GetAdapterDisplayMode(UINT Adapter, D3DDISPLAYMODE* pMode) override;
    HRESULT STDMETHODCALLTYPE CheckDeviceType(UINT Adapter, D3DDEVTYPE CheckType, D3DFORMAT DisplayFormat, D3DFORMAT BackBufferFormat, BOOL Windowed) override;
    HRESULT STDMETHODCALLTYPE CheckDeviceFormat(UINT Adapter, D3DDEVTYPE DeviceType, D3DFORMAT AdapterFormat, DWORD Usage, D3DRESOURCETYPE RType, D3DFORMAT CheckFormat) override;
    HRESULT STDMETHODCALLTYPE CheckDeviceMultiSampleType(UINT Adapter, D3DDEVTYPE DeviceType, D3DFORMAT SurfaceFormat, BOOL Windowed, D3DMULTISAMPLE_TYPE MultiSampleType) override;
    HRESULT STDMETHODCALLTYPE CheckDepthStencilMatch(UINT Adapter, D3DDEVTYPE DeviceType, D3DFORMAT AdapterFormat, D3DFORMAT RenderTargetFormat, D3DFORMAT DepthStencilFormat) override;
    HRESULT STDMETHODCALLTYPE GetDeviceCaps(UINT Adapter, D3DDEVTYPE DeviceType, D3DCAPS8* pCaps) override;
    HMONITOR STDMETHODCALLTYPE GetAdapterMonitor(UINT Adapter) override;
    HRESULT STDMETHODCALLTYPE CreateDevice(UINT Adapter, D3DDEVTYPE DeviceType, HWND hFocusWindow, DWORD BehaviorFlags, D3DPRESENT_PARAMETERS* pPresentationParameters, IDirect3DDevice8** ppReturnedDeviceInterface) override;

private:
    const FakeAdapter* Find(UINT adapter) const;
};

// Holds one reference and releases it at scope end.
template <class T>
class Ref {
public:
    explicit Ref(T* p = nullptr) : p_(p) {}
    ~Ref() { reset(); }
    Ref(const Ref&) = delete;
    Ref& operator=(const Ref&) = delete;
    T* get() const { return p_; }
    T* operator->() const { return p_; }
    T** out() {
        reset();
        return &p_;
    }
    void reset(T* p = nullptr) {
        if (p_) p_->Release();
        p_ = p;
    }

private:
    T* p_;
};

}  // namespace fake_d3d8
