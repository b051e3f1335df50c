#include "fakes/d3d8/fake_d3d8.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace fake_d3d8 {

namespace {

// A failed creation call hands back no object, as the real API does.
template <class T>
HRESULT NoObject(HRESULT hr, T** out) {
    if (out) *out = nullptr;
    return hr;
}

D3DMATRIX Multiply(const D3DMATRIX& a, const D3DMATRIX& b) {
    D3DMATRIX r{};
    for (int i = 0; i < 4; ++i)
        for (int j = 0; j < 4; ++j) {
            float s = 0;
            for (int k = 0; k < 4; ++k) s += a.m[i][k] * b.m[k][j];
            r.m[i][j] = s;
        }
    return r;
}

}  // namespace

// --- FakeDevice --------------------------------------------------------------------------------

FakeDevice::FakeDevice(FakeDirect3D* direct3D) : direct3D_(direct3D) {
    if (direct3D_) direct3D_->AddRef();
    Caps.MaxTextureWidth = 2048;
    Caps.MaxTextureHeight = 2048;
    Caps.MaxSimultaneousTextures = 8;
    Caps.MaxStreams = 16;
    backBuffer_ = new FakeSurface(this, Viewport.Width, Viewport.Height, D3DFMT_X8R8G8B8,
                                  D3DUSAGE_RENDERTARGET, D3DPOOL_DEFAULT);
    depthStencil_ = new FakeSurface(this, Viewport.Width, Viewport.Height, D3DFMT_D16,
                                    D3DUSAGE_DEPTHSTENCIL, D3DPOOL_DEFAULT);
    // The surfaces point back at the device without a reference, so they must not hold one.
    renderTarget_ = backBuffer_;
    zStencil_ = depthStencil_;
}

FakeDevice::~FakeDevice() {
    backBuffer_->Release();
    depthStencil_->Release();
    if (direct3D_) direct3D_->Release();
}

DWORD FakeDevice::RenderState(DWORD state) const {
    auto it = RenderStates.find(state);
    return it == RenderStates.end() ? 0 : it->second;
}

DWORD FakeDevice::StageState(DWORD stage, DWORD type) const {
    auto it = StageStates.find({stage, type});
    return it == StageStates.end() ? 0 : it->second;
}

const D3DMATRIX* FakeDevice::Transform(DWORD state) const {
    auto it = Transforms.find(state);
    return it == Transforms.end() ? nullptr : &it->second;
}

HRESULT FakeDevice::TestCooperativeLevel() {
    Log.Record("TestCooperativeLevel");
    if (!CooperativeLevels.empty()) {
        const HRESULT hr = CooperativeLevels.front();
        CooperativeLevels.pop_front();
        return hr;
    }
    return CooperativeLevel;
}

UINT FakeDevice::GetAvailableTextureMem() {
    Log.Record("GetAvailableTextureMem");
    return 64u << 20;
}

HRESULT FakeDevice::ResourceManagerDiscardBytes(DWORD Bytes) {
    Log.Record("ResourceManagerDiscardBytes", Bytes);
    return Results.Next("ResourceManagerDiscardBytes");
}

HRESULT FakeDevice::GetDirect3D(IDirect3D8** ppD3D8) {
    Log.Record("GetDirect3D");
    if (!ppD3D8) return D3DERR_INVALIDCALL;
    *ppD3D8 = direct3D_;
    if (direct3D_) direct3D_->AddRef();
    return direct3D_ ? S_OK : D3DERR_INVALIDCALL;
}

HRESULT FakeDevice::GetDeviceCaps(D3DCAPS8* pCaps) {
    Log.Record("GetDeviceCaps");
    if (!pCaps) return D3DERR_INVALIDCALL;
    *pCaps = Caps;
    return Results.Next("GetDeviceCaps");
}

HRESULT FakeDevice::GetDisplayMode(D3DDISPLAYMODE* pMode) {
    Log.Record("GetDisplayMode");
    if (!pMode) return D3DERR_INVALIDCALL;
    *pMode = DisplayMode;
    return S_OK;
}

HRESULT FakeDevice::GetCreationParameters(D3DDEVICE_CREATION_PARAMETERS* pParameters) {
    Log.Record("GetCreationParameters");
    if (!pParameters) return D3DERR_INVALIDCALL;
    *pParameters = D3DDEVICE_CREATION_PARAMETERS{0, D3DDEVTYPE_HAL, nullptr, 0};
    return S_OK;
}

HRESULT FakeDevice::SetCursorProperties(UINT XHotSpot, UINT YHotSpot, IDirect3DSurface8* pCursorBitmap) {
    Log.Record("SetCursorProperties", XHotSpot, YHotSpot, pCursorBitmap);
    return Results.Next("SetCursorProperties");
}

void FakeDevice::SetCursorPosition(UINT XScreenSpace, UINT YScreenSpace, DWORD Flags) {
    Log.Record("SetCursorPosition", XScreenSpace, YScreenSpace, Flags);
}

BOOL FakeDevice::ShowCursor(BOOL bShow) {
    Log.Record("ShowCursor", bShow);
    return FALSE;
}

HRESULT FakeDevice::CreateAdditionalSwapChain(D3DPRESENT_PARAMETERS* pPresentationParameters,
                                              IDirect3DSwapChain8** pSwapChain) {
    Log.Record("CreateAdditionalSwapChain", pPresentationParameters);
    return NoObject(D3DERR_NOTAVAILABLE, pSwapChain);
}

