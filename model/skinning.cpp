// Animation loading, the clock and software skinning.
//
// Each bone key is an absolute model-space pose, so a bone's matrix comes from its own two keys
// around the current time; vertices are rebuilt from their influences' bone-space offsets. The
// per-vertex data is flattened at load (SkinPlan) so a frame walks plain arrays and writes each
// mesh buffer through one lock.
#include <algorithm>
#include <cmath>
#include <cstdio>

#include "model/model.h"
#include "model/file_bytes.h"

namespace model {
namespace {

// Above this many loop lengths the repeated subtraction is replaced by one remainder, so a huge
// step cannot spin (or stall on a float that no longer changes when subtracted from).
constexpr float kMaxSubtractedLoops = 1024.0f;

}  // namespace

HRESULT Model::LoadAnimation(const char* path, media::MemFile* buffer) {
    if (buffer != nullptr) {
        HRESULT hr = E_FAIL;
        if (buffer->data != nullptr) hr = LoadAnimationFromBytes({buffer->data, buffer->size});
        media::FreeMemFile(*buffer);
        return hr;
    }
    std::vector<std::uint8_t> bytes;
    if (!ReadWholeFile(path, bytes)) {
        std::fputs("Couldn't open the model file.\n", stdout);
        return E_FAIL;
    }
    return LoadAnimationFromBytes(bytes);
}

HRESULT Model::LoadAnimationFromBytes(std::span<const std::uint8_t> bytes) {
    esa::AnimationFile anim;
    if (FAILED(esa::ReadAnimation(bytes, bones_.size(), anim)) || anim.tracks.size() < bones_.size())
        return E_FAIL;
    animLength_ = anim.animLength;
    keyInterval_ = anim.keyInterval;
    for (std::size_t b = 0; b < bones_.size(); ++b) {
        bones_[b].positionKeys = std::move(anim.tracks[b].positionKeys);
        bones_[b].rotationKeys = std::move(anim.tracks[b].rotationKeys);
    }
    animLoaded_ = true;
    animTime_ = 0.0f;
    // The pose is not marked dirty: the buffers keep the file's positions until the clock moves.
    return S_OK;
}

void Model::AdvanceTime(float dt) {
    if (!animLoaded_ || bones_.empty() || !std::isfinite(dt)) return;
    animTime_ += dt;
    const float length = static_cast<float>(animLength_);
    if (animTime_ > length * kMaxSubtractedLoops) animTime_ = std::fmod(animTime_, length);
    while (animTime_ > length) animTime_ -= length;
    poseDirty_ = true;
}

void Model::SetTime(float t) {
    animTime_ = std::isfinite(t) ? t : 0.0f;
    AdvanceTime(0.0f);
}

void Model::BuildSkinPlans() {
    skinPlans_.assign(meshes_.size(), SkinPlan{});
    std::size_t maxNormals = 0;
    for (std::size_t m = 0; m < meshes_.size(); ++m) {
        SkinPlan& plan = skinPlans_[m];
        for (const emd::SourceVertex& v : meshes_[m].vertices) {
            // Vertices without influences keep their load-time attributes: nothing to plan.
            if (v.weights.empty()) continue;
            SkinVertex sv{};
            sv.firstInfluence = static_cast<std::uint32_t>(plan.influences.size());
            sv.influenceCount = static_cast<std::uint32_t>(v.weights.size());
            for (const emd::SkinWeight& w : v.weights)
                plan.influences.push_back(
                    {w.bone, w.weight, D3DXVECTOR3(w.offset[0], w.offset[1], w.offset[2])});
            sv.firstNormal = static_cast<std::uint32_t>(plan.normals.size());
            sv.normalCount = static_cast<std::uint32_t>(v.normals.size());
            for (const emd::NormalEntry& n : v.normals) {
                // Only the first influence moves a normal.
                const emd::SkinWeight* first = n.weights.empty() ? nullptr : &n.weights.front();
                if (first != nullptr)
                    plan.normals.push_back({first->bone, D3DXVECTOR3(first->offset[0], first->offset[1],
                                                                      first->offset[2])});
                else
                    plan.normals.push_back({-1, D3DXVECTOR3(0, 0, 0)});
            }
            maxNormals = std::max(maxNormals, v.normals.size());
            sv.firstVariant = static_cast<std::uint32_t>(plan.variantNormals.size());
            sv.variantCount = static_cast<std::uint32_t>(v.variants.size());
            for (const emd::VertexVariant& var : v.variants)
                plan.variantNormals.push_back(static_cast<std::uint32_t>(var.normal));
            sv.firstRender = v.firstRenderIndex;
            plan.vertices.push_back(sv);
        }
    }
    skinnedNormals_.assign(maxNormals, D3DXVECTOR3(0, 0, 0));
}

void Model::UpdateBoneMatrices() {
    const float t = animTime_;
    for (ModelBone& bone : bones_) {
        const std::size_t keys = bone.positionKeys.size();
        if (keys < 2 || bone.rotationKeys.size() < keys || keyInterval_ <= 0) continue;
        // Key k and k + 1 must exist, so the last pair serves times at and past its start.
        const float slot = t / static_cast<float>(keyInterval_);
        std::size_t k = 0;
        if (slot > 0.0f) k = slot >= static_cast<float>(keys - 2) ? keys - 2 : static_cast<std::size_t>(slot);
        const esa::PositionKey& p0 = bone.positionKeys[k];
        const esa::PositionKey& p1 = bone.positionKeys[k + 1];
        // In 64 bits: key times come from the file and may be far apart.
        const float span = static_cast<float>(std::int64_t{p1.time} - p0.time);
        const float f = span != 0.0f ? (t - static_cast<float>(p0.time)) / span : 0.0f;

        const float* qa = bone.rotationKeys[k].quaternion;
        const float* qb = bone.rotationKeys[k + 1].quaternion;
        const D3DXQUATERNION a(qa[0], qa[1], qa[2], qa[3]);
        const D3DXQUATERNION b(qb[0], qb[1], qb[2], qb[3]);
        D3DXQUATERNION q;
        D3DXQuaternionSlerp(&q, &a, &b, f);
        D3DXMatrixRotationQuaternion(&bone.matrix, &q);
        for (int i = 0; i < 3; ++i)
            bone.matrix.m[3][i] = p0.position[i] + (p1.position[i] - p0.position[i]) * f;
    }
}

void Model::SkinMesh(std::size_t meshIndex) {
    const SkinPlan& plan = skinPlans_[meshIndex];
    if (plan.vertices.empty()) return;  // a static mesh: its buffer never changes
    const ModelMesh& mesh = meshes_[meshIndex];
    auto* out = static_cast<emd::RenderVertex*>(pool_->LockVertices(mesh.vertexBuffer));
    if (out == nullptr) return;
    const ModelBone* bones = bones_.data();
    D3DXVECTOR3* normals = skinnedNormals_.data();

    for (const SkinVertex& sv : plan.vertices) {
        // Position: every influence, weighted. Bone matrices are rotations plus translations
        // (w stays 1), so the affine product equals a full transform with the w division.
        float px = 0.0f, py = 0.0f, pz = 0.0f;
        const SkinInfluence* inf = plan.influences.data() + sv.firstInfluence;
        for (std::uint32_t i = 0; i < sv.influenceCount; ++i) {
            const D3DMATRIX& m = bones[inf[i].bone].matrix;
            const D3DXVECTOR3& o = inf[i].offset;
            const float w = inf[i].weight;
            px += (o.x * m.m[0][0] + o.y * m.m[1][0] + o.z * m.m[2][0] + m.m[3][0]) * w;
            py += (o.x * m.m[0][1] + o.y * m.m[1][1] + o.z * m.m[2][1] + m.m[3][1]) * w;
            pz += (o.x * m.m[0][2] + o.y * m.m[1][2] + o.z * m.m[2][2] + m.m[3][2]) * w;
        }
        // Normals: the first influence's bone-space normal turned by its bone, no weight, no
        // normalisation (rotations keep lengths).
        const SkinNormal* sn = plan.normals.data() + sv.firstNormal;
        for (std::uint32_t n = 0; n < sv.normalCount; ++n) {
            if (sn[n].bone < 0) {
                normals[n] = D3DXVECTOR3(0, 0, 0);
                continue;
            }
            const D3DMATRIX& m = bones[sn[n].bone].matrix;
            const D3DXVECTOR3& v = sn[n].normal;
            normals[n] = D3DXVECTOR3(v.x * m.m[0][0] + v.y * m.m[1][0] + v.z * m.m[2][0],
                                     v.x * m.m[0][1] + v.y * m.m[1][1] + v.z * m.m[2][1],
                                     v.x * m.m[0][2] + v.y * m.m[1][2] + v.z * m.m[2][2]);
        }
        // A result of exactly zero keeps what the buffer holds (a vertex that sums to the origin
        // keeps its previous position).
        const bool writePosition = px != 0.0f || py != 0.0f || pz != 0.0f;
        const std::uint32_t* variantNormal = plan.variantNormals.data() + sv.firstVariant;
        emd::RenderVertex* r = out + sv.firstRender;
        for (std::uint32_t k = 0; k < sv.variantCount; ++k, ++r) {
            if (writePosition) {
                r->position[0] = px;
                r->position[1] = py;
                r->position[2] = pz;
            }
            const D3DXVECTOR3& n = normals[variantNormal[k]];
            if (n.x != 0.0f || n.y != 0.0f || n.z != 0.0f) {
                r->normal[0] = n.x;
                r->normal[1] = n.y;
                r->normal[2] = n.z;
                // (-1, 0, 0) x n
                r->tangent[0] = 0.0f;
                r->tangent[1] = n.z;
                r->tangent[2] = -n.y;
            }
        }
    }
    pool_->UnlockVertices(mesh.vertexBuffer);
}

void Model::ApplySkinning() {
    UpdateBoneMatrices();
    for (std::size_t m = 0; m < meshes_.size(); ++m) SkinMesh(m);
    poseDirty_ = false;
}

}  // namespace model
