#include "extlib/PngEncoder.h"

#include <zlib.h>

#ifdef __SSE2__
#include <emmintrin.h>
#endif

#include <algorithm>
#include <cstdlib>
#include <cstring>

namespace zepho {

namespace {

constexpr std::size_t kBandBytes = 256 * 1024;  // filtered bytes compressed at a time
constexpr std::size_t kChunkBytes = 256 * 1024; // largest IDAT chunk written
constexpr int kPngLevel = 6;                    // libpng's default, for drawn rows

// A band in which fewer than half the pixels repeat their left neighbour is photographic.
bool LooksPhotographic(std::uint64_t repeats, std::uint64_t pairs) {
    return 2 * repeats < pairs;
}

void PutU32BE(BYTE* p, std::uint32_t v) {
    p[0] = static_cast<BYTE>(v >> 24);
    p[1] = static_cast<BYTE>(v >> 16);
    p[2] = static_cast<BYTE>(v >> 8);
    p[3] = static_cast<BYTE>(v);
}

inline int Magnitude(BYTE v) {
    return v < 128 ? v : 256 - v;
}

inline BYTE PaethPredict(int a, int b, int c) {
    const int pa = std::abs(b - c), pb = std::abs(a - c), pc = std::abs(a + b - 2 * c);
    return static_cast<BYTE>((pa <= pb && pa <= pc) ? a : (pb <= pc ? b : c));
}

// ZEPHO_DISABLE_SIMD=1 keeps the filters on the scalar code, as it does for the pixel kernels.
bool SimdAllowed() {
    static const bool allowed = [] {
        const char* off = std::getenv("ZEPHO_DISABLE_SIMD");
        const char* cap = std::getenv("ZEPHO_SIMD");
        return !(off && *off && std::strcmp(off, "0") != 0) && !(cap && std::strcmp(cap, "scalar") == 0);
    }();
    return allowed;
}

#ifdef __SSE2__
// Sixteen bytes of each filter at once; the same bytes as the scalar code.
inline __m128i Blend(__m128i x, __m128i y, __m128i takeY) {
    return _mm_or_si128(_mm_andnot_si128(takeY, x), _mm_and_si128(takeY, y));
}

inline __m128i Abs16(__m128i v) {
    return _mm_max_epi16(v, _mm_sub_epi16(_mm_setzero_si128(), v));
}

// Paeth's predictor on eight 16-bit lanes.
inline __m128i Paeth16(__m128i a, __m128i b, __m128i c) {
    const __m128i bc = _mm_sub_epi16(b, c), ac = _mm_sub_epi16(a, c);
    const __m128i pa = Abs16(bc), pb = Abs16(ac), pc = Abs16(_mm_add_epi16(bc, ac));
    const __m128i notA = _mm_or_si128(_mm_cmpgt_epi16(pa, pb), _mm_cmpgt_epi16(pa, pc));
    return Blend(a, Blend(b, c, _mm_cmpgt_epi16(pb, pc)), notA);
}

// Adds the magnitudes of the sixteen signed bytes v to the two 64-bit halves of sum.
inline __m128i AddMagnitudes(__m128i sum, __m128i v) {
    const __m128i zero = _mm_setzero_si128();
    return _mm_add_epi64(sum, _mm_sad_epu8(_mm_min_epu8(v, _mm_sub_epi8(zero, v)), zero));
}

inline std::uint64_t Total(__m128i sum) {
    return static_cast<std::uint64_t>(_mm_cvtsi128_si64(sum)) +
           static_cast<std::uint64_t>(_mm_cvtsi128_si64(_mm_unpackhi_epi64(sum, sum)));
}
#endif

// The five filters of row r (n bytes, bpp bytes a pixel) over the row above, p, into out[0..4],
// each with the sum of its bytes read as signed values. Byte arithmetic is modulo 256.
void FilterRow(const BYTE* r, const BYTE* p, std::size_t n, int bpp, BYTE* out[5], std::uint64_t sums[5]) {
    BYTE *none = out[0], *sub = out[1], *up = out[2], *avg = out[3], *paeth = out[4];
    const std::size_t lead = std::min<std::size_t>(static_cast<std::size_t>(bpp), n);
    for (std::size_t i = 0; i < lead; ++i) {
        sub[i] = r[i];
        up[i] = static_cast<BYTE>(r[i] - p[i]);
        avg[i] = static_cast<BYTE>(r[i] - (p[i] >> 1));
        paeth[i] = up[i]; // with nothing to the left, Paeth predicts the byte above
    }
    std::size_t i = lead;
    std::uint64_t s1 = 0, s2 = 0, s3 = 0, s4 = 0;
#ifdef __SSE2__
    const __m128i zero = _mm_setzero_si128(), one = _mm_set1_epi8(1);
    __m128i t1 = zero, t2 = zero, t3 = zero, t4 = zero;
    for (; SimdAllowed() && i + 16 <= n; i += 16) {
        const __m128i x = _mm_loadu_si128(reinterpret_cast<const __m128i*>(r + i));
        const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(r + i - bpp));
        const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + i));
        const __m128i c = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + i - bpp));
        const __m128i fs = _mm_sub_epi8(x, a);
        const __m128i fu = _mm_sub_epi8(x, b);
        // floor((a + b) / 2): the rounding-up average less the carry of an odd sum.
        const __m128i mean = _mm_sub_epi8(_mm_avg_epu8(a, b), _mm_and_si128(_mm_xor_si128(a, b), one));
        const __m128i fa = _mm_sub_epi8(x, mean);
        const __m128i lo =
            Paeth16(_mm_unpacklo_epi8(a, zero), _mm_unpacklo_epi8(b, zero), _mm_unpacklo_epi8(c, zero));
        const __m128i hi =
            Paeth16(_mm_unpackhi_epi8(a, zero), _mm_unpackhi_epi8(b, zero), _mm_unpackhi_epi8(c, zero));
        const __m128i fp = _mm_sub_epi8(x, _mm_packus_epi16(lo, hi));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(sub + i), fs);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(up + i), fu);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(avg + i), fa);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(paeth + i), fp);
        t1 = AddMagnitudes(t1, fs);
        t2 = AddMagnitudes(t2, fu);
        t3 = AddMagnitudes(t3, fa);
        t4 = AddMagnitudes(t4, fp);
    }
    s1 = Total(t1), s2 = Total(t2), s3 = Total(t3), s4 = Total(t4);
