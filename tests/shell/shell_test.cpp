// The shell's rules against the recording host: command line, window procedure across the modes,
// password branch, shutdown order, preview start-up, whole runs on virtual monitors.
#include "fakes/host/fake_host.h"
#include "shell/saver_app.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

namespace {

using host::FakeHost;
using host::ScriptEvent;
using host::WindowRole;

// Records the virtual operations the shutdown calls into the host's call log.
class RecordingApp : public SaverApp {
public:
    explicit RecordingApp(FakeHost& host) : host_(host) { AttachHost(host); }
    void StopMusic() override { host_.calls.push_back("StopMusic"); }
    void StartMusic() override { host_.calls.push_back("StartMusic"); }
    HRESULT ReleaseScene() override {
        host_.calls.push_back("ReleaseScene");
        return 0;
    }
    HRESULT LoadScene(IDirect3DDevice8*) override {
        host_.calls.push_back("LoadScene");
        return 0;
    }

private:
    FakeHost& host_;
};

LRESULT Send(SaverApp& app, UINT message, WPARAM wParam = 0) { return app.WindowProc(nullptr, message, wParam, 0); }

TEST(CommandLine, ModesAndHandles) {
    struct Row {
        const char* text;
        RunMode mode;
        std::intptr_t parent;
    };
    const Row rows[] = {
        {"saver.scr", RunMode::Config, 0},
        {"\"C:\\Program Files\\saver.scr\"", RunMode::Config, 0},
        {"saver.scr /s", RunMode::Saver, 0},
        {"saver.scr /S", RunMode::Saver, 0},
        {"saver.scr -s", RunMode::Saver, 0},
        {"saver.scr /x", RunMode::Saver, 0},
        {"saver.scr /t", RunMode::Test, 0},
        {"saver.scr -T", RunMode::Test, 0},
        {"saver.scr /c:4711", RunMode::Config, 4711},
        {"saver.scr /c", RunMode::Config, 0},
        {"saver.scr /p 1234", RunMode::Preview, 1234},
        {"saver.scr /p:1234", RunMode::Preview, 1234},
        {"saver.scr -P1234", RunMode::Preview, 1234},
        {"saver.scr /p", RunMode::Preview, 0},
        {"saver.scr /a 99", RunMode::ChangePassword, 99},
        // A quoted path is skipped whole, whatever it holds.
        {"\"/opt/my-saver/t-s/bin\" /p 77", RunMode::Preview, 77},
        {"\"/opt/my-saver/bin\"", RunMode::Config, 0},
        // Of an unquoted path only the part up to its first blank is skipped.
        {"/opt/saver /t", RunMode::Test, 0},
        {"C:\\my saver-t\\x.scr /s", RunMode::Test, 0},
        {"saver.scr /", RunMode::Saver, 0},
    };
    FakeHost host;
    RecordingApp app(host);
    for (const Row& row : rows) {
        app.ParentWindow = reinterpret_cast<HWND>(1);
        EXPECT_EQ(app.ParseCommandLine(row.text), row.mode) << row.text;
        EXPECT_EQ(reinterpret_cast<std::intptr_t>(app.ParentWindow), row.parent) << row.text;
    }
}

TEST(WindowProc, KeysAndClicksEndSaverButNotTest) {
    for (UINT message : {WM_KEYDOWN, WM_LBUTTONDOWN, WM_RBUTTONDOWN, WM_MBUTTONDOWN}) {
        FakeHost host;
        RecordingApp test(host);
        test.Mode = RunMode::Test;
        Send(test, message);
        EXPECT_FALSE(test.Quit) << message;

        RecordingApp saver(host);
        saver.Mode = RunMode::Saver;
        EXPECT_EQ(Send(saver, message), 1) << message;
        EXPECT_TRUE(saver.Quit) << message;
    }
    // Losing the activation ends the saver but not the test window.
    FakeHost host;
    RecordingApp test(host);
    test.Mode = RunMode::Test;
    Send(test, WM_ACTIVATEAPP, 0);
    EXPECT_FALSE(test.Quit);
    RecordingApp saver(host);
    saver.Mode = RunMode::Saver;
    Send(saver, WM_ACTIVATEAPP, 1);
    EXPECT_FALSE(saver.Quit);
    Send(saver, WM_ACTIVATEAPP, 0);
    EXPECT_TRUE(saver.Quit);
}

TEST(WindowProc, MouseMoveBudget) {
    for (RunMode mode : {RunMode::Saver, RunMode::Test}) {
        FakeHost host;
        RecordingApp app(host);
        app.Mode = mode;
        app.Settings.ExitOnMouseMove = TRUE;
        for (int i = 0; i < 30; ++i) Send(app, WM_MOUSEMOVE);
        EXPECT_FALSE(app.Quit);
        Send(app, WM_MOUSEMOVE);  // the 31st
        EXPECT_TRUE(app.Quit);
    }
    FakeHost host;
    RecordingApp off(host);
    off.Mode = RunMode::Saver;
    off.Settings.ExitOnMouseMove = FALSE;
    for (int i = 0; i < 100; ++i) Send(off, WM_MOUSEMOVE);
    EXPECT_FALSE(off.Quit);
}

TEST(WindowProc, PreviewEndsOnlyByCloseDestroyOrQuit) {
    FakeHost host;
    RecordingApp app(host);
    app.Mode = RunMode::Preview;
    app.Settings.ExitOnMouseMove = TRUE;
    for (int i = 0; i < 40; ++i) Send(app, WM_MOUSEMOVE);
    for (UINT message : {WM_KEYDOWN, WM_LBUTTONDOWN, WM_RBUTTONDOWN, WM_MBUTTONDOWN}) Send(app, message);
    Send(app, WM_ACTIVATEAPP, 0);
    Send(app, WM_POWERBROADCAST, PBT_APMSUSPEND);
    Send(app, WM_SYSCOMMAND, SC_CLOSE);
    EXPECT_FALSE(app.Quit);
    EXPECT_EQ(app.RequestExit(), 0);
    EXPECT_FALSE(app.Quit);
    EXPECT_EQ(Send(app, WM_CLOSE), 1);
    EXPECT_TRUE(app.Quit);
    EXPECT_FALSE(host.Called("StopMusic"));  // close only ends the loop, no shutdown
}

TEST(WindowProc, SystemCommandsAndTimers) {
    FakeHost host;
    RecordingApp app(host);
    app.Mode = RunMode::Saver;
    Send(app, WM_SYSCOMMAND, 0xF020 /* minimize */);
    EXPECT_FALSE(app.Quit);
    Send(app, WM_SYSCOMMAND, SC_SCREENSAVE);
    EXPECT_TRUE(app.Quit);

    RecordingApp counter(host);
    counter.FrameCount = 57;
    Send(counter, WM_TIMER, kFrameRateTimer);
    EXPECT_EQ(counter.FramesPerSecond, 57);
    EXPECT_EQ(counter.FrameCount, 0);
}

TEST(WindowProc, SuspendEndsOnlyWithoutPasswordCheck) {
    FakeHost host;
    RecordingApp plain(host);
    plain.Mode = RunMode::Saver;
    Send(plain, WM_POWERBROADCAST, 7);  // another power event
    EXPECT_FALSE(plain.Quit);
    Send(plain, WM_POWERBROADCAST, PBT_APMSUSPEND);
    EXPECT_TRUE(plain.Quit);

    RecordingApp guarded(host);
    guarded.Mode = RunMode::Saver;
    guarded.IsWin9x = true;
    guarded.VerifyPassword = [](HWND) { return FALSE; };
    Send(guarded, WM_POWERBROADCAST, PBT_APMSUSPEND);
    EXPECT_FALSE(guarded.Quit);
}

// The password branch inside a whole saver run on the Windows 95 family.
TEST(Password, FailedEntryKeepsRunningAndResetsBudget) {
    host::HeadlessHost::Options options;
    options.runMs = 5000;
    ScriptEvent key{100, ScriptEvent::Kind::Key, VK_SPACE};
    ScriptEvent move{200, ScriptEvent::Kind::Move, 0};
    options.script = {key, move};
    FakeHost host(options);
    host.platformId = VER_PLATFORM_WIN32_WINDOWS;
    host.usePasswordStored = true;
    host.usePasswordValue = 1;
    host.passwordLibraryPresent = true;
    host.verifyAnswers = {FALSE, TRUE};
    RecordingApp app(host);
    app.Settings.ExitOnMouseMove = TRUE;
    SaverMain(app, host, nullptr, "saver.scr /s");

    EXPECT_EQ(host.verifyCount, 2);  // the key asked, the next single mouse move asked again
    EXPECT_TRUE(host.Called("StopMusic"));
    EXPECT_TRUE(host.Called("FreePasswordLibrary"));
    EXPECT_LT(host.ElapsedMs(), 1000u);  // ended by the second answer, not by the run limit
    // After the failed entry the cursor was hidden again.
    const auto verify = std::find(host.calls.begin(), host.calls.end(), "VerifyPassword");
    ASSERT_NE(verify, host.calls.end());
    EXPECT_EQ(*(verify + 1), "ShowCursor 0");
}

TEST(Password, NotAskedOnNtFamilyOrWithoutSetting) {
    for (int variant = 0; variant < 3; ++variant) {
        host::HeadlessHost::Options options;
        options.script = {ScriptEvent{100, ScriptEvent::Kind::Key, VK_SPACE}};
        FakeHost host(options);
        host.platformId = variant == 0 ? VER_PLATFORM_WIN32_NT : VER_PLATFORM_WIN32_WINDOWS;
        host.usePasswordStored = variant != 1;
        host.usePasswordValue = variant == 2 ? 0 : 1;
        host.passwordLibraryPresent = true;
        RecordingApp app(host);
        SaverMain(app, host, nullptr, "saver.scr /s");
        EXPECT_EQ(host.verifyCount, 0) << variant;
        EXPECT_FALSE(host.Called("LoadPasswordLibrary")) << variant;
        EXPECT_TRUE(host.Called("StopMusic")) << variant;
    }
}

TEST(Shutdown, RunsInOrder) {
    host::HeadlessHost::Options options;
    options.script = {ScriptEvent{50, ScriptEvent::Kind::LeftClick, 0}};
    FakeHost host(options);
    host.platformId = VER_PLATFORM_WIN32_WINDOWS;
    host.usePasswordStored = true;
    host.usePasswordValue = 1;
    host.passwordLibraryPresent = true;
    RecordingApp app(host);
    SaverMain(app, host, nullptr, "saver.scr /s");

    std::vector<std::string> tail;
    for (const std::string& c : host.calls)
        if (c == "StopMusic" || c == "ReleaseScene" || c == "KillTimer 7" || c == "FreePasswordLibrary" ||
            c == "DestroyWindow")
            tail.push_back(c);
    EXPECT_EQ(tail, (std::vector<std::string>{"StopMusic", "ReleaseScene", "KillTimer 7", "FreePasswordLibrary",
                                              "DestroyWindow"}));
    EXPECT_TRUE(app.Quit);
    EXPECT_EQ(app.PasswordLibrary, nullptr);
    // The saver ran through its data loading first.
    EXPECT_LT(std::find(host.calls.begin(), host.calls.end(), "LoadScene"),
              std::find(host.calls.begin(), host.calls.end(), "StartMusic"));
}

TEST(Startup, PreviewLoopLastsAboutHalfASecond) {
    FakeHost host;
    host.AddForeignWindow(reinterpret_cast<HWND>(4242), {0, 0, 152, 112}, "Desktop", "Display Properties");
    RecordingApp app(host);
    app.AttachHost(host);
    app.Startup(nullptr, "saver.scr /p 4242");
    EXPECT_EQ(app.Mode, RunMode::Preview);
    ASSERT_NE(app.MainWindow, nullptr);
    EXPECT_GE(host.ElapsedMs(), 500u);
    EXPECT_LT(host.ElapsedMs(), 600u);
    EXPECT_FALSE(app.PreviewLoop);
    EXPECT_FALSE(host.HasTimer(app.MainWindow, kPreviewTimer));
    host::HeadlessWindow* window = host.Find(app.MainWindow);
    ASSERT_NE(window, nullptr);
    EXPECT_EQ(window->spec.role, WindowRole::Preview);
    EXPECT_EQ(window->Width(), 152);  // the parent's client area
    EXPECT_EQ(window->spec.style, WS_CHILD | WS_VISIBLE);
    // Painting puts the picture at the top-left over the black background.
    app.PreviewBitmap = host::Picture{2, 1, {10, 20, 30, 40, 50, 60}};
    EXPECT_EQ(SaverWindowProc(app.MainWindow, WM_PAINT, 0, 0), 0);
    EXPECT_EQ(window->Pixel(0, 0), 0x0A141Eu);
    EXPECT_EQ(window->Pixel(1, 0), 0x28323Cu);
    EXPECT_EQ(window->Pixel(2, 0), 0u);
    EXPECT_EQ(window->Pixel(0, 1), 0u);
    // The preview never ends by input, only by its parent closing it.
    host.Inject(ScriptEvent::Kind::Key);
    host.Inject(ScriptEvent::Kind::Close);
    app.Dispatch();
    EXPECT_TRUE(app.Quit);
    EXPECT_FALSE(host.Called("StopMusic"));
    EXPECT_FALSE(host.Called("LoadScene"));  // no device, no scene in the preview
}

TEST(Startup, SecondInstanceEndsSilently) {
    for (int variant = 0; variant < 2; ++variant) {
        FakeHost host;
        if (variant == 0) host.otherSaverRunning = true;
        RecordingApp app(host);
        app.AttachHost(host);
        app.UiText.LoadFromResource();
        const std::string title = app.UiText.Get(std::string_view("screensaver_configuration"));
        if (variant == 1) {
            if (title.empty()) continue;  // the resource is not carried in this build
            host.otherTopLevelTitle = title;
        }
        SaverMain(app, host, nullptr, variant == 0 ? "saver.scr /c" : "saver.scr /s");
        EXPECT_FALSE(app.MayStart);
        EXPECT_EQ(host.Count("CreateSaverWindow"), 0);
        EXPECT_EQ(host.Count("MessageBox"), 0);
    }
}

TEST(Startup, MonitorsAndSaverWindows) {
    host::HeadlessHost::Options options;
    auto monitor = [](const char* name, DWORD flags, LONG x, LONG y) {
        host::DisplayDevice d;
        d.deviceName = name;
        d.adapterDescription = std::string(name) + " adapter";
        d.monitorDescription = "Monitor";
        d.stateFlags = flags;
        d.position = {x, y};
        d.width = 800;
        d.height = 600;
        return d;
    };
    options.monitors.push_back(monitor("A", DISPLAY_DEVICE_ATTACHED_TO_DESKTOP | DISPLAY_DEVICE_PRIMARY_DEVICE, 55, 55));
    options.monitors.push_back(monitor("Mirror", DISPLAY_DEVICE_ATTACHED_TO_DESKTOP | DISPLAY_DEVICE_MIRRORING_DRIVER, 0, 0));
    options.monitors.push_back(monitor("B", DISPLAY_DEVICE_ATTACHED_TO_DESKTOP, 800, 0));
    options.monitors.push_back(monitor("Detached", 0, 0, 0));
    for (int i = 0; i < 8; ++i) options.monitors.push_back(monitor("Extra", 0, 0, 0));
    options.script = {ScriptEvent{100, ScriptEvent::Kind::Key, VK_SPACE}};
    FakeHost host(options);
    RecordingApp app(host);
    SaverMain(app, host, nullptr, "saver.scr /s");

    EXPECT_EQ(app.MonitorCount, kMaxMonitors);  // the mirror skipped, at most nine records
    EXPECT_STREQ(app.Monitors[0].AdapterDescription, "A adapter");
    EXPECT_EQ(app.Monitors[0].Rect.left, 0);  // the primary sits at the origin
    EXPECT_EQ(app.Monitors[0].AdapterIndex, -1);
    EXPECT_STREQ(app.Monitors[1].AdapterDescription, "B adapter");
    EXPECT_EQ(app.Monitors[1].Rect.left, 800);
    EXPECT_EQ(app.Monitors[2].Monitor, nullptr);  // not attached: no window
    EXPECT_EQ(host.calls[0], "CreateSaverWindow Saver");
    EXPECT_EQ(host.calls[1], "CreateSaverWindow SaverBlack");
    EXPECT_EQ(host.Count("CreateSaverWindow"), 2);
    EXPECT_NE(app.Monitors[1].Window, nullptr);
    EXPECT_TRUE(host.Called("StopMusic"));  // the key ended it through the shutdown
}

TEST(Startup, TestWindowAndItsCloseBox) {
    host::HeadlessHost::Options options;
    options.script = {ScriptEvent{100, ScriptEvent::Kind::Key, VK_SPACE}, ScriptEvent{150, ScriptEvent::Kind::LeftClick, 0},
                      ScriptEvent{300, ScriptEvent::Kind::Close, 0}};
    FakeHost host(options);
    RecordingApp app(host);
    app.AttachHost(host);
    app.Startup(nullptr, "saver.scr /t");
    ASSERT_NE(app.MainWindow, nullptr);
    host::HeadlessWindow* window = host.Find(app.MainWindow);
    EXPECT_EQ(window->spec.role, WindowRole::Test);
    EXPECT_EQ(window->Width(), 600);
    EXPECT_EQ(window->Height(), 400);
    EXPECT_EQ(window->client.left, 50);
    app.Dispatch();
    EXPECT_GE(host.ElapsedMs(), 300u);  // keys and clicks did not end it; the close box did
    EXPECT_LT(host.ElapsedMs(), 400u);
    EXPECT_FALSE(host.Called("StopMusic"));
    EXPECT_TRUE(host.Called("SetTimer 7 1000"));
}

TEST(Startup, ConfigAndPasswordChange) {
    FakeHost host;
    RecordingApp config(host);
    SaverMain(config, host, nullptr, "saver.scr");
    EXPECT_EQ(host.Count("MessageBox"), 1);
    EXPECT_EQ(host.Count("CreateSaverWindow"), 0);

    FakeHost host2;
    RecordingApp change(host2);
    SaverMain(change, host2, nullptr, "saver.scr /a 42");
    EXPECT_TRUE(host2.Called("ChangePassword 42"));
    EXPECT_EQ(host2.Count("CreateSaverWindow"), 0);
}

}  // namespace
