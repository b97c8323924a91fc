// Native document save and read of one photo-like image object, beside libtiff writing and
// reading the same pixels as a planar PackBits TIFF (the nearest peer: four channel planes,
// PackBits rows) and libpng for context. Everything in memory; items/s are pixels/s.
#include "BenchSizes.h"
#include "extlib/PngFile.h"
#include "model/DocImage.h"
#include "platform/ByteStream.h"
#include "raster/Dib.h"

#include <benchmark/benchmark.h>
#include <png.h>
#include <tiffio.h>

#include <cmath>
#include <cstring>
#include <map>
#include <random>

using namespace zepho;

namespace {

// Smooth gradients with mild noise and flat areas, like a photograph with some sky.
PackedDib PhotoLike(int w, int h) {
    PackedDib d = CreateTransparentDIB(w, h);
    std::mt19937 rng(42);
    for (int y = 0; y < h; ++y) {
        BYTE* p = d.Row(y);
        for (int x = 0; x < w; ++x, p += 4) {
            const double fx = double(x) / w, fy = double(y) / h;
            const int noise = static_cast<int>(rng() % 5) - 2;
            if (fy < 0.3) {
                p[0] = 230, p[1] = static_cast<BYTE>(180 + 40 * fy), p[2] = 120; // flat sky
            } else {
                p[0] =
                    static_cast<BYTE>(std::clamp(int(120 + 100 * std::sin(fx * 9 + fy * 3)) + noise, 0, 255));
                p[1] =
                    static_cast<BYTE>(std::clamp(int(110 + 90 * std::cos(fx * 5 - fy * 7)) + noise, 0, 255));
                p[2] = static_cast<BYTE>(std::clamp(int(100 + 80 * std::sin(fx * 13)) + noise, 0, 255));
            }
            p[3] = 255;
        }
    }
    return d;
}

struct Fixture {
    CDocImage doc;
    std::vector<BYTE> native, tiff, png;
};

Fixture& Data(int w, int h);

// libtiff over a growable memory buffer.
struct MemTiff {
    std::vector<BYTE> data;
    toff_t pos = 0;
    static tsize_t Read(thandle_t h, tdata_t buf, tsize_t n) {
        auto* m = static_cast<MemTiff*>(h);
        const tsize_t k = std::min<tsize_t>(
            n, static_cast<tsize_t>(m->data.size() - std::min<toff_t>(m->pos, m->data.size())));
        std::memcpy(buf, m->data.data() + m->pos, static_cast<std::size_t>(k));
        m->pos += static_cast<toff_t>(k);
        return k;
    }
    static tsize_t Write(thandle_t h, tdata_t buf, tsize_t n) {
        auto* m = static_cast<MemTiff*>(h);
        if (m->pos + n > m->data.size()) m->data.resize(m->pos + n);
        std::memcpy(m->data.data() + m->pos, buf, static_cast<std::size_t>(n));
        m->pos += static_cast<toff_t>(n);
        return n;
    }
    static toff_t Seek(thandle_t h, toff_t off, int whence) {
        auto* m = static_cast<MemTiff*>(h);
        m->pos = whence == SEEK_SET ? off : whence == SEEK_CUR ? m->pos + off : m->data.size() + off;
        return m->pos;
    }
    static int Close(thandle_t) { return 0; }
    static toff_t Size(thandle_t h) { return static_cast<MemTiff*>(h)->data.size(); }
    static int Map(thandle_t, tdata_t*, toff_t*) { return 0; }
    static void Unmap(thandle_t, tdata_t, toff_t) {}
    TIFF* Open(const char* mode) {
        return TIFFClientOpen("mem", mode, this, &Read, &Write, &Seek, &Close, &Size, &Map, &Unmap);
    }
};

std::vector<BYTE> TiffWrite(const PackedDib& img) {
    MemTiff m;
    TIFF* t = m.Open("w");
    const int w = img.Width(), h = img.Height();
    TIFFSetField(t, TIFFTAG_IMAGEWIDTH, w);
    TIFFSetField(t, TIFFTAG_IMAGELENGTH, h);
    TIFFSetField(t, TIFFTAG_BITSPERSAMPLE, 8);
    TIFFSetField(t, TIFFTAG_SAMPLESPERPIXEL, 4);
    const uint16_t extra = EXTRASAMPLE_UNASSALPHA;
    TIFFSetField(t, TIFFTAG_EXTRASAMPLES, 1, &extra);
    TIFFSetField(t, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_RGB);
    TIFFSetField(t, TIFFTAG_PLANARCONFIG, PLANARCONFIG_SEPARATE);
    TIFFSetField(t, TIFFTAG_COMPRESSION, COMPRESSION_PACKBITS);
    TIFFSetField(t, TIFFTAG_ROWSPERSTRIP, TIFFDefaultStripSize(t, 0));
    std::vector<BYTE> row(static_cast<std::size_t>(w));
    static constexpr int kByte[4] = {2, 1, 0, 3};
    for (uint16_t s = 0; s < 4; ++s)
        for (int y = 0; y < h; ++y) {
            const BYTE* p = img.Row(y) + kByte[s];
            for (int x = 0; x < w; ++x)
                row[x] = p[4 * x];
            TIFFWriteScanline(t, row.data(), static_cast<uint32_t>(y), s);
        }
    TIFFClose(t);
    return std::move(m.data);
}

PackedDib TiffRead(const std::vector<BYTE>& bytes) {
    MemTiff m;
    m.data = bytes;
    TIFF* t = m.Open("r");
    uint32_t w = 0, h = 0;
    TIFFGetField(t, TIFFTAG_IMAGEWIDTH, &w);
    TIFFGetField(t, TIFFTAG_IMAGELENGTH, &h);
    PackedDib img = PackedDib::Create(static_cast<int>(w), static_cast<int>(h), 32);
    std::vector<BYTE> row(w);
    static constexpr int kByte[4] = {2, 1, 0, 3};
    for (uint16_t s = 0; s < 4; ++s)
        for (uint32_t y = 0; y < h; ++y) {
            TIFFReadScanline(t, row.data(), y, s);
            BYTE* p = img.Row(static_cast<int>(y)) + kByte[s];
            for (uint32_t x = 0; x < w; ++x)
                p[4 * x] = row[x];
        }
    TIFFClose(t);
    return img;
}

PackedDib PngDecode(const std::vector<BYTE>& bytes) {
    png_image img{};
    img.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_memory(&img, bytes.data(), bytes.size())) return {};
    img.format = PNG_FORMAT_BGRA;
    PackedDib d = PackedDib::Create(static_cast<int>(img.width), static_cast<int>(img.height), 32);
    // With a negative stride libpng wants the start of the block and finds the top row itself.
    if (!d ||
        !png_image_finish_read(&img, nullptr, d.Bits(), -static_cast<png_int_32>(d.Stride()), nullptr)) {
        png_image_free(&img);
        return {};
    }
    return d;
}

