// How much memory an editing session holds: opens a 12-megapixel photo, applies 30 image
// operations, duplicates the picture 10 times and undoes 15 steps, through the same document and
// command functions as the editor. Prints the resident set after each phase and at its peak.
//
//   zepho-memory-scenario [undo-steps] [undo-MB]
#include "codecs/OpenExport.h"
#include "edit/commands/CmdImageOps.h"
#include "edit/commands/CmdObjects.h"
#include "edit/document/OrvaneDoc.h"
#include "model/AppSettings.h"
#include "raster/Dib.h"
#include "support/ScriptedUiHost.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include <unistd.h>

using namespace zepho;

namespace {

// VmRSS and VmHWM of this process, in MB.
double StatusMb(const char* key) {
    std::ifstream in("/proc/self/status");
    std::string line;
    const std::string k = std::string(key) + ":";
    while (std::getline(in, line))
        if (line.compare(0, k.size(), k) == 0) return std::atof(line.c_str() + k.size()) / 1024.0;
    return 0;
}

void Report(const char* phase, const COrvaneDoc& doc) {
    std::printf("%-22s rss %7.1f MB  peak %7.1f MB  objects %2d  undo %2zu  redo %2zu  history %7.1f MB\n",
                phase, StatusMb("VmRSS"), StatusMb("VmHWM"), doc.Image().objects.Count(),
                doc.UndoManager().UndoCount(), doc.UndoManager().RedoCount(),
                static_cast<double>(doc.UndoManager().HeldBytes()) / (1024.0 * 1024.0));
}

// A photo-like picture: smooth gradients with texture.
PackedDib Photo(int w, int h) {
    PackedDib d = PackedDib::Create(w, h, 24);
    for (int y = 0; y < h; ++y) {
        BYTE* p = d.Row(y);
        for (int x = 0; x < w; ++x, p += 3) {
            p[0] = static_cast<BYTE>(x / 16 + (x ^ y) % 7);
            p[1] = static_cast<BYTE>(y / 12 + (x * y) % 5);
            p[2] = static_cast<BYTE>((x + y) / 28);
        }
    }
    return d;
}

} // namespace

int main(int argc, char** argv) {
    CAppSettings settings;
    if (argc > 1) settings.UndoMaxTimes = std::atoi(argv[1]);
    if (argc > 2) settings.UndoMaxMegabytes = std::atoi(argv[2]);
    std::printf("undo steps %d, undo memory %d MB\n", settings.UndoMaxTimes, settings.UndoMaxMegabytes);

    const std::string path = (std::filesystem::temp_directory_path() /
                              ("zepho-memory-scenario-" + std::to_string(::getpid()) + ".png"))
                                 .string();
    {
        CDocImage photo;
        if (!AppendSingleImage(photo, Photo(4000, 3000)) ||
            !ExportFile(photo, path, 0, 0, nullptr, RGB(255, 255, 255))) {
            std::fprintf(stderr, "cannot write %s\n", path.c_str());
            return 1;
        }
    }
    COrvaneDoc doc;
    doc.SetSettings(&settings);
    doc.SetFileLoader([](CDocImage& image, const std::string& file, LoadFlags& flags, IProgress* progress) {
        return OpenFile(image, file, flags, progress);
    });
    Report("start", doc);
    if (!doc.OnOpenDocument(path, nullptr)) {
        std::fprintf(stderr, "cannot open %s\n", path.c_str());
        return 1;
    }
    std::filesystem::remove(path);
    Report("opened", doc);

    test::ScriptedUiHost ui;
    const ImageOp ops[] = {ImageOp::Negative, ImageOp::MirrorHorz, ImageOp::Gray, ImageOp::MirrorVert};
    for (int i = 0; i < 30; ++i) {
        for (const Ref<CDrawObj>& o : doc.Image().objects)
            o->content->selected = 1;
        if (!CmdImageOperation(doc, ops[i % 4], ui)) {
            std::fprintf(stderr, "operation %d failed\n", i);
            return 1;
        }
    }
    Report("30 operations", doc);

    for (int i = 0; i < 10; ++i) {
        std::vector<Ref<CDrawObj>> items;
        for (const Ref<CDrawObj>& o : doc.Image().objects)
            items.push_back(o);
        if (!CmdDuplicate(doc, items)) {
            std::fprintf(stderr, "duplicate %d failed\n", i);
            return 1;
        }
    }
    Report("10 duplicates", doc);

    for (int i = 0; i < 15 && doc.UndoManager().PeekUndo(); ++i)
        doc.OnEditUndo();
    Report("15 undos", doc);
    return 0;
}
