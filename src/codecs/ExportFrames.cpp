#include "codecs/ExportFrames.h"

#include "platform/ByteStream.h"
#include "raster/Blend.h"
#include "raster/Dib.h"

#include <algorithm>

namespace zepho {

std::vector<PackedDib> AnimationFrames(const CDocImage& doc) {
    std::vector<PackedDib> frames;
    PackedDib canvas = CreateTransparentDIB(doc.width, doc.height);
    if (!canvas) return frames;
    // The first layer drawn is copied and the later ones composed over it, as for one flattening
    // of the whole stack, so the last frame equals the document's own composite.
    bool first = true;
    auto draw = [&](const PackedDib& img, POINT pos, int transparency) {
        if (first)
            CopyLayer(canvas, POINT{0, 0}, img, pos, transparency);
        else
            CompositeOver(canvas, POINT{0, 0}, img, pos, transparency);
        first = false;
    };
    for (const auto& ref : doc.objects) {
        const CDrawObj& o = *ref;
        if (!o.visible || !o.content || !o.content->raster) continue;
        const CObjContent& c = *o.content;
        if (c.HasShadow())
            draw(c.shadowRaster, POINT{o.x + c.shadowPosX, o.y + c.shadowPosY}, o.ShadowTransparency());
        draw(c.raster, o.Position(), o.transparency);
        PackedDib frame = canvas.Clone();
        if (!frame) return {};
        frames.push_back(std::move(frame));
    }
    return frames;
}

bool ExportFramesWith(const CDocImage& doc, const std::string& path, bool animate,
                      const FrameEncoder& encode) {
    std::vector<PackedDib> images;
    if (animate) {
        images = AnimationFrames(doc);
    } else if (PackedDib flat = doc.CompositeVisible(doc.width, doc.height)) {
        images.push_back(std::move(flat));
    }
    if (images.empty()) return false;
    std::vector<const PackedDib*> frames;
    for (const PackedDib& f : images)
        frames.push_back(&f);
    // The document's delay is in hundredths of a second; a zero delay still has to advance.
    const int frameMs = std::max(10 * static_cast<int>(doc.delay), 10);
    std::vector<BYTE> bytes;
    if (!encode(frames, frameMs, bytes)) return false;
    FileWriter out(path);
    return out.IsOpen() && out.Write(bytes.data(), bytes.size()) && out.Commit();
}

} // namespace zepho
