#include "settings/settings.h"

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace {

using settings::DefaultSettings;
using settings::Settings;

struct Messages {
    std::vector<std::pair<std::string, std::string>> shown;
    settings::MessageSink sink() {
        return [this](std::string_view t, std::string_view c) { shown.emplace_back(t, c); };
    }
};

std::vector<std::uint8_t> Bytes(std::string_view s) { return {s.begin(), s.end()}; }

std::vector<std::uint8_t> ReadSourceFile(const char* rel) {
    std::ifstream in(std::string(GRIM_SOURCE_DIR) + "/" + rel, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

TEST(DefaultSettingsText, CleansLinesAndSplitsAtFirstEquals) {
    Messages m;
    DefaultSettings t;
    // Tabs, spaces, a Windows-1251 comment line, a line feed after the carriage return or not,
    // a value that holds '=', and a text without a final line end.
    const std::string text =
        "; \xcd\xe0\xf1\xf2\xf0\xee\xe9\xea\xe8\r\n"
        "ShowFPS\t\t= false;\t; \xea\xee\xec\xec\xe5\xed\xf2\r\n"
        "\r\n"
        "  MusicVolume\t= 75;\r"
        "Music=TRUE\r\n"
        "\xc4\xe0 Odd = a=b\r\n"
        "FSAA=0";
    t.Parse(Bytes(text), m.sink());
    ASSERT_EQ(t.pairs().size(), 5u);
    EXPECT_EQ(t.pairs()[0], (std::pair<std::string, std::string>{"ShowFPS", "false"}));
    EXPECT_EQ(t.pairs()[1], (std::pair<std::string, std::string>{"MusicVolume", "75"}));
    EXPECT_EQ(t.pairs()[3], (std::pair<std::string, std::string>{"Odd", "a=b"}));
    EXPECT_TRUE(m.shown.empty());
    EXPECT_EQ(t.GetDefaultInt("music", m.sink()), 1);  // compared in lower case
    EXPECT_EQ(t.GetDefaultInt("SHOWFPS", m.sink()), 0);
    EXPECT_EQ(t.GetDefaultInt("MusicVolume", m.sink()), 75);
    EXPECT_EQ(t.GetDefaultInt("fsaa", m.sink()), 0);
    EXPECT_TRUE(m.shown.empty());
}

TEST(DefaultSettingsText, LineWithoutEqualsAndMissingKeyAreReported) {
    Messages m;
    DefaultSettings t;
    t.Parse(Bytes("Broken Line;\r\nMW=1024x\r\n"), m.sink());
    ASSERT_EQ(m.shown.size(), 1u);
    EXPECT_EQ(m.shown[0].first, settings::kBadFormatMessage);
    EXPECT_EQ(m.shown[0].second, "");
    EXPECT_EQ(t.pairs()[0], (std::pair<std::string, std::string>{"BrokenLine", "BrokenLine"}));
    EXPECT_EQ(t.GetDefaultInt("MW", m.sink()), 1024);  // leading integer
    EXPECT_EQ(t.GetDefault("NoSuch_KEY", m.sink()), "");
    ASSERT_EQ(m.shown.size(), 2u);
    EXPECT_EQ(m.shown[1].first, settings::kMissingKeyMessage);
    EXPECT_EQ(m.shown[1].second, "nosuch_key");
}

TEST(DefaultSettingsText, NumbersSaturateAndTableIsBounded) {
    DefaultSettings t;
    std::string text = "Big=99999999999999999999;\rNeg=-12;\rNone=abc;\r";
    for (int i = 0; i < 150; ++i) text += "K" + std::to_string(i) + "=" + std::to_string(i) + "\r";
    t.Parse(Bytes(text), {});
    EXPECT_EQ(t.pairs().size(), DefaultSettings::kMaxPairs);
    EXPECT_EQ(t.GetDefaultInt("big", {}), 2147483647);
    EXPECT_EQ(t.GetDefaultInt("neg", {}), -12);
    EXPECT_EQ(t.GetDefaultInt("none", {}), 0);
}

TEST(DefaultSettingsText, ShippedTextGivesTheDocumentedDefaults) {
    Messages m;
    const auto bytes = ReadSourceFile("resources/text/default_settings.txt");
    ASSERT_FALSE(bytes.empty());
    const Settings d = settings::LoadDefaults(bytes, m.sink());
    EXPECT_TRUE(m.shown.empty());
    EXPECT_FALSE(d.ShowFPS);
    EXPECT_FALSE(d.ExitOnMouseMove);
    EXPECT_TRUE(d.ShowTime);
    EXPECT_TRUE(d.Music);
    EXPECT_TRUE(d.SFX);
    EXPECT_EQ(d.MusicVolume, 75);
    EXPECT_EQ(d.Width, 800);
    EXPECT_EQ(d.Height, 600);
    EXPECT_EQ(d.BitCount, 32);
    EXPECT_EQ(d.FSAA, 0);
    EXPECT_TRUE(d.UseDesktopSettings);
    EXPECT_FALSE(d.DigClock_24H);
    EXPECT_EQ(d.GmCntrl, 100);
    EXPECT_TRUE(d.UseAdvLight);
}

TEST(DefaultSettingsText, EmptyTextReportsEveryKeyInLookupOrder) {
    Messages m;
    const Settings d = settings::LoadDefaults({}, m.sink());
    ASSERT_EQ(m.shown.size(), 14u);
    EXPECT_EQ(m.shown.front().second, "useadvlight");
    EXPECT_EQ(m.shown.back().second, "usedktpset");
    EXPECT_EQ(d.Width, 0);
    EXPECT_EQ(d.GmCntrl, 0);
}

TEST(StoredSettings, ReadingRules) {
    host::MemorySettingsStore store;
    Settings s;  // ShowFPS false, ShowTime true, MusicVolume 90, GmCntrl 100
    store.values = {{"showfps", 2}, {"ShowTime", 1}, {"Music", 5}, {"SFX", 0},
                    {"MusicVolume", 0}, {"Width", 1024}, {"GmCntrl", 0x1C8}, {"DigClock_24H", 2}};
    ASSERT_TRUE(settings::ReadSettings(store, s));
    EXPECT_TRUE(s.ShowFPS);        // 2: on (names ignore case)
    EXPECT_FALSE(s.ShowTime);      // 1: off
    EXPECT_TRUE(s.Music);          // 5: left alone
    EXPECT_TRUE(s.SFX);            // 0: not stored
    EXPECT_EQ(s.MusicVolume, 90);  // 0: not stored
    EXPECT_EQ(s.Width, 1024);
    EXPECT_EQ(s.Height, 600);
    EXPECT_EQ(s.GmCntrl, 0xC8);    // low 8 bits
    EXPECT_TRUE(s.DigClock_24H);

    // Numbers no field can mean are not taken either.
    Settings odd;
    store.values = {{"MusicVolume", 500}, {"Width", 0xFFFFFFFF}, {"BitCount", 24}, {"FSAA", 17}, {"Height", 720}};
    ASSERT_TRUE(settings::ReadSettings(store, odd));
    EXPECT_EQ(odd.MusicVolume, 90);
    EXPECT_EQ(odd.Width, 800);
    EXPECT_EQ(odd.BitCount, 32);
    EXPECT_EQ(odd.FSAA, 0);
    EXPECT_EQ(odd.Height, 720);

    Settings untouched;
    store.fail_open = true;
    EXPECT_FALSE(settings::ReadSettings(store, untouched));
    EXPECT_FALSE(settings::WriteSettings(store, untouched));
    EXPECT_EQ(untouched, Settings{});
}

TEST(StoredSettings, WriteOrderEncodingAndRoundTrip) {
    host::MemorySettingsStore store;
    Settings s;
    s.ShowFPS = FALSE;
    s.ShowTime = TRUE;
    s.GmCntrl = 150;
    s.UseAdvLight = FALSE;
    ASSERT_TRUE(settings::WriteSettings(store, s));
    const std::vector<std::string> order = {"ShowFPS", "DigClock_24H", "ShowTime", "ExitOnMouseMove", "SFX",
                                            "Music", "UseDesktopSettings", "GmCntrl", "Height", "Width",
                                            "BitCount", "FSAA", "MusicVolume"};
    EXPECT_EQ(store.write_log, order);
    EXPECT_EQ(store.values.at("ShowFPS"), 1u);
    EXPECT_EQ(store.values.at("ShowTime"), 2u);
    EXPECT_EQ(store.values.count("UseAdvLight"), 0u);
    ASSERT_TRUE(settings::WriteExtraSettings(store, s));
    EXPECT_EQ(store.values.at("UseAdvLight"), 1u);
    EXPECT_EQ(store.batches_written, 2);

    Settings back;
    back.FSAA = 4;  // a stored 0 does not override it
    ASSERT_TRUE(settings::ReadSettings(store, back));
    ASSERT_TRUE(settings::ReadExtraSettings(store, back));
    EXPECT_EQ(back.FSAA, 4);
    back.FSAA = 0;
    EXPECT_EQ(back, s);
}

TEST(StoredSettings, RestoreAndResetTouchTheirOwnFields) {
    Settings defaults;
    defaults.MusicVolume = 75;
    defaults.UseAdvLight = TRUE;
    Settings live;
    live.MusicVolume = 10;
    live.ShowFPS = TRUE;
    live.UseAdvLight = FALSE;
    settings::RestoreDefaults(live, defaults);
    EXPECT_EQ(live.MusicVolume, 75);
    EXPECT_FALSE(live.ShowFPS);
    EXPECT_FALSE(live.UseAdvLight);
    settings::ResetExtraSettings(live, defaults);
    EXPECT_EQ(live, defaults);
}

}  // namespace
