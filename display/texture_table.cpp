#include "display/texture_table.h"

#include <algorithm>
#include <cstring>
#include <string>

namespace display {

namespace {

// Copies into a fixed 128-character field, always terminated.
void CopyName(char (&field)[kTextureNameLength], std::string_view text) {
    const std::size_t n = std::min(text.size(), kTextureNameLength - 1);
    std::memcpy(field, text.data(), n);
    field[n] = '\0';
}

// Compares against a field as it would have been stored.
bool SameName(const char (&field)[kTextureNameLength], std::string_view text) {
    const std::size_t n = std::min(text.size(), kTextureNameLength - 1);
    return std::strlen(field) == n && std::memcmp(field, text.data(), n) == 0;
}

TextureHandle MakeHandle(const TextureEntry* entry, int index) {
    TextureHandle handle;
    if (entry != nullptr) {
        std::memcpy(handle.Name, entry->Name, kTextureNameLength);
        std::memcpy(handle.Group, entry->Group, kTextureNameLength);
    }
    handle.Index = index;
    return handle;
}

}  // namespace

TextureTable::TextureTable() : host_(&NullDisplayHost()), factory_(DefaultTextureFactory()) {}

void TextureTable::Init(IDirect3D8* direct3D, IDirect3DDevice8* device, D3DFORMAT backBufferFormat,
                        HWND window) {
    if (device == nullptr) return;
    window_ = window;
    device_ = device;
    D3DCAPS8 caps{};
    if (SUCCEEDED(device->GetDeviceCaps(&caps))) maxTextureSize_ = caps.MaxTextureWidth;
    backBufferFormat_ = backBufferFormat;

    const auto supported = [&](D3DFORMAT format) {
        return direct3D != nullptr &&
               SUCCEEDED(direct3D->CheckDeviceFormat(0, D3DDEVTYPE_HAL, backBufferFormat, 0,
                                                     D3DRTYPE_TEXTURE, format));
    };
    fallbackFormat_ = supported(D3DFMT_A1R5G5B5) ? D3DFMT_A1R5G5B5 : D3DFMT_R5G6B5;
    compressedFormat_ = D3DFMT_UNKNOWN;
    compressionAvailable_ = false;
    for (D3DFORMAT format : {D3DFMT_DXT5, D3DFMT_DXT4, D3DFMT_DXT1, D3DFMT_DXT2, D3DFMT_DXT3}) {
        if (supported(format)) {
            compressedFormat_ = format;
            compressionAvailable_ = true;
            break;
        }
    }
}

D3DFORMAT TextureTable::RequestedImageFormat() const {
    return compressionAllowed_ ? compressedFormat_ : D3DFMT_UNKNOWN;
}

int TextureTable::TakeEntry() {
    if (count_ >= kMaxEntries) return -1;
    const int index = count_++;
    entries_[index] = TextureEntry{};
    return index;
}

void TextureTable::Warn(HRESULT hr, const char* name) {
    if (quiet_) return;
    const std::string text =
        hr == D3DERR_OUTOFVIDEOMEMORY
            ? "Not enought video memory to load " + std::string(name) +
                  ". There why some objects will be white color."
            : "Texture " + std::string(name) + " not loaded. There why some objects will be white color.";
    host_->ShowMessage(window_, text, "Warning!", MessageIcon::Warning);
    host_->HideCursor();
}

TextureHandle TextureTable::LoadFromMemory(const void* data, UINT size, std::string_view name,
                                           std::string_view group, bool reuse) {
    if (device_ == nullptr) return TextureHandle{};
    if (reuse) {
        for (int i = 0; i < count_; ++i) {
            const TextureEntry& e = entries_[i];
            if (e.Kind == kTextureImage && SameName(e.Name, name) && SameName(e.Group, group))
                return MakeHandle(&e, i);
        }
    }
    const int index = TakeEntry();
    if (index < 0) return TextureHandle{};
    TextureEntry& entry = entries_[index];
    CopyName(entry.Name, name);
    CopyName(entry.Group, group);
    entry.Kind = kTextureImage;

    IDirect3DTexture8* texture = nullptr;
    HRESULT hr = E_FAIL;
    if (data != nullptr && size > 0 && factory_.FromFileInMemory != nullptr) {
        hr = factory_.FromFileInMemory(device_, data, size, 0, 0, RequestedImageFormat(), &texture);
        if (FAILED(hr)) {
            texture = nullptr;
            const UINT s = std::min<UINT>(256, maxTextureSize_);
            hr = factory_.FromFileInMemory(device_, data, size, s, s, fallbackFormat_, &texture);
        }
    }
    if (FAILED(hr) || texture == nullptr) {
        entry.Texture = nullptr;
        entry.Loaded = false;
        Warn(hr, entry.Name);
    } else {
        entry.Texture = texture;
        entry.Loaded = true;
    }
    return MakeHandle(&entry, index);
}

TextureHandle TextureTable::CreateBlank(UINT width, UINT height, int kind, bool reuse) {
    if (device_ == nullptr || (kind != kTextureRenderTarget && kind != kTextureDepthSurface))
        return TextureHandle{};
    int index = -1;
    if (reuse) {
        for (int i = 0; i < count_; ++i) {
            const TextureEntry& e = entries_[i];
            if (e.Kind != kind) continue;
            const bool fits = kind == kTextureRenderTarget
                                  ? e.Width == width && e.Height == height
                                  : e.Width >= width && e.Height >= height;
            if (!fits) continue;
            if (e.Loaded) return MakeHandle(&e, i);
            index = i;
            break;
        }
    }
    if (index < 0) index = TakeEntry();
    if (index < 0) return TextureHandle{};

    TextureEntry& entry = entries_[index];
    entry = TextureEntry{};
    entry.Width = width;
    entry.Height = height;
    entry.Format = backBufferFormat_;
    entry.Kind = kind;

    const auto create = [&](UINT w, UINT h) -> bool {
        if (kind == kTextureRenderTarget) {
            IDirect3DTexture8* texture = nullptr;
            if (factory_.Blank == nullptr ||
                FAILED(factory_.Blank(device_, w, h, 1, D3DUSAGE_RENDERTARGET, backBufferFormat_,
                                      D3DPOOL_DEFAULT, &texture)) ||
                texture == nullptr)
                return false;
            entry.Texture = texture;
        } else {
            IDirect3DSurface8* surface = nullptr;
            if (FAILED(device_->CreateDepthStencilSurface(w, h, D3DFMT_D16, D3DMULTISAMPLE_NONE,
                                                          &surface)) ||
                surface == nullptr)
                return false;
            entry.Surface = surface;
        }
        entry.Width = w;
        entry.Height = h;
        return true;
    };
    if (!create(width, height)) {
        const UINT s = std::min<UINT>(128, maxTextureSize_);
        if (!create(s, s)) {
            Warn(E_FAIL, entry.Name);
            return TextureHandle{};
        }
    }
    entry.Loaded = true;
    return MakeHandle(&entry, index);
}

void TextureTable::BindTexture(DWORD stage, int index) {
    if (device_ == nullptr || stage > 7) return;
    if (index == -1) {
        device_->SetTexture(stage, nullptr);
        return;
    }
    if (index < 0 || index >= count_) return;
    device_->SetTexture(stage, entries_[index].Texture);
}

IDirect3DSurface8* TextureTable::GetSurface(int index, UINT level) {
    if (index < 0 || index >= count_) return nullptr;
    TextureEntry& entry = entries_[index];
    if (entry.Kind == kTextureDepthSurface) {
        if (entry.Surface != nullptr) entry.Surface->AddRef();
        return entry.Surface;
    }
    if (entry.Texture == nullptr) return nullptr;
    IDirect3DSurface8* surface = nullptr;
    if (FAILED(entry.Texture->GetSurfaceLevel(level, &surface))) return nullptr;
    return surface;
}

void TextureTable::ReleaseAll() {
    for (int i = 0; i < count_; ++i) {
        TextureEntry& entry = entries_[i];
        if (entry.Texture != nullptr) entry.Texture->Release();
        if (entry.Surface != nullptr) entry.Surface->Release();
        entry.Texture = nullptr;
        entry.Surface = nullptr;
        entry.Loaded = false;
    }
}

const TextureEntry* TextureTable::Entry(int index) const {
    return index >= 0 && index < count_ ? &entries_[index] : nullptr;
}

IDirect3DTexture8* TextureTable::Texture(int index) const {
    const TextureEntry* entry = Entry(index);
    return entry ? entry->Texture : nullptr;
}

TextureTable& Textures() {
    static TextureTable* table = new TextureTable();  // lives until process exit
    return *table;
}

}  // namespace display
