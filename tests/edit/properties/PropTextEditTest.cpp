// Confirming the text editor's values on a text object.
#include "edit/CmdTestUtil.h"
#include "edit/properties/TextEditModel.h"
#include "edit/undo/UndoStrings.h"
#include "model/ModelStrings.h"

using namespace zepho;
using namespace zepho::test;

namespace {
CTextRun TextRun(const char16_t* text, int lineEnd = 0, const char* face = "DejaVu Sans") {
    CTextRun r;
    r.face = face;
    r.size = 480;
    r.SetText(text);
    r.lineEnd = lineEnd;
    return r;
}

struct TextFixture : CmdFixture {
    Ref<CDrawObj> Text(std::vector<CTextRun> runs) {
        Ref<CTextObj> t = MakeRef<CTextObj>();
        t->runs = std::move(runs);
        Ref<CObjContent> c = MakeRef<CObjContent>(KindText);
        c->SetShape(t);
        c->SetRaster(RenderForObject(*t));
        c->name = "Text - 1";
        Ref<CDrawObj> o = MakeRef<CDrawObj>(c);
        o->x = 4;
        o->y = 6;
        o->visible = 1;
        Add(o);
        return o;
    }
};
} // namespace

TEST(PropTextEdit, EditingAnExistingTextIsOneStep) {
    TextFixture f;
    Ref<CDrawObj> o = f.Text({TextRun(u"Hello")});
    const std::string start = f.Dump();
    CTextEditValues v = CTextEditValues::Of(static_cast<CTextObj&>(*o->content->shape));

    EXPECT_EQ(CommitTextEdit(f.doc, *o, v, false, f.ui), TextCommit::Unchanged);
    EXPECT_EQ(f.doc.UndoManager().UndoCount(), 0u);

    v.runs = {TextRun(u"Hello", 1), TextRun(u"World", 0, "Liberation Serif")};
    v.outline = 1;
    v.outlineThickness = 2;
    ASSERT_EQ(CommitTextEdit(f.doc, *o, v, false, f.ui), TextCommit::Done);
    EXPECT_EQ(f.doc.UndoManager().UndoCount(), 1u);
    EXPECT_EQ(f.Label(), strings::kUndoProperties);
    EXPECT_EQ(o->x, 4);
    EXPECT_EQ(o->y, 6);
    const auto& t = static_cast<const CTextObj&>(*o->content->shape);
    ASSERT_EQ(t.runs.size(), 2u);
    EXPECT_EQ(t.runs[1].face, "Liberation Serif");
    f.ExpectUndoRedo(start, f.Dump());
}

TEST(PropTextEdit, ATextThatShowsNothingIsRefusedAndLeavesTheObject) {
    TextFixture f;
    Ref<CDrawObj> o = f.Text({TextRun(u"Keep")});
    const std::string start = f.Dump();
    CTextEditValues v = CTextEditValues::Of(static_cast<CTextObj&>(*o->content->shape));
    for (const char16_t* text : {u"   ", u""}) {
        v.runs = {TextRun(text)};
        EXPECT_EQ(CommitTextEdit(f.doc, *o, v, false, f.ui), TextCommit::NothingToShow);
    }
    ASSERT_EQ(f.ui.shown.size(), 2u);
    EXPECT_EQ(f.ui.shown[0].text, strings::kNoValidTexts);
    EXPECT_EQ(f.ui.shown[0].caption, strings::kCaptionError);
    EXPECT_EQ(f.Dump(), start);
    EXPECT_EQ(f.doc.UndoManager().UndoCount(), 0u);
}

TEST(PropTextEdit, NormaliseMergesRunsOfOneFormatAndHoldsRanges) {
    CTextEditValues v;
    CTextRun a = TextRun(u"ab"), b = TextRun(u"cd", 1), c = TextRun(u"ef");
    c.baselineOffset = 500;
    c.spacing = -3;
    c.face.clear();
    for (int i = 0; i < 40; ++i)
        c.face += "\u00e9"; // cut by characters, not inside one
    v.runs = {a, b, c};
    v.lineSpacing = 400;
    v.alignment = 3;
    v.Normalise();
    ASSERT_EQ(v.runs.size(), 2u);
    EXPECT_EQ(v.runs[0].text, u"abcd");
    EXPECT_EQ(v.runs[0].lineEnd, 1);
    EXPECT_EQ(v.runs[1].baselineOffset, 100);
    EXPECT_EQ(v.runs[1].spacing, 0);
    EXPECT_EQ(v.runs[1].face.size(), 62u);
    EXPECT_EQ(v.runs[1].face.substr(60), "\u00e9");
    EXPECT_EQ(v.lineSpacing, 100);
    EXPECT_EQ(v.alignment, CTextObj::kAlignLeft);

    // What the editor confirmed is where the next text starts.
    CAppSettings s;
    v.outline = 1;
    v.outlineSmooth = 7;
    v.alignment = CTextObj::kAlignCenter;
    v.StoreSettings(s);
    CTextEditValues next;
    next.TakeSettings(s);
    EXPECT_EQ(next.outline, 1);
    EXPECT_EQ(next.outlineSmooth, 7);
    EXPECT_EQ(next.alignment, CTextObj::kAlignCenter);
    EXPECT_EQ(next.lineSpacing, 100);
}
