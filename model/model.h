// A loaded mesh file as the scene places and draws it: materials with their texture handles,
// meshes uploaded into vertex and index buffers of the pool, optional bones with one looping
// animation that is skinned on the processor, the placement (position, rotation, per-axis scale
// about the model's own box centre), bounds, per-mesh culling against the shared view frustum and
// a two-pass draw (opaque groups, then translucent groups with alpha test).
//
// Buffers belong to the vertex buffer pool and textures to the texture table; the model keeps only
// their handles. Both are the process-wide ones unless others are given (tests use private ones).
// A second load into the same model re-uses its vertex and index slots, so reloading does not eat
// pool slots.
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "d3dutil/d3dx8math.h"
#include "display/texture_table.h"
#include "display/vertex_buffer_pool.h"
#include "media/archive.h"
#include "model/emd_format.h"
#include "model/esa_format.h"
#include "platform/d3d8/d3d8.h"

namespace model {

// ---------------------------------------------------------------------------------------------
// The view frustum shared by every model's culling.

// Planes (a, b, c, d) of M = view * projection, in this order: left (col4 - col1), right
// (col4 + col1), bottom (col4 + col2), top (col4 - col2), far (col4 - col3), near (col4 + col3).
// Only their signs are used, so they are not normalised. A point p is inside a plane when
// a*p.x + b*p.y + c*p.z + d >= 0.
using FrustumPlanes = std::array<D3DXPLANE, 6>;

// Recomputes the shared planes. The scene calls one of these right after it sets a new view or
// projection transform. Until the first call every plane is (0, 0, 0, 1): nothing is culled.
void UpdateFrustumPlanes(const D3DXMATRIX& view, const D3DXMATRIX& projection);
// The same from the device's current D3DTS_VIEW and D3DTS_PROJECTION transforms.
void UpdateFrustumPlanes(IDirect3DDevice8* device);
// The same table computed for M without storing it (for tools and tests).
FrustumPlanes ComputeFrustumPlanes(const D3DXMATRIX& viewProjection);
const FrustumPlanes& SharedFrustumPlanes();

// True when, for some plane, every one of the 8 corners lies on its negative side.
bool BoxOutside(const FrustumPlanes& planes, const D3DXVECTOR3 (&corners)[8]);
// The box test for an axis-aligned box given by its extremes, against the shared planes.
bool BoxOutsideFrustum(const D3DXVECTOR3& boxMin, const D3DXVECTOR3& boxMax);

// ---------------------------------------------------------------------------------------------
// What a model holds.

// The product order of the three axis rotations in SetRotation (left to right).
enum RotationOrder : std::uint8_t {
    kRotateXYZ = 0,
    kRotateXZY = 1,
    kRotateYXZ = 2,
    kRotateYZX = 3,
    kRotateZXY = 4,
    kRotateZYX = 5,
    // Any other value keeps the previous rotation when SetRotation is called.
};

// The group textures are looked up in ("Texture\" + file name) and the media archive's resource.
inline constexpr const char* kTextureGroup = "Texture\\";
inline constexpr int kMediaArchiveId = 453;
// The password handed to the archive reader with every lookup; it matters only for entries packed
// encrypted (ours are not).
inline constexpr std::string_view kMediaArchivePassword = "gh";

struct ModelMaterial {
    display::TextureHandle colourMap;  // file name, group "Texture\", index -1 until loaded
    display::TextureHandle bumpMap;
    std::int32_t wrapU = 0;  // nonzero: U wraps; zero: U mirrors
    std::int32_t wrapV = 0;
    D3DMATERIAL8 material{};  // from the file, alpha 1, no emissive, power 50; not set by drawing
};

struct ModelBone {
    std::string name;
    std::int32_t parent = -1;
    std::vector<esa::PositionKey> positionKeys;  // empty until an animation is loaded
    std::vector<esa::RotationKey> rotationKeys;
    // The bone's model-space pose as of the last ApplySkinning (identity before the first one).
    // The scene combines it with a grip pose to put weapons into hands.
    D3DXMATRIX matrix{1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
};

struct ModelFaceGroup : emd::FaceGroup {
    int indexBuffer = display::VertexBufferPool::kNoHandle;  // 16-bit, FaceCount() * 3 entries
};

struct ModelMesh {
    std::string name;
    std::vector<emd::SourceVertex> vertices;  // with their variants and first render index
    std::vector<ModelFaceGroup> groups;
    std::uint32_t renderVertexCount = 0;
    int vertexBuffer = display::VertexBufferPool::kNoHandle;  // format 0x352, stride 56
    // Bounds in model space (zero for a mesh without vertices).
    float radius = 0.0f;
    D3DXVECTOR3 boxMax{0, 0, 0};
    D3DXVECTOR3 boxMin{0, 0, 0};
    D3DXVECTOR3 centre{0, 0, 0};
};

// The vertex of the axis-cross line buffer (format 0x152 = XYZ | NORMAL | DIFFUSE | TEX1,
// stride 36). Only position and colour are written; normal and uv stay as created.
struct AxisVertex {
    float position[3];
    float normal[3];
    std::uint32_t colour;
    float uv[2];
};
static_assert(sizeof(AxisVertex) == 36);
inline constexpr DWORD kAxisVertexFormat = 0x152;
inline constexpr DWORD kMeshVertexFormat = 0x352;

class Model {
public:
    // Null pool or table: the process-wide ones.
    explicit Model(display::VertexBufferPool* pool = nullptr,
                   display::TextureTable* textures = nullptr);
    Model(const Model&) = delete;
    Model& operator=(const Model&) = delete;

