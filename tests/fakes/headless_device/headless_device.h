// A fixture for pixel tests: a device of our Direct3D 8 implementation drawing headless (EGL
// surfaceless), the front buffer read back as A8R8G8B8 words, and the release counts every pixel
// test checks when it ends.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "platform/d3d8/d3d8.h"

namespace headless_test {

// What the headless window system reports for every window while a test's device is open.
struct HeadlessWindow {
    int width = 1024, height = 768;
    bool visible = true;
};

class HeadlessDeviceTest : public ::testing::Test {
protected:
    ~HeadlessDeviceTest() override;

    // Routes the GL layer to EGL surfaceless, every window reading as window_. False when this
    // machine has no such context; the caller skips then.
    bool UseHeadlessWindows();

    // Creates d3d_, a full-screen device_ on window_ (its size is the back buffer's, X8R8G8B8 with
    // a D24X8 depth buffer) and capture_. Failures are fatal to the test (check HasFatalFailure()).
    void OpenDevice();

    // Releases what OpenDevice made, expecting the device and the Direct3D object to go with their
    // last reference; the pointers are null afterwards, so OpenDevice can run again.
    void CloseDevice();

    void TearDown() override { CloseDevice(); }

    // The front buffer as it is, row 0 at the top.
    std::vector<std::uint32_t> FrontBuffer();

    // Presents, then returns the front buffer.
    std::vector<std::uint32_t> Frame();

    HeadlessWindow window_;
    IDirect3D8* d3d_ = nullptr;
    IDirect3DDevice8* device_ = nullptr;
    IDirect3DSurface8* capture_ = nullptr;
    D3DPRESENT_PARAMETERS params_{};
};

}  // namespace headless_test
