// meshconv info FILE: counts, bounds, bone names and key counts of an .EMD model or .ESA
// animation. An animation is read with as many bone records as it holds, since no model is given.
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "model/emd_format.h"
#include "model/esa_format.h"

namespace {

int Usage() {
    std::fprintf(stderr, "usage: meshconv info FILE\n");
    return 2;
}

struct Box {
    bool any = false;
    float lo[3] = {}, hi[3] = {};
    void Add(const float* p) {
        for (int i = 0; i < 3; ++i) {
            lo[i] = any ? std::min(lo[i], p[i]) : p[i];
            hi[i] = any ? std::max(hi[i], p[i]) : p[i];
        }
        any = true;
    }
    void Print(const char* indent) const {
        if (!any) {
            std::printf("%sbounds: none\n", indent);
            return;
        }
        std::printf("%sbounds: (%g, %g, %g) .. (%g, %g, %g)\n", indent, lo[0], lo[1], lo[2], hi[0], hi[1], hi[2]);
    }
};

int InfoModel(const std::vector<std::uint8_t>& bytes) {
    model::emd::ModelFile m;
    if (FAILED(model::emd::ReadModel(bytes, m))) {
        std::fprintf(stderr, "meshconv: not a valid .EMD model\n");
        return 1;
    }
    std::printf("model: %zu materials, %zu bones, %zu meshes\n", m.materials.size(), m.bones.size(), m.meshes.size());
    for (std::size_t i = 0; i < m.materials.size(); ++i)
        std::printf("  material %zu: colour \"%s\" bump \"%s\" wrap %d %d\n", i, m.materials[i].colourMap.c_str(),
                    m.materials[i].bumpMap.c_str(), m.materials[i].wrapU, m.materials[i].wrapV);
    for (std::size_t i = 0; i < m.bones.size(); ++i)
        std::printf("  bone %zu: %s (parent %d)\n", i, m.bones[i].name.c_str(), m.bones[i].parent);
    Box all;
    for (const auto& mesh : m.meshes) {
        std::size_t triangles = 0, translucent = 0, skinned = 0;
        for (const auto& g : mesh.groups) {
            triangles += g.FaceCount();
            translucent += g.translucent;
        }
        Box box;
        for (const auto& v : mesh.vertices) {
            box.Add(v.position);
            all.Add(v.position);
            skinned += !v.weights.empty();
        }
        std::printf("  mesh %s: %zu source vertices (%zu skinned), %zu render vertices, %zu groups (%zu translucent), "
                    "%zu triangles\n",
                    mesh.name.c_str(), mesh.vertices.size(), skinned, mesh.renderVertices.size(), mesh.groups.size(),
                    translucent, triangles);
        box.Print("    ");
    }
    all.Print("  ");
    return 0;
}

int InfoAnimation(const std::vector<std::uint8_t>& bytes) {
    std::size_t tracks = 0;
    model::esa::AnimationFile a;
    if (FAILED(model::esa::CountAnimationTracks(bytes, tracks)) || FAILED(model::esa::ReadAnimation(bytes, tracks, a))) {
        std::fprintf(stderr, "meshconv: not a valid .ESA animation\n");
        return 1;
    }
    std::printf("animation: length %d ms, key interval %d ms, %zu bone tracks\n", a.animLength, a.keyInterval,
                a.tracks.size());
    for (std::size_t i = 0; i < a.tracks.size(); ++i) {
        const auto& t = a.tracks[i];
        std::printf("  bone %zu: %zu position keys, %zu rotation keys, times %d .. %d\n", i, t.positionKeys.size(),
                    t.rotationKeys.size(), t.positionKeys.front().time, t.positionKeys.back().time);
    }
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3 || std::strcmp(argv[1], "info") != 0) return Usage();
    std::ifstream in(argv[2], std::ios::binary);
    if (!in) {
        std::fprintf(stderr, "meshconv: cannot open %s\n", argv[2]);
        return 1;
    }
    const std::vector<std::uint8_t> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (bytes.size() >= 4 && std::memcmp(bytes.data(), "emd", 4) == 0) return InfoModel(bytes);
    if (bytes.size() >= 4 && std::memcmp(bytes.data(), "esa", 4) == 0) return InfoAnimation(bytes);
    std::fprintf(stderr, "meshconv: %s is neither an .EMD model nor an .ESA animation\n", argv[2]);
    return 1;
}
