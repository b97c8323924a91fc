// Object > Duplicate of one 12-megapixel picture, through the command the menu runs. The copy's
// new resident memory is reported beside the time: a copy that shares the pixels adds none.
#include "edit/commands/CmdObjects.h"
#include "edit/document/OrvaneDoc.h"
#include "raster/Dib.h"

#include <benchmark/benchmark.h>

#include <fstream>
#include <vector>

#include <unistd.h>

using namespace zepho;

namespace {

double ResidentMb() {
    std::ifstream in("/proc/self/statm");
    long pages = 0, resident = 0;
    in >> pages >> resident;
    return static_cast<double>(resident) * static_cast<double>(::sysconf(_SC_PAGESIZE)) / (1024.0 * 1024.0);
}

void BM_Duplicate12MP(benchmark::State& state) {
    COrvaneDoc doc;
    doc.Image().width = 4000;
    doc.Image().height = 3000;
    Ref<CObjContent> c = MakeRef<CObjContent>(KindImage);
    c->SetRaster(CreateSolidDIB(4000, 3000, RGB(90, 140, 200), 255));
    c->name = "Image - 1";
    c->selected = 1;
    Ref<CDrawObj> o = MakeRef<CDrawObj>(c);
    o->visible = 1;
    doc.Image().objects.AddTail(o);
    double grown = 0;
    for (auto _ : state) {
        state.PauseTiming();
        std::vector<Ref<CDrawObj>> items{o};
        o->content->selected = 1;
        const double before = ResidentMb();
        state.ResumeTiming();
        if (!CmdDuplicate(doc, items)) state.SkipWithError("duplicate failed");
        state.PauseTiming();
        grown += ResidentMb() - before;
        doc.OnEditUndo(); // takes the copy out again
        doc.UndoManager().RemoveAll();
        state.ResumeTiming();
    }
    state.counters["new_MB"] = grown / static_cast<double>(state.iterations());
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations()) * 4000 * 3000);
}
BENCHMARK(BM_Duplicate12MP)->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace
