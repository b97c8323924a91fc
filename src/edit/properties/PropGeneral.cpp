#include "edit/properties/PropGeneral.h"

#include "model/BitmapObj.h"
#include "model/EllipseObj.h"
#include "model/PolygonObj.h"
#include "model/RectObj.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

namespace zepho {

namespace {
constexpr double kMinMaxPixels = 2000;
constexpr int kFilterCount = 17;
// Sizes below this would divide by nothing.
constexpr double kTinySize = 1e-3;

// Cuts a UTF-8 name after `limit` characters.
std::string CutName(const std::string& name, int limit) {
    int chars = 0;
    for (std::size_t i = 0; i < name.size(); ++i) {
        if ((static_cast<unsigned char>(name[i]) & 0xC0) == 0x80) continue;
        if (chars++ == limit) return name.substr(0, i);
    }
    return name;
}
} // namespace

// ---- the fields every object has ----

CGeneralObjInfoPage::CGeneralObjInfoPage(CPropertySession& session) : CPropertyPage(session) {
    const CDrawObj& o = session.Object();
    name0_ = o.content->name;
    left0_ = o.x;
    top0_ = o.y;
    transparency0_ = o.transparency;
    visible0_ = o.visible;
    locked0_ = o.locked;
}

const std::string& CGeneralObjInfoPage::Name() const {
    return session_.Content().name;
}

void CGeneralObjInfoPage::SetName(const std::string& name) {
    std::string cut = CutName(name, kNameLimit);
    if (cut == Name()) return;
    session_.Content().name = std::move(cut);
    session_.Repaint(true);
}

bool CGeneralObjInfoPage::Visible() const {
    return session_.Object().visible != 0;
}

void CGeneralObjInfoPage::SetVisible(bool on) {
    if (on == Visible()) return;
    session_.Object().visible = on ? 1 : 0;
    session_.Repaint(true);
}

bool CGeneralObjInfoPage::Locked() const {
    return session_.Object().locked != 0;
}

void CGeneralObjInfoPage::SetLocked(bool on) {
    if (on == Locked()) return;
    session_.Object().locked = on ? 1 : 0;
    session_.Repaint(true);
}

int CGeneralObjInfoPage::Left() const {
    return session_.Object().x;
}
int CGeneralObjInfoPage::Top() const {
    return session_.Object().y;
}

void CGeneralObjInfoPage::SetLeft(int v) {
    if (Locked()) return;
    session_.MoveBy(std::clamp(v, kMinPosition, kMaxPosition) - Left(), 0);
}

void CGeneralObjInfoPage::SetTop(int v) {
    if (Locked()) return;
    session_.MoveBy(0, std::clamp(v, kMinPosition, kMaxPosition) - Top());
}

int CGeneralObjInfoPage::Transparency() const {
    return session_.Object().transparency;
}

void CGeneralObjInfoPage::SetTransparency(int v) {
    session_.Object().transparency = static_cast<std::uint8_t>(std::clamp(v, 0, kMaxTransparency));
    session_.Repaint();
}

bool CGeneralObjInfoPage::Changed() const {
    const CDrawObj& o = session_.Object();
    return o.content->name != name0_ || o.x != left0_ || o.y != top0_ || o.transparency != transparency0_ ||
           o.visible != visible0_ || o.locked != locked0_;
}

// ---- two size boxes and the angle ----

double CSizedGeneralPage::Angle() const {
    const CObjShape* s = session_.Content().shape.Get();
    return s ? s->angle : 0.0;
}

bool CSizedGeneralPage::SetAngle(double degrees) {
    degrees = std::clamp(degrees, 0.0, kMaxAngle);
    if (!session_.Content().shape && !session_.EnsureTransformSource()) return false;
    CGeometryMemento g = session_.Content().shape->CreateTransformUndo();
    g.angle = degrees;
    return ApplyGeometry(g);
}

bool CSizedGeneralPage::ApplyGeometry(const CGeometryMemento& g) {
    Ref<CObjShape> shape = session_.Content().shape;
    if (!shape) return false;
    const CGeometryMemento aside = shape->CreateTransformUndo();
    return session_.Rerender([&] { shape->RestoreGeometry(g); }, [&] { shape->RestoreGeometry(aside); });
}

// ---- image objects ----

CImageGeneralPage::CImageGeneralPage(CPropertySession& session) : CSizedGeneralPage(session) {
    const CObjContent& c = session.Content();
    if (Ref<CBitmapObj> bmp = RefCast<CBitmapObj>(c.shape)) {
        srcW_ = bmp->source.Width();
        srcH_ = std::abs(bmp->source.Height());
        scaleX0_ = bmp->scaleX;
        scaleY0_ = bmp->scaleY;
        angle0_ = bmp->angle;
        filter0_ = bmp->filter;
    } else {
        srcW_ = c.width;
        srcH_ = c.height;
        filter0_ = c.filter;
    }
    srcW_ = std::max(srcW_, 1);
    srcH_ = std::max(srcH_, 1);
    size0X_ = srcW_ * scaleX0_;
    size0Y_ = srcH_ * scaleY0_;
    horz_ = size0X_;
    vert_ = size0Y_;
}

double CImageGeneralPage::ScaleX() const {
    const CBitmapObj* bmp = dynamic_cast<const CBitmapObj*>(session_.Content().shape.Get());
    return bmp ? bmp->scaleX : 1.0;
}

double CImageGeneralPage::ScaleY() const {
    const CBitmapObj* bmp = dynamic_cast<const CBitmapObj*>(session_.Content().shape.Get());
    return bmp ? bmp->scaleY : 1.0;
}

double CImageGeneralPage::MinHorz() const {
    return unit_ == SizeUnit::Pixel ? 1.0 : 100.0 / srcW_;
}
double CImageGeneralPage::MaxHorz() const {
    const double px = std::max(kMinMaxPixels, size0X_);
    return unit_ == SizeUnit::Pixel ? px : px * 100 / srcW_;
}
double CImageGeneralPage::MinVert() const {
    return unit_ == SizeUnit::Pixel ? 1.0 : 100.0 / srcH_;
}
double CImageGeneralPage::MaxVert() const {
    const double px = std::max(kMinMaxPixels, size0Y_);
    return unit_ == SizeUnit::Pixel ? px : px * 100 / srcH_;
}

void CImageGeneralPage::SetUnit(SizeUnit unit) {
    if (unit == unit_) return;
    unit_ = unit;
    const bool pixel = unit == SizeUnit::Pixel;
    horz_ = std::clamp(pixel ? srcW_ * ScaleX() : ScaleX() * 100, MinHorz(), MaxHorz());
    vert_ = std::clamp(pixel ? srcH_ * ScaleY() : ScaleY() * 100, MinVert(), MaxVert());
}

bool CImageGeneralPage::SetHorz(double v) {
    const bool pixel = unit_ == SizeUnit::Pixel;
    v = std::clamp(v, MinHorz(), MaxHorz());
    const double sx = pixel ? v / srcW_ : v * 0.01;
    double other = vert_, sy = ScaleY();
    if (keepRatio_) {
        other = std::clamp(pixel ? srcH_ * sx : v, MinVert(), MaxVert());
        sy = pixel ? other / srcH_ : other * 0.01;
    }
    if (!SetScales(sx, sy)) return false;
    horz_ = v;
    vert_ = other;
    return true;
}

bool CImageGeneralPage::SetVert(double v) {
    const bool pixel = unit_ == SizeUnit::Pixel;
    v = std::clamp(v, MinVert(), MaxVert());
    const double sy = pixel ? v / srcH_ : v * 0.01;
    double other = horz_, sx = ScaleX();
    if (keepRatio_) {
        other = std::clamp(pixel ? srcW_ * sy : v, MinHorz(), MaxHorz());
        sx = pixel ? other / srcW_ : other * 0.01;
    }
    if (!SetScales(sx, sy)) return false;
    vert_ = v;
    horz_ = other;
    return true;
}

bool CImageGeneralPage::SetScales(double sx, double sy) {
    if (!session_.EnsureTransformSource()) return false;
    CGeometryMemento g = session_.Content().shape->CreateTransformUndo();
    g.scaleX = sx;
    g.scaleY = sy;
    return ApplyGeometry(g);
}

int CImageGeneralPage::Filter() const {
    const CObjContent& c = session_.Content();
    const CBitmapObj* bmp = dynamic_cast<const CBitmapObj*>(c.shape.Get());
    return bmp ? bmp->filter : c.filter;
}

bool CImageGeneralPage::SetFilter(int filter) {
    if (filter < 0 || filter >= kFilterCount) return false;
    CObjContent& c = session_.Content();
    const int old = c.filter;
    c.filter = filter;
    Ref<CBitmapObj> bmp = RefCast<CBitmapObj>(c.shape);
    if (!bmp) {
        session_.Repaint();
        return true;
    }
    const int oldSource = bmp->filter;
    if (session_.Rerender([&] { bmp->filter = filter; }, [&] { bmp->filter = oldSource; })) return true;
    c.filter = old;
    return false;
}

bool CImageGeneralPage::Changed() const {
    return CGeneralObjInfoPage::Changed() || ScaleX() != scaleX0_ || ScaleY() != scaleY0_ ||
           Angle() != angle0_ || Filter() != filter0_;
}

// ---- rectangles and ellipses ----

CShapeSizePage::CShapeSizePage(CPropertySession& session) : CSizedGeneralPage(session) {
    CObjShape& s = *session.Content().shape;
    const CGeometryMemento g = s.CreateTransformUndo();
    horz_ = size0x_ = g.scaleX;
    vert_ = size0y_ = g.scaleY;
    s0x_ = std::max(g.scaleX, kTinySize);
    s0y_ = std::max(g.scaleY, kTinySize);
    angle0_ = g.angle;
    if (const auto* r = dynamic_cast<const CRectObj*>(&s)) round0_ = r->roundCorner;
}

double CShapeSizePage::Min(double s0) const {
    return unit_ == SizeUnit::Pixel ? 1.0 : 100.0 / s0;
}

double CShapeSizePage::Max(double s0) const {
    const double px = std::max(kMinMaxPixels, s0);
    return unit_ == SizeUnit::Pixel ? px : px * 100 / s0;
}

double CShapeSizePage::SizeOf(double box, double s0) const {
    return unit_ == SizeUnit::Pixel ? box : box * s0 * 0.01;
}

void CShapeSizePage::SetUnit(SizeUnit unit) {
    if (unit == unit_) return;
    const double sx = SizeOf(horz_, s0x_), sy = SizeOf(vert_, s0y_);
    unit_ = unit;
    const bool pixel = unit == SizeUnit::Pixel;
    horz_ = std::clamp(pixel ? sx : sx * 100 / s0x_, MinHorz(), MaxHorz());
    vert_ = std::clamp(pixel ? sy : sy * 100 / s0y_, MinVert(), MaxVert());
}

bool CShapeSizePage::SetHorz(double v) {
    v = std::clamp(v, MinHorz(), MaxHorz());
    double other = vert_;
    if (keepRatio_) other = std::clamp(unit_ == SizeUnit::Pixel ? v * s0y_ / s0x_ : v, MinVert(), MaxVert());
    return SetSizes(v, other);
}

bool CShapeSizePage::SetVert(double v) {
    v = std::clamp(v, MinVert(), MaxVert());
    double other = horz_;
    if (keepRatio_) other = std::clamp(unit_ == SizeUnit::Pixel ? v * s0x_ / s0y_ : v, MinHorz(), MaxHorz());
    return SetSizes(other, v);
}

bool CShapeSizePage::SetSizes(double horzBox, double vertBox) {
    CGeometryMemento g = session_.Content().shape->CreateTransformUndo();
    g.scaleX = SizeOf(horzBox, s0x_);
    g.scaleY = SizeOf(vertBox, s0y_);
    if (!ApplyGeometry(g)) return false;
    horz_ = horzBox;
    vert_ = vertBox;
    return true;
}

bool CShapeSizePage::HasRoundness() const {
    return dynamic_cast<const CRectObj*>(session_.Content().shape.Get()) != nullptr;
}

int CShapeSizePage::Roundness() const {
    const auto* r = dynamic_cast<const CRectObj*>(session_.Content().shape.Get());
    return r ? r->roundCorner : 0;
}

bool CShapeSizePage::SetRoundness(int v) {
    Ref<CRectObj> r = RefCast<CRectObj>(session_.Content().shape);
    if (!r) return false;
    const int old = r->roundCorner;
    v = std::clamp(v, 0, kMaxRoundness);
    return session_.Rerender([&] { r->roundCorner = v; }, [&] { r->roundCorner = old; });
}

bool CShapeSizePage::Changed() const {
    const CGeometryMemento g = session_.Content().shape->CreateTransformUndo();
    return CGeneralObjInfoPage::Changed() || g.scaleX != size0x_ || g.scaleY != size0y_ ||
           g.angle != angle0_ || Roundness() != round0_;
}

// ---- polygons ----

CPolygonGeneralPage::CPolygonGeneralPage(CPropertySession& session) : CSizedGeneralPage(session) {
    CObjShape& s = *session.Content().shape;
    points0_ = s.CreateTransformUndo();
    points0_.shape.Reset();
    s.GetSize(w0_, h0_);
    unit_ = SizeUnit::Percentage;
    horz_ = vert_ = 100;
}

double CPolygonGeneralPage::Min(double size) {
    return size > kTinySize ? std::min(100.0, 100 / size) : 1.0;
}

double CPolygonGeneralPage::Max(double size) {
    return size > kTinySize ? std::max(kMinMaxPixels, size) * 100 / size : kMinMaxPixels;
}

bool CPolygonGeneralPage::SetHorz(double v) {
    v = std::clamp(v, MinHorz(), MaxHorz());
    return SetScales(v, keepRatio_ ? std::clamp(v, MinVert(), MaxVert()) : vert_);
}

bool CPolygonGeneralPage::SetVert(double v) {
    v = std::clamp(v, MinVert(), MaxVert());
    return SetScales(keepRatio_ ? std::clamp(v, MinHorz(), MaxHorz()) : horz_, v);
}

bool CPolygonGeneralPage::SetScales(double horz, double vert) {
    CGeometryMemento g = session_.Content().shape->CreateTransformUndo();
    // Always from the points as they were, so that going back to 100 % gives them back exactly.
    g.points = points0_.points;
    if (horz != 100 || vert != 100) {
        double minX = 0, minY = 0;
        for (std::size_t i = 0; i + 1 < g.points.size(); i += 2) {
            if (i == 0 || g.points[i] < minX) minX = g.points[i];
            if (i == 0 || g.points[i + 1] < minY) minY = g.points[i + 1];
        }
        for (std::size_t i = 0; i + 1 < g.points.size(); i += 2) {
            g.points[i] = (g.points[i] - minX) * horz * 0.01 + minX;
            g.points[i + 1] = (g.points[i + 1] - minY) * vert * 0.01 + minY;
        }
    }
    if (!ApplyGeometry(g)) return false;
    horz_ = horz;
    vert_ = vert;
    return true;
}

bool CPolygonGeneralPage::Changed() const {
    const CGeometryMemento g = session_.Content().shape->CreateTransformUndo();
    return CGeneralObjInfoPage::Changed() || g.points != points0_.points || g.angle != points0_.angle;
}

} // namespace zepho
