#include "edit/view/ViewComposition.h"

#include "model/Frame.h"
#include "platform/Parallel.h"
#include "raster/Dib.h"

#include <algorithm>
#include <atomic>
#include <cstring>

namespace zepho {

namespace {

void CopyRows(PackedDib& dst, int dstX, int dstY, const PackedDib& src, int srcX, int srcY, int w, int h) {
    if (w <= 0 || h <= 0) return;
    const std::size_t bytes = 4 * static_cast<std::size_t>(w);
    for (int y = 0; y < h; ++y)
        std::memcpy(dst.Pixel32(dstX, dstY + y), src.Pixel32(srcX, srcY + y), bytes);
}

} // namespace

void CViewComposition::Drop() {
    below_.Reset();
    above_.Reset();
    stamps_.clear();
    fixed_.clear();
    tilesX_ = tilesY_ = 0;
    count_ = 0;
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
    if (!below_ || !(key == key_) || frame.Count() != count_) return false;
    std::size_t k = 0;
    for (int i = 0; i < count_; ++i) {
        if (i == key.split) i = key.top;
        if (i >= count_) break;
        if (!(StampOf(*frame.At(i)) == stamps_[k++])) return false;
    }
    return true;
}

bool CViewComposition::Build(const CDrawObjList& frame, const Key& key, PackedDib below) {
    const POINT origin{key.area.left, key.area.top};
    const int count = frame.Count();
    DrawFrameRange(frame, below, origin, key.zoom, 0, key.split);
    if (key.top < count) {
        const int w = below.Width(), h = below.Height();
        PackedDib overBlack = PackedDib::Create(w, h, 32);
        PackedDib overWhite = CreateSolidDIB(w, h, RGB(255, 255, 255), 255);
        if (!overBlack || !overWhite) return false;
        DrawFrameRange(frame, overBlack, origin, key.zoom, key.top, count);
        DrawFrameRange(frame, overWhite, origin, key.zoom, key.top, count);
        tilesX_ = (w + kTile - 1) / kTile;
        tilesY_ = (h + kTile - 1) / kTile;
        fixed_.assign(static_cast<std::size_t>(tilesX_) * static_cast<std::size_t>(tilesY_), 1);
        ParallelFor(tilesY_, 1, [&](std::ptrdiff_t begin, std::ptrdiff_t end) {
            for (int ty = static_cast<int>(begin); ty < end; ++ty)
                for (int y = ty * kTile; y < std::min(h, (ty + 1) * kTile); ++y)
                    for (int tx = 0; tx < tilesX_; ++tx) {
                        const int x0 = tx * kTile, n = std::min(w, x0 + kTile) - x0;
                        std::uint8_t& f = fixed_[static_cast<std::size_t>(ty) * tilesX_ + tx];
                        if (f && std::memcmp(overBlack.Pixel32(x0, y), overWhite.Pixel32(x0, y),
                                             4 * std::size_t(n)))
                            f = 0;
                    }
        });
        above_ = std::move(overBlack);
    }
    stamps_.clear();
    for (int i = 0; i < count; ++i) {
        if (i == key.split) i = key.top;
        if (i >= count) break;
        stamps_.push_back(StampOf(*frame.At(i)));
    }
    count_ = count;
    below_ = std::move(below);
    key_ = key;
    return true;
}

bool CViewComposition::ComposeFromKept(const CDrawObjList& frame, PackedDib& board, POINT at) const {
    const int dx = at.x - key_.area.left, dy = at.y - key_.area.top;
    const int w = board.Width(), h = board.Height();
    board.Detach(); // before the threads write through it
    const int count = frame.Count();
    if (!above_) {
        ParallelFor(h, RowGrain(w, 65536), [&](std::ptrdiff_t begin, std::ptrdiff_t end) {
            CopyRows(board, 0, static_cast<int>(begin), below_, dx, dy + static_cast<int>(begin), w,
                     static_cast<int>(end - begin));
        });
        DrawFrameRange(frame, board, at, key_.zoom, key_.split, count);
        DrawSelectionOutlines(frame, board, at, key_.zoom);
        return true;
    }
    // Row by row of tiles: the above image where it stands alone, and one composed run from the
    // first to the last tile that depends on what lies under it.
    const int ty0 = dy / kTile, ty1 = (dy + h - 1) / kTile;
    const int tx0 = dx / kTile, tx1 = (dx + w - 1) / kTile;
    std::atomic<bool> failed{false};
    ParallelFor(ty1 - ty0 + 1, 1, [&](std::ptrdiff_t begin, std::ptrdiff_t end) {
        for (int ty = ty0 + static_cast<int>(begin); ty < ty0 + end; ++ty) {
            const int y0 = std::max(ty * kTile, dy) - dy, y1 = std::min((ty + 1) * kTile, dy + h) - dy;
            int first = -1, last = -1;
            for (int tx = tx0; tx <= tx1; ++tx)
                if (!Fixed(tx, ty)) {
                    if (first < 0) first = tx;
                    last = tx;
                }
            int sx0 = w, sx1 = w;
            if (first >= 0) {
                sx0 = std::max(first * kTile, dx) - dx;
                sx1 = std::min((last + 1) * kTile, dx + w) - dx;
            }
            CopyRows(board, 0, y0, above_, dx, dy + y0, sx0, y1 - y0);
            CopyRows(board, sx1, y0, above_, dx + sx1, dy + y0, w - sx1, y1 - y0);
            if (sx0 >= sx1) continue;
            PackedDib run = PackedDib::Create(sx1 - sx0, y1 - y0, 32);
            if (!run) {
                failed = true;
                continue;
            }
            CopyRows(run, 0, 0, below_, dx + sx0, dy + y0, sx1 - sx0, y1 - y0);
            DrawFrameRange(frame, run, POINT{at.x + sx0, at.y + y0}, key_.zoom, key_.split, count);
            CopyRows(board, sx0, y0, run, 0, 0, sx1 - sx0, y1 - y0);
        }
    });
    if (failed) return false;
    DrawSelectionOutlines(frame, board, at, key_.zoom);
    return true;
}

} // namespace zepho
