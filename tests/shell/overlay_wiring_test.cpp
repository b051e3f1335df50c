// How the shell wires the loading screen and the overlay: the battle saver's layout against the
// base saver's, and the base frame drawing the overlay inside the scene with the host's local time.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "fakes/d3d8/fake_d3d8.h"
#include "fakes/host/fake_host.h"
#include "shell/battle_saver.h"

namespace {

using fake_d3d8::FakeDevice;

bool SameLayout(const display::OverlayLayout& a, const display::OverlayLayout& b) {
    return a.GlyphHeight == b.GlyphHeight && a.GlyphWidth == b.GlyphWidth && a.AdvanceFactor == b.AdvanceFactor &&
           a.ClockX == b.ClockX && a.ClockY == b.ClockY && a.FrameRateX == b.FrameRateX &&
           a.FrameRateY == b.FrameRateY && a.Red == b.Red && a.Green == b.Green && a.Blue == b.Blue;
}

TEST(OverlayWiring, BattleSaverSetsItsOwnLayoutOverTheBaseDefaults) {
    {
        SaverApp base;
        base.InitDefaults();
        EXPECT_TRUE(SameLayout(base.OverlayLayout, display::kSaverOverlayLayout));
        EXPECT_EQ(base.ScreenQuad, -1);
    }
    BattleSaver battle;
    EXPECT_TRUE(SameLayout(battle.OverlayLayout, display::kSaverOverlayLayout));
    battle.InitDefaults();
    EXPECT_TRUE(SameLayout(battle.OverlayLayout, display::kBattleOverlayLayout));
}

TEST(OverlayWiring, BaseFrameDrawsTheOverlayBetweenBeginAndEndScene) {
    host::FakeHost host;
    SaverApp app;
    app.AttachHost(host);
    app.Settings.ShowTime = TRUE;
    app.Settings.DigClock_24H = false;
    app.Settings.ShowFPS = TRUE;
    app.FramesPerSecond = 42;
    auto* device = new FakeDevice();
    app.Render(device);

    std::vector<std::string> names = device->Log.NamesWithout({"GetViewport", "GetRenderState"});
    const auto begin = std::find(names.begin(), names.end(), "BeginScene");
    const auto end = std::find(names.begin(), names.end(), "EndScene");
    ASSERT_NE(begin, names.end());
    ASSERT_NE(end, names.end());
    const auto firstDraw = std::find(names.begin(), names.end(), "DrawPrimitive");
    EXPECT_TRUE(begin < firstDraw && firstDraw < end);
    EXPECT_EQ(names.back(), "Present");
    // Twelve-hour clock: 9 or 10 glyphs (the hour's tens place may stay empty), then "42";
    // two passes each.
    const std::string time = display::LocalTimeText(host.Time());
    const std::size_t clockGlyphs = display::ClockGlyphs(time, false, app.OverlayLayout).size();
    EXPECT_EQ(device->Log.Count("DrawPrimitive"), 2 * (clockGlyphs + 2));
    EXPECT_EQ(device->RenderState(D3DRS_ZENABLE), static_cast<DWORD>(TRUE));
    EXPECT_EQ(device->RenderState(D3DRS_ALPHABLENDENABLE), static_cast<DWORD>(FALSE));
    device->Release();
}

}  // namespace
