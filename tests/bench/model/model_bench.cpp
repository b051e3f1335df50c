// Costs of the Model object on the processor: skinning the animated army set per frame,
// RenderModel per model (on the recording device, so its own bookkeeping is included), and
// loading from file bytes to filled buffers. Each figure is also printed as a share of one
// 60 Hz frame (16.7 ms).
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdio>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "bench/model/frame_share_reporter.h"
#include "model/model.h"
#include "model/model_test_support.h"

namespace {

using namespace model_test;

// Deterministic pseudo-random numbers (no dependence on the library's rand).
struct Lcg {
    std::uint32_t s;
    std::uint32_t Next() {
        s = s * 1664525u + 1013904223u;
        return s >> 8;
    }
    float Unit() { return static_cast<float>(Next() & 0xFFFF) / 65535.0f; }
    int Below(int n) { return static_cast<int>(Next() % static_cast<std::uint32_t>(n)); }
};

// A skinned model shaped like the army's: `vertices` source vertices of up to three influences
// among `bones` bones, two normal entries and two texture entries each, `faces` triangles whose
// corners pick entries so that vertex splitting gives a bit over two render vertices per vertex.
ModelFile SkinnedLike(int vertices, int faces, int bones, std::uint32_t seed) {
    Lcg rng{seed};
    ModelFile file;
    file.materials = {MakeMaterial("orc.jpg", "orcDOT3.jpg")};
    for (int b = 0; b < bones; ++b) file.bones.push_back({"bone" + std::to_string(b), b - 1});
    Mesh mesh;
    mesh.name = "body";
    for (int i = 0; i < vertices; ++i) {
        SourceVertex v = StaticVertex(rng.Unit(), rng.Unit() * 2, rng.Unit());
        v.normals.push_back(v.normals[0]);
        v.channels[0].push_back({rng.Unit(), rng.Unit()});
        const int influences = 1 + rng.Below(3);
        float left = 1.0f;
        for (int k = 0; k < influences; ++k) {
            model::emd::SkinWeight w;
            w.bone = rng.Below(bones);
            w.weight = k + 1 == influences ? left : left * 0.6f;
            left -= w.weight;
            for (int c = 0; c < 3; ++c) w.offset[c] = rng.Unit() - 0.5f;
            v.weights.push_back(w);
        }
        for (auto& n : v.normals) n.weights = v.weights;
        mesh.vertices.push_back(v);
    }
    model::emd::FaceGroup g;
    g.material = 0;
    g.uvIndices.resize(1);
    for (int f = 0; f < faces * 3; ++f) {
        g.vertexIndices.push_back(rng.Below(vertices));
        g.normalIndices.push_back(rng.Below(100) < 82 ? 0 : 1);
        g.uvIndices[0].push_back(rng.Below(100) < 88 ? 0 : 1);
    }
    mesh.groups = {g};
    file.meshes = {mesh};
    return file;
}

model::esa::AnimationFile Walk(int bones, int length) {
    model::esa::AnimationFile anim;
    anim.animLength = length;
    anim.keyInterval = 100;
    for (int b = 0; b < bones; ++b)
        anim.tracks.push_back(Track(
            length, 100, [b](int t) { return D3DXVECTOR3(0.01f * t, 0.1f * b, 0); },
            [b](int t) {
                const float h = 0.0005f * t + 0.1f * b;
                return D3DXQUATERNION(0, std::sin(h), 0, std::cos(h));
            }));
    return anim;
}

struct Army {
    FakeStage stage;
    std::vector<std::unique_ptr<model::Model>> models;
    std::size_t renderVertices = 0;

    Army() {
        // Eight orcs, a troll, a beast, a banner and the drums.
        struct Kind {
            int vertices, faces, bones, length, count;
        } kinds[] = {{588, 1111, 22, 1000, 8}, {600, 1150, 24, 1333, 1}, {620, 1180, 20, 833, 1},
                     {560, 1000, 8, 1000, 1}, {590, 1100, 6, 1333, 1}};
        std::uint32_t seed = 1;
        for (const Kind& k : kinds) {
            for (int c = 0; c < k.count; ++c) {
                auto m = std::make_unique<model::Model>(stage.pool.get(), stage.textures.get());
                m->LoadModelFromBytes(Bytes(SkinnedLike(k.vertices, k.faces, k.bones, seed++)));
                m->LoadAnimationFromBytes(Bytes(Walk(k.bones, k.length)));
                renderVertices += m->Meshes()[0].renderVertexCount;
                models.push_back(std::move(m));
            }
        }
    }
};

void BM_SkinArmyFrame(benchmark::State& state) {
    Army army;
    float t = 0;
    for (auto _ : state) {
        t += 16.7f;
        for (auto& m : army.models) {
            m->SetTime(t);
            m->ApplySkinning();
        }
    }
    state.counters["models"] = static_cast<double>(army.models.size());
    state.counters["render_vertices"] = static_cast<double>(army.renderVertices);
}
BENCHMARK(BM_SkinArmyFrame)->Unit(benchmark::kMicrosecond);

void BM_RenderModelStatic(benchmark::State& state) {
    Army army;
    model::Model& m = *army.models[0];
    int drawn = 0;
    for (auto _ : state) {
        m.RenderModel(army.stage.device);
        if (++drawn == 4096) {  // the recording device keeps every call; empty it now and then
            state.PauseTiming();
            army.stage.device->Log.Clear();
            drawn = 0;
            state.ResumeTiming();
        }
    }
}
BENCHMARK(BM_RenderModelStatic)->Unit(benchmark::kMicrosecond);

void BM_RenderModelAfterTimeStep(benchmark::State& state) {
    Army army;
    model::Model& m = *army.models[0];
    int drawn = 0;
    for (auto _ : state) {
        m.AdvanceTime(16.7f);
        m.RenderModel(army.stage.device);  // skins first
        if (++drawn == 4096) {
            state.PauseTiming();
            army.stage.device->Log.Clear();
            drawn = 0;
            state.ResumeTiming();
        }
    }
}
BENCHMARK(BM_RenderModelAfterTimeStep)->Unit(benchmark::kMicrosecond);

void BM_LoadOrcFromBytes(benchmark::State& state) {
    FakeStage stage;
    const std::vector<std::uint8_t> bytes = Bytes(SkinnedLike(588, 1111, 22, 7));
    model::Model m(stage.pool.get(), stage.textures.get());
    for (auto _ : state) benchmark::DoNotOptimize(m.LoadModelFromBytes(bytes));
    state.counters["file_bytes"] = static_cast<double>(bytes.size());
    state.counters["render_vertices"] = m.Meshes()[0].renderVertexCount;
}
BENCHMARK(BM_LoadOrcFromBytes)->Unit(benchmark::kMicrosecond);

}  // namespace

int main(int argc, char** argv) { return bench::RunWithFrameShares(argc, argv); }
