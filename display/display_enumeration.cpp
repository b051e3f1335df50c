#include "display/display_enumeration.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "display/texture_table.h"
#include "display/vertex_buffer_pool.h"

namespace display {

namespace {

constexpr UINT kMinModeWidth = 640;
constexpr UINT kMinModeHeight = 400;
constexpr DWORD kDevCapsTlVertexSystemMemory = 0x40;
constexpr DWORD kVertexShader10 = 0xFFFE0100u;

class NullHost final : public DisplayHost {
public:
    void Log(std::string_view) override {}
    void ShowMessage(HWND, std::string_view, std::string_view, MessageIcon) override {}
    void HideCursor() override {}
    DWORD TimeMs() override { return 0; }
};

bool SameMode(const DisplayMode& a, const DisplayMode& b) {
    return a.Width == b.Width && a.Height == b.Height && a.Format == b.Format;
}

}  // namespace

DisplayHost& NullDisplayHost() {
    static NullHost host;
    return host;
}

UINT BitsOf(D3DFORMAT format) {
    return format == D3DFMT_A8R8G8B8 || format == D3DFMT_X8R8G8B8 ? 32 : 16;
}

D3DMULTISAMPLE_TYPE MultisampleTableEntry(int index) {
    if (index <= 0 || index >= kMultisampleTableSize) return D3DMULTISAMPLE_NONE;
    return static_cast<D3DMULTISAMPLE_TYPE>(index + 1);
}

D3DGAMMARAMP GammaRampFor(std::uint8_t gmCntrl) {
    D3DGAMMARAMP ramp{};
    const int g = gmCntrl;
    if (g <= 100) {
        const int k = 256 - 2 * (100 - g);
        for (int i = 0; i < 256; ++i) {
            const auto value = static_cast<WORD>(k * i);
            ramp.red[i] = ramp.green[i] = ramp.blue[i] = value;
        }
    } else {
        const int k = static_cast<int>(256.0f - static_cast<float>(g - 100) * 1.5f);
        for (int v = 255; v >= 0; --v) {
            const auto value = static_cast<WORD>(65355 - k * v);
            ramp.red[255 - v] = ramp.green[255 - v] = ramp.blue[255 - v] = value;
        }
    }
    return ramp;
}

D3DGAMMARAMP LinearGammaRamp() { return GammaRampFor(100); }

const char* ErrorText(HRESULT code) {
    switch (static_cast<std::uint32_t>(code)) {
        case 0x82000001u:
            return "Could not initialize Direct3D. You may\nwant to check that the latest version of\n"
                   "DirectX is correctly installed on your\nsystem.";
        case 0x82000003u: return "Could not find any compatible Direct3D\ndevices.";
        case 0x82000004u:
            return "This program cannot run in a desktop\nwindow with the current display settings.\n"
                   "Please change your desktop settings to a\n16- or 32-bit display mode and re-run this\n"
                   "program.";
        case 0x82000005u: return "No hardware-accelerated Direct3D devices\nwere found.";
        case 0x82000006u:
            return "This program requires functionality that is\nnot available on your Direct3D hardware\n"
                   "accelerator.";
        case 0x82000007u: return "Your Direct3D hardware accelerator cannot\nrender into a window.";
        case 0x82000008u:
            return "Your Direct3D hardware accelerator cannot\nrender into a window with the current\n"
                   "desktop display settings.";
        case 0x82000009u:
            return "This program requires functionality that is\nnot available on your Direct3D hardware\n"
                   "accelerator with the current desktop display\nsettings.";
        case 0x8200000Au:
            return "A D3D object has a non-zero reference\ncount (meaning things were not properly\n"
                   "cleaned up.";
        case 0x8200000Bu: return "Could not load required media.";
        case 0x8200000Cu: return "Could not reset the Direct3D device.";
        case 0x8007000Eu: return "Not enough memory.";
        case 0x8876017Cu: return "Not enough video memory.";
        default: return "Generic application error.";
    }
}

DisplayEnumeration::DisplayEnumeration()
    : adapters_(new AdapterInfo[kMaxAdapters]()), host_(&NullDisplayHost()) {}

DisplayEnumeration::~DisplayEnumeration() {
    ReleaseDirect3D();
    delete[] adapters_;
}

void DisplayEnumeration::ReleaseDirect3D() {
    if (direct3D_ != nullptr) direct3D_->Release();
    direct3D_ = nullptr;
}

HRESULT DisplayEnumeration::ShowError(HRESULT code) {
    const char* text = ErrorText(code);
    host_->Log(text);
    host_->ShowMessage(nullptr, text, "Error!", MessageIcon::Error);
    return code;
}

HRESULT DisplayEnumeration::CreateAndEnumerate() {
    ReleaseDirect3D();
    if (factory_) {
        direct3D_ = factory_();
    } else {
#if GRIM_HAVE_DIRECT3D
        direct3D_ = Direct3DCreate8(D3D_SDK_VERSION);
#endif
    }
    if (direct3D_ == nullptr) return ShowError(kErrorNoDirect3D);
    host_->Log("\xD1" "reate D3D complete");
    const HRESULT hr = Enumerate();
    if (SUCCEEDED(hr)) {
        host_->Log("Enumerate Device List complete");
        return S_OK;
    }
    host_->Log("Cant Enumerate Device List");
    ReleaseDirect3D();
    return ShowError(hr);
}

HRESULT DisplayEnumeration::Enumerate() {
    adapterCount_ = 0;
    currentAdapter_ = 0;
    if (direct3D_ == nullptr) return kErrorNoDirect3D;

    const UINT adapterOrdinals = direct3D_->GetAdapterCount();
    for (UINT a = 0; a < adapterOrdinals && adapterCount_ < kMaxAdapters; ++a) {
        AdapterInfo& record = adapters_[adapterCount_];
        record = AdapterInfo{};
        direct3D_->GetAdapterIdentifier(a, 0, &record.Identifier);

        // Distinct full-screen modes of at least 640 x 400, refresh rates folded together.
        DisplayMode modes[kMaxDistinctModes];
        int modeCount = 0;
        D3DFORMAT formats[kMaxDistinctFormats];
        int formatCount = 0;
        const UINT modeOrdinals = direct3D_->GetAdapterModeCount(a);
        for (UINT m = 0; m < modeOrdinals; ++m) {
            D3DDISPLAYMODE reported{};
            if (FAILED(direct3D_->EnumAdapterModes(a, m, &reported))) continue;
            if (reported.Width < kMinModeWidth || reported.Height < kMinModeHeight) continue;
            const DisplayMode mode{reported.Width, reported.Height, reported.Format};
            const bool known = std::any_of(modes, modes + modeCount,
                                           [&](const DisplayMode& d) { return SameMode(d, mode); });
            if (!known && modeCount < kMaxDistinctModes) modes[modeCount++] = mode;
            if (std::find(formats, formats + formatCount, mode.Format) == formats + formatCount &&
                formatCount < kMaxDistinctFormats)
                formats[formatCount++] = mode.Format;
        }
        std::stable_sort(modes, modes + modeCount, [](const DisplayMode& l, const DisplayMode& r) {
            return l.Width != r.Width ? l.Width < r.Width : l.Height < r.Height;
        });

        DeviceInfo& device = record.Device;
        direct3D_->GetDeviceCaps(a, D3DDEVTYPE_HAL, &device.Caps);
        std::snprintf(device.Description, sizeof device.Description, "%s", "HAL");

        bool usable[kMaxDistinctFormats] = {};
        for (int f = 0; f < formatCount; ++f) {
            const D3DFORMAT format = formats[f];
            if (FAILED(direct3D_->CheckDeviceType(a, D3DDEVTYPE_HAL, format, format, FALSE)))
                continue;
            usable[f] = true;
            const struct {
                D3DFORMAT depth;
                UINT* flag;
            } depths[] = {{D3DFMT_D16, &device.D16Usable},
                          {D3DFMT_D24X8, &device.D24X8Usable},
                          {D3DFMT_D32, &device.D32Usable}};
            for (const auto& d : depths) {
                if (SUCCEEDED(direct3D_->CheckDeviceFormat(a, D3DDEVTYPE_HAL, format,
                                                           D3DUSAGE_DEPTHSTENCIL, D3DRTYPE_SURFACE,
                                                           d.depth)) &&
                    SUCCEEDED(direct3D_->CheckDepthStencilMatch(a, D3DDEVTYPE_HAL, format, format,
                                                                d.depth)))
                    *d.flag = 1;
            }
            for (int t = 0; t < kMultisampleTableSize; ++t) {
                if (SUCCEEDED(direct3D_->CheckDeviceMultiSampleType(a, D3DDEVTYPE_HAL, format, FALSE,
                                                                    MultisampleTableEntry(t))))
                    device.MultisampleSupported[t] = 1;
            }
        }

        for (int i = 0; i < modeCount && device.ModeCount < DeviceInfo::kMaxModes; ++i) {
            const int f = static_cast<int>(std::find(formats, formats + formatCount, modes[i].Format) -
                                           formats);
            if (f < formatCount && usable[f]) device.Modes[device.ModeCount++] = modes[i];
        }
        if (device.ModeCount > 0) ++adapterCount_;
    }

    if (adapterCount_ == 0) return kErrorNoCompatibleDevices;
    currentAdapter_ = 0;
    DeviceInfo& device = CurrentDevice();
    device.CurrentMode = 0;
    device.MultisampleType = D3DMULTISAMPLE_NONE;
    device.Windowed = 0;
    device.DepthFormat = device.D32Usable     ? D3DFMT_D32
                         : device.D24X8Usable ? D3DFMT_D24X8
                                              : D3DFMT_D16;
    RefreshSelection();
    return S_OK;
}

void DisplayEnumeration::RefreshSelection() {
    const DisplaySelection before = selection_;
    selection_.Changed = false;
    if (adapterCount_ == 0) return;
    const DeviceInfo& device = CurrentDevice();
    selection_.DepthFormat = static_cast<D3DFORMAT>(device.DepthFormat);
    selection_.MultisampleType = static_cast<D3DMULTISAMPLE_TYPE>(device.MultisampleType);
    if (device.CurrentMode < device.ModeCount) {
        const DisplayMode& mode = device.Modes[device.CurrentMode];
        selection_.Width = mode.Width;
        selection_.Height = mode.Height;
        selection_.Format = mode.Format;
    }
    selection_.Windowed = device.Windowed;
    selection_.Changed = before.DepthFormat != selection_.DepthFormat ||
                         before.MultisampleType != selection_.MultisampleType ||
                         before.Width != selection_.Width || before.Height != selection_.Height ||
                         before.Format != selection_.Format || before.Windowed != selection_.Windowed;
}

void DisplayEnumeration::SelectMode(UINT width, UINT height, UINT bits, UINT multisampleType) {
    if (adapterCount_ == 0) return;
    DeviceInfo& device = CurrentDevice();
    for (int t = 0; t < kMultisampleTableSize; ++t) {
        if (static_cast<UINT>(MultisampleTableEntry(t)) == multisampleType &&
            device.MultisampleSupported[t]) {
            device.MultisampleType = multisampleType;
            break;
        }
    }
    for (UINT i = 0; i < device.ModeCount; ++i) {
        const DisplayMode& mode = device.Modes[i];
        if (mode.Width == width && mode.Height == height && BitsOf(mode) == bits) {
            device.CurrentMode = i;
            break;
        }
    }
    RefreshSelection();
}

void DisplayEnumeration::SetCurrentMode(UINT index) {
    if (adapterCount_ == 0 || index >= CurrentDevice().ModeCount) return;
    CurrentDevice().CurrentMode = index;
    RefreshSelection();
}

void DisplayEnumeration::SetMultisampleType(UINT type) {
    if (adapterCount_ == 0) return;
    CurrentDevice().MultisampleType = type;
    RefreshSelection();
}

void DisplayEnumeration::FillDisplayLists(
    DisplayListControls& dialog, const std::function<std::string(std::string_view)>& uiText) {
    if (adapterCount_ == 0) return;
    const DeviceInfo& device = CurrentDevice();
    const auto text = [&](std::string_view key) { return uiText ? uiText(key) : std::string(key); };

    constexpr int kMs = DisplayListControls::kMultisampleList;
    dialog.ResetContent(kMs);
    int listed = 0;
    for (int k = 0; k < kMultisampleTableSize; ++k) {
        if (!device.MultisampleSupported[k]) continue;
        std::string label;
        if (k == 0) {
            label = text("none");
        } else {
            char buffer[160];
            std::snprintf(buffer, sizeof buffer, "%i %s", k + 1, text("samples").c_str());
            label = buffer;
        }
        const int item = dialog.AddString(kMs, label);
        dialog.SetItemData(kMs, item, listed);
        if (static_cast<UINT>(MultisampleTableEntry(k)) == device.MultisampleType)
            dialog.SetCurSel(kMs, item);
        ++listed;
    }

    constexpr int kModes = DisplayListControls::kModeList;
    dialog.ResetContent(kModes);
    for (UINT i = 0; i < device.ModeCount; ++i) {
        const DisplayMode& mode = device.Modes[i];
        char buffer[64];
        std::snprintf(buffer, sizeof buffer, "%ld x %ld %s", static_cast<long>(mode.Width),
                      static_cast<long>(mode.Height), BitsOf(mode) == 32 ? "32 bits" : "16 bits");
        const int item = dialog.AddString(kModes, buffer);
        dialog.SetItemData(kModes, item, static_cast<LPARAM>(i));
        if (i == device.CurrentMode) dialog.SetCurSel(kModes, item);
    }
    RefreshSelection();
}

int DisplayEnumeration::CreateRenderDevice(HWND window, const RenderDeviceRequest& request,
                                           IDirect3DDevice8** deviceOut,
                                           D3DPRESENT_PARAMETERS& presentParams) {
    if (deviceOut != nullptr) *deviceOut = nullptr;
    // Without Direct3D or an enumerated adapter there is nothing to create a device on.
    if (direct3D_ == nullptr || adapterCount_ == 0 || deviceOut == nullptr) return kNoDeviceCreated;

    D3DDISPLAYMODE desktop{};
    const bool haveDesktop = SUCCEEDED(direct3D_->GetAdapterDisplayMode(0, &desktop));
    if (!haveDesktop && request.UseDesktopSettings) {
        host_->Log("Cant get Desktop DisplayMode!");
        return kDesktopModeUnreadable;
    }

    const DeviceInfo& info = CurrentDevice();
    D3DPRESENT_PARAMETERS pp{};
    if (request.UseDesktopSettings) {
        pp.BackBufferWidth = request.ClientWidth;
        pp.BackBufferHeight = request.ClientHeight;
        // 24-bit desktops cannot be rendered to; take the 16-bit format of the same family.
        pp.BackBufferFormat = desktop.Format == D3DFMT_R8G8B8 ? D3DFMT_R5G6B5 : desktop.Format;
    } else {
        const DisplayMode& mode = info.Modes[std::min(info.CurrentMode, info.ModeCount - 1)];
        pp.BackBufferWidth = mode.Width;
        pp.BackBufferHeight = mode.Height;
        pp.BackBufferFormat = mode.Format;
    }
    pp.Windowed = FALSE;
    pp.SwapEffect = D3DSWAPEFFECT_DISCARD;
    pp.BackBufferCount = 1;
    pp.FullScreen_RefreshRateInHz = 0;
    pp.EnableAutoDepthStencil = TRUE;
    pp.AutoDepthStencilFormat = static_cast<D3DFORMAT>(info.DepthFormat);
    pp.MultiSampleType = static_cast<D3DMULTISAMPLE_TYPE>(info.MultisampleType);

    if (FAILED(direct3D_->CheckDepthStencilMatch(0, D3DDEVTYPE_HAL, pp.BackBufferFormat,
                                                 pp.BackBufferFormat, pp.AutoDepthStencilFormat)))
        pp.AutoDepthStencilFormat = D3DFMT_D16;
    if (FAILED(direct3D_->CheckDeviceMultiSampleType(0, D3DDEVTYPE_HAL, pp.BackBufferFormat, FALSE,
                                                     pp.MultiSampleType)))
        pp.MultiSampleType = D3DMULTISAMPLE_NONE;

    // Bit 0x40 of DevCaps (not the hardware T&L bit) together with vertex shaders 1.0.
    const DWORD behaviour = (info.Caps.DevCaps & kDevCapsTlVertexSystemMemory) != 0 &&
                                    info.Caps.VertexShaderVersion >= kVertexShader10
                                ? D3DCREATE_HARDWARE_VERTEXPROCESSING
                                : D3DCREATE_SOFTWARE_VERTEXPROCESSING;

    IDirect3DDevice8* device = nullptr;
    D3DPRESENT_PARAMETERS attempt = pp;
    HRESULT hr = direct3D_->CreateDevice(0, D3DDEVTYPE_HAL, window, behaviour, &attempt, &device);
    if (FAILED(hr) || device == nullptr) {
        device = nullptr;
        host_->Log("Cant create HAL D3D_Device, try use safe mode.");
        pp.MultiSampleType = D3DMULTISAMPLE_NONE;
        pp.AutoDepthStencilFormat = D3DFMT_D16;
        pp.BackBufferFormat = D3DFMT_R5G6B5;
        pp.BackBufferWidth = 640;
        pp.BackBufferHeight = 480;
        attempt = pp;
        hr = direct3D_->CreateDevice(0, D3DDEVTYPE_HAL, window, D3DCREATE_SOFTWARE_VERTEXPROCESSING,
                                     &attempt, &device);
        if (FAILED(hr) || device == nullptr) {
            host_->Log("Cant create any HAL D3D_Device!");
            return kNoDeviceCreated;
        }
    }
    presentParams = attempt;
    *deviceOut = device;

    TextureTable& textures = request.Textures ? *request.Textures : Textures();
    VertexBufferPool& pool = request.VertexBuffers ? *request.VertexBuffers : VertexBuffers();
    textures.Init(direct3D_, device, presentParams.BackBufferFormat, window);
    pool.AttachDevice(device);

    const D3DGAMMARAMP ramp = GammaRampFor(request.GmCntrl);
    device->SetGammaRamp(D3DSGR_CALIBRATE, &ramp);

    host_->Log("Create D3D_Device Complete");
    if (request.InitDeviceState) request.InitDeviceState(device);
    host_->Log("Init D3D_Device Complete");
    if (request.LoadWithLoadingScreen) request.LoadWithLoadingScreen(device);
    return kDeviceCreated;
}

}  // namespace display
