#include <algorithm>
#include <cstring>

#include "fakes/d3d8/fake_d3d8.h"

namespace fake_d3d8 {

namespace {
int g_live = 0;

UINT Mip(UINT size, UINT level) { return std::max<UINT>(1, size >> level); }

UINT FullChain(UINT width, UINT height) {
    UINT levels = 1;
    while (width > 1 || height > 1) {
        width = std::max<UINT>(1, width / 2);
        height = std::max<UINT>(1, height / 2);
        ++levels;
    }
    return levels;
}
}  // namespace

int FakeObjects::Live() { return g_live; }
void FakeObjects::Born() { ++g_live; }
void FakeObjects::Died() { --g_live; }

std::vector<Call> CallLog::Named(std::string_view name) const {
    std::vector<Call> out;
    for (const Call& c : calls_)
        if (c.Name == name) out.push_back(c);
    return out;
}

std::size_t CallLog::Count(std::string_view name) const {
    return static_cast<std::size_t>(
        std::count_if(calls_.begin(), calls_.end(), [&](const Call& c) { return c.Name == name; }));
}

std::vector<std::string> CallLog::Names() const { return NamesWithout({}); }

std::vector<std::string> CallLog::NamesWithout(const std::set<std::string>& skip) const {
    std::vector<std::string> out;
    for (const Call& c : calls_)
        if (!skip.count(c.Name)) out.push_back(c.Name);
    return out;
}

void Script::Set(const std::string& name, std::initializer_list<HRESULT> results) {
    queued_[name].assign(results.begin(), results.end());
}

void Script::Repeat(const std::string& name, HRESULT result, int times) {
    auto& q = queued_[name];
    for (int i = 0; i < times; ++i) q.push_back(result);
}

HRESULT Script::Next(const std::string& name, HRESULT normal) {
    auto it = queued_.find(name);
    if (it == queued_.end() || it->second.empty()) return normal;
    const HRESULT hr = it->second.front();
    it->second.pop_front();
    return hr;
}

bool Script::Pending(const std::string& name) const {
    auto it = queued_.find(name);
    return it != queued_.end() && !it->second.empty();
}

bool IsCompressed(D3DFORMAT format) {
    switch (format) {
        case D3DFMT_DXT1: case D3DFMT_DXT2: case D3DFMT_DXT3: case D3DFMT_DXT4: case D3DFMT_DXT5:
            return true;
        default:
            return false;
    }
}

UINT BytesPerPixel(D3DFORMAT format) {
    switch (format) {
        case D3DFMT_A8R8G8B8: case D3DFMT_X8R8G8B8: case D3DFMT_D32: case D3DFMT_D24X8:
        case D3DFMT_D24S8: case D3DFMT_Q8W8V8U8: case D3DFMT_X8L8V8U8:
            return 4;
        case D3DFMT_R8G8B8: return 3;
        case D3DFMT_L8: case D3DFMT_A8: case D3DFMT_P8: return 1;
        default: return 2;
    }
}

// --- FakeSurface -------------------------------------------------------------------------------

FakeSurface::FakeSurface(FakeDevice* device, UINT width, UINT height, D3DFORMAT format,
                         DWORD usage, D3DPOOL pool, D3DRESOURCETYPE type)
    : device_(device) {
    if (IsCompressed(format)) {
        const UINT blockBytes = format == D3DFMT_DXT1 ? 8 : 16;
        Pitch = std::max<UINT>(1, (width + 3) / 4) * blockBytes;
        Bits.assign(static_cast<std::size_t>(Pitch) * std::max<UINT>(1, (height + 3) / 4), 0);
    } else {
        Pitch = width * BytesPerPixel(format);
        Bits.assign(static_cast<std::size_t>(Pitch) * height, 0);
    }
    Desc.Format = format;
    Desc.Type = type;
    Desc.Usage = usage;
    Desc.Pool = pool;
    Desc.Size = static_cast<UINT>(Bits.size());
    Desc.MultiSampleType = D3DMULTISAMPLE_NONE;
    Desc.Width = width;
    Desc.Height = height;
}

HRESULT FakeSurface::GetDevice(IDirect3DDevice8** device) {
    if (!device) return D3DERR_INVALIDCALL;
    *device = static_cast<IDirect3DDevice8*>(device_);
    if (device_) static_cast<IDirect3DDevice8*>(device_)->AddRef();
    return device_ ? S_OK : D3DERR_INVALIDCALL;
}

HRESULT FakeSurface::GetContainer(REFIID, void** container) {
    if (container) *container = nullptr;
    return E_NOINTERFACE;
}

HRESULT FakeSurface::GetDesc(D3DSURFACE_DESC* desc) {
    if (!desc) return D3DERR_INVALIDCALL;
    *desc = Desc;
    return S_OK;
}

HRESULT FakeSurface::LockRect(D3DLOCKED_RECT* locked, const RECT* rect, DWORD) {
    if (!locked || Locked) return D3DERR_INVALIDCALL;
    std::size_t offset = 0;
    if (rect != nullptr) {
        if (rect->left < 0 || rect->top < 0 || rect->right > static_cast<LONG>(Desc.Width) ||
            rect->bottom > static_cast<LONG>(Desc.Height) || rect->left > rect->right ||
            rect->top > rect->bottom)
            return D3DERR_INVALIDCALL;
        offset = static_cast<std::size_t>(rect->top) * Pitch +
                 static_cast<std::size_t>(rect->left) * BytesPerPixel(Desc.Format);
    }
    locked->Pitch = static_cast<INT>(Pitch);
    locked->pBits = Bits.data() + offset;
    Locked = true;
    ++LockCount;
    return S_OK;
}

HRESULT FakeSurface::UnlockRect() {
    if (!Locked) return D3DERR_INVALIDCALL;
    Locked = false;
    return S_OK;
}

// --- FakeTexture -------------------------------------------------------------------------------

FakeTexture::FakeTexture(FakeDevice* device, UINT width, UINT height, UINT levels, DWORD usage,
                         D3DFORMAT format, D3DPOOL pool)
    : Usage(usage), Format(format), Pool(pool), device_(device) {
    const UINT count = levels == 0 ? FullChain(width, height) : levels;
    for (UINT l = 0; l < count; ++l)
        Levels.push_back(new FakeSurface(device, Mip(width, l), Mip(height, l), format, usage, pool));
}

FakeTexture::~FakeTexture() {
    for (FakeSurface* s : Levels) s->Release();
}

HRESULT FakeTexture::GetDevice(IDirect3DDevice8** device) {
    if (!device || !device_) return D3DERR_INVALIDCALL;
    *device = static_cast<IDirect3DDevice8*>(device_);
    (*device)->AddRef();
    return S_OK;
}

HRESULT FakeTexture::GetLevelDesc(UINT level, D3DSURFACE_DESC* desc) {
    if (level >= Levels.size()) return D3DERR_INVALIDCALL;
    return Levels[level]->GetDesc(desc);
}

HRESULT FakeTexture::GetSurfaceLevel(UINT level, IDirect3DSurface8** surface) {
    if (!surface || level >= Levels.size()) return D3DERR_INVALIDCALL;
    Levels[level]->AddRef();
    *surface = Levels[level];
    return S_OK;
}

HRESULT FakeTexture::LockRect(UINT level, D3DLOCKED_RECT* locked, const RECT* rect, DWORD flags) {
    if (level >= Levels.size()) return D3DERR_INVALIDCALL;
    return Levels[level]->LockRect(locked, rect, flags);
}

HRESULT FakeTexture::UnlockRect(UINT level) {
    if (level >= Levels.size()) return D3DERR_INVALIDCALL;
    return Levels[level]->UnlockRect();
}

// --- FakeCubeTexture ---------------------------------------------------------------------------

FakeCubeTexture::FakeCubeTexture(FakeDevice* device, UINT edge, UINT levels, DWORD usage,
                                 D3DFORMAT format, D3DPOOL pool)
    : Usage(usage), Format(format), Pool(pool), device_(device) {
    LevelCount = levels == 0 ? FullChain(edge, edge) : levels;
    for (UINT f = 0; f < 6; ++f)
        for (UINT l = 0; l < LevelCount; ++l)
            Surfaces.push_back(new FakeSurface(device, Mip(edge, l), Mip(edge, l), format, usage, pool));
}

FakeCubeTexture::~FakeCubeTexture() {
    for (FakeSurface* s : Surfaces) s->Release();
}

FakeSurface* FakeCubeTexture::Face(UINT face, UINT level) const {
    if (face >= 6 || level >= LevelCount) return nullptr;
    return Surfaces[face * LevelCount + level];
}

HRESULT FakeCubeTexture::GetDevice(IDirect3DDevice8** device) {
    if (!device || !device_) return D3DERR_INVALIDCALL;
    *device = static_cast<IDirect3DDevice8*>(device_);
    (*device)->AddRef();
    return S_OK;
}

HRESULT FakeCubeTexture::GetLevelDesc(UINT level, D3DSURFACE_DESC* desc) {
    FakeSurface* s = Face(0, level);
    return s ? s->GetDesc(desc) : D3DERR_INVALIDCALL;
}

HRESULT FakeCubeTexture::GetCubeMapSurface(D3DCUBEMAP_FACES face, UINT level,
                                           IDirect3DSurface8** surface) {
    FakeSurface* s = Face(static_cast<UINT>(face), level);
    if (!s || !surface) return D3DERR_INVALIDCALL;
    s->AddRef();
    *surface = s;
    return S_OK;
}

HRESULT FakeCubeTexture::LockRect(D3DCUBEMAP_FACES face, UINT level, D3DLOCKED_RECT* locked,
                                  const RECT* rect, DWORD flags) {
    FakeSurface* s = Face(static_cast<UINT>(face), level);
    return s ? s->LockRect(locked, rect, flags) : D3DERR_INVALIDCALL;
}

HRESULT FakeCubeTexture::UnlockRect(D3DCUBEMAP_FACES face, UINT level) {
    FakeSurface* s = Face(static_cast<UINT>(face), level);
    return s ? s->UnlockRect() : D3DERR_INVALIDCALL;
}

// --- FakeVolumeTexture -------------------------------------------------------------------------

FakeVolumeTexture::FakeVolumeTexture(FakeDevice* device, UINT width, UINT height, UINT depth,
                                     UINT levels, DWORD usage, D3DFORMAT format, D3DPOOL pool)
    : device_(device) {
    UINT count = levels;
    if (count == 0) {
        count = 1;
        for (UINT w = width, h = height, d = depth; w > 1 || h > 1 || d > 1; ++count) {
            w = std::max<UINT>(1, w / 2);
            h = std::max<UINT>(1, h / 2);
            d = std::max<UINT>(1, d / 2);
        }
    }
    for (UINT l = 0; l < count; ++l) {
        D3DVOLUME_DESC desc{};
        desc.Format = format;
        desc.Type = D3DRTYPE_VOLUME;
        desc.Usage = usage;
        desc.Pool = pool;
        desc.Width = Mip(width, l);
        desc.Height = Mip(height, l);
        desc.Depth = Mip(depth, l);
        desc.Size = desc.Width * desc.Height * desc.Depth * BytesPerPixel(format);
        LevelDescs.push_back(desc);
        LevelBits.emplace_back(desc.Size, 0);
    }
}

HRESULT FakeVolumeTexture::GetDevice(IDirect3DDevice8** device) {
    if (!device || !device_) return D3DERR_INVALIDCALL;
    *device = static_cast<IDirect3DDevice8*>(device_);
    (*device)->AddRef();
    return S_OK;
}

HRESULT FakeVolumeTexture::GetLevelDesc(UINT level, D3DVOLUME_DESC* desc) {
    if (!desc || level >= LevelDescs.size()) return D3DERR_INVALIDCALL;
    *desc = LevelDescs[level];
    return S_OK;
}

HRESULT FakeVolumeTexture::GetVolumeLevel(UINT, IDirect3DVolume8** volume) {
    if (volume) *volume = nullptr;
    return D3DERR_NOTAVAILABLE;
}

HRESULT FakeVolumeTexture::LockBox(UINT level, D3DLOCKED_BOX* locked, const D3DBOX*, DWORD) {
    if (!locked || level >= LevelDescs.size()) return D3DERR_INVALIDCALL;
    const D3DVOLUME_DESC& d = LevelDescs[level];
    locked->RowPitch = static_cast<INT>(d.Width * BytesPerPixel(d.Format));
    locked->SlicePitch = locked->RowPitch * static_cast<INT>(d.Height);
    locked->pBits = LevelBits[level].data();
    return S_OK;
}

HRESULT FakeVolumeTexture::UnlockBox(UINT level) {
    return level < LevelDescs.size() ? S_OK : D3DERR_INVALIDCALL;
}

// --- buffers -----------------------------------------------------------------------------------

namespace {
template <class Buffer>
HRESULT LockBuffer(Buffer& b, UINT offset, UINT size, BYTE** data) {
    if (!data || b.Locked || offset > b.Bytes.size()) return D3DERR_INVALIDCALL;
    if (size != 0 && size > b.Bytes.size() - offset) return D3DERR_INVALIDCALL;
    *data = b.Bytes.data() + offset;
    b.Locked = true;
    ++b.LockCount;
    return S_OK;
}
}  // namespace

FakeVertexBuffer::FakeVertexBuffer(FakeDevice* device, UINT length, DWORD usage, DWORD fvf,
                                   D3DPOOL pool)
    : Bytes(length, 0), device_(device) {
    Desc.Format = D3DFMT_VERTEXDATA;
    Desc.Type = D3DRTYPE_VERTEXBUFFER;
    Desc.Usage = usage;
    Desc.Pool = pool;
    Desc.Size = length;
    Desc.FVF = fvf;
}

HRESULT FakeVertexBuffer::GetDevice(IDirect3DDevice8** device) {
    if (!device || !device_) return D3DERR_INVALIDCALL;
    *device = static_cast<IDirect3DDevice8*>(device_);
    (*device)->AddRef();
    return S_OK;
}

HRESULT FakeVertexBuffer::Lock(UINT offset, UINT size, BYTE** data, DWORD) {
    return LockBuffer(*this, offset, size, data);
}

HRESULT FakeVertexBuffer::Unlock() {
    if (!Locked) return D3DERR_INVALIDCALL;
    Locked = false;
    return S_OK;
}

HRESULT FakeVertexBuffer::GetDesc(D3DVERTEXBUFFER_DESC* desc) {
    if (!desc) return D3DERR_INVALIDCALL;
    *desc = Desc;
    return S_OK;
}

FakeIndexBuffer::FakeIndexBuffer(FakeDevice* device, UINT length, DWORD usage, D3DFORMAT format,
                                 D3DPOOL pool)
    : Bytes(length, 0), device_(device) {
    Desc.Format = format;
    Desc.Type = D3DRTYPE_INDEXBUFFER;
    Desc.Usage = usage;
    Desc.Pool = pool;
    Desc.Size = length;
}

HRESULT FakeIndexBuffer::GetDevice(IDirect3DDevice8** device) {
    if (!device || !device_) return D3DERR_INVALIDCALL;
    *device = static_cast<IDirect3DDevice8*>(device_);
    (*device)->AddRef();
    return S_OK;
}

HRESULT FakeIndexBuffer::Lock(UINT offset, UINT size, BYTE** data, DWORD) {
    return LockBuffer(*this, offset, size, data);
}

HRESULT FakeIndexBuffer::Unlock() {
    if (!Locked) return D3DERR_INVALIDCALL;
    Locked = false;
    return S_OK;
}

HRESULT FakeIndexBuffer::GetDesc(D3DINDEXBUFFER_DESC* desc) {
    if (!desc) return D3DERR_INVALIDCALL;
    *desc = Desc;
    return S_OK;
}

}  // namespace fake_d3d8
