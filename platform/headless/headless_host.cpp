#include "platform/headless/headless_host.h"

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <utility>

namespace host {
namespace {

DisplayDevice VirtualMonitor(int index, LONG x, LONG y, DWORD width, DWORD height) {
    DisplayDevice device;
    device.deviceName = "\\\\.\\DISPLAY" + std::to_string(index + 1);
    device.adapterDescription = "Headless Display Adapter";
    device.monitorDescription = "Virtual Monitor";
    device.stateFlags = DISPLAY_DEVICE_ATTACHED_TO_DESKTOP | (index == 0 ? DISPLAY_DEVICE_PRIMARY_DEVICE : 0);
    device.position = {x, y};
    device.width = width;
    device.height = height;
    return device;
}

bool ParseNumber(std::string_view text, long& value) {
    if (text.empty()) return false;
    auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    return ec == std::errc() && end == text.data() + text.size();
}

// "WxH+X+Y" (X and Y may be negative: "1024x768+-1024+0" or "1024x768-1024+0").
bool ParseGeometry(std::string_view text, DisplayDevice& device, int index) {
    const auto x = text.find('x');
    if (x == std::string_view::npos) return false;
    std::size_t signAt = text.find_first_of("+-", x + 1);
    if (signAt == std::string_view::npos) return false;
    std::size_t secondSign = text.find_first_of("+-", signAt + 1);
    if (secondSign == signAt + 1) secondSign = text.find_first_of("+-", signAt + 2);
    if (secondSign == std::string_view::npos) return false;
    long w = 0, h = 0, px = 0, py = 0;
    std::string_view xs = text.substr(signAt, secondSign - signAt);
    std::string_view ys = text.substr(secondSign);
    auto stripPlus = [](std::string_view s) {
        if (s.size() > 1 && s[0] == '+') s.remove_prefix(1);
        if (s.size() > 1 && s[0] == '+') s.remove_prefix(1);
        return s;
    };
    if (!ParseNumber(text.substr(0, x), w) || !ParseNumber(text.substr(x + 1, signAt - x - 1), h) ||
        !ParseNumber(stripPlus(xs), px) || !ParseNumber(stripPlus(ys), py))
        return false;
    if (w < 1 || h < 1 || w > 16384 || h > 16384 || px < -65536 || px > 65536 || py < -65536 || py > 65536)
        return false;
    device = VirtualMonitor(index, static_cast<LONG>(px), static_cast<LONG>(py), static_cast<DWORD>(w),
                            static_cast<DWORD>(h));
    return true;
}

bool Intersects(const RECT& a, const RECT& b) {
    return a.left < b.right && b.left < a.right && a.top < b.bottom && b.top < a.bottom;
}

}  // namespace

std::uint32_t HeadlessWindow::Pixel(int x, int y) const {
    if (x < 0 || y < 0 || x >= Width() || y >= Height()) return 0;
    const std::size_t at = static_cast<std::size_t>(y) * static_cast<std::size_t>(Width()) + static_cast<std::size_t>(x);
    return at < pixels.size() ? pixels[at] : 0;
}

HeadlessHost::HeadlessHost() : HeadlessHost(Options{}) {}

HeadlessHost::HeadlessHost(Options options) : options_(std::move(options)), nowMs_(options_.startMs) {
    if (options_.monitors.empty()) options_.monitors.push_back(VirtualMonitor(0, 0, 0, 1024, 768));
    std::stable_sort(options_.script.begin(), options_.script.end(),
                     [](const ScriptEvent& a, const ScriptEvent& b) { return a.atMs < b.atMs; });
}

HeadlessHost::~HeadlessHost() = default;

bool HeadlessHost::ParseScript(const std::string& text, std::vector<ScriptEvent>& script, std::string& error) {
    std::string_view rest = text;
    while (!rest.empty()) {
        std::size_t comma = rest.find(',');
        std::string_view item = rest.substr(0, comma);
        rest = comma == std::string_view::npos ? std::string_view{} : rest.substr(comma + 1);
        if (item.empty()) continue;
        std::size_t colon = item.find(':');
        long at = 0;
        if (colon == std::string_view::npos || !ParseNumber(item.substr(0, colon), at) || at < 0 ||
            at > 0x7fffffffL) {
            error = "bad script event '" + std::string(item) + "' (want TIME:EVENT)";
            return false;
        }
        std::string_view name = item.substr(colon + 1);
        ScriptEvent event;
        event.atMs = static_cast<DWORD>(at);
        using K = ScriptEvent::Kind;
        if (name == "key") {
            event.kind = K::Key;
            event.wParam = VK_SPACE;
        } else if (name == "click") {
            event.kind = K::LeftClick;
        } else if (name == "rclick") {
            event.kind = K::RightClick;
        } else if (name == "mclick") {
            event.kind = K::MiddleClick;
        } else if (name == "move") {
            event.kind = K::Move;
        } else if (name == "deactivate") {
            event.kind = K::Deactivate;
        } else if (name == "close") {
            event.kind = K::Close;
        } else if (name == "suspend") {
            event.kind = K::Suspend;
        } else if (name == "screensave") {
            event.kind = K::SysCommand;
            event.wParam = SC_SCREENSAVE;
        } else {
            error = "unknown script event '" + std::string(name) + "'";
            return false;
        }
        script.push_back(event);
    }
    return true;
}

bool HeadlessHost::ParseOptions(std::vector<std::string>& args, Options& options, std::string& error) {
    std::vector<std::string> kept;
    for (const std::string& arg : args) {
        auto value = [&](std::string_view flag) -> std::optional<std::string_view> {
            if (arg.size() > flag.size() && arg.compare(0, flag.size(), flag) == 0) {
                return std::string_view(arg).substr(flag.size());
            }
            return std::nullopt;
        };
        if (auto v = value("--monitors=")) {
            long n = 0;
            if (!ParseNumber(*v, n) || n < 1 || n > 9) {
                error = "--monitors wants 1..9";
                return false;
            }
            options.monitors.clear();
            for (int i = 0; i < n; ++i) options.monitors.push_back(VirtualMonitor(i, 1024 * i, 0, 1024, 768));
        } else if (auto v = value("--monitor=")) {
            DisplayDevice device;
            if (!ParseGeometry(*v, device, static_cast<int>(options.monitors.size()))) {
                error = "--monitor wants WxH+X+Y";
                return false;
            }
            options.monitors.push_back(device);
        } else if (auto v = value("--script=")) {
            if (!ParseScript(std::string(*v), options.script, error)) return false;
        } else if (auto v = value("--run-ms=")) {
            long n = 0;
            if (!ParseNumber(*v, n) || n < 0 || n > 0x7fffffffL) {
                error = "--run-ms wants a number of milliseconds";
                return false;
            }
            options.runMs = static_cast<DWORD>(n);
        } else {
            kept.push_back(arg);
        }
    }
    args = std::move(kept);
    return true;
}

bool HeadlessHost::RegisterWindowClass(const WindowClass& windowClass) {
    class_ = windowClass;
    classRegistered_ = true;
    return true;
}

HWND HeadlessHost::CreateSaverWindow(const WindowSpec& spec) {
    if (!classRegistered_ || spec.className != class_.name) return nullptr;
    auto window = std::make_unique<HeadlessWindow>();
    window->spec = spec;
    window->client = spec.rect;
    // A preview whose parent is unknown gets a window of the preview's own size.
    if (spec.role == WindowRole::Preview && spec.parent != nullptr && Find(spec.parent) == nullptr &&
        foreign_.find(reinterpret_cast<std::uintptr_t>(spec.parent)) == foreign_.end()) {
        window->client = {0, 0, 155, 115};
    }
    if (window->Width() <= 0 || window->Height() <= 0 || window->Width() > 16384 || window->Height() > 16384) {
        return nullptr;
    }
    window->pixels.assign(static_cast<std::size_t>(window->Width()) * static_cast<std::size_t>(window->Height()), 0);
    HWND handle = reinterpret_cast<HWND>(window.get());
    windows_.push_back(std::move(window));
    if (class_.procedure != nullptr) class_.procedure(handle, WM_CREATE, 0, 0);
    return handle;
}

void HeadlessHost::DestroyWindow(HWND window) {
    auto it = std::find_if(windows_.begin(), windows_.end(),
                           [&](const auto& w) { return reinterpret_cast<HWND>(w.get()) == window; });
    if (it == windows_.end()) return;
    if (class_.procedure != nullptr) class_.procedure(window, WM_DESTROY, 0, 0);
    std::erase_if(timers_, [&](const Timer& t) { return t.window == window; });
    std::erase_if(queue_, [&](const Message& m) { return m.window == window; });
    // Find the record again: the procedure may have destroyed other windows.
    it = std::find_if(windows_.begin(), windows_.end(),
                      [&](const auto& w) { return reinterpret_cast<HWND>(w.get()) == window; });
    if (it != windows_.end()) windows_.erase(it);
}

bool HeadlessHost::GetClientRect(HWND window, RECT& rect) {
    if (HeadlessWindow* w = Find(window)) {
        rect = {0, 0, w->Width(), w->Height()};
        return true;
    }
    auto it = foreign_.find(reinterpret_cast<std::uintptr_t>(window));
    if (it == foreign_.end()) return false;
    rect = it->second.client;
    return true;
}

void HeadlessHost::Queue(const ScriptEvent& event) {
    HWND main = MainWindow();
    if (main == nullptr) return;
    using K = ScriptEvent::Kind;
    switch (event.kind) {
        case K::Key: PostMessage(main, WM_KEYDOWN, event.wParam, 0); break;
        case K::LeftClick: PostMessage(main, WM_LBUTTONDOWN, 0, 0); break;
        case K::RightClick: PostMessage(main, WM_RBUTTONDOWN, 0, 0); break;
        case K::MiddleClick: PostMessage(main, WM_MBUTTONDOWN, 0, 0); break;
        case K::Move:
            PostMessage(main, WM_SETCURSOR, reinterpret_cast<WPARAM>(main), 0);
            PostMessage(main, WM_MOUSEMOVE, 0, 0);
            break;
        case K::Deactivate: PostMessage(main, WM_ACTIVATEAPP, 0, 0); break;
        case K::Close: PostMessage(main, WM_CLOSE, 0, 0); break;
        case K::Suspend: PostMessage(main, WM_POWERBROADCAST, PBT_APMSUSPEND, 0); break;
        case K::SysCommand: PostMessage(main, WM_SYSCOMMAND, event.wParam, 0); break;
    }
}

void HeadlessHost::Inject(ScriptEvent::Kind kind, WPARAM wParam) {
    ScriptEvent event;
    event.kind = kind;
    event.wParam = kind == ScriptEvent::Kind::Key && wParam == 0 ? VK_SPACE : wParam;
    Queue(event);
}

void HeadlessHost::QueueDueScript() {
    while (nextScript_ < options_.script.size() && options_.script[nextScript_].atMs <= ElapsedMs()) {
        Queue(options_.script[nextScript_]);
        ++nextScript_;
    }
    if (options_.runMs != 0 && !runLimitSent_ && ElapsedMs() >= options_.runMs && MainWindow() != nullptr) {
        runLimitSent_ = true;
        PostMessage(MainWindow(), WM_CLOSE, 0, 0);
    }
}

bool HeadlessHost::PeekMessage(Message& message) {
    QueueDueScript();
    if (!queue_.empty()) {
        message = queue_.front();
        queue_.pop_front();
        return true;
    }
    if (quitPosted_) {
        message = {nullptr, WM_QUIT, 0, 0};
        quitPosted_ = false;
        return true;
    }
    for (const auto& w : windows_) {
        if (w->needsPaint) {
            w->needsPaint = false;  // validated by this delivery, as BeginPaint would
            message = {reinterpret_cast<HWND>(w.get()), WM_PAINT, 0, 0};
            return true;
        }
    }
    for (Timer& timer : timers_) {
        if (timer.due <= nowMs_) {
            timer.due = nowMs_ + timer.period;  // late timers fire once, not in a burst
            message = {timer.window, WM_TIMER, timer.id, 0};
            return true;
        }
    }
    return false;
}

std::optional<DWORD> HeadlessHost::NextDueTime() const {
    std::optional<DWORD> due;
    auto consider = [&](DWORD t) {
        if (!due || t < *due) due = t;
    };
    for (const Timer& timer : timers_) consider(timer.due);
    if (nextScript_ < options_.script.size()) consider(options_.startMs + options_.script[nextScript_].atMs);
    if (options_.runMs != 0 && !runLimitSent_ && MainWindow() != nullptr) consider(options_.startMs + options_.runMs);
    return due;
}

bool HeadlessHost::GetMessage(Message& message, HWND window) {
    for (;;) {
        if (PeekMessage(message)) {
            if (message.message == WM_QUIT) return false;
            if (window == nullptr || message.window == window || message.window == nullptr) return true;
            continue;  // a message for another window: dropped, nobody waits for it here
        }
        std::optional<DWORD> due = NextDueTime();
        // Nothing can ever arrive: answer as if the quit message had come rather than wait forever.
        if (!due) return false;
        if (*due > nowMs_) Advance(*due - nowMs_);
    }
}

void HeadlessHost::PostMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    queue_.push_back({window, message, wParam, lParam});
}

