#include "codecs/GifAnimation.h"

#include "codecs/GifCodec.h"
#include "codecs/GifLzw.h"
#include "codecs/GifReader.h"
#include "extlib/ImageTransform.h"
#include "model/Frame.h"
#include "platform/ByteStream.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <new>

namespace zepho {

namespace {

// A pixel as the file sees it: 0 is transparent, anything else kOpaque | 0xRRGGBB.
constexpr std::uint32_t kOpaque = 0x01000000u;
constexpr std::uint32_t kNoKey = 0xFFFFFFFFu;
// One entry of every table stays free for the transparent index.
constexpr int kMaxColours = 255;
// The quantiser's speed for animation tables: at 8 forty 640 x 480 frames take half the time
// of speed 4 for about one per cent larger files.
constexpr int kQuantiserSpeed = 8;

std::uint32_t KeyOf(const BYTE* bgra) {
    const int a = bgra[3];
    if (a == 0) return 0;
    int c[3] = {bgra[0], bgra[1], bgra[2]};
    if (a != 255)
        for (int& v : c)
            v = std::min(255, (255 * (255 - a) + v * a) / 255);
    return kOpaque | (std::uint32_t(c[2]) << 16) | (std::uint32_t(c[1]) << 8) | std::uint32_t(c[0]);
}

int Dist(std::uint32_t key, const RGBQUAD& q) {
    const int dr = int((key >> 16) & 0xFF) - q.rgbRed;
    const int dg = int((key >> 8) & 0xFF) - q.rgbGreen;
    const int db = int(key & 0xFF) - q.rgbBlue;
    return dr * dr + dg * dg + db * db;
}

// Key to small index, open addressing; holds at most a few hundred keys.
class KeyIndex {
public:
    KeyIndex() { Clear(); }
    void Clear() {
        keys_.fill(kNoKey);
        count_ = 0;
    }
    int Find(std::uint32_t key) const {
        for (std::size_t i = Slot(key);; i = (i + 1) & (kSlots - 1)) {
            if (keys_[i] == key) return values_[i];
            if (keys_[i] == kNoKey) return -1;
        }
    }
    // False when the key is new and the map already holds `limit` keys.
    bool Insert(std::uint32_t key, int value, int limit) {
        std::size_t i = Slot(key);
        for (; keys_[i] != kNoKey; i = (i + 1) & (kSlots - 1))
            if (keys_[i] == key) return true;
        if (count_ >= limit) return false;
        keys_[i] = key;
        values_[i] = static_cast<std::int16_t>(value);
        ++count_;
        return true;
    }
    int Count() const { return count_; }

private:
    static constexpr std::size_t kSlots = 1024;
    static std::size_t Slot(std::uint32_t key) { return (key * 2654435761u) >> 22; }
    std::array<std::uint32_t, kSlots> keys_;
    std::array<std::int16_t, kSlots> values_{};
    int count_ = 0;
};

// Distinct colours in order of first appearance, up to kMaxColours; `over` once one more showed up.
struct ColourSet {
    KeyIndex index;
    std::vector<std::uint32_t> keys;
    bool over = false;
    std::uint32_t last = kNoKey;

