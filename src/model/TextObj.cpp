#include "model/TextObj.h"

#include "extlib/VorRender.h"
#include "extlib/VorText.h"
#include "model/BitmapObj.h"
#include "platform/AnsiText.h"
#include "platform/ByteStream.h"
#include "raster/Blend.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstring>
#include <new>

namespace zepho {

namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr std::size_t kFaceBytes = 32;
// A run's record without its characters.
constexpr std::uint64_t kRunFixedBytes = kFaceBytes + 4 * 10;
// Below this a stored size counts as not measured.
constexpr double kMinStoredSize = 5e-08;
constexpr BYTE kAntialiasedQuality = 4;
constexpr std::int32_t kMaxOffset = 1 << 16;

// Measuring happens at the resolution of a standard screen.
const CVorDC kMeasureDC{};

// a * b / c rounded half away from zero; -1 when c is 0.
long MulDiv(long a, long b, long c) {
    if (c == 0) return -1;
    const long long p = static_cast<long long>(a) * b;
    const long long half = (c < 0 ? -c : c) / 2;
    const long long r = ((p < 0) != (c < 0)) ? (p - half) / c : (p + half) / c;
    return r > LONG_MAX || r < LONG_MIN ? -1 : static_cast<long>(r);
}

// Keeps the scaled size between 1 pixel and max(2000, size) pixels.
void ClampScale(double& scale, double size) {
    const double lo = 1 / size, hi = std::max(2000.0, size) / size;
    if (scale < lo)
        scale = lo;
    else if (scale > hi)
        scale = hi;
}

// Layout space to the canvas: the text box centred on (centreX, centreY), scaled and turned.
CVorTransMatrix DrawingMatrix(double w, double h, double sx, double sy, double angle, double centreX,
                              double centreY) {
    CVorTransMatrix m;
    m.Multiply(CVorTransMatrix::Translation(-w / 2, -h / 2));
    m.Multiply(CVorTransMatrix::Scaling(sx, sy));
    m.Multiply(CVorTransMatrix::Rotation(-angle * kPi / 180));
    m.Multiply(CVorTransMatrix::Translation(centreX, centreY));
    return m;
}

// Whole pixels by which a box must grow on each side to hold the ink.
struct Growth {
    int left = 0, top = 0, right = 0, bottom = 0;
};

int PixelsBeyond(double reach) {
    // A hair of rounding noise is no reason to grow; anything more is a pixel of ink.
    constexpr double kNoise = 1e-6, kMaxGrowth = 1 << 20;
    return reach > kNoise ? static_cast<int>(std::ceil(std::min(reach, kMaxGrowth) - kNoise)) : 0;
}

} // namespace

void CTextRun::SetText(std::u16string_view s) {
    const long long need = static_cast<long long>(s.size()) + 1;
    if (capacity < need) capacity = static_cast<std::int32_t>(std::min<long long>(need + 19, INT_MAX));
    text.assign(s);
}

bool CTextRun::operator==(const CTextRun& o) const {
    return face == o.face && size == o.size && bold == o.bold && italic == o.italic &&
           outlined == o.outlined && baselineOffset == o.baselineOffset && spacing == o.spacing &&
           text == o.text && lineEnd == o.lineEnd && charSet == o.charSet;
}

bool CTextRun::SameFormat(const CTextRun& o) const {
    return !lineEnd && face == o.face && size == o.size && bold == o.bold && italic == o.italic &&
           outlined == o.outlined && baselineOffset == o.baselineOffset && spacing == o.spacing &&
           charSet == o.charSet;
}

LOGFONTA CTextRun::Font(bool painting) const {
    LOGFONTA f;
    f.lfHeight = -MulDiv(size / 20, kMeasureDC.logPixelsY, 72);
    f.lfWeight = bold ? 700 : 400;
    f.lfItalic = italic ? 1 : 0;
    f.lfCharSet = static_cast<BYTE>(charSet);
    f.lfQuality = painting ? kAntialiasedQuality : 0;
    // The font engine takes the name as UTF-8; a cut never splits a character.
    const std::string name = CutUtf8Bytes(face, sizeof f.lfFaceName - 1);
    std::memcpy(f.lfFaceName, name.data(), name.size());
    return f;
}

