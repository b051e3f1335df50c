#include "d3dutil/d3dx8tex.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <initializer_list>

#include "d3dutil/image.h"
#include "d3dutil/image_ops.h"

using d3dutil::Image;
using d3dutil::PixelFormat;
using d3dutil::ResampleFilter;

// The image layer numbers its formats as D3DFORMAT; keep the two in step.
static_assert(static_cast<std::uint32_t>(PixelFormat::A8R8G8B8) == D3DFMT_A8R8G8B8);
static_assert(static_cast<std::uint32_t>(PixelFormat::X8R8G8B8) == D3DFMT_X8R8G8B8);
static_assert(static_cast<std::uint32_t>(PixelFormat::R8G8B8) == D3DFMT_R8G8B8);
static_assert(static_cast<std::uint32_t>(PixelFormat::R5G6B5) == D3DFMT_R5G6B5);
static_assert(static_cast<std::uint32_t>(PixelFormat::X1R5G5B5) == D3DFMT_X1R5G5B5);
static_assert(static_cast<std::uint32_t>(PixelFormat::A1R5G5B5) == D3DFMT_A1R5G5B5);
static_assert(static_cast<std::uint32_t>(PixelFormat::A4R4G4B4) == D3DFMT_A4R4G4B4);
static_assert(static_cast<std::uint32_t>(PixelFormat::X4R4G4B4) == D3DFMT_X4R4G4B4);
static_assert(static_cast<std::uint32_t>(PixelFormat::A8) == D3DFMT_A8);
static_assert(static_cast<std::uint32_t>(PixelFormat::L8) == D3DFMT_L8);
static_assert(static_cast<std::uint32_t>(PixelFormat::A8L8) == D3DFMT_A8L8);
static_assert(static_cast<std::uint32_t>(PixelFormat::DXT1) == D3DFMT_DXT1);
static_assert(static_cast<std::uint32_t>(PixelFormat::DXT2) == D3DFMT_DXT2);
static_assert(static_cast<std::uint32_t>(PixelFormat::DXT3) == D3DFMT_DXT3);
static_assert(static_cast<std::uint32_t>(PixelFormat::DXT4) == D3DFMT_DXT4);
static_assert(static_cast<std::uint32_t>(PixelFormat::DXT5) == D3DFMT_DXT5);

