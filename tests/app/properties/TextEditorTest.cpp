// The text editor typed into like a user: its runs reach the text object and come back.
#include "app/properties/TextEditor.h"
#include "app/properties/PropertyBoundBox.h"
#include "app/properties/PropertyEditor.h"
#include "edit/tools/Tool.h"
#include "edit/undo/UndoStrings.h"
#include "edit/view/OrvaneView.h"
#include "model/AppSettings.h"
#include "model/ModelStrings.h"
#include "support/ScriptedUiHost.h"

#include <QApplication>
#include <QCheckBox>
#include <QFontComboBox>
#include <QLineEdit>
#include <QTabWidget>
#include <QTest>
#include <QTextEdit>
#include <gtest/gtest.h>

using namespace zepho;

QApplication& TestApp();

namespace {

// The widget side of a view: the text tool asks it for the editor.
struct EditorHost : IViewHost {
    COrvaneDoc* doc = nullptr;
    CAppSettings* settings = nullptr;
    IUiHost* ui = nullptr;
    void InvalidateRect(const RECT&) override {}
    void InvalidateAll() override {}
    SIZE ClientSize() const override { return {400, 300}; }
    POINT ScrollPosition() const override { return {}; }
    void SetScrollSizes(SIZE, bool, bool) override {}
    bool OpenTextEditor(CDrawObj& obj) override { return EditNewText(nullptr, *doc, obj, *settings, *ui); }
};

struct EditorFixture {
    CAppSettings settings;
    test::ScriptedUiHost ui;
    COrvaneDoc doc;
    EditorHost host;
    CPaintColours colours{RGB(200, 0, 0), RGB(0, 0, 200)};
    std::unique_ptr<COrvaneView> view;