HRESULT FakeDevice::Reset(D3DPRESENT_PARAMETERS* pPresentationParameters) {
    Log.Record("Reset", pPresentationParameters);
    ++Resets;
    if (pPresentationParameters) LastReset = *pPresentationParameters;
    const HRESULT hr = Results.Next("Reset");
    if (SUCCEEDED(hr)) CooperativeLevel = S_OK;
    return hr;
}

HRESULT FakeDevice::Present(const RECT* pSourceRect, const RECT* pDestRect, HWND hDestWindowOverride,
                            const RGNDATA* pDirtyRegion) {
    Log.Record("Present", pSourceRect, pDestRect, hDestWindowOverride, pDirtyRegion);
    ++Presents;
    return Results.Next("Present");
}

HRESULT FakeDevice::GetBackBuffer(UINT BackBuffer, D3DBACKBUFFER_TYPE Type, IDirect3DSurface8** ppBackBuffer) {
    Log.Record("GetBackBuffer", BackBuffer, Type);
    if (!ppBackBuffer || BackBuffer != 0) return NoObject(D3DERR_INVALIDCALL, ppBackBuffer);
    backBuffer_->AddRef();
    *ppBackBuffer = backBuffer_;
    return S_OK;
}

HRESULT FakeDevice::GetRasterStatus(D3DRASTER_STATUS* pRasterStatus) {
    Log.Record("GetRasterStatus");
    if (pRasterStatus) *pRasterStatus = D3DRASTER_STATUS{FALSE, 0};
    return S_OK;
}

void FakeDevice::SetGammaRamp(DWORD Flags, const D3DGAMMARAMP* pRamp) {
    Log.Record("SetGammaRamp", Flags, pRamp);
    if (!pRamp) return;
    GammaFlags = Flags;
    GammaRamp = *pRamp;
    ++GammaSets;
}

void FakeDevice::GetGammaRamp(D3DGAMMARAMP* pRamp) {
    Log.Record("GetGammaRamp");
    if (pRamp) *pRamp = GammaRamp;
}

HRESULT FakeDevice::CreateTexture(UINT Width, UINT Height, UINT Levels, DWORD Usage, D3DFORMAT Format,
                                  D3DPOOL Pool, IDirect3DTexture8** ppTexture) {
    Log.Record("CreateTexture", Width, Height, Levels, Usage, Format, Pool);
    if (!ppTexture || Width == 0 || Height == 0) return NoObject(D3DERR_INVALIDCALL, ppTexture);
    if (const HRESULT hr = Results.Next("CreateTexture"); FAILED(hr)) return NoObject(hr, ppTexture);
    *ppTexture = new FakeTexture(this, Width, Height, Levels, Usage, Format, Pool);
    return S_OK;
}

HRESULT FakeDevice::CreateVolumeTexture(UINT Width, UINT Height, UINT Depth, UINT Levels, DWORD Usage,
                                        D3DFORMAT Format, D3DPOOL Pool,
                                        IDirect3DVolumeTexture8** ppVolumeTexture) {
    Log.Record("CreateVolumeTexture", Width, Height, Depth, Levels, Usage, Format, Pool);
    if (!ppVolumeTexture || Width == 0 || Height == 0 || Depth == 0)
        return NoObject(D3DERR_INVALIDCALL, ppVolumeTexture);
    if (const HRESULT hr = Results.Next("CreateVolumeTexture"); FAILED(hr))
        return NoObject(hr, ppVolumeTexture);
    *ppVolumeTexture = new FakeVolumeTexture(this, Width, Height, Depth, Levels, Usage, Format, Pool);
    return S_OK;
}

HRESULT FakeDevice::CreateCubeTexture(UINT EdgeLength, UINT Levels, DWORD Usage, D3DFORMAT Format,
                                      D3DPOOL Pool, IDirect3DCubeTexture8** ppCubeTexture) {
    Log.Record("CreateCubeTexture", EdgeLength, Levels, Usage, Format, Pool);
    if (!ppCubeTexture || EdgeLength == 0) return NoObject(D3DERR_INVALIDCALL, ppCubeTexture);
    if (const HRESULT hr = Results.Next("CreateCubeTexture"); FAILED(hr))
        return NoObject(hr, ppCubeTexture);
    *ppCubeTexture = new FakeCubeTexture(this, EdgeLength, Levels, Usage, Format, Pool);
    return S_OK;
}

HRESULT FakeDevice::CreateVertexBuffer(UINT Length, DWORD Usage, DWORD FVF, D3DPOOL Pool,
                                       IDirect3DVertexBuffer8** ppVertexBuffer) {
    Log.Record("CreateVertexBuffer", Length, Usage, FVF, Pool);
    if (!ppVertexBuffer || Length == 0) return NoObject(D3DERR_INVALIDCALL, ppVertexBuffer);
    if (const HRESULT hr = Results.Next("CreateVertexBuffer"); FAILED(hr))
        return NoObject(hr, ppVertexBuffer);
    *ppVertexBuffer = new FakeVertexBuffer(this, Length, Usage, FVF, Pool);
    return S_OK;
}