void HeadlessHost::PostQuitMessage(int) { quitPosted_ = true; }

LRESULT HeadlessHost::DispatchMessage(const Message& message) {
    if (message.window == nullptr || class_.procedure == nullptr) return 0;
    if (Find(message.window) == nullptr) return 0;
    return class_.procedure(message.window, message.message, message.wParam, message.lParam);
}

LRESULT HeadlessHost::DefaultWindowProc(HWND window, UINT message, WPARAM, LPARAM) {
    switch (message) {
        case WM_PAINT:
            if (HeadlessWindow* w = Find(window)) {
                std::fill(w->pixels.begin(), w->pixels.end(), 0u);  // the black class background
            }
            return 0;
        case WM_SETCURSOR:
            cursorVisible_ = true;  // the class cursor
            return 1;
        case WM_CLOSE:
            DestroyWindow(window);
            return 0;
        default:
            return 0;
    }
}

void HeadlessHost::SetTimer(HWND window, UINT_PTR id, UINT milliseconds) {
    for (Timer& timer : timers_) {
        if (timer.window == window && timer.id == id) {
            timer.period = milliseconds;
            timer.due = nowMs_ + milliseconds;
            return;
        }
    }
    timers_.push_back({window, id, milliseconds, nowMs_ + milliseconds});
}

