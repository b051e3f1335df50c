#include "platform/gl/gl_direct3d.h"

#include <SDL2/SDL.h>

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <mutex>

#include "platform/gl/gl_device.h"

namespace gl {
namespace {

std::mutex g_configMutex;
bool g_chosen = false;
WindowSystem g_system = WindowSystem::Headless;
HeadlessOptions g_headless;
std::atomic<bool> g_simulatedLoss{false};

std::vector<D3DDISPLAYMODE> FixedModes() {
    static constexpr UINT sizes[][2] = {{640, 480}, {800, 600}, {1024, 768}, {1280, 1024}, {1600, 1200}};
    std::vector<D3DDISPLAYMODE> modes;
    for (D3DFORMAT f : {D3DFMT_R5G6B5, D3DFMT_X8R8G8B8})
        for (const auto& s : sizes) modes.push_back({s[0], s[1], 60, f});
    return modes;
}

D3DFORMAT FormatOfSdl(Uint32 pixelFormat) {
    return SDL_BITSPERPIXEL(pixelFormat) <= 16 ? D3DFMT_R5G6B5 : D3DFMT_X8R8G8B8;
}

bool IsDisplayFormat(D3DFORMAT f) { return f == D3DFMT_X8R8G8B8 || f == D3DFMT_R5G6B5; }
bool IsBackBufferFormat(D3DFORMAT f) { return f == D3DFMT_X8R8G8B8 || f == D3DFMT_A8R8G8B8 || f == D3DFMT_R5G6B5; }

}  // namespace

void UseSdlWindowSystem() {
    std::lock_guard<std::mutex> lock(g_configMutex);
    g_chosen = true;
    g_system = WindowSystem::Sdl;
}

void UseHeadlessWindowSystem(HeadlessOptions options) {
    std::lock_guard<std::mutex> lock(g_configMutex);
    g_chosen = true;
    g_system = WindowSystem::Headless;
    SetHeadlessCapture(options.frameDirectory, options.frameInterval);
    g_headless = std::move(options);
}

WindowSystem CurrentWindowSystem() {
    std::lock_guard<std::mutex> lock(g_configMutex);
    if (g_chosen) return g_system;
    const char* x = std::getenv("DISPLAY");
    const char* w = std::getenv("WAYLAND_DISPLAY");
    return ((x && *x) || (w && *w)) ? WindowSystem::Sdl : WindowSystem::Headless;
}

bool HeadlessContextAvailable() {
    static const bool available = CreateHeadlessContext() != nullptr;
    return available;
}

void SimulateDeviceLoss(bool lost) { g_simulatedLoss = lost; }
bool SimulatedLoss() { return g_simulatedLoss; }

Direct3D::Direct3D(WindowSystem system, HeadlessOptions headless) : system_(system), headless_(std::move(headless)) {
    if (system_ == WindowSystem::Sdl) {
        sdlVideo_ = SDL_InitSubSystem(SDL_INIT_VIDEO) == 0;
        const int displays = sdlVideo_ ? SDL_GetNumVideoDisplays() : 0;
        for (int d = 0; d < displays; ++d) {
            AdapterInfo a;
            a.sdlDisplay = d;
            a.monitor = reinterpret_cast<HMONITOR>(static_cast<std::intptr_t>(d + 1));
            SDL_DisplayMode dm{};
            if (SDL_GetDesktopDisplayMode(d, &dm) == 0)
                a.desktop = {static_cast<UINT>(dm.w), static_cast<UINT>(dm.h), static_cast<UINT>(dm.refresh_rate),
                             FormatOfSdl(dm.format)};
            const int n = SDL_GetNumDisplayModes(d);
            for (int m = 0; m < n; ++m) {
                if (SDL_GetDisplayMode(d, m, &dm) != 0) continue;
                const D3DDISPLAYMODE mode{static_cast<UINT>(dm.w), static_cast<UINT>(dm.h),
                                          static_cast<UINT>(dm.refresh_rate), FormatOfSdl(dm.format)};
                a.modes.push_back(mode);
                // SDL lists the depth the display runs at; 16-bit modes of the same sizes work too,
                // since the back buffer is ours.
                if (mode.Format == D3DFMT_X8R8G8B8) a.modes.push_back({mode.Width, mode.Height, mode.RefreshRate, D3DFMT_R5G6B5});
            }
            if (a.modes.empty() && a.desktop.Width != 0) a.modes.push_back(a.desktop);
            adapters_.push_back(std::move(a));
        }
    } else {
        std::vector<HeadlessMonitor> monitors = headless_.monitors;
        if (monitors.empty()) monitors.push_back(HeadlessMonitor{});
        for (const HeadlessMonitor& m : monitors) {
            AdapterInfo a;
            a.monitor = m.handle;
            a.desktop = m.desktop;
            a.modes = m.modes.empty() ? FixedModes() : m.modes;
            adapters_.push_back(std::move(a));
        }
    }
}

Direct3D::~Direct3D() {
    if (sdlVideo_) SDL_QuitSubSystem(SDL_INIT_VIDEO);
}

HRESULT Direct3D::QueryInterface(REFIID riid, void** ppv) {
    if (!ppv) return E_POINTER;
    if (riid == IID_IUnknown || riid == IID_IDirect3D8) {
        *ppv = static_cast<IDirect3D8*>(this);
        AddRef();
        return S_OK;
    }
    *ppv = nullptr;
    return E_NOINTERFACE;
}

HRESULT Direct3D::GetAdapterIdentifier(UINT adapter, DWORD, D3DADAPTER_IDENTIFIER8* id) {
    if (adapter >= adapters_.size() || !id) return D3DERR_INVALIDCALL;
    std::memset(id, 0, sizeof(*id));
    std::strncpy(id->Driver, "grim_gl", sizeof(id->Driver) - 1);
    std::strncpy(id->Description,
                 system_ == WindowSystem::Sdl ? "OpenGL 3.3 (SDL window)" : "OpenGL 3.3 (headless)",
                 sizeof(id->Description) - 1);
    id->DriverVersion.QuadPart = 0x0001000000000000LL;
    id->DeviceIdentifier.Data1 = 0x67726d00u + adapter;
    id->WHQLLevel = 0;
    return D3D_OK;
}

UINT Direct3D::GetAdapterModeCount(UINT adapter) {
    return adapter < adapters_.size() ? static_cast<UINT>(adapters_[adapter].modes.size()) : 0;
}

HRESULT Direct3D::EnumAdapterModes(UINT adapter, UINT mode, D3DDISPLAYMODE* out) {
    if (adapter >= adapters_.size() || !out || mode >= adapters_[adapter].modes.size()) return D3DERR_INVALIDCALL;
    *out = adapters_[adapter].modes[mode];
    return D3D_OK;
}

HRESULT Direct3D::GetAdapterDisplayMode(UINT adapter, D3DDISPLAYMODE* out) {
    if (adapter >= adapters_.size() || !out) return D3DERR_INVALIDCALL;
    *out = adapters_[adapter].desktop;
    return D3D_OK;
}

HRESULT Direct3D::CheckDeviceType(UINT adapter, D3DDEVTYPE type, D3DFORMAT display, D3DFORMAT backBuffer, BOOL) {
    if (!Valid(adapter, type)) return D3DERR_INVALIDCALL;
    return IsDisplayFormat(display) && IsBackBufferFormat(backBuffer) ? D3D_OK : D3DERR_NOTAVAILABLE;
}

HRESULT Direct3D::CheckDeviceFormat(UINT adapter, D3DDEVTYPE type, D3DFORMAT adapterFormat, DWORD usage,
                                    D3DRESOURCETYPE rtype, D3DFORMAT format) {
    if (!Valid(adapter, type)) return D3DERR_INVALIDCALL;
    if (!IsDisplayFormat(adapterFormat)) return D3DERR_NOTAVAILABLE;
    if (usage & D3DUSAGE_DEPTHSTENCIL)
        return IsDepthFormat(format) && (rtype == D3DRTYPE_SURFACE || rtype == D3DRTYPE_TEXTURE) && rtype == D3DRTYPE_SURFACE
                   ? D3D_OK
                   : D3DERR_NOTAVAILABLE;
    if (rtype == D3DRTYPE_VOLUMETEXTURE || rtype == D3DRTYPE_VOLUME) return D3DERR_NOTAVAILABLE;
    const FormatInfo* info = FindFormat(format);
    if (!info) return D3DERR_NOTAVAILABLE;
    if ((usage & D3DUSAGE_RENDERTARGET) && !info->renderTarget) return D3DERR_NOTAVAILABLE;
    return D3D_OK;
}

HRESULT Direct3D::CheckDeviceMultiSampleType(UINT adapter, D3DDEVTYPE type, D3DFORMAT, BOOL, D3DMULTISAMPLE_TYPE t) {
    if (!Valid(adapter, type)) return D3DERR_INVALIDCALL;
    return t == D3DMULTISAMPLE_NONE ? D3D_OK : D3DERR_NOTAVAILABLE;
}

HRESULT Direct3D::CheckDepthStencilMatch(UINT adapter, D3DDEVTYPE type, D3DFORMAT adapterFormat, D3DFORMAT target,
                                         D3DFORMAT depth) {
    if (!Valid(adapter, type)) return D3DERR_INVALIDCALL;
    return IsDisplayFormat(adapterFormat) && FindFormat(target) && FindFormat(target)->renderTarget && IsDepthFormat(depth)
               ? D3D_OK
               : D3DERR_NOTAVAILABLE;
}

void Direct3D::FillCaps(UINT adapter, D3DCAPS8& c) {
    std::memset(&c, 0, sizeof(c));
    c.DeviceType = D3DDEVTYPE_HAL;
    c.AdapterOrdinal = adapter;
    c.Caps2 = D3DCAPS2_FULLSCREENGAMMA | D3DCAPS2_CANRENDERWINDOWED | D3DCAPS2_CANMANAGERESOURCE;
    c.PresentationIntervals = D3DPRESENT_INTERVAL_ONE | D3DPRESENT_INTERVAL_IMMEDIATE;
    c.DevCaps = D3DDEVCAPS_EXECUTESYSTEMMEMORY | D3DDEVCAPS_TLVERTEXSYSTEMMEMORY | D3DDEVCAPS_TEXTUREVIDEOMEMORY |
                D3DDEVCAPS_DRAWPRIMTLVERTEX | D3DDEVCAPS_HWTRANSFORMANDLIGHT | D3DDEVCAPS_HWRASTERIZATION |
                D3DDEVCAPS_DRAWPRIMITIVES2 | D3DDEVCAPS_DRAWPRIMITIVES2EX;
    c.PrimitiveMiscCaps = D3DPMISCCAPS_MASKZ | D3DPMISCCAPS_CULLNONE | D3DPMISCCAPS_CULLCW | D3DPMISCCAPS_CULLCCW |
                          D3DPMISCCAPS_COLORWRITEENABLE | D3DPMISCCAPS_BLENDOP;
    c.RasterCaps = D3DPRASTERCAPS_DITHER | D3DPRASTERCAPS_ZTEST | D3DPRASTERCAPS_FOGVERTEX | D3DPRASTERCAPS_FOGTABLE;
    c.ZCmpCaps = c.AlphaCmpCaps = 0xFF;
    c.SrcBlendCaps = c.DestBlendCaps = 0x1FFF;
    c.ShadeCaps = D3DPSHADECAPS_COLORGOURAUDRGB | D3DPSHADECAPS_ALPHAGOURAUDBLEND | D3DPSHADECAPS_FOGGOURAUD;
    c.TextureCaps = D3DPTEXTURECAPS_PERSPECTIVE | D3DPTEXTURECAPS_ALPHA | D3DPTEXTURECAPS_CUBEMAP |
                    D3DPTEXTURECAPS_MIPMAP | D3DPTEXTURECAPS_MIPCUBEMAP;
    c.TextureFilterCaps = c.CubeTextureFilterCaps = D3DPTFILTERCAPS_MINFPOINT | D3DPTFILTERCAPS_MINFLINEAR |
                                                    D3DPTFILTERCAPS_MIPFPOINT | D3DPTFILTERCAPS_MIPFLINEAR |
                                                    D3DPTFILTERCAPS_MAGFPOINT | D3DPTFILTERCAPS_MAGFLINEAR;
    c.TextureAddressCaps = D3DPTADDRESSCAPS_WRAP | D3DPTADDRESSCAPS_MIRROR | D3DPTADDRESSCAPS_CLAMP |
                           D3DPTADDRESSCAPS_BORDER | D3DPTADDRESSCAPS_INDEPENDENTUV;
    c.LineCaps = D3DLINECAPS_TEXTURE | D3DLINECAPS_ZTEST | D3DLINECAPS_BLEND | D3DLINECAPS_ALPHACMP;
    c.MaxTextureWidth = c.MaxTextureHeight = 4096;
    c.MaxTextureRepeat = 8192;
    c.MaxTextureAspectRatio = 4096;
    c.MaxAnisotropy = 1;
    c.MaxVertexW = 1e10f;
    c.GuardBandLeft = c.GuardBandTop = -8192.f;
    c.GuardBandRight = c.GuardBandBottom = 8192.f;
    c.StencilCaps = 0xFF;
    c.FVFCaps = kMaxStages;
    c.TextureOpCaps = D3DTEXOPCAPS_DISABLE | D3DTEXOPCAPS_SELECTARG1 | D3DTEXOPCAPS_SELECTARG2 | D3DTEXOPCAPS_MODULATE |
                      D3DTEXOPCAPS_MODULATE2X | D3DTEXOPCAPS_MODULATE4X | D3DTEXOPCAPS_ADD | D3DTEXOPCAPS_ADDSIGNED |
                      D3DTEXOPCAPS_ADDSIGNED2X | D3DTEXOPCAPS_SUBTRACT | D3DTEXOPCAPS_ADDSMOOTH |
                      D3DTEXOPCAPS_BLENDDIFFUSEALPHA | D3DTEXOPCAPS_BLENDTEXTUREALPHA | D3DTEXOPCAPS_BLENDFACTORALPHA |
                      D3DTEXOPCAPS_BLENDTEXTUREALPHAPM | D3DTEXOPCAPS_BLENDCURRENTALPHA |
                      D3DTEXOPCAPS_MODULATEALPHA_ADDCOLOR | D3DTEXOPCAPS_MODULATECOLOR_ADDALPHA |
                      D3DTEXOPCAPS_MODULATEINVALPHA_ADDCOLOR | D3DTEXOPCAPS_MODULATEINVCOLOR_ADDALPHA |
                      D3DTEXOPCAPS_DOTPRODUCT3;
    c.MaxTextureBlendStages = kMaxStages;
    c.MaxSimultaneousTextures = kMaxStages;
    c.VertexProcessingCaps = D3DVTXPCAPS_DIRECTIONALLIGHTS | D3DVTXPCAPS_MATERIALSOURCE7;
    c.MaxActiveLights = kMaxShaderLights;
    c.MaxPointSize = 1.0f;
    c.MaxPrimitiveCount = 0xFFFFF;
    c.MaxVertexIndex = 0xFFFFFF;
    c.MaxStreams = 1;
    c.MaxStreamStride = 255;
    c.VertexShaderVersion = 0;  // no programmable shaders
    c.PixelShaderVersion = 0;
}

HRESULT Direct3D::GetDeviceCaps(UINT adapter, D3DDEVTYPE type, D3DCAPS8* caps) {
    if (!Valid(adapter, type) || !caps) return D3DERR_INVALIDCALL;
    FillCaps(adapter, *caps);
    return D3D_OK;
}

HMONITOR Direct3D::GetAdapterMonitor(UINT adapter) {
    return adapter < adapters_.size() ? adapters_[adapter].monitor : nullptr;
}

HRESULT Direct3D::CreateDevice(UINT adapter, D3DDEVTYPE type, HWND window, DWORD behaviour,
                               D3DPRESENT_PARAMETERS* params, IDirect3DDevice8** out) {
    if (out) *out = nullptr;
    if (!Valid(adapter, type) || !params || !out) return D3DERR_INVALIDCALL;
    if ((behaviour & (D3DCREATE_SOFTWARE_VERTEXPROCESSING | D3DCREATE_HARDWARE_VERTEXPROCESSING |
                      D3DCREATE_MIXED_VERTEXPROCESSING)) == 0)
        return D3DERR_INVALIDCALL;
    HWND target = params->hDeviceWindow ? params->hDeviceWindow : window;
    std::unique_ptr<GlContext> context =
        system_ == WindowSystem::Sdl ? CreateSdlContext(target) : CreateHeadlessContext();
    if (!context) return D3DERR_NOTAVAILABLE;
    auto* device = new Device(this, adapter, target, behaviour, std::move(context));
    const HRESULT hr = device->Init(params);
    if (FAILED(hr)) {
        device->Release();
        return hr;
    }
    *out = device;
    return D3D_OK;
}

}  // namespace gl

extern "C" IDirect3D8* WINAPI Direct3DCreate8(UINT sdkVersion) {
    if (sdkVersion != D3D_SDK_VERSION && sdkVersion != 120) return nullptr;
    gl::WindowSystem system = gl::CurrentWindowSystem();
    gl::HeadlessOptions options;
    {
        std::lock_guard<std::mutex> lock(gl::g_configMutex);
        options = gl::g_headless;
    }
    auto* d3d = new gl::Direct3D(system, std::move(options));
    if (d3d->GetAdapterCount() == 0) {
        d3d->Release();
        return nullptr;
    }
    return d3d;
}
