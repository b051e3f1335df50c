#include "display/display_enumeration.h"

#include <gtest/gtest.h>

#include <memory>

#include "display/texture_table.h"
#include "display/vertex_buffer_pool.h"
#include "display/recording_host.h"
#include "fakes/d3d8/fake_d3d8.h"

namespace {

using display::DisplayEnumeration;
using display::testing::RecordingHost;
using fake_d3d8::FakeAdapter;
using fake_d3d8::FakeDirect3D;
using fake_d3d8::FakeDevice;
using fake_d3d8::Ref;

class EnumerationTest : public ::testing::Test {
protected:
    void SetUp() override {
        d3d_ = new FakeDirect3D();
        enumeration_.SetHost(&host_);
        // Every creation hands the enumeration a reference of its own; the test keeps one.
        enumeration_.SetDirect3DFactory([this] {
            d3d_->AddRef();
            return static_cast<IDirect3D8*>(d3d_);
        });
    }
    void TearDown() override {
        enumeration_.ReleaseDirect3D();
        d3d_->Release();
        EXPECT_EQ(fake_d3d8::FakeObjects::Live(), 0);
    }
    HRESULT Start(FakeAdapter adapter) {
        d3d_->Adapters.push_back(std::move(adapter));
        return enumeration_.CreateAndEnumerate();
    }
    int Create(display::RenderDeviceRequest request, Ref<IDirect3DDevice8>& device) {
        request.Textures = textures_.get();
        request.VertexBuffers = pool_.get();
        return enumeration_.CreateRenderDevice(nullptr, request, device.out(), params_);
    }

