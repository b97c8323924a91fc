#include "extlib/PhotoLook.h"

#include "platform/Parallel.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <list>
#include <memory>
#include <mutex>
#include <string_view>
#include <utility>
#include <vector>

#include <lcms2.h>

namespace zepho {

// ---- Orientation

namespace {

std::uint32_t Get(const BYTE* p, int n, bool little) {
    std::uint32_t v = 0;
    for (int i = 0; i < n; ++i)
        v |= static_cast<std::uint32_t>(p[little ? i : n - 1 - i]) << (8 * i);
    return v;
}

} // namespace

int ExifOrientation(std::span<const BYTE> exif) {
    if (exif.size() >= 6 && std::memcmp(exif.data(), "Exif\0\0", 6) == 0) exif = exif.subspan(6);
    if (exif.size() < 8) return 1;
    const BYTE* b = exif.data();
    bool little;
    if (b[0] == 'I' && b[1] == 'I')
        little = true;
    else if (b[0] == 'M' && b[1] == 'M')
        little = false;
    else
        return 1;
    if (Get(b + 2, 2, little) != 42) return 1;
    // IFD0 only: the orientation of the main image lives there.
    const std::uint64_t ifd = Get(b + 4, 4, little);
    if (ifd + 2 > exif.size()) return 1;
    const std::uint32_t count = Get(b + ifd, 2, little);
    for (std::uint32_t i = 0; i < count; ++i) {
        const std::uint64_t at = ifd + 2 + 12 * std::uint64_t{i};
        if (at + 12 > exif.size()) return 1;
        if (Get(b + at, 2, little) != 0x0112) continue;
        // SHORT, one value, stored in the first two bytes of the value field.
        if (Get(b + at + 2, 2, little) != 3 || Get(b + at + 4, 4, little) < 1) return 1;
        const std::uint32_t v = Get(b + at + 8, 2, little);
        return v >= 1 && v <= 8 ? static_cast<int>(v) : 1;
    }
    return 1;
}

namespace {

// Pixel (x, y) of a DIB of `bits` per pixel below 8: the index it holds.
inline int SubBytePixel(const BYTE* row, int x, int bits) {
    const int perByte = 8 / bits;
    return (row[x / perByte] >> (8 - bits - (x % perByte) * bits)) & ((1 << bits) - 1);
}

inline void SetSubBytePixel(BYTE* row, int x, int bits, int v) {
    const int perByte = 8 / bits, shift = 8 - bits - (x % perByte) * bits;
    BYTE& b = row[x / perByte];
    b = static_cast<BYTE>((b & ~(((1 << bits) - 1) << shift)) | (v << shift));
}

} // namespace

namespace {
thread_local int tOrientationSeen = 1;
}

int TakeOrientationSeen() {
    return std::exchange(tOrientationSeen, 1);
}

PackedDib ApplyOrientation(PackedDib dib, int orientation) {
    if (!dib || orientation <= 1 || orientation > 8) return dib;
    tOrientationSeen = orientation;
    const int w = dib.Width(), h = dib.Height(), bits = dib.BitCount();
    const bool swap = orientation >= 5;
    const int ow = swap ? h : w, oh = swap ? w : h;
    PackedDib out = PackedDib::Create(ow, oh, bits, dib.Header()->biClrUsed, dib.Header()->biCompression);
    if (!out) return {};
    // Header extras (colour table, channel masks) come over as they are.
    std::memcpy(reinterpret_cast<BYTE*>(out.Header()) + sizeof(BITMAPINFOHEADER),
                reinterpret_cast<const BYTE*>(dib.Header()) + sizeof(BITMAPINFOHEADER),
                static_cast<std::size_t>(dib.Bits() - dib.Data()) - sizeof(BITMAPINFOHEADER));
    out.Header()->biXPelsPerMeter = swap ? dib.Header()->biYPelsPerMeter : dib.Header()->biXPelsPerMeter;
    out.Header()->biYPelsPerMeter = swap ? dib.Header()->biXPelsPerMeter : dib.Header()->biYPelsPerMeter;

    // The stored pixel that output pixel (x, y) shows: sx = ax*x + bx*y + cx, sy likewise.
    int ax = 0, bx = 0, cx = 0, ay = 0, by = 0, cy = 0;
    switch (orientation) {
    case 2:
        ax = -1, cx = w - 1, by = 1;
        break;
    case 3:
        ax = -1, cx = w - 1, by = -1, cy = h - 1;
        break;
    case 4:
        ax = 1, by = -1, cy = h - 1;
        break;
    case 5:
        bx = 1, ay = 1;
        break;
    case 6:
        bx = 1, ay = -1, cy = h - 1;
        break;
    case 7:
        bx = -1, cx = w - 1, ay = -1, cy = h - 1;
        break;
    default:
        bx = -1, cx = w - 1, ay = 1;
        break; // 8
    }
    const int bytes = bits >= 8 ? bits / 8 : 0;
    const std::ptrdiff_t stride = static_cast<std::ptrdiff_t>(dib.Stride());
    // Square tiles keep both the rows read and the rows written in the cache when turning.
    constexpr int kTile = 64;
    const int tilesDown = (oh + kTile - 1) / kTile;
    ParallelFor(tilesDown, 1, [&](std::ptrdiff_t t0, std::ptrdiff_t t1) {
        for (std::ptrdiff_t t = t0; t < t1; ++t) {
            const int y0 = static_cast<int>(t) * kTile, y1 = std::min(oh, y0 + kTile);
            for (int x0 = 0; x0 < ow; x0 += kTile) {
                const int x1 = std::min(ow, x0 + kTile);
                for (int y = y0; y < y1; ++y) {
                    BYTE* row = out.Row(y);
                    int sx = ax * x0 + bx * y + cx, sy = ay * x0 + by * y + cy;
                    if (bytes == 0) {
                        for (int x = x0; x < x1; ++x, sx += ax, sy += ay)
                            SetSubBytePixel(row, x, bits, SubBytePixel(dib.Row(sy), sx, bits));
                        continue;
                    }
                    // Along an output row the source moves by a fixed step: a pixel, or a row up or
                    // down (rows are stored bottom-up).
                    const BYTE* src = dib.Row(sy) + static_cast<std::ptrdiff_t>(sx) * bytes;
                    const std::ptrdiff_t step = static_cast<std::ptrdiff_t>(ax) * bytes - ay * stride;
                    BYTE* dst = row + static_cast<std::size_t>(x0) * bytes;
                    if (bytes == 4)
                        for (int x = x0; x < x1; ++x, src += step, dst += 4)
                            std::memcpy(dst, src, 4);
                    else if (bytes == 3 && ax == 0 && sx < w - 1) {
                        // A turn reads one column: four bytes a move, the fourth written over by
                        // the next pixel, while the column is not the last (whose fourth byte could
                        // lie past the picture); the tile's last pixel writes three.
                        for (int x = x0; x < x1 - 1; ++x, src += step, dst += 3)
                            std::memcpy(dst, src, 4);
                        dst[0] = src[0], dst[1] = src[1], dst[2] = src[2];
                    } else if (bytes == 3)
                        for (int x = x0; x < x1; ++x, src += step, dst += 3)
                            dst[0] = src[0], dst[1] = src[1], dst[2] = src[2];
                    else
                        for (int x = x0; x < x1; ++x, src += step, dst += bytes)
                            std::memcpy(dst, src, static_cast<std::size_t>(bytes));
                }
            }
        }
    });
    return out;
}

// ---- Colour profiles

namespace {

struct ProfileCloser {
    cmsHPROFILE p;
    ~ProfileCloser() {
        if (p) cmsCloseProfile(p);
    }
};

// The colorants (XYZ, adapted to D50) and tone curves of an RGB matrix-shaper profile, in red,
// green, blue order; false when one is missing.
struct MatrixTags {
    const cmsCIEXYZ* colorant[3] = {};
    const cmsToneCurve* curve[3] = {};
};
bool ReadMatrixTags(cmsHPROFILE p, MatrixTags& tags) {
    if (cmsGetColorSpace(p) != cmsSigRgbData) return false;
    const cmsTagSignature colorants[] = {cmsSigRedColorantTag, cmsSigGreenColorantTag, cmsSigBlueColorantTag};
    const cmsTagSignature curves[] = {cmsSigRedTRCTag, cmsSigGreenTRCTag, cmsSigBlueTRCTag};
    for (int i = 0; i < 3; ++i) {
        tags.colorant[i] = static_cast<const cmsCIEXYZ*>(cmsReadTag(p, colorants[i]));
        tags.curve[i] = static_cast<const cmsToneCurve*>(cmsReadTag(p, curves[i]));
        if (!tags.colorant[i] || !tags.curve[i]) return false;
    }
    return true;
}

// Whether an RGB profile is sRGB in all but name: the same primaries and tone curves, so that
// converting would only add rounding.
bool IsSrgbLike(cmsHPROFILE p) {
    ProfileCloser srgb{cmsCreate_sRGBProfile()};
    MatrixTags a, b;
    if (!ReadMatrixTags(p, a) || !ReadMatrixTags(srgb.p, b)) return false;
    for (int i = 0; i < 3; ++i) {
        if (std::fabs(a.colorant[i]->X - b.colorant[i]->X) > 0.002 ||
            std::fabs(a.colorant[i]->Y - b.colorant[i]->Y) > 0.002 ||
            std::fabs(a.colorant[i]->Z - b.colorant[i]->Z) > 0.002)
            return false;
        for (int k = 0; k <= 32; ++k) {
            const float v = static_cast<float>(k) / 32.0f;
            if (std::fabs(cmsEvalToneCurveFloat(a.curve[i], v) - cmsEvalToneCurveFloat(b.curve[i], v)) >
                0.002f)
                return false;
        }
    }
    return true;
}

// A matrix-shaper profile (three tone curves and a 3 x 3 matrix, as cameras and most RGB spaces
// are) to sRGB, in integers: curves to linear light in 14 bits, the matrix between the two
// spaces' colorants, and the inverse sRGB curve from a table. Within a level of what Little CMS
// computes for the same pair, several times faster than its general pipeline.
class MatrixShaper {
public:
    static std::unique_ptr<MatrixShaper> Make(std::span<const BYTE> icc) {
        ProfileCloser in{cmsOpenProfileFromMem(icc.data(), static_cast<cmsUInt32Number>(icc.size()))};
        ProfileCloser srgb{cmsCreate_sRGBProfile()};
        MatrixTags inTags, outTags;
        if (!in.p || !cmsIsMatrixShaper(in.p) || !ReadMatrixTags(in.p, inTags) ||
            !ReadMatrixTags(srgb.p, outTags))
            return {};
        double from[3][3], to[3][3]; // columns: the colorants' XYZ
        auto fast = std::make_unique<MatrixShaper>();
        for (int c = 0; c < 3; ++c) {
            const cmsCIEXYZ &a = *inTags.colorant[c], &b = *outTags.colorant[c];
            from[0][c] = a.X, from[1][c] = a.Y, from[2][c] = a.Z;
            to[0][c] = b.X, to[1][c] = b.Y, to[2][c] = b.Z;
            for (int v = 0; v < 256; ++v)
                fast->linear_[c][v] = static_cast<std::int32_t>(std::lround(
                    std::clamp(cmsEvalToneCurveFloat(inTags.curve[c], v / 255.0f), 0.0f, 1.0f) * kOne));
        }
        // to^-1 * from, by the adjugate.
        const double det = to[0][0] * (to[1][1] * to[2][2] - to[1][2] * to[2][1]) -
                           to[0][1] * (to[1][0] * to[2][2] - to[1][2] * to[2][0]) +
                           to[0][2] * (to[1][0] * to[2][1] - to[1][1] * to[2][0]);
        if (std::fabs(det) < 1e-9) return {};
        double inv[3][3];
        for (int r = 0; r < 3; ++r)
            for (int c = 0; c < 3; ++c) {
                const int r1 = (c + 1) % 3, r2 = (c + 2) % 3, c1 = (r + 1) % 3, c2 = (r + 2) % 3;
                inv[r][c] = (to[r1][c1] * to[r2][c2] - to[r1][c2] * to[r2][c1]) / det;
            }
        for (int r = 0; r < 3; ++r)
            for (int c = 0; c < 3; ++c) {
                double m = 0;
                for (int k = 0; k < 3; ++k)
                    m += inv[r][k] * from[k][c];
                if (std::fabs(m) >= 8) return {};
                fast->matrix_[r][c] = static_cast<std::int32_t>(std::lround(m * (1 << kMatrixBits)));
            }
        cmsToneCurve* inverse = cmsReverseToneCurve(outTags.curve[0]);
        if (!inverse) return {};
        for (int v = 0; v <= kOne; ++v)
            fast->encode_[v] = static_cast<BYTE>(std::lround(
                std::clamp(cmsEvalToneCurveFloat(inverse, static_cast<float>(v) / kOne), 0.0f, 1.0f) * 255));
        cmsFreeToneCurve(inverse);
        return fast;
    }

