// The loading screen against the recording device: image order and the retry at a small 16-bit
// size, the two presented pictures with their quads, the log lines, and what it leaves behind
// (the screen quad, the screen size, restored states, no textures).
#include "display/loading_screen.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <vector>

#include "display/recording_host.h"
#include "fakes/d3d8/fake_d3d8.h"

namespace {

using fake_d3d8::FakeDevice;
using fake_d3d8::FakeVertexBuffer;

struct Request {
    int image;  // first byte of the image's bytes: its id - 480
    UINT width, height;
    D3DFORMAT format;
};

struct Maker {
    static inline std::vector<Request> requests;
    static inline std::vector<int> failing;  // images whose every creation fails
    static inline std::vector<int> failingOnce;
    static HRESULT Create(IDirect3DDevice8* device, const void* data, UINT, UINT width, UINT height,
                          D3DFORMAT format, IDirect3DTexture8** texture) {
        const int image = static_cast<const std::uint8_t*>(data)[0];
        requests.push_back({image, width, height, format});
        const bool once = std::erase(failingOnce, image) > 0;
        if (once || std::find(failing.begin(), failing.end(), image) != failing.end()) {
            *texture = nullptr;
            return E_FAIL;
        }
        return device->CreateTexture(width ? width : 64, height ? height : 64, 1, 0, D3DFMT_A8R8G8B8,
                                     D3DPOOL_MANAGED, texture);
    }
};

struct Drawn {
    IDirect3DBaseTexture8* texture;
    DWORD blend, src, dest, alphaOp, z;
    float x0, y0, x1, y1;  // pixels: top-left and bottom-right corners
    float z0, rhw0;
};

class LoadingScreenTest : public ::testing::Test {
protected:
    void SetUp() override {
        Maker::requests.clear();
        Maker::failing.clear();
        Maker::failingOnce.clear();
        for (int id = 482; id <= 488; ++id) bytes_[id - 482] = static_cast<std::uint8_t>(id - 480);
        device_->Viewport = D3DVIEWPORT8{0, 0, 1024, 768, 0.0f, 1.0f};
        pool_->AttachDevice(device_);
        context_.Host = &host_;
        context_.Pool = pool_.get();
        context_.Image = [this](int id) {
            ids_.push_back(id);
            return host::ResourceBytes{&bytes_[id - 482], 1};
        };
        context_.FromFileInMemory = &Maker::Create;
        device_->OnDrawPrimitive = [this](FakeDevice& d) {
            Drawn drawn{d.Textures[0],
                        d.RenderState(D3DRS_ALPHABLENDENABLE),
                        d.RenderState(D3DRS_SRCBLEND),
                        d.RenderState(D3DRS_DESTBLEND),
                        d.StageState(0, D3DTSS_ALPHAOP),
                        d.RenderState(D3DRS_ZENABLE),
                        0, 0, 0, 0, 0, 0};
            auto* buffer = static_cast<FakeVertexBuffer*>(d.StreamData[0]);
            if (buffer != nullptr && buffer->Bytes.size() >= 112) {
                const std::uint8_t* v = buffer->Bytes.data();
                std::memcpy(&drawn.x0, v + 28, 4);
                std::memcpy(&drawn.y0, v + 32, 4);
                std::memcpy(&drawn.x1, v + 56, 4);
                std::memcpy(&drawn.y1, v + 60, 4);
                std::memcpy(&drawn.z0, v + 8, 4);
                std::memcpy(&drawn.rhw0, v + 12, 4);
            }
            draws_.push_back(drawn);
        };
    }
    void TearDown() override {
        device_->OnDrawPrimitive = nullptr;
        pool_.reset();
        device_->Release();
        EXPECT_EQ(fake_d3d8::FakeObjects::Live(), 0);
    }
    void Show() { display::ShowLoadingScreen(device_, quad_, parity_, context_); }

