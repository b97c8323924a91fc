// zepho-cli: the batch tool. Reads documents without any user interface.
#include "cli/Convert.h"
#include "cli/Describe.h"
#include "codecs/AviCodec.h"
#include "codecs/FileTypes.h"
#include "codecs/OpenExport.h"
#include "extlib/PngFile.h"
#include "model/AppSettings.h"
#include "model/DocImage.h"
#include "model/ObjectNames.h"
#include "platform/ByteStream.h"
#include "platform/Path.h"
#include "platform/SaveTarget.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>
#include <vector>

using namespace zepho;

namespace {

const char kUsage[] =
    "usage: zepho-cli info FILE [--json] [--psd-composite]\n"
    "       zepho-cli objects FILE OUTDIR [--psd-composite]\n"
    "       zepho-cli flatten FILE OUT.png [--keep-alpha] [--psd-composite]\n"
    "       zepho-cli convert FILE OUT [OPTIONS]\n"
    "       zepho-cli convert FILE... --out-dir DIR --to EXT [-j N] [--force] [OPTIONS]\n"
    "FILE may be a document (.qzi) or an image (.bmp .dib .gif .jpg .jpeg .png .pcx .tga .tif .tiff\n"
    ".psd .ico .cur .ani .avi .webp .avif .heic .heif .jxl), opened as the editor opens it: GIF, WebP,\n"
    "JPEG XL and video frames, icon images and PSD layers become objects named by their kind, and\n"
    "of frames and icon images only the bottom one is visible. --psd-composite reads a layered PSD\n"
    "as its one composite image.\n"
    "convert writes by OUT's extension: .qzi saves a document, .psd writes every object as a layer;\n"
    "other images get the visible objects flattened over the background (default ffffff; GIF,\n"
    "icons, cursors, WebP, AVIF and JPEG XL keep transparency; HEIF is read only).\n"
    "flatten writes the composite with its transparency; an alpha channel that is opaque\n"
    "everywhere is left out unless --keep-alpha.\n"
    "A PNG or JPEG FILE converted to .png .jpg .tif, or flattened, is read and written a band of\n"
    "rows at a time unless it is stored turned or has 256 colours or fewer.\n"
    "With --out-dir every FILE is written to DIR under its own name with the extension EXT, on N\n"
    "threads (default: one per core); existing files are kept unless --force; the exit status is 1\n"
    "when any file failed.\n"
    "OPTIONS: --background RRGGBB; --keep-alpha (PNG, TIFF, TGA, BMP: keep the transparency instead\n"
    "of the background); --quality N (1..100: JPEG 85, WebP 75, AVIF 60, JPEG XL 90, where 100 is\n"
    "lossless); --lossless (WebP, JPEG XL); --speed N (AVIF encoder, 0 slowest .. 10 fastest, default\n"
    "6); --animate (GIF, WebP, JPEG XL: one frame per visible object, from the bottom up; all\n"
    "frames of an animated FILE are shown, where otherwise only the first one is, as in the\n"
    "editor); --option N, the writer's option word: the JPEG\n"
    "quality, the TIFF compression code (default 1), the TGA bits (1 = RLE, 2 = bottom-up; default\n"
    "1), 1 to interlace a GIF (default 0), a cursor's hot spot as Y * 65536 + X (default 0), or the\n"
    "BMP colours (0 = 256, 1 = 16, 2 = black and white, 3 = high, 4 = true (default), 5 = 16 grays,\n"
    "6 = 256 grays).\n"
    "A photo's information (camera, date, title, location: Exif, XMP, IPTC) read from a JPEG, PNG,\n"
    "TIFF, WebP, AVIF, HEIF or JPEG XL FILE goes out again in .jpg .png .tif .webp outputs, with\n"
    "orientation 1, the written size and no thumbnail; --strip-location leaves out the GPS\n"
    "coordinates, --strip-metadata all of it.\n"
    "--max-pixels N (any command) is the most pixels a file's images may hold at once while it is\n"
    "read and drawn (default 1073741824, 4 GB at 32 bits; never more than half the memory).\n";

int Fail(const std::string& file, const std::string& what) {
    std::fprintf(stderr, "zepho-cli: %s: %s\n", file.c_str(), what.c_str());
    return 1;
}

// A progress bar on stderr, drawn only when stderr is a terminal.
class TerminalProgress : public IProgress {
public:
    TerminalProgress() : on_(isatty(2) != 0) {}
    ~TerminalProgress() override {
        if (on_ && drawn_) std::fputs("\r\033[K", stderr);
    }
    void SetText(const std::string& text) override { text_ = text; }
    void SetPos(int percent) override {
        if (!on_ || text_.empty()) return;
        const int filled = percent * 30 / 100;
        std::fprintf(stderr, "\r%s [%.*s%*s] %3d%%", text_.c_str(), filled, "##############################",
                     30 - filled, "", percent);
        drawn_ = true;
    }
    void Pump() override { std::fflush(stderr); }

private:
    bool on_;
    bool drawn_ = false;
    std::string text_;
};

// Reads a document with a progress bar on a terminal; on failure returns false with the reason.
bool Load(const std::string& path, CDocImage& doc, std::string& format, std::string& why,
          bool allFrames = false) {
    TerminalProgress progress;
    return cli::LoadDocument(path, doc, format, why, &progress, allFrames);
}

bool MakeDir(const std::string& dir) {
    if (mkdir(dir.c_str(), 0777) == 0 || errno == EEXIST) {
        struct stat st;
        return stat(dir.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
    }
    return false;
}

bool WriteText(const std::string& path, const std::string& text, FileWriter::Sync sync) {
    FileWriter out(path);
    return out.IsOpen() && out.Write(text.data(), text.size()) && out.Commit(sync);
}

int Info(const std::string& file, bool json) {
    CDocImage doc;
    std::string format, why;
    if (!Load(file, doc, format, why)) return Fail(file, why);
    if (json) {
        cli::JsonWriter j;
        cli::DescribeDocument(doc, format, j);
        std::printf("%s\n", j.Take().c_str());
    } else {
        std::fputs(cli::DescribeDocumentText(doc, format).c_str(), stdout);
    }
    if (std::fflush(stdout) != 0 || std::ferror(stdout)) return Fail("stdout", "cannot write the output");
    return 0;
}

int Objects(const std::string& file, const std::string& outDir) {
    CDocImage doc;
    std::string format, why;
    if (!Load(file, doc, format, why)) return Fail(file, why);
    if (!MakeDir(outDir)) return Fail(outDir, "cannot create the folder");
    cli::JsonWriter j;
    j.BeginObject().Field("width", doc.width).Field("height", doc.height).Field("delay", int(doc.delay));
    j.Key("objects").BeginArray();
    int index = 0;
    for (const auto& ref : doc.objects) {
        const CDrawObj& o = *ref;
        const CObjContent& c = *o.content;
        char name[16];
        std::snprintf(name, sizeof name, "%03d.png", index);
        // Made durable all at once below: one sync of the folder instead of two per file.
        if (!WritePngRgba(outDir + "/" + name, c.raster, FileWriter::Sync::Deferred))
            return Fail(outDir + "/" + name, cli::CannotWrite(outDir + "/" + name, "the image"));
        j.BeginObject().Field("index", index).Field("file", name).Field("name", c.name).Field("kind", c.kind);
        j.Field("x", o.x).Field("y", o.y).Field("width", c.width).Field("height", c.height);
        j.Field("visible", o.visible != 0)
            .Field("locked", o.locked != 0)
            .Field("transparency", int(o.transparency));
        j.Field("shadow", c.HasShadow()).EndObject();
        ++index;
    }
    j.EndArray().EndObject();
    if (!WriteText(outDir + "/manifest.json", j.Take() + "\n", FileWriter::Sync::Deferred))
        return Fail(outDir, cli::CannotWrite(outDir + "/manifest.json", "manifest.json"));
    if (!SyncFileSystemOf(outDir)) return Fail(outDir, "cannot sync the folder");
    return 0;
}

int Flatten(const std::string& file, const std::string& out, bool keepAlpha) {
    std::string format, why;
    cli::ConvertOptions opts;
    opts.composite = true;
    opts.keepAlpha = keepAlpha;
    {
        TerminalProgress progress;
        const StreamOutcome streamed = cli::ConvertStreamed(file, out, opts, &progress, why);
        if (streamed == StreamOutcome::Written) return 0;
        if (streamed == StreamOutcome::Failed) return Fail(out, why);
    }
    CDocImage doc;
    if (!Load(file, doc, format, why)) return Fail(file, why);
    if (doc.width <= 0 || doc.height <= 0) return Fail(file, "the canvas is empty");
    TerminalProgress progress;
    progress.SetText("Saving file " + BaseName(out));
    if (!ExportCompositePng(doc, out, &progress, keepAlpha))
        return Fail(out, cli::CannotWrite(out, "the image"));
    return 0;
}

bool ParseInt(const std::string& text, long min, long max, int base, long& value) {
    if (text.empty()) return false;
    char* end = nullptr;
    errno = 0;
    value = std::strtol(text.c_str(), &end, base);
    return errno == 0 && *end == 0 && value >= min && value <= max;
}

int Convert(const std::vector<std::string>& args) {
    cli::ConvertOptions opts;
    std::vector<std::string> files;
    std::string outDir, to;
    long jobs = 0;
    bool batch = false;
    for (std::size_t i = 1; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (a == "--keep-alpha" || a == "--animate" || a == "--lossless" || a == "--force" ||
            a == "--strip-location" || a == "--strip-metadata") {
            (a == "--keep-alpha"       ? opts.keepAlpha
             : a == "--animate"        ? opts.animate
             : a == "--lossless"       ? opts.lossless
             : a == "--strip-location" ? opts.stripLocation
             : a == "--strip-metadata" ? opts.stripMetadata
                                       : opts.force) = true;
            continue;
        }
        if (a.empty() || a[0] != '-') {
            files.push_back(a);
            continue;
        }
        const std::string value = i + 1 < args.size() ? args[i + 1] : std::string();
        long v = 0;
        bool ok = false;
        if (a == "--option") {
            ok = ParseInt(value, 0, 0xFFFFFFFFL, 10, opts.option);
        } else if (a == "--background") {
            ok = value.size() == 6 && ParseInt(value, 0, 0xFFFFFF, 16, opts.background);
        } else if (a == "--quality" && ParseInt(value, 1, 100, 10, v)) {
            opts.quality = static_cast<int>(v);
            ok = true;
        } else if (a == "--speed" && ParseInt(value, 0, 10, 10, v)) {
            opts.speed = static_cast<int>(v);
            ok = true;
        } else if (a == "-j" || a == "--jobs") {
            ok = ParseInt(value, 1, 1024, 10, jobs);
        } else if (a == "--out-dir" || a == "--to") {
            ok = !value.empty();
            (a == "--to" ? to : outDir) = value;
            batch = true;
        }
        if (!ok) {
            std::fputs(kUsage, stderr);
            return 2;
        }
        ++i;
    }
    if (batch) {
        if (outDir.empty() || to.empty() || files.empty()) {
            std::fputs(kUsage, stderr);
            return 2;
        }
        if (jobs <= 0) jobs = std::max(1u, std::thread::hardware_concurrency());
        return cli::ConvertMany(files, outDir, to, static_cast<int>(jobs), opts);
    }
    if (files.size() != 2) {
        std::fputs(kUsage, stderr);
        return 2;
    }
    const std::string& file = files[0];
    const std::string& out = files[1];
    std::string format, why;
    if (!cli::CheckOutputType(out, opts, why)) return Fail(out, why);
    {
        TerminalProgress progress;
        const StreamOutcome streamed = cli::ConvertStreamed(file, out, opts, &progress, why);
        if (streamed == StreamOutcome::Written) return 0;
        if (streamed == StreamOutcome::Failed) return Fail(out, why);
    }
    CDocImage doc;
    if (!Load(file, doc, format, why, opts.animate)) return Fail(file, why);
    TerminalProgress progress;
    if (!cli::WriteDocument(doc, out, opts, &progress, why)) return Fail(doc.width <= 0 ? file : out, why);
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    // A save stopped by Ctrl+C or a kill leaves no temporary file behind.
    InstallSaveCleanupOnSignals();
    std::vector<std::string> args;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--max-pixels") == 0) {
            long long value = 0;
            char* end = nullptr;
            errno = 0;
            if (i + 1 < argc) value = std::strtoll(argv[i + 1], &end, 10);
            if (i + 1 >= argc || errno != 0 || end == argv[i + 1] || *end != 0 || value < 1) {
                std::fputs(kUsage, stderr);
                return 2;
            }
            cli::gMaxPixels = static_cast<std::uint64_t>(value);
            ++i;
            continue;
        }
        if (std::strcmp(argv[i], "--psd-composite") == 0) {
            cli::gPsdComposite = true;
            continue;
        }
        args.emplace_back(argv[i]);
    }
    if (args.size() >= 2 && args[0] == "info" &&
        (args.size() == 2 || (args.size() == 3 && args[2] == "--json")))
        return Info(args[1], args.size() == 3);
    if (args.size() == 3 && args[0] == "objects") return Objects(args[1], args[2]);
    if (args.size() == 3 && args[0] == "flatten") return Flatten(args[1], args[2], false);
    if (args.size() == 4 && args[0] == "flatten" && args[3] == "--keep-alpha")
        return Flatten(args[1], args[2], true);
    if (args.size() >= 2 && args[0] == "convert") return Convert(args);
    std::fputs(kUsage, stderr);
    return args.empty() || args[0] == "--help" || args[0] == "-h" ? (args.empty() ? 2 : 0) : 2;
}
