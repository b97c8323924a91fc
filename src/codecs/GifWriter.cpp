#include "codecs/GifWriter.h"

#include "codecs/GifCodec.h"
#include "codecs/GifLzw.h"
#include "codecs/GifReader.h"
#include "extlib/ImageTransform.h"
#include "platform/ByteStream.h"
#include "raster/ColorReduce.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <vector>

namespace zepho {

namespace {
using gif::Log2;
using gif::LzwEncoder;

// The indices of picture row y at 1, 4 or 8 bits per pixel.
void ReadIndexRow(const PackedDib& dib, int y, BYTE* out) {
    const BYTE* row = dib.Row(y);
    const int w = dib.Width();
    switch (dib.BitCount()) {
    case 8:
        std::memcpy(out, row, static_cast<std::size_t>(w));
        break;
    case 4:
        for (int x = 0; x < w; ++x)
            out[x] = (x & 1) ? (row[x >> 1] & 0x0F) : (row[x >> 1] >> 4);
        break;
    default:
        for (int x = 0; x < w; ++x)
            out[x] = (row[x >> 3] >> (7 - (x & 7))) & 1;
        break;
    }
}

bool MaskBit(const BYTE* maskRow, int x) {
    return (maskRow[x >> 3] >> (7 - (x & 7))) & 1;
}

int ColorCountOf(const PackedDib& dib) {
    const DWORD used = dib.Header()->biClrUsed;
    return used ? static_cast<int>(used) : 1 << dib.BitCount();
}

bool IsPaletteDepth(int bits) {
    return bits == 1 || bits == 4 || bits == 8;
}

} // namespace

bool GifWriter::SetImage(PackedDib image, PackedDib mask, int transparentIndex) {
    if (!image || !IsPaletteDepth(image.BitCount()) || image.Width() < 1 || image.Height() < 1) return false;
    if (mask && (mask.BitCount() != 1 || mask.Width() != image.Width() || mask.Height() != image.Height()))
        return false;
    const int colours = ColorCountOf(image);
    if (colours < 1 || colours > 256 || transparentIndex < 0 || transparentIndex > 255) return false;
    colorCount_ = colours;
    tableSize_ = std::max(2, 1 << Log2(mask ? std::max(colours, transparentIndex + 1) : colours));
    transparentIndex_ = transparentIndex;
    image_ = std::move(image);
    mask_ = std::move(mask);
    return true;
}

bool GifWriter::Prepare(const PackedDib& image32, COLORREF matte, int preferredTransparent,
                        IProgress* progress) {
    if (!image32.Is32()) return false;
    const int w = image32.Width(), h = image32.Height();

    // Colours without alpha: transparent pixels take the matte colour and are marked in the mask,
    // partly transparent ones are blended over white.
    PackedDib rgb = PackedDib::Create(w, h, 24);
    if (!rgb) return false;
    PackedDib mask;
    for (int y = 0; y < h; ++y) {
        const BYTE* s = image32.Row(y);
        BYTE* d = rgb.Row(y);
        for (int x = 0; x < w; ++x, s += 4, d += 3) {
            const int a = s[3];
            if (a == 0) {
                if (!mask) {
                    mask = PackedDib::Create(w, h, 1, 2);
                    if (!mask) return false;
                    mask.ColorTable()[1] = RGBQUAD{255, 255, 255, 0};
                }
                mask.Row(y)[x >> 3] |= static_cast<BYTE>(0x80 >> (x & 7));
                d[0] = GetBValue(matte);
                d[1] = GetGValue(matte);
                d[2] = GetRValue(matte);
            } else if (a == 255) {
                d[0] = s[0];
                d[1] = s[1];
                d[2] = s[2];
            } else {
                for (int c = 0; c < 3; ++c)
                    d[c] = static_cast<BYTE>(std::min(255, (255 * (255 - a) + s[c] * a) / 255));
            }
        }
    }

    PackedDib image = MakeExactPalette(rgb);
    if (!image) image = ReduceColorQuantity(rgb, 8, 256, progress, 0);
    if (!image) return false;
    if (!mask) {
        if (!SetImage(std::move(image), {}, std::clamp(preferredTransparent, 0, 255))) return false;
        return true;
    }

    int colours = ColorCountOf(image);
    const int tableSize = std::max(2, 1 << Log2(colours));
    std::array<bool, 256> used{};
    std::vector<BYTE> line(static_cast<std::size_t>(w));
    for (int y = 0; y < h; ++y) {
        ReadIndexRow(image, y, line.data());
        const BYTE* m = mask.Row(y);
        for (int x = 0; x < w; ++x)
            if (!MaskBit(m, x)) used[line[static_cast<std::size_t>(x)]] = true;
    }
    int transparent = -1;
    if (preferredTransparent >= 0 && preferredTransparent < tableSize && !used[preferredTransparent]) {
        transparent = preferredTransparent;
    } else {
        for (int i = 0; i < tableSize && transparent < 0; ++i)
            if (!used[i]) transparent = i;
    }
    if (transparent < 0) {
        if (colours == 256) {
            // Every index is taken by a visible pixel: make room for the transparent one.
            image = ReduceColorQuantity(rgb, 8, 255, progress, 0);
            if (!image || ColorCountOf(image) > 255) return false;
            transparent = 255;
        } else {
            transparent = colours; // the table grows by one entry
        }
    }
    return SetImage(std::move(image), std::move(mask), transparent);
}

bool GifWriter::Write(ByteWriter& out, const GifWriteOptions& options, IProgress* progress) const {
    if (!image_) return false;
    const int w = image_.Width(), h = image_.Height();
    if (w > 0xFFFF || h > 0xFFFF) return false;
    const int bits = image_.BitCount();
    const int tableBits = Log2(tableSize_);

    out.Write("GIF89a", 6);
    out.WriteU16(static_cast<WORD>(w));
    out.WriteU16(static_cast<WORD>(h));
    out.WriteU8(static_cast<BYTE>(0x80 | ((bits - 1) << 4) | (tableBits - 1)));
    const bool backgroundFits = options.backgroundIndex >= 0 && options.backgroundIndex < tableSize_;
    out.WriteU8(static_cast<BYTE>(backgroundFits ? options.backgroundIndex : 0));
    out.WriteU8(0);

    std::vector<BYTE> palette(static_cast<std::size_t>(tableSize_) * 3, 0);
    const RGBQUAD* table = image_.ColorTable();
    const int entries = std::min(image_.ColorCount(), tableSize_);
    for (int i = 0; i < entries; ++i) {
        palette[3 * static_cast<std::size_t>(i)] = table[i].rgbRed;
        palette[3 * static_cast<std::size_t>(i) + 1] = table[i].rgbGreen;
        palette[3 * static_cast<std::size_t>(i) + 2] = table[i].rgbBlue;
    }
    out.Write(palette.data(), palette.size());

    const BYTE control[] = {0x21,
                            0xF9,
                            4,
                            static_cast<BYTE>(mask_ ? 1 : 0),
                            static_cast<BYTE>(options.delay),
                            static_cast<BYTE>(options.delay >> 8),
                            static_cast<BYTE>(transparentIndex_),
                            0};
    out.Write(control, sizeof control);

    out.WriteU8(0x2C);
    out.WriteU16(0);
    out.WriteU16(0);
    out.WriteU16(static_cast<WORD>(w));
    out.WriteU16(static_cast<WORD>(h));
    out.WriteU8(options.interlace ? 0x40 : 0);
    const int minCodeSize = std::max(tableBits, 2);
    out.WriteU8(static_cast<BYTE>(minCodeSize));

    LzwEncoder encoder(out, minCodeSize);
    std::vector<BYTE> line(static_cast<std::size_t>(w));
    const std::vector<int> rows = GifRowOrder(h, options.interlace);
    int lastPercent = -1;
    for (int r = 0; r < h; ++r) {
        const int y = rows[static_cast<std::size_t>(r)];
        ReadIndexRow(image_, y, line.data());
        if (mask_) {
            const BYTE* m = mask_.Row(y);
            for (int x = 0; x < w; ++x)
                if (MaskBit(m, x)) line[static_cast<std::size_t>(x)] = static_cast<BYTE>(transparentIndex_);
        }
        encoder.Add(line.data(), w);
        if (out.Failed()) return false;
        if (progress) {
            const int percent = static_cast<int>(100LL * (r + 1) / h);
            if (percent != lastPercent) {
                progress->SetPos(percent);
                progress->Pump();
                lastPercent = percent;
            }
        }
    }
    encoder.Finish();
    out.WriteU8(0);
    out.WriteU8(0x3B);
    return !out.Failed();
}

bool ExportGif(const CDocImage& doc, const std::string& path, IProgress* progress, bool interlace) {
    // The format stores sizes in 16 bits.
    if (doc.width < 1 || doc.height < 1 || doc.width > 0xFFFF || doc.height > 0xFFFF) return false;
    GifWriter writer;
    {
        const PackedDib flat = doc.CompositeVisible(doc.width, doc.height);
        if (!flat || !writer.Prepare(flat, doc.matteColour, doc.gifTransparentIndex, progress)) return false;
    }
    FileWriter file(path);
    if (!file.IsOpen()) return false;
    GifWriteOptions options;
    options.backgroundIndex = doc.gifBackgroundIndex;
    options.delay = doc.delay;
    options.interlace = interlace;
    if (!writer.Write(file, options, progress)) return false; // the temporary file goes with `file`
    return file.Commit();
}

} // namespace zepho
