// The user's settings store of the host port: named 32-bit (DWORD) values under one key.
//
// On Windows the key is a registry key under HKEY_CURRENT_USER. On Linux it is one text file per
// user: the key "Software\KORVATH Studio\Grimholt 3D Screensaver" becomes
//   $XDG_CONFIG_HOME/KORVATH Studio/Grimholt 3D Screensaver.conf
// ($XDG_CONFIG_HOME defaults to $HOME/.config; see UserSettingsPath). Each line of the file holds
// one value, "Name=decimal"; lines starting with '#' or ';' are comments.
//
// What a store must provide:
//   - ReadAll: every value it holds, or nothing when the key cannot be opened at all. A value that
//     is missing, unreadable or malformed is simply absent: no error is reported.
//   - WriteValues: store a batch of values in the given order as one unit. Either the whole batch
//     lands, or the values held before stay readable as they were. Values of other names already
//     held are kept.
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace host {

// Value names compare without regard to ASCII case, as registry value names do.
struct SettingsNameLess {
    using is_transparent = void;
    bool operator()(std::string_view a, std::string_view b) const;
};
using SettingsValues = std::map<std::string, std::uint32_t, SettingsNameLess>;
using SettingsBatch = std::vector<std::pair<std::string, std::uint32_t>>;

class SettingsStore {
public:
    virtual ~SettingsStore() = default;

    // Every stored value; nullopt when the key cannot be opened (the caller then leaves its values
    // as they are). A key that does not exist yet reads as an empty set.
    virtual std::optional<SettingsValues> ReadAll() = 0;

    // Stores the batch (later entries of the same name win); false when nothing was stored.
    virtual bool WriteValues(const SettingsBatch& values) = 0;

    // One value: found or not. Reads the whole key; use ReadAll for several values.
    std::optional<std::uint32_t> ReadValue(std::string_view name);
    // One value in its own batch.
    bool WriteValue(std::string_view name, std::uint32_t value);
};

// Keeps the values in memory; for tests and for runs that must not touch the user's files.
class MemorySettingsStore : public SettingsStore {
public:
    std::optional<SettingsValues> ReadAll() override;
    bool WriteValues(const SettingsBatch& values) override;

    SettingsValues values;
    bool fail_open = false;           // simulates a key that cannot be opened (read and write)
    std::vector<std::string> write_log;  // every name written, in order, across all batches
    int batches_written = 0;
};

// The settings file of the current user for a registry-style key path such as
// "Software\KORVATH Studio\Grimholt 3D Screensaver": a leading "Software" component is dropped,
// the middle components become directories and the last one the file name with ".conf" appended,
// under $XDG_CONFIG_HOME when that is set to an absolute path, else under $HOME/.config (HOME from
// the password database when unset). Components are sanitised ('/' and control characters become
// '_', "." and ".." are refused). Empty when no base directory can be found or the key is empty.
std::filesystem::path UserSettingsPath(std::string_view key_path);

// Where a write stands; a fault hook sees each stage before the store goes on (tests use it to
// kill a writer in the middle of a write).
enum class SettingsWriteStage {
    TempCreated,   // the temporary file exists, nothing written to it yet
    HalfWritten,   // about half of the new contents is in the temporary file
    Written,       // all of it is written, not yet synced
    Synced,        // the temporary file is synced, not yet renamed over the old file
    Renamed,       // the new file is in place
};

// The settings file. Reading accepts anything: a missing, unreadable, truncated or garbled file, or
// a bad line, gives the values that can be read (possibly none). Writing reads the current file,
// merges the batch into it (keeping values of other names), writes a temporary file in the same
// directory, syncs it and renames it over the old file, then syncs the directory; the directory
// chain is created (mode 0700) when missing.
//
// Limits: files larger than kMaxFileBytes are not read (they read as empty, and the next write
// replaces them); lines longer than kMaxLineBytes are ignored; at most kMaxValues values are kept.
class FileSettingsStore : public SettingsStore {
public:
    static constexpr std::size_t kMaxFileBytes = 1 << 20;
    static constexpr std::size_t kMaxLineBytes = 1024;
    static constexpr std::size_t kMaxValues = 4096;

    explicit FileSettingsStore(std::filesystem::path file);

    std::optional<SettingsValues> ReadAll() override;
    bool WriteValues(const SettingsBatch& values) override;

    const std::filesystem::path& path() const { return file_; }

    // Test hook: called at each stage of a write; returning false makes the write fail there
    // (the temporary file is removed, the old file stays).
    std::function<bool(SettingsWriteStage)> fault_hook;

private:
    std::filesystem::path file_;
};

// The file format, on its own so that tools, tests and the fuzzer can use it without a file.
SettingsValues ParseSettingsFile(std::string_view text);
std::string FormatSettingsFile(const SettingsValues& values, const SettingsBatch& order);

}  // namespace host
