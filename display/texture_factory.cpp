// The texture table's default way of making textures: the utility library. Built without it, the
// factory fails every request, so textures come out missing (objects draw white) rather than the
// program failing to link.
#include "display/texture_table.h"

#if GRIM_HAVE_D3DX
#include "d3dutil/d3dx8.h"
#endif

namespace display {

namespace {

#if GRIM_HAVE_D3DX
HRESULT FromFileInMemory(IDirect3DDevice8* device, const void* data, UINT size, UINT width,
                         UINT height, D3DFORMAT format, IDirect3DTexture8** texture) {
    return D3DXCreateTextureFromFileInMemoryEx(device, data, size, width, height, 0, 0, format,
                                               D3DPOOL_MANAGED, D3DX_DEFAULT, D3DX_DEFAULT, 0,
                                               nullptr, nullptr, texture);
}
HRESULT Blank(IDirect3DDevice8* device, UINT width, UINT height, UINT mipLevels, DWORD usage,
              D3DFORMAT format, D3DPOOL pool, IDirect3DTexture8** texture) {
    return D3DXCreateTexture(device, width, height, mipLevels, usage, format, pool, texture);
}
#else
HRESULT FromFileInMemory(IDirect3DDevice8*, const void*, UINT, UINT, UINT, D3DFORMAT,
                         IDirect3DTexture8**) {
    return E_NOTIMPL;
}
HRESULT Blank(IDirect3DDevice8*, UINT, UINT, UINT, DWORD, D3DFORMAT, D3DPOOL, IDirect3DTexture8**) {
    return E_NOTIMPL;
}
#endif

}  // namespace

TextureFactory DefaultTextureFactory() { return TextureFactory{&FromFileInMemory, &Blank}; }

}  // namespace display
