// Model drawing against the recording device: passes and alpha states, the texture-binding
// economy, culling, restored states, the axis cross, loading failures and reloads.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "media/writer/archive_writer.h"
#include "model/model.h"
#include "model_test_support.h"

namespace {

using fake_d3d8::Call;
using model::Model;
using namespace model_test;

// A stored archive holding "Texture\<name>" for each name.
std::vector<std::uint8_t> TextureArchive(const std::vector<std::string>& names) {
    media::writer::ArchiveOptions options;
    options.store = true;
    media::writer::ArchiveWriter writer(options);
    const std::uint8_t bytes[8] = {9, 8, 7, 6, 5, 4, 3, 2};
    for (const std::string& n : names) writer.AddFile("Texture\\" + n, bytes);
    return writer.Finish();
}

class ModelDrawTest : public ::testing::Test {
protected:
    void SetUp() override {
        D3DXMATRIX identity;
        D3DXMatrixIdentity(&identity);
        model::UpdateFrustumPlanes(identity, identity);  // the unit cube of clip space
    }

    // Loads `file` and its textures from an archive that holds every map it names.
    void Load(Model& m, const ModelFile& file) {
        ASSERT_EQ(m.LoadModelFromBytes(Bytes(file)), S_OK);
        std::vector<std::string> names;
        for (const auto& mat : file.materials) {
            if (!mat.colourMap.empty()) names.push_back(mat.colourMap);
            if (!mat.bumpMap.empty()) names.push_back(mat.bumpMap);
        }
        std::vector<std::uint8_t> archive = TextureArchive(names);
        media::ResourceBlob blob = media::BlobOverBytes(archive.data(), archive.size());
        m.LoadModelTextures(blob, "");
    }

    std::vector<Call> Calls(const char* name) const { return stage_.device->Log.Named(name); }
    std::vector<Call> SetTextures(DWORD stage) const {
        std::vector<Call> out;
        for (const Call& c : Calls("SetTexture"))
            if (c.Int(0) == stage) out.push_back(c);
        return out;
    }
    // Index in the call log of the first call named `name` with first argument `arg0`
    // (and second `arg1` when given), or -1.
    long Find(const char* name, long long arg0, long long arg1 = -1, std::size_t from = 0) const {
        const auto& calls = stage_.device->Log.Calls();
        for (std::size_t i = from; i < calls.size(); ++i)
            if (calls[i].Name == name && calls[i].Int(0) == arg0 && (arg1 < 0 || calls[i].Int(1) == arg1))
                return static_cast<long>(i);
        return -1;
    }

    // Index in the call log of the first SetTexture(stage, texture), or -1.
    long FindBind(DWORD stage, const void* texture) const {
        const auto& calls = stage_.device->Log.Calls();
        for (std::size_t i = 0; i < calls.size(); ++i)
            if (calls[i].Name == "SetTexture" && calls[i].Int(0) == stage && calls[i].Ptr(1) == texture)
                return static_cast<long>(i);
        return -1;
    }