    EditorFixture() {
        TestApp();
        settings.UndoMaxTimes = 100;
        doc.SetSettings(&settings);
        doc.CreateNewImage(300, 200, true, 0);
        host.doc = &doc;
        host.settings = &settings;
        host.ui = &ui;
        view = std::make_unique<COrvaneView>(doc, &host);
        view->SetUiHost(&ui);
        view->SetPaintColours(&colours);
        view->OnInitialUpdate();
        view->SelectTool(ToolText);
    }
    ~EditorFixture() { SetDialogRunner({}); }
    void ClickCanvas(int x, int y) {
        view->OnLButtonDown(0, view->LogicalToClient(view->CanvasToLogical(POINT{x, y})));
    }
};

void TypeIn(TextEditorDialog& d, const char* face, const QString& text) {
    d.face->setCurrentFont(QFont(QString::fromUtf8(face)));
    QTest::keyClicks(d.edit, text);
}

TEST(TextEditor, TwoFontsOnTwoLinesBecomeATextObjectAndComeBack) {
    EditorFixture f;
    SetDialogRunner([](QDialog& dialog) {
        auto& d = dynamic_cast<TextEditorDialog&>(dialog);
        TypeIn(d, "DejaVu Sans", "Hello");
        QTest::keyClick(d.edit, Qt::Key_Return);
        TypeIn(d, "Liberation Serif", "World");
        d.outline->setChecked(true);
        d.accept();
        return d.result();
    });
    f.ClickCanvas(20, 30);

    ASSERT_EQ(f.doc.Image().objects.Count(), 2);
    const Ref<CDrawObj> obj = f.doc.Image().objects.Tail();
    ASSERT_EQ(obj->content->kind, KindText);
    EXPECT_TRUE(obj->content->raster);
    EXPECT_EQ(obj->Position(), (POINT{20, 30}));
    const auto& text = dynamic_cast<const CTextObj&>(*obj->content->shape);
    ASSERT_EQ(text.runs.size(), 2u);
    EXPECT_EQ(text.runs[0].face, "DejaVu Sans");
    EXPECT_EQ(text.runs[0].text, u"Hello");
    EXPECT_EQ(text.runs[0].lineEnd, 1);
    EXPECT_EQ(text.runs[1].face, "Liberation Serif");
    EXPECT_EQ(text.runs[1].text, u"World");
    EXPECT_EQ(text.outline, 1);
    EXPECT_EQ(text.paint.color1, RGB(200, 0, 0));
    ASSERT_EQ(f.doc.UndoManager().UndoCount(), 1u);
    EXPECT_EQ(f.doc.UndoManager().PeekUndo()->GetLabel(), strings::kUndoAddText);
    // The next text starts with the outline confirmed here.
    EXPECT_EQ(f.settings.MadeTextOutline, 1);

    // Reopened, the editor shows the same text and fonts; OK without a change records nothing.
    std::vector<CTextRun> shown;
    SetDialogRunner([&](QDialog& dialog) {
        auto& d = dynamic_cast<TextEditorDialog&>(dialog);
        EXPECT_EQ(d.edit->toPlainText(), QStringLiteral("Hello\nWorld"));
        shown = d.Values().runs;
        d.accept();
        return d.result();
    });
    EXPECT_FALSE(EditObjectProperties(nullptr, f.doc, *obj, f.settings, f.ui));
    EXPECT_EQ(shown, text.runs);
    EXPECT_EQ(f.doc.UndoManager().UndoCount(), 1u);

    // An edit is one step.
    SetDialogRunner([](QDialog& dialog) {
        auto& d = dynamic_cast<TextEditorDialog&>(dialog);
        d.edit->moveCursor(QTextCursor::End);
        QTest::keyClicks(d.edit, "!");
        d.accept();
        return d.result();
    });
    EXPECT_TRUE(EditTextObject(nullptr, f.doc, *obj, f.settings, f.ui));
    EXPECT_EQ(text.runs[1].text, u"World!");
    EXPECT_EQ(f.doc.UndoManager().UndoCount(), 2u);
    EXPECT_EQ(f.doc.UndoManager().PeekUndo()->GetLabel(), strings::kUndoProperties);
}

TEST(TextEditor, NothingToShowKeepsTheDialogOpenOnItsText) {
    EditorFixture f;
    bool stayedOpen = false;
    SetDialogRunner([&](QDialog& dialog) {
        auto& d = dynamic_cast<TextEditorDialog&>(dialog);
        d.show();
        d.tabs->setCurrentIndex(2);
        QTest::keyClicks(d.edit, "   ");
        d.accept();
        stayedOpen = d.isVisible() && d.result() != QDialog::Accepted && d.tabs->currentIndex() == 0 &&
                     d.focusWidget() == d.edit;
        d.reject();
        return d.result();
    });
    f.ClickCanvas(10, 10);
    EXPECT_TRUE(stayedOpen);
    ASSERT_EQ(f.ui.shown.size(), 1u);
    EXPECT_EQ(f.ui.shown[0].text, strings::kNoValidTexts);
    EXPECT_EQ(f.ui.shown[0].caption, strings::kCaptionError);
    // Cancelled: the tool leaves no object and no step behind.
    EXPECT_EQ(f.doc.Image().objects.Count(), 1);
    EXPECT_EQ(f.doc.UndoManager().UndoCount(), 0u);
}

TEST(TextEditor, RunsSurviveTheRoundTripThroughTheDocument) {
    TestApp();
    CTextRun a;
    a.face = "DejaVu Serif";
    a.size = 300;
    a.bold = 1;
    a.baselineOffset = -12;
    a.spacing = 3;
    a.SetText(u"Bold");
    a.lineEnd = 1;
    CTextRun empty = a;
    empty.SetText(u"");
    CTextRun b;
    b.face = "DejaVu Sans";
    b.italic = 1;
    b.outlined = 1;
    b.size = 480;
    b.SetText(u"after an empty line");
    const std::vector<CTextRun> runs{a, empty, b};
    QTextDocument doc;
    DocumentFromRuns(doc, runs, CTextObj::kAlignCenter);
    EXPECT_EQ(doc.blockCount(), 3);
    CTextEditValues v;
    v.runs = RunsFromDocument(doc);
    v.Normalise();
    EXPECT_EQ(v.runs, runs);
}

} // namespace

// The Line, Baseline and Character boxes show every value of their range in full, not a clipped
// digit: the text field inside each box is at least as wide as its widest value.
TEST(TextEditor, SpacingBoxesShowTheirWholeValues) {
    EditorFixture f;
    CTextEditValues values;
    TextEditorDialog d(values, f.ui);
    d.show();
    QApplication::processEvents();
    for (BoundBox* box : {d.line, d.baseline, d.character}) {
        auto* field = box->findChild<QLineEdit*>();
        ASSERT_TRUE(field);
        for (double v : {box->Lo(), box->Hi()}) {
            box->SetValue(v);
            const QString text = box->text();
            const int needed = field->fontMetrics().horizontalAdvance(text);
            const QRect room = field->contentsRect().marginsRemoved(field->textMargins());
            EXPECT_GE(room.width(), needed)
                << text.toStdString() << " in a field " << room.width() << " wide";
        }
    }
    d.reject();
}
