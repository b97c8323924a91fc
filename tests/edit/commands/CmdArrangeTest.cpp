// Stack order, align, center and nudge.
#include "edit/CmdTestUtil.h"
#include "edit/commands/CmdAlign.h"
#include "edit/commands/CmdOrder.h"
#include "edit/commands/CommandStrings.h"
#include "edit/undo/UndoStrings.h"
#include "model/ModelStrings.h"

using namespace zepho;
using namespace zepho::test;

namespace {
// Objects bottom first; those whose names start with S are selected.
void Stack(CmdFixture& f, const std::vector<std::string>& names) {
    for (const auto& n : names)
        f.AddImage(n.c_str(), 4, 4, 0, 0, n[0] == 'S');
}
} // namespace

TEST(CmdOrder, ToFrontStopsAsSoonAsTheTopObjectIsSelected) {
    CmdFixture f;
    Stack(f, {"S1", "U1", "S2", "U2"});
    const std::string before = DumpDocument(f.doc.Image());
    ASSERT_TRUE(CmdMoveToFront(f.doc, f.ui));
    EXPECT_EQ(f.Order(), "U1,S1,U2,S2");
    EXPECT_EQ(f.Label(), strings::kUndoToFront);
    f.doc.OnEditUndo();
    EXPECT_EQ(DumpDocument(f.doc.Image()), before) << "order and exactly the old selection";

    CmdFixture g;
    Stack(g, {"S", "U1", "U2", "U3"});
    ASSERT_TRUE(CmdMoveToFront(g.doc, g.ui));
    EXPECT_EQ(g.Order(), "U1,U2,U3,S");
}

TEST(CmdOrder, BackAndOnePassVariantsKeepTheSelectionsOrder) {
    CmdFixture f;
    Stack(f, {"U1", "S1", "S2", "U2", "S3"});
    ASSERT_TRUE(CmdMoveBackward(f.doc, f.ui));
    EXPECT_EQ(f.Order(), "S1,S2,U1,S3,U2");
    f.doc.OnEditUndo();
    ASSERT_TRUE(CmdMoveToBack(f.doc, f.ui));
    EXPECT_EQ(f.Order(), "S1,S2,U1,S3,U2") << "one pass already puts a selected object at the bottom";

    CmdFixture g;
    Stack(g, {"S1", "U1", "U2"});
    ASSERT_TRUE(CmdMoveForward(g.doc, g.ui));
    EXPECT_EQ(g.Order(), "U1,S1,U2");
    EXPECT_EQ(g.Label(), strings::kUndoForward);
}

TEST(CmdOrder, RefusalsShowTheirMessageAndRecordNothing) {
    CmdFixture f;
    Stack(f, {"S1", "U1", "S2"});
    EXPECT_FALSE(CmdMoveToFront(f.doc, f.ui));
    EXPECT_FALSE(CmdMoveForward(f.doc, f.ui));
    EXPECT_FALSE(CmdMoveToBack(f.doc, f.ui));
    EXPECT_EQ(f.Messages(), (std::vector<std::string>{strings::kAlreadyInFront, strings::kAlreadyInFront,
                                                      strings::kAlreadyBack}));
    f.doc.Image().DeselectAll();
    f.ui.shown.clear();
    EXPECT_FALSE(CmdMoveBackward(f.doc, f.ui));
    CmdFixture empty;
    EXPECT_FALSE(CmdMoveToFront(empty.doc, empty.ui));
    EXPECT_EQ(f.Messages(), std::vector<std::string>{strings::kNeedObjectSelected});
    EXPECT_EQ(empty.Messages(), std::vector<std::string>{strings::kNeedObjectSelected});
    EXPECT_EQ(f.doc.UndoManager().UndoCount(), 0u);
    EXPECT_FALSE(f.doc.IsModified());
}

TEST(CmdAlign, EdgesTakeTheCanvasForOneObjectAndTheExtremeForSeveral) {
    CmdFixture f;
    Ref<CDrawObj> a = f.AddImage("A", 10, 6, 30, 40, true);
    ASSERT_TRUE(CmdAlign(f.doc, AlignKind::Left, f.ui));
    EXPECT_EQ(a->x, 0);
    ASSERT_TRUE(CmdAlign(f.doc, AlignKind::Right, f.ui));
    EXPECT_EQ(a->x, 90);
    ASSERT_TRUE(CmdAlign(f.doc, AlignKind::Bottom, f.ui));
    EXPECT_EQ(a->y, 74);
    EXPECT_EQ(f.Label(), strings::kUndoAlignBottom);

    Ref<CDrawObj> b = f.AddImage("B", 4, 4, 20, 10, true);
    ASSERT_TRUE(CmdAlign(f.doc, AlignKind::Left, f.ui));
    EXPECT_EQ(a->x, 20);
    EXPECT_EQ(b->x, 20);
    ASSERT_TRUE(CmdAlign(f.doc, AlignKind::Top, f.ui));
    EXPECT_EQ(a->y, 10);
    ASSERT_TRUE(CmdAlign(f.doc, AlignKind::Right, f.ui));
    EXPECT_EQ(b->x, 26) << "right edges meet at the largest, 30";
}

