// The screensaver shell: the application object with its run modes, start-up, windows, message
// and frame loop, exit rules and shutdown. Exactly one exists per process (a BattleSaver); the
// window procedure reaches it through TheSaverApp(). Everything the shell needs from the system
// goes through a host::HostPort, so these rules run the same against the desktop, the headless
// adapter and the recording fake.
#pragma once

#include "display/overlay.h"
#include "platform/d3d8/d3d8.h"
#include "platform/host/host_port.h"
#include "platform/host/settings_store.h"
#include "settings/settings.h"
#include "settings/ui_text.h"
#include "shell/display_stand_ins.h"
#include "shell/log.h"

#include <cstdint>
#include <optional>
#include <string>

enum class RunMode : std::int32_t { Config = 0, Preview = 1, Saver = 2, Test = 3, ChangePassword = 4 };

struct MonitorInfo {
    char AdapterDescription[128];
    char MonitorDescription[128];
    HMONITOR Monitor;
    RECT Rect;
    std::int32_t AdapterIndex;
    HWND Window;
};

inline constexpr const char* kWindowClassName = "Grimholt 3D Screensaver";
inline constexpr int kMaxMonitors = 9;
inline constexpr UINT_PTR kPreviewTimer = 1;
inline constexpr UINT kPreviewTimerMs = 500;
inline constexpr UINT_PTR kFrameRateTimer = 7;
inline constexpr UINT kFrameRateTimerMs = 1000;
inline constexpr int kPreviewBitmapResource = 432;
inline constexpr int kIconResource = 224;

class SaverApp {
public:
    SaverApp();
    virtual ~SaverApp();
    SaverApp(const SaverApp&) = delete;
    SaverApp& operator=(const SaverApp&) = delete;

    // Virtual operations, in slot order.
    virtual void InitDefaults();
    virtual void ReadExtraSettings();
    virtual void WriteExtraSettings();
    virtual void ResetExtraSettings();
    virtual void InitDialogExtras(HWND dialog);
    virtual INT_PTR DialogCommand(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
    virtual LRESULT DefaultWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    virtual void StartMusic();
    virtual void StopMusic();
    virtual void CheckCapabilities();
    virtual HRESULT InitDeviceState(IDirect3DDevice8* device);
    virtual HRESULT LoadWithLoadingScreen(IDirect3DDevice8* device);
    virtual HRESULT LoadScene(IDirect3DDevice8* device);
    virtual HRESULT AfterLoadScene(IDirect3DDevice8* device);
    virtual HRESULT FrameMove(IDirect3DDevice8* device, float elapsedMs);
    virtual HRESULT Render(IDirect3DDevice8* device);
    virtual HRESULT ReleaseScene();

    // The host everything goes through, and the store the settings are read from (may be null:
    // nothing is read). Both must outlive the run.
    void AttachHost(host::HostPort& host);
    void AttachSettingsStore(host::SettingsStore* store) { SettingsStore = store; }

    void Startup(HINSTANCE instance, const char* commandLine);
    int Dispatch();
    RunMode ParseCommandLine(const char* text);
    void BuildMonitorList();

    HRESULT CreateWindows();
    void PreviewStartupLoop();
    void Run();
    LRESULT WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    int RequestExit();
    void Shutdown();

    // The display layer (display_stand_ins.cpp until the display folder replaces it).
    int CreateRenderDevice(HWND window);  // 0 success, 1 desktop mode unreadable, 2 no device
    HRESULT Frame();
    HRESULT LoadDigits(IDirect3DDevice8* device);
    // The clock and frame-rate overlay, drawn inside the scene (between BeginScene and EndScene).
    void DrawOverlay(IDirect3DDevice8* device);
    void ShowConfigDialog();
    void ReleaseTextures();
    void RestoreLinearGamma();
    void ReleaseDevice();

    // State (public: the dialog, the display layer and the tests read and set it).
    host::HostPort* Host = nullptr;
    host::SettingsStore* SettingsStore = nullptr;
    HINSTANCE Instance = nullptr;
    HWND ParentWindow = nullptr;
    RunMode Mode = RunMode::Config;
    HWND MainWindow = nullptr;
    MonitorInfo Monitors[kMaxMonitors]{};
    int MonitorCount = 0;
    bool MayStart = false;
    settings::Settings Settings;
    settings::Settings DefaultSettings;
    settings::UiText UiText;
    DisplayEnumeration Display;
    IDirect3DDevice8* Device = nullptr;
    D3DPRESENT_PARAMETERS PresentParams{};
    ::Log Log;
    bool LogEnabled = false;

    bool Quit = false;
    bool PreviewLoop = false;
    bool IsWin9x = false;
    HMODULE PasswordLibrary = nullptr;
    host::PasswordVerifier VerifyPassword;
    std::int32_t MouseMoveBudget = 30;
    std::int32_t FrameParity = 1;
    std::int32_t FrameCount = 0;
    std::int32_t FramesPerSecond = 0;
    float LastFrameTime = 0;

    // The overlay: its glyphs, its layout and clock colour (the concrete saver sets its own in
    // InitDefaults), and the screen quad the loading screen creates (-1 until then).
    display::GlyphSet Glyphs;
    display::OverlayLayout OverlayLayout = display::kSaverOverlayLayout;
    int ScreenQuad = -1;
    std::optional<host::Picture> PreviewBitmap;

private:
    void PaintPreview(HWND window);
    bool standInCleared_ = false;
    friend class DisplayStandInAccess;
};

// The process-wide pointer: the application object constructed last (and still alive).
SaverApp* TheSaverApp();

// The registered window procedure: forwards to TheSaverApp().
LRESULT SaverWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

// The entry point: Startup, then Dispatch on `app` with `host`; returns 0 whatever happened.
int SaverMain(SaverApp& app, host::HostPort& host, HINSTANCE instance, const char* commandLine);
