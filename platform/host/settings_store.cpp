// The settings store: in memory, and the per-user settings file.
//
// File reader limits: a file over FileSettingsStore::kMaxFileBytes is not read; a line over
// kMaxLineBytes, a line without '=', a name that is empty, too long or holds control characters,
// and a value that is not a plain decimal number of at most 32 bits are skipped; at most kMaxValues
// values are kept. Nothing in a file can make the reader fail: it gives the values it understood.
#include "platform/host/settings_store.h"

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <string>

#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <unistd.h>

namespace host {

namespace {

char LowerAscii(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

constexpr std::size_t kMaxNameBytes = 255;  // the registry's limit on value names

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

std::string_view Trim(std::string_view s) {
    while (!s.empty() && IsBlank(s.front())) s.remove_prefix(1);
    while (!s.empty() && IsBlank(s.back())) s.remove_suffix(1);
    return s;
}

bool ValidName(std::string_view name) {
    if (name.empty() || name.size() > kMaxNameBytes) return false;
    if (name.front() == '#' || name.front() == ';') return false;
    for (char c : name) {
        const auto u = static_cast<unsigned char>(c);
        if (u < 0x20 || u == 0x7F || c == '=') return false;
    }
    return true;
}

std::optional<std::uint32_t> ParseDecimal(std::string_view s) {
    if (s.empty() || s.size() > 10) return std::nullopt;
    std::uint64_t v = 0;
    for (char c : s) {
        if (c < '0' || c > '9') return std::nullopt;
        v = v * 10 + static_cast<std::uint64_t>(c - '0');
    }
    if (v > 0xFFFFFFFFull) return std::nullopt;
    return static_cast<std::uint32_t>(v);
}

// Reads at most `limit` + 1 bytes so that an oversized file is recognised without reading it all.
std::optional<std::string> ReadSmallFile(const std::filesystem::path& file, std::size_t limit, bool* missing) {
    *missing = false;
    int fd = ::open(file.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY);
    if (fd < 0) {
        *missing = (errno == ENOENT || errno == ENOTDIR);
        return std::nullopt;
    }
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        return std::nullopt;
    }
    std::string data;
    char buf[8192];
    for (;;) {
        ssize_t n = ::read(fd, buf, sizeof buf);
        if (n < 0) {
            if (errno == EINTR) continue;
            ::close(fd);
            return std::nullopt;
        }
        if (n == 0) break;
        data.append(buf, static_cast<std::size_t>(n));
        if (data.size() > limit) {
            ::close(fd);
            return std::nullopt;
        }
    }
    ::close(fd);
    return data;
}

bool WriteAll(int fd, const char* p, std::size_t n) {
    while (n > 0) {
        ssize_t w = ::write(fd, p, n);
        if (w < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        p += w;
        n -= static_cast<std::size_t>(w);
    }
    return true;
}

// mkdir -p with mode 0700 for what it creates.
bool MakeDirectories(const std::filesystem::path& dir) {
    if (dir.empty()) return true;
    struct stat st {};
    if (::stat(dir.c_str(), &st) == 0) return S_ISDIR(st.st_mode);
    if (dir.has_parent_path() && dir.parent_path() != dir && !MakeDirectories(dir.parent_path())) return false;
    if (::mkdir(dir.c_str(), 0700) == 0) return true;
    return errno == EEXIST && ::stat(dir.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

void SyncDirectory(const std::filesystem::path& dir) {
    int fd = ::open(dir.empty() ? "." : dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        ::fsync(fd);
        ::close(fd);
    }
}

std::string SanitiseComponent(std::string_view c) {
    std::string out;
    for (char ch : c) {
        const auto u = static_cast<unsigned char>(ch);
        out += (ch == '/' || u < 0x20 || u == 0x7F) ? '_' : ch;
    }
    return out;
}

// Temporary files of writers that died before their rename; only old ones, so that a writer
// running beside this one keeps its file.
void RemoveStaleTemporaries(const std::filesystem::path& target) {
    const std::string prefix = target.filename().string() + ".";
    const auto now = std::filesystem::file_time_type::clock::now();
    std::error_code ec;
    for (const auto& entry : std::filesystem::directory_iterator(target.parent_path(), ec)) {
        const std::string name = entry.path().filename().string();
        if (name.size() != prefix.size() + 6 || name.compare(0, prefix.size(), prefix) != 0) continue;
        std::error_code e2;
        if (!entry.is_regular_file(e2)) continue;
        const auto written = entry.last_write_time(e2);
        if (!e2 && now - written > std::chrono::minutes(10)) std::filesystem::remove(entry.path(), e2);
    }
}

}  // namespace

bool SettingsNameLess::operator()(std::string_view a, std::string_view b) const {
    const std::size_t n = a.size() < b.size() ? a.size() : b.size();
    for (std::size_t i = 0; i < n; ++i) {
        const char x = LowerAscii(a[i]), y = LowerAscii(b[i]);
        if (x != y) return static_cast<unsigned char>(x) < static_cast<unsigned char>(y);
    }
    return a.size() < b.size();
}

std::optional<std::uint32_t> SettingsStore::ReadValue(std::string_view name) {
    auto all = ReadAll();
    if (!all) return std::nullopt;
    auto it = all->find(name);
    if (it == all->end()) return std::nullopt;
    return it->second;
}

bool SettingsStore::WriteValue(std::string_view name, std::uint32_t value) {
    return WriteValues({{std::string(name), value}});
}

std::optional<SettingsValues> MemorySettingsStore::ReadAll() {
    if (fail_open) return std::nullopt;
    return values;
}

bool MemorySettingsStore::WriteValues(const SettingsBatch& batch) {
    if (fail_open) return false;
    for (const auto& [name, value] : batch) {
        values.insert_or_assign(name, value);
        write_log.push_back(name);
    }
    ++batches_written;
    return true;
}

SettingsValues ParseSettingsFile(std::string_view text) {
    SettingsValues out;
    std::size_t pos = 0;
    while (pos < text.size()) {
        std::size_t end = text.find('\n', pos);
        if (end == std::string_view::npos) end = text.size();
        std::string_view line = text.substr(pos, end - pos);
        pos = end + 1;
        if (line.size() > FileSettingsStore::kMaxLineBytes) continue;
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        line = Trim(line);
        if (line.empty() || line.front() == '#' || line.front() == ';') continue;
        const std::size_t eq = line.find('=');
        if (eq == std::string_view::npos) continue;
        const std::string_view name = Trim(line.substr(0, eq));
        const auto value = ParseDecimal(Trim(line.substr(eq + 1)));
        if (!ValidName(name) || !value) continue;
        auto it = out.find(name);
        if (it != out.end()) {
            it->second = *value;  // a later line of the same name wins, as a hand edit expects
        } else if (out.size() < FileSettingsStore::kMaxValues) {
            out.emplace(std::string(name), *value);
        }
    }
    return out;
}

std::string FormatSettingsFile(const SettingsValues& values, const SettingsBatch& order) {
    std::string out = "# Settings of Grimholt 3D Screensaver: one value a line, Name=decimal DWORD.\n"
                      "# Switches are 2 for on and 1 for off; 0 or a missing line means not set.\n";
    SettingsValues done;
    auto emit = [&](std::string_view name, std::uint32_t value) {
        if (!ValidName(name) || done.count(name)) return;
        done.emplace(std::string(name), 0);
        out.append(name);
        out += '=';
        out += std::to_string(value);
        out += '\n';
    };
    for (const auto& entry : order) {
        auto it = values.find(entry.first);
        if (it != values.end()) emit(it->first, it->second);
    }
    for (const auto& [name, value] : values) emit(name, value);
    return out;
}

std::filesystem::path UserSettingsPath(std::string_view key_path) {
    std::vector<std::string> parts;
    std::size_t pos = 0;
    while (pos <= key_path.size()) {
        std::size_t end = key_path.find('\\', pos);
        if (end == std::string_view::npos) end = key_path.size();
        std::string_view part = key_path.substr(pos, end - pos);
        if (!part.empty()) {
            if (part == "." || part == "..") return {};
            parts.push_back(SanitiseComponent(part));
        }
        pos = end + 1;
    }
    if (!parts.empty() && parts.size() > 1) {
        std::string first = parts.front();
        for (char& c : first) c = LowerAscii(c);
        if (first == "software") parts.erase(parts.begin());
    }
    if (parts.empty()) return {};

    std::filesystem::path base;
    const char* xdg = std::getenv("XDG_CONFIG_HOME");
    if (xdg != nullptr && xdg[0] == '/') {
        base = xdg;  // a relative value is invalid and ignored
    } else {
        const char* home = std::getenv("HOME");
        std::string home_dir = (home != nullptr && home[0] == '/') ? home : "";
        if (home_dir.empty()) {
            struct passwd pw {};
            struct passwd* found = nullptr;
            std::vector<char> buf(16384);
            if (::getpwuid_r(::getuid(), &pw, buf.data(), buf.size(), &found) == 0 && found != nullptr &&
                found->pw_dir != nullptr && found->pw_dir[0] == '/') {
                home_dir = found->pw_dir;
            }
        }
        if (home_dir.empty()) return {};
        base = std::filesystem::path(home_dir) / ".config";
    }
    for (std::size_t i = 0; i + 1 < parts.size(); ++i) base /= parts[i];
    return base / (parts.back() + ".conf");
}

FileSettingsStore::FileSettingsStore(std::filesystem::path file) : file_(std::move(file)) {}

std::optional<SettingsValues> FileSettingsStore::ReadAll() {
    if (file_.empty()) return std::nullopt;
    bool missing = false;
    auto data = ReadSmallFile(file_, kMaxFileBytes, &missing);
    if (!data) return SettingsValues{};  // missing, unreadable or oversized: nothing stored
    return ParseSettingsFile(*data);
}

bool FileSettingsStore::WriteValues(const SettingsBatch& batch) {
    if (file_.empty()) return false;
    auto hook = [this](SettingsWriteStage stage) { return !fault_hook || fault_hook(stage); };

    SettingsValues merged = ReadAll().value_or(SettingsValues{});
    for (const auto& [name, value] : batch) {
        if (!ValidName(name)) continue;
        merged.insert_or_assign(name, value);
    }
    const std::string text = FormatSettingsFile(merged, batch);

    // A settings file that is a symbolic link (kept in a dotfiles repository, say) is replaced at
    // its target, so the link survives.
    std::filesystem::path target = file_;
    std::error_code ec;
    if (std::filesystem::is_symlink(file_, ec)) {
        auto resolved = std::filesystem::weakly_canonical(file_, ec);
        if (!ec) target = resolved;
    }
    const std::filesystem::path dir = target.parent_path();
    if (!MakeDirectories(dir)) return false;

    std::string tmpl = target.string() + ".XXXXXX";
    int fd = ::mkstemp(tmpl.data());
    if (fd < 0) return false;
    const std::filesystem::path tmp = tmpl;
    auto fail = [&] {
        if (fd >= 0) ::close(fd);
        ::unlink(tmp.c_str());
        return false;
    };
    ::fcntl(fd, F_SETFD, FD_CLOEXEC);
    if (!hook(SettingsWriteStage::TempCreated)) return fail();
    const std::size_t half = text.size() / 2;
    if (!WriteAll(fd, text.data(), half)) return fail();
    if (!hook(SettingsWriteStage::HalfWritten)) return fail();
    if (!WriteAll(fd, text.data() + half, text.size() - half)) return fail();
    if (!hook(SettingsWriteStage::Written)) return fail();
    if (::fsync(fd) != 0) return fail();
    if (!hook(SettingsWriteStage::Synced)) return fail();
    if (::close(fd) != 0) {
        fd = -1;
        return fail();
    }
    fd = -1;
    if (::rename(tmp.c_str(), target.c_str()) != 0) return fail();
    SyncDirectory(dir);
    hook(SettingsWriteStage::Renamed);
    RemoveStaleTemporaries(target);
    return true;
}

}  // namespace host
