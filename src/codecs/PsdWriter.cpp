#include "codecs/PsdWriter.h"

#include "codecs/PsdCodec.h"
#include "codecs/PsdReader.h"
#include "model/DibStream.h"
#include "model/Frame.h"
#include "platform/AnsiText.h"
#include "platform/ByteStream.h"
#include "raster/Blend.h"
#include "raster/Dib.h"

#include <algorithm>
#include <climits>
#include <cstring>

namespace zepho {

namespace {

// The channel table of every layer: transparency, red, green, blue, and the byte of a BGRA pixel
// each is taken from.
constexpr std::int16_t kChannelIds[4] = {-1, 0, 1, 2};
constexpr int kChannelPlanes[4] = {3, 2, 1, 0};

constexpr std::size_t kFlushBytes = 256 * 1024;

bool FitsLong(long long v) {
    return v >= INT_MIN && v <= INT_MAX;
}

void WriteZeros(ByteWriter& out, std::uint64_t n) {
    static const BYTE zeros[4096] = {};
    while (n > 0 && !out.Failed()) {
        const std::size_t k = static_cast<std::size_t>(std::min<std::uint64_t>(n, sizeof zeros));
        out.Write(zeros, k);
        n -= k;
    }
}

} // namespace

std::size_t PsdWriter::PackBitsEncode(const BYTE* src, std::size_t stride, std::size_t count, BYTE* dst) {
    if (count == 0) return 0;
    std::vector<BYTE> gathered(count + PackBitsSlack);
    for (std::size_t i = 0; i < count; ++i)
        gathered[i] = src[i * stride];
    return PackBitsEncodeRow(gathered.data(), count, dst);
}

std::string PsdWriter::LayerName(const std::string& name) {
    return CutUtf8Bytes(name, 255);
}

std::vector<BYTE> PsdWriter::PascalName(const std::string& name) {
    const std::string stored = LayerName(name);
    // The length byte and the characters, then zeros up to a multiple of 4 bytes.
    std::vector<BYTE> out((1 + stored.size() + 3) / 4 * 4, 0);
    out[0] = static_cast<BYTE>(stored.size());
    std::memcpy(out.data() + 1, stored.data(), stored.size());
    return out;
}

std::vector<BYTE> PsdWriter::UnicodeName(const std::string& name) {
    const std::u16string text = Utf8ToUtf16(name);
    const std::size_t data = 4 + 2 * text.size(), padded = (data + 3) / 4 * 4;
    std::vector<BYTE> out(12 + padded, 0);
    std::memcpy(out.data(), "8BIMluni", 8);
    auto put32 = [&](std::size_t at, std::size_t v) {
        for (int i = 0; i < 4; ++i)
            out[at + i] = static_cast<BYTE>(v >> (24 - 8 * i));
    };
    put32(8, padded);
    put32(12, text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        out[16 + 2 * i] = static_cast<BYTE>(text[i] >> 8);
        out[17 + 2 * i] = static_cast<BYTE>(text[i]);
    }
    return out;
}

namespace {

// A rectangle in 64-bit coordinates, empty when right <= left or bottom <= top.
struct Box {
    long long left = 0, top = 0, right = 0, bottom = 0;
    bool Empty() const { return right <= left || bottom <= top; }
    unsigned long long Area() const {
        return Empty() ? 0
                       : static_cast<unsigned long long>(right - left) *
                             static_cast<unsigned long long>(bottom - top);
    }
    Box Union(const Box& o) const {
        if (Empty()) return o;
        if (o.Empty()) return *this;
        return {std::min(left, o.left), std::min(top, o.top), std::max(right, o.right),
                std::max(bottom, o.bottom)};
    }
    Box Intersect(const Box& o) const {
        const Box b{std::max(left, o.left), std::max(top, o.top), std::min(right, o.right),
                    std::min(bottom, o.bottom)};
        return b.Empty() ? Box{} : b;
    }
};

Box RasterBox(const CDrawObj& obj) {
    const PackedDib& r = obj.content->raster;
    return {obj.x, obj.y, 0LL + obj.x + r.Width(), 0LL + obj.y + r.Height()};
}

Box ShadowBox(const CDrawObj& obj) {
    const CObjContent& c = *obj.content;
    if (!c.shadowRaster.Is32()) return {};
    const long long sx = 0LL + obj.x + c.shadowPosX, sy = 0LL + obj.y + c.shadowPosY;
    return {sx, sy, sx + c.shadowRaster.Width(), sy + c.shadowRaster.Height()};
}

} // namespace

void PsdWriter::PlanLayer(const CDrawObj& obj, int canvasWidth, int canvasHeight, Layer& layer) {
    layer.obj = &obj;
    layer.opacity = static_cast<BYTE>(255 - obj.transparency);
    layer.clipped = false;
    const PackedDib* raster = obj.content ? &obj.content->raster : nullptr;
    layer.left = layer.right = obj.x;
    layer.top = layer.bottom = obj.y;
    if (!raster || !*raster) return;
    // The rectangle of the image LayerImage() makes: the raster's, and with a shadow the union
    // with the shadow's (the shadow's transparency is then baked into the pixels).
    const Box object = RasterBox(obj), shadow = ShadowBox(obj), canvas{0, 0, canvasWidth, canvasHeight};
    Box box = object.Union(shadow);
    const auto fits = [](long long v) { return FitsLong(v); };
    const bool whole = fits(box.left) && fits(box.top) && fits(box.right) && fits(box.bottom) &&
                       box.right - box.left <= PsdReader::kMaxSide &&
                       box.bottom - box.top <= PsdReader::kMaxSide &&
                       box.Area() <= object.Area() + shadow.Area() + canvas.Area();
    if (!whole) {
        // The parts the canvas shows; nothing shown leaves an empty layer at the canvas origin.
        box = object.Intersect(canvas).Union(shadow.Intersect(canvas));
        layer.clipped = true;
    }
    layer.left = box.left;
    layer.top = box.top;
    layer.right = box.right;
    layer.bottom = box.bottom;
    if (obj.content->HasShadow()) layer.opacity = 255;
}

PackedDib PsdWriter::BuildLayerImage(const Layer& layer) {
    const CDrawObj& obj = *layer.obj;
    const CObjContent& c = *obj.content;
    PackedDib image = c.raster.Is32() ? PackedDib() : ConvertTo32(c.raster);
    const PackedDib& raster = image ? image : c.raster;
    if (layer.clipped) {
        // Only what lies inside the layer is drawn, and whatever lies inside it lies on the
        // canvas, so its position fits 32 bits.
        const Box box{layer.left, layer.top, layer.right, layer.bottom};
        PackedDib out = CreateTransparentDIB(static_cast<int>(box.right - box.left),
                                             static_cast<int>(box.bottom - box.top));
        if (!out) return out;
        const POINT origin{static_cast<LONG>(box.left), static_cast<LONG>(box.top)};
        const Box shadow = ShadowBox(obj).Intersect(box), object = RasterBox(obj).Intersect(box);
        if (c.HasShadow()) {
            const Box s = ShadowBox(obj);
            if (!shadow.Empty())
                CopyLayer(out, origin, c.shadowRaster,
                          POINT{static_cast<LONG>(s.left), static_cast<LONG>(s.top)},
                          obj.ShadowTransparency());
            if (!object.Empty()) CompositeOver(out, origin, raster, obj.Position(), obj.transparency);
        } else if (!object.Empty()) {
            // Without a shadow the layer's opacity carries the transparency, as for a whole layer.
            CopyLayer(out, origin, raster, obj.Position(), 0);
        }
        return out;
    }
    if (c.HasShadow()) {
        POINT pos{};
        image = MergeImages(c.shadowRaster, POINT{obj.x + c.shadowPosX, obj.y + c.shadowPosY},
                            obj.ShadowTransparency(), raster, obj.Position(), obj.transparency, pos);
        if (image && (pos.x != layer.left || pos.y != layer.top)) image.Reset();
    }
    return image;
}

void PsdWriter::WriteRecord(ByteWriter& out, Layer& layer) {
    out.WriteI32BE(static_cast<LONG>(layer.top));
    out.WriteI32BE(static_cast<LONG>(layer.left));
    out.WriteI32BE(static_cast<LONG>(layer.bottom));
    out.WriteI32BE(static_cast<LONG>(layer.right));
    out.WriteU16BE(4);
    layer.tablePos = out.Tell();
    for (std::int16_t id : kChannelIds) {
        out.WriteI16BE(id);
        out.WriteU32BE(0); // filled in when the data is written
    }
    out.Write("8BIMnorm", 8);
    const BYTE fields[4] = {layer.opacity, 0, static_cast<BYTE>(layer.obj->visible ? 0 : 2), 0};
    out.Write(fields, sizeof fields);
    const std::string text = layer.obj->content ? layer.obj->content->name : std::string();
    const std::vector<BYTE> name = PascalName(text), wide = UnicodeName(text);
    out.WriteU32BE(static_cast<DWORD>(8 + name.size() + wide.size()));
    out.WriteU32BE(0); // no mask
    out.WriteU32BE(0); // no blending ranges
    out.Write(name.data(), name.size());
    out.Write(wide.data(), wide.size());
}

bool PsdWriter::WritePlane(ByteWriter& out, const PackedDib& image, int plane, WORD* counts,
                           IProgress* rowProgress) {
    const int w = image.Width(), h = image.Height();
    const std::size_t uw = static_cast<std::size_t>(w), bound = PackBitsBound(uw);
    gathered_.resize(uw + PackBitsSlack);
    packed_.resize(std::max(bound, kFlushBytes));
    std::size_t used = 0;
    for (int y = 0; y < h; ++y) {
        if (packed_.size() - used < bound) {
            out.Write(packed_.data(), used);
            used = 0;
        }
        const BYTE* src = image.Row(y) + plane;
        for (std::size_t x = 0; x < uw; ++x)
            gathered_[x] = src[4 * x];
        const std::size_t n = PackBitsEncodeRow(gathered_.data(), uw, packed_.data() + used);
        if (n > 0xFFFF) return false; // a row count is 16 bits
        counts[y] = static_cast<WORD>(n);
        used += n;
        if (rowProgress) Step(rowProgress);
    }
    out.Write(packed_.data(), used);
    return !out.Failed();
}

void PsdWriter::PatchCounts(ByteWriter& out, std::uint64_t pos, const std::vector<WORD>& counts) {
    const std::uint64_t end = out.Tell();
    std::vector<BYTE> bytes(2 * counts.size());
    for (std::size_t i = 0; i < counts.size(); ++i) {
        bytes[2 * i] = static_cast<BYTE>(counts[i] >> 8);
        bytes[2 * i + 1] = static_cast<BYTE>(counts[i]);
    }
    out.Seek(pos);
    out.Write(bytes.data(), bytes.size());
    out.Seek(end);
}

bool PsdWriter::WriteLayerData(ByteWriter& out, Layer& layer) {
    // An object without a raster, or of which the canvas shows nothing, gets an empty layer; a
    // plain 32-bit raster is written as it is.
    const CObjContent* c = layer.obj->content.Get();
    PackedDib built;
    const PackedDib* image = nullptr;
    if (c && c->raster && layer.right > layer.left && layer.bottom > layer.top) {
        if (c->raster.Is32() && !c->HasShadow() && !layer.clipped) {
            image = &c->raster;
        } else {
            built = BuildLayerImage(layer);
            image = &built;
        }
        if (!*image || image->Width() != layer.right - layer.left ||
            image->Height() != layer.bottom - layer.top)
            return false;
    }
    const std::size_t h = image ? static_cast<std::size_t>(image->Height()) : 0;
    std::vector<WORD> counts(h);
    for (int k = 0; k < 4; ++k) {
        const std::uint64_t start = out.Tell();
        out.WriteU16BE(1); // PackBits
        const std::uint64_t table = out.Tell();
        WriteZeros(out, 2 * h);
        if (image && !WritePlane(out, *image, kChannelPlanes[k], counts.data(), nullptr)) return false;
        PatchCounts(out, table, counts);
        const std::uint64_t length = out.Tell() - start;
        if (length > 0xFFFFFFFFu) return false;
        layer.lengths[k] = static_cast<DWORD>(length);
    }
    return !out.Failed();
}

void PsdWriter::Step(IProgress* progress) {
    ++stepsDone_;
    if (!progress) return;
    const int percent = static_cast<int>(std::min<std::uint64_t>(100, stepsDone_ * 100 / stepsTotal_));
    if (percent == lastPercent_) return;
    lastPercent_ = percent;
    progress->SetPos(percent);
    progress->Pump();
}

bool PsdWriter::Write(ByteWriter& out, const CDrawObjList& objects, const PackedDib& composite,
                      IProgress* progress) {
    if (!composite.Is32()) return false;
    const int w = composite.Width(), h = composite.Height();
    layers_.assign(static_cast<std::size_t>(objects.Count()), Layer());
    if (layers_.size() > 0x7FFF) return false; // the layer count is a signed 16-bit number
    for (std::size_t i = 0; i < layers_.size(); ++i)
        PlanLayer(*objects.At(static_cast<int>(i)), w, h, layers_[i]);
    stepsDone_ = 0;
    stepsTotal_ = std::max<std::uint64_t>(1, layers_.size() + 3ULL * static_cast<std::uint64_t>(h));
    lastPercent_ = -1;

    out.Write("8BPS", 4);
    out.WriteU16BE(1);
    WriteZeros(out, 6);
    out.WriteU16BE(3); // red, green, blue
    out.WriteU32BE(static_cast<DWORD>(h));
    out.WriteU32BE(static_cast<DWORD>(w));
    out.WriteU16BE(8);
    out.WriteU16BE(3); // RGB
    out.WriteU32BE(0); // no colour mode data
    out.WriteU32BE(0); // no image resources

    sectionPos_ = out.Tell();
    out.WriteU32BE(0); // section length, filled in below
    out.WriteU32BE(0); // layer info length, filled in below
    out.WriteI16BE(static_cast<std::int16_t>(layers_.size()));
    for (Layer& layer : layers_)
        WriteRecord(out, layer);
    for (Layer& layer : layers_) {
        if (!WriteLayerData(out, layer)) return false;
        Step(progress);
    }
    // The layer info is padded to an even length, as readers expect.
    if ((out.Tell() - sectionPos_) % 2) out.WriteU8(0);
    out.WriteU32BE(0); // no global mask
    const std::uint64_t end = out.Tell();
    const std::uint64_t sectionLength = end - sectionPos_ - 4;
    if (sectionLength > 0xFFFFFFFFu) return false;
    out.Seek(sectionPos_);
    out.WriteU32BE(static_cast<DWORD>(sectionLength));
    out.WriteU32BE(static_cast<DWORD>(sectionLength - 8));
    for (const Layer& layer : layers_)
        for (int k = 0; k < 4; ++k) {
            out.Seek(layer.tablePos + 6 * static_cast<std::uint64_t>(k) + 2);
            out.WriteU32BE(layer.lengths[k]);
        }
    out.Seek(end);

    // The composite: one count table for all three planes, then red, green and blue.
    out.WriteU16BE(1);
    const std::uint64_t table = out.Tell();
    const std::size_t rows = static_cast<std::size_t>(h);
    WriteZeros(out, 6 * static_cast<std::uint64_t>(rows));
    std::vector<WORD> counts(3 * rows);
    for (int c = 0; c < 3; ++c)
        if (!WritePlane(out, composite, 2 - c, counts.data() + c * rows, progress)) return false;
    PatchCounts(out, table, counts);
    return !out.Failed();
}

namespace {

// The visible objects drawn over the background, as the generic export flattens them.
PackedDib Flatten(const CDocImage& doc, COLORREF background) {
    PackedDib composite = CreateSolidDIB(doc.width, doc.height, background, 255);
    if (composite) FlattenFrame(doc.objects, composite, POINT{0, 0}, 1);
    return composite;
}

} // namespace

bool ExportPsd(const CDocImage& doc, ByteWriter& out, IProgress* progress, COLORREF background) {
    const PackedDib composite = Flatten(doc, background);
    return composite && PsdWriter().Write(out, doc.objects, composite, progress);
}

bool ExportPsd(const CDocImage& doc, const std::string& path, IProgress* progress, COLORREF background) {
    const PackedDib composite = Flatten(doc, background);
    if (!composite) return false;
    FileWriter file(path);
    if (!file.IsOpen()) return false;
    // On failure the temporary file goes with `file` and the target stays as it was.
    return PsdWriter().Write(file, doc.objects, composite, progress) && file.Commit();
}

bool ExportPsd(const CDocImage& doc, const std::string& path, IProgress* progress) {
    return ExportPsd(doc, path, progress, RGB(255, 255, 255));
}

} // namespace zepho
