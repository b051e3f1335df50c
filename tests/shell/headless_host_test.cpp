// The headless adapter's own behaviour: options, virtual clock, timers, never waiting forever.
#include "platform/headless/headless_host.h"

#include <gtest/gtest.h>

namespace {

using host::HeadlessHost;
using host::Message;

LRESULT Ignore(HWND, UINT, WPARAM, LPARAM) { return 0; }

HWND MakeWindow(HeadlessHost& host) {
    host.RegisterWindowClass({"C", &Ignore, 0});
    host::WindowSpec spec;
    spec.className = "C";
    spec.rect = {0, 0, 64, 32};
    return host.CreateSaverWindow(spec);
}

TEST(HeadlessOptions, FlagsAndErrors) {
    std::vector<std::string> args = {"--monitors=2", "/s", "--script=10:key,20:move", "--run-ms=0"};
    HeadlessHost::Options options;
    std::string error;
    ASSERT_TRUE(HeadlessHost::ParseOptions(args, options, error)) << error;
    EXPECT_EQ(args, std::vector<std::string>{"/s"});
    ASSERT_EQ(options.monitors.size(), 2u);
    EXPECT_EQ(options.monitors[1].position.x, 1024);
    EXPECT_EQ(options.script.size(), 2u);
    EXPECT_EQ(options.runMs, 0u);

    std::vector<std::string> geometry = {"--monitor=800x600+0+0", "--monitor=640x480-640+0"};
    HeadlessHost::Options g;
    ASSERT_TRUE(HeadlessHost::ParseOptions(geometry, g, error)) << error;
    ASSERT_EQ(g.monitors.size(), 2u);
    EXPECT_EQ(g.monitors[1].position.x, -640);
    EXPECT_EQ(g.monitors[1].width, 640u);

    for (const char* bad : {"--monitors=0", "--monitors=10", "--monitor=800x600", "--monitor=0x600+0+0",
                            "--script=10:dance", "--script=key", "--script=-5:key", "--run-ms=abc"}) {
        std::vector<std::string> one = {bad};
        HeadlessHost::Options o;
        EXPECT_FALSE(HeadlessHost::ParseOptions(one, o, error)) << bad;
    }
}

TEST(HeadlessClock, TimersFollowTheVirtualClock) {
    HeadlessHost::Options options;
    options.runMs = 0;
    options.echoBoxes = false;
    HeadlessHost host(options);
    HWND window = MakeWindow(host);
    Message m;
    ASSERT_TRUE(host.PeekMessage(m));
    EXPECT_EQ(m.message, WM_PAINT);  // a new window asks to be painted once
    EXPECT_FALSE(host.PeekMessage(m));

    host.SetTimer(window, 3, 100);
    host.Sleep(99);
    EXPECT_FALSE(host.PeekMessage(m));
    host.Sleep(1);
    ASSERT_TRUE(host.PeekMessage(m));
    EXPECT_EQ(m.message, WM_TIMER);
    EXPECT_EQ(m.wParam, 3u);
    // A late timer fires once, not once per missed period.
    host.Sleep(1000);
    EXPECT_TRUE(host.PeekMessage(m));
    EXPECT_FALSE(host.PeekMessage(m));

    // GetMessage moves the clock to the next timer instead of spinning.
    const DWORD before = host.TimeGetTime();
    ASSERT_TRUE(host.GetMessage(m, window));
    EXPECT_EQ(host.TimeGetTime() - before, 100u);
    host.KillTimer(window, 3);
    // Nothing can arrive any more: answers like a quit message rather than waiting forever.
    EXPECT_FALSE(host.GetMessage(m, window));
}

TEST(HeadlessClock, RunLimitClosesTheMainWindow) {
    HeadlessHost::Options options;
    options.runMs = 50;
    options.echoBoxes = false;
    HeadlessHost host(options);
    HWND window = MakeWindow(host);
    Message m;
    host.PeekMessage(m);  // the paint
    host.Sleep(50);
    ASSERT_TRUE(host.PeekMessage(m));
    EXPECT_EQ(m.message, WM_CLOSE);
    EXPECT_EQ(m.window, window);
    EXPECT_EQ(host.Time(), options.startTime);
}

TEST(HeadlessDrawing, PictureAndFill) {
    HeadlessHost host;
    HWND window = MakeWindow(host);
    host::Picture picture{2, 1, {255, 0, 0, 0, 0, 255}};
    host.DrawPicture(window, picture);
    EXPECT_EQ(host.Find(window)->Pixel(0, 0), 0xFF0000u);
    EXPECT_EQ(host.Find(window)->Pixel(1, 0), 0x0000FFu);
    EXPECT_EQ(host.Find(window)->Pixel(2, 0), 0u);
    host::Picture shortData{4, 4, {1, 2, 3}};
    host.DrawPicture(window, shortData);  // refused, not read past its end
    EXPECT_EQ(host.Find(window)->Pixel(0, 0), 0xFF0000u);
    host.FillWindow(window, 0x00102030);  // COLORREF 0x00BBGGRR
    EXPECT_EQ(host.Find(window)->Pixel(5, 5), 0x302010u);
}

}  // namespace
