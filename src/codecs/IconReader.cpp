#include "codecs/IconReader.h"

#include "codecs/FileTypes.h"
#include "codecs/IconCodec.h"
#include "extlib/PngFile.h"
#include "platform/ByteStream.h"
#include "raster/Dib.h"

#include <algorithm>
#include <cstring>

namespace zepho {

namespace {

constexpr BYTE kPngSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};

bool ValidBitCount(int bits) {
    return bits == 1 || bits == 4 || bits == 8 || bits == 16 || bits == 24 || bits == 32;
}

std::uint64_t RowBytes64(std::uint64_t width, int bits) {
    return (width * static_cast<unsigned>(bits) + 31) / 32 * 4;
}

// A 32-bit image of the old kind leaves its fourth byte zero and relies on the mask.
bool HasAlpha(const PackedDib& dib32) {
    const std::size_t n = static_cast<std::size_t>(dib32.Width()) * dib32.Height();
    const BYTE* p = dib32.Bits();
    for (std::size_t i = 0; i < n; ++i)
        if (p[4 * i + 3] != 0) return true;
    return false;
}

} // namespace

bool EntriesShareImages(const std::vector<IconDirEntry>& entries, std::uint64_t end) {
    std::vector<ByteRange> ranges;
    ranges.reserve(entries.size());
    for (const IconDirEntry& e : entries) {
        if (e.imageOffset >= end) continue; // refused when its image is read
        const std::uint64_t size = std::clamp<std::uint64_t>(e.bytesInRes, 1, end - e.imageOffset);
        ranges.push_back({e.imageOffset, size});
    }
    return AnyRangesOverlap(std::move(ranges));
}

bool ReadIconDirectory(ByteReader& in, std::uint64_t end, WORD& type, std::vector<IconDirEntry>& entries) {
    entries.clear();
    WORD reserved = 0, count = 0;
    if (in.Tell() > end || end - in.Tell() < 6) return false;
    if (!in.ReadU16(reserved) || !in.ReadU16(type) || !in.ReadU16(count)) return false;
    if ((type != kIconType && type != kCursorType) || count == 0) return false;
    if (end - in.Tell() < std::uint64_t{16} * count) return false;
    entries.resize(count);
    for (IconDirEntry& e : entries) {
        BYTE reservedByte = 0;
        in.ReadU8(e.width);
        in.ReadU8(e.height);
        in.ReadU8(e.colorCount);
        in.ReadU8(reservedByte);
        in.ReadU16(e.planes);
        in.ReadU16(e.bitCount);
        in.ReadU32(e.bytesInRes);
        in.ReadU32(e.imageOffset);
    }
    return !in.Failed();
}

PackedDib ReadIconImage(ByteReader& in, std::uint64_t end, bool withMask, bool make32) {
    const std::uint64_t start = in.Tell();
    if (start > end || end - start < sizeof(BITMAPINFOHEADER)) return {};
    BITMAPINFOHEADER h;
    if (!in.Read(&h, sizeof h)) return {};
    // A longer header (a later version of the structure) is skipped; the table follows it.
    if (h.biSize < sizeof h || h.biSize > end - start) return {};
    if (!in.Skip(h.biSize - sizeof h)) return {};

    const int bits = h.biBitCount;
    const LONG width = h.biWidth;
    // The stored height counts the colour rows and the mask rows; a top-down (negative) one is refused.
    const LONG height = h.biHeight / 2;
    if (width <= 0 || height <= 0 || !ValidBitCount(bits) || h.biCompression != BI_RGB) return {};
    std::uint64_t colours = 0;
    if (bits <= 8) {
        if (h.biClrUsed > (1u << bits)) return {};
        colours = h.biClrUsed ? h.biClrUsed : 1u << bits;
    }
    // Everything the image needs must be in the file before anything is allocated: a header that
    // claims a huge image in a few bytes fails here.
    const std::uint64_t xorBytes = RowBytes64(static_cast<std::uint64_t>(width), bits) * height;
    const std::uint64_t andBytes = RowBytes64(static_cast<std::uint64_t>(width), 1) * height;
    const std::uint64_t need = 4 * colours + xorBytes + (withMask ? andBytes : 0);
    if (need > end - in.Tell()) return {};

    PackedDib image = PackedDib::Create(width, height, bits, static_cast<int>(colours));
    if (!image || image.Stride() * static_cast<std::size_t>(height) != xorBytes) return {};
    if (colours) {
        RGBQUAD* table = image.ColorTable();
        if (!in.Read(table, 4 * colours)) return {};
        for (std::uint64_t i = 0; i < colours; ++i)
            table[i].rgbReserved = 0;
    }
    if (!in.Read(image.Bits(), xorBytes)) return {};

    PackedDib mask;
    if (withMask) {
        mask = PackedDib::Create(width, height, 1, 2);
        if (!mask) return {};
        mask.ColorTable()[1] = RGBQUAD{255, 255, 255, 0};
        if (!in.Read(mask.Bits(), andBytes)) return {};
    }
    if (!make32) return image;
    // An image with an alpha channel of its own does without the mask.
    if (bits == 32 && HasAlpha(image)) return image;
    return ConvertTo32(image, mask ? &mask : nullptr);
}