namespace {

constexpr UINT kDefaultSize = 256;
constexpr UINT kFallbackMaxSize = 4096;

PixelFormat ToPixel(D3DFORMAT f) { return static_cast<PixelFormat>(static_cast<std::uint32_t>(f)); }

bool IsDefault(UINT v) { return v == 0 || v == D3DX_DEFAULT; }

UINT RoundUpPow2(UINT v) { return v <= 1 ? 1 : std::bit_ceil(v); }

UINT FullChain(UINT w, UINT h, UINT d = 1) {
  UINT largest = std::max({w, h, d, 1u});
  return static_cast<UINT>(std::bit_width(largest));
}

struct DeviceLimits {
  D3DCAPS8 caps{};
  bool haveCaps = false;
};

DeviceLimits ReadLimits(LPDIRECT3DDEVICE8 device) {
  DeviceLimits l;
  l.haveCaps = SUCCEEDED(device->GetDeviceCaps(&l.caps));
  return l;
}

// Asks the device's Direct3D object whether it takes format as a resource of type. A device that
// cannot answer is trusted with the format.
bool FormatSupported(LPDIRECT3DDEVICE8 device, DWORD usage, D3DRESOURCETYPE type, D3DFORMAT format) {
  if (!d3dutil::IsWritableFormat(ToPixel(format))) return false;
  IDirect3D8* d3d = nullptr;
  if (FAILED(device->GetDirect3D(&d3d)) || !d3d) return true;
  D3DDEVICE_CREATION_PARAMETERS params{};
  D3DDISPLAYMODE mode{};
  bool ok = true;
  if (SUCCEEDED(device->GetCreationParameters(&params)) && SUCCEEDED(device->GetDisplayMode(&mode)))
    ok = SUCCEEDED(d3d->CheckDeviceFormat(params.AdapterOrdinal, params.DeviceType, mode.Format, usage, type, format));
  d3d->Release();
  return ok;
}

// The requested format if the device takes it, else the nearest one it does take: same
// channels first, then more bits, then fewer.
HRESULT ChooseFormat(LPDIRECT3DDEVICE8 device, DWORD usage, D3DRESOURCETYPE type, D3DFORMAT* format) {
  D3DFORMAT wanted = (!format || *format == D3DFMT_UNKNOWN || static_cast<UINT>(*format) == D3DX_DEFAULT)
                         ? D3DFMT_A8R8G8B8
                         : *format;
  if (FormatSupported(device, usage, type, wanted)) {
    if (format) *format = wanted;
    return D3D_OK;
  }
  std::initializer_list<D3DFORMAT> alpha = {D3DFMT_A8R8G8B8, D3DFMT_A4R4G4B4, D3DFMT_A1R5G5B5, D3DFMT_DXT5,
                                            D3DFMT_DXT3,     D3DFMT_X8R8G8B8, D3DFMT_R5G6B5,   D3DFMT_X1R5G5B5};
  std::initializer_list<D3DFORMAT> opaque = {D3DFMT_X8R8G8B8, D3DFMT_A8R8G8B8, D3DFMT_R5G6B5, D3DFMT_X1R5G5B5,
                                             D3DFMT_A1R5G5B5, D3DFMT_X4R4G4B4, D3DFMT_A4R4G4B4, D3DFMT_DXT1};
  std::initializer_list<D3DFORMAT> luminance = {D3DFMT_L8, D3DFMT_A8L8, D3DFMT_X8R8G8B8, D3DFMT_A8R8G8B8,
                                                D3DFMT_R5G6B5};
  std::initializer_list<D3DFORMAT> alphaOnly = {D3DFMT_A8, D3DFMT_A8R8G8B8, D3DFMT_A4R4G4B4, D3DFMT_A8L8};
  std::initializer_list<D3DFORMAT> candidates = opaque;
  switch (wanted) {
    case D3DFMT_L8:
    case D3DFMT_A8L8: candidates = luminance; break;
    case D3DFMT_A8: candidates = alphaOnly; break;
    default: candidates = d3dutil::HasAlphaChannel(ToPixel(wanted)) ? alpha : opaque; break;
  }
  for (D3DFORMAT f : candidates)
    if (FormatSupported(device, usage, type, f)) {
      if (format) *format = f;
      return D3D_OK;
    }
  return D3DERR_NOTAVAILABLE;
}

UINT ClampSize(UINT v, DWORD max) { return max ? std::min<UINT>(v, max) : std::min(v, kFallbackMaxSize); }

UINT AdjustMips(UINT* mips, UINT full, bool canMip) {
  UINT m = (!mips || IsDefault(*mips)) ? full : std::min(*mips, full);
  if (!canMip) m = 1;
  if (mips) *mips = m;
  return m;
}

ResampleFilter ToFilter(DWORD filter, ResampleFilter fallback, bool* ok) {
  if (filter == D3DX_DEFAULT) return fallback;
  switch (filter & 0xFFFF) {
    case D3DX_FILTER_NONE: return ResampleFilter::None;
    case D3DX_FILTER_POINT: return ResampleFilter::Point;
    case D3DX_FILTER_LINEAR:
    case D3DX_FILTER_TRIANGLE: return ResampleFilter::Linear;
    case D3DX_FILTER_BOX: return ResampleFilter::Box;
    default: *ok = false; return fallback;
  }
}

// Writes one image into one locked 2D level.
HRESULT WriteRect(const D3DLOCKED_RECT& lr, D3DFORMAT format, const Image& image) {
  if (!lr.pBits || lr.Pitch <= 0) return D3DERR_INVALIDCALL;
  if (static_cast<std::size_t>(lr.Pitch) < d3dutil::RowBytes(ToPixel(format), image.width)) return D3DERR_INVALIDCALL;
  return d3dutil::EncodePixels(image, ToPixel(format), static_cast<std::uint8_t*>(lr.pBits),
                               static_cast<std::size_t>(lr.Pitch))
             ? D3D_OK
             : D3DERR_INVALIDCALL;
}

HRESULT UploadLevel(IDirect3DTexture8* texture, UINT level, D3DFORMAT format, const Image& image) {
  D3DLOCKED_RECT lr{};
  HRESULT hr = texture->LockRect(level, &lr, nullptr, 0);
  if (FAILED(hr)) return hr;
  hr = WriteRect(lr, format, image);
  texture->UnlockRect(level);
  return hr;
}

}  // namespace

