// A recording host for the shell's tests: the headless adapter (virtual clock, virtual monitors,
// window records) plus a log of the calls the shell makes, and the desktop password services of
// the Windows 95 family, which tests switch on and answer. What it provides as an adapter is the
// headless adapter's list (platform/headless/headless_host.h); the recording is on top.
#pragma once

#include "platform/headless/headless_host.h"

#include <deque>
#include <string>
#include <vector>

namespace host {

class FakeHost : public HeadlessHost {
public:
    FakeHost() : HeadlessHost(QuietOptions()) {}
    explicit FakeHost(Options options) : HeadlessHost(WithoutEcho(std::move(options))) {}

    // Calls, one line each: "CreateSaverWindow Saver", "SetTimer 7 1000", "KillTimer 7",
    // "ShowCursor 0", "MessageBox Error!", "LoadPasswordLibrary", "VerifyPassword",
    // "FreePasswordLibrary", "ChangePassword 42", "DestroyWindow"; tests append their own.
    std::vector<std::string> calls;
    bool Called(const std::string& line) const;
    int Count(const std::string& prefix) const;

    // Desktop password services.
    DWORD platformId = VER_PLATFORM_WIN32_NT;
    bool usePasswordStored = false;  // "ScreenSaveUsePassword" present
    DWORD usePasswordValue = 0;
    bool passwordLibraryPresent = false;
    bool verifierPresent = true;
    std::deque<BOOL> verifyAnswers;  // answered in turn; TRUE when none are left
    int verifyCount = 0;
    // Other instances.
    bool otherSaverRunning = false;
    std::string otherTopLevelTitle;

    HWND CreateSaverWindow(const WindowSpec& spec) override;
    void DestroyWindow(HWND window) override;
    void SetTimer(HWND window, UINT_PTR id, UINT milliseconds) override;
    void KillTimer(HWND window, UINT_PTR id) override;
    void ShowCursor(bool visible) override;
    int MessageBox(HWND owner, const std::string& text, const std::string& caption, UINT type) override;
    DWORD PlatformId() override { return platformId; }
    bool ReadScreenSaveUsePassword(DWORD& value) override;
    HMODULE LoadPasswordLibrary() override;
    PasswordVerifier FindVerifyPassword(HMODULE library) override;
    void FreePasswordLibrary(HMODULE library) override;
    void ChangePassword(HWND parent) override;
    bool FindWindowByClass(const std::string& className) override;
    bool FindTopLevelWindowByTitle(const std::string& title) override;

private:
    static Options QuietOptions() {
        Options o;
        o.echoBoxes = false;
        o.runMs = 0;
        return o;
    }
    static Options WithoutEcho(Options o) {
        o.echoBoxes = false;
        return o;
    }
};

}  // namespace host
