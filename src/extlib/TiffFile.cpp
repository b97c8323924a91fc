// TIFF files through libtiff, read from bytes in memory and written to any byte writer as they are made.
// Strip images of 1, 4 or 8-bit grey or palette samples and 8-bit RGB (with or without alpha) are read at
// their own depth; everything else libtiff can decode (tiles, planes, YCbCr, CMYK, 16 bits, ...) goes through
// its RGBA reader.
//
// Writing: the compression codes 1 (none), 5 (LZW), 8 and 32946 (Deflate) apply to every depth.
// CCITT Group 3 and 4 (3, 4) exist only for black-and-white images: a 1-bit image whose two colours
// are black and white is written bilevel with them, any other image with LZW instead, so the
// file stays lossless and readable. JPEG (7) stores a grey palette image as 8-bit grey, any other
// image as colour; alpha is dropped. An unknown code writes without compression.
#include "extlib/ImageIOCodecs.h"
#include "extlib/ImageIOUtil.h"
#include "extlib/PhotoLook.h"
#include "extlib/RowCodecs.h"

#include <tiffio.h>

#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <new>

namespace zepho {

using namespace imageio;

namespace {

int Silent(TIFF*, void*, const char*, const char*, va_list) {
    return 1; // handled: nothing goes to stderr
}

// Whether libtiff, going on after a problem, has dropped part of the picture: a tag it could not
// read (a colour map cut off with the end of the file, which it then replaces by a grey ramp), a
// value it had to guess, a strip or tile it could not read or decode in full.
bool MeansLostData(const char* text) {
    static const char* const kSigns[] = {"ignored", "IO error",        "Read error", "read error",
                                         "ssum",    "issing",          "runcat",     "remature",
                                         "orrupt",  "Not enough data", "short"};
    for (const char* sign : kSigns)
        if (std::strstr(text, sign)) return true;
    return false;
}

// Counts the warnings that mean lost data; nothing goes to stderr.
int RecordLoss(TIFF*, void* user, const char*, const char* fmt, va_list ap) {
    char text[512];
    std::vsnprintf(text, sizeof text, fmt, ap);
    if (user && MeansLostData(text)) ++*static_cast<int*>(user);
    return 1;
}

void SilenceGlobalHandlers() {
    // Some messages are raised before a handle exists and go to the process-wide handlers.
    static std::once_flag once;
    std::call_once(once, [] {
        TIFFSetErrorHandler(nullptr);
        TIFFSetWarningHandler(nullptr);
    });
}

// ---- reading from memory

struct MemIn {
    const BYTE* data;
    std::uint64_t size;
    std::uint64_t pos;
};

tmsize_t InRead(thandle_t h, void* buf, tmsize_t n) {
    auto* m = static_cast<MemIn*>(h);
    if (n <= 0 || m->pos >= m->size) return 0;
    const std::uint64_t take = std::min<std::uint64_t>(static_cast<std::uint64_t>(n), m->size - m->pos);
    std::memcpy(buf, m->data + m->pos, take);
    m->pos += take;
    return static_cast<tmsize_t>(take);
}

tmsize_t NoWrite(thandle_t, void*, tmsize_t) {
    return 0;
}

toff_t InSeek(thandle_t h, toff_t off, int whence) {
    auto* m = static_cast<MemIn*>(h);
    std::uint64_t base = whence == SEEK_CUR ? m->pos : whence == SEEK_END ? m->size : 0;
    if (off > UINT64_MAX / 2 || base + off > UINT64_MAX / 2) return static_cast<toff_t>(-1);
    m->pos = base + off;
    return m->pos;
}

int NoClose(thandle_t) {
    return 0;
}

toff_t InSize(thandle_t h) {
    return static_cast<MemIn*>(h)->size;
}

int InMap(thandle_t h, void** base, toff_t* size) {
    auto* m = static_cast<MemIn*>(h);
    *base = const_cast<BYTE*>(m->data);
    *size = m->size;
    return 1;
}

void InUnmap(thandle_t, void*, toff_t) {}

// ---- writing to a byte writer, from where it stood when the file began

struct Out {
    ByteWriter* writer;
    std::uint64_t base = 0;
    std::uint64_t pos = 0;
};

tmsize_t NoRead(thandle_t, void*, tmsize_t) {
    return 0;
}

tmsize_t OutWrite(thandle_t h, void* buf, tmsize_t n) {
    auto* o = static_cast<Out*>(h);
    if (n <= 0) return 0;
    ByteWriter& w = *o->writer;
    const std::uint64_t at = o->base + o->pos;
    // libtiff may seek past the end (to align a directory): the gap reads as zeros.
    if (at > w.Size()) {
        static const BYTE kZeros[16] = {};
        if (!w.Seek(w.Size())) return 0;
        while (w.Size() < at)
            if (!w.Write(kZeros,
                         static_cast<std::size_t>(std::min<std::uint64_t>(sizeof kZeros, at - w.Size()))))
                return 0;
    }
    if (!w.Seek(at) || !w.Write(buf, static_cast<std::size_t>(n))) return 0;
    o->pos += static_cast<std::uint64_t>(n);
    return n;
}

toff_t OutSeek(thandle_t h, toff_t off, int whence) {
    auto* o = static_cast<Out*>(h);
    const std::uint64_t size = o->writer->Size() - o->base;
    std::uint64_t base = whence == SEEK_CUR ? o->pos : whence == SEEK_END ? size : 0;
    if (off > UINT64_MAX / 2 || base + off > UINT64_MAX / 2) return static_cast<toff_t>(-1);
    o->pos = base + off;
    return o->pos;
}

toff_t OutSize(thandle_t h) {
    auto* o = static_cast<Out*>(h);
    return o->writer->Size() - o->base;
}

int NoMap(thandle_t, void**, toff_t*) {
    return 0;
}

// `losses`, when given, counts the warnings that mean part of the picture was lost.
TIFF* Open(const char* mode, thandle_t handle, bool reading, int* losses = nullptr) {
    SilenceGlobalHandlers();
    TIFFOpenOptions* opts = TIFFOpenOptionsAlloc();
    if (!opts) return nullptr;
    TIFFOpenOptionsSetErrorHandlerExtR(opts, &Silent, nullptr);
    TIFFOpenOptionsSetWarningHandlerExtR(opts, &RecordLoss, losses);
    TIFF* tif = reading ? TIFFClientOpenExt("memory", mode, handle, &InRead, &NoWrite, &InSeek, &NoClose,
                                            &InSize, &InMap, &InUnmap, opts)
                        : TIFFClientOpenExt("memory", mode, handle, &NoRead, &OutWrite, &OutSeek, &NoClose,
                                            &OutSize, &NoMap, &InUnmap, opts);
    TIFFOpenOptionsFree(opts);
    return tif;
}

struct Closer {
    TIFF* tif;
    ~Closer() {
        if (tif) TIFFClose(tif);
    }
};

// Best ratio of decoded to coded bytes a compression can reach, for the early size check.
std::uint64_t BestRatio(int compression, std::uint64_t scanline, int samples) {
    switch (compression) {
    case COMPRESSION_NONE:
        return 1;
    case COMPRESSION_PACKBITS:
        return 64;
    case COMPRESSION_LZW:
        return 4096;
    case COMPRESSION_DEFLATE:
    case COMPRESSION_ADOBE_DEFLATE:
        return 1100;
    case COMPRESSION_JPEG:
    case COMPRESSION_OJPEG:
        return 2048 * static_cast<std::uint64_t>(std::max(samples, 1));
    case COMPRESSION_CCITTRLE:
    case COMPRESSION_CCITTRLEW:
    case COMPRESSION_CCITTFAX3:
    case COMPRESSION_CCITTFAX4:
        // A blank row can cost a single bit.
        return std::max<std::uint64_t>(4096, 8 * scanline);
    default:
        return std::uint64_t{1} << 16;
    }
}

BYTE Unpremultiply(int c, int a) {
    return static_cast<BYTE>(a ? std::min(255, (c * 255 + a / 2) / a) : 0);
}

// The pixels as stored, in the file's own orientation: asked for that orientation, libtiff turns
// nothing (it would only mirror, never turn a quarter).
PackedDib ReadThroughRgba(TIFF* tif, int w, int h, bool alpha, std::uint16_t orientation,
                          IProgress* progress) {
    RowProgress steps(progress, 1);
    // The result first: a size it refuses is refused before the library decodes anything.
    PackedDib dib = PackedDib::Create(w, h, alpha ? 32 : 24);
    if (!dib) return dib;
    std::vector<std::uint32_t> raster;
    try {
        raster.resize(static_cast<std::size_t>(w) * h);
    } catch (const std::bad_alloc&) {
        return {};
    }
    if (!TIFFReadRGBAImageOriented(
            tif, static_cast<std::uint32_t>(w), static_cast<std::uint32_t>(h), raster.data(),
            orientation >= 1 && orientation <= 8 ? orientation : ORIENTATION_TOPLEFT, 1))
        return {};
    for (int y = 0; y < h; ++y) {
        const std::uint32_t* src = &raster[static_cast<std::size_t>(y) * w];
        BYTE* dst = dib.Row(y);
        for (int x = 0; x < w; ++x) {
            const std::uint32_t p = src[x];
            const int r = TIFFGetR(p), g = TIFFGetG(p), b = TIFFGetB(p), a = TIFFGetA(p);
            if (alpha) {
                // libtiff hands out premultiplied colour.
                dst[4 * x] = Unpremultiply(b, a);
                dst[4 * x + 1] = Unpremultiply(g, a);
                dst[4 * x + 2] = Unpremultiply(r, a);
                dst[4 * x + 3] = static_cast<BYTE>(a);
            } else {
                dst[3 * x] = static_cast<BYTE>(b);
                dst[3 * x + 1] = static_cast<BYTE>(g);
                dst[3 * x + 2] = static_cast<BYTE>(r);
            }
        }
    }
    steps.Finish();
    return dib;
}

PackedDib DecodeOpened(TIFF* tif, std::span<const BYTE> file, IProgress* progress);

} // namespace

PackedDib DecodeTiff(std::span<const BYTE> file, IProgress* progress) {
    if (file.size() < 8) return {};
    MemIn in{file.data(), file.size(), 0};
    // A picture libtiff had to patch up is refused rather than shown with wrong pixels.
    int losses = 0;
    Closer c{Open("r", &in, true, &losses)};
    TIFF* tif = c.tif;
    if (!tif || losses > 0) return {};
    PackedDib dib = DecodeOpened(tif, file, progress);
    if (losses > 0 || !dib) return {};
    std::uint32_t iccSize = 0;
    const BYTE* icc = nullptr;
    if (TIFFGetField(tif, TIFFTAG_ICCPROFILE, &iccSize, &icc) && icc)
        NoteProfileOutcome(ConvertToSrgb(dib, {icc, iccSize}));
    return dib;
}

namespace {

PackedDib DecodeOpened(TIFF* tif, std::span<const BYTE> file, IProgress* progress) {
    std::uint32_t width = 0, height = 0;
    std::uint16_t bps = 1, spp = 1, photometric = 0, planar = PLANARCONFIG_CONTIG,
                  compression = COMPRESSION_NONE;
    std::uint16_t orientation = ORIENTATION_TOPLEFT, format = SAMPLEFORMAT_UINT, extraCount = 0;
    std::uint16_t* extraTypes = nullptr;
    if (!TIFFGetField(tif, TIFFTAG_IMAGEWIDTH, &width) || !TIFFGetField(tif, TIFFTAG_IMAGELENGTH, &height))
        return {};
    if (width == 0 || height == 0 || width > 0x7FFFFFFF || height > 0x7FFFFFFF) return {};
    TIFFGetFieldDefaulted(tif, TIFFTAG_BITSPERSAMPLE, &bps);
    TIFFGetFieldDefaulted(tif, TIFFTAG_SAMPLESPERPIXEL, &spp);
    const bool hasPhotometric = TIFFGetField(tif, TIFFTAG_PHOTOMETRIC, &photometric) != 0;
    TIFFGetFieldDefaulted(tif, TIFFTAG_PLANARCONFIG, &planar);
    TIFFGetFieldDefaulted(tif, TIFFTAG_COMPRESSION, &compression);
    TIFFGetFieldDefaulted(tif, TIFFTAG_ORIENTATION, &orientation);
    TIFFGetFieldDefaulted(tif, TIFFTAG_SAMPLEFORMAT, &format);
    TIFFGetFieldDefaulted(tif, TIFFTAG_EXTRASAMPLES, &extraCount, &extraTypes);
    const int w = static_cast<int>(width), h = static_cast<int>(height);

    // How many bytes the codec has to produce, against what the file could possibly hold.
    const std::uint64_t scanline = static_cast<std::uint64_t>(TIFFScanlineSize64(tif));
    const std::uint64_t raw = (std::uint64_t{width} * spp * bps + 7) / 8 * height;
    if (!scanline || !Plausible(raw, file.size(), BestRatio(compression, scanline, spp))) return {};

    const bool grayOrPalette =
        (photometric == PHOTOMETRIC_MINISBLACK || photometric == PHOTOMETRIC_MINISWHITE ||
         photometric == PHOTOMETRIC_PALETTE) &&
        spp == 1 && (bps == 1 || bps == 4 || bps == 8);
    const bool rgb = photometric == PHOTOMETRIC_RGB && bps == 8 && spp >= 3 && planar == PLANARCONFIG_CONTIG;
    const bool simple = hasPhotometric && !TIFFIsTiled(tif) && format == SAMPLEFORMAT_UINT &&
                        (orientation == ORIENTATION_TOPLEFT || orientation == ORIENTATION_BOTLEFT) &&
                        (grayOrPalette || rgb) && scanline <= 0x7FFFFFFF;
    if (!simple) {
        if (static_cast<std::uint64_t>(width) * height * 4 > PackedDib::kMaxBytes) return {};
        return ApplyOrientation(
            ReadThroughRgba(tif, w, h, extraCount > 0 || (photometric == PHOTOMETRIC_MINISBLACK && spp == 2),
                            orientation, progress),
            orientation);
    }

    const bool alpha = rgb && spp >= 4;
    const bool associated = alpha && extraCount > 0 && extraTypes && extraTypes[0] == EXTRASAMPLE_ASSOCALPHA;
    const int outBits = grayOrPalette ? bps : alpha ? 32 : 24;
    PackedDib dib = PackedDib::Create(w, h, outBits);
    if (!dib) return dib;
    if (photometric == PHOTOMETRIC_PALETTE) {
        std::uint16_t *r = nullptr, *g = nullptr, *b = nullptr;
        if (!TIFFGetField(tif, TIFFTAG_COLORMAP, &r, &g, &b) || !r || !g || !b) return {};
        const int n = 1 << bps;
        // Some writers store 8-bit values in the 16-bit table.
        bool eightBit = true;
        for (int i = 0; i < n; ++i)
            eightBit = eightBit && r[i] < 256 && g[i] < 256 && b[i] < 256;
        const int shift = eightBit ? 0 : 8;
        RGBQUAD* table = dib.ColorTable();
        for (int i = 0; i < n; ++i)
            table[i] = RGBQUAD{BYTE(b[i] >> shift), BYTE(g[i] >> shift), BYTE(r[i] >> shift), 0};
    } else if (grayOrPalette) {
        SetGrayRamp(dib, 1 << bps);
        if (photometric == PHOTOMETRIC_MINISWHITE)
            std::reverse(dib.ColorTable(), dib.ColorTable() + (1 << bps));
    }

    std::vector<BYTE> line(static_cast<std::size_t>(scanline));
    const std::size_t rowBytes = (static_cast<std::size_t>(w) * bps + 7) / 8;
    if (grayOrPalette && rowBytes > line.size()) return {};
    if (rgb && static_cast<std::size_t>(w) * spp > line.size()) return {};
    RowProgress steps(progress, height);
    for (std::uint32_t r = 0; r < height; ++r) {
        if (TIFFReadScanline(tif, line.data(), r, 0) < 0) return {};
        BYTE* dst =
            dib.Row(orientation == ORIENTATION_BOTLEFT ? h - 1 - static_cast<int>(r) : static_cast<int>(r));
        if (grayOrPalette) {
            std::memcpy(dst, line.data(), rowBytes);
        } else {
            const BYTE* s = line.data();
            for (int x = 0; x < w; ++x, s += spp) {
                if (!alpha) {
                    dst[3 * x] = s[2];
                    dst[3 * x + 1] = s[1];
                    dst[3 * x + 2] = s[0];
                } else if (associated) {
                    dst[4 * x] = Unpremultiply(s[2], s[3]);
                    dst[4 * x + 1] = Unpremultiply(s[1], s[3]);
                    dst[4 * x + 2] = Unpremultiply(s[0], s[3]);
                    dst[4 * x + 3] = s[3];
                } else {
                    dst[4 * x] = s[2];
                    dst[4 * x + 1] = s[1];
                    dst[4 * x + 2] = s[0];
                    dst[4 * x + 3] = s[3];
                }
            }
        }
        steps.Update(std::uint64_t{r} + 1);
    }
    return dib;
}

} // namespace

namespace {

// 1 when black is index 0 and white index 1, 2 the other way round, 0 when not black and white.
int BlackAndWhite(const PackedDib& dib) {
    if (dib.BitCount() != 1 || PaletteEntries(dib) > 2) return 0;
    const RGBQUAD a = PaletteColor(dib, 0), b = PaletteColor(dib, 1);
    auto is = [](RGBQUAD c, BYTE v) { return c.rgbRed == v && c.rgbGreen == v && c.rgbBlue == v; };
    if (is(a, 0) && is(b, 255)) return 1;
    if (is(a, 255) && is(b, 0)) return 2;
    return 0;
}

} // namespace

namespace {

// How a picture of a given depth is stored for a compression code.
struct TiffPlan {
    std::uint16_t compression = COMPRESSION_NONE;
    int bw = 0;            // BlackAndWhite of the source
    bool jpeg = false;     // JPEG compression
    bool grayJpeg = false; // a grey palette image stored as 8-bit grey
    bool toBgr24 = false;  // the source is converted to 24 bits first
};

TiffPlan PlanTiff(const PackedDib& dib, DWORD code) {
    TiffPlan plan;
    switch (code) {
    case COMPRESSION_CCITTFAX3:
    case COMPRESSION_CCITTFAX4:
    case COMPRESSION_LZW:
    case COMPRESSION_JPEG:
    case COMPRESSION_ADOBE_DEFLATE:
    case COMPRESSION_DEFLATE:
        plan.compression = static_cast<std::uint16_t>(code);
        break;
    default:
        break;
    }
    const int srcBits = dib.BitCount();
    const bool masked = dib.Header()->biCompression == BI_BITFIELDS;
    plan.bw = BlackAndWhite(dib);
    if ((plan.compression == COMPRESSION_CCITTFAX3 || plan.compression == COMPRESSION_CCITTFAX4) && !plan.bw)
        plan.compression = COMPRESSION_LZW;
    plan.jpeg = plan.compression == COMPRESSION_JPEG;
    plan.grayJpeg = plan.jpeg && srcBits <= 8 && IsGrayPalette(dib);
    plan.toBgr24 = srcBits == 16 || masked || (plan.jpeg && !plan.grayJpeg && srcBits != 24);
    return plan;
}

// The tags of a w x h picture of `src`'s depth (its colour table for palettes); the samples per
// pixel in `spp`.
bool SetupTiff(TIFF* tif, const TiffPlan& plan, const PackedDib& src, int w, int h, std::uint16_t& spp) {
    const int bits = src.BitCount();
    std::uint16_t bps = 8, photometric = PHOTOMETRIC_RGB;
    spp = 1;
    if (plan.grayJpeg) {
        photometric = PHOTOMETRIC_MINISBLACK;
    } else if (bits <= 8) {
        bps = static_cast<std::uint16_t>(bits);
        photometric = plan.bw == 1   ? PHOTOMETRIC_MINISBLACK
                      : plan.bw == 2 ? PHOTOMETRIC_MINISWHITE
                                     : PHOTOMETRIC_PALETTE;
    } else {
        spp = bits == 32 ? 4 : 3;
    }
    bool ok = TIFFSetField(tif, TIFFTAG_IMAGEWIDTH, static_cast<std::uint32_t>(w)) &&
              TIFFSetField(tif, TIFFTAG_IMAGELENGTH, static_cast<std::uint32_t>(h)) &&
              TIFFSetField(tif, TIFFTAG_BITSPERSAMPLE, bps) &&
              TIFFSetField(tif, TIFFTAG_SAMPLESPERPIXEL, spp) &&
              TIFFSetField(tif, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG) &&
              TIFFSetField(tif, TIFFTAG_ORIENTATION, ORIENTATION_TOPLEFT) &&
              TIFFSetField(tif, TIFFTAG_COMPRESSION, plan.compression) &&
              TIFFSetField(tif, TIFFTAG_XRESOLUTION, 72.0) && TIFFSetField(tif, TIFFTAG_YRESOLUTION, 72.0) &&
              TIFFSetField(tif, TIFFTAG_RESOLUTIONUNIT, RESUNIT_INCH);
    if (plan.jpeg && !plan.grayJpeg) {
        // The usual JPEG-in-TIFF: YCbCr in the file, RGB rows handed over.
        ok = ok && TIFFSetField(tif, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_YCBCR) &&
             TIFFSetField(tif, TIFFTAG_JPEGCOLORMODE, JPEGCOLORMODE_RGB);
    } else {
        ok = ok && TIFFSetField(tif, TIFFTAG_PHOTOMETRIC, photometric);
    }
    if (plan.jpeg) ok = ok && TIFFSetField(tif, TIFFTAG_JPEGQUALITY, 85);
    if (spp == 4) {
        const std::uint16_t extra = EXTRASAMPLE_UNASSALPHA;
        ok = ok && TIFFSetField(tif, TIFFTAG_EXTRASAMPLES, 1, &extra);
    }
    if (ok && photometric == PHOTOMETRIC_PALETTE) {
        const int n = 1 << bps;
        std::vector<std::uint16_t> map(3 * static_cast<std::size_t>(n), 0);
        for (int i = 0; i < n; ++i) {
            const RGBQUAD q = PaletteColor(src, i);
            map[i] = static_cast<std::uint16_t>(q.rgbRed * 257);
            map[n + i] = static_cast<std::uint16_t>(q.rgbGreen * 257);
            map[2 * n + i] = static_cast<std::uint16_t>(q.rgbBlue * 257);
        }
        ok = TIFFSetField(tif, TIFFTAG_COLORMAP, map.data(), map.data() + n, map.data() + 2 * n);
    }
    return ok && TIFFSetField(tif, TIFFTAG_ROWSPERSTRIP, TIFFDefaultStripSize(tif, 0));
}

// Row y of `src` as the file's samples.
void PackTiffLine(const TiffPlan& plan, const BYTE* grayOf, const PackedDib& src, int y, std::uint16_t spp,
                  BYTE* line) {
    const int w = src.Width(), bits = src.BitCount();
    const BYTE* s = src.Row(y);
    if (plan.grayJpeg) {
        const int perByte = 8 / bits, mask = (1 << bits) - 1;
        for (int x = 0; x < w; ++x)
            line[x] = grayOf[(s[x / perByte] >> (8 - bits - (x % perByte) * bits)) & mask];
    } else if (bits <= 8) {
        std::memcpy(line, s, (static_cast<std::size_t>(w) * bits + 7) / 8);
    } else {
        const int n = bits / 8;
        for (int x = 0; x < w; ++x) {
            line[spp * x] = s[n * x + 2];
            line[spp * x + 1] = s[n * x + 1];
            line[spp * x + 2] = s[n * x];
            if (spp == 4) line[spp * x + 3] = s[n * x + 3];
        }
    }
}

// 24-bit or 32-bit bands into a TIFF as they come.
class TiffRowWriter final : public CRowWriter {
public:
    TiffRowWriter(ByteWriter& out, int w, int h, int rowBits, DWORD code)
        : out_{&out, out.Tell(), 0}, height_(h) {
        const PackedDib like = PackedDib::Create(1, 1, rowBits);
        if (!like) return;
        plan_ = PlanTiff(like, code);
        // Alpha has no place in JPEG-in-TIFF: the rows go as 24 bits.
        bits_ = plan_.toBgr24 ? 24 : rowBits;
        const PackedDib shape = bits_ == rowBits ? PackedDib() : PackedDib::Create(1, 1, bits_);
        tif_.tif = Open("w", &out_, false);
        ok_ = tif_.tif && SetupTiff(tif_.tif, plan_, shape ? shape : like, w, h, spp_);
        line_.resize(static_cast<std::size_t>(w) * spp_ + 4);
    }
    bool AddBand(const PackedDib& band) override {
        const PackedDib converted = ok_ && bits_ != band.BitCount() ? ToBgr24(band) : PackedDib();
        const PackedDib& src = converted ? converted : band;
        for (int y = 0; ok_ && y < src.Height(); ++y, ++row_) {
            PackTiffLine(plan_, nullptr, src, y, spp_, line_.data());
            ok_ = row_ < height_ &&
                  TIFFWriteScanline(tif_.tif, line_.data(), static_cast<std::uint32_t>(row_), 0) >= 0;
        }
        return ok_;
    }
    bool Finish() override {
        if (!ok_ || row_ != height_ || !TIFFWriteDirectory(tif_.tif)) return false;
        TIFFClose(tif_.tif);
        tif_.tif = nullptr;
        return !out_.writer->Failed();
    }

private:
    Out out_;
    Closer tif_{nullptr};
    TiffPlan plan_;
    int bits_ = 24;
    std::uint16_t spp_ = 3;
    int height_ = 0, row_ = 0;
    std::vector<BYTE> line_;
    bool ok_ = false;
};

} // namespace

bool EncodeTiff(const PackedDib& dib, DWORD code, ByteWriter& out, IProgress* progress) {
    if (!Writable(dib)) return false;
    const TiffPlan plan = PlanTiff(dib, code);
    const PackedDib* src = &dib;
    PackedDib converted;
    if (plan.toBgr24) {
        converted = ToBgr24(dib);
        if (!converted) return false;
        src = &converted;
    }
    const int w = src->Width(), h = src->Height();
    Out sink{&out, out.Tell(), 0};
    Closer c{Open("w", &sink, false)};
    TIFF* tif = c.tif;
    std::uint16_t spp = 1;
    if (!tif || !SetupTiff(tif, plan, *src, w, h, spp)) return false;

    std::vector<BYTE> line(static_cast<std::size_t>(w) * std::max<int>(spp, 1) + 4);
    BYTE grayOf[256] = {};
    if (plan.grayJpeg)
        for (int i = 0; i < 256; ++i)
            grayOf[i] = PaletteColor(*src, i).rgbRed;
    RowProgress steps(progress, static_cast<std::uint64_t>(h));
    for (int y = 0; y < h; ++y) {
        PackTiffLine(plan, grayOf, *src, y, spp, line.data());
        if (TIFFWriteScanline(tif, line.data(), static_cast<std::uint32_t>(y), 0) < 0) return false;
        steps.Update(static_cast<std::uint64_t>(y) + 1);
    }
    if (!TIFFWriteDirectory(tif)) return false;
    TIFFClose(tif);
    c.tif = nullptr;
    return !out.Failed();
}

std::unique_ptr<CRowWriter> CreateTiffRowWriter(ByteWriter& out, int width, int height, int rowBits,
                                                DWORD code) {
    if ((rowBits != 24 && rowBits != 32) || width <= 0 || height <= 0) return nullptr;
    return std::make_unique<TiffRowWriter>(out, width, height, rowBits, code);
}

} // namespace zepho
