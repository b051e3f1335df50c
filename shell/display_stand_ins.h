// Stand-ins for the display layer (device enumeration and creation, the frame, the texture table,
// the digit textures) until the display folder provides them. Everything the shell calls of that
// layer goes through the few names below, so replacing them touches this file and its .cpp only.
#pragma once

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
    // 0 on success; a failure has shown its own error box.
    HRESULT CreateAndEnumerate(Log& log, host::HostPort& host);
    void SelectMode(UINT width, UINT height, UINT bits, UINT multisampleType);
    // Releases the IDirect3D8 interface (null afterwards).
    void ReleaseDirect3D();

    DisplaySelection selection;
    IDirect3D8* Direct3D = nullptr;
};
