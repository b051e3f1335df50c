// One pass of the frame loop: elapsed time, device loss and restore, move, draw, counters. Also the
// saver base's default device state, camera and picture (a blue clear with the overlay on top).
#pragma once

#include <functional>

#include "display/display_host.h"
#include "platform/d3d8/d3d8.h"

namespace display {

// The saver's virtual operations that a frame calls.
class FrameOperations {
public:
    virtual ~FrameOperations() = default;
    virtual void InitDeviceState(IDirect3DDevice8* device) = 0;
    virtual void FrameMove(IDirect3DDevice8* device, float elapsedMs) = 0;
    virtual void Render(IDirect3DDevice8* device) = 0;
};

// The saver's members that a frame reads and writes.
struct FrameCounters {
    float& LastFrameTime;  // milliseconds of the host clock at the last frame
    int& FrameParity;      // toggled after every presented frame; 1 after a restore
    int& FrameCount;       // frames since the last one-second tick
};

// 0 after a drawn frame, E_FAIL without a device, otherwise the cooperative-level error (after a
// reset attempt when the device reports it can be reset).
HRESULT Frame(IDirect3DDevice8* device, D3DPRESENT_PARAMETERS& presentParams,
              const FrameCounters& counters, FrameOperations& operations, DisplayHost& host);

// The base saver's operations.
void DefaultInitDeviceState(IDirect3DDevice8* device);
void DefaultFrameMove(IDirect3DDevice8* device, float elapsedMs);
// Clear to opaque blue, the overlay (may be empty) inside the scene, present.
void DefaultRender(IDirect3DDevice8* device, const std::function<void(IDirect3DDevice8*)>& overlay);

constexpr D3DCOLOR kDefaultClearColour = 0xFF0000FFu;

// The base saver's projection: 45 degrees vertical field of view, near 1, far 1000, aspect from
// the viewport.
D3DMATRIX DefaultProjection(const D3DVIEWPORT8& viewport);

}  // namespace display
