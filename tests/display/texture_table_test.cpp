#include "display/texture_table.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>

#include "display/procedural_texture.h"
#include "display/recording_host.h"
#include "fakes/d3d8/fake_d3d8.h"

namespace {

using display::TextureTable;
using display::testing::RecordingHost;
using fake_d3d8::FakeAdapter;
using fake_d3d8::FakeDevice;
using fake_d3d8::FakeDirect3D;

// The texture maker the table sees: every request is recorded; the first `failures` requests
// fail with `error`, later ones make a fake texture of the asked size.
struct Maker {
    struct Request {
        UINT width, height;
        D3DFORMAT format;
    };
    static inline std::vector<Request> requests;
    static inline int failures = 0;
    static inline HRESULT error = E_FAIL;
    static inline int blankFailures = 0;

    static HRESULT FromFile(IDirect3DDevice8* device, const void*, UINT, UINT width, UINT height,
                            D3DFORMAT format, IDirect3DTexture8** texture) {
        requests.push_back({width, height, format});
        if (failures > 0) {
            --failures;
            *texture = nullptr;
            return error;
        }
        return device->CreateTexture(width ? width : 64, height ? height : 64, 0, 0, format,
                                     D3DPOOL_MANAGED, texture);
    }
    static HRESULT Blank(IDirect3DDevice8* device, UINT width, UINT height, UINT levels, DWORD usage,
                         D3DFORMAT format, D3DPOOL pool, IDirect3DTexture8** texture) {
        requests.push_back({width, height, format});
        if (blankFailures > 0) {
            --blankFailures;
            *texture = nullptr;
            return E_OUTOFMEMORY;
        }
        return device->CreateTexture(width, height, levels, usage, format, pool, texture);
    }
};

class TextureTableTest : public ::testing::Test {
protected:
    void SetUp() override {
        Maker::requests.clear();
        Maker::failures = 0;
        Maker::error = E_FAIL;
        Maker::blankFailures = 0;
        d3d_->Adapters.push_back(FakeAdapter::Typical());
        device_->Caps.MaxTextureWidth = 2048;
        table_->SetHost(&host_);
        table_->SetFactory({&Maker::FromFile, &Maker::Blank});
    }
    void TearDown() override {
        table_->ReleaseAll();
        device_->Release();
        d3d_->Release();
        EXPECT_EQ(fake_d3d8::FakeObjects::Live(), 0);
    }
    void Init() {
        table_->Init(d3d_, device_, D3DFMT_X8R8G8B8, reinterpret_cast<HWND>(0x77));
    }
    display::TextureHandle Load(const char* name, const char* group = "Texture\\", bool reuse = true) {
        return table_->LoadFromMemory(bytes_, sizeof bytes_, name, group, reuse);
    }

