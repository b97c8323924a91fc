#include "edit/UndoTestUtil.h"
#include "edit/undo/UndoCanvas.h"
#include "edit/undo/UndoObjects.h"
#include "edit/undo/UndoTransform.h"

#include <gtest/gtest.h>

using namespace zepho;
using namespace zepho::test;

namespace {
int g_liveObjects = 0;
struct CountedObj : CDrawObj {
    CountedObj() { ++g_liveObjects; }
    ~CountedObj() override { --g_liveObjects; }
};

// Counts its calls in a shared log.
struct StepAction : CUndoAction {
    std::vector<std::string>* log;
    std::string name;
    StepAction(std::vector<std::string>* l, std::string n)
        : CUndoAction("Undo step"), log(l), name(std::move(n)) {}
    void Undo() override {
        log->push_back("undo " + name);
        SetRedoLabel();
    }
    void Redo() override {
        log->push_back("redo " + name);
        SetUndoLabel();
    }
};
} // namespace

TEST(UndoManager, LimitKeepsOneBeyondAndDisablesWhenEmpty) {
    UndoFixture f;
    f.settings.UndoMaxTimes = 1;
    std::vector<std::string> log;
    for (const char* n : {"a", "b", "c"})
        f.doc.AddUndo(std::make_unique<StepAction>(&log, n));
    CUndoManager& m = f.doc.UndoManager();
    EXPECT_EQ(m.UndoCount(), 2u);
    f.doc.OnEditUndo();
    f.doc.OnEditUndo();
    EXPECT_EQ(log, (std::vector<std::string>{"undo c", "undo b"}));
    EXPECT_EQ(UndoState(m).text, "Can't &Undo");
    EXPECT_FALSE(UndoState(m).enabled);
    EXPECT_TRUE(RedoState(m).enabled);
    EXPECT_EQ(RedoState(m).text, "Redo step");
    f.doc.OnEditUndo(); // nothing left: no effect, no crash
    EXPECT_EQ(log.size(), 2u);

    // The limit is read at each recording.
    f.settings.UndoMaxTimes = 26;
    for (int i = 0; i < 40; ++i)
        f.doc.AddUndo(std::make_unique<StepAction>(&log, "x"));
    EXPECT_EQ(m.UndoCount(), 27u);
}

TEST(UndoManager, RecordingDiscardsTheRedoListAndLabelsAlternate) {
    UndoFixture f;
    std::vector<std::string> log;
    f.doc.AddUndo(std::make_unique<StepAction>(&log, "a"));
    f.doc.OnEditUndo();
    EXPECT_EQ(f.doc.UndoManager().PeekRedo()->GetLabel(), "Redo step");
    f.doc.OnEditRedo();
    EXPECT_EQ(f.doc.UndoManager().PeekUndo()->GetLabel(), "Undo step");
    f.doc.OnEditUndo();
    // A new change after an undo: the undone action can no longer be redone over it.
    f.doc.AddUndo(std::make_unique<StepAction>(&log, "b"));
    EXPECT_FALSE(f.doc.UndoManager().PeekRedo());
    EXPECT_EQ(RedoState(f.doc.UndoManager()).text, "Can't &Redo");
    f.doc.OnEditRedo();
    f.doc.OnEditUndo();
    EXPECT_EQ(log, (std::vector<std::string>{"undo a", "redo a", "undo a", "undo b"}));
    EXPECT_EQ(f.doc.UndoManager().UndoCount(), 0u);

    // Opening a file empties both lists.
    f.doc.OnEditRedo();
    f.doc.OnEditUndo();
    f.doc.SetFileLoader([](CDocImage&, const std::string&, LoadFlags&, IProgress*) { return true; });
    f.doc.OnOpenDocument("x.png", nullptr);
    EXPECT_FALSE(f.doc.UndoManager().PeekUndo());
    EXPECT_FALSE(f.doc.UndoManager().PeekRedo());
}

