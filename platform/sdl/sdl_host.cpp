#include "platform/sdl/sdl_host.h"

#include <SDL2/SDL.h>
#include <SDL2/SDL_syswm.h>
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <ctime>

namespace host {
namespace {

int IgnoreXErrors(::Display*, XErrorEvent*) { return 0; }

// Xlib's error handler is process-wide: swap ours in only around calls on windows that may be
// gone or foreign, and put the previous one back.
class XErrorTrap {
public:
    explicit XErrorTrap(::Display* display) : display_(display) {
        XSync(display_, False);
        previous_ = XSetErrorHandler(&IgnoreXErrors);
    }
    ~XErrorTrap() {
        XSync(display_, False);
        XSetErrorHandler(previous_);
    }

private:
    ::Display* display_;
    int (*previous_)(::Display*, XErrorEvent*);
};

constexpr DWORD kFocusSettleMs = 150;  // focus moving between our own windows arrives as lost + gained

}  // namespace

struct SdlHost::Impl {
    struct Window {
        SDL_Window* sdl = nullptr;
        WindowRole role = WindowRole::Test;
    };
    struct Timer {
        HWND window;
        UINT_PTR id;
        UINT period;
        DWORD due;
    };

    ::Display* x = nullptr;
    bool sdlUp = false;
    WindowClass windowClass;
    bool registered = false;
    std::vector<Window> windows;
    std::deque<Message> queue;
    std::vector<Timer> timers;
    std::vector<DisplayDevice> monitors;
    std::vector<RECT> bounds;
    bool quitPosted = false;
    bool hadFocus = false;
    bool focusLostPending = false;
    DWORD focusLostAt = 0;