HRESULT FakeDevice::CreateIndexBuffer(UINT Length, DWORD Usage, D3DFORMAT Format, D3DPOOL Pool,
                                      IDirect3DIndexBuffer8** ppIndexBuffer) {
    Log.Record("CreateIndexBuffer", Length, Usage, Format, Pool);
    if (!ppIndexBuffer || Length == 0) return NoObject(D3DERR_INVALIDCALL, ppIndexBuffer);
    if (const HRESULT hr = Results.Next("CreateIndexBuffer"); FAILED(hr))
        return NoObject(hr, ppIndexBuffer);
    *ppIndexBuffer = new FakeIndexBuffer(this, Length, Usage, Format, Pool);
    return S_OK;
}

HRESULT FakeDevice::CreateRenderTarget(UINT Width, UINT Height, D3DFORMAT Format,
                                       D3DMULTISAMPLE_TYPE MultiSample, BOOL Lockable,
                                       IDirect3DSurface8** ppSurface) {
    Log.Record("CreateRenderTarget", Width, Height, Format, MultiSample, Lockable);
    if (!ppSurface || Width == 0 || Height == 0) return NoObject(D3DERR_INVALIDCALL, ppSurface);
    if (const HRESULT hr = Results.Next("CreateRenderTarget"); FAILED(hr)) return NoObject(hr, ppSurface);
    *ppSurface = new FakeSurface(this, Width, Height, Format, D3DUSAGE_RENDERTARGET, D3DPOOL_DEFAULT);
    return S_OK;
}

HRESULT FakeDevice::CreateDepthStencilSurface(UINT Width, UINT Height, D3DFORMAT Format,
                                              D3DMULTISAMPLE_TYPE MultiSample,
                                              IDirect3DSurface8** ppSurface) {
    Log.Record("CreateDepthStencilSurface", Width, Height, Format, MultiSample);
    if (!ppSurface || Width == 0 || Height == 0) return NoObject(D3DERR_INVALIDCALL, ppSurface);
    if (const HRESULT hr = Results.Next("CreateDepthStencilSurface"); FAILED(hr))
        return NoObject(hr, ppSurface);
    *ppSurface = new FakeSurface(this, Width, Height, Format, D3DUSAGE_DEPTHSTENCIL, D3DPOOL_DEFAULT);
    return S_OK;
}

HRESULT FakeDevice::CreateImageSurface(UINT Width, UINT Height, D3DFORMAT Format, IDirect3DSurface8** ppSurface) {
    Log.Record("CreateImageSurface", Width, Height, Format);
    if (!ppSurface || Width == 0 || Height == 0) return NoObject(D3DERR_INVALIDCALL, ppSurface);
    if (const HRESULT hr = Results.Next("CreateImageSurface"); FAILED(hr)) return NoObject(hr, ppSurface);
    *ppSurface = new FakeSurface(this, Width, Height, Format, 0, D3DPOOL_SYSTEMMEM);
    return S_OK;
}

HRESULT FakeDevice::CopyRects(IDirect3DSurface8* pSourceSurface, const RECT* pSourceRectsArray, UINT cRects,
                              IDirect3DSurface8* pDestinationSurface, const POINT* pDestPointsArray) {
    Log.Record("CopyRects", pSourceSurface, pSourceRectsArray, cRects, pDestinationSurface, pDestPointsArray);
    return Results.Next("CopyRects");
}

HRESULT FakeDevice::UpdateTexture(IDirect3DBaseTexture8* pSourceTexture, IDirect3DBaseTexture8* pDestinationTexture) {
    Log.Record("UpdateTexture", pSourceTexture, pDestinationTexture);
    return Results.Next("UpdateTexture");
}

HRESULT FakeDevice::GetFrontBuffer(IDirect3DSurface8* pDestSurface) {
    Log.Record("GetFrontBuffer", pDestSurface);
    return Results.Next("GetFrontBuffer");
}

HRESULT FakeDevice::SetRenderTarget(IDirect3DSurface8* pRenderTarget, IDirect3DSurface8* pNewZStencil) {
    Log.Record("SetRenderTarget", pRenderTarget, pNewZStencil);
    const HRESULT hr = Results.Next("SetRenderTarget");
    if (SUCCEEDED(hr)) {
        if (pRenderTarget) renderTarget_ = pRenderTarget;
        zStencil_ = pNewZStencil;
    }
    return hr;
}

HRESULT FakeDevice::GetRenderTarget(IDirect3DSurface8** ppRenderTarget) {
    Log.Record("GetRenderTarget");
    if (!ppRenderTarget) return D3DERR_INVALIDCALL;
    *ppRenderTarget = renderTarget_;
    if (renderTarget_) renderTarget_->AddRef();
    return S_OK;
}

HRESULT FakeDevice::GetDepthStencilSurface(IDirect3DSurface8** ppZStencilSurface) {
    Log.Record("GetDepthStencilSurface");
    if (!ppZStencilSurface) return D3DERR_INVALIDCALL;
    *ppZStencilSurface = zStencil_;
    if (!zStencil_) return D3DERR_NOTFOUND;
    zStencil_->AddRef();
    return S_OK;
}

HRESULT FakeDevice::BeginScene() {
    Log.Record("BeginScene");
    if (SceneDepth != 0) return D3DERR_INVALIDCALL;
    ++SceneDepth;
    return Results.Next("BeginScene");
}

HRESULT FakeDevice::EndScene() {
    Log.Record("EndScene");
    if (SceneDepth != 1) return D3DERR_INVALIDCALL;
    --SceneDepth;
    return Results.Next("EndScene");
}

