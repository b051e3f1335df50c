// The shell's side of the display layer: the enumeration, device creation, the frame, the base
// saver's device state, camera and picture, the loading screen and the overlay come from display/. The configuration dialog is still
// reported as not built here.
#include "shell/display_stand_ins.h"

#include <ctime>
#include <string>

#include "display/frame.h"
#include "display/loading_screen.h"
#include "display/overlay.h"
#include "display/texture_table.h"
#include "display/vertex_buffer_pool.h"
#include "platform/host/host_port.h"
#include "media/resource_blob.h"
#include "shell/log.h"
#include "shell/saver_app.h"

namespace {

// The display layer's host over the shell's log and host port.
class ShellDisplayHost final : public display::DisplayHost {
public:
    ShellDisplayHost(::Log& log, host::HostPort& host) : log_(log), host_(host) {}
    void Log(std::string_view line) override { log_.Write(line); }
    void ShowMessage(HWND owner, std::string_view text, std::string_view caption,
                     display::MessageIcon icon) override {
        host_.MessageBox(owner, std::string(text), std::string(caption),
                         icon == display::MessageIcon::Error ? MB_ICONERROR : MB_ICONWARNING);
    }
    void HideCursor() override { host_.ShowCursor(false); }
    DWORD TimeMs() override { return host_.TimeGetTime(); }

private:
    ::Log& log_;
    host::HostPort& host_;
};

// The saver's virtual operations as the frame calls them.
class SaverFrameOperations final : public display::FrameOperations {
public:
    explicit SaverFrameOperations(SaverApp& app) : app_(app) {}
    void InitDeviceState(IDirect3DDevice8* device) override { app_.InitDeviceState(device); }
    void FrameMove(IDirect3DDevice8* device, float elapsedMs) override { app_.FrameMove(device, elapsedMs); }
    void Render(IDirect3DDevice8* device) override { app_.Render(device); }

private:
    SaverApp& app_;
};

}  // namespace

DisplayEnumeration::DisplayEnumeration() = default;
DisplayEnumeration::~DisplayEnumeration() = default;

display::DisplayHost& DisplayEnumeration::Host() {
    return host_ ? *host_ : display::NullDisplayHost();
}

HRESULT DisplayEnumeration::CreateAndEnumerate(Log& log, host::HostPort& host) {
    host_ = std::make_unique<ShellDisplayHost>(log, host);
    Enumeration.SetHost(host_.get());
    display::Textures().SetHost(host_.get());
    const HRESULT hr = Enumeration.CreateAndEnumerate();
    Direct3D = Enumeration.Direct3D();
    CopySelection();
    return hr;
}

void DisplayEnumeration::SelectMode(UINT width, UINT height, UINT bits, UINT multisampleType) {
    Enumeration.SelectMode(width, height, bits, multisampleType);
    CopySelection();
}

void DisplayEnumeration::ReleaseDirect3D() {
    Enumeration.ReleaseDirect3D();
    Direct3D = nullptr;
}

void DisplayEnumeration::CopySelection() {
    if (Enumeration.AdapterCount() == 0) return;
    const display::DisplaySelection& s = Enumeration.Selection();
    selection.changed = s.Changed;
    selection.width = s.Width;
    selection.height = s.Height;
    selection.format = s.Format;
    selection.depthFormat = s.DepthFormat;
    selection.multisampleType = s.MultisampleType;
    selection.windowed = static_cast<BOOL>(s.Windowed);
}

int SaverApp::CreateRenderDevice(HWND window) {
    display::RenderDeviceRequest request;
    request.UseDesktopSettings = Settings.UseDesktopSettings != FALSE;
    request.GmCntrl = Settings.GmCntrl;
    RECT client{};
    if (window != nullptr && Host->GetClientRect(window, client)) {
        request.ClientWidth = static_cast<UINT>(client.right - client.left);
        request.ClientHeight = static_cast<UINT>(client.bottom - client.top);
    }
    request.InitDeviceState = [this](IDirect3DDevice8* device) { InitDeviceState(device); };
    request.LoadWithLoadingScreen = [this](IDirect3DDevice8* device) { LoadWithLoadingScreen(device); };
    return Display.Enumeration.CreateRenderDevice(window, request, &Device, PresentParams);
}

HRESULT SaverApp::Frame() {
    SaverFrameOperations operations(*this);
    return display::Frame(Device, PresentParams, {LastFrameTime, FrameParity, FrameCount}, operations,
                          Display.Host());
}

HRESULT SaverApp::InitDeviceState(IDirect3DDevice8* device) {
    display::DefaultInitDeviceState(device);
    return S_OK;
}

HRESULT SaverApp::LoadWithLoadingScreen(IDirect3DDevice8* device) {
    display::LoadingScreenContext context;
    context.Host = &Display.Host();
    return display::ShowLoadingScreen(device, ScreenQuad, FrameParity, context);
}

HRESULT SaverApp::FrameMove(IDirect3DDevice8* device, float elapsedMs) {
    display::DefaultFrameMove(device, elapsedMs);
    return S_OK;
}

HRESULT SaverApp::Render(IDirect3DDevice8* device) {
    display::DefaultRender(device, [this](IDirect3DDevice8* d) { DrawOverlay(d); });
    return S_OK;
}

HRESULT SaverApp::LoadDigits(IDirect3DDevice8* device) {
    if (device == nullptr) return S_OK;
    display::LoadGlyphs(Glyphs, media::OpenMediaBlob(452), display::Textures(), Display.Host());
    return S_OK;
}

void SaverApp::DrawOverlay(IDirect3DDevice8* device) {
    // The local time comes from the host, so a virtual clock (or a test's) decides what is shown.
    const std::string time = display::LocalTimeText(Host != nullptr ? Host->Time() : std::time_t{0});
    display::OverlayFrame frame;
    frame.ShowTime = Settings.ShowTime != FALSE;
    frame.TwentyFourHour = Settings.DigClock_24H;
    frame.ShowFrameRate = Settings.ShowFPS != FALSE;
    frame.FramesPerSecond = FramesPerSecond;
    frame.TimeText = time;
    display::DrawOverlay(device, frame, OverlayLayout, Glyphs, ScreenQuad, display::VertexBuffers(),
                         display::Textures());
}

void SaverApp::ShowConfigDialog() {
    Host->MessageBox(MainWindow, "The configuration dialog is not built yet.", kWindowClassName, MB_ICONINFORMATION);
}

void SaverApp::ReleaseTextures() { display::Textures().ReleaseAll(); }

void SaverApp::RestoreLinearGamma() {
    const D3DGAMMARAMP ramp = display::LinearGammaRamp();
    Device->SetGammaRamp(D3DSGR_CALIBRATE, &ramp);
}

void SaverApp::ReleaseDevice() {
    if (Device != nullptr) Device->Release();
    Device = nullptr;
}