    HWND Main() const { return windows.empty() ? nullptr : reinterpret_cast<HWND>(windows.front().sdl); }
    Window* Find(HWND hwnd) {
        for (Window& w : windows)
            if (reinterpret_cast<HWND>(w.sdl) == hwnd) return &w;
        return nullptr;
    }
    HWND FromId(Uint32 id) {
        SDL_Window* w = SDL_GetWindowFromID(id);
        if (w != nullptr && Find(reinterpret_cast<HWND>(w)) != nullptr) return reinterpret_cast<HWND>(w);
        return Main();
    }
    bool OurWindowHasFocus() {
        SDL_Window* focus = SDL_GetKeyboardFocus();
        return focus != nullptr && Find(reinterpret_cast<HWND>(focus)) != nullptr;
    }
    ::Window XidOf(SDL_Window* window) {
        SDL_SysWMinfo info;
        SDL_VERSION(&info.version);
        if (!SDL_GetWindowWMInfo(window, &info) || info.subsystem != SDL_SYSWM_X11) return 0;
        return info.info.x11.window;
    }
    void Post(HWND hwnd, UINT message, WPARAM wParam = 0, LPARAM lParam = 0) {
        if (hwnd != nullptr) queue.push_back({hwnd, message, wParam, lParam});
    }
    void Translate(const SDL_Event& e) {
        switch (e.type) {
            case SDL_KEYDOWN:
                Post(FromId(e.key.windowID), WM_KEYDOWN, static_cast<WPARAM>(e.key.keysym.sym & 0xFFFF));
                break;
            case SDL_MOUSEBUTTONDOWN: {
                const UINT m = e.button.button == SDL_BUTTON_LEFT    ? WM_LBUTTONDOWN
                               : e.button.button == SDL_BUTTON_RIGHT ? WM_RBUTTONDOWN
                                                                     : WM_MBUTTONDOWN;
                Post(FromId(e.button.windowID), m, 0,
                     static_cast<LPARAM>((e.button.x & 0xFFFF) | ((e.button.y & 0xFFFF) << 16)));
                break;
            }
            case SDL_MOUSEMOTION: {
                HWND w = FromId(e.motion.windowID);
                Post(w, WM_SETCURSOR, reinterpret_cast<WPARAM>(w), 1 /* HTCLIENT */ | (LPARAM{WM_MOUSEMOVE} << 16));
                Post(w, WM_MOUSEMOVE, 0, static_cast<LPARAM>((e.motion.x & 0xFFFF) | ((e.motion.y & 0xFFFF) << 16)));
                break;
            }
            case SDL_WINDOWEVENT:
                switch (e.window.event) {
                    case SDL_WINDOWEVENT_CLOSE: Post(FromId(e.window.windowID), WM_CLOSE); break;
                    case SDL_WINDOWEVENT_EXPOSED: Post(FromId(e.window.windowID), WM_PAINT); break;
                    case SDL_WINDOWEVENT_FOCUS_GAINED:
                        hadFocus = true;
                        focusLostPending = false;
                        break;
                    case SDL_WINDOWEVENT_FOCUS_LOST:
                        if (hadFocus) {
                            focusLostPending = true;
                            focusLostAt = SDL_GetTicks();
                        }
                        break;
                    default: break;
                }
                break;
            case SDL_QUIT:
            case SDL_APP_TERMINATING: Post(Main(), WM_CLOSE); break;
            case SDL_APP_WILLENTERBACKGROUND: Post(Main(), WM_POWERBROADCAST, PBT_APMSUSPEND); break;
            default: break;
        }
    }
    void Pump() {
        SDL_Event e;
        while (SDL_PollEvent(&e)) Translate(e);
        if (focusLostPending && SDL_GetTicks() - focusLostAt >= kFocusSettleMs) {
            focusLostPending = false;
            if (!OurWindowHasFocus()) Post(Main(), WM_ACTIVATEAPP, 0);
        }
    }
    void Fill(SDL_Window* window, Uint8 r, Uint8 g, Uint8 b, const Picture* picture) {
        // A window that the GL layer draws into is left to it.
        if (SDL_GL_GetCurrentWindow() == window) return;
        SDL_Surface* surface = SDL_GetWindowSurface(window);
        if (surface == nullptr) return;
        SDL_FillRect(surface, nullptr, SDL_MapRGB(surface->format, r, g, b));
        if (picture != nullptr && picture->width > 0 && picture->height > 0 &&
            picture->rgb.size() >= static_cast<std::size_t>(picture->width) * static_cast<std::size_t>(picture->height) * 3) {
            SDL_Surface* source = SDL_CreateRGBSurfaceWithFormatFrom(
                const_cast<std::uint8_t*>(picture->rgb.data()), picture->width, picture->height, 24,
                picture->width * 3, SDL_PIXELFORMAT_RGB24);
            if (source != nullptr) {
                SDL_Rect at{0, 0, picture->width, picture->height};
                SDL_BlitSurface(source, nullptr, surface, &at);
                SDL_FreeSurface(source);
            }
        }
        SDL_UpdateWindowSurface(window);
    }
    bool Matches(::Window w, const std::string& className, const std::string& title) {
        bool found = false;
        if (!className.empty()) {
            XClassHint hint{};
            if (XGetClassHint(x, w, &hint)) {
                found = hint.res_class != nullptr && className == hint.res_class;
                if (hint.res_name) XFree(hint.res_name);
                if (hint.res_class) XFree(hint.res_class);
            }
        }
        if (!found && !title.empty()) {
            char* name = nullptr;
            if (XFetchName(x, w, &name) && name != nullptr) {
                found = title == name;
                XFree(name);
            }
            if (!found) {
                Atom netName = XInternAtom(x, "_NET_WM_NAME", False);
                Atom utf8 = XInternAtom(x, "UTF8_STRING", False);
                Atom type = 0;
                int format = 0;
                unsigned long count = 0, after = 0;
                unsigned char* data = nullptr;
                if (XGetWindowProperty(x, w, netName, 0, 1024, False, utf8, &type, &format, &count, &after, &data) ==
                        Success &&
                    data != nullptr) {
                    found = type == utf8 && format == 8 && title == std::string(reinterpret_cast<char*>(data), count);
                    XFree(data);
                }
            }
        }
        return found;
    }
    bool Search(::Window w, int depth, const std::string& className, const std::string& title) {
        ::Window root = 0, parent = 0;
        ::Window* children = nullptr;
        unsigned int count = 0;
        if (!XQueryTree(x, w, &root, &parent, &children, &count)) return false;
        bool found = false;
        for (unsigned int i = 0; i < count && !found; ++i) {
            found = Matches(children[i], className, title) ||
                    (depth > 1 && Search(children[i], depth - 1, className, title));
        }
        if (children != nullptr) XFree(children);
        return found;
    }
    bool FindAny(const std::string& className, const std::string& title) {
        if (x == nullptr) return false;
        XErrorTrap trap(x);
        return Search(DefaultRootWindow(x), 3, className, title);
    }
};

SdlHost::SdlHost() : impl_(std::make_unique<Impl>()) {}

SdlHost::~SdlHost() {
    for (auto& w : impl_->windows) SDL_DestroyWindow(w.sdl);
    impl_->windows.clear();
    if (impl_->sdlUp) SDL_Quit();
    if (impl_->x != nullptr) XCloseDisplay(impl_->x);
}

bool SdlHost::Init(std::string& error) {
    // Software window surfaces (black backgrounds, the preview picture) must not create a GL
    // renderer of their own on a window the GL layer may use.
    SDL_SetHint(SDL_HINT_FRAMEBUFFER_ACCELERATION, "0");
    SDL_SetHint(SDL_HINT_VIDEO_X11_NET_WM_BYPASS_COMPOSITOR, "0");
    SDL_SetHint(SDL_HINT_VIDEO_MINIMIZE_ON_FOCUS_LOSS, "0");
    // A click that arrives together with the window's focus (for instance while the loading
    // screen keeps the loop from reading events) must still reach the saver, which ends on it.
    SDL_SetHint(SDL_HINT_MOUSE_FOCUS_CLICKTHROUGH, "1");
    SDL_SetHint(SDL_HINT_VIDEODRIVER, "x11");
    if (SDL_Init(SDL_INIT_VIDEO | SDL_INIT_TIMER) != 0) {
        error = SDL_GetError();
        return false;
    }
    impl_->sdlUp = true;
    impl_->x = XOpenDisplay(nullptr);
    if (impl_->x == nullptr) {
        error = "cannot open the X display";
        return false;
    }
    const int count = SDL_GetNumVideoDisplays();
    std::vector<std::pair<SDL_Rect, std::string>> displays;
    for (int i = 0; i < count; ++i) {
        SDL_Rect r{};
        if (SDL_GetDisplayBounds(i, &r) != 0) continue;
        const char* name = SDL_GetDisplayName(i);
        displays.push_back({r, name != nullptr ? name : "Display"});
    }
    // The primary monitor sits at the desktop's origin; it is listed first so the scene goes there.
    std::stable_partition(displays.begin(), displays.end(),
                          [](const auto& d) { return d.first.x == 0 && d.first.y == 0; });
    for (std::size_t i = 0; i < displays.size(); ++i) {
        const SDL_Rect& r = displays[i].first;
        DisplayDevice device;
        device.deviceName = "\\\\.\\DISPLAY" + std::to_string(i + 1);
        device.adapterDescription = "SDL Video Display";
        device.monitorDescription = displays[i].second;
        device.stateFlags = DISPLAY_DEVICE_ATTACHED_TO_DESKTOP;
        if (r.x == 0 && r.y == 0 && i == 0) device.stateFlags |= DISPLAY_DEVICE_PRIMARY_DEVICE;
        device.position = {r.x, r.y};
        device.width = static_cast<DWORD>(r.w);
        device.height = static_cast<DWORD>(r.h);
        impl_->monitors.push_back(device);
        impl_->bounds.push_back({r.x, r.y, r.x + r.w, r.y + r.h});
    }
    return true;
}

bool SdlHost::RegisterWindowClass(const WindowClass& windowClass) {
    impl_->windowClass = windowClass;
    impl_->registered = true;
    return true;
}

HWND SdlHost::CreateSaverWindow(const WindowSpec& spec) {
    if (!impl_->registered || spec.className != impl_->windowClass.name) return nullptr;
    int x = spec.rect.left, y = spec.rect.top;
    int w = spec.rect.right - spec.rect.left, h = spec.rect.bottom - spec.rect.top;
    Uint32 flags = SDL_WINDOW_OPENGL;
    ::Window foreignParent = 0;
    switch (spec.role) {
        case WindowRole::Saver:
        case WindowRole::SaverBlack:
            flags |= SDL_WINDOW_BORDERLESS | SDL_WINDOW_ALWAYS_ON_TOP | SDL_WINDOW_SKIP_TASKBAR | SDL_WINDOW_SHOWN;
            break;
        case WindowRole::Test:
            flags |= SDL_WINDOW_SHOWN;
            break;
        case WindowRole::Preview: {
            flags |= SDL_WINDOW_BORDERLESS | SDL_WINDOW_HIDDEN;
            XWindowAttributes attributes{};
            const auto id = static_cast<::Window>(reinterpret_cast<std::uintptr_t>(spec.parent));
            bool valid = false;
            if (id != 0 && impl_->x != nullptr) {
                XErrorTrap trap(impl_->x);
                valid = XGetWindowAttributes(impl_->x, id, &attributes) != 0;
            }
            if (valid) {
                foreignParent = id;
                x = 0;
                y = 0;
                w = std::max(1, attributes.width);
                h = std::max(1, attributes.height);
            } else {
                x = SDL_WINDOWPOS_CENTERED;
                y = SDL_WINDOWPOS_CENTERED;
                w = 155;
                h = 115;
                flags &= ~static_cast<Uint32>(SDL_WINDOW_BORDERLESS);
            }
            break;
        }
    }
    if (w <= 0 || h <= 0) return nullptr;
    SDL_Window* window = SDL_CreateWindow(spec.title.c_str(), x, y, w, h, flags);
    if (window == nullptr) return nullptr;
    impl_->windows.push_back({window, spec.role});
    const ::Window xid = impl_->XidOf(window);
    if (xid != 0 && impl_->x != nullptr) {
        XClassHint hint;
        std::string name = spec.className;
        hint.res_name = name.data();
        hint.res_class = name.data();
        XSetClassHint(impl_->x, xid, &hint);
        if (foreignParent != 0) {
            XErrorTrap trap(impl_->x);
            XReparentWindow(impl_->x, xid, foreignParent, 0, 0);
            XMapWindow(impl_->x, xid);
        }
        XFlush(impl_->x);
    }
    if (spec.role == WindowRole::Preview) SDL_ShowWindow(window);
    if (spec.role == WindowRole::Saver) SDL_RaiseWindow(window);
    HWND handle = reinterpret_cast<HWND>(window);
    if (impl_->windowClass.procedure != nullptr) impl_->windowClass.procedure(handle, WM_CREATE, 0, 0);
    return handle;
}

void SdlHost::DestroyWindow(HWND window) {
    if (impl_->Find(window) == nullptr) return;
    if (impl_->windowClass.procedure != nullptr) impl_->windowClass.procedure(window, WM_DESTROY, 0, 0);
    auto it = std::find_if(impl_->windows.begin(), impl_->windows.end(),
                           [&](const Impl::Window& w) { return reinterpret_cast<HWND>(w.sdl) == window; });
    if (it == impl_->windows.end()) return;
    SDL_DestroyWindow(it->sdl);
    impl_->windows.erase(it);
    std::erase_if(impl_->timers, [&](const Impl::Timer& t) { return t.window == window; });
    std::erase_if(impl_->queue, [&](const Message& m) { return m.window == window; });
}

bool SdlHost::GetClientRect(HWND window, RECT& rect) {
    if (Impl::Window* w = impl_->Find(window)) {
        int width = 0, height = 0;
        SDL_GetWindowSize(w->sdl, &width, &height);
        rect = {0, 0, width, height};
        return true;
    }
    const auto id = static_cast<::Window>(reinterpret_cast<std::uintptr_t>(window));
    if (id == 0 || impl_->x == nullptr) return false;
    XWindowAttributes attributes{};
    bool ok = false;
    {
        XErrorTrap trap(impl_->x);
        ok = XGetWindowAttributes(impl_->x, id, &attributes) != 0;
    }
    if (!ok) return false;
    rect = {0, 0, attributes.width, attributes.height};
    return true;
}

bool SdlHost::PeekMessage(Message& message) {
    impl_->Pump();
    if (!impl_->queue.empty()) {
        message = impl_->queue.front();
        impl_->queue.pop_front();
        return true;
    }
    if (impl_->quitPosted) {
        impl_->quitPosted = false;
        message = {nullptr, WM_QUIT, 0, 0};
        return true;
    }
    const DWORD now = SDL_GetTicks();
    for (Impl::Timer& timer : impl_->timers) {
        if (static_cast<std::int32_t>(now - timer.due) >= 0) {
            timer.due = now + timer.period;
            message = {timer.window, WM_TIMER, timer.id, 0};
            return true;
        }
    }
    return false;
}

bool SdlHost::GetMessage(Message& message, HWND window) {
    for (;;) {
        if (PeekMessage(message)) {
            if (message.message == WM_QUIT) return false;
            if (window == nullptr || message.window == window || message.window == nullptr) return true;
            continue;
        }
        SDL_WaitEventTimeout(nullptr, 5);
    }
}

void SdlHost::PostMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    impl_->queue.push_back({window, message, wParam, lParam});
}