HRESULT FakeDevice::Clear(DWORD Count, const D3DRECT* pRects, DWORD Flags, D3DCOLOR Color, float Z, DWORD Stencil) {
    Log.Record("Clear", Count, pRects, Flags, Color, Z, Stencil);
    return Results.Next("Clear");
}

HRESULT FakeDevice::SetTransform(D3DTRANSFORMSTATETYPE State, const D3DMATRIX* pMatrix) {
    Log.Record("SetTransform", State, pMatrix);
    if (!pMatrix) return D3DERR_INVALIDCALL;
    Transforms[State] = *pMatrix;
    return S_OK;
}

HRESULT FakeDevice::GetTransform(D3DTRANSFORMSTATETYPE State, D3DMATRIX* pMatrix) {
    Log.Record("GetTransform", State);
    if (!pMatrix) return D3DERR_INVALIDCALL;
    if (const D3DMATRIX* m = Transform(State)) {
        *pMatrix = *m;
    } else {
        *pMatrix = D3DMATRIX{};
        for (int i = 0; i < 4; ++i) pMatrix->m[i][i] = 1.0f;
    }
    return S_OK;
}

HRESULT FakeDevice::MultiplyTransform(D3DTRANSFORMSTATETYPE State, const D3DMATRIX* pMatrix) {
    Log.Record("MultiplyTransform", State, pMatrix);
    if (!pMatrix) return D3DERR_INVALIDCALL;
    D3DMATRIX current;
    GetTransform(State, &current);
    Transforms[State] = Multiply(*pMatrix, current);
    return S_OK;
}

HRESULT FakeDevice::SetViewport(const D3DVIEWPORT8* pViewport) {
    Log.Record("SetViewport", pViewport);
    if (!pViewport) return D3DERR_INVALIDCALL;
    Viewport = *pViewport;
    return S_OK;
}

HRESULT FakeDevice::GetViewport(D3DVIEWPORT8* pViewport) {
    Log.Record("GetViewport");
    if (!pViewport) return D3DERR_INVALIDCALL;
    *pViewport = Viewport;
    return S_OK;
}

HRESULT FakeDevice::SetMaterial(const D3DMATERIAL8* pMaterial) {
    Log.Record("SetMaterial", pMaterial);
    if (!pMaterial) return D3DERR_INVALIDCALL;
    Material = *pMaterial;
    return S_OK;
}

HRESULT FakeDevice::GetMaterial(D3DMATERIAL8* pMaterial) {
    Log.Record("GetMaterial");
    if (!pMaterial) return D3DERR_INVALIDCALL;
    *pMaterial = Material;
    return S_OK;
}

HRESULT FakeDevice::SetLight(DWORD Index, const D3DLIGHT8* pLight) {
    Log.Record("SetLight", Index, pLight);
    if (!pLight) return D3DERR_INVALIDCALL;
    lights_[Index] = *pLight;
    return S_OK;
}

HRESULT FakeDevice::GetLight(DWORD Index, D3DLIGHT8* pLight) {
    Log.Record("GetLight", Index);
    auto it = lights_.find(Index);
    if (!pLight || it == lights_.end()) return D3DERR_INVALIDCALL;
    *pLight = it->second;
    return S_OK;
}

HRESULT FakeDevice::LightEnable(DWORD Index, BOOL Enable) {
    Log.Record("LightEnable", Index, Enable);
    lightEnabled_[Index] = Enable;
    return S_OK;
}

HRESULT FakeDevice::GetLightEnable(DWORD Index, BOOL* pEnable) {
    Log.Record("GetLightEnable", Index);
    if (!pEnable) return D3DERR_INVALIDCALL;
    auto it = lightEnabled_.find(Index);
    *pEnable = it == lightEnabled_.end() ? FALSE : it->second;
    return S_OK;
}

HRESULT FakeDevice::SetClipPlane(DWORD Index, const float* pPlane) {
    Log.Record("SetClipPlane", Index, pPlane);
    return S_OK;
}

HRESULT FakeDevice::GetClipPlane(DWORD Index, float* pPlane) {
    Log.Record("GetClipPlane", Index);
    if (pPlane) std::fill(pPlane, pPlane + 4, 0.0f);
    return S_OK;
}

HRESULT FakeDevice::SetRenderState(D3DRENDERSTATETYPE State, DWORD Value) {
    Log.Record("SetRenderState", State, Value);
    RenderStates[State] = Value;
    return S_OK;
}

HRESULT FakeDevice::GetRenderState(D3DRENDERSTATETYPE State, DWORD* pValue) {
    Log.Record("GetRenderState", State);
    if (!pValue) return D3DERR_INVALIDCALL;
    *pValue = RenderState(State);
    return S_OK;
}

HRESULT FakeDevice::BeginStateBlock() {
    Log.Record("BeginStateBlock");
    return S_OK;
}

HRESULT FakeDevice::EndStateBlock(DWORD* pToken) {
    Log.Record("EndStateBlock");
    if (pToken) *pToken = nextStateBlock_++;
    return S_OK;
}

HRESULT FakeDevice::ApplyStateBlock(DWORD Token) {
    Log.Record("ApplyStateBlock", Token);
    return S_OK;
}

HRESULT FakeDevice::CaptureStateBlock(DWORD Token) {
    Log.Record("CaptureStateBlock", Token);
    return S_OK;
}

