// The one owner of every vertex and index buffer. Renderers keep small integer handles (slot
// indices, -1 = none yet) and create, fill, lock and bind buffers through the pool. The pool also
// keeps the device's viewport so it can place screen-space quads given in viewport fractions.
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/d3d8/d3d8.h"

namespace display {

class VertexBufferPool {
public:
    static constexpr int kMaxSlots = 10000;
    static constexpr int kNoHandle = -1;

    VertexBufferPool() = default;
    // Releases the buffers still held (the process-wide pool is never destroyed).
    ~VertexBufferPool();
    VertexBufferPool(const VertexBufferPool&) = delete;
    VertexBufferPool& operator=(const VertexBufferPool&) = delete;

    // Stores the device (no reference taken) and reads its viewport; null is ignored.
    void AttachDevice(IDirect3DDevice8* device);

    // A handle of -1, negative or not yet handed out takes a new slot; a handed-out handle
    // re-creates that slot in place. When all slots are taken a new slot is refused: the handle
    // is set to -1 and nothing is created.
    void CreateVertexSlot(int& handle, DWORD fvf, UINT vertexCount);
    // A new index slot of 16-bit indices; -1 when the table is full.
    int CreateIndexSlot(UINT indexCount);

    // Null for an unknown handle or a slot whose buffer could not be created.
    void* LockVertices(int handle);
    void UnlockVertices(int handle);
    // Copies at most the buffer's length.
    void FillVertices(int handle, const void* bytes, std::size_t length);

    void* LockIndices(int handle);
    void UnlockIndices(int handle);
    void FillIndices(int handle, const void* bytes, std::size_t length);

    // SetVertexShader(slot FVF) then SetStreamSource(stream, buffer, stride).
    void SelectVertices(UINT stream, int handle);
    // SetIndices(buffer, 0).
    void SelectIndices(int handle);

    // Writes a four-vertex strip covering (x, y, w, h) in viewport fractions into a 0x144 slot;
    // z and rhw are left as the caller wrote them.
    void SetScreenQuad(int handle, float x, float y, float w, float h, D3DCOLOR colour, float tu0,
                       float tv0, float tu1, float tv1);

    // Stride recorded for a vertex format: 28, 36 or 56 bytes; 0 for formats the pool does not know.
    static UINT StrideOf(DWORD fvf);

    int VertexSlotCount() const { return vertexSlotCount_; }
    int IndexSlotCount() const { return indexSlotCount_; }
    const D3DVIEWPORT8& Viewport() const { return viewport_; }
    IDirect3DDevice8* Device() const { return device_; }
    DWORD VertexFormat(int handle) const;
    UINT VertexStride(int handle) const;
    bool VertexCreated(int handle) const;
    bool IndexCreated(int handle) const;

private:
    struct VertexSlot {
        DWORD fvf = 0;
        UINT stride = 0;
        IDirect3DVertexBuffer8* buffer = nullptr;
        bool created = false;
        UINT length = 0;  // bytes requested at creation
    };
    struct IndexSlot {
        IDirect3DIndexBuffer8* buffer = nullptr;
        bool created = false;
        UINT length = 0;
    };

    VertexSlot* Vertex(int handle);
    const VertexSlot* Vertex(int handle) const;
    IndexSlot* Index(int handle);
    const IndexSlot* Index(int handle) const;

    int vertexSlotCount_ = 0;
    VertexSlot vertexSlots_[kMaxSlots]{};
    int indexSlotCount_ = 0;
    IndexSlot indexSlots_[kMaxSlots]{};
    IDirect3DDevice8* device_ = nullptr;
    D3DVIEWPORT8 viewport_{};
};

// The process-wide pool.
VertexBufferPool& VertexBuffers();

}  // namespace display
