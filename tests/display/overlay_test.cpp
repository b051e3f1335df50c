// The clock and frame-rate overlay against the recording device: what each glyph's two passes
// set and where their quads land, for the 24- and 12-hour clocks and the frame rate, and the
// glyph loading from the digits archive.
#include "display/overlay.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <memory>
#include <vector>

#include "display/loading_screen.h"
#include "display/recording_host.h"
#include "fakes/d3d8/fake_d3d8.h"
#include "media/resource_blob.h"

namespace {

using display::GlyphPlace;
using display::OverlayLayout;
using fake_d3d8::FakeAdapter;
using fake_d3d8::FakeDevice;
using fake_d3d8::FakeDirect3D;
using fake_d3d8::FakeVertexBuffer;

// One DrawPrimitive as the device saw it: blend factors, which glyph's texture was bound, and the
// quad's rectangle in viewport fractions with its colour.
struct Drawn {
    DWORD Src, Dest;
    int Glyph;  // -1: no texture bound, -2: a texture that is no glyph
    float X, Y, W, H;
    D3DCOLOR Colour;
};

HRESULT MakeFakeTexture(IDirect3DDevice8* device, const void*, UINT, UINT, UINT, D3DFORMAT format,
                        IDirect3DTexture8** texture) {
    return device->CreateTexture(16, 16, 1, 0, format == D3DFMT_UNKNOWN ? D3DFMT_A8R8G8B8 : format,
                                 D3DPOOL_MANAGED, texture);
}

HRESULT MakeBlank(IDirect3DDevice8* device, UINT width, UINT height, UINT levels, DWORD usage,
                  D3DFORMAT format, D3DPOOL pool, IDirect3DTexture8** texture) {
    return device->CreateTexture(width, height, levels, usage, format, pool, texture);
}

float Get(const std::uint8_t* bytes, std::size_t offset) {
    float f;
    std::memcpy(&f, bytes + offset, sizeof f);
    return f;
}

class OverlayTest : public ::testing::Test {
protected:
    static constexpr float kWidth = 1000.0f, kHeight = 500.0f;

    void SetUp() override {
        d3d_->Adapters.push_back(FakeAdapter::Typical());
        device_->Viewport = D3DVIEWPORT8{0, 0, 1000, 500, 0.0f, 1.0f};
        table_->SetHost(&host_);
        table_->SetFactory({&MakeFakeTexture, &MakeBlank});
        table_->Init(d3d_, device_, D3DFMT_X8R8G8B8, nullptr);
        pool_->AttachDevice(device_);
        int parity = 1;
        display::LoadingScreenContext context;
        context.Pool = pool_.get();
        context.Image = [](int) { return host::ResourceBytes{}; };
        display::ShowLoadingScreen(device_, quad_, parity, context);
        const unsigned char bytes[4] = {1, 2, 3, 4};
        for (int g = 0; g < display::kGlyphCount; ++g)
            glyphs_.Glyphs[g] = table_->LoadFromMemory(bytes, sizeof bytes, display::kGlyphFiles[g], "Digits\\", true);
        device_->Log.Clear();
        device_->OnDrawPrimitive = [this](FakeDevice& d) { Record(d); };
    }
    void TearDown() override {
        device_->OnDrawPrimitive = nullptr;
        table_->ReleaseAll();
        pool_.reset();
        device_->Release();
        d3d_->Release();
        EXPECT_EQ(fake_d3d8::FakeObjects::Live(), 0);
    }

    void Record(FakeDevice& d) {
        Drawn drawn{d.RenderState(D3DRS_SRCBLEND), d.RenderState(D3DRS_DESTBLEND), -2, 0, 0, 0, 0, 0};
        if (d.Textures[0] == nullptr) drawn.Glyph = -1;
        for (int g = 0; g < display::kGlyphCount; ++g) {
            if (glyphs_.Glyphs[g].Index >= 0 && d.Textures[0] == table_->Texture(glyphs_.Glyphs[g].Index))
                drawn.Glyph = g;
        }
        auto* buffer = static_cast<FakeVertexBuffer*>(d.StreamData[0]);
        if (buffer != nullptr && buffer->Bytes.size() >= 4 * 28) {
            const std::uint8_t* v = buffer->Bytes.data();
            // Vertex 1 is the top-left corner, vertex 2 the bottom-right one.
            drawn.X = Get(v, 28 + 0) / kWidth;
            drawn.Y = Get(v, 28 + 4) / kHeight;
            drawn.W = Get(v, 56 + 0) / kWidth - drawn.X;
            drawn.H = Get(v, 56 + 4) / kHeight - drawn.Y;
            std::memcpy(&drawn.Colour, v + 56 + 16, sizeof drawn.Colour);
        }
        draws_.push_back(drawn);
    }

