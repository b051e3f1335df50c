#include "shell/saver_app.h"

#include "platform/host/resources.h"
#include "shell/preview_bitmap.h"

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

SaverApp* g_app = nullptr;

void CopyText(char (&out)[128], const std::string& text) {
    std::snprintf(out, sizeof out, "%s", text.c_str());
}

}  // namespace

SaverApp* TheSaverApp() { return g_app; }

LRESULT SaverWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    SaverApp* app = TheSaverApp();
    return app != nullptr ? app->WindowProc(window, message, wParam, lParam) : 0;
}

SaverApp::SaverApp() {
    g_app = this;
    // The default-settings text has no owner window to report to yet: its two messages go to the
    // host once one is attached, else to stderr.
    DefaultSettings = settings::LoadDefaultsFromResource([this](std::string_view text, std::string_view caption) {
        if (Host != nullptr) {
            Host->MessageBox(nullptr, std::string(text), std::string(caption), MB_OK);
        } else {
            std::fprintf(stderr, "%.*s: %.*s\n", static_cast<int>(caption.size()), caption.data(),
                         static_cast<int>(text.size()), text.data());
        }
    });
    Settings = DefaultSettings;
}

SaverApp::~SaverApp() {
    if (g_app == this) g_app = nullptr;
}

void SaverApp::AttachHost(host::HostPort& host) {
    Host = &host;
    Log.AttachHost(&host);
}

// Base virtual operations: the concrete saver replaces most of them.
void SaverApp::InitDefaults() {}
void SaverApp::ReadExtraSettings() {}
void SaverApp::WriteExtraSettings() {}
void SaverApp::ResetExtraSettings() {}
void SaverApp::InitDialogExtras(HWND) {}
INT_PTR SaverApp::DialogCommand(HWND, UINT, WPARAM, LPARAM) { return 0; }
LRESULT SaverApp::DefaultWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    return Host != nullptr ? Host->DefaultWindowProc(window, message, wParam, lParam) : 0;
}
void SaverApp::StartMusic() {}
void SaverApp::StopMusic() {}
void SaverApp::CheckCapabilities() {}
HRESULT SaverApp::LoadScene(IDirect3DDevice8*) { return 0; }
HRESULT SaverApp::AfterLoadScene(IDirect3DDevice8*) { return 0; }
HRESULT SaverApp::ReleaseScene() { return 0; }

RunMode SaverApp::ParseCommandLine(const char* text) {
    ParentWindow = nullptr;
    if (text == nullptr) return RunMode::Config;
    const char* p = text;
    // The program path: quoted whole, or up to the first blank.
    if (*p == '"') {
        ++p;
        while (*p != '\0' && *p != '"') ++p;
        if (*p == '"') ++p;
    } else {
        while (*p != '\0' && *p != ' ') ++p;
        if (*p == ' ') ++p;
    }
    while (*p != '\0' && *p != '/' && *p != '-') ++p;
    if (*p == '\0') return RunMode::Config;
    const char letter = p[1];
    if (letter == '\0') return RunMode::Saver;
    p += 2;
    auto readHandle = [&]() {
        while (*p != '\0' && !std::isdigit(static_cast<unsigned char>(*p))) ++p;
        if (*p != '\0') {
            // strtoll saturates instead of overflowing on an absurdly long number.
            const long long value = std::strtoll(p, nullptr, 10);
            ParentWindow = reinterpret_cast<HWND>(static_cast<std::intptr_t>(value));
        }
    };
    switch (letter) {
        case 'A': case 'a': readHandle(); return RunMode::ChangePassword;
        case 'C': case 'c': readHandle(); return RunMode::Config;
        case 'P': case 'p': readHandle(); return RunMode::Preview;
        case 'T': case 't': return RunMode::Test;
        default: return RunMode::Saver;
    }
}

