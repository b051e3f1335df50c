// Our Direct3D 8 objects over OpenGL: the API object, the device and its resources.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "platform/d3d8/d3d8.h"
#include "platform/gl/gl_context.h"
#include "platform/gl/gl_tables.h"
#include "platform/gl/gl_window_system.h"

namespace gl {

class Device;

// Reference counting shared by every object: `refs` are the program's references, `binds` the
// device's own (a bound texture, stream or render target), so that binding never makes a cycle.
class RefCounted {
public:
    virtual ~RefCounted() = default;
    ULONG AddRefImpl() { return ++refs_; }
    ULONG ReleaseImpl() {
        if (refs_ == 0) return 0;
        const ULONG left = --refs_;
        if (left == 0 && binds_ == 0) delete this;
        return left;
    }
    void Bind() { ++binds_; }
    void Unbind() {
        if (--binds_ == 0 && refs_ == 0) delete this;
    }

protected:
    ULONG refs_ = 1;
    ULONG binds_ = 0;
};

// A device resource: knows its device until the device goes away first.
class Resource : public RefCounted {
public:
    explicit Resource(Device* device);
    ~Resource() override;
    virtual void ReleaseGl() = 0;  // the device is going away: drop the GL objects
    void Orphan() {
        ReleaseGl();
        device_ = nullptr;
    }
    Device* device() const { return device_; }

protected:
    Device* device_;
};

struct TextureStorage {
    GLenum target = GL_TEXTURE_2D;
    GLuint texture = 0;
    const FormatInfo* format = nullptr;
    D3DFORMAT d3dFormat = D3DFMT_UNKNOWN;
    UINT width = 0, height = 0, levels = 1, faces = 1;
    DWORD usage = 0;
    D3DPOOL pool = D3DPOOL_MANAGED;
    bool decodeOnUpload = false;  // compressed data decoded to BGRA8 because GL lacks S3TC
    std::vector<std::vector<std::uint8_t>> shadow;  // per face * levels + level (managed only)
    std::vector<RECT> lockedRect;                   // per face * levels + level
    std::vector<bool> locked;

    UINT LevelWidth(UINT level) const { return width >> level ? width >> level : 1; }
    UINT LevelHeight(UINT level) const { return height >> level ? height >> level : 1; }
    UINT Pitch(UINT level) const;
    UINT LevelBytes(UINT level) const;
    UINT Rows(UINT level) const;  // rows of pixels or of 4 x 4 blocks
};

class Surface;

class Texture final : public IDirect3DTexture8, public Resource {
public:
    Texture(Device* device, TextureStorage storage);
    ~Texture() override;
    TextureStorage& storage() { return storage_; }
    void ReleaseGl() override;
    HRESULT Lock(UINT face, UINT level, D3DLOCKED_RECT* locked, const RECT* rect, DWORD flags);
    HRESULT Unlock(UINT face, UINT level);

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override;
    ULONG STDMETHODCALLTYPE AddRef() override { return AddRefImpl(); }
    ULONG STDMETHODCALLTYPE Release() override { return ReleaseImpl(); }
    HRESULT STDMETHODCALLTYPE GetDevice(IDirect3DDevice8** ppDevice) override;
    HRESULT STDMETHODCALLTYPE SetPrivateData(REFGUID, const void*, DWORD, DWORD) override { return D3D_OK; }
    HRESULT STDMETHODCALLTYPE GetPrivateData(REFGUID, void*, DWORD*) override { return D3DERR_NOTFOUND; }
    HRESULT STDMETHODCALLTYPE FreePrivateData(REFGUID) override { return D3D_OK; }
    DWORD STDMETHODCALLTYPE SetPriority(DWORD p) override { DWORD old = priority_; priority_ = p; return old; }
    DWORD STDMETHODCALLTYPE GetPriority() override { return priority_; }
    void STDMETHODCALLTYPE PreLoad() override {}
    D3DRESOURCETYPE STDMETHODCALLTYPE GetType() override { return cube_ ? D3DRTYPE_CUBETEXTURE : D3DRTYPE_TEXTURE; }
    DWORD STDMETHODCALLTYPE SetLOD(DWORD lod) override { DWORD old = lod_; lod_ = lod; return old; }
    DWORD STDMETHODCALLTYPE GetLOD() override { return lod_; }
    DWORD STDMETHODCALLTYPE GetLevelCount() override { return storage_.levels; }
    HRESULT STDMETHODCALLTYPE GetLevelDesc(UINT Level, D3DSURFACE_DESC* pDesc) override;
    HRESULT STDMETHODCALLTYPE GetSurfaceLevel(UINT Level, IDirect3DSurface8** ppSurfaceLevel) override;
    HRESULT STDMETHODCALLTYPE LockRect(UINT Level, D3DLOCKED_RECT* pLockedRect, const RECT* pRect, DWORD Flags) override {
        return Lock(0, Level, pLockedRect, pRect, Flags);
    }
    HRESULT STDMETHODCALLTYPE UnlockRect(UINT Level) override { return Unlock(0, Level); }
    HRESULT STDMETHODCALLTYPE AddDirtyRect(const RECT*) override { return D3D_OK; }

