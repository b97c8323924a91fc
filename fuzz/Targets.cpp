#include "Targets.h"

#include "codecs/AviCodec.h"
#include "codecs/AvifCodec.h"
#include "codecs/GifCodec.h"
#include "codecs/GifReader.h"
#include "codecs/HeifCodec.h"
#include "codecs/IconCodec.h"
#include "codecs/IconReader.h"
#include "codecs/JxlCodec.h"
#include "codecs/OpenExport.h"
#include "codecs/PhotoInfoIo.h"
#include "codecs/PsdCodec.h"
#include "codecs/WebpCodec.h"
#include "extlib/ImageIOCodecs.h"
#include "extlib/PngFile.h"
#include "model/ClipRecord.h"
#include "model/DocImage.h"
#include "model/ObjContent.h"
#include "model/TextObj.h"
#include "platform/ByteStream.h"
#include "platform/PixelBudget.h"
#include "raster/Dib.h"
#include "support/AviWriter.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sys/mman.h>
#include <unistd.h>
#include <zlib.h>

namespace zepho::fuzz {

namespace {

using Bytes = std::vector<std::uint8_t>;
using Seeds = std::vector<Bytes>;

std::span<const BYTE> Span(const std::uint8_t* d, std::size_t n) {
    return {d, n};
}

// A small document: a gradient with transparency and a shadow, a flat image and a text object.
Ref<CDocImage> SampleDocument() {
    Ref<CDocImage> doc = MakeRef<CDocImage>();
    doc->width = 24;
    doc->height = 16;
    PackedDib grad = CreateTransparentDIB(20, 12);
    for (int y = 0; y < 12; ++y)
        for (int x = 0; x < 20; ++x) {
            BYTE* p = grad.Pixel32(x, y);
            p[0] = static_cast<BYTE>(x * 12), p[1] = static_cast<BYTE>(y * 20), p[2] = 90,
            p[3] = static_cast<BYTE>(x < 3 ? 0 : 255 - y);
        }
    for (int i = 0; i < 2; ++i) {
        Ref<CObjContent> c = MakeRef<CObjContent>(KindImage);
        c->SetRaster(i ? CreateSolidDIB(5, 4, RGB(200, 30, 30), 255) : std::move(grad));
        if (i == 0) c->UpdateShadow();
        Ref<CDrawObj> o = MakeRef<CDrawObj>(c);
        o->visible = 1;
        o->x = 3 * i;
        doc->objects.AddTail(o);
    }
    Ref<CTextObj> text = MakeRef<CTextObj>();
    CTextRun run;
    run.face = "DejaVu Sans";
    run.SetText(u"Ab");
    text->runs.push_back(run);
    Ref<CObjContent> tc = MakeRef<CObjContent>(KindText);
    tc->SetRaster(text->Render());
    tc->SetShape(text);
    Ref<CDrawObj> to = MakeRef<CDrawObj>(tc);
    to->visible = 1;
    doc->objects.AddTail(to);
    return doc;
}

Bytes ReadAll(const std::string& path) {
    std::ifstream f(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>()};
}

// The sample document exported in the format the extension names.
Bytes Exported(const char* extension, unsigned option = 0, unsigned extra = 0) {
    const std::string path = "/tmp/zepho_fuzz_seed_" + std::to_string(getpid()) + "." + extension;
    Bytes bytes;
    if (ExportFile(*SampleDocument(), path, option, extra, nullptr, RGB(255, 255, 255)))
        bytes = ReadAll(path);
    std::remove(path.c_str());
    return bytes;
}

Seeds Of(std::initializer_list<Bytes> list) {
    Seeds out;
    for (const Bytes& b : list)
        if (!b.empty()) out.push_back(b);
    return out;
}

// The pixels one input of the document targets may make, in the fuzz build (which caps every
// raster, PackedDib::kMaxPixels): a quarter megapixel, as a 512 x 512 canvas. The readers' own
// budget of a gigapixel still lets a tiny input ask for seconds of drawing and blurring under
// the sanitizers; at this size the same refusals are reached at once and every drawing path
// still runs on the documents that fit. The ordinary build replays with the readers' budget.
constexpr std::uint64_t kFuzzDocumentPixels =
    PackedDib::kMaxPixels == UINT64_MAX ? 0 : std::uint64_t{1} << 18;

void RunNative(const std::uint8_t* d, std::size_t n) {
    PixelBudgetScope budget(kFuzzDocumentPixels);
    CDocImage doc;
    MemoryReader in(d, n);
    doc.ReadNativeFrom(in, nullptr, "fuzz");
}
Seeds SeedNative() {
    MemoryWriter out;
    SampleDocument()->WriteNative(out, nullptr, "seed");
    return Of({out.Take()});
}

void RunClipboard(const std::uint8_t* d, std::size_t n) {
    PixelBudgetScope budget(kFuzzDocumentPixels);
    ReadClipBlock(Span(d, n), [](int) { return std::string("x"); });
}
Seeds SeedClipboard() {
    const Ref<CDocImage> doc = SampleDocument();
    std::vector<CClipItem> items;
    for (const auto& o : doc->objects)
        items.push_back({o->content, {o->x, o->y}, 0, {}});
    return Of({WriteClipBlock(items)});
}

template <bool (*Read)(CDocImage&, ByteReader&, IProgress*)>
void RunDocReader(const std::uint8_t* d, std::size_t n) {
    CDocImage doc;
    MemoryReader in(d, n);
    Read(doc, in, nullptr);
}

void RunPsd(const std::uint8_t* d, std::size_t n) {
    MemoryReader check(d, n);
    CheckPsd(check);
    {
        CDocImage doc;
        MemoryReader in(d, n);
        std::string problem;
        ReadPsdLayers(doc, in, nullptr, &problem);
    }
    DecodePsdComposite(Span(d, n), nullptr);
}

template <PackedDib (*Decode)(std::span<const BYTE>, IProgress*)>
void RunDecoder(const std::uint8_t* d, std::size_t n) {
    Decode(Span(d, n), nullptr);
}

// A file that lives only in memory, for the readers that take a path (FFmpeg opens by name).
class MemoryFile {
public:
    MemoryFile(const std::uint8_t* d, std::size_t n) : fd_(memfd_create("zepho-fuzz", 0)) {
        if (fd_ < 0) return;
        for (std::size_t done = 0; done < n;) {
            const ssize_t w = write(fd_, d + done, n - done);
            if (w <= 0) std::abort();
            done += static_cast<std::size_t>(w);
        }
    }
    ~MemoryFile() {
        if (fd_ >= 0) close(fd_);
    }
    MemoryFile(const MemoryFile&) = delete;
    MemoryFile& operator=(const MemoryFile&) = delete;
    std::string Path() const { return "/proc/self/fd/" + std::to_string(fd_); }
    bool IsOpen() const { return fd_ >= 0; }

private:
    int fd_;
};

// Our header parser, then the whole import: FFmpeg's demuxer and decoders under our frame loop.
void RunAvi(const std::uint8_t* d, std::size_t n) {
    MemoryReader in(d, n);
    AviHeader h;
    if (!ReadAviHeader(in, h)) return;
    MemoryFile file(d, n);
    if (!file.IsOpen()) std::abort();
    CDocImage doc;
    ImportAvi(doc, file.Path(), nullptr, nullptr, std::uint64_t{256} << 20);
}

void RunGifPreview(const std::uint8_t* d, std::size_t n) {
    MemoryReader in(d, n);
    GifReader reader;
    GifImage image;
    if (reader.Open(in) && !reader.AtEnd()) reader.ReadImage(image, true, nullptr);
}

void RunAni(const std::uint8_t* d, std::size_t n) {
    RunDocReader<&ReadAni>(d, n);
    MemoryReader in(d, n);
    ReadAniPreview(in);
}

// A folder on a memory file system where there is one, for the writers that take a path.
class Scratch {
public:
    Scratch() {
        std::filesystem::path base = std::filesystem::exists("/dev/shm") ? "/dev/shm" : "/tmp";
        base /= "zepho-fuzz-" + std::to_string(getpid());
        std::filesystem::create_directories(base);
        path_ = base.string();
    }
    ~Scratch() {
        std::error_code ignored;
        std::filesystem::remove_all(path_, ignored);
    }
    const std::string& Path() const { return path_; }

private:
    std::string path_;
};

const std::string& ScratchFolder() {
    static const Scratch scratch;
    return scratch.Path();
}

[[noreturn]] void Finding(const char* what, const char* format) {
    std::fprintf(stderr, "roundtrip: %s (%s)\n", what, format);
    std::abort();
}

constexpr std::uint64_t kRoundTripPixels = std::uint64_t{1} << 24;

// A document that parses must draw, and every writer must write it and read its file back.
// Canvases beyond what a format can hold (65535 in GIF, PCX, TGA, ICO and PSD fields, 65500 in
// JPEG) are left out.
void RunRoundTrip(const std::uint8_t* d, std::size_t n) {
    CDocImage doc;
    {
        PixelBudgetScope budget(kFuzzDocumentPixels);
        MemoryReader in(d, n);
        if (!doc.ReadNativeFrom(in, nullptr, "fuzz")) return;
    }
    const std::uint64_t pixels =
        static_cast<std::uint64_t>(doc.width) * static_cast<std::uint64_t>(doc.height);
    // In the fuzz build the canvas is held to the same quarter megapixel as the objects: every
    // writer goes over every pixel of it, eleven times an input.
    if (doc.width < 1 || doc.height < 1 || doc.width > 65500 || doc.height > 65500 ||
        pixels > PackedDib::kMaxPixels || (kFuzzDocumentPixels && pixels > kFuzzDocumentPixels))
        return;
    // Large documents are the readers' business (budgets, refusals); here the point is that what
    // was read can be drawn and written, which a few megapixels show as well as a gigapixel.
    std::uint64_t held = 0;
    for (const auto& o : doc.objects)
        if (o->content)
            held += static_cast<std::uint64_t>(o->content->raster.Width()) * o->content->raster.Height() +
                    static_cast<std::uint64_t>(o->content->shadowRaster.Width()) *
                        o->content->shadowRaster.Height();
    if (held > kRoundTripPixels) return;
    if (!FlattenForExport(doc, RGB(255, 255, 255))) Finding("the document does not draw", "flatten");

    static const struct {
        const char* ext;
        DWORD option;
    } writers[] = {{"gif", 0},  {"ico", 0}, {"cur", 0x00030002}, {"ani", 0x00010001}, {"psd", 0}, {"bmp", 0},
                   {"jpg", 80}, {"pcx", 0}, {"png", 0},          {"tga", 1},          {"tif", 5}};
    for (const auto& w : writers) {
        const std::string path = ScratchFolder() + "/roundtrip." + w.ext;
        if (!ExportFile(doc, path, w.option, 0, nullptr, RGB(255, 255, 255))) Finding("not written", w.ext);
        CDocImage read;
        LoadFlags flags;
        if (!OpenFile(read, path, flags, nullptr) || read.objects.Count() < 1)
            Finding("not read back", w.ext);
        std::filesystem::remove(path);
    }

    // Saved and read again, with the original let go first: a large document needs its memory once.
    MemoryWriter native;
    if (!doc.WriteNative(native, nullptr, "fuzz")) Finding("not written", "qzi");
    const std::vector<BYTE> bytes = native.Take();
    const int count = doc.objects.Count();
    doc.Clear();
    CDocImage again;
    MemoryReader back(bytes.data(), bytes.size());
    if (!again.ReadNativeFrom(back, nullptr, "fuzz") || again.objects.Count() != count)
        Finding("not read back", "qzi");
}

Seeds SeedGif() {
    return Of({Exported("gif"), Exported("gif", 1)});
}
Seeds SeedIcon() {
    return Of({Exported("ico"), Exported("cur", 0x00030002)});
}
Seeds SeedAni() {
    return Of({Exported("ani", 0x00010001)});
}
// Two 3 x 2 layers whose channels are Zip coded, with and without prediction, at 8 bits: the
// coding other programs write and ours does not.
Bytes ZipLayersPsd() {
    Bytes f;
    auto u16 = [&f](unsigned v) { f.insert(f.end(), {BYTE(v >> 8), BYTE(v)}); };
    auto u32 = [&f](std::uint32_t v) {
        f.insert(f.end(), {BYTE(v >> 24), BYTE(v >> 16), BYTE(v >> 8), BYTE(v)});
    };
    auto text = [&f](const char* s) { f.insert(f.end(), s, s + std::strlen(s)); };
    std::vector<Bytes> channels;
    for (int k = 0; k < 8; ++k) {
        const BYTE samples[6] = {BYTE(10 * k), BYTE(250 - k), 3, 0, 255, BYTE(k)};
        uLongf size = compressBound(sizeof samples);
        Bytes c(2 + size);
        c[1] = k % 2 ? 3 : 2;
        compress2(c.data() + 2, &size, samples, sizeof samples, 9);
        c.resize(2 + size);
        channels.push_back(std::move(c));
    }
    text("8BPS");
    u16(1);
    f.insert(f.end(), 6, 0);
    u16(3), u32(2), u32(3), u16(8), u16(3), u32(0), u32(0);
    const std::size_t section = f.size();
    u32(0), u32(0), u16(2);
    for (int layer = 0; layer < 2; ++layer) {
        u32(0), u32(0), u32(2), u32(3), u16(4);
        for (int k = 0; k < 4; ++k)
            u16(static_cast<unsigned>(k - 1) & 0xFFFF),
                u32(static_cast<std::uint32_t>(channels[4 * layer + k].size()));
        text("8BIMnorm");
        f.insert(f.end(), {255, 0, 0, 0});
        u32(12), u32(0), u32(0), text("\002L1"), f.push_back(0);
    }
    for (const Bytes& c : channels)
        f.insert(f.end(), c.begin(), c.end());
    if ((f.size() - section) % 2) f.push_back(0);
    u32(0);
    const std::uint32_t length = static_cast<std::uint32_t>(f.size() - section - 4);
    for (int i = 0; i < 4; ++i) {
        f[section + i] = BYTE(length >> (24 - 8 * i));
        f[section + 4 + i] = BYTE((length - 8) >> (24 - 8 * i));
    }
    u16(0);
    f.insert(f.end(), 18, 0); // the raw composite
    return f;
}

Seeds SeedPsd() {
    return Of({Exported("psd"), ZipLayersPsd()});
}
Seeds SeedBmp() {
    return Of({Exported("bmp")});
}
Seeds SeedJpeg() {
    return Of({Exported("jpg", 70)});
}
Seeds SeedTiff() {
    return Of({Exported("tif", 5), Exported("tif", 32946), Exported("tif", 1)});
}
Seeds SeedTga() {
    return Of({Exported("tga", 1), Exported("tga", 2)});
}
Seeds SeedPcx() {
    return Of({Exported("pcx")});
}
Seeds SeedPng() {
    return Of({Exported("png")});
}
void RunWebp(const std::uint8_t* d, std::size_t n) {
    CDocImage doc;
    ReadWebp(doc, Span(d, n), nullptr);
    DecodeWebpFirstFrame(Span(d, n));
}
Seeds SeedWebp() {
    // Lossy and lossless stills (alpha in its own chunk, or in the lossless stream) and an
    // animation.
    return Of({Exported("webp", 60), Exported("webp", 80 | kWebpLossless),
               Exported("webp", 50, kExportAnimate), Exported("webp", 70 | kWebpLossless, kExportAnimate)});
}
void RunAvif(const std::uint8_t* d, std::size_t n) {
    DecodeAvif(Span(d, n));
}
Seeds SeedAvif() {
    return Of({Exported("avif", AvifOption(50, 10)), Exported("avif", AvifOption(100, 10))});
}
void RunHeif(const std::uint8_t* d, std::size_t n) {
    DecodeHeif(Span(d, n));
}
Seeds SeedHeif() {
    // We write no HEIF: libheif's own encoder makes the seeds when it is installed, lossy and
    // lossless, with alpha. The file-type box alone starts the parser otherwise.
    Seeds out;
    const std::string base = "/tmp/zepho_fuzz_seed_" + std::to_string(getpid());
    const Bytes png = Exported("png", 0, kExportKeepAlpha);
    std::ofstream(base + ".png", std::ios::binary)
        .write(reinterpret_cast<const char*>(png.data()), static_cast<std::streamsize>(png.size()));
    for (const char* options : {"-q 50", "-L -p chroma=444"}) {
        const std::string cmd =
            std::string("heif-enc ") + options + " -o " + base + ".heic " + base + ".png >/dev/null 2>&1";
        if (!png.empty() && std::system(cmd.c_str()) == 0) out.push_back(ReadAll(base + ".heic"));
        std::remove((base + ".heic").c_str());
    }
    std::remove((base + ".png").c_str());
    static constexpr char kFtyp[] = "\0\0\0\x18"
                                    "ftypheic\0\0\0\0mif1heic";
    out.push_back(Bytes(kFtyp, kFtyp + sizeof kFtyp - 1));
    return out;
}
void RunJxl(const std::uint8_t* d, std::size_t n) {
    CDocImage doc;
    ReadJxl(doc, Span(d, n), nullptr);
    DecodeJxlFirstFrame(Span(d, n));
}
Seeds SeedJxl() {
    // Lossy and lossless stills with alpha, and animations.
    return Of({Exported("jxl", 60), Exported("jxl", 80 | kJxlLossless), Exported("jxl", 50, kExportAnimate),
               Exported("jxl", kJxlLossless, kExportAnimate)});
}
// A photo's information read from any file, written back into a JPEG and summarised.
void RunPhotoInfo(const std::uint8_t* d, std::size_t n) {
    const CPhotoInfo info = ReadPhotoInfo(Bytes(d, d + n));
    if (info.Empty()) return;
    static const Bytes jpeg = Exported("jpg", 90);
    Bytes out = jpeg;
    EmbedPhotoInfo(out, info, PhotoInfoOut{24, 16, n % 2 == 0});
    SummarizePhotoInfo(info);
}
Seeds SeedPhotoInfo() {
    // IFD0 with make, orientation and the Exif IFD, which holds the date taken.
    Bytes exif{'I', 'I', 42, 0};
    auto le = [&exif](unsigned v, int n) {
        for (int i = 0; i < n; ++i)
            exif.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
    };
    auto entry = [&le](unsigned tag, unsigned type, unsigned count, unsigned value) {
        le(tag, 2), le(type, 2), le(count, 4), le(value, 4);
    };
    le(8, 4);
    le(3, 2);
    entry(0x010F, 2, 5, 50);
    entry(0x0112, 3, 1, 6);
    entry(0x8769, 4, 1, 56);
    le(0, 4);
    for (const char c : std::string("Acme\0\0", 6)) // the IFD after it starts on an even offset
        exif.push_back(static_cast<std::uint8_t>(c));
    le(1, 2);
    entry(0x9003, 2, 20, 74);
    le(0, 4);
    for (const char c : std::string("2024:05:06 07:08:09", 20))
        exif.push_back(static_cast<std::uint8_t>(c));
    Ref<CDocImage> doc = SampleDocument();
    doc->photoInfo.exif = exif;
    doc->photoInfo.xmp =
        "<x:xmpmeta xmlns:x=\"adobe:ns:meta/\"><rdf:RDF xmlns:rdf=\"http://www.w3.org/1999/02/"
        "22-rdf-syntax-ns#\"><rdf:Description rdf:about=\"\" xmlns:dc=\"http://purl.org/dc/"
        "elements/1.1/\" dc:format=\"image/jpeg\"/></rdf:RDF></x:xmpmeta>";
    doc->photoInfo.iptc = {0x1C, 0x02, 0x78, 0x00, 0x02, 'H', 'i'};
    Seeds out;
    for (const char* ext : {"jpg", "png", "webp", "tif"}) {
        const std::string path = "/tmp/zepho_fuzz_seed_" + std::to_string(getpid()) + "." + ext;
        if (ExportFile(*doc, path, 90, 0, nullptr, RGB(255, 255, 255))) out.push_back(ReadAll(path));
        std::remove(path.c_str());
    }
    return out;
}
Seeds SeedRoundTrip() {
    return SeedNative();
}
Seeds SeedAvi() {
    Seeds out;
    // Lossless films: one stream of three frames, and two streams.
    const std::string path = "/tmp/zepho_fuzz_seed_" + std::to_string(getpid()) + ".avi";
    for (const std::vector<int>& streams : {std::vector<int>{3}, std::vector<int>{1, 2}}) {
        if (test::WriteTestAvi(path, 8, 6, 5, streams)) out.push_back(ReadAll(path));
        std::remove(path.c_str());
    }
    // The header alone: "RIFF" size "AVI " "LIST" size "hdrl" "avih" size and 56 bytes.
    Bytes b;
    for (const char* tag :
         {"RIFF", "\x10\x10\0\0", "AVI ", "LIST", "\xc0\0\0\0", "hdrl", "avih", "\x38\0\0\0"})
        b.insert(b.end(), tag, tag + 4);
    b.resize(b.size() + 56, 0);
    b[24 + 16] = 3, b[24 + 32] = 64, b[24 + 36] = 48;
    out.push_back(b);
    return out;
}

} // namespace

const std::vector<Target>& Targets() {
    static const std::vector<Target> targets = {
        {"native", &RunNative, &SeedNative},
        {"clipboard", &RunClipboard, &SeedClipboard},
        {"gif", &RunDocReader<&ReadGif>, &SeedGif},
        {"gifpreview", &RunGifPreview, &SeedGif},
        {"icon", &RunDocReader<&ReadIcon>, &SeedIcon},
        {"ani", &RunAni, &SeedAni},
        {"psd", &RunPsd, &SeedPsd},
        {"bmp", &RunDecoder<&DecodeBmp>, &SeedBmp},
        {"jpeg", &RunDecoder<&DecodeJpeg>, &SeedJpeg},
        {"tiff", &RunDecoder<&DecodeTiff>, &SeedTiff},
        {"tga", &RunDecoder<&DecodeTga>, &SeedTga},
        {"pcx", &RunDecoder<&DecodePcx>, &SeedPcx},
        {"png", &RunDecoder<&DecodePng>, &SeedPng},
        {"avi", &RunAvi, &SeedAvi},
        {"roundtrip", &RunRoundTrip, &SeedRoundTrip},
        {"webp", &RunWebp, &SeedWebp},
        {"avif", &RunAvif, &SeedAvif},
        {"heif", &RunHeif, &SeedHeif},
        {"jxl", &RunJxl, &SeedJxl},
        {"photoinfo", &RunPhotoInfo, &SeedPhotoInfo},
    };
    return targets;
}

const Target* FindTarget(const std::string& name) {
    for (const Target& t : Targets())
        if (name == t.name) return &t;
    return nullptr;
}

} // namespace zepho::fuzz
