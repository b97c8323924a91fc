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
#include <optional>

namespace zepho {

namespace {

// The selection moved into the coordinates of an image whose top-left lies at `origin`.
std::optional<Region> SelectionAt(const COrvaneView& view, POINT origin) {
    std::optional<Region> clip = view.Selection();
    if (clip) clip->Offset(-origin.x, -origin.y);
    return clip;
}

const Region* Ptr(const std::optional<Region>& r) {
    return r ? &*r : nullptr;
}

// A stroke end in the coordinates of an image at `origin`.
PointF StrokePoint(const COrvaneView& view, POINT logical, POINT origin) {
    const POINT c = view.LogicalToCanvas(logical);
    return {static_cast<float>(c.x - origin.x), static_cast<float>(c.y - origin.y)};
}

int PenWidth(int w) {
    return std::clamp(w, 1, 50);
}

RECT MaskRect(const PackedDib& mask, POINT maskPos, POINT origin) {
    const LONG l = origin.x + maskPos.x, t = origin.y + maskPos.y;
    return {l, t, l + mask.Width(), t + mask.Height()};
}

} // namespace

// --- the stroke gesture -----------------------------------------------------------------------

bool CStrokeTool::OnLButtonDown(COrvaneView& view, unsigned, POINT client) {
    const bool paint = Number() == ToolPaintLine;
    COrvaneDoc& doc = view.Document();
    CDocImage& img = doc.Image();
    if (img.objects.IsEmpty()) {
        view.ShowMessage(paint ? strings::kPaintNeedObject : strings::kEraseNeedObject);
        return true;
    }
    CDragState& drag = view.Drag();
    drag.start = drag.current = view.ClientToLogical(client);
    Ref<CDrawObj> target = PaintTarget(img, view.ClientToCanvas(client));
    if (!target || !target->content) {
        view.ShowMessage(paint ? strings::kPaintNeedSelected : strings::kEraseNeedSelected);
        return true;
    }
    if (!target->content->selected) {
        target->content->selected = 1;
        view.SelectionFlagsChanged();
    }
    if (IsVectorSourced(*target)) {
        IUiHost* ui = view.UiHost();
        if (!ui || !AskConversion(*target, strings::kVerbPaintErase, *ui)) return true;
        ConvertToImage(doc, target);
        // The question took the button's release: the stroke starts with the next press.
        return true;
    }
    if (!target->content->raster.Is32()) return true;
    view.Stroke() = CStrokeState{target};
    view.CaptureMouse();
    drag.flags |= CDragState::Stroke | CDragState::StrokeNotStarted;
    if (Beeline(view)) drag.flags |= CDragState::RubberLine;
    return true;
}

bool CStrokeTool::OnMouseMove(COrvaneView& view, unsigned flags, POINT client) {
    CDragState& drag = view.Drag();
    if (!drag.Has(CDragState::Stroke) || !(flags & kMkLButton)) return false;
    const POINT p = view.ClientToLogical(client);
    if (drag.Has(CDragState::RubberLine)) {
        view.MoveRubberBandTo(p);
        return true;
    }
    Step(view, drag.current, p);
    drag.current = p;
    drag.flags &= ~CDragState::StrokeNotStarted;
    return true;
}

bool CStrokeTool::OnLButtonUp(COrvaneView& view, unsigned, POINT client) {
    CDragState& drag = view.Drag();
    if (!drag.Has(CDragState::Stroke)) return false;
    view.InvalidateRubberBand();
    const bool started = !drag.Has(CDragState::StrokeNotStarted);
    drag.flags &= ~(CDragState::Stroke | CDragState::StrokeNotStarted | CDragState::RubberLine);
    view.ReleaseMouse();
    // A click or a straight line is one segment from the press to the release.
    if (!started) Step(view, drag.start, view.ClientToLogical(client));
    Finish(view);
    view.Stroke() = {};
    return true;
}

// --- paint line -------------------------------------------------------------------------------

bool CPaintLineTool::Beeline(const COrvaneView& view) const {
    return view.Document().Settings().PaintBeeline != 0;
}

void CPaintLineTool::Step(COrvaneView& view, POINT a, POINT b) const {
    CStrokeState& st = view.Stroke();
    if (!st.target || !st.target->content) return;
    const CDrawObj& obj = *st.target;
    const CObjContent& c = *obj.content;
    const CAppSettings& s = view.Document().Settings();
    const bool anywhere = s.AllowPaintTransparence != 0;
    if (!st.hasLayer) {
        const CDocImage& img = view.Document().Image();
        const RECT area = anywhere ? RECT{0, 0, img.width, img.height}
                                   : RECT{obj.x, obj.y, obj.x + c.raster.Width(), obj.y + c.raster.Height()};
        const COLORREF fore = view.PaintColours() ? view.PaintColours()->fore : s.PaintForeColor;
        PackedDib layer = CreateSolidDIB(area.Width(), area.Height(), fore, 0);
        if (!layer) return;
        view.SetFloating(std::move(layer), POINT{area.left, area.top}, obj.transparency, st.target);
        st.area = area;
        st.hasLayer = true;
    }
    const POINT origin{st.area.left, st.area.top};
    const std::optional<Region> clip = SelectionAt(view, origin);
    POINT maskPos{};
    const PackedDib mask = StrokeMask(st.area.Width(), st.area.Height(), StrokePoint(view, a, origin),
                                      StrokePoint(view, b, origin), PenWidth(s.PaintLineWidth),
                                      255 - (s.LineOpacity & 0xFF), Ptr(clip), s.PaintRoundCap != 0, maskPos);
    if (!mask) return;
    PackedDib& layer = view.Floating();
    if (anywhere)
        PaintAlphaByMask(layer, mask, maskPos, Ptr(clip));
    else
        PaintAlphaByMaskWhereOpaque(layer, mask, c.raster, maskPos, Ptr(clip));
    view.InvalidateCanvasRect(MaskRect(mask, maskPos, origin));
}

void CPaintLineTool::Finish(COrvaneView& view) const {
    CStrokeState& st = view.Stroke();
    if (!st.hasLayer) return;
    PackedDib layer = std::move(view.Floating());
    view.ClearFloating();
    if (!st.target || !st.target->content) return;
    CDrawObj& obj = *st.target;
    // Only what the stroke painted joins the object; a stroke that painted nothing leaves no trace.
    POINT cut{};
    const PackedDib painted = TrimTransparent(layer, cut);
    if (!painted) return;
    POINT at{};
    PackedDib merged = MergeImages(obj.content->raster, obj.Position(), 0, painted,
                                   POINT{st.area.left + cut.x, st.area.top + cut.y}, 0, at);
    if (!merged) return;
    auto backup = std::make_unique<CImageBackup>();
    if (!backup->Edit(st.target, std::move(merged), at.x - obj.x, at.y - obj.y)) return;
    auto undo = std::make_unique<CRasterEditUndo>(CRasterEditUndo::PaintLine);
    undo->AddRecord(std::move(backup));
    COrvaneDoc& doc = view.Document();
    doc.AddUndo(std::move(undo));
    doc.SetModifiedFlag();
    view.InvalidateAll();
    doc.NotifyObjectsRepainted();
}

// --- eraser -----------------------------------------------------------------------------------

bool CEraserTool::Beeline(const COrvaneView& view) const {
    return view.Document().Settings().EraseBeeline != 0;
}

void CEraserTool::Step(COrvaneView& view, POINT a, POINT b) const {
    CStrokeState& st = view.Stroke();
    if (!st.target || !st.target->content) return;
    CObjContent& c = *st.target->content;
    const CAppSettings& s = view.Document().Settings();
    const POINT origin = st.target->Position();
    const std::optional<Region> clip = SelectionAt(view, origin);
    POINT maskPos{};
    const PackedDib mask =
        StrokeMask(c.raster.Width(), c.raster.Height(), StrokePoint(view, a, origin),
                   StrokePoint(view, b, origin), PenWidth(s.EraseLineWidth),
                   std::clamp(s.EraseTransparence, 0, 255), Ptr(clip), s.EraseRoundCap != 0, maskPos);
    if (!mask) return;
    if (!st.recorded) {
        // The object's pixels (or its shape) as they were before the first step that reached it.
        auto undo = std::make_unique<CEraseUndo>(CEraseUndo::Erase);
        if (c.shape) {
            undo->Backup().SetSource(st.target, c.kind, c.shape);
            c.SetShape({});
            c.kind = KindImage;
        } else {
            PackedDib copy = DuplicateDIB(c.raster);
            if (!copy) return;
            undo->Backup().SetRaster(st.target, c.kind, std::move(copy));
        }
        COrvaneDoc& doc = view.Document();
        doc.AddUndo(std::move(undo));
        doc.SetModifiedFlag();
        st.recorded = true;
    }
    EraseByMask(c.raster, mask, maskPos, Ptr(clip));
    view.InvalidateCanvasRect(MaskRect(mask, maskPos, origin));
}

void CEraserTool::Finish(COrvaneView& view) const {
    CStrokeState& st = view.Stroke();
    if (!st.recorded || !st.target || !st.target->content) return;
    CObjContent& c = *st.target->content;
    if (c.HasShadow()) c.UpdateShadow();
    view.InvalidateAll();
    view.Document().NotifyObjectsRepainted();
}

} // namespace zepho
