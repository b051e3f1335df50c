// Stand-ins for the display layer until it lands: no Direct3D, no device. Saver and test windows
// are cleared to black once, the configuration dialog reports that it is not there yet. Every
// function here is replaced by the display layer's real one; nothing else in the shell changes.
#include "shell/display_stand_ins.h"

#include "platform/host/host_port.h"
#include "shell/log.h"
#include "shell/saver_app.h"

HRESULT DisplayEnumeration::CreateAndEnumerate(Log&, host::HostPort&) { return S_OK; }

void DisplayEnumeration::SelectMode(UINT width, UINT height, UINT bits, UINT multisampleType) {
    selection.width = width;
    selection.height = height;
    selection.format = bits == 16 ? D3DFMT_R5G6B5 : D3DFMT_X8R8G8B8;
    selection.multisampleType = static_cast<D3DMULTISAMPLE_TYPE>(multisampleType);
}

void DisplayEnumeration::ReleaseDirect3D() {
    if (Direct3D != nullptr) Direct3D->Release();
    Direct3D = nullptr;
}

int SaverApp::CreateRenderDevice(HWND) { return 0; }

HRESULT SaverApp::Frame() {
    if (Device == nullptr) {
        if (!standInCleared_ && MainWindow != nullptr) {
            Host->FillWindow(MainWindow, 0);
            standInCleared_ = true;
        }
        return E_FAIL;
    }
    return S_OK;
}

HRESULT SaverApp::InitDeviceState(IDirect3DDevice8*) { return S_OK; }
HRESULT SaverApp::LoadWithLoadingScreen(IDirect3DDevice8*) { return S_OK; }
HRESULT SaverApp::FrameMove(IDirect3DDevice8*, float) { return S_OK; }
HRESULT SaverApp::Render(IDirect3DDevice8*) { return S_OK; }
HRESULT SaverApp::LoadDigits(IDirect3DDevice8*) { return S_OK; }

void SaverApp::ShowConfigDialog() {
    Host->MessageBox(MainWindow, "The configuration dialog is not built yet.", kWindowClassName, MB_ICONINFORMATION);
}

void SaverApp::ReleaseTextures() {}

void SaverApp::RestoreLinearGamma() {
    D3DGAMMARAMP ramp{};
    for (int i = 0; i < 256; ++i) {
        const WORD value = static_cast<WORD>(256 * i);
        ramp.red[i] = value;
        ramp.green[i] = value;
        ramp.blue[i] = value;
    }
    Device->SetGammaRamp(D3DSGR_CALIBRATE, &ramp);
}

void SaverApp::ReleaseDevice() {
    if (Device != nullptr) Device->Release();
    Device = nullptr;
}
