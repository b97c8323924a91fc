// The kept composition of a drag: whatever happens to the document, the view, the zoom or the
// scroll position during a drag, the repaint shows the same pixels as a view that composes every
// object at every repaint.
#include "edit/ViewTestUtil.h"
#include "edit/commands/CmdAlign.h"
#include "edit/commands/CmdImageOps.h"
#include "edit/commands/CmdObjects.h"
#include "edit/commands/CmdOrder.h"
#include "edit/commands/CmdPanel.h"
#include "edit/tools/ToolSet.h"

#include <gtest/gtest.h>

#include <cstring>
#include <random>

namespace zepho::test {
namespace {

// Random colours and alpha, partly fully opaque and partly clear, so that every blend rule is
// used; or random colours, opaque, that hide what lies under them.
Ref<CDrawObj> NoisyObject(std::mt19937& rng, int w, int h, int x, int y, bool opaque = false) {
    PackedDib d = PackedDib::Create(w, h, 32);
    for (int yy = 0; yy < h; ++yy)
        for (int xx = 0; xx < w; ++xx) {
            std::uint32_t v = rng();
            const unsigned kind = (xx / 7 + yy / 5) % 4;
            if (kind == 0 || opaque) v |= 0xFF000000u;
            if (kind == 1) v &= 0x00FFFFFFu;
            std::memcpy(d.Pixel32(xx, yy), &v, 4);
        }
    Ref<CObjContent> c = MakeRef<CObjContent>(KindImage);
    c->SetRaster(std::move(d));
    Ref<CDrawObj> o = MakeRef<CDrawObj>(c);
    o->x = x;
    o->y = y;
    o->visible = 1;
    return o;
}

bool SamePixels(const PackedDib& a, const PackedDib& b) {
    if (a.Width() != b.Width() || a.Height() != b.Height()) return false;
    for (int y = 0; y < a.Height(); ++y)
        if (std::memcmp(a.Pixel32(0, y), b.Pixel32(0, y), 4 * static_cast<std::size_t>(a.Width())) != 0)
            return false;
    return true;
}

TEST(ViewComposition, DragRepaintsEqualAFullCompositionThroughAnyEdit) {
    ViewFixture f(260, 180);
    std::mt19937 rng(2024);
    for (int i = 0; i < 12; ++i) {
        Ref<CDrawObj> o = f.Add(
            NoisyObject(rng, 30 + static_cast<int>(rng() % 90), 20 + static_cast<int>(rng() % 70),
                        static_cast<int>(rng() % 200) - 20, static_cast<int>(rng() % 140) - 20, i % 3 == 2));
        if (i % 3 == 0) o->content->UpdateShadow();
        if (i % 4 == 1) o->transparency = 70;
    }
    // A large opaque one on top hides whole tiles of the others.
    f.Add(NoisyObject(rng, 150, 100, 60, 40, true));
    // The reference: a second window on the document that composes in full every time.
    ViewHostLog refHost;
    COrvaneView reference(f.doc, &refHost);
    reference.SetKeepComposition(false);
    reference.OnInitialUpdate();

    int keptRepaints = 0, drags = 0;
    bool dragging = false;
    POINT mouse{};
    auto compare = [&](const char* what, int step) {
        reference.SetZoom(f.view->Zoom());
        refHost.scroll = f.host.scroll;
        reference.UpdateScrollSizes();
        // The same handles, wherever they were dragged.
        if (f.view->ActiveObject() != reference.ActiveObject())
            reference.AttachHandles(Ref<CDrawObj>(f.view->ActiveObject()));
        reference.Tracker() = f.view->Tracker();
        // The whole window, and a part of it as the widget repaints a damaged area.
        const RECT all{0, 0, f.host.client.cx, f.host.client.cy};
        const LONG x = static_cast<LONG>(rng() % 250), y = static_cast<LONG>(rng() % 170);
        const RECT part{x, y, x + 1 + static_cast<LONG>(rng() % 120), y + 1 + static_cast<LONG>(rng() % 90)};
        for (const RECT& r : {all, part, all}) {
            const PackedDib kept = f.view->Render(r), full = reference.Render(r);
            ASSERT_TRUE(SamePixels(kept, full)) << what << " at step " << step;
            keptRepaints += f.view->KeptCompositionBytes() > 0;
        }
    };
    auto press = [&] {
        // On a visible pixel of some object, as the user grabs it.
        for (int tries = 0; tries < 50 && !dragging; ++tries) {
            const POINT p{static_cast<LONG>(rng() % 300), static_cast<LONG>(rng() % 200)};
            if (!f.doc.Image().TopmostAt(f.view->ClientToCanvas(p))) continue;
            f.view->OnLButtonDown(kMkLButton | (rng() % 4 == 0 ? kMkShift : 0u), p);
            mouse = p;
            dragging = true;
            ++drags;
        }
    };

    for (int step = 0; step < 400; ++step) {
        const unsigned op = rng() % 20;
        const std::vector<Ref<CDrawObj>> panel = PanelItems(f.doc.Image(), true);
        const char* what = "move";
        if (!dragging) press();
        if (op < 8 && dragging) {
            mouse.x += static_cast<LONG>(rng() % 31) - 15;
            mouse.y += static_cast<LONG>(rng() % 21) - 10;
            f.view->OnMouseMove(kMkLButton, mouse);
        } else if (op == 8) {
            what = "release";
            f.view->OnLButtonUp(0, mouse);
            dragging = false;
        } else if (op == 9) {
            what = "nudge";
            CmdNudge(f.doc, f.settings, static_cast<NudgeKey>(rng() % 4));
        } else if (op == 10) {
            what = rng() % 2 ? "undo" : "redo";
            what[0] == 'u' ? f.doc.OnEditUndo() : f.doc.OnEditRedo();
        } else if (op == 11) {
            what = "visibility";
            CmdToggleVisible(f.doc, f.settings, panel, static_cast<int>(rng() % panel.size()));
        } else if (op == 12) {
            what = "transparency";
            CmdSetTransparency(f.doc, panel, static_cast<int>(rng() % 256));
        } else if (op == 13) {
            what = "order";
            CmdZOrder(f.doc, static_cast<CZOrderUndo::Variant>(rng() % 4), f.ui);
        } else if (op == 14) {
            what = "pixels changed in place";
            const Ref<CDrawObj>& o = f.Objects().At(static_cast<int>(rng() % f.Objects().Count()));
            PackedDib& r = o->content->raster;
            for (int y = 0; y < r.Height(); y += 2)
                std::memset(r.Pixel32(0, y), static_cast<int>(rng() % 256),
                            4 * static_cast<std::size_t>(r.Width()));
            f.view->InvalidateCanvasRect(o->GetBounds());
        } else if (op == 15) {
            what = "mirror";
            CmdImageOperation(f.doc, ImageOp::MirrorHorz, f.ui);
        } else if (op == 16) {
            what = rng() % 2 ? "delete" : "duplicate";
            what[0] == 'd' && what[1] == 'e' ? CmdDeleteObjects(f.doc) : CmdDuplicate(f.doc, {});
        } else if (op == 17) {
            what = "zoom";
            const int zooms[] = {1, 2, 3, -2, -3};
            f.view->SetZoom(zooms[rng() % 5]);
        } else if (op == 18) {
            what = "scroll";
            f.host.ScrollTo(POINT{static_cast<LONG>(rng() % 400), static_cast<LONG>(rng() % 300)});
        } else if (op == 19) {
            what = "another object selected";
            const Ref<CDrawObj>& o = f.Objects().At(static_cast<int>(rng() % f.Objects().Count()));
            o->content->selected = !o->content->selected;
            f.view->SelectionFlagsChanged();
        }
        compare(what, step);
        if (::testing::Test::HasFatalFailure()) return;
        while (f.Objects().Count() < 4) {
            f.Add(NoisyObject(rng, 60, 40, static_cast<int>(rng() % 200), static_cast<int>(rng() % 140)));
            f.doc.NotifyObjectsChanged();
        }
    }
    if (dragging) f.view->OnLButtonUp(0, mouse);
    compare("release", 400);
    // The drags did repaint from a kept composition, and it went with the last drag.
    EXPECT_GE(drags, 8);
    EXPECT_GT(keptRepaints, 300);
    EXPECT_EQ(f.view->KeptCompositionBytes(), 0u);

    // Dragging the transform handles keeps the objects too; the handles move over them.
    f.view->SelectTool(ToolTransform);
    f.doc.Image().DeselectAll();
    f.Objects().At(2)->content->selected = 1;
    f.Objects().At(2)->visible = 1;
    f.view->SetZoom(1);
    f.host.scroll = {};
    f.view->AttachHandles(f.Objects().At(2));
    const DRect& fr = f.view->TrackerFrame();
    const POINT corner = f.At(static_cast<int>(fr.right), static_cast<int>(fr.bottom));
    f.view->OnLButtonDown(kMkLButton, corner);
    for (int i = 1; i <= 5; ++i) {
        f.view->OnMouseMove(kMkLButton, POINT{corner.x + 7 * i, corner.y + 4 * i});
        compare("handle drag", 500 + i);
    }
    EXPECT_GT(f.view->KeptCompositionBytes(), 0u);
    f.view->OnLButtonUp(0, POINT{corner.x + 35, corner.y + 20});
    compare("transform applied", 510);
}

} // namespace
} // namespace zepho::test