    FakeDirect3D* d3d_ = new FakeDirect3D();
    FakeDevice* device_ = new FakeDevice();
    std::unique_ptr<TextureTable> table_ = std::make_unique<TextureTable>();
    RecordingHost host_;
    const unsigned char bytes_[4] = {1, 2, 3, 4};
};

TEST_F(TextureTableTest, CompressedAndFallbackFormatChoice) {
    struct Case {
        std::set<D3DFORMAT> formats;
        D3DFORMAT compressed, fallback;
    } cases[] = {
        {{D3DFMT_DXT1, D3DFMT_DXT5, D3DFMT_A1R5G5B5}, D3DFMT_DXT5, D3DFMT_A1R5G5B5},
        {{D3DFMT_DXT3, D3DFMT_DXT2, D3DFMT_DXT1}, D3DFMT_DXT1, D3DFMT_R5G6B5},
        {{D3DFMT_DXT3, D3DFMT_DXT2}, D3DFMT_DXT2, D3DFMT_R5G6B5},
        {{D3DFMT_DXT4, D3DFMT_DXT3}, D3DFMT_DXT4, D3DFMT_R5G6B5},
        {{D3DFMT_A8R8G8B8}, D3DFMT_UNKNOWN, D3DFMT_R5G6B5},
    };
    for (const Case& c : cases) {
        d3d_->Adapters[0].TextureFormats = c.formats;
        Init();
        EXPECT_EQ(table_->CompressedFormat(), c.compressed);
        EXPECT_EQ(table_->CompressionAvailable(), c.compressed != D3DFMT_UNKNOWN);
        EXPECT_EQ(table_->FallbackFormat(), c.fallback);
    }
    // The checks are made against the back-buffer format on adapter 0.
    const auto check = d3d_->Log.Named("CheckDeviceFormat").back();
    EXPECT_EQ(check.Int(0), 0);
    EXPECT_EQ(check.Int(2), D3DFMT_X8R8G8B8);
    EXPECT_EQ(check.Int(4), D3DRTYPE_TEXTURE);
}

TEST_F(TextureTableTest, ImagesUseTheCompressedFormatAndReuseByNameAndGroup) {
    d3d_->Adapters[0].TextureFormats = {D3DFMT_DXT5, D3DFMT_A1R5G5B5};
    Init();
    const auto a = Load("rock.jpg");
    const auto again = Load("rock.jpg");
    const auto otherGroup = Load("rock.jpg", "Digits\\");
    const auto noReuse = Load("rock.jpg", "Texture\\", false);
    const auto otherCase = Load("ROCK.jpg");
    EXPECT_EQ(a.Index, 0);
    EXPECT_EQ(again.Index, 0);
    EXPECT_EQ(otherGroup.Index, 1);
    EXPECT_EQ(noReuse.Index, 2);
    EXPECT_EQ(otherCase.Index, 3);
    EXPECT_STREQ(a.Name, "rock.jpg");
    EXPECT_STREQ(a.Group, "Texture\\");
    ASSERT_EQ(Maker::requests.size(), 4u);
    for (const auto& r : Maker::requests) {
        EXPECT_EQ(r.format, D3DFMT_DXT5);
        EXPECT_EQ(r.width, 0u);
    }
    EXPECT_TRUE(host_.Messages.empty());

    table_->BindTexture(3, a.Index);
    EXPECT_EQ(device_->Textures[3], table_->Texture(0));
    EXPECT_NE(device_->Textures[3], nullptr);
    table_->BindTexture(3, -1);
    EXPECT_EQ(device_->Textures[3], nullptr);
    device_->Log.Clear();
    table_->BindTexture(8, 0);      // no such stage
    table_->BindTexture(0, 4);      // not in use
    table_->BindTexture(0, -2);
    table_->BindTexture(0, 1000);
    EXPECT_EQ(device_->Log.Count("SetTexture"), 0u);
}

TEST_F(TextureTableTest, FailedLoadRetriesSmallerThenWarnsButKeepsTheEntry) {
    d3d_->Adapters[0].TextureFormats = {D3DFMT_DXT1, D3DFMT_A1R5G5B5};
    device_->Caps.MaxTextureWidth = 128;
    Init();
    Maker::failures = 1;
    const auto retried = Load("big.jpg");
    ASSERT_EQ(Maker::requests.size(), 2u);
    EXPECT_EQ(Maker::requests[1].width, 128u);  // min(256, max texture size)
    EXPECT_EQ(Maker::requests[1].height, 128u);
    EXPECT_EQ(Maker::requests[1].format, D3DFMT_A1R5G5B5);
    EXPECT_TRUE(table_->Entry(retried.Index)->Loaded);
    EXPECT_TRUE(host_.Messages.empty());

    Maker::failures = 2;
    const auto lost = Load("broken.jpg");
    EXPECT_EQ(lost.Index, 1);  // a failed load still takes its entry
    EXPECT_FALSE(table_->Entry(1)->Loaded);
    EXPECT_EQ(table_->Texture(1), nullptr);
    ASSERT_EQ(host_.Messages.size(), 1u);
    EXPECT_EQ(host_.Messages[0].Text,
              "Texture broken.jpg not loaded. There why some objects will be white color.");
    EXPECT_EQ(host_.Messages[0].Caption, "Warning!");
    EXPECT_EQ(host_.Messages[0].Icon, display::MessageIcon::Warning);
    EXPECT_EQ(host_.Messages[0].Owner, reinterpret_cast<HWND>(0x77));
    EXPECT_EQ(host_.CursorHidden, 1);
    // Reusing the failed name hands back the same entry without trying again.
    const std::size_t before = Maker::requests.size();
    EXPECT_EQ(Load("broken.jpg").Index, 1);
    EXPECT_EQ(Maker::requests.size(), before);

    Maker::failures = 2;
    Maker::error = D3DERR_OUTOFVIDEOMEMORY;
    Load("huge.jpg");
    EXPECT_EQ(host_.Messages.back().Text,
              "Not enought video memory to load huge.jpg. There why some objects will be white color.");

    table_->SetQuiet(true);
    Maker::failures = 2;
    Load("quiet.jpg");
    EXPECT_EQ(host_.Messages.size(), 2u);
}

TEST_F(TextureTableTest, WithoutDeviceOrRoomEveryLoadIsNone) {
    EXPECT_EQ(Load("a.jpg").Index, -1);
    table_->Init(d3d_, nullptr, D3DFMT_X8R8G8B8, nullptr);
    EXPECT_EQ(Load("a.jpg").Index, -1);
    Init();
    for (int k = 0; k < TextureTable::kMaxEntries; ++k)
        ASSERT_EQ(Load(("t" + std::to_string(k)).c_str()).Index, k);
    EXPECT_EQ(Load("one too many").Index, -1);
    EXPECT_EQ(Load("t5").Index, 5);  // reuse still finds existing entries
    EXPECT_EQ(table_->Count(), TextureTable::kMaxEntries);
}

TEST_F(TextureTableTest, LongNamesAreCutButStillReused) {
    Init();
    const std::string longName(300, 'n');
    const auto a = Load(longName.c_str());
    EXPECT_EQ(std::strlen(a.Name), 127u);
    EXPECT_EQ(Load(longName.c_str()).Index, a.Index);
}

TEST_F(TextureTableTest, BlankTargetsAndDepthSurfacesWithReuse) {
    Init();
    const auto rt = table_->CreateBlank(1024, 256, display::kTextureRenderTarget, false);
    const auto ds = table_->CreateBlank(1024, 256, display::kTextureDepthSurface, false);
    EXPECT_EQ(rt.Index, 0);
    EXPECT_EQ(ds.Index, 1);
    ASSERT_EQ(Maker::requests.size(), 1u);
    EXPECT_EQ(Maker::requests[0].format, D3DFMT_X8R8G8B8);
    auto* texture = static_cast<fake_d3d8::FakeTexture*>(table_->Texture(rt.Index));
    ASSERT_NE(texture, nullptr);
    EXPECT_EQ(texture->Usage, static_cast<DWORD>(D3DUSAGE_RENDERTARGET));
    EXPECT_EQ(texture->Pool, D3DPOOL_DEFAULT);
    EXPECT_EQ(texture->GetLevelCount(), 1u);
    const auto depth = device_->Log.Named("CreateDepthStencilSurface");
    ASSERT_EQ(depth.size(), 1u);
    EXPECT_EQ(depth[0].Int(2), D3DFMT_D16);

    // Render targets are reused at the same size only, depth surfaces at any larger size.
    EXPECT_EQ(table_->CreateBlank(1024, 256, display::kTextureRenderTarget, true).Index, 0);
    EXPECT_EQ(table_->CreateBlank(512, 256, display::kTextureRenderTarget, true).Index, 2);
    EXPECT_EQ(table_->CreateBlank(512, 128, display::kTextureDepthSurface, true).Index, 1);
    EXPECT_EQ(table_->CreateBlank(2048, 256, display::kTextureDepthSurface, true).Index, 3);

    // Surfaces come with a reference for the caller.
    IDirect3DSurface8* s = table_->GetSurface(ds.Index, 0);
    ASSERT_NE(s, nullptr);
    s->Release();
    s = table_->GetSurface(rt.Index, 0);
    ASSERT_NE(s, nullptr);
    s->Release();
    EXPECT_EQ(table_->GetSurface(rt.Index, 5), nullptr);
    EXPECT_EQ(table_->GetSurface(99, 0), nullptr);
}

TEST_F(TextureTableTest, BlankFailureRetriesAtMost128ThenWarns) {
    device_->Caps.MaxTextureWidth = 64;
    Init();
    Maker::blankFailures = 1;
    const auto rt = table_->CreateBlank(1024, 1024, display::kTextureRenderTarget, false);
    EXPECT_EQ(rt.Index, 0);
    EXPECT_EQ(Maker::requests.back().width, 64u);
    Maker::blankFailures = 2;
    EXPECT_EQ(table_->CreateBlank(256, 256, display::kTextureRenderTarget, false).Index, -1);
    ASSERT_EQ(host_.Messages.size(), 1u);
    EXPECT_EQ(host_.Messages[0].Text, "Texture  not loaded. There why some objects will be white color.");
    EXPECT_EQ(table_->Count(), 2);  // the failed entry stays counted
    // A reuse request for the failed size creates into that entry.
    EXPECT_EQ(table_->CreateBlank(256, 256, display::kTextureRenderTarget, true).Index, 1);
    EXPECT_EQ(table_->Count(), 2);
}

TEST_F(TextureTableTest, ReleaseAllReleasesEverythingAndUnbinds) {
    Init();
    Load("a.jpg");
    table_->CreateBlank(64, 64, display::kTextureRenderTarget, false);
    table_->CreateBlank(64, 64, display::kTextureDepthSurface, false);
    const int live = fake_d3d8::FakeObjects::Live();
    table_->ReleaseAll();
    EXPECT_LT(fake_d3d8::FakeObjects::Live(), live);
    EXPECT_EQ(table_->Count(), 3);
    EXPECT_EQ(table_->Texture(0), nullptr);
    EXPECT_FALSE(table_->Entry(2)->Loaded);
}

TEST(NormalizationCubeMap, TexelHoldsItsOwnDirection) {
    display::NormalizationCubeMap map;
    EXPECT_EQ(map.Edge, 128u);
    const display::TexelColour c = map.Texel({3, 0, -4}, {});
    EXPECT_FLOAT_EQ(c.r, 0.8f);   // 0.6 / 2 + 0.5
    EXPECT_FLOAT_EQ(c.g, 0.5f);
    EXPECT_FLOAT_EQ(c.b, 0.1f);   // -0.8 / 2 + 0.5
    EXPECT_FLOAT_EQ(c.a, 1.0f);
    const display::TexelColour zero = map.Texel({0, 0, 0}, {});
    EXPECT_FLOAT_EQ(zero.r, 0.5f);
}

}  // namespace
