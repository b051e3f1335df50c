#include "platform/host/settings_store.h"
#include "settings/settings.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>

#include <sys/wait.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

class FileStoreTest : public ::testing::Test {
protected:
    void SetUp() override {
        char tmpl[] = "/tmp/grim_settings_XXXXXX";
        ASSERT_NE(::mkdtemp(tmpl), nullptr);
        dir_ = tmpl;
        file_ = dir_ / "KORVATH Studio" / "Grimholt 3D Screensaver.conf";
    }
    void TearDown() override { fs::remove_all(dir_); }

    void WriteRaw(const std::string& bytes) {
        fs::create_directories(file_.parent_path());
        std::ofstream(file_, std::ios::binary) << bytes;
    }
    std::string ReadRaw() {
        std::ifstream in(file_, std::ios::binary);
        return {std::istreambuf_iterator<char>(in), {}};
    }
    std::size_t FilesInDir() {
        std::size_t n = 0;
        for ([[maybe_unused]] auto& e : fs::directory_iterator(file_.parent_path())) ++n;
        return n;
    }

    fs::path dir_;
    fs::path file_;
};

TEST_F(FileStoreTest, WriteCreatesDirectoriesAndKeepsOtherNames) {
    host::FileSettingsStore store(file_);
    EXPECT_EQ(store.ReadAll()->size(), 0u);  // no file yet: nothing stored
    WriteRaw("; a hand-written note\nFutureOption = 7\nShowFPS=1\n");
    settings::Settings s;
    s.ShowFPS = TRUE;
    ASSERT_TRUE(settings::WriteSettings(store, s));
    ASSERT_TRUE(settings::WriteExtraSettings(store, s));
    auto v = store.ReadAll();
    ASSERT_TRUE(v);
    EXPECT_EQ(v->at("futureoption"), 7u);
    EXPECT_EQ(v->at("ShowFPS"), 2u);
    EXPECT_EQ(v->at("UseAdvLight"), 2u);
    EXPECT_EQ(v->size(), 15u);
    EXPECT_EQ(FilesInDir(), 1u);  // no temporary file left behind
    EXPECT_EQ((fs::status(file_).permissions() & fs::perms::others_read), fs::perms::none);

    settings::Settings back;
    back.ShowFPS = FALSE;
    ASSERT_TRUE(settings::ReadSettings(store, back));
    EXPECT_TRUE(back.ShowFPS);
}

TEST_F(FileStoreTest, WriterKilledMidWriteLeavesOldFileReadable) {
    host::FileSettingsStore store(file_);
    ASSERT_TRUE(store.WriteValues({{"Width", 1280}, {"Height", 1024}}));
    const std::string before = ReadRaw();

    for (auto stage : {host::SettingsWriteStage::TempCreated, host::SettingsWriteStage::HalfWritten,
                       host::SettingsWriteStage::Written, host::SettingsWriteStage::Synced}) {
        const pid_t child = ::fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            host::FileSettingsStore writer(file_);
            writer.fault_hook = [stage](host::SettingsWriteStage s) {
                if (s == stage) ::_exit(0);  // dies as a crash would: no cleanup
                return true;
            };
            writer.WriteValues({{"Width", 640}, {"Height", 480}});
            ::_exit(1);
        }
        int status = 0;
        ASSERT_EQ(::waitpid(child, &status, 0), child);
        ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
        EXPECT_EQ(ReadRaw(), before);
        EXPECT_EQ(store.ReadValue("Width"), 1280u);
    }
    // The next write still succeeds; it clears the dead writers' old temporaries, not fresh ones.
    EXPECT_EQ(FilesInDir(), 5u);  // four dead writers
    for (auto& e : fs::directory_iterator(file_.parent_path())) {
        if (e.path() != file_) fs::last_write_time(e.path(), fs::file_time_type::clock::now() - std::chrono::hours(1));
    }
    std::ofstream(file_.string() + ".fresh1") << "x";
    ASSERT_TRUE(store.WriteValues({{"Width", 640}}));
    EXPECT_EQ(store.ReadValue("Width"), 640u);
    EXPECT_EQ(store.ReadValue("Height"), 1024u);
    EXPECT_EQ(FilesInDir(), 2u);
}

TEST_F(FileStoreTest, SymlinkedFileIsWrittenAtItsTarget) {
    fs::create_directories(file_.parent_path());
    const fs::path real = dir_ / "real.conf";
    std::ofstream(real) << "Keep=3\n";
    fs::create_symlink(real, file_);
    host::FileSettingsStore store(file_);
    ASSERT_TRUE(store.WriteValue("Width", 1280));
    EXPECT_TRUE(fs::is_symlink(file_));
    EXPECT_EQ(host::FileSettingsStore(real).ReadValue("Width"), 1280u);
    EXPECT_EQ(store.ReadValue("Keep"), 3u);
}

