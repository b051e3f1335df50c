// The process-wide table of every texture of the program (at most 1000 entries, never removed).
// Users get a `TextureHandle` back and bind by index; the table picks the pixel format (a
// compressed one when the device has it), retries a failed image at a reduced size and format,
// and warns the user once per texture that could not be created.
#pragma once

#include <cstdint>
#include <string_view>

#include "display/display_host.h"
#include "platform/d3d8/d3d8.h"

namespace display {

constexpr std::size_t kTextureNameLength = 128;

struct TextureHandle {
    char Name[kTextureNameLength] = {};
    char Group[kTextureNameLength] = {};
    int Index = -1;  // -1: no texture
};

enum TextureKind : int { kTextureImage = 0, kTextureRenderTarget = 1, kTextureDepthSurface = 2 };

struct TextureEntry {
    IDirect3DTexture8* Texture = nullptr;
    IDirect3DSurface8* Surface = nullptr;  // depth surfaces
    char Name[kTextureNameLength] = {};
    char Group[kTextureNameLength] = {};
    bool Loaded = false;
    int Kind = kTextureImage;
    UINT Width = 0;
    UINT Height = 0;
    D3DFORMAT Format = D3DFMT_UNKNOWN;
};

// How textures are made. The defaults call the utility library; tests put in their own.
struct TextureFactory {
    // D3DXCreateTextureFromFileInMemoryEx with mip levels 0 (full chain), no usage, the managed
    // pool, default filters and no colour key; width/height 0 keep the image's own size.
    HRESULT (*FromFileInMemory)(IDirect3DDevice8* device, const void* data, UINT size, UINT width,
                                UINT height, D3DFORMAT format, IDirect3DTexture8** texture);
    // D3DXCreateTexture.
    HRESULT (*Blank)(IDirect3DDevice8* device, UINT width, UINT height, UINT mipLevels, DWORD usage,
                     D3DFORMAT format, D3DPOOL pool, IDirect3DTexture8** texture);
};
TextureFactory DefaultTextureFactory();

class TextureTable {
public:
    static constexpr int kMaxEntries = 1000;

    TextureTable();
    ~TextureTable() = default;
    TextureTable(const TextureTable&) = delete;
    TextureTable& operator=(const TextureTable&) = delete;

    void SetHost(DisplayHost* host) { host_ = host ? host : &NullDisplayHost(); }
    void SetFactory(const TextureFactory& factory) { factory_ = factory; }
    void SetQuiet(bool quiet) { quiet_ = quiet; }
    void SetCompressionAllowed(bool allowed) { compressionAllowed_ = allowed; }

    // Reads the caps and picks the fallback and compressed formats; does nothing without a device.
    void Init(IDirect3D8* direct3D, IDirect3DDevice8* device, D3DFORMAT backBufferFormat,
              HWND window);

    TextureHandle LoadFromMemory(const void* data, UINT size, std::string_view name,
                                 std::string_view group, bool reuse);
    // kind 1: render-target texture; kind 2: depth-stencil surface.
    TextureHandle CreateBlank(UINT width, UINT height, int kind, bool reuse);

    // Index -1 binds no texture; other indices outside the table, or stages outside 0..7, do nothing.
    void BindTexture(DWORD stage, int index);
    // The depth surface of a kind-2 entry, or level `level` of the entry's texture, with a
    // reference added for the caller (as GetSurfaceLevel does); null when there is none.
    IDirect3DSurface8* GetSurface(int index, UINT level);
    void ReleaseAll();

    int Count() const { return count_; }
    const TextureEntry* Entry(int index) const;
    IDirect3DTexture8* Texture(int index) const;
    bool CompressionAvailable() const { return compressionAvailable_; }
    D3DFORMAT CompressedFormat() const { return compressedFormat_; }
    D3DFORMAT FallbackFormat() const { return fallbackFormat_; }
    UINT MaxTextureSize() const { return maxTextureSize_; }
    IDirect3DDevice8* Device() const { return device_; }

private:
    int TakeEntry();
    void Warn(HRESULT hr, const char* name);
    D3DFORMAT RequestedImageFormat() const;

    bool compressionAvailable_ = false;
    bool compressionAllowed_ = true;
    D3DFORMAT backBufferFormat_ = D3DFMT_UNKNOWN;
    D3DFORMAT compressedFormat_ = D3DFMT_UNKNOWN;
    D3DFORMAT fallbackFormat_ = D3DFMT_R5G6B5;
    UINT maxTextureSize_ = 0;
    int count_ = 0;
    TextureEntry entries_[kMaxEntries];
    IDirect3DDevice8* device_ = nullptr;
    HWND window_ = nullptr;
    bool quiet_ = false;
    DisplayHost* host_;
    TextureFactory factory_;
};

// The process-wide table.
TextureTable& Textures();

}  // namespace display
