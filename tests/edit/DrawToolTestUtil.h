// A view fixture for the selection, paint, erase and flood tools: mouse gestures in canvas
// pixels, the undo label, a structural dump and an in-memory clipboard.
#pragma once

#include "CmdTestUtil.h"
#include "ViewTestUtil.h"
#include "edit/CmdSelection.h"
#include "model/DocDump.h"

#include <cstring>
#include <initializer_list>

namespace zepho::test {

struct DrawToolFixture : ViewFixture {
    using ViewFixture::ViewFixture;
    MemoryClipboard clipboard;

    void Click(int x, int y, unsigned keys = 0) {
        view->OnLButtonDown(kMkLButton | keys, At(x, y));
        view->OnLButtonUp(keys, At(x, y));
    }
    void Drag(std::initializer_list<POINT> canvasPath, unsigned keys = 0) {
        auto it = canvasPath.begin();
        view->OnLButtonDown(kMkLButton | keys, At(it->x, it->y));
        POINT last = *it;
        for (++it; it != canvasPath.end(); ++it) {
            view->OnMouseMove(kMkLButton | keys, At(it->x, it->y));
            last = *it;
        }
        view->OnLButtonUp(keys, At(last.x, last.y));
    }
    std::string Label() const {
        return doc.UndoManager().PeekUndo() ? doc.UndoManager().PeekUndo()->GetLabel() : "";
    }
    std::string RedoLabel() const {
        return doc.UndoManager().PeekRedo() ? doc.UndoManager().PeekRedo()->GetLabel() : "";
    }
    std::string Dump() const { return DumpDocument(doc.Image(), DumpOptions{false}); }
    const std::optional<Region>& Sel() const { return view->Selection(); }
    void Select(const RECT& rc) { view->SetSelection(Region::Rect(rc)); }
    std::vector<std::string> Messages() const {
        std::vector<std::string> m;
        for (const auto& s : ui.shown)
            m.push_back(s.text);
        return m;
    }
    Ref<CDrawObj> AddImage(int w, int h, COLORREF colour, int x, int y, BYTE alpha = 255) {
        Ref<CDrawObj> o = ImageObject(w, h, colour, x, y);
        o->content->SetRaster(CreateSolidDIB(w, h, colour, alpha));
        return Add(o);
    }
};

// The pixel (0xAARRGGBB) of an object at a canvas point.
inline std::uint32_t PixelOf(const CDrawObj& o, int x, int y) {
    return o.content->PixelAt(x - o.x, y - o.y);
}

inline bool SameBytes(const PackedDib& a, const PackedDib& b) {
    return a.Size() == b.Size() && std::memcmp(a.Data(), b.Data(), a.Size()) == 0;
}

} // namespace zepho::test
