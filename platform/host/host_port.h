// The host port: what the screensaver shell needs from the system it runs on, in the shell's terms.
//
// What an adapter must provide (platform/sdl, platform/headless, tests/fakes/host):
//   - windows: register the one window class with its procedure; create the saver, test and
//     preview windows and the black windows on further monitors (WM_CREATE is delivered to the
//     procedure before CreateSaverWindow returns); destroy them; report client rectangles, also of
//     a foreign parent window given by its handle number;
//   - messages: poll (PeekMessage, any window) and wait (GetMessage, false on WM_QUIT); post a
//     message; post the quit message; dispatch a message to the procedure; the default handling
//     (DefaultWindowProc: paint the black class background, show the class cursor on WM_SETCURSOR);
//     input arrives as the Win32 messages of platform/host/messages.h: WM_KEYDOWN, the three
//     button downs, WM_SETCURSOR then WM_MOUSEMOVE for movement, WM_ACTIVATEAPP with 0 when the
//     program loses the input focus, WM_CLOSE for a close box, WM_POWERBROADCAST with
//     PBT_APMSUSPEND before a suspend, WM_PAINT when a window needs painting;
//   - timers by window and id, delivered as WM_TIMER when no other message waits;
//   - cursor: show and hide;
//   - monitors: the display devices with their descriptions, state flags and current rectangle,
//     and MonitorFromRect;
//   - modal message boxes with owner, text, caption and icon kind;
//   - drawing without a device: a 24-bit picture at (0, 0) and a solid fill of the client area;
//   - time: TimeGetTime (milliseconds since some start), Sleep, Time (wall clock, seconds);
//   - the platform family (VER_PLATFORM_WIN32_WINDOWS only where the desktop password services
//     of that family exist), the desktop's "ScreenSaveUsePassword", the password library with its
//     verifier, and the change-password call;
//   - single-instance detection: a window of a class, a top-level window of a title.
#pragma once

#include "platform/d3d8/windows_types.h"
#include "platform/host/messages.h"

#include <cstdint>
#include <ctime>
#include <functional>
#include <string>
#include <vector>

namespace host {

struct Message {
    HWND window = nullptr;
    UINT message = 0;
    WPARAM wParam = 0;
    LPARAM lParam = 0;
};

using WindowProcedure = LRESULT (*)(HWND, UINT, WPARAM, LPARAM);

struct WindowClass {
    std::string name;
    WindowProcedure procedure = nullptr;
    int iconResource = 0;  // ICON resource id
};

// What a window is for; adapters turn this into their own kind of window.
enum class WindowRole {
    Preview,      // child of the desktop's preview window (or a small window of its own)
    Saver,        // full-screen, top-most, on the first monitor: gets the device
    SaverBlack,   // full-screen, top-most, on a further monitor: only the black background
    Test,         // an ordinary window with title bar, close box and minimize box
};

struct WindowSpec {
    WindowRole role = WindowRole::Test;
    std::string className;
    std::string title;
    RECT rect{};           // client rectangle in desktop (or parent) coordinates
    DWORD style = 0;
    DWORD exStyle = 0;
    HWND parent = nullptr;  // preview: the foreign parent; saver: the main window for the others
};

// One display device, as EnumDisplayDevices and EnumDisplaySettings report it.
struct DisplayDevice {
    std::string deviceName;          // e.g. "\\.\DISPLAY1"
    std::string adapterDescription;  // the adapter's DeviceString
    std::string monitorDescription;  // the DeviceString of its first monitor ("" when none)
    DWORD stateFlags = 0;            // DISPLAY_DEVICE_* flags
    POINT position{};                // dmPosition of the current mode
    DWORD width = 0;                 // dmPelsWidth
    DWORD height = 0;                // dmPelsHeight
};

// A picture for drawing without a device: rows top-down, 3 bytes per pixel in R, G, B order.
struct Picture {
    int width = 0;
    int height = 0;
    std::vector<std::uint8_t> rgb;
};

using PasswordVerifier = std::function<BOOL(HWND)>;

class HostPort {
public:
    virtual ~HostPort() = default;

    // Windows.
    virtual bool RegisterWindowClass(const WindowClass& windowClass) = 0;
    virtual HWND CreateSaverWindow(const WindowSpec& spec) = 0;
    virtual void DestroyWindow(HWND window) = 0;
    virtual bool GetClientRect(HWND window, RECT& rect) = 0;

    // Messages.
    virtual bool PeekMessage(Message& message) = 0;
    virtual bool GetMessage(Message& message, HWND window) = 0;
    virtual void PostMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam) = 0;
    virtual void PostQuitMessage(int exitCode) = 0;
    virtual LRESULT DispatchMessage(const Message& message) = 0;
    virtual LRESULT DefaultWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) = 0;

    // Timers.
    virtual void SetTimer(HWND window, UINT_PTR id, UINT milliseconds) = 0;
    virtual void KillTimer(HWND window, UINT_PTR id) = 0;

    // Cursor.
    virtual void ShowCursor(bool visible) = 0;

    // Monitors.
    virtual bool EnumDisplayDevice(DWORD index, DisplayDevice& device) = 0;
    virtual HMONITOR MonitorFromRect(const RECT& rect) = 0;

    // Message boxes; returns the button pressed (IDOK).
    virtual int MessageBox(HWND owner, const std::string& text, const std::string& caption,
                           UINT type) = 0;

    // Drawing without a device.
    virtual void DrawPicture(HWND window, const Picture& picture) = 0;
    virtual void FillWindow(HWND window, COLORREF colour) = 0;

    // Time.
    virtual DWORD TimeGetTime() = 0;
    virtual void Sleep(DWORD milliseconds) = 0;
    virtual std::time_t Time() = 0;

    // Platform family and the desktop password services.
    virtual DWORD PlatformId() = 0;
    virtual bool ReadScreenSaveUsePassword(DWORD& value) = 0;
    virtual HMODULE LoadPasswordLibrary() = 0;
    virtual PasswordVerifier FindVerifyPassword(HMODULE library) = 0;
    virtual void FreePasswordLibrary(HMODULE library) = 0;
    virtual void ChangePassword(HWND parent) = 0;

    // Single-instance detection.
    virtual bool FindWindowByClass(const std::string& className) = 0;
    virtual bool FindTopLevelWindowByTitle(const std::string& title) = 0;
};

}  // namespace host
