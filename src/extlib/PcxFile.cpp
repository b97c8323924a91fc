// PCX files: 1-bit black and white, 16 colours as four 1-bit planes (or 2 and 3 planes, or one
// 4-bit plane), 256 colours with the palette at the end of the file, and 24 bits as three 8-bit
// planes (a fourth plane is read as alpha). Run-length coded or raw.
#include "extlib/ImageIOCodecs.h"
#include "extlib/ImageIOUtil.h"

#include <cstring>

namespace zepho {

using namespace imageio;

namespace {

constexpr std::size_t kHeader = 128;
constexpr std::size_t kTailPalette = 769; // 0x0C, then 256 red, green, blue triples

} // namespace

PackedDib DecodePcx(std::span<const BYTE> f, IProgress* progress) {
    if (f.size() < kHeader || f[0] != 0x0A || f[2] > 1) return {};
    const bool rle = f[2] == 1;
    const int bits = f[3], planes = f[65];
    const int xmin = Le16(&f[4]), ymin = Le16(&f[6]), xmax = Le16(&f[8]), ymax = Le16(&f[10]);
    const std::size_t bytesPerLine = Le16(&f[66]);
    if (xmax < xmin || ymax < ymin) return {};
    const int w = xmax - xmin + 1, h = ymax - ymin + 1;

    int outBits = 0;
    if (bits == 1 && planes == 1)
        outBits = 1;
    else if (bits == 1 && planes >= 2 && planes <= 4)
        outBits = 4;
    else if (bits == 4 && planes == 1)
        outBits = 4;
    else if (bits == 8 && planes == 1)
        outBits = 8;
    else if (bits == 8 && planes == 3)
        outBits = 24;
    else if (bits == 8 && planes == 4)
        outBits = 32;
    else
        return {};
    if (bytesPerLine < (static_cast<std::size_t>(w) * bits + 7) / 8) return {};

    std::size_t end = f.size();
    bool tailPalette = false;
    if (outBits == 8 && f.size() >= kHeader + kTailPalette && f[f.size() - kTailPalette] == 0x0C) {
        tailPalette = true;
        end -= kTailPalette;
    }
    // A 256-colour picture keeps its colours in that table. Without it (a file cut short) every
    // pixel would come out wrong; only a picture marked grey (palette info 2) does without.
    if (outBits == 8 && !tailPalette && Le16(&f[68]) != 2) return {};
    const std::span<const BYTE> data = f.subspan(kHeader, end - kHeader);
    const std::size_t lineBytes = bytesPerLine * planes;
    const std::uint64_t total = static_cast<std::uint64_t>(lineBytes) * h;
    // One two-byte run gives at most 63 bytes.
    if (rle ? !Plausible(total, data.size(), 32) : total > data.size()) return {};

    PackedDib dib = PackedDib::Create(w, h, outBits, outBits == 1 ? 2 : outBits == 4 ? 16 : 0);
    if (!dib) return dib;
    RGBQUAD* table = dib.ColorTable();
    if (outBits == 1) {
        table[1] = RGBQUAD{255, 255, 255, 0};
    } else if (outBits == 4) {
        for (int i = 0; i < 16; ++i)
            table[i] = RGBQUAD{f[16 + 3 * i + 2], f[16 + 3 * i + 1], f[16 + 3 * i], 0};
    } else if (outBits == 8) {
        if (tailPalette) {
            const BYTE* p = &f[f.size() - 768];
            for (int i = 0; i < 256; ++i)
                table[i] = RGBQUAD{p[3 * i + 2], p[3 * i + 1], p[3 * i], 0};
        } else {
            SetGrayRamp(dib, 256);
        }
    }

    std::vector<BYTE> line(lineBytes);
    std::size_t p = 0;
    int pending = 0; // a run may carry over into the next line
    BYTE runValue = 0;
    RowProgress steps(progress, static_cast<std::uint64_t>(h));
    for (int y = 0; y < h; ++y) {
        std::size_t i = 0;
        if (!rle) {
            std::memcpy(line.data(), &data[p], lineBytes);
            p += lineBytes;
            i = lineBytes;
        }
        while (i < lineBytes) {
            if (pending > 0) {
                const std::size_t n = std::min<std::size_t>(pending, lineBytes - i);
                std::memset(&line[i], runValue, n);
                i += n;
                pending -= static_cast<int>(n);
                continue;
            }
            if (p >= data.size()) return {};
            const BYTE c = data[p++];
            if ((c & 0xC0) == 0xC0) {
                if (p >= data.size()) return {};
                pending = c & 0x3F;
                runValue = data[p++];
            } else {
                line[i++] = c;
            }
        }
        BYTE* dst = dib.Row(y);
        if (bits == 1 && planes > 1) {
            for (int x = 0; x < w; ++x) {
                int v = 0;
                for (int pl = 0; pl < planes; ++pl)
                    v |= ((line[pl * bytesPerLine + (x >> 3)] >> (7 - (x & 7))) & 1) << pl;
                dst[x >> 1] |= static_cast<BYTE>((x & 1) ? v : v << 4);
            }
        } else if (planes == 1) {
            std::memcpy(dst, line.data(), (static_cast<std::size_t>(w) * bits + 7) / 8);
        } else {
            const int n = outBits / 8;
            for (int x = 0; x < w; ++x) {
                dst[n * x] = line[2 * bytesPerLine + x];
                dst[n * x + 1] = line[bytesPerLine + x];
                dst[n * x + 2] = line[x];
                if (n == 4) dst[n * x + 3] = line[3 * bytesPerLine + x];
            }
        }
        steps.Update(static_cast<std::uint64_t>(y) + 1);
    }
    return dib;
}

namespace {

void PackLine(const BYTE* src, std::size_t n, std::vector<BYTE>& out) {
    std::size_t i = 0;
    while (i < n) {
        std::size_t run = 1;
        while (i + run < n && run < 63 && src[i + run] == src[i])
            ++run;
        if (run > 1 || (src[i] & 0xC0) == 0xC0) out.push_back(static_cast<BYTE>(0xC0 | run));
        out.push_back(src[i]);
        i += run;
    }
}

bool IsBlackAndWhite(const PackedDib& dib) {
    if (dib.BitCount() != 1 || PaletteEntries(dib) > 2) return false;
    const RGBQUAD a = PaletteColor(dib, 0), b = PaletteColor(dib, 1);
    return a.rgbRed == 0 && a.rgbGreen == 0 && a.rgbBlue == 0 && b.rgbRed == 255 && b.rgbGreen == 255 &&
           b.rgbBlue == 255;
}

} // namespace

bool EncodePcx(const PackedDib& dib, ByteWriter& out, IProgress* progress) {
    if (!Writable(dib)) return false;
    const int w = dib.Width(), h = dib.Height(), srcBits = dib.BitCount();
    if (w > 0x10000 || h > 0x10000) return false;
    int bits = 8, planes = 3;
    if (IsBlackAndWhite(dib)) {
        bits = 1;
        planes = 1;
    } else if (srcBits <= 4) {
        bits = 1;
        planes = 4;
    } else if (srcBits == 8) {
        planes = 1;
    }
    std::size_t bytesPerLine = (static_cast<std::size_t>(w) * bits + 7) / 8;
    bytesPerLine += bytesPerLine & 1;
    if (bytesPerLine > 0xFFFF) return false;

    BYTE header[kHeader] = {};
    header[0] = 0x0A;
    header[1] = 5;
    header[2] = 1;
    header[3] = static_cast<BYTE>(bits);
    header[8] = static_cast<BYTE>(w - 1);
    header[9] = static_cast<BYTE>((w - 1) >> 8);
    header[10] = static_cast<BYTE>(h - 1);
    header[11] = static_cast<BYTE>((h - 1) >> 8);
    header[12] = header[14] = 72;
    if (bits == 1) {
        const int n = planes == 1 ? 2 : 16;
        for (int i = 0; i < n; ++i) {
            RGBQUAD c =
                planes == 1 ? RGBQUAD{BYTE(i * 255), BYTE(i * 255), BYTE(i * 255), 0} : PaletteColor(dib, i);
            header[16 + 3 * i] = c.rgbRed;
            header[16 + 3 * i + 1] = c.rgbGreen;
            header[16 + 3 * i + 2] = c.rgbBlue;
        }
    }
    header[65] = static_cast<BYTE>(planes);
    header[66] = static_cast<BYTE>(bytesPerLine);
    header[67] = static_cast<BYTE>(bytesPerLine >> 8);
    header[68] = 1;
    if (!out.Write(header, sizeof header)) return false;

    std::vector<BYTE> line(bytesPerLine * planes), bgr(srcBits > 8 ? 3 * static_cast<std::size_t>(w) : 0),
        packed;
    RowProgress steps(progress, static_cast<std::uint64_t>(h));
    for (int y = 0; y < h; ++y) {
        std::fill(line.begin(), line.end(), BYTE{0});
        const BYTE* src = dib.Row(y);
        if (bits == 1 && planes == 1) {
            std::memcpy(line.data(), src, (static_cast<std::size_t>(w) + 7) / 8);
        } else if (bits == 1) {
            const int perByte = 8 / srcBits, mask = (1 << srcBits) - 1;
            for (int x = 0; x < w; ++x) {
                const int v = (src[x / perByte] >> (8 - srcBits - (x % perByte) * srcBits)) & mask;
                for (int pl = 0; pl < 4; ++pl)
                    if ((v >> pl) & 1)
                        line[pl * bytesPerLine + (x >> 3)] |= static_cast<BYTE>(0x80 >> (x & 7));
            }
        } else if (planes == 1) {
            std::memcpy(line.data(), src, static_cast<std::size_t>(w));
        } else {
            RowToBgr(dib, y, bgr.data());
            for (int x = 0; x < w; ++x) {
                line[x] = bgr[3 * x + 2];
                line[bytesPerLine + x] = bgr[3 * x + 1];
                line[2 * bytesPerLine + x] = bgr[3 * x];
            }
        }
        packed.clear();
        for (int pl = 0; pl < planes; ++pl)
            PackLine(&line[pl * bytesPerLine], bytesPerLine, packed);
        if (!out.Write(packed.data(), packed.size())) return false;
        steps.Update(static_cast<std::uint64_t>(y) + 1);
    }
    if (bits == 8 && planes == 1) {
        BYTE tail[kTailPalette] = {0x0C};
        for (int i = 0; i < 256; ++i) {
            const RGBQUAD c = PaletteColor(dib, i);
            tail[1 + 3 * i] = c.rgbRed;
            tail[2 + 3 * i] = c.rgbGreen;
            tail[3 + 3 * i] = c.rgbBlue;
        }
        if (!out.Write(tail, sizeof tail)) return false;
    }
    return true;
}

} // namespace zepho
