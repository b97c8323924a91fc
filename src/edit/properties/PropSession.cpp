#include "edit/properties/PropSession.h"

#include "edit/commands/CmdCommon.h"
#include "edit/commands/LongWork.h"
#include "edit/view/OrvaneView.h"
#include "model/BitmapObj.h"
#include "model/EllipseObj.h"
#include "model/PolygonObj.h"
#include "model/RectObj.h"
#include "model/TextObj.h"
#include "platform/ByteStream.h"

#include <cmath>

namespace zepho {

namespace {
template <class T> bool AssignAs(CObjShape& dst, const CObjShape& src) {
    auto* d = dynamic_cast<T*>(&dst);
    const auto* s = dynamic_cast<const T*>(&src);
    if (!d || !s) return false;
    *d = *s;
    return true;
}

int RoundToInt(double v) {
    return static_cast<int>(std::floor(v + 0.5));
}
} // namespace

CPropertySession::CPropertySession(COrvaneDoc& doc, Ref<CDrawObj> obj)
    : doc_(doc), obj_(std::move(obj)), props_(ObjectProperties::Of(*obj_)),
      shapeProps_(ShapeProperties::Of(*obj_->content)) {
    CObjContent& c = Content();
    kind_ = c.kind;
    shape_ = c.shape;
    if (Ref<CBitmapObj> bmp = RefCast<CBitmapObj>(shape_)) {
        geometry_ = bmp->CreateTransformUndo();
        geometry_.shape.Reset();
        sourceFilter_ = bmp->filter;
    } else if (shape_) {
        shapeCopy_ = shape_->Clone();
    }
    const DRect f = obj_->GetFrame();
    centerX_ = (f.left + f.right) / 2;
    centerY_ = (f.top + f.bottom) / 2;
}

bool CPropertySession::Changed() const {
    for (const CPropertyPage* p : pages_)
        if (p->Changed()) return true;
    return false;
}

void CPropertySession::Repaint(bool rebuild) const {
    if (COrvaneView* view = doc_.GetView()) {
        if (view->ActiveObject() == obj_.Get()) view->AttachHandles(obj_);
        view->InvalidateAll();
    }
    if (rebuild) doc_.NotifyObjectsChanged();
    doc_.NotifyObjectsRepainted();
}

void CPropertySession::MoveBy(int dx, int dy) {
    obj_->x += dx;
    obj_->y += dy;
    centerX_ += dx;
    centerY_ += dy;
    Repaint();
}

bool CPropertySession::KeepRasters() {
    if (rastersKept_) return true;
    CObjContent& c = Content();
    raster_ = c.raster.Share();
    shadow_ = c.shadowRaster.Share();
    if ((c.raster && !raster_) || (c.shadowRaster && !shadow_)) {
        raster_.Reset();
        shadow_.Reset();
        return false;
    }
    shadowPosX_ = c.shadowPosX;
    shadowPosY_ = c.shadowPosY;
    rastersKept_ = true;
    return true;
}

bool CPropertySession::EnsureTransformSource() {
    CObjContent& c = Content();
    if (RefCast<CBitmapObj>(c.shape)) return true;
    if (c.kind != KindImage || c.shape) return false;
    return KeepRasters() && c.MakeTransformable();
}

bool CPropertySession::Rerender(const std::function<void()>& apply, const std::function<void()>& revert) {
    CObjContent& c = Content();
    if (!c.shape || !KeepRasters()) return false;
    apply();
    // A large object renders as long work; nothing else touches the shape meanwhile, and a
    // cancelled rendering puts the values back like a failed one.
    PackedDib dib;
    CObjShape& shape = *c.shape;
    if (!RunLongWork([&dib, &shape] { dib = RenderForObject(shape); })) dib.Reset();
    if (!dib) {
        revert();
        return false;
    }
    InstallRaster(c, std::move(dib));
    // The object grows and shrinks about its centre, wherever the trim left the pixels.
    const DRect f = obj_->GetFrame();
    obj_->x += RoundToInt(centerX_ - (f.left + f.right) / 2);
    obj_->y += RoundToInt(centerY_ - (f.top + f.bottom) / 2);
    Repaint();
    return true;
}

void CPropertySession::RestoreShape() {
    CObjContent& c = Content();
    c.kind = kind_;
    c.SetShape(shape_);
    if (!shape_) return;
    if (Ref<CBitmapObj> bmp = RefCast<CBitmapObj>(shape_)) {
        bmp->RestoreGeometry(geometry_);
        bmp->filter = sourceFilter_;
        return;
    }
    if (shapeCopy_ &&
        (AssignAs<CRectObj>(*shape_, *shapeCopy_) || AssignAs<CEllipseObj>(*shape_, *shapeCopy_) ||
         AssignAs<CPolygonObj>(*shape_, *shapeCopy_) || AssignAs<CTextObj>(*shape_, *shapeCopy_)))
        return;
    if (!shapeProps_.record.empty()) {
        MemoryReader in(shapeProps_.record.data(), shapeProps_.record.size());
        shape_->Read(in);
    }
}

bool CPropertySession::Ok() {
    if (closed_) return false;
    closed_ = true;
    if (!Changed()) return false;
    CommitCommand(doc_, std::make_unique<CPropertiesUndo>(obj_, props_, shapeProps_), true);
    return true;
}

void CPropertySession::Cancel() {
    if (closed_) return;
    closed_ = true;
    CObjContent& c = Content();
    RestoreShape();
    if (rastersKept_) {
        c.SetRaster(std::move(raster_));
        c.shadowRaster = std::move(shadow_);
        c.shadowPosX = shadowPosX_;
        c.shadowPosY = shadowPosY_;
    }
    props_.ApplyTo(*obj_);
    Repaint(true);
}

CPropertySession::~CPropertySession() {
    // A sheet that goes away without OK gives everything back.
    Cancel();
}

} // namespace zepho