void HeadlessHost::KillTimer(HWND window, UINT_PTR id) {
    std::erase_if(timers_, [&](const Timer& t) { return t.window == window && t.id == id; });
}

bool HeadlessHost::HasTimer(HWND window, UINT_PTR id) const {
    return std::any_of(timers_.begin(), timers_.end(),
                       [&](const Timer& t) { return t.window == window && t.id == id; });
}

void HeadlessHost::ShowCursor(bool visible) { cursorVisible_ = visible; }

bool HeadlessHost::EnumDisplayDevice(DWORD index, DisplayDevice& device) {
    if (index >= options_.monitors.size()) return false;
    device = options_.monitors[index];
    return true;
}

HMONITOR HeadlessHost::MonitorFromRect(const RECT& rect) {
    for (std::size_t i = 0; i < options_.monitors.size(); ++i) {
        const DisplayDevice& m = options_.monitors[i];
        if ((m.stateFlags & DISPLAY_DEVICE_ATTACHED_TO_DESKTOP) == 0) continue;
        RECT bounds{m.position.x, m.position.y, m.position.x + static_cast<LONG>(m.width),
                    m.position.y + static_cast<LONG>(m.height)};
        if (Intersects(rect, bounds)) return reinterpret_cast<HMONITOR>(i + 1);
    }
    return nullptr;
}

