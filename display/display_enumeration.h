// Direct3D creation, the list of what the adapters can do (full-screen modes, depth formats,
// multisample types), the current choice, the display error boxes and the creation of the one HAL
// device with its fixed fallback ("safe mode") and the gamma ramp.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "display/display_host.h"
#include "platform/d3d8/d3d8.h"

namespace display {

class TextureTable;
class VertexBufferPool;

// Display error codes of this facility; see ErrorText.
constexpr HRESULT kErrorNoDirect3D = static_cast<HRESULT>(0x82000001u);
constexpr HRESULT kErrorNoCompatibleDevices = static_cast<HRESULT>(0x82000003u);

struct DisplayMode {
    UINT Width = 0;
    UINT Height = 0;
    D3DFORMAT Format = D3DFMT_UNKNOWN;
};

// 32 for the 8-bit-per-channel formats, 16 for everything else.
UINT BitsOf(D3DFORMAT format);
inline UINT BitsOf(const DisplayMode& mode) { return BitsOf(mode.Format); }

constexpr int kMultisampleTableSize = 16;
// Entry 0 is no multisampling, entry k (1..15) is k + 1 samples.
D3DMULTISAMPLE_TYPE MultisampleTableEntry(int index);

struct DeviceInfo {
    static constexpr int kMaxModes = 150;
    D3DCAPS8 Caps{};
    char Description[40] = {};
    UINT ModeCount = 0;
    DisplayMode Modes[kMaxModes];
    UINT CurrentMode = 0;
    UINT Windowed = 0;
    UINT MultisampleType = 0;
    UINT MultisampleSupported[kMultisampleTableSize] = {};
    UINT DepthFormat = 0;
    UINT D16Usable = 0;
    UINT D24X8Usable = 0;
    UINT D32Usable = 0;
};

struct AdapterInfo {
    D3DADAPTER_IDENTIFIER8 Identifier{};
    DeviceInfo Device;
};

struct DisplaySelection {
    bool Changed = false;
    UINT Width = 0;
    UINT Height = 0;
    D3DFORMAT Format = D3DFMT_UNKNOWN;
    D3DFORMAT DepthFormat = D3DFMT_UNKNOWN;
    D3DMULTISAMPLE_TYPE MultisampleType = D3DMULTISAMPLE_NONE;
    UINT Windowed = 0;
};

// The two combo boxes of the configuration dialog, as the list filling needs them.
class DisplayListControls {
public:
    static constexpr int kModeList = 1011;
    static constexpr int kMultisampleList = 1047;
    virtual ~DisplayListControls() = default;
    virtual void ResetContent(int control) = 0;
    // Returns the position of the new item.
    virtual int AddString(int control, const std::string& text) = 0;
    virtual void SetItemData(int control, int item, LPARAM data) = 0;
    virtual void SetCurSel(int control, int item) = 0;
};

// What device creation needs from the saver around it.
struct RenderDeviceRequest {
    bool UseDesktopSettings = false;
    std::uint8_t GmCntrl = 100;
    // Client size of the main window, used with the desktop settings.
    UINT ClientWidth = 0;
    UINT ClientHeight = 0;
    // Filled by creation; null means the process-wide ones.
    TextureTable* Textures = nullptr;
    VertexBufferPool* VertexBuffers = nullptr;
    // The saver's virtual operations run right after creation.
    std::function<void(IDirect3DDevice8*)> InitDeviceState;
    std::function<void(IDirect3DDevice8*)> LoadWithLoadingScreen;
};

// Results of CreateRenderDevice.
enum : int { kDeviceCreated = 0, kDesktopModeUnreadable = 1, kNoDeviceCreated = 2 };

// The gamma ramp for a GmCntrl value: 100 is the linear ramp 256 * i.
D3DGAMMARAMP GammaRampFor(std::uint8_t gmCntrl);
D3DGAMMARAMP LinearGammaRamp();

// The fixed text of a display error code.
const char* ErrorText(HRESULT code);

class DisplayEnumeration {
public:
    static constexpr int kMaxAdapters = 10;
    static constexpr int kMaxDistinctModes = 100;
    static constexpr int kMaxDistinctFormats = 20;

    using Direct3DFactory = std::function<IDirect3D8*()>;

    DisplayEnumeration();
    ~DisplayEnumeration();
    DisplayEnumeration(const DisplayEnumeration&) = delete;
    DisplayEnumeration& operator=(const DisplayEnumeration&) = delete;

    void SetHost(DisplayHost* host) { host_ = host ? host : &NullDisplayHost(); }
    // Replaces Direct3DCreate8(D3D_SDK_VERSION); the factory's interface is owned by this object.
    void SetDirect3DFactory(Direct3DFactory factory) { factory_ = std::move(factory); }

    HRESULT CreateAndEnumerate();
    HRESULT Enumerate();
    // Logs the code's text and shows it in an "Error!" box; returns the code.
    HRESULT ShowError(HRESULT code);
    void RefreshSelection();
    void SelectMode(UINT width, UINT height, UINT bits, UINT multisampleType);
    void FillDisplayLists(DisplayListControls& dialog,
                          const std::function<std::string(std::string_view)>& uiText);

    // Creates the device on `window`; on success `device` holds it and `presentParams` the
    // parameters it was created with (kept for every later Reset).
    int CreateRenderDevice(HWND window, const RenderDeviceRequest& request,
                           IDirect3DDevice8** device, D3DPRESENT_PARAMETERS& presentParams);

    IDirect3D8* Direct3D() const { return direct3D_; }
    void ReleaseDirect3D();

    const DisplaySelection& Selection() const { return selection_; }
    int AdapterCount() const { return adapterCount_; }
    int CurrentAdapterIndex() const { return currentAdapter_; }
    AdapterInfo& Adapter(int index) { return adapters_[index]; }
    const AdapterInfo& Adapter(int index) const { return adapters_[index]; }
    DeviceInfo& CurrentDevice() { return adapters_[currentAdapter_].Device; }
    const DeviceInfo& CurrentDevice() const { return adapters_[currentAdapter_].Device; }

    // Chooses a mode by its index in the list (the configuration dialog's mode list); out of
    // range is ignored.
    void SetCurrentMode(UINT index);
    void SetMultisampleType(UINT type);

private:
    DisplaySelection selection_;
    AdapterInfo* adapters_;  // kMaxAdapters records, on the heap (they are large)
    int adapterCount_ = 0;
    int currentAdapter_ = 0;
    IDirect3D8* direct3D_ = nullptr;
    DisplayHost* host_;
    Direct3DFactory factory_;
};

}  // namespace display
