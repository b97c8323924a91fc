// The view's kept composition for a drag: the checkerboard and the objects below the lowest
// dragged object, composed once over the visible part of the canvas. While the drag lasts, a
// repaint copies that image and composes only the dragged objects and those above them over the
// repainted area, with the same bytes a full composition gives.
#pragma once

#include "model/DrawObjList.h"
#include "platform/PackedDib.h"

#include <cstdint>
#include <vector>

namespace zepho {

class CViewComposition {
public:
    // What the kept image was composed from; a repaint whose frame, zoom or visible area no
    // longer matches composes afresh.
    struct Key {
        int zoom = 0;
        // Device pixels per window pixel.
        int scale = 0;
        // The visible canvas area in zoomed canvas coordinates (device pixels).
        RECT area{};
        // The list position of the lowest dragged object; the kept image holds the objects
        // below it (all of them when it is the count).
        int split = 0;
        bool operator==(const Key&) const = default;
    };

    // Forgets the kept image (the document or the view changed in a way the check below cannot
    // see, such as pixels edited in place).
    void Drop();
    bool Holds() const { return static_cast<bool>(below_); }
    std::size_t Bytes() const { return below_ ? below_.Size() : 0; }

    // Composes board (whose top-left lies at `at` in zoomed canvas coordinates, device pixels)
    // as DrawFrame draws it over the checkerboard: from the kept image when it matches the key
    // and the objects below the split are still what they were, else after composing the kept
    // image anew over makeBoard(width, height, topLeft), which gives the checkerboard of that
    // area. False, leaving board untouched, when the board is not inside the key's area or memory
    // runs out: the caller composes the usual way.
    template <class MakeBoard>
    bool Compose(const CDrawObjList& frame, const Key& key, PackedDib& board, POINT at,
                 MakeBoard&& makeBoard) {
        if (!Contains(key.area, board, at)) return false;
        if (!Matches(frame, key)) {
            Drop();
            PackedDib below = makeBoard(key.area.right - key.area.left, key.area.bottom - key.area.top,
                                        POINT{key.area.left, key.area.top});
            if (!below) return false;
            Build(frame, key, std::move(below));
        }
        ComposeFromBelow(frame, board, at);
        return true;
    }

private:
    // What decides an object's pixels in the kept image.
    struct Stamp {
        const CDrawObj* obj;
        const void* content;
        const void* raster;
        const void* shadow;
        int x, y, visible, transparency, shadowX, shadowY, shadowTransparency;
        int w, h, sw, sh;
        bool operator==(const Stamp&) const = default;
    };
    static Stamp StampOf(const CDrawObj& o);
    static bool Contains(const RECT& area, const PackedDib& board, POINT at);
    bool Matches(const CDrawObjList& frame, const Key& key) const;
    void Build(const CDrawObjList& frame, const Key& key, PackedDib below);
    void ComposeFromBelow(const CDrawObjList& frame, PackedDib& board, POINT at) const;

    Key key_;
    std::vector<Stamp> stamps_;
    PackedDib below_;
};

} // namespace zepho
