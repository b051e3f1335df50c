// Where the renderer's OpenGL 3.3 core context comes from: an SDL2 window or EGL surfaceless.
// The renderer draws only into its own framebuffer objects; a context provider knows how to make
// the context current and how to show a finished frame in a window.
#pragma once

#include <memory>
#include <string>

#include "platform/d3d8/windows_types.h"

namespace gl {

class GlContext {
public:
    virtual ~GlContext() = default;
    virtual bool MakeCurrent() = 0;
    // Copies the colour attachment of framebuffer `fbo` (width x height, row 0 at the top of the
    // image) to the window and swaps. No-op without a window.
    virtual void ShowFrame(unsigned fbo, int width, int height) = 0;
    // Client size of the window in pixels, and whether it is shown (not hidden or minimised).
    virtual bool WindowState(int& width, int& height, bool& visible) = 0;
};

// Where the headless context writes captured frames (empty: none) and how often.
void SetHeadlessCapture(std::string directory, unsigned interval);
// Counts one presented frame (both context kinds call it).
void CountPresentedFrame();

// nullptr when no context could be made.
std::unique_ptr<GlContext> CreateHeadlessContext();
std::unique_ptr<GlContext> CreateSdlContext(HWND window);

}  // namespace gl