    FakeStage stage_;
};

TEST_F(ModelDrawTest, TranslucentMaterialDrawsOnlyInTheSecondPassWithAlphaTest) {
    ModelFile file;
    file.materials = {MakeMaterial("leaves.tga")};
    file.meshes = {QuadMesh("a", -0.5f, -0.5f, 0.5f, 0.5f, 0.5f, 0), QuadMesh("b", -0.4f, -0.4f, 0.4f, 0.4f, 0.5f, 0)};
    Model m(stage_.pool.get(), stage_.textures.get());
    Load(m, file);
    ASSERT_TRUE(m.Meshes()[0].groups[0].translucent);
    stage_.device->Log.Clear();
    m.RenderModel(stage_.device);

    const auto draws = Calls("DrawIndexedPrimitive");
    ASSERT_EQ(draws.size(), 2u);
    EXPECT_EQ(m.TrianglesDrawn(), 4);
    const long alphaTestOn = Find("SetRenderState", D3DRS_ALPHATESTENABLE, TRUE);
    const long alphaRef = Find("SetRenderState", D3DRS_ALPHAREF, 50);
    const long firstDraw = Find("DrawIndexedPrimitive", D3DPT_TRIANGLELIST);
    ASSERT_GE(alphaTestOn, 0);
    ASSERT_GE(alphaRef, 0);
    EXPECT_LT(alphaTestOn, firstDraw);  // nothing is drawn in the opaque pass
    EXPECT_LT(alphaRef, firstDraw);
    EXPECT_EQ(draws[0].Int(2), 4);  // all render vertices of the mesh, two triangles
    EXPECT_EQ(draws[0].Int(4), 2);
    // After the pass: test and blend off, destination blend ONE.
    EXPECT_EQ(stage_.device->RenderState(D3DRS_ALPHATESTENABLE), FALSE);
    EXPECT_EQ(stage_.device->RenderState(D3DRS_ALPHABLENDENABLE), FALSE);
    EXPECT_EQ(stage_.device->RenderState(D3DRS_DESTBLEND), DWORD{D3DBLEND_ONE});
    EXPECT_GT(Find("SetRenderState", D3DRS_ALPHATESTENABLE, FALSE), firstDraw);
}

TEST_F(ModelDrawTest, OpaqueGroupsDrawBeforeTranslucentOnesAndAlphaBlendWrapsEachPass) {
    ModelFile file;
    file.materials = {MakeMaterial("glass.dds"), MakeMaterial("rock.jpg")};
    file.meshes = {QuadMesh("glass", -0.5f, -0.5f, 0.5f, 0.5f, 0.5f, 0), QuadMesh("rock", -0.5f, -0.5f, 0.5f, 0.5f, 0.6f, 1)};
    Model m(stage_.pool.get(), stage_.textures.get());
    Load(m, file);
    m.alphaBlend = true;
    stage_.device->Log.Clear();
    m.RenderModel(stage_.device);

    const auto draws = Calls("DrawIndexedPrimitive");
    ASSERT_EQ(draws.size(), 2u);
    // The rock (opaque, second mesh) first: its colour map is bound before the first draw.
    const long rockBind = FindBind(0, stage_.TextureAt(m.Materials()[1].colourMap.Index));
    const long glassBind = FindBind(0, stage_.TextureAt(m.Materials()[0].colourMap.Index));
    const long firstDraw = Find("DrawIndexedPrimitive", D3DPT_TRIANGLELIST);
    ASSERT_GE(rockBind, 0);
    ASSERT_GE(glassBind, 0);
    EXPECT_LT(rockBind, firstDraw);
    EXPECT_GT(glassBind, firstDraw);
    // Blending goes on for each pass and off after each.
    std::vector<long long> blend;
    for (const Call& c : Calls("SetRenderState"))
        if (c.Int(0) == D3DRS_ALPHABLENDENABLE) blend.push_back(c.Int(1));
    EXPECT_EQ(blend, (std::vector<long long>{TRUE, FALSE, TRUE, FALSE}));
}

TEST_F(ModelDrawTest, BindsOncePerMaterialRunAndRebindsAfterAnUntexturedGroup) {
    ModelFile file;
    file.materials = {MakeMaterial("wall.jpg", "wallDOT3.jpg", 1, 0)};
    Mesh mesh = QuadMesh("m", -0.5f, -0.5f, 0.5f, 0.5f, 0.5f, 0, 2);  // two groups, material 0
    AddGroup(mesh, -1, {0, 1, 2});
    AddGroup(mesh, 0, {0, 2, 3});
    file.meshes = {mesh, QuadMesh("n", -0.5f, -0.5f, 0.5f, 0.5f, 0.5f, 0)};  // same material again
    Model m(stage_.pool.get(), stage_.textures.get());
    Load(m, file);
    ASSERT_GE(m.Materials()[0].colourMap.Index, 0);
    ASSERT_GE(m.Materials()[0].bumpMap.Index, 0);
    stage_.device->Log.Clear();
    m.RenderModel(stage_.device);

    EXPECT_EQ(Calls("DrawIndexedPrimitive").size(), 5u);
    const auto* wall = stage_.TextureAt(m.Materials()[0].colourMap.Index);
    const auto* bump = stage_.TextureAt(m.Materials()[0].bumpMap.Index);
    const auto stage0 = SetTextures(0);
    // wall (groups 1, 2), none (group 3), wall (group 4 and the whole next mesh).
    ASSERT_EQ(stage0.size(), 3u);
    EXPECT_EQ(stage0[0].Ptr(1), wall);
    EXPECT_EQ(stage0[1].Ptr(1), nullptr);
    EXPECT_EQ(stage0[2].Ptr(1), wall);
    // Stage 1: the bump map with each bind, then unbound at the end.
    const auto stage1 = SetTextures(1);
    ASSERT_EQ(stage1.size(), 3u);
    EXPECT_EQ(stage1[0].Ptr(1), bump);
    EXPECT_EQ(stage1[1].Ptr(1), bump);
    EXPECT_EQ(stage1[2].Ptr(1), nullptr);
    // wrapU 1 wraps, wrapV 0 mirrors while drawing; both wrap again afterwards.
    EXPECT_GE(Find("SetTextureStageState", 0, D3DTSS_ADDRESSV), 0);
    bool sawMirror = false;
    for (const Call& c : Calls("SetTextureStageState"))
        if (c.Int(1) == D3DTSS_ADDRESSV && c.Int(2) == D3DTADDRESS_MIRROR) sawMirror = true;
    EXPECT_TRUE(sawMirror);
    EXPECT_EQ(stage_.device->StageState(0, D3DTSS_ADDRESSU), DWORD{D3DTADDRESS_WRAP});
    EXPECT_EQ(stage_.device->StageState(0, D3DTSS_ADDRESSV), DWORD{D3DTADDRESS_WRAP});

    // Without bump stage or textures: stage 1 only unbound at the end; texturesOn false binds nothing.
    stage_.device->Log.Clear();
    m.bumpStage = false;
    m.RenderModel(stage_.device);
    EXPECT_EQ(SetTextures(1).size(), 1u);
    stage_.device->Log.Clear();
    m.texturesOn = false;
    m.RenderModel(stage_.device);
    EXPECT_EQ(SetTextures(0).size(), 0u);
    EXPECT_EQ(Calls("DrawIndexedPrimitive").size(), 5u);
}

TEST_F(ModelDrawTest, MissingTexturesDrawUntexturedAndKeepTheirNames) {
    ModelFile file;
    file.materials = {MakeMaterial("absent.jpg", "absentDOT3.jpg")};
    file.meshes = {QuadMesh("m", -0.5f, -0.5f, 0.5f, 0.5f, 0.5f, 0)};
    Model m(stage_.pool.get(), stage_.textures.get());
    ASSERT_EQ(m.LoadModelFromBytes(Bytes(file)), S_OK);
    std::vector<std::uint8_t> archive = TextureArchive({"other.jpg"});
    media::ResourceBlob blob = media::BlobOverBytes(archive.data(), archive.size());
    EXPECT_EQ(m.LoadModelTextures(blob, ""), 0);
    EXPECT_EQ(m.Materials()[0].colourMap.Index, -1);
    EXPECT_STREQ(m.Materials()[0].colourMap.Name, "absent.jpg");
    EXPECT_STREQ(m.Materials()[0].colourMap.Group, "Texture\\");
    stage_.device->Log.Clear();
    m.RenderModel(stage_.device);
    const auto stage0 = SetTextures(0);
    ASSERT_EQ(stage0.size(), 1u);
    EXPECT_EQ(stage0[0].Ptr(1), nullptr);
    EXPECT_EQ(Calls("DrawIndexedPrimitive").size(), 1u);
}

TEST_F(ModelDrawTest, RestoresTheWorldTransformAndUsesTheVertexShaderWhenSet) {
    ModelFile file;
    file.materials = {MakeMaterial("rock.jpg")};
    file.meshes = {QuadMesh("m", -0.5f, -0.5f, 0.5f, 0.5f, 0.5f, 0)};
    Model m(stage_.pool.get(), stage_.textures.get());
    Load(m, file);
    m.SetPosition(0.1f, 0, 0);
    D3DXMATRIX callers;
    D3DXMatrixTranslation(&callers, 5, 6, 7);
    stage_.device->SetTransform(D3DTS_WORLD, &callers);
    m.vertexShader = 0x1234;
    stage_.device->Log.Clear();
    m.RenderModel(stage_.device);

    const auto worlds = Calls("SetTransform");
    ASSERT_EQ(worlds.size(), 2u);
    EXPECT_EQ(D3DXMATRIX(*stage_.device->Transform(D3DTS_WORLD)), callers);
    // The model's matrix was current for the draw, and the shader replaced the vertex format.
    const long draw = Find("DrawIndexedPrimitive", D3DPT_TRIANGLELIST);
    const long shader = Find("SetVertexShader", 0x1234);
    const long format = Find("SetVertexShader", model::kMeshVertexFormat);
    ASSERT_GE(shader, 0);
    EXPECT_LT(format, shader);
    EXPECT_LT(shader, draw);
}

TEST_F(ModelDrawTest, MeshBehindTheCameraIsCulledWithoutSkinning) {
    // A camera at the origin looking down +z; the quad sits at z = -5, behind it.
    D3DXMATRIX view, projection;
    D3DXMatrixIdentity(&view);
    D3DXMatrixPerspectiveFovLH(&projection, 1.0f, 1.0f, 0.1f, 100.0f);
    model::UpdateFrustumPlanes(view, projection);

    ModelFile file;
    file.materials = {MakeMaterial("rock.jpg")};
    file.bones = {{"root", -1}};
    Mesh mesh = QuadMesh("m", -1, -1, 1, 1, 0, 0);
    for (auto& v : mesh.vertices) {
        model::emd::SkinWeight w;
        w.bone = 0;
        w.weight = 1.0f;
        for (int i = 0; i < 3; ++i) w.offset[i] = v.position[i];
        v.weights = {w};
        v.normals[0].weights = {w};
    }
    file.meshes = {mesh};
    Model m(stage_.pool.get(), stage_.textures.get());
    Load(m, file);
    model::esa::AnimationFile anim;
    anim.animLength = 1000;
    anim.keyInterval = 100;
    anim.tracks = {Track(1000, 100, [](int t) { return D3DXVECTOR3(0.001f * t, 0, 0); }, NoTurn)};
    ASSERT_EQ(m.LoadAnimationFromBytes(Bytes(anim)), S_OK);
    m.SetTime(300);
    auto* vb = stage_.VertexBufferOf(m.Meshes()[0].vertexBuffer);
    ASSERT_NE(vb, nullptr);
    const int locksBefore = vb->LockCount;

    m.SetPosition(0, 0, -5);
    stage_.device->Log.Clear();
    m.RenderModel(stage_.device);
    EXPECT_EQ(Calls("DrawIndexedPrimitive").size(), 0u);
    EXPECT_EQ(m.TrianglesDrawn(), 0);
    EXPECT_EQ(vb->LockCount, locksBefore);
    EXPECT_TRUE(m.PoseDirty());

    // In front of the camera it draws and skins once.
    m.SetPosition(0, 0, 5);
    m.RenderModel(stage_.device);
    EXPECT_EQ(Calls("DrawIndexedPrimitive").size(), 1u);
    EXPECT_EQ(vb->LockCount, locksBefore + 1);
    EXPECT_FALSE(m.PoseDirty());
    m.RenderModel(stage_.device);  // no time change: no second skinning
    EXPECT_EQ(vb->LockCount, locksBefore + 1);

    // Off to the side, beyond the left plane: culled as well.
    m.SetPosition(-50, 0, 5);
    stage_.device->Log.Clear();
    m.RenderModel(stage_.device);
    EXPECT_EQ(Calls("DrawIndexedPrimitive").size(), 0u);
}

TEST_F(ModelDrawTest, RejectedBytesLeaveAnEmptyModelThatDrawsNothing) {
    ModelFile file;
    file.materials = {MakeMaterial("rock.jpg")};
    file.meshes = {QuadMesh("m", -0.5f, -0.5f, 0.5f, 0.5f, 0.5f, 0)};
    Model m(stage_.pool.get(), stage_.textures.get());
    Load(m, file);
    ASSERT_EQ(m.MeshCount(), 1u);

    std::vector<std::uint8_t> bad = Bytes(file);
    bad[4] = 0x01;  // version 0x0301
    EXPECT_EQ(m.LoadModelFromBytes(bad), E_FAIL);
    EXPECT_EQ(m.MeshCount(), 0u);
    EXPECT_EQ(m.MaterialCount(), 0u);
    std::vector<std::uint8_t> cut = Bytes(file);
    cut.resize(cut.size() - 3);
    EXPECT_EQ(m.LoadModelFromBytes(cut), E_FAIL);
    stage_.device->Log.Clear();
    m.RenderModel(stage_.device);
    EXPECT_EQ(Calls("DrawIndexedPrimitive").size(), 0u);
    EXPECT_EQ(m.TrianglesDrawn(), 0);

    // A taken-over buffer is freed whatever the outcome; an unreadable path says so.
    media::MemFile owned;
    owned.size = static_cast<std::uint32_t>(bad.size());
    owned.data = static_cast<std::uint8_t*>(std::malloc(bad.size()));
    std::memcpy(owned.data, bad.data(), bad.size());
    EXPECT_EQ(m.LoadModel(nullptr, &owned), E_FAIL);
    EXPECT_EQ(owned.data, nullptr);
    testing::internal::CaptureStdout();
    EXPECT_EQ(m.LoadModel("/nonexistent/dir/x.EMD"), E_FAIL);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "Couldn't open the model file.\n");
}