HRESULT FakeDevice::DeleteStateBlock(DWORD Token) {
    Log.Record("DeleteStateBlock", Token);
    return S_OK;
}

HRESULT FakeDevice::CreateStateBlock(D3DSTATEBLOCKTYPE Type, DWORD* pToken) {
    Log.Record("CreateStateBlock", Type);
    if (pToken) *pToken = nextStateBlock_++;
    return S_OK;
}

HRESULT FakeDevice::SetClipStatus(const D3DCLIPSTATUS8* pClipStatus) {
    Log.Record("SetClipStatus", pClipStatus);
    return S_OK;
}

HRESULT FakeDevice::GetClipStatus(D3DCLIPSTATUS8* pClipStatus) {
    Log.Record("GetClipStatus");
    if (pClipStatus) std::memset(pClipStatus, 0, sizeof *pClipStatus);
    return S_OK;
}

HRESULT FakeDevice::GetTexture(DWORD Stage, IDirect3DBaseTexture8** ppTexture) {
    Log.Record("GetTexture", Stage);
    if (!ppTexture || Stage >= 8) return D3DERR_INVALIDCALL;
    *ppTexture = Textures[Stage];
    if (*ppTexture) (*ppTexture)->AddRef();
    return S_OK;
}

HRESULT FakeDevice::SetTexture(DWORD Stage, IDirect3DBaseTexture8* pTexture) {
    Log.Record("SetTexture", Stage, pTexture);
    if (Stage >= 8) return D3DERR_INVALIDCALL;
    Textures[Stage] = pTexture;
    return S_OK;
}

HRESULT FakeDevice::GetTextureStageState(DWORD Stage, D3DTEXTURESTAGESTATETYPE Type, DWORD* pValue) {
    Log.Record("GetTextureStageState", Stage, Type);
    if (!pValue) return D3DERR_INVALIDCALL;
    *pValue = StageState(Stage, Type);
    return S_OK;
}

HRESULT FakeDevice::SetTextureStageState(DWORD Stage, D3DTEXTURESTAGESTATETYPE Type, DWORD Value) {
    Log.Record("SetTextureStageState", Stage, Type, Value);
    StageStates[{Stage, Type}] = Value;
    return S_OK;
}

HRESULT FakeDevice::ValidateDevice(DWORD* pNumPasses) {
    Log.Record("ValidateDevice");
    if (pNumPasses) *pNumPasses = 1;
    return Results.Next("ValidateDevice");
}

HRESULT FakeDevice::GetInfo(DWORD DevInfoID, void*, DWORD DevInfoStructSize) {
    Log.Record("GetInfo", DevInfoID, DevInfoStructSize);
    return E_FAIL;
}

HRESULT FakeDevice::SetPaletteEntries(UINT PaletteNumber, const PALETTEENTRY* pEntries) {
    Log.Record("SetPaletteEntries", PaletteNumber, pEntries);
    return S_OK;
}

HRESULT FakeDevice::GetPaletteEntries(UINT PaletteNumber, PALETTEENTRY* pEntries) {
    Log.Record("GetPaletteEntries", PaletteNumber);
    if (pEntries) std::memset(pEntries, 0, sizeof(PALETTEENTRY) * 256);
    return S_OK;
}

HRESULT FakeDevice::SetCurrentTexturePalette(UINT PaletteNumber) {
    Log.Record("SetCurrentTexturePalette", PaletteNumber);
    return S_OK;
}

HRESULT FakeDevice::GetCurrentTexturePalette(UINT* PaletteNumber) {
    Log.Record("GetCurrentTexturePalette");
    if (PaletteNumber) *PaletteNumber = 0;
    return S_OK;
}

HRESULT FakeDevice::DrawPrimitive(D3DPRIMITIVETYPE PrimitiveType, UINT StartVertex, UINT PrimitiveCount) {
    Log.Record("DrawPrimitive", PrimitiveType, StartVertex, PrimitiveCount);
    if (OnDrawPrimitive) OnDrawPrimitive(*this);
    return Results.Next("DrawPrimitive");
}

HRESULT FakeDevice::DrawIndexedPrimitive(D3DPRIMITIVETYPE PrimitiveType, UINT minIndex, UINT NumVertices,
                                         UINT startIndex, UINT primCount) {
    Log.Record("DrawIndexedPrimitive", PrimitiveType, minIndex, NumVertices, startIndex, primCount);
    return Results.Next("DrawIndexedPrimitive");
}

HRESULT FakeDevice::DrawPrimitiveUP(D3DPRIMITIVETYPE PrimitiveType, UINT PrimitiveCount,
                                    const void* pVertexStreamZeroData, UINT VertexStreamZeroStride) {
    Log.Record("DrawPrimitiveUP", PrimitiveType, PrimitiveCount, pVertexStreamZeroData, VertexStreamZeroStride);
    return Results.Next("DrawPrimitiveUP");
}

HRESULT FakeDevice::DrawIndexedPrimitiveUP(D3DPRIMITIVETYPE PrimitiveType, UINT MinVertexIndex,
                                           UINT NumVertexIndices, UINT PrimitiveCount, const void* pIndexData,
                                           D3DFORMAT IndexDataFormat, const void* pVertexStreamZeroData,
                                           UINT VertexStreamZeroStride) {
    Log.Record("DrawIndexedPrimitiveUP", PrimitiveType, MinVertexIndex, NumVertexIndices, PrimitiveCount,
               pIndexData, IndexDataFormat, pVertexStreamZeroData, VertexStreamZeroStride);
    return Results.Next("DrawIndexedPrimitiveUP");
}

