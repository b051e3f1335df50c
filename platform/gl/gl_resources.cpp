// Textures, surfaces and buffers. Managed resources keep a system-memory copy that Lock hands
// out; Unlock uploads only what was locked (rows of a texture level, the byte range of a buffer).
#include <algorithm>
#include <cstring>

#include "platform/gl/dxt_decode.h"
#include "platform/gl/gl_device.h"

namespace gl {

namespace {
constexpr GLenum kUploadUnit = GL_TEXTURE0 + kMaxStages;  // keeps the stages' bindings intact
}

Resource::Resource(Device* device) : device_(device) {
    if (device_) device_->Track(this);
}
Resource::~Resource() {
    if (device_) device_->Untrack(this);
}

// ---------------------------------------------------------------- texture storage

UINT TextureStorage::Pitch(UINT level) const {
    if (format->bytesPerPixel == 0) return ((LevelWidth(level) + 3) / 4) * format->blockBytes;
    return LevelWidth(level) * format->bytesPerPixel;
}
UINT TextureStorage::Rows(UINT level) const {
    return format->bytesPerPixel == 0 ? (LevelHeight(level) + 3) / 4 : LevelHeight(level);
}
UINT TextureStorage::LevelBytes(UINT level) const { return Pitch(level) * Rows(level); }

Texture::Texture(Device* device, TextureStorage storage) : Resource(device), storage_(std::move(storage)) {
    cube_ = storage_.faces == 6;
    const UINT count = storage_.faces * storage_.levels;
    surfaces_.assign(count, nullptr);
    storage_.lockedRect.assign(count, RECT{});
    storage_.locked.assign(count, false);
    const bool managed = (storage_.usage & D3DUSAGE_RENDERTARGET) == 0;
    if (managed) {
        storage_.shadow.resize(count);
        for (UINT f = 0; f < storage_.faces; ++f)
            for (UINT l = 0; l < storage_.levels; ++l) storage_.shadow[f * storage_.levels + l].assign(storage_.LevelBytes(l), 0);
    }
    const FormatInfo& fi = *storage_.format;
    storage_.decodeOnUpload = fi.bytesPerPixel == 0 && !device->s3tc();
    storage_.target = cube_ ? GL_TEXTURE_CUBE_MAP : GL_TEXTURE_2D;
    glGenTextures(1, &storage_.texture);
    glActiveTexture(kUploadUnit);
    glBindTexture(storage_.target, storage_.texture);
    glTexParameteri(storage_.target, GL_TEXTURE_BASE_LEVEL, 0);
    glTexParameteri(storage_.target, GL_TEXTURE_MAX_LEVEL, static_cast<GLint>(storage_.levels - 1));
    glTexParameteriv(storage_.target, GL_TEXTURE_SWIZZLE_RGBA, fi.swizzle);
    for (UINT f = 0; f < storage_.faces; ++f) {
        const GLenum target = cube_ ? GL_TEXTURE_CUBE_MAP_POSITIVE_X + f : GL_TEXTURE_2D;
        for (UINT l = 0; l < storage_.levels; ++l) {
            const GLsizei w = static_cast<GLsizei>(storage_.LevelWidth(l)), h = static_cast<GLsizei>(storage_.LevelHeight(l));
            if (fi.bytesPerPixel == 0 && !storage_.decodeOnUpload) {
                glCompressedTexImage2D(target, static_cast<GLint>(l), fi.internalFormat, w, h, 0,
                                       static_cast<GLsizei>(storage_.LevelBytes(l)), storage_.shadow[f * storage_.levels + l].data());
            } else if (fi.bytesPerPixel == 0) {
                glTexImage2D(target, static_cast<GLint>(l), GL_RGBA8, w, h, 0, GL_BGRA, GL_UNSIGNED_BYTE, nullptr);
            } else {
                glTexImage2D(target, static_cast<GLint>(l), static_cast<GLint>(fi.internalFormat), w, h, 0, fi.pixelFormat,
                             fi.pixelType, nullptr);
            }
        }
    }
    if (cubeFacade_ == nullptr && cube_) cubeFacade_ = new CubeTexture(this);
}

Texture::~Texture() {
    for (Surface* s : surfaces_) delete s;
    delete static_cast<CubeTexture*>(cubeFacade_);
    ReleaseGl();
}

void Texture::ReleaseGl() {
    if (device_ && storage_.texture) {
        device_->MakeCurrent();
        glDeleteTextures(1, &storage_.texture);
    }
    storage_.texture = 0;
}

HRESULT Texture::QueryInterface(REFIID riid, void** ppv) {
    if (!ppv) return E_POINTER;
    if (riid == IID_IUnknown || riid == IID_IDirect3DResource8 || riid == IID_IDirect3DBaseTexture8 ||
        (!cube_ && riid == IID_IDirect3DTexture8)) {
        *ppv = cube_ ? static_cast<void*>(cubeFacade_) : static_cast<void*>(static_cast<IDirect3DTexture8*>(this));
        AddRef();
        return S_OK;
    }
    if (cube_ && riid == IID_IDirect3DCubeTexture8) {
        *ppv = cubeFacade_;
        AddRef();
        return S_OK;
    }
    *ppv = nullptr;
    return E_NOINTERFACE;
}

HRESULT Texture::GetDevice(IDirect3DDevice8** pp) {
    if (!pp || !device_) return D3DERR_INVALIDCALL;
    device_->AddRef();
    *pp = device_;
    return D3D_OK;
}

HRESULT Texture::GetLevelDesc(UINT level, D3DSURFACE_DESC* desc) {
    if (!desc || level >= storage_.levels) return D3DERR_INVALIDCALL;
    desc->Format = storage_.d3dFormat;
    desc->Type = D3DRTYPE_SURFACE;
    desc->Usage = storage_.usage;
    desc->Pool = storage_.pool;
    desc->Size = storage_.LevelBytes(level);
    desc->MultiSampleType = D3DMULTISAMPLE_NONE;
    desc->Width = storage_.LevelWidth(level);
    desc->Height = storage_.LevelHeight(level);
    return D3D_OK;
}

Surface* Texture::LevelSurface(UINT face, UINT level) {
    if (face >= storage_.faces || level >= storage_.levels) return nullptr;
    Surface*& s = surfaces_[face * storage_.levels + level];
    if (!s) s = new Surface(device_, this, face, level);
    return s;
}

HRESULT Texture::GetSurfaceLevel(UINT level, IDirect3DSurface8** pp) {
    if (!pp) return D3DERR_INVALIDCALL;
    *pp = nullptr;
    Surface* s = cube_ ? nullptr : LevelSurface(0, level);
    if (!s) return D3DERR_INVALIDCALL;
    s->AddRef();
    *pp = s;
    return D3D_OK;
}

HRESULT CubeTexture::GetCubeMapSurface(D3DCUBEMAP_FACES face, UINT level, IDirect3DSurface8** pp) {
    if (!pp) return D3DERR_INVALIDCALL;
    *pp = nullptr;
    Surface* s = texture_->LevelSurface(static_cast<UINT>(face), level);
    if (!s) return D3DERR_INVALIDCALL;
    s->AddRef();
    *pp = s;
    return D3D_OK;
}

HRESULT Texture::Lock(UINT face, UINT level, D3DLOCKED_RECT* out, const RECT* rect, DWORD flags) {
    if (!out || face >= storage_.faces || level >= storage_.levels || storage_.shadow.empty()) return D3DERR_INVALIDCALL;
    const UINT index = face * storage_.levels + level;
    if (storage_.locked[index]) return D3DERR_INVALIDCALL;
    const LONG w = static_cast<LONG>(storage_.LevelWidth(level)), h = static_cast<LONG>(storage_.LevelHeight(level));
    RECT r = rect ? *rect : RECT{0, 0, w, h};
    if (r.left < 0 || r.top < 0 || r.right > w || r.bottom > h || r.left >= r.right || r.top >= r.bottom)
        return D3DERR_INVALIDCALL;
    const FormatInfo& fi = *storage_.format;
    std::uint8_t* base = storage_.shadow[index].data();
    const UINT pitch = storage_.Pitch(level);
    if (fi.bytesPerPixel == 0) {
        if ((r.left & 3) || (r.top & 3)) return D3DERR_INVALIDCALL;
        out->pBits = base + static_cast<std::size_t>(r.top / 4) * pitch + static_cast<std::size_t>(r.left / 4) * fi.blockBytes;
    } else {
        out->pBits = base + static_cast<std::size_t>(r.top) * pitch + static_cast<std::size_t>(r.left) * fi.bytesPerPixel;
    }
    out->Pitch = static_cast<INT>(pitch);
    storage_.locked[index] = true;
    // A read-only lock uploads nothing afterwards.
    storage_.lockedRect[index] = (flags & D3DLOCK_READONLY) ? RECT{0, 0, 0, 0} : r;
    return D3D_OK;
}

HRESULT Texture::Unlock(UINT face, UINT level) {
    if (face >= storage_.faces || level >= storage_.levels) return D3DERR_INVALIDCALL;
    const UINT index = face * storage_.levels + level;
    if (!storage_.locked[index]) return D3DERR_INVALIDCALL;
    storage_.locked[index] = false;
    const RECT r = storage_.lockedRect[index];
    if (r.bottom <= r.top || !device_) return D3D_OK;
    device_->MakeCurrent();
    const FormatInfo& fi = *storage_.format;
    const GLenum target = cube_ ? GL_TEXTURE_CUBE_MAP_POSITIVE_X + face : GL_TEXTURE_2D;
    glActiveTexture(kUploadUnit);
    glBindTexture(storage_.target, storage_.texture);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    const auto& shadow = storage_.shadow[index];
    const GLsizei w = static_cast<GLsizei>(storage_.LevelWidth(level));
    const GLsizei h = static_cast<GLsizei>(storage_.LevelHeight(level));
    if (fi.bytesPerPixel == 0) {
        // Whole block rows of the locked range.
        const UINT pitch = storage_.Pitch(level);
        const GLint y0 = (r.top / 4) * 4;
        const GLint y1 = std::min<GLint>(((r.bottom + 3) / 4) * 4, h);
        const std::uint8_t* src = shadow.data() + static_cast<std::size_t>(y0 / 4) * pitch;
        const std::size_t bytes = static_cast<std::size_t>((y1 - y0 + 3) / 4) * pitch;
        if (storage_.decodeOnUpload) {
            std::vector<std::uint8_t> pixels(static_cast<std::size_t>(w) * static_cast<std::size_t>(y1 - y0) * 4);
            if (DecodeDxt(static_cast<std::uint32_t>(storage_.d3dFormat), src, bytes, w, y1 - y0, pixels.data()))
                glTexSubImage2D(target, static_cast<GLint>(level), 0, y0, w, y1 - y0, GL_BGRA, GL_UNSIGNED_BYTE, pixels.data());
        } else {
            glCompressedTexSubImage2D(target, static_cast<GLint>(level), 0, y0, w, y1 - y0, fi.internalFormat,
                                      static_cast<GLsizei>(bytes), src);
        }
    } else {
        const std::uint8_t* src = shadow.data() + static_cast<std::size_t>(r.top) * storage_.Pitch(level);
        glTexSubImage2D(target, static_cast<GLint>(level), 0, r.top, w, r.bottom - r.top, fi.pixelFormat, fi.pixelType, src);
    }
    return D3D_OK;
}

// ---------------------------------------------------------------- surfaces

Surface::Surface(Device* device, Kind kind, D3DFORMAT format, UINT width, UINT height)
    : Resource(device), kind_(kind), format_(format), width_(width), height_(height) {}

Surface::Surface(Device* device, Texture* container, UINT face, UINT level)
    : Resource(nullptr), kind_(Kind::TextureLevel), format_(container->storage().d3dFormat),
      width_(container->storage().LevelWidth(level)), height_(container->storage().LevelHeight(level)),
      container_(container), face_(face), level_(level) {
    device_ = device;  // texture levels are not tracked on their own: the texture is
}

Surface::~Surface() {
    if (container_) device_ = nullptr;  // never tracked
    else if (device_) device_->ForgetSurface(this);
    ReleaseGl();
}

void Surface::ReleaseGl() {
    if (device_ && (texture_ || renderbuffer_)) {
        device_->MakeCurrent();
        if (texture_) glDeleteTextures(1, &texture_);
        if (renderbuffer_) glDeleteRenderbuffers(1, &renderbuffer_);
    }
    texture_ = renderbuffer_ = 0;
}

bool Surface::Allocate() {
    if (!device_) return false;
    device_->MakeCurrent();
    if (kind_ == Kind::RenderTarget) {
        const FormatInfo* fi = FindFormat(format_);
        if (!fi || !fi->renderTarget) return false;
        if (!texture_) glGenTextures(1, &texture_);
        glActiveTexture(kUploadUnit);
        glBindTexture(GL_TEXTURE_2D, texture_);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAX_LEVEL, 0);
        glTexImage2D(GL_TEXTURE_2D, 0, static_cast<GLint>(fi->internalFormat), static_cast<GLsizei>(width_),
                     static_cast<GLsizei>(height_), 0, fi->pixelFormat, fi->pixelType, nullptr);
        glTexParameteriv(GL_TEXTURE_2D, GL_TEXTURE_SWIZZLE_RGBA, fi->swizzle);
        return true;
    }
    if (kind_ == Kind::DepthStencil) {
        if (!renderbuffer_) glGenRenderbuffers(1, &renderbuffer_);
        glBindRenderbuffer(GL_RENDERBUFFER, renderbuffer_);
        glRenderbufferStorage(GL_RENDERBUFFER, GL_DEPTH24_STENCIL8, static_cast<GLsizei>(width_),
                              static_cast<GLsizei>(height_));
        return true;
    }
    if (kind_ == Kind::Image) {
        const FormatInfo* fi = FindFormat(format_);
        if (!fi) return false;
        const UINT pitch = fi->bytesPerPixel ? width_ * fi->bytesPerPixel : ((width_ + 3) / 4) * fi->blockBytes;
        const UINT rows = fi->bytesPerPixel ? height_ : (height_ + 3) / 4;
        memory_.assign(static_cast<std::size_t>(pitch) * rows, 0);
        return true;
    }
    return false;
}

