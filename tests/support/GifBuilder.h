// Hand-made GIF files for tests.
#pragma once

#include "platform/WinTypes.h"

#include <algorithm>
#include <cstdint>
#include <initializer_list>
#include <vector>

namespace zepho::test {

// Hand-made files. Image data is written without compression: one colour code per pixel, with a
// clear code before the table would make the codes wider.
class GifBuilder {
public:
    std::vector<BYTE> bytes;

    GifBuilder& Raw(std::initializer_list<int> v) {
        for (int b : v)
            bytes.push_back(static_cast<BYTE>(b));
        return *this;
    }
    GifBuilder& U16(int v) { return Raw({v & 0xFF, (v >> 8) & 0xFF}); }
    GifBuilder& Header(const char* signature, int w, int h, const std::vector<std::uint32_t>& table,
                       int bg = 0) {
        bytes.insert(bytes.end(), signature, signature + 6);
        U16(w).U16(h);
        Raw({table.empty() ? 0 : 0x80 | (TableBits(table) - 1), bg, 0});
        Table(table);
        return *this;
    }
    GifBuilder& Control(int flags, int delay, int transparent) {
        return Raw({0x21, 0xF9, 4, flags}).U16(delay).Raw({transparent, 0});
    }
    GifBuilder& Image(int left, int top, int w, int h, const std::vector<BYTE>& indices, int minCode,
                      int flags = 0, const std::vector<std::uint32_t>& local = {}) {
        Raw({0x2C}).U16(left).U16(top).U16(w).U16(h);
        Raw({flags | (local.empty() ? 0 : 0x80 | (TableBits(local) - 1))});
        Table(local);
        Raw({minCode});
        const int clear = 1 << minCode;
        std::vector<int> codes{clear};
        int sinceClear = 0;
        for (BYTE i : indices) {
            if (sinceClear == clear - 2) {
                codes.push_back(clear);
                sinceClear = 0;
            }
            codes.push_back(i);
            ++sinceClear;
        }
        codes.push_back(clear + 1);
        return Codes(codes, minCode + 1);
    }
    // Codes of one width in sub-blocks, then the terminator.
    GifBuilder& Codes(const std::vector<int>& codes, int width) {
        std::vector<BYTE> data;
        std::uint32_t acc = 0;
        int bits = 0;
        for (int c : codes) {
            acc |= std::uint32_t(c) << bits;
            for (bits += width; bits >= 8; bits -= 8, acc >>= 8)
                data.push_back(static_cast<BYTE>(acc));
        }
        if (bits > 0) data.push_back(static_cast<BYTE>(acc));
        for (std::size_t at = 0; at < data.size(); at += 255) {
            const std::size_t n = std::min<std::size_t>(255, data.size() - at);
            bytes.push_back(static_cast<BYTE>(n));
            bytes.insert(bytes.end(), data.begin() + static_cast<std::ptrdiff_t>(at),
                         data.begin() + static_cast<std::ptrdiff_t>(at + n));
        }
        bytes.push_back(0);
        return *this;
    }
    GifBuilder& Trailer() { return Raw({0x3B}); }

private:
    static int TableBits(const std::vector<std::uint32_t>& t) {
        int k = 1;
        while ((1u << k) < t.size())
            ++k;
        return k;
    }
    void Table(const std::vector<std::uint32_t>& t) {
        for (std::size_t i = 0; i < (t.empty() ? 0 : std::size_t{1} << TableBits(t)); ++i) {
            const std::uint32_t c = i < t.size() ? t[i] : 0; // 0xRRGGBB
            Raw({int(c >> 16) & 0xFF, int(c >> 8) & 0xFF, int(c) & 0xFF});
        }
    }
};

} // namespace zepho::test
