// meshconv convert IN.gltf|IN.glb OUT.EMD [--esa OUT.ESA] [--anim NAME] [--length MS] [--scale S]
// meshconv info FILE [--model EMD]
//
// `convert` turns a glTF scene into a model (and, with --esa, its animation); `info` prints the
// counts, names, bounds and key layout of an .EMD model or .ESA animation.
#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <optional>
#include <string>
#include <vector>

#include "model/emd_format.h"
#include "model/esa_format.h"
#include "tools/common/file_io.h"
#include "tools/meshconv/convert.h"

namespace {

int Usage() {
    std::fprintf(stderr,
                 "usage: meshconv convert IN.gltf|IN.glb OUT.EMD [--esa OUT.ESA] [--anim NAME] [--length MS] [--scale S]\n"
                 "       meshconv info FILE.EMD|FILE.ESA [--model FILE.EMD]\n");
    return 2;
}

int Error(const std::string& message) {
    std::fprintf(stderr, "meshconv: %s\n", message.c_str());
    return 1;
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
        std::printf("%sbounds: min (%g, %g, %g) max (%g, %g, %g) size (%g, %g, %g)\n", indent, lo[0], lo[1], lo[2],
                    hi[0], hi[1], hi[2], hi[0] - lo[0], hi[1] - lo[1], hi[2] - lo[2]);
    }
};

int InfoModel(const std::vector<std::uint8_t>& bytes) {
    model::emd::ModelFile m;
    if (FAILED(model::emd::ReadModel(bytes, m))) return Error("not a valid .EMD model");
    std::printf("model: %zu materials, %zu bones, %zu meshes\n", m.materials.size(), m.bones.size(), m.meshes.size());
    for (std::size_t i = 0; i < m.materials.size(); ++i) {
        const auto& mt = m.materials[i];
        std::printf("  material %zu: colour \"%s\" bump \"%s\" wrap %d %d%s\n", i, mt.colourMap.c_str(),
                    mt.bumpMap.c_str(), mt.wrapU, mt.wrapV, model::emd::IsTranslucentMap(mt.colourMap) ? " (translucent)" : "");
        std::printf("    ambient (%g, %g, %g) diffuse (%g, %g, %g) specular (%g, %g, %g)\n", mt.ambient[0], mt.ambient[1],
                    mt.ambient[2], mt.diffuse[0], mt.diffuse[1], mt.diffuse[2], mt.specular[0], mt.specular[1],
                    mt.specular[2]);
    }
    for (std::size_t i = 0; i < m.bones.size(); ++i) {
        const int p = m.bones[i].parent;
        const bool known = p >= 0 && static_cast<std::size_t>(p) < m.bones.size();
        std::printf("  bone %zu: %s (parent %d%s%s)\n", i, m.bones[i].name.c_str(), p, known ? " " : "",
                    known ? m.bones[p].name.c_str() : "");
    }
    Box all;
    std::size_t totalRender = 0, totalFaces = 0;
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
        totalRender += mesh.renderVertices.size();
        totalFaces += triangles;
        std::printf("  mesh %s: %zu source vertices (%zu skinned), %zu faces, %zu render vertices, %zu groups "
                    "(%zu translucent)\n",
                    mesh.name.c_str(), mesh.vertices.size(), skinned, triangles, mesh.renderVertices.size(),
                    mesh.groups.size(), translucent);
        box.Print("    ");
    }
    std::printf("  total: %zu faces, %zu render vertices\n", totalFaces, totalRender);
    all.Print("  model ");
    return 0;
}

// The .EMD next to an .ESA (same name, either case of the extension).
std::optional<std::string> SiblingModel(const std::string& path) {
    const std::size_t dot = path.find_last_of('.');
    if (dot == std::string::npos || path.find('/', dot) != std::string::npos) return std::nullopt;
    for (const char* ext : {".EMD", ".emd"}) {
        const std::string candidate = path.substr(0, dot) + ext;
        if (std::ifstream(candidate, std::ios::binary)) return candidate;
    }
    return std::nullopt;
}

int InfoAnimation(const std::string& path, const std::vector<std::uint8_t>& bytes, std::optional<std::string> modelPath) {
    std::size_t boneCount = 0;
    std::vector<std::string> boneNames;
    if (!modelPath) modelPath = SiblingModel(path);
    if (modelPath) {
        std::vector<std::uint8_t> modelBytes;
        model::emd::ModelFile m;
        if (!tools::ReadWholeFile(*modelPath, modelBytes)) return Error("cannot open " + *modelPath);
        if (FAILED(model::emd::ReadModel(modelBytes, m))) return Error(*modelPath + " is not a valid .EMD model");
        boneCount = m.bones.size();
        for (const auto& b : m.bones) boneNames.push_back(b.name);
        std::printf("bones from %s: %zu\n", modelPath->c_str(), boneCount);
    } else if (FAILED(model::esa::CountAnimationTracks(bytes, boneCount))) {
        return Error("not a valid .ESA animation");
    } else {
        std::printf("no model given: reading the %zu bone records the file holds\n", boneCount);
    }
    model::esa::AnimationFile a;
    if (FAILED(model::esa::ReadAnimation(bytes, boneCount, a)))
        return Error("not a valid .ESA animation for " + std::to_string(boneCount) + " bones");
    std::printf("animation: length %d ms, key interval %d ms, %zu bone tracks\n", a.animLength, a.keyInterval,
                a.tracks.size());
    bool sameTimes = true, lastAtLength = true, regular = true;
    const auto* first = a.tracks.empty() ? nullptr : &a.tracks.front();
    for (std::size_t i = 0; i < a.tracks.size(); ++i) {
        const auto& t = a.tracks[i];
        std::printf("  bone %zu%s%s: %zu position keys, %zu rotation keys, times %d .. %d\n", i,
                    i < boneNames.size() ? " " : "", i < boneNames.size() ? boneNames[i].c_str() : "",
                    t.positionKeys.size(), t.rotationKeys.size(), t.positionKeys.front().time,
                    t.positionKeys.back().time);
        if (t.positionKeys.size() != t.rotationKeys.size() || t.positionKeys.size() != first->positionKeys.size())
            sameTimes = false;
        for (std::size_t k = 0; sameTimes && k < t.positionKeys.size(); ++k)
            if (t.positionKeys[k].time != t.rotationKeys[k].time || t.positionKeys[k].time != first->positionKeys[k].time)
                sameTimes = false;
        if (t.positionKeys.back().time != a.animLength || t.rotationKeys.back().time != a.animLength) lastAtLength = false;
        for (std::size_t k = 0; k + 1 < t.positionKeys.size(); ++k)
            if (t.positionKeys[k].time != static_cast<std::int32_t>(k) * a.keyInterval) regular = false;
    }
    std::printf("  equal key times in every track: %s\n", sameTimes ? "yes" : "no");
    std::printf("  keys every %d ms from 0: %s\n", a.keyInterval, regular ? "yes" : "no");
    std::printf("  last key at the length: %s\n", lastAtLength ? "yes" : "no");
    return 0;
}