GLuint Surface::glTexture() const { return container_ ? container_->storage().texture : texture_; }

HRESULT Surface::QueryInterface(REFIID riid, void** ppv) {
    if (!ppv) return E_POINTER;
    if (riid == IID_IUnknown || riid == IID_IDirect3DSurface8) {
        *ppv = static_cast<IDirect3DSurface8*>(this);
        AddRef();
        return S_OK;
    }
    *ppv = nullptr;
    return E_NOINTERFACE;
}

HRESULT Surface::GetDevice(IDirect3DDevice8** pp) {
    Device* d = container_ ? container_->device() : device_;
    if (!pp || !d) return D3DERR_INVALIDCALL;
    d->AddRef();
    *pp = d;
    return D3D_OK;
}

HRESULT Surface::GetContainer(REFIID riid, void** pp) {
    if (!pp) return D3DERR_INVALIDCALL;
    *pp = nullptr;
    if (container_) return container_->QueryInterface(riid, pp);
    if (device_) return device_->QueryInterface(riid, pp);
    return E_NOINTERFACE;
}

HRESULT Surface::GetDesc(D3DSURFACE_DESC* desc) {
    if (!desc) return D3DERR_INVALIDCALL;
    if (container_) return container_->GetLevelDesc(level_, desc);
    desc->Format = format_;
    desc->Type = D3DRTYPE_SURFACE;
    desc->Usage = kind_ == Kind::RenderTarget ? D3DUSAGE_RENDERTARGET : kind_ == Kind::DepthStencil ? D3DUSAGE_DEPTHSTENCIL : 0;
    desc->Pool = kind_ == Kind::Image ? D3DPOOL_SYSTEMMEM : D3DPOOL_DEFAULT;
    const FormatInfo* fi = FindFormat(format_);
    desc->Size = fi && fi->bytesPerPixel ? width_ * height_ * fi->bytesPerPixel : width_ * height_ * 4;
    desc->MultiSampleType = D3DMULTISAMPLE_NONE;
    desc->Width = width_;
    desc->Height = height_;
    return D3D_OK;
}

