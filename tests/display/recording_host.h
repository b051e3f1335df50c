// A display host that records log lines and message boxes and has a settable clock.
#pragma once

#include <string>
#include <vector>

#include "display/display_host.h"

namespace display::testing {

struct ShownMessage {
    HWND Owner;
    std::string Text;
    std::string Caption;
    MessageIcon Icon;
};

class RecordingHost final : public DisplayHost {
public:
    void Log(std::string_view line) override { LogLines.emplace_back(line); }
    void ShowMessage(HWND owner, std::string_view text, std::string_view caption,
                     MessageIcon icon) override {
        Messages.push_back({owner, std::string(text), std::string(caption), icon});
    }
    void HideCursor() override { ++CursorHidden; }
    // Each reading returns the next scripted value; the last one repeats.
    DWORD TimeMs() override {
        if (Times.empty()) return Now;
        Now = Times.front();
        if (Times.size() > 1) Times.erase(Times.begin());
        return Now;
    }
    void DebugOutput(std::string_view text) override { Debug.emplace_back(text); }

    std::vector<std::string> LogLines;
    std::vector<ShownMessage> Messages;
    std::vector<std::string> Debug;
    std::vector<DWORD> Times;
    DWORD Now = 0;
    int CursorHidden = 0;
};

}  // namespace display::testing