    void Draw(const display::OverlayFrame& frame, const OverlayLayout& layout) {
        display::DrawOverlay(device_, frame, layout, glyphs_, quad_, *pool_, *table_);
    }

    // Every glyph is a dark pass then a bright pass at the same place; returns the bright passes.
    std::vector<Drawn> CheckPairs(const OverlayLayout& layout) {
        std::vector<Drawn> bright;
        EXPECT_EQ(draws_.size() % 2, 0u);
        const D3DCOLOR colour = 0xFF000000u | layout.Red << 16 | layout.Green << 8 | layout.Blue;
        for (std::size_t i = 0; i + 1 < draws_.size(); i += 2) {
            const Drawn& dark = draws_[i];
            const Drawn& lit = draws_[i + 1];
            SCOPED_TRACE(i / 2);
            EXPECT_EQ(dark.Src, static_cast<DWORD>(D3DBLEND_ZERO));
            EXPECT_EQ(dark.Dest, static_cast<DWORD>(D3DBLEND_INVSRCCOLOR));
            EXPECT_EQ(dark.Colour, 0xFFFFFFFFu);
            EXPECT_NEAR(dark.W, 1.07f * layout.GlyphWidth, 2e-5f);
            EXPECT_NEAR(dark.H, 1.07f * layout.GlyphHeight, 2e-5f);
            EXPECT_EQ(lit.Src, static_cast<DWORD>(D3DBLEND_SRCALPHA));
            EXPECT_EQ(lit.Dest, static_cast<DWORD>(D3DBLEND_ONE));
            EXPECT_EQ(lit.Colour, colour);
            EXPECT_NEAR(lit.W, layout.GlyphWidth, 2e-5f);
            EXPECT_NEAR(lit.H, layout.GlyphHeight, 2e-5f);
            EXPECT_EQ(dark.Glyph, lit.Glyph);
            EXPECT_FLOAT_EQ(dark.X, lit.X);
            EXPECT_FLOAT_EQ(dark.Y, lit.Y);
            bright.push_back(lit);
        }
        return bright;
    }

    // (glyph, character place) pairs from the bright passes, places counted from `originX`.
    static std::vector<std::pair<int, int>> Places(const std::vector<Drawn>& bright, float originX, float y,
                                                   const OverlayLayout& layout) {
        std::vector<std::pair<int, int>> out;
        const float step = layout.GlyphWidth * layout.AdvanceFactor;
        for (const Drawn& d : bright) {
            const float place = (d.X - originX) / step;
            EXPECT_NEAR(place, std::round(place), 1e-3f) << "glyph " << d.Glyph << " off the character grid";
            EXPECT_NEAR(d.Y, y, 1e-5f);
            out.emplace_back(d.Glyph, static_cast<int>(std::lround(place)));
        }
        return out;
    }

    FakeDirect3D* d3d_ = new FakeDirect3D();
    FakeDevice* device_ = new FakeDevice();
    std::unique_ptr<display::TextureTable> table_ = std::make_unique<display::TextureTable>();
    std::unique_ptr<display::VertexBufferPool> pool_ = std::make_unique<display::VertexBufferPool>();
    display::testing::RecordingHost host_;
    display::GlyphSet glyphs_;
    int quad_ = -1;
    std::vector<Drawn> draws_;
};

TEST_F(OverlayTest, TwentyFourHourClockDrawsAllEightCharactersAndEndsAtTheRightEdge) {
    OverlayLayout layout = display::kBattleOverlayLayout;
    layout.Red = 0x10;  // the bright pass carries the clock colour as ARGB
    layout.Green = 0x80;
    layout.Blue = 0xF0;
    Draw({true, true, false, 0, "09:05:00"}, layout);
    const std::vector<Drawn> bright = CheckPairs(layout);
    ASSERT_EQ(bright.size(), 8u);
    const std::vector<std::pair<int, int>> expected = {{0, 0}, {9, 1}, {10, 2}, {0, 3}, {5, 4}, {10, 5}, {0, 6}, {0, 7}};
    EXPECT_EQ(Places(bright, 0.7275f, 0.92f, layout), expected);
    EXPECT_NEAR(bright.back().X + bright.back().W, 1.0f, 1e-3f);
}

TEST_F(OverlayTest, TwelveHourClockShiftsLeftDropsAZeroTensDigitAndAddsMeridiem) {
    const OverlayLayout& layout = display::kBattleOverlayLayout;
    const float origin = 0.7275f - 2.0f * 0.0525f * 0.6f;
    using P = std::vector<std::pair<int, int>>;
    const struct {
        const char* time;
        P glyphs;
    } cases[] = {
        {"00:30:15", P{{1, 0}, {2, 1}, {10, 2}, {3, 3}, {0, 4}, {10, 5}, {1, 6}, {5, 7}, {12, 8}, {13, 9}}},
        {"12:05:00", P{{1, 0}, {2, 1}, {10, 2}, {0, 3}, {5, 4}, {10, 5}, {0, 6}, {0, 7}, {14, 8}, {13, 9}}},
        {"13:00:00", P{{1, 1}, {10, 2}, {0, 3}, {0, 4}, {10, 5}, {0, 6}, {0, 7}, {14, 8}, {13, 9}}},
        {"09:59:59", P{{9, 1}, {10, 2}, {5, 3}, {9, 4}, {10, 5}, {5, 6}, {9, 7}, {12, 8}, {13, 9}}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.time);
        draws_.clear();
        Draw({true, false, false, 0, c.time}, layout);
        EXPECT_EQ(Places(CheckPairs(layout), origin, 0.92f, layout), c.glyphs);
    }
}

TEST_F(OverlayTest, FrameRateTextFromItsOriginWithTheBaseLayout) {
    const OverlayLayout& layout = display::kSaverOverlayLayout;
    using P = std::vector<std::pair<int, int>>;
    const struct {
        int fps;
        P glyphs;
    } cases[] = {
        {0, P{{0, 0}}},
        {1234, P{{1, 0}, {2, 1}, {3, 2}, {4, 3}}},
        {-7, P{{display::kGlyphDot, 0}, {7, 1}}},  // the minus sign is below '0'
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.fps);
        draws_.clear();
        Draw({false, true, true, c.fps, "12:00:00"}, layout);
        EXPECT_EQ(Places(CheckPairs(layout), 0.01f, 0.01f, layout), c.glyphs);
    }
}