    FakeDevice* device_ = new FakeDevice();
    std::unique_ptr<display::VertexBufferPool> pool_ = std::make_unique<display::VertexBufferPool>();
    display::testing::RecordingHost host_;
    display::LoadingScreenContext context_;
    std::uint8_t bytes_[7] = {};
    std::vector<int> ids_;
    std::vector<Drawn> draws_;
    int quad_ = -1;
    int parity_ = 1;
};

TEST_F(LoadingScreenTest, DrawsBackgroundThenFourCornersIntoBothBuffers) {
    int other = -1;
    pool_->CreateVertexSlot(other, 0x152, 3);  // someone's slot before: the quad takes the next one
    device_->SetRenderState(D3DRS_ALPHABLENDENABLE, TRUE);
    device_->SetRenderState(D3DRS_SRCBLEND, D3DBLEND_ONE);
    device_->SetRenderState(D3DRS_DESTBLEND, D3DBLEND_ZERO);
    device_->SetTextureStageState(0, D3DTSS_ALPHAOP, D3DTOP_SELECTARG1);
    const int liveBefore = fake_d3d8::FakeObjects::Live();
    Show();

    EXPECT_EQ(ids_, (std::vector<int>{482, 485, 486, 488, 487}));
    EXPECT_EQ(host_.LogLines, (std::vector<std::string>{"Load Not_table_alpha texture complete",
                                                        "Load Loading Texture complete.",
                                                        "Draw Loading Screen complete.",
                                                        "Unload Loading Data complete."}));
    EXPECT_EQ(quad_, 1);
    EXPECT_EQ(pool_->VertexFormat(quad_), display::kScreenQuadFvf);
    EXPECT_EQ(device_->Presents, 2);
    EXPECT_EQ(parity_, 1);  // toggled once per present
    EXPECT_EQ(device_->SceneDepth, 0);
    for (const auto& clear : device_->Log.Named("Clear")) EXPECT_EQ(clear.Int(2), D3DCLEAR_ZBUFFER);
    EXPECT_EQ(display::LoadingScreenSize().Width, 1024u);
    EXPECT_EQ(display::LoadingScreenSize().Height, 768u);

    ASSERT_EQ(draws_.size(), 10u);
    struct Place {
        float x0, y0, x1, y1;
    };
    const Place places[5] = {{0, 0, 1024, 768}, {768, 640, 1024, 768}, {0, 640, 256, 768}, {0, 0, 256, 128}, {768, 0, 1024, 128}};
    for (int pass = 0; pass < 2; ++pass) {
        for (int k = 0; k < 5; ++k) {
            SCOPED_TRACE(testing::Message() << "pass " << pass << " image " << k);
            const Drawn& d = draws_[pass * 5 + k];
            EXPECT_NE(d.texture, nullptr);
            EXPECT_NEAR(d.x0, places[k].x0, 1e-3f);
            EXPECT_NEAR(d.y0, places[k].y0, 1e-3f);
            EXPECT_NEAR(d.x1, places[k].x1, 1e-3f);
            EXPECT_NEAR(d.y1, places[k].y1, 1e-3f);
            EXPECT_FLOAT_EQ(d.z0, 0.99f);
            EXPECT_FLOAT_EQ(d.rhw0, 1.0f);
            EXPECT_EQ(d.z, static_cast<DWORD>(FALSE));
            EXPECT_EQ(d.blend, static_cast<DWORD>(k == 0 ? FALSE : TRUE));
            if (k > 0) {
                EXPECT_EQ(d.src, static_cast<DWORD>(D3DBLEND_SRCALPHA));
                EXPECT_EQ(d.dest, static_cast<DWORD>(D3DBLEND_INVSRCALPHA));
                EXPECT_EQ(d.alphaOp, static_cast<DWORD>(D3DTOP_MODULATE));
            }
        }
    }
    // The same five textures both times, five different ones.
    for (int k = 0; k < 5; ++k) EXPECT_EQ(draws_[k].texture, draws_[5 + k].texture);

    EXPECT_EQ(device_->RenderState(D3DRS_ALPHABLENDENABLE), static_cast<DWORD>(TRUE));
    EXPECT_EQ(device_->RenderState(D3DRS_SRCBLEND), static_cast<DWORD>(D3DBLEND_ONE));
    EXPECT_EQ(device_->RenderState(D3DRS_DESTBLEND), static_cast<DWORD>(D3DBLEND_ZERO));
    EXPECT_EQ(device_->StageState(0, D3DTSS_ALPHAOP), static_cast<DWORD>(D3DTOP_SELECTARG1));
    EXPECT_EQ(device_->RenderState(D3DRS_ZENABLE), static_cast<DWORD>(TRUE));
    // Only the quad's buffer is new: the textures went.
    EXPECT_EQ(fake_d3d8::FakeObjects::Live(), liveBefore + 1);
}

TEST_F(LoadingScreenTest, RetriesSmallAndSixteenBitThenDrawsUntextured) {
    Maker::failingOnce = {5};  // the title: first try fails
    Maker::failing = {2};      // the background: both tries fail
    Show();
    std::vector<Request> background, title;
    for (const Request& r : Maker::requests) {
        if (r.image == 2) background.push_back(r);
        if (r.image == 5) title.push_back(r);
    }
    ASSERT_EQ(background.size(), 2u);
    ASSERT_EQ(title.size(), 2u);
    EXPECT_EQ(title[0].width, 0u);
    EXPECT_EQ(title[0].format, D3DFMT_UNKNOWN);
    EXPECT_EQ(title[1].width, 128u);
    EXPECT_EQ(title[1].height, 128u);
    EXPECT_EQ(title[1].format, D3DFMT_R5G6B5);
    ASSERT_EQ(draws_.size(), 10u);
    EXPECT_EQ(draws_[0].texture, nullptr);
    EXPECT_NE(draws_[1].texture, nullptr);
    EXPECT_EQ(Maker::requests.size(), 7u);  // five images, two retries
}

}  // namespace