HRESULT FakeDevice::ProcessVertices(UINT SrcStartIndex, UINT DestIndex, UINT VertexCount,
                                    IDirect3DVertexBuffer8* pDestBuffer, DWORD Flags) {
    Log.Record("ProcessVertices", SrcStartIndex, DestIndex, VertexCount, pDestBuffer, Flags);
    return Results.Next("ProcessVertices");
}

HRESULT FakeDevice::CreateVertexShader(const DWORD* pDeclaration, const DWORD* pFunction, DWORD* pHandle,
                                       DWORD Usage) {
    Log.Record("CreateVertexShader", pDeclaration, pFunction, Usage);
    if (!pHandle || !pDeclaration) return D3DERR_INVALIDCALL;
    if (const HRESULT hr = Results.Next("CreateVertexShader"); FAILED(hr)) return hr;
    // Handles of programmable shaders have bit 0 set so they never look like an FVF code.
    *pHandle = (nextShaderHandle_++ << 1) | 1;
    return S_OK;
}

HRESULT FakeDevice::SetVertexShader(DWORD Handle) {
    Log.Record("SetVertexShader", Handle);
    VertexShader = Handle;
    return S_OK;
}

HRESULT FakeDevice::GetVertexShader(DWORD* pHandle) {
    Log.Record("GetVertexShader");
    if (!pHandle) return D3DERR_INVALIDCALL;
    *pHandle = VertexShader;
    return S_OK;
}

HRESULT FakeDevice::DeleteVertexShader(DWORD Handle) {
    Log.Record("DeleteVertexShader", Handle);
    return S_OK;
}

HRESULT FakeDevice::SetVertexShaderConstant(DWORD Register, const void* pConstantData, DWORD ConstantCount) {
    Log.Record("SetVertexShaderConstant", Register, pConstantData, ConstantCount);
    return S_OK;
}

HRESULT FakeDevice::GetVertexShaderConstant(DWORD Register, void*, DWORD ConstantCount) {
    Log.Record("GetVertexShaderConstant", Register, ConstantCount);
    return S_OK;
}

HRESULT FakeDevice::GetVertexShaderDeclaration(DWORD Handle, void*, DWORD* pSizeOfData) {
    Log.Record("GetVertexShaderDeclaration", Handle);
    if (pSizeOfData) *pSizeOfData = 0;
    return D3DERR_INVALIDCALL;
}

HRESULT FakeDevice::GetVertexShaderFunction(DWORD Handle, void*, DWORD* pSizeOfData) {
    Log.Record("GetVertexShaderFunction", Handle);
    if (pSizeOfData) *pSizeOfData = 0;
    return D3DERR_INVALIDCALL;
}

HRESULT FakeDevice::SetStreamSource(UINT StreamNumber, IDirect3DVertexBuffer8* pStreamData, UINT Stride) {
    Log.Record("SetStreamSource", StreamNumber, pStreamData, Stride);
    if (StreamNumber >= 16) return D3DERR_INVALIDCALL;
    StreamData[StreamNumber] = pStreamData;
    StreamStride[StreamNumber] = Stride;
    return S_OK;
}

HRESULT FakeDevice::GetStreamSource(UINT StreamNumber, IDirect3DVertexBuffer8** ppStreamData, UINT* pStride) {
    Log.Record("GetStreamSource", StreamNumber);
    if (StreamNumber >= 16 || !ppStreamData || !pStride) return D3DERR_INVALIDCALL;
    *ppStreamData = StreamData[StreamNumber];
    if (*ppStreamData) (*ppStreamData)->AddRef();
    *pStride = StreamStride[StreamNumber];
    return S_OK;
}

HRESULT FakeDevice::SetIndices(IDirect3DIndexBuffer8* pIndexData, UINT BaseVertexIndexValue) {
    Log.Record("SetIndices", pIndexData, BaseVertexIndexValue);
    Indices = pIndexData;
    BaseVertexIndex = BaseVertexIndexValue;
    return S_OK;
}

HRESULT FakeDevice::GetIndices(IDirect3DIndexBuffer8** ppIndexData, UINT* pBaseVertexIndex) {
    Log.Record("GetIndices");
    if (!ppIndexData || !pBaseVertexIndex) return D3DERR_INVALIDCALL;
    *ppIndexData = Indices;
    if (Indices) Indices->AddRef();
    *pBaseVertexIndex = BaseVertexIndex;
    return S_OK;
}

HRESULT FakeDevice::CreatePixelShader(const DWORD* pFunction, DWORD* pHandle) {
    Log.Record("CreatePixelShader", pFunction);
    if (!pHandle || !pFunction) return D3DERR_INVALIDCALL;
    if (const HRESULT hr = Results.Next("CreatePixelShader"); FAILED(hr)) return hr;
    *pHandle = nextShaderHandle_++;
    return S_OK;
}

HRESULT FakeDevice::SetPixelShader(DWORD Handle) {
    Log.Record("SetPixelShader", Handle);
    PixelShader = Handle;
    return S_OK;
}

