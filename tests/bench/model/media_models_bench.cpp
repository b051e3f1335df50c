// The Model object on the program's own media: skinning the animated army models of the embedded
// archive for one frame, and the load time of every model and animation of the archive, from the
// compressed archive entry to filled vertex and index buffers. Figures are also printed as shares
// of one 60 Hz frame (16.7 ms). Runs on the recording device, so no GPU is involved.
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "bench/model/frame_share_reporter.h"
#include "media/archive.h"
#include "media/resource_blob.h"
#include "model/model.h"
#include "model/model_test_support.h"

namespace {

std::vector<std::uint8_t> Extract(const std::string& name) {
    media::ResourceBlob blob = media::OpenMediaBlob(model::kMediaArchiveId);
    media::MemFile file;
    if (!media::ExtractFile(blob, name, file, model::kMediaArchivePassword)) return {};
    std::vector<std::uint8_t> bytes(file.data, file.data + file.size);
    media::FreeMemFile(file);
    return bytes;
}

// The animated unit models, one of each: the eight orcs, the banner carrier, troll, beast, drums.
std::vector<std::string> AnimatedArmy() {
    std::vector<std::string> names;
    for (int i = 0; i < 8; ++i) names.push_back("Meshes\\Orc_" + std::to_string(i));
    for (const char* n : {"Meshes\\Orc_flag", "Meshes\\cave_troll", "Meshes\\zver", "Meshes\\orc_drums"})
        names.push_back(n);
    return names;
}

void BM_SkinMediaArmyFrame(benchmark::State& state) {
    model_test::FakeStage stage;
    std::vector<std::unique_ptr<model::Model>> models;
    double renderVertices = 0;
    for (const std::string& name : AnimatedArmy()) {
        const auto mesh = Extract(name + ".EMD"), anim = Extract(name + ".ESA");
        auto m = std::make_unique<model::Model>(stage.pool.get(), stage.textures.get());
        if (mesh.empty() || anim.empty() || m->LoadModelFromBytes(mesh) != S_OK ||
            m->LoadAnimationFromBytes(anim) != S_OK) {
            state.SkipWithError(("not in the media archive: " + name).c_str());
            return;
        }
        for (const auto& mm : m->Meshes()) renderVertices += mm.renderVertexCount;
        models.push_back(std::move(m));
    }
    float t = 0;
    for (auto _ : state) {
        t += 16.7f;
        for (auto& m : models) {
            m->SetTime(t);
            m->ApplySkinning();
        }
    }
    state.counters["models"] = static_cast<double>(models.size());
    state.counters["render_vertices"] = renderVertices;
}
BENCHMARK(BM_SkinMediaArmyFrame)->Unit(benchmark::kMicrosecond);

// Every .EMD of the archive (with its .ESA when there is one), extracted and loaded in turn.
void BM_LoadEveryMediaModel(benchmark::State& state) {
    model_test::FakeStage stage;
    std::vector<std::string> meshes;
    for (const auto& e : media::MediaArchive::ListEntries(media::OpenMediaBlob(model::kMediaArchiveId)))
        if (e.name.size() > 4 && e.name.compare(e.name.size() - 4, 4, ".EMD") == 0) meshes.push_back(e.name);
    if (meshes.empty()) {
        state.SkipWithError("the media archive holds no models");
        return;
    }
    for (auto _ : state) {
        for (const std::string& name : meshes) {
            model::Model m(stage.pool.get(), stage.textures.get());
            const auto mesh = Extract(name);
            benchmark::DoNotOptimize(m.LoadModelFromBytes(mesh));
            const auto anim = Extract(name.substr(0, name.size() - 4) + ".ESA");
            if (!anim.empty()) benchmark::DoNotOptimize(m.LoadAnimationFromBytes(anim));
        }
    }
    state.counters["models"] = static_cast<double>(meshes.size());
}
BENCHMARK(BM_LoadEveryMediaModel)->Unit(benchmark::kMillisecond)->Iterations(3);

// One line per model after the table: its own load time (one run each; the archive decoder's
// window is warm after the first).
void PrintPerModelLoadTimes() {
    model_test::FakeStage stage;
    std::printf("\n%-32s %10s %12s %10s\n", "model", "bytes", "render vtx", "load ms");
    double total = 0;
    for (const auto& e : media::MediaArchive::ListEntries(media::OpenMediaBlob(model::kMediaArchiveId))) {
        if (e.name.size() <= 4 || e.name.compare(e.name.size() - 4, 4, ".EMD") != 0) continue;
        const auto start = std::chrono::steady_clock::now();
        model::Model m(stage.pool.get(), stage.textures.get());
        const auto mesh = Extract(e.name);
        m.LoadModelFromBytes(mesh);
        const auto anim = Extract(e.name.substr(0, e.name.size() - 4) + ".ESA");
        if (!anim.empty()) m.LoadAnimationFromBytes(anim);
        const double ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
        double vertices = 0;
        for (const auto& mm : m.Meshes()) vertices += mm.renderVertexCount;
        std::printf("%-32s %10zu %12.0f %10.2f\n", e.name.c_str(), mesh.size(), vertices, ms);
        total += ms;
    }
    std::printf("%-32s %10s %12s %10.2f\n", "all", "", "", total);
}

}  // namespace

int main(int argc, char** argv) { return bench::RunWithFrameShares(argc, argv, PrintPerModelLoadTimes); }
