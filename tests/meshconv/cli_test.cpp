// The meshconv executable end to end (exit codes, one-line errors, files written, info output),
// and a binary .glb built in memory that is too big for one mesh's 16-bit indices.
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

#include "model/emd_format.h"
#include "model/esa_format.h"
#include "tools/meshconv/convert.h"

namespace {

const std::string kTool = std::string(GRIM_BINARY_DIR) + "/bin/meshconv";
const std::string kData = std::string(GRIM_SOURCE_DIR) + "/tests/meshconv/data/";

struct ToolRun {
    int status = -1;
    std::string out, err;
};

std::string Slurp(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

class TempDir {
public:
    TempDir() {
        char tmpl[] = "/tmp/meshconv_test_XXXXXX";
        path_ = mkdtemp(tmpl);
    }
    ~TempDir() { std::system(("rm -rf '" + path_ + "'").c_str()); }
    std::string operator/(const std::string& name) const { return path_ + "/" + name; }

private:
    std::string path_;
};

ToolRun Meshconv(const TempDir& dir, const std::string& args) {
    ToolRun r;
    const std::string out = dir / "stdout.txt", err = dir / "stderr.txt";
    const int rc = std::system((kTool + " " + args + " >'" + out + "' 2>'" + err + "'").c_str());
    r.status = WIFEXITED(rc) ? WEXITSTATUS(rc) : -1;
    r.out = Slurp(out);
    r.err = Slurp(err);
    return r;
}

TEST(MeshconvCli, ConvertWritesFilesThatReadBackAndInfoDescribesThem) {
    TempDir dir;
    const std::string emd = dir / "Strip.EMD", esa = dir / "Strip.ESA";
    ToolRun r = Meshconv(dir, "convert " + kData + "skin.gltf " + emd + " --esa " + esa + " --anim Bend");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.err.find("warning: joints reordered"), std::string::npos) << r.err;

    const std::string bytes = Slurp(emd);
    model::emd::ModelFile m;
    ASSERT_EQ(model::emd::ReadModel({reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size()}, m), S_OK);
    EXPECT_EQ(m.bones.size(), 3u);
    const std::string abytes = Slurp(esa);
    model::esa::AnimationFile a;
    ASSERT_EQ(model::esa::ReadAnimation({reinterpret_cast<const std::uint8_t*>(abytes.data()), abytes.size()}, 3, a),
              S_OK);
    // exactly the header and three bones of 11 + 11 keys
    EXPECT_EQ(abytes.size(), 14u + 3u * (4 + 11 * 16 + 4 + 11 * 20));

    r = Meshconv(dir, "info " + emd);
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("bone 1: Upper (parent 0 Lower)"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("6 source vertices (6 skinned), 4 faces, 6 render vertices"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("model bounds: min"), std::string::npos) << r.out;

    // The sibling Strip.EMD supplies the bone count.
    r = Meshconv(dir, "info " + esa);
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("bones from " + emd + ": 3"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("length 1000 ms, key interval 100 ms, 3 bone tracks"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("bone 2 Tip: 11 position keys, 11 rotation keys, times 0 .. 1000"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("equal key times in every track: yes"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("last key at the length: yes"), std::string::npos) << r.out;

    r = Meshconv(dir, "convert " + kData + "quad.gltf " + (dir / "q.EMD"));
    ASSERT_EQ(r.status, 0) << r.err;
    r = Meshconv(dir, "info " + (dir / "q.EMD"));
    EXPECT_NE(r.out.find("material 1: colour \"leaf.tga\" bump \"light.jpg\" wrap 0 1 (translucent)"),
              std::string::npos)
        << r.out;
}

TEST(MeshconvCli, FailuresExitWithOneLineAndWriteNothing) {
    TempDir dir;
    const std::string out = dir / "x.EMD";
    for (const char* bad : {"bad_index_range.gltf", "bad_quads.gltf", "bad_missing_buffer.gltf", "absent.gltf"}) {
        SCOPED_TRACE(bad);
        const ToolRun r = Meshconv(dir, "convert " + kData + bad + " " + out);
        EXPECT_EQ(r.status, 1);
        EXPECT_EQ(r.err.rfind("meshconv: ", 0), 0u) << r.err;
        EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
        EXPECT_FALSE(std::ifstream(out).good());
    }
    EXPECT_EQ(Meshconv(dir, "convert " + kData + "skin.gltf " + out + " --length 0").status, 1);
    EXPECT_EQ(Meshconv(dir, "convert " + kData + "skin.gltf " + out + " --scale -1").status, 1);
    EXPECT_EQ(Meshconv(dir, "convert " + kData + "skin.gltf").status, 2);
    EXPECT_EQ(Meshconv(dir, "info " + kData + "quad.gltf").status, 1);
}

// ---------------------------------------------------------------------------------------------

// A .glb of one grid node: n x n vertices, all distinct, with one normal and one uv each.
std::vector<unsigned char> GridGlb(int n, const std::string& name) {
    std::vector<float> pos, nrm, uv;
    std::vector<std::uint32_t> idx;
    for (int y = 0; y < n; ++y)
        for (int x = 0; x < n; ++x) {
            pos.insert(pos.end(), {static_cast<float>(x), 0.0f, static_cast<float>(y)});
            nrm.insert(nrm.end(), {0.0f, 1.0f, 0.0f});
            uv.insert(uv.end(), {x / float(n), y / float(n)});
        }
    for (int y = 0; y + 1 < n; ++y)
        for (int x = 0; x + 1 < n; ++x) {
            const std::uint32_t a = y * n + x, b = a + 1, c = a + n, d = c + 1;
            idx.insert(idx.end(), {a, c, b, b, c, d});
        }
    std::vector<unsigned char> bin;
    auto append = [&](const void* p, std::size_t bytes) {
        const std::size_t at = bin.size();
        bin.insert(bin.end(), static_cast<const unsigned char*>(p), static_cast<const unsigned char*>(p) + bytes);
        return at;
    };
    const std::size_t op = append(pos.data(), pos.size() * 4), on = append(nrm.data(), nrm.size() * 4),
                      ou = append(uv.data(), uv.size() * 4), oi = append(idx.data(), idx.size() * 4);
    const std::size_t verts = static_cast<std::size_t>(n) * n;
    nlohmann::json j = {
        {"asset", {{"version", "2.0"}}},
        {"scenes", {{{"nodes", {0}}}}},
        {"nodes", {{{"name", name}, {"mesh", 0}}}},
        {"buffers", {{{"byteLength", bin.size()}}}},
        {"bufferViews",
         {{{"buffer", 0}, {"byteOffset", op}, {"byteLength", verts * 12}},
          {{"buffer", 0}, {"byteOffset", on}, {"byteLength", verts * 12}},
          {{"buffer", 0}, {"byteOffset", ou}, {"byteLength", verts * 8}},
          {{"buffer", 0}, {"byteOffset", oi}, {"byteLength", idx.size() * 4}}}},
        {"accessors",
         {{{"bufferView", 0}, {"componentType", 5126}, {"count", verts}, {"type", "VEC3"},
           {"min", {0, 0, 0}}, {"max", {n - 1, 0, n - 1}}},
          {{"bufferView", 1}, {"componentType", 5126}, {"count", verts}, {"type", "VEC3"}},
          {{"bufferView", 2}, {"componentType", 5126}, {"count", verts}, {"type", "VEC2"}},
          {{"bufferView", 3}, {"componentType", 5125}, {"count", idx.size()}, {"type", "SCALAR"}}}},
        {"meshes", {{{"primitives", {{{"attributes", {{"POSITION", 0}, {"NORMAL", 1}, {"TEXCOORD_0", 2}}},
                                      {"indices", 3}}}}}}},
    };
    std::string js = j.dump();
    while (js.size() % 4) js += ' ';
    while (bin.size() % 4) bin.push_back(0);
    std::vector<unsigned char> glb;
    auto u32 = [&](std::uint32_t v) {
        const auto* p = reinterpret_cast<const unsigned char*>(&v);
        glb.insert(glb.end(), p, p + 4);
    };
    glb.insert(glb.end(), {'g', 'l', 'T', 'F'});
    u32(2);
    u32(static_cast<std::uint32_t>(12 + 8 + js.size() + 8 + bin.size()));
    u32(static_cast<std::uint32_t>(js.size()));
    u32(0x4E4F534Au);  // JSON
    glb.insert(glb.end(), js.begin(), js.end());
    u32(static_cast<std::uint32_t>(bin.size()));
    u32(0x004E4942u);  // BIN
    glb.insert(glb.end(), bin.begin(), bin.end());
    return glb;
}

TEST(MeshconvGlb, MeshPastTheIndexLimitIsSplitIntoNumberedMeshes) {
    const int n = 257;  // 66049 vertices, 131072 triangles
    const auto glb = GridGlb(n, "Ground");
    const meshconv::ConvertResult r = meshconv::ConvertBytes(glb, ".", {});
    ASSERT_EQ(r.model.meshes.size(), 2u);
    EXPECT_EQ(r.model.meshes[0].name, "Ground_1");
    EXPECT_EQ(r.model.meshes[1].name, "Ground_2");
    std::vector<std::uint8_t> bytes;
    ASSERT_EQ(model::emd::WriteModel(r.model, bytes), S_OK);
    model::emd::ModelFile m;
    ASSERT_EQ(model::emd::ReadModel(bytes, m), S_OK);  // builds the 16-bit index lists
    std::size_t faces = 0, render = 0;
    for (const auto& mesh : m.meshes) {
        EXPECT_LE(mesh.renderVertices.size(), 65535u);
        render += mesh.renderVertices.size();
        for (const auto& g : mesh.groups) faces += g.FaceCount();
    }
    EXPECT_EQ(faces, 2u * (n - 1) * (n - 1));
    // Only the vertices on the seam between the two parts are repeated.
    EXPECT_GE(render, static_cast<std::size_t>(n) * n);
    EXPECT_LE(render, static_cast<std::size_t>(n) * n + 2 * n);
}

TEST(MeshconvGlb, TruncatedBinaryIsRefused) {
    auto glb = GridGlb(4, "Small");
    EXPECT_EQ(meshconv::ConvertBytes(glb, ".", {}).model.meshes.size(), 1u);
    for (std::size_t cut : {glb.size() - 8, std::size_t{30}, std::size_t{11}}) {
        SCOPED_TRACE(cut);
        std::vector<unsigned char> part(glb.begin(), glb.begin() + cut);
        EXPECT_THROW(meshconv::ConvertBytes(part, ".", {}), meshconv::ConvertError);
    }
}

}  // namespace