void SdlHost::PostQuitMessage(int) { impl_->quitPosted = true; }

LRESULT SdlHost::DispatchMessage(const Message& message) {
    if (impl_->windowClass.procedure == nullptr || impl_->Find(message.window) == nullptr) return 0;
    return impl_->windowClass.procedure(message.window, message.message, message.wParam, message.lParam);
}

LRESULT SdlHost::DefaultWindowProc(HWND window, UINT message, WPARAM, LPARAM) {
    switch (message) {
        case WM_PAINT:
            if (Impl::Window* w = impl_->Find(window)) impl_->Fill(w->sdl, 0, 0, 0, nullptr);
            return 0;
        case WM_SETCURSOR:
            SDL_ShowCursor(SDL_ENABLE);
            return 1;
        case WM_CLOSE:
            DestroyWindow(window);
            return 0;
        default:
            return 0;
    }
}

void SdlHost::SetTimer(HWND window, UINT_PTR id, UINT milliseconds) {
    const DWORD now = SDL_GetTicks();
    for (Impl::Timer& timer : impl_->timers) {
        if (timer.window == window && timer.id == id) {
            timer.period = milliseconds;
            timer.due = now + milliseconds;
            return;
        }
    }
    impl_->timers.push_back({window, id, milliseconds, now + milliseconds});
}