TEST(UndoManager, UnmodifiedExactlyAtTheSavedState) {
    UndoFixture f;
    std::vector<std::string> log;
    COrvaneDoc& d = f.doc;
    d.SetFileLoader([](CDocImage&, const std::string&, LoadFlags&, IProgress*) { return true; });
    d.OnOpenDocument("x.qzi", nullptr);
    EXPECT_FALSE(d.IsModified());
    d.AddUndo(std::make_unique<StepAction>(&log, "a"));
    d.SetModifiedFlag();
    EXPECT_TRUE(d.IsModified());
    d.OnEditUndo();
    EXPECT_FALSE(d.IsModified()) << "back at the opened state";
    d.OnEditRedo();
    EXPECT_TRUE(d.IsModified());

    // Saving moves the saved point.
    d.SetModifiedFlag(false);
    d.OnEditUndo();
    EXPECT_TRUE(d.IsModified());
    d.OnEditRedo();
    EXPECT_FALSE(d.IsModified());

    // The saved state is lost with the redo list that led to it.
    d.OnEditUndo();
    d.AddUndo(std::make_unique<StepAction>(&log, "b"));
    d.SetModifiedFlag();
    d.OnEditUndo();
    EXPECT_TRUE(d.IsModified());
    EXPECT_FALSE(d.UndoManager().PeekUndo());
    d.OnEditRedo();
    EXPECT_TRUE(d.IsModified());

    // A change no action recorded cannot be undone: the saved state is out of reach.
    d.SetModifiedFlag(false);
    d.AddUndo(std::make_unique<StepAction>(&log, "c"));
    d.SetModifiedFlag();
    d.OnEditUndo();
    EXPECT_FALSE(d.IsModified());
    d.SetModifiedFlag();
    d.OnEditRedo();
    d.OnEditUndo();
    EXPECT_TRUE(d.IsModified());

    // Nor once the action leading back to it is dropped past the limit.
    f.settings.UndoMaxTimes = 1;
    d.OnOpenDocument("y.qzi", nullptr);
    for (const char* n : {"d", "e", "f"}) {
        d.AddUndo(std::make_unique<StepAction>(&log, n));
        d.SetModifiedFlag();
    }
    while (d.UndoManager().PeekUndo())
        d.OnEditUndo();
    EXPECT_TRUE(d.IsModified());
}

TEST(UndoManager, DeletedObjectLivesUntilTheLastActionGoes) {
    {
        UndoFixture f;
        f.settings.UndoMaxTimes = 1;
        Ref<CDrawObj> obj = MakeRef<CountedObj>();
        obj->SetContent(MakeRef<CObjContent>());
        f.Add(obj);
        ASSERT_EQ(g_liveObjects, 1);
        auto move = std::make_unique<CMoveUndo>();
        move->AddObject(obj, 0, 0);
        f.doc.AddUndo(std::move(move));
        auto del = std::make_unique<CObjListUndo>(CObjListUndo::Delete);
        del->Capture(f.Objects());
        f.Objects().Remove(obj.Get());
        f.doc.AddUndo(std::move(del));
        obj.Reset();
        std::vector<std::string> log;
        f.doc.AddUndo(std::make_unique<StepAction>(&log, "a")); // drops the move
        EXPECT_EQ(g_liveObjects, 1);
        f.doc.AddUndo(std::make_unique<StepAction>(&log, "b")); // drops the delete
        EXPECT_EQ(g_liveObjects, 0);
    }
    EXPECT_EQ(g_liveObjects, 0);
}

