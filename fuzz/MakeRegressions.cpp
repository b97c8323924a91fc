// Writes the crafted inputs of fuzz/regressions: each is the smallest file we know that once made
// a reader crash, hang or ask for gigabytes. Run by hand when one is added:
//   zepho-fuzz-regressions fuzz/regressions
// and commit the files; the test run replays them through their targets.
#include "codecs/JxlCodec.h"
#include "extlib/ImageIOCodecs.h"
#include "extlib/PngFile.h"
#include "model/ObjContent.h"
#include "model/RectObj.h"
#include "model/TextObj.h"
#include "platform/ByteStream.h"

#include <png.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>

using namespace zepho;

namespace {

using Bytes = std::vector<BYTE>;

// One object of a current-version native document.
struct Entry {
    Ref<CObjShape> shape;
    LONG x = 0, y = 0;
    bool shadow = false;
    BYTE shadowSize = 100;
    LONG shadowOffsetX = 10, shadowOffsetY = 10;
};

// Header, table and payloads; with `sharedPayload` every entry points at the first payload.
Bytes Document(int width, int height, const std::vector<Entry>& entries, bool sharedPayload = false) {
    MemoryWriter out;
    out.Write("QZI 2003", 8);
    out.WriteU32(0);
    out.WriteI32(0);
    out.WriteI32(width);
    out.WriteI32(height);
    out.WriteU16(0);
    out.WriteU16(0);
    out.WriteU32(0);
    out.WriteI32(static_cast<LONG>(entries.size()));
    const std::uint64_t table = out.Tell();
    for (const Entry& e : entries) {
        out.WriteI32(0);
        out.WriteI32(0);
        out.WriteI32(e.shape->Kind());
        out.WriteI32(0);
        char name[48] = "object";
        out.Write(name, sizeof name);
        out.WriteI32(e.x);
        out.WriteI32(e.y);
        out.WriteU32(0x00000101); // visible, not locked, opaque
        out.WriteU32(0);          // shadow colour
        out.WriteU8(4);           // type
        out.WriteU8(0);           // transparency
        out.WriteU8(e.shadowSize);
        out.WriteU8(10); // smoothness
        out.WriteI32(e.shadowOffsetX);
        out.WriteI32(e.shadowOffsetY);
        out.WriteU16(30);
        out.WriteU16(80);
        out.WriteI32(e.shadow ? 1 : 0);
    }
    std::uint64_t start = out.Tell();
    std::uint64_t firstStart = start, firstSize = 0;
    for (std::size_t i = 0; i < entries.size(); ++i) {
        std::uint64_t size = 0;
        if (sharedPayload && i > 0) {
            start = firstStart;
            size = firstSize;
        } else {
            size = entries[i].shape->Write(out);
            if (i == 0) firstSize = size;
        }
        const std::uint64_t end = out.Tell();
        out.Seek(table + 100 * i);
        out.WriteI32(static_cast<LONG>(start));
        out.WriteI32(static_cast<LONG>(size));
        out.Seek(end);
        start = end;
    }
    return out.Take();
}

Ref<CRectObj> Rectangle(double w, double h) {
    Ref<CRectObj> r = MakeRef<CRectObj>();
    r->width = w;
    r->height = h;
    r->paint.color2 = RGB(200, 40, 40);
    return r;
}

// An icon directory of `count` entries that all point at one 256 x 256 PNG image.
Bytes SharedIcon(int count) {
    PackedDib dib = PackedDib::Create(256, 256, 32);
    for (int y = 0; y < 256; ++y)
        std::memset(dib.Row(y), 0x80, dib.Stride());
    Bytes png;
    if (!EncodePngRgba(dib, png)) return {};
    MemoryWriter out;
    out.WriteU16(0);
    out.WriteU16(1);
    out.WriteU16(static_cast<WORD>(count));
    const DWORD offset = 6 + 16 * static_cast<DWORD>(count);
    for (int i = 0; i < count; ++i) {
        out.WriteU32(0); // 256 x 256, no palette
        out.WriteU16(1);
        out.WriteU16(32);
        out.WriteU32(static_cast<DWORD>(png.size()));
        out.WriteU32(offset);
    }
    out.Write(png.data(), png.size());
    return out.Take();
}

// A 1-bit PNG of side `side` whose rows are all zero: a small file that claims a huge picture.
Bytes BlankBitPng(int side) {
    Bytes out;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        return {};
    }
    png_set_write_fn(
        png, &out,
        [](png_structp p, png_bytep d, png_size_t n) {
            auto* v = static_cast<Bytes*>(png_get_io_ptr(p));
            v->insert(v->end(), d, d + n);
        },
        nullptr);
    png_set_compression_level(png, 9);
    png_set_IHDR(png, info, side, side, 1, PNG_COLOR_TYPE_GRAY, PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_set_filter(png, 0, PNG_FILTER_NONE);
    png_write_info(png, info);
    Bytes row((side + 7) / 8, 0);
    for (int y = 0; y < side; ++y)
        png_write_row(png, row.data());
    png_write_end(png, info);
    png_destroy_write_struct(&png, &info);
    return out;
}

PackedDib PaletteImage(int w, int h) {
    PackedDib dib = PackedDib::Create(w, h, 8, 256);
    RGBQUAD* table = dib.ColorTable();
    for (int i = 0; i < 256; ++i)
        table[i] = {static_cast<BYTE>(i), static_cast<BYTE>(255 - i), static_cast<BYTE>(i / 2), 0};
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            dib.Row(y)[x] = static_cast<BYTE>(x * 7 + y * 13);
    return dib;
}

// An uncompressed 8-bit palette TIFF cut where its colour map begins.
Bytes TiffWithoutColourMap() {
    MemoryWriter out;
    if (!EncodeTiff(PaletteImage(16, 8), 1, out, nullptr)) return {};
    Bytes b = out.Take();
    if (b.size() < 8 || b[0] != 'I') return {};
    auto u16 = [&b](std::size_t at) { return static_cast<unsigned>(b[at] | b[at + 1] << 8); };
    auto u32 = [&b, &u16](std::size_t at) { return u16(at) | u16(at + 2) << 16; };
    const std::size_t ifd = u32(4);
    for (unsigned i = 0, n = u16(ifd); i < n; ++i) {
        const std::size_t e = ifd + 2 + 12 * i;
        if (u16(e) == 320) {
            b.resize(u32(e + 8) + 10);
            return b;
        }
    }
    return {};
}

// An 8-bit PCX whose trailing palette (0x0C and 768 bytes) stops after a few colours.
Bytes PcxWithCutPalette() {
    MemoryWriter out;
    if (!EncodePcx(PaletteImage(16, 8), out, nullptr)) return {};
    Bytes b = out.Take();
    if (b.size() < 769 || b[b.size() - 769] != 0x0C) return {};
    b.resize(b.size() - 700);
    return b;
}

// A small JPEG XL codestream whose size header claims side x side pixels: the header's bits are
// rewritten (least significant first, as the format packs them) and the rest follows unchanged.
Bytes JxlClaiming(std::uint32_t side) {
    const PackedDib pic = CreateSolidDIB(16, 8, RGB(10, 200, 30), 255);
    Bytes file;
    if (!EncodeJxl({&pic}, 100, 90, file, nullptr)) return {};
    static constexpr int kBits[4] = {9, 13, 18, 30};
    std::size_t in = 0;
    const auto read = [&](int n) {
        std::uint32_t v = 0;
        for (int i = 0; i < n; ++i, ++in)
            v |= std::uint32_t((file[in / 8] >> (in % 8)) & 1) << i;
        return v;
    };
    Bytes out;
    std::size_t at = 0;
    const auto write = [&](std::uint32_t v, int n) {
        for (int i = 0; i < n; ++i, ++at) {
            if (at / 8 >= out.size()) out.push_back(0);
            out[at / 8] |= static_cast<BYTE>(((v >> i) & 1) << (at % 8));
        }
    };
    write(read(16), 16);
    if (read(1)) {
        read(5);
        if (read(3) == 0) read(5);
    } else {
        read(kBits[read(2)]);
        if (read(3) == 0) read(kBits[read(2)]);
    }
    write(0, 1), write(3, 2), write(side - 1, 30), write(0, 3), write(3, 2), write(side - 1, 30);
    while (in < 8 * file.size())
        write(read(1), 1);
    return out;
}

bool Save(const std::filesystem::path& dir, const char* target, const char* name, const Bytes& bytes) {
    if (bytes.empty()) {
        std::fprintf(stderr, "could not make %s/%s\n", target, name);
        return false;
    }
    std::filesystem::create_directories(dir / target);
    std::ofstream f(dir / target / name, std::ios::binary);
    f.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    return static_cast<bool>(f);
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: zepho-fuzz-regressions DIR\n");
        return 2;
    }
    const std::filesystem::path dir = argv[1];
    bool ok = true;