void SdlHost::KillTimer(HWND window, UINT_PTR id) {
    std::erase_if(impl_->timers, [&](const Impl::Timer& t) { return t.window == window && t.id == id; });
}

void SdlHost::ShowCursor(bool visible) { SDL_ShowCursor(visible ? SDL_ENABLE : SDL_DISABLE); }

bool SdlHost::EnumDisplayDevice(DWORD index, DisplayDevice& device) {
    if (index >= impl_->monitors.size()) return false;
    device = impl_->monitors[index];
    return true;
}

HMONITOR SdlHost::MonitorFromRect(const RECT& rect) {
    for (std::size_t i = 0; i < impl_->bounds.size(); ++i) {
        const RECT& b = impl_->bounds[i];
        if (rect.left < b.right && b.left < rect.right && rect.top < b.bottom && b.top < rect.bottom)
            return reinterpret_cast<HMONITOR>(i + 1);
    }
    return nullptr;
}

int SdlHost::MessageBox(HWND owner, const std::string& text, const std::string& caption, UINT type) {
    Uint32 flags = SDL_MESSAGEBOX_INFORMATION;
    if ((type & 0xF0) == MB_ICONERROR) flags = SDL_MESSAGEBOX_ERROR;
    if ((type & 0xF0) == MB_ICONWARNING) flags = SDL_MESSAGEBOX_WARNING;
    Impl::Window* w = impl_->Find(owner);
    if (SDL_ShowSimpleMessageBox(flags, caption.c_str(), text.c_str(), w != nullptr ? w->sdl : nullptr) != 0) {
        std::fprintf(stderr, "[%s] %s\n", caption.c_str(), text.c_str());
    }
    return IDOK;
}