TEST_F(ModelDrawTest, ReloadingReusesTheModelsPoolSlots) {
    ModelFile big;
    big.materials = {MakeMaterial("rock.jpg")};
    big.meshes = {QuadMesh("a", 0, 0, 1, 1, 0, 0, 2), QuadMesh("b", 0, 0, 1, 1, 0, 0)};
    ModelFile small;
    small.materials = big.materials;
    small.meshes = {QuadMesh("c", 0, 0, 2, 2, 0, 0)};
    Model m(stage_.pool.get(), stage_.textures.get());
    ASSERT_EQ(m.LoadModelFromBytes(Bytes(big)), S_OK);
    const int vertexSlots = stage_.pool->VertexSlotCount();
    const int indexSlots = stage_.pool->IndexSlotCount();
    EXPECT_EQ(vertexSlots, 3);  // axis buffer and two meshes
    EXPECT_EQ(indexSlots, 3);
    for (int k = 0; k < 4; ++k) {
        ASSERT_EQ(m.LoadModelFromBytes(Bytes(k % 2 ? big : small)), S_OK);
        EXPECT_EQ(stage_.pool->VertexSlotCount(), vertexSlots);
        EXPECT_EQ(stage_.pool->IndexSlotCount(), indexSlots);
    }
    // The reloaded buffers hold the new contents.
    ASSERT_EQ(m.LoadModelFromBytes(Bytes(small)), S_OK);
    const auto* rv = stage_.RenderVertices(m.Meshes()[0].vertexBuffer);
    ASSERT_NE(rv, nullptr);
    EXPECT_EQ(rv[1].position[0], 2.0f);
    stage_.device->Log.Clear();
    m.RenderModel(stage_.device);
    ASSERT_EQ(Calls("DrawIndexedPrimitive").size(), 1u);
    EXPECT_EQ(Calls("DrawIndexedPrimitive")[0].Int(4), 2);
}