    bool cube_ = false;
    IDirect3DCubeTexture8* cubeFacade_ = nullptr;  // set for cube textures
    Surface* LevelSurface(UINT face, UINT level);

private:
    TextureStorage storage_;
    std::vector<Surface*> surfaces_;
    DWORD priority_ = 0, lod_ = 0;
};

// The cube interface over the same storage (the texture object carries both vtables).
class CubeTexture final : public IDirect3DCubeTexture8 {
public:
    explicit CubeTexture(Texture* texture) : texture_(texture) {}
    Texture* texture() const { return texture_; }
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override { return texture_->QueryInterface(riid, ppv); }
    ULONG STDMETHODCALLTYPE AddRef() override { return texture_->AddRef(); }
    ULONG STDMETHODCALLTYPE Release() override { return texture_->Release(); }
    HRESULT STDMETHODCALLTYPE GetDevice(IDirect3DDevice8** ppDevice) override { return texture_->GetDevice(ppDevice); }
    HRESULT STDMETHODCALLTYPE SetPrivateData(REFGUID, const void*, DWORD, DWORD) override { return D3D_OK; }
    HRESULT STDMETHODCALLTYPE GetPrivateData(REFGUID, void*, DWORD*) override { return D3DERR_NOTFOUND; }
    HRESULT STDMETHODCALLTYPE FreePrivateData(REFGUID) override { return D3D_OK; }
    DWORD STDMETHODCALLTYPE SetPriority(DWORD p) override { return texture_->SetPriority(p); }
    DWORD STDMETHODCALLTYPE GetPriority() override { return texture_->GetPriority(); }
    void STDMETHODCALLTYPE PreLoad() override {}
    D3DRESOURCETYPE STDMETHODCALLTYPE GetType() override { return D3DRTYPE_CUBETEXTURE; }
    DWORD STDMETHODCALLTYPE SetLOD(DWORD lod) override { return texture_->SetLOD(lod); }
    DWORD STDMETHODCALLTYPE GetLOD() override { return texture_->GetLOD(); }
    DWORD STDMETHODCALLTYPE GetLevelCount() override { return texture_->GetLevelCount(); }
    HRESULT STDMETHODCALLTYPE GetLevelDesc(UINT Level, D3DSURFACE_DESC* pDesc) override { return texture_->GetLevelDesc(Level, pDesc); }
    HRESULT STDMETHODCALLTYPE GetCubeMapSurface(D3DCUBEMAP_FACES face, UINT Level, IDirect3DSurface8** pp) override;
    HRESULT STDMETHODCALLTYPE LockRect(D3DCUBEMAP_FACES face, UINT Level, D3DLOCKED_RECT* pLockedRect, const RECT* pRect,
                                       DWORD Flags) override {
        return texture_->Lock(static_cast<UINT>(face), Level, pLockedRect, pRect, Flags);
    }
    HRESULT STDMETHODCALLTYPE UnlockRect(D3DCUBEMAP_FACES face, UINT Level) override {
        return texture_->Unlock(static_cast<UINT>(face), Level);
    }
    HRESULT STDMETHODCALLTYPE AddDirtyRect(D3DCUBEMAP_FACES, const RECT*) override { return D3D_OK; }

private:
    Texture* texture_;
};

// A surface: a level of a texture (its references are the texture's), or one of its own: a
// render target or back buffer (GL texture), a depth-stencil buffer (renderbuffer) or an image
// surface in system memory.
class Surface final : public IDirect3DSurface8, public Resource {
public:
    enum class Kind { TextureLevel, RenderTarget, DepthStencil, Image };
    Surface(Device* device, Kind kind, D3DFORMAT format, UINT width, UINT height);
    Surface(Device* device, Texture* container, UINT face, UINT level);
    ~Surface() override;
    void ReleaseGl() override;
    bool Allocate();  // GL storage for render targets and depth buffers

