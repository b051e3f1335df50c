// OpenGL 3.3 core contexts for the renderer: EGL surfaceless (Mesa) and SDL2 windows.
#include "platform/gl/gl_context.h"

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <mutex>
#include <system_error>
#include <string>
#include <vector>

#include "platform/gl/gl_window_system.h"

#include <EGL/egl.h>
#include <EGL/eglext.h>
#include <SDL2/SDL.h>

#define GL_GLEXT_PROTOTYPES 1
#include <GL/glcorearb.h>

namespace gl {
namespace {

struct FrameCapture {
    std::mutex mutex;
    std::string directory;
    unsigned interval = 1;
    unsigned long long frames = 0;
    std::chrono::steady_clock::time_point first, last;
};

FrameCapture& Capture() {
    static FrameCapture capture;
    return capture;
}

void PutLe(std::vector<std::uint8_t>& out, std::size_t at, std::uint32_t value, int bytes) {
    for (int i = 0; i < bytes; ++i) out[at + i] = static_cast<std::uint8_t>(value >> (8 * i));
}

// Reads the colour attachment of `fbo` (row 0 at the top) and writes it as a bottom-up 24-bit BMP.
void WriteFrameBitmap(const std::string& path, unsigned fbo, int width, int height) {
    if (width <= 0 || height <= 0) return;
    const std::size_t w = static_cast<std::size_t>(width), h = static_cast<std::size_t>(height);
    std::vector<std::uint8_t> pixels(w * h * 4);
    glBindFramebuffer(GL_READ_FRAMEBUFFER, fbo);
    glPixelStorei(GL_PACK_ALIGNMENT, 4);
    glReadPixels(0, 0, width, height, GL_BGRA, GL_UNSIGNED_BYTE, pixels.data());
    const std::size_t stride = (w * 3 + 3) & ~std::size_t{3};
    std::vector<std::uint8_t> file(54 + stride * h, 0);
    file[0] = 'B';
    file[1] = 'M';
    PutLe(file, 2, static_cast<std::uint32_t>(file.size()), 4);
    PutLe(file, 10, 54, 4);
    PutLe(file, 14, 40, 4);
    PutLe(file, 18, static_cast<std::uint32_t>(w), 4);
    PutLe(file, 22, static_cast<std::uint32_t>(h), 4);
    PutLe(file, 26, 1, 2);
    PutLe(file, 28, 24, 2);
    PutLe(file, 34, static_cast<std::uint32_t>(stride * h), 4);
    for (std::size_t y = 0; y < h; ++y) {
        const std::uint8_t* src = &pixels[y * w * 4];
        std::uint8_t* dst = &file[54 + (h - 1 - y) * stride];
        for (std::size_t x = 0; x < w; ++x) {
            dst[x * 3 + 0] = src[x * 4 + 0];
            dst[x * 3 + 1] = src[x * 4 + 1];
            dst[x * 3 + 2] = src[x * 4 + 2];
        }
    }
    if (std::FILE* f = std::fopen(path.c_str(), "wb")) {
        const bool ok = std::fwrite(file.data(), 1, file.size(), f) == file.size();
        if (std::fclose(f) != 0 || !ok) std::fprintf(stderr, "grimholt: cannot write %s\n", path.c_str());
    } else {
        std::fprintf(stderr, "grimholt: cannot write %s\n", path.c_str());
    }
}

class EglContext final : public GlContext {
public:
    // The surfaceless display is one per process and shared by every device, so it is never
    // terminated here: that would pull the contexts of the other devices away, and reloading the
    // driver for each device is slow (and its process-lifetime allocations would look like leaks
    // once it is unloaded).
    ~EglContext() override {
        if (display_ != EGL_NO_DISPLAY) {
            eglMakeCurrent(display_, EGL_NO_SURFACE, EGL_NO_SURFACE, EGL_NO_CONTEXT);
            if (context_ != EGL_NO_CONTEXT) eglDestroyContext(display_, context_);
        }
    }

    bool Init() {
        auto getPlatformDisplay =
            reinterpret_cast<PFNEGLGETPLATFORMDISPLAYEXTPROC>(eglGetProcAddress("eglGetPlatformDisplayEXT"));
        if (getPlatformDisplay == nullptr) return false;
        display_ = getPlatformDisplay(EGL_PLATFORM_SURFACELESS_MESA, EGL_DEFAULT_DISPLAY, nullptr);
        if (display_ == EGL_NO_DISPLAY) return false;
        EGLint major = 0, minor = 0;
        if (!eglInitialize(display_, &major, &minor)) {
            display_ = EGL_NO_DISPLAY;
            return false;
        }
        if (!eglBindAPI(EGL_OPENGL_API)) return false;
        const EGLint configAttribs[] = {EGL_RENDERABLE_TYPE, EGL_OPENGL_BIT, EGL_NONE};
        EGLConfig config = nullptr;
        EGLint count = 0;
        eglChooseConfig(display_, configAttribs, &config, 1, &count);
        const EGLint contextAttribs[] = {EGL_CONTEXT_MAJOR_VERSION, 3, EGL_CONTEXT_MINOR_VERSION, 3,
                                         EGL_CONTEXT_OPENGL_PROFILE_MASK,
                                         EGL_CONTEXT_OPENGL_CORE_PROFILE_BIT, EGL_NONE};
        context_ = eglCreateContext(display_, count > 0 ? config : EGL_NO_CONFIG_KHR, EGL_NO_CONTEXT,
                                    contextAttribs);
        if (context_ == EGL_NO_CONTEXT) return false;
        return MakeCurrent();
    }