CTextObj::CTextObj(const CTextDefaults& d)
    : outline(d.outline), outlineColor(d.outlineColor), outlineThickness(d.outlineThickness),
      outlineTransparency(d.outlineTransparency) {
    paint.color1 = d.foreColor;
    paint.color2 = d.backColor;
}

bool CTextObj::IsEmpty() const {
    return runs.empty() || (runs.size() == 1 && runs[0].text.empty());
}

CTextLayout CTextObj::Layout() const {
    CTextLayout layout;
    layout.extents.resize(runs.size());
    std::size_t first = 0;
    while (first < runs.size()) {
        CTextLine line;
        line.firstRun = first;
        line.endRun = first;
        while (line.endRun < runs.size() && !runs[line.endRun++].lineEnd) {
        }
        for (std::size_t i = line.firstRun; i < line.endRun; ++i) {
            const CTextRun& run = runs[i];
            const LOGFONTA font = run.Font(false);
            const double extent = VorMeasureText(&kMeasureDC, run.text, font, 0);
            VorFontMetrics fm;
            VorGetFontMetrics(&kMeasureDC, font, &fm);
            // A run moved down reaches less far above the baseline and further below it.
            // A file may hold any offset; bounding it keeps the sums in range and the raster sane.
            const int offset = std::clamp(run.baselineOffset, -kMaxOffset, kMaxOffset);
            const int up = fm.ascent - offset, down = offset + fm.descent;
            line.ascent = i == line.firstRun ? up : std::max(line.ascent, up);
            line.descent = i == line.firstRun ? down : std::max(line.descent, down);
            // No spacing after the last character of a line.
            const double len = static_cast<double>(run.text.size());
            line.width += extent + run.spacing * (i + 1 == line.endRun ? len - 1 : len);
            layout.extents[i] = extent;
        }
        if (!layout.lines.empty()) layout.height += lineSpacing;
        layout.height += line.ascent + line.descent;
        layout.width = std::max(layout.width, line.width);
        layout.lines.push_back(line);
        first = line.endRun;
    }
    return layout;
}

void CTextObj::Measure() {
    const CTextLayout layout = Layout();
    width = layout.width;
    height = layout.height;
}

template <class Fn> void CTextObj::PlaceRuns(const CTextLayout& layout, Fn&& fn) const {
    double top = 0;
    for (const CTextLine& line : layout.lines) {
        double x = 0;
        if (alignment == kAlignRight)
            x = width - line.width;
        else if (alignment == kAlignCenter)
            x = (width - line.width) / 2;
        const double baseline = top + line.ascent;
        for (std::size_t i = line.firstRun; i < line.endRun; ++i) {
            const CTextRun& run = runs[i];
            fn(run, x, baseline + std::clamp(run.baselineOffset, -kMaxOffset, kMaxOffset));
            x += layout.extents[i] + static_cast<double>(run.spacing) * static_cast<double>(run.text.size());
        }
        // In doubles, as the layout sums them: a file may hold any line spacing.
        top += line.ascent + line.descent + static_cast<double>(lineSpacing);
    }
}

void CTextObj::DrawRuns(PackedDib& target, const CTextLayout& layout, const CVorTransMatrix& matrix,
                        bool halo) const {
    _TEXTFILLMODE haloFill;
    haloFill.color1 = haloFill.color2 = outlineColor;
    PlaceRuns(layout, [&](const CTextRun& run, double x, double y) {
        const LOGFONTA font = run.Font(true);
        if (halo)
            StrokeText_Blend(target, &kMeasureDC, run.text, x, y, font, run.spacing, haloFill, matrix,
                             OutlineThickness());
        else if (run.outlined)
            StrokeText(target, &kMeasureDC, run.text, x, y, font, run.spacing, paint, matrix, 1);
        else
            PaintText(target, &kMeasureDC, run.text, x, y, font, run.spacing, paint, matrix);
    });
}

