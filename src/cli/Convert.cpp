#include "cli/Convert.h"

#include "codecs/AviCodec.h"
#include "codecs/AvifCodec.h"
#include "codecs/CodecStrings.h"
#include "codecs/FileTypes.h"
#include "codecs/IconCodec.h"
#include "codecs/JxlCodec.h"
#include "codecs/OpenExport.h"
#include "codecs/StreamExport.h"
#include "codecs/WebpCodec.h"
#include "extlib/PhotoLook.h"
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
#include <condition_variable>
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

namespace {

// Images are stored top-down in RGB order: the background is given as RRGGBB.
COLORREF BackgroundOf(const ConvertOptions& opts) {
    const long bgWord = opts.background;
    return RGB((bgWord >> 16) & 0xFF, (bgWord >> 8) & 0xFF, bgWord & 0xFF);
}

DWORD ExtraOf(const ConvertOptions& opts) {
    return (opts.keepAlpha ? kExportKeepAlpha : 0) | (opts.animate ? kExportAnimate : 0) |
           (opts.stripLocation ? kExportStripLocation : 0) | (opts.stripMetadata ? kExportStripMetadata : 0);
}

// The writer's option word for ExportFile.
DWORD OptionWordOf(FileKind kind, const ConvertOptions& opts) {
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
    return word;
}

StreamRequest RequestFor(const std::string& in, const std::string& out, const ConvertOptions& opts) {
    StreamRequest r;
    r.in = in;
    r.out = out;
    r.option = OptionWordOf(FileKindOf(out), opts);
    r.extra = ExtraOf(opts);
    r.background = BackgroundOf(opts);
    r.composite = opts.composite;
    return r;
}

} // namespace

bool MayConvertStreamed(const std::string& in, const std::string& out, const ConvertOptions& opts) {
    return !gPsdComposite && MayStream(RequestFor(in, out, opts));
}

StreamOutcome ConvertStreamed(const std::string& in, const std::string& out, const ConvertOptions& opts,
                              IProgress* progress, std::string& why) {
    if (!MayConvertStreamed(in, out, opts)) return StreamOutcome::NotStreamed;
    std::string check;
    if (!opts.composite && !CheckOutputType(out, opts, check)) return StreamOutcome::NotStreamed;
    ResetSaveError();
    // The bands count against the same budget as a document's rasters.
    PixelBudgetScope budget(gMaxPixels);
    if (progress) progress->SetText("Saving file " + BaseName(out));
    bool profileUnusable = false;
    const StreamOutcome outcome = ExportStreamed(RequestFor(in, out, opts), progress, &profileUnusable);
    if (outcome == StreamOutcome::Failed) why = CannotWrite(out, "the image");
    if (outcome == StreamOutcome::Written && profileUnusable)
        std::fprintf(stderr, "zepho-cli: %s: note: %s\n", in.c_str(), kProfileUnusable);
    return outcome;
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
    const COLORREF bg = BackgroundOf(opts);
    bool ok;
    if (kind == FileKind::Bmp) {
        const int colours = opts.option < 0 ? ExportTrueColors : static_cast<int>(opts.option);
        ok = ExportBmp(doc, out, colours, progress, bg, opts.keepAlpha);
    } else {
        ok = ExportFile(doc, out, OptionWordOf(kind, opts), ExtraOf(opts), progress, bg);
    }
    if (!ok) why = CannotWrite(out, "the image");
    return ok;
}