    Kind kind() const { return kind_; }
    D3DFORMAT format() const { return format_; }
    UINT width() const { return width_; }
    UINT height() const { return height_; }
    GLuint glTexture() const;  // colour texture (render targets, texture levels)
    GLuint glRenderbuffer() const { return renderbuffer_; }
    UINT level() const { return level_; }
    UINT face() const { return face_; }
    Texture* container() const { return container_; }
    std::vector<std::uint8_t>& memory() { return memory_; }
    void Resize(UINT width, UINT height, D3DFORMAT format) {
        width_ = width;
        height_ = height;
        format_ = format;
    }

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override;
    ULONG STDMETHODCALLTYPE AddRef() override { return container_ ? container_->AddRef() : AddRefImpl(); }
    ULONG STDMETHODCALLTYPE Release() override { return container_ ? container_->Release() : ReleaseImpl(); }
    HRESULT STDMETHODCALLTYPE GetDevice(IDirect3DDevice8** ppDevice) override;
    HRESULT STDMETHODCALLTYPE SetPrivateData(REFGUID, const void*, DWORD, DWORD) override { return D3D_OK; }
    HRESULT STDMETHODCALLTYPE GetPrivateData(REFGUID, void*, DWORD*) override { return D3DERR_NOTFOUND; }
    HRESULT STDMETHODCALLTYPE FreePrivateData(REFGUID) override { return D3D_OK; }
    HRESULT STDMETHODCALLTYPE GetContainer(REFIID riid, void** ppContainer) override;
    HRESULT STDMETHODCALLTYPE GetDesc(D3DSURFACE_DESC* pDesc) override;
    HRESULT STDMETHODCALLTYPE LockRect(D3DLOCKED_RECT* pLockedRect, const RECT* pRect, DWORD Flags) override;
    HRESULT STDMETHODCALLTYPE UnlockRect() override;

