// Decoding speed of ExtractFile over every entry of a multi-megabyte archive, against unar
// extracting the same archive to a RAM-backed directory in the same run.
//
// The archive: $GRIM_MEDIA_BENCH_ARCHIVE if set; else the build's media archive once it holds at
// least 4 MB; otherwise a mixed corpus of about 10 MB (text,
// mesh-like float tables, image-like rows, 16-bit PCM, a little noise) generated here and packed
// with bin/rarpack; without rarpack, the peer archive with its WAV file as a stopgap.
#include <benchmark/benchmark.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "media/archive.h"

namespace fs = std::filesystem;

namespace {

std::vector<std::uint8_t> g_archive;
std::vector<media::ArchiveEntry> g_entries;
std::string g_archivePath;
std::string g_workDir;
double g_oursSeconds = 0, g_unarSeconds = 0, g_oursNonAudioRate = 0;

// An entry whose first table set selects the audio predictor (bit 15 of its first bits).
bool IsAudio(const media::ArchiveEntry& e) {
    if (e.method == media::rar::kMethodStore || (e.flags & media::rar::kFileEncrypted) || e.packSize == 0) return false;
    return e.dataOffset < g_archive.size() && (g_archive[e.dataOffset] & 0x80) != 0;
}

double ChildCpuSeconds() {
    rusage u{};
    getrusage(RUSAGE_CHILDREN, &u);
    return double(u.ru_utime.tv_sec + u.ru_stime.tv_sec) + 1e-6 * double(u.ru_utime.tv_usec + u.ru_stime.tv_usec);
}

double SelfCpuSeconds() {
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return double(u.ru_utime.tv_sec + u.ru_stime.tv_sec) + 1e-6 * double(u.ru_utime.tv_usec + u.ru_stime.tv_usec);
}

void WriteFile(const fs::path& p, const std::vector<std::uint8_t>& bytes) {
    fs::create_directories(p.parent_path());
    std::ofstream(p, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
}

// A deterministic corpus shaped like the saver's assets.
void MakeCorpus(const fs::path& dir) {
    std::uint32_t seed = 12345;
    auto rnd = [&] { return seed = seed * 1664525u + 1013904223u; };
    const char* words[] = {"orc", "shield", "march", "canyon", "fire", "banner", "troll", "gate", "bridge",
                           "vertex", "normal", "texture", "light", "shadow", "camera", "track", "the", "and"};
    for (int f = 0; f < 8; ++f) {  // text: shader sources, scene data
        std::string s;
        while (s.size() < 300000) {
            s += words[rnd() % 18];
            s += (rnd() % 9 == 0) ? ";\n" : " ";
            if (rnd() % 40 == 0) s += std::to_string(rnd() % 1000) + ".5, ";
        }
        WriteFile(dir / "Data" / ("text_" + std::to_string(f) + ".txt"), std::vector<std::uint8_t>(s.begin(), s.end()));
    }
    for (int f = 0; f < 10; ++f) {  // mesh-like: 56-byte vertices of smooth floats
        std::vector<std::uint8_t> b;
        for (int v = 0; v < 6000; ++v) {
            float vert[14];
            for (int k = 0; k < 14; ++k) vert[k] = std::round(std::sin(v * 0.01f + k) * 100.0f) / 64.0f;
            const auto* p = reinterpret_cast<const std::uint8_t*>(vert);
            b.insert(b.end(), p, p + sizeof vert);
        }
        WriteFile(dir / "Meshes" / ("mesh_" + std::to_string(f) + ".EMD"), b);
    }
    for (int f = 0; f < 6; ++f) {  // image-like rows with gradients and repeats
        std::vector<std::uint8_t> b;
        for (int y = 0; y < 512; ++y)
            for (int x = 0; x < 512; ++x) {
                b.push_back(std::uint8_t((x * 3 + y) / 4 + (rnd() % 4)));
                b.push_back(std::uint8_t(((x ^ y) & 0x3F) + 40));
                b.push_back(std::uint8_t(y / 2));
            }
        WriteFile(dir / "Texture" / ("tex_" + std::to_string(f) + ".tga"), b);
    }
    for (int f = 0; f < 2; ++f) {  // 16-bit stereo PCM
        std::vector<std::uint8_t> b;
        for (int i = 0; i < 200000; ++i) {
            const auto l = std::int16_t(8000 * std::sin(i * 0.031) + 2000 * std::sin(i * 0.27));
            const auto r = std::int16_t(6000 * std::sin(i * 0.017));
            for (std::int16_t s : {l, r}) {
                b.push_back(std::uint8_t(s));
                b.push_back(std::uint8_t(s >> 8));
            }
        }
        WriteFile(dir / "Sound" / ("pcm_" + std::to_string(f) + ".wav"), b);
    }
    std::vector<std::uint8_t> noise(200000);
    for (auto& c : noise) c = std::uint8_t(rnd() >> 24);
    WriteFile(dir / "Data" / "noise.bin", noise);
}

int Run(const std::string& cmd) {
    const int rc = std::system(cmd.c_str());
    return WIFEXITED(rc) ? WEXITSTATUS(rc) : -1;
}

bool Prepare() {
    const char* env = std::getenv("GRIM_MEDIA_BENCH_ARCHIVE");
    g_workDir = (fs::exists("/dev/shm") ? std::string("/dev/shm") : fs::temp_directory_path().string()) +
                "/grim_media_bench_" + std::to_string(getpid());
    fs::create_directories(g_workDir);
    const std::string rarpack = GRIM_BINARY_DIR "/bin/rarpack";
    const std::string carried = GRIM_BINARY_DIR "/resources/media.rar";
    if (env && *env) {
        g_archivePath = env;
    } else if (fs::exists(carried) && fs::file_size(carried) >= (4u << 20)) {
        g_archivePath = carried;  // the media archive the saver carries
    } else if (fs::exists(rarpack)) {
        MakeCorpus(g_workDir + "/corpus");
        g_archivePath = g_workDir + "/corpus.rar";
        if (Run(rarpack + " create " + g_archivePath + " " + g_workDir + "/corpus > /dev/null") != 0) {
            std::fprintf(stderr, "rarpack failed\n");
            return false;
        }
    } else {
        g_archivePath = GRIM_SOURCE_DIR "/tests/media/data/BoatModernEnglish-regular-unpack20.rar";
        std::fprintf(stderr, "no bin/rarpack: timing the peer archive as a stopgap\n");
    }
    std::ifstream in(g_archivePath, std::ios::binary);
    g_archive.assign(std::istreambuf_iterator<char>(in), {});
    g_entries = media::MediaArchive::ListEntries(media::BlobOverBytes(g_archive.data(), g_archive.size()));
    std::uint64_t total = 0;
    for (const auto& e : g_entries) total += e.unpSize;
    std::uint64_t audio = 0;
    for (const auto& e : g_entries)
        if (IsAudio(e)) audio += e.unpSize;
    std::printf("archive %s: %zu bytes packed, %zu entries, %llu bytes unpacked (%llu in audio mode)\n",
                g_archivePath.c_str(), g_archive.size(), g_entries.size(), static_cast<unsigned long long>(total),
                static_cast<unsigned long long>(audio));
    return !g_entries.empty();
}

void ExtractEntries(benchmark::State& state, bool nonAudioOnly) {
    std::uint64_t bytes = 0;
    for (auto _ : state) {
        for (const auto& e : g_entries) {
            if (nonAudioOnly && IsAudio(e)) continue;
            media::ResourceBlob blob = media::BlobOverBytes(g_archive.data(), g_archive.size());
            media::MemFile file;
            if (!media::ExtractFile(blob, e.name, file)) {
                state.SkipWithError(("extract failed: " + e.name).c_str());
                return;
            }
            bytes += file.size;
            media::FreeMemFile(file);
        }
    }
    state.SetBytesProcessed(std::int64_t(bytes));
}

void BM_ExtractFileAll(benchmark::State& state) {
    const double t0 = SelfCpuSeconds();
    ExtractEntries(state, false);
    g_oursSeconds = (SelfCpuSeconds() - t0) / double(state.iterations());
}
void BM_ExtractFileNonAudio(benchmark::State& state) {
    std::uint64_t bytes = 0;
    for (const auto& e : g_entries)
        if (!IsAudio(e)) bytes += e.unpSize;
    const double t0 = SelfCpuSeconds();
    ExtractEntries(state, true);
    const double s = SelfCpuSeconds() - t0;
    g_oursNonAudioRate = double(bytes) * double(state.iterations()) / s;
}
void BM_UnarExtractAll(benchmark::State& state) {
    const std::string out = g_workDir + "/unar_out";
    const std::string cmd = "unar -q -f -o " + out + " " + g_archivePath + " > /dev/null 2>&1";
    std::uint64_t bytes = 0;
    for (const auto& e : g_entries) bytes += e.unpSize;
    double total = 0;
    for (auto _ : state) {
        fs::remove_all(out);
        // CPU time of the child, so that a busy machine does not skew the ratio.
        const double t0 = ChildCpuSeconds();
        if (Run(cmd) != 0) {
            state.SkipWithError("unar failed");
            return;
        }
        total += ChildCpuSeconds() - t0;
    }
    g_unarSeconds = total / double(state.iterations());
    state.SetBytesProcessed(std::int64_t(bytes * state.iterations()));
}

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    if (!Prepare()) {
        std::fprintf(stderr, "no archive to time\n");
        return 1;
    }
    benchmark::RegisterBenchmark("ExtractFile/all_entries", BM_ExtractFileAll)->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("ExtractFile/non_audio_entries", BM_ExtractFileNonAudio)->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("unar/extract_to_ram", BM_UnarExtractAll)
        ->Unit(benchmark::kMillisecond)
        ->UseRealTime()
        ->Iterations(5);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    if (g_oursSeconds > 0 && g_unarSeconds > 0)
        std::printf("CPU time, unar / ExtractFile (all entries): %.2fx (goal >= 3)\n", g_unarSeconds / g_oursSeconds);
    if (g_oursNonAudioRate > 0)
        std::printf("ExtractFile output on non-audio entries: %.0f MB/s of CPU time (goal >= 200)\n", g_oursNonAudioRate / 1e6);
    fs::remove_all(g_workDir);
    return 0;
}
