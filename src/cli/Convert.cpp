#include "cli/Convert.h"

#include "codecs/AviCodec.h"
#include "codecs/AvifCodec.h"
#include "codecs/CodecStrings.h"
#include "codecs/FileTypes.h"
#include "codecs/IconCodec.h"
#include "codecs/JxlCodec.h"
#include "codecs/OpenExport.h"
#include "codecs/WebpCodec.h"
#include "model/AppSettings.h"
#include "model/ObjectNames.h"
#include "platform/ByteStream.h"
#include "platform/Format.h"
#include "platform/Path.h"
#include "platform/PixelBudget.h"
#include "platform/SaveTarget.h"
#include "raster/ColorReduce.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <map>
#include <mutex>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace zepho::cli {

namespace {

std::string Lower(std::string s) {
    for (char& c : s)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return s;
}

bool Exists(const std::string& path) {
    struct stat st;
    return lstat(path.c_str(), &st) == 0;
}

bool MakeDir(const std::string& dir) {
    if (mkdir(dir.c_str(), 0777) == 0 || errno == EEXIST) {
        struct stat st;
        return stat(dir.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
    }
    return false;
}

// The bar and the error lines share stderr; one thread writes at a time.
class BatchReport {
public:
    explicit BatchReport(int total) : total_(total), bar_(isatty(2) != 0) { Draw(); }

    void Done(const std::string& file, bool ok, const std::string& why) {
        std::lock_guard lock(mutex_);
        ++done_;
        if (!ok) {
            ++failed_;
            Clear();
            std::fprintf(stderr, "zepho-cli: %s: %s\n", file.c_str(), why.c_str());
        }
        Draw();
    }
    int Failed() const { return failed_; }
    void Summary() {
        std::lock_guard lock(mutex_);
        Clear();
        std::fprintf(stderr, "converted %d of %d files", done_ - failed_, total_);
        if (failed_) std::fprintf(stderr, "; %d failed", failed_);
        std::fputc('\n', stderr);
        std::fflush(stderr);
    }

private:
    void Clear() {
        if (bar_) std::fputs("\r\033[K", stderr);
    }
    void Draw() {
        if (!bar_) return;
        constexpr int kWidth = 30;
        const int filled = total_ ? done_ * kWidth / total_ : kWidth;
        std::fprintf(stderr, "\r[%.*s%*s] %d/%d", filled, "##############################", kWidth - filled,
                     "", done_, total_);
        if (failed_) std::fprintf(stderr, ", %d failed", failed_);
        std::fflush(stderr);
    }

    std::mutex mutex_;
    int total_;
    int done_ = 0;
    int failed_ = 0;
    bool bar_;
};

} // namespace

std::uint64_t gMaxPixels = 0;
bool gPsdComposite = false;

std::string CannotWrite(const std::string& path, const char* what) {
    const SaveRefusal refusal = SaveRefusalOf(path);
    std::string text = std::string("cannot write ") + what;
    if (refusal != SaveRefusal::None)
        text += std::string(": ") + SaveRefusalText(refusal);
    else if (LastSaveErrno() != 0)
        text += ": " + LastSaveError();
    return text;
}

namespace {
// What the readers tell the user on the way (a video cut short, ...): a note on stderr. Nothing
// is asked: a PSD with layers is read as its layers.
class NoteUiHost : public IUiHost {
public:
    explicit NoteUiHost(std::string file) : file_(std::move(file)) {}
    void MessageBox(const std::string& text, const std::string&, MsgIcon) override {
        std::fprintf(stderr, "zepho-cli: %s: note: %s\n", file_.c_str(), text.c_str());
    }
    bool AskYesNo(const std::string&, const std::string&) override { return false; }

private:
    std::string file_;
};

bool LoadUnbudgeted(const std::string& path, CDocImage& doc, std::string& format, std::string& why,
                    IProgress* progress, bool allFrames);
} // namespace

bool LoadDocument(const std::string& path, CDocImage& doc, std::string& format, std::string& why,
                  IProgress* progress, bool allFrames) {
    PixelBudgetScope budget(gMaxPixels);
    bool ok = LoadUnbudgeted(path, doc, format, why, progress, allFrames);
    if (budget.Refused()) {
        why = budget.RefusalText() + " (see --max-pixels)";
        ok = false;
    }
    if (ok)
        for (const std::string& line : budget.LeftOut())
            std::fprintf(stderr, "zepho-cli: %s: left out: %s\n", path.c_str(), line.c_str());
    return ok;
}

namespace {
bool LoadUnbudgeted(const std::string& path, CDocImage& doc, std::string& format, std::string& why,
                    IProgress* progress, bool allFrames) {
    struct stat st;
    if (stat(path.c_str(), &st) != 0) {
        why = std::string("cannot open: ") + std::strerror(errno);
        return false;
    }
    if (!S_ISREG(st.st_mode)) {
        why = "not a regular file";
        return false;
    }
    const std::string ext = UpperExtension(path);
    const FileKind kind = FileKindOf(path);
    if (kind != FileKind::Native) {
        if (!CanOpen(kind)) {
            why = "unsupported file type" + (ext.empty() ? std::string() : " ." + ext);
            return false;
        }
        format = Lower(ext);
        if (format == "jpeg") format = "jpg";
        if (format == "tiff") format = "tif";
        if (format == "dib") format = "bmp";
        LoadFlags flags;
        NoteUiHost notes(path);
        if (progress) progress->SetText("Reading file " + BaseName(path));
        // No one to ask: the PSD question takes the answer given on the command line.
        CAppSettings settings;
        settings.PSDOpenFashion = gPsdComposite ? 1 : 0;
        if (!OpenFileWith(doc, path, flags, progress, OpenContext{&notes, &settings, gMaxPixels})) {
            // A video fails the same way when FFmpeg is not installed: say so rather than blame the file.
            if (kind == FileKind::Avi && !CanDecodeVideo(&why)) return false;
            why = !flags.problem.empty()
                      ? flags.problem
                      : "cannot read the image (damaged or unsupported " + format + " file)";
            return false;
        }
        // As the editor's Open: default names, the bottom frame visible; or every frame.
        int counters[CounterCount] = {1, 1, 1, 1, 1};
        FinishOpen(doc, flags, [&counters](int k) { return NextDefaultName(k, counters); });
        if (allFrames && !flags.nativeLoaded && !flags.layersLoaded)
            for (const auto& o : doc.objects)
                o->visible = 1;
        return true;
    }
    {
        FileReader in(path);
        char head[8] = {};
        if (!in.IsOpen() || !in.Read(head, 8)) {
            why = "cannot read the file header";
            return false;
        }
        if (std::memcmp(head, "QZI ", 4) != 0) {
            why = "not a Quarnix Zepho Image document";
            return false;
        }
        format = "qzi " + std::string(head + 4, 4);
    }
    if (!doc.ReadNativeAnyVersion(path, progress)) {
        why = "unsupported version or damaged document (" + format + ")";
        return false;
    }
    return true;
}
} // namespace

bool CheckOutputType(const std::string& outPath, const ConvertOptions& opts, std::string& why) {
    const FileKind kind = FileKindOf(outPath);
    const std::string ext = UpperExtension(outPath);
    if (kind != FileKind::Native && !CanExport(kind)) {
        why = "cannot write this file type" + (ext.empty() ? std::string() : " (." + Lower(ext) + ")");
        return false;
    }
    // Formats that hold no transparency at all; the others keep it anyway.
    if (opts.keepAlpha && (kind == FileKind::Jpg || kind == FileKind::Pcx)) {
        why = "--keep-alpha: ." + Lower(ext) + " files hold no transparency";
        return false;
    }
    if (opts.animate && !CanAnimate(kind)) {
        why = "--animate: ." + Lower(ext) + " files are not written as animations";
        return false;
    }
    return true;
}

bool WriteDocument(const CDocImage& doc, const std::string& out, const ConvertOptions& opts,
                   IProgress* progress, std::string& why) {
    const FileKind kind = FileKindOf(out);
    ResetSaveError();
    if (progress) progress->SetText("Saving file " + BaseName(out));
    if (kind == FileKind::Native) {
        if (doc.SaveNative(out, progress)) return true;
        why = CannotWrite(out, "the document");
        return false;
    }
    if (!CheckOutputType(out, opts, why)) return false;
    if (doc.width <= 0 || doc.height <= 0) {
        why = "the canvas is empty";
        return false;
    }
    if (kind == FileKind::Icon || kind == FileKind::Cursor || kind == FileKind::Ani) {
        const SIZE fit = IconExportSize(doc.width, doc.height);
        if (fit.cx != doc.width || fit.cy != doc.height)
            std::fprintf(
                stderr, "zepho-cli: %s: note: %s\n", out.c_str(),
                Format(strings::kIconScaled, doc.width, doc.height, int(fit.cx), int(fit.cy)).c_str());
    }
    // Images are stored top-down in RGB order: the background is given as RRGGBB.
    const long bgWord = opts.background;
    const COLORREF bg = RGB((bgWord >> 16) & 0xFF, (bgWord >> 8) & 0xFF, bgWord & 0xFF);
    const DWORD extra = (opts.keepAlpha ? kExportKeepAlpha : 0) | (opts.animate ? kExportAnimate : 0) |
                        (opts.stripLocation ? kExportStripLocation : 0) |
                        (opts.stripMetadata ? kExportStripMetadata : 0);
    bool ok;
    if (kind == FileKind::Bmp) {
        const int colours = opts.option < 0 ? ExportTrueColors : static_cast<int>(opts.option);
        ok = ExportBmp(doc, out, colours, progress, bg, opts.keepAlpha);
    } else {
        DWORD word = 85;
        switch (kind) {
        case FileKind::Tiff:
        case FileKind::Tga:
            word = 1;
            break;
        case FileKind::Gif:
            word = 0;
            break;
        case FileKind::Jpg:
            word = opts.quality > 0 ? static_cast<DWORD>(opts.quality) : 85;
            break;
        case FileKind::Webp:
            word = static_cast<DWORD>(opts.quality > 0 ? opts.quality : kWebpDefaultQuality) |
                   (opts.lossless ? kWebpLossless : 0);
            break;
        case FileKind::Avif:
            word = AvifOption(opts.quality > 0 ? opts.quality : kAvifDefaultQuality,
                              opts.speed >= 0 ? opts.speed : kAvifDefaultSpeed);
            break;
        case FileKind::Jxl:
            word = static_cast<DWORD>(opts.quality > 0 ? opts.quality : kJxlDefaultQuality) |
                   (opts.lossless ? kJxlLossless : 0);
            break;
        default:
            break;
        }
        if (opts.option >= 0) word = static_cast<DWORD>(opts.option);
        ok = ExportFile(doc, out, word, extra, progress, bg);
    }
    if (!ok) why = CannotWrite(out, "the image");
    return ok;
}

int ConvertMany(const std::vector<std::string>& inputs, const std::string& outDir, const std::string& extArg,
                int jobs, const ConvertOptions& opts) {
    std::string ext = Lower(extArg);
    if (!ext.empty() && ext[0] == '.') ext.erase(0, 1);
    std::string why;
    if (ext.empty() || ext.find('/') != std::string::npos || !CheckOutputType("x." + ext, opts, why)) {
        std::fprintf(stderr, "zepho-cli: --to %s: %s\n", extArg.c_str(),
                     why.empty() ? "not a file extension" : why.c_str());
        return 2;
    }
    if (!MakeDir(outDir)) {
        std::fprintf(stderr, "zepho-cli: %s: cannot create the folder\n", outDir.c_str());
        return 1;
    }

    // Names kept, extension replaced. Two inputs that would write the same file: the first wins.
    const std::size_t n = inputs.size();
    std::vector<std::string> outputs(n), clash(n);
    std::map<std::string, std::size_t> firstOf;
    for (std::size_t i = 0; i < n; ++i) {
        std::string name = BaseName(inputs[i]);
        const auto dot = name.find_last_of('.');
        if (dot != std::string::npos && dot > 0) name.erase(dot);
        outputs[i] = outDir + "/" + name + "." + ext;
        const auto [it, fresh] = firstOf.emplace(outputs[i], i);
        if (!fresh) clash[i] = "would write " + outputs[i] + " as " + inputs[it->second] + " does";
    }

    BatchReport report(static_cast<int>(n));
    std::atomic<std::size_t> next{0};
    auto work = [&] {
        // An existing output, even one that appears while we work, is only replaced with --force:
        // the writers' final rename refuses it otherwise.
        SetSaveNoReplace(!opts.force);
        for (std::size_t i; (i = next.fetch_add(1)) < n;) {
            std::string reason = clash[i];
            bool ok = reason.empty();
            if (ok && !opts.force && Exists(outputs[i])) {
                reason = outputs[i] + " already exists (--force replaces it)";
                ok = false;
            }
            if (ok) {
                CDocImage doc;
                std::string format;
                ok = LoadDocument(inputs[i], doc, format, reason, nullptr, opts.animate);
                if (ok && !WriteDocument(doc, outputs[i], opts, nullptr, reason)) {
                    ok = false;
                    if (LastSaveErrno() == EEXIST)
                        reason = outputs[i] + " already exists (--force replaces it)";
                }
            }
            report.Done(inputs[i], ok, reason);
        }
        SetSaveNoReplace(false);
    };
    jobs = std::clamp<int>(jobs, 1, static_cast<int>(std::max<std::size_t>(n, 1)));
    std::vector<std::thread> threads;
    for (int t = 1; t < jobs; ++t)
        threads.emplace_back(work);
    work();
    for (std::thread& t : threads)
        t.join();
    report.Summary();
    return report.Failed() ? 1 : 0;
}

} // namespace zepho::cli
