// The loading screen and the overlay rendered through our GL layer (EGL surfaceless) and read back
// from the front buffer: where their pictures land in pixels.
#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <vector>

#include "display/loading_screen.h"
#include "display/overlay.h"
#include "display/recording_host.h"
#include "media/resource_blob.h"
#include "fakes/headless_device/headless_device.h"
#include "platform/d3d8/d3d8.h"

namespace {

struct Size {
    int width, height;
};

// An uncompressed 32-bit top-origin TGA of one colour (ARGB).
std::vector<std::uint8_t> SolidTga(int width, int height, std::uint32_t argb) {
    std::vector<std::uint8_t> out(18, 0);
    out[2] = 2;
    out[12] = static_cast<std::uint8_t>(width);
    out[13] = static_cast<std::uint8_t>(width >> 8);
    out[14] = static_cast<std::uint8_t>(height);
    out[15] = static_cast<std::uint8_t>(height >> 8);
    out[16] = 32;
    out[17] = 0x28;  // 8 alpha bits, top-left origin
    for (int i = 0; i < width * height; ++i) {
        out.push_back(static_cast<std::uint8_t>(argb));
        out.push_back(static_cast<std::uint8_t>(argb >> 8));
        out.push_back(static_cast<std::uint8_t>(argb >> 16));
        out.push_back(static_cast<std::uint8_t>(argb >> 24));
    }
    return out;
}

class ScreenPixelTest : public headless_test::HeadlessDeviceTest {
protected:
    void Open(int width, int height) {
        if (!UseHeadlessWindows()) GTEST_SKIP() << "no EGL surfaceless OpenGL 3.3 context on this machine";
        window_ = {width, height, true};
        OpenDevice();
        if (HasFatalFailure()) return;
        device_->SetRenderState(D3DRS_LIGHTING, FALSE);
        device_->SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
        // The stage the saver's default device state sets up: texture times diffuse colour.
        device_->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_MODULATE);
        pool_->AttachDevice(device_);
        textures_->Init(d3d_, device_, D3DFMT_X8R8G8B8, params_.hDeviceWindow);
        textures_->SetQuiet(true);
    }
    void TearDown() override {
        textures_->ReleaseAll();
        pool_.reset();
        CloseDevice();
    }

    // The front buffer as 0xRRGGBB words, row 0 at the top.
    std::vector<std::uint32_t> RgbFrontBuffer() {
        std::vector<std::uint32_t> pixels = FrontBuffer();
        for (std::uint32_t& p : pixels) p &= 0xFFFFFFu;
        return pixels;
    }

    void ShowLoading(std::vector<std::uint8_t> background, std::vector<std::uint8_t> title) {
        background_ = std::move(background);
        title_ = std::move(title);
        display::LoadingScreenContext context;
        context.Pool = pool_.get();
        context.Image = [this](int id) {
            if (id == display::kLoadingBackground)
                return host::ResourceBytes{background_.data(), static_cast<std::uint32_t>(background_.size())};
            if (id == display::kLoadingTitle)
                return host::ResourceBytes{title_.data(), static_cast<std::uint32_t>(title_.size())};
            return host::FindResource("CustomData", id);  // the carried transparent corners
        };
        display::ShowLoadingScreen(device_, quad_, parity_, context);
    }

    std::unique_ptr<display::VertexBufferPool> pool_ = std::make_unique<display::VertexBufferPool>();
    std::unique_ptr<display::TextureTable> textures_ = std::make_unique<display::TextureTable>();
    std::vector<std::uint8_t> background_, title_;
    int quad_ = -1;
    int parity_ = 1;
};

TEST_F(ScreenPixelTest, TitleCoversExactlyTheBottomRightCornerOverAStretchedBackground) {
    for (const Size size : {Size{1024, 768}, Size{640, 480}}) {
        SCOPED_TRACE(testing::Message() << size.width << " x " << size.height);
        TearDown();
        pool_ = std::make_unique<display::VertexBufferPool>();
        Open(size.width, size.height);
        if (IsSkipped()) return;
        ShowLoading(SolidTga(4, 4, 0xFF0000FFu), SolidTga(8, 4, 0xFFFF0000u));
        const std::vector<std::uint32_t> pixels = RgbFrontBuffer();
        int wrong = 0, red = 0;
        for (int y = 0; y < size.height; ++y) {
            for (int x = 0; x < size.width; ++x) {
                const bool corner = x >= size.width - 256 && y >= size.height - 128;
                const std::uint32_t p = pixels[static_cast<std::size_t>(y) * size.width + x];
                red += p == 0xFF0000u;
                if (p != (corner ? 0xFF0000u : 0x0000FFu) && ++wrong <= 5)
                    ADD_FAILURE() << "pixel " << x << ", " << y << " is " << std::hex << p;
            }
        }
        EXPECT_EQ(wrong, 0);
        EXPECT_EQ(red, 256 * 128);
        EXPECT_EQ(parity_, 1);
    }
}

TEST_F(ScreenPixelTest, CarriedGlyphsLandInTheirCharacterCells) {
    Open(1024, 768);
    if (IsSkipped()) return;
    ShowLoading({}, {});
    display::GlyphSet glyphs;
    display::testing::RecordingHost host;
    display::LoadGlyphs(glyphs, media::OpenMediaBlob(452), *textures_, host);
    for (const display::TextureHandle& h : glyphs.Glyphs) ASSERT_GE(h.Index, 0);

    const display::OverlayLayout& layout = display::kBattleOverlayLayout;
    device_->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0xFF404040u, 1.0f, 0);
    device_->BeginScene();
    display::OverlayFrame frame;
    frame.ShowTime = true;
    frame.TwentyFourHour = true;
    frame.TimeText = "08:08:08";
    display::DrawOverlay(device_, frame, layout, glyphs, quad_, *pool_, *textures_);
    device_->EndScene();
    device_->Present(nullptr, nullptr, nullptr, nullptr);
    const std::vector<std::uint32_t> p = RgbFrontBuffer();

    const float step = layout.GlyphWidth * layout.AdvanceFactor * 1024.0f;
    const float left = layout.ClockX * 1024.0f, top = layout.ClockY * 768.0f;
    const float right = left + 7.0f * step + 1.07f * layout.GlyphWidth * 1024.0f;
    const float bottom = top + 1.07f * layout.GlyphHeight * 768.0f;
    int outside = 0;
    std::vector<int> brightInCell(8, 0);
    for (int y = 0; y < 768; ++y) {
        for (int x = 0; x < 1024; ++x) {
            const std::uint32_t c = p[static_cast<std::size_t>(y) * 1024 + x];
            if (c == 0x404040u) continue;
            if (x < left - 1 || x > right + 1 || y < top - 1 || y > bottom + 1) {
                ++outside;
                continue;
            }
            const int g = (c >> 8) & 0xFF;
            const int cell = static_cast<int>((x - left) / step);
            if (g > 0xA0 && cell >= 0 && cell < 8) ++brightInCell[cell];
        }
    }
    EXPECT_EQ(outside, 0) << "no pixel changes outside the clock's box";
    for (int k = 0; k < 8; ++k) EXPECT_GT(brightInCell[k], 20) << "character " << k;
}

}  // namespace