#endif
    for (; i < n; ++i) {
        const int a = r[i - bpp], b = p[i], c = p[i - bpp];
        sub[i] = static_cast<BYTE>(r[i] - a);
        up[i] = static_cast<BYTE>(r[i] - b);
        avg[i] = static_cast<BYTE>(r[i] - ((a + b) >> 1));
        paeth[i] = static_cast<BYTE>(r[i] - PaethPredict(a, b, c));
        s1 += Magnitude(sub[i]), s2 += Magnitude(up[i]), s3 += Magnitude(avg[i]), s4 += Magnitude(paeth[i]);
    }
    for (std::size_t k = 0; k < lead; ++k)
        s1 += Magnitude(sub[k]), s2 += Magnitude(up[k]), s3 += Magnitude(avg[k]), s4 += Magnitude(paeth[k]);
    std::memcpy(none, r, n);
    std::uint64_t s0 = 0;
    for (std::size_t k = 0; k < n; ++k)
        s0 += Magnitude(r[k]);
    sums[0] = s0, sums[1] = s1, sums[2] = s2, sums[3] = s3, sums[4] = s4;
}

} // namespace

PngRowEncoder::PngRowEncoder(ByteWriter& out) : out_(out) {}

PngRowEncoder::~PngRowEncoder() {
    if (z_) {
        deflateEnd(z_);
        delete z_;
    }
}

bool PngRowEncoder::WriteChunk(const char* type, const BYTE* data, std::size_t n) {
    BYTE head[8];
    PutU32BE(head, static_cast<std::uint32_t>(n));
    std::memcpy(head + 4, type, 4);
    uLong crc = crc32(0, head + 4, 4);
    if (n) crc = crc32_z(crc, data, n);
    BYTE tail[4];
    PutU32BE(tail, static_cast<std::uint32_t>(crc));
    if (!out_.Write(head, 8) || (n && !out_.Write(data, n)) || !out_.Write(tail, 4)) failed_ = true;
    return !failed_;
}

bool PngRowEncoder::Begin(int width, int height, int channels, int rowPixelBytes) {
    if (rowPixelBytes == 0) rowPixelBytes = channels;
    if (z_ || width < 1 || height < 1 || (channels != 3 && channels != 4) || rowPixelBytes < channels ||
        rowPixelBytes > 4)
        return false;
    inBytes_ = rowPixelBytes;
    width_ = width;
    height_ = height;
    channels_ = channels;
    rowBytes_ = static_cast<std::size_t>(width) * static_cast<std::size_t>(channels);
    // PNG sizes are 31-bit; a row must also fit zlib's 32-bit counts.
    if (width > 0x7FFFFFFF / channels || rowBytes_ + 1 > 0x7FFFFFFFu) return false;
    bandRows_ = static_cast<int>(std::max<std::size_t>(1, kBandBytes / (rowBytes_ + 1)));
    try {
        prior_.assign(rowBytes_, 0);
        current_.resize(rowBytes_);
        candidates_.resize(5 * rowBytes_);
        band_.reserve(static_cast<std::size_t>(bandRows_) * (rowBytes_ + 1));
        idat_.resize(kChunkBytes);
        z_ = new z_stream{};
    } catch (const std::bad_alloc&) {
        return false;
    }
    if (deflateInit2(z_, kPngLevel, Z_DEFLATED, 15, 8, Z_FILTERED) != Z_OK) {
        delete z_;
        z_ = nullptr;
        return false;
    }
    strategy_ = Z_FILTERED;
    z_->next_out = idat_.data();
    z_->avail_out = static_cast<uInt>(idat_.size());

    static const BYTE kSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    BYTE ihdr[13];
    PutU32BE(ihdr, static_cast<std::uint32_t>(width));
    PutU32BE(ihdr + 4, static_cast<std::uint32_t>(height));
    ihdr[8] = 8;                        // bits per sample
    ihdr[9] = channels == 4 ? 6 : 2;    // RGBA or RGB
    ihdr[10] = ihdr[11] = ihdr[12] = 0; // deflate, adaptive filters, not interlaced
    if (!out_.Write(kSignature, 8)) failed_ = true;
    return WriteChunk("IHDR", ihdr, sizeof ihdr);
}