int HeadlessHost::MessageBox(HWND owner, const std::string& text, const std::string& caption, UINT type) {
    boxes_.push_back({owner, text, caption, type});
    if (options_.echoBoxes) std::fprintf(stderr, "[%s] %s\n", caption.c_str(), text.c_str());
    return IDOK;
}

void HeadlessHost::DrawPicture(HWND window, const Picture& picture) {
    HeadlessWindow* w = Find(window);
    if (w == nullptr) return;
    ++w->paintCount;
    const int width = std::min(picture.width, w->Width());
    const int height = std::min(picture.height, w->Height());
    if (picture.width <= 0 || picture.height <= 0 ||
        picture.rgb.size() < static_cast<std::size_t>(picture.width) * static_cast<std::size_t>(picture.height) * 3)
        return;
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            const std::size_t s = (static_cast<std::size_t>(y) * static_cast<std::size_t>(picture.width) + static_cast<std::size_t>(x)) * 3;
            w->pixels[static_cast<std::size_t>(y) * static_cast<std::size_t>(w->Width()) + static_cast<std::size_t>(x)] =
                (std::uint32_t{picture.rgb[s]} << 16) | (std::uint32_t{picture.rgb[s + 1]} << 8) | picture.rgb[s + 2];
        }
    }
}

void HeadlessHost::FillWindow(HWND window, COLORREF colour) {
    HeadlessWindow* w = Find(window);
    if (w == nullptr) return;
    ++w->paintCount;
    // COLORREF is 0x00BBGGRR.
    const std::uint32_t rgb = ((colour & 0xFF) << 16) | (colour & 0xFF00) | ((colour >> 16) & 0xFF);
    std::fill(w->pixels.begin(), w->pixels.end(), rgb);
}

