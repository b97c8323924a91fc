#include "codecs/IconWriter.h"

#include "codecs/IconCodec.h"
#include "extlib/VorRender.h"
#include "model/Frame.h"
#include "platform/ByteStream.h"
#include "raster/ColorReduce.h"
#include "raster/Dib.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace zepho {

namespace {

constexpr std::uint64_t kHeaderAndEntry = 6 + 16;
// "RIFF" chunk header and form, "anih" chunk, "LIST" chunk header and type, "icon" chunk header.
constexpr std::uint64_t kAniOverhead = 12 + 8 + 36 + 12 + 8;

bool IsPaletteDepth(int bits) {
    return bits == 1 || bits == 4 || bits == 8;
}

void SetProgress(IProgress* progress, std::uint64_t done, std::uint64_t total) {
    if (!progress) return;
    progress->SetPos(static_cast<int>(done * 100 / total));
    progress->Pump();
}

std::uint64_t XorBytes(const PackedDib& image) {
    return std::uint64_t{image.Stride()} * static_cast<std::uint64_t>(image.Height());
}

std::uint64_t AndBytes(const PackedDib& image) {
    return (static_cast<std::uint64_t>(image.Width()) + 31) / 32 * 4 *
           static_cast<std::uint64_t>(image.Height());
}

bool MaskFits(const PackedDib& image, const PackedDib& mask) {
    return mask && mask.BitCount() == 1 && mask.Width() == image.Width() && mask.Height() == image.Height();
}

// The 16-byte directory entry.
void WriteEntry(ByteWriter& out, const PackedDib& image, bool cursor, DWORD hotSpot, std::uint64_t resource) {
    const int colours = IsPaletteDepth(image.BitCount()) ? image.ColorCount() : 0;
    out.WriteU8(static_cast<BYTE>(image.Width()));
    out.WriteU8(static_cast<BYTE>(image.Height()));
    out.WriteU8(static_cast<BYTE>(colours < 256 ? colours : 0));
    out.WriteU8(0);
    if (cursor) {
        out.WriteU16(static_cast<WORD>(hotSpot & 0xFFFF));
        out.WriteU16(static_cast<WORD>(hotSpot >> 16));
    } else {
        out.WriteU16(1);
        out.WriteU16(static_cast<WORD>(image.BitCount()));
    }
    out.WriteU32(static_cast<DWORD>(resource));
    out.WriteU32(static_cast<DWORD>(kHeaderAndEntry));
}

// The icon-file header and its single entry.
void WriteIconHeader(ByteWriter& out, const PackedDib& image, bool cursor, DWORD hotSpot,
                     std::uint64_t resource) {
    out.WriteU16(0);
    out.WriteU16(cursor ? 2 : 1);
    out.WriteU16(1);
    WriteEntry(out, image, cursor, hotSpot, resource);
}

// The image resource; `before` bytes of the file precede it and the file has `total` bytes, for
// the progress bar.
bool WriteResource(ByteWriter& out, const PackedDib& image, const PackedDib& mask, std::uint64_t before,
                   std::uint64_t total, IProgress* progress) {
    // The stored height counts the colour rows and the mask rows.
    BITMAPINFOHEADER h = *image.Header();
    h.biSize = sizeof h;
    h.biHeight = image.Height() * 2;
    out.Write(&h, sizeof h);
    const std::uint64_t table = IsPaletteDepth(image.BitCount()) ? 4 * std::uint64_t(image.ColorCount()) : 0;
    if (table) out.Write(image.ColorTable(), table);
    out.Write(image.Bits(), XorBytes(image));
    if (out.Failed()) return false;
    SetProgress(progress, before + sizeof h + table + XorBytes(image), total);
    out.Write(mask.Bits(), AndBytes(image));
    if (out.Failed()) return false;
    SetProgress(progress, total, total);
    return true;
}

} // namespace

bool PrepareIconImage(const PackedDib& flat32, PackedDib& image, PackedDib& mask) {
    if (!flat32.Is32()) return false;
    const int w = flat32.Width(), h = flat32.Height();
    PackedDib rgb = PackedDib::Create(w, h, 24);
    mask = PackedDib::Create(w, h, 1, 2);
    if (!rgb || !mask) return false;
    mask.ColorTable()[1] = RGBQUAD{255, 255, 255, 0};
    for (int y = 0; y < h; ++y) {
        const BYTE* s = flat32.Row(y);
        BYTE* d = rgb.Row(y);
        BYTE* m = mask.Row(y);
        for (int x = 0; x < w; ++x, s += 4, d += 3) {
            const int a = s[3];
            if (a == 0) {
                // Black under a set AND bit leaves the screen as it is.
                m[x >> 3] |= static_cast<BYTE>(0x80 >> (x & 7));
                d[0] = d[1] = d[2] = 0;
            } else if (a == 255) {
                std::memcpy(d, s, 3);
            } else {
                for (int c = 0; c < 3; ++c)
                    d[c] = static_cast<BYTE>(std::min(255, (255 * (255 - a) + s[c] * a) / 255));
            }
        }
    }
    image = MakeExactPalette(rgb);
    if (!image) image = std::move(rgb);
    return true;
}

