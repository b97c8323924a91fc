// The view's kept composition for a drag. Two images of the visible part of the canvas are made
// at the first repaint of the drag: below, the checkerboard and the objects under the lowest
// dragged object; above, the objects over the highest one, composed over black and over white.
// Every blend maps each channel of the pixel under it through a non-decreasing function, so
// where the two compositions of the objects above agree, the pixel no longer depends on what lies
// under them (an opaque object covers it): there the repaint takes the above image as it is.
// Elsewhere it composes the dragged objects and those above over a copy of the below image.
// Either way every pixel gets the bytes a full composition gives.
#pragma once

#include "model/DrawObjList.h"
#include "platform/PackedDib.h"

#include <cstdint>
#include <vector>

namespace zepho {

class CViewComposition {
public:
    // What the kept images were composed from; a repaint whose frame, zoom or visible area no
    // longer matches composes them afresh.
    struct Key {
        int zoom = 0;
        // Device pixels per window pixel.
        int scale = 0;
        // The visible canvas area in zoomed canvas coordinates (device pixels).
        RECT area{};
        // The list positions of the lowest dragged object and of the first object above the
        // highest one: objects [0, split) are in the below image, [top, count) in the above one,
        // and those between are composed at every repaint.
        int split = 0;
        int top = 0;
        bool operator==(const Key&) const = default;
    };

    // Forgets the kept images (the document or the view changed in a way the check below cannot
    // see, such as pixels edited in place).
    void Drop();
    bool Holds() const { return static_cast<bool>(below_); }
    std::size_t Bytes() const { return (below_ ? below_.Size() : 0) + (above_ ? above_.Size() : 0); }

    // Composes board (whose top-left lies at `at` in zoomed canvas coordinates, device pixels)
    // as DrawFrame draws it over the checkerboard: from the kept images when they match the key
    // and the objects outside the dragged range are still what they were, else after composing
    // them anew, the below one over makeBoard(width, height, topLeft), which gives the
    // checkerboard of that area. False when the board is not inside the key's area or memory
    // runs out: the caller composes the usual way.
    template <class MakeBoard>
    bool Compose(const CDrawObjList& frame, const Key& key, PackedDib& board, POINT at,
                 MakeBoard&& makeBoard) {
        if (!Contains(key.area, board, at)) return false;
        if (!Matches(frame, key)) {
            Drop();
            PackedDib below = makeBoard(key.area.right - key.area.left, key.area.bottom - key.area.top,
                                        POINT{key.area.left, key.area.top});
            if (!below || !Build(frame, key, std::move(below))) {
                Drop();
                return false;
            }
        }
        return ComposeFromKept(frame, board, at);
    }

private:
    // What decides an object's pixels in the kept images.
    struct Stamp {
        const CDrawObj* obj;
        const void* content;
        const void* raster;
        const void* shadow;
        int x, y, visible, transparency, shadowX, shadowY, shadowTransparency;
        int w, h, sw, sh;
        bool operator==(const Stamp&) const = default;
    };
    // The above image is judged in square tiles of this many device pixels.
    static constexpr int kTile = 32;

    static Stamp StampOf(const CDrawObj& o);
    static bool Contains(const RECT& area, const PackedDib& board, POINT at);
    bool Matches(const CDrawObjList& frame, const Key& key) const;
    bool Build(const CDrawObjList& frame, const Key& key, PackedDib below);
    // False when memory runs out half-way.
    bool ComposeFromKept(const CDrawObjList& frame, PackedDib& board, POINT at) const;
    bool Fixed(int tileX, int tileY) const {
        return fixed_[static_cast<std::size_t>(tileY) * static_cast<std::size_t>(tilesX_) +
                      static_cast<std::size_t>(tileX)] != 0;
    }

    Key key_;
    int count_ = 0;
    // The objects outside [split, top), in list order.
    std::vector<Stamp> stamps_;
    PackedDib below_;
    // Empty when nothing lies above the dragged objects.
    PackedDib above_;
    // Per tile: every pixel of the above image is independent of what lies under it.
    std::vector<std::uint8_t> fixed_;
    int tilesX_ = 0, tilesY_ = 0;
};

} // namespace zepho