TEST_F(ModelDrawTest, AxisCrossDrawsThreeLinesAndTheHighlightedAxis) {
    ModelFile file;
    file.materials = {MakeMaterial("rock.jpg")};
    file.meshes = {QuadMesh("m", 0, 0, 8, 6, 0, 0)};  // box diagonal 10
    Model m(stage_.pool.get(), stage_.textures.get());
    Load(m, file);
    m.SetPosition(1, 2, 3);
    m.showAxes = true;
    stage_.device->SetRenderState(D3DRS_FOGENABLE, TRUE);
    stage_.device->SetRenderState(D3DRS_LIGHTING, TRUE);

    const struct {
        int axis;
        long long start;  // -1: no highlight
    } cases[] = {{1, 6}, {2, 10}, {3, 8}, {0, -1}};
    for (const auto& c : cases) {
        m.selectedAxis = c.axis;
        stage_.device->Log.Clear();
        m.RenderModel(stage_.device);
        const auto lines = Calls("DrawPrimitive");
        ASSERT_EQ(lines.size(), c.start < 0 ? 1u : 2u) << c.axis;
        EXPECT_EQ(lines[0].Int(0), D3DPT_LINELIST);
        EXPECT_EQ(lines[0].Int(1), 0);
        EXPECT_EQ(lines[0].Int(2), 3);
        if (c.start >= 0) {
            EXPECT_EQ(lines[1].Int(1), c.start);
            EXPECT_EQ(lines[1].Int(2), 1);
        }
        // Fog off during the lines and back on; z back on; lighting stays off.
        EXPECT_GE(Find("SetRenderState", D3DRS_FOGENABLE, FALSE), 0);
        EXPECT_EQ(stage_.device->RenderState(D3DRS_FOGENABLE), DWORD{TRUE});
        EXPECT_EQ(stage_.device->RenderState(D3DRS_ZENABLE), DWORD{TRUE});
        EXPECT_EQ(stage_.device->RenderState(D3DRS_LIGHTING), DWORD{FALSE});
    }
    const auto* v = reinterpret_cast<const model::AxisVertex*>(stage_.VertexBufferOf(m.AxisBuffer())->Bytes.data());
    const float L = 10.0f / 4.0f;
    EXPECT_FLOAT_EQ(v[0].position[0], 1 + L);
    EXPECT_FLOAT_EQ(v[1].position[0], 1);
    EXPECT_FLOAT_EQ(v[2].position[1], 2 + L);
    EXPECT_FLOAT_EQ(v[4].position[2], 3 + L);
    EXPECT_EQ(v[0].colour, 0xFF00FFFFu);
    EXPECT_EQ(v[3].colour, 0xFFFFFF00u);
    EXPECT_EQ(v[5].colour, 0xFFFFFFFFu);
    for (int k = 6; k < 12; ++k) {
        EXPECT_EQ(v[k].colour, 0xFFFF00FFu);
        EXPECT_EQ(v[k].position[2], v[k - 6].position[2]);
    }
    // Without fog on, fog is not touched.
    stage_.device->SetRenderState(D3DRS_FOGENABLE, FALSE);
    stage_.device->Log.Clear();
    m.RenderModel(stage_.device);
    EXPECT_EQ(Find("SetRenderState", D3DRS_FOGENABLE, FALSE), -1);
}

}  // namespace
