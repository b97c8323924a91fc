// Animated GIF export of 40 frames at 640 x 480, beside ImageMagick (`-layers optimize`) and
// gifsicle (`-O3`) run through their command-line tools on the same frames. Two animations:
// shapes moving over a photograph, and a screen recording (a window with text being typed, a
// moving pointer, a scrolling list). Each document holds one full-canvas object per frame, as an
// opened GIF does. Ours is timed from the document to the file on disk; ImageMagick from PNG
// frames to its file; gifsicle optimises ImageMagick's plain (unoptimised) GIF of the same
// frames (when those frames carry more than 256 colours ImageMagick quantises each on its own, and
// that GIF is a poor start), and also ImageMagick's optimised file and our own file. Counters:
// file_bytes of each, cpu_s (processor seconds per run, the tools' included), and for ours the
// ratio to ImageMagick and to the smallest file gifsicle -O3 made from any of the three.
#include "codecs/GifCodec.h"
#include "extlib/PngFile.h"
#include "model/DocImage.h"
#include "raster/Dib.h"

#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

using namespace zepho;

namespace {

constexpr int kW = 640;
constexpr int kH = 480;
constexpr int kFrames = 40;

void Put(PackedDib& d, int x, int y, std::uint32_t rgb) {
    if (x < 0 || y < 0 || x >= d.Width() || y >= d.Height()) return;
    const std::uint32_t v = 0xFF000000u | rgb;
    std::memcpy(d.Pixel32(x, y), &v, 4);
}

void FillRect(PackedDib& d, int x0, int y0, int w, int h, std::uint32_t rgb) {
    for (int y = y0; y < y0 + h; ++y)
        for (int x = x0; x < x0 + w; ++x)
            Put(d, x, y, rgb);
}

// Smooth value noise over a few octaves, grain and a few hard edges: a landscape photograph.
PackedDib Photograph() {
    PackedDib d = PackedDib::Create(kW, kH, 32);
    std::mt19937 rng(7);
    std::vector<float> lattice(33 * 25 * 3);
    for (float& v : lattice)
        v = static_cast<float>(rng() % 256);
    auto noise = [&](double x, double y, int c) {
        const int xi = static_cast<int>(x), yi = static_cast<int>(y);
        const double fx = x - xi, fy = y - yi;
        auto at = [&](int i, int j) { return lattice[((j % 25) * 33 + (i % 33)) * 3 + c]; };
        const double top = at(xi, yi) * (1 - fx) + at(xi + 1, yi) * fx;
        const double bottom = at(xi, yi + 1) * (1 - fx) + at(xi + 1, yi + 1) * fx;
        return top * (1 - fy) + bottom * fy;
    };
    for (int y = 0; y < kH; ++y)
        for (int x = 0; x < kW; ++x) {
            double c[3];
            for (int k = 0; k < 3; ++k)
                c[k] = 0.55 * noise(x / 40.0, y / 40.0, k) + 0.3 * noise(x / 13.0 + 3, y / 11.0 + 5, k) +
                       0.15 * noise(x / 4.0 + 7, y / 4.0 + 1, k);
            // Sky above a horizon, darker ground below.
            if (y < 150 + 30 * std::sin(x * 0.02)) {
                c[0] = 0.4 * c[0] + 60;
                c[1] = 0.4 * c[1] + 110;
                c[2] = 0.3 * c[2] + 170;
            } else {
                c[2] *= 0.6;
            }
            auto ch = [&](double v) {
                return std::uint32_t(std::clamp(int(v) + int(rng() % 7) - 3, 0, 255));
            };
            Put(d, x, y, ch(c[0]) << 16 | ch(c[1]) << 8 | ch(c[2]));
        }
    return d;
}

// Frame i of shapes moving over the photograph: a disc, a square and a bar.
PackedDib ShapesFrame(const PackedDib& photo, int i) {
    PackedDib f = photo.Clone();
    const int cx = 60 + i * 13, cy = 240 + static_cast<int>(120 * std::sin(i * 0.3));
    for (int y = -30; y <= 30; ++y)
        for (int x = -30; x <= 30; ++x)
            if (x * x + y * y <= 900) Put(f, cx + x, cy + y, 0xE02020);
    FillRect(f, 500 - i * 9, 60 + i * 4, 48, 48, 0x2040F0);
    FillRect(f, 0, 420 - i * 2, 120 + i * 10, 14, 0xF0E040);
    return f;
}

// A 5 x 7 pseudo-glyph for character code c.
void Glyph(PackedDib& d, int x, int y, int c, std::uint32_t rgb) {
    for (int r = 0; r < 7; ++r)
        for (int k = 0; k < 5; ++k)
            if (((c * 2654435761u) >> ((r * 5 + k) % 29)) & 1) Put(d, x + k, y + r, rgb);
}

// Frame i of a screen recording: desktop, a window with a toolbar and a list, text being typed,
// the list scrolling now and then, and the pointer moving.
PackedDib ScreenFrame(int i) {
    PackedDib f = PackedDib::Create(kW, kH, 32);
    FillRect(f, 0, 0, kW, kH, 0x3A6EA5);
    FillRect(f, 0, kH - 28, kW, 28, 0xC0C0C0);
    FillRect(f, 40, 30, 560, 400, 0xF0F0F0);
    FillRect(f, 40, 30, 560, 22, 0x1F4E99);
    FillRect(f, 40, 52, 560, 26, 0xDADADA);
    for (int b = 0; b < 8; ++b)
        FillRect(f, 46 + b * 28, 55, 22, 20, 0xB0B8C8);
    // The list, scrolled by one row every 8 frames.
    const int scroll = i / 8;
    for (int row = 0; row < 14; ++row) {
        const int item = row + scroll;
        const int y = 90 + row * 18;
        if (item % 2) FillRect(f, 48, y - 2, 200, 18, 0xE4E8F0);
        for (int ch = 0; ch < 18; ++ch)
            Glyph(f, 56 + ch * 6, y + 3, item * 31 + ch, 0x202020);
    }
    // The text area: three characters typed per frame.
    FillRect(f, 260, 90, 330, 330, 0xFFFFFF);
    const int typed = 3 * (i + 1);
    for (int k = 0; k < typed; ++k)
        Glyph(f, 266 + (k % 52) * 6, 96 + (k / 52) * 12, k * 7 + 3, 0x000000);
    // The pointer.
    const int px = 100 + i * 11, py = 400 - i * 7;
    for (int r = 0; r < 16; ++r)
        for (int k = 0; k <= r / 2 + 1; ++k)
            Put(f, px + k, py + r, k == 0 || k == r / 2 + 1 || r == 15 ? 0x000000 : 0xFFFFFF);
    return f;
}

// Processor seconds used so far by this process (every thread) or by its finished children.
double CpuSeconds(int who) {
    rusage u{};
    getrusage(who, &u);
    return double(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
           1e-6 * double(u.ru_utime.tv_usec + u.ru_stime.tv_usec);
}

struct Animation {
    std::string name;
    Ref<CDocImage> doc;
    std::string dir;      // PNG frames and the peers' files
    std::string pngs;     // the frames' paths, quoted, in order
    std::string plainGif; // ImageMagick's unoptimised GIF of the frames
    bool peers = false;   // ImageMagick and gifsicle are installed

    Animation() = default;
    Animation(const Animation&) = delete;
    ~Animation() {
        if (dir.empty() || dir == "/tmp") return;
        for (int i = 0; i < kFrames; ++i) {
            char file[64];
            std::snprintf(file, sizeof file, "/f%02d.png", i);
            std::remove((dir + file).c_str());
        }
        for (const char* f :
             {"/plain.gif", "/ours.gif", "/ours_O3.gif", "/magick.gif", "/magick_O3.gif", "/gifsicle.gif"})
            std::remove((dir + f).c_str());
        rmdir(dir.c_str());
    }
};

bool Have(const char* cmd) {
    FILE* p = popen(cmd, "r");
    if (!p) return false;
    char buf[256] = {};
    const std::size_t n = fread(buf, 1, sizeof buf - 1, p);
    pclose(p);
    return n > 0;
}

bool HavePeers() {
    static const bool have = [] {
        FILE* p = popen("/usr/bin/convert -version 2>/dev/null", "r");
        if (!p) return false;
        char buf[256] = {};
        const std::size_t n = fread(buf, 1, sizeof buf - 1, p);
        pclose(p);
        return n > 0 && std::strstr(buf, "ImageMagick") && Have("gifsicle --version 2>/dev/null");
    }();
    return have;
}

std::uint64_t SizeOf(const std::string& path) {
    struct stat st;
    return stat(path.c_str(), &st) == 0 ? static_cast<std::uint64_t>(st.st_size) : 0;
}

void Make(Animation& a, const std::string& name, PackedDib (*frame)(int, const PackedDib&),
          const PackedDib& base) {
    a.name = name;
    a.doc = MakeRef<CDocImage>();
    a.doc->width = kW;
    a.doc->height = kH;
    a.doc->delay = 10;
    char tmpl[] = "/tmp/zepho-bench-anim-XXXXXX";
    a.dir = mkdtemp(tmpl) ? tmpl : "/tmp";
    a.peers = HavePeers();
    for (int i = 0; i < kFrames; ++i) {
        PackedDib f = frame(i, base);
        if (a.peers) {
            char file[64];
            std::snprintf(file, sizeof file, "/f%02d.png", i);
            WritePngRgba(a.dir + file, f);
            a.pngs += " '" + a.dir + file + "'";
        }
        Ref<CObjContent> c = MakeRef<CObjContent>(KindImage);
        c->SetRaster(std::move(f));
        Ref<CDrawObj> o = MakeRef<CDrawObj>(c);
        o->visible = 1;
        a.doc->objects.AddTail(o);
    }
    if (a.peers) {
        a.plainGif = a.dir + "/plain.gif";
        const std::string cmd = "/usr/bin/convert -delay 10 -loop 0" + a.pngs + " '" + a.plainGif + "'";
        a.peers = std::system(cmd.c_str()) == 0;
    }
}

const Animation& Shapes() {
    static const PackedDib photo = Photograph();
    static Animation a;
    if (!a.doc)
        Make(
            a, "shapes", [](int i, const PackedDib& p) { return ShapesFrame(p, i); }, photo);
    return a;
}

const Animation& Screen() {
    static const PackedDib none;
    static Animation a;
    if (!a.doc)
        Make(
            a, "screen", [](int i, const PackedDib&) { return ScreenFrame(i); }, none);
    return a;
}

// Sizes found by each run, for the ratios.
struct Sizes {
    std::uint64_t ours = 0, magick = 0, gifsicle = 0, gifsicleOfMagick = 0, gifsicleOnOurs = 0;
};
Sizes& SizesOf(const Animation& a) {
    static Sizes shapes, screen;
    return &a == &Shapes() ? shapes : screen;
}

void Ours(benchmark::State& state, const Animation& a) {
    const std::string out = a.dir + "/ours.gif";
    const double cpu = CpuSeconds(RUSAGE_SELF);
    for (auto _ : state)
        if (!ExportGifAnimation(*a.doc, out, nullptr, false)) state.SkipWithError("export failed");
    state.counters["cpu_s"] = (CpuSeconds(RUSAGE_SELF) - cpu) / double(state.iterations());
    Sizes& s = SizesOf(a);
    s.ours = SizeOf(out);
    state.counters["file_bytes"] = static_cast<double>(s.ours);
    state.SetItemsProcessed(state.iterations() * std::int64_t{kW} * kH * kFrames);
    if (a.peers) {
        // What gifsicle still finds in our file.
        const std::string again = a.dir + "/ours_O3.gif";
        if (std::system(("gifsicle -O3 '" + out + "' -o '" + again + "'").c_str()) == 0)
            s.gifsicleOnOurs = SizeOf(again);
        state.counters["gifsicle_O3_of_ours"] = static_cast<double>(s.gifsicleOnOurs);
    }
    if (s.magick) state.counters["ratio_to_magick"] = double(s.ours) / double(s.magick);
    std::uint64_t best = 0;
    for (const std::uint64_t g : {s.gifsicle, s.gifsicleOfMagick, s.gifsicleOnOurs})
        if (g && (!best || g < best)) best = g;
    if (best) state.counters["ratio_to_gifsicle"] = double(s.ours) / double(best);
}

void Magick(benchmark::State& state, const Animation& a) {
    if (!a.peers) {
        state.SkipWithError("ImageMagick or gifsicle not installed");
        return;
    }
    const std::string out = a.dir + "/magick.gif";
    const std::string cmd = "/usr/bin/convert -delay 10 -loop 0" + a.pngs + " -layers optimize '" + out + "'";
    const double cpu = CpuSeconds(RUSAGE_CHILDREN);
    for (auto _ : state)
        if (std::system(cmd.c_str()) != 0) state.SkipWithError("convert failed");
    state.counters["cpu_s"] = (CpuSeconds(RUSAGE_CHILDREN) - cpu) / double(state.iterations());
    SizesOf(a).magick = SizeOf(out);
    // gifsicle's lossless optimisation of ImageMagick's result, for reference.
    const std::string again = a.dir + "/magick_O3.gif";
    if (std::system(("gifsicle -O3 '" + out + "' -o '" + again + "'").c_str()) == 0) {
        SizesOf(a).gifsicleOfMagick = SizeOf(again);
        state.counters["gifsicle_O3_of_magick"] = static_cast<double>(SizesOf(a).gifsicleOfMagick);
    }
    state.counters["file_bytes"] = static_cast<double>(SizesOf(a).magick);
    state.SetItemsProcessed(state.iterations() * std::int64_t{kW} * kH * kFrames);
}

void Gifsicle(benchmark::State& state, const Animation& a) {
    if (!a.peers) {
        state.SkipWithError("ImageMagick or gifsicle not installed");
        return;
    }
    const std::string out = a.dir + "/gifsicle.gif";
    const std::string cmd = "gifsicle -O3 --no-warnings '" + a.plainGif + "' -o '" + out + "'";
    const double cpu = CpuSeconds(RUSAGE_CHILDREN);
    for (auto _ : state)
        if (std::system(cmd.c_str()) != 0) state.SkipWithError("gifsicle failed");
    state.counters["cpu_s"] = (CpuSeconds(RUSAGE_CHILDREN) - cpu) / double(state.iterations());
    SizesOf(a).gifsicle = SizeOf(out);
    state.counters["file_bytes"] = static_cast<double>(SizesOf(a).gifsicle);
    state.SetItemsProcessed(state.iterations() * std::int64_t{kW} * kH * kFrames);
}

void BM_AnimGif_Shapes_Magick(benchmark::State& s) {
    Magick(s, Shapes());
}
void BM_AnimGif_Shapes_Gifsicle(benchmark::State& s) {
    Gifsicle(s, Shapes());
}
void BM_AnimGif_Shapes_Ours(benchmark::State& s) {
    Ours(s, Shapes());
}
void BM_AnimGif_Screen_Magick(benchmark::State& s) {
    Magick(s, Screen());
}
void BM_AnimGif_Screen_Gifsicle(benchmark::State& s) {
    Gifsicle(s, Screen());
}
void BM_AnimGif_Screen_Ours(benchmark::State& s) {
    Ours(s, Screen());
}

} // namespace

// The peers run first so that ours can report the ratios.
BENCHMARK(BM_AnimGif_Shapes_Magick)->Unit(benchmark::kMillisecond)->Iterations(2)->UseRealTime();
BENCHMARK(BM_AnimGif_Shapes_Gifsicle)->Unit(benchmark::kMillisecond)->Iterations(2)->UseRealTime();
BENCHMARK(BM_AnimGif_Shapes_Ours)->Unit(benchmark::kMillisecond)->Iterations(2)->UseRealTime();
BENCHMARK(BM_AnimGif_Screen_Magick)->Unit(benchmark::kMillisecond)->Iterations(2)->UseRealTime();
BENCHMARK(BM_AnimGif_Screen_Gifsicle)->Unit(benchmark::kMillisecond)->Iterations(2)->UseRealTime();
BENCHMARK(BM_AnimGif_Screen_Ours)->Unit(benchmark::kMillisecond)->Iterations(2)->UseRealTime();
