// The .EMD mesh file: materials, an optional bone list and meshes of source vertices with their
// face groups, plus what loading derives from them (vertex variants, render vertices, 16-bit
// index lists, translucency). No graphics objects: the model object uploads these lists.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "platform/d3d8/windows_types.h"

namespace model::emd {

constexpr std::uint16_t kVersion = 0x0300;
constexpr std::size_t kMaxBoneNameChars = 63;
constexpr std::size_t kMaxMeshNameChars = 63;
constexpr std::size_t kMaxTextureNameChars = 127;
constexpr std::int32_t kMaxMeshes = 9950;          // larger mesh counts are clamped to this
constexpr std::uint32_t kMaxRenderVertices = 65535;  // 16-bit index buffers
constexpr std::uint32_t kRenderVertexColour = 0xFFFFFFFF;

struct Material {
    float ambient[3] = {};
    float diffuse[3] = {};
    float specular[3] = {};
    float storedPower = 0.0f;  // kept only so a rewritten file is byte-identical; drawing uses 50
    std::int32_t wrapU = 0;
    std::int32_t wrapV = 0;
    std::string colourMap;
    std::string bumpMap;
    bool operator==(const Material&) const = default;
};

struct Bone {
    std::string name;
    std::int32_t parent = -1;
    bool operator==(const Bone&) const = default;
};

// One bone influence: for a position the offset is the vertex in that bone's space, for a normal
// entry it is the normal in that bone's space.
struct SkinWeight {
    std::int32_t bone = 0;
    float weight = 0.0f;
    float offset[3] = {};
    bool operator==(const SkinWeight&) const = default;
};

struct NormalEntry {
    float normal[3] = {};
    std::vector<SkinWeight> weights;  // as many as the vertex has
    bool operator==(const NormalEntry&) const = default;
};

struct TexCoord {
    float u = 0.0f;
    float v = 0.0f;
    bool operator==(const TexCoord&) const = default;
};

// One distinct attribute combination of a source vertex; -1 where the vertex has no such channel.
struct VertexVariant {
    std::int32_t normal = 0;
    std::int32_t uv0 = -1;
    std::int32_t uv1 = -1;
    bool operator==(const VertexVariant&) const = default;
};

struct SourceVertex {
    float position[3] = {};
    std::vector<SkinWeight> weights;
    std::vector<NormalEntry> normals;
    std::vector<std::vector<TexCoord>> channels;
    // Derived while loading:
    std::vector<VertexVariant> variants;
    std::uint32_t firstRenderIndex = 0;
    bool operator==(const SourceVertex&) const = default;
};

struct FaceGroup {
    std::int32_t material = -1;
    // Per corner, 3 per triangle, as stored.
    std::vector<std::int32_t> vertexIndices;
    std::vector<std::int32_t> normalIndices;
    std::vector<std::vector<std::int32_t>> uvIndices;  // one list per stored channel
    // Derived while loading:
    std::vector<std::int32_t> variantIndices;  // per corner, into the corner vertex's variants
    std::vector<std::uint16_t> indices;        // per corner, into the mesh's render vertices
    bool translucent = false;
    std::size_t FaceCount() const { return vertexIndices.size() / 3; }
    bool operator==(const FaceGroup&) const = default;
};

// The vertex of the mesh buffers (vertex format 0x352, stride 56).
struct RenderVertex {
    float position[3];
    float normal[3];
    std::uint32_t colour;
    float uv0[2];
    float uv1[2];
    float tangent[3];
    bool operator==(const RenderVertex&) const = default;
};
static_assert(sizeof(RenderVertex) == 56, "the vertex buffers are laid out with a 56-byte stride");

struct Mesh {
    std::string name;
    std::vector<SourceVertex> vertices;
    std::vector<FaceGroup> groups;
    // Derived while loading: source vertex by source vertex, all of its variants in order.
    std::vector<RenderVertex> renderVertices;
    bool operator==(const Mesh&) const = default;
};

struct ModelFile {
    std::vector<Material> materials;
    std::vector<Bone> bones;
    std::vector<Mesh> meshes;
    bool operator==(const ModelFile&) const = default;
};

// Decodes a whole .EMD image. E_FAIL on a wrong magic or version, on data that runs past the end
// or stops short of it (unless the mesh count was clamped), and on counts or indices that would make later use read out of bounds. `out` is replaced only
// on success.
HRESULT ReadModel(std::span<const std::uint8_t> bytes, ModelFile& out);

// Encodes the stored lists of `model` (the derived fields are ignored). E_FAIL when the lists are
// inconsistent (corner lists of unequal length, normal entries with a weight count other than the
// vertex's, names too long or holding a NUL, more than 65535 materials or 9950 meshes).
HRESULT WriteModel(const ModelFile& model, std::vector<std::uint8_t>& out);

// Rebuilds variants, render vertices, index lists and translucency from the stored lists. Assumes
// indices already checked by ReadModel; returns E_FAIL when they are not valid.
HRESULT BuildRenderData(const std::vector<Material>& materials, Mesh& mesh);

// A colour map whose last letter is A or S (.tga, .dds) carries alpha.
bool IsTranslucentMap(const std::string& colourMap);

}  // namespace model::emd
