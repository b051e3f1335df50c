// The IDirect3D8 object: adapters and their modes (SDL displays or the headless monitors),
// format checks, caps and device creation.
#pragma once

#include <vector>

#include "platform/gl/gl_objects.h"

namespace gl {

struct AdapterInfo {
    HMONITOR monitor = nullptr;
    D3DDISPLAYMODE desktop{};
    std::vector<D3DDISPLAYMODE> modes;
    int sdlDisplay = -1;
};

class Direct3D final : public IDirect3D8, public RefCounted {
public:
    Direct3D(WindowSystem system, HeadlessOptions headless);
    ~Direct3D() override;

    WindowSystem system() const { return system_; }
    const HeadlessOptions& headless() const { return headless_; }
    static void FillCaps(UINT adapter, D3DCAPS8& caps);

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override;
    ULONG STDMETHODCALLTYPE AddRef() override { return AddRefImpl(); }
    ULONG STDMETHODCALLTYPE Release() override { return ReleaseImpl(); }
    HRESULT STDMETHODCALLTYPE RegisterSoftwareDevice(void*) override { return D3DERR_INVALIDCALL; }
    UINT STDMETHODCALLTYPE GetAdapterCount() override { return static_cast<UINT>(adapters_.size()); }
    HRESULT STDMETHODCALLTYPE GetAdapterIdentifier(UINT Adapter, DWORD Flags, D3DADAPTER_IDENTIFIER8* pIdentifier) override;
    UINT STDMETHODCALLTYPE GetAdapterModeCount(UINT Adapter) override;
    HRESULT STDMETHODCALLTYPE EnumAdapterModes(UINT Adapter, UINT Mode, D3DDISPLAYMODE* pMode) override;
    HRESULT STDMETHODCALLTYPE GetAdapterDisplayMode(UINT Adapter, D3DDISPLAYMODE* pMode) override;
    HRESULT STDMETHODCALLTYPE CheckDeviceType(UINT Adapter, D3DDEVTYPE CheckType, D3DFORMAT DisplayFormat,
                                              D3DFORMAT BackBufferFormat, BOOL Windowed) override;
    HRESULT STDMETHODCALLTYPE CheckDeviceFormat(UINT Adapter, D3DDEVTYPE DeviceType, D3DFORMAT AdapterFormat, DWORD Usage,
                                                D3DRESOURCETYPE RType, D3DFORMAT CheckFormat) override;
    HRESULT STDMETHODCALLTYPE CheckDeviceMultiSampleType(UINT Adapter, D3DDEVTYPE DeviceType, D3DFORMAT SurfaceFormat,
                                                         BOOL Windowed, D3DMULTISAMPLE_TYPE MultiSampleType) override;
    HRESULT STDMETHODCALLTYPE CheckDepthStencilMatch(UINT Adapter, D3DDEVTYPE DeviceType, D3DFORMAT AdapterFormat,
                                                     D3DFORMAT RenderTargetFormat, D3DFORMAT DepthStencilFormat) override;
    HRESULT STDMETHODCALLTYPE GetDeviceCaps(UINT Adapter, D3DDEVTYPE DeviceType, D3DCAPS8* pCaps) override;
    HMONITOR STDMETHODCALLTYPE GetAdapterMonitor(UINT Adapter) override;
    HRESULT STDMETHODCALLTYPE CreateDevice(UINT Adapter, D3DDEVTYPE DeviceType, HWND hFocusWindow, DWORD BehaviorFlags,
                                           D3DPRESENT_PARAMETERS* pPresentationParameters,
                                           IDirect3DDevice8** ppReturnedDeviceInterface) override;

private:
    bool Valid(UINT adapter, D3DDEVTYPE type) const { return adapter < adapters_.size() && type == D3DDEVTYPE_HAL; }
    WindowSystem system_;
    HeadlessOptions headless_;
    std::vector<AdapterInfo> adapters_;
    bool sdlVideo_ = false;
};

bool SimulatedLoss();

}  // namespace gl
