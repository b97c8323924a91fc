#include "edit/undo/UndoObjects.h"

#include "edit/document/OrvaneDoc.h"
#include "edit/undo/UndoStrings.h"
#include "model/AppSettings.h"
#include "model/BitmapObj.h"
#include "platform/ByteStream.h"

#include <algorithm>

namespace zepho {

namespace {
template <class Entries> bool Holds(const Entries& entries, const CDrawObj* obj) {
    return std::any_of(entries.begin(), entries.end(), [&](const auto& e) { return e.first.Get() == obj; });
}

// The objects panel follows a visibility or lock change.
template <class Entries>
void RestorePanelSelection(COrvaneDoc& doc, const Entries& entries, bool selectionMode) {
    if (doc.Settings().ShowAllItems) {
        if (!selectionMode) return;
        for (const auto& o : doc.Image().objects)
            if (o->content) o->content->selected = Holds(entries, o.Get()) ? 1 : 0;
        doc.NotifySelectionChanged();
        return;
    }
    // The panel lists visible objects only, and a hidden object has no row to be selected in.
    for (const auto& [obj, value] : entries)
        if (obj->content) obj->content->selected = (selectionMode && obj->visible) ? 1 : 0;
    doc.NotifySelectionChanged();
}
} // namespace

// --- show/hide, lock --------------------------------------------------------------------------

CShowHideUndo::CShowHideUndo(bool selectionMode)
    : CUndoAction(strings::kUndoShowHide), selectionMode_(selectionMode) {}

void CShowHideUndo::AddObject(Ref<CDrawObj> obj, int visible) {
    if (obj) entries_.emplace_back(std::move(obj), visible);
}

void CShowHideUndo::Exchange() {
    if (!Document()) return;
    for (auto& [obj, visible] : entries_)
        std::swap(obj->visible, visible);
    RestorePanelSelection(*Document(), entries_, selectionMode_);
    Repaint(!Document()->Settings().ShowAllItems);
}

void CShowHideUndo::Undo() {
    Exchange();
    SetRedoLabel();
}

void CShowHideUndo::Redo() {
    Exchange();
    SetUndoLabel();
}

CLockUndo::CLockUndo(bool selectionMode) : CUndoAction(strings::kUndoLock), selectionMode_(selectionMode) {}

void CLockUndo::AddObject(Ref<CDrawObj> obj, int locked) {
    if (obj) entries_.emplace_back(std::move(obj), locked);
}

void CLockUndo::Exchange() {
    if (!Document()) return;
    for (auto& [obj, locked] : entries_)
        std::swap(obj->locked, locked);
    RestorePanelSelection(*Document(), entries_, selectionMode_);
    Repaint(!Document()->Settings().ShowAllItems);
}

void CLockUndo::Undo() {
    Exchange();
    SetRedoLabel();
}

void CLockUndo::Redo() {
    Exchange();
    SetUndoLabel();
}

// --- move ---------------------------------------------------------------------------------------

const char* CMoveUndo::LabelOf(Variant v) {
    switch (v) {
    case AlignTop:
        return strings::kUndoAlignTop;
    case AlignBottom:
        return strings::kUndoAlignBottom;
    case AlignLeft:
        return strings::kUndoAlignLeft;
    case AlignRight:
        return strings::kUndoAlignRight;
    case CenterVert:
        return strings::kUndoCenterVert;
    case CenterHorz:
        return strings::kUndoCenterHorz;
    case CenterBoth:
        return strings::kUndoCenterBoth;
    case Move:
        break;
    }
    return strings::kUndoMove;
}

CMoveUndo::CMoveUndo(Variant v) : CUndoAction(LabelOf(v)), variant_(v) {}

void CMoveUndo::AddObject(Ref<CDrawObj> obj, int left, int top) {
    if (obj) entries_.push_back({std::move(obj), left, top});
}

void CMoveUndo::Exchange() {
    if (!Document()) return;
    COrvaneDoc& doc = *Document();
    for (Entry& e : entries_) {
        doc.NotifyObjectAreaChanged(*e.obj);
        std::swap(e.obj->x, e.left);
        std::swap(e.obj->y, e.top);
        if (e.obj->content) e.obj->content->selected = 1;
        doc.NotifyObjectAreaChanged(*e.obj);
        ReattachHandles(e.obj.Get());
    }
    Document()->NotifySelectionChanged();
    Repaint(false);
}

void CMoveUndo::Undo() {
    Exchange();
    SetRedoLabel();
}

void CMoveUndo::Redo() {
    Exchange();
    SetUndoLabel();
}

// --- opacity ------------------------------------------------------------------------------------

COpacityUndo::COpacityUndo() : CUndoAction(strings::kUndoOpacity) {}

void COpacityUndo::AddObject(Ref<CDrawObj> obj, std::uint8_t transparency) {
    if (obj) entries_.emplace_back(std::move(obj), transparency);
}

void COpacityUndo::Exchange() {
    for (auto& [obj, value] : entries_)
        std::swap(obj->transparency, value);
    Repaint(false);
}

void COpacityUndo::Undo() {
    Exchange();
    SetRedoLabel();
}

void COpacityUndo::Redo() {
    Exchange();
    SetUndoLabel();
}

// --- object list --------------------------------------------------------------------------------

const char* CObjListUndo::LabelOf(Variant v) {
    switch (v) {
    case NewObject:
        return strings::kUndoNewObject;
    case Duplicate:
        return strings::kUndoDuplicate;
    case Delete:
        return strings::kUndoDelete;
    case Combine:
        return strings::kUndoCombine;
    case Paste:
        return strings::kUndoPaste;
    case AddText:
        return strings::kUndoAddText;
    case PaintRectangle:
        return strings::kUndoPaintRectangle;
    case PaintEllipse:
        return strings::kUndoPaintEllipse;
    case PaintPolygon:
        return strings::kUndoPaintPolygon;
    case AddImageFiles:
        return strings::kUndoAddImageFiles;
    case AddAvi:
        return strings::kUndoAddAvi;
    case CaptureFullScreen:
        return strings::kUndoCaptureFullScreen;
    }
    return strings::kUndoNewObject;
}

CObjListUndo::CObjListUndo(Variant v) : CUndoAction(LabelOf(v)) {}

void CObjListUndo::Capture(const CDrawObjList& objects) {
    list_.CopyFrom(objects);
    selected_.clear();
    for (const auto& o : objects)
        if (o->IsSelected()) selected_.push_back(o);
}

void CObjListUndo::ExchangeList(bool clearOthers) {
    if (!Document()) return;
    CDrawObjList& live = Document()->Image().objects;
    CDrawObjList nowList;
    nowList.CopyFrom(live);
    std::vector<Ref<CDrawObj>> nowSelected;
    for (const auto& o : live)
        if (o->IsSelected()) nowSelected.push_back(o);

    live.CopyFrom(list_);
    for (const auto& o : live) {
        if (!o->content) continue;
        const bool inB = std::find(selected_.begin(), selected_.end(), o) != selected_.end();
        if (inB)
            o->content->selected = 1;
        else if (clearOthers)
            o->content->selected = 0;
    }
    list_.CopyFrom(nowList);
    selected_ = std::move(nowSelected);

    Document()->NotifyObjectsRemoved();
    Document()->NotifySelectionChanged();
    Repaint(true);
}

void CObjListUndo::Exchange() {
    ExchangeList(false);
}

void CObjListUndo::Undo() {
    Exchange();
    SetRedoLabel();
}

void CObjListUndo::Redo() {
    Exchange();
    SetUndoLabel();
}

CMakeFrameUndo::CMakeFrameUndo() : CObjListUndo(strings::kUndoMakeFrame) {}

void CMakeFrameUndo::AddObject(Ref<CDrawObj> obj, int visible) {
    if (obj) visible_.emplace_back(std::move(obj), visible);
}

void CMakeFrameUndo::Exchange() {
    for (auto& [obj, visible] : visible_)
        std::swap(obj->visible, visible);
    ExchangeList(false);
}

const char* CZOrderUndo::LabelOf(Variant v) {
    switch (v) {
    case ToFront:
        return strings::kUndoToFront;
    case ToBack:
        return strings::kUndoToBack;
    case Forward:
        return strings::kUndoForward;
    case Backward:
        return strings::kUndoBackward;
    }
    return strings::kUndoToFront;
}

CZOrderUndo::CZOrderUndo(Variant v) : CObjListUndo(LabelOf(v)) {}

// --- properties ---------------------------------------------------------------------------------

ObjectProperties ObjectProperties::Of(const CDrawObj& obj) {
    ObjectProperties p;
    p.x = obj.x;
    p.y = obj.y;
    p.transparency = obj.transparency;
    p.locked = obj.locked;
    p.visible = obj.visible;
    if (const CObjContent* c = obj.content.Get()) {
        p.name = c->name;
        p.filter = c->filter;
        p.shadowOn = c->HasShadow();
        p.shadowType = c->shadowType;
        p.shadowColour = c->shadowColour;
        p.shadowOffsetX = c->shadowOffsetX;
        p.shadowOffsetY = c->shadowOffsetY;
        p.shadowSize = c->shadowSize;
        p.shadowTransparency = c->shadowTransparency;
        p.shadowSmooth = c->shadowSmooth;
        p.shadowSkew = c->shadowSkew;
        p.shadowPerspective = c->shadowPerspective;
    }
    return p;
}

void ObjectProperties::ApplyTo(CDrawObj& obj) const {
    obj.x = x;
    obj.y = y;
    obj.transparency = transparency;
    obj.locked = locked;
    obj.visible = visible;
    if (CObjContent* c = obj.content.Get()) {
        c->name = name;
        c->filter = filter;
        c->shadowType = shadowType;
        c->shadowColour = shadowColour;
        c->shadowOffsetX = shadowOffsetX;
        c->shadowOffsetY = shadowOffsetY;
        c->shadowSize = shadowSize;
        c->shadowTransparency = shadowTransparency;
        c->shadowSmooth = shadowSmooth;
        c->shadowSkew = shadowSkew;
        c->shadowPerspective = shadowPerspective;
    }
}

ShapeProperties ShapeProperties::Of(const CObjContent& content) {
    ShapeProperties s;
    s.kind = content.kind;
    s.shape = content.shape;
    if (!s.shape) return s;
    if (Ref<CBitmapObj> bmp = RefCast<CBitmapObj>(s.shape)) {
        s.geometry = bmp->CreateTransformUndo();
        s.geometry.shape.Reset(); // the record already holds the shape
        s.sourceFilter = bmp->filter;
    } else {
        MemoryWriter out;
        if (s.shape->Write(out) > 0 && !out.Failed()) s.record = out.Take();
    }
    return s;
}

namespace {
// Puts a snapshot's paint and geometry back into its shape.
bool ApplyShape(const ShapeProperties& s) {
    if (!s.shape) return true;
    if (Ref<CBitmapObj> bmp = RefCast<CBitmapObj>(s.shape)) {
        bmp->RestoreGeometry(s.geometry);
        bmp->filter = s.sourceFilter;
        return true;
    }
    if (s.record.empty()) return false;
    MemoryReader in(s.record.data(), s.record.size());
    return s.shape->Read(in);
}
} // namespace

CPropertiesUndo::CPropertiesUndo(Ref<CDrawObj> obj, ObjectProperties before, ShapeProperties shapeBefore)
    : CUndoAction(strings::kUndoProperties), obj_(std::move(obj)), props_(std::move(before)),
      shape_(std::move(shapeBefore)) {}

bool CPropertiesUndo::ExchangeShape() {
    CObjContent& c = *obj_->content;
    ShapeProperties now = ShapeProperties::Of(c);
    if (!shape_.shape && !now.shape) {
        std::swap(c.kind, shape_.kind);
        return true;
    }
    PackedDib dib;
    if (shape_.shape) {
        if (ApplyShape(shape_)) dib = RenderForObject(*shape_.shape);
    } else if (Ref<CBitmapObj> bmp = RefCast<CBitmapObj>(now.shape)) {
        // The sheet made a plain image transformable: its source is the image as it was.
        dib = bmp->source.Share();
    }
    if (!dib) {
        // Nothing to show: the object and this record stay as they were.
        if (shape_.shape && shape_.shape == now.shape) ApplyShape(now);
        return false;
    }
    c.kind = shape_.kind;
    c.SetShape(shape_.shape);
    c.SetRaster(std::move(dib));
    shape_ = std::move(now);
    return true;
}

bool CPropertiesUndo::Exchange() {
    if (!Document() || !obj_ || !obj_->content) return false;
    Document()->NotifyObjectAreaChanged(*obj_);
    if (!ExchangeShape()) return false;
    ObjectProperties now = ObjectProperties::Of(*obj_);
    props_.ApplyTo(*obj_);
    CObjContent& c = *obj_->content;
    if (props_.shadowOn)
        c.UpdateShadow();
    else
        c.FreeShadow();
    props_ = std::move(now);
    ReattachHandles(obj_.Get());
    Repaint(true);
    return true;
}

void CPropertiesUndo::Undo() {
    if (Exchange()) SetRedoLabel();
}

void CPropertiesUndo::Redo() {
    if (Exchange()) SetUndoLabel();
}

} // namespace zepho
