#include "codecs/GifReader.h"

#include "codecs/GifCodec.h"
#include "platform/ByteStream.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <new>

namespace zepho {

namespace {

constexpr int kMaxCodes = 4096;
constexpr int kMaxCodeWidth = 12;

// The string table of the LZW decoder. Every entry extends an older (smaller) one by one byte.
struct LzwTable {
    std::array<std::uint16_t, kMaxCodes> prefix;
    std::array<std::uint16_t, kMaxCodes> length;
    std::array<BYTE, kMaxCodes> suffix;
    std::array<BYTE, kMaxCodes> first;
};

// Writes the string of `code` (len bytes) to dst, keeping only the first `room` bytes. False when
// the chain does not step down to ever smaller codes.
bool WriteString(const LzwTable& t, int code, int len, BYTE* dst, std::size_t room) {
    int c = code;
    for (int j = len - 1;; --j) {
        if (static_cast<std::size_t>(j) < room) dst[j] = t.suffix[c];
        if (j == 0) return true;
        const int p = t.prefix[c];
        if (p >= c) return false;
        c = p;
    }
}

// Decodes up to `total` indices into out. `produced` tells how many were decoded before the end
// code, the end of the data or a code beyond the table. False on a corrupt stream: a first code
// after a clear that is not a colour, or a broken chain.
bool DecodeLzw(const BYTE* data, std::size_t size, int minCodeSize, BYTE* out, std::size_t total,
               std::size_t& produced) {
    const int clear = 1 << minCodeSize;
    const int end = clear + 1;
    const int firstFree = clear + 2;
    auto table = std::make_unique<LzwTable>();
    LzwTable& t = *table;
    for (int c = 0; c < clear; ++c) {
        t.prefix[c] = 0;
        t.length[c] = 1;
        t.suffix[c] = t.first[c] = static_cast<BYTE>(c);
    }

    int width = minCodeSize + 1;
    int nextFree = firstFree;
    int old = -1; // no previous code: at the start and after a clear
    std::uint32_t acc = 0;
    int bits = 0;
    std::size_t in = 0;
    std::size_t pos = 0;
    while (pos < total) {
        while (bits < width && in < size) {
            acc |= std::uint32_t(data[in++]) << bits;
            bits += 8;
        }
        if (bits < width) break; // the data ends without an end code: keep what we have
        const int code = static_cast<int>(acc & ((1u << width) - 1));
        acc >>= width;
        bits -= width;

        if (code == clear) {
            width = minCodeSize + 1;
            nextFree = firstFree;
            old = -1;
            continue;
        }
        if (code == end) break;
        if (old < 0) {
            if (code >= firstFree) return false;
            out[pos++] = static_cast<BYTE>(code);
            old = code;
            continue;
        }
        if (code > nextFree) break; // a code the table cannot hold yet ends the image

        const bool repeat = code == nextFree; // the string just being defined: old + its first byte
        const int src = repeat ? old : code;
        const int len = t.length[src];
        const std::size_t room = total - pos;
        if (!WriteString(t, src, len, out + pos, room)) return false;
        pos += std::min<std::size_t>(static_cast<std::size_t>(len), room);
        if (repeat && pos < total) out[pos++] = t.first[old];

        if (nextFree < kMaxCodes) {
            t.prefix[nextFree] = static_cast<std::uint16_t>(old);
            t.suffix[nextFree] = repeat ? t.first[old] : t.first[code];
            t.first[nextFree] = t.first[old];
            t.length[nextFree] = static_cast<std::uint16_t>(t.length[old] + 1);
            ++nextFree;
            if (nextFree == (1 << width) && width < kMaxCodeWidth) ++width;
        }
        old = code;
    }
    produced = pos;
    return true;
}

} // namespace

std::vector<int> GifRowOrder(int height, bool interlaced) {
    std::vector<int> rows;
    rows.reserve(static_cast<std::size_t>(height));
    if (!interlaced) {
        for (int y = 0; y < height; ++y)
            rows.push_back(y);
        return rows;
    }
    static constexpr int kStart[4] = {0, 4, 2, 1};
    static constexpr int kStep[4] = {8, 8, 4, 2};
    for (int pass = 0; pass < 4; ++pass)
        for (int y = kStart[pass]; y < height; y += kStep[pass])
            rows.push_back(y);
    return rows;
}

namespace {

void PutIndex(BYTE* row, int x, int bits, int index) {
    if (bits == 8) {
        row[x] = static_cast<BYTE>(index);
    } else if (bits == 4) {
        const int shift = (x & 1) ? 0 : 4;
        row[x >> 1] = static_cast<BYTE>(row[x >> 1] | (index << shift));
    } else {
        row[x >> 3] = static_cast<BYTE>(row[x >> 3] | ((index & 1) << (7 - (x & 7))));
    }
}

} // namespace

unsigned long long GifReader::MaxPixelsFrom(std::size_t bytes, int minCodeSize) {
    // Without clear codes the k-th code can stand for at most k pixels (each new string is one
    // longer than an older one), and later codes are never narrower, so a stream that never
    // clears yields the most pixels per bit.
    unsigned long long bitsLeft = 8ULL * bytes;
    int width = minCodeSize + 1;
    int nextFree = (1 << minCodeSize) + 2;
    unsigned long long pixels = 0;
    for (int k = 1; k <= kMaxCodes; ++k) {
        if (bitsLeft < static_cast<unsigned>(width)) return pixels;
        bitsLeft -= static_cast<unsigned>(width);
        pixels += static_cast<unsigned>(k);
        if (k > 1 && nextFree < kMaxCodes) {
            ++nextFree;
            if (nextFree == (1 << width) && width < kMaxCodeWidth) ++width;
        }
    }
    return pixels + bitsLeft / kMaxCodeWidth * kMaxCodes;
}

bool GifReader::Open(const std::string& path) {
    FileReader in(path);
    return in.IsOpen() && Open(in);
}

bool GifReader::Open(ByteReader& in) {
    BYTE header[13];
    if (!in.Read(header, sizeof header)) return false;
    if (std::memcmp(header, "GIF87a", 6) == 0)
        version_ = 1;
    else if (std::memcmp(header, "GIF89a", 6) == 0)
        version_ = 2;
    else
        return false;
    screenWidth_ = header[6] | (header[7] << 8);
    screenHeight_ = header[8] | (header[9] << 8);
    const BYTE flags = header[10];
    backgroundIndex_ = header[11];

    globalTable_.clear();
    hasGlobalTable_ = (flags & 0x80) != 0;
    if (hasGlobalTable_) {
        const std::size_t count = std::size_t{2} << (flags & 7);
        BYTE rgb[256 * 3];
        if (!in.Read(rgb, count * 3)) return false;
        globalTable_.resize(count);
        for (std::size_t i = 0; i < count; ++i)
            globalTable_[i] = RGBQUAD{rgb[3 * i + 2], rgb[3 * i + 1], rgb[3 * i], 0};
    }
    pos_ = 0;
    return in.ReadBytes(data_, static_cast<std::size_t>(in.Remaining()));
}

bool GifReader::ReadByte(BYTE& v) {
    if (pos_ >= data_.size()) return false;
    v = data_[pos_++];
    return true;
}

bool GifReader::ReadWord(WORD& v) {
    if (data_.size() - pos_ < 2) return false;
    v = static_cast<WORD>(data_[pos_] | (data_[pos_ + 1] << 8));
    pos_ += 2;
    return true;
}

bool GifReader::SkipSubBlocks() {
    for (;;) {
        BYTE len = 0;
        if (!ReadByte(len)) return false;
        if (len == 0) return true;
        if (data_.size() - pos_ < len) return false;
        pos_ += len;
    }
}

bool GifReader::ReadExtension(GifImage& out) {
    BYTE label = 0;
    if (!ReadByte(label)) return false;
    switch (label) {
    case 0xF9: { // graphic control
        BYTE size = 0;
        if (!ReadByte(size) || size < 4 || data_.size() - pos_ < size) return false;
        out.hasControl = true;
        out.controlFlags = data_[pos_];
        out.delay = static_cast<WORD>(data_[pos_ + 1] | (data_[pos_ + 2] << 8));
        out.transparentIndex = data_[pos_ + 3];
        pos_ += size;
        return SkipSubBlocks();
    }
    case 0x01: // plain text: a 12-byte header block, then the text
    case 0xFE: // comment
    case 0xFF: // application (a loop count is not interpreted)
        return SkipSubBlocks();
    default:
        return false;
    }
}

GifReader::Status GifReader::ReadImage(GifImage& out, bool preview, IProgress* progress) {
    out = GifImage();
    for (;;) {
        BYTE b = 0;
        if (!ReadByte(b)) return Status::Error;
        if (b == 0x00) continue;
        if (b == 0x21) {
            if (!ReadExtension(out)) return Status::Error;
            continue;
        }
        if (b != 0x2C) return Status::End; // the trailer, or a byte that starts nothing we know
        if (!DecodeImage(out, preview)) return Status::Error;
        if (progress) {
            progress->SetPos(static_cast<int>(100ULL * pos_ / data_.size()));
            progress->Pump();
        }
        return Status::Image;
    }
}

bool GifReader::DecodeImage(GifImage& out, bool preview) {
    WORD left = 0, top = 0, w = 0, h = 0;
    BYTE flags = 0;
    if (!ReadWord(left) || !ReadWord(top) || !ReadWord(w) || !ReadWord(h) || !ReadByte(flags)) return false;
    out.left = left;
    out.top = top;
    out.imageFlags = flags;

    std::vector<RGBQUAD> localTable;
    const std::vector<RGBQUAD>* table = &globalTable_;
    if (flags & 0x80) {
        const std::size_t count = std::size_t{2} << (flags & 7);
        if (data_.size() - pos_ < count * 3) return false;
        localTable.resize(count);
        for (std::size_t i = 0; i < count; ++i, pos_ += 3)
            localTable[i] = RGBQUAD{data_[pos_ + 2], data_[pos_ + 1], data_[pos_], 0};
        table = &localTable;
    }

    BYTE minCodeSize = 0;
    if (!ReadByte(minCodeSize) || minCodeSize < 1 || minCodeSize > 8) return false;
    lzw_.clear();
    for (;;) {
        BYTE len = 0;
        if (!ReadByte(len)) return false;
        if (len == 0) break;
        if (data_.size() - pos_ < len) return false;
        lzw_.insert(lzw_.end(), data_.begin() + static_cast<std::ptrdiff_t>(pos_),
                    data_.begin() + static_cast<std::ptrdiff_t>(pos_ + len));
        pos_ += len;
    }

    // An image its data could never fill is damaged; refusing it here keeps a few bytes from
    // asking for gigabytes.
    const std::size_t pixels = std::size_t{w} * h;
    if (pixels == 0 || pixels > MaxPixelsFrom(lzw_.size(), minCodeSize)) return false;
    // The raster first: its allocation fails cleanly when memory is short. A preview's depth
    // waits for the indices, but even at one byte a pixel it must fit a DIB.
    if (!preview) {
        out.dib = PackedDib::Create(w, h, 32);
        if (!out.dib) return false;
    } else if (pixels > PackedDib::kMaxBytes || pixels > PackedDib::kMaxPixels) {
        return false;
    }
    try {
        indices_.resize(pixels);
    } catch (const std::bad_alloc&) {
        return false;
    }
    std::size_t produced = 0;
    if (!DecodeLzw(lzw_.data(), lzw_.size(), minCodeSize, indices_.data(), pixels, produced)) return false;

    const std::vector<int> rows = GifRowOrder(h, (flags & 0x40) != 0);
    const std::size_t rowsDecoded = (produced + w - 1) / w;

    if (preview) {
        int maxIndex = 0;
        for (std::size_t i = 0; i < produced; ++i)
            maxIndex = std::max<int>(maxIndex, indices_[i]);
        const int colours = std::max<int>(static_cast<int>(table->size()), maxIndex + 1);
        const int bits = colours <= 2 ? 1 : colours <= 16 ? 4 : 8;
        out.dib = PackedDib::Create(w, h, bits, std::max(colours, 2));
        if (!out.dib) return false;
        std::copy(table->begin(), table->end(), out.dib.ColorTable()); // the rest stays black
        for (std::size_t r = 0; r < rowsDecoded; ++r) {
            BYTE* dst = out.dib.Row(rows[r]);
            const BYTE* src = indices_.data() + r * w;
            const int n = static_cast<int>(std::min<std::size_t>(w, produced - r * w));
            if (bits == 8) {
                std::memcpy(dst, src, static_cast<std::size_t>(n));
            } else {
                for (int x = 0; x < n; ++x)
                    PutIndex(dst, x, bits, src[x]);
            }
        }
        return true;
    }

    // Indices past the table show black.
    std::array<std::uint32_t, 256> lut{};
    for (std::size_t i = 0; i < lut.size(); ++i) {
        const RGBQUAD q = i < table->size() ? (*table)[i] : RGBQUAD{0, 0, 0, 0};
        lut[i] = q.rgbBlue | (std::uint32_t(q.rgbGreen) << 8) | (std::uint32_t(q.rgbRed) << 16) | 0xFF000000u;
    }
    if (out.hasControl && (out.controlFlags & 1) && out.transparentIndex >= 0) lut[out.transparentIndex] = 0;

    for (std::size_t r = 0; r < rowsDecoded; ++r) {
        BYTE* dst = out.dib.Row(rows[r]);
        const BYTE* src = indices_.data() + r * w;
        const std::size_t n = std::min<std::size_t>(w, produced - r * w);
        for (std::size_t x = 0; x < n; ++x)
            std::memcpy(dst + 4 * x, &lut[src[x]], 4);
    }
    return true;
}

bool ReadGifFile(CDocImage& doc, const std::string& path, IProgress* progress) {
    FileReader in(path);
    return in.IsOpen() && ReadGif(doc, in, progress);
}

bool ReadGif(CDocImage& doc, ByteReader& in, IProgress* progress) {
    GifReader reader;
    if (!reader.Open(in)) return false;
    doc.width = reader.ScreenWidth();
    doc.height = reader.ScreenHeight();
    doc.gifBackgroundIndex = reader.BackgroundIndex();

    int right = 0, bottom = 0;
    bool first = true;
    while (!reader.AtEnd()) {
        GifImage image;
        const GifReader::Status status = reader.ReadImage(image, false, progress);
        if (status == GifReader::Status::Error) return false;
        if (status == GifReader::Status::End) break;
        if (first) {
            if (image.hasControl) {
                doc.gifControlFlags = image.controlFlags;
                doc.delay = image.delay;
                doc.gifTransparentIndex = static_cast<std::uint8_t>(image.transparentIndex);
            } else {
                // The control flags keep the document's default disposal.
                doc.delay = 0;
                doc.gifTransparentIndex = 255;
            }
            doc.gifImageFlags = image.imageFlags;
            first = false;
        }
        right = std::max(right, image.left + image.dib.Width());
        bottom = std::max(bottom, image.top + image.dib.Height());
        Ref<CObjContent> content = MakeRef<CObjContent>(KindImage);
        Ref<CDrawObj> obj = MakeRef<CDrawObj>(content);
        obj->x = image.left;
        obj->y = image.top;
        content->SetRaster(std::move(image.dib));
        doc.objects.AddTail(obj);
    }
    // A file without a single image is most likely cut short: nothing to show.
    if (first) return false;
    // Some writers leave the logical screen at 0 x 0; the images then say how large it is.
    if (doc.width == 0) doc.width = right;
    if (doc.height == 0) doc.height = bottom;
    if (progress) progress->SetPos(100);
    return true;
}

PackedDib LoadGifPreview(const std::string& path) {
    GifReader reader;
    if (!reader.Open(path)) return {};
    GifImage image;
    if (reader.AtEnd() || reader.ReadImage(image, true, nullptr) != GifReader::Status::Image) return {};
    return std::move(image.dib);
}

} // namespace zepho