    // Binding by the device goes to the container for texture levels.
    void BindSurface() { container_ ? container_->Bind() : Bind(); }
    void UnbindSurface() { container_ ? container_->Unbind() : Unbind(); }

private:
    Kind kind_;
    D3DFORMAT format_;
    UINT width_, height_;
    Texture* container_ = nullptr;
    UINT face_ = 0, level_ = 0;
    GLuint texture_ = 0, renderbuffer_ = 0;
    std::vector<std::uint8_t> memory_;  // image surfaces; the read-back copy of a locked target
    bool locked_ = false;
    RECT lockRect_{};
};

class Buffer : public Resource {
public:
    Buffer(Device* device, UINT size, DWORD usage, D3DPOOL pool);
    ~Buffer() override;
    void ReleaseGl() override;
    GLuint glBuffer() const { return buffer_; }
    HRESULT LockImpl(UINT offset, UINT size, BYTE** data, DWORD flags);
    HRESULT UnlockImpl();

protected:
    std::vector<std::uint8_t> shadow_;
    GLuint buffer_ = 0;
    DWORD usage_;
    D3DPOOL pool_;
    int lockDepth_ = 0;
    UINT dirtyBegin_ = 0, dirtyEnd_ = 0;
    DWORD priority_ = 0;
};

class VertexBuffer final : public IDirect3DVertexBuffer8, public Buffer {
public:
    VertexBuffer(Device* device, UINT size, DWORD usage, DWORD fvf, D3DPOOL pool)
        : Buffer(device, size, usage, pool), fvf_(fvf) {}
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override;
    ULONG STDMETHODCALLTYPE AddRef() override { return AddRefImpl(); }
    ULONG STDMETHODCALLTYPE Release() override { return ReleaseImpl(); }
    HRESULT STDMETHODCALLTYPE GetDevice(IDirect3DDevice8** ppDevice) override;
    HRESULT STDMETHODCALLTYPE SetPrivateData(REFGUID, const void*, DWORD, DWORD) override { return D3D_OK; }
    HRESULT STDMETHODCALLTYPE GetPrivateData(REFGUID, void*, DWORD*) override { return D3DERR_NOTFOUND; }
    HRESULT STDMETHODCALLTYPE FreePrivateData(REFGUID) override { return D3D_OK; }
    DWORD STDMETHODCALLTYPE SetPriority(DWORD p) override { DWORD old = priority_; priority_ = p; return old; }
    DWORD STDMETHODCALLTYPE GetPriority() override { return priority_; }
    void STDMETHODCALLTYPE PreLoad() override {}
    D3DRESOURCETYPE STDMETHODCALLTYPE GetType() override { return D3DRTYPE_VERTEXBUFFER; }
    HRESULT STDMETHODCALLTYPE Lock(UINT OffsetToLock, UINT SizeToLock, BYTE** ppbData, DWORD Flags) override {
        return LockImpl(OffsetToLock, SizeToLock, ppbData, Flags);
    }
    HRESULT STDMETHODCALLTYPE Unlock() override { return UnlockImpl(); }
    HRESULT STDMETHODCALLTYPE GetDesc(D3DVERTEXBUFFER_DESC* pDesc) override;

private:
    DWORD fvf_;
};

class IndexBuffer final : public IDirect3DIndexBuffer8, public Buffer {
public:
    IndexBuffer(Device* device, UINT size, DWORD usage, D3DFORMAT format, D3DPOOL pool)
        : Buffer(device, size, usage, pool), format_(format) {}
    D3DFORMAT format() const { return format_; }
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override;
    ULONG STDMETHODCALLTYPE AddRef() override { return AddRefImpl(); }
    ULONG STDMETHODCALLTYPE Release() override { return ReleaseImpl(); }
    HRESULT STDMETHODCALLTYPE GetDevice(IDirect3DDevice8** ppDevice) override;
    HRESULT STDMETHODCALLTYPE SetPrivateData(REFGUID, const void*, DWORD, DWORD) override { return D3D_OK; }
    HRESULT STDMETHODCALLTYPE GetPrivateData(REFGUID, void*, DWORD*) override { return D3DERR_NOTFOUND; }
    HRESULT STDMETHODCALLTYPE FreePrivateData(REFGUID) override { return D3D_OK; }
    DWORD STDMETHODCALLTYPE SetPriority(DWORD p) override { DWORD old = priority_; priority_ = p; return old; }
    DWORD STDMETHODCALLTYPE GetPriority() override { return priority_; }
    void STDMETHODCALLTYPE PreLoad() override {}
    D3DRESOURCETYPE STDMETHODCALLTYPE GetType() override { return D3DRTYPE_INDEXBUFFER; }
    HRESULT STDMETHODCALLTYPE Lock(UINT OffsetToLock, UINT SizeToLock, BYTE** ppbData, DWORD Flags) override {
        return LockImpl(OffsetToLock, SizeToLock, ppbData, Flags);
    }
    HRESULT STDMETHODCALLTYPE Unlock() override { return UnlockImpl(); }
    HRESULT STDMETHODCALLTYPE GetDesc(D3DINDEXBUFFER_DESC* pDesc) override;

private:
    D3DFORMAT format_;
};

}  // namespace gl
