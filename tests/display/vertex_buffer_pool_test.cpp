#include "display/vertex_buffer_pool.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>

#include "fakes/d3d8/fake_d3d8.h"

namespace {

using display::VertexBufferPool;
using fake_d3d8::FakeDevice;
using fake_d3d8::FakeVertexBuffer;

class PoolTest : public ::testing::Test {
protected:
    void SetUp() override {
        device_ = new FakeDevice();
        device_->Viewport = D3DVIEWPORT8{0, 0, 1024, 768, 0.0f, 1.0f};
        pool_ = std::make_unique<VertexBufferPool>();
        pool_->AttachDevice(device_);
    }
    void TearDown() override {
        pool_.reset();  // the pool keeps its buffers until exit, like the program's one
        device_->Release();
    }
    FakeDevice* device_ = nullptr;
    std::unique_ptr<VertexBufferPool> pool_;
};

TEST_F(PoolTest, HandlesAreHandedOutInOrderAndReusedOnlyWhenValid) {
    int a = -1, b = -1;
    pool_->CreateVertexSlot(a, 0x152, 3);
    pool_->CreateVertexSlot(b, 0x152, 3);
    EXPECT_EQ(a, 0);
    EXPECT_EQ(b, 1);

    // Re-creating slot 0 releases its old buffer and keeps the count.
    int again = 0;
    pool_->CreateVertexSlot(again, 0x144, 4);
    EXPECT_EQ(again, 0);
    EXPECT_EQ(pool_->VertexSlotCount(), 2);
    EXPECT_EQ(pool_->VertexFormat(0), 0x144u);
    EXPECT_EQ(pool_->VertexStride(0), 28u);

    // A handle equal to the count, or any other unknown value, takes a fresh slot.
    int atCount = 2, negative = -7, far = 5000;
    pool_->CreateVertexSlot(atCount, 0x152, 1);
    pool_->CreateVertexSlot(negative, 0x152, 1);
    pool_->CreateVertexSlot(far, 0x152, 1);
    EXPECT_EQ(atCount, 2);
    EXPECT_EQ(negative, 3);
    EXPECT_EQ(far, 4);
    EXPECT_EQ(pool_->VertexSlotCount(), 5);
}

TEST_F(PoolTest, RequestsLengthsFromTheKnownStrides) {
    int h = -1, q = -1, u = -1;
    pool_->CreateVertexSlot(h, 0x352, 12);
    pool_->CreateVertexSlot(q, 0x144, 4);
    pool_->CreateVertexSlot(u, 0x102, 4);  // a format the pool does not know: stride 0
    const int i = pool_->CreateIndexSlot(36);
    const auto vb = device_->Log.Named("CreateVertexBuffer");
    ASSERT_EQ(vb.size(), 3u);
    EXPECT_EQ(vb[0].Int(0), 672);
    EXPECT_EQ(vb[0].Int(2), 0x352);
    EXPECT_EQ(vb[0].Int(3), D3DPOOL_MANAGED);
    EXPECT_EQ(vb[1].Int(0), 112);
    EXPECT_EQ(vb[2].Int(0), 0);
    EXPECT_FALSE(pool_->VertexCreated(u));  // a zero-length buffer is refused by the device
    const auto ib = device_->Log.Named("CreateIndexBuffer");
    ASSERT_EQ(ib.size(), 1u);
    EXPECT_EQ(i, 0);
    EXPECT_EQ(ib[0].Int(0), 72);
    EXPECT_EQ(ib[0].Int(2), D3DFMT_INDEX16);
    EXPECT_EQ(ib[0].Int(3), D3DPOOL_MANAGED);
}

TEST_F(PoolTest, FailedCreationLeavesASlotWithoutBuffer) {
    device_->Results.Set("CreateVertexBuffer", {E_OUTOFMEMORY});
    int h = -1;
    pool_->CreateVertexSlot(h, 0x152, 3);
    EXPECT_EQ(h, 0);
    EXPECT_FALSE(pool_->VertexCreated(h));
    EXPECT_EQ(pool_->LockVertices(h), nullptr);
    const char bytes[36] = {1};
    pool_->FillVertices(h, bytes, sizeof bytes);  // harmless
    pool_->UnlockVertices(h);
}

TEST_F(PoolTest, FillCopiesAtMostTheBufferAndSelectBindsFormatAndStride) {
    int h = -1;
    pool_->CreateVertexSlot(h, 0x152, 1);  // 36 bytes
    unsigned char bytes[100];
    for (int k = 0; k < 100; ++k) bytes[k] = static_cast<unsigned char>(k);
    pool_->FillVertices(h, bytes, sizeof bytes);
    auto* vb = static_cast<FakeVertexBuffer*>(device_->StreamData[0]);
    EXPECT_EQ(vb, nullptr);
    pool_->SelectVertices(2, h);
    vb = static_cast<FakeVertexBuffer*>(device_->StreamData[2]);
    ASSERT_NE(vb, nullptr);
    ASSERT_EQ(vb->Bytes.size(), 36u);
    EXPECT_EQ(vb->Bytes[35], 35);
    EXPECT_FALSE(vb->Locked);
    EXPECT_EQ(device_->StreamStride[2], 36u);
    EXPECT_EQ(device_->VertexShader, 0x152u);

    const int i = pool_->CreateIndexSlot(3);
    const WORD indices[3] = {2, 1, 0};
    pool_->FillIndices(i, indices, sizeof indices);
    pool_->SelectIndices(i);
    auto* ib = static_cast<fake_d3d8::FakeIndexBuffer*>(device_->Indices);
    ASSERT_NE(ib, nullptr);
    EXPECT_EQ(ib->Bytes[0], 2);
    EXPECT_EQ(device_->BaseVertexIndex, 0u);
}

TEST_F(PoolTest, UnknownHandlesAreIgnoredByEveryOperation) {
    for (int bad : {-1, 0, 9999, 10000, -100000}) {
        EXPECT_EQ(pool_->LockVertices(bad), nullptr);
        EXPECT_EQ(pool_->LockIndices(bad), nullptr);
        pool_->UnlockVertices(bad);
        pool_->UnlockIndices(bad);
        pool_->SelectVertices(0, bad);
        pool_->SelectIndices(bad);
        pool_->SetScreenQuad(bad, 0, 0, 1, 1, 0xFFFFFFFF, 0, 0, 1, 1);
    }
    EXPECT_EQ(device_->Log.Count("SetStreamSource"), 0u);
    EXPECT_EQ(device_->Log.Count("SetIndices"), 0u);
}

TEST_F(PoolTest, RefusesSlotsBeyondTheTable) {
    for (int k = 0; k < VertexBufferPool::kMaxSlots; ++k) {
        int h = -1;
        pool_->CreateVertexSlot(h, 0x144, 1);
        ASSERT_EQ(h, k);
        ASSERT_EQ(pool_->CreateIndexSlot(1), k);
    }
    int extra = -1;
    pool_->CreateVertexSlot(extra, 0x144, 1);
    EXPECT_EQ(extra, -1);
    EXPECT_EQ(pool_->CreateIndexSlot(1), -1);
    EXPECT_EQ(pool_->VertexSlotCount(), VertexBufferPool::kMaxSlots);
    EXPECT_EQ(pool_->IndexSlotCount(), VertexBufferPool::kMaxSlots);
    // Re-creating an existing slot still works when the table is full.
    int last = VertexBufferPool::kMaxSlots - 1;
    pool_->CreateVertexSlot(last, 0x152, 1);
    EXPECT_EQ(last, VertexBufferPool::kMaxSlots - 1);
    EXPECT_EQ(pool_->VertexFormat(last), 0x152u);
}

TEST_F(PoolTest, ScreenQuadPlacesCornersInViewportPixelsAndKeepsZAndRhw) {
    device_->Viewport = D3DVIEWPORT8{10, 20, 1024, 768, 0.0f, 1.0f};
    pool_->AttachDevice(device_);
    int h = -1;
    pool_->CreateVertexSlot(h, 0x144, 4);
    auto* v = static_cast<float*>(pool_->LockVertices(h));
    ASSERT_NE(v, nullptr);
    for (int k = 0; k < 4; ++k) {
        v[k * 7 + 2] = 0.99f;
        v[k * 7 + 3] = 1.0f;
    }
    pool_->UnlockVertices(h);

    const float w = 256.0f / 1024.0f, hh = 128.0f / 768.0f;
    pool_->SetScreenQuad(h, 1 - w, 1 - hh, w, hh, 0x80FF0000u, 0.25f, 0.5f, 0.75f, 1.0f);
    v = static_cast<float*>(pool_->LockVertices(h));
    ASSERT_NE(v, nullptr);
    const float expected[4][4] = {
        {10 + 768, 20 + 768, 0.25f, 1.0f},  // x, y + h -> (tu0, tv1)
        {10 + 768, 20 + 640, 0.25f, 0.5f},
        {10 + 1024, 20 + 768, 0.75f, 1.0f},
        {10 + 1024, 20 + 640, 0.75f, 0.5f},
    };
    for (int k = 0; k < 4; ++k) {
        const float* vert = v + k * 7;
        EXPECT_FLOAT_EQ(vert[0], expected[k][0]) << k;
        EXPECT_FLOAT_EQ(vert[1], expected[k][1]) << k;
        EXPECT_FLOAT_EQ(vert[2], 0.99f);
        EXPECT_FLOAT_EQ(vert[3], 1.0f);
        DWORD colour;
        std::memcpy(&colour, vert + 4, 4);
        EXPECT_EQ(colour, 0x80FF0000u);
        EXPECT_FLOAT_EQ(vert[5], expected[k][2]);
        EXPECT_FLOAT_EQ(vert[6], expected[k][3]);
    }
    pool_->UnlockVertices(h);
}

TEST_F(PoolTest, ScreenQuadIgnoresSlotsOfOtherFormatsOrTooSmall) {
    int mesh = -1, small = -1;
    pool_->CreateVertexSlot(mesh, 0x152, 4);
    pool_->CreateVertexSlot(small, 0x144, 2);
    pool_->SetScreenQuad(mesh, 0, 0, 1, 1, 0xFFFFFFFF, 0, 0, 1, 1);
    pool_->SetScreenQuad(small, 0, 0, 1, 1, 0xFFFFFFFF, 0, 0, 1, 1);
    EXPECT_EQ(device_->Log.Count("CreateVertexBuffer"), 2u);
    for (int h : {mesh, small}) {
        auto* bytes = static_cast<unsigned char*>(pool_->LockVertices(h));
        ASSERT_NE(bytes, nullptr);
        EXPECT_EQ(bytes[0] | bytes[4] | bytes[16], 0);
        pool_->UnlockVertices(h);
    }
}

TEST(PoolWithoutDevice, CountsSlotsButCreatesNothing) {
    auto pool = std::make_unique<VertexBufferPool>();
    pool->AttachDevice(nullptr);
    int h = -1;
    pool->CreateVertexSlot(h, 0x144, 4);
    EXPECT_EQ(h, 0);
    EXPECT_EQ(pool->LockVertices(h), nullptr);
    EXPECT_EQ(pool->CreateIndexSlot(6), 0);
    pool->SelectVertices(0, h);
}

}  // namespace
