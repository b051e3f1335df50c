#include "fakes/host/fake_host.h"
#include "shell/log.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <unistd.h>

namespace {

namespace fs = std::filesystem;

std::string ReadAll(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}

fs::path TempDir(const char* name) {
    fs::path dir = fs::temp_directory_path() / (std::string(name) + "_" + std::to_string(getpid()));
    fs::remove_all(dir);
    fs::create_directories(dir);
    return dir;
}

TEST(Log, ExactBytesAndCloseOnce) {
    const fs::path file = TempDir("grim_log") / "Saver_Log.txt";
    {
        std::ofstream old(file);
        old << "an older run\n";
    }
    Log log;
    log.Open(file.string());
    log.Write("Create Saver Window complete");
    log.Write("two\nlines");
    log.Close();
    log.Close();
    log.Write("after close");
    EXPECT_EQ(ReadAll(file), "Log started\n\nCreate Saver Window complete\ntwo\nlines\n\nLog finished\n");
    fs::remove_all(file.parent_path());
}

TEST(Log, FlushedPerLine) {
    const fs::path file = TempDir("grim_log_flush") / "Saver_Log.txt";
    Log log;
    log.Open(file.string());
    log.Write("step one");
    EXPECT_EQ(ReadAll(file), "Log started\n\nstep one\n");  // readable before Close
    log.Close();
    fs::remove_all(file.parent_path());
}

TEST(Log, SwitchedOffCreatesNothing) {
    const fs::path dir = TempDir("grim_log_off");
    host::FakeHost host;
    Log log;
    log.AttachHost(&host);
    log.SetEnabled(false);
    log.Open((dir / "Saver_Log.txt").string());
    log.Write("x");
    log.Close();
    EXPECT_FALSE(fs::exists(dir / "Saver_Log.txt"));
    EXPECT_TRUE(host.Boxes().empty());
    fs::remove_all(dir);
}

TEST(Log, UncreatableFileWarnsOnceAndIgnoresWrites) {
    host::FakeHost host;
    Log log;
    log.AttachHost(&host);
    log.Open("/nonexistent-dir-for-grim-log/Saver_Log.txt");
    log.Write("x");
    log.Close();
    ASSERT_EQ(host.Boxes().size(), 1u);
    EXPECT_EQ(host.Boxes()[0].text, "Cant create log  file");
    EXPECT_EQ(host.Boxes()[0].caption, "Warning");
    EXPECT_FALSE(log.IsOpen());
}

}  // namespace
