// One target for the three readers of outside text: the settings file, the default-settings text
// and the UI texts. The first byte picks the reader so that one corpus serves all three.
#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>

#include "platform/host/settings_store.h"
#include "settings/settings.h"
#include "settings/ui_text.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return 0;
    const std::span<const std::uint8_t> rest(data + 1, size - 1);
    switch (data[0] % 3) {
        case 0: {
            const auto values = host::ParseSettingsFile(
                std::string_view(reinterpret_cast<const char*>(rest.data()), rest.size()));
            // What is read must survive a write and a read back unchanged.
            const std::string text = host::FormatSettingsFile(values, {});
            if (host::ParseSettingsFile(text) != values) __builtin_trap();
            host::MemorySettingsStore store;
            store.values = values;
            settings::Settings s;
            settings::ReadSettings(store, s);
            settings::ReadExtraSettings(store, s);
            break;
        }
        case 1: {
            int messages = 0;
            const settings::Settings d =
                settings::LoadDefaults(rest, [&](std::string_view, std::string_view) { ++messages; });
            // Every line reported is a stored pair, and each of the 14 keys is reported at most once.
            if (messages > static_cast<int>(settings::DefaultSettings::kMaxPairs) + 14) __builtin_trap();
            (void)d;
            break;
        }
        default: {
            settings::UiText t;
            t.Load(rest);
            if (settings::DecodeUiTextUtf8(rest).size() > rest.size()) __builtin_trap();
            (void)t.Get(std::string_view("ok"));
            (void)t.GetUtf8("about_window_text");
            break;
        }
    }
    return 0;
}