bool CTextObj::InkBox(const CTextLayout& layout, VorInkBox& box) const {
    bool any = false;
    PlaceRuns(layout, [&](const CTextRun& run, double x, double y) {
        VorInkBox ink;
        if (!VorGetTextInk(&kMeasureDC, run.text, run.Font(true), run.spacing, &ink)) return;
        // An outlined run is stroked one pixel wide around the same outlines.
        const double pad = run.outlined ? 0.5 : 0.0;
        const VorInkBox placed{x + ink.left - pad, y + ink.top - pad, x + ink.right + pad,
                               y + ink.bottom + pad};
        if (!any) box = placed;
        box.left = std::min(box.left, placed.left);
        box.top = std::min(box.top, placed.top);
        box.right = std::max(box.right, placed.right);
        box.bottom = std::max(box.bottom, placed.bottom);
        any = true;
    });
    return any;
}

int CTextObj::OutlineThickness() const {
    return std::clamp(outlineThickness, 0, kMaxOutlineThickness);
}

PackedDib CTextObj::AddOutline(const PackedDib& text, const CTextLayout& layout, double sx, double sy,
                               double centreX, double centreY) const {
    // Held to the ranges the property page offers: a damaged file's thickness of thousands would
    // otherwise grow the picture by as many pixels on every side.
    const long long t = OutlineThickness(), s = std::clamp(outlineSmooth, 0, kMaxOutlineSmooth);
    const long long m = std::max(2 * t, s), o = (m + 1) / 2;
    const long long w = text.Width() + m, h = text.Height() + m;
    if (w > INT_MAX || h > INT_MAX) return {};
    PackedDib halo = CreateSolidDIB(static_cast<int>(w), static_cast<int>(h), outlineColor, 0);
    if (!halo) return {};
    // The same drawing as the text's, m / 2 further in on the larger canvas.
    DrawRuns(halo, layout, DrawingMatrix(width, height, sx, sy, angle, centreX + m / 2.0, centreY + m / 2.0),
             true);
    BlurShadowDIB(halo, static_cast<double>(s));
    POINT pos{};
    return MergeImages(halo, POINT{0, 0}, std::clamp(outlineTransparency, 0, 255), text,
                       POINT{static_cast<LONG>(o), static_cast<LONG>(o)}, 0, pos);
}

PackedDib CTextObj::Render() {
    tooLarge = false;
    if (IsEmpty()) {
        width = height = 0;
        return {};
    }
    const CTextLayout layout = Layout();
    if (measure || width < kMinStoredSize || height < kMinStoredSize) {
        width = layout.width;
        height = layout.height;
        // Nothing measurable (no font, only empty lines) has nothing to draw either.
        if (!(width > 0 && height > 0)) return {};
        ClampScale(scaleX, width);
        ClampScale(scaleY, height);
    }
    double ew = 0, eh = 0;
    RotatedExtent((width + 10) * scaleX, height * scaleY, angle, ew, eh);
    // The outline's canvas is larger by its margin.
    const double margin =
        outline ? static_cast<double>(
                      std::max(2LL * OutlineThickness(),
                               static_cast<long long>(std::clamp(outlineSmooth, 0, kMaxOutlineSmooth))))
                : 0.0;
    if (std::isfinite(ew) && std::isfinite(eh) && !FitsRenderSide(ew + margin, eh + margin)) {
        tooLarge = true;
        return {};
    }
    int cw = 0, ch = 0;
    RotatedSize((width + 10) * scaleX, height * scaleY, angle, cw, ch);
    if (cw < 1 || ch < 1) return {};
    // The text box centred on the canvas; the canvas then grows by whatever ink of the glyphs
    // (marks stacked on letters, characters from other faces, a tall line's descenders) the box
    // does not hold, without moving anything that it does.
    Growth grow;
    if (VorInkBox ink; InkBox(layout, ink)) {
        const CVorTransMatrix m = DrawingMatrix(width, height, scaleX, scaleY, angle, cw / 2.0, ch / 2.0);
        double minX = 0, minY = 0, maxX = 0, maxY = 0;
        const double xs[4] = {ink.left, ink.right, ink.right, ink.left};
        const double ys[4] = {ink.top, ink.top, ink.bottom, ink.bottom};
        for (int i = 0; i < 4; ++i) {
            double x = xs[i], y = ys[i];
            m.Transform(&x, &y);
            minX = i ? std::min(minX, x) : x, maxX = i ? std::max(maxX, x) : x;
            minY = i ? std::min(minY, y) : y, maxY = i ? std::max(maxY, y) : y;
        }
        grow = {PixelsBeyond(-minX), PixelsBeyond(-minY), PixelsBeyond(maxX - cw), PixelsBeyond(maxY - ch)};
    }
    const long long fullW = static_cast<long long>(cw) + grow.left + grow.right;
    const long long fullH = static_cast<long long>(ch) + grow.top + grow.bottom;
    if (fullW > INT_MAX || fullH > INT_MAX) return {};
    PackedDib image = CreateTransparentDIB(static_cast<int>(fullW), static_cast<int>(fullH));
    if (!image) return {};
    const double centreX = grow.left + cw / 2.0, centreY = grow.top + ch / 2.0;
    DrawRuns(image, layout, DrawingMatrix(width, height, scaleX, scaleY, angle, centreX, centreY), false);

    if (outline) {
        PackedDib outlined = AddOutline(image, layout, scaleX, scaleY, centreX, centreY);
        if (outlined) image = std::move(outlined);
    }

    const Margins trim = FindOpaqueBounds(image);
    if (trim.top == image.Height()) return {};
    if (trim.left > 0 || trim.top > 0 || trim.right > 0 || trim.bottom > 0) {
        image = CropDIB(image, trim.left, trim.top, trim.right, trim.bottom);
        if (!image) return {};
    }
    // Margins count from the text box's canvas, so that the object's centre stays the centre of
    // the laid-out text; ink beyond the box makes them negative.
    marginLeft = trim.left - grow.left;
    marginTop = trim.top - grow.top;
    marginRight = trim.right - grow.right;
    marginBottom = trim.bottom - grow.bottom;
    return image;
}

