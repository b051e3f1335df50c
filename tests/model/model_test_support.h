// Small model and animation files built in memory for the Model tests and benchmarks, written
// through the format writers so every test loads real file images.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "display/texture_table.h"
#include "display/vertex_buffer_pool.h"
#include "model/emd_format.h"
#include "model/esa_format.h"
#include "model/model.h"

namespace model_test {

using model::emd::Material;
using model::emd::Mesh;
using model::emd::ModelFile;
using model::emd::SourceVertex;

inline Material MakeMaterial(const std::string& colourMap, const std::string& bumpMap = "",
                             int wrapU = 1, int wrapV = 1) {
    Material m;
    for (int i = 0; i < 3; ++i) {
        m.ambient[i] = 0.2f;
        m.diffuse[i] = 0.8f;
        m.specular[i] = 0.1f;
    }
    m.storedPower = 0.1f;
    m.wrapU = wrapU;
    m.wrapV = wrapV;
    m.colourMap = colourMap;
    m.bumpMap = bumpMap;
    return m;
}

// A static vertex with one normal and one texture coordinate.
inline SourceVertex StaticVertex(float x, float y, float z, float nx = 0, float ny = 0, float nz = -1,
                                 float u = 0, float v = 0) {
    SourceVertex s;
    s.position[0] = x;
    s.position[1] = y;
    s.position[2] = z;
    model::emd::NormalEntry n;
    n.normal[0] = nx;
    n.normal[1] = ny;
    n.normal[2] = nz;
    s.normals.push_back(n);
    s.channels.push_back({{u, v}});
    return s;
}

// Appends a face group of the given triangles (corner indices into the mesh's vertices, normal
// and uv entry 0 of each corner).
inline void AddGroup(Mesh& mesh, int material, const std::vector<std::int32_t>& corners) {
    model::emd::FaceGroup g;
    g.material = material;
    g.vertexIndices = corners;
    g.normalIndices.assign(corners.size(), 0);
    g.uvIndices.assign(1, std::vector<std::int32_t>(corners.size(), 0));
    mesh.groups.push_back(g);
}

// A quad in the plane z = `z` spanning [x0, x1] x [y0, y1], facing -z (clockwise seen from -z),
// uv (0,0) at the top left.
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
    if (FAILED(model::emd::WriteModel(file, out))) out.clear();
    return out;
}

inline std::vector<std::uint8_t> Bytes(const model::esa::AnimationFile& anim) {
    std::vector<std::uint8_t> out;
    if (FAILED(model::esa::WriteAnimation(anim, out))) out.clear();
    return out;
}

// One bone track with keys every `interval` ms and a last key at `length`, positions and
// rotations given per key by the callbacks.
template <class PositionAt, class RotationAt>
model::esa::BoneTrack Track(int length, int interval, PositionAt position, RotationAt rotation) {
    model::esa::BoneTrack t;
    std::vector<int> times;
    for (int time = 0; time < length; time += interval) times.push_back(time);
    times.push_back(length);
    for (int time : times) {
        model::esa::PositionKey p;
        p.time = time;
        const D3DXVECTOR3 v = position(time);
        p.position[0] = v.x;
        p.position[1] = v.y;
        p.position[2] = v.z;
        t.positionKeys.push_back(p);
        model::esa::RotationKey r;
        r.time = time;
        const D3DXQUATERNION q = rotation(time);
        r.quaternion[0] = q.x;
        r.quaternion[1] = q.y;
        r.quaternion[2] = q.z;
        r.quaternion[3] = q.w;
        t.rotationKeys.push_back(r);
    }
    return t;
}

inline D3DXQUATERNION NoTurn(int) { return D3DXQUATERNION(0, 0, 0, 1); }

}  // namespace model_test

#include "fakes/d3d8/fake_d3d8.h"

namespace model_test {

// A recording device with a private pool and texture table attached, and a texture maker that
// turns any bytes into a 4 x 4 fake texture.
struct FakeStage {
    fake_d3d8::FakeDevice* device = new fake_d3d8::FakeDevice();
    std::unique_ptr<display::VertexBufferPool> pool = std::make_unique<display::VertexBufferPool>();
    std::unique_ptr<display::TextureTable> textures = std::make_unique<display::TextureTable>();

    static HRESULT MakeTexture(IDirect3DDevice8* d, const void*, UINT, UINT, UINT, D3DFORMAT,
                               IDirect3DTexture8** out) {
        return d->CreateTexture(4, 4, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, out);
    }
    static HRESULT MakeBlank(IDirect3DDevice8* d, UINT w, UINT h, UINT levels, DWORD usage,
                             D3DFORMAT format, D3DPOOL p, IDirect3DTexture8** out) {
        return d->CreateTexture(w, h, levels, usage, format, p, out);
    }

    FakeStage() {
        device->Caps.MaxTextureWidth = 2048;
        pool->AttachDevice(device);
        textures->SetQuiet(true);
        textures->SetFactory({&MakeTexture, &MakeBlank});
        textures->Init(nullptr, device, D3DFMT_X8R8G8B8, nullptr);
    }
    ~FakeStage() {
        textures->ReleaseAll();
        pool.reset();
        device->Release();
    }
    FakeStage(const FakeStage&) = delete;
    FakeStage& operator=(const FakeStage&) = delete;

    // A texture entry of the table under `name` (group "Texture\").
    int AddTexture(const char* name) {
        const unsigned char bytes[4] = {1, 2, 3, 4};
        return textures->LoadFromMemory(bytes, sizeof bytes, name, model::kTextureGroup, true).Index;
    }
    IDirect3DTexture8* TextureAt(int index) const { return textures->Texture(index); }

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
