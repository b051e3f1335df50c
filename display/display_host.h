// What the display layer needs from its surroundings: the start-up log, modal message boxes, the
// cursor, the millisecond clock and the debugger output. The shell implements it over the host
// port and its `Log`; tests record it. Keeping it this small lets the display logic run anywhere.
#pragma once

#include <string_view>

#include "platform/d3d8/windows_types.h"

namespace display {

enum class MessageIcon { Error, Warning };

class DisplayHost {
public:
    virtual ~DisplayHost() = default;
    // One line of the start-up log (ignored while the log is off).
    virtual void Log(std::string_view line) = 0;
    // A modal message box owned by `owner` (null: no owner).
    virtual void ShowMessage(HWND owner, std::string_view text, std::string_view caption,
                             MessageIcon icon) = 0;
    // SetCursor(null): a box shown over the saver brings the cursor back; this hides it again.
    virtual void HideCursor() = 0;
    // timeGetTime: milliseconds of the system clock.
    virtual DWORD TimeMs() = 0;
    // OutputDebugStringA.
    virtual void DebugOutput(std::string_view /*text*/) {}
};

// A host that logs nothing, shows nothing and whose clock stands at 0: the default until the
// shell hands in its own.
DisplayHost& NullDisplayHost();

}  // namespace display