void CTextObj::GetSize(double& w, double& h) const {
    w = width * scaleX;
    h = height * scaleY;
}

CGeometryMemento CTextObj::CreateTransformUndo() {
    CGeometryMemento m;
    m.kind = KindText;
    m.scaleX = scaleX;
    m.scaleY = scaleY;
    m.angle = angle;
    m.extra[0] = marginLeft;
    m.extra[1] = marginTop;
    m.extra[2] = marginRight;
    m.extra[3] = marginBottom;
    m.shape = Ref<CObjShape>(this);
    return m;
}

void CTextObj::RestoreGeometry(const CGeometryMemento& memento) {
    scaleX = memento.scaleX;
    scaleY = memento.scaleY;
    angle = memento.angle;
    marginLeft = memento.extra[0];
    marginTop = memento.extra[1];
    marginRight = memento.extra[2];
    marginBottom = memento.extra[3];
}

PackedDib CTextObj::Transform(double sx, double sy, double newAngle) {
    // Render may clamp the scales, so dividing back would not find the old ones: keep them.
    const CGeometryMemento old = CreateTransformUndo();
    scaleX *= sx;
    scaleY *= sy;
    angle = newAngle;
    PackedDib out = Render();
    if (!out) RestoreGeometry(old);
    return out;
}

std::size_t CTextObj::Write(ByteWriter& out) const {
    if (runs.size() > static_cast<std::size_t>(INT_MAX)) return 0;
    const std::uint64_t start = out.Tell();
    WriteVectorPart(out);
    out.WriteI32(lineSpacing);
    out.WriteI32(alignment);
    out.WriteF64(scaleX);
    out.WriteF64(scaleY);
    out.WriteF64(width);
    out.WriteF64(height);
    out.WriteI32(outline);
    out.WriteU32(outlineColor);
    out.WriteI32(outlineThickness);
    out.WriteI32(outlineTransparency);
    out.WriteI32(outlineSmooth);
    out.WriteI32(static_cast<LONG>(runs.size()));
    for (const CTextRun& run : runs) {
        if (run.text.size() > static_cast<std::size_t>(INT_MAX / 2)) return 0;
        // Single-byte text, at most 31 characters and always a terminator.
        char face[kFaceBytes] = {};
        const std::string bytes = Utf8ToAnsi(run.face, kFaceBytes - 1);
        std::memcpy(face, bytes.data(), bytes.size());
        out.Write(face, kFaceBytes);
        out.WriteI32(run.size);
        out.WriteI32(run.bold);
        out.WriteI32(run.italic);
        out.WriteI32(run.outlined);
        out.WriteI32(run.baselineOffset);
        out.WriteI32(run.spacing);
        out.WriteI32(run.capacity);
        out.WriteI32(static_cast<LONG>(run.text.size()));
        for (char16_t c : run.text)
            out.WriteU16(c);
        out.WriteI32(run.lineEnd);
        out.WriteI32(run.charSet);
    }
    if (out.Failed()) return 0;
    return static_cast<std::size_t>(out.Tell() - start);
}

