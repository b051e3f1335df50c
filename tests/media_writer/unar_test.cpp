// A second, independent reader (the unar tool) must extract everything the writer produces.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "media/writer/archive_writer.h"
#include "test_data.h"

namespace {

using namespace media_writer_test;
namespace fs = std::filesystem;

bool HaveUnar() { return std::system("unar -v > /dev/null 2>&1") == 0; }

Bytes ReadAll(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

struct Mode {
    const char* name;
    bool store, solid;
};

class Unar : public ::testing::TestWithParam<Mode> {};

TEST_P(Unar, ExtractsEveryEntryExact) {
    if (!HaveUnar()) GTEST_SKIP() << "unar is not installed (Debian package unar); second-reader check skipped";
    const fs::path root = fs::temp_directory_path() /
                          ("media_writer_unar_" + std::string(GetParam().name) + "_" + std::to_string(::getpid()));
    fs::remove_all(root);
    const fs::path in = root / "in";
    auto files = MixedSet();
    for (int i = 0; i < 40; ++i) files.push_back({"Many/f" + std::to_string(i) + ".txt", Text(50 + i * 31, 200 + i)});
    for (const NamedFile& f : files) {
        fs::create_directories((in / f.name).parent_path());
        std::ofstream(in / f.name, std::ios::binary)
            .write(reinterpret_cast<const char*>(f.data.data()), static_cast<std::streamsize>(f.data.size()));
    }
    media::writer::ArchiveOptions options;
    options.store = GetParam().store;
    options.solid = GetParam().solid;
    const Bytes archive = media::writer::PackDirectory(in, options);
    const fs::path rar = root / "test.rar";
    std::ofstream(rar, std::ios::binary)
        .write(reinterpret_cast<const char*>(archive.data()), static_cast<std::streamsize>(archive.size()));

    const std::string cmd = "unar -q -f -D -o '" + (root / "out").string() + "' '" + rar.string() + "' > '" +
                            (root / "log").string() + "' 2>&1";
    ASSERT_EQ(std::system(cmd.c_str()), 0) << "unar failed: " << std::string(ReadAll(root / "log").begin(),
                                                                            ReadAll(root / "log").end());
    for (const NamedFile& f : files) {
        const fs::path got = root / "out" / f.name;
        ASSERT_TRUE(fs::exists(got)) << f.name;
        EXPECT_TRUE(ReadAll(got) == f.data) << f.name;
    }
    fs::remove_all(root);
}

INSTANTIATE_TEST_SUITE_P(Modes, Unar,
                         ::testing::Values(Mode{"stored", true, false}, Mode{"compressed", false, false},
                                           Mode{"solid", false, true}),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