bool PngRowEncoder::AddRow(const BYTE* row) {
    if (!z_ || failed_ || rowsIn_ >= height_) return false;
    // B, G, R (, A) to R, G, B (, A), counting pixels that repeat their left neighbour.
    BYTE* d = current_.data();
    std::uint64_t repeats = 0;
    if (channels_ == 3 && inBytes_ == 3) {
        for (int x = 0; x < width_; ++x, row += 3, d += 3) {
            d[0] = row[2], d[1] = row[1], d[2] = row[0];
            if (x && std::memcmp(row, row - 3, 3) == 0) ++repeats;
        }
    } else if (channels_ == 3) {
        for (int x = 0; x < width_; ++x, row += 4, d += 3) {
            d[0] = row[2], d[1] = row[1], d[2] = row[0];
            if (x && std::memcmp(row, row - 4, 3) == 0) ++repeats;
        }
    } else {
        for (int x = 0; x < width_; ++x, row += 4, d += 4) {
            d[0] = row[2], d[1] = row[1], d[2] = row[0], d[3] = row[3];
            if (x && std::memcmp(row, row - 4, 4) == 0) ++repeats;
        }
    }
    repeats_ += repeats;

    BYTE* out[5];
    for (int f = 0; f < 5; ++f)
        out[f] = candidates_.data() + static_cast<std::size_t>(f) * rowBytes_;
    std::uint64_t sums[5];
    FilterRow(current_.data(), prior_.data(), rowBytes_, channels_, out, sums);
    const int best = static_cast<int>(std::min_element(sums, sums + 5) - sums); // the first on ties
    band_.push_back(static_cast<BYTE>(best));
    band_.insert(band_.end(), out[best], out[best] + rowBytes_);
    prior_.swap(current_);
    ++rowsIn_;
    if (rowsIn_ % bandRows_ == 0 || rowsIn_ == height_) return CompressBand(rowsIn_ == height_);
    return true;
}

bool PngRowEncoder::Deflate(int flush) {
    for (;;) {
        const int rc = deflate(z_, flush);
        if (rc == Z_STREAM_ERROR) return false;
        const std::size_t used = idat_.size() - z_->avail_out;
        if (z_->avail_out == 0 || (flush == Z_FINISH && rc == Z_STREAM_END && used > 0)) {
            if (!WriteChunk("IDAT", idat_.data(), used)) return false;
            z_->next_out = idat_.data();
            z_->avail_out = static_cast<uInt>(idat_.size());
        }
        if (flush == Z_FINISH) {
            if (rc == Z_STREAM_END) return true;
            continue;
        }
        // Done when the input is taken and deflate left room in the output.
        if (z_->avail_in == 0 && z_->avail_out != 0) return true;
    }
}

bool PngRowEncoder::CompressBand(bool last) {
    const std::uint64_t rows = band_.size() / (rowBytes_ + 1);
    const int strategy = LooksPhotographic(repeats_, rows * static_cast<std::uint64_t>(width_ - 1))
                             ? Z_HUFFMAN_ONLY
                             : Z_FILTERED;
    repeats_ = 0;
    if (strategy != strategy_) {
        // What deflate holds goes out under the old strategy before the new one applies.
        if (!Deflate(Z_BLOCK) || deflateParams(z_, kPngLevel, strategy) != Z_OK) return failed_ = true, false;
        strategy_ = strategy;
    }
    (strategy == Z_HUFFMAN_ONLY ? photoBands_ : drawnBands_)++;
    z_->next_in = band_.data();
    z_->avail_in = static_cast<uInt>(band_.size());
    const bool ok = Deflate(last ? Z_FINISH : Z_NO_FLUSH);
    band_.clear();
    if (!ok) failed_ = true;
    return !failed_;
}

bool PngRowEncoder::Finish() {
    if (!z_ || failed_ || rowsIn_ != height_) return false;
    return WriteChunk("IEND", nullptr, 0) && !out_.Failed();
}

} // namespace zepho
