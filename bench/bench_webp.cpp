// WebP encode (lossy and lossless) and decode, and AVIF decode, of one 1024 x 768 picture with
// alpha, beside the library calls cwebp, dwebp and avifdec make on the same pixels and files.
// Everything in memory; items/s are pixels/s. Our side works on bottom-up DIBs and, for
// decoding, builds the document object the open would make.
#include "codecs/AvifCodec.h"
#include "codecs/WebpCodec.h"
#include "raster/Dib.h"

#include <avif/avif.h>
#include <benchmark/benchmark.h>
#include <webp/decode.h>
#include <webp/encode.h>

#include <cmath>
#include <cstring>
#include <random>
#include <vector>

using namespace zepho;

namespace {

constexpr int kW = 1024;
constexpr int kH = 768;

// Smooth colour fields with mild noise and a soft alpha edge: like a cut-out photograph.
PackedDib Picture() {
    PackedDib d = CreateSolidDIB(kW, kH, 0, 255);
    std::mt19937 rng(7);
    for (int y = 0; y < kH; ++y)
        for (int x = 0; x < kW; ++x) {
            BYTE* p = d.Pixel32(x, y);
            const double v =
                128 + 60 * std::sin(x * 0.011 + y * 0.004) + 50 * std::cos(y * 0.013 - x * 0.002);
            const int n = static_cast<int>(rng() % 9) - 4;
            p[0] = static_cast<BYTE>(std::clamp(static_cast<int>(v) + n, 0, 255));
            p[1] = static_cast<BYTE>(std::clamp(static_cast<int>(255 - v) + n, 0, 255));
            p[2] = static_cast<BYTE>((x / 4 + y / 8) & 0xFF);
            const double r = std::hypot(x - kW / 2.0, y - kH / 2.0);
            p[3] = static_cast<BYTE>(std::clamp(static_cast<int>((400 - r) * 4), 0, 255));
        }
    return d;
}

struct Fixture {
    PackedDib image = Picture();
    std::vector<BYTE> topDown; // B, G, R, A rows from the top, as the peers take them
    std::vector<BYTE> lossy, lossless, avif;
    Fixture() {
        topDown.resize(std::size_t(kW) * kH * 4);
        for (int y = 0; y < kH; ++y)
            std::memcpy(&topDown[std::size_t(y) * kW * 4], image.Row(y), std::size_t(kW) * 4);
        const std::vector<const PackedDib*> one{&image};
        EncodeWebp(one, 0, 75, lossy, nullptr);
        EncodeWebp(one, 0, 75 | kWebpLossless, lossless, nullptr);
        EncodeAvif(image, AvifOption(60, 8), avif);
    }
};

const Fixture& Data() {
    static const Fixture f;
    return f;
}

void Pixels(benchmark::State& state) {
    state.SetItemsProcessed(state.iterations() * std::int64_t{kW} * kH);
}

void BM_WebpEncodeLossy(benchmark::State& state) {
    const Fixture& f = Data();
    const std::vector<const PackedDib*> one{&f.image};
    std::vector<BYTE> out;
    for (auto _ : state) {
        if (!EncodeWebp(one, 0, 75, out, nullptr)) state.SkipWithError("encode failed");
        benchmark::DoNotOptimize(out.data());
    }
    state.counters["bytes"] = static_cast<double>(out.size());
    Pixels(state);
}

// cwebp -q 75: WebPEncode with the default configuration, here through the one-call form.
void BM_LibwebpEncodeLossy(benchmark::State& state) {
    const Fixture& f = Data();
    std::size_t size = 0;
    for (auto _ : state) {
        std::uint8_t* out = nullptr;
        size = WebPEncodeBGRA(f.topDown.data(), kW, kH, kW * 4, 75, &out);
        if (!size) state.SkipWithError("encode failed");
        WebPFree(out);
    }
    state.counters["bytes"] = static_cast<double>(size);
    Pixels(state);
}

void BM_WebpEncodeLossless(benchmark::State& state) {
    const Fixture& f = Data();
    const std::vector<const PackedDib*> one{&f.image};
    std::vector<BYTE> out;
    for (auto _ : state) {
        if (!EncodeWebp(one, 0, 75 | kWebpLossless, out, nullptr)) state.SkipWithError("encode failed");
        benchmark::DoNotOptimize(out.data());
    }
    state.counters["bytes"] = static_cast<double>(out.size());
    Pixels(state);
}

// cwebp -lossless -exact -q 75.
void BM_LibwebpEncodeLossless(benchmark::State& state) {
    const Fixture& f = Data();
    std::size_t size = 0;
    for (auto _ : state) {
        WebPConfig config;
        WebPConfigInit(&config);
        config.lossless = 1;
        config.exact = 1;
        config.quality = 75;
        WebPPicture pic;
        WebPPictureInit(&pic);
        pic.width = kW;
        pic.height = kH;
        pic.use_argb = 1;
        WebPPictureImportBGRA(&pic, f.topDown.data(), kW * 4);
        WebPMemoryWriter w;
        WebPMemoryWriterInit(&w);
        pic.writer = WebPMemoryWrite;
        pic.custom_ptr = &w;
        if (!WebPEncode(&config, &pic)) state.SkipWithError("encode failed");
        size = w.size;
        WebPMemoryWriterClear(&w);
        WebPPictureFree(&pic);
    }
    state.counters["bytes"] = static_cast<double>(size);
    Pixels(state);
}

void BM_WebpDecode(benchmark::State& state) {
    const Fixture& f = Data();
    const std::vector<BYTE>& file = state.range(0) ? f.lossless : f.lossy;
    for (auto _ : state) {
        CDocImage doc;
        if (!ReadWebp(doc, file, nullptr)) state.SkipWithError("decode failed");
        benchmark::DoNotOptimize(doc.objects.Count());
    }
    Pixels(state);
}

// dwebp: one call into a buffer it allocates.
void BM_LibwebpDecode(benchmark::State& state) {
    const Fixture& f = Data();
    const std::vector<BYTE>& file = state.range(0) ? f.lossless : f.lossy;
    for (auto _ : state) {
        int w = 0, h = 0;
        std::uint8_t* out = WebPDecodeBGRA(file.data(), file.size(), &w, &h);
        if (!out) state.SkipWithError("decode failed");
        WebPFree(out);
    }
    Pixels(state);
}

void BM_AvifDecode(benchmark::State& state) {
    const Fixture& f = Data();
    for (auto _ : state) {
        PackedDib d = DecodeAvif(f.avif);
        if (!d) state.SkipWithError("decode failed");
        benchmark::DoNotOptimize(d.Data());
    }
    state.counters["bytes"] = static_cast<double>(f.avif.size());
    Pixels(state);
}

// avifdec: read the file into an image, convert to 8-bit RGBA, one thread as ours.
void BM_LibavifDecode(benchmark::State& state) {
    const Fixture& f = Data();
    for (auto _ : state) {
        avifDecoder* dec = avifDecoderCreate();
        dec->maxThreads = 1;
        avifImage* image = avifImageCreateEmpty();
        if (avifDecoderReadMemory(dec, image, f.avif.data(), f.avif.size()) != AVIF_RESULT_OK)
            state.SkipWithError("decode failed");
        avifRGBImage rgb;
        avifRGBImageSetDefaults(&rgb, image);
        rgb.depth = 8;
        avifRGBImageAllocatePixels(&rgb);
        if (avifImageYUVToRGB(image, &rgb) != AVIF_RESULT_OK) state.SkipWithError("convert failed");
        benchmark::DoNotOptimize(rgb.pixels);
        avifRGBImageFreePixels(&rgb);
        avifImageDestroy(image);
        avifDecoderDestroy(dec);
    }
    Pixels(state);
}

} // namespace

BENCHMARK(BM_WebpEncodeLossy)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LibwebpEncodeLossy)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_WebpEncodeLossless)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LibwebpEncodeLossless)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_WebpDecode)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LibwebpDecode)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_AvifDecode)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LibavifDecode)->Unit(benchmark::kMillisecond);
