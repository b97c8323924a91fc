// A panel row dragged to another place in the stack.
#include "edit/commands/CmdStack.h"
#include "edit/CmdTestUtil.h"
#include "edit/undo/UndoStrings.h"

using namespace zepho;
using namespace zepho::test;

TEST(CmdStack, ARowTakesTheDropRowsPlaceAndUndoPutsTheStackBack) {
    CmdFixture f;
    Ref<CDrawObj> a = f.AddImage("A", 2, 2, 0, 0, false);
    Ref<CDrawObj> hidden = f.AddImage("H", 2, 2, 0, 0, false);
    hidden->visible = 0;
    Ref<CDrawObj> b = f.AddImage("B", 2, 2, 0, 0, true);
    Ref<CDrawObj> c = f.AddImage("C", 2, 2, 0, 0, false);
    // A panel listing visible objects only: topmost first.
    const std::vector<Ref<CDrawObj>> rows = {c, b, a};
    const std::string before = f.Dump();

    // Up: directly above the drop row's object.
    ASSERT_TRUE(CmdMoveRowInStack(f.doc, rows, 2, 1));
    EXPECT_EQ(f.Order(), "H,B,A,C") << "the unlisted object keeps its place below B";
    EXPECT_EQ(f.Label(), strings::kUndoMoveInStack);
    EXPECT_TRUE(b->IsSelected()) << "the selection is untouched";
    f.ExpectUndoRedo(before, f.Dump());
    f.doc.OnEditUndo();

    // Down: directly below it.
    ASSERT_TRUE(CmdMoveRowInStack(f.doc, rows, 0, 2));
    EXPECT_EQ(f.Order(), "C,A,H,B");
    f.doc.OnEditUndo();
    EXPECT_EQ(f.Dump(), before);

    // Nothing to do: same row, rows out of range, an object no longer in the stack.
    const std::size_t steps = f.doc.UndoManager().UndoCount();
    EXPECT_FALSE(CmdMoveRowInStack(f.doc, rows, 1, 1));
    EXPECT_FALSE(CmdMoveRowInStack(f.doc, rows, 3, 0));
    EXPECT_FALSE(CmdMoveRowInStack(f.doc, rows, 0, -1));
    Ref<CDrawObj> gone = ImageObject(2, 2, RGB(1, 2, 3));
    EXPECT_FALSE(CmdMoveRowInStack(f.doc, {gone, a}, 0, 1));
    EXPECT_EQ(f.doc.UndoManager().UndoCount(), steps);
    EXPECT_EQ(f.Dump(), before);
}
