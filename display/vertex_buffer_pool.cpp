#include "display/vertex_buffer_pool.h"

#include <algorithm>
#include <cstring>

namespace display {

namespace {
// Byte offsets inside one pre-transformed 0x144 vertex: x, y, z, rhw, colour, tu, tv.
constexpr std::size_t kQuadStride = 28;
constexpr std::size_t kOffsetColour = 16;
constexpr std::size_t kOffsetTu = 20;
constexpr std::size_t kOffsetTv = 24;
constexpr UINT kQuadBytes = 4 * kQuadStride;

void PutFloat(std::uint8_t* at, float value) { std::memcpy(at, &value, sizeof value); }
}  // namespace

UINT VertexBufferPool::StrideOf(DWORD fvf) {
    switch (fvf) {
        case 0x144: return 28;
        case 0x152: return 36;
        case 0x352: return 56;  // RenderVertex carries a tangent beyond what the code describes
        default: return 0;
    }
}

VertexBufferPool::VertexSlot* VertexBufferPool::Vertex(int handle) {
    return handle >= 0 && handle < vertexSlotCount_ ? &vertexSlots_[handle] : nullptr;
}
const VertexBufferPool::VertexSlot* VertexBufferPool::Vertex(int handle) const {
    return handle >= 0 && handle < vertexSlotCount_ ? &vertexSlots_[handle] : nullptr;
}
VertexBufferPool::IndexSlot* VertexBufferPool::Index(int handle) {
    return handle >= 0 && handle < indexSlotCount_ ? &indexSlots_[handle] : nullptr;
}
const VertexBufferPool::IndexSlot* VertexBufferPool::Index(int handle) const {
    return handle >= 0 && handle < indexSlotCount_ ? &indexSlots_[handle] : nullptr;
}

VertexBufferPool::~VertexBufferPool() {
    for (int i = 0; i < vertexSlotCount_; ++i)
        if (vertexSlots_[i].buffer != nullptr) vertexSlots_[i].buffer->Release();
    for (int i = 0; i < indexSlotCount_; ++i)
        if (indexSlots_[i].buffer != nullptr) indexSlots_[i].buffer->Release();
}

void VertexBufferPool::AttachDevice(IDirect3DDevice8* device) {
    if (device == nullptr) return;
    device_ = device;
    D3DVIEWPORT8 viewport{};
    if (SUCCEEDED(device->GetViewport(&viewport))) viewport_ = viewport;
}

void VertexBufferPool::CreateVertexSlot(int& handle, DWORD fvf, UINT vertexCount) {
    VertexSlot* slot = Vertex(handle);
    if (slot == nullptr) {
        if (vertexSlotCount_ >= kMaxSlots) {
            handle = kNoHandle;
            return;
        }
        handle = vertexSlotCount_++;
        slot = &vertexSlots_[handle];
    } else if (slot->buffer != nullptr) {
        slot->buffer->Release();
        slot->buffer = nullptr;
    }
    slot->created = false;
    slot->length = 0;
    slot->fvf = fvf;
    if (const UINT stride = StrideOf(fvf); stride != 0) slot->stride = stride;
    if (device_ == nullptr) return;

    // Refuse lengths that do not fit the 32-bit request instead of letting them wrap.
    const std::uint64_t length = std::uint64_t{vertexCount} * slot->stride;
    if (length > 0xFFFFFFFFu) return;
    IDirect3DVertexBuffer8* buffer = nullptr;
    if (SUCCEEDED(device_->CreateVertexBuffer(static_cast<UINT>(length), 0, fvf, D3DPOOL_MANAGED,
                                              &buffer)) &&
        buffer != nullptr) {
        slot->buffer = buffer;
        slot->created = true;
        slot->length = static_cast<UINT>(length);
    }
}

int VertexBufferPool::CreateIndexSlot(UINT indexCount) {
    if (indexSlotCount_ >= kMaxSlots) return kNoHandle;
    const int handle = indexSlotCount_++;
    IndexSlot& slot = indexSlots_[handle];
    if (device_ == nullptr) return handle;
    const std::uint64_t length = std::uint64_t{indexCount} * 2;
    if (length > 0xFFFFFFFFu) return handle;
    IDirect3DIndexBuffer8* buffer = nullptr;
    if (SUCCEEDED(device_->CreateIndexBuffer(static_cast<UINT>(length), 0, D3DFMT_INDEX16,
                                             D3DPOOL_MANAGED, &buffer)) &&
        buffer != nullptr) {
        slot.buffer = buffer;
        slot.created = true;
        slot.length = static_cast<UINT>(length);
    }
    return handle;
}

void* VertexBufferPool::LockVertices(int handle) {
    VertexSlot* slot = Vertex(handle);
    if (slot == nullptr || slot->buffer == nullptr) return nullptr;
    BYTE* data = nullptr;
    if (FAILED(slot->buffer->Lock(0, 0, &data, 0))) return nullptr;
    return data;
}

void VertexBufferPool::UnlockVertices(int handle) {
    if (VertexSlot* slot = Vertex(handle); slot != nullptr && slot->buffer != nullptr)
        slot->buffer->Unlock();
}

void VertexBufferPool::FillVertices(int handle, const void* bytes, std::size_t length) {
    VertexSlot* slot = Vertex(handle);
    if (slot == nullptr || bytes == nullptr) return;
    void* data = LockVertices(handle);
    if (data == nullptr) return;
    std::memcpy(data, bytes, std::min<std::size_t>(length, slot->length));
    UnlockVertices(handle);
}

void* VertexBufferPool::LockIndices(int handle) {
    IndexSlot* slot = Index(handle);
    if (slot == nullptr || slot->buffer == nullptr) return nullptr;
    BYTE* data = nullptr;
    if (FAILED(slot->buffer->Lock(0, 0, &data, 0))) return nullptr;
    return data;
}

void VertexBufferPool::UnlockIndices(int handle) {
    if (IndexSlot* slot = Index(handle); slot != nullptr && slot->buffer != nullptr)
        slot->buffer->Unlock();
}

void VertexBufferPool::FillIndices(int handle, const void* bytes, std::size_t length) {
    IndexSlot* slot = Index(handle);
    if (slot == nullptr || bytes == nullptr) return;
    void* data = LockIndices(handle);
    if (data == nullptr) return;
    std::memcpy(data, bytes, std::min<std::size_t>(length, slot->length));
    UnlockIndices(handle);
}

void VertexBufferPool::SelectVertices(UINT stream, int handle) {
    const VertexSlot* slot = Vertex(handle);
    if (slot == nullptr || device_ == nullptr) return;
    device_->SetVertexShader(slot->fvf);
    device_->SetStreamSource(stream, slot->buffer, slot->stride);
}

void VertexBufferPool::SelectIndices(int handle) {
    const IndexSlot* slot = Index(handle);
    if (slot == nullptr || device_ == nullptr) return;
    device_->SetIndices(slot->buffer, 0);
}

void VertexBufferPool::SetScreenQuad(int handle, float x, float y, float w, float h,
                                     D3DCOLOR colour, float tu0, float tv0, float tu1, float tv1) {
    const VertexSlot* slot = Vertex(handle);
    // Only a quad slot big enough for four pre-transformed vertices is written.
    if (slot == nullptr || slot->stride != kQuadStride || slot->length < kQuadBytes) return;
    auto* data = static_cast<std::uint8_t*>(LockVertices(handle));
    if (data == nullptr) return;

    const auto screenX = [&](float f) {
        return static_cast<float>(static_cast<long double>(viewport_.X) +
                                  static_cast<long double>(viewport_.Width) * f);
    };
    const auto screenY = [&](float f) {
        return static_cast<float>(static_cast<long double>(viewport_.Y) +
                                  static_cast<long double>(viewport_.Height) * f);
    };
    struct Corner {
        float fx, fy, tu, tv;
    };
    const Corner corners[4] = {
        {x, y + h, tu0, tv1},
        {x, y, tu0, tv0},
        {x + w, y + h, tu1, tv1},
        {x + w, y, tu1, tv0},
    };
    for (int i = 0; i < 4; ++i) {
        std::uint8_t* v = data + i * kQuadStride;
        PutFloat(v + 0, screenX(corners[i].fx));
        PutFloat(v + 4, screenY(corners[i].fy));
        std::memcpy(v + kOffsetColour, &colour, sizeof colour);
        PutFloat(v + kOffsetTu, corners[i].tu);
        PutFloat(v + kOffsetTv, corners[i].tv);
    }
    UnlockVertices(handle);
}

DWORD VertexBufferPool::VertexFormat(int handle) const {
    const VertexSlot* slot = Vertex(handle);
    return slot ? slot->fvf : 0;
}
UINT VertexBufferPool::VertexStride(int handle) const {
    const VertexSlot* slot = Vertex(handle);
    return slot ? slot->stride : 0;
}
bool VertexBufferPool::VertexCreated(int handle) const {
    const VertexSlot* slot = Vertex(handle);
    return slot && slot->created;
}
bool VertexBufferPool::IndexCreated(int handle) const {
    const IndexSlot* slot = Index(handle);
    return slot && slot->created;
}

VertexBufferPool& VertexBuffers() {
    static VertexBufferPool* pool = new VertexBufferPool();  // lives until process exit
    return *pool;
}

}  // namespace display