Fixture& Data(int w, int h) {
    static std::map<std::pair<int, int>, Fixture> cache;
    Fixture& f = cache[{w, h}];
    if (f.native.empty()) {
        f.doc.width = w;
        f.doc.height = h;
        Ref<CObjContent> c = MakeRef<CObjContent>(KindImage);
        c->SetRaster(PhotoLike(w, h));
        Ref<CDrawObj> o = MakeRef<CDrawObj>(c);
        o->visible = 1;
        f.doc.objects.AddTail(o);
        MemoryWriter out;
        f.doc.WriteNative(out, nullptr, "bench.qzi");
        f.native = out.Take();
        f.tiff = TiffWrite(c->raster);
        EncodePngRgba(c->raster, f.png);
    }
    return f;
}

const PackedDib& Raster(Fixture& f) {
    return f.doc.objects.Head()->content->raster;
}

void Report(benchmark::State& state, int w, int h, std::size_t bytes) {
    state.SetItemsProcessed(state.iterations() * std::int64_t{w} * h);
    state.counters["file_bytes"] = static_cast<double>(bytes);
}

void BM_SaveNative(benchmark::State& state) {
    const int w = state.range(0), h = state.range(1);
    Fixture& f = Data(w, h);
    std::size_t size = 0;
    for (auto _ : state) {
        MemoryWriter out;
        f.doc.WriteNative(out, nullptr, "bench.qzi");
        size = static_cast<std::size_t>(out.Size());
        benchmark::DoNotOptimize(size);
    }
    Report(state, w, h, size);
}

void BM_ReadNative(benchmark::State& state) {
    const int w = state.range(0), h = state.range(1);
    Fixture& f = Data(w, h);
    for (auto _ : state) {
        CDocImage doc;
        MemoryReader in(f.native);
        benchmark::DoNotOptimize(doc.ReadNativeFrom(in, nullptr, "bench.qzi"));
    }
    Report(state, w, h, f.native.size());
}

void BM_TiffPackBitsWrite(benchmark::State& state) {
    const int w = state.range(0), h = state.range(1);
    Fixture& f = Data(w, h);
    std::size_t size = 0;
    for (auto _ : state)
        size = TiffWrite(Raster(f)).size();
    Report(state, w, h, size);
}

void BM_TiffPackBitsRead(benchmark::State& state) {
    const int w = state.range(0), h = state.range(1);
    Fixture& f = Data(w, h);
    for (auto _ : state)
        benchmark::DoNotOptimize(TiffRead(f.tiff));
    Report(state, w, h, f.tiff.size());
}

void BM_PngEncode(benchmark::State& state) {
    const int w = state.range(0), h = state.range(1);
    Fixture& f = Data(w, h);
    std::vector<BYTE> out;
    for (auto _ : state)
        EncodePngRgba(Raster(f), out);
    Report(state, w, h, out.size());
}

void BM_PngDecode(benchmark::State& state) {
    const int w = state.range(0), h = state.range(1);
    Fixture& f = Data(w, h);
    // A peer that decodes wrongly measures nothing: its pixels must be the ones encoded.
    const PackedDib check = PngDecode(f.png);
    const PackedDib& want = Raster(f);
    const std::size_t bytes = want.Stride() * static_cast<std::size_t>(want.Height());
    if (!check || check.Width() != want.Width() || check.Height() != want.Height() ||
        std::memcmp(check.Bits(), want.Bits(), bytes) != 0) {
        state.SkipWithError("libpng did not give back the encoded pixels");
        return;
    }
    for (auto _ : state)
        benchmark::DoNotOptimize(PngDecode(f.png));
    Report(state, w, h, f.png.size());
}

void Sizes(benchmark::internal::Benchmark* b) {
    for (auto [w, h] : bench::BenchSizes())
        b->Args({w, h});
    b->ArgNames({"w", "h"})->Unit(benchmark::kMillisecond);
}

} // namespace

BENCHMARK(BM_SaveNative)->Apply(Sizes);
BENCHMARK(BM_TiffPackBitsWrite)->Apply(Sizes);
BENCHMARK(BM_ReadNative)->Apply(Sizes);
BENCHMARK(BM_TiffPackBitsRead)->Apply(Sizes);
BENCHMARK(BM_PngEncode)->Apply(Sizes);
BENCHMARK(BM_PngDecode)->Apply(Sizes);
