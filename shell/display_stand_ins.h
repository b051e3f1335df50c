// The shell's seam to the display layer (device enumeration and creation, the frame, the texture
// table). Everything the shell calls of that layer goes through the few names below; they
// forward to display/.
#pragma once

#include <memory>

#include "display/display_enumeration.h"
#include "platform/d3d8/d3d8.h"

class Log;
namespace host {
class HostPort;
}

// The current display choice (width, height, format, multisample type).
struct DisplaySelection {
    bool changed = false;
    UINT width = 800;
    UINT height = 600;
    D3DFORMAT format = D3DFMT_X8R8G8B8;
    D3DFORMAT depthFormat = D3DFMT_D16;
    D3DMULTISAMPLE_TYPE multisampleType = D3DMULTISAMPLE_NONE;
    BOOL windowed = FALSE;
};

class DisplayEnumeration {
public:
    DisplayEnumeration();
    ~DisplayEnumeration();
    // 0 on success; a failure has shown its own error box.
    HRESULT CreateAndEnumerate(Log& log, host::HostPort& host);
    void SelectMode(UINT width, UINT height, UINT bits, UINT multisampleType);
    // Releases the IDirect3D8 interface (null afterwards).
    void ReleaseDirect3D();
    // The log, message boxes and clock as the display layer sees them.
    display::DisplayHost& Host();

    DisplaySelection selection;
    IDirect3D8* Direct3D = nullptr;
    display::DisplayEnumeration Enumeration;

private:
    void CopySelection();
    std::unique_ptr<display::DisplayHost> host_;
};