HRESULT Surface::LockRect(D3DLOCKED_RECT* out, const RECT* rect, DWORD flags) {
    if (container_) return container_->Lock(face_, level_, out, rect, flags);
    if (!out || locked_) return D3DERR_INVALIDCALL;
    const FormatInfo* fi = FindFormat(format_);
    if (!fi || (fi->bytesPerPixel == 0 && kind_ != Kind::Image)) return D3DERR_INVALIDCALL;
    RECT r = rect ? *rect : RECT{0, 0, static_cast<LONG>(width_), static_cast<LONG>(height_)};
    if (r.left < 0 || r.top < 0 || r.right > static_cast<LONG>(width_) || r.bottom > static_cast<LONG>(height_) ||
        r.left >= r.right || r.top >= r.bottom)
        return D3DERR_INVALIDCALL;
    if (kind_ == Kind::RenderTarget) {
        if (!device_) return D3DERR_INVALIDCALL;
        // Read the target back so the caller sees what was drawn.
        device_->MakeCurrent();
        memory_.assign(static_cast<std::size_t>(width_) * height_ * fi->bytesPerPixel, 0);
        glBindFramebuffer(GL_READ_FRAMEBUFFER, device_->readFbo());
        glFramebufferTexture2D(GL_READ_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D, texture_, 0);
        glPixelStorei(GL_PACK_ALIGNMENT, 1);
        glReadPixels(0, 0, static_cast<GLsizei>(width_), static_cast<GLsizei>(height_), fi->pixelFormat, fi->pixelType,
                     memory_.data());
    } else if (kind_ != Kind::Image) {
        return D3DERR_INVALIDCALL;
    }
    const UINT pitch = fi->bytesPerPixel ? width_ * fi->bytesPerPixel : ((width_ + 3) / 4) * fi->blockBytes;
    out->Pitch = static_cast<INT>(pitch);
    out->pBits = memory_.data() + static_cast<std::size_t>(r.top) * pitch + static_cast<std::size_t>(r.left) * std::max(fi->bytesPerPixel, 1);
    locked_ = true;
    lockRect_ = (flags & D3DLOCK_READONLY) ? RECT{0, 0, 0, 0} : r;
    return D3D_OK;
}