    void Add(std::uint32_t key) {
        if (over || key == last) return;
        last = key;
        const int n = index.Count();
        if (!index.Insert(key, n, kMaxColours)) {
            over = true;
            keys.clear();
            return;
        }
        if (index.Count() > n) keys.push_back(key);
    }
};

struct Frame {
    int left = 0, top = 0, w = 0, h = 0;
    std::vector<std::uint32_t> px;      // the new screen inside the rectangle
    std::vector<BYTE> changed;          // 1 where that differs from the screen before
    std::vector<std::uint32_t> colours; // the changed pixels' colours, when exact
    bool exact = false;
};

// A colour table with its transparent entry.
struct Palette {
    std::vector<RGBQUAD> entries; // the whole table, a power of two long
    int transparent = 0;
    int bits = 1;
    bool exact = false;
    KeyIndex map; // colour to index, for exact tables
};

// Colours into the slots of a table, skipping the transparent one.
void BuildPalette(Palette& p, const std::vector<std::uint32_t>& keys, const std::vector<RGBQUAD>& rgb,
                  int preferredTransparent, bool exact) {
    const int count = static_cast<int>(exact ? keys.size() : rgb.size());
    p.bits = std::max(1, gif::Log2(count + 1));
    const int size = 1 << p.bits;
    p.transparent = preferredTransparent >= 0 && preferredTransparent < size ? preferredTransparent : count;
    p.entries.assign(static_cast<std::size_t>(size), RGBQUAD{0, 0, 0, 0});
    p.exact = exact;
    p.map.Clear();
    int slot = 0;
    for (int i = 0; i < count; ++i, ++slot) {
        if (slot == p.transparent) ++slot;
        if (exact) {
            const std::uint32_t k = keys[static_cast<std::size_t>(i)];
            p.entries[static_cast<std::size_t>(slot)] =
                RGBQUAD{BYTE(k & 0xFF), BYTE((k >> 8) & 0xFF), BYTE((k >> 16) & 0xFF), 0};
            p.map.Insert(k, slot, kMaxColours + 1);
        } else {
            p.entries[static_cast<std::size_t>(slot)] = rgb[static_cast<std::size_t>(i)];
        }
    }
}

// Nearest colour of a quantised table (never the transparent entry), with a direct-mapped cache.
class Nearest {
public:
    explicit Nearest(const Palette& p) : p_(p) {
        keys_.assign(kCache, kNoKey);
        values_.assign(kCache, 0);
        for (int i = 0; i < static_cast<int>(p.entries.size()); ++i)
            if (i != p.transparent) slots_.push_back(i);
    }
    int Find(std::uint32_t key, int* distOut = nullptr) {
        const std::size_t c = ((key * 2654435761u) >> 16) & (kCache - 1);
        if (keys_[c] == key && !distOut) return values_[c];
        int best = slots_.empty() ? 0 : slots_[0], bestDist = std::numeric_limits<int>::max();
        for (int i : slots_) {
            const int d = Dist(key, p_.entries[static_cast<std::size_t>(i)]);
            if (d < bestDist) {
                bestDist = d;
                best = i;
                if (d == 0) break;
            }
        }
        keys_[c] = key;
        values_[c] = static_cast<BYTE>(best);
        if (distOut) *distOut = bestDist;
        return best;
    }

private:
    static constexpr std::size_t kCache = 1 << 16;
    const Palette& p_;
    std::vector<int> slots_;
    std::vector<std::uint32_t> keys_;
    std::vector<BYTE> values_;
};

// Colours (0x00RRGGBB) with their pixel counts, in key order.
using Histogram = std::vector<std::pair<DWORD, unsigned>>;

// Sorts and merges equal keys.
Histogram Combined(Histogram h) {
    std::sort(h.begin(), h.end());
    std::size_t out = 0;
    for (std::size_t i = 0; i < h.size(); ++i) {
        if (out > 0 && h[out - 1].first == h[i].first)
            h[out - 1].second += h[i].second;
        else
            h[out++] = h[i];
    }
    h.resize(out);
    return h;
}

// The colours of the pixels a frame writes.
Histogram HistogramOf(const Frame& f) {
    std::vector<std::uint32_t> keys;
    keys.reserve(f.px.size());
    for (std::size_t i = 0; i < f.px.size(); ++i)
        if (f.changed[i] && f.px[i]) keys.push_back(f.px[i] & 0xFFFFFF);
    std::sort(keys.begin(), keys.end());
    Histogram h;
    for (std::size_t i = 0; i < keys.size();) {
        std::size_t j = i;
        while (j < keys.size() && keys[j] == keys[i])
            ++j;
        h.emplace_back(keys[i], static_cast<unsigned>(j - i));
        i = j;
    }
    return h;
}

// Mean squared error of mapping the histogram to the table.
double MeanError(const Histogram& h, const Palette& p) {
    Nearest nearest(p);
    double sum = 0, n = 0;
    for (const auto& [key, count] : h) {
        int d = 0;
        nearest.Find(key | kOpaque, &d);
        sum += double(d) * count;
        n += count;
    }
    return n > 0 ? sum / n : 0;
}

// The indices of the changed pixels through a quantised table, with damped Floyd-Steinberg error
// diffusion among the changed pixels only; unchanged pixels become transparent.
void MapQuantised(const Frame& f, const Palette& p, std::vector<BYTE>& out) {
    Nearest nearest(p);
    const int w = f.w;
    std::vector<int> err(static_cast<std::size_t>(w + 2) * 3 * 2, 0);
    int* cur = err.data();
    int* next = err.data() + static_cast<std::size_t>(w + 2) * 3;
    for (int y = 0; y < f.h; ++y) {
        std::fill(next, next + static_cast<std::size_t>(w + 2) * 3, 0);
        for (int x = 0; x < w; ++x) {
            const std::size_t i = static_cast<std::size_t>(y) * w + x;
            const std::uint32_t key = f.px[i];
            if (!f.changed[i] || !key) {
                out[i] = static_cast<BYTE>(p.transparent);
                continue;
            }
            int* e = cur + (x + 1) * 3;
            int v[3] = {int((key >> 16) & 0xFF), int((key >> 8) & 0xFF), int(key & 0xFF)};
            for (int c = 0; c < 3; ++c)
                v[c] = std::clamp(v[c] + e[c] / 16, 0, 255);
            const std::uint32_t want =
                kOpaque | (std::uint32_t(v[0]) << 16) | (std::uint32_t(v[1]) << 8) | v[2];
            const int idx = nearest.Find(want);
            out[i] = static_cast<BYTE>(idx);
            const RGBQUAD& q = p.entries[static_cast<std::size_t>(idx)];
            // Three quarters of the error goes on: enough to break up bands, little enough to
            // keep flat areas calm for the compressor.
            const int d[3] = {(v[0] - q.rgbRed) * 3 / 4, (v[1] - q.rgbGreen) * 3 / 4,
                              (v[2] - q.rgbBlue) * 3 / 4};
            for (int c = 0; c < 3; ++c) {
                cur[(x + 2) * 3 + c] += d[c] * 7;
                next[x * 3 + c] += d[c] * 3;
                next[(x + 1) * 3 + c] += d[c] * 5;
                next[(x + 2) * 3 + c] += d[c];
            }
        }
        std::swap(cur, next);
    }
}

// The LZW data of a frame whose pixel k shows primary[k] or, where that codes smaller, alt[k].
std::vector<BYTE> EncodeLzw(const std::vector<BYTE>& primary, const std::vector<BYTE>& alt, int w, int h,
                            int minCodeSize, bool interlace, bool deferClear) {
    MemoryWriter m;
    {
        auto encoder = std::make_unique<gif::LzwEncoder>(m, minCodeSize, deferClear);
        for (int y : GifRowOrder(h, interlace)) {
            const std::size_t row = static_cast<std::size_t>(y) * w;
            encoder->AddEither(primary.data() + row, alt.data() + row, w);
        }
        encoder->Finish();
    }
    return m.Take();
}

} // namespace

struct GifAnimationWriter::Impl {
    int width = 0, height = 0;
    std::vector<std::uint32_t> screen; // what the frames so far show
    std::vector<std::uint32_t> next;
    std::vector<Frame> frames;
};

GifAnimationWriter::GifAnimationWriter() : impl_(std::make_unique<Impl>()) {}
GifAnimationWriter::~GifAnimationWriter() = default;

int GifAnimationWriter::FrameCount() const {
    return static_cast<int>(impl_->frames.size());
}

bool GifAnimationWriter::Begin(int width, int height) {
    if (width < 1 || height < 1 || width > 0xFFFF || height > 0xFFFF) return false;
    Impl& m = *impl_;
    m.frames.clear();
    m.width = width;
    m.height = height;
    const std::size_t n = static_cast<std::size_t>(width) * static_cast<std::size_t>(height);
    try {
        m.screen.assign(n, 0);
        m.next.assign(n, 0);
    } catch (const std::bad_alloc&) {
        return false;
    }
    return true;
}

bool GifAnimationWriter::AddFrame(const PackedDib& screen32) {
    Impl& m = *impl_;
    if (m.width < 1 || !screen32.Is32() || screen32.Width() != m.width || screen32.Height() != m.height)
        return false;
    const int W = m.width, H = m.height;
    const bool first = m.frames.empty();
    int x0 = W, y0 = H, x1 = -1, y1 = -1;
    for (int y = 0; y < H; ++y) {
        const BYTE* s = screen32.Row(y);
        std::uint32_t* d = m.next.data() + static_cast<std::size_t>(y) * W;
        const std::uint32_t* old = m.screen.data() + static_cast<std::size_t>(y) * W;
        for (int x = 0; x < W; ++x, s += 4) {
            d[x] = KeyOf(s);
            if (d[x] != old[x]) {
                // Drawing over the screen can never take a visible pixel away again.
                if (!first && !d[x] && old[x]) return false;
                x0 = std::min(x0, x);
                x1 = std::max(x1, x);
                y0 = std::min(y0, y);
                y1 = std::max(y1, y);
            }
        }
    }
    Frame f;
    if (first) {
        x0 = y0 = 0;
        x1 = W - 1;
        y1 = H - 1;
    } else if (x1 < 0) {
        x0 = y0 = x1 = y1 = 0; // nothing changed: one transparent pixel keeps the frame's time
    }
    f.left = x0;
    f.top = y0;
    f.w = x1 - x0 + 1;
    f.h = y1 - y0 + 1;
    try {
        f.px.resize(static_cast<std::size_t>(f.w) * f.h);
        f.changed.resize(f.px.size());
        m.frames.reserve(m.frames.size() + 1);
    } catch (const std::bad_alloc&) {
        return false;
    }
    ColourSet colours;
    for (int y = 0; y < f.h; ++y) {
        const std::size_t row = static_cast<std::size_t>(y + f.top) * W + f.left;
        for (int x = 0; x < f.w; ++x) {
            const std::size_t i = static_cast<std::size_t>(y) * f.w + x;
            const std::uint32_t key = m.next[row + x];
            f.px[i] = key;
            f.changed[i] = first || key != m.screen[row + x];
            if (f.changed[i] && key) colours.Add(key);
        }
    }
    f.exact = !colours.over;
    f.colours = std::move(colours.keys);
    m.frames.push_back(std::move(f));
    std::swap(m.screen, m.next);
    return true;
}

bool GifAnimationWriter::Write(ByteWriter& out, const GifAnimationOptions& options, IProgress* progress,
                               GifAnimationStats* stats) {
    Impl& m = *impl_;
    if (m.frames.empty()) return false;
    const std::size_t n = m.frames.size();
    GifAnimationStats st;
    st.frames = static_cast<int>(n);

    // Which table each frame uses: -1 the global one, else its own.
    std::vector<int> use(n, -1);
    std::vector<Palette> locals;
    Palette global;
    bool haveGlobal = false;

    ColourSet all;
    for (const Frame& f : m.frames) {
        if (!f.exact) {
            all.over = true;
            break;
        }
        for (std::uint32_t k : f.colours)
            all.Add(k);
    }
    if (!all.over) {
        // Few colours in all: one exact table serves every frame.
        BuildPalette(global, all.keys, {}, options.preferredTransparent, true);
        haveGlobal = true;
    } else {
        std::vector<Histogram> hists(n);
        Histogram merged;
        for (std::size_t i = 0; i < n; ++i) {
            hists[i] = HistogramOf(m.frames[i]);
            merged.insert(merged.end(), hists[i].begin(), hists[i].end());
        }
        merged = Combined(std::move(merged));
        const std::vector<RGBQUAD> shared = QuantizeColorHistogram(merged, kMaxColours, kQuantiserSpeed);
        if (!shared.empty()) {
            BuildPalette(global, {}, shared, options.preferredTransparent, false);
            haveGlobal = true;
        }
        std::unique_ptr<Nearest> sharedNearest;
        if (haveGlobal) sharedNearest = std::make_unique<Nearest>(global);
        std::vector<std::size_t> quantised;
        for (std::size_t i = 0; i < n; ++i) {
            const Frame& f = m.frames[i];
            if (!f.exact) {
                quantised.push_back(i);
                continue;
            }
            // The shared table may already hold this frame's colours.
            bool inShared = haveGlobal;
            for (std::size_t k = 0; inShared && k < f.colours.size(); ++k) {
                int d = 0;
                sharedNearest->Find(f.colours[k], &d);
                inShared = d == 0;
            }
            if (!inShared) {
                Palette p;
                BuildPalette(p, f.colours, {}, options.preferredTransparent, true);
                use[i] = static_cast<int>(locals.size());
                locals.push_back(std::move(p));
            }
        }
        // The shared table serves a frame that it shows about as well as the frame's own table
        // would, or at least as well as the hardest frame can be shown at all: the animation is
        // then as good as its worst frame either way, and saves a table per frame. The largest
        // frames come first, as they tend to be the hardest.
        std::stable_sort(quantised.begin(), quantised.end(),
                         [&](std::size_t a, std::size_t b) { return hists[a].size() > hists[b].size(); });
        double hardest = 0;
        for (std::size_t i : quantised) {
            ++st.quantisedFrames;
            const double sharedError = haveGlobal ? MeanError(hists[i], global) : 0;
            if (haveGlobal && sharedError <= hardest) continue;
            const std::vector<RGBQUAD> own = QuantizeColorHistogram(hists[i], kMaxColours, kQuantiserSpeed);
            if (own.empty() && !haveGlobal) return false;
            if (own.empty()) continue;
            Palette p;
            BuildPalette(p, {}, own, options.preferredTransparent, false);
            const double ownError = MeanError(hists[i], p);
            hardest = std::max(hardest, ownError);
            if (haveGlobal && sharedError <= std::max(ownError * 1.25 + 1.0, hardest)) continue;
            use[i] = static_cast<int>(locals.size());
            locals.push_back(std::move(p));
        }
        haveGlobal = haveGlobal && std::count(use.begin(), use.end(), -1) > 0;
    }
    st.globalPalette = haveGlobal;
    st.localPalettes = static_cast<int>(locals.size());

    // Logical screen and global table.
    out.Write("GIF89a", 6);
    out.WriteU16(static_cast<WORD>(m.width));
    out.WriteU16(static_cast<WORD>(m.height));
    if (haveGlobal) {
        out.WriteU8(static_cast<BYTE>(0x80 | (7 << 4) | (global.bits - 1)));
        const int size = 1 << global.bits;
        out.WriteU8(static_cast<BYTE>(
            options.backgroundIndex >= 0 && options.backgroundIndex < size ? options.backgroundIndex : 0));
    } else {
        out.WriteU8(7 << 4);
        out.WriteU8(0);
    }
    out.WriteU8(0);
    auto writeTable = [&](const Palette& p) {
        for (const RGBQUAD& q : p.entries) {
            const BYTE rgb[3] = {q.rgbRed, q.rgbGreen, q.rgbBlue};
            out.Write(rgb, 3);
        }
    };
    if (haveGlobal) writeTable(global);
    // Loop forever.
    static const BYTE kLoop[] = {0x21, 0xFF, 0x0B, 'N', 'E',  'T',  'S',  'C',  'A', 'P',
                                 'E',  '2',  '.',  '0', 0x03, 0x01, 0x00, 0x00, 0x00};
    out.Write(kLoop, sizeof kLoop);

    std::vector<BYTE> a, b;
    for (std::size_t i = 0; i < n; ++i) {
        const Frame& f = m.frames[i];
        const Palette& p = use[i] < 0 ? global : locals[static_cast<std::size_t>(use[i])];
        const int minCode = std::max(p.bits, 2);
        const std::size_t count = f.px.size();
        a.assign(count, 0);
        if (p.exact) {
            for (std::size_t k = 0; k < count; ++k)
                a[k] = static_cast<BYTE>(f.changed[k] && f.px[k] ? p.map.Find(f.px[k]) : p.transparent);
        } else {
            MapQuantised(f, p, a);
        }
        // An unchanged pixel may be written transparent or, where the table holds it exactly,
        // with its own colour: the encoder takes whichever continues its current string.
        b = a;
        bool choice = false;
        if (i > 0 && p.exact) {
            for (std::size_t k = 0; k < count; ++k) {
                if (f.changed[k] || !f.px[k]) continue;
                const int idx = p.map.Find(f.px[k]);
                if (idx >= 0) {
                    b[k] = static_cast<BYTE>(idx);
                    choice = true;
                }
            }
        }
        // Starting new strings on the colours may suit pictures without large unchanged areas
        // better; keeping a full string table suits repetitive pictures, clearing it noisy ones.
        std::vector<BYTE> best;
        for (const bool colourFirst : {false, true}) {
            if (colourFirst && !choice) break;
            for (const bool deferClear : {false, true}) {
                std::vector<BYTE> data =
                    colourFirst ? EncodeLzw(b, a, f.w, f.h, minCode, options.interlace, deferClear)
                                : EncodeLzw(a, b, f.w, f.h, minCode, options.interlace, deferClear);
                if (best.empty() || data.size() < best.size()) best = std::move(data);
            }
        }
        const BYTE t = static_cast<BYTE>(p.transparent);
        const bool usesTransparent = std::find(a.begin(), a.end(), t) != a.end();
        if (i > 0 && usesTransparent &&
            std::find(f.changed.begin(), f.changed.end(), BYTE{0}) != f.changed.end())
            ++st.transparentFrames;

        BYTE flags = static_cast<BYTE>((1 << 2) | (usesTransparent ? 1 : 0));
        if (i == 0) flags = static_cast<BYTE>(flags | (options.controlFlags & 2));
        const BYTE control[] = {0x21,
                                0xF9,
                                4,
                                flags,
                                static_cast<BYTE>(options.delay),
                                static_cast<BYTE>(options.delay >> 8),
                                static_cast<BYTE>(p.transparent),
                                0};
        out.Write(control, sizeof control);
        out.WriteU8(0x2C);
        out.WriteU16(static_cast<WORD>(f.left));
        out.WriteU16(static_cast<WORD>(f.top));
        out.WriteU16(static_cast<WORD>(f.w));
        out.WriteU16(static_cast<WORD>(f.h));
        BYTE imageFlags = options.interlace ? 0x40 : 0;
        if (use[i] >= 0) imageFlags = static_cast<BYTE>(imageFlags | 0x80 | (p.bits - 1));
        out.WriteU8(imageFlags);
        if (use[i] >= 0) writeTable(p);
        out.WriteU8(static_cast<BYTE>(minCode));
        out.Write(best.data(), best.size());
        out.WriteU8(0);
        if (out.Failed()) return false;
        if (progress) {
            progress->SetPos(static_cast<int>((i + 1) * 100 / n));
            progress->Pump();
        }
    }
    out.WriteU8(0x3B);
    st.bytes = out.Size();
    if (stats) *stats = st;
    return !out.Failed();
}

} // namespace zepho

