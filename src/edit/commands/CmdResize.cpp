#include "edit/commands/CmdResize.h"

#include "edit/commands/CmdCommon.h"
#include "edit/commands/LongWork.h"
#include "edit/undo/UndoCanvas.h"
#include "edit/view/OrvaneView.h"
#include "extlib/VorRender.h"
#include "model/AppSettings.h"
#include "raster/Dib.h"

#include <cmath>
#include <vector>

namespace zepho {

namespace {
int RoundScaled(int v, double s) {
    return static_cast<int>(std::floor(v * s + 0.5));
}

// The largest canvas or object side we agree to scale to.
constexpr double kMaxSide = 1 << 20;

void Relayout(COrvaneView* view) {
    if (!view) return;
    // Twice: the first run may bring in scroll bars that shrink the client area.
    view->UpdateScrollSizes();
    view->UpdateScrollSizes();
}
} // namespace

PackedDib ResampleDIB(const PackedDib& src, double sx, double sy, int filter) {
    if (!src.Is32() || !(sx > 0) || !(sy > 0)) return {};
    const double w = std::floor(src.Width() * sx + 0.5), h = std::floor(src.Height() * sy + 0.5);
    if (!(w <= kMaxSide) || !(h <= kMaxSide)) return {};
    const int tw = std::max(1, static_cast<int>(w)), th = std::max(1, static_cast<int>(h));
    PackedDib out = CreateTransparentDIB(tw, th);
    if (!out) return out;
    // Target pixels back to source pixels, by the sizes actually produced.
    const CVorTransMatrix m = CVorTransMatrix::Scaling(static_cast<double>(src.Width()) / tw,
                                                       static_cast<double>(src.Height()) / th);
    if (!TransformImage(out, src, m, 0.0, 0.0, filter)) return {};
    return out;
}

bool CmdResizeImage(COrvaneDoc& doc, COrvaneView* view, int newWidth, int newHeight) {
    CDocImage& img = doc.Image();
    if (newWidth < 1 || newHeight < 1 || img.width < 1 || img.height < 1) return false;
    if (newWidth == img.width && newHeight == img.height) return false;
    const double sx = static_cast<double>(newWidth) / img.width,
                 sy = static_cast<double>(newHeight) / img.height;

    // Every object's new rendering is worked out first, from copies of the shapes (as long
    // work, off the UI thread in the shell); then the results go in with the undo step.
    struct Resampled {
        Ref<CDrawObj> obj;
        Ref<CObjShape> shape; // the copy that took the new geometry
        PackedDib dib;
    };
    std::vector<Resampled> work;
    for (const auto& o : img.objects)
        work.push_back({o, {}, {}});
    const bool wanted = RunLongWork([&work, sx, sy] {
        for (Resampled& r : work) {
            const CObjContent* c = r.obj->content.Get();
            if (c && c->shape) {
                r.shape = c->shape->Clone();
                if (r.shape) r.dib = r.shape->Transform(sx, sy, r.shape->angle);
            } else if (c && c->raster) {
                r.dib = ResampleDIB(c->raster, sx, sy, c->filter);
            }
        }
    });
    if (!wanted) return false;

    auto action = std::make_unique<CResizeAnimUndo>(img.width, img.height);
    for (Resampled& r : work) {
        const Ref<CDrawObj>& o = r.obj;
        action->AddObject(o, o->x, o->y);
        if (o->content && o->content->shape) {
            auto rec = std::make_unique<CResampleRecord>(o);
            if (r.shape) {
                // The object keeps its own shape (undo records hold it) and takes the new geometry.
                o->content->shape->tooLarge = r.shape->tooLarge;
                if (r.dib) o->content->shape->RestoreGeometry(r.shape->CreateTransformUndo());
            }
            if (rec->Resized(sx, sy, std::move(r.dib))) action->AddRecord(std::move(rec));
        } else if (o->content && o->content->raster) {
            auto rec = std::make_unique<CImageBackupSized>();
            if (rec->Resize(o, std::move(r.dib), sx, sy)) action->AddRecord(std::move(rec));
        }
        o->x = RoundScaled(o->x, sx);
        o->y = RoundScaled(o->y, sy);
        if (view && view->ActiveObject() == o.Get()) view->AttachHandles(o);
    }
    img.width = newWidth;
    img.height = newHeight;
    Relayout(view);
    CommitCommand(doc, std::move(action), true);
    return true;
}

POINT CanvasShift(const CAppSettings& settings, int dW, int dH) {
    if (settings.ResizingReference == 1) return {settings.HorzOffset, settings.VertOffset};
    const int cell = settings.ReferencePos >= 0 && settings.ReferencePos <= 8 ? settings.ReferencePos : 0;
    const int column = cell % 3, row = cell / 3;
    return {column == 0 ? 0 : column == 1 ? dW / 2 : dW, row == 0 ? 0 : row == 1 ? dH / 2 : dH};
}

bool CmdResizeCanvas(COrvaneDoc& doc, COrvaneView* view, int newWidth, int newHeight,
                     const CAppSettings& settings) {
    CDocImage& img = doc.Image();
    if (newWidth < 1 || newHeight < 1) return false;
    if (newWidth == img.width && newHeight == img.height) return false;
    const POINT shift = CanvasShift(settings, newWidth - img.width, newHeight - img.height);
    auto action = std::make_unique<CResizeCanvasUndo>(img.width, img.height);
    if (shift.x != 0 || shift.y != 0) {
        for (const auto& o : img.objects) {
            action->AddObject(o, o->x, o->y);
            o->x += shift.x;
            o->y += shift.y;
            if (view && view->ActiveObject() == o.Get()) view->AttachHandles(o);
        }
    }
    img.width = newWidth;
    img.height = newHeight;
    Relayout(view);
    CommitCommand(doc, std::move(action), false);
    return true;
}

bool CanResize(const COrvaneDoc& doc) {
    return doc.Image().width > 0 && doc.Image().height > 0;
}

} // namespace zepho
