#include "settings/config_dialog_model.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using namespace settings;

class DialogTest : public ::testing::Test {
protected:
    void SetUp() override {
        const std::string text = "#gamma_control:#\nGamma Control:\n#none#\nNone\n#samples#\nsamples\n"
                                 "#screensaver_configuration#\nX Configuration\n#ok#\nOK\n";
        texts.Load(std::vector<std::uint8_t>(text.begin(), text.end()));
        defaults.MusicVolume = 75;
        defaults.ExitOnMouseMove = FALSE;
    }
    ConfigDialogModel Make(bool shaders = true) {
        DisplayChoices c;
        c.modes = {{0, 640, 480, false, "640 x 480 x 16"}, {1, 1024, 768, true, "1024 x 768 x 32"}};
        c.supports_samples = [](int n) { return n == 2 || n == 4; };
        c.shader_support = shaders;
        return ConfigDialogModel(texts, store, defaults, c);
    }
    UiText texts;
    host::MemorySettingsStore store;
    Settings defaults;
};

TEST_F(DialogTest, OpenReadsStoreAndSetsControls) {
    store.values = {{"ShowFPS", 2}, {"ShowTime", 1}, {"UseDesktopSettings", 1}, {"UseAdvLight", 1}};
    auto d = Make();
    d.Open(defaults);
    EXPECT_EQ(d.title(), "X Configuration");
    EXPECT_TRUE(d.control(kIdShowFps).checked);
    EXPECT_FALSE(d.control(kIdClock24h).enabled);  // the clock is off
    EXPECT_TRUE(d.control(kIdModeList).enabled);
    EXPECT_FALSE(d.control(kIdSfx).visible);
    EXPECT_FALSE(d.live().SFX);
    EXPECT_FALSE(d.control(kIdAdvancedLighting).checked);
    EXPECT_EQ(d.control(kIdGammaLabel).caption, "Gamma Control: 100%");
    EXPECT_EQ(d.control(kIdOk).caption, "OK");
    ASSERT_EQ(d.multisample_items().size(), 3u);
    EXPECT_EQ(d.multisample_items()[2].text, "4 samples");
    EXPECT_EQ(d.control(kIdVolume).position, 75);
}

TEST_F(DialogTest, EnablingRulesFollowTheToggles) {
    auto d = Make();
    d.Open(defaults);  // desktop settings on, music on
    EXPECT_FALSE(d.control(kIdModeList).enabled);
    d.Command(kIdUseDesktopSettings);
    EXPECT_TRUE(d.control(kIdModeList).enabled);
    d.Command(kIdUseDesktopSettings);
    EXPECT_FALSE(d.control(kIdModeList).enabled);
    d.Command(kIdMusic);  // SFX is off in this saver
    EXPECT_FALSE(d.control(kIdVolume).enabled);
    EXPECT_FALSE(d.control(kIdVolumeLabel).enabled);
    d.Command(kIdShowTime);
    d.Command(kIdShowTime);
    EXPECT_TRUE(d.control(kIdClock12h).enabled);
    d.Command(kIdClock24h);
    EXPECT_TRUE(d.live().DigClock_24H);
    EXPECT_FALSE(d.control(kIdClock12h).checked);
}

TEST_F(DialogTest, TrackbarsListsAndShaderlessHardware) {
    auto d = Make(false);
    Settings live = defaults;
    live.UseAdvLight = TRUE;
    d.Open(live);
    EXPECT_FALSE(d.control(kIdAdvancedLighting).checked);
    EXPECT_FALSE(d.control(kIdAdvancedLighting).enabled);
    d.control(kIdGamma).position = 150;
    d.control(kIdVolume).position = 40;
    d.HorizontalScroll(kTrackEndTrack);  // gamma only
    EXPECT_EQ(d.live().GmCntrl, 150);
    EXPECT_EQ(d.live().MusicVolume, 75);
    EXPECT_EQ(d.control(kIdGammaLabel).caption, "Gamma Control: 150%");
    d.HorizontalScroll(kTrackThumbTrack);
    EXPECT_EQ(d.live().MusicVolume, 40);
    d.SelectMode(1);
    EXPECT_EQ(d.live().Width, 1024);
    EXPECT_EQ(d.live().BitCount, 32);
    d.SelectMode(0);
    EXPECT_EQ(d.live().BitCount, 16);
    d.SelectMultisample(2);
    EXPECT_EQ(d.live().FSAA, 4);
    d.SelectMultisample(-1);
    EXPECT_EQ(d.live().FSAA, 4);
    d.SelectMultisample(0);
    EXPECT_EQ(d.live().FSAA, 0);
}

TEST_F(DialogTest, RestoreDefaultsThenCancelStoresNothingThenOkStores) {
    store.values = {{"ShowFPS", 2}, {"ShowTime", 1}};
    const auto before = store.values;
    {
        auto d = Make();
        d.Open(defaults);
        d.Command(kIdRestoreDefaults);
        EXPECT_FALSE(d.live().ShowFPS);
        EXPECT_EQ(d.Command(kIdCancel), kIdCancel);
        EXPECT_EQ(store.values, before);
        EXPECT_EQ(store.batches_written, 0);
    }
    auto d = Make();
    d.Open(defaults);
    d.Command(kIdRestoreDefaults);
    EXPECT_EQ(d.Command(kIdOk), kIdOk);
    EXPECT_EQ(store.values.at("ShowFPS"), 1u);
    EXPECT_EQ(store.values.at("ShowTime"), 2u);
    EXPECT_EQ(store.values.at("SFX"), 1u);
    EXPECT_EQ(store.values.at("UseAdvLight"), 2u);
}

}  // namespace