    // --- Loading -------------------------------------------------------------------------------

    // Fills the model from an .EMD image. With `buffer` (a whole file, e.g. from ExtractFile) the
    // model takes it over and frees it (buffer is left empty) whatever the outcome; without one it
    // reads the file at `path` whole, printing "Couldn't open the model file." on stdout when that
    // fails. Returns 0, or E_FAIL when the file cannot be opened or the image is rejected; a
    // rejected image leaves the model empty (no meshes, draws nothing).
    HRESULT LoadModel(const char* path, media::MemFile* buffer = nullptr);
    // The same from bytes the caller keeps.
    HRESULT LoadModelFromBytes(std::span<const std::uint8_t> bytes);

    // For each material, the colour map and then the bump map: extract "Texture\" + name from the
    // media archive and hand the bytes to the texture table (reuse on). A name the archive does
    // not hold keeps index -1. Returns the number of handles filled.
    int LoadModelTextures();
    // The same from a given archive blob with the given password.
    int LoadModelTextures(media::ResourceBlob& archive, std::string_view password);

    // Reads an .ESA image against this model's bones (so after LoadModel). Buffer and path as in
    // LoadModel. Returns 0 (animation loaded, time 0, pose not marked dirty) or E_FAIL with the
    // animation state unchanged.
    HRESULT LoadAnimation(const char* path, media::MemFile* buffer = nullptr);
    HRESULT LoadAnimationFromBytes(std::span<const std::uint8_t> bytes);

    // --- Animation -----------------------------------------------------------------------------

    // Only with an animation loaded and at least one bone: animTime += dt, wrapped by repeated
    // subtraction into [0, animLength] (animLength itself stays), pose marked dirty.
    void AdvanceTime(float dt);
    // animTime = t, then AdvanceTime(0).
    void SetTime(float t);
    // Rebuilds the bone matrices for animTime and rewrites positions, normals and tangents of
    // every mesh buffer (one lock per mesh); clears the dirty flag. RenderModel calls it when the
    // pose is dirty and some mesh is visible.
    void ApplySkinning();

    // --- Placement (each ends with UpdateWorld) ------------------------------------------------

    void SetPosition(float x, float y, float z);
    // Per-axis scale about the box centre; rebuilds the normalisation matrix and half extents.
    void SetScale(float sx, float sy, float sz);
    // Uniform scale that makes the box `height` tall; returns it. A box of zero (or non-finite)
    // height has no such scale: the scale is left unchanged and 1 is returned.
    float FitHeight(float height);
    // Angles in degrees about X, Y, Z, combined in rotationOrder. Each axis matrix turns by the
    // negative angle in Direct3D's sign convention: SetRotation(90, 0, 0) equals
    // D3DXMatrixRotationX(-90 degrees).
    void SetRotation(float ax, float ay, float az);
    // The rotation part of `m` (its translation row is dropped).
    void SetRotationMatrix(const D3DXMATRIX& m);
    // world = normalisation * rotation, then position added to the translation row.
    void UpdateWorld();

    // --- Drawing -------------------------------------------------------------------------------

    // Draws the visible meshes (mesh box, moved into world space, against the shared frustum):
    // opaque face groups first, then translucent ones, skinning first when the pose is dirty.
    // Sets the model's world transform and puts the caller's back. When alphaBlend is set,
    // blending is on during each pass; the translucent pass runs with alpha test at reference 50
    // and ends with test and blending off and DESTBLEND = ONE. Textures are bound only when the
    // material changes (also across meshes and passes); afterwards stage 0 addresses are WRAP and
    // stage 1 is unbound. The axis cross (showAxes) leaves lighting off; the caller restores it.
    // Uses the pool's and texture table's device for buffers and textures, so all three must be
    // the same device.
    void RenderModel(IDirect3DDevice8* device);

    // --- Settings the scene writes directly ----------------------------------------------------

    DWORD vertexShader = 0;         // nonzero: used instead of the vertex format
    bool alphaBlend = false;        // alpha blending on during both passes
    bool bumpStage = true;          // bind each material's bump map to stage 1
    bool texturesOn = true;         // false: draw with whatever the caller bound
    std::uint8_t rotationOrder = kRotateXYZ;
    bool showAxes = false;
    std::int32_t selectedAxis = 0;  // 1 = X, 2 = Z, 3 = Y drawn again highlighted; else none

    // --- Read access ---------------------------------------------------------------------------

