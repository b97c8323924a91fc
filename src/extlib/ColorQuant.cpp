// Colour quantisation and palette mapping: the colour-to-index map, ReduceColorQuantity on
// libimagequant, ConvertDIBFormat and Convert24BitsDIBToLowerBitsDIB.
#include "extlib/ImageTransform.h"

#include <libimagequant.h>

#include <dlfcn.h>

#include <algorithm>
#include <bit>
#include <cstring>
#include <limits>
#include <memory>
#include <new>

namespace zepho {

// --- CColorIndexMap ---------------------------------------------------------------------------

namespace {
inline int BucketOf(DWORD key) {
    return static_cast<int>((key >> 4) % CColorIndexMap::kBuckets);
}
} // namespace

int CColorIndexMap::Lookup(DWORD key) const {
    for (const Entry& e : buckets_[BucketOf(key)])
        if (e.key == key) return e.index;
    return -1;
}

void CColorIndexMap::SetAt(DWORD key, int index) {
    std::vector<Entry>& bucket = buckets_[BucketOf(key)];
    for (Entry& e : bucket) {
        if (e.key == key) {
            e.index = index;
            return;
        }
    }
    // Buckets grow ten entries at a time.
    if (bucket.size() == bucket.capacity()) bucket.reserve(bucket.capacity() + 10);
    bucket.push_back({key, index});
    ++count_;
}

void CColorIndexMap::RemoveAll() {
    for (auto& bucket : buckets_)
        bucket.clear();
    count_ = 0;
}

std::vector<std::pair<DWORD, int>> CColorIndexMap::Entries() const {
    std::vector<std::pair<DWORD, int>> all;
    all.reserve(static_cast<std::size_t>(count_));
    for (const auto& bucket : buckets_)
        for (const Entry& e : bucket)
            all.emplace_back(e.key, e.index);
    return all;
}

// --- Reading pixels ---------------------------------------------------------------------------

namespace {

inline BYTE WidenChannel(DWORD v, int bits) {
    if (bits <= 0) return 0;
    return static_cast<BYTE>(bits <= 8 ? (v << (8 - bits)) : (v >> (bits - 8)));
}

// Reads picture rows of any depth as blue, green, red, 255 quadruples. BI_BITFIELDS images
// are decoded through their masks; everything else the way GetPixelRGB reads it.
class RowReader {
public:
    explicit RowReader(const PackedDib& dib)
        : dib_(dib), width_(dib.Width()), bits_(dib.BitCount()), table_(dib.ColorTable()),
          colours_(dib.ColorCount()) {
        if (const DWORD* m = dib.Masks()) {
            const DWORD used = bits_ == 16 ? 0xFFFFu : 0xFFFFFFFFu;
            for (int c = 0; c < 3; ++c) {
                const DWORD mask = m[2 - c] & used; // blue, green, red
                mask_[c] = mask;
                shift_[c] = mask ? std::countr_zero(mask) : 0;
                channelBits_[c] = std::popcount(mask);
            }
            masked_ = true;
        }
    }

