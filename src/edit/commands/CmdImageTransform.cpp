#include "edit/commands/CmdImageTransform.h"

#include "edit/commands/CmdCommon.h"
#include "edit/commands/CommandStrings.h"
#include "edit/commands/LongWork.h"
#include "edit/undo/UndoWholeImage.h"
#include "edit/view/OrvaneView.h"
#include "model/ModelStrings.h"
#include "raster/Adjust.h"
#include "raster/Dib.h"

#include <cmath>
#include <cstring>

namespace zepho {

namespace {

void Relayout(COrvaneView* view) {
    if (!view) return;
    // Twice: the first run may bring in scroll bars that shrink the client area.
    view->UpdateScrollSizes();
    view->UpdateScrollSizes();
}

bool IsRotation(WholeImageOp op) {
    return op == WholeImageOp::Rotate90Cw || op == WholeImageOp::Rotate90Ccw || op == WholeImageOp::Rotate180;
}

CWholeImageUndo::Variant VariantOf(WholeImageOp op) {
    switch (op) {
    case WholeImageOp::FlipHorz:
        return CWholeImageUndo::FlipHorz;
    case WholeImageOp::FlipVert:
        return CWholeImageUndo::FlipVert;
    case WholeImageOp::Rotate90Cw:
        return CWholeImageUndo::Rotate90Cw;
    case WholeImageOp::Rotate90Ccw:
        return CWholeImageUndo::Rotate90Ccw;
    case WholeImageOp::Rotate180:
        return CWholeImageUndo::Rotate180;
    }
    return CWholeImageUndo::FlipHorz;
}

// Where a point of the W x H canvas lands.
void MapPoint(WholeImageOp op, double W, double H, double& x, double& y) {
    const double ox = x, oy = y;
    switch (op) {
    case WholeImageOp::FlipHorz:
        x = W - ox;
        break;
    case WholeImageOp::FlipVert:
        y = H - oy;
        break;
    case WholeImageOp::Rotate90Cw:
        x = H - oy;
        y = ox;
        break;
    case WholeImageOp::Rotate90Ccw:
        x = oy;
        y = W - ox;
        break;
    case WholeImageOp::Rotate180:
        x = W - ox;
        y = H - oy;
        break;
    }
}

// The new top-left of a w x h raster at (x, y).
POINT MapRect(WholeImageOp op, int W, int H, int x, int y, int w, int h) {
    switch (op) {
    case WholeImageOp::FlipHorz:
        return {W - x - w, y};
    case WholeImageOp::FlipVert:
        return {x, H - y - h};
    case WholeImageOp::Rotate90Cw:
        return {H - y - h, x};
    case WholeImageOp::Rotate90Ccw:
        return {y, W - x - w};
    case WholeImageOp::Rotate180:
        return {W - x - w, H - y - h};
    }
    return {x, y};
}

PackedDib TurnPixels(WholeImageOp op, const PackedDib& src) {
    switch (op) {
    case WholeImageOp::FlipHorz:
        return MirrorHorizontally(src);
    case WholeImageOp::FlipVert:
        return MirrorVertically(src);
    case WholeImageOp::Rotate90Cw:
        return RotateDib90(src, true);
    case WholeImageOp::Rotate90Ccw:
        return RotateDib90(src, false);
    case WholeImageOp::Rotate180: {
        PackedDib half = MirrorHorizontally(src);
        return half ? MirrorVertically(half) : PackedDib{};
    }
    }
    return {};
}

double TurnDegrees(WholeImageOp op) {
    // Object angles turn counter-clockwise on the screen as they grow.
    switch (op) {
    case WholeImageOp::Rotate90Cw:
        return -90.0;
    case WholeImageOp::Rotate90Ccw:
        return 90.0;
    default:
        return 180.0;
    }
}

bool IsPlainImage(const CObjContent& c) {
    return c.kind == KindImage || !c.shape;
}

// A shape, a text or a transformed image turned about the canvas through its own rotation.
bool TurnThroughGeometry(CWholeImageUndo& action, const Ref<CDrawObj>& o, WholeImageOp op, int W, int H) {
    std::unique_ptr<CTransformUndo> undo = CTransformUndo::Create(o);
    if (!undo) return false;
    const DRect f = o->GetFrame();
    double cx = (f.left + f.right) / 2, cy = (f.top + f.bottom) / 2;
    MapPoint(op, W, H, cx, cy);
    double angle = std::fmod(o->content->shape->angle + TurnDegrees(op), 360.0);
    if (angle < 0) angle += 360.0;
    if (!o->TransformAbout(cx, cy, 1.0, 1.0, angle)) return false;
    action.AddTransform(std::move(undo));
    return true;
}

// Mirrors or turns the object's raster and moves it where the rectangle lands.
void TurnRaster(CWholeImageUndo& action, const Ref<CDrawObj>& o, WholeImageOp op, int W, int H) {
    const SIZE size = o->GetSize();
    const POINT to = MapRect(op, W, H, o->x, o->y, size.cx, size.cy);
    if (o->content && o->content->raster) {
        auto backup = std::make_unique<CImageBackup>();
        if (backup->Edit(o, TurnPixels(op, o->content->raster))) action.AddRecord(std::move(backup));
    }
    action.AddObject(o, o->x, o->y);
    o->x = to.x;
    o->y = to.y;
}

} // namespace

PackedDib RotateDib90(const PackedDib& src, bool clockwise) {
    if (!src.Is32()) return {};
    const int w = src.Width(), h = src.Height();
    PackedDib out = PackedDib::Create(h, w, 32);
    if (!out) return out;
    for (int y = 0; y < h; ++y) {
        const BYTE* s = src.Row(y);
        for (int x = 0; x < w; ++x) {
            // Clockwise the top row becomes the right column; counter-clockwise the left one.
            BYTE* d = clockwise ? out.Pixel32(h - 1 - y, x) : out.Pixel32(y, w - 1 - x);
            std::memcpy(d, s + 4 * static_cast<std::size_t>(x), 4);
        }
    }
    return out;
}

bool CanTransformWholeImage(const COrvaneDoc& doc) {
    return doc.Image().width > 0 && doc.Image().height > 0;
}

bool CmdTransformWholeImage(COrvaneDoc& doc, COrvaneView* view, WholeImageOp op, IUiHost& ui) {
    CDocImage& img = doc.Image();
    if (!CanTransformWholeImage(doc)) return false;
    const bool rotation = IsRotation(op);
    if (!rotation) {
        bool vector = false;
        for (const auto& o : img.objects)
            if (o->content && !IsPlainImage(*o->content) && o->content->kind != KindTransformedImage)
                vector = true;
        if (vector && !ui.AskYesNo(strings::kFlipConvertAsk, strings::kAppTitle)) return false;
    }

    const int W = img.width, H = img.height;
    std::optional<Region> selection;
    if (view) selection = view->Selection();
    auto action = std::make_unique<CWholeImageUndo>(VariantOf(op), W, H, std::move(selection), view);
    for (const auto& o : img.objects) {
        const bool geometric = rotation && o->content && !IsPlainImage(*o->content);
        if (!geometric || !TurnThroughGeometry(*action, o, op, W, H)) TurnRaster(*action, o, op, W, H);
    }
    if (op == WholeImageOp::Rotate90Cw || op == WholeImageOp::Rotate90Ccw) {
        img.width = H;
        img.height = W;
    }
    if (view) {
        view->SetSelection(std::nullopt);
        if (CDrawObj* active = view->ActiveObject()) view->AttachHandles(Ref<CDrawObj>(active));
    }
    Relayout(view);
    CommitCommand(doc, std::move(action), true);
    return true;
}

bool CanCropToSelection(const COrvaneDoc& doc, const COrvaneView* view) {
    if (!view || !view->Selection() || view->Selection()->IsEmpty()) return false;
    const RECT b = view->Selection()->Bounds();
    return b.right > 0 && b.bottom > 0 && b.left < doc.Image().width && b.top < doc.Image().height;
}

bool CmdCropToSelection(COrvaneDoc& doc, COrvaneView* view) {
    if (!CanCropToSelection(doc, view)) return false;
    CDocImage& img = doc.Image();
    RECT b = view->Selection()->Bounds();
    b.left = std::max<LONG>(b.left, 0);
    b.top = std::max<LONG>(b.top, 0);
    b.right = std::min<LONG>(b.right, img.width);
    b.bottom = std::min<LONG>(b.bottom, img.height);
    if (b.left == 0 && b.top == 0 && b.right == img.width && b.bottom == img.height) return false;

    auto action = std::make_unique<CWholeImageUndo>(CWholeImageUndo::Crop, img.width, img.height,
                                                    view->Selection(), view);
    for (const auto& o : img.objects) {
        action->AddObject(o, o->x, o->y);
        o->x -= b.left;
        o->y -= b.top;
    }
    img.width = b.right - b.left;
    img.height = b.bottom - b.top;
    Region moved = *view->Selection();
    moved.Offset(-b.left, -b.top);
    view->SetSelection(std::move(moved));
    if (CDrawObj* active = view->ActiveObject()) view->AttachHandles(Ref<CDrawObj>(active));
    Relayout(view);
    CommitCommand(doc, std::move(action), true);
    return true;
}

Ref<CObjContent> CopyForRendering(const CObjContent& c) {
    Ref<CObjContent> r = MakeRef<CObjContent>(static_cast<ObjectKind>(c.kind));
    r->filter = c.filter;
    r->shadowType = c.shadowType;
    r->shadowOffsetX = c.shadowOffsetX;
    r->shadowOffsetY = c.shadowOffsetY;
    r->shadowPosX = c.shadowPosX;
    r->shadowPosY = c.shadowPosY;
    r->shadowSize = c.shadowSize;
    r->shadowTransparency = c.shadowTransparency;
    r->shadowSmooth = c.shadowSmooth;
    r->shadowColour = c.shadowColour;
    r->shadowSkew = c.shadowSkew;
    r->shadowPerspective = c.shadowPerspective;
    // The shadow is on while it has a raster; the rendering rebuilds it, so a mark will do.
    if (c.HasShadow()) {
        r->shadowRaster = CreateTransparentDIB(1, 1);
        if (!r->shadowRaster) return {};
    }
    if (c.shape) {
        r->SetShape(c.shape->Clone());
        if (!r->shape) return {};
        r->shape->tooLarge = c.shape->tooLarge;
    } else {
        // A plain image becomes its own transform source on the copy.
        r->SetRaster(c.raster.Share());
        if (c.raster && !r->raster) return {};
    }
    return r;
}

CPreparedTransform PrepareTransformAbout(const CDrawObj& obj, double centerX, double centerY, double scaleX,
                                         double scaleY, double angle) {
    CPreparedTransform out;
    if (!obj.content) return out;
    Ref<CObjContent> copy = CopyForRendering(*obj.content);
    if (!copy) return out;
    CDrawObj work(copy);
    work.x = obj.x;
    work.y = obj.y;
    if (work.TransformAbout(centerX, centerY, scaleX, scaleY, angle)) {
        out.content = copy;
        out.position = {work.x, work.y};
    }
    out.tooLarge = copy->shape && copy->shape->tooLarge;
    return out;
}

void InstallTransform(CDrawObj& obj, CPreparedTransform& prepared) {
    if (!obj.content || !prepared.content) return;
    CObjContent& c = *obj.content;
    CObjContent& r = *prepared.content;
    if (c.shape && r.shape) {
        // The object keeps its own shape (undo records hold it) and takes the new geometry.
        c.shape->RestoreGeometry(r.shape->CreateTransformUndo());
        c.shape->tooLarge = r.shape->tooLarge;
    } else {
        c.SetShape(r.shape);
    }
    c.kind = r.kind;
    c.SetRaster(std::move(r.raster));
    c.shadowRaster = std::move(r.shadowRaster);
    c.shadowPosX = r.shadowPosX;
    c.shadowPosY = r.shadowPosY;
    obj.x = prepared.position.x;
    obj.y = prepared.position.y;
}

bool TransformAboutInBackground(CDrawObj& obj, double centerX, double centerY, double scaleX, double scaleY,
                                double angle) {
    if (!obj.content) return false;
    CPreparedTransform prepared;
    const CDrawObj& source = obj;
    if (!RunLongWork(
            [&] { prepared = PrepareTransformAbout(source, centerX, centerY, scaleX, scaleY, angle); }))
        return false;
    if (!prepared.content) {
        // As after a failed transform in place: the geometry stays, the too-large mark follows.
        if (obj.content->shape) obj.content->shape->tooLarge = prepared.tooLarge;
        return false;
    }
    InstallTransform(obj, prepared);
    return true;
}

} // namespace zepho