TEST_F(OverlayTest, SetsAndRestoresItsStatesEvenWithBothPartsOff) {
    device_->SetRenderState(D3DRS_ALPHAREF, 50);
    const unsigned char bytes[4] = {9, 9, 9, 9};
    const display::TextureHandle other = table_->LoadFromMemory(bytes, sizeof bytes, "x.jpg", "Texture\\", true);
    table_->BindTexture(0, other.Index);
    device_->Log.Clear();
    Draw({false, true, false, 5, "10:00:00"}, display::kBattleOverlayLayout);
    EXPECT_TRUE(draws_.empty());
    EXPECT_EQ(device_->RenderState(D3DRS_ZENABLE), static_cast<DWORD>(TRUE));
    EXPECT_EQ(device_->RenderState(D3DRS_ALPHABLENDENABLE), static_cast<DWORD>(FALSE));
    EXPECT_EQ(device_->RenderState(D3DRS_ALPHAREF), 0u);
    EXPECT_EQ(device_->Textures[0], nullptr);
    EXPECT_EQ(device_->VertexShader, display::kScreenQuadFvf);
    EXPECT_EQ(device_->StreamStride[0], 28u);
    // Z off and blending on come first, z on and blending off last.
    using State = std::pair<long long, long long>;
    std::vector<State> states;
    for (const auto& call : device_->Log.Named("SetRenderState")) states.emplace_back(call.Int(0), call.Int(1));
    ASSERT_GE(states.size(), 4u);
    EXPECT_EQ(states[0], State(D3DRS_ZENABLE, FALSE));
    EXPECT_EQ(states[1], State(D3DRS_ALPHABLENDENABLE, TRUE));
    EXPECT_EQ(states[states.size() - 2], State(D3DRS_ZENABLE, TRUE));
    EXPECT_EQ(states.back(), State(D3DRS_ALPHABLENDENABLE, FALSE));
}

TEST_F(OverlayTest, AGlyphWithoutTextureDrawsUntextured) {
    glyphs_.Glyphs[7] = display::TextureHandle{};
    Draw({false, true, true, 77, ""}, display::kSaverOverlayLayout);
    ASSERT_EQ(draws_.size(), 4u);
    for (const Drawn& d : draws_) EXPECT_EQ(d.Glyph, -1);
}

class GlyphLoadingTest : public OverlayTest {};

TEST_F(GlyphLoadingTest, LoadsFifteenGlyphsFromTheCarriedDigitsArchiveThenLogs) {
    display::GlyphSet loaded;
    const int before = table_->Count();
    host_.LogLines.clear();
    display::LoadGlyphs(loaded, media::OpenMediaBlob(452), *table_, host_);
    ASSERT_EQ(host_.LogLines, std::vector<std::string>{"Load Digit textures complete"});
    for (int g = 0; g < display::kGlyphCount; ++g) {
        SCOPED_TRACE(display::kGlyphFiles[g]);
        // The fixture already loaded these names in the same group: the table hands them back.
        EXPECT_EQ(loaded.Glyphs[g].Index, glyphs_.Glyphs[g].Index);
        EXPECT_STREQ(loaded.Glyphs[g].Name, display::kGlyphFiles[g]);
        EXPECT_STREQ(loaded.Glyphs[g].Group, "Digits\\");
    }
    EXPECT_EQ(table_->Count(), before);
}

}  // namespace
