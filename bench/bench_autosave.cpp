// Autosave of a 20-object 4K document: the copy taken on the UI thread, beside a bare memcpy of
// the same pixel bytes (the floor of any copy), and the write that runs on the worker thread.
// items/s are pixels/s over every raster of the document.
#include "edit/document/Autosave.h"
#include "edit/document/OrvaneDoc.h"
#include "raster/Dib.h"

#include <benchmark/benchmark.h>

#include <cstring>
#include <filesystem>
#include <vector>

#include <unistd.h>

using namespace zepho;

namespace {

// Gradients with some texture, so that the writer's compression has real work.
PackedDib Textured(int w, int h, int seed) {
    PackedDib d = CreateTransparentDIB(w, h);
    for (int y = 0; y < h; ++y) {
        BYTE* p = d.Row(y);
        for (int x = 0; x < w; ++x, p += 4) {
            p[0] = static_cast<BYTE>(x + seed);
            p[1] = static_cast<BYTE>(y * 3 + seed);
            p[2] = static_cast<BYTE>((x ^ y) + seed);
            p[3] = 255;
        }
    }
    return d;
}

// A 3840 x 2160 canvas: a full-size background and 19 pictures of 1280 x 720 on it.
struct FourK {
    COrvaneDoc doc;
    std::size_t pixels = 0;
    std::size_t bytes = 0;
    FourK() {
        doc.Image().width = 3840;
        doc.Image().height = 2160;
        for (int i = 0; i < 20; ++i) {
            const int w = i == 0 ? 3840 : 1280, h = i == 0 ? 2160 : 720;
            Ref<CObjContent> c = MakeRef<CObjContent>(KindImage);
            c->SetRaster(Textured(w, h, i * 17));
            c->name = "Obj - " + std::to_string(i + 1);
            pixels += static_cast<std::size_t>(w) * h;
            bytes += c->raster.Size();
            Ref<CDrawObj> o = MakeRef<CDrawObj>(c);
            o->x = (i * 131) % 2560;
            o->y = (i * 71) % 1440;
            o->visible = 1;
            doc.Image().objects.AddTail(o);
        }
        doc.SetModifiedFlag(true);
    }
};

FourK& Doc() {
    static FourK doc;
    return doc;
}

void BM_AutosaveSnapshot_UiThread(benchmark::State& state) {
    FourK& d = Doc();
    for (auto _ : state) {
        CAutosaveSnapshot snap = TakeAutosaveSnapshot(d.doc, "Untitled");
        benchmark::DoNotOptimize(snap.image.Get());
        state.PauseTiming();
        snap.image.Reset(); // released on the worker in the editor
        state.ResumeTiming();
    }
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations() * d.pixels));
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * d.bytes));
}
BENCHMARK(BM_AutosaveSnapshot_UiThread)->Unit(benchmark::kMillisecond)->UseRealTime();

// Peer: memcpy of the same bytes into buffers that already exist.
void BM_AutosaveSnapshot_MemcpyFloor(benchmark::State& state) {
    FourK& d = Doc();
    std::vector<std::vector<BYTE>> copies;
    for (const Ref<CDrawObj>& o : d.doc.Image().objects)
        copies.emplace_back(o->content->raster.Size(), BYTE(1));
    for (auto _ : state) {
        std::size_t i = 0;
        for (const Ref<CDrawObj>& o : d.doc.Image().objects)
            std::memcpy(copies[i++].data(), o->content->raster.Data(), o->content->raster.Size());
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations() * d.pixels));
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * d.bytes));
}
BENCHMARK(BM_AutosaveSnapshot_MemcpyFloor)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_AutosaveWrite_Worker(benchmark::State& state) {
    FourK& d = Doc();
    const std::string folder =
        (std::filesystem::temp_directory_path() / ("zepho-bench-autosave-" + std::to_string(::getpid())))
            .string();
    CAutosaveSnapshot snap = TakeAutosaveSnapshot(d.doc, "Untitled");
    for (auto _ : state) {
        if (!WriteAutosave(folder, "bench", snap)) state.SkipWithError("write failed");
    }
    std::error_code ec;
    state.counters["file_MB"] =
        static_cast<double>(std::filesystem::file_size(folder + "/bench.qzi", ec)) / 1e6;
    std::filesystem::remove_all(folder, ec);
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations() * d.pixels));
}
BENCHMARK(BM_AutosaveWrite_Worker)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(2);

} // namespace