HRESULT Surface::UnlockRect() {
    if (container_) return container_->Unlock(face_, level_);
    if (!locked_) return D3DERR_INVALIDCALL;
    locked_ = false;
    if (kind_ == Kind::RenderTarget && device_ && lockRect_.bottom > lockRect_.top) {
        const FormatInfo* fi = FindFormat(format_);
        device_->MakeCurrent();
        glActiveTexture(kUploadUnit);
        glBindTexture(GL_TEXTURE_2D, texture_);
        glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
        glTexSubImage2D(GL_TEXTURE_2D, 0, 0, lockRect_.top, static_cast<GLsizei>(width_), lockRect_.bottom - lockRect_.top,
                        fi->pixelFormat, fi->pixelType,
                        memory_.data() + static_cast<std::size_t>(lockRect_.top) * width_ * fi->bytesPerPixel);
    }
    return D3D_OK;
}

// ---------------------------------------------------------------- buffers

Buffer::Buffer(Device* device, UINT size, DWORD usage, D3DPOOL pool)
    : Resource(device), shadow_(size), usage_(usage), pool_(pool) {
    glGenBuffers(1, &buffer_);
    glBindBuffer(GL_COPY_WRITE_BUFFER, buffer_);
    glBufferData(GL_COPY_WRITE_BUFFER, size, nullptr, (usage & D3DUSAGE_DYNAMIC) ? GL_DYNAMIC_DRAW : GL_STATIC_DRAW);
}