void SaverApp::Startup(HINSTANCE instance, const char* commandLine) {
    UiText.LoadFromResource();
    InitDefaults();
    Instance = instance;
    Mode = ParseCommandLine(commandLine);

    Log.SetEnabled(LogEnabled);
    if (Mode == RunMode::Preview || Mode == RunMode::Saver || Mode == RunMode::Test) {
        Log.Open("Saver_Log.txt");
    } else if (Mode == RunMode::Config) {
        Log.Open("Config_Log.txt");
    }

    MayStart = SUCCEEDED(Display.CreateAndEnumerate(Log, *Host));

    // Another saver, or the configuration dialog, already runs: end silently.
    if (Host->FindWindowByClass(kWindowClassName)) MayStart = false;
    const std::string& dialogTitle = UiText.Get(std::string_view("screensaver_configuration"));
    if (!dialogTitle.empty() && Host->FindTopLevelWindowByTitle(dialogTitle)) MayStart = false;
    if (!MayStart) return;

    CheckCapabilities();
    BuildMonitorList();

    if (Mode == RunMode::Preview || Mode == RunMode::Saver || Mode == RunMode::Test) {
        if (FAILED(CreateWindows())) {
            Log.Write("Cannot create Saver Window!");
        } else {
            Log.Write("Create Saver Window complete");
        }
    }
    if (Mode == RunMode::Preview) PreviewStartupLoop();
}

void SaverApp::BuildMonitorList() {
    MonitorCount = 0;
    host::DisplayDevice device;
    for (DWORD index = 0; MonitorCount < kMaxMonitors && Host->EnumDisplayDevice(index, device); ++index) {
        if (device.stateFlags & DISPLAY_DEVICE_MIRRORING_DRIVER) continue;
        MonitorInfo& info = Monitors[MonitorCount];
        info = MonitorInfo{};
        CopyText(info.AdapterDescription, device.adapterDescription);
        CopyText(info.MonitorDescription, device.monitorDescription);
        info.AdapterIndex = -1;
        if (device.stateFlags & DISPLAY_DEVICE_ATTACHED_TO_DESKTOP) {
            const POINT origin = (device.stateFlags & DISPLAY_DEVICE_PRIMARY_DEVICE) ? POINT{0, 0} : device.position;
            info.Rect = {origin.x, origin.y, origin.x + static_cast<LONG>(device.width),
                         origin.y + static_cast<LONG>(device.height)};
            info.Monitor = Host->MonitorFromRect(info.Rect);
        }
        ++MonitorCount;
    }
}

int SaverApp::Dispatch() {
    if (!MayStart) return 0;
    switch (Mode) {
        case RunMode::Config:
            ShowConfigDialog();
            break;
        case RunMode::ChangePassword:
            Host->ChangePassword(ParentWindow);
            break;
        case RunMode::Preview:
        case RunMode::Saver:
        case RunMode::Test: {
            if (SettingsStore != nullptr) settings::ReadSettings(*SettingsStore, Settings);
            ReadExtraSettings();
            Display.SelectMode(static_cast<UINT>(Settings.Width), static_cast<UINT>(Settings.Height),
                               static_cast<UINT>(Settings.BitCount), static_cast<UINT>(Settings.FSAA));
            const DisplaySelection& chosen = Display.selection;
            Settings.Width = static_cast<std::int32_t>(chosen.width);
            Settings.Height = static_cast<std::int32_t>(chosen.height);
            Settings.BitCount = (chosen.format == D3DFMT_A8R8G8B8 || chosen.format == D3DFMT_X8R8G8B8) ? 32 : 16;
            Settings.FSAA = static_cast<std::int32_t>(chosen.multisampleType);
            Run();
            if (MainWindow != nullptr) Host->DestroyWindow(MainWindow);
            break;
        }
    }
    return 0;
}

int SaverMain(SaverApp& app, host::HostPort& host, HINSTANCE instance, const char* commandLine) {
    app.AttachHost(host);
    app.Startup(instance, commandLine);
    app.Dispatch();
    return 0;
}