TEST(CmdAlign, HiddenSelectedObjectsSetTheTargetWithoutMoving) {
    CmdFixture f;
    Ref<CDrawObj> hidden = f.AddImage("H", 4, 4, 3, 50, true);
    hidden->visible = 0;
    Ref<CDrawObj> a = f.AddImage("A", 4, 4, 20, 5, true);
    const std::string before = f.Dump();
    ASSERT_TRUE(CmdAlign(f.doc, AlignKind::Left, f.ui));
    EXPECT_EQ(a->x, 3);
    EXPECT_EQ(hidden->x, 3);
    EXPECT_EQ(hidden->y, 50);
    f.ExpectUndoRedo(before, f.Dump());
    // Everything already at its target: no step.
    const std::size_t steps = f.doc.UndoManager().UndoCount();
    EXPECT_FALSE(CmdAlign(f.doc, AlignKind::Left, f.ui));
    EXPECT_EQ(f.doc.UndoManager().UndoCount(), steps);
}

TEST(CmdAlign, CentersEachObjectOnItsOwnWithIntegerHalves) {
    CmdFixture f;
    f.doc.Image().width = 101;
    f.doc.Image().height = 51;
    Ref<CDrawObj> a = f.AddImage("A", 10, 4, 0, 0, true);
    Ref<CDrawObj> b = f.AddImage("B", 3, 7, 70, 30, true);
    ASSERT_TRUE(CmdAlign(f.doc, AlignKind::CenterBoth, f.ui));
    EXPECT_EQ(a->x, 45); // centre (45 + 55) / 2 = 50
    EXPECT_EQ(a->y, 23);
    EXPECT_EQ(b->x, 49); // centre (49 + 52) / 2 = 50
    EXPECT_EQ(b->y, 22);
    EXPECT_EQ(f.Label(), strings::kUndoCenterBoth);
    b->y = 0;
    EXPECT_FALSE(CmdAlign(f.doc, AlignKind::CenterHorz, f.ui)) << "already centred across";
    ASSERT_TRUE(CmdAlign(f.doc, AlignKind::CenterVert, f.ui));
    EXPECT_EQ(b->y, 22);
    EXPECT_EQ(f.Label(), strings::kUndoCenterVert);
}

TEST(CmdAlign, PreconditionsComeInOrder) {
    CmdFixture f;
    EXPECT_FALSE(CmdAlign(f.doc, AlignKind::Top, f.ui));
    f.AddImage("A", 4, 4, 5, 5, false);
    EXPECT_FALSE(CmdAlign(f.doc, AlignKind::Top, f.ui));
    EXPECT_EQ(f.Messages(),
              (std::vector<std::string>{strings::kNeedObjectPresent, strings::kNeedObjectSelected}));
}

TEST(CmdNudge, MovesEverySelectedVisibleObjectByTheOffsetInOneStep) {
    CmdFixture f;
    f.settings.HorizontalOffset = 5;
    f.settings.VerticalOffset = 2;
    Ref<CDrawObj> a = f.AddImage("A", 4, 4, 1, 1, true);
    Ref<CDrawObj> b = f.AddImage("B", 4, 4, 10, 10, true);
    Ref<CDrawObj> h = f.AddImage("H", 4, 4, 0, 0, true);
    h->visible = 0;
    Ref<CDrawObj> u = f.AddImage("U", 4, 4, 0, 0, false);
    const std::string before = f.Dump();
    ASSERT_TRUE(CmdNudge(f.doc, f.settings, NudgeKey::Right));
    EXPECT_EQ(a->x, 6);
    EXPECT_EQ(b->x, 15);
    EXPECT_EQ(h->x, 0);
    EXPECT_EQ(u->x, 0);
    EXPECT_EQ(f.doc.UndoManager().UndoCount(), 1u);
    EXPECT_EQ(f.Label(), strings::kUndoMove);
    f.ExpectUndoRedo(before, f.Dump());
    ASSERT_TRUE(CmdNudge(f.doc, f.settings, NudgeKey::Up));
    EXPECT_EQ(a->y, -1);
    f.doc.Image().DeselectAll();
    EXPECT_FALSE(CmdNudge(f.doc, f.settings, NudgeKey::Down));
}
