#include "display/procedural_texture.h"

#include <cmath>
#include <cstdio>

#if GRIM_HAVE_D3DX
#include "d3dutil/d3dx8.h"
#endif

namespace display {

namespace {

// The debugger output of this platform.
void DebugOutput(const char* text) { std::fputs(text, stderr); }

#if GRIM_HAVE_D3DX
void Fill2D(D3DXVECTOR4* out, D3DXVECTOR2* position, D3DXVECTOR2* texelSize, void* data) {
    auto* self = static_cast<ProceduralTexture*>(data);
    const TexelColour c = self->Texel({position->x, position->y, 0.0f}, {texelSize->x, texelSize->y, 0.0f});
    *out = D3DXVECTOR4(c.r, c.g, c.b, c.a);
}

void Fill3D(D3DXVECTOR4* out, D3DXVECTOR3* position, D3DXVECTOR3* texelSize, void* data) {
    auto* self = static_cast<ProceduralTexture*>(data);
    const TexelColour c = self->Texel({position->x, position->y, position->z},
                                      {texelSize->x, texelSize->y, texelSize->z});
    *out = D3DXVECTOR4(c.r, c.g, c.b, c.a);
}
#endif

}  // namespace

ProceduralTexture::~ProceduralTexture() {
    if (texture_ != nullptr) texture_->Release();
}

void ProceduralTexture::Keep(IDirect3DBaseTexture8* texture) {
    if (texture_ != nullptr) texture_->Release();
    texture_ = texture;
}

#if GRIM_HAVE_D3DX

HRESULT ProceduralTexture2D::Create(IDirect3DDevice8* device) {
    device_ = device;
    HRESULT hr = D3DXCheckTextureRequirements(device, &Width, &Height, &MipLevels, 0, &Format,
                                              D3DPOOL_MANAGED);
    if (FAILED(hr)) {
        DebugOutput("Can't find valid texture format.\n");
        return hr;
    }
    IDirect3DTexture8* texture = nullptr;
    hr = device->CreateTexture(Width, Height, MipLevels, 0, Format, D3DPOOL_MANAGED, &texture);
    if (FAILED(hr) || texture == nullptr) {
        DebugOutput("Can't create texture\n");
        return FAILED(hr) ? hr : E_FAIL;
    }
    hr = D3DXFillTexture(texture, Fill2D, this);
    if (FAILED(hr)) {
        texture->Release();
        DebugOutput("Can't create texture\n");
        return hr;
    }
    Keep(texture);
    return S_OK;
}

HRESULT ProceduralVolumeTexture::Create(IDirect3DDevice8* device) {
    device_ = device;
    HRESULT hr = D3DXCheckVolumeTextureRequirements(device, &Width, &Height, &Depth, &MipLevels, 0,
                                                    &Format, D3DPOOL_MANAGED);
    if (FAILED(hr)) {
        DebugOutput("Can't find valid volume texture format.\n");
        return hr;
    }
    IDirect3DVolumeTexture8* texture = nullptr;
    hr = device->CreateVolumeTexture(Width, Height, Depth, MipLevels, 0, Format, D3DPOOL_MANAGED,
                                     &texture);
    if (FAILED(hr) || texture == nullptr) {
        DebugOutput("Can't create volume texture\n");
        return FAILED(hr) ? hr : E_FAIL;
    }
    hr = D3DXFillVolumeTexture(texture, Fill3D, this);
    if (FAILED(hr)) {
        texture->Release();
        DebugOutput("Can't create volume texture\n");
        return hr;
    }
    Keep(texture);
    return S_OK;
}

HRESULT ProceduralCubeTexture::Create(IDirect3DDevice8* device) {
    device_ = device;
    HRESULT hr = D3DXCheckCubeTextureRequirements(device, &Edge, &MipLevels, 0, &Format,
                                                  D3DPOOL_MANAGED);
    if (FAILED(hr)) {
        DebugOutput("Can't find valid cube texture format.\n");
        return hr;
    }
    IDirect3DCubeTexture8* texture = nullptr;
    hr = device->CreateCubeTexture(Edge, MipLevels, 0, Format, D3DPOOL_MANAGED, &texture);
    if (FAILED(hr) || texture == nullptr) {
        DebugOutput("Can't create cube texture\n");
        return FAILED(hr) ? hr : E_FAIL;
    }
    hr = D3DXFillCubeTexture(texture, Fill3D, this);
    if (FAILED(hr)) {
        texture->Release();
        DebugOutput("Can't create cube texture\n");
        return hr;
    }
    Keep(texture);
    return S_OK;
}

#else  // built without the utility library: procedural textures are unavailable

HRESULT ProceduralTexture2D::Create(IDirect3DDevice8* device) {
    device_ = device;
    DebugOutput("Can't create texture\n");
    return E_NOTIMPL;
}
HRESULT ProceduralVolumeTexture::Create(IDirect3DDevice8* device) {
    device_ = device;
    DebugOutput("Can't create volume texture\n");
    return E_NOTIMPL;
}
HRESULT ProceduralCubeTexture::Create(IDirect3DDevice8* device) {
    device_ = device;
    DebugOutput("Can't create cube texture\n");
    return E_NOTIMPL;
}

#endif

TexelColour NormalizationCubeMap::Texel(const TexelPoint& p, const TexelPoint& /*texelSize*/) {
    const float length = std::sqrt(p.x * p.x + p.y * p.y + p.z * p.z);
    if (!(length > 0.0f)) return {0.5f, 0.5f, 0.5f, 1.0f};
    return {p.x / length * 0.5f + 0.5f, p.y / length * 0.5f + 0.5f, p.z / length * 0.5f + 0.5f, 1.0f};
}

}  // namespace display
