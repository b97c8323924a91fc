#include "edit/commands/CmdClipboard.h"

#include "edit/commands/CmdCommon.h"
#include "edit/commands/CommandStrings.h"
#include "edit/undo/UndoObjects.h"
#include "edit/view/OrvaneView.h"
#include "model/ClipRecord.h"
#include "raster/Blend.h"
#include "raster/Dib.h"
#include "raster/RegionOps.h"

#include <algorithm>
#include <optional>

namespace zepho {

namespace {
// The part of an image that lies on the canvas; empty when none does.
PackedDib CutToCanvas(const PackedDib& img, POINT& pos, int canvasW, int canvasH) {
    if (!img.Is32()) return {};
    const std::int64_t l = std::max<std::int64_t>(pos.x, 0), t = std::max<std::int64_t>(pos.y, 0);
    const std::int64_t r = std::min<std::int64_t>(std::int64_t{pos.x} + img.Width(), canvasW);
    const std::int64_t b = std::min<std::int64_t>(std::int64_t{pos.y} + img.Height(), canvasH);
    if (r <= l || b <= t) return {};
    PackedDib out =
        CropDIB(img, static_cast<int>(l - pos.x), static_cast<int>(t - pos.y),
                static_cast<int>(pos.x + img.Width() - r), static_cast<int>(pos.y + img.Height() - b));
    pos = POINT{static_cast<LONG>(l), static_cast<LONG>(t)};
    return out;
}

// The selection of the view the command runs in (the document's first view unless given).
const Region* SelectionOf(const COrvaneDoc& doc, const COrvaneView* view) {
    if (!view) view = doc.GetView();
    return view && view->Selection() ? &*view->Selection() : nullptr;
}

RECT RectAt(const PackedDib& img, POINT pos) {
    return {pos.x, pos.y, pos.x + img.Width(), pos.y + img.Height()};
}

bool AnyPixelShows(const PackedDib& img, int transparency) {
    for (int y = 0; y < img.Height(); ++y) {
        const BYTE* p = img.Row(y);
        for (int x = 0; x < img.Width(); ++x)
            if (p[4 * x + 3] > transparency) return true;
    }
    return false;
}

// What the clipboard takes of one object: the content itself when the region covers all of it,
// else the pixels inside the region. False when the region holds nothing of it.
bool MakeItem(const CDrawObj& o, const Region* selection, CClipItem& item) {
    const CObjContent& c = *o.content;
    const POINT shadowPos{o.x + c.shadowPosX, o.y + c.shadowPosY};
    item.content = o.content;
    if (!selection || (RectInRegion(*selection, RectAt(c.raster, o.Position())) &&
                       (!c.HasShadow() || RectInRegion(*selection, RectAt(c.shadowRaster, shadowPos))))) {
        item.position = o.Position();
        item.transparency = o.transparency;
        return true;
    }
    if (!c.raster.Is32()) return false;
    POINT at{};
    PackedDib cut;
    if (c.HasShadow()) {
        cut = MergeImagesInRegion(c.shadowRaster, shadowPos, o.ShadowTransparency(), c.raster, o.Position(),
                                  o.transparency, *selection, at);
    } else {
        cut = CopyRegionPixels(c.raster, o.Position(), *selection, at);
        if (cut && o.transparency) {
            for (int y = 0; y < cut.Height(); ++y) {
                BYTE* p = cut.Pixel32(0, y);
                for (int x = 0; x < cut.Width(); ++x, p += 4)
                    p[3] = static_cast<BYTE>(std::max(p[3] - o.transparency, 0));
            }
        }
    }
    // A region over nothing but transparent pixels leaves nothing worth copying.
    if (!cut || !AnyPixelShows(cut, 0)) return false;
    item.cutout = std::move(cut);
    item.position = at;
    item.transparency = 0;
    return true;
}

} // namespace

bool CopySelectedObjects(COrvaneDoc& doc, IClipboard& clipboard, const Region* selection) {
    std::vector<CClipItem> items;
    for (const auto& o : doc.Image().objects) {
        if (!o->visible || !o->IsSelected() || !o->content || !o->content->raster) continue;
        CClipItem item;
        if (MakeItem(*o, selection, item)) items.push_back(std::move(item));
    }
    return !items.empty() && CopyToClipboard(clipboard, items);
}

bool CmdCopy(COrvaneDoc& doc, IClipboard& clipboard, IUiHost& ui, const COrvaneView* view) {
    if (CopySelectedObjects(doc, clipboard, SelectionOf(doc, view))) return true;
    ShowCommandMessage(ui, strings::kCopyEmpty);
    return false;
}

bool CmdCopyMerged(COrvaneDoc& doc, IClipboard& clipboard, IUiHost& ui, const COrvaneView* view) {
    const CDocImage& img = doc.Image();
    PackedDib merged;
    POINT mergedPos{};
    int mergedTransparency = 0;
    const Region* selection = SelectionOf(doc, view);
    auto add = [&](const PackedDib& piece, POINT pos, int transparency) {
        PackedDib cut = CutToCanvas(piece, pos, img.width, img.height);
        if (cut && selection) {
            POINT at{};
            cut = CopyRegionPixels(cut, pos, *selection, at);
            pos = at;
        }
        if (!cut) return;
        if (!merged) {
            // The first piece waits untouched, so that a single one keeps its pixels.
            merged = std::move(cut);
            mergedPos = pos;
            mergedTransparency = transparency;
            return;
        }
        POINT out{};
        PackedDib next = MergeImages(merged, mergedPos, mergedTransparency, cut, pos, transparency, out);
        if (!next) return;
        merged = std::move(next);
        mergedPos = out;
        mergedTransparency = 0;
    };
    for (const auto& o : img.objects) {
        if (!o->visible || !o->content || !o->content->raster) continue;
        const CObjContent& c = *o->content;
        if (c.HasShadow())
            add(c.shadowRaster, POINT{o->x + c.shadowPosX, o->y + c.shadowPosY}, o->ShadowTransparency());
        add(c.raster, o->Position(), o->transparency);
    }
    if (!merged || !AnyPixelShows(merged, mergedTransparency)) {
        ShowCommandMessage(ui, strings::kCopyEmpty);
        return false;
    }
    CClipItem item;
    item.content = MakeRef<CObjContent>(KindImage);
    item.content->SetRaster(std::move(merged));
    item.position = mergedPos;
    // A single piece keeps its pixels, so it must keep its transparency to look the same.
    item.transparency = mergedTransparency;
    std::vector<CClipItem> items;
    items.push_back(std::move(item));
    return CopyToClipboard(clipboard, items);
}

bool CmdPaste(COrvaneDoc& doc, const IClipboard& clipboard) {
    std::vector<CClipItem> items =
        PasteFromClipboard(clipboard, [&doc](int kind) { return doc.NextObjectName(kind); });
    if (items.empty()) return false;
    CDrawObjList& list = doc.Image().objects;
    auto action = std::make_unique<CObjListUndo>(CObjListUndo::Paste);
    action->Capture(list);
    int at = list.Count();
    for (int i = list.Count() - 1; i >= 0; --i)
        if (list.At(i)->IsSelected()) {
            at = i + 1;
            break;
        }
    doc.Image().DeselectAll();
    for (CClipItem& item : items) {
        Ref<CDrawObj> obj = MakeRef<CDrawObj>(item.content);
        obj->x = item.position.x;
        obj->y = item.position.y;
        obj->transparency = static_cast<std::uint8_t>(item.transparency);
        obj->visible = 1;
        obj->content->selected = 1;
        list.InsertAt(obj, at++);
    }
    CommitCommand(doc, std::move(action), true);
    return true;
}

bool CanCopy(const COrvaneDoc& doc) {
    return doc.Image().CountSelectedVisible() > 0;
}
bool CanCopyMerged(const COrvaneDoc& doc) {
    return doc.Image().CountVisible() > 0;
}
bool CanPaste(const IClipboard& clipboard) {
    return clipboard.HasPrivate() || clipboard.HasDib();
}

} // namespace zepho