HRESULT D3DXCheckTextureRequirements(LPDIRECT3DDEVICE8 device, UINT* width, UINT* height, UINT* mips, DWORD usage,
                                     D3DFORMAT* format, D3DPOOL) {
  if (!device) return D3DERR_INVALIDCALL;
  DeviceLimits l = ReadLimits(device);
  const DWORD texCaps = l.haveCaps ? l.caps.TextureCaps : D3DPTEXTURECAPS_MIPMAP;
  UINT w = (!width || IsDefault(*width)) ? kDefaultSize : *width;
  UINT h = (!height || IsDefault(*height)) ? kDefaultSize : *height;
  if (texCaps & D3DPTEXTURECAPS_POW2) w = RoundUpPow2(w), h = RoundUpPow2(h);
  if (texCaps & D3DPTEXTURECAPS_SQUAREONLY) w = h = std::max(w, h);
  w = ClampSize(w, l.haveCaps ? l.caps.MaxTextureWidth : 0);
  h = ClampSize(h, l.haveCaps ? l.caps.MaxTextureHeight : 0);
  if (width) *width = w;
  if (height) *height = h;
  AdjustMips(mips, FullChain(w, h), (texCaps & D3DPTEXTURECAPS_MIPMAP) != 0);
  return ChooseFormat(device, usage, D3DRTYPE_TEXTURE, format);
}

HRESULT D3DXCheckCubeTextureRequirements(LPDIRECT3DDEVICE8 device, UINT* size, UINT* mips, DWORD usage,
                                         D3DFORMAT* format, D3DPOOL) {
  if (!device) return D3DERR_INVALIDCALL;
  DeviceLimits l = ReadLimits(device);
  const DWORD texCaps = l.haveCaps ? l.caps.TextureCaps : (D3DPTEXTURECAPS_CUBEMAP | D3DPTEXTURECAPS_MIPCUBEMAP);
  if (!(texCaps & D3DPTEXTURECAPS_CUBEMAP)) return D3DERR_NOTAVAILABLE;
  UINT s = (!size || IsDefault(*size)) ? kDefaultSize : *size;
  if (texCaps & D3DPTEXTURECAPS_CUBEMAP_POW2) s = RoundUpPow2(s);
  s = ClampSize(s, l.haveCaps ? l.caps.MaxTextureWidth : 0);
  if (size) *size = s;
  AdjustMips(mips, FullChain(s, s), (texCaps & D3DPTEXTURECAPS_MIPCUBEMAP) != 0);
  return ChooseFormat(device, usage, D3DRTYPE_CUBETEXTURE, format);
}

