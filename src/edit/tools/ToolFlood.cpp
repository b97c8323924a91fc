#include "edit/document/OrvaneDoc.h"
#include "edit/tools/ToolSet.h"
#include "edit/tools/ToolStrings.h"
#include "edit/tools/ToolTargets.h"
#include "edit/undo/UndoImage.h"
#include "edit/view/OrvaneView.h"
#include "model/AppSettings.h"
#include "raster/Blend.h"
#include "raster/Dib.h"
#include "raster/RegionOps.h"

#include <algorithm>
#include <cstring>
#include <optional>

namespace zepho {

namespace {

struct FloodParams {
    COLORREF colour = 0;
    int alpha = 255;
    int tolerance = 32;
    bool adjacent = true;
};

// Fills the similar pixels of the object's own raster around (or like) the seed.
void FillOpaque(COrvaneView& view, const Ref<CDrawObj>& target, POINT seed, COLORREF reference,
                const FloodParams& f) {
    CObjContent& c = *target->content;
    PackedDib copy = DuplicateDIB(c.raster);
    if (!copy) return;
    // Recorded before the fill: the record keeps the pixels (or the shape) as they were.
    auto undo = std::make_unique<CEraseUndo>(CEraseUndo::Flood);
    if (!undo->Backup().Edit(target, std::move(copy))) return;
    COrvaneDoc& doc = view.Document();
    doc.AddUndo(std::move(undo));
    doc.SetModifiedFlag();
    std::optional<Region> clip = view.Selection();
    if (clip) clip->Offset(-target->x, -target->y);
    const Region* region = clip ? &*clip : nullptr;
    const POINT local{seed.x - target->x, seed.y - target->y};
    if (f.adjacent)
        FloodFillSimilar(c.raster, reference, f.colour, f.alpha, f.tolerance, local, region);
    else
        FillSimilarGlobal(c.raster, reference, f.colour, f.alpha, f.tolerance, region);
    if (c.HasShadow()) c.UpdateShadow();
}

// Fills the transparent canvas around the seed (or all of it); the filled pixels join the
// object, which grows to hold them.
void FillTransparent(COrvaneView& view, const Ref<CDrawObj>& target, POINT seed, const FloodParams& f) {
    const CDocImage& img = view.Document().Image();
    CObjContent& c = *target->content;
    PackedDib work = CreateTransparentDIB(img.width, img.height);
    PackedDib own = DuplicateDIB(c.raster);
    if (!work || !own) return;
    // The object's pixels bound the fill; the copy is marked by the move, the object is not.
    MoveOpaquePixels(work, POINT{0, 0}, own, target->Position());
    const std::optional<Region>& selection = view.Selection();
    const Region* region = selection ? &*selection : nullptr;
    if (f.adjacent)
        FloodFillTransparent(work, f.colour, f.alpha, seed, region);
    else
        FillTransparentGlobal(work, f.colour, f.alpha, region);
    // Only the filled pixels are new: the object's own ones go back out of the work raster, so
    // that its translucent pixels are not composed over themselves.
    const RECT ownRect = IntersectRects(
        RECT{target->x, target->y, target->x + c.raster.Width(), target->y + c.raster.Height()},
        RECT{0, 0, img.width, img.height});
    for (LONG y = ownRect.top; y < ownRect.bottom; ++y) {
        BYTE* d = work.Pixel32(ownRect.left, y);
        const BYTE* s = c.raster.Pixel32(ownRect.left - target->x, y - target->y);
        for (LONG x = ownRect.left; x < ownRect.right; ++x, d += 4, s += 4)
            if (s[3]) std::memset(d, 0, 4);
    }
    POINT cut{};
    const PackedDib filled = TrimTransparent(work, cut);
    if (!filled) return;
    POINT at{};
    PackedDib merged = MergeImages(c.raster, target->Position(), 0, filled, cut, 0, at);
    if (!merged) return;
    const int dx = at.x - target->x, dy = at.y - target->y;
    auto undo = std::make_unique<CEraseUndo>(CEraseUndo::Flood);
    if (!undo->Backup().Edit(target, std::move(merged), dx, dy)) return;
    COrvaneDoc& doc = view.Document();
    doc.AddUndo(std::move(undo));
    doc.SetModifiedFlag();
}

bool Flood(COrvaneView& view, POINT client, bool foreground) {
    const POINT pt = view.ClientToCanvas(client);
    if (!view.InsideCanvas(pt)) return true;
    COrvaneDoc& doc = view.Document();
    CDocImage& img = doc.Image();
    if (img.objects.IsEmpty()) {
        view.ShowMessage(strings::kFloodNeedObject);
        return true;
    }
    if (view.Selection() && !view.Selection()->Contains(pt.x, pt.y)) {
        view.ShowMessage(strings::kFloodOutsideSelection);
        return true;
    }
    Ref<CDrawObj> target = PaintTarget(img, pt);
    if (!target || !target->content) return true;
    if (!target->content->selected) {
        img.DeselectAll();
        target->content->selected = 1;
        view.SelectionFlagsChanged();
    }
    const CAppSettings& s = doc.Settings();
    const std::uint32_t pixel = target->content->PixelAt(pt.x - target->x, pt.y - target->y);
    const bool transparent = (pixel >> 24) == 0;
    if (transparent && !s.FloodTransparence) {
        view.ShowMessage(strings::kFloodTransparentOff);
        return true;
    }
    if (IsVectorSourced(*target)) {
        IUiHost* ui = view.UiHost();
        if (!ui || !AskConversion(*target, strings::kVerbFlood, *ui)) return true;
    }
    if (!target->content->raster.Is32()) return true;
    const CPaintColours colours = view.PaintColours() ? *view.PaintColours() : CPaintColours::FromSettings(s);
    FloodParams f;
    f.colour = foreground ? colours.fore : colours.back;
    f.alpha = 255 - std::clamp(s.FloodOpacity, 0, 255);
    f.tolerance = std::clamp(s.FloodSimilarity, 0, 255);
    f.adjacent = s.FloodAdjacentArea != 0;
    if (transparent) {
        FillTransparent(view, target, pt, f);
    } else {
        const COLORREF reference = RGB((pixel >> 16) & 0xFF, (pixel >> 8) & 0xFF, pixel & 0xFF);
        FillOpaque(view, target, pt, reference, f);
    }
    view.InvalidateAll();
    doc.NotifyObjectsRepainted();
    return true;
}

} // namespace

bool CFloodTool::OnLButtonDown(COrvaneView& view, unsigned, POINT client) {
    return Flood(view, client, false);
}

bool CFloodTool::OnRButtonDown(COrvaneView& view, unsigned, POINT client) {
    // The right button fills with the other colour; it never opens a menu here.
    return Flood(view, client, true);
}

} // namespace zepho