    bool MakeCurrent() override {
        return eglMakeCurrent(display_, EGL_NO_SURFACE, EGL_NO_SURFACE, context_) == EGL_TRUE;
    }
    void ShowFrame(unsigned fbo, int width, int height) override {
        CountPresentedFrame();
        FrameCapture& capture = Capture();
        std::string path;
        {
            std::lock_guard<std::mutex> lock(capture.mutex);
            if (capture.directory.empty() || (capture.frames - 1) % capture.interval != 0) return;
            char name[32];
            std::snprintf(name, sizeof name, "/frame_%05llu.bmp", (capture.frames - 1) / capture.interval);
            path = capture.directory + name;
        }
        WriteFrameBitmap(path, fbo, width, height);
    }
    bool WindowState(int&, int&, bool&) override { return false; }

private:
    EGLDisplay display_ = EGL_NO_DISPLAY;
    EGLContext context_ = EGL_NO_CONTEXT;
};

class SdlContext final : public GlContext {
public:
    explicit SdlContext(SDL_Window* window) : window_(window) {}
    ~SdlContext() override {
        if (context_ != nullptr) SDL_GL_DeleteContext(context_);
    }

    bool Init() {
        if (window_ == nullptr) return false;
        if ((SDL_GetWindowFlags(window_) & SDL_WINDOW_OPENGL) == 0) return false;
        SDL_GL_SetAttribute(SDL_GL_CONTEXT_MAJOR_VERSION, 3);
        SDL_GL_SetAttribute(SDL_GL_CONTEXT_MINOR_VERSION, 3);
        SDL_GL_SetAttribute(SDL_GL_CONTEXT_PROFILE_MASK, SDL_GL_CONTEXT_PROFILE_CORE);
        context_ = SDL_GL_CreateContext(window_);
        return context_ != nullptr && MakeCurrent();
    }

    bool MakeCurrent() override { return SDL_GL_MakeCurrent(window_, context_) == 0; }

    void ShowFrame(unsigned fbo, int width, int height) override {
        int w = 0, h = 0;
        SDL_GL_GetDrawableSize(window_, &w, &h);
        glBindFramebuffer(GL_READ_FRAMEBUFFER, fbo);
        glBindFramebuffer(GL_DRAW_FRAMEBUFFER, 0);
        // Our images keep row 0 at the top; the window's origin is bottom-left.
        glBlitFramebuffer(0, 0, width, height, 0, h, w, 0, GL_COLOR_BUFFER_BIT, GL_LINEAR);
        SDL_GL_SwapWindow(window_);
        CountPresentedFrame();
    }

    bool WindowState(int& width, int& height, bool& visible) override {
        SDL_GL_GetDrawableSize(window_, &width, &height);
        const Uint32 flags = SDL_GetWindowFlags(window_);
        visible = (flags & (SDL_WINDOW_HIDDEN | SDL_WINDOW_MINIMIZED)) == 0;
        return true;
    }

private:
    SDL_Window* window_;
    SDL_GLContext context_ = nullptr;
};

}  // namespace

void SetHeadlessCapture(std::string directory, unsigned interval) {
    FrameCapture& capture = Capture();
    std::lock_guard<std::mutex> lock(capture.mutex);
    capture.directory = std::move(directory);
    capture.interval = interval == 0 ? 1 : interval;
    if (!capture.directory.empty()) {
        // The folder is made here, once, so that a missing one does not fail every frame.
        std::error_code error;
        std::filesystem::create_directories(capture.directory, error);
        if (error)
            std::fprintf(stderr, "grimholt: cannot create %s: %s\n", capture.directory.c_str(),
                         error.message().c_str());
    }
}

void CountPresentedFrame() {
    FrameCapture& capture = Capture();
    std::lock_guard<std::mutex> lock(capture.mutex);
    capture.last = std::chrono::steady_clock::now();
    if (capture.frames++ == 0) capture.first = capture.last;
}

PresentStatistics GetPresentStatistics() {
    FrameCapture& capture = Capture();
    std::lock_guard<std::mutex> lock(capture.mutex);
    PresentStatistics stats;
    stats.frames = capture.frames;
    stats.wallMilliseconds = std::chrono::duration<double, std::milli>(capture.last - capture.first).count();
    return stats;
}

std::unique_ptr<GlContext> CreateHeadlessContext() {
    auto context = std::make_unique<EglContext>();
    if (!context->Init()) return nullptr;
    return context;
}

std::unique_ptr<GlContext> CreateSdlContext(HWND window) {
    auto context = std::make_unique<SdlContext>(reinterpret_cast<SDL_Window*>(window));
    if (!context->Init()) return nullptr;
    return context;
}

}  // namespace gl