PackedDib ReadIconEntryImage(ByteReader& in, std::uint64_t base, std::uint64_t end, const IconDirEntry& entry,
                             bool withMask, bool make32) {
    if (base > end || entry.imageOffset > end - base) return {};
    const std::uint64_t at = base + entry.imageOffset;
    BYTE signature[8] = {};
    if (end - at >= sizeof signature) {
        if (!in.Seek(at) || !in.Read(signature, sizeof signature)) return {};
    }
    if (std::memcmp(signature, kPngSignature, sizeof signature) != 0) {
        // The BITMAPINFOHEADER says how large the image is; the entry's byte count is not needed.
        if (!in.Seek(at)) return {};
        return ReadIconImage(in, end, withMask, make32);
    }
    // A PNG image is as long as the entry says, and that must be in the file.
    if (entry.bytesInRes > end - at) return {};
    std::vector<BYTE> png;
    if (!in.Seek(at) || !in.ReadBytes(png, entry.bytesInRes)) return {};
    PackedDib image = DecodePng(png, nullptr);
    if (image && make32 && image.BitCount() != 32) image = ConvertTo32(image);
    return image;
}

void AppendIconObject(CDocImage& doc, PackedDib image) {
    doc.width = std::max(doc.width, image.Width());
    doc.height = std::max(doc.height, image.Height());
    Ref<CObjContent> content = MakeRef<CObjContent>(KindImage);
    content->SetRaster(std::move(image));
    doc.objects.AddTail(MakeRef<CDrawObj>(content));
}

bool ReadIcon(CDocImage& doc, ByteReader& in, IProgress* progress) {
    const std::uint64_t end = in.Size();
    WORD type = 0;
    std::vector<IconDirEntry> entries;
    bool ok = ReadIconDirectory(in, end, type, entries) && !EntriesShareImages(entries, end);
    // Every image is read where its entry points, so images stored out of order or as PNG work.
    for (std::size_t i = 0; ok && i < entries.size(); ++i) {
        PackedDib image = ReadIconEntryImage(in, 0, end, entries[i], true, true);
        if (!image) {
            ok = false;
            break;
        }
        AppendIconObject(doc, std::move(image));
        if (progress) {
            progress->SetPos(static_cast<int>((i + 1) * 100 / entries.size()));
            progress->Pump();
        }
    }
    if (!ok) {
        doc.Clear();
        return false;
    }
    if (progress) progress->SetPos(100);
    return true;
}

bool ReadIconFile(CDocImage& doc, const std::string& path, IProgress* progress) {
    FileReader in(path);
    if (!in.IsOpen()) {
        doc.Clear();
        return false;
    }
    return ReadIcon(doc, in, progress);
}

PackedDib LoadIconPreview(const std::string& path) {
    FileReader in(path);
    if (!in.IsOpen()) return {};
    if (FileKindOf(path) == FileKind::Ani) return ReadAniPreview(in);
    WORD type = 0;
    std::vector<IconDirEntry> entries;
    if (!ReadIconDirectory(in, in.Size(), type, entries)) return {};
    return ReadIconEntryImage(in, 0, in.Size(), entries[0], false, false);
}

} // namespace zepho
