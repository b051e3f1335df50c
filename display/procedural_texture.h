// Textures computed texel by texel: a subclass supplies the colour of one texel, the base creates
// the texture in a format the device supports and fills every level (and face) through the
// utility library. 2D, volume and cube variants; `NormalizationCubeMap` is complete in itself.
#pragma once

#include "platform/d3d8/d3d8.h"

namespace display {

struct TexelPoint {
    float x = 0.0f, y = 0.0f, z = 0.0f;
};
struct TexelColour {
    float r = 0.0f, g = 0.0f, b = 0.0f, a = 0.0f;
};

class ProceduralTexture {
public:
    virtual ~ProceduralTexture();
    ProceduralTexture(const ProceduralTexture&) = delete;
    ProceduralTexture& operator=(const ProceduralTexture&) = delete;

    // 0 on success (the texture is kept), otherwise the failing call's result.
    virtual HRESULT Create(IDirect3DDevice8* device) = 0;
    // The colour of the texel centred at `position` (texture coordinates for 2D, a direction for
    // cubes); z is 0 for 2D textures.
    virtual TexelColour Texel(const TexelPoint& position, const TexelPoint& texelSize) = 0;

    IDirect3DBaseTexture8* Texture() const { return texture_; }

    D3DFORMAT Format = D3DFMT_A8R8G8B8;
    UINT MipLevels = 0;
    UINT Width = 1;
    UINT Height = 1;
    UINT Depth = 1;  // volumes
    UINT Edge = 1;   // cubes

protected:
    ProceduralTexture() = default;
    void Keep(IDirect3DBaseTexture8* texture);

    IDirect3DDevice8* device_ = nullptr;
    IDirect3DBaseTexture8* texture_ = nullptr;  // owned
};

class ProceduralTexture2D : public ProceduralTexture {
public:
    HRESULT Create(IDirect3DDevice8* device) override;
};

class ProceduralVolumeTexture : public ProceduralTexture {
public:
    HRESULT Create(IDirect3DDevice8* device) override;
};

class ProceduralCubeTexture : public ProceduralTexture {
public:
    HRESULT Create(IDirect3DDevice8* device) override;
};

// Each texel holds its own direction: normalise(d) * 0.5 + 0.5, alpha 1.
class NormalizationCubeMap : public ProceduralCubeTexture {
public:
    NormalizationCubeMap() { Edge = 128; }
    TexelColour Texel(const TexelPoint& position, const TexelPoint& texelSize) override;
};

}  // namespace display