    const std::vector<ModelMesh>& Meshes() const { return meshes_; }
    std::uint32_t MeshCount() const { return static_cast<std::uint32_t>(meshes_.size()); }
    const std::vector<ModelMaterial>& Materials() const { return materials_; }
    std::uint16_t MaterialCount() const { return static_cast<std::uint16_t>(materials_.size()); }
    const std::vector<ModelBone>& Bones() const { return bones_; }
    std::int32_t BoneCount() const { return static_cast<std::int32_t>(bones_.size()); }
    // Null for an index outside the list.
    const ModelBone* Bone(int index) const;
    // Index of the bone with that name, -1 when there is none.
    int FindBone(std::string_view name) const;

    const D3DXVECTOR3& BoxMax() const { return boxMax_; }
    const D3DXVECTOR3& BoxMin() const { return boxMin_; }
    const D3DXVECTOR3& HalfExtentMax() const { return halfExtentMax_; }
    const D3DXVECTOR3& HalfExtentMin() const { return halfExtentMin_; }
    float RadiusRatio() const { return radiusRatio_; }
    std::uint16_t TrianglesDrawn() const { return trianglesDrawn_; }

    const D3DXVECTOR3& Position() const { return position_; }
    const D3DXVECTOR3& Angles() const { return angles_; }
    const D3DXVECTOR3& Scale() const { return scale_; }
    const D3DXMATRIX& Rotation() const { return rotation_; }
    const D3DXMATRIX& Normalisation() const { return normalisation_; }
    const D3DXMATRIX& World() const { return world_; }

    bool AnimLoaded() const { return animLoaded_; }
    std::int32_t AnimLength() const { return animLength_; }
    std::int32_t KeyInterval() const { return keyInterval_; }
    float AnimTime() const { return animTime_; }
    bool PoseDirty() const { return poseDirty_; }

    int AxisBuffer() const { return axisBuffer_; }
    display::VertexBufferPool& Pool() const { return *pool_; }
    display::TextureTable& Textures() const { return *textures_; }

private:
    // Flattened per-mesh skinning data built once at load: only vertices with influences, every
    // list walked in order with no lookups or allocation per frame.
    struct SkinInfluence {
        std::int32_t bone;
        float weight;
        D3DXVECTOR3 offset;  // the vertex in that bone's space
    };
    struct SkinNormal {
        std::int32_t bone;   // the vertex's first influence
        D3DXVECTOR3 normal;  // in that bone's space
    };
    struct SkinVertex {
        std::uint32_t firstInfluence, influenceCount;
        std::uint32_t firstNormal, normalCount;
        std::uint32_t firstVariant, variantCount;  // into variantNormals
        std::uint32_t firstRender;                 // render index of the first variant
    };
    struct SkinPlan {
        std::vector<SkinVertex> vertices;
        std::vector<SkinInfluence> influences;
        std::vector<SkinNormal> normals;
        std::vector<std::uint32_t> variantNormals;  // per variant: its normal entry, vertex-local
    };
    struct IndexSlot {
        int handle;
        std::uint32_t capacity;  // indices; 0 when the pool could not create the buffer
        bool taken;
    };

    void Reset();
    void Build(emd::ModelFile& file);
    void ComputeBounds();
    void RebuildNormalisation();
    int TakeIndexSlot(std::uint32_t indexCount);
    void BuildSkinPlans();
    void UpdateBoneMatrices();
    void SkinMesh(std::size_t meshIndex);
    void DrawPass(IDirect3DDevice8* device, bool translucentPass, int& lastMaterial);
    void DrawAxes(IDirect3DDevice8* device);

    display::VertexBufferPool* pool_;
    display::TextureTable* textures_;

    std::vector<ModelMesh> meshes_;
    std::vector<ModelMaterial> materials_;
    std::vector<ModelBone> bones_;
    std::vector<SkinPlan> skinPlans_;      // one per mesh
    std::vector<int> spareVertexSlots_;    // vertex slots of earlier loads, re-created in place
    std::vector<IndexSlot> indexSlots_;    // every index slot this model was ever given
    std::vector<std::uint8_t> meshVisible_;  // per mesh, for the current RenderModel call
    std::vector<D3DXVECTOR3> skinnedNormals_;  // scratch: one vertex's skinned normal entries

    std::int32_t animLength_ = 0;
    std::int32_t keyInterval_ = 0;
    bool animLoaded_ = false;
    float animTime_ = 0.0f;
    bool poseDirty_ = false;

    D3DXVECTOR3 position_{0, 0, 0};
    D3DXVECTOR3 angles_{0, 0, 0};
    D3DXMATRIX rotation_;
    D3DXMATRIX normalisation_;
    D3DXMATRIX world_;
    D3DXVECTOR3 scale_{1, 1, 1};
    D3DXVECTOR3 halfExtentMax_{0, 0, 0};
    D3DXVECTOR3 halfExtentMin_{0, 0, 0};
    D3DXVECTOR3 boxMax_{0, 0, 0};
    D3DXVECTOR3 boxMin_{0, 0, 0};
    float radiusRatio_ = 1.0f;

    int axisBuffer_ = display::VertexBufferPool::kNoHandle;
    std::uint16_t trianglesDrawn_ = 0;
};

}  // namespace model
