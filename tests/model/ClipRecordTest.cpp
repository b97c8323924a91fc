#include "model/BitmapObj.h"
#include "model/ClipRecord.h"
#include "raster/Dib.h"

#include <gtest/gtest.h>

#include <cstring>

using namespace zepho;

namespace {
struct FakeClipboard : IClipboard {
    std::vector<BYTE> block;
    PackedDib dib;
    bool hasBlock = false;
    bool SetContents(const std::vector<BYTE>* b, const PackedDib* d) override {
        hasBlock = b != nullptr;
        if (b) block = *b;
        dib = d ? d->Clone() : PackedDib();
        return true;
    }
    bool HasPrivate() const override { return hasBlock; }
    bool GetPrivate(std::vector<BYTE>& b) const override {
        b = block;
        return hasBlock;
    }
    bool HasDib() const override { return static_cast<bool>(dib); }
    PackedDib GetDib() const override { return dib.Clone(); }
};

std::string Namer(int kind) { return kind == KindImage || kind == KindTransformedImage ? "Obj - 7" : "other"; }
} // namespace

TEST(ClipRecord, RoundTripOfWholeObjectsAndCutouts) {
    Ref<CObjContent> image = MakeRef<CObjContent>(KindImage);
    image->SetRaster(CreateSolidDIB(6, 4, RGB(5, 6, 7), 99));
    image->shadowType = 3;
    image->shadowSmooth = 1;
    image->UpdateShadow();
    Ref<CObjContent> turned = MakeRef<CObjContent>(KindImage);
    turned->SetRaster(CreateSolidDIB(8, 8, RGB(1, 1, 1), 255));
    ASSERT_TRUE(turned->TransformContent(2, 1, 15));
    std::vector<CClipItem> items(3);
    items[0] = {image, {3, -2}, 40, {}};
    items[1] = {turned, {0, 0}, 0, {}};
    items[2] = {turned, {9, 9}, 77, CreateSolidDIB(2, 2, RGB(9, 9, 9), 255)};

    FakeClipboard cb;
    ASSERT_TRUE(CopyToClipboard(cb, items));
    EXPECT_EQ(0, std::memcmp(cb.block.data(), "QZI 2005", 8));
    const auto back = PasteFromClipboard(cb, Namer);
    ASSERT_EQ(back.size(), 3u);
    EXPECT_EQ(back[0].position, (POINT{3, -2}));
    EXPECT_EQ(back[0].transparency, 40);
    EXPECT_EQ(back[0].content->name, "Obj - 7");
    EXPECT_TRUE(back[0].content->HasShadow());
    EXPECT_EQ(back[0].content->shadowType, 3);
    EXPECT_EQ(back[0].content->PixelAt(5, 3) >> 24, 99u);
    EXPECT_NE(back[0].content.Get(), image.Get()); // a new content, not the copied one
    EXPECT_EQ(back[1].content->kind, KindTransformedImage);
    EXPECT_TRUE(dynamic_cast<CBitmapObj*>(back[1].content->shape.Get()));
    EXPECT_EQ(back[1].content->width, turned->width);
    // The cut-out pastes as a plain image object with default settings and no transparency.
    EXPECT_EQ(back[2].content->kind, KindImage);
    EXPECT_FALSE(back[2].content->shape);
    EXPECT_EQ(back[2].content->width, 2);
    EXPECT_EQ(back[2].transparency, 0);
    EXPECT_FALSE(back[2].content->HasShadow());
}

TEST(ClipRecord, WrongVersionOrDamagedBlocksPasteNothing) {
    Ref<CObjContent> image = MakeRef<CObjContent>(KindImage);
    image->SetRaster(CreateSolidDIB(3, 3, RGB(5, 6, 7), 255));
    std::vector<CClipItem> items(2);
    items[0] = {image, {0, 0}, 0, {}};
    items[1] = {image, {1, 1}, 0, {}};
    std::vector<BYTE> block = WriteClipBlock(items);
    std::vector<BYTE> other = block;
    std::memcpy(other.data() + 4, "2003", 4);
    EXPECT_TRUE(ReadClipBlock(other, Namer).empty());
    for (std::size_t n = 0; n < block.size(); ++n) {
        std::vector<BYTE> prefix(block.begin(), block.begin() + static_cast<long>(n));
        EXPECT_LT(ReadClipBlock(prefix, Namer).size(), 2u) << n;
    }
    // One damaged item is skipped, the other still pastes.
    std::vector<BYTE> bad = block;
    bad[12] = 0xFF, bad[13] = 0xFF, bad[14] = 0xFF, bad[15] = 0x7F; // payload offset far away
    EXPECT_EQ(ReadClipBlock(bad, Namer).size(), 1u);
    // A payload that runs off the end of the block spoils only its own item.
    std::vector<BYTE> tail = block;
    const LONG last = static_cast<LONG>(block.size() - 4);
    std::memcpy(tail.data() + 12, &last, 4);
    EXPECT_EQ(ReadClipBlock(tail, Namer).size(), 1u);
    std::vector<BYTE> lying = block;
    lying[8] = 0xFF, lying[9] = 0xFF, lying[10] = 0xFF, lying[11] = 0x7F; // 2^31 - 1 items
    EXPECT_TRUE(ReadClipBlock(lying, Namer).empty());

    // Without the private format a plain DIB becomes one image item at (0, 0).
    FakeClipboard cb;
    PackedDib dib24 = CreateDIB(4, 2, 24);
    cb.SetContents(nullptr, &dib24);
    const auto pasted = PasteFromClipboard(cb, Namer);
    ASSERT_EQ(pasted.size(), 1u);
    EXPECT_EQ(pasted[0].content->bitCount, 32);
    EXPECT_EQ(pasted[0].content->PixelAt(0, 0) >> 24, 255u);
    EXPECT_EQ(pasted[0].content->name, "Obj - 7");
}
