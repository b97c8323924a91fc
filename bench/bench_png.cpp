// True-colour PNG writing of a 4096 x 4096 photo-like picture, ours beside libpng at its defaults
// (adaptive filters, zlib level 6) in the same run. Everything in memory; items/s are pixels/s,
// file_bytes the size each makes.
#include "extlib/PngEncoder.h"
#include "platform/ByteStream.h"
#include "platform/PackedDib.h"

#include <benchmark/benchmark.h>
#include <png.h>

#include <algorithm>
#include <cmath>
#include <random>
#include <vector>

using namespace zepho;

namespace {

constexpr int kSide = 4096;

// Smooth colour fields under sensor-like noise: every pixel differs from its neighbours.
const PackedDib& Photo() {
    static const PackedDib d = [] {
        PackedDib p = PackedDib::Create(kSide, kSide, 24);
        std::mt19937 rng(17);
        for (int y = 0; y < kSide; ++y) {
            BYTE* row = p.Row(y);
            for (int x = 0; x < kSide; ++x, row += 3)
                for (int c = 0; c < 3; ++c) {
                    const double v = 128 + 80 * std::sin(x * 0.002 * (c + 1) + y * 0.003) +
                                     30 * std::cos(y * 0.011 - x * 0.004 * c) + static_cast<int>(rng() % 11) -
                                     5;
                    row[c] = static_cast<BYTE>(std::clamp(static_cast<int>(v), 0, 255));
                }
        }
        return p;
    }();
    return d;
}

void Report(benchmark::State& state, std::size_t bytes) {
    state.SetItemsProcessed(state.iterations() * std::int64_t{kSide} * kSide);
    state.counters["file_bytes"] = static_cast<double>(bytes);
}

void BM_PngEncodePhoto(benchmark::State& state) {
    const PackedDib& photo = Photo();
    std::size_t size = 0;
    for (auto _ : state) {
        MemoryWriter out;
        PngRowEncoder encoder(out);
        bool ok = encoder.Begin(kSide, kSide, 3);
        for (int y = 0; ok && y < kSide; ++y)
            ok = encoder.AddRow(photo.Row(y));
        if (!ok || !encoder.Finish()) state.SkipWithError("encode failed");
        size = out.Size();
    }
    Report(state, size);
}

void AppendBytes(png_structp png, png_bytep data, png_size_t n) {
    auto* out = static_cast<std::vector<BYTE>*>(png_get_io_ptr(png));
    out->insert(out->end(), data, data + n);
}
void NoFlush(png_structp) {}

void BM_LibpngEncodePhoto(benchmark::State& state) {
    const PackedDib& photo = Photo();
    std::size_t size = 0;
    for (auto _ : state) {
        std::vector<BYTE> out;
        png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
        png_infop info = png_create_info_struct(png);
        if (setjmp(png_jmpbuf(png))) {
            state.SkipWithError("libpng failed");
        } else {
            png_set_write_fn(png, &out, &AppendBytes, &NoFlush);
            png_set_IHDR(png, info, kSide, kSide, 8, PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE,
                         PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
            png_set_bgr(png);
            png_write_info(png, info);
            for (int y = 0; y < kSide; ++y)
                png_write_row(png, photo.Row(y));
            png_write_end(png, nullptr);
        }
        png_destroy_write_struct(&png, &info);
        size = out.size();
    }
    Report(state, size);
}

} // namespace

BENCHMARK(BM_PngEncodePhoto)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LibpngEncodePhoto)->Unit(benchmark::kMillisecond);
