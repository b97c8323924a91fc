// A view fixture for the selection, paint, erase and flood tools: mouse gestures in canvas
// pixels, the undo label, a structural dump and an in-memory clipboard.
#pragma once

#include "edit/CmdTestUtil.h"
#include "edit/ViewTestUtil.h"
#include "edit/commands/CmdSelection.h"
#include "model/DocDump.h"

#include <cstring>
#include <initializer_list>

namespace zepho::test {

struct DrawToolFixture : ViewFixture {
    using ViewFixture::ViewFixture;
    MemoryClipboard clipboard;

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
