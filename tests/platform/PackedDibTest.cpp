#include "platform/PackedDib.h"
#include "platform/RefObject.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

using namespace zepho;

TEST(PackedDib, LayoutOfEveryDepth) {
    struct Case {
        int w, h, bits, used;
        std::size_t offset, stride;
    } cases[] = {
        {1, 1, 1, 0, 40 + 8, 4},    {33, 2, 1, 0, 40 + 8, 8},    {3, 2, 4, 0, 40 + 64, 4},
        {5, 3, 8, 0, 40 + 1024, 8}, {5, 3, 8, 16, 40 + 64, 8},   {3, 1, 16, 0, 40, 8},
        {3, 1, 24, 0, 40, 12},      {3, 1, 32, 0, 40, 12},
    };
    for (const Case& c : cases) {
        PackedDib d = PackedDib::Create(c.w, c.h, c.bits, c.used);
        ASSERT_TRUE(d) << c.bits;
        EXPECT_EQ(d.Header()->biSize, 40u);
        EXPECT_EQ(d.Header()->biPlanes, 1);
        EXPECT_EQ(d.Stride(), c.stride) << c.bits;
        EXPECT_EQ(static_cast<std::size_t>(d.Bits() - d.Data()), c.offset) << c.bits;
        EXPECT_EQ(d.Size(), c.offset + c.stride * c.h) << c.bits;
        EXPECT_EQ(d.Header()->biClrUsed, static_cast<DWORD>(c.bits <= 8 ? c.used : 0));
    }
    PackedDib bf = PackedDib::Create(4, 4, 16, 0, BI_BITFIELDS);
    ASSERT_TRUE(bf);
    EXPECT_EQ(static_cast<std::size_t>(bf.Bits() - bf.Data()), 52u);
    EXPECT_NE(bf.Masks(), nullptr);
}

TEST(PackedDib, RowsAreBottomUp) {
    PackedDib d = PackedDib::Create(2, 3, 32);
    ASSERT_TRUE(d);
    EXPECT_EQ(d.Row(2), d.Bits());
    EXPECT_EQ(d.Row(0), d.Bits() + 2 * d.Stride());
}

TEST(PackedDib, RefusesOverflowAndNonsense) {
    EXPECT_FALSE(PackedDib::Create(0x7FFFFFFF, 0x7FFFFFFF, 32));
    EXPECT_FALSE(PackedDib::Create(100000, 100000, 32)); // 40 GB
    EXPECT_FALSE(PackedDib::Create(0, 10, 32));
    EXPECT_FALSE(PackedDib::Create(10, -1, 32));
    EXPECT_FALSE(PackedDib::Create(10, 10, 7));
    EXPECT_FALSE(PackedDib::Create(4, 4, 8, 300));
}

TEST(PackedDib, FromBytesChecksTheBlockFits) {
    PackedDib d = PackedDib::Create(4, 4, 8);
    ASSERT_TRUE(d);
    d.Bits()[5] = 77;
    std::vector<BYTE> bytes(d.Data(), d.Data() + d.Size());
    PackedDib copy = PackedDib::FromBytes(bytes.data(), bytes.size());
    ASSERT_TRUE(copy);
    EXPECT_EQ(copy.Bits()[5], 77);
    EXPECT_FALSE(PackedDib::FromBytes(bytes.data(), bytes.size() - 1));
    BITMAPINFOHEADER h;
    std::memcpy(&h, bytes.data(), sizeof h);
    h.biWidth = 100000;
    h.biHeight = 100000;
    std::memcpy(bytes.data(), &h, sizeof h);
    EXPECT_FALSE(PackedDib::FromBytes(bytes.data(), bytes.size()));
}

namespace {
struct Counted : CRefObject {
    explicit Counted(int* alive) : alive(alive) { ++*alive; }
    Counted(const Counted& o) : CRefObject(o), alive(o.alive) { ++*alive; }
    ~Counted() override { --*alive; }
    int* alive;
};
} // namespace

TEST(RefObject, CountingRules) {
    int alive = 0;
    Ref<Counted> a = MakeRef<Counted>(&alive);
    EXPECT_EQ(a->RefCount(), 1);
    {
        Ref<Counted> b = a;
        EXPECT_EQ(a->RefCount(), 2);
        Ref<CRefObject> base = b;
        EXPECT_EQ(a->RefCount(), 3);
    }
    EXPECT_EQ(a->RefCount(), 1);
    // A copy of the object is a fresh, unheld object.
    Counted* raw = new Counted(*a);
    EXPECT_EQ(raw->RefCount(), 0);
    raw->AddRef();
    raw->Release();
    EXPECT_EQ(alive, 1);
    a.Reset();
    EXPECT_EQ(alive, 0);
}
