// .EMD decoder and encoder.
//
// Limits the decoder enforces (anything else is E_FAIL, never a read past the buffer):
// - magic "emd" + NUL, version 0x0300; material count taken from the low 16 bits of its field;
// - strings end with a NUL inside the buffer; bone and mesh names at most 63 characters,
//   texture names at most 127;
// - every count is non-negative and its records' minimum size must fit in the bytes left before
//   anything is allocated for it; mesh counts above 9950 read as 9950, and only then may bytes
//   follow the last mesh read (otherwise a count that is too small would pass unnoticed);
// - bone parents are -1 or another bone of the list; skin weights name a bone of the list;
// - group materials are -1 or in the list; corner vertex indices, normal indices and the channel
//   0/1 entry indices the vertex uses are in range; a group has at least as many index channels
//   as its vertices use (up to 2), and at most 255 index channels;
// - a mesh has at most 65535 render vertices, so every 16-bit index is exact.
#include "model/emd_format.h"

#include "model/format_cursor.h"

namespace model::emd {
namespace {

using format::ReadCursor;
using format::WriteCursor;

constexpr char kMagic[4] = {'e', 'm', 'd', 0};
constexpr std::size_t kMaterialMinBytes = 12 * 4 + 2;   // numbers plus two empty strings
constexpr std::size_t kBoneMinBytes = 1 + 4;
constexpr std::size_t kMeshMinBytes = 1 + 4 + 4;
constexpr std::size_t kVertexMinBytes = 12 + 4 + 4 + 4;
constexpr std::size_t kWeightBytes = 20;
constexpr std::size_t kGroupMinBytes = 4 + 4 + 4;
constexpr std::size_t kCornerPairBytes = 3 * 4 * 2;  // vertex and normal index per corner
constexpr std::size_t kChannelBytes = 3 * 4;          // per triangle and channel
constexpr std::int32_t kMaxIndexChannels = 255;

bool ReadWeights(ReadCursor& in, std::size_t count, std::size_t boneCount, std::vector<SkinWeight>& out) {
    out.resize(count);
    for (SkinWeight& w : out) {
        if (!in.I32(w.bone) || !in.F32(w.weight) || !in.F32s(w.offset, 3)) return false;
        if (w.bone < 0 || std::size_t(w.bone) >= boneCount) return false;
    }
    return true;
}

bool ReadVertex(ReadCursor& in, std::size_t boneCount, SourceVertex& v) {
    std::int32_t weightCount = 0, normalCount = 0, channelCount = 0;
    if (!in.F32s(v.position, 3) || !in.Count(weightCount, kWeightBytes)) return false;
    if (!ReadWeights(in, std::size_t(weightCount), boneCount, v.weights)) return false;
    // weightCount <= Remaining / 20, so this product cannot overflow.
    const std::size_t normalBytes = 12 + std::size_t(weightCount) * kWeightBytes;
    if (!in.Count(normalCount, normalBytes)) return false;
    v.normals.resize(std::size_t(normalCount));
    for (NormalEntry& n : v.normals) {
        if (!in.F32s(n.normal, 3)) return false;
        if (!ReadWeights(in, std::size_t(weightCount), boneCount, n.weights)) return false;
    }
    if (!in.Count(channelCount, 4)) return false;
    v.channels.resize(std::size_t(channelCount));
    for (auto& channel : v.channels) {
        std::int32_t entries = 0;
        if (!in.Count(entries, 8)) return false;
        channel.resize(std::size_t(entries));
        for (TexCoord& t : channel)
            if (!in.F32(t.u) || !in.F32(t.v)) return false;
    }
    return true;
}

bool ReadIndexList(ReadCursor& in, std::size_t n, std::vector<std::int32_t>& out) {
    if (n > in.Remaining() / 4) return false;
    out.resize(n);
    for (std::int32_t& i : out)
        if (!in.I32(i)) return false;
    return true;
}

bool ReadGroup(ReadCursor& in, FaceGroup& g) {
    std::int32_t faceCount = 0, channelCount = 0;
    if (!in.I32(g.material) || !in.Count(faceCount, kCornerPairBytes)) return false;
    const std::size_t corners = std::size_t(faceCount) * 3;
    if (!ReadIndexList(in, corners, g.vertexIndices) || !ReadIndexList(in, corners, g.normalIndices))
        return false;
    // An empty group stores no bytes for its index channels, so a fixed cap bounds that count.
    if (!in.I32(channelCount) || channelCount < 0 || channelCount > kMaxIndexChannels) return false;
    if (faceCount > 0 && std::size_t(channelCount) > in.Remaining() / (std::size_t(faceCount) * kChannelBytes))
        return false;
    g.uvIndices.resize(std::size_t(channelCount));
    for (auto& channel : g.uvIndices)
        if (!ReadIndexList(in, corners, channel)) return false;
    return true;
}

bool ReadMesh(ReadCursor& in, std::size_t boneCount, Mesh& m) {
    std::int32_t vertexCount = 0, groupCount = 0;
    if (!in.String(m.name, kMaxMeshNameChars) || !in.Count(vertexCount, kVertexMinBytes)) return false;
    m.vertices.resize(std::size_t(vertexCount));
    for (SourceVertex& v : m.vertices)
        if (!ReadVertex(in, boneCount, v)) return false;
    if (!in.Count(groupCount, kGroupMinBytes)) return false;
    m.groups.resize(std::size_t(groupCount));
    for (FaceGroup& g : m.groups)
        if (!ReadGroup(in, g)) return false;
    return true;
}

bool FitsName(const std::string& s, std::size_t maxChars) {
    return s.size() <= maxChars && s.find('\0') == std::string::npos;
}

bool InRange(std::int32_t i, std::size_t n) { return i >= 0 && std::size_t(i) < n; }

}  // namespace

bool IsTranslucentMap(const std::string& colourMap) {
    if (colourMap.empty()) return false;
    const char last = colourMap.back();
    return last == 'A' || last == 'a' || last == 's' || last == 'S';
}

HRESULT BuildRenderData(const std::vector<Material>& materials, Mesh& mesh) {
    for (SourceVertex& v : mesh.vertices) v.variants.clear();
    std::size_t variantTotal = 0;  // checked while splitting so a hostile file cannot grow it unbounded
    for (FaceGroup& g : mesh.groups) {
        if (!InRange(g.material, materials.size()) && g.material != -1) return E_FAIL;
        g.translucent = g.material >= 0 && IsTranslucentMap(materials[std::size_t(g.material)].colourMap);
        const std::size_t corners = g.vertexIndices.size();
        if (corners % 3 != 0 || g.normalIndices.size() != corners) return E_FAIL;
        g.variantIndices.assign(corners, 0);
        for (std::size_t c = 0; c < corners; ++c) {
            if (!InRange(g.vertexIndices[c], mesh.vertices.size())) return E_FAIL;
            SourceVertex& s = mesh.vertices[std::size_t(g.vertexIndices[c])];
            VertexVariant key;
            key.normal = g.normalIndices[c];
            if (!InRange(key.normal, s.normals.size())) return E_FAIL;
            // Only channels 0 and 1 reach the render vertex; each is used when the vertex has it.
            for (std::size_t ch = 0; ch < 2; ++ch) {
                std::int32_t& slot = ch == 0 ? key.uv0 : key.uv1;
                if (s.channels.size() <= ch) continue;
                if (g.uvIndices.size() <= ch || g.uvIndices[ch].size() != corners) return E_FAIL;
                slot = g.uvIndices[ch][c];
                if (!InRange(slot, s.channels[ch].size())) return E_FAIL;
            }
            std::size_t found = 0;
            while (found < s.variants.size() && !(s.variants[found] == key)) ++found;
            if (found == s.variants.size()) {
                if (++variantTotal > kMaxRenderVertices) return E_FAIL;
                s.variants.push_back(key);
            }
            g.variantIndices[c] = std::int32_t(found);
        }
    }

    std::uint64_t total = 0;
    for (SourceVertex& v : mesh.vertices) {
        v.firstRenderIndex = std::uint32_t(total);
        total += v.variants.size();
        if (total > kMaxRenderVertices) return E_FAIL;
    }

    mesh.renderVertices.clear();
    mesh.renderVertices.reserve(std::size_t(total));
    for (const SourceVertex& v : mesh.vertices) {
        for (const VertexVariant& var : v.variants) {
            RenderVertex r{};
            const float* n = v.normals[std::size_t(var.normal)].normal;
            for (int i = 0; i < 3; ++i) {
                r.position[i] = v.position[i];
                r.normal[i] = n[i];
            }
            r.colour = kRenderVertexColour;
            if (var.uv0 >= 0) {
                const TexCoord& t = v.channels[0][std::size_t(var.uv0)];
                r.uv0[0] = t.u;
                r.uv0[1] = t.v;
            }
            if (var.uv1 >= 0) {
                const TexCoord& t = v.channels[1][std::size_t(var.uv1)];
                r.uv1[0] = t.u;
                r.uv1[1] = t.v;
            }
            // (0, 1, 1) x normal: a cheap tangent the bump shader only needs roughly.
            r.tangent[0] = n[2] - n[1];
            r.tangent[1] = n[0];
            r.tangent[2] = -n[0];
            mesh.renderVertices.push_back(r);
        }
    }

    for (FaceGroup& g : mesh.groups) {
        g.indices.resize(g.vertexIndices.size());
        for (std::size_t c = 0; c < g.vertexIndices.size(); ++c) {
            const SourceVertex& s = mesh.vertices[std::size_t(g.vertexIndices[c])];
            g.indices[c] = std::uint16_t(s.firstRenderIndex + std::uint32_t(g.variantIndices[c]));
        }
    }
    return S_OK;
}

HRESULT ReadModel(std::span<const std::uint8_t> bytes, ModelFile& out) {
    ReadCursor in(bytes);
    char magic[4];
    std::uint16_t version = 0;
    std::uint32_t materialField = 0;
    if (!in.Bytes(magic, 4) || !in.U16(version) || !in.U32(materialField)) return E_FAIL;
    // Compared as a C string: "emd" then a NUL; whatever follows the NUL does not matter.
    if (magic[0] != kMagic[0] || magic[1] != kMagic[1] || magic[2] != kMagic[2] || magic[3] != 0)
        return E_FAIL;
    if (version != kVersion) return E_FAIL;

    ModelFile m;
    const std::size_t materialCount = materialField & 0xFFFF;
    if (materialCount > in.Remaining() / kMaterialMinBytes) return E_FAIL;
    m.materials.resize(materialCount);
    for (Material& mat : m.materials) {
        if (!in.F32s(mat.ambient, 3) || !in.F32s(mat.diffuse, 3) || !in.F32s(mat.specular, 3) ||
            !in.F32(mat.storedPower) || !in.I32(mat.wrapU) || !in.I32(mat.wrapV) ||
            !in.String(mat.colourMap, kMaxTextureNameChars) || !in.String(mat.bumpMap, kMaxTextureNameChars))
            return E_FAIL;
    }

    std::int32_t boneCount = 0;
    if (!in.Count(boneCount, kBoneMinBytes)) return E_FAIL;
    m.bones.resize(std::size_t(boneCount));
    for (std::size_t b = 0; b < m.bones.size(); ++b) {
        Bone& bone = m.bones[b];
        if (!in.String(bone.name, kMaxBoneNameChars) || !in.I32(bone.parent)) return E_FAIL;
        if (bone.parent != -1 && (!InRange(bone.parent, m.bones.size()) || std::size_t(bone.parent) == b))
            return E_FAIL;
    }

    std::int32_t meshCount = 0;
    if (!in.I32(meshCount) || meshCount < 0) return E_FAIL;
    const bool clamped = meshCount > kMaxMeshes;
    if (clamped) meshCount = kMaxMeshes;
    if (std::size_t(meshCount) > in.Remaining() / kMeshMinBytes) return E_FAIL;
    m.meshes.resize(std::size_t(meshCount));
    for (Mesh& mesh : m.meshes) {
        if (!ReadMesh(in, m.bones.size(), mesh)) return E_FAIL;
        if (FAILED(BuildRenderData(m.materials, mesh))) return E_FAIL;
    }
    if (!clamped && in.Remaining() != 0) return E_FAIL;
    out = std::move(m);
    return S_OK;
}

HRESULT WriteModel(const ModelFile& model, std::vector<std::uint8_t>& out) {
    if (model.materials.size() > 0xFFFF || model.meshes.size() > std::size_t(kMaxMeshes) ||
        model.bones.size() > 0x7FFFFFFF)
        return E_FAIL;
    std::vector<std::uint8_t> bytes;
    WriteCursor w(bytes);
    w.Bytes(kMagic, 4);
    w.U16(kVersion);
    w.I32(std::int32_t(model.materials.size()));
    for (const Material& mat : model.materials) {
        if (!FitsName(mat.colourMap, kMaxTextureNameChars) || !FitsName(mat.bumpMap, kMaxTextureNameChars))
            return E_FAIL;
        w.F32s(mat.ambient, 3);
        w.F32s(mat.diffuse, 3);
        w.F32s(mat.specular, 3);
        w.F32(mat.storedPower);
        w.I32(mat.wrapU);
        w.I32(mat.wrapV);
        w.String(mat.colourMap);
        w.String(mat.bumpMap);
    }
    w.I32(std::int32_t(model.bones.size()));
    for (const Bone& bone : model.bones) {
        if (!FitsName(bone.name, kMaxBoneNameChars)) return E_FAIL;
        w.String(bone.name);
        w.I32(bone.parent);
    }
    w.I32(std::int32_t(model.meshes.size()));
    auto writeWeights = [&](const std::vector<SkinWeight>& ws) {
        for (const SkinWeight& sw : ws) {
            w.I32(sw.bone);
            w.F32(sw.weight);
            w.F32s(sw.offset, 3);
        }
    };
    for (const Mesh& mesh : model.meshes) {
        if (!FitsName(mesh.name, kMaxMeshNameChars) || mesh.vertices.size() > 0x7FFFFFFF ||
            mesh.groups.size() > 0x7FFFFFFF)
            return E_FAIL;
        w.String(mesh.name);
        w.I32(std::int32_t(mesh.vertices.size()));
        for (const SourceVertex& v : mesh.vertices) {
            w.F32s(v.position, 3);
            w.I32(std::int32_t(v.weights.size()));
            writeWeights(v.weights);
            w.I32(std::int32_t(v.normals.size()));
            for (const NormalEntry& n : v.normals) {
                if (n.weights.size() != v.weights.size()) return E_FAIL;
                w.F32s(n.normal, 3);
                writeWeights(n.weights);
            }
            w.I32(std::int32_t(v.channels.size()));
            for (const auto& channel : v.channels) {
                w.I32(std::int32_t(channel.size()));
                for (const TexCoord& t : channel) {
                    w.F32(t.u);
                    w.F32(t.v);
                }
            }
        }
        w.I32(std::int32_t(mesh.groups.size()));
        for (const FaceGroup& g : mesh.groups) {
            const std::size_t corners = g.vertexIndices.size();
            if (corners % 3 != 0 || g.normalIndices.size() != corners || corners / 3 > 0x7FFFFFFF ||
                g.uvIndices.size() > std::size_t(kMaxIndexChannels))
                return E_FAIL;
            w.I32(g.material);
            w.I32(std::int32_t(corners / 3));
            for (std::int32_t i : g.vertexIndices) w.I32(i);
            for (std::int32_t i : g.normalIndices) w.I32(i);
            w.I32(std::int32_t(g.uvIndices.size()));
            for (const auto& channel : g.uvIndices) {
                if (channel.size() != corners) return E_FAIL;
                for (std::int32_t i : channel) w.I32(i);
            }
        }
    }
    out = std::move(bytes);
    return S_OK;
}

}  // namespace model::emd