HRESULT D3DXCheckVolumeTextureRequirements(LPDIRECT3DDEVICE8 device, UINT* width, UINT* height, UINT* depth,
                                           UINT* mips, DWORD usage, D3DFORMAT* format, D3DPOOL) {
  if (!device) return D3DERR_INVALIDCALL;
  DeviceLimits l = ReadLimits(device);
  const DWORD texCaps = l.haveCaps ? l.caps.TextureCaps : 0;
  if (!(texCaps & D3DPTEXTURECAPS_VOLUMEMAP)) return D3DERR_NOTAVAILABLE;
  UINT w = (!width || IsDefault(*width)) ? kDefaultSize : *width;
  UINT h = (!height || IsDefault(*height)) ? kDefaultSize : *height;
  UINT d = (!depth || IsDefault(*depth)) ? 1 : *depth;
  if (texCaps & D3DPTEXTURECAPS_VOLUMEMAP_POW2) w = RoundUpPow2(w), h = RoundUpPow2(h), d = RoundUpPow2(d);
  const DWORD extent = l.caps.MaxVolumeExtent;
  w = ClampSize(w, extent), h = ClampSize(h, extent), d = ClampSize(d, extent);
  if (width) *width = w;
  if (height) *height = h;
  if (depth) *depth = d;
  AdjustMips(mips, FullChain(w, h, d), (texCaps & D3DPTEXTURECAPS_MIPVOLUMEMAP) != 0);
  // The fills write volumes uncompressed only.
  if (format && d3dutil::IsBlockCompressed(ToPixel(*format))) *format = D3DFMT_A8R8G8B8;
  return ChooseFormat(device, usage, D3DRTYPE_VOLUMETEXTURE, format);
}

HRESULT D3DXCreateTexture(LPDIRECT3DDEVICE8 device, UINT width, UINT height, UINT mips, DWORD usage, D3DFORMAT format,
                          D3DPOOL pool, LPDIRECT3DTEXTURE8* texture) {
  if (!device || !texture) return D3DERR_INVALIDCALL;
  *texture = nullptr;
  HRESULT hr = D3DXCheckTextureRequirements(device, &width, &height, &mips, usage, &format, pool);
  if (FAILED(hr)) return hr;
  return device->CreateTexture(width, height, mips, usage, format, pool, texture);
}

HRESULT D3DXCreateTextureFromFileInMemoryEx(LPDIRECT3DDEVICE8 device, LPCVOID data, UINT dataSize, UINT width,
                                            UINT height, UINT mips, DWORD usage, D3DFORMAT format, D3DPOOL pool,
                                            DWORD filter, DWORD mipFilter, D3DCOLOR colorKey, D3DXIMAGE_INFO* srcInfo,
                                            PALETTEENTRY*, LPDIRECT3DTEXTURE8* texture) {
  if (texture) *texture = nullptr;
  if (!device || !data || dataSize == 0 || !texture) return D3DERR_INVALIDCALL;
  bool filtersOk = true;
  const ResampleFilter imageFilter = ToFilter(filter, ResampleFilter::Linear, &filtersOk);
  const ResampleFilter levelFilter = ToFilter(mipFilter, ResampleFilter::Box, &filtersOk);
  if (!filtersOk) return D3DERR_INVALIDCALL;

  Image source;
  d3dutil::ImageFileDescription file;
  if (!d3dutil::DecodeImage(static_cast<const std::uint8_t*>(data), dataSize, source, file, nullptr))
    return D3DXERR_INVALIDDATA;
  if (srcInfo) {
    srcInfo->Width = file.width;
    srcInfo->Height = file.height;
    srcInfo->Depth = file.depth;
    srcInfo->MipLevels = file.mipLevels;
    srcInfo->Format = static_cast<D3DFORMAT>(file.format);
    srcInfo->ResourceType = D3DRTYPE_TEXTURE;
    srcInfo->ImageFileFormat = static_cast<D3DXIMAGE_FILEFORMAT>(file.fileType);
  }

  // Sizes taken from the file are rounded up to powers of two.
  if (IsDefault(width)) width = RoundUpPow2(source.width);
  if (IsDefault(height)) height = RoundUpPow2(source.height);
  if (format == D3DFMT_UNKNOWN || static_cast<UINT>(format) == D3DX_DEFAULT) format = static_cast<D3DFORMAT>(file.format);
  HRESULT hr = D3DXCheckTextureRequirements(device, &width, &height, &mips, usage, &format, pool);
  if (FAILED(hr)) return hr;

  d3dutil::ApplyColourKey(source, colorKey);

  IDirect3DTexture8* created = nullptr;
  hr = device->CreateTexture(width, height, mips, usage, format, pool, &created);
  if (FAILED(hr)) return hr;
  if (!created) return E_FAIL;

  const UINT levels = std::max<UINT>(1, created->GetLevelCount());
  Image level;
  for (UINT i = 0; i < levels && SUCCEEDED(hr); ++i) {
    D3DSURFACE_DESC desc{};
    if (FAILED(created->GetLevelDesc(i, &desc))) {
      desc.Width = std::max(1u, width >> i);
      desc.Height = std::max(1u, height >> i);
    }
    Image next;
    bool ok;
    if (i == 0) {
      ok = d3dutil::Resample(source, desc.Width, desc.Height, imageFilter, next);
    } else {
      ok = d3dutil::NextMipLevel(level, levelFilter, next);
      if (ok && (next.width != desc.Width || next.height != desc.Height))
        ok = d3dutil::Resample(level, desc.Width, desc.Height, levelFilter, next);
    }
    if (!ok) {
      hr = E_OUTOFMEMORY;
      break;
    }
    level = std::move(next);
    hr = UploadLevel(created, i, format, level);
  }
  if (FAILED(hr)) {
    created->Release();
    return hr;
  }
  *texture = created;
  return D3D_OK;
}

