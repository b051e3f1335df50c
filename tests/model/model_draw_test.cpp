// Model drawing against the recording device: passes and alpha states, the texture-binding
// economy, culling before skinning, restored states, the axis cross, load failures and reloads.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <initializer_list>
#include <utility>

#include "media/writer/archive_writer.h"
#include "model_test_support.h"

namespace {

using fake_d3d8::Call;
using model::Model;
using namespace model_test;

class ModelDrawTest : public ::testing::Test {
protected:
    void SetUp() override {
        D3DXMATRIX identity;
        D3DXMatrixIdentity(&identity);
        model::UpdateFrustumPlanes(identity, identity);  // the unit cube of clip space
    }
    // Loads `file`, then its textures from a stored archive holding every map it names but `missing`.
    void Load(Model& m, const ModelFile& file, const std::string& missing = "") {
        ASSERT_EQ(m.LoadModelFromBytes(Bytes(file)), S_OK);
        media::writer::ArchiveOptions options;
        options.store = true;
        media::writer::ArchiveWriter writer(options);
        const std::uint8_t bytes[4] = {1, 2, 3, 4};
        for (const auto& mat : file.materials)
            for (const std::string& name : {mat.colourMap, mat.bumpMap})
                if (!name.empty() && name != missing) writer.AddFile("Texture\\" + name, bytes);
        std::vector<std::uint8_t> archive = writer.Finish();
        media::ResourceBlob blob = media::BlobOverBytes(archive.data(), archive.size());
        m.LoadModelTextures(blob, "");
        stage_.device->Log.Clear();
    }
    std::vector<Call> Calls(const char* name) const { return stage_.device->Log.Named(name); }
    // Position in the log of the first call `name`(a0, a1 or any), or -1.
    long Find(const char* name, long long a0, long long a1 = -1) const {
        const auto& calls = stage_.device->Log.Calls();
        for (std::size_t i = 0; i < calls.size(); ++i)
            if (calls[i].Name == name && calls[i].Int(0) == a0 && (a1 < 0 || calls[i].Int(1) == a1))
                return static_cast<long>(i);
        return -1;
    }
    std::vector<const void*> Bound(DWORD stage) const {
        std::vector<const void*> out;
        for (const Call& c : Calls("SetTexture"))
            if (c.Int(0) == stage) out.push_back(c.Ptr(1));
        return out;
    }
    FakeStage stage_;
};

TEST_F(ModelDrawTest, TranslucentGroupsDrawAfterOpaqueOnesWithAlphaTest) {
    ModelFile file;
    file.materials = {MakeMaterial("leaves.tga"), MakeMaterial("rock.jpg")};
    file.meshes = {QuadMesh("a", -0.5f, -0.5f, 0.5f, 0.5f, 0.5f, 0), QuadMesh("b", -0.4f, -0.4f, 0.4f, 0.4f, 0.5f, 1)};
    Model m(stage_.pool.get(), stage_.textures.get());
    Load(m, file);
    m.alphaBlend = true;
    m.RenderModel(stage_.device);

    const auto draws = Calls("DrawIndexedPrimitive");
    ASSERT_EQ(draws.size(), 2u);
    EXPECT_EQ(m.TrianglesDrawn(), 4);
    EXPECT_EQ(draws[0].Int(2), 4);  // all render vertices of the mesh, two triangles
    EXPECT_EQ(draws[0].Int(4), 2);
    // The opaque rock (second mesh) is bound and drawn before the alpha-tested pass.
    EXPECT_EQ(Bound(0), (std::vector<const void*>{stage_.textures->Texture(m.Materials()[1].colourMap.Index),
                                                  stage_.textures->Texture(m.Materials()[0].colourMap.Index)}));
    EXPECT_LT(Find("DrawIndexedPrimitive", D3DPT_TRIANGLELIST), Find("SetRenderState", D3DRS_ALPHATESTENABLE, TRUE));
    std::vector<long long> blend;
    for (const Call& c : Calls("SetRenderState"))
        if (c.Int(0) == D3DRS_ALPHABLENDENABLE) blend.push_back(c.Int(1));
    EXPECT_EQ(blend, (std::vector<long long>{TRUE, FALSE, TRUE, FALSE}));
    EXPECT_EQ(stage_.device->RenderState(D3DRS_ALPHATESTENABLE), DWORD{FALSE});
    EXPECT_EQ(stage_.device->RenderState(D3DRS_DESTBLEND), DWORD{D3DBLEND_ONE});

    // Only translucent: nothing in the first pass, everything after alpha test is on.
    ModelFile only;
    only.materials = {MakeMaterial("leaves.tga")};
    only.meshes = {QuadMesh("a", -0.5f, -0.5f, 0.5f, 0.5f, 0.5f, 0, 2)};
    Load(m, only);
    m.RenderModel(stage_.device);
    EXPECT_EQ(Calls("DrawIndexedPrimitive").size(), 2u);
    EXPECT_LT(Find("SetRenderState", D3DRS_ALPHAREF, 50), Find("DrawIndexedPrimitive", D3DPT_TRIANGLELIST));
}

TEST_F(ModelDrawTest, BindsOncePerMaterialRunAndRebindsAfterAnUntexturedGroup) {
    ModelFile file;
    file.materials = {MakeMaterial("wall.jpg", "wallDOT3.jpg", 1, 0)};
    Mesh mesh = QuadMesh("m", -0.5f, -0.5f, 0.5f, 0.5f, 0.5f, 0, 2);  // two groups of material 0
    AddGroup(mesh, -1, {0, 1, 2});
    AddGroup(mesh, 0, {0, 2, 3});
    file.meshes = {mesh, QuadMesh("n", -0.5f, -0.5f, 0.5f, 0.5f, 0.5f, 0)};  // material 0 again
    Model m(stage_.pool.get(), stage_.textures.get());
    Load(m, file);
    m.RenderModel(stage_.device);
    EXPECT_EQ(Calls("DrawIndexedPrimitive").size(), 5u);
    const void* wall = stage_.textures->Texture(m.Materials()[0].colourMap.Index);
    const void* bump = stage_.textures->Texture(m.Materials()[0].bumpMap.Index);
    ASSERT_NE(wall, nullptr);
    EXPECT_EQ(Bound(0), (std::vector<const void*>{wall, nullptr, wall}));
    EXPECT_EQ(Bound(1), (std::vector<const void*>{bump, bump, nullptr}));  // then unbound at the end
    // wrapV 0 mirrors while drawing; both addresses wrap again afterwards.
    EXPECT_GE(Find("SetTextureStageState", 0, D3DTSS_ADDRESSV), 0);
    EXPECT_EQ(Calls("SetTextureStageState")[1].Int(2), D3DTADDRESS_MIRROR);
    EXPECT_EQ(stage_.device->StageState(0, D3DTSS_ADDRESSV), DWORD{D3DTADDRESS_WRAP});

    stage_.device->Log.Clear();
    m.bumpStage = false;
    m.RenderModel(stage_.device);
    EXPECT_EQ(Bound(1).size(), 1u);
    stage_.device->Log.Clear();
    m.texturesOn = false;
    m.RenderModel(stage_.device);
    EXPECT_TRUE(Bound(0).empty());

    // A map the archive lacks keeps its name and index -1 and draws untextured.
    Load(m, file, "wall.jpg");
    EXPECT_EQ(m.Materials()[0].colourMap.Index, -1);
    EXPECT_STREQ(m.Materials()[0].colourMap.Name, "wall.jpg");
    m.texturesOn = true;
    m.RenderModel(stage_.device);
    EXPECT_EQ(Bound(0).front(), nullptr);
}

TEST_F(ModelDrawTest, RestoresTheWorldTransformAndUsesTheVertexShaderWhenSet) {
    ModelFile file;
    file.meshes = {QuadMesh("m", -0.5f, -0.5f, 0.5f, 0.5f, 0.5f, -1)};
    Model m(stage_.pool.get(), stage_.textures.get());
    Load(m, file);
    D3DXMATRIX callers;
    D3DXMatrixTranslation(&callers, 5, 6, 7);
    stage_.device->SetTransform(D3DTS_WORLD, &callers);
    m.vertexShader = 0x1234;
    m.RenderModel(stage_.device);
    EXPECT_EQ(Calls("SetTransform").size(), 3u);
    EXPECT_EQ(D3DXMATRIX(*stage_.device->Transform(D3DTS_WORLD)), callers);
    const long format = Find("SetVertexShader", model::kMeshVertexFormat);
    const long shader = Find("SetVertexShader", 0x1234);
    EXPECT_LT(format, shader);
    EXPECT_LT(shader, Find("DrawIndexedPrimitive", D3DPT_TRIANGLELIST));
}

TEST_F(ModelDrawTest, MeshOutsideTheFrustumIsCulledWithoutSkinning) {
    D3DXMATRIX view, projection;  // a camera at the origin looking down +z
    D3DXMatrixIdentity(&view);
    D3DXMatrixPerspectiveFovLH(&projection, 1.0f, 1.0f, 0.1f, 100.0f);
    model::UpdateFrustumPlanes(view, projection);
    ModelFile file;
    file.bones = {{"root", -1}};
    Mesh mesh = QuadMesh("m", -1, -1, 1, 1, 0, -1);
    for (auto& v : mesh.vertices) {
        v.weights = {{0, 1.0f, {v.position[0], v.position[1], v.position[2]}}};
        v.normals[0].weights = v.weights;
    }
    file.meshes = {mesh};
    Model m(stage_.pool.get(), stage_.textures.get());
    Load(m, file);
    model::esa::AnimationFile anim{1000, 100, {Track(1000, 100, [](int t) { return D3DXVECTOR3(0.001f * t, 0, 0); }, NoTurn)}};
    ASSERT_EQ(m.LoadAnimationFromBytes(Bytes(anim)), S_OK);
    m.SetTime(300);
    const auto* vb = stage_.VertexBufferOf(m.Meshes()[0].vertexBuffer);
    const int locks = vb->LockCount;

    for (D3DXVECTOR3 away : {D3DXVECTOR3(0, 0, -5), D3DXVECTOR3(-50, 0, 5), D3DXVECTOR3(0, 0, 500)}) {
        m.SetPosition(away.x, away.y, away.z);  // behind, far left, beyond the far plane
        m.RenderModel(stage_.device);
        EXPECT_EQ(Calls("DrawIndexedPrimitive").size(), 0u);
        EXPECT_EQ(m.TrianglesDrawn(), 0);
        EXPECT_EQ(vb->LockCount, locks);
        EXPECT_TRUE(m.PoseDirty());
    }
    m.SetPosition(0, 0, 5);  // in view: skinned once, then drawn
    m.RenderModel(stage_.device);
    m.RenderModel(stage_.device);
    EXPECT_EQ(Calls("DrawIndexedPrimitive").size(), 2u);
    EXPECT_EQ(vb->LockCount, locks + 1);
    EXPECT_FALSE(m.PoseDirty());
}

TEST_F(ModelDrawTest, RejectedInputLeavesAnEmptyModelThatDrawsNothing) {
    ModelFile file;
    file.meshes = {QuadMesh("m", -0.5f, -0.5f, 0.5f, 0.5f, 0.5f, -1)};
    Model m(stage_.pool.get(), stage_.textures.get());
    Load(m, file);
    std::vector<std::uint8_t> bad = Bytes(file);
    bad[4] = 0x01;  // version 0x0301
    EXPECT_EQ(m.LoadModelFromBytes(bad), E_FAIL);
    EXPECT_EQ(m.MeshCount(), 0u);
    std::vector<std::uint8_t> cut = Bytes(file);
    cut.resize(cut.size() - 3);
    EXPECT_EQ(m.LoadModelFromBytes(cut), E_FAIL);
    m.RenderModel(stage_.device);
    EXPECT_EQ(Calls("DrawIndexedPrimitive").size(), 0u);

    // A taken-over buffer is freed whatever the outcome; an unreadable path says so.
    media::MemFile owned{static_cast<std::uint8_t*>(std::malloc(bad.size())), static_cast<std::uint32_t>(bad.size())};
    std::memcpy(owned.data, bad.data(), bad.size());
    EXPECT_EQ(m.LoadModel(nullptr, &owned), E_FAIL);
    EXPECT_EQ(owned.data, nullptr);
    testing::internal::CaptureStdout();
    EXPECT_EQ(m.LoadModel("/nonexistent/dir/x.EMD"), E_FAIL);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "Couldn't open the model file.\n");
}

