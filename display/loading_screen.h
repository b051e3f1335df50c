// The loading screen: a still picture put into both buffers of the swap chain right after the
// device exists, so something is on screen while the scene loads. A background image stretched
// over the whole viewport, a 256 x 128 title picture in the bottom-right corner and three
// 256 x 128 corner places (transparent images by default). The textures are created directly
// from the carried images and released again before the call returns; the screen quad it creates
// in the vertex buffer pool stays there for the overlay's later screen-space drawing.
#pragma once

#include <cstdint>
#include <functional>

#include "display/display_host.h"
#include "display/texture_table.h"
#include "display/vertex_buffer_pool.h"
#include "platform/d3d8/d3d8.h"
#include "platform/host/resources.h"

namespace display {

// Ids of the carried "CustomData" images, in loading order.
inline constexpr int kLoadingBackground = 482;   // stretched over the viewport
inline constexpr int kLoadingTitle = 485;        // bottom right
inline constexpr int kLoadingBottomLeft = 486;
inline constexpr int kLoadingTopLeft = 488;
inline constexpr int kLoadingTopRight = 487;

// Pixel size of each corner picture, whatever the viewport.
inline constexpr float kCornerWidthPixels = 256.0f;
inline constexpr float kCornerHeightPixels = 128.0f;

// The vertex format of the screen quad: pre-transformed position, diffuse colour, one uv set.
inline constexpr DWORD kScreenQuadFvf = D3DFVF_XYZRHW | D3DFVF_DIFFUSE | D3DFVF_TEX1;

// The viewport size last seen by the loading screen (process-wide; 0 before it ran).
struct ScreenSize {
    UINT Width = 0;
    UINT Height = 0;
};
ScreenSize& LoadingScreenSize();

// Everything the loading screen reaches outside the device; the defaults are the process-wide
// pool, the carried resources and the utility library's image decoder.
struct LoadingScreenContext {
    DisplayHost* Host = nullptr;                 // log lines; null: none
    VertexBufferPool* Pool = nullptr;            // null: VertexBuffers()
    std::function<host::ResourceBytes(int id)> Image;  // empty: FindResource("CustomData", id)
    // Texture creation with mip chain, managed pool and default filters; null: the default factory.
    HRESULT (*FromFileInMemory)(IDirect3DDevice8* device, const void* data, UINT size, UINT width,
                                UINT height, D3DFORMAT format, IDirect3DTexture8** texture) = nullptr;
};

// Creates (or re-creates) the screen quad in `quadHandle`, draws the picture twice (toggling
// `frameParity` after each present), releases its textures and restores the blend states and
// stage 0's alpha operation it changed. Returns 0; does nothing without a device.
HRESULT ShowLoadingScreen(IDirect3DDevice8* device, int& quadHandle, int& frameParity,
                          const LoadingScreenContext& context = {});

}  // namespace display