    RecordingHost host_;
    FakeDirect3D* d3d_ = nullptr;
    DisplayEnumeration enumeration_;
    std::unique_ptr<display::TextureTable> textures_ = std::make_unique<display::TextureTable>();
    std::unique_ptr<display::VertexBufferPool> pool_ = std::make_unique<display::VertexBufferPool>();
    D3DPRESENT_PARAMETERS params_{};
};

TEST_F(EnumerationTest, ModesAreFilteredFoldedAndSorted) {
    FakeAdapter a = FakeAdapter::Typical();
    a.Modes = {FakeAdapter::Mode(1024, 768, D3DFMT_X8R8G8B8, 60), FakeAdapter::Mode(1024, 768, D3DFMT_X8R8G8B8, 85),
               FakeAdapter::Mode(640, 399, D3DFMT_X8R8G8B8), FakeAdapter::Mode(639, 480, D3DFMT_X8R8G8B8),
               FakeAdapter::Mode(640, 400, D3DFMT_R5G6B5), FakeAdapter::Mode(1024, 768, D3DFMT_R5G6B5),
               FakeAdapter::Mode(800, 600, D3DFMT_A1R5G5B5),  // a format CheckDeviceType refuses
               FakeAdapter::Mode(800, 600, D3DFMT_X8R8G8B8)};
    ASSERT_EQ(Start(a), S_OK);
    const display::DeviceInfo& d = enumeration_.CurrentDevice();
    ASSERT_EQ(d.ModeCount, 4u);
    EXPECT_EQ(d.Modes[0].Width, 640u);
    EXPECT_EQ(d.Modes[0].Height, 400u);
    EXPECT_EQ(d.Modes[1].Width, 800u);
    EXPECT_EQ(d.Modes[1].Format, D3DFMT_X8R8G8B8);
    EXPECT_EQ(d.Modes[2].Width, 1024u);
    EXPECT_EQ(d.Modes[3].Width, 1024u);
    EXPECT_NE(d.Modes[2].Format, d.Modes[3].Format);  // 16- and 32-bit 1024 x 768 both listed
    EXPECT_STREQ(d.Description, "HAL");
    EXPECT_EQ(host_.LogLines.front(), "\xD1" "reate D3D complete");
    EXPECT_EQ(host_.LogLines.back(), "Enumerate Device List complete");

    const display::DisplaySelection& s = enumeration_.Selection();
    EXPECT_TRUE(s.Changed);
    EXPECT_EQ(s.Width, 640u);
    EXPECT_EQ(s.Format, D3DFMT_R5G6B5);
}

TEST_F(EnumerationTest, DepthFormatPrefersD32ThenD24X8ThenD16) {
    struct Case {
        std::set<D3DFORMAT> depths;
        D3DFORMAT expected;
    } cases[] = {{{D3DFMT_D16, D3DFMT_D24X8, D3DFMT_D32}, D3DFMT_D32},
                 {{D3DFMT_D16, D3DFMT_D24X8}, D3DFMT_D24X8},
                 {{D3DFMT_D16}, D3DFMT_D16},
                 {{}, D3DFMT_D16}};  // nothing passes: D16 is still requested
    for (const Case& c : cases) {
        d3d_->Adapters.clear();
        FakeAdapter a = FakeAdapter::Typical();
        a.DepthFormats = c.depths;
        ASSERT_EQ(Start(a), S_OK);
        EXPECT_EQ(enumeration_.CurrentDevice().DepthFormat, static_cast<UINT>(c.expected));
        EXPECT_EQ(enumeration_.Selection().DepthFormat, c.expected);
    }
    // A depth format that exists but does not match the render target is not usable.
    d3d_->Adapters.clear();
    FakeAdapter a = FakeAdapter::Typical();
    a.DepthFormats = {D3DFMT_D16, D3DFMT_D32};
    a.DepthMismatches = {{D3DFMT_X8R8G8B8, D3DFMT_D32}, {D3DFMT_R5G6B5, D3DFMT_D32}};
    ASSERT_EQ(Start(a), S_OK);
    EXPECT_EQ(enumeration_.CurrentDevice().D32Usable, 0u);
    EXPECT_EQ(enumeration_.CurrentDevice().DepthFormat, static_cast<UINT>(D3DFMT_D16));
}

TEST_F(EnumerationTest, MultisampleFlagsAndSelectModeKeepingThePreviousType) {
    FakeAdapter a = FakeAdapter::Typical();
    a.MultiSampleTypes = {D3DMULTISAMPLE_2_SAMPLES, D3DMULTISAMPLE_16_SAMPLES};
    ASSERT_EQ(Start(a), S_OK);
    const display::DeviceInfo& d = enumeration_.CurrentDevice();
    EXPECT_EQ(d.MultisampleSupported[0], 1u);   // none
    EXPECT_EQ(d.MultisampleSupported[1], 1u);   // 2 samples
    EXPECT_EQ(d.MultisampleSupported[2], 0u);   // 3 samples
    EXPECT_EQ(d.MultisampleSupported[15], 1u);  // 16 samples

    enumeration_.SelectMode(800, 600, 32, 2);
    EXPECT_EQ(enumeration_.Selection().MultisampleType, D3DMULTISAMPLE_2_SAMPLES);
    // 4 samples unsupported: the type stays, the mode is still taken.
    enumeration_.SelectMode(1024, 768, 16, 4);
    EXPECT_EQ(enumeration_.Selection().MultisampleType, D3DMULTISAMPLE_2_SAMPLES);
    EXPECT_EQ(enumeration_.Selection().Width, 1024u);
    EXPECT_EQ(enumeration_.Selection().Format, D3DFMT_R5G6B5);
    EXPECT_TRUE(enumeration_.Selection().Changed);
    // A mode that does not exist keeps the previous one; nothing changed.
    enumeration_.SelectMode(1280, 1024, 32, 2);
    EXPECT_EQ(enumeration_.Selection().Width, 1024u);
    EXPECT_FALSE(enumeration_.Selection().Changed);
    // Type 1 is not in the table at all.
    enumeration_.SelectMode(640, 480, 32, 1);
    EXPECT_EQ(enumeration_.Selection().MultisampleType, D3DMULTISAMPLE_2_SAMPLES);
    EXPECT_EQ(enumeration_.Selection().Format, D3DFMT_X8R8G8B8);
}

TEST_F(EnumerationTest, AdaptersWithoutUsableModesAreSkipped) {
    FakeAdapter useless = FakeAdapter::Typical();
    useless.DeviceTypes.clear();
    FakeAdapter small = FakeAdapter::Typical();
    small.Modes = {FakeAdapter::Mode(320, 240, D3DFMT_X8R8G8B8)};
    d3d_->Adapters = {useless, small};
    EXPECT_EQ(enumeration_.CreateAndEnumerate(), display::kErrorNoCompatibleDevices);
    ASSERT_EQ(host_.Messages.size(), 1u);
    EXPECT_EQ(host_.Messages[0].Text, "Could not find any compatible Direct3D\ndevices.");
    EXPECT_EQ(host_.Messages[0].Caption, "Error!");
    EXPECT_EQ(host_.Messages[0].Icon, display::MessageIcon::Error);
    EXPECT_EQ(enumeration_.Direct3D(), nullptr);  // released after the failure
    EXPECT_EQ(host_.LogLines[1], "Cant Enumerate Device List");

    // The record of an adapter without modes is reused by the next one.
    d3d_->Adapters = {useless, FakeAdapter::Typical()};
    ASSERT_EQ(enumeration_.CreateAndEnumerate(), S_OK);
    EXPECT_EQ(enumeration_.AdapterCount(), 1);
}

TEST(EnumerationWithoutDirect3D, ShowsTheInitialisationError) {
    RecordingHost host;
    DisplayEnumeration enumeration;
    enumeration.SetHost(&host);
    enumeration.SetDirect3DFactory([] { return static_cast<IDirect3D8*>(nullptr); });
    EXPECT_EQ(enumeration.CreateAndEnumerate(), display::kErrorNoDirect3D);
    ASSERT_EQ(host.Messages.size(), 1u);
    EXPECT_EQ(host.Messages[0].Text.rfind("Could not initialize Direct3D.", 0), 0u);
    EXPECT_EQ(host.LogLines, std::vector<std::string>{host.Messages[0].Text});
    // Nothing to create a device on.
    D3DPRESENT_PARAMETERS pp{};
    IDirect3DDevice8* device = reinterpret_cast<IDirect3DDevice8*>(1);
    EXPECT_EQ(enumeration.CreateRenderDevice(nullptr, {}, &device, pp), display::kNoDeviceCreated);
    EXPECT_EQ(device, nullptr);
}

TEST(ErrorTexts, KnownCodesAndTheGenericRest) {
    EXPECT_STREQ(display::ErrorText(static_cast<HRESULT>(0x8200000Cu)), "Could not reset the Direct3D device.");
    EXPECT_STREQ(display::ErrorText(E_OUTOFMEMORY), "Not enough memory.");
    EXPECT_STREQ(display::ErrorText(D3DERR_OUTOFVIDEOMEMORY), "Not enough video memory.");
    EXPECT_STREQ(display::ErrorText(static_cast<HRESULT>(0x82000002u)), "Generic application error.");
    EXPECT_STREQ(display::ErrorText(E_FAIL), "Generic application error.");
}

TEST(GammaRamp, EdgeValues) {
    const D3DGAMMARAMP linear = display::GammaRampFor(100);
    for (int i = 0; i < 256; ++i) ASSERT_EQ(linear.red[i], 256 * i);
    const D3DGAMMARAMP dark = display::GammaRampFor(10);
    EXPECT_EQ(dark.green[1], 76);
    EXPECT_EQ(dark.green[255], 76 * 255);
    const D3DGAMMARAMP bright = display::GammaRampFor(200);
    EXPECT_EQ(bright.blue[0], 38325);
    EXPECT_EQ(bright.blue[255], 65355);
    EXPECT_EQ(bright.blue[128], 65355 - 106 * 127);
    // 101: k = truncate(256 - 1.5) = 254.
    EXPECT_EQ(display::GammaRampFor(101).red[0], 65355 - 254 * 255);
    // The whole byte range stays within 16 bits and rises monotonically.
    for (int g : {0, 1, 99, 150, 255}) {
        const D3DGAMMARAMP r = display::GammaRampFor(static_cast<std::uint8_t>(g));
        for (int i = 1; i < 256; ++i) ASSERT_LE(r.red[i - 1], r.red[i]) << g << " " << i;
        EXPECT_EQ(r.red[7], r.green[7]);
        EXPECT_EQ(r.red[7], r.blue[7]);
    }
}

TEST_F(EnumerationTest, CreatesFromTheChosenModeAndSetsGammaAndHooks) {
    FakeAdapter a = FakeAdapter::Typical();
    a.DepthFormats = {D3DFMT_D16, D3DFMT_D24X8};
    a.MultiSampleTypes = {D3DMULTISAMPLE_4_SAMPLES};
    a.Caps.DevCaps = 0x40;
    a.Caps.VertexShaderVersion = 0xFFFE0101u;
    ASSERT_EQ(Start(a), S_OK);
    enumeration_.SelectMode(800, 600, 32, 4);

    std::vector<std::string> order;
    display::RenderDeviceRequest request;
    request.UseDesktopSettings = false;
    request.GmCntrl = 200;
    request.InitDeviceState = [&](IDirect3DDevice8*) { order.push_back("init"); };
    request.LoadWithLoadingScreen = [&](IDirect3DDevice8*) { order.push_back("load"); };
    Ref<IDirect3DDevice8> device;
    ASSERT_EQ(Create(request, device), display::kDeviceCreated);
    ASSERT_NE(device.get(), nullptr);

    const auto create = d3d_->Log.Named("CreateDevice");
    ASSERT_EQ(create.size(), 1u);
    EXPECT_EQ(create[0].Int(3), D3DCREATE_HARDWARE_VERTEXPROCESSING);
    EXPECT_EQ(params_.BackBufferWidth, 800u);
    EXPECT_EQ(params_.BackBufferHeight, 600u);
    EXPECT_EQ(params_.BackBufferFormat, D3DFMT_X8R8G8B8);
    EXPECT_EQ(params_.AutoDepthStencilFormat, D3DFMT_D24X8);
    EXPECT_EQ(params_.MultiSampleType, D3DMULTISAMPLE_4_SAMPLES);
    EXPECT_EQ(params_.Windowed, FALSE);
    EXPECT_EQ(params_.SwapEffect, D3DSWAPEFFECT_DISCARD);
    EXPECT_EQ(params_.BackBufferCount, 1u);
    EXPECT_EQ(params_.EnableAutoDepthStencil, TRUE);

    auto* fake = d3d_->LastDevice();
    EXPECT_EQ(fake->GammaSets, 1);
    EXPECT_EQ(fake->GammaFlags, static_cast<DWORD>(D3DSGR_CALIBRATE));
    EXPECT_EQ(fake->GammaRamp.red[0], 38325);
    EXPECT_EQ(textures_->Device(), device.get());
    EXPECT_EQ(pool_->Device(), device.get());
    EXPECT_EQ(pool_->Viewport().Width, 800u);
    EXPECT_EQ(order, (std::vector<std::string>{"init", "load"}));
    EXPECT_EQ(host_.LogLines[host_.LogLines.size() - 2], "Create D3D_Device Complete");
    EXPECT_EQ(host_.LogLines.back(), "Init D3D_Device Complete");
}

TEST_F(EnumerationTest, HardwareVertexProcessingNeedsBothCapsBits) {
    struct Case {
        DWORD devCaps, vs;
        long long expected;
    } cases[] = {{0x40, 0xFFFE0100u, D3DCREATE_HARDWARE_VERTEXPROCESSING},
                 {0x10000, 0xFFFE0101u, D3DCREATE_SOFTWARE_VERTEXPROCESSING},  // T&L bit alone
                 {0x40, 0xFFFE0000u, D3DCREATE_SOFTWARE_VERTEXPROCESSING}};
    for (const Case& c : cases) {
        d3d_->Adapters.clear();
        d3d_->Log.Clear();
        FakeAdapter a = FakeAdapter::Typical();
        a.Caps.DevCaps = c.devCaps;
        a.Caps.VertexShaderVersion = c.vs;
        ASSERT_EQ(Start(a), S_OK);
        Ref<IDirect3DDevice8> device;
        ASSERT_EQ(Create({}, device), display::kDeviceCreated);
        EXPECT_EQ(d3d_->Log.Named("CreateDevice")[0].Int(3), c.expected);
    }
}

TEST_F(EnumerationTest, DesktopSettingsUseTheClientSizeAndNever24Bits) {
    FakeAdapter a = FakeAdapter::Typical();
    a.Desktop = FakeAdapter::Mode(1280, 1024, D3DFMT_R8G8B8);
    a.DepthFormats = {D3DFMT_D16, D3DFMT_D32};
    a.DepthMismatches = {{D3DFMT_R5G6B5, D3DFMT_D32}};
    ASSERT_EQ(Start(a), S_OK);
    enumeration_.SetMultisampleType(D3DMULTISAMPLE_2_SAMPLES);  // not supported: dropped at creation
    display::RenderDeviceRequest request;
    request.UseDesktopSettings = true;
    request.ClientWidth = 600;
    request.ClientHeight = 400;
    Ref<IDirect3DDevice8> device;
    ASSERT_EQ(Create(request, device), display::kDeviceCreated);
    EXPECT_EQ(params_.BackBufferWidth, 600u);
    EXPECT_EQ(params_.BackBufferHeight, 400u);
    EXPECT_EQ(params_.BackBufferFormat, D3DFMT_R5G6B5);
    EXPECT_EQ(params_.AutoDepthStencilFormat, D3DFMT_D16);  // D32 does not match R5G6B5
    EXPECT_EQ(params_.MultiSampleType, D3DMULTISAMPLE_NONE);
}

TEST_F(EnumerationTest, UnreadableDesktopFailsOnlyWithDesktopSettings) {
    FakeAdapter a = FakeAdapter::Typical();
    a.DesktopReadable = false;
    ASSERT_EQ(Start(a), S_OK);
    display::RenderDeviceRequest request;
    request.UseDesktopSettings = true;
    Ref<IDirect3DDevice8> device;
    EXPECT_EQ(Create(request, device), display::kDesktopModeUnreadable);
    EXPECT_EQ(host_.LogLines.back(), "Cant get Desktop DisplayMode!");
    EXPECT_EQ(d3d_->Log.Count("CreateDevice"), 0u);
    request.UseDesktopSettings = false;
    EXPECT_EQ(Create(request, device), display::kDeviceCreated);
}

TEST_F(EnumerationTest, SafeModeFallbackAndTotalFailure) {
    FakeAdapter a = FakeAdapter::Typical();
    a.MultiSampleTypes = {D3DMULTISAMPLE_2_SAMPLES};
    a.Caps.DevCaps = 0x40;
    a.Caps.VertexShaderVersion = 0xFFFE0101u;
    ASSERT_EQ(Start(a), S_OK);
    enumeration_.SelectMode(1024, 768, 32, 2);

    d3d_->Results.Set("CreateDevice", {D3DERR_NOTAVAILABLE});
    Ref<IDirect3DDevice8> device;
    ASSERT_EQ(Create({}, device), display::kDeviceCreated);
    const auto calls = d3d_->Log.Named("CreateDevice");
    ASSERT_EQ(calls.size(), 2u);
    EXPECT_EQ(calls[0].Int(3), D3DCREATE_HARDWARE_VERTEXPROCESSING);
    EXPECT_EQ(calls[1].Int(3), D3DCREATE_SOFTWARE_VERTEXPROCESSING);
    EXPECT_EQ(params_.BackBufferWidth, 640u);
    EXPECT_EQ(params_.BackBufferHeight, 480u);
    EXPECT_EQ(params_.BackBufferFormat, D3DFMT_R5G6B5);
    EXPECT_EQ(params_.AutoDepthStencilFormat, D3DFMT_D16);
    EXPECT_EQ(params_.MultiSampleType, D3DMULTISAMPLE_NONE);
    EXPECT_EQ(params_.BackBufferCount, 1u);  // the other fields stay
    EXPECT_EQ(host_.LogLines[2], "Cant create HAL D3D_Device, try use safe mode.");

    host_.LogLines.clear();
    d3d_->Results.Set("CreateDevice", {E_FAIL, E_FAIL});
    EXPECT_EQ(Create({}, device), display::kNoDeviceCreated);
    EXPECT_EQ(device.get(), nullptr);
    EXPECT_EQ(host_.LogLines.back(), "Cant create any HAL D3D_Device!");
}

class RecordingLists final : public display::DisplayListControls {
public:
    struct Item {
        std::string text;
        LPARAM data = -1;
    };
    void ResetContent(int control) override { lists[control].clear(); selected[control] = -1; }
    int AddString(int control, const std::string& text) override {
        lists[control].push_back({text});
        return static_cast<int>(lists[control].size()) - 1;
    }
    void SetItemData(int control, int item, LPARAM data) override { lists[control].at(item).data = data; }
    void SetCurSel(int control, int item) override { selected[control] = item; }
    std::map<int, std::vector<Item>> lists;
    std::map<int, int> selected;
};

TEST_F(EnumerationTest, FillDisplayListsListsSupportedEntriesWithTheirPositions) {
    FakeAdapter a = FakeAdapter::Typical();
    a.MultiSampleTypes = {D3DMULTISAMPLE_4_SAMPLES, D3DMULTISAMPLE_8_SAMPLES};
    ASSERT_EQ(Start(a), S_OK);
    enumeration_.SelectMode(800, 600, 16, 8);
    RecordingLists lists;
    enumeration_.FillDisplayLists(lists, [](std::string_view key) {
        return key == "none" ? std::string("None") : std::string("samples");
    });
    const auto& ms = lists.lists[1047];
    ASSERT_EQ(ms.size(), 3u);
    EXPECT_EQ(ms[0].text, "None");
    EXPECT_EQ(ms[1].text, "4 samples");
    EXPECT_EQ(ms[2].text, "8 samples");
    EXPECT_EQ(ms[2].data, 2);
    EXPECT_EQ(lists.selected[1047], 2);
    const auto& modes = lists.lists[1011];
    ASSERT_EQ(modes.size(), 6u);
    EXPECT_EQ(modes[0].text, "640 x 480 32 bits");
    EXPECT_EQ(modes[3].data, 3);
    ASSERT_GE(lists.selected[1011], 0);
    EXPECT_EQ(modes[lists.selected[1011]].text, "800 x 600 16 bits");
}

}  // namespace