    void Read(int y, BYTE* out) const {
        const BYTE* row = dib_.Row(y);
        if (masked_) {
            const int bytes = bits_ / 8;
            for (int x = 0; x < width_; ++x, out += 4) {
                const BYTE* s = row + static_cast<std::size_t>(x) * bytes;
                DWORD p = s[0] | (s[1] << 8);
                if (bytes == 4) p |= (DWORD(s[2]) << 16) | (DWORD(s[3]) << 24);
                for (int c = 0; c < 3; ++c)
                    out[c] = WidenChannel((p & mask_[c]) >> shift_[c], channelBits_[c]);
                out[3] = 255;
            }
            return;
        }
        switch (bits_) {
        case 24:
            for (int x = 0; x < width_; ++x, out += 4, row += 3) {
                out[0] = row[0];
                out[1] = row[1];
                out[2] = row[2];
                out[3] = 255;
            }
            return;
        case 32:
            for (int x = 0; x < width_; ++x, out += 4, row += 4) {
                out[0] = row[0];
                out[1] = row[1];
                out[2] = row[2];
                out[3] = 255;
            }
            return;
        default:
            for (int x = 0; x < width_; ++x, out += 4) {
                GetPixelRGB(row, x, bits_, table_, out[2], out[1], out[0], colours_);
                out[3] = 255;
            }
        }
    }

private:
    const PackedDib& dib_;
    int width_;
    int bits_;
    const RGBQUAD* table_;
    int colours_;
    bool masked_ = false;
    DWORD mask_[3] = {};
    int shift_[3] = {};
    int channelBits_[3] = {};
};

inline void PutIndex(BYTE* row, int x, int bits, int index) {
    switch (bits) {
    case 1:
        row[x >> 3] = static_cast<BYTE>(row[x >> 3] | ((index & 1) << (7 - (x & 7))));
        break;
    case 4:
        row[x >> 1] = static_cast<BYTE>(row[x >> 1] | ((x & 1) ? (index & 0x0F) : ((index & 0x0F) << 4)));
        break;
    default:
        row[x] = static_cast<BYTE>(index);
    }
}

inline DWORD KeyOf(const BYTE* bgra) {
    return (DWORD(bgra[2]) << 16) | (DWORD(bgra[1]) << 8) | bgra[0];
}

void ReportRow(IProgress* progress, int base, int rowsDone, int height) {
    if (!progress) return;
    progress->SetPos(base + static_cast<int>(100LL * rowsDone / height));
    progress->Pump();
}

template <class T> bool TryResize(std::vector<T>& v, std::size_t n) {
    try {
        v.resize(n);
    } catch (const std::bad_alloc&) {
        return false;
    } catch (const std::length_error&) {
        return false;
    }
    return true;
}

// Writes the index buffer (one byte per pixel, rows from the top) into a palette DIB.
PackedDib BuildPaletteDib(int w, int h, int bits, const std::vector<RGBQUAD>& table,
                          const std::vector<BYTE>& indices, IProgress* progress, int base) {
    PackedDib out = PackedDib::Create(w, h, bits, static_cast<int>(table.size()));
    if (!out) return out;
    std::copy(table.begin(), table.end(), out.ColorTable());
    for (int y = 0; y < h; ++y) {
        const BYTE* src = indices.data() + static_cast<std::size_t>(y) * w;
        BYTE* row = out.Row(y);
        if (bits == 8) {
            std::memcpy(row, src, static_cast<std::size_t>(w));
        } else {
            for (int x = 0; x < w; ++x)
                PutIndex(row, x, bits, src[x]);
        }
        ReportRow(progress, base, y + 1, h);
    }
    return out;
}

// --- Nearest palette entry --------------------------------------------------------------------

// Nearest entry by squared distance, the first one on ties, with a small direct-mapped cache:
// photos repeat colours often enough that most pixels skip the search.
class NearestColour {
public:
    explicit NearestColour(const std::vector<RGBQUAD>& table) : table_(table) {
        keys_.assign(kCacheSize, kEmpty);
        values_.assign(kCacheSize, 0);
    }