namespace zepho {

namespace {

// The second half of a progress bar: writing follows composing.
class SecondHalf final : public IProgress {
public:
    explicit SecondHalf(IProgress* bar) : bar_(bar) {}
    void SetText(const std::string& text) override { bar_->SetText(text); }
    void SetPos(int percent) override { bar_->SetPos(50 + percent / 2); }
    void Pump() override { bar_->Pump(); }

private:
    IProgress* bar_;
};

} // namespace

bool ExportGifAnimation(const CDocImage& doc, const std::string& path, IProgress* progress, bool interlace) {
    // One frame is just the picture.
    if (doc.CountVisible() < 2) return ExportGif(doc, path, progress, interlace);
    GifAnimationWriter writer;
    CFrameComposer composer;
    if (!writer.Begin(doc.width, doc.height) || !composer.Start(doc.width, doc.height)) return false;
    const int count = doc.objects.Count();
    for (int i = 0; i < count; ++i) {
        if (composer.Add(*doc.objects.At(i)) && !writer.AddFrame(composer.Image())) return false;
        if (progress) {
            progress->SetPos((i + 1) * 50 / count);
            progress->Pump();
        }
    }
    FileWriter file(path);
    if (!file.IsOpen()) return false;
    GifAnimationOptions options;
    options.delay = doc.delay;
    options.backgroundIndex = doc.gifBackgroundIndex;
    options.preferredTransparent = doc.gifTransparentIndex;
    options.controlFlags = doc.gifControlFlags;
    options.interlace = interlace;
    SecondHalf second(progress);
    if (!writer.Write(file, options, progress ? &second : nullptr))
        return false; // the temporary file goes too
    return file.Commit();
}

} // namespace zepho