HRESULT FakeDevice::GetPixelShader(DWORD* pHandle) {
    Log.Record("GetPixelShader");
    if (!pHandle) return D3DERR_INVALIDCALL;
    *pHandle = PixelShader;
    return S_OK;
}

HRESULT FakeDevice::DeletePixelShader(DWORD Handle) {
    Log.Record("DeletePixelShader", Handle);
    return S_OK;
}

HRESULT FakeDevice::SetPixelShaderConstant(DWORD Register, const void* pConstantData, DWORD ConstantCount) {
    Log.Record("SetPixelShaderConstant", Register, pConstantData, ConstantCount);
    return S_OK;
}

HRESULT FakeDevice::GetPixelShaderConstant(DWORD Register, void*, DWORD ConstantCount) {
    Log.Record("GetPixelShaderConstant", Register, ConstantCount);
    return S_OK;
}

HRESULT FakeDevice::GetPixelShaderFunction(DWORD Handle, void*, DWORD* pSizeOfData) {
    Log.Record("GetPixelShaderFunction", Handle);
    if (pSizeOfData) *pSizeOfData = 0;
    return D3DERR_INVALIDCALL;
}

HRESULT FakeDevice::DrawRectPatch(UINT Handle, const float* pNumSegs, const D3DRECTPATCH_INFO* pRectPatchInfo) {
    Log.Record("DrawRectPatch", Handle, pNumSegs, pRectPatchInfo);
    return D3DERR_INVALIDCALL;
}

HRESULT FakeDevice::DrawTriPatch(UINT Handle, const float* pNumSegs, const D3DTRIPATCH_INFO* pTriPatchInfo) {
    Log.Record("DrawTriPatch", Handle, pNumSegs, pTriPatchInfo);
    return D3DERR_INVALIDCALL;
}

HRESULT FakeDevice::DeletePatch(UINT Handle) {
    Log.Record("DeletePatch", Handle);
    return S_OK;
}

// --- FakeAdapter / FakeDirect3D ----------------------------------------------------------------

FakeAdapter FakeAdapter::Typical() {
    FakeAdapter a;
    std::snprintf(a.Identifier.Driver, sizeof a.Identifier.Driver, "%s", "fake.drv");
    std::snprintf(a.Identifier.Description, sizeof a.Identifier.Description, "%s", "Fake adapter");
    for (D3DFORMAT f : {D3DFMT_X8R8G8B8, D3DFMT_R5G6B5})
        for (auto [w, h] : {std::pair<UINT, UINT>{640, 480}, {800, 600}, {1024, 768}})
            a.Modes.push_back(Mode(w, h, f));
    a.DeviceTypes = {D3DFMT_X8R8G8B8, D3DFMT_R5G6B5};
    a.DepthFormats = {D3DFMT_D16, D3DFMT_D24X8};
    a.TextureFormats = {D3DFMT_A8R8G8B8, D3DFMT_X8R8G8B8, D3DFMT_A1R5G5B5, D3DFMT_R5G6B5};
    a.Caps.DeviceType = D3DDEVTYPE_HAL;
    a.Caps.MaxTextureWidth = 2048;
    a.Caps.MaxTextureHeight = 2048;
    return a;
}

const FakeAdapter* FakeDirect3D::Find(UINT adapter) const {
    return adapter < Adapters.size() ? &Adapters[adapter] : nullptr;
}

HRESULT FakeDirect3D::RegisterSoftwareDevice(void* pInitializeFunction) {
    Log.Record("RegisterSoftwareDevice", pInitializeFunction);
    return D3DERR_NOTAVAILABLE;
}

UINT FakeDirect3D::GetAdapterCount() {
    Log.Record("GetAdapterCount");
    return static_cast<UINT>(Adapters.size());
}

HRESULT FakeDirect3D::GetAdapterIdentifier(UINT Adapter, DWORD Flags, D3DADAPTER_IDENTIFIER8* pIdentifier) {
    Log.Record("GetAdapterIdentifier", Adapter, Flags);
    const FakeAdapter* a = Find(Adapter);
    if (!a || !pIdentifier) return D3DERR_INVALIDCALL;
    *pIdentifier = a->Identifier;
    return S_OK;
}

UINT FakeDirect3D::GetAdapterModeCount(UINT Adapter) {
    Log.Record("GetAdapterModeCount", Adapter);
    const FakeAdapter* a = Find(Adapter);
    return a ? static_cast<UINT>(a->Modes.size()) : 0;
}

HRESULT FakeDirect3D::EnumAdapterModes(UINT Adapter, UINT Mode, D3DDISPLAYMODE* pMode) {
    Log.Record("EnumAdapterModes", Adapter, Mode);
    const FakeAdapter* a = Find(Adapter);
    if (!a || !pMode || Mode >= a->Modes.size()) return D3DERR_INVALIDCALL;
    *pMode = a->Modes[Mode];
    return S_OK;
}

HRESULT FakeDirect3D::GetAdapterDisplayMode(UINT Adapter, D3DDISPLAYMODE* pMode) {
    Log.Record("GetAdapterDisplayMode", Adapter);
    const FakeAdapter* a = Find(Adapter);
    if (!a || !pMode || !a->DesktopReadable) return D3DERR_INVALIDCALL;
    *pMode = a->Desktop;
    return S_OK;
}