TEST_F(ModelDrawTest, ReloadingReusesTheModelsPoolSlots) {
    ModelFile big, small;
    big.meshes = {QuadMesh("a", 0, 0, 1, 1, 0, -1, 2), QuadMesh("b", 0, 0, 1, 1, 0, -1)};
    small.meshes = {QuadMesh("c", 0, 0, 2, 2, 0, -1)};
    Model m(stage_.pool.get(), stage_.textures.get());
    ASSERT_EQ(m.LoadModelFromBytes(Bytes(big)), S_OK);
    EXPECT_EQ(stage_.pool->VertexSlotCount(), 3);  // axis buffer and two meshes
    EXPECT_EQ(stage_.pool->IndexSlotCount(), 3);
    for (int k = 0; k < 5; ++k) {
        ASSERT_EQ(m.LoadModelFromBytes(Bytes(k % 2 ? big : small)), S_OK);
        EXPECT_EQ(stage_.pool->VertexSlotCount(), 3);
        EXPECT_EQ(stage_.pool->IndexSlotCount(), 3);
    }
    EXPECT_EQ(stage_.RenderVertices(m.Meshes()[0].vertexBuffer)[1].position[0], 2.0f);  // new contents
    m.RenderModel(stage_.device);
    EXPECT_EQ(Calls("DrawIndexedPrimitive").at(0).Int(4), 2);
}

