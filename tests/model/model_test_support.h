// Model and animation files built in memory (through the format writers) for the Model tests and
// benchmarks, and a recording device with a private pool and texture table.
#pragma once

#include <algorithm>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "fakes/d3d8/fake_d3d8.h"
#include "model/model.h"

namespace model_test {

using model::emd::Mesh;
using model::emd::ModelFile;
using model::emd::SourceVertex;

inline model::emd::Material MakeMaterial(const std::string& colourMap, const std::string& bumpMap = "",
                                         int wrapU = 1, int wrapV = 1) {
    model::emd::Material m;
    for (int i = 0; i < 3; ++i) m.ambient[i] = 0.2f, m.diffuse[i] = 0.8f, m.specular[i] = 0.1f;
    m.wrapU = wrapU;
    m.wrapV = wrapV;
    m.colourMap = colourMap;
    m.bumpMap = bumpMap;
    return m;
}

// A vertex without influences, with one normal and one texture coordinate.
inline SourceVertex StaticVertex(float x, float y, float z, float nx = 0, float ny = 0, float nz = -1,
                                 float u = 0, float v = 0) {
    SourceVertex s;
    s.position[0] = x, s.position[1] = y, s.position[2] = z;
    model::emd::NormalEntry n;
    n.normal[0] = nx, n.normal[1] = ny, n.normal[2] = nz;
    s.normals.push_back(n);
    s.channels.push_back({{u, v}});
    return s;
}

// A face group over the given corners, each using normal and uv entry 0.
inline void AddGroup(Mesh& mesh, int material, const std::vector<std::int32_t>& corners) {
    model::emd::FaceGroup g;
    g.material = material;
    g.vertexIndices = corners;
    g.normalIndices.assign(corners.size(), 0);
    g.uvIndices.assign(1, std::vector<std::int32_t>(corners.size(), 0));
    mesh.groups.push_back(g);
}

// A quad at depth z over [x0, x1] x [y0, y1] facing -z, in one group or two.
inline Mesh QuadMesh(const std::string& name, float x0, float y0, float x1, float y1, float z,
                     int material, int groups = 1) {
    Mesh m;
    m.name = name;
    m.vertices = {StaticVertex(x0, y1, z, 0, 0, -1, 0, 0), StaticVertex(x1, y1, z, 0, 0, -1, 1, 0),
                  StaticVertex(x1, y0, z, 0, 0, -1, 1, 1), StaticVertex(x0, y0, z, 0, 0, -1, 0, 1)};
    if (groups == 1) {
        AddGroup(m, material, {0, 1, 2, 0, 2, 3});
    } else {
        AddGroup(m, material, {0, 1, 2});
        AddGroup(m, material, {0, 2, 3});
    }
    return m;
}

inline std::vector<std::uint8_t> Bytes(const ModelFile& file) {
    std::vector<std::uint8_t> out;
    return SUCCEEDED(model::emd::WriteModel(file, out)) ? out : std::vector<std::uint8_t>{};
}
inline std::vector<std::uint8_t> Bytes(const model::esa::AnimationFile& anim) {
    std::vector<std::uint8_t> out;
    return SUCCEEDED(model::esa::WriteAnimation(anim, out)) ? out : std::vector<std::uint8_t>{};
}

// A bone track keyed every `interval` ms plus a last key at `length`.
template <class PositionAt, class RotationAt>
model::esa::BoneTrack Track(int length, int interval, PositionAt position, RotationAt rotation) {
    model::esa::BoneTrack t;
    for (int time = 0;; time = std::min(time + interval, length)) {
        const D3DXVECTOR3 p = position(time);
        const D3DXQUATERNION q = rotation(time);
        t.positionKeys.push_back({time, {p.x, p.y, p.z}});
        t.rotationKeys.push_back({time, {q.x, q.y, q.z, q.w}});
        if (time == length) break;
    }
    return t;
}
inline D3DXQUATERNION NoTurn(int) { return D3DXQUATERNION(0, 0, 0, 1); }

// A recording device with a private pool and texture table; any texture bytes make a 4 x 4 fake.
struct FakeStage {
    fake_d3d8::FakeDevice* device = new fake_d3d8::FakeDevice();
    std::unique_ptr<display::VertexBufferPool> pool = std::make_unique<display::VertexBufferPool>();
    std::unique_ptr<display::TextureTable> textures = std::make_unique<display::TextureTable>();

    static HRESULT MakeTexture(IDirect3DDevice8* d, const void*, UINT, UINT, UINT, D3DFORMAT,
                               IDirect3DTexture8** out) {
        return d->CreateTexture(4, 4, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, out);
    }
    FakeStage() {
        pool->AttachDevice(device);
        textures->SetQuiet(true);
        textures->SetFactory({&MakeTexture, nullptr});
        textures->Init(nullptr, device, D3DFMT_X8R8G8B8, nullptr);
    }
    ~FakeStage() {
        textures->ReleaseAll();
        pool.reset();
        device->Release();
    }
    FakeStage(const FakeStage&) = delete;
    FakeStage& operator=(const FakeStage&) = delete;

    // The fake buffer behind a pool handle (found by binding it to the last stream).
    fake_d3d8::FakeVertexBuffer* VertexBufferOf(int handle) {
        pool->SelectVertices(15, handle);
        auto* vb = static_cast<fake_d3d8::FakeVertexBuffer*>(device->StreamData[15]);
        device->SetStreamSource(15, nullptr, 0);
        return vb;
    }
    const model::emd::RenderVertex* RenderVertices(int handle) {
        auto* vb = VertexBufferOf(handle);
        return vb ? reinterpret_cast<const model::emd::RenderVertex*>(vb->Bytes.data()) : nullptr;
    }
};

}  // namespace model_test
