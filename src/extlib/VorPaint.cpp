#include "extlib/VorPaint.h"

#include <agg_renderer_base.h>
#include <agg_renderer_scanline.h>
#include <agg_scanline_u.h>
#include <agg_span_allocator.h>

namespace zepho::vor {

namespace {

agg::rgba8 ToColor(COLORREF c) {
    return agg::rgba8(GetRValue(c), GetGValue(c), GetBValue(c), 255);
}

// Colours of fill modes 1..5: each target pixel centre is taken back into path space and placed
// on the blend by its position in the box.
class FillModeSpan {
public:
    FillModeSpan(const _TEXTFILLMODE& fill, const agg::rect_d& box, const CVorTransMatrix& pathToTarget)
        : mode_(fill.mode), c1_(ToColor(fill.color1)), c2_(ToColor(fill.color2)), box_(box),
          toPath_(pathToTarget) {
        toPath_.invert();
        // A flat box would divide by zero; give it one pixel.
        if (box_.x2 - box_.x1 < 1e-9) box_.x2 = box_.x1 + 1;
        if (box_.y2 - box_.y1 < 1e-9) box_.y2 = box_.y1 + 1;
    }

    void prepare() {
        for (int i = 0; i < 256; ++i)
            lut_[i] = c1_.gradient(c2_, i / 255.0);
    }

    void generate(agg::rgba8* span, int x, int y, unsigned len) {
        const double w = box_.x2 - box_.x1;
        const double h = box_.y2 - box_.y1;
        for (unsigned i = 0; i < len; ++i) {
            double px = x + i + 0.5;
            double py = y + 0.5;
            toPath_.transform(&px, &py);
            const double u = (px - box_.x1) / w;
            const double v = (py - box_.y1) / h;
            double t = 0;
            switch (mode_) {
            case 1:
                t = u;
                break;
            case 2:
                t = v;
                break;
            case 3:
                t = (u + v) / 2;
                break;
            case 4:
                t = std::hypot(2 * u - 1, 2 * v - 1);
                break;
            default:
                t = 1 - std::fabs(2 * u - 1);
                break;
            }
            if (!(t > 0)) t = 0; // also catches NaN
            span[i] = lut_[static_cast<int>(std::min(t, 1.0) * 255 + 0.5)];
        }
    }

private:
    int mode_;
    agg::rgba8 c1_, c2_;
    agg::rect_d box_;
    agg::trans_affine toPath_;
    agg::rgba8 lut_[256];
};

} // namespace

bool AttachDib(PackedDib& dib, agg::rendering_buffer& rbuf) {
    if (!dib.Is32()) return false;
    // Rows are stored bottom-up. Given the block's start and a negative stride, AGG begins at the
    // last stored row, so its row 0 is the picture's top row.
    rbuf.attach(dib.Bits(), dib.Width(), dib.Height(), -static_cast<int>(dib.Stride()));
    return true;
}

bool AttachDib(const PackedDib& dib, agg::rendering_buffer& rbuf) {
    // AGG's buffers are not const-aware; callers only read through this one.
    return AttachDib(const_cast<PackedDib&>(dib), rbuf);
}

void PaintRasterized(PackedDib& target, Rasterizer& ras, const _TEXTFILLMODE& fill, COLORREF plainColor,
                     const agg::rect_d& box, const CVorTransMatrix& pathToTarget) {
    agg::rendering_buffer rbuf;
    if (!AttachDib(target, rbuf)) return;
    PixfmtStraight pixf(rbuf);
    agg::renderer_base<PixfmtStraight> base(pixf);
    agg::scanline_u8 sl;
    if (fill.mode >= 1 && fill.mode <= 5 && pathToTarget.IsUsable()) {
        agg::span_allocator<agg::rgba8> alloc;
        FillModeSpan span(fill, box, pathToTarget);
        agg::render_scanlines_aa(ras, sl, base, alloc, span);
    } else {
        agg::render_scanlines_aa_solid(ras, sl, base, ToColor(plainColor));
    }
}

} // namespace zepho::vor
