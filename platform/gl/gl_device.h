// The Direct3D 8 device over OpenGL 3.3 core. Fixed-function state becomes GLSL programs, one per
// state combination, generated on first use and cached under a compact key.
#pragma once

#include "platform/gl/gl_objects.h"

namespace gl {

class Direct3D;

struct ProgramKey {
    std::uint32_t vertex = 0;
    std::uint32_t fragment = 0;
    std::uint64_t stage[4] = {};
    bool operator==(const ProgramKey& o) const {
        return vertex == o.vertex && fragment == o.fragment && stage[0] == o.stage[0] && stage[1] == o.stage[1] &&
               stage[2] == o.stage[2] && stage[3] == o.stage[3];
    }
};
struct ProgramKeyHash {
    std::size_t operator()(const ProgramKey& k) const {
        std::uint64_t h = (static_cast<std::uint64_t>(k.vertex) << 32) ^ k.fragment;
        for (std::uint64_t s : k.stage) h = (h ^ s) * 0x100000001b3ull + (h >> 29);
        return static_cast<std::size_t>(h);
    }
};

struct Program {
    GLuint id = 0;
    GLint wvp = -1, wv = -1, normalMat = -1, viewport = -1, pixelOffset = -1;
    GLint matDiffuse = -1, matAmbient = -1, matEmissive = -1, ambient = -1;
    GLint lightDir = -1, lightDiffuse = -1, lightAmbient = -1;
    GLint tfactor = -1, alphaRef = -1, fogColor = -1, fogParams = -1;
    std::uint64_t transformSerial = 0, lightSerial = 0, miscSerial = 0, viewportSerial = 0;
};

constexpr int kMaxStages = 4;
constexpr int kMaxLights = 8;
constexpr int kMaxShaderLights = 4;

class Device final : public IDirect3DDevice8, public RefCounted {
public:
    Device(Direct3D* d3d, UINT adapter, HWND window, DWORD behaviour, std::unique_ptr<GlContext> context);
    ~Device() override;
    HRESULT Init(D3DPRESENT_PARAMETERS* params);

    void MakeCurrent();
    void Track(Resource* r) { resources_.insert(r); }
    void Untrack(Resource* r) { resources_.erase(r); }
    bool s3tc() const { return s3tc_; }
    GLuint readFbo() const { return readFbo_; }
    void ForgetSurface(Surface* s);

    // IUnknown
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override;
    ULONG STDMETHODCALLTYPE AddRef() override { return AddRefImpl(); }
    ULONG STDMETHODCALLTYPE Release() override { return ReleaseImpl(); }