std::uint64_t IconResourceSize(const PackedDib& image) {
    const int bits = image.BitCount();
    if (!image || image.Width() < 1 || image.Height() < 1 || (!IsPaletteDepth(bits) && bits != 24)) return 0;
    // The directory entry holds each side in one byte (0 for 256): larger sides would wrap.
    if (image.Width() > kMaxIconSide || image.Height() > kMaxIconSide) return 0;
    // The doubled height must fit the header.
    if (image.Height() > 0x3FFFFFFF) return 0;
    const std::uint64_t table = IsPaletteDepth(bits) ? 4 * std::uint64_t(image.ColorCount()) : 0;
    const std::uint64_t size = sizeof(BITMAPINFOHEADER) + table + XorBytes(image) + AndBytes(image);
    // Leaves room for the largest wrapping (an ANI file) within 32-bit sizes.
    return size + kHeaderAndEntry + kAniOverhead <= 0xFFFFFFFFu ? size : 0;
}

bool WriteIcon(ByteWriter& out, const PackedDib& image, const PackedDib& mask, bool cursor, DWORD hotSpot,
               IProgress* progress) {
    const std::uint64_t r = IconResourceSize(image);
    if (r == 0 || !MaskFits(image, mask)) return false;
    const std::uint64_t total = r + kHeaderAndEntry;
    WriteIconHeader(out, image, cursor, hotSpot, r);
    if (out.Failed()) return false;
    SetProgress(progress, kHeaderAndEntry, total);
    return WriteResource(out, image, mask, kHeaderAndEntry, total, progress);
}

bool WriteAni(ByteWriter& out, const PackedDib& image, const PackedDib& mask, DWORD hotSpot,
              IProgress* progress) {
    const std::uint64_t r = IconResourceSize(image);
    if (r == 0 || !MaskFits(image, mask)) return false;
    const DWORD f = static_cast<DWORD>(r + kHeaderAndEntry);
    const std::uint64_t total = std::uint64_t{f} + kAniOverhead;

    out.Write("RIFF", 4);
    out.WriteU32(f + 68);
    out.Write("ACON", 4);
    out.Write("anih", 4);
    out.WriteU32(36);
    // Header size, frames, steps, width, height, bit count, planes, display rate (1/60 s), and
    // attributes: bit 0 says the frames are icon data.
    const DWORD header[9] = {36,
                             1,
                             1,
                             static_cast<DWORD>(image.Width()),
                             static_cast<DWORD>(image.Height()),
                             static_cast<DWORD>(image.BitCount()),
                             1,
                             12,
                             1};
    for (DWORD v : header)
        out.WriteU32(v);
    if (out.Failed()) return false;
    SetProgress(progress, out.Tell(), total);

    out.Write("LIST", 4);
    out.WriteU32(f + 12);
    out.Write("fram", 4);
    out.Write("icon", 4);
    out.WriteU32(f);
    WriteIconHeader(out, image, true, hotSpot, r);
    if (out.Failed()) return false;
    SetProgress(progress, out.Tell(), total);
    return WriteResource(out, image, mask, out.Tell(), total, progress);
}

SIZE IconExportSize(int w, int h) {
    if (w <= kMaxIconSide && h <= kMaxIconSide) return SIZE{w, h};
    const double scale = std::min(double(kMaxIconSide) / w, double(kMaxIconSide) / h);
    auto side = [scale](int v) {
        return static_cast<LONG>(std::clamp(std::floor(v * scale + 0.5), 1.0, double(kMaxIconSide)));
    };
    return SIZE{side(w), side(h)};
}

DWORD IconExportHotSpot(DWORD hotSpot, int w, int h) {
    const SIZE size = IconExportSize(w, h);
    if (size.cx == w && size.cy == h) return hotSpot;
    auto place = [](DWORD v, int from, LONG to) {
        return static_cast<DWORD>(std::min<long long>(to - 1, static_cast<long long>(v) * to / from));
    };
    return place(hotSpot & 0xFFFF, w, size.cx) | place(hotSpot >> 16, h, size.cy) << 16;
}

DWORD AniRateOf(int delay) {
    return static_cast<DWORD>(std::max(1, (std::max(delay, 0) * 3 + 2) / 5));
}