TEST_F(ModelDrawTest, AxisCrossDrawsThreeLinesAndTheHighlightedAxis) {
    ModelFile file;
    file.meshes = {QuadMesh("m", 0, 0, 8, 6, 0, -1)};  // box diagonal 10
    Model m(stage_.pool.get(), stage_.textures.get());
    Load(m, file);
    m.SetPosition(1, 2, 3);
    m.showAxes = true;
    stage_.device->SetRenderState(D3DRS_FOGENABLE, TRUE);
    for (auto [axis, start] : std::initializer_list<std::pair<int, int>>{{1, 6}, {2, 10}, {3, 8}, {0, -1}}) {
        stage_.device->Log.Clear();
        m.selectedAxis = axis;
        m.RenderModel(stage_.device);
        const auto lines = Calls("DrawPrimitive");
        ASSERT_EQ(lines.size(), start < 0 ? 1u : 2u) << axis;
        EXPECT_EQ(lines[0].Int(2), 3);
        if (start >= 0) {
            EXPECT_EQ(lines[1].Int(1), start);
        }
        EXPECT_GE(Find("SetRenderState", D3DRS_FOGENABLE, FALSE), 0);  // off for the lines, then back
        EXPECT_EQ(stage_.device->RenderState(D3DRS_FOGENABLE), DWORD{TRUE});
        EXPECT_EQ(stage_.device->RenderState(D3DRS_ZENABLE), DWORD{TRUE});
        EXPECT_EQ(stage_.device->RenderState(D3DRS_LIGHTING), DWORD{FALSE});
    }
    const auto* v = reinterpret_cast<const model::AxisVertex*>(stage_.VertexBufferOf(m.AxisBuffer())->Bytes.data());
    EXPECT_FLOAT_EQ(v[0].position[0], 1 + 2.5f);  // L = 10 / 4, offset by the position
    EXPECT_FLOAT_EQ(v[2].position[1], 2 + 2.5f);
    EXPECT_FLOAT_EQ(v[4].position[2], 3 + 2.5f);
    EXPECT_FLOAT_EQ(v[5].position[2], 3);
    EXPECT_EQ(v[1].colour, 0xFF00FFFFu);
    EXPECT_EQ(v[3].colour, 0xFFFFFF00u);
    EXPECT_EQ(v[5].colour, 0xFFFFFFFFu);
    EXPECT_EQ(v[10].colour, 0xFFFF00FFu);
    EXPECT_EQ(v[10].position[2], v[4].position[2]);
}

}  // namespace