void HeadlessHost::Advance(DWORD ms) { nowMs_ += ms; }

DWORD HeadlessHost::TimeGetTime() { return nowMs_; }

void HeadlessHost::Sleep(DWORD milliseconds) { Advance(milliseconds); }

std::time_t HeadlessHost::Time() { return options_.startTime + static_cast<std::time_t>(ElapsedMs() / 1000); }

DWORD HeadlessHost::PlatformId() { return VER_PLATFORM_WIN32_NT; }

bool HeadlessHost::ReadScreenSaveUsePassword(DWORD&) { return false; }

HMODULE HeadlessHost::LoadPasswordLibrary() { return nullptr; }

PasswordVerifier HeadlessHost::FindVerifyPassword(HMODULE) { return {}; }

void HeadlessHost::FreePasswordLibrary(HMODULE) {}

void HeadlessHost::ChangePassword(HWND) {}

bool HeadlessHost::FindWindowByClass(const std::string& className) {
    for (const auto& w : windows_)
        if (w->spec.className == className) return true;
    for (const auto& [handle, f] : foreign_)
        if (f.className == className) return true;
    return false;
}

bool HeadlessHost::FindTopLevelWindowByTitle(const std::string& title) {
    for (const auto& w : windows_)
        if (w->spec.parent == nullptr && w->spec.title == title) return true;
    for (const auto& [handle, f] : foreign_)
        if (f.title == title) return true;
    return false;
}

std::vector<HeadlessWindow*> HeadlessHost::Windows() const {
    std::vector<HeadlessWindow*> out;
    for (const auto& w : windows_) out.push_back(w.get());
    return out;
}

HeadlessWindow* HeadlessHost::Find(HWND window) const {
    for (const auto& w : windows_)
        if (reinterpret_cast<HWND>(w.get()) == window) return w.get();
    return nullptr;
}

HWND HeadlessHost::MainWindow() const {
    return windows_.empty() ? nullptr : reinterpret_cast<HWND>(windows_.front().get());
}

void HeadlessHost::AddForeignWindow(HWND handle, RECT client, std::string className, std::string title) {
    foreign_[reinterpret_cast<std::uintptr_t>(handle)] = {client, std::move(className), std::move(title)};
}

}  // namespace host
