// Pieces the codec tests share: files as bytes, a document of one object, a failing sink.
#pragma once

#include "codecs/OpenExport.h"
#include "model/DocImage.h"
#include "platform/ByteStream.h"

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include <zlib.h>

namespace zepho::test {

inline std::vector<BYTE> FileBytes(const std::string& path) {
    std::ifstream f(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>()};
}

inline void PutFile(const std::string& path, const std::vector<BYTE>& bytes) {
    std::ofstream f(path, std::ios::binary | std::ios::trunc);
    f.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

// A canvas of the raster's size (or the given one) with the raster as one visible object.
inline Ref<CDocImage> DocWith(PackedDib raster, int w = -1, int h = -1, int x = 0, int y = 0,
                              bool visible = true) {
    Ref<CDocImage> doc = MakeRef<CDocImage>();
    doc->width = w < 0 ? raster.Width() : w;
    doc->height = h < 0 ? raster.Height() : h;
    Ref<CObjContent> c = MakeRef<CObjContent>(KindImage);
    c->SetRaster(std::move(raster));
    Ref<CDrawObj> o = MakeRef<CDrawObj>(c);
    o->x = x;
    o->y = y;
    o->visible = visible ? 1 : 0;
    doc->objects.AddTail(o);
    return doc;
}

// A PNG chunk: big-endian length, type, data and its CRC.
template <class Bytes> std::vector<BYTE> PngChunk(const char* type, const Bytes& data) {
    std::vector<BYTE> c;
    const DWORD n = static_cast<DWORD>(data.size());
    for (int s = 24; s >= 0; s -= 8)
        c.push_back(BYTE(n >> s));
    c.insert(c.end(), type, type + 4);
    c.insert(c.end(), data.begin(), data.end());
    const uLong crc = crc32(crc32(0, reinterpret_cast<const Bytef*>(type), 4),
                            reinterpret_cast<const Bytef*>(data.data()), static_cast<uInt>(data.size()));
    for (int s = 24; s >= 0; s -= 8)
        c.push_back(BYTE(crc >> s));
    return c;
}

// A shell command's success, with its output dropped.
inline bool RunQuiet(const std::string& cmd) {
    return std::system((cmd + " >/dev/null 2>&1").c_str()) == 0;
}

// The file opened as the editor opens it; null when it does not open.
inline Ref<CDocImage> OpenDoc(const std::string& path, LoadFlags* out = nullptr) {
    Ref<CDocImage> doc = MakeRef<CDocImage>();
    LoadFlags flags;
    const bool ok = OpenFile(*doc, path, flags, nullptr);
    if (out) *out = flags;
    return ok ? doc : Ref<CDocImage>();
}

inline const PackedDib& RasterOf(const CDocImage& doc, int i = 0) {
    return doc.objects.At(i)->content->raster;
}

// What another program's decoder makes of a file (`tool FILE OUT.png`), read back through our
// PNG reader; empty when it fails.
inline PackedDib ReadBackWith(const std::string& tool, const std::string& file) {
    const std::string png = file + ".out.png";
    if (!RunQuiet(tool + " '" + file + "' '" + png + "'")) return {};
    Ref<CDocImage> doc = OpenDoc(png);
    std::remove(png.c_str());
    return doc ? RasterOf(*doc).Clone() : PackedDib();
}

// A sink that accepts `limit` bytes, then refuses.
class ShortWriter final : public ByteWriter {
public:
    explicit ShortWriter(std::size_t limit) : limit_(limit) {}

protected:
    bool WriteAt(std::uint64_t pos, const void*, std::size_t n) override { return pos + n <= limit_; }

private:
    std::size_t limit_;
};

} // namespace zepho::test
