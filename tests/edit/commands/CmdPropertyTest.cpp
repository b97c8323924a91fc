// Random sequences of object commands with random selections and answers: undoing them all
// gives back the starting document, redoing them all the final one.
#include "edit/CmdTestUtil.h"
#include "edit/commands/CmdAlign.h"
#include "edit/commands/CmdClipboard.h"
#include "edit/commands/CmdImageOps.h"
#include "edit/commands/CmdObjects.h"
#include "edit/commands/CmdOrder.h"
#include "edit/commands/CmdPanel.h"
#include "edit/commands/CmdResize.h"

#include <random>

using namespace zepho;
using namespace zepho::test;

namespace {
class CommandSession {
public:
    explicit CommandSession(unsigned seed) : rng_(seed) {
        f_.settings.ShowAllItems = Pick(2);
        f_.settings.HorizontalOffset = 1 + Pick(10);
        f_.AddImage("Obj - 1", 12, 9, 5, 5, true, RGB(200, 10, 10));
        f_.AddShape("Rectangle - 1", 30, 20, false);
        Ref<CDrawObj> warped = f_.AddImage("Obj - 2", 7, 7, 40, 12, true, RGB(0, 0, 255));
        warped->content->TransformContent(1.5, 1.0, 30.0);
        Ref<CDrawObj> framed = f_.AddImage("Obj - 3", 9, 9, 2, 50, false, RGB(0, 128, 0));
        FillAlphaRect(framed->content->raster, RECT{0, 0, 9, 2}, 0);
        framed->content->UpdateShadow();
    }

    std::string Dump() const { return f_.Dump(); }
    COrvaneDoc& Doc() { return f_.doc; }

    void Step() {
        CDocImage& img = f_.doc.Image();
        for (const auto& o : img.objects)
            o->content->selected = Pick(3) == 0;
        for (int i = 0; i < 3; ++i)
            f_.ui.answers.push_back(Pick(2) == 1);
        const auto items = PanelItems(img, f_.settings.ShowAllItems != 0);
        const int item = items.empty() ? 0 : Pick(static_cast<int>(items.size()));
        switch (Pick(17)) {
        case 0:
            CmdNewObject(f_.doc);
            break;
        case 1:
            CmdDuplicate(f_.doc, items);
            break;
        case 2:
            CmdDeleteObjects(f_.doc);
            break;
        case 3:
            CmdTrim(f_.doc, f_.ui);
            break;
        case 4:
            CmdCombine(f_.doc, f_.ui);
            break;
        case 5:
            CmdMakeFrame(f_.doc);
            break;
        case 6:
            CmdToggleVisible(f_.doc, f_.settings, items, item);
            break;
        case 7:
            CmdToggleLock(f_.doc, items, item);
            CmdSetTransparency(f_.doc, items, Pick(256));
            break;
        case 8:
            CmdAlign(f_.doc, static_cast<AlignKind>(Pick(7)), f_.ui);
            break;
        case 9:
            CmdZOrder(f_.doc, static_cast<CZOrderUndo::Variant>(Pick(4)), f_.ui);
            break;
        case 10:
            CmdNudge(f_.doc, f_.settings, static_cast<NudgeKey>(Pick(4)));
            break;
        case 11:
            CmdImageOperation(f_.doc, static_cast<ImageOp>(Pick(4)), f_.ui);
            break;
        case 12:
            if (CmdCopyMerged(f_.doc, clip_, f_.ui)) CmdPaste(f_.doc, clip_);
            break;
        case 13: {
            // Only raster kinds travel here; the fake shape has no stored kind of its own.
            bool plain = true;
            for (const auto& o : img.objects)
                plain = plain && !(o->IsSelected() && IsVectorKind(o->content->kind));
            if (plain && CmdCopy(f_.doc, clip_, f_.ui)) CmdPaste(f_.doc, clip_);
            break;
        }
        case 14:
            CmdResizeImage(f_.doc, f_.view.get(), std::max(20, img.width * (50 + Pick(100)) / 100),
                           std::max(20, img.height * (50 + Pick(100)) / 100));
            break;
        case 15:
            f_.settings.ResizingReference = Pick(2);
            f_.settings.ReferencePos = Pick(9);
            f_.settings.HorzOffset = Pick(41) - 20;
            f_.settings.VertOffset = Pick(41) - 20;
            CmdResizeCanvas(f_.doc, f_.view.get(), 20 + Pick(200), 20 + Pick(200), f_.settings);
            break;
        default: {
            // A step back and forth in the middle gives the same document.
            const std::string now = Dump();
            f_.doc.OnEditUndo();
            f_.doc.OnEditRedo();
            EXPECT_EQ(Dump(), now);
            break;
        }
        }
    }

private:
    int Pick(int n) { return std::uniform_int_distribution<int>(0, n - 1)(rng_); }

    CmdFixture f_;
    MemoryClipboard clip_;
    std::mt19937 rng_;
};
} // namespace

TEST(CmdProperty, UndoAllGivesTheStartRedoAllTheEnd) {
    test::ExpectUndoRedoRoundTrip<CommandSession>(40, 25);
}