HRESULT D3DXCreateTextureFromFileInMemory(LPDIRECT3DDEVICE8 device, LPCVOID data, UINT dataSize,
                                          LPDIRECT3DTEXTURE8* texture) {
  return D3DXCreateTextureFromFileInMemoryEx(device, data, dataSize, D3DX_DEFAULT, D3DX_DEFAULT, D3DX_DEFAULT, 0,
                                             D3DFMT_UNKNOWN, D3DPOOL_MANAGED, D3DX_DEFAULT, D3DX_DEFAULT, 0, nullptr,
                                             nullptr, texture);
}

HRESULT D3DXFillTexture(LPDIRECT3DTEXTURE8 texture, LPD3DXFILL2D function, LPVOID data) {
  if (!texture || !function) return D3DERR_INVALIDCALL;
  const UINT levels = texture->GetLevelCount();
  for (UINT i = 0; i < levels; ++i) {
    D3DSURFACE_DESC desc{};
    HRESULT hr = texture->GetLevelDesc(i, &desc);
    if (FAILED(hr)) return hr;
    if (!d3dutil::IsWritableFormat(ToPixel(desc.Format))) return D3DERR_INVALIDCALL;
    Image image;
    if (!d3dutil::AllocateImage(desc.Width, desc.Height, image, nullptr)) return E_OUTOFMEMORY;
    D3DXVECTOR2 size(1.0f / desc.Width, 1.0f / desc.Height);
    for (UINT y = 0; y < desc.Height; ++y)
      for (UINT x = 0; x < desc.Width; ++x) {
        D3DXVECTOR2 coord((x + 0.5f) * size.x, (y + 0.5f) * size.y), texel = size;
        D3DXVECTOR4 colour(0, 0, 0, 0);
        function(&colour, &coord, &texel, data);
        d3dutil::FloatToRgba8(colour.x, colour.y, colour.z, colour.w, image.Pixel(x, y));
      }
    hr = UploadLevel(texture, i, desc.Format, image);
    if (FAILED(hr)) return hr;
  }
  return D3D_OK;
}

