// GIF encode and decode of one 1920 x 1080 image of 256 colours, beside giflib encoding and
// decoding the same indices. Everything in memory; items/s are pixels/s. Our decode runs twice:
// into the 32-bit objects a document holds, and into indices as giflib does. The whole export of
// a photo (flatten, quantise, dither, encode, write) is measured too, with the error it leaves.
#include "codecs/GifCodec.h"
#include "codecs/GifReader.h"
#include "codecs/GifWriter.h"
#include "platform/ByteStream.h"

#include <benchmark/benchmark.h>
#include <gif_lib.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <random>
#include <vector>

using namespace zepho;

namespace {

constexpr int kW = 1920;
constexpr int kH = 1080;

// Smooth bands with mild noise and a flat area: like a photograph reduced to 256 colours.
PackedDib PaletteImage() {
    PackedDib d = PackedDib::Create(kW, kH, 8, 256);
    for (int i = 0; i < 256; ++i)
        d.ColorTable()[i] = RGBQUAD{BYTE(i), BYTE((i * 5) & 255), BYTE(255 - i), 0};
    std::mt19937 rng(42);
    for (int y = 0; y < kH; ++y) {
        BYTE* row = d.Row(y);
        for (int x = 0; x < kW; ++x) {
            if (y < kH / 4) {
                row[x] = 17;
                continue;
            }
            const double v =
                128 + 60 * std::sin(x * 0.011 + y * 0.004) + 50 * std::cos(y * 0.013 - x * 0.002);
            row[x] =
                static_cast<BYTE>(std::clamp(static_cast<int>(v) + static_cast<int>(rng() % 5) - 2, 0, 255));
        }
    }
    return d;
}

struct Fixture {
    PackedDib image = PaletteImage();
    std::vector<BYTE> file;
    Fixture() {
        GifWriter w;
        w.SetImage(image.Clone(), {}, 0);
        MemoryWriter out;
        w.Write(out, {}, nullptr);
        file = out.Take();
    }
};

const Fixture& Data() {
    static const Fixture f;
    return f;
}

void Report(benchmark::State& state, std::size_t bytes) {
    state.SetItemsProcessed(state.iterations() * std::int64_t{kW} * kH);
    state.counters["file_bytes"] = static_cast<double>(bytes);
}

void BM_GifEncode(benchmark::State& state) {
    GifWriter w;
    w.SetImage(Data().image.Clone(), {}, 0);
    std::size_t size = 0;
    for (auto _ : state) {
        MemoryWriter out;
        if (!w.Write(out, {}, nullptr)) state.SkipWithError("write failed");
        size = out.Size();
        benchmark::DoNotOptimize(out.Data().data());
    }
    Report(state, size);
}

void BM_GifDecode(benchmark::State& state) {
    const std::vector<BYTE>& file = Data().file;
    for (auto _ : state) {
        MemoryReader in(file.data(), file.size());
        GifReader r;
        GifImage image;
        if (!r.Open(in) || r.ReadImage(image, false, nullptr) != GifReader::Status::Image)
            state.SkipWithError("decode failed");
        benchmark::DoNotOptimize(image.dib.Data());
    }
    Report(state, file.size());
}

void BM_GifDecodeIndices(benchmark::State& state) {
    const std::vector<BYTE>& file = Data().file;
    for (auto _ : state) {
        MemoryReader in(file.data(), file.size());
        GifReader r;
        GifImage image;
        if (!r.Open(in) || r.ReadImage(image, true, nullptr) != GifReader::Status::Image)
            state.SkipWithError("decode failed");
        benchmark::DoNotOptimize(image.dib.Data());
    }
    Report(state, file.size());
}

int WriteToVector(GifFileType* gif, const GifByteType* data, int n) {
    auto* out = static_cast<std::vector<BYTE>*>(gif->UserData);
    out->insert(out->end(), data, data + n);
    return n;
}

struct ReadCursor {
    const std::vector<BYTE>* data;
    std::size_t pos;
};

int ReadFromVector(GifFileType* gif, GifByteType* dst, int n) {
    auto* c = static_cast<ReadCursor*>(gif->UserData);
    const std::size_t k = std::min<std::size_t>(static_cast<std::size_t>(n), c->data->size() - c->pos);
    std::memcpy(dst, c->data->data() + c->pos, k);
    c->pos += k;
    return static_cast<int>(k);
}

void BM_GiflibEncode(benchmark::State& state) {
    const PackedDib& image = Data().image;
    std::vector<GifColorType> colours(256);
    for (int i = 0; i < 256; ++i)
        colours[static_cast<std::size_t>(i)] = {image.ColorTable()[i].rgbRed, image.ColorTable()[i].rgbGreen,
                                                image.ColorTable()[i].rgbBlue};
    std::vector<GifPixelType> line(kW);
    std::size_t size = 0;
    for (auto _ : state) {
        std::vector<BYTE> out;
        int err = 0;
        GifFileType* gif = EGifOpen(&out, WriteToVector, &err);
        ColorMapObject* map = GifMakeMapObject(256, colours.data());
        bool ok = gif && map && EGifPutScreenDesc(gif, kW, kH, 8, 0, map) == GIF_OK &&
                  EGifPutImageDesc(gif, 0, 0, kW, kH, false, nullptr) == GIF_OK;
        for (int y = 0; ok && y < kH; ++y) {
            std::memcpy(line.data(), image.Row(y), kW);
            ok = EGifPutLine(gif, line.data(), kW) == GIF_OK;
        }
        if (gif) EGifCloseFile(gif, &err);
        GifFreeMapObject(map);
        if (!ok) state.SkipWithError("giflib encode failed");
        size = out.size();
        benchmark::DoNotOptimize(out.data());
    }
    Report(state, size);
}

void BM_GiflibDecode(benchmark::State& state) {
    const std::vector<BYTE>& file = Data().file;
    for (auto _ : state) {
        ReadCursor cursor{&file, 0};
        int err = 0;
        GifFileType* gif = DGifOpen(&cursor, ReadFromVector, &err);
        if (!gif || DGifSlurp(gif) != GIF_OK) state.SkipWithError("giflib decode failed");
        if (gif) {
            benchmark::DoNotOptimize(gif->SavedImages);
            DGifCloseFile(gif, &err);
        }
    }
    Report(state, file.size());
}

// A photo-like document: smooth colour fields under noise, hundreds of thousands of colours.
Ref<CDocImage> PhotoDocument() {
    PackedDib d = PackedDib::Create(kW, kH, 32);
    std::mt19937 rng(9);
    for (int y = 0; y < kH; ++y) {
        BYTE* p = d.Row(y);
        for (int x = 0; x < kW; ++x, p += 4) {
            const int n = static_cast<int>(rng() % 17) - 8;
            auto c = [n](double v) { return static_cast<BYTE>(std::clamp(static_cast<int>(v) + n, 0, 255)); };
            p[0] = c(128 + 100 * std::sin(x * 0.004 + y * 0.002) + 20 * std::sin(x * 0.05));
            p[1] = c(y * 255.0 / kH + 25 * std::cos(y * 0.03 + x * 0.01));
            p[2] = c(x * 255.0 / kW);
            p[3] = 255;
        }
    }
    Ref<CDocImage> doc = MakeRef<CDocImage>();
    doc->width = kW;
    doc->height = kH;
    Ref<CObjContent> content = MakeRef<CObjContent>(KindImage);
    content->SetRaster(std::move(d));
    Ref<CDrawObj> obj = MakeRef<CDrawObj>(content);
    obj->visible = 1;
    doc->objects.AddTail(obj);
    return doc;
}

void BM_GifExportPhoto(benchmark::State& state) {
    static const Ref<CDocImage> doc = PhotoDocument();
    const std::string path = "/tmp/zepho_bench_photo.gif";
    for (auto _ : state)
        if (!ExportGif(*doc, path, nullptr, false)) state.SkipWithError("export failed");
    Ref<CDocImage> back = MakeRef<CDocImage>();
    if (!ReadGifFile(*back, path, nullptr))
        state.SkipWithError("read back failed");
    else {
        const PackedDib& got = back->objects.At(0)->content->raster;
        const PackedDib& src = doc->objects.At(0)->content->raster;
        double squared = 0;
        for (int y = 0; y < kH; ++y)
            for (int x = 0; x < kW; ++x)
                for (int c = 0; c < 3; ++c) {
                    const double e = got.Pixel32(x, y)[c] - src.Pixel32(x, y)[c];
                    squared += e * e;
                }
        state.counters["psnr_db"] = 10 * std::log10(255.0 * 255.0 * 3.0 * kW * kH / squared);
    }
    std::remove(path.c_str());
    state.SetItemsProcessed(state.iterations() * std::int64_t{kW} * kH);
}

} // namespace

BENCHMARK(BM_GifExportPhoto)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_GifEncode)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_GiflibEncode)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_GifDecode)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_GifDecodeIndices)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_GiflibDecode)->Unit(benchmark::kMillisecond);