namespace {

// The picture's size from the first bytes of the common formats; false when they do not tell.
bool HeaderSize(const std::string& path, std::uint64_t& w, std::uint64_t& h) {
    FileReader in(path);
    BYTE b[64] = {};
    const std::size_t n = static_cast<std::size_t>(std::min<std::uint64_t>(sizeof b, in.Size()));
    if (!in.IsOpen() || n < 26 || !in.Read(b, n)) return false;
    auto be16 = [&](std::size_t i) { return std::uint64_t(b[i]) << 8 | b[i + 1]; };
    auto be32 = [&](std::size_t i) { return be16(i) << 16 | be16(i + 2); };
    auto le16 = [&](std::size_t i) { return std::uint64_t(b[i]) | std::uint64_t(b[i + 1]) << 8; };
    auto le32 = [&](std::size_t i) { return le16(i) | le16(i + 2) << 16; };
    if (std::memcmp(b, "\x89PNG", 4) == 0) {
        w = be32(16), h = be32(20);
    } else if (std::memcmp(b, "GIF8", 4) == 0) {
        w = le16(6), h = le16(8);
    } else if (b[0] == 'B' && b[1] == 'M') {
        w = le32(18), h = le32(22);
        if (h & 0x80000000u) h = 0x100000000ull - h; // top-down
    } else if (std::memcmp(b, "8BPS", 4) == 0) {
        h = be32(14), w = be32(18);
    } else if (b[0] == 0xFF && b[1] == 0xD8) {
        // The markers up to the frame header.
        std::uint64_t pos = 2;
        BYTE m[9];
        while (in.Seek(pos) && in.Read(m, 4) && m[0] == 0xFF) {
            const BYTE type = m[1];
            const std::uint64_t length = std::uint64_t(m[2]) << 8 | m[3];
            if (type >= 0xC0 && type <= 0xCF && type != 0xC4 && type != 0xC8 && type != 0xCC) {
                if (!in.Read(m, 5)) return false;
                h = std::uint64_t(m[1]) << 8 | m[2], w = std::uint64_t(m[3]) << 8 | m[4];
                return w > 0 && h > 0;
            }
            pos += 2 + length;
        }
        return false;
    } else {
        return false;
    }
    return w > 0 && h > 0;
}

// Waits until a conversion's pixels fit beside those of the conversions running.
class PixelGate {
public:
    explicit PixelGate(std::uint64_t limit) : limit_(std::max<std::uint64_t>(limit, 1)) {}
    // The amount held, which may be less than asked: a conversion larger than the whole budget
    // waits for all others to finish and then runs alone.
    std::uint64_t Acquire(std::uint64_t pixels) {
        pixels = std::min(pixels, limit_);
        std::unique_lock lock(mutex_);
        freed_.wait(lock, [&] { return used_ == 0 || used_ + pixels <= limit_; });
        used_ += pixels;
        return pixels;
    }
    void Release(std::uint64_t pixels) {
        {
            std::lock_guard lock(mutex_);
            used_ -= pixels;
        }
        freed_.notify_all();
    }

private:
    std::mutex mutex_;
    std::condition_variable freed_;
    std::uint64_t limit_;
    std::uint64_t used_ = 0;
};

} // namespace

std::uint64_t ConversionPixels(const std::string& in, const std::string& out, const ConvertOptions& opts) {
    std::uint64_t w = 0, h = 0;
    if (!HeaderSize(in, w, h)) {
        struct stat st;
        // Compressed pictures hold several pixels for each byte of their file.
        return stat(in.c_str(), &st) == 0 ? 8 * static_cast<std::uint64_t>(st.st_size) : 1;
    }
    if (MayConvertStreamed(in, out, opts))
        return StreamedPixels(static_cast<int>(std::min<std::uint64_t>(w, 1u << 30)));
    // The picture as read, as a 32-bit object, and flattened on its way out.
    return 3 * w * h;
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
    PixelGate gate(EffectivePixelLimit(gMaxPixels));
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
                ResetSaveError();
                std::uint64_t held = gate.Acquire(ConversionPixels(inputs[i], outputs[i], opts));
                const StreamOutcome streamed = ConvertStreamed(inputs[i], outputs[i], opts, nullptr, reason);
                if (streamed == StreamOutcome::NotStreamed) {
                    // Declined after its header was read: the document's way needs the picture whole.
                    if (MayConvertStreamed(inputs[i], outputs[i], opts)) {
                        gate.Release(held);
                        std::uint64_t w = 0, h = 0;
                        held = gate.Acquire(HeaderSize(inputs[i], w, h) ? 3 * w * h
                                                                        : EffectivePixelLimit(gMaxPixels));
                    }
                    CDocImage doc;
                    std::string format;
                    ok = LoadDocument(inputs[i], doc, format, reason, nullptr, opts.animate) &&
                         WriteDocument(doc, outputs[i], opts, nullptr, reason);
                } else {
                    ok = streamed == StreamOutcome::Written;
                }
                gate.Release(held);
                if (!ok && LastSaveErrno() == EEXIST)
                    reason = outputs[i] + " already exists (--force replaces it)";
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