Buffer::~Buffer() { ReleaseGl(); }

void Buffer::ReleaseGl() {
    if (device_ && buffer_) {
        device_->MakeCurrent();
        glDeleteBuffers(1, &buffer_);
    }
    buffer_ = 0;
}

HRESULT Buffer::LockImpl(UINT offset, UINT size, BYTE** data, DWORD flags) {
    if (!data) return D3DERR_INVALIDCALL;
    *data = nullptr;
    const UINT total = static_cast<UINT>(shadow_.size());
    if (size == 0) {
        if (offset > total) return D3DERR_INVALIDCALL;
        size = total - offset;
    }
    if (offset > total || size > total - offset) return D3DERR_INVALIDCALL;
    *data = shadow_.data() + offset;
    if (!(flags & D3DLOCK_READONLY)) {
        if (dirtyEnd_ <= dirtyBegin_) {
            dirtyBegin_ = offset;
            dirtyEnd_ = offset + size;
        } else {
            dirtyBegin_ = std::min(dirtyBegin_, offset);
            dirtyEnd_ = std::max(dirtyEnd_, offset + size);
        }
    }
    ++lockDepth_;
    return D3D_OK;
}

HRESULT Buffer::UnlockImpl() {
    if (lockDepth_ == 0) return D3DERR_INVALIDCALL;
    if (--lockDepth_ > 0) return D3D_OK;
    if (dirtyEnd_ > dirtyBegin_ && device_) {
        device_->MakeCurrent();
        glBindBuffer(GL_COPY_WRITE_BUFFER, buffer_);
        glBufferSubData(GL_COPY_WRITE_BUFFER, dirtyBegin_, dirtyEnd_ - dirtyBegin_, shadow_.data() + dirtyBegin_);
    }
    dirtyBegin_ = dirtyEnd_ = 0;
    return D3D_OK;
}

