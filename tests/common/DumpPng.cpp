#include "common/DumpPng.h"

#include <png.h>

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <vector>

namespace zepho::test {

namespace {

// Kept apart so that nothing set up before setjmp changes afterwards.
bool WriteRows(png_structp png, png_infop info, FILE* file, int w, int h, png_bytepp rows) {
    if (setjmp(png_jmpbuf(png))) return false;
    png_init_io(png, file);
    png_set_IHDR(png, info, w, h, 8, PNG_COLOR_TYPE_RGB_ALPHA, PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, info);
    png_write_image(png, rows);
    png_write_end(png, nullptr);
    return true;
}

} // namespace

bool DumpPng(const std::string& name, const PackedDib& dib) {
    const char* dir = std::getenv("ZEPHO_TEST_DUMP");
    if (!dir || !*dir || !dib.Is32()) return false;
    const int w = dib.Width(), h = dib.Height();
    // Our pixels are B, G, R, A; PNG wants R, G, B, A.
    std::vector<png_byte> rgba(static_cast<std::size_t>(w) * h * 4);
    std::vector<png_bytep> rows(h);
    for (int y = 0; y < h; ++y) {
        const BYTE* s = dib.Row(y);
        png_bytep d = rgba.data() + static_cast<std::size_t>(y) * w * 4;
        rows[y] = d;
        for (int x = 0; x < w; ++x, s += 4, d += 4) {
            d[0] = s[2];
            d[1] = s[1];
            d[2] = s[0];
            d[3] = s[3];
        }
    }
    const std::string path = std::string(dir) + "/" + name + ".png";
    std::unique_ptr<FILE, int (*)(FILE*)> file(std::fopen(path.c_str(), "wb"), &std::fclose);
    if (!file) return false;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png ? png_create_info_struct(png) : nullptr;
    const bool ok = info && WriteRows(png, info, file.get(), w, h, rows.data());
    png_destroy_write_struct(&png, info ? &info : nullptr);
    return ok;
}

} // namespace zepho::test
