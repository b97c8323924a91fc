// zepho-cli: the batch tool. Reads documents without any user interface.
#include "cli/Describe.h"
#include "codecs/FileTypes.h"
#include "codecs/OpenExport.h"
#include "extlib/PngFile.h"
#include "model/AppSettings.h"
#include "model/DocImage.h"
#include "model/ObjectNames.h"
#include "platform/ByteStream.h"
#include "platform/Path.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

using namespace zepho;

namespace {

const char kUsage[] =
    "usage: zepho-cli info FILE [--json] [--psd-composite]\n"
    "       zepho-cli objects FILE OUTDIR [--psd-composite]\n"
    "       zepho-cli flatten FILE OUT.png [--psd-composite]\n"
    "       zepho-cli convert FILE OUT [--option N] [--background RRGGBB] [--psd-composite]\n"
    "FILE may be a document (.qzi) or an image (.bmp .dib .gif .jpg .jpeg .png .pcx .tga .tif .tiff\n"
    ".psd .ico .cur .ani .avi), opened as the editor opens it: GIF and video frames, icon images\n"
    "and PSD layers become objects named by their kind, and of frames and icon images only the\n"
    "bottom one is visible. --psd-composite reads a layered PSD as its one composite image.\n"
    "convert writes by OUT's extension: .qzi saves a document, .psd writes every object as a layer;\n"
    "other images get the visible objects flattened over the background (default ffffff; GIF,\n"
    "icons and cursors keep transparency). --option is the JPEG quality (default 85), the TIFF\n"
    "compression code (default 1), the TGA bits (1 = RLE, 2 = bottom-up; default 1), 1 to\n"
    "interlace a GIF (default 0), a cursor's hot spot as Y * 65536 + X (default 0), or the BMP\n"
    "colours (0 = 256, 1 = 16, 2 = black and white, 3 = high, 4 = true (default), 5 = 16 grays,\n"
    "6 = 256 grays).\n";

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

// How files are opened.
struct OpenOptions {
    // A layered PSD is read as its composite image (the editor's PSDOpenFashion 1).
    bool psdComposite = false;
};

// Reads a file as the editor's Open does; on failure returns false with the reason.
bool Load(const std::string& path, const OpenOptions& options, CDocImage& doc, std::string& format,
          std::string& why) {
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
    if (kind == FileKind::Native) {
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
    } else {
        if (!CanOpen(kind)) {
            why = "unsupported file type" + (ext.empty() ? std::string() : " ." + ext);
            return false;
        }
        format = ext;
        for (char& c : format)
            c = static_cast<char>(c - 'A' + 'a');
        if (format == "jpeg") format = "jpg";
        if (format == "tiff") format = "tif";
        if (format == "dib") format = "bmp";
    }
    // No one to ask: the PSD question takes the answer given on the command line.
    CAppSettings settings;
    settings.PSDOpenFashion = options.psdComposite ? 1 : 0;
    LoadFlags flags;
    TerminalProgress progress;
    progress.SetText("Reading file " + BaseName(path));
    if (!OpenFileWith(doc, path, flags, &progress, OpenContext{nullptr, &settings})) {
        why = kind == FileKind::Native ? "unsupported version or damaged document (" + format + ")"
                                       : "cannot read the image (damaged or unsupported " + format + " file)";
        return false;
    }
    int counters[CounterCount] = {1, 1, 1, 1, 1};
    FinishOpen(doc, flags, [&counters](int k) { return NextDefaultName(k, counters); });
    return true;
}

bool MakeDir(const std::string& dir) {
    if (mkdir(dir.c_str(), 0777) == 0 || errno == EEXIST) {
        struct stat st;
        return stat(dir.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
    }
    return false;
}

bool WriteText(const std::string& path, const std::string& text) {
    FileWriter out(path);
    return out.IsOpen() && out.Write(text.data(), text.size()) && out.Commit();
}

int Info(const std::string& file, const OpenOptions& options, bool json) {
    CDocImage doc;
    std::string format, why;
    if (!Load(file, options, doc, format, why)) return Fail(file, why);
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

int Objects(const std::string& file, const std::string& outDir, const OpenOptions& options) {
    CDocImage doc;
    std::string format, why;
    if (!Load(file, options, doc, format, why)) return Fail(file, why);
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
        if (!WritePngRgba(outDir + "/" + name, c.raster))
            return Fail(outDir + "/" + name, "cannot write the image");
        j.BeginObject().Field("index", index).Field("file", name).Field("name", c.name).Field("kind", c.kind);
        j.Field("x", o.x).Field("y", o.y).Field("width", c.width).Field("height", c.height);
        j.Field("visible", o.visible != 0)
            .Field("locked", o.locked != 0)
            .Field("transparency", int(o.transparency));
        j.Field("shadow", c.HasShadow()).EndObject();
        ++index;
    }
    j.EndArray().EndObject();
    if (!WriteText(outDir + "/manifest.json", j.Take() + "\n"))
        return Fail(outDir, "cannot write manifest.json");
    return 0;
}

int Flatten(const std::string& file, const std::string& out, const OpenOptions& options) {
    CDocImage doc;
    std::string format, why;
    if (!Load(file, options, doc, format, why)) return Fail(file, why);
    if (doc.width <= 0 || doc.height <= 0) return Fail(file, "the canvas is empty");
    PackedDib flat = doc.CompositeVisible(doc.width, doc.height);
    if (!flat) return Fail(file, "not enough memory for the canvas");
    if (!WritePngRgba(out, flat)) return Fail(out, "cannot write the image");
    return 0;
}

bool ParseInt(const std::string& text, long min, long max, int base, long& value) {
    if (text.empty()) return false;
    char* end = nullptr;
    errno = 0;
    value = std::strtol(text.c_str(), &end, base);
    return errno == 0 && *end == 0 && value >= min && value <= max;
}

int Convert(const std::vector<std::string>& args, const OpenOptions& options) {
    const std::string& file = args[1];
    const std::string& out = args[2];
    long option = -1, background = 0xFFFFFF;
    for (std::size_t i = 3; i < args.size(); i += 2) {
        const std::string value = i + 1 < args.size() ? args[i + 1] : std::string();
        if (args[i] == "--option" && ParseInt(value, 0, 0xFFFFFFFFL, 10, option)) continue;
        if (args[i] == "--background" && value.size() == 6 && ParseInt(value, 0, 0xFFFFFF, 16, background))
            continue;
        std::fputs(kUsage, stderr);
        return 2;
    }
    CDocImage doc;
    std::string format, why;
    if (!Load(file, options, doc, format, why)) return Fail(file, why);
    const FileKind kind = FileKindOf(out);
    TerminalProgress progress;
    progress.SetText("Saving file " + BaseName(out));
    if (kind == FileKind::Native) {
        if (!doc.SaveNative(out, &progress)) return Fail(out, "cannot write the document");
        return 0;
    }
    if (!CanExport(kind)) return Fail(out, "cannot write this file type");
    if (doc.width <= 0 || doc.height <= 0) return Fail(file, "the canvas is empty");
    // Images are stored top-down in RGB order: the background is given as RRGGBB.
    const COLORREF bg = RGB((background >> 16) & 0xFF, (background >> 8) & 0xFF, background & 0xFF);
    bool ok;
    if (kind == FileKind::Bmp) {
        ok = ExportBmp(doc, out, option < 0 ? 4 : static_cast<int>(option), &progress, bg);
    } else {
        DWORD word = 85;
        if (kind == FileKind::Tiff) word = 1;
        if (kind == FileKind::Tga) word = 1;
        if (kind == FileKind::Gif) word = 0;
        if (kind == FileKind::Gif) word = 0;
        if (option >= 0) word = static_cast<DWORD>(option);
        ok = ExportFile(doc, out, word, 0, &progress, bg);
    }
    if (!ok) return Fail(out, "cannot write the image");
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    std::vector<std::string> args;
    OpenOptions options;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--psd-composite") == 0)
            options.psdComposite = true;
        else
            args.emplace_back(argv[i]);
    }
    if (args.size() >= 2 && args[0] == "info" &&
        (args.size() == 2 || (args.size() == 3 && args[2] == "--json")))
        return Info(args[1], options, args.size() == 3);
    if (args.size() == 3 && args[0] == "objects") return Objects(args[1], args[2], options);
    if (args.size() == 3 && args[0] == "flatten") return Flatten(args[1], args[2], options);
    if (args.size() >= 3 && args[0] == "convert") return Convert(args, options);
    std::fputs(kUsage, stderr);
    return args.empty() || args[0] == "--help" || args[0] == "-h" ? (args.empty() ? 2 : 0) : 2;
}