    // B, G, R pixels `step` bytes apart (3 or 4; a fourth byte stays as it is).
    void Row(BYTE* p, int width, int step) const {
        // In locals: the byte stores below may alias anything, members would be read again.
        const std::int32_t m00 = matrix_[0][0], m01 = matrix_[0][1], m02 = matrix_[0][2], m10 = matrix_[1][0],
                           m11 = matrix_[1][1], m12 = matrix_[1][2], m20 = matrix_[2][0], m21 = matrix_[2][1],
                           m22 = matrix_[2][2];
        const std::int32_t *lr = linear_[0], *lg = linear_[1], *lb = linear_[2];
        const BYTE* encode = encode_;
        auto at = [encode](std::int32_t v) {
            const std::int32_t i = (v + (1 << (kMatrixBits - 1))) >> kMatrixBits;
            return encode[i < 0 ? 0 : i > kOne ? kOne : i];
        };
        for (int x = 0; x < width; ++x, p += step) {
            const std::int32_t r = lr[p[2]], g = lg[p[1]], b = lb[p[0]];
            const BYTE nr = at(m00 * r + m01 * g + m02 * b), ng = at(m10 * r + m11 * g + m12 * b),
                       nb = at(m20 * r + m21 * g + m22 * b);
            p[0] = nb, p[1] = ng, p[2] = nr;
        }
    }

private:
    // Linear light in 14 bits, the matrix in 12: three products stay inside 32 bits for
    // any matrix between real colour spaces (entries below 8 in size).
    static constexpr int kBits = 14, kOne = 1 << kBits, kMatrixBits = 12;
    std::int32_t linear_[3][256] = {};
    std::int32_t matrix_[3][3] = {};
    BYTE encode_[kOne + 1] = {};
};

// Transforms made once per profile and pixel layout, kept for the next image of the same camera.
// cmsFLAGS_NOCACHE makes one transform safe to run on several threads at once.
class TransformCache {
public:
    ~TransformCache() {
        for (Entry& e : entries_)
            if (e.transform) cmsDeleteTransform(e.transform);
    }
    // Null with `srgb` set when the profile is sRGB already; null otherwise when unusable.
    cmsHTRANSFORM Get(std::span<const BYTE> icc, cmsUInt32Number inFormat, cmsColorSpaceSignature space,
                      cmsUInt32Number outFormat, bool& srgb,
                      std::shared_ptr<const MatrixShaper>* fast = nullptr) {
        const std::string_view key(reinterpret_cast<const char*>(icc.data()), icc.size());
        std::lock_guard<std::mutex> lock(mutex_);
        for (auto it = entries_.begin(); it != entries_.end(); ++it)
            if (it->inFormat == inFormat && it->outFormat == outFormat && it->icc == key) {
                entries_.splice(entries_.begin(), entries_, it);
                srgb = it->srgb;
                if (fast) *fast = it->fast;
                return it->transform;
            }
        Entry e;
        e.icc.assign(key);
        e.inFormat = inFormat;
        e.outFormat = outFormat;
        ProfileCloser in{cmsOpenProfileFromMem(icc.data(), static_cast<cmsUInt32Number>(icc.size()))};
        if (in.p && cmsGetColorSpace(in.p) == space) {
            e.srgb = IsSrgbLike(in.p);
            // Pixels in their own order, RGB to RGB: the integer path where the profile allows
            // it, and then no general transform to build (its tables cost more than the pixels).
            if (!e.srgb && inFormat == outFormat && (inFormat == TYPE_BGR_8 || inFormat == TYPE_BGRA_8))
                e.fast = MatrixShaper::Make(icc);
            if (!e.srgb && !e.fast) {
                ProfileCloser out{cmsCreate_sRGBProfile()};
                // Perceptual where the profile has tables for it, else lcms falls back to
                // relative colorimetric; black point compensation as image editors do. A press
                // profile's four-dimensional table is evaluated as it is: resampled onto lcms'
                // coarser grid it is off by up to 14 levels.
                const cmsUInt32Number exact = space == cmsSigCmykData ? cmsFLAGS_NOOPTIMIZE : 0;
                e.transform = cmsCreateTransform(in.p, inFormat, out.p, outFormat, INTENT_PERCEPTUAL,
                                                 cmsFLAGS_NOCACHE | cmsFLAGS_BLACKPOINTCOMPENSATION | exact |
                                                     (T_EXTRA(inFormat) ? cmsFLAGS_COPY_ALPHA : 0));
            }
        }
        srgb = e.srgb;
        if (fast) *fast = e.fast;
        cmsHTRANSFORM t = e.transform;
        entries_.push_front(std::move(e));
        if (entries_.size() > kKeep) {
            if (entries_.back().transform) cmsDeleteTransform(entries_.back().transform);
            entries_.pop_back();
        }
        return t;
    }

private:
    struct Entry {
        std::string icc;
        cmsUInt32Number inFormat = 0, outFormat = 0;
        bool srgb = false;
        cmsHTRANSFORM transform = nullptr;
        std::shared_ptr<const MatrixShaper> fast;
    };
    static constexpr std::size_t kKeep = 8;
    std::mutex mutex_;
    std::list<Entry> entries_;
};

TransformCache& Cache() {
    static TransformCache cache;
    return cache;
}

// A profile claims its own size in its first four bytes; a block shorter than the header or
// than that claim is damaged.
bool PlausibleProfile(std::span<const BYTE> icc) {
    if (icc.size() < 132) return false;
    const std::uint32_t claimed = Get(icc.data(), 4, false);
    return claimed >= 132 && claimed <= icc.size();
}

} // namespace

namespace {
thread_local bool tProfileUnusable = false;
thread_local std::string tProfileSeen;
} // namespace

ProfileOutcome ConvertToSrgb(PackedDib& dib, std::span<const BYTE> icc) {
    if (icc.empty() || !dib) return ProfileOutcome::None;
    if (!PlausibleProfile(icc)) return ProfileOutcome::Unusable;
    dib.Detach(); // before the threads write through it
    tProfileSeen = ProfileDescription(icc);
    const int bits = dib.BitCount();
    if (bits > 8 && bits != 24 && bits != 32) return ProfileOutcome::None;
    cmsColorSpaceSignature space;
    {
        ProfileCloser probe{cmsOpenProfileFromMem(icc.data(), static_cast<cmsUInt32Number>(icc.size()))};
        if (!probe.p) return ProfileOutcome::Unusable;
        space = cmsGetColorSpace(probe.p);
    }
    bool srgb = false;
    if (space == cmsSigGrayData) {
        // Grey pixels (a grey ramp, or grey stored as RGB): 256 levels are all there is to convert.
        cmsHTRANSFORM t = Cache().Get(icc, TYPE_GRAY_8, cmsSigGrayData, TYPE_BGR_8, srgb);
        if (!t) return ProfileOutcome::Unusable;
        std::array<BYTE, 256> levels;
        std::array<BYTE, 3 * 256> lut;
        for (int i = 0; i < 256; ++i)
            levels[static_cast<std::size_t>(i)] = static_cast<BYTE>(i);
        cmsDoTransform(t, levels.data(), lut.data(), 256);
        if (bits <= 8) {
            RGBQUAD* table = dib.ColorTable();
            for (int i = 0; table && i < dib.ColorCount(); ++i) {
                const BYTE* c = &lut[3 * static_cast<std::size_t>(table[i].rgbGreen)];
                table[i].rgbBlue = c[0], table[i].rgbGreen = c[1], table[i].rgbRed = c[2];
            }
            return ProfileOutcome::Converted;
        }
        const int w = dib.Width(), step = bits / 8;
        ParallelFor(dib.Height(), RowGrain(w), [&](std::ptrdiff_t y0, std::ptrdiff_t y1) {
            for (std::ptrdiff_t y = y0; y < y1; ++y) {
                BYTE* p = dib.Row(static_cast<int>(y));
                for (int x = 0; x < w; ++x, p += step)
                    std::memcpy(p, &lut[3 * static_cast<std::size_t>(p[1])], 3);
            }
        });
        return ProfileOutcome::Converted;
    }
    if (space != cmsSigRgbData) return ProfileOutcome::Unusable;
    if (bits <= 8) {
        // A palette image: its colour table is all there is to convert.
        RGBQUAD* table = dib.ColorTable();
        std::shared_ptr<const MatrixShaper> fast;
        cmsHTRANSFORM t = Cache().Get(icc, TYPE_BGRA_8, cmsSigRgbData, TYPE_BGRA_8, srgb, &fast);
        if (srgb) return ProfileOutcome::None;
        if (!t && !fast) return ProfileOutcome::Unusable;
        if (table && fast)
            fast->Row(reinterpret_cast<BYTE*>(table), dib.ColorCount(), 4);
        else if (table)
            cmsDoTransform(t, table, table, static_cast<cmsUInt32Number>(dib.ColorCount()));
        return ProfileOutcome::Converted;
    }
    const cmsUInt32Number format = bits == 32 ? TYPE_BGRA_8 : TYPE_BGR_8;
    std::shared_ptr<const MatrixShaper> fast;
    cmsHTRANSFORM t = Cache().Get(icc, format, cmsSigRgbData, format, srgb, &fast);
    if (srgb) return ProfileOutcome::None;
    if (!t && !fast) return ProfileOutcome::Unusable;
    const int w = dib.Width();
    ParallelFor(dib.Height(), RowGrain(w), [&](std::ptrdiff_t y0, std::ptrdiff_t y1) {
        for (std::ptrdiff_t y = y0; y < y1; ++y) {
            BYTE* row = dib.Row(static_cast<int>(y));
            if (fast)
                fast->Row(row, w, bits / 8);
            else
                cmsDoTransform(t, row, row, static_cast<cmsUInt32Number>(w));
        }
    });
    return ProfileOutcome::Converted;
}

// The CMYK profile of files that carry none: the press profile the system ships, read once. Empty
// when it is not installed; such files then take the formula.
std::span<const BYTE> DefaultCmykProfile() {
    static const std::vector<BYTE> profile = [] {
        std::vector<BYTE> bytes;
        FILE* f = std::fopen(kDefaultCmykProfilePath, "rb");
        if (!f) return bytes;
        BYTE buf[65536];
        std::size_t n;
        while ((n = std::fread(buf, 1, sizeof buf, f)) > 0 && bytes.size() < (8u << 20))
            bytes.insert(bytes.end(), buf, buf + n);
        std::fclose(f);
        return bytes;
    }();
    return profile;
}

CCmykToSrgb::CCmykToSrgb(std::span<const BYTE> icc, bool inverted) : inverted_(inverted) {
    bool srgb = false;
    if (icc.empty()) {
        // Not the file's own: the outcome stays None, there is nothing to tell the user.
        const std::span<const BYTE> standard = DefaultCmykProfile();
        const cmsUInt32Number in = inverted ? (TYPE_CMYK_8 | FLAVOR_SH(1)) : TYPE_CMYK_8;
        if (PlausibleProfile(standard))
            transform_ = Cache().Get(standard, in, cmsSigCmykData, TYPE_BGR_8, srgb);
        return;
    }
    // Adobe's inverted CMYK is what lcms calls "reversed" (1 is no ink).
    const cmsUInt32Number in = inverted ? (TYPE_CMYK_8 | FLAVOR_SH(1)) : TYPE_CMYK_8;
    transform_ = PlausibleProfile(icc) ? Cache().Get(icc, in, cmsSigCmykData, TYPE_BGR_8, srgb) : nullptr;
    outcome_ = transform_ ? ProfileOutcome::Converted : ProfileOutcome::Unusable;
    if (transform_) tProfileSeen = ProfileDescription(icc);
}

CCmykToSrgb::~CCmykToSrgb() = default; // the cache owns the transform

void CCmykToSrgb::Row(const BYTE* cmyk, BYTE* bgr, int width) const {
    if (transform_) {
        cmsDoTransform(static_cast<cmsHTRANSFORM>(transform_), cmyk, bgr,
                       static_cast<cmsUInt32Number>(width));
        return;
    }
    for (int x = 0; x < width; ++x) {
        int c = cmyk[4 * x], m = cmyk[4 * x + 1], y = cmyk[4 * x + 2], k = cmyk[4 * x + 3];
        if (!inverted_) {
            c = 255 - c;
            m = 255 - m;
            y = 255 - y;
            k = 255 - k;
        }
        bgr[3 * x] = static_cast<BYTE>(y * k / 255);
        bgr[3 * x + 1] = static_cast<BYTE>(m * k / 255);
        bgr[3 * x + 2] = static_cast<BYTE>(c * k / 255);
    }
}

std::string TakeProfileSeen() {
    return std::exchange(tProfileSeen, std::string());
}

void NoteProfileOutcome(ProfileOutcome outcome) {
    if (outcome == ProfileOutcome::Unusable) tProfileUnusable = true;
}

bool TakeProfileUnusableNote() {
    return std::exchange(tProfileUnusable, false);
}

std::vector<BYTE> ProfileFromCodes(int primaries, int transfer, const float xy[8], bool& hdr) {
    hdr = transfer == 16 || transfer == 18;
    if (hdr) return {};
    // The decoding curves of the transfer codes, as ICC parametric curves of type 4:
    // Y = (a X + b)^g above d, c X below.
    double curve[5];
    switch (transfer) {
    case 1: // BT.709, and BT.601 and BT.2020 which share it
    case 6:
    case 14:
    case 15:
        curve[0] = 1 / 0.45, curve[1] = 1 / 1.099, curve[2] = 0.099 / 1.099, curve[3] = 1 / 4.5,
        curve[4] = 0.081;
        break;
    case 4:
        curve[0] = 2.2, curve[1] = 1, curve[2] = 0, curve[3] = 0, curve[4] = 0;
        break;
    case 5:
        curve[0] = 2.8, curve[1] = 1, curve[2] = 0, curve[3] = 0, curve[4] = 0;
        break;
    case 8:
        curve[0] = 1, curve[1] = 1, curve[2] = 0, curve[3] = 0, curve[4] = 0;
        break;
    default: // 13 (sRGB), 2 (unspecified) and the rest: taken as sRGB
        curve[0] = 2.4, curve[1] = 1 / 1.055, curve[2] = 0.055 / 1.055, curve[3] = 1 / 12.92,
        curve[4] = 0.04045;
        transfer = 13;
        break;
    }
    // BT.709 primaries are sRGB's; with the sRGB curve there is nothing to convert. (BT.709's own
    // curve differs from sRGB's only in the darkest levels, and browsers show such files as sRGB.)
    if ((primaries == 1 || primaries == 2) &&
        (transfer == 13 || transfer == 1 || transfer == 6 || transfer == 14 || transfer == 15))
        return {};
    for (int i = 0; i < 8; ++i)
        if (!(xy[i] > 0 && xy[i] < 1)) return {};
    const cmsCIExyY white = {xy[6], xy[7], 1};
    const cmsCIExyYTRIPLE rgb = {{xy[0], xy[1], 1}, {xy[2], xy[3], 1}, {xy[4], xy[5], 1}};
    cmsToneCurve* tone = cmsBuildParametricToneCurve(nullptr, 4, curve);
    if (!tone) return {};
    cmsToneCurve* curves[3] = {tone, tone, tone};
    ProfileCloser p{cmsCreateRGBProfile(&white, &rgb, curves)};
    cmsFreeToneCurve(tone);
    if (!p.p) return {};
    const char* name = primaries == 12   ? "Display P3"
                       : primaries == 11 ? "DCI-P3"
                       : primaries == 9  ? "BT.2020"
                                         : "";
    std::string description = *name ? name : "Primaries " + std::to_string(primaries);
    description += transfer == 13 ? "" : " (transfer " + std::to_string(transfer) + ")";
    if (cmsMLU* mlu = cmsMLUalloc(nullptr, 1)) {
        cmsMLUsetASCII(mlu, "en", "US", description.c_str());
        cmsWriteTag(p.p, cmsSigProfileDescriptionTag, mlu);
        cmsMLUfree(mlu);
    }
    cmsUInt32Number size = 0;
    if (!cmsSaveProfileToMem(p.p, nullptr, &size) || size == 0) return {};
    std::vector<BYTE> icc(size);
    if (!cmsSaveProfileToMem(p.p, icc.data(), &size)) return {};
    return icc;
}

std::string ProfileDescription(std::span<const BYTE> icc) {
    if (!PlausibleProfile(icc)) return {};
    ProfileCloser p{cmsOpenProfileFromMem(icc.data(), static_cast<cmsUInt32Number>(icc.size()))};
    if (!p.p) return {};
    char text[256] = {};
    cmsGetProfileInfoASCII(p.p, cmsInfoDescription, "en", "US", text, sizeof text);
    return text;
}

} // namespace zepho
