#include "model/ClipRecord.h"

#include "model/ShadowRecord.h"

#include "model/DibStream.h"
#include "model/ShapeFactory.h"
#include "platform/ByteStream.h"
#include "platform/PixelBudget.h"
#include "raster/Dib.h"

#include <cstring>

namespace zepho {

namespace {
constexpr std::uint32_t kEntrySize = 52;
constexpr std::uint32_t kTableStart = 12;
} // namespace

std::vector<BYTE> WriteClipBlock(const std::vector<CClipItem>& items) {
    // Empty when the items are too large for the block's 32-bit offsets.
    MemoryWriter out;
    out.Write("QZI 2005", 8);
    out.WriteI32(static_cast<LONG>(items.size()));
    const CObjContent defaults;
    for (const CClipItem& item : items) {
        // A cut-out is a plain image object with the default shadow settings.
        const CObjContent& c = item.cutout ? defaults : *item.content;
        out.WriteI32(0);
        out.WriteI32(0);
        out.WriteI32(item.cutout ? KindImage : c.kind);
        out.WriteI32(item.position.x);
        out.WriteI32(item.position.y);
        out.WriteI32(item.cutout ? 0 : item.transparency);
        out.WriteI32(c.filter);
        WriteShadowRecord(out, c, !item.cutout && c.HasShadow());
    }
    std::uint64_t start = out.Tell();
    for (std::size_t i = 0; i < items.size(); ++i) {
        const CClipItem& item = items[i];
        if (item.cutout)
            WriteDIBStream(out, item.cutout);
        else if (item.content->shape)
            item.content->shape->Write(out);
        else
            WriteDIBStream(out, item.content->raster);
        const std::uint64_t end = out.Tell();
        if (end > 0x7FFFFFFFu) return {}; // beyond what the entries can address
        out.Seek(kTableStart + i * kEntrySize);
        out.WriteI32(static_cast<LONG>(start));
        out.WriteI32(static_cast<LONG>(end - start));
        out.Seek(end);
        start = end;
    }
    return out.Take();
}

namespace {

bool ReadItem(ByteReader& in, std::uint64_t entryPos, const NameForKind& nameFor, CClipItem& item) {
    LONG offset = 0, size = 0, kind = 0, transparency = 0, filter = 0, on = 0;
    Ref<CObjContent> c = MakeRef<CObjContent>();
    if (!in.Seek(entryPos) || !in.ReadI32(offset) || !in.ReadI32(size) || !in.ReadI32(kind) ||
        !in.ReadI32(item.position.x) || !in.ReadI32(item.position.y) || !in.ReadI32(transparency) ||
        !in.ReadI32(filter) || !ReadShadowRecord(in, *c, true, on))
        return false;
    if (offset < 0 || size < 0 ||
        static_cast<std::uint64_t>(offset) + static_cast<std::uint64_t>(size) > in.Size())
        return false;
    item.position.x = ClampStoredPosition(item.position.x);
    item.position.y = ClampStoredPosition(item.position.y);
    c->kind = kind;
    c->filter = filter;
    item.transparency = std::clamp<LONG>(transparency, 0, 255);
    const std::uint64_t end = static_cast<std::uint64_t>(offset) + static_cast<std::uint64_t>(size);
    in.Seek(static_cast<std::uint64_t>(offset));
    Ref<CObjShape> shape;
    PackedDib raster;
    if (kind >= KindEllipse && kind <= KindText) {
        shape = CreateShapeOfKind(kind);
        if (shape && shape->Read(in) && in.Tell() <= end) raster = shape->Render();
    } else {
        raster = ReadDIBStream(in, static_cast<std::uint64_t>(size));
    }
    if (!raster || in.Tell() > end) return false;
    c->name = nameFor ? nameFor(kind) : std::string();
    c->SetRaster(std::move(raster));
    c->SetShape(shape);
    if (on) c->UpdateShadow();
    item.content = c;
    return true;
}

} // namespace

std::vector<CClipItem> ReadClipBlock(std::span<const BYTE> block, const NameForKind& nameFor) {
    std::vector<CClipItem> items;
    MemoryReader in(block);
    char head[8];
    LONG n = 0;
    if (!in.Read(head, 8) || std::memcmp(head, "QZI 2005", 8) != 0 || !in.ReadI32(n) || n < 0) return items;
    if (static_cast<std::uint64_t>(n) * kEntrySize > in.Remaining()) return items;
    // Entries that share one payload are not a block we wrote.
    std::vector<ByteRange> ranges;
    for (LONG i = 0; i < n; ++i) {
        LONG offset = 0, size = 0;
        if (!in.Seek(kTableStart + static_cast<std::uint64_t>(i) * kEntrySize) || !in.ReadI32(offset) ||
            !in.ReadI32(size))
            return items;
        // An entry whose payload is not wholly in the block spoils only itself, below.
        if (offset >= 0 && size >= 0 &&
            static_cast<std::uint64_t>(offset) + static_cast<std::uint64_t>(size) <= in.Size())
            ranges.push_back({static_cast<std::uint64_t>(offset), static_cast<std::uint64_t>(size)});
    }
    if (AnyRangesOverlap(std::move(ranges))) return items;
    // A pasted block holds no more pixels than an opened document may.
    PixelBudgetScope budget;
    for (LONG i = 0; i < n; ++i) {
        // A reader of its own per item: one damaged item must not stop the others.
        MemoryReader itemIn(block);
        CClipItem item;
        if (ReadItem(itemIn, kTableStart + static_cast<std::uint64_t>(i) * kEntrySize, nameFor, item))
            items.push_back(std::move(item));
    }
    if (budget.Refused()) items.clear();
    return items;
}

bool CopyToClipboard(IClipboard& clipboard, const std::vector<CClipItem>& items) {
    if (items.empty()) return false;
    const std::vector<BYTE> block = WriteClipBlock(items);
    return !block.empty() && clipboard.SetContents(&block, nullptr);
}

std::vector<CClipItem> PasteFromClipboard(const IClipboard& clipboard, const NameForKind& nameFor) {
    std::vector<BYTE> block;
    if (clipboard.HasPrivate() && clipboard.GetPrivate(block)) return ReadClipBlock(block, nameFor);
    std::vector<CClipItem> items;
    if (!clipboard.HasDib()) return items;
    PackedDib dib = clipboard.GetDib();
    PackedDib pixels = dib.Is32() ? std::move(dib) : ConvertTo32(dib);
    if (!pixels) return items;
    CClipItem item;
    item.content = MakeRef<CObjContent>(KindImage);
    item.content->name = nameFor ? nameFor(KindImage) : std::string();
    item.content->SetRaster(std::move(pixels));
    items.push_back(std::move(item));
    return items;
}

} // namespace zepho