    HRESULT STDMETHODCALLTYPE TestCooperativeLevel() override;
    UINT STDMETHODCALLTYPE GetAvailableTextureMem() override { return 256u << 20; }
    HRESULT STDMETHODCALLTYPE ResourceManagerDiscardBytes(DWORD) override { return D3D_OK; }
    HRESULT STDMETHODCALLTYPE GetDirect3D(IDirect3D8** ppD3D8) override;
    HRESULT STDMETHODCALLTYPE GetDeviceCaps(D3DCAPS8* pCaps) override;
    HRESULT STDMETHODCALLTYPE GetDisplayMode(D3DDISPLAYMODE* pMode) override;
    HRESULT STDMETHODCALLTYPE GetCreationParameters(D3DDEVICE_CREATION_PARAMETERS* pParameters) override;
    HRESULT STDMETHODCALLTYPE SetCursorProperties(UINT, UINT, IDirect3DSurface8*) override { return D3D_OK; }
    void STDMETHODCALLTYPE SetCursorPosition(UINT, UINT, DWORD) override {}
    BOOL STDMETHODCALLTYPE ShowCursor(BOOL bShow) override { BOOL old = cursorShown_; cursorShown_ = bShow; return old; }
    HRESULT STDMETHODCALLTYPE CreateAdditionalSwapChain(D3DPRESENT_PARAMETERS*, IDirect3DSwapChain8**) override {
        return D3DERR_INVALIDCALL;
    }
    HRESULT STDMETHODCALLTYPE Reset(D3DPRESENT_PARAMETERS* pPresentationParameters) override;
    HRESULT STDMETHODCALLTYPE Present(const RECT*, const RECT*, HWND, const RGNDATA*) override;
    HRESULT STDMETHODCALLTYPE GetBackBuffer(UINT BackBuffer, D3DBACKBUFFER_TYPE Type, IDirect3DSurface8** pp) override;
    HRESULT STDMETHODCALLTYPE GetRasterStatus(D3DRASTER_STATUS* pRasterStatus) override;
    void STDMETHODCALLTYPE SetGammaRamp(DWORD Flags, const D3DGAMMARAMP* pRamp) override;
    void STDMETHODCALLTYPE GetGammaRamp(D3DGAMMARAMP* pRamp) override;
    HRESULT STDMETHODCALLTYPE CreateTexture(UINT Width, UINT Height, UINT Levels, DWORD Usage, D3DFORMAT Format,
                                            D3DPOOL Pool, IDirect3DTexture8** ppTexture) override;
    HRESULT STDMETHODCALLTYPE CreateVolumeTexture(UINT, UINT, UINT, UINT, DWORD, D3DFORMAT, D3DPOOL,
                                                  IDirect3DVolumeTexture8** pp) override {
        if (pp) *pp = nullptr;
        return D3DERR_INVALIDCALL;
    }
    HRESULT STDMETHODCALLTYPE CreateCubeTexture(UINT EdgeLength, UINT Levels, DWORD Usage, D3DFORMAT Format,
                                                D3DPOOL Pool, IDirect3DCubeTexture8** ppCubeTexture) override;
    HRESULT STDMETHODCALLTYPE CreateVertexBuffer(UINT Length, DWORD Usage, DWORD FVF, D3DPOOL Pool,
                                                 IDirect3DVertexBuffer8** ppVertexBuffer) override;
    HRESULT STDMETHODCALLTYPE CreateIndexBuffer(UINT Length, DWORD Usage, D3DFORMAT Format, D3DPOOL Pool,
                                                IDirect3DIndexBuffer8** ppIndexBuffer) override;
    HRESULT STDMETHODCALLTYPE CreateRenderTarget(UINT Width, UINT Height, D3DFORMAT Format, D3DMULTISAMPLE_TYPE,
                                                 BOOL Lockable, IDirect3DSurface8** ppSurface) override;
    HRESULT STDMETHODCALLTYPE CreateDepthStencilSurface(UINT Width, UINT Height, D3DFORMAT Format,
                                                        D3DMULTISAMPLE_TYPE, IDirect3DSurface8** ppSurface) override;
    HRESULT STDMETHODCALLTYPE CreateImageSurface(UINT Width, UINT Height, D3DFORMAT Format,
                                                 IDirect3DSurface8** ppSurface) override;
    HRESULT STDMETHODCALLTYPE CopyRects(IDirect3DSurface8* pSourceSurface, const RECT* pSourceRectsArray, UINT cRects,
                                        IDirect3DSurface8* pDestinationSurface, const POINT* pDestPointsArray) override;
    HRESULT STDMETHODCALLTYPE UpdateTexture(IDirect3DBaseTexture8*, IDirect3DBaseTexture8*) override {
        return D3DERR_INVALIDCALL;
    }
    HRESULT STDMETHODCALLTYPE GetFrontBuffer(IDirect3DSurface8* pDestSurface) override;
    HRESULT STDMETHODCALLTYPE SetRenderTarget(IDirect3DSurface8* pRenderTarget, IDirect3DSurface8* pNewZStencil) override;
    HRESULT STDMETHODCALLTYPE GetRenderTarget(IDirect3DSurface8** ppRenderTarget) override;
    HRESULT STDMETHODCALLTYPE GetDepthStencilSurface(IDirect3DSurface8** ppZStencilSurface) override;
    HRESULT STDMETHODCALLTYPE BeginScene() override;
    HRESULT STDMETHODCALLTYPE EndScene() override;
    HRESULT STDMETHODCALLTYPE Clear(DWORD Count, const D3DRECT* pRects, DWORD Flags, D3DCOLOR Color, float Z,
                                    DWORD Stencil) override;
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
    HRESULT STDMETHODCALLTYPE SetClipPlane(DWORD, const float*) override { return D3D_OK; }
    HRESULT STDMETHODCALLTYPE GetClipPlane(DWORD, float*) override { return D3DERR_INVALIDCALL; }
    HRESULT STDMETHODCALLTYPE SetRenderState(D3DRENDERSTATETYPE State, DWORD Value) override;
    HRESULT STDMETHODCALLTYPE GetRenderState(D3DRENDERSTATETYPE State, DWORD* pValue) override;
    HRESULT STDMETHODCALLTYPE BeginStateBlock() override { return D3DERR_INVALIDCALL; }
    HRESULT STDMETHODCALLTYPE EndStateBlock(DWORD*) override { return D3DERR_INVALIDCALL; }
    HRESULT STDMETHODCALLTYPE ApplyStateBlock(DWORD) override { return D3DERR_INVALIDCALL; }
    HRESULT STDMETHODCALLTYPE CaptureStateBlock(DWORD) override { return D3DERR_INVALIDCALL; }
    HRESULT STDMETHODCALLTYPE DeleteStateBlock(DWORD) override { return D3DERR_INVALIDCALL; }
    HRESULT STDMETHODCALLTYPE CreateStateBlock(D3DSTATEBLOCKTYPE, DWORD*) override { return D3DERR_INVALIDCALL; }
    HRESULT STDMETHODCALLTYPE SetClipStatus(const D3DCLIPSTATUS8*) override { return D3D_OK; }
    HRESULT STDMETHODCALLTYPE GetClipStatus(D3DCLIPSTATUS8*) override { return D3DERR_INVALIDCALL; }
    HRESULT STDMETHODCALLTYPE GetTexture(DWORD Stage, IDirect3DBaseTexture8** ppTexture) override;
    HRESULT STDMETHODCALLTYPE SetTexture(DWORD Stage, IDirect3DBaseTexture8* pTexture) override;
    HRESULT STDMETHODCALLTYPE GetTextureStageState(DWORD Stage, D3DTEXTURESTAGESTATETYPE Type, DWORD* pValue) override;
    HRESULT STDMETHODCALLTYPE SetTextureStageState(DWORD Stage, D3DTEXTURESTAGESTATETYPE Type, DWORD Value) override;
    HRESULT STDMETHODCALLTYPE ValidateDevice(DWORD* pNumPasses) override;
    HRESULT STDMETHODCALLTYPE GetInfo(DWORD, void*, DWORD) override { return S_FALSE; }
    HRESULT STDMETHODCALLTYPE SetPaletteEntries(UINT, const PALETTEENTRY*) override { return D3DERR_INVALIDCALL; }
    HRESULT STDMETHODCALLTYPE GetPaletteEntries(UINT, PALETTEENTRY*) override { return D3DERR_INVALIDCALL; }
    HRESULT STDMETHODCALLTYPE SetCurrentTexturePalette(UINT) override { return D3DERR_INVALIDCALL; }
    HRESULT STDMETHODCALLTYPE GetCurrentTexturePalette(UINT*) override { return D3DERR_INVALIDCALL; }
    HRESULT STDMETHODCALLTYPE DrawPrimitive(D3DPRIMITIVETYPE PrimitiveType, UINT StartVertex, UINT PrimitiveCount) override;
    HRESULT STDMETHODCALLTYPE DrawIndexedPrimitive(D3DPRIMITIVETYPE PrimitiveType, UINT minIndex, UINT NumVertices,
                                                   UINT startIndex, UINT primCount) override;
    HRESULT STDMETHODCALLTYPE DrawPrimitiveUP(D3DPRIMITIVETYPE PrimitiveType, UINT PrimitiveCount, const void* pData,
                                              UINT Stride) override;
    HRESULT STDMETHODCALLTYPE DrawIndexedPrimitiveUP(D3DPRIMITIVETYPE PrimitiveType, UINT MinVertexIndex,
                                                     UINT NumVertexIndices, UINT PrimitiveCount, const void* pIndexData,
                                                     D3DFORMAT IndexDataFormat, const void* pVertexStreamZeroData,
                                                     UINT VertexStreamZeroStride) override;
    HRESULT STDMETHODCALLTYPE ProcessVertices(UINT, UINT, UINT, IDirect3DVertexBuffer8*, DWORD) override {
        return D3DERR_INVALIDCALL;
    }
    HRESULT STDMETHODCALLTYPE CreateVertexShader(const DWORD*, const DWORD*, DWORD* pHandle, DWORD) override {
        if (pHandle) *pHandle = 0;
        return D3DERR_INVALIDCALL;
    }
    HRESULT STDMETHODCALLTYPE SetVertexShader(DWORD Handle) override;
    HRESULT STDMETHODCALLTYPE GetVertexShader(DWORD* pHandle) override;
    HRESULT STDMETHODCALLTYPE DeleteVertexShader(DWORD) override { return D3DERR_INVALIDCALL; }
    HRESULT STDMETHODCALLTYPE SetVertexShaderConstant(DWORD, const void*, DWORD) override { return D3DERR_INVALIDCALL; }
    HRESULT STDMETHODCALLTYPE GetVertexShaderConstant(DWORD, void*, DWORD) override { return D3DERR_INVALIDCALL; }
    HRESULT STDMETHODCALLTYPE GetVertexShaderDeclaration(DWORD, void*, DWORD*) override { return D3DERR_INVALIDCALL; }
    HRESULT STDMETHODCALLTYPE GetVertexShaderFunction(DWORD, void*, DWORD*) override { return D3DERR_INVALIDCALL; }
    HRESULT STDMETHODCALLTYPE SetStreamSource(UINT StreamNumber, IDirect3DVertexBuffer8* pStreamData, UINT Stride) override;
    HRESULT STDMETHODCALLTYPE GetStreamSource(UINT StreamNumber, IDirect3DVertexBuffer8** ppStreamData, UINT* pStride) override;
    HRESULT STDMETHODCALLTYPE SetIndices(IDirect3DIndexBuffer8* pIndexData, UINT BaseVertexIndex) override;
    HRESULT STDMETHODCALLTYPE GetIndices(IDirect3DIndexBuffer8** ppIndexData, UINT* pBaseVertexIndex) override;
    HRESULT STDMETHODCALLTYPE CreatePixelShader(const DWORD*, DWORD* pHandle) override {
        if (pHandle) *pHandle = 0;
        return D3DERR_INVALIDCALL;
    }
    HRESULT STDMETHODCALLTYPE SetPixelShader(DWORD Handle) override { return Handle == 0 ? D3D_OK : D3DERR_INVALIDCALL; }
    HRESULT STDMETHODCALLTYPE GetPixelShader(DWORD* pHandle) override {
        if (!pHandle) return D3DERR_INVALIDCALL;
        *pHandle = 0;
        return D3D_OK;
    }
    HRESULT STDMETHODCALLTYPE DeletePixelShader(DWORD) override { return D3DERR_INVALIDCALL; }
    HRESULT STDMETHODCALLTYPE SetPixelShaderConstant(DWORD, const void*, DWORD) override { return D3DERR_INVALIDCALL; }
    HRESULT STDMETHODCALLTYPE GetPixelShaderConstant(DWORD, void*, DWORD) override { return D3DERR_INVALIDCALL; }
    HRESULT STDMETHODCALLTYPE GetPixelShaderFunction(DWORD, void*, DWORD*) override { return D3DERR_INVALIDCALL; }
    HRESULT STDMETHODCALLTYPE DrawRectPatch(UINT, const float*, const D3DRECTPATCH_INFO*) override { return D3DERR_INVALIDCALL; }
    HRESULT STDMETHODCALLTYPE DrawTriPatch(UINT, const float*, const D3DTRIPATCH_INFO*) override { return D3DERR_INVALIDCALL; }
    HRESULT STDMETHODCALLTYPE DeletePatch(UINT) override { return D3DERR_INVALIDCALL; }