TEST_F(FileStoreTest, FailedWriteRemovesItsTemporaryFile) {
    host::FileSettingsStore store(file_);
    ASSERT_TRUE(store.WriteValue("Width", 1280));
    store.fault_hook = [](host::SettingsWriteStage s) { return s != host::SettingsWriteStage::HalfWritten; };
    EXPECT_FALSE(store.WriteValue("Width", 1));
    EXPECT_EQ(store.ReadValue("Width"), 1280u);
    EXPECT_EQ(FilesInDir(), 1u);
}

TEST_F(FileStoreTest, GarbageReadsAsNotStoredAndIsReplacedCleanly) {
    host::FileSettingsStore store(file_);
    std::mt19937 rng(1234);
    std::string noise(5000, '\0');
    for (char& c : noise) c = static_cast<char>(rng());
    const std::string cases[] = {
        noise,
        std::string("ShowFPS=2\0\0\0MusicVolume=4", 26),   // NULs in a line
        "Width=12" + std::string(5000, '3') + "\n",          // huge line and number
        "Width=-5\nHeight=0x300\nBitCount=4294967296\nFSAA= 4 x\n=7\nMusic\n",
        "ShowTime=2\nMusicVol",                               // truncated
        std::string(2 << 20, 'A'),                            // larger than any settings file
    };
    for (const std::string& garbage : cases) {
        WriteRaw(garbage);
        settings::Settings s;
        s.MusicVolume = 75;
        ASSERT_TRUE(settings::ReadSettings(store, s));
        settings::Settings expected;
        expected.MusicVolume = 75;
        if (garbage.rfind("ShowFPS=2", 0) == 0) expected.ShowFPS = FALSE;  // NULs spoil that line
        if (garbage.rfind("ShowTime=2", 0) == 0) expected.ShowTime = TRUE;
        EXPECT_EQ(s, expected);
    }
    ASSERT_TRUE(settings::WriteSettings(store, settings::Settings{}));
    EXPECT_EQ(store.ReadAll()->size(), 13u);
}

TEST_F(FileStoreTest, FileFormatAcceptsHandEdits) {
    const auto v = host::ParseSettingsFile(
        "  # comment\r\n; other comment\r\n  ShowFPS  =\t2 \r\nWidth=800\nwidth=1024\nBad Name\x01=3\n");
    EXPECT_EQ(v.size(), 2u);
    EXPECT_EQ(v.at("SHOWFPS"), 2u);
    EXPECT_EQ(v.at("Width"), 1024u);  // the later line wins
}

// A settings file written by the program, edited by hand into garbage, and read again gives the
// defaults without a crash.
TEST_F(FileStoreTest, HandEditedIntoGarbageGivesDefaults) {
    host::FileSettingsStore store(file_);
    settings::Settings defaults;
    defaults.MusicVolume = 75;
    settings::Settings mine = defaults;
    mine.Width = 1920;
    mine.ShowFPS = TRUE;
    ASSERT_TRUE(settings::WriteSettings(store, mine));
    std::string text = ReadRaw();
    for (std::size_t i = 0; i < text.size(); i += 3) text[i] = static_cast<char>(0xFF - text[i]);
    WriteRaw(text);
    settings::Settings live = defaults;
    EXPECT_TRUE(settings::ReadSettings(store, live));
    EXPECT_EQ(live, defaults);
}

TEST(SettingsPath, FollowsXdgConfigHomeAndFallsBackToHome) {
    const char* old_xdg = std::getenv("XDG_CONFIG_HOME");
    const char* old_home = std::getenv("HOME");
    const std::string saved_xdg = old_xdg ? old_xdg : "", saved_home = old_home ? old_home : "";

    ::setenv("XDG_CONFIG_HOME", "/x/cfg", 1);
    EXPECT_EQ(host::UserSettingsPath(settings::kSettingsKey),
              fs::path("/x/cfg/KORVATH Studio/Grimholt 3D Screensaver.conf"));
    ::setenv("XDG_CONFIG_HOME", "relative", 1);  // not absolute: ignored
    ::setenv("HOME", "/home/u", 1);
    EXPECT_EQ(host::UserSettingsPath(settings::kSettingsKey),
              fs::path("/home/u/.config/KORVATH Studio/Grimholt 3D Screensaver.conf"));
    ::unsetenv("XDG_CONFIG_HOME");
    EXPECT_EQ(host::UserSettingsPath("A/B\\..\\C"), fs::path());
    EXPECT_EQ(host::UserSettingsPath("Software\\A/B\\C"), fs::path("/home/u/.config/A_B/C.conf"));
    EXPECT_EQ(host::UserSettingsPath(""), fs::path());

    if (old_xdg) ::setenv("XDG_CONFIG_HOME", saved_xdg.c_str(), 1); else ::unsetenv("XDG_CONFIG_HOME");
    if (old_home) ::setenv("HOME", saved_home.c_str(), 1); else ::unsetenv("HOME");
}

TEST(SettingsPath, StoreWithoutPathCannotBeOpened) {
    host::FileSettingsStore store{fs::path()};
    EXPECT_FALSE(store.ReadAll());
    EXPECT_FALSE(store.WriteValue("Width", 1));
}

}  // namespace
