// The user's settings: the record, its built-in defaults from the default-settings text, and
// reading and writing it through the host's settings store.
//
// Life of a value: built-in value -> text default (LoadDefaults, when the application object is
// built) -> stored value (ReadSettings before a run or when the configuration dialog opens) -> the
// user's edits -> stored again (WriteSettings on the dialog's OK). Restore defaults goes back to
// the text defaults without storing anything.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/d3d8/windows_types.h"
#include "platform/host/settings_store.h"

namespace settings {

// The key the values live under (a registry key on Windows, a file name elsewhere: see
// host::UserSettingsPath).
inline constexpr std::string_view kSettingsKey = "Software\\KORVATH Studio\\Grimholt 3D Screensaver";

// Fields are named after their stored values; the initialisers are the built-in values that hold
// before the default-settings text is read.
struct Settings {
    BOOL ShowFPS = FALSE;
    BOOL ExitOnMouseMove = TRUE;
    BOOL ShowTime = TRUE;
    BOOL Music = TRUE;
    BOOL SFX = TRUE;
    std::int32_t MusicVolume = 90;   // percent, 0..100
    std::int32_t Width = 800;
    std::int32_t Height = 600;
    std::int32_t BitCount = 32;      // 16 or 32
    std::int32_t FSAA = 0;           // multisample count, 0 = none
    BOOL UseDesktopSettings = TRUE;
    bool DigClock_24H = false;
    std::uint8_t GmCntrl = 100;      // gamma in percent, 10..200 in the dialog
    // The battle scene's own setting (bump-mapped lighting where the hardware allows it); read,
    // written and reset by the *ExtraSettings functions, not by the ones for the record above.
    BOOL UseAdvLight = TRUE;

    bool operator==(const Settings&) const = default;
};

// Receives the parser's two messages (modal, no owner). Text and caption are UTF-8. The shell
// wires this to the host's message box; an empty function drops the messages.
using MessageSink = std::function<void(std::string_view text, std::string_view caption)>;

// The messages, exactly as shown.
inline constexpr std::string_view kBadFormatMessage = "неправильный формат файла def_settings.txt";
inline constexpr std::string_view kMissingKeyMessage = "Не найден параметр в файле def_settings.txt";

// The table of the default-settings text: "key = value;" lines; comments after ';'; spaces,
// control characters and bytes 0x80-0xFF are ignored (so comment lines in any 8-bit code page
// vanish). Keys compare without regard to ASCII case.
//
// Limits: at most kMaxPairs pairs are kept (later lines are ignored, without messages); no other
// limit than the size of the text, which is read through bounds-checked indexing only.
class DefaultSettings {
public:
    static constexpr std::size_t kMaxPairs = 100;

    // Replaces the table with the pairs of `text`. A non-empty line without '=' is reported through
    // `sink` (kBadFormatMessage, empty caption) and stored with the whole line as key and value.
    void Parse(std::span<const std::uint8_t> text, const MessageSink& sink);

    // The value of the first pair whose key matches, in lower case. A missing key is reported
    // (kMissingKeyMessage, the lower-cased key as caption) and gives "".
    std::string GetDefault(std::string_view key, const MessageSink& sink) const;
    // 1 for "true", 0 for "false", else the value's leading decimal integer (0 when there is none;
    // saturated to the int range).
    int GetDefaultInt(std::string_view key, const MessageSink& sink) const;

    const std::vector<std::pair<std::string, std::string>>& pairs() const { return pairs_; }

private:
    std::vector<std::pair<std::string, std::string>> pairs_;
};

// The defaults block from the default-settings text: every field, UseAdvLight included, read with
// GetDefaultInt under its text key (UseAdvLight, DigClock_24H, ExitOnMouseMove, FSAA, GammControl,
// MBitCount, MH, MW, Music, SFX, MusicVolume, ShowFPS, ShowTime, UseDktpSet, in that order).
Settings LoadDefaults(std::span<const std::uint8_t> text, const MessageSink& sink);
// The same from the executable's resource CustomData 492 (a missing resource gives an empty text,
// so each key is reported missing and reads 0, as it would with an empty resource).
Settings LoadDefaultsFromResource(const MessageSink& sink);

// Overwrites `live` (all but UseAdvLight) with what the store holds: booleans 2 = true, 1 = false,
// anything else leaves the field; numbers replace the field when non-zero (0 means "not stored");
// GmCntrl takes the low 8 bits. Numbers the field cannot hold (MusicVolume over 100, FSAA over 16,
// BitCount other than 16 or 32, a negative Width or Height) also leave it. False when the store
// could not be opened (nothing changed).
bool ReadSettings(host::SettingsStore& store, Settings& live);
// Stores every field but UseAdvLight, booleans as 2/1, in one batch in the fixed order
// ShowFPS, DigClock_24H, ShowTime, ExitOnMouseMove, SFX, Music, UseDesktopSettings, GmCntrl,
// Height, Width, BitCount, FSAA, MusicVolume. False when nothing could be stored.
bool WriteSettings(host::SettingsStore& store, const Settings& live);

// The scene's UseAdvLight, read and written the same way in its own batch.
bool ReadExtraSettings(host::SettingsStore& store, Settings& live);
bool WriteExtraSettings(host::SettingsStore& store, const Settings& live);
// UseAdvLight back to its default.
void ResetExtraSettings(Settings& live, const Settings& defaults);
// Every field but UseAdvLight back to its default (the dialog's Restore Defaults, together with
// ResetExtraSettings). Stores nothing.
void RestoreDefaults(Settings& live, const Settings& defaults);

// The current user's settings store: the file of host::UserSettingsPath(kSettingsKey). A user
// without a home directory gets a store that cannot be opened.
std::unique_ptr<host::SettingsStore> OpenUserSettingsStore();

}  // namespace settings