    std::size_t ProgramCount() const { return programs_.size(); }

private:
    void SetDefaultState();
    bool CreateBackBuffers();
    void ApplyRenderTarget();
    void ApplyFixedState();
    void ApplySamplers();
    Program* SelectProgram();
    void UploadUniforms(Program& p);
    bool PrepareDraw(GLuint vbo, UINT stride, std::size_t baseOffset);
    HRESULT CheckDraw() const;
    bool IsLost();
    Program BuildProgram(const ProgramKey& key);

    Direct3D* d3d_;
    UINT adapter_;
    HWND window_;
    DWORD behaviour_;
    std::unique_ptr<GlContext> context_;
    D3DPRESENT_PARAMETERS params_{};
    bool s3tc_ = false;
    bool lostSeen_ = false;
    bool inScene_ = false;
    BOOL cursorShown_ = TRUE;
    std::unordered_set<Resource*> resources_;

    Surface* backBuffer_ = nullptr;
    Surface* autoDepth_ = nullptr;
    Surface* renderTarget_ = nullptr;  // bound
    Surface* depthStencil_ = nullptr;  // bound
    GLuint drawFbo_ = 0, readFbo_ = 0, frontFbo_ = 0, frontTexture_ = 0;
    UINT frontWidth_ = 0, frontHeight_ = 0;
    bool targetDirty_ = true;

