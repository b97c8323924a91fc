#include "edit/commands/CmdObjects.h"

#include "edit/commands/CmdCommon.h"
#include "edit/commands/CommandStrings.h"
#include "edit/undo/UndoImage.h"
#include "edit/undo/UndoObjects.h"
#include "edit/view/OrvaneView.h"
#include "model/Frame.h"
#include "model/ImageObjects.h"
#include "model/ModelStrings.h"
#include "platform/Format.h"
#include "raster/Blend.h"
#include "raster/Dib.h"

#include <algorithm>

namespace zepho {

namespace {

Ref<CDrawObj> NewImageObject(COrvaneDoc& doc, PackedDib dib) {
    Ref<CObjContent> c = MakeRef<CObjContent>(KindImage);
    c->SetRaster(std::move(dib));
    c->name = doc.NextObjectName(KindImage);
    Ref<CDrawObj> o = MakeRef<CDrawObj>(c);
    o->visible = 1;
    return o;
}

bool Drawable(const CDrawObj& o) {
    return o.visible && o.content && o.content->raster;
}

// The selected visible objects composed as the view shows them, shadows included, into one
// image covering them all; pos receives its canvas position.
PackedDib ComposeSelected(const CDrawObjList& list, POINT& pos) {
    RECT bounds{};
    bool any = false;
    for (const auto& o : list) {
        if (!Drawable(*o) || !o->IsSelected()) continue;
        const RECT r = o->GetBounds();
        bounds = any ? UnionRects(bounds, r) : r;
        any = true;
    }
    if (!any || bounds.right <= bounds.left || bounds.bottom <= bounds.top) return {};
    const std::int64_t w = std::int64_t{bounds.right} - bounds.left,
                       h = std::int64_t{bounds.bottom} - bounds.top;
    if (w > 0x7FFFFFFF || h > 0x7FFFFFFF) return {};
    PackedDib out = CreateTransparentDIB(static_cast<int>(w), static_cast<int>(h));
    if (!out) return out;
    const POINT origin{bounds.left, bounds.top};
    bool first = true;
    auto draw = [&](const PackedDib& img, POINT at, int t) {
        if (first)
            CopyLayer(out, origin, img, at, t);
        else
            CompositeOver(out, origin, img, at, t);
        first = false;
    };
    for (const auto& o : list) {
        if (!Drawable(*o) || !o->IsSelected()) continue;
        const CObjContent& c = *o->content;
        if (c.HasShadow())
            draw(c.shadowRaster, POINT{o->x + c.shadowPosX, o->y + c.shadowPosY}, o->ShadowTransparency());
        draw(c.raster, o->Position(), o->transparency);
    }
    pos = origin;
    return out;
}

} // namespace

bool CmdNewObject(COrvaneDoc& doc) {
    CDocImage& img = doc.Image();
    PackedDib dib = CreateTransparentDIB(img.width, img.height);
    if (!dib) return false;
    Ref<CDrawObj> obj = NewImageObject(doc, std::move(dib));
    auto action = std::make_unique<CObjListUndo>(CObjListUndo::NewObject);
    action->Capture(img.objects);
    img.DeselectAll();
    obj->content->selected = 1;
    img.objects.AddTail(obj);
    CommitCommand(doc, std::move(action), true);
    return true;
}

bool CmdDuplicate(COrvaneDoc& doc, const std::vector<Ref<CDrawObj>>& panelItems) {
    CDocImage& img = doc.Image();
    std::vector<Ref<CDrawObj>> copies;
    int topmost = -1;
    for (auto it = panelItems.rbegin(); it != panelItems.rend(); ++it) {
        const Ref<CDrawObj>& src = *it;
        if (!src || !src->IsSelected()) continue;
        const int index = img.objects.IndexOf(src.Get());
        if (index < 0) continue;
        Ref<CObjContent> c = src->content->Clone();
        if (!c) continue;
        c->name = doc.NextObjectName(c->kind);
        Ref<CDrawObj> copy = MakeRef<CDrawObj>(c);
        copy->x = src->x;
        copy->y = src->y;
        copy->transparency = src->transparency;
        copy->locked = src->locked;
        copy->visible = 1;
        copies.push_back(copy);
        topmost = std::max(topmost, index);
    }
    if (copies.empty()) return false;
    auto action = std::make_unique<CObjListUndo>(CObjListUndo::Duplicate);
    action->Capture(img.objects);
    img.DeselectAll();
    int at = topmost + 1;
    for (const auto& copy : copies) {
        copy->content->selected = 1;
        img.objects.InsertAt(copy, at++);
    }
    CommitCommand(doc, std::move(action), true);
    return true;
}

bool CmdDeleteObjects(COrvaneDoc& doc) {
    CDocImage& img = doc.Image();
    // Nothing selected would record a step that changes nothing.
    if (!AnySelected(img)) return false;
    auto action = std::make_unique<CObjListUndo>(CObjListUndo::Delete);
    action->Capture(img.objects);
    for (const auto& o : action->StoredSelection())
        img.objects.Remove(o.Get());
    COrvaneView* view = doc.GetView();
    if (view && view->ActiveObject() && img.objects.IndexOf(view->ActiveObject()) < 0)
        view->AttachHandles({});
    CommitCommand(doc, std::move(action), true);
    return true;
}

bool CmdTrim(COrvaneDoc& doc, IUiHost& ui) {
    CDocImage& img = doc.Image();
    auto action = std::make_unique<CRasterEditUndo>(CRasterEditUndo::Trim);
    CDrawObjList objects;
    objects.CopyFrom(img.objects);
    COrvaneView* view = doc.GetView();
    for (const auto& o : objects) {
        if (!o->IsSelected()) continue;
        CObjContent& c = *o->content;
        if (c.kind != KindImage && c.kind != KindTransformedImage) continue;
        if (!c.raster.Is32()) continue;
        const Margins m = FindOpaqueBounds(c.raster);
        if (m.left >= c.raster.Width()) {
            ShowCommandMessage(ui, Format(strings::kTrimEmpty, c.name.c_str()), MsgIcon::Information);
            continue;
        }
        if (m == Margins{}) continue;
        PackedDib cropped = CropDIB(c.raster, m.left, m.top, m.right, m.bottom);
        auto backup = std::make_unique<CImageBackup>();
        if (!backup->Edit(o, std::move(cropped), m.left, m.top)) continue;
        action->AddRecord(std::move(backup));
        if (view && view->ActiveObject() == o.Get()) view->AttachHandles(o);
    }
    if (action->IsEmpty()) {
        ShowCommandMessage(ui, strings::kTrimNothing);
        return false;
    }
    CommitCommand(doc, std::move(action), true);
    return true;
}

bool CmdCombine(COrvaneDoc& doc, IUiHost& ui) {
    CDocImage& img = doc.Image();
    if (img.CountSelectedVisible() == 0) {
        ShowCommandMessage(ui, strings::kCombineNeedVisible);
        return false;
    }
    POINT pos{};
    PackedDib dib = ComposeSelected(img.objects, pos);
    // Out of memory: the objects stay as they are.
    if (!dib) return false;
    Ref<CDrawObj> combined = NewImageObject(doc, std::move(dib));
    auto action = std::make_unique<CObjListUndo>(CObjListUndo::Combine);
    action->Capture(img.objects);

    // The new object goes where the topmost removed one was: below the object above it.
    Ref<CDrawObj> above;
    for (int i = img.objects.Count() - 1; i >= 0; --i) {
        if (!img.objects.At(i)->IsSelected()) continue;
        if (i + 1 < img.objects.Count()) above = img.objects.At(i + 1);
        break;
    }
    bool anyVisible = false;
    for (const auto& o : action->StoredSelection()) {
        anyVisible = anyVisible || o->visible;
        o->content->selected = 0;
        img.objects.Remove(o.Get());
    }
    combined->x = pos.x;
    combined->y = pos.y;
    combined->transparency = 0;
    combined->visible = anyVisible ? 1 : 0;
    combined->content->selected = 1;
    const int at = above ? img.objects.IndexOf(above.Get()) : img.objects.Count();
    img.objects.InsertAt(combined, at < 0 ? img.objects.Count() : at);
    COrvaneView* view = doc.GetView();
    if (view && view->ActiveObject() && img.objects.IndexOf(view->ActiveObject()) < 0)
        view->AttachHandles({});
    CommitCommand(doc, std::move(action), true);
    return true;
}

bool CmdMakeFrame(COrvaneDoc& doc) {
    CDocImage& img = doc.Image();
    PackedDib dib = img.CompositeVisible(img.width, img.height);
    if (!dib) return false;
    auto action = std::make_unique<CMakeFrameUndo>();
    action->Capture(img.objects);
    Ref<CDrawObj> frame = NewImageObject(doc, std::move(dib));
    for (const auto& o : img.objects) {
        if (o->visible) {
            action->AddObject(o, 1);
            o->visible = 0;
        }
        if (o->content) o->content->selected = 0;
    }
    frame->content->selected = 1;
    img.objects.AddTail(frame);
    CommitCommand(doc, std::move(action), true);
    return true;
}

Ref<CDrawObj> CmdPropertiesTarget(const COrvaneDoc& doc, IUiHost& ui) {
    const CDocImage& img = doc.Image();
    if (img.CountSelectedVisible() > 1) {
        ShowCommandMessage(ui, strings::kSelectOneVisible);
        return {};
    }
    return SingleSelectedObject(img);
}

bool CanNewObject(const COrvaneDoc& doc) {
    return doc.Image().width > 0 && doc.Image().height > 0;
}
bool CanDuplicate(const COrvaneDoc& doc) {
    return AnySelected(doc.Image());
}
bool CanDeleteObjects(const COrvaneDoc& doc) {
    return AnySelected(doc.Image());
}
bool CanTrim(const COrvaneDoc& doc) {
    return AnySelected(doc.Image());
}
bool CanCombine(const COrvaneDoc& doc) {
    return AnySelected(doc.Image());
}
bool CanMakeFrame(const COrvaneDoc& doc) {
    return doc.Image().CountVisible() > 0;
}
bool CanProperties(const COrvaneDoc& doc) {
    return doc.Image().CountSelectedVisible() > 0;
}

} // namespace zepho