HRESULT VertexBuffer::QueryInterface(REFIID riid, void** ppv) {
    if (!ppv) return E_POINTER;
    if (riid == IID_IUnknown || riid == IID_IDirect3DResource8 || riid == IID_IDirect3DVertexBuffer8) {
        *ppv = static_cast<IDirect3DVertexBuffer8*>(this);
        AddRef();
        return S_OK;
    }
    *ppv = nullptr;
    return E_NOINTERFACE;
}
HRESULT VertexBuffer::GetDevice(IDirect3DDevice8** pp) {
    if (!pp || !device_) return D3DERR_INVALIDCALL;
    device_->AddRef();
    *pp = device_;
    return D3D_OK;
}
HRESULT VertexBuffer::GetDesc(D3DVERTEXBUFFER_DESC* d) {
    if (!d) return D3DERR_INVALIDCALL;
    *d = {D3DFMT_VERTEXDATA, D3DRTYPE_VERTEXBUFFER, usage_, pool_, static_cast<UINT>(shadow_.size()), fvf_};
    return D3D_OK;
}

HRESULT IndexBuffer::QueryInterface(REFIID riid, void** ppv) {
    if (!ppv) return E_POINTER;
    if (riid == IID_IUnknown || riid == IID_IDirect3DResource8 || riid == IID_IDirect3DIndexBuffer8) {
        *ppv = static_cast<IDirect3DIndexBuffer8*>(this);
        AddRef();
        return S_OK;
    }
    *ppv = nullptr;
    return E_NOINTERFACE;
}
HRESULT IndexBuffer::GetDevice(IDirect3DDevice8** pp) {
    if (!pp || !device_) return D3DERR_INVALIDCALL;
    device_->AddRef();
    *pp = device_;
    return D3D_OK;
}
HRESULT IndexBuffer::GetDesc(D3DINDEXBUFFER_DESC* d) {
    if (!d) return D3DERR_INVALIDCALL;
    *d = {format_, D3DRTYPE_INDEXBUFFER, usage_, pool_, static_cast<UINT>(shadow_.size())};
    return D3D_OK;
}

}  // namespace gl