    int Find(DWORD key) {
        const std::size_t slot = (key * 2654435761u) >> (32 - kCacheBits);
        if (keys_[slot] == key) return values_[slot];
        const int r = (key >> 16) & 0xFF, g = (key >> 8) & 0xFF, b = key & 0xFF;
        int best = 0;
        int bestDist = std::numeric_limits<int>::max();
        for (std::size_t i = 0; i < table_.size(); ++i) {
            const int dr = r - table_[i].rgbRed, dg = g - table_[i].rgbGreen, db = b - table_[i].rgbBlue;
            const int dist = dr * dr + dg * dg + db * db;
            if (dist < bestDist) {
                bestDist = dist;
                best = static_cast<int>(i);
                if (dist == 0) break;
            }
        }
        keys_[slot] = key;
        values_[slot] = static_cast<BYTE>(best);
        return best;
    }

private:
    static constexpr int kCacheBits = 12;
    static constexpr std::size_t kCacheSize = std::size_t{1} << kCacheBits;
    static constexpr DWORD kEmpty = 0xFFFFFFFFu; // never a colour key
    const std::vector<RGBQUAD>& table_;
    std::vector<DWORD> keys_;
    std::vector<BYTE> values_;
};

// --- libimagequant ----------------------------------------------------------------------------

struct LiqAttrDeleter {
    void operator()(liq_attr* p) const { liq_attr_destroy(p); }
};
struct LiqImageDeleter {
    void operator()(liq_image* p) const { liq_image_destroy(p); }
};
struct LiqResultDeleter {
    void operator()(liq_result* p) const { liq_result_destroy(p); }
};

// libimagequant may be built on OpenMP, whose worker threads spin while they wait for work: on a
// busy machine that costs more than the threads gain (half the time of an export went to the
// spinning). The quantiser therefore runs on the calling thread, which also keeps its output the
// same on every machine. The setting belongs to the calling thread, so it is made on every call.
void QuantiseOnThisThread() {
    using SetThreads = void (*)(int);
    static const auto setThreads = reinterpret_cast<SetThreads>(dlsym(RTLD_DEFAULT, "omp_set_num_threads"));
    if (setThreads) setThreads(1);
}

int PumpWhileQuantising(float, void* user) {
    static_cast<IProgress*>(user)->Pump();
    return 1; // go on
}

// The image's own colours in order of first appearance when there are at most maxColours of
// them; false as soon as one more turns up.
bool CollectExactColours(const std::vector<BYTE>& bgra, std::size_t pixels, int maxColours,
                         std::vector<RGBQUAD>& table, std::vector<BYTE>& indices) {
    CColorIndexMap map;
    DWORD lastKey = 0xFFFFFFFFu;
    int lastIndex = 0;
    for (std::size_t i = 0; i < pixels; ++i) {
        const DWORD key = KeyOf(&bgra[4 * i]);
        if (key != lastKey) {
            int index = map.Lookup(key);
            if (index < 0) {
                if (map.GetCount() == maxColours) return false;
                index = map.GetCount();
                map.SetAt(key, index);
                table.push_back(RGBQUAD{bgra[4 * i], bgra[4 * i + 1], bgra[4 * i + 2], 0});
            }
            lastKey = key;
            lastIndex = index;
        }
        indices[i] = static_cast<BYTE>(lastIndex);
    }
    return true;
}

RGBQUAD MeanColour(const std::vector<BYTE>& bgra, std::size_t pixels) {
    unsigned long long sum[3] = {};
    for (std::size_t i = 0; i < pixels; ++i)
        for (int c = 0; c < 3; ++c)
            sum[c] += bgra[4 * i + c];
    auto mean = [&](int c) { return static_cast<BYTE>((sum[c] + pixels / 2) / pixels); };
    return RGBQUAD{mean(0), mean(1), mean(2), 0};
}

constexpr int kQuantiserSpeed = 10;

} // namespace

// Images that already fit are mapped exactly. Others go to libimagequant at speed 10: on a
// 1920 x 1080 photo the palette takes about 60 ms of one core, where the default speed 4 takes a
// second and a half for an error only 0.1 dB smaller once the image is dithered. Remapping uses full
// Floyd-Steinberg dithering (level 1.0), which the library damps by itself along edges.
PackedDib ReduceColorQuantity(const PackedDib& dib, int bits, int colors, IProgress* progress, int base) {
    if (!dib.IsSound() || (bits != 4 && bits != 8) || colors < 1) return {};
    colors = std::min(colors, 1 << bits);
    const int w = dib.Width(), h = dib.Height();
    const std::size_t pixels = static_cast<std::size_t>(w) * static_cast<std::size_t>(h);

    std::vector<BYTE> bgra;
    std::vector<BYTE> indices;
    if (!TryResize(bgra, pixels * 4) || !TryResize(indices, pixels)) return {};
    const RowReader reader(dib);
    for (int y = 0; y < h; ++y)
        reader.Read(y, bgra.data() + static_cast<std::size_t>(y) * w * 4);

    std::vector<RGBQUAD> table;
    if (CollectExactColours(bgra, pixels, colors, table, indices))
        return BuildPaletteDib(w, h, bits, table, indices, progress, base);

    table.clear();
    if (colors == 1) {
        // The quantiser wants at least two colours; one is just the average.
        table.push_back(MeanColour(bgra, pixels));
        std::fill(indices.begin(), indices.end(), BYTE{0});
        return BuildPaletteDib(w, h, bits, table, indices, progress, base);
    }

    QuantiseOnThisThread();
    // libimagequant reads R, G, B, A.
    for (std::size_t i = 0; i < pixels; ++i)
        std::swap(bgra[4 * i], bgra[4 * i + 2]);

    std::unique_ptr<liq_attr, LiqAttrDeleter> attr(liq_attr_create());
    if (!attr) return {};
    if (liq_set_max_colors(attr.get(), colors) != LIQ_OK ||
        liq_set_speed(attr.get(), kQuantiserSpeed) != LIQ_OK)
        return {};
    if (progress) liq_attr_set_progress_callback(attr.get(), PumpWhileQuantising, progress);
    std::unique_ptr<liq_image, LiqImageDeleter> image(
        liq_image_create_rgba(attr.get(), bgra.data(), w, h, 0));
    if (!image) return {};
    liq_result* rawResult = nullptr;
    if (liq_image_quantize(image.get(), attr.get(), &rawResult) != LIQ_OK || !rawResult) return {};
    std::unique_ptr<liq_result, LiqResultDeleter> result(rawResult);
    liq_set_dithering_level(result.get(), 1.0f);
    if (liq_write_remapped_image(result.get(), image.get(), indices.data(), indices.size()) != LIQ_OK)
        return {};
    // The palette is refined while remapping, so it is read afterwards.
    const liq_palette* pal = liq_get_palette(result.get());
    if (!pal || pal->count == 0 || pal->count > static_cast<unsigned>(colors)) return {};
    for (unsigned i = 0; i < pal->count; ++i)
        table.push_back(RGBQUAD{pal->entries[i].b, pal->entries[i].g, pal->entries[i].r, 0});
    return BuildPaletteDib(w, h, bits, table, indices, progress, base);
}

namespace {
struct LiqHistogramDeleter {
    void operator()(liq_histogram* p) const { liq_histogram_destroy(p); }
};
} // namespace

std::vector<RGBQUAD> QuantizeColorHistogram(const std::vector<std::pair<DWORD, unsigned>>& colours,
                                            int colors, int speed) {
    if (colours.empty() || colors < 2 || colors > 256) return {};
    std::unique_ptr<liq_attr, LiqAttrDeleter> attr(liq_attr_create());
    if (!attr) return {};
    if (liq_set_max_colors(attr.get(), colors) != LIQ_OK ||
        liq_set_speed(attr.get(), std::clamp(speed, 1, 10)) != LIQ_OK)
        return {};
    std::unique_ptr<liq_histogram, LiqHistogramDeleter> hist(liq_histogram_create(attr.get()));
    if (!hist) return {};
    std::vector<liq_histogram_entry> entries;
    entries.reserve(colours.size());
    for (const auto& [key, count] : colours) {
        if (count == 0) continue;
        const liq_color c{static_cast<unsigned char>(key >> 16), static_cast<unsigned char>(key >> 8),
                          static_cast<unsigned char>(key), 255};
        entries.push_back(liq_histogram_entry{c, count});
    }
    if (entries.empty()) return {};
    // The library takes the entries in slices of an int's range.
    for (std::size_t i = 0; i < entries.size(); i += 1u << 30) {
        const int n = static_cast<int>(std::min<std::size_t>(entries.size() - i, 1u << 30));
        if (liq_histogram_add_colors(hist.get(), attr.get(), entries.data() + i, n, 0) != LIQ_OK) return {};
    }
    liq_result* rawResult = nullptr;
    if (liq_histogram_quantize(hist.get(), attr.get(), &rawResult) != LIQ_OK || !rawResult) return {};
    std::unique_ptr<liq_result, LiqResultDeleter> result(rawResult);
    const liq_palette* pal = liq_get_palette(result.get());
    if (!pal || pal->count == 0 || pal->count > static_cast<unsigned>(colors)) return {};
    std::vector<RGBQUAD> table;
    for (unsigned i = 0; i < pal->count; ++i)
        table.push_back(RGBQUAD{pal->entries[i].b, pal->entries[i].g, pal->entries[i].r, 0});
    return table;
}

PackedDib ConvertDIBFormat(const PackedDib& dib, int bits, const CPalette* palette) {
    if (!dib.IsSound()) return {};
    const int w = dib.Width(), h = dib.Height();
    std::vector<BYTE> line;
    if (!TryResize(line, static_cast<std::size_t>(w) * 4)) return {};
    const RowReader reader(dib);

    if (bits == 16 || bits == 24 || bits == 32) {
        PackedDib out = PackedDib::Create(w, h, bits);
        if (!out) return out;
        const bool keepAlpha = bits == 32 && dib.BitCount() == 32 && !dib.Masks();
        for (int y = 0; y < h; ++y) {
            reader.Read(y, line.data());
            BYTE* d = out.Row(y);
            const BYTE* s = line.data();
            for (int x = 0; x < w; ++x, s += 4) {
                if (bits == 16) {
                    const unsigned p = ((s[2] >> 3) << 10) | ((s[1] & 248) << 2) | (s[0] >> 3);
                    *d++ = static_cast<BYTE>(p);
                    *d++ = static_cast<BYTE>(p >> 8);
                } else {
                    *d++ = s[0];
                    *d++ = s[1];
                    *d++ = s[2];
                    if (bits == 32) *d++ = keepAlpha ? dib.Row(y)[4 * static_cast<std::size_t>(x) + 3] : 255;
                }
            }
        }
        return out;
    }
    if (bits != 1 && bits != 4 && bits != 8) return {};

    std::vector<RGBQUAD> table;
    if (palette) {
        const std::size_t n = std::min(palette->entries.size(), std::size_t{1} << bits);
        table.assign(palette->entries.begin(), palette->entries.begin() + static_cast<std::ptrdiff_t>(n));
        for (RGBQUAD& q : table)
            q.rgbReserved = 0;
    } else if (bits == 1) {
        table = {RGBQUAD{0, 0, 0, 0}, RGBQUAD{255, 255, 255, 0}};
    } else {
        return ReduceColorQuantity(dib, bits, 1 << bits, nullptr, 0);
    }
    if (table.empty()) return {};

    PackedDib out = PackedDib::Create(w, h, bits, static_cast<int>(table.size()));
    if (!out) return out;
    std::copy(table.begin(), table.end(), out.ColorTable());
    NearestColour nearest(table);
    for (int y = 0; y < h; ++y) {
        reader.Read(y, line.data());
        BYTE* row = out.Row(y);
        for (int x = 0; x < w; ++x)
            PutIndex(row, x, bits, nearest.Find(KeyOf(&line[4 * static_cast<std::size_t>(x)])));
    }
    return out;
}

PackedDib Convert24BitsDIBToLowerBitsDIB(const PackedDib& dib24, const CColorIndexMap& map) {
    if (!dib24.IsSound() || dib24.BitCount() != 24) return {};
    const auto entries = map.Entries();
    int colours = 0;
    for (const auto& [key, index] : entries) {
        if (index < 0 || index > 255) return {};
        colours = std::max(colours, index + 1);
    }
    if (colours == 0) return {};
    const int bits = colours <= 2 ? 1 : colours <= 16 ? 4 : 8;
    const int w = dib24.Width(), h = dib24.Height();
    PackedDib out = PackedDib::Create(w, h, bits, colours);
    if (!out) return out;
    RGBQUAD* table = out.ColorTable();
    for (const auto& [key, index] : entries)
        table[index] =
            RGBQUAD{static_cast<BYTE>(key), static_cast<BYTE>(key >> 8), static_cast<BYTE>(key >> 16), 0};

    DWORD lastKey = 0xFFFFFFFFu;
    int lastIndex = 0;
    for (int y = 0; y < h; ++y) {
        const BYTE* s = dib24.Row(y);
        BYTE* d = out.Row(y);
        for (int x = 0; x < w; ++x, s += 3) {
            const DWORD key = (DWORD(s[2]) << 16) | (DWORD(s[1]) << 8) | s[0];
            if (key != lastKey) {
                lastIndex = map.Lookup(key);
                if (lastIndex < 0) return {};
                lastKey = key;
            }
            PutIndex(d, x, bits, lastIndex);
        }
    }
    return out;
}

} // namespace zepho
