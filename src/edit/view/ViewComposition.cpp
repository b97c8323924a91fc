#include "edit/view/ViewComposition.h"

#include "model/Frame.h"
#include "platform/Parallel.h"

#include <cstring>

namespace zepho {

void CViewComposition::Drop() {
    below_.Reset();
    stamps_.clear();
    key_ = {};
}

CViewComposition::Stamp CViewComposition::StampOf(const CDrawObj& o) {
    const CObjContent* c = o.content.Get();
    Stamp s{};
    s.obj = &o;
    s.content = c;
    s.x = o.x;
    s.y = o.y;
    s.visible = o.visible;
    s.transparency = o.transparency;
    s.shadowTransparency = o.ShadowTransparency();
    if (c) {
        s.raster = c->raster.Data();
        s.w = c->raster.Width();
        s.h = c->raster.Height();
        s.shadow = c->shadowRaster.Data();
        s.sw = c->shadowRaster.Width();
        s.sh = c->shadowRaster.Height();
        s.shadowX = c->shadowPosX;
        s.shadowY = c->shadowPosY;
    }
    return s;
}

bool CViewComposition::Contains(const RECT& area, const PackedDib& board, POINT at) {
    return board.Is32() && at.x >= area.left && at.y >= area.top && at.x + board.Width() <= area.right &&
           at.y + board.Height() <= area.bottom;
}

bool CViewComposition::Matches(const CDrawObjList& frame, const Key& key) const {
    if (!below_ || !(key == key_) || key.split > frame.Count()) return false;
    for (int i = 0; i < key.split; ++i)
        if (!(StampOf(*frame.At(i)) == stamps_[static_cast<std::size_t>(i)])) return false;
    return true;
}

void CViewComposition::Build(const CDrawObjList& frame, const Key& key, PackedDib below) {
    DrawFrameRange(frame, below, POINT{key.area.left, key.area.top}, key.zoom, 0, key.split);
    stamps_.clear();
    stamps_.reserve(static_cast<std::size_t>(key.split));
    for (int i = 0; i < key.split; ++i)
        stamps_.push_back(StampOf(*frame.At(i)));
    below_ = std::move(below);
    key_ = key;
}

void CViewComposition::ComposeFromBelow(const CDrawObjList& frame, PackedDib& board, POINT at) const {
    const int dx = at.x - key_.area.left, dy = at.y - key_.area.top;
    const std::size_t rowBytes = 4 * static_cast<std::size_t>(board.Width());
    ParallelFor(board.Height(), RowGrain(board.Width(), 65536),
                [&](std::ptrdiff_t begin, std::ptrdiff_t end) {
                    for (int y = static_cast<int>(begin); y < end; ++y)
                        std::memcpy(board.Pixel32(0, y), below_.Pixel32(dx, dy + y), rowBytes);
                });
    DrawFrameRange(frame, board, at, key_.zoom, key_.split, frame.Count());
    DrawSelectionOutlines(frame, board, at, key_.zoom);
}

} // namespace zepho
