#include "edit/document/OrvaneDoc.h"
#include "edit/tools/ToolSet.h"
#include "edit/undo/UndoObjects.h"
#include "edit/view/OrvaneView.h"
#include "model/AppSettings.h"
#include "model/TextObj.h"

namespace zepho {

namespace {

// A new text takes the paint colours and the outline settings.
CTextDefaults NewTextDefaults(const COrvaneView& view) {
    const CAppSettings& s = view.Document().Settings();
    CTextDefaults d;
    const CPaintColours colours = view.PaintColours() ? *view.PaintColours() : CPaintColours::FromSettings(s);
    d.foreColor = colours.fore;
    d.backColor = colours.back;
    d.outline = s.MadeTextOutline;
    d.outlineColor = s.TextOutlineColor;
    d.outlineThickness = s.TextOutlineThickness;
    d.outlineTransparency = s.TextOutlineOpacity;
    return d;
}

} // namespace

bool CTextTool::OnLButtonDown(COrvaneView& view, unsigned, POINT client) {
    const POINT pt = view.ClientToCanvas(client);
    if (!view.InsideCanvas(pt)) return true;
    COrvaneDoc& doc = view.Document();
    CDrawObjList& objects = doc.Image().objects;

    auto undo = std::make_unique<CObjListUndo>(CObjListUndo::AddText);
    undo->Capture(objects);
    Ref<CObjContent> content = MakeRef<CObjContent>(KindText);
    content->SetShape(MakeRef<CTextObj>(NewTextDefaults(view)));
    Ref<CDrawObj> obj = MakeRef<CDrawObj>(content);
    obj->x = pt.x;
    obj->y = pt.y;
    obj->visible = 1;
    objects.AddTail(obj);

    IViewHost* host = view.Host();
    const bool confirmed = host && host->OpenTextEditor(*obj);
    // Cancelled, or confirmed without anything to show: the object leaves without a trace.
    if (!confirmed || !content->raster) {
        objects.Remove(obj.Get());
        if (view.ActiveObject() == obj.Get()) view.AttachHandles({});
        view.InvalidateAll();
        return true;
    }
    if (content->name.empty()) content->name = doc.NextObjectName(KindText);
    // The new text is the one selection, as a new shape is.
    doc.Image().DeselectAll();
    content->selected = 1;
    doc.AddUndo(std::move(undo));
    doc.SetModifiedFlag();
    doc.NotifyObjectsChanged();
    doc.NotifySelectionChanged();
    view.InvalidateAll();
    return true;
}

} // namespace zepho
