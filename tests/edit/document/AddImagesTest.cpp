#include "codecs/CodecStrings.h"
#include "edit/document/CmdFiles.h"
#include "raster/Dib.h"
#include "support/ScriptedUiHost.h"

#include <gtest/gtest.h>

using namespace zepho;

namespace {

// Files by name: "a2" holds two image objects, "n" is a native document, "bad" fails.
bool FakeLoader(CDocImage& image, const std::string& path, LoadFlags& flags, IProgress*) {
    image.Clear();
    if (path == "bad") return false;
    const int count = path == "a2" ? 2 : 1;
    for (int i = 0; i < count; ++i) {
        Ref<CObjContent> c = MakeRef<CObjContent>(KindImage);
        c->SetRaster(CreateSolidDIB(2, 2, RGB(1, 2, 3), 255));
        c->name = "stored";
        Ref<CDrawObj> o = MakeRef<CDrawObj>(c);
        o->visible = path == "n" ? 1 : 0; // readers leave images hidden; documents keep theirs
        image.objects.AddTail(o);
    }
    flags.nativeLoaded = path == "n";
    return true;
}

} // namespace

TEST(AddImageFiles, AddsSelectedNamedObjectsAndStopsAtTheFirstFailure) {
    COrvaneDoc doc;
    ASSERT_TRUE(doc.CreateNewImage(10, 10, false, RGB(255, 255, 255)));
    doc.Image().DeselectAll();
    test::ScriptedUiHost ui;

    ASSERT_TRUE(CmdAddImageFiles(doc, {"a2", "n", "bad", "a2"}, ui, &FakeLoader));
    const CDrawObjList& list = doc.Image().objects;
    ASSERT_EQ(list.Count(), 1 + 2 + 1); // nothing of the failed file or of the one after it
    EXPECT_FALSE(list.At(0)->IsSelected());
    for (int i = 1; i < 4; ++i)
        EXPECT_TRUE(list.At(i)->IsSelected()) << i;
    // Of a two-image file only the bottom one shows; a native document keeps its visibility.
    EXPECT_EQ(list.At(1)->visible, 1);
    EXPECT_EQ(list.At(2)->visible, 0);
    EXPECT_EQ(list.At(3)->visible, 1);
    // Default names go on from the document's counter.
    EXPECT_NE(list.At(1)->content->name, "stored");
    EXPECT_NE(list.At(1)->content->name, list.At(2)->content->name);
    EXPECT_NE(list.At(3)->content->name, "stored");
    ASSERT_EQ(ui.shown.size(), 1u);
    EXPECT_EQ(ui.shown[0].text, "Load file bad fail!");
    EXPECT_TRUE(doc.IsModified());

    // What arrived can be taken back in one step.
    doc.OnEditUndo();
    EXPECT_EQ(doc.Image().objects.Count(), 1);
    doc.OnEditRedo();
    EXPECT_EQ(doc.Image().objects.Count(), 4);
}

TEST(AddImageFiles, NothingAddedLeavesNoRecord) {
    COrvaneDoc doc;
    ASSERT_TRUE(doc.CreateNewImage(4, 4, false, RGB(255, 255, 255)));
    test::ScriptedUiHost ui;
    EXPECT_FALSE(CmdAddImageFiles(doc, {"bad", "a2"}, ui, &FakeLoader));
    EXPECT_EQ(doc.Image().objects.Count(), 1);
    EXPECT_EQ(doc.UndoManager().PeekUndo(), nullptr);
    EXPECT_FALSE(doc.IsModified());
    EXPECT_EQ(ui.shown.size(), 1u);
}