bool WriteAniFrames(ByteWriter& out, const std::vector<AniFrame>& frames, DWORD hotSpot, DWORD rate,
                    IProgress* progress) {
    if (frames.empty()) return false;
    std::uint64_t list = 4; // "fram"
    std::vector<std::uint64_t> sizes;
    for (const AniFrame& f : frames) {
        const std::uint64_t r = IconResourceSize(f.image);
        if (r == 0 || !MaskFits(f.image, f.mask)) return false;
        sizes.push_back(r);
        // Icon chunks are word-aligned in the list; every resource has an even size.
        list += 8 + kHeaderAndEntry + r;
    }
    const std::uint64_t riff = 4 + 8 + 36 + 8 + list;
    if (riff + 8 > 0xFFFFFFFFu) return false;
    const std::uint64_t total = riff + 8;
    const PackedDib& head = frames.front().image;

    out.Write("RIFF", 4);
    out.WriteU32(static_cast<DWORD>(riff));
    out.Write("ACON", 4);
    out.Write("anih", 4);
    out.WriteU32(36);
    const DWORD n = static_cast<DWORD>(frames.size());
    const DWORD header[9] = {36,
                             n,
                             n,
                             static_cast<DWORD>(head.Width()),
                             static_cast<DWORD>(head.Height()),
                             static_cast<DWORD>(head.BitCount()),
                             1,
                             rate,
                             1};
    for (DWORD v : header)
        out.WriteU32(v);
    out.Write("LIST", 4);
    out.WriteU32(static_cast<DWORD>(list));
    out.Write("fram", 4);
    if (out.Failed()) return false;
    for (std::size_t i = 0; i < frames.size(); ++i) {
        const std::uint64_t r = sizes[i];
        out.Write("icon", 4);
        out.WriteU32(static_cast<DWORD>(r + kHeaderAndEntry));
        WriteIconHeader(out, frames[i].image, true, hotSpot, r);
        if (out.Failed() || !WriteResource(out, frames[i].image, frames[i].mask, out.Tell(), total, nullptr))
            return false;
        SetProgress(progress, out.Tell(), total);
    }
    return !out.Failed();
}

namespace {

// The resampling filter an image object starts with (Hanning).
constexpr int kIconScaleFilter = 5;

// The flattened picture at the size an icon can hold.
PackedDib FitIcon(PackedDib flat) {
    const SIZE size = IconExportSize(flat.Width(), flat.Height());
    if (size.cx == flat.Width() && size.cy == flat.Height()) return flat;
    PackedDib fitted = CreateTransparentDIB(size.cx, size.cy);
    // Target pixels back to picture pixels.
    const CVorTransMatrix m =
        CVorTransMatrix::Scaling(double(flat.Width()) / size.cx, double(flat.Height()) / size.cy);
    if (!fitted || !TransformImage(fitted, flat, m, 0.0, 0.0, kIconScaleFilter)) return {};
    return fitted;
}

// Flattens the document and writes it through a temporary file beside the target.
template <typename WriteFn>
bool ExportIconKind(const CDocImage& doc, const std::string& path, WriteFn write) {
    if (doc.width < 1 || doc.height < 1) return false;
    PackedDib image, mask;
    {
        const PackedDib flat = FitIcon(doc.CompositeVisible(doc.width, doc.height));
        if (!flat || !PrepareIconImage(flat, image, mask)) return false;
    }
    if (IconResourceSize(image) == 0) return false;
    FileWriter file(path);
    if (!file.IsOpen()) return false;
    if (!write(file, image, mask)) return false; // the temporary file goes with `file`
    return !file.Failed() && file.Commit();
}

} // namespace

bool WriteIconFile(const CDocImage& doc, const std::string& path, bool cursor, DWORD hotSpot,
                   IProgress* progress) {
    return ExportIconKind(doc, path, [&](ByteWriter& out, const PackedDib& image, const PackedDib& mask) {
        return WriteIcon(out, image, mask, cursor, IconExportHotSpot(hotSpot, doc.width, doc.height),
                         progress);
    });
}

bool WriteAniFile(const CDocImage& doc, const std::string& path, DWORD hotSpot, IProgress* progress) {
    if (doc.CountVisible() >= 2) {
        // Every visible object is one frame, shown alone at its place on the canvas.
        if (doc.width < 1 || doc.height < 1) return false;
        std::vector<AniFrame> frames;
        for (const auto& ref : doc.objects) {
            CFrameComposer composer;
            if (!composer.Start(doc.width, doc.height)) return false;
            if (!composer.Add(*ref)) continue;
            AniFrame f;
            // Scaled to fit 256 x 256 as a one-frame file is.
            const PackedDib fitted = FitIcon(composer.Take());
            if (!fitted || !PrepareIconImage(fitted, f.image, f.mask)) return false;
            frames.push_back(std::move(f));
        }
        FileWriter file(path);
        if (!file.IsOpen()) return false;
        if (!WriteAniFrames(file, frames, IconExportHotSpot(hotSpot, doc.width, doc.height),
                            AniRateOf(doc.delay), progress))
            return false;
        return !file.Failed() && file.Commit();
    }
    return ExportIconKind(doc, path, [&](ByteWriter& out, const PackedDib& image, const PackedDib& mask) {
        return WriteAni(out, image, mask, IconExportHotSpot(hotSpot, doc.width, doc.height), progress);
    });
}

} // namespace zepho
