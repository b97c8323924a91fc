#include "model/DocDump.h"

#include "platform/ByteStream.h"
#include "platform/Format.h"

namespace zepho {

namespace {
std::uint64_t Fnv(const BYTE* p, std::size_t n, std::uint64_t h = 14695981039346656037ull) {
    for (std::size_t i = 0; i < n; ++i)
        h = (h ^ p[i]) * 1099511628211ull;
    return h;
}

std::string DumpShape(const CObjShape& shape) {
    double w = 0, h = 0;
    shape.GetSize(w, h);
    // The shape's own record covers its paint and geometry whatever its kind.
    MemoryWriter out;
    const std::size_t n = shape.Write(out);
    const std::uint64_t sum = n ? Fnv(out.Data().data(), out.Data().size()) : 0;
    return Format("  shape kind=%d angle=%.17g size=%.17gx%.17g record=%zu:%016llx\n", shape.Kind(),
                  shape.angle, w, h, n, static_cast<unsigned long long>(sum));
}
} // namespace

std::uint64_t DibChecksum(const PackedDib& dib) {
    return dib ? Fnv(dib.Data(), dib.Size()) : 0;
}

std::string DumpDocument(const CDocImage& doc, const DumpOptions& options) {
    std::string s = Format("canvas %dx%d gif=%02x/%u/%02x matte=%06x bg=%d delay=%u objects=%d\n", doc.width,
                           doc.height, doc.gifControlFlags, doc.gifTransparentIndex, doc.gifImageFlags,
                           doc.matteColour, doc.gifBackgroundIndex, doc.delay, doc.objects.Count());
    int i = 0;
    for (const auto& o : doc.objects) {
        s += Format("[%d] at=%d,%d visible=%d locked=%d transparency=%u fallback=%dx%d\n", i++, o->x, o->y,
                    o->visible, o->locked, o->transparency, o->fallbackWidth, o->fallbackHeight);
        const CObjContent* c = o->content.Get();
        if (!c) continue;
        s += Format("  \"%s\" kind=%d filter=%d raster=%dx%dx%d:%016llx\n", c->name.c_str(), c->kind,
                    c->filter, c->width, c->height, c->bitCount,
                    static_cast<unsigned long long>(DibChecksum(c->raster)));
        if (options.selection) s += Format("  selected=%d\n", c->selected);
        s += Format("  shadow type=%d offset=%d,%d size=%u transparency=%u smooth=%u colour=%06x skew=%u "
                    "perspective=%u\n",
                    c->shadowType, c->shadowOffsetX, c->shadowOffsetY, c->shadowSize, c->shadowTransparency,
                    c->shadowSmooth, c->shadowColour, c->shadowSkew, c->shadowPerspective);
        // The placement is derived from the shadow raster and means nothing without it.
        if (c->HasShadow())
            s += Format("  shadow on pos=%d,%d raster=%016llx\n", c->shadowPosX, c->shadowPosY,
                        static_cast<unsigned long long>(DibChecksum(c->shadowRaster)));
        if (c->shape) s += DumpShape(*c->shape);
    }
    return s;
}

} // namespace zepho
