#include "display/loading_screen.h"

#include <cstring>

namespace display {

namespace {

struct QuadVertex {  // kScreenQuadFvf, 28 bytes
    float x, y, z, rhw;
    D3DCOLOR colour;
    float u, v;
};
static_assert(sizeof(QuadVertex) == 28);

constexpr int kImageCount = 5;
constexpr int kImageIds[kImageCount] = {kLoadingBackground, kLoadingTitle, kLoadingBottomLeft,
                                        kLoadingTopLeft, kLoadingTopRight};

void Log(const LoadingScreenContext& context, std::string_view line) {
    if (context.Host != nullptr) context.Host->Log(line);
}

IDirect3DTexture8* LoadImage(IDirect3DDevice8* device, const LoadingScreenContext& context, int id) {
    const host::ResourceBytes bytes =
        context.Image ? context.Image(id) : host::FindResource("CustomData", id);
    auto create = context.FromFileInMemory ? context.FromFileInMemory
                                           : DefaultTextureFactory().FromFileInMemory;
    if (bytes.data == nullptr || bytes.size == 0 || create == nullptr) return nullptr;
    IDirect3DTexture8* texture = nullptr;
    HRESULT hr = create(device, bytes.data, bytes.size, 0, 0, D3DFMT_UNKNOWN, &texture);
    if (FAILED(hr) || texture == nullptr) {
        if (texture != nullptr) texture->Release();
        texture = nullptr;
        // A device that cannot take the image at its own size may still take a small 16-bit one.
        hr = create(device, bytes.data, bytes.size, 128, 128, D3DFMT_R5G6B5, &texture);
        if (FAILED(hr)) {
            if (texture != nullptr) texture->Release();
            texture = nullptr;
        }
    }
    return texture;
}

void WriteInitialQuad(VertexBufferPool& pool, int handle) {
    auto* bytes = static_cast<std::uint8_t*>(pool.LockVertices(handle));
    if (bytes == nullptr) return;
    const QuadVertex vertices[4] = {
        {0.0f, 0.0f, 0.99f, 1.0f, 0xFFFFFFFFu, 0.0f, 1.0f},
        {0.0f, 0.0f, 0.99f, 1.0f, 0xFFFFFFFFu, 0.0f, 0.0f},
        {0.0f, 0.0f, 0.99f, 1.0f, 0xFFFFFFFFu, 1.0f, 1.0f},
        {0.0f, 0.0f, 0.99f, 1.0f, 0xFFFFFFFFu, 1.0f, 0.0f},
    };
    std::memcpy(bytes, vertices, sizeof vertices);
    pool.UnlockVertices(handle);
}

}  // namespace

ScreenSize& LoadingScreenSize() {
    static ScreenSize size;
    return size;
}

HRESULT ShowLoadingScreen(IDirect3DDevice8* device, int& quadHandle, int& frameParity,
                          const LoadingScreenContext& context) {
    if (device == nullptr) return S_OK;
    VertexBufferPool& pool = context.Pool != nullptr ? *context.Pool : VertexBuffers();

    Log(context, "Load Not_table_alpha texture complete");
    pool.CreateVertexSlot(quadHandle, kScreenQuadFvf, 4);
    WriteInitialQuad(pool, quadHandle);

    IDirect3DTexture8* textures[kImageCount] = {};
    for (int i = 0; i < kImageCount; ++i) textures[i] = LoadImage(device, context, kImageIds[i]);
    Log(context, "Load Loading Texture complete.");

    DWORD savedBlend = 0, savedSrc = 0, savedDest = 0, savedAlphaOp = 0;
    device->GetRenderState(D3DRS_ALPHABLENDENABLE, &savedBlend);
    device->GetRenderState(D3DRS_SRCBLEND, &savedSrc);
    device->GetRenderState(D3DRS_DESTBLEND, &savedDest);
    device->GetTextureStageState(0, D3DTSS_ALPHAOP, &savedAlphaOp);

    // Corner places in texture order after the background: title, bottom left, top left, top right.
    struct Corner {
        int texture;
        bool right, bottom;
    };
    constexpr Corner kCorners[4] = {{1, true, true}, {2, false, true}, {3, false, false}, {4, true, false}};

    for (int pass = 0; pass < 2; ++pass) {
        device->Clear(0, nullptr, D3DCLEAR_ZBUFFER, 0, 1.0f, 0);
        device->BeginScene();
        D3DVIEWPORT8 viewport{};
        device->GetViewport(&viewport);
        device->SetRenderState(D3DRS_ZENABLE, FALSE);

        pool.SetScreenQuad(quadHandle, 0.0f, 0.0f, 1.0f, 1.0f, 0xFFFFFFFFu, 0.0f, 0.0f, 1.0f, 1.0f);
        device->SetVertexShader(kScreenQuadFvf);
        pool.SelectVertices(0, quadHandle);
        device->SetTexture(0, textures[0]);
        device->SetRenderState(D3DRS_ALPHABLENDENABLE, FALSE);
        device->DrawPrimitive(D3DPT_TRIANGLESTRIP, 0, 2);

        device->SetRenderState(D3DRS_ALPHABLENDENABLE, TRUE);
        device->SetRenderState(D3DRS_SRCBLEND, D3DBLEND_SRCALPHA);
        device->SetRenderState(D3DRS_DESTBLEND, D3DBLEND_INVSRCALPHA);

        LoadingScreenSize() = ScreenSize{viewport.Width, viewport.Height};
        // The corners keep their pixel size; a viewport of zero size leaves them degenerate.
        const float w = viewport.Width > 0 ? kCornerWidthPixels / static_cast<float>(viewport.Width) : 0.0f;
        const float h = viewport.Height > 0 ? kCornerHeightPixels / static_cast<float>(viewport.Height) : 0.0f;
        for (const Corner& corner : kCorners) {
            pool.SetScreenQuad(quadHandle, corner.right ? 1.0f - w : 0.0f, corner.bottom ? 1.0f - h : 0.0f,
                               w, h, 0xFFFFFFFFu, 0.0f, 0.0f, 1.0f, 1.0f);
            device->SetTexture(0, textures[corner.texture]);
            device->SetTextureStageState(0, D3DTSS_ALPHAOP, D3DTOP_MODULATE);
            device->DrawPrimitive(D3DPT_TRIANGLESTRIP, 0, 2);
        }

        device->SetRenderState(D3DRS_ZENABLE, TRUE);
        device->EndScene();
        frameParity = 1 - frameParity;
        device->Present(nullptr, nullptr, nullptr, nullptr);
    }
    Log(context, "Draw Loading Screen complete.");

    device->SetTexture(0, nullptr);
    for (IDirect3DTexture8*& texture : textures) {
        if (texture != nullptr) texture->Release();
        texture = nullptr;
    }
    Log(context, "Unload Loading Data complete.");

    device->SetRenderState(D3DRS_ALPHABLENDENABLE, savedBlend);
    device->SetRenderState(D3DRS_SRCBLEND, savedSrc);
    device->SetRenderState(D3DRS_DESTBLEND, savedDest);
    device->SetTextureStageState(0, D3DTSS_ALPHAOP, savedAlphaOp);
    return S_OK;
}

}  // namespace display
