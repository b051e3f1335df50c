#include "settings/ui_text.h"

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace {

using settings::UiText;

std::vector<std::uint8_t> Bytes(std::string_view s) { return {s.begin(), s.end()}; }

UiText Load(std::string_view s) {
    UiText t;
    t.Load(Bytes(s));
    return t;
}

TEST(UiTextLookup, KeysMatchCaseInsensitivelyAndOnlyWholeKeys) {
    const UiText t = Load(
        "\xEF\xBB\xBF#Fullscreen_antialiasing#\r\n"
        "Fullscreen Antialiasing  \r\n"
        "#master_volume:#\nVolume\n"
        "#none_of_these#\nWrong\n"
        "#none#\nNone\n"
        "not a key\n#orphan#");
    EXPECT_EQ(t.lines().front(), u"#fullscreen_antialiasing#");  // no mark, key lowered
    EXPECT_EQ(t.Get(std::string_view("fullscreen_antialiasing")), "Fullscreen Antialiasing  ");
    EXPECT_EQ(t.Get(std::u16string_view(u"MASTER_VOLUME:")), "Volume");
    EXPECT_EQ(t.Get(std::string_view("none")), "None");           // "#none_of_these#" is too long
    EXPECT_EQ(t.Get(std::string_view("orphan")), "");             // the last line has no text
    EXPECT_EQ(t.Get(std::string_view("missing")), "");
    EXPECT_EQ(t.Get(std::string_view("not a key")), "");
}

TEST(UiTextLookup, AboutTextAndTitleAreKeptAtLoad) {
    const UiText t = Load("#screensaver_configuration#\nX Configuration\n"
                          "#about_window_text#\nOne%Two%%Four%5%6%7%8 dropped\n");
    EXPECT_EQ(t.ConfigurationTitle(), "X Configuration");
    const auto& a = t.AboutLines();
    EXPECT_EQ(a[0], "One");
    EXPECT_EQ(a[2], "");  // two marks in a row
    EXPECT_EQ(a[3], "Four");
    EXPECT_EQ(a[6], "7");
    EXPECT_EQ(settings::SplitMultiLine("a", 3), (std::vector<std::string>{"a", "", ""}));
}

TEST(UiTextLookup, EightBitAndUtf8Conversions) {
    // "é" (U+00E9) survives the 8-bit form; "Ж" (U+0416) keeps only its low byte there.
    const UiText t = Load("#k#\nd\xC3\xA9j\xC3\xA0 \xD0\x96\n");
    EXPECT_EQ(t.Get(std::string_view("k")), "d\xE9j\xE0 \x16");
    EXPECT_EQ(t.GetUtf8("k"), "d\xC3\xA9j\xC3\xA0 \xD0\x96");
    EXPECT_EQ(t.GetWide(u"k"), u"d\u00e9j\u00e0 \u0416");
    EXPECT_EQ(settings::ToUtf8(u"\xD800"), "\xEF\xBF\xBD");
}

TEST(UiTextDecoder, InvalidBytesAreConsumedWithoutStallingOrOverreading) {
    using settings::DecodeUiTextUtf8;
    auto dec = [](std::string_view s) { return DecodeUiTextUtf8(Bytes(s)); };
    EXPECT_EQ(dec("a\xEF\xBB\xBF" "b\xEF\xBB\xBF"), u"ab");                // marks anywhere vanish
    EXPECT_EQ(dec("\xE2\x82\xAC"), u"\u20ac");
    EXPECT_EQ(dec("\x80x"), u"\ufffdx");                                    // stray continuation
    EXPECT_EQ(dec("\xF0\x9F\x98\x80!"), u"\ufffd!");                        // four-byte sequence
    EXPECT_EQ(dec("\xFF\xFE"), u"\ufffd\ufffd");
    EXPECT_EQ(dec("\xC3"), u"\ufffd");                                      // cut by the end
    EXPECT_EQ(dec("\xE2\x82"), u"\ufffd");
    EXPECT_EQ(dec("\xC3\nA"), u"\ufffd\nA");                                // line feed kept
    // A broken lead before a line feed does not swallow the next key line.
    const UiText t = Load("#a#\nbad\xE2\n#b#\nB\n");
    EXPECT_EQ(t.Get(std::string_view("b")), "B");
    EXPECT_EQ(t.Get(std::string_view("a")), "bad\xFD");
}

TEST(UiTextDecoder, LinesDropCarriageReturnsAndNuls) {
    const auto lines = settings::SplitUiTextLines(Bytes(std::string("a\r\n\nb\0c\r", 9)));
    EXPECT_EQ(lines, (std::vector<std::u16string>{u"a", u"", u"bc"}));
    EXPECT_TRUE(settings::SplitUiTextLines({}).empty());
    UiText empty;
    empty.Load({});
    EXPECT_EQ(empty.Get(std::string_view("ok")), "");
    EXPECT_EQ(empty.ConfigurationTitle(), "");
}

TEST(UiTextShipped, EveryKeyTheProgramUsesHasText) {
    std::ifstream in(std::string(GRIM_SOURCE_DIR) + "/resources/text/ui_text.txt", std::ios::binary);
    const std::vector<std::uint8_t> bytes{std::istreambuf_iterator<char>(in), {}};
    ASSERT_GE(bytes.size(), 3u);
    EXPECT_EQ(bytes[0], 0xEF);
    UiText t;
    t.Load(bytes);
    for (const char* key : {"video_mode_selection", "use_desktop_settings", "sound_control", "master_volume:",
                            "enable_music", "enable_sfx", "graphics", "gamma_control:",
                            "fullscreen_antialiasing", "none", "samples", "enable_advanced_lighting",
                            "misc_options", "show_fps", "show_time", "24h_style", "12h_style",
                            "exit_on_mouse_move", "about", "restore_defaults", "ok", "cancel"}) {
        EXPECT_FALSE(t.Get(std::string_view(key)).empty()) << key;
    }
    EXPECT_EQ(t.ConfigurationTitle(), "Grimholt 3D Screensaver Configuration");
    EXPECT_EQ(t.AboutLines()[0], "Grimholt 3D Screensaver");
    for (const auto& line : t.AboutLines()) EXPECT_EQ(line.find('%'), std::string::npos);
    EXPECT_FALSE(t.AboutLines()[6].empty());
}

}  // namespace
