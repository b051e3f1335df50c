// OpenGL 3.3 core contexts for the renderer: EGL surfaceless (Mesa) and SDL2 windows.
#include "platform/gl/gl_context.h"

#include <EGL/egl.h>
#include <EGL/eglext.h>
#include <SDL2/SDL.h>

#define GL_GLEXT_PROTOTYPES 1
#include <GL/glcorearb.h>

namespace gl {
namespace {

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
    void ShowFrame(unsigned, int, int) override {}
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
