#include "edit/document/OrvaneDoc.h"
#include "edit/tools/ToolSet.h"
#include "edit/view/OrvaneView.h"

#include <algorithm>
#include <cstdint>

namespace zepho {

namespace {

// Composes from the front: each layer adds what the layers above it left uncovered.
struct FrontToBack {
    std::int64_t r = 0, g = 0, b = 0;
    int alpha = 0;

    void Add(std::uint32_t pixel, int transparency) {
        const int a = std::max(static_cast<int>(pixel >> 24) - transparency, 0);
        if (a == 0) return;
        const int share = ((255 - alpha) * a + 127) / 255;
        r += std::int64_t{(pixel >> 16) & 0xFF} * share;
        g += std::int64_t{(pixel >> 8) & 0xFF} * share;
        b += std::int64_t{pixel & 0xFF} * share;
        alpha += share;
    }
    bool Full() const { return alpha >= 255; }
};

BYTE Average(std::int64_t sum, int alpha) {
    return static_cast<BYTE>(std::min<std::int64_t>((sum + alpha / 2) / alpha, 255));
}

bool Pick(COrvaneView& view, POINT client, bool foreground) {
    const POINT pt = view.ClientToCanvas(client);
    if (!view.InsideCanvas(pt)) return false;
    const PickedColour c = ComposedColourAt(view.Document().Image(), pt);
    CPaintColours* colours = view.PaintColours();
    if (!c.valid || !colours) return false;
    (foreground ? colours->fore : colours->back) = RGB(c.red, c.green, c.blue);
    if (IViewHost* host = view.Host()) host->PaintColoursChanged();
    return true;
}

} // namespace

PickedColour ComposedColourAt(const CDocImage& image, POINT p) {
    FrontToBack acc;
    for (auto it = image.objects.rbegin(); it != image.objects.rend() && !acc.Full(); ++it) {
        const CDrawObj& o = **it;
        if (!o.visible || !o.content || !o.content->raster) continue;
        const CObjContent& c = *o.content;
        acc.Add(c.PixelAt(p.x - o.x, p.y - o.y), o.transparency);
        // The shadow lies under its own object.
        if (c.HasShadow() && !acc.Full())
            acc.Add(c.ShadowPixelAt(p.x - o.x - c.shadowPosX, p.y - o.y - c.shadowPosY),
                    o.ShadowTransparency());
    }
    PickedColour out;
    const int alpha = std::min(acc.alpha, 255);
    out.transparent = 255 - alpha;
    if (alpha == 0) return out;
    out.valid = true;
    out.red = Average(acc.r, acc.alpha);
    out.green = Average(acc.g, acc.alpha);
    out.blue = Average(acc.b, acc.alpha);
    return out;
}

bool CPickerTool::OnLButtonDown(COrvaneView& view, unsigned, POINT client) {
    Pick(view, client, true);
    return true;
}

bool CPickerTool::OnRButtonDown(COrvaneView& view, unsigned, POINT client) {
    // The right button picks the second colour; it never opens a menu here.
    Pick(view, client, false);
    return true;
}

bool CPickerTool::OnMouseMove(COrvaneView& view, unsigned, POINT client) {
    const POINT pt = view.ClientToCanvas(client);
    if (!view.InsideCanvas(pt)) return false;
    if (IViewHost* host = view.Host()) host->ShowPickedColour(ComposedColourAt(view.Document().Image(), pt));
    return true;
}

int CPickerTool::GetCursor(const COrvaneView& view, POINT client) const {
    return view.InsideCanvas(view.ClientToCanvas(client)) ? kCursorPicker : kCursorArrow;
}

} // namespace zepho
