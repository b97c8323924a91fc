#include "platform/PackedDib.h"
#include "platform/RefObject.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <string>
#include <thread>
#include <utility>
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

// Every way of writing through a holder leaves the other holders' pixels as they were, and the
// block is copied once, by the first write.
TEST(PackedDib, SharedBlocksAreCopiedByTheFirstWrite) {
    using Write = void (*)(PackedDib&);
    const struct {
        const char* name;
        Write write;
    } writes[] = {
        {"Bits", [](PackedDib& d) { d.Bits()[0] = 9; }},
        {"Row", [](PackedDib& d) { d.Row(1)[2] = 9; }},
        {"Pixel32", [](PackedDib& d) { d.Pixel32(1, 0)[3] = 9; }},
        {"Data", [](PackedDib& d) { d.Data()[d.Size() - 1] = 9; }},
        {"Header", [](PackedDib& d) { d.Header()->biXPelsPerMeter = 9; }},
        {"ColorTable", [](PackedDib& d) { d.ColorTable()[1].rgbRed = 9; }},
        {"Masks", [](PackedDib& d) { d.Masks()[0] = 9; }},
        {"Detach", [](PackedDib& d) { d.Detach(); }},
    };
    for (const auto& w : writes) {
        SCOPED_TRACE(w.name);
        const bool table = std::string(w.name) == "ColorTable";
        const bool masks = std::string(w.name) == "Masks";
        PackedDib a = table ? PackedDib::Create(4, 3, 8) : PackedDib::Create(4, 3, 32, 0, masks ? BI_BITFIELDS : BI_RGB);
        ASSERT_TRUE(a);
        a.Bits()[5] = 77;
        const std::vector<BYTE> before(std::as_const(a).Data(), std::as_const(a).Data() + a.Size());

        PackedDib b = a.Share();
        PackedDib c = b.Share();
        EXPECT_TRUE(a.IsShared() && b.IsShared() && c.IsShared());
        EXPECT_EQ(std::as_const(b).Data(), std::as_const(a).Data());
        EXPECT_EQ(b.BlockKey(), a.BlockKey());

        const std::uint64_t copies = PackedDib::DetachCount();
        w.write(b);
        EXPECT_EQ(PackedDib::DetachCount(), copies + 1);
        EXPECT_NE(b.BlockKey(), a.BlockKey());
        EXPECT_EQ(c.BlockKey(), a.BlockKey());
        EXPECT_FALSE(b.IsShared());
        EXPECT_TRUE(a.IsShared());
        EXPECT_TRUE(b.IsSound());
        EXPECT_EQ(std::as_const(b).Bits()[5], 77);
        // The others still hold the bytes of before.
        EXPECT_EQ(std::vector<BYTE>(std::as_const(a).Data(), std::as_const(a).Data() + a.Size()), before);
        EXPECT_EQ(std::vector<BYTE>(std::as_const(c).Data(), std::as_const(c).Data() + c.Size()), before);

        // A second write to the copy, and writes to the last holder of a block, copy nothing.
        w.write(b);
        c.Reset();
        w.write(a);
        EXPECT_EQ(PackedDib::DetachCount(), copies + 1);
    }
}

TEST(PackedDib, ShareCloneAndMoveKeepCountsRight) {
    PackedDib a = PackedDib::Create(3, 3, 24);
    ASSERT_TRUE(a);
    EXPECT_FALSE(a.IsShared());
    EXPECT_FALSE(PackedDib().Share());
    EXPECT_EQ(PackedDib().BlockKey(), nullptr);

    // A clone is a block of its own at once.
    PackedDib clone = a.Clone();
    EXPECT_NE(clone.BlockKey(), a.BlockKey());
    EXPECT_FALSE(a.IsShared());

    // Moving a holder moves its share; releasing the last other holder makes the block unshared.
    PackedDib b = a.Share();
    PackedDib moved = std::move(b);
    EXPECT_FALSE(b);
    EXPECT_TRUE(a.IsShared());
    moved = PackedDib();
    EXPECT_FALSE(a.IsShared());
    EXPECT_EQ(a.BlockBytes(), a.Size());
}

// Holders released on other threads while the first keeps reading: the count is atomic, and the
// block goes exactly once (the sanitizer builds check both).
TEST(PackedDib, HoldersOnOtherThreads) {
    PackedDib a = PackedDib::Create(64, 64, 32);
    ASSERT_TRUE(a);
    std::memset(a.Bits(), 0x5A, a.Size() - 40);
    std::vector<std::thread> threads;
    std::atomic<int> sums{0};
    for (int t = 0; t < 4; ++t)
        threads.emplace_back([held = a.Share(), &sums]() mutable {
            unsigned sum = 0;
            for (int y = 0; y < held.Height(); ++y)
                sum += std::as_const(held).Row(y)[0];
            PackedDib own = held.Share();
            held.Reset();
            own.Pixel32(0, 0)[0] = 1; // a copy of its own: the others never see it
            sums += static_cast<int>(sum);
        });
    for (auto& t : threads)
        t.join();
    EXPECT_EQ(sums.load(), 4 * 64 * 0x5A);
    EXPECT_FALSE(a.IsShared());
    EXPECT_EQ(a.Pixel32(0, 0)[0], 0x5A);
}

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
