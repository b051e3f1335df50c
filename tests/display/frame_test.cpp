#include "display/frame.h"

#include <gtest/gtest.h>

#include "display/recording_host.h"
#include "fakes/d3d8/fake_d3d8.h"

namespace {

using display::testing::RecordingHost;
using fake_d3d8::FakeDevice;

class Operations final : public display::FrameOperations {
public:
    void InitDeviceState(IDirect3DDevice8*) override { calls.push_back("init"); }
    void FrameMove(IDirect3DDevice8*, float elapsedMs) override {
        calls.push_back("move");
        elapsed.push_back(elapsedMs);
    }
    void Render(IDirect3DDevice8*) override { calls.push_back("render"); }
    std::vector<std::string> calls;
    std::vector<float> elapsed;
};

class FrameTest : public ::testing::Test {
protected:
    void TearDown() override { device_->Release(); }
    HRESULT RunFrame() {
        return display::Frame(device_, params_, {lastFrameTime_, parity_, count_}, ops_, host_);
    }
    FakeDevice* device_ = new FakeDevice();
    D3DPRESENT_PARAMETERS params_{};
    float lastFrameTime_ = 0;
    int parity_ = 1;
    int count_ = 0;
    Operations ops_;
    RecordingHost host_;
};

TEST_F(FrameTest, DrawnFrameMovesRendersAndCounts) {
    lastFrameTime_ = 1000;
    host_.Times = {1040, 1041};
    EXPECT_EQ(RunFrame(), S_OK);
    EXPECT_EQ(ops_.calls, (std::vector<std::string>{"move", "render"}));
    EXPECT_FLOAT_EQ(ops_.elapsed[0], 40.0f);
    EXPECT_FLOAT_EQ(lastFrameTime_, 1041.0f);  // the second reading
    EXPECT_EQ(parity_, 0);
    EXPECT_EQ(count_, 1);
    host_.Times = {1000};  // the clock stepped back
    EXPECT_EQ(RunFrame(), S_OK);
    EXPECT_FLOAT_EQ(ops_.elapsed[1], 0.0f);
    EXPECT_EQ(parity_, 1);
    EXPECT_EQ(count_, 2);
}

TEST_F(FrameTest, NoDeviceDoesNothing) {
    EXPECT_EQ(display::Frame(nullptr, params_, {lastFrameTime_, parity_, count_}, ops_, host_), E_FAIL);
    EXPECT_TRUE(ops_.calls.empty());
}

TEST_F(FrameTest, LostThenResetThenDrawn) {
    params_.BackBufferWidth = 1024;
    device_->CooperativeLevels = {D3DERR_DEVICELOST, D3DERR_DEVICELOST, D3DERR_DEVICENOTRESET};
    parity_ = 0;
    count_ = 5;
    host_.Times = {10, 20, 30};
    EXPECT_EQ(RunFrame(), D3DERR_DEVICELOST);
    EXPECT_EQ(RunFrame(), D3DERR_DEVICELOST);
    EXPECT_TRUE(host_.LogLines.empty());  // staying lost writes nothing
    EXPECT_EQ(device_->Resets, 0);

    host_.Times = {500, 501, 502};
    EXPECT_EQ(RunFrame(), D3DERR_DEVICENOTRESET);
    EXPECT_EQ(device_->Resets, 1);
    EXPECT_EQ(device_->LastReset.BackBufferWidth, 1024u);
    EXPECT_EQ(ops_.calls, std::vector<std::string>{"init"});
    EXPECT_EQ(parity_, 1);
    EXPECT_EQ(count_, 5);
    EXPECT_FLOAT_EQ(lastFrameTime_, 502.0f);
    EXPECT_EQ(host_.LogLines, (std::vector<std::string>{"Device was lost.", "Try to restore.",
                                                        "Restore state to complete.", ""}));

    // The first frame after the restore gets the time since the restore.
    host_.Times = {510, 511};
    EXPECT_EQ(RunFrame(), S_OK);
    EXPECT_FLOAT_EQ(ops_.elapsed.back(), 8.0f);
    EXPECT_EQ(parity_, 0);
    EXPECT_EQ(count_, 6);
}

TEST_F(FrameTest, FailedResetIsRetriedNextFrame) {
    device_->CooperativeLevel = D3DERR_DEVICENOTRESET;
    device_->Results.Set("Reset", {D3DERR_INVALIDCALL});
    EXPECT_EQ(RunFrame(), D3DERR_DEVICENOTRESET);
    EXPECT_EQ(RunFrame(), D3DERR_DEVICENOTRESET);  // Reset succeeded this time
    EXPECT_EQ(device_->Resets, 2);
    EXPECT_EQ(RunFrame(), S_OK);
    // Another failure is handed back untouched.
    device_->CooperativeLevel = D3DERR_DRIVERINTERNALERROR;
    EXPECT_EQ(RunFrame(), D3DERR_DRIVERINTERNALERROR);
    EXPECT_EQ(device_->Resets, 2);
}

TEST_F(FrameTest, DefaultOperationsSetStatesCameraAndTheBlueFrame) {
    display::DefaultInitDeviceState(device_);
    EXPECT_EQ(device_->RenderState(D3DRS_SRCBLEND), static_cast<DWORD>(D3DBLEND_SRCALPHA));
    EXPECT_EQ(device_->RenderState(D3DRS_DESTBLEND), static_cast<DWORD>(D3DBLEND_ONE));
    EXPECT_EQ(device_->RenderState(D3DRS_ALPHAREF), 32u);
    EXPECT_EQ(device_->RenderState(D3DRS_ALPHAFUNC), static_cast<DWORD>(D3DCMP_GREATEREQUAL));
    EXPECT_EQ(device_->RenderState(D3DRS_ZENABLE), static_cast<DWORD>(TRUE));
    EXPECT_EQ(device_->RenderState(D3DRS_LIGHTING), static_cast<DWORD>(FALSE));
    EXPECT_EQ(device_->StageState(0, D3DTSS_COLOROP), static_cast<DWORD>(D3DTOP_MODULATE));
    EXPECT_EQ(device_->StageState(0, D3DTSS_ADDRESSV), static_cast<DWORD>(D3DTADDRESS_WRAP));
    EXPECT_FLOAT_EQ(device_->Material.Power, 50.0f);
    EXPECT_FLOAT_EQ(device_->Material.Specular.g, 1.0f);
    ASSERT_NE(device_->Transform(D3DTS_WORLD), nullptr);
    EXPECT_FLOAT_EQ(device_->Transform(D3DTS_WORLD)->m[3][3], 1.0f);
    const D3DMATRIX* projection = device_->Transform(D3DTS_PROJECTION);
    ASSERT_NE(projection, nullptr);
    EXPECT_FLOAT_EQ(projection->m[2][3], 1.0f);  // left-handed perspective

    display::DefaultFrameMove(device_, 123.0f);
    const D3DMATRIX* view = device_->Transform(D3DTS_VIEW);
    ASSERT_NE(view, nullptr);
    EXPECT_FLOAT_EQ(view->m[3][2], 1.0f);

    device_->Log.Clear();
    int overlays = 0;
    display::DefaultRender(device_, [&](IDirect3DDevice8*) {
        ++overlays;
        EXPECT_EQ(device_->SceneDepth, 1);  // drawn inside the scene
    });
    EXPECT_EQ(overlays, 1);
    EXPECT_EQ(device_->Log.Names(),
              (std::vector<std::string>{"Clear", "BeginScene", "EndScene", "Present"}));
    const auto clear = device_->Log.Named("Clear")[0];
    EXPECT_EQ(clear.Int(2), D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER);
    EXPECT_EQ(static_cast<DWORD>(clear.Int(3)), 0xFF0000FFu);
    EXPECT_DOUBLE_EQ(clear.Float(4), 1.0);
}

}  // namespace