HRESULT FakeDirect3D::CheckDeviceType(UINT Adapter, D3DDEVTYPE CheckType, D3DFORMAT DisplayFormat,
                                      D3DFORMAT BackBufferFormat, BOOL Windowed) {
    Log.Record("CheckDeviceType", Adapter, CheckType, DisplayFormat, BackBufferFormat, Windowed);
    const FakeAdapter* a = Find(Adapter);
    if (!a) return D3DERR_INVALIDCALL;
    return a->DeviceTypes.count(DisplayFormat) && a->DeviceTypes.count(BackBufferFormat)
               ? S_OK
               : D3DERR_NOTAVAILABLE;
}

HRESULT FakeDirect3D::CheckDeviceFormat(UINT Adapter, D3DDEVTYPE DeviceType, D3DFORMAT AdapterFormat,
                                        DWORD Usage, D3DRESOURCETYPE RType, D3DFORMAT CheckFormat) {
    Log.Record("CheckDeviceFormat", Adapter, DeviceType, AdapterFormat, Usage, RType, CheckFormat);
    const FakeAdapter* a = Find(Adapter);
    if (!a) return D3DERR_INVALIDCALL;
    if (Usage & D3DUSAGE_DEPTHSTENCIL)
        return a->DepthFormats.count(CheckFormat) ? S_OK : D3DERR_NOTAVAILABLE;
    if (RType == D3DRTYPE_TEXTURE || RType == D3DRTYPE_CUBETEXTURE || RType == D3DRTYPE_VOLUMETEXTURE)
        return a->TextureFormats.count(CheckFormat) ? S_OK : D3DERR_NOTAVAILABLE;
    return S_OK;
}

HRESULT FakeDirect3D::CheckDeviceMultiSampleType(UINT Adapter, D3DDEVTYPE DeviceType, D3DFORMAT SurfaceFormat,
                                                 BOOL Windowed, D3DMULTISAMPLE_TYPE MultiSampleType) {
    Log.Record("CheckDeviceMultiSampleType", Adapter, DeviceType, SurfaceFormat, Windowed, MultiSampleType);
    const FakeAdapter* a = Find(Adapter);
    if (!a) return D3DERR_INVALIDCALL;
    if (MultiSampleType == D3DMULTISAMPLE_NONE) return S_OK;
    return a->MultiSampleTypes.count(MultiSampleType) ? S_OK : D3DERR_NOTAVAILABLE;
}

HRESULT FakeDirect3D::CheckDepthStencilMatch(UINT Adapter, D3DDEVTYPE DeviceType, D3DFORMAT AdapterFormat,
                                             D3DFORMAT RenderTargetFormat, D3DFORMAT DepthStencilFormat) {
    Log.Record("CheckDepthStencilMatch", Adapter, DeviceType, AdapterFormat, RenderTargetFormat,
               DepthStencilFormat);
    const FakeAdapter* a = Find(Adapter);
    if (!a) return D3DERR_INVALIDCALL;
    if (!a->DepthFormats.count(DepthStencilFormat)) return D3DERR_NOTAVAILABLE;
    return a->DepthMismatches.count({RenderTargetFormat, DepthStencilFormat}) ? D3DERR_NOTAVAILABLE : S_OK;
}

HRESULT FakeDirect3D::GetDeviceCaps(UINT Adapter, D3DDEVTYPE DeviceType, D3DCAPS8* pCaps) {
    Log.Record("GetDeviceCaps", Adapter, DeviceType);
    const FakeAdapter* a = Find(Adapter);
    if (!a || !pCaps) return D3DERR_INVALIDCALL;
    *pCaps = a->Caps;
    return S_OK;
}

HMONITOR FakeDirect3D::GetAdapterMonitor(UINT Adapter) {
    Log.Record("GetAdapterMonitor", Adapter);
    return nullptr;
}

HRESULT FakeDirect3D::CreateDevice(UINT Adapter, D3DDEVTYPE DeviceType, HWND hFocusWindow, DWORD BehaviorFlags,
                                   D3DPRESENT_PARAMETERS* pPresentationParameters,
                                   IDirect3DDevice8** ppReturnedDeviceInterface) {
    Log.Record("CreateDevice", Adapter, DeviceType, hFocusWindow, BehaviorFlags, pPresentationParameters);
    const FakeAdapter* a = Find(Adapter);
    if (!a || !pPresentationParameters || !ppReturnedDeviceInterface)
        return NoObject(D3DERR_INVALIDCALL, ppReturnedDeviceInterface);
    if (const HRESULT hr = Results.Next("CreateDevice"); FAILED(hr))
        return NoObject(hr, ppReturnedDeviceInterface);
    auto* device = new FakeDevice(this);
    device->Caps = DeviceCapsOverride ? *DeviceCapsOverride : a->Caps;
    device->CreationParameters = *pPresentationParameters;
    const D3DPRESENT_PARAMETERS& pp = *pPresentationParameters;
    const UINT w = pp.BackBufferWidth ? pp.BackBufferWidth : 640;
    const UINT h = pp.BackBufferHeight ? pp.BackBufferHeight : 480;
    device->Viewport = D3DVIEWPORT8{0, 0, w, h, 0.0f, 1.0f};
    device->DisplayMode = D3DDISPLAYMODE{w, h, 60, pp.BackBufferFormat};
    Devices.push_back(device);
    *ppReturnedDeviceInterface = device;
    return S_OK;
}

}  // namespace fake_d3d8