    GLuint vao_ = 0, upVbo_ = 0, upIbo_ = 0;
    std::size_t upVboSize_ = 0, upIboSize_ = 0;
    GLuint gammaProgram_ = 0, gammaTexture_ = 0, emptyVao_ = 0;
    D3DGAMMARAMP gamma_{};

    // Direct3D state.
    std::array<DWORD, 256> rs_{};
    std::array<std::array<DWORD, 32>, kMaxStages> tss_{};
    D3DMATRIX world_{}, view_{}, projection_{};
    std::array<D3DMATRIX, 8> textureMatrix_{};
    D3DVIEWPORT8 viewport_{};
    D3DMATERIAL8 material_{};
    std::array<D3DLIGHT8, kMaxLights> lights_{};
    std::array<bool, kMaxLights> lightEnabled_{};
    DWORD fvf_ = 0;
    std::array<Texture*, kMaxStages> textures_{};
    VertexBuffer* stream_ = nullptr;
    UINT streamStride_ = 0;
    IndexBuffer* indices_ = nullptr;
    UINT baseVertex_ = 0;

    // What GL has now.
    bool fixedDirty_ = true, keyDirty_ = true;
    std::array<bool, kMaxStages> samplerDirty_{};
    std::array<bool, kMaxStages> textureDirty_{};
    std::array<GLuint, kMaxStages> samplers_{};
    std::uint64_t transformSerial_ = 1, lightSerial_ = 1, miscSerial_ = 1, viewportSerial_ = 1;
    std::unordered_map<ProgramKey, Program, ProgramKeyHash> programs_;
    Program* current_ = nullptr;
    GLuint boundVbo_ = ~0u;
    UINT boundStride_ = 0;
    DWORD boundFvf_ = ~0u;
    std::size_t boundOffset_ = ~std::size_t{0};
    GLuint boundIbo_ = ~0u;
};

}  // namespace gl
