// The program's entry point on Linux: picks the desktop (SDL2) or the headless adapter, binds the
// GL layer to it, rebuilds the command-line text the shell parses and runs the shell.
//
//   grimholt [--headless] [headless flags] [/s | /t | /c[:id] | /p id | /a id]
// --headless (or no display) selects the headless adapter; its flags are listed in
// platform/headless/headless_host.h.
#include "platform/headless/headless_host.h"
#include "platform/sdl/sdl_host.h"
#include "settings/settings.h"
#include "shell/battle_saver.h"

#if defined(GRIM_HAVE_GL)
#include "platform/gl/gl_window_system.h"
#endif

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

namespace {

// The one application object, built before main runs.
BattleSaver g_saver;

#if defined(GRIM_HAVE_GL)
// What a headless run does with its frames: --frames-out=DIR writes every --frame-every=N-th
// presented frame there as a BMP; --frame-stats prints the count and the wall-clock frame rate.
struct FrameOutput {
    std::string directory;
    unsigned every = 1;
    bool stats = false;
};

bool TakeFrameOutputFlags(std::vector<std::string>& args, FrameOutput& out, std::string& error) {
    bool ok = true;
    std::erase_if(args, [&](const std::string& a) {
        if (a.rfind("--frames-out=", 0) == 0) {
            out.directory = a.substr(13);
            if (out.directory.empty()) ok = false, error = "--frames-out wants a folder";
            return true;
        }
        if (a.rfind("--frame-every=", 0) == 0) {
            char* end = nullptr;
            const unsigned long n = std::strtoul(a.c_str() + 14, &end, 10);
            if (end == a.c_str() + 14 || *end != '\0' || n == 0 || n > 1000000) {
                ok = false, error = "--frame-every wants a number from 1 to 1000000";
            } else {
                out.every = static_cast<unsigned>(n);
            }
            return true;
        }
        if (a == "--frame-stats") return out.stats = true;
        return false;
    });
    return ok;
}

void BindGlToHeadless(host::HeadlessHost& headless, const FrameOutput& frames) {
    gl::HeadlessOptions options;
    options.frameDirectory = frames.directory;
    options.frameInterval = frames.every;
    options.queryWindow = [&headless](HWND window, int& width, int& height, bool& visible) {
        host::HeadlessWindow* w = headless.Find(window);
        if (w == nullptr) return false;
        width = w->Width();
        height = w->Height();
        visible = w->visible;
        return true;
    };
    for (DWORD i = 0;; ++i) {
        host::DisplayDevice device;
        if (!headless.EnumDisplayDevice(i, device)) break;
        gl::HeadlessMonitor monitor;
        const RECT rect{device.position.x, device.position.y, device.position.x + static_cast<LONG>(device.width),
                        device.position.y + static_cast<LONG>(device.height)};
        monitor.handle = headless.MonitorFromRect(rect);
        monitor.desktop.Width = device.width;
        monitor.desktop.Height = device.height;
        options.monitors.push_back(monitor);
    }
    gl::UseHeadlessWindowSystem(std::move(options));
}
#endif

}  // namespace

int main(int argc, char** argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    bool headless = false;
    std::erase_if(args, [&](const std::string& a) {
        if (a == "--headless") headless = true;
        return a == "--headless";
    });
    host::HeadlessHost::Options options;
    std::string error;
    FrameOutput frames;
#if defined(GRIM_HAVE_GL)
    if (!TakeFrameOutputFlags(args, frames, error)) {
        std::fprintf(stderr, "grimholt: %s\n", error.c_str());
        return 2;
    }
#endif
    if (!host::HeadlessHost::ParseOptions(args, options, error)) {
        std::fprintf(stderr, "grimholt: %s\n", error.c_str());
        return 2;
    }

    std::unique_ptr<host::SdlHost> desktop;
    if (!headless) {
        desktop = std::make_unique<host::SdlHost>();
        if (!desktop->Init(error)) {
            std::fprintf(stderr, "grimholt: no display (%s); running headless\n", error.c_str());
            desktop.reset();
            headless = true;
        }
    }
    std::unique_ptr<host::HeadlessHost> virtualHost;
    host::HostPort* port = desktop.get();
    if (headless) {
        virtualHost = std::make_unique<host::HeadlessHost>(options);
        port = virtualHost.get();
    }
#if defined(GRIM_HAVE_GL)
    if (headless) {
        BindGlToHeadless(*virtualHost, frames);
    } else {
        gl::UseSdlWindowSystem();
    }
#endif

    // The shell parses the whole command line, program path first (quoted: it may hold blanks).
    std::string commandLine = std::string("\"") + (argc > 0 ? argv[0] : "grimholt") + "\"";
    for (const std::string& a : args) commandLine += " " + a;

    std::unique_ptr<host::SettingsStore> store = settings::OpenUserSettingsStore();
    g_saver.AttachSettingsStore(store.get());
    const int status = SaverMain(g_saver, *port, nullptr, commandLine.c_str());
    g_saver.AttachSettingsStore(nullptr);
#if defined(GRIM_HAVE_GL)
    if (frames.stats) {
        const gl::PresentStatistics stats = gl::GetPresentStatistics();
        const double seconds = stats.wallMilliseconds / 1000.0;
        std::printf("frames presented: %llu in %.3f s of wall time (%.1f frames per second)\n", stats.frames, seconds,
                    seconds > 0 ? static_cast<double>(stats.frames - 1) / seconds : 0.0);
    }
#endif
    return status;
}
