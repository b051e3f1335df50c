// Model: loading into pool buffers, bounds and placement, two-pass drawing, the axis cross.
// Animation playback and skinning live in skinning.cpp, the frustum in frustum.cpp.
#include "model/model.h"
#include "model/file_bytes.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <utility>

namespace model {
namespace {

constexpr float kDegreesToRadians = 0.017453292f;
constexpr float kDrawPower = 50.0f;  // the file's stored power is not used
constexpr DWORD kAlphaReference = 0x32;

D3DXMATRIX Identity() {
    D3DXMATRIX m;
    D3DXMatrixIdentity(&m);
    return m;
}

D3DCOLORVALUE Colour(const float (&rgb)[3]) { return D3DCOLORVALUE{rgb[0], rgb[1], rgb[2], 1.0f}; }

void SetHandleName(display::TextureHandle& h, const std::string& name) {
    h = display::TextureHandle{};
    // The reader caps texture names at 127 characters, which fits with its NUL.
    const std::size_t n = std::min(name.size(), display::kTextureNameLength - 1);
    std::memcpy(h.Name, name.data(), n);
    std::memcpy(h.Group, kTextureGroup, std::strlen(kTextureGroup));
    h.Index = -1;
}

float Length(const D3DXVECTOR3& v) { return std::sqrt(v.x * v.x + v.y * v.y + v.z * v.z); }


void ReportUnopenable() { std::fputs("Couldn't open the model file.\n", stdout); }

D3DXMATRIX AxisRotation(int axis, float degrees) {
    const float c = std::cos(degrees * kDegreesToRadians);
    const float s = std::sin(degrees * kDegreesToRadians);
    D3DXMATRIX m = Identity();
    switch (axis) {
        case 0:  // rows 2 and 3: (0, c, -s), (0, s, c)
            m.m[1][1] = c; m.m[1][2] = -s;
            m.m[2][1] = s; m.m[2][2] = c;
            break;
        case 1:  // rows 1 and 3: (c, 0, s), (-s, 0, c)
            m.m[0][0] = c; m.m[0][2] = s;
            m.m[2][0] = -s; m.m[2][2] = c;
            break;
        default:  // rows 1 and 2: (c, -s, 0), (s, c, 0)
            m.m[0][0] = c; m.m[0][1] = -s;
            m.m[1][0] = s; m.m[1][1] = c;
            break;
    }
    return m;
}

}  // namespace

Model::Model(display::VertexBufferPool* pool, display::TextureTable* textures)
    : pool_(pool != nullptr ? pool : &display::VertexBuffers()),
      textures_(textures != nullptr ? textures : &display::Textures()),
      rotation_(Identity()),
      normalisation_(Identity()),
      world_(Identity()) {}

const ModelBone* Model::Bone(int index) const {
    if (index < 0 || static_cast<std::size_t>(index) >= bones_.size()) return nullptr;
    return &bones_[static_cast<std::size_t>(index)];
}

int Model::FindBone(std::string_view name) const {
    for (std::size_t b = 0; b < bones_.size(); ++b)
        if (bones_[b].name == name) return static_cast<int>(b);
    return -1;
}

// ----------------------------------------------------------------------------------- loading

void Model::Reset() {
    // Keep every pool slot for the next build: the pool cannot give slots back.
    for (const ModelMesh& mesh : meshes_)
        if (mesh.vertexBuffer != display::VertexBufferPool::kNoHandle)
            spareVertexSlots_.push_back(mesh.vertexBuffer);
    for (IndexSlot& slot : indexSlots_) slot.taken = false;

    meshes_.clear();
    materials_.clear();
    bones_.clear();
    skinPlans_.clear();
    meshVisible_.clear();
    rotation_ = Identity();
    normalisation_ = Identity();
    world_ = Identity();
    animLoaded_ = false;
    animLength_ = 0;
    keyInterval_ = 0;
    animTime_ = 0.0f;
    poseDirty_ = false;
    trianglesDrawn_ = 0;
    pool_->CreateVertexSlot(axisBuffer_, kAxisVertexFormat, 12);
}

HRESULT Model::LoadModel(const char* path, media::MemFile* buffer) {
    Reset();
    if (buffer != nullptr) {
        emd::ModelFile file;
        const HRESULT hr =
            buffer->data != nullptr ? emd::ReadModel({buffer->data, buffer->size}, file) : E_FAIL;
        media::FreeMemFile(*buffer);
        if (FAILED(hr)) return E_FAIL;
        Build(file);
        return S_OK;
    }
    std::vector<std::uint8_t> bytes;
    if (!ReadWholeFile(path, bytes)) {
        ReportUnopenable();
        return E_FAIL;
    }
    return LoadModelFromBytes(bytes);
}

HRESULT Model::LoadModelFromBytes(std::span<const std::uint8_t> bytes) {
    Reset();
    emd::ModelFile file;
    if (FAILED(emd::ReadModel(bytes, file))) return E_FAIL;
    Build(file);
    return S_OK;
}

int Model::TakeIndexSlot(std::uint32_t indexCount) {
    // The smallest free slot of this model that holds the list; a new pool slot otherwise.
    IndexSlot* best = nullptr;
    for (IndexSlot& slot : indexSlots_) {
        if (slot.taken || slot.capacity < indexCount) continue;
        if (best == nullptr || slot.capacity < best->capacity) best = &slot;
    }
    if (best == nullptr) {
        const int handle = pool_->CreateIndexSlot(indexCount);
        if (handle == display::VertexBufferPool::kNoHandle) return handle;
        indexSlots_.push_back({handle, pool_->IndexCreated(handle) ? indexCount : 0, false});
        best = &indexSlots_.back();
    }
    best->taken = true;
    return best->handle;
}

void Model::Build(emd::ModelFile& file) {
    materials_.resize(file.materials.size());
    for (std::size_t i = 0; i < file.materials.size(); ++i) {
        const emd::Material& src = file.materials[i];
        ModelMaterial& dst = materials_[i];
        SetHandleName(dst.colourMap, src.colourMap);
        SetHandleName(dst.bumpMap, src.bumpMap);
        dst.wrapU = src.wrapU;
        dst.wrapV = src.wrapV;
        dst.material = D3DMATERIAL8{};
        dst.material.Diffuse = Colour(src.diffuse);
        dst.material.Ambient = Colour(src.ambient);
        dst.material.Specular = Colour(src.specular);
        dst.material.Emissive = D3DCOLORVALUE{0, 0, 0, 0};
        dst.material.Power = kDrawPower;
    }

    bones_.resize(file.bones.size());
    for (std::size_t b = 0; b < file.bones.size(); ++b) {
        bones_[b].name = std::move(file.bones[b].name);
        bones_[b].parent = file.bones[b].parent;
    }

    std::size_t spare = 0;
    meshes_.resize(file.meshes.size());
    for (std::size_t i = 0; i < file.meshes.size(); ++i) {
        emd::Mesh& src = file.meshes[i];
        ModelMesh& mesh = meshes_[i];
        mesh.name = std::move(src.name);
        mesh.renderVertexCount = static_cast<std::uint32_t>(src.renderVertices.size());
        if (spare < spareVertexSlots_.size()) mesh.vertexBuffer = spareVertexSlots_[spare++];
        pool_->CreateVertexSlot(mesh.vertexBuffer, kMeshVertexFormat, mesh.renderVertexCount);
        pool_->FillVertices(mesh.vertexBuffer, src.renderVertices.data(),
                            src.renderVertices.size() * sizeof(emd::RenderVertex));

        mesh.groups.resize(src.groups.size());
        for (std::size_t g = 0; g < src.groups.size(); ++g) {
            ModelFaceGroup& group = mesh.groups[g];
            static_cast<emd::FaceGroup&>(group) = std::move(src.groups[g]);
            const auto count = static_cast<std::uint32_t>(group.indices.size());
            group.indexBuffer = TakeIndexSlot(count);
            pool_->FillIndices(group.indexBuffer, group.indices.data(), count * sizeof(std::uint16_t));
        }
        mesh.vertices = std::move(src.vertices);
    }
    spareVertexSlots_.erase(spareVertexSlots_.begin(),
                            spareVertexSlots_.begin() + static_cast<std::ptrdiff_t>(spare));
    meshVisible_.assign(meshes_.size(), 0);

    BuildSkinPlans();
    ComputeBounds();
    RebuildNormalisation();
    UpdateWorld();
}

int Model::LoadModelTextures() {
    media::ResourceBlob blob = media::OpenMediaBlob(kMediaArchiveId);
    return LoadModelTextures(blob, kMediaArchivePassword);
}

int Model::LoadModelTextures(media::ResourceBlob& archive, std::string_view password) {
    int filled = 0;
    auto load = [&](display::TextureHandle& handle) {
        if (handle.Name[0] == '\0') return;  // no map named: nothing to look up
        std::string wanted = std::string(handle.Group) + handle.Name;
        media::MemFile file;
        if (!media::ExtractFile(archive, wanted, file, password)) return;
        const display::TextureHandle made =
            textures_->LoadFromMemory(file.data, file.size, handle.Name, handle.Group, true);
        media::FreeMemFile(file);
        // A table without a device hands back a blank handle; keep the name for a later try.
        if (made.Index < 0) return;
        handle = made;
        ++filled;
    };
    for (ModelMaterial& m : materials_) {
        load(m.colourMap);
        load(m.bumpMap);
    }
    return filled;
}

// ----------------------------------------------------------------------------- bounds, placement

void Model::ComputeBounds() {
    bool first = true;
    for (ModelMesh& mesh : meshes_) {
        if (mesh.vertices.empty()) continue;
        const float* p0 = mesh.vertices.front().position;
        mesh.boxMax = mesh.boxMin = D3DXVECTOR3(p0[0], p0[1], p0[2]);
        for (const emd::SourceVertex& v : mesh.vertices) {
            mesh.boxMax.x = std::max(mesh.boxMax.x, v.position[0]);
            mesh.boxMax.y = std::max(mesh.boxMax.y, v.position[1]);
            mesh.boxMax.z = std::max(mesh.boxMax.z, v.position[2]);
            mesh.boxMin.x = std::min(mesh.boxMin.x, v.position[0]);
            mesh.boxMin.y = std::min(mesh.boxMin.y, v.position[1]);
            mesh.boxMin.z = std::min(mesh.boxMin.z, v.position[2]);
        }
        mesh.centre = (mesh.boxMax - mesh.boxMin) / 2.0f + mesh.boxMin;
        mesh.radius = Length(mesh.boxMax - mesh.centre);
        if (first) {
            boxMax_ = mesh.boxMax;
            boxMin_ = mesh.boxMin;
            first = false;
        } else {
            boxMax_.x = std::max(boxMax_.x, mesh.boxMax.x);
            boxMax_.y = std::max(boxMax_.y, mesh.boxMax.y);
            boxMax_.z = std::max(boxMax_.z, mesh.boxMax.z);
            boxMin_.x = std::min(boxMin_.x, mesh.boxMin.x);
            boxMin_.y = std::min(boxMin_.y, mesh.boxMin.y);
            boxMin_.z = std::min(boxMin_.z, mesh.boxMin.z);
        }
    }
    // No mesh with vertices: the model box keeps its previous value.
}

void Model::RebuildNormalisation() {
    const D3DXVECTOR3 h = (boxMax_ - boxMin_) / 2.0f;
    const D3DXVECTOR3 c = boxMin_ + h;
    const D3DXVECTOR3 scaled(h.x * scale_.x, h.y * scale_.y, h.z * scale_.z);
    normalisation_ = Identity();
    normalisation_.m[0][0] = scale_.x;
    normalisation_.m[1][1] = scale_.y;
    normalisation_.m[2][2] = scale_.z;
    normalisation_.m[3][0] = -c.x * scale_.x;
    normalisation_.m[3][1] = -c.y * scale_.y;
    normalisation_.m[3][2] = -c.z * scale_.z;
    halfExtentMax_ = scaled;
    halfExtentMin_ = -scaled;
    // A box of no size has no diagonal to compare; its axis cross is zero long whatever the ratio.
    const float unscaled = Length(h);
    radiusRatio_ = unscaled > 0.0f ? Length(scaled) / unscaled : 1.0f;
}

void Model::UpdateWorld() {
    D3DXMatrixMultiply(&world_, &normalisation_, &rotation_);
    world_.m[3][0] += position_.x;
    world_.m[3][1] += position_.y;
    world_.m[3][2] += position_.z;
}

void Model::SetPosition(float x, float y, float z) {
    position_ = D3DXVECTOR3(x, y, z);
    UpdateWorld();
}

void Model::SetScale(float sx, float sy, float sz) {
    scale_ = D3DXVECTOR3(sx, sy, sz);
    RebuildNormalisation();
    UpdateWorld();
}

float Model::FitHeight(float height) {
    const float boxHeight = boxMax_.y - boxMin_.y;
    const float s = height / boxHeight;
    if (!(boxHeight > 0.0f) || !std::isfinite(s)) return 1.0f;
    SetScale(s, s, s);
    return s;
}

void Model::SetRotation(float ax, float ay, float az) {
    angles_ = D3DXVECTOR3(ax, ay, az);
    static constexpr int kOrders[6][3] = {{0, 1, 2}, {0, 2, 1}, {1, 0, 2},
                                          {1, 2, 0}, {2, 0, 1}, {2, 1, 0}};
    if (rotationOrder < 6) {
        const float angle[3] = {ax, ay, az};
        const int* order = kOrders[rotationOrder];
        const D3DXMATRIX a = AxisRotation(order[0], angle[order[0]]);
        const D3DXMATRIX b = AxisRotation(order[1], angle[order[1]]);
        const D3DXMATRIX c = AxisRotation(order[2], angle[order[2]]);
        D3DXMATRIX ab;
        D3DXMatrixMultiply(&ab, &a, &b);
        D3DXMatrixMultiply(&rotation_, &ab, &c);
    }
    UpdateWorld();
}

void Model::SetRotationMatrix(const D3DXMATRIX& m) {
    rotation_ = m;
    rotation_.m[3][0] = rotation_.m[3][1] = rotation_.m[3][2] = 0.0f;
    UpdateWorld();
}

// ----------------------------------------------------------------------------------- drawing

void Model::RenderModel(IDirect3DDevice8* device) {
    trianglesDrawn_ = 0;
    if (device == nullptr) return;
    D3DMATRIX saved{};
    device->GetTransform(D3DTS_WORLD, &saved);
    device->SetTransform(D3DTS_WORLD, &world_);

    // Visibility per mesh, once for both passes: the world box of the mesh box's 8 transformed
    // corners against the shared planes.
    bool anyVisible = false;
    for (std::size_t i = 0; i < meshes_.size(); ++i) {
        const ModelMesh& mesh = meshes_[i];
        bool visible = false;
        if (!mesh.vertices.empty()) {
            D3DXVECTOR3 lo, hi;
            for (int k = 0; k < 8; ++k) {
                const float x = (k & 1) ? mesh.boxMax.x : mesh.boxMin.x;
                const float y = (k & 2) ? mesh.boxMax.y : mesh.boxMin.y;
                const float z = (k & 4) ? mesh.boxMax.z : mesh.boxMin.z;
                const D3DXVECTOR3 p(x * world_.m[0][0] + y * world_.m[1][0] + z * world_.m[2][0] + world_.m[3][0],
                                    x * world_.m[0][1] + y * world_.m[1][1] + z * world_.m[2][1] + world_.m[3][1],
                                    x * world_.m[0][2] + y * world_.m[1][2] + z * world_.m[2][2] + world_.m[3][2]);
                if (k == 0) {
                    lo = hi = p;
                } else {
                    lo.x = std::min(lo.x, p.x); lo.y = std::min(lo.y, p.y); lo.z = std::min(lo.z, p.z);
                    hi.x = std::max(hi.x, p.x); hi.y = std::max(hi.y, p.y); hi.z = std::max(hi.z, p.z);
                }
            }
            visible = !BoxOutsideFrustum(lo, hi);
        }
        meshVisible_[i] = visible ? 1 : 0;
        anyVisible = anyVisible || visible;
    }
    // Deferred skinning: once per time change, and only when something of the model shows.
    if (anyVisible && poseDirty_) ApplySkinning();

    int lastMaterial = -2;
    for (int pass = 0; pass < 2; ++pass) {
        if (alphaBlend) device->SetRenderState(D3DRS_ALPHABLENDENABLE, TRUE);
        if (pass == 1) {
            device->SetRenderState(D3DRS_ALPHATESTENABLE, TRUE);
            device->SetRenderState(D3DRS_ALPHAREF, kAlphaReference);
        }
        if (anyVisible) DrawPass(device, pass == 1, lastMaterial);
        if (pass == 0) {
            if (alphaBlend) device->SetRenderState(D3DRS_ALPHABLENDENABLE, FALSE);
        } else {
            device->SetRenderState(D3DRS_ALPHATESTENABLE, FALSE);
            device->SetRenderState(D3DRS_ALPHABLENDENABLE, FALSE);
            device->SetRenderState(D3DRS_DESTBLEND, D3DBLEND_ONE);
        }
    }

    device->SetTextureStageState(0, D3DTSS_ADDRESSU, D3DTADDRESS_WRAP);
    device->SetTextureStageState(0, D3DTSS_ADDRESSV, D3DTADDRESS_WRAP);
    device->SetTexture(1, nullptr);
    device->SetTransform(D3DTS_WORLD, &saved);

    if (showAxes) DrawAxes(device);
}

void Model::DrawPass(IDirect3DDevice8* device, bool translucentPass, int& lastMaterial) {
    for (std::size_t i = 0; i < meshes_.size(); ++i) {
        if (meshVisible_[i] == 0) continue;
        const ModelMesh& mesh = meshes_[i];
        bool selected = false;
        for (const ModelFaceGroup& group : mesh.groups) {
            const std::size_t faces = group.FaceCount();
            if (faces == 0 || group.translucent != translucentPass) continue;
            if (!selected) {  // the mesh's buffer only when this pass draws from it
                pool_->SelectVertices(0, mesh.vertexBuffer);
                if (vertexShader != 0) device->SetVertexShader(vertexShader);
                selected = true;
            }
            trianglesDrawn_ = static_cast<std::uint16_t>(trianglesDrawn_ + faces);
            if (texturesOn && group.material != lastMaterial) {
                if (group.material < 0 || static_cast<std::size_t>(group.material) >= materials_.size()) {
                    device->SetTexture(0, nullptr);
                } else {
                    const ModelMaterial& m = materials_[static_cast<std::size_t>(group.material)];
                    textures_->BindTexture(0, m.colourMap.Index);
                    device->SetTextureStageState(0, D3DTSS_ADDRESSU,
                                                 m.wrapU != 0 ? D3DTADDRESS_WRAP : D3DTADDRESS_MIRROR);
                    device->SetTextureStageState(0, D3DTSS_ADDRESSV,
                                                 m.wrapV != 0 ? D3DTADDRESS_WRAP : D3DTADDRESS_MIRROR);
                    if (bumpStage) textures_->BindTexture(1, m.bumpMap.Index);
                }
                lastMaterial = group.material;
            }
            pool_->SelectIndices(group.indexBuffer);
            device->DrawIndexedPrimitive(D3DPT_TRIANGLELIST, 0, mesh.renderVertexCount, 0,
                                         static_cast<UINT>(faces));
        }
    }
}

void Model::DrawAxes(IDirect3DDevice8* device) {
    auto* v = static_cast<AxisVertex*>(pool_->LockVertices(axisBuffer_));
    if (v == nullptr) return;
    const float L = Length(boxMax_ - boxMin_) * radiusRatio_ / 4.0f;
    const D3DXVECTOR3 ends[3] = {{L, 0, 0}, {0, L, 0}, {0, 0, L}};
    const std::uint32_t colours[3] = {0xFF00FFFF, 0xFFFFFF00, 0xFFFFFFFF};
    for (int axis = 0; axis < 3; ++axis) {
        for (int end = 0; end < 2; ++end) {
            const D3DXVECTOR3 p = (end == 0 ? ends[axis] : D3DXVECTOR3(0, 0, 0)) + position_;
            for (int copy = 0; copy < 2; ++copy) {
                AxisVertex& out = v[copy * 6 + axis * 2 + end];
                out.position[0] = p.x;
                out.position[1] = p.y;
                out.position[2] = p.z;
                out.colour = copy == 0 ? colours[axis] : 0xFFFF00FF;
            }
        }
    }
    pool_->UnlockVertices(axisBuffer_);

    device->SetRenderState(D3DRS_LIGHTING, FALSE);
    device->SetRenderState(D3DRS_ZENABLE, FALSE);
    DWORD fog = FALSE;
    device->GetRenderState(D3DRS_FOGENABLE, &fog);
    if (fog == TRUE) device->SetRenderState(D3DRS_FOGENABLE, FALSE);
    device->SetTexture(0, nullptr);
    pool_->SelectVertices(0, axisBuffer_);
    device->DrawPrimitive(D3DPT_LINELIST, 0, 3);
    // Highlight: 1 = X (vertex 6), 2 = Z (vertex 10), 3 = Y (vertex 8).
    static constexpr UINT kHighlightStart[4] = {0, 6, 10, 8};
    if (selectedAxis >= 1 && selectedAxis <= 3)
        device->DrawPrimitive(D3DPT_LINELIST, kHighlightStart[selectedAxis], 1);
    if (fog == TRUE) device->SetRenderState(D3DRS_FOGENABLE, TRUE);
    device->SetRenderState(D3DRS_ZENABLE, TRUE);
}

}  // namespace model
