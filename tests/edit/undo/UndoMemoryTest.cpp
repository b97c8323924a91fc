// The history's memory: pixels shared by copies cost nothing until written, the history counts
// each block once and leaves out what the document shows, and a budget in megabytes drops the
// oldest steps.
#include "edit/CmdTestUtil.h"
#include "edit/commands/CmdImageOps.h"
#include "edit/commands/CmdObjects.h"
#include "edit/document/Autosave.h"

#include <gtest/gtest.h>

using namespace zepho;
using namespace zepho::test;

namespace {
// 256 x 256 at 32 bits: 262144 bytes of pixels and the 40-byte header.
constexpr std::size_t kBlock = 256 * 256 * 4 + 40;

struct MemoryFixture : CmdFixture {
    Ref<CDrawObj> picture;
    MemoryFixture() {
        picture = AddImage("Image - 1", 256, 256, 0, 0, true);
        doc.SetFileLoader([](CDocImage&, const std::string&, LoadFlags&, IProgress*) { return true; });
    }
    std::vector<Ref<CDrawObj>> Items() const {
        std::vector<Ref<CDrawObj>> items;
        for (const auto& o : doc.Image().objects)
            items.push_back(o);
        return items;
    }
    void SelectOnly(const Ref<CDrawObj>& o) {
        doc.Image().DeselectAll();
        o->content->selected = 1;
    }
};
} // namespace

// Duplicates, autosave snapshots and undo records hold the same pixels until one of them
// changes; a change to one copy never shows in another, and undo brings every byte back.
TEST(UndoMemory, CopiesSharePixelsUntilOneChanges) {
    MemoryFixture f;
    const std::string start = f.Dump();
    const std::uint64_t copies = PackedDib::DetachCount();
    ASSERT_TRUE(CmdDuplicate(f.doc, f.Items()));
    ASSERT_EQ(f.Objects().Count(), 2);
    const Ref<CDrawObj> copy = f.Objects().At(1);
    EXPECT_EQ(copy->content->raster.BlockKey(), f.picture->content->raster.BlockKey());

    CAutosaveSnapshot snap = TakeAutosaveSnapshot(f.doc, "Untitled");
    ASSERT_TRUE(snap.image);
    EXPECT_EQ(snap.image->objects.At(0)->content->raster.BlockKey(), f.picture->content->raster.BlockKey());
    EXPECT_EQ(PackedDib::DetachCount(), copies) << "nothing was written yet";

    // The copy turns negative: its pixels part from the original's and the snapshot's.
    const std::uint32_t before = f.picture->content->PixelAt(3, 3);
    f.SelectOnly(copy);
    ASSERT_TRUE(CmdImageOperation(f.doc, ImageOp::Negative, f.ui));
    EXPECT_NE(copy->content->raster.BlockKey(), f.picture->content->raster.BlockKey());
    EXPECT_EQ(f.picture->content->PixelAt(3, 3), before);
    EXPECT_EQ(snap.image->objects.At(0)->content->PixelAt(3, 3), before);
    EXPECT_EQ(snap.image->objects.At(1)->content->PixelAt(3, 3), before);
    EXPECT_NE(copy->content->PixelAt(3, 3), before);

    f.doc.OnEditUndo();
    f.doc.OnEditUndo();
    EXPECT_EQ(f.Dump(), start);
}

TEST(UndoMemory, HistoryCountsEachBlockOnceAndLeavesOutTheDocument) {
    MemoryFixture f;
    CUndoManager& m = f.doc.UndoManager();
    EXPECT_EQ(m.HeldBytes(), 0u);
    // A duplicate keeps nothing the document does not show.
    ASSERT_TRUE(CmdDuplicate(f.doc, f.Items()));
    EXPECT_EQ(m.HeldBytes(), 0u);
    // Deleting both objects leaves their one shared block to the history alone.
    for (const auto& o : f.Objects())
        o->content->selected = 1;
    ASSERT_TRUE(CmdDeleteObjects(f.doc));
    ASSERT_EQ(f.Objects().Count(), 0);
    EXPECT_EQ(m.HeldBytes(), kBlock);
    f.doc.OnEditUndo();
    EXPECT_EQ(m.HeldBytes(), 0u);
    // An image operation keeps the pixels it replaced, here still the copy's; undone, it keeps the
    // ones it made, which nothing else holds.
    f.SelectOnly(f.picture);
    ASSERT_TRUE(CmdImageOperation(f.doc, ImageOp::Gray, f.ui));
    EXPECT_EQ(m.HeldBytes(), 0u);
    f.doc.OnEditUndo();
    EXPECT_EQ(m.HeldBytes(), kBlock);
    // Once the copy goes, the history alone holds the original's pixels as well.
    f.doc.OnEditRedo();
    f.SelectOnly(f.Objects().At(1));
    ASSERT_TRUE(CmdDeleteObjects(f.doc));
    EXPECT_EQ(m.HeldBytes(), kBlock);
}

TEST(UndoMemory, BudgetDropsTheOldestStepsAndTheSavedStateWithThem) {
    MemoryFixture f;
    CUndoManager& m = f.doc.UndoManager();
    f.settings.UndoMaxMegabytes = 1;
    ASSERT_TRUE(f.doc.OnOpenDocument("picture.qzi", nullptr));
    f.SelectOnly(f.picture);
    std::uint32_t inverted = 0;
    // Each negative keeps one block: three fit in 1 MB, a fourth does not.
    for (int i = 0; i < 6; ++i) {
        ASSERT_TRUE(CmdImageOperation(f.doc, ImageOp::Negative, f.ui));
        if (i == 0) inverted = f.picture->content->PixelAt(0, 0);
        EXPECT_EQ(m.UndoCount(), static_cast<std::size_t>(std::min(i + 1, 3))) << i;
        EXPECT_LE(m.HeldBytes(), std::size_t{1} << 20);
    }
    EXPECT_EQ(m.HeldBytes(), 3 * kBlock);
    // The opened state went with the dropped steps: the document stays modified.
    while (m.PeekUndo())
        f.doc.OnEditUndo();
    EXPECT_TRUE(f.doc.IsModified());
    EXPECT_EQ(f.picture->content->PixelAt(0, 0), inverted) << "three negatives are left undone";

    // The newest step stays even when it alone passes the budget.
    f.settings.UndoMaxMegabytes = 0;
    ASSERT_TRUE(CmdImageOperation(f.doc, ImageOp::Gray, f.ui));
    Ref<CDrawObj> big = f.AddImage("Big", 1024, 300, 0, 0, true);
    f.SelectOnly(big);
    f.settings.UndoMaxMegabytes = 1;
    ASSERT_TRUE(CmdImageOperation(f.doc, ImageOp::Gray, f.ui));
    EXPECT_EQ(m.UndoCount(), 1u);
    EXPECT_GT(m.HeldBytes(), std::size_t{1} << 20);
}