TEST(UndoLabels, EveryTextAndItsRedoForm) {
    UndoFixture f;
    Ref<CDrawObj> img = ImageObject(4, 4, 0);
    f.Add(img);
    std::vector<std::pair<std::unique_ptr<CUndoAction>, std::string>> cases;
    auto add = [&](CUndoAction* a, const char* text) { cases.emplace_back(a, text); };
    add(new CShowHideUndo(false), "Undo show/hide object(s)");
    add(new CLockUndo(false), "Undo lock/unlock object(s)");
    const char* moves[] = {"Undo move object(s)",      "Undo align top",
                           "Undo align bottom",        "Undo align left",
                           "Undo align right",         "Undo center vertically",
                           "Undo center horizontally", "Undo center vertically and horizontally"};
    for (int v = 0; v < 8; ++v)
        add(new CMoveUndo(CMoveUndo::Variant(v)), moves[v]);
    const char* lists[] = {"Undo new object",
                           "Undo duplicate object(s)",
                           "Undo delete object(s)",
                           "Undo combine as single object",
                           "Undo paste",
                           "Undo add text",
                           "Undo paint rectangle",
                           "Undo paint ellipse",
                           "Undo paint polygon",
                           "Undo Add image file(s)",
                           "Undo Add AVI",
                           "Undo Capture Full Screen"};
    for (int v = 0; v < 12; ++v) {
        auto* a = new CObjListUndo(CObjListUndo::Variant(v));
        a->Capture(f.Objects());
        add(a, lists[v]);
    }
    add(new CMakeFrameUndo, "Undo make frame as single object");
    const char* orders[] = {"Undo move to front", "Undo move to back", "Undo move forward",
                            "Undo move backward"};
    for (int v = 0; v < 4; ++v) {
        auto* a = new CZOrderUndo(CZOrderUndo::Variant(v));
        a->Capture(f.Objects());
        add(a, orders[v]);
    }
    add(new COpacityUndo, "Undo modify opacity");
    add(new CPropertiesUndo(img, ObjectProperties::Of(*img), ShapeProperties::Of(*img->content)),
        "Undo modify object's properties");
    add(new CRasterEditUndo(CRasterEditUndo::Trim), "Undo trim Object(s)");
    add(new CRasterEditUndo(CRasterEditUndo::PaintLine), "Undo paint line");
    const char* ops[] = {"Undo Negative",
                         "Undo Gray",
                         "Undo Mirror horizontally",
                         "Undo Mirror vertically",
                         "Undo Adjust red/green/blue",
                         "Undo Adjust Hue/Saturation/Lightness",
                         "Undo Adjust Brightness/Contrast",
                         "Undo Blur",
                         "Undo Gaussian Blur",
                         "Undo Sharpness",
                         "Undo Emboss",
                         "Undo Sunspot"};
    for (int v = 0; v < 12; ++v)
        add(new CImageOpUndo(CImageOpUndo::Variant(v)), ops[v]);
    add(new CCutDeleteUndo(CCutDeleteUndo::Cut), "Undo Cut");
    add(new CCutDeleteUndo(CCutDeleteUndo::Delete), "Undo Delete");
    add(new CCutRemoveUndo(CCutDeleteUndo::Cut), "Undo Cut");
    const char* sels[] = {"Undo Rectangular Selection",
                          "Undo Elliptic Selection",
                          "Undo Lasso Selection",
                          "Undo Magic Wand Selection",
                          "Undo Select All",
                          "Undo Unselect All",
                          "Undo Invert"};
    for (int v = 0; v < 7; ++v)
        add(new CSelectionUndo(CSelectionUndo::Variant(v), std::nullopt), sels[v]);
    add(CTransformUndo::Create(img).release(), "Undo Transform object");
    add(CTransformUndo::Create(ShapeObject()).release(), "Undo Transform object");
    add(new CResizeCanvasUndo(100, 80), "Undo Resize canvas");
    add(new CResizeAnimUndo(100, 80), "Undo Resize animation");

    for (auto& [action, text] : cases) {
        CUndoAction* a = action.get();
        a->SetDocument(&f.doc);
        EXPECT_EQ(a->GetLabel(), text);
        a->Undo();
        EXPECT_EQ(a->GetLabel(), "Redo" + text.substr(4)) << text;
        a->Redo();
        EXPECT_EQ(a->GetLabel(), text);
    }

    // The two exceptions.
    CConvertUndo convert(img);
    convert.SetDocument(&f.doc);
    EXPECT_EQ(convert.GetLabel(), "Undo Convert to image object");
    convert.Undo();
    EXPECT_EQ(convert.GetLabel(), "Redo Convert to image object(s)");
    convert.Redo();
    EXPECT_EQ(convert.GetLabel(), "Undo Convert to image object(s)");
    CMoveSelectionUndo moveSel(3, 4);
    moveSel.SetDocument(&f.doc);
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(moveSel.GetLabel(), "Undo Move Selection");
        i % 2 ? moveSel.Redo() : moveSel.Undo();
    }
}