bool CTextObj::Read(ByteReader& in) try {
    CTextObj r;
    LONG lineSpacing = 0, alignment = 0, outline = 0, thickness = 0, transparency = 0, smooth = 0, count = 0;
    DWORD outlineColor = 0;
    if (!r.ReadVectorPart(in) || !in.ReadI32(lineSpacing) || !in.ReadI32(alignment) ||
        !in.ReadF64(r.scaleX) || !in.ReadF64(r.scaleY) || !in.ReadF64(r.width) || !in.ReadF64(r.height) ||
        !in.ReadI32(outline) || !in.ReadU32(outlineColor) || !in.ReadI32(thickness) ||
        !in.ReadI32(transparency) || !in.ReadI32(smooth) || !in.ReadI32(count))
        return false;
    if (count < 0 || static_cast<std::uint64_t>(count) > in.Remaining() / kRunFixedBytes) return false;
    r.lineSpacing = lineSpacing;
    r.alignment = alignment;
    r.outline = outline;
    r.outlineColor = outlineColor;
    r.outlineThickness = thickness;
    r.outlineTransparency = transparency;
    r.outlineSmooth = smooth;
    r.runs.resize(static_cast<std::size_t>(count));
    for (CTextRun& run : r.runs) {
        char face[kFaceBytes];
        LONG size = 0, bold = 0, italic = 0, outlined = 0, offset = 0, spacing = 0, capacity = 0, n = 0;
        if (!in.Read(face, kFaceBytes) || !in.ReadI32(size) || !in.ReadI32(bold) || !in.ReadI32(italic) ||
            !in.ReadI32(outlined) || !in.ReadI32(offset) || !in.ReadI32(spacing) || !in.ReadI32(capacity) ||
            !in.ReadI32(n))
            return false;
        // The characters are sized by the length actually stored, never by the capacity field,
        // which may be too small for them or absurdly large.
        if (n < 0 || static_cast<std::uint64_t>(n) > in.Remaining() / 2) return false;
        std::vector<BYTE> bytes;
        if (!in.ReadBytes(bytes, 2 * static_cast<std::size_t>(n))) return false;
        LONG lineEnd = 0, charSet = 0;
        if (!in.ReadI32(lineEnd) || !in.ReadI32(charSet)) return false;
        run.face = AnsiToUtf8(std::string_view(face, strnlen(face, kFaceBytes - 1)));
        run.size = size;
        run.bold = bold;
        run.italic = italic;
        run.outlined = outlined;
        run.baselineOffset = offset;
        run.spacing = spacing;
        run.capacity = capacity;
        run.text.resize(static_cast<std::size_t>(n));
        for (std::size_t i = 0; i < run.text.size(); ++i)
            run.text[i] = static_cast<char16_t>(bytes[2 * i] | (bytes[2 * i + 1] << 8));
        run.lineEnd = lineEnd;
        run.charSet = charSet;
    }
    *this = std::move(r);
    return true;
} catch (const std::bad_alloc&) {
    return false;
}

Ref<CObjShape> CTextObj::Clone() const try {
    return MakeRef<CTextObj>(*this);
} catch (const std::bad_alloc&) {
    return {};
}

void CTextObj::GetCenterCorrection(double& dx, double& dy) const {
    dx = (marginRight - marginLeft) / 2.0;
    dy = (marginBottom - marginTop) / 2.0;
}

} // namespace zepho