int Info(int argc, char** argv) {
    std::optional<std::string> file, modelPath;
    for (int i = 2; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "--model" && i + 1 < argc)
            modelPath = argv[++i];
        else if (!file && a.rfind("--", 0) != 0)
            file = a;
        else
            return Usage();
    }
    if (!file) return Usage();
    std::vector<std::uint8_t> bytes;
    if (!tools::ReadWholeFile(*file, bytes)) return Error("cannot open " + *file);
    if (bytes.size() >= 4 && std::memcmp(bytes.data(), "emd", 4) == 0) return InfoModel(bytes);
    if (bytes.size() >= 4 && std::memcmp(bytes.data(), "esa", 4) == 0) return InfoAnimation(*file, bytes, modelPath);
    return Error(*file + " is neither an .EMD model nor an .ESA animation");
}

bool ParseNumber(const char* text, double& out) {
    char* end = nullptr;
    errno = 0;
    out = std::strtod(text, &end);
    return end != text && *end == '\0' && errno == 0 && std::isfinite(out);
}

int Convert(int argc, char** argv) {
    std::vector<std::string> positional;
    std::optional<std::string> esaPath;
    meshconv::ConvertOptions options;
    for (int i = 2; i < argc; ++i) {
        const std::string a = argv[i];
        auto value = [&]() -> const char* { return i + 1 < argc ? argv[++i] : nullptr; };
        if (a == "--esa") {
            const char* v = value();
            if (!v) return Usage();
            esaPath = v;
        } else if (a == "--anim") {
            const char* v = value();
            if (!v) return Usage();
            options.animationName = v;
        } else if (a == "--length") {
            const char* v = value();
            double d;
            if (!v || !ParseNumber(v, d) || d < 1 || d > 3600000 || d != std::floor(d))
                return Error("--length needs a whole number of milliseconds (1 to 3600000)");
            options.lengthMs = static_cast<int>(d);
        } else if (a == "--scale") {
            const char* v = value();
            double d;
            if (!v || !ParseNumber(v, d) || !(d > 0)) return Error("--scale needs a positive number");
            options.scale = d;
        } else if (a.rfind("--", 0) == 0) {
            return Error("unknown option " + a);
        } else {
            positional.push_back(a);
        }
    }
    if (positional.size() != 2) return Usage();
    options.wantAnimation = esaPath.has_value();
    try {
        meshconv::ConvertResult r = meshconv::ConvertFile(positional[0], options);
        for (const auto& w : r.warnings) std::fprintf(stderr, "meshconv: warning: %s\n", w.c_str());
        std::vector<std::uint8_t> bytes;
        if (FAILED(model::emd::WriteModel(r.model, bytes))) return Error("the converted model cannot be encoded");
        // Read it back the way the program will: this also builds the render vertices.
        model::emd::ModelFile check;
        if (FAILED(model::emd::ReadModel(bytes, check))) return Error("the converted model does not read back");
        if (!tools::WriteWholeFile(positional[1], bytes)) return Error("cannot write " + positional[1]);
        std::size_t render = 0, faces = 0;
        for (const auto& mesh : check.meshes) {
            render += mesh.renderVertices.size();
            for (const auto& g : mesh.groups) faces += g.FaceCount();
        }
        std::printf("%s: %zu materials, %zu bones, %zu meshes, %zu faces, %zu render vertices\n", positional[1].c_str(),
                    check.materials.size(), check.bones.size(), check.meshes.size(), faces, render);
        if (esaPath) {
            std::vector<std::uint8_t> anim;
            if (FAILED(model::esa::WriteAnimation(*r.animation, anim))) return Error("the animation cannot be encoded");
            if (!tools::WriteWholeFile(*esaPath, anim)) return Error("cannot write " + *esaPath);
            std::printf("%s: length %d ms, %zu keys per bone\n", esaPath->c_str(), r.animation->animLength,
                        r.animation->tracks.empty() ? std::size_t{0} : r.animation->tracks[0].positionKeys.size());
        }
    } catch (const meshconv::ConvertError& e) {
        return Error(positional[0] + ": " + e.what());
    } catch (const std::exception& e) {
        return Error(positional[0] + ": " + e.what());
    }
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) return Usage();
    if (std::strcmp(argv[1], "info") == 0) return Info(argc, argv);
    if (std::strcmp(argv[1], "convert") == 0) return Convert(argc, argv);
    return Usage();
}