void SdlHost::DrawPicture(HWND window, const Picture& picture) {
    if (Impl::Window* w = impl_->Find(window)) impl_->Fill(w->sdl, 0, 0, 0, &picture);
}

void SdlHost::FillWindow(HWND window, COLORREF colour) {
    if (Impl::Window* w = impl_->Find(window))
        impl_->Fill(w->sdl, colour & 0xFF, (colour >> 8) & 0xFF, (colour >> 16) & 0xFF, nullptr);
}

DWORD SdlHost::TimeGetTime() { return SDL_GetTicks(); }
void SdlHost::Sleep(DWORD milliseconds) { SDL_Delay(milliseconds); }
std::time_t SdlHost::Time() { return std::time(nullptr); }
DWORD SdlHost::PlatformId() { return VER_PLATFORM_WIN32_NT; }
bool SdlHost::ReadScreenSaveUsePassword(DWORD&) { return false; }
HMODULE SdlHost::LoadPasswordLibrary() { return nullptr; }
PasswordVerifier SdlHost::FindVerifyPassword(HMODULE) { return {}; }
void SdlHost::FreePasswordLibrary(HMODULE) {}
void SdlHost::ChangePassword(HWND) {}

bool SdlHost::FindWindowByClass(const std::string& className) { return impl_->FindAny(className, {}); }
bool SdlHost::FindTopLevelWindowByTitle(const std::string& title) { return impl_->FindAny({}, title); }

}  // namespace host
