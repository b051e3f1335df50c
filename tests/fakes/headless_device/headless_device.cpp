#include "fakes/headless_device/headless_device.h"

#include <cstring>

#include "platform/gl/gl_window_system.h"

namespace headless_test {

namespace {
// The window of the test now running; the query outlives fixtures, so it reads through this.
HeadlessWindow* g_window = nullptr;
}  // namespace

HeadlessDeviceTest::~HeadlessDeviceTest() {
    if (g_window == &window_) g_window = nullptr;
}

bool HeadlessDeviceTest::UseHeadlessWindows() {
    g_window = &window_;
    gl::HeadlessOptions options;
    options.queryWindow = [](HWND, int& w, int& h, bool& visible) {
        if (g_window == nullptr) return false;
        w = g_window->width;
        h = g_window->height;
        visible = g_window->visible;
        return true;
    };
    gl::UseHeadlessWindowSystem(options);
    return gl::HeadlessContextAvailable();
}

void HeadlessDeviceTest::OpenDevice() {
    d3d_ = Direct3DCreate8(D3D_SDK_VERSION);
    ASSERT_NE(d3d_, nullptr);
    params_ = {};
    params_.BackBufferWidth = static_cast<UINT>(window_.width);
    params_.BackBufferHeight = static_cast<UINT>(window_.height);
    params_.BackBufferFormat = D3DFMT_X8R8G8B8;
    params_.BackBufferCount = 1;
    params_.SwapEffect = D3DSWAPEFFECT_DISCARD;
    params_.hDeviceWindow = reinterpret_cast<HWND>(&window_);
    params_.Windowed = FALSE;
    params_.EnableAutoDepthStencil = TRUE;
    params_.AutoDepthStencilFormat = D3DFMT_D24X8;
    ASSERT_EQ(d3d_->CreateDevice(0, D3DDEVTYPE_HAL, params_.hDeviceWindow, D3DCREATE_SOFTWARE_VERTEXPROCESSING,
                                 &params_, &device_),
              D3D_OK);
    ASSERT_EQ(device_->CreateImageSurface(params_.BackBufferWidth, params_.BackBufferHeight, D3DFMT_A8R8G8B8,
                                          &capture_),
              D3D_OK);
}

void HeadlessDeviceTest::CloseDevice() {
    if (capture_ != nullptr) capture_->Release();
    if (device_ != nullptr) {
        EXPECT_EQ(device_->Release(), 0u);
    }
    if (d3d_ != nullptr) {
        EXPECT_EQ(d3d_->Release(), 0u);
    }
    capture_ = nullptr;
    device_ = nullptr;
    d3d_ = nullptr;
}

std::vector<std::uint32_t> HeadlessDeviceTest::FrontBuffer() {
    const UINT width = params_.BackBufferWidth, height = params_.BackBufferHeight;
    EXPECT_EQ(device_->GetFrontBuffer(capture_), D3D_OK);
    D3DLOCKED_RECT lr{};
    EXPECT_EQ(capture_->LockRect(&lr, nullptr, D3DLOCK_READONLY), D3D_OK);
    std::vector<std::uint32_t> pixels(static_cast<std::size_t>(width) * height);
    for (UINT y = 0; y < height; ++y)
        std::memcpy(&pixels[static_cast<std::size_t>(y) * width], static_cast<std::uint8_t*>(lr.pBits) + y * lr.Pitch,
                    width * 4u);
    capture_->UnlockRect();
    return pixels;
}

std::vector<std::uint32_t> HeadlessDeviceTest::Frame() {
    EXPECT_EQ(device_->Present(nullptr, nullptr, nullptr, nullptr), D3D_OK);
    return FrontBuffer();
}

}  // namespace headless_test