HRESULT D3DXFillCubeTexture(LPDIRECT3DCUBETEXTURE8 texture, LPD3DXFILL3D function, LPVOID data) {
  if (!texture || !function) return D3DERR_INVALIDCALL;
  const UINT levels = texture->GetLevelCount();
  for (UINT i = 0; i < levels; ++i) {
    D3DSURFACE_DESC desc{};
    HRESULT hr = texture->GetLevelDesc(i, &desc);
    if (FAILED(hr)) return hr;
    if (!d3dutil::IsWritableFormat(ToPixel(desc.Format))) return D3DERR_INVALIDCALL;
    Image image;
    if (!d3dutil::AllocateImage(desc.Width, desc.Height, image, nullptr)) return E_OUTOFMEMORY;
    D3DXVECTOR3 texel(2.0f / desc.Width, 2.0f / desc.Height, 0.0f);
    for (int face = 0; face < 6; ++face) {
      for (UINT y = 0; y < desc.Height; ++y)
        for (UINT x = 0; x < desc.Width; ++x) {
          // Face-local coordinates in [-1, 1], mapped to the cube direction of that texel.
          float u = (x + 0.5f) * texel.x - 1.0f, v = (y + 0.5f) * texel.y - 1.0f;
          D3DXVECTOR3 dir;
          switch (face) {
            case D3DCUBEMAP_FACE_POSITIVE_X: dir = D3DXVECTOR3(1, -v, -u); break;
            case D3DCUBEMAP_FACE_NEGATIVE_X: dir = D3DXVECTOR3(-1, -v, u); break;
            case D3DCUBEMAP_FACE_POSITIVE_Y: dir = D3DXVECTOR3(u, 1, v); break;
            case D3DCUBEMAP_FACE_NEGATIVE_Y: dir = D3DXVECTOR3(u, -1, -v); break;
            case D3DCUBEMAP_FACE_POSITIVE_Z: dir = D3DXVECTOR3(u, -v, 1); break;
            default: dir = D3DXVECTOR3(-u, -v, -1); break;
          }
          D3DXVECTOR3 size = texel;
          D3DXVECTOR4 colour(0, 0, 0, 0);
          function(&colour, &dir, &size, data);
          d3dutil::FloatToRgba8(colour.x, colour.y, colour.z, colour.w, image.Pixel(x, y));
        }
      D3DLOCKED_RECT lr{};
      const auto faceType = static_cast<D3DCUBEMAP_FACES>(face);
      hr = texture->LockRect(faceType, i, &lr, nullptr, 0);
      if (FAILED(hr)) return hr;
      hr = WriteRect(lr, desc.Format, image);
      texture->UnlockRect(faceType, i);
      if (FAILED(hr)) return hr;
    }
  }
  return D3D_OK;
}

HRESULT D3DXFillVolumeTexture(LPDIRECT3DVOLUMETEXTURE8 texture, LPD3DXFILL3D function, LPVOID data) {
  if (!texture || !function) return D3DERR_INVALIDCALL;
  const UINT levels = texture->GetLevelCount();
  for (UINT i = 0; i < levels; ++i) {
    D3DVOLUME_DESC desc{};
    HRESULT hr = texture->GetLevelDesc(i, &desc);
    if (FAILED(hr)) return hr;
    const PixelFormat format = ToPixel(desc.Format);
    if (d3dutil::BytesPerPixel(format) == 0) return D3DERR_INVALIDCALL;
    Image slice;
    if (!d3dutil::AllocateImage(desc.Width, desc.Height, slice, nullptr)) return E_OUTOFMEMORY;
    D3DLOCKED_BOX box{};
    hr = texture->LockBox(i, &box, nullptr, 0);
    if (FAILED(hr)) return hr;
    if (!box.pBits || box.RowPitch <= 0 || box.SlicePitch <= 0 ||
        static_cast<std::size_t>(box.RowPitch) < d3dutil::RowBytes(format, desc.Width)) {
      texture->UnlockBox(i);
      return D3DERR_INVALIDCALL;
    }
    D3DXVECTOR3 size(1.0f / desc.Width, 1.0f / desc.Height, 1.0f / desc.Depth);
    for (UINT z = 0; z < desc.Depth; ++z) {
      for (UINT y = 0; y < desc.Height; ++y)
        for (UINT x = 0; x < desc.Width; ++x) {
          D3DXVECTOR3 coord((x + 0.5f) * size.x, (y + 0.5f) * size.y, (z + 0.5f) * size.z), texel = size;
          D3DXVECTOR4 colour(0, 0, 0, 0);
          function(&colour, &coord, &texel, data);
          d3dutil::FloatToRgba8(colour.x, colour.y, colour.z, colour.w, slice.Pixel(x, y));
        }
      d3dutil::EncodePixels(slice, format, static_cast<std::uint8_t*>(box.pBits) + std::size_t{z} * box.SlicePitch,
                            static_cast<std::size_t>(box.RowPitch));
    }
    texture->UnlockBox(i);
  }
  return D3D_OK;
}
