// The desktop adapter of the host port on Linux: SDL2 windows and events, X11 for what SDL does
// not reach (foreign preview parents, other instances).
//
// What an adapter must provide: see platform/host/host_port.h. Here:
//   - HWND of a window we create = reinterpret_cast<HWND>(SDL_Window*); windows are created with
//     SDL_WINDOW_OPENGL so that the GL layer can create its context on them. A preview parent is
//     an X11 window id carried in an HWND;
//   - saver windows: borderless, always on top, covering their monitor; test window: 600 x 400
//     client area at (50, 50) with title bar, close and minimize boxes; preview: a child of the X11
//     window given (reparented into it), else a 155 x 115 window of its own;
//   - a window without a GL context is painted through SDL's software window surface (the black
//     background, the preview picture); the surface is kept off the GPU so it never competes with
//     the GL layer's context;
//   - events: key down, button downs, motion (WM_SETCURSOR, then WM_MOUSEMOVE), the close box
//     (WM_CLOSE), exposure (WM_PAINT), the program losing the focus to another program
//     (WM_ACTIVATEAPP 0: a focus that moves between our own windows does not count), SDL_QUIT
//     (WM_CLOSE to the main window), an application about to be suspended (WM_POWERBROADCAST);
//   - single instance: every window we create carries WM_CLASS "Grimholt 3D Screensaver" (set with
//     XSetClassHint) and that title. FindWindowByClass walks the X server's window tree from the
//     root (three levels deep, enough for window-manager frames) and compares WM_CLASS;
//     FindTopLevelWindowByTitle compares WM_NAME and _NET_WM_NAME likewise. The X server's own tree
//     is used rather than a lock file because it cannot go stale: a crashed saver leaves no window;
//   - no desktop password services (Windows NT family behaviour), the change-password call does
//     nothing; message boxes are SDL's (stderr when none can be shown).
#pragma once

#include "platform/host/host_port.h"

#include <deque>
#include <memory>
#include <string>
#include <vector>

namespace host {

class SdlHost : public HostPort {
public:
    SdlHost();
    ~SdlHost() override;

    // False with a reason when no video display can be opened.
    bool Init(std::string& error);

    bool RegisterWindowClass(const WindowClass& windowClass) override;
    HWND CreateSaverWindow(const WindowSpec& spec) override;
    void DestroyWindow(HWND window) override;
    bool GetClientRect(HWND window, RECT& rect) override;
    bool PeekMessage(Message& message) override;
    bool GetMessage(Message& message, HWND window) override;
    void PostMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam) override;
    void PostQuitMessage(int exitCode) override;
    LRESULT DispatchMessage(const Message& message) override;
    LRESULT DefaultWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) override;
    void SetTimer(HWND window, UINT_PTR id, UINT milliseconds) override;
    void KillTimer(HWND window, UINT_PTR id) override;
    void ShowCursor(bool visible) override;
    bool EnumDisplayDevice(DWORD index, DisplayDevice& device) override;
    HMONITOR MonitorFromRect(const RECT& rect) override;
    int MessageBox(HWND owner, const std::string& text, const std::string& caption, UINT type) override;
    void DrawPicture(HWND window, const Picture& picture) override;
    void FillWindow(HWND window, COLORREF colour) override;
    DWORD TimeGetTime() override;
    void Sleep(DWORD milliseconds) override;
    std::time_t Time() override;
    DWORD PlatformId() override;
    bool ReadScreenSaveUsePassword(DWORD& value) override;
    HMODULE LoadPasswordLibrary() override;
    PasswordVerifier FindVerifyPassword(HMODULE library) override;
    void FreePasswordLibrary(HMODULE library) override;
    void ChangePassword(HWND parent) override;
    bool FindWindowByClass(const std::string& className) override;
    bool FindTopLevelWindowByTitle(const std::string& title) override;

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

}  // namespace host
