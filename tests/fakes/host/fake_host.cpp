#include "fakes/host/fake_host.h"

#include <algorithm>

namespace host {
namespace {

const char* RoleName(WindowRole role) {
    switch (role) {
        case WindowRole::Preview: return "Preview";
        case WindowRole::Saver: return "Saver";
        case WindowRole::SaverBlack: return "SaverBlack";
        case WindowRole::Test: return "Test";
    }
    return "?";
}

HMODULE const kPasswordLibrary = reinterpret_cast<HMODULE>(0x5A5A);

}  // namespace

bool FakeHost::Called(const std::string& line) const {
    return std::find(calls.begin(), calls.end(), line) != calls.end();
}

int FakeHost::Count(const std::string& prefix) const {
    return static_cast<int>(std::count_if(calls.begin(), calls.end(),
                                          [&](const std::string& c) { return c.rfind(prefix, 0) == 0; }));
}

HWND FakeHost::CreateSaverWindow(const WindowSpec& spec) {
    calls.push_back(std::string("CreateSaverWindow ") + RoleName(spec.role));
    return HeadlessHost::CreateSaverWindow(spec);
}

void FakeHost::DestroyWindow(HWND window) {
    calls.push_back("DestroyWindow");
    HeadlessHost::DestroyWindow(window);
}

void FakeHost::SetTimer(HWND window, UINT_PTR id, UINT milliseconds) {
    calls.push_back("SetTimer " + std::to_string(id) + " " + std::to_string(milliseconds));
    HeadlessHost::SetTimer(window, id, milliseconds);
}

void FakeHost::KillTimer(HWND window, UINT_PTR id) {
    calls.push_back("KillTimer " + std::to_string(id));
    HeadlessHost::KillTimer(window, id);
}

void FakeHost::ShowCursor(bool visible) {
    calls.push_back(std::string("ShowCursor ") + (visible ? "1" : "0"));
    HeadlessHost::ShowCursor(visible);
}

int FakeHost::MessageBox(HWND owner, const std::string& text, const std::string& caption, UINT type) {
    calls.push_back("MessageBox " + caption);
    return HeadlessHost::MessageBox(owner, text, caption, type);
}

bool FakeHost::ReadScreenSaveUsePassword(DWORD& value) {
    calls.push_back("ReadScreenSaveUsePassword");
    if (!usePasswordStored) return false;
    value = usePasswordValue;
    return true;
}

HMODULE FakeHost::LoadPasswordLibrary() {
    calls.push_back("LoadPasswordLibrary");
    return passwordLibraryPresent ? kPasswordLibrary : nullptr;
}

PasswordVerifier FakeHost::FindVerifyPassword(HMODULE library) {
    if (library != kPasswordLibrary || !verifierPresent) return {};
    return [this](HWND) -> BOOL {
        calls.push_back("VerifyPassword");
        ++verifyCount;
        if (verifyAnswers.empty()) return TRUE;
        const BOOL answer = verifyAnswers.front();
        verifyAnswers.pop_front();
        return answer;
    };
}

void FakeHost::FreePasswordLibrary(HMODULE) { calls.push_back("FreePasswordLibrary"); }

void FakeHost::ChangePassword(HWND parent) {
    calls.push_back("ChangePassword " + std::to_string(reinterpret_cast<std::intptr_t>(parent)));
}

bool FakeHost::FindWindowByClass(const std::string& className) {
    return otherSaverRunning || HeadlessHost::FindWindowByClass(className);
}

bool FakeHost::FindTopLevelWindowByTitle(const std::string& title) {
    return (!otherTopLevelTitle.empty() && title == otherTopLevelTitle) || HeadlessHost::FindTopLevelWindowByTitle(title);
}

}  // namespace host