    Ref<CTextObj> text = MakeRef<CTextObj>();
    CTextRun run;
    run.face = "DejaVu Sans";
    run.spacing = 16777296;
    run.SetText(u"Ab");
    text->runs.push_back(run);
    ok &= Save(dir, "native", "text-letter-spacing-16777296.qzi", Document(64, 64, {{text}}));

    ok &= Save(dir, "native", "rectangle-9e6-by-2.qzi", Document(64, 64, {{Rectangle(9e6, 2)}}));

    Entry far{Rectangle(10, 10), 1000, 0, true, 100, 2147483000, 10};
    ok &= Save(dir, "native", "shadow-offset-2147483000.qzi", Document(64, 64, {far}));

    ok &= Save(dir, "native", "rectangle-30000-square.qzi", Document(64, 64, {{Rectangle(30000, 30000)}}));

    ok &= Save(dir, "native", "table-entries-share-payload.qzi",
               Document(64, 64, std::vector<Entry>(64, Entry{Rectangle(1500, 1500)}), true));

    Entry big{Rectangle(8000, 8000), 0, 0, true, 255, 10, 10};
    ok &= Save(dir, "native", "image-8000-square-shadow-255.qzi", Document(64, 64, {big}));

    ok &= Save(dir, "icon", "entries-share-image.ico", SharedIcon(1000));
    ok &= Save(dir, "png", "bilevel-30000-square.png", BlankBitPng(30000));
    ok &= Save(dir, "tiff", "palette-cut-before-colour-map.tif", TiffWithoutColourMap());
    ok &= Save(dir, "pcx", "palette-8-bit-cut.pcx", PcxWithCutPalette());
    ok &= Save(dir, "jxl", "size-claims-50000-square.jxl", JxlClaiming(50000));
    return ok ? 0 : 1;
}
