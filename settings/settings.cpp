// Settings: the default-settings text, the stored values and the record.
//
// Default-text parser limits: lines end at a carriage return (one line feed after it is skipped)
// or at the end of the text; every byte is reached by index below the text's size only; at most
// DefaultSettings::kMaxPairs pairs are kept, further lines are ignored without messages.
#include "settings/settings.h"

#include <climits>
#include <string>

namespace settings {

namespace {

std::string Lower(std::string_view s) {
    std::string out(s);
    for (char& c : out) {
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    }
    return out;
}

void Report(const MessageSink& sink, std::string_view text, std::string_view caption) {
    if (sink) sink(text, caption);
}

// Spaces, control characters and every byte with the top bit set go; the rest is cut at ';'.
std::string CleanLine(std::span<const std::uint8_t> line) {
    std::string out;
    for (std::uint8_t b : line) {
        if (b <= 0x20 || b >= 0x80) continue;
        if (b == ';') break;
        out += static_cast<char>(b);
    }
    return out;
}

// The stored booleans: 2 on, 1 off, 0 (not stored) and anything else leave the field.
void ReadBool(const host::SettingsValues& v, std::string_view name, BOOL& field) {
    auto it = v.find(name);
    if (it == v.end()) return;
    if (it->second == 2) field = TRUE;
    else if (it->second == 1) field = FALSE;
}

void ReadBool8(const host::SettingsValues& v, std::string_view name, bool& field) {
    BOOL b = field ? TRUE : FALSE;
    ReadBool(v, name, b);
    field = b != FALSE;
}

// A stored number outside what the field can mean (a hand edit, another program) counts as not
// stored, like 0, so that no later stage sees a negative size or a volume of 5000 %.
void ReadNumber(const host::SettingsValues& v, std::string_view name, std::int32_t& field,
                std::uint32_t max_value = 0x7FFFFFFF) {
    auto it = v.find(name);
    if (it != v.end() && it->second != 0 && it->second <= max_value) field = static_cast<std::int32_t>(it->second);
}

std::uint32_t StoredBool(bool b) { return b ? 2u : 1u; }

}  // namespace

void DefaultSettings::Parse(std::span<const std::uint8_t> text, const MessageSink& sink) {
    pairs_.clear();
    std::size_t pos = 0;
    const std::size_t n = text.size();
    while (pos < n && pairs_.size() < kMaxPairs) {
        std::size_t end = pos;
        while (end < n && text[end] != '\r') ++end;
        const std::string line = CleanLine(text.subspan(pos, end - pos));
        pos = end;
        if (pos < n) {
            ++pos;  // the carriage return
            if (pos < n && text[pos] == '\n') ++pos;
        }
        if (line.empty()) continue;
        const std::size_t eq = line.find('=');
        if (eq == std::string::npos) {
            Report(sink, kBadFormatMessage, "");
            pairs_.emplace_back(line, line);
        } else {
            pairs_.emplace_back(line.substr(0, eq), line.substr(eq + 1));
        }
    }
}

std::string DefaultSettings::GetDefault(std::string_view key, const MessageSink& sink) const {
    const std::string wanted = Lower(key);
    for (const auto& [k, v] : pairs_) {
        if (Lower(k) == wanted) return Lower(v);
    }
    Report(sink, kMissingKeyMessage, wanted);
    return {};
}

int DefaultSettings::GetDefaultInt(std::string_view key, const MessageSink& sink) const {
    const std::string v = GetDefault(key, sink);
    if (v == "true") return 1;
    if (v == "false") return 0;
    std::size_t i = 0;
    bool negative = false;
    if (i < v.size() && (v[i] == '+' || v[i] == '-')) {
        negative = v[i] == '-';
        ++i;
    }
    long long value = 0;
    for (; i < v.size() && v[i] >= '0' && v[i] <= '9'; ++i) {
        value = value * 10 + (v[i] - '0');
        if (value > static_cast<long long>(INT_MAX) + 1) value = static_cast<long long>(INT_MAX) + 1;
    }
    if (negative) return static_cast<int>(-value);
    return value > INT_MAX ? INT_MAX : static_cast<int>(value);
}

Settings LoadDefaults(std::span<const std::uint8_t> text, const MessageSink& sink) {
    DefaultSettings table;
    table.Parse(text, sink);
    Settings d;
    // The lookup order decides the order of any "missing key" messages.
    d.UseAdvLight = table.GetDefaultInt("UseAdvLight", sink) != 0 ? TRUE : FALSE;
    d.DigClock_24H = table.GetDefaultInt("DigClock_24H", sink) != 0;
    d.ExitOnMouseMove = table.GetDefaultInt("ExitOnMouseMove", sink);
    d.FSAA = table.GetDefaultInt("FSAA", sink);
    d.GmCntrl = static_cast<std::uint8_t>(table.GetDefaultInt("GammControl", sink));
    d.BitCount = table.GetDefaultInt("MBitCount", sink);
    d.Height = table.GetDefaultInt("MH", sink);
    d.Width = table.GetDefaultInt("MW", sink);
    d.Music = table.GetDefaultInt("Music", sink);
    d.SFX = table.GetDefaultInt("SFX", sink);
    d.MusicVolume = table.GetDefaultInt("MusicVolume", sink);
    d.ShowFPS = table.GetDefaultInt("ShowFPS", sink);
    d.ShowTime = table.GetDefaultInt("ShowTime", sink);
    d.UseDesktopSettings = table.GetDefaultInt("UseDktpSet", sink);
    return d;
}

bool ReadSettings(host::SettingsStore& store, Settings& live) {
    const auto values = store.ReadAll();
    if (!values) return false;
    const host::SettingsValues& v = *values;
    ReadBool(v, "ShowFPS", live.ShowFPS);
    ReadBool8(v, "DigClock_24H", live.DigClock_24H);
    if (auto it = v.find("GmCntrl"); it != v.end() && it->second != 0) {
        live.GmCntrl = static_cast<std::uint8_t>(it->second & 0xFF);
    }
    ReadBool(v, "ShowTime", live.ShowTime);
    ReadBool(v, "ExitOnMouseMove", live.ExitOnMouseMove);
    ReadBool(v, "SFX", live.SFX);
    ReadBool(v, "Music", live.Music);
    ReadNumber(v, "MusicVolume", live.MusicVolume, 100);
    ReadBool(v, "UseDesktopSettings", live.UseDesktopSettings);
    ReadNumber(v, "Height", live.Height);
    ReadNumber(v, "Width", live.Width);
    if (auto it = v.find("BitCount"); it != v.end() && (it->second == 16 || it->second == 32)) {
        live.BitCount = static_cast<std::int32_t>(it->second);
    }
    ReadNumber(v, "FSAA", live.FSAA, 16);
    return true;
}

bool WriteSettings(host::SettingsStore& store, const Settings& s) {
    const host::SettingsBatch batch = {
        {"ShowFPS", StoredBool(s.ShowFPS)},
        {"DigClock_24H", StoredBool(s.DigClock_24H)},
        {"ShowTime", StoredBool(s.ShowTime)},
        {"ExitOnMouseMove", StoredBool(s.ExitOnMouseMove)},
        {"SFX", StoredBool(s.SFX)},
        {"Music", StoredBool(s.Music)},
        {"UseDesktopSettings", StoredBool(s.UseDesktopSettings)},
        {"GmCntrl", s.GmCntrl},
        {"Height", static_cast<std::uint32_t>(s.Height)},
        {"Width", static_cast<std::uint32_t>(s.Width)},
        {"BitCount", static_cast<std::uint32_t>(s.BitCount)},
        {"FSAA", static_cast<std::uint32_t>(s.FSAA)},
        {"MusicVolume", static_cast<std::uint32_t>(s.MusicVolume)},
    };
    return store.WriteValues(batch);
}

bool ReadExtraSettings(host::SettingsStore& store, Settings& live) {
    const auto values = store.ReadAll();
    if (!values) return false;
    ReadBool(*values, "UseAdvLight", live.UseAdvLight);
    return true;
}

bool WriteExtraSettings(host::SettingsStore& store, const Settings& live) {
    return store.WriteValues({{"UseAdvLight", StoredBool(live.UseAdvLight)}});
}

void ResetExtraSettings(Settings& live, const Settings& defaults) { live.UseAdvLight = defaults.UseAdvLight; }

void RestoreDefaults(Settings& live, const Settings& defaults) {
    const BOOL adv = live.UseAdvLight;
    live = defaults;
    live.UseAdvLight = adv;
}

std::unique_ptr<host::SettingsStore> OpenUserSettingsStore() {
    return std::make_unique<host::FileSettingsStore>(host::UserSettingsPath(kSettingsKey));
}

}  // namespace settings
