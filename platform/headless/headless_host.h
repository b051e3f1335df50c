// The headless adapter of the host port: no display, virtual monitors, scripted input and a
// virtual clock. Used by the tests and by the headless run (grimholt --headless ...).
//
// What an adapter must provide: see platform/host/host_port.h. Here:
//   - windows are records (HWND = pointer to a HeadlessWindow) with a pixel buffer that the
//     drawing calls fill, so tests can look at what was painted;
//   - monitors come from the options (default one 1024 x 768 primary);
//   - input is a script of events at virtual times, turned into messages for the main window
//     (the first window created) when the clock reaches them;
//   - the clock only moves in Sleep and while GetMessage waits for the next due event, so a run is
//     the same every time; TimeGetTime starts at Options::startMs, Time at Options::startTime;
//   - after Options::runMs of virtual time the main window is sent WM_CLOSE, so every run ends;
//   - message boxes are printed to stderr (when Options::echoBoxes) and answered IDOK;
//   - there are no password services and no other instances (Windows NT family behaviour).
#pragma once

#include "platform/host/host_port.h"

#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace host {

struct HeadlessWindow {
    WindowSpec spec;
    RECT client{};  // the window's client rectangle; width and height give the pixel buffer size
    bool visible = true;
    bool needsPaint = true;
    std::vector<std::uint32_t> pixels;  // 0x00RRGGBB, rows top-down
    int paintCount = 0;                 // DrawPicture / FillWindow calls

    int Width() const { return client.right - client.left; }
    int Height() const { return client.bottom - client.top; }
    std::uint32_t Pixel(int x, int y) const;  // 0 outside the buffer
};

// One scripted input event.
struct ScriptEvent {
    enum class Kind { Key, LeftClick, RightClick, MiddleClick, Move, Deactivate, Close, Suspend, SysCommand };
    DWORD atMs = 0;  // virtual time since the start of the run
    Kind kind = Kind::Key;
    WPARAM wParam = 0;  // key code for Key, command for SysCommand
};

class HeadlessHost : public HostPort {
public:
    struct Options {
        std::vector<DisplayDevice> monitors;  // empty: one 1024 x 768 primary monitor
        std::vector<ScriptEvent> script;
        DWORD runMs = 10000;   // virtual run length; 0 = unlimited
        DWORD startMs = 1000;  // TimeGetTime at the start
        std::time_t startTime = 1767225600;  // 2026-01-01 00:00:00 UTC
        bool echoBoxes = true;
    };

    HeadlessHost();
    explicit HeadlessHost(Options options);
    ~HeadlessHost() override;

    // Options from command-line flags; the recognised ones are removed from `args`. Flags:
    //   --monitors=N            N virtual 1024 x 768 monitors side by side (1..9)
    //   --monitor=WxH+X+Y       one monitor (repeatable; the first is primary)
    //   --script=EVENTS         comma-separated TIME:EVENT with EVENT one of key, click, rclick,
    //                           mclick, move, deactivate, close, suspend, screensave
    //   --run-ms=N              virtual run length (0: unlimited)
    // Returns false with `error` set for a malformed flag.
    static bool ParseOptions(std::vector<std::string>& args, Options& options, std::string& error);
    static bool ParseScript(const std::string& text, std::vector<ScriptEvent>& script, std::string& error);

    // HostPort.
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

    // For tests and the GL binding.
    struct BoxShown {
        HWND owner;
        std::string text;
        std::string caption;
        UINT type;
    };
    const std::vector<BoxShown>& Boxes() const { return boxes_; }
    // Live windows in creation order.
    std::vector<HeadlessWindow*> Windows() const;
    HeadlessWindow* Find(HWND window) const;
    HWND MainWindow() const;  // the first window created that is still alive
    bool CursorVisible() const { return cursorVisible_; }
    DWORD ElapsedMs() const { return nowMs_ - options_.startMs; }
    bool HasTimer(HWND window, UINT_PTR id) const;
    // Input that tests send at once, as the script would.
    void Inject(ScriptEvent::Kind kind, WPARAM wParam = 0);
    // Foreign windows (a preview parent, another instance) that tests or options declare.
    void AddForeignWindow(HWND handle, RECT client, std::string className, std::string title);
    Options& options() { return options_; }

private:
    struct Timer {
        HWND window;
        UINT_PTR id;
        UINT period;
        DWORD due;
    };
    struct Foreign {
        RECT client;
        std::string className;
        std::string title;
    };

    void Advance(DWORD ms);
    void QueueDueScript();
    std::optional<DWORD> NextDueTime() const;
    void Queue(const ScriptEvent& event);

    Options options_;
    WindowClass class_;
    bool classRegistered_ = false;
    std::vector<std::unique_ptr<HeadlessWindow>> windows_;
    std::deque<Message> queue_;
    std::vector<Timer> timers_;
    std::map<std::uintptr_t, Foreign> foreign_;
    std::vector<BoxShown> boxes_;
    std::size_t nextScript_ = 0;
    bool quitPosted_ = false;
    bool runLimitSent_ = false;
    bool cursorVisible_ = true;
    DWORD nowMs_ = 0;
};

}  // namespace host
