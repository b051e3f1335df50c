// Chooses where our Direct3D 8 implementation gets its OpenGL context from, before the program
// calls Direct3DCreate8(D3D_SDK_VERSION). The renderer itself is the same for both:
//   - Sdl: adapters are SDL's displays and their modes; a device renders into the window whose
//     HWND is reinterpret_cast<HWND>(SDL_Window*). The window must have been created with
//     SDL_WINDOW_OPENGL. The back buffer is an off-screen target that Present copies to the window,
//     so the window needs no depth buffer of its own.
//   - Headless: EGL surfaceless (Mesa), no display at all. HWNDs are opaque to us; the query
//     callback tells the client size and visibility of a window, so that windowed devices size
//     their back buffer from it and TestCooperativeLevel reports a hidden full-screen window as a
//     lost device. Frames are read back with GetFrontBuffer.
// This header carries no GL, EGL or SDL declarations so the entry point can include it freely.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "platform/d3d8/d3d8.h"

namespace gl {

enum class WindowSystem { Sdl, Headless };

// Reports a window's client size and whether it is shown; false when the window is unknown.
using HeadlessWindowQuery =
    std::function<bool(HWND window, int& clientWidth, int& clientHeight, bool& visible)>;

// One virtual monitor of the headless adapter; each monitor is one Direct3D adapter.
struct HeadlessMonitor {
    HMONITOR handle = nullptr;  // what GetAdapterMonitor returns for it
    D3DDISPLAYMODE desktop{1024, 768, 60, D3DFMT_X8R8G8B8};
    // Full-screen modes; empty gives the fixed list (640 x 480 up to 1600 x 1200, each in
    // D3DFMT_R5G6B5 and D3DFMT_X8R8G8B8, at 60 Hz).
    std::vector<D3DDISPLAYMODE> modes;
};

struct HeadlessOptions {
    HeadlessWindowQuery queryWindow;  // empty: every window counts as visible, 1024 x 768
    std::vector<HeadlessMonitor> monitors;  // empty: one 1024 x 768 monitor
    // When set, every frameInterval-th presented frame is written there as frame_NNNNN.bmp
    // (24-bit, as shown after the gamma ramp); the folder must exist.
    std::string frameDirectory;
    unsigned frameInterval = 1;
};

// Frames presented by all devices of this process so far, and the wall-clock milliseconds from
// the first presented frame to the last (for the frame-rate figure of a headless run).
struct PresentStatistics {
    unsigned long long frames = 0;
    double wallMilliseconds = 0.0;
};
PresentStatistics GetPresentStatistics();

// Select the window system. Call before Direct3DCreate8; objects created earlier keep theirs.
// Without a call, Sdl is used when DISPLAY or WAYLAND_DISPLAY is set, Headless otherwise.
void UseSdlWindowSystem();
void UseHeadlessWindowSystem(HeadlessOptions options);
WindowSystem CurrentWindowSystem();

// True when an EGL surfaceless OpenGL 3.3 core context can be created (tests skip without one).
bool HeadlessContextAvailable();

// Test hook for the headless adapter: while set, every device reports D3DERR_DEVICELOST; once
// cleared, a device that saw the loss reports D3DERR_DEVICENOTRESET until it is Reset.
void SimulateDeviceLoss(bool lost);

}  // namespace gl
