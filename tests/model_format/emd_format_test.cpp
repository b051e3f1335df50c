#include "model/emd_format.h"

#include <gtest/gtest.h>

#include <string>

#include "model_format/test_bytes.h"

namespace {

using namespace model::emd;

// Offsets of the count fields in the hand-built file, for the lying-count tests.
struct TinyOffsets {
    std::size_t materialCount, boneCount, secondBoneParent, meshCount, vertexCount, weightCount;
    std::size_t normalCount, channelCount, entryCount, groupCount, faceCount, firstVertexIndex;
    std::size_t firstNormalIndex, groupChannelCount, firstUvIndex, secondGroupMaterial, meshName;
};

// Two materials, two bones, one mesh of four source vertices (one skinned with two normals and one
// texture channel, one with two channels, one with none, one unused) and three face groups.
std::vector<std::uint8_t> TinyModel(TinyOffsets* at = nullptr) {
    TinyOffsets o{};
    TestBytes t;
    t.Raw("emd", 4).U16(0x0300);
    o.materialCount = t.Mark();
    t.I32(2);
    // material 0: alpha-carrying colour map, wrap U only
    t.F3(0.1f, 0.2f, 0.3f).F3(0.4f, 0.5f, 0.6f).F3(0.7f, 0.8f, 0.9f).F(0.1f).I32(1).I32(0);
    t.Str("skin.TGA").Str("skinDOT3.tga");
    // material 1: opaque
    t.F3(1, 1, 1).F3(1, 1, 1).F3(0, 0, 0).F(0.1f).I32(1).I32(1).Str("pika1.jpg").Str("pika1DOT3.jpg");
    o.boneCount = t.Mark();
    t.I32(2).Str("root").I32(-1).Str("arm");
    o.secondBoneParent = t.Mark();
    t.I32(0);
    o.meshCount = t.Mark();
    t.I32(1);
    o.meshName = t.Mark();
    t.Str("body");
    o.vertexCount = t.Mark();
    t.I32(4);
    // v0: skinned to bone 1, two normals, one channel of two entries
    t.F3(0, 0, 0);
    o.weightCount = t.Mark();
    t.I32(1).I32(1).F(1.0f).F3(1, 2, 3);
    o.normalCount = t.Mark();
    t.I32(2);
    t.F3(0, 0, 1).I32(1).F(1.0f).F3(0, 0, 1);
    t.F3(1, 0, 0).I32(1).F(1.0f).F3(1, 0, 0);
    o.channelCount = t.Mark();
    t.I32(1);
    o.entryCount = t.Mark();
    t.I32(2).F(0).F(0).F(1).F(0);
    // v1: static, one normal, two channels
    t.F3(1, 0, 0).I32(0).I32(1).F3(0, 1, 0).I32(2).I32(1).F(0.5f).F(0.5f).I32(1).F(0.25f).F(0.75f);
    // v2: static, one normal, no channel
    t.F3(0, 1, 0).I32(0).I32(1).F3(0, 0, -1).I32(0);
    // v3: unused, no normals
    t.F3(9, 9, 9).I32(0).I32(0).I32(0);
    o.groupCount = t.Mark();
    t.I32(3);
    // group 0: material 0, triangles (0,1,2) and (2,1,0); v0 takes normal 0 then normal 1
    t.I32(0);
    o.faceCount = t.Mark();
    t.I32(2);
    o.firstVertexIndex = t.Mark();
    t.I32(0).I32(1).I32(2).I32(2).I32(1).I32(0);
    o.firstNormalIndex = t.Mark();
    t.I32(0).I32(0).I32(0).I32(0).I32(0).I32(1);
    o.groupChannelCount = t.Mark();
    t.I32(2);
    // channel 0 (7 where the vertex has no channel 0: must be ignored); channel 1 likewise
    o.firstUvIndex = t.Mark();
    t.I32(0).I32(0).I32(7).I32(7).I32(0).I32(1);
    t.I32(7).I32(0).I32(7).I32(7).I32(0).I32(7);
    // group 1: no material, the first triangle again
    o.secondGroupMaterial = t.Mark();
    t.I32(-1).I32(1).I32(0).I32(1).I32(2).I32(0).I32(0).I32(0).I32(2);
    t.I32(0).I32(0).I32(7).I32(7).I32(0).I32(7);
    // group 2: opaque material, empty
    t.I32(1).I32(0).I32(0);
    if (at) *at = o;
    return t.b;
}

TEST(EmdRead, TinyFileDecodesToKnownValues) {
    ModelFile m;
    ASSERT_EQ(ReadModel(TinyModel(), m), S_OK);
    ASSERT_EQ(m.materials.size(), 2u);
    EXPECT_EQ(m.materials[0].colourMap, "skin.TGA");
    EXPECT_EQ(m.materials[0].bumpMap, "skinDOT3.tga");
    EXPECT_FLOAT_EQ(m.materials[0].diffuse[1], 0.5f);
    EXPECT_FLOAT_EQ(m.materials[0].specular[2], 0.9f);
    EXPECT_EQ(m.materials[0].wrapU, 1);
    EXPECT_EQ(m.materials[0].wrapV, 0);
    ASSERT_EQ(m.bones.size(), 2u);
    EXPECT_EQ(m.bones[1].name, "arm");
    EXPECT_EQ(m.bones[1].parent, 0);
    EXPECT_EQ(m.bones[0].parent, -1);

    ASSERT_EQ(m.meshes.size(), 1u);
    const Mesh& mesh = m.meshes[0];
    EXPECT_EQ(mesh.name, "body");
    ASSERT_EQ(mesh.vertices.size(), 4u);
    const SourceVertex& v0 = mesh.vertices[0];
    ASSERT_EQ(v0.weights.size(), 1u);
    EXPECT_EQ(v0.weights[0].bone, 1);
    EXPECT_FLOAT_EQ(v0.weights[0].offset[2], 3.0f);
    ASSERT_EQ(v0.normals.size(), 2u);
    ASSERT_EQ(v0.normals[1].weights.size(), 1u);
    EXPECT_FLOAT_EQ(v0.normals[1].weights[0].offset[0], 1.0f);

    // Variants in first-use order; a repeated combination is shared.
    EXPECT_EQ(v0.variants, (std::vector<VertexVariant>{{0, 0, -1}, {1, 1, -1}}));
    EXPECT_EQ(mesh.vertices[1].variants, (std::vector<VertexVariant>{{0, 0, 0}}));
    EXPECT_EQ(mesh.vertices[2].variants, (std::vector<VertexVariant>{{0, -1, -1}}));
    EXPECT_TRUE(mesh.vertices[3].variants.empty());
    EXPECT_EQ(mesh.vertices[0].firstRenderIndex, 0u);
    EXPECT_EQ(mesh.vertices[1].firstRenderIndex, 2u);
    EXPECT_EQ(mesh.vertices[2].firstRenderIndex, 3u);
    EXPECT_EQ(mesh.vertices[3].firstRenderIndex, 4u);

    ASSERT_EQ(mesh.groups.size(), 3u);
    EXPECT_EQ(mesh.groups[0].variantIndices, (std::vector<std::int32_t>{0, 0, 0, 0, 0, 1}));
    EXPECT_EQ(mesh.groups[0].indices, (std::vector<std::uint16_t>{0, 2, 3, 3, 2, 1}));
    EXPECT_EQ(mesh.groups[1].indices, (std::vector<std::uint16_t>{0, 2, 3}));
    EXPECT_TRUE(mesh.groups[2].indices.empty());
    EXPECT_TRUE(mesh.groups[0].translucent);
    EXPECT_FALSE(mesh.groups[1].translucent);  // no material
    EXPECT_FALSE(mesh.groups[2].translucent);  // .jpg

    ASSERT_EQ(mesh.renderVertices.size(), 4u);
    const RenderVertex expected[4] = {
        {{0, 0, 0}, {0, 0, 1}, 0xFFFFFFFF, {0, 0}, {0, 0}, {1, 0, 0}},
        {{0, 0, 0}, {1, 0, 0}, 0xFFFFFFFF, {1, 0}, {0, 0}, {0, 1, -1}},
        {{1, 0, 0}, {0, 1, 0}, 0xFFFFFFFF, {0.5f, 0.5f}, {0.25f, 0.75f}, {-1, 0, 0}},
        {{0, 1, 0}, {0, 0, -1}, 0xFFFFFFFF, {0, 0}, {0, 0}, {-1, 0, 0}},
    };
    for (int i = 0; i < 4; ++i) EXPECT_EQ(mesh.renderVertices[i], expected[i]) << "render vertex " << i;
}

TEST(EmdRead, TranslucencyByLastLetterOfColourMap) {
    EXPECT_TRUE(IsTranslucentMap("skin.TGA"));
    EXPECT_TRUE(IsTranslucentMap("x.dds"));
    EXPECT_TRUE(IsTranslucentMap("a.tga"));
    EXPECT_TRUE(IsTranslucentMap("LEAVES.DDS"));
    EXPECT_FALSE(IsTranslucentMap("pika1.jpg"));
    EXPECT_FALSE(IsTranslucentMap("wall.bmp"));
    EXPECT_FALSE(IsTranslucentMap(""));
}

TEST(EmdRead, EmptyModelAndHeaderChecks) {
    TestBytes ok;
    ok.Raw("emd", 4).U16(0x0300).I32(0).I32(0).I32(0);
    ModelFile m;
    ASSERT_EQ(ReadModel(ok.b, m), S_OK);
    EXPECT_TRUE(m.materials.empty() && m.bones.empty() && m.meshes.empty());

    auto bad = ok.b;
    bad[4] = 0x01;  // version 0x0301
    EXPECT_EQ(ReadModel(bad, m), E_FAIL);
    bad = ok.b;
    bad[0] = 'E';
    bad[1] = 'M';
    bad[2] = 'D';
    EXPECT_EQ(ReadModel(bad, m), E_FAIL);
    bad = ok.b;
    bad[3] = 'x';  // "emdx" is not the string "emd"
    EXPECT_EQ(ReadModel(bad, m), E_FAIL);

    // Only the low 16 bits of the material count are used.
    TestBytes high;
    high.Raw("emd", 4).U16(0x0300).I32(0x10000).I32(0).I32(0);
    ASSERT_EQ(ReadModel(high.b, m), S_OK);
    EXPECT_TRUE(m.materials.empty());
}

TEST(EmdRead, MeshCountIsClampedTo9950) {
    ModelFile src;
    src.meshes.resize(9950);
    std::vector<std::uint8_t> bytes;
    ASSERT_EQ(WriteModel(src, bytes), S_OK);
    const std::size_t countAt = 10 + 4;  // header, bone count
    TestBytes t{bytes};
    t.PatchI32(countAt, 10000);
    // Bytes left after the 9950th mesh of a clamped count are not read.
    t.b.insert(t.b.end(), {1, 2, 3});
    ModelFile m;
    ASSERT_EQ(ReadModel(t.b, m), S_OK);
    EXPECT_EQ(m.meshes.size(), 9950u);
    // One mesh short of the clamped count is a truncated file.
    t.b.resize(bytes.size() - 9);
    EXPECT_EQ(ReadModel(t.b, m), E_FAIL);

    src.meshes.resize(9951);
    EXPECT_EQ(WriteModel(src, bytes), E_FAIL);
}

TEST(EmdRead, EveryTruncationFailsAndLeavesOutputAlone) {
    const auto full = TinyModel();
    ModelFile sentinel;
    sentinel.bones.push_back({"keep", -1});
    for (std::size_t n = 0; n < full.size(); ++n) {
        ModelFile m = sentinel;
        ASSERT_EQ(ReadModel(std::span(full.data(), n), m), E_FAIL) << "length " << n;
        ASSERT_EQ(m, sentinel);
    }
}

TEST(EmdRead, LyingCountsAndIndicesFail) {
    TinyOffsets o;
    const auto base = TinyModel(&o);
    ModelFile m;
    ASSERT_EQ(ReadModel(base, m), S_OK);
    const std::vector<std::pair<std::size_t, std::int32_t>> lies = {
        {o.materialCount, 0xFFFF},          {o.materialCount, 3},
        {o.boneCount, 0x7FFFFFFF},          {o.boneCount, -1},
        {o.secondBoneParent, 2},            {o.secondBoneParent, 1},  // out of list, itself
        {o.secondBoneParent, -2},           {o.meshCount, 2},
        {o.meshCount, -5},                  {o.vertexCount, 0x10000000},
        {o.vertexCount, 0},                 {o.weightCount, 0x40000000},
        {o.weightCount + 4, 2},             // weight names bone 2 of two
        {o.normalCount, 0x7FFFFFFF},        {o.channelCount, 0x7FFFFFFF},
        {o.entryCount, 0x20000000},         {o.groupCount, 0x7FFFFFFF},
        {o.groupCount, 4},                  {o.faceCount, 0x15555556},  // corners overflow 32 bits
        {o.faceCount, 3},                   {o.firstVertexIndex, 4},
        {o.firstVertexIndex, -1},           {o.firstVertexIndex, 3},   // vertex without normals
        {o.firstNormalIndex + 4, 1},        {o.groupChannelCount, 0},   // v1 has one normal; channels in use
        {o.groupChannelCount, 0x7FFFFFFF},  {o.firstUvIndex, 2},
        {o.firstUvIndex + 4, 1},            {o.secondGroupMaterial, 2},
        {o.secondGroupMaterial, -2},
    };
    for (auto [at, value] : lies) {
        TestBytes t{base};
        t.PatchI32(at, value);
        EXPECT_EQ(ReadModel(t.b, m), E_FAIL) << "offset " << at << " value " << value;
    }
    // A name whose NUL lies beyond the end.
    // Bytes after the last mesh mean some count was too small.
    TestBytes extra{base};
    extra.b.push_back(0);
    EXPECT_EQ(ReadModel(extra.b, m), E_FAIL);
    TestBytes cut{std::vector<std::uint8_t>(base.begin(), base.begin() + std::ptrdiff_t(o.meshName) + 2)};
    EXPECT_EQ(ReadModel(cut.b, m), E_FAIL);
}

TEST(EmdRead, NameLimits) {
    ModelFile src;
    src.bones.push_back({std::string(63, 'b'), -1});
    src.meshes.resize(1);
    src.meshes[0].name = std::string(63, 'm');
    src.materials.resize(1);
    src.materials[0].colourMap = std::string(127, 'c');
    std::vector<std::uint8_t> bytes;
    ASSERT_EQ(WriteModel(src, bytes), S_OK);
    ModelFile m;
    ASSERT_EQ(ReadModel(bytes, m), S_OK);

    // One character more, patched into the bytes so the writer's own check is not what rejects it.
    // The colour map starts after the header and twelve numbers; the mesh name ends 8 bytes
    // (its NUL excluded) before the end, ahead of its two zero counts.
    for (std::size_t pos : {std::size_t(10 + 48), bytes.size() - 10}) {
        auto longer = bytes;
        longer.insert(longer.begin() + std::ptrdiff_t(pos), longer[pos]);
        EXPECT_EQ(ReadModel(longer, m), E_FAIL) << "at " << pos;
    }
    src.bones[0].name += 'b';
    EXPECT_EQ(WriteModel(src, bytes), E_FAIL);
    src.bones[0].name = std::string("a\0b", 3);
    EXPECT_EQ(WriteModel(src, bytes), E_FAIL);
}

// A model with every list filled, made by a small deterministic generator.
ModelFile GeneratedModel(unsigned seed) {
    std::uint32_t state = seed * 2654435761u + 1;
    auto next = [&](std::uint32_t n) {
        state = state * 1664525u + 1013904223u;
        return (state >> 8) % n;
    };
    auto real = [&] { return float(next(2001)) / 100.0f - 10.0f; };
    ModelFile m;
    const char* maps[] = {"a.jpg", "b.tga", "", "c.dds"};
    for (int i = 0; i < 3; ++i) {
        Material mat;
        for (float* f : {mat.ambient, mat.diffuse, mat.specular})
            for (int k = 0; k < 3; ++k) f[k] = real();
        mat.storedPower = 0.1f;
        mat.wrapU = int(next(2));
        mat.wrapV = int(next(2));
        mat.colourMap = maps[next(4)];
        mat.bumpMap = maps[next(4)];
        m.materials.push_back(mat);
    }
    for (int b = 0; b < 4; ++b) m.bones.push_back({"bone" + std::to_string(b), b - 1});
    for (int mi = 0; mi < 3; ++mi) {
        Mesh mesh;
        mesh.name = "mesh" + std::to_string(mi);
        const int vcount = 5 + int(next(10));
        const std::size_t channels = next(3);
        for (int vi = 0; vi < vcount; ++vi) {
            SourceVertex v;
            for (float& p : v.position) p = real();
            const std::uint32_t w = next(3);
            for (std::uint32_t k = 0; k < w; ++k) v.weights.push_back({int(next(4)), 0.5f, {real(), real(), real()}});
            for (std::uint32_t k = 0, n = 1 + next(3); k < n; ++k) {
                NormalEntry e{{real(), real(), real()}, {}};
                for (std::uint32_t j = 0; j < w; ++j) e.weights.push_back({int(next(4)), 0.5f, {real(), real(), real()}});
                v.normals.push_back(e);
            }
            v.channels.resize(channels);
            for (auto& c : v.channels)
                for (std::uint32_t k = 0, n = 1 + next(3); k < n; ++k) c.push_back({real(), real()});
            mesh.vertices.push_back(v);
        }
        for (int g = 0; g < 2; ++g) {
            FaceGroup grp;
            grp.material = int(next(4)) - 1;
            grp.uvIndices.resize(channels + next(2));  // sometimes an unused extra channel
            for (std::uint32_t c = 0, n = 3 * next(8); c < n; ++c) {
                const int vi = int(next(std::uint32_t(vcount)));
                const SourceVertex& v = mesh.vertices[std::size_t(vi)];
                grp.vertexIndices.push_back(vi);
                grp.normalIndices.push_back(int(next(std::uint32_t(v.normals.size()))));
                for (std::size_t ch = 0; ch < grp.uvIndices.size(); ++ch)
                    grp.uvIndices[ch].push_back(ch < channels ? int(next(std::uint32_t(v.channels[ch].size()))) : 99);
            }
            mesh.groups.push_back(grp);
        }
        m.meshes.push_back(mesh);
    }
    return m;
}

TEST(EmdRoundTrip, WrittenFilesReadBackEqual) {
    for (unsigned seed = 0; seed < 20; ++seed) {
        ModelFile src = GeneratedModel(seed);
        for (Mesh& mesh : src.meshes) ASSERT_EQ(BuildRenderData(src.materials, mesh), S_OK);
        std::vector<std::uint8_t> bytes, again;
        ASSERT_EQ(WriteModel(src, bytes), S_OK);
        ModelFile back;
        ASSERT_EQ(ReadModel(bytes, back), S_OK) << "seed " << seed;
        EXPECT_EQ(back, src) << "seed " << seed;
        ASSERT_EQ(WriteModel(back, again), S_OK);
        EXPECT_EQ(again, bytes);
    }
    // The hand-built file is rewritten byte for byte.
    const auto tiny = TinyModel();
    ModelFile m;
    std::vector<std::uint8_t> bytes;
    ASSERT_EQ(ReadModel(tiny, m), S_OK);
    ASSERT_EQ(WriteModel(m, bytes), S_OK);
    EXPECT_EQ(bytes, tiny);
}

TEST(EmdRoundTrip, WriterRejectsInconsistentLists) {
    ModelFile src = GeneratedModel(3);
    std::vector<std::uint8_t> bytes;
    ModelFile bad = src;
    // A normal entry must carry exactly the vertex's weight count: the file stores it only once.
    bad.meshes[0].vertices[0].normals[0].weights.resize(bad.meshes[0].vertices[0].weights.size() + 1);
    EXPECT_EQ(WriteModel(bad, bytes), E_FAIL);
    bad = src;
    bad.meshes[0].groups[0].normalIndices.push_back(0);
    EXPECT_EQ(WriteModel(bad, bytes), E_FAIL);
    bad = src;
    bad.meshes[0].groups[0].vertexIndices.push_back(0);
    EXPECT_EQ(WriteModel(bad, bytes), E_FAIL);
}

// One vertex per render vertex; `count` vertices referenced by a strip of triangles.
ModelFile ManyVertices(std::size_t count) {
    ModelFile m;
    Mesh mesh;
    mesh.vertices.resize(count);
    for (auto& v : mesh.vertices) v.normals.resize(1);
    FaceGroup g;
    for (std::size_t i = 0; i < count; ++i) g.vertexIndices.push_back(std::int32_t(i));
    while (g.vertexIndices.size() % 3) g.vertexIndices.push_back(0);
    g.normalIndices.assign(g.vertexIndices.size(), 0);
    mesh.groups.push_back(g);
    m.meshes.push_back(mesh);
    return m;
}

TEST(EmdRead, RenderVerticesFitSixteenBitIndices) {
    std::vector<std::uint8_t> bytes;
    ModelFile m;
    ASSERT_EQ(WriteModel(ManyVertices(65535), bytes), S_OK);
    ASSERT_EQ(ReadModel(bytes, m), S_OK);
    EXPECT_EQ(m.meshes[0].renderVertices.size(), 65535u);
    EXPECT_EQ(m.meshes[0].groups[0].indices[65534], 65534);
    ASSERT_EQ(WriteModel(ManyVertices(65536), bytes), S_OK);
    EXPECT_EQ(ReadModel(bytes, m), E_FAIL);
}

}  // namespace
