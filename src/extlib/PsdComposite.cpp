// The flattened image at the end of a PSD file: after the header, the colour-mode data, the image
// resources and the layer section come the planes of the whole picture, raw or PackBits coded.
// Bitmap (1-bit), grey, indexed, RGB, CMYK and duotone images of 8 or 16 bits per sample are read;
// 16-bit samples keep their high byte.
#include "extlib/ImageIOCodecs.h"
#include "extlib/ImageIOUtil.h"

#include <cstring>

namespace zepho {

using namespace imageio;

namespace {

enum Mode { kBitmap = 0, kGray = 1, kIndexed = 2, kRgb = 3, kCmyk = 4, kDuotone = 8 };

// PackBits into exactly `n` bytes from `src`; false when the source runs out first.
bool UnpackRow(const BYTE* src, std::size_t size, BYTE* dst, std::size_t n) {
    std::size_t p = 0, done = 0;
    while (done < n) {
        if (p >= size) return false;
        const int head = src[p++];
        if (head < 128) {
            const std::size_t count = static_cast<std::size_t>(head) + 1;
            if (size - p < count) return false;
            const std::size_t take = std::min(count, n - done);
            std::memcpy(dst + done, src + p, take);
            p += count;
            done += take;
        } else if (head > 128) {
            if (p >= size) return false;
            const std::size_t take = std::min<std::size_t>(257 - head, n - done);
            std::memset(dst + done, src[p++], take);
            done += take;
        }
    }
    return true;
}

} // namespace

PackedDib DecodePsdComposite(std::span<const BYTE> f, IProgress* progress) {
    if (f.size() < 26 || std::memcmp(f.data(), "8BPS", 4) != 0 || Be16(&f[4]) != 1) return {};
    const int channels = Be16(&f[12]);
    const DWORD height = Be32(&f[14]), width = Be32(&f[18]);
    const int depth = Be16(&f[22]), mode = Be16(&f[24]);
    if (channels < 1 || channels > 56 || width == 0 || height == 0 || width > 300000 || height > 300000)
        return {};
    if (mode == kBitmap ? depth != 1 : depth != 8 && depth != 16) return {};

    std::uint64_t pos = 26;
    auto section = [&](std::uint64_t& start, std::uint64_t& length) {
        if (f.size() - pos < 4) return false;
        length = Be32(&f[pos]);
        start = pos + 4;
        if (f.size() - start < length) return false;
        pos = start + length;
        return true;
    };
    std::uint64_t modeStart = 0, modeLength = 0, resStart = 0, resLength = 0, layerStart = 0, layerLength = 0;
    if (!section(modeStart, modeLength) || !section(resStart, resLength) || !section(layerStart, layerLength))
        return {};
    // A negative layer count says the first extra channel of the composite is its transparency.
    bool mergedAlpha = false;
    if (layerLength >= 6) mergedAlpha = static_cast<std::int16_t>(Be16(&f[layerStart + 4])) < 0;
    if (f.size() - pos < 2) return {};
    const int compression = Be16(&f[pos]);
    pos += 2;
    if (compression > 1) return {};

    int need = 0, outBits = 0; // channels read, output depth
    switch (mode) {
    case kBitmap:
        need = 1;
        outBits = 1;
        break;
    case kGray:
    case kDuotone:
        need = 1;
        outBits = 8;
        if (mode == kGray && mergedAlpha && channels >= 2) {
            need = 2;
            outBits = 32;
        }
        break;
    case kIndexed:
        if (modeLength < 768) return {};
        need = 1;
        outBits = 8;
        break;
    case kRgb:
        need = 3;
        outBits = 24;
        if (mergedAlpha && channels >= 4) {
            need = 4;
            outBits = 32;
        }
        break;
    case kCmyk:
        need = 4;
        outBits = 24;
        break;
    default:
        return {};
    }
    if (channels < need) return {};

    const std::size_t rowBytes =
        mode == kBitmap ? (width + 7) / 8 : static_cast<std::size_t>(width) * (depth / 8);
    const std::uint64_t rows = static_cast<std::uint64_t>(channels) * height;
    const std::span<const BYTE> data = f.subspan(pos);
    // Where each row of each channel starts, checked against the file before anything is allocated.
    std::vector<std::uint64_t> rowStart, rowSize;
    if (compression == 0) {
        if (rowBytes * rows > data.size()) return {};
    } else {
        if (2 * rows > data.size()) return {};
        const std::uint64_t usedRows = static_cast<std::uint64_t>(need) * height;
        std::uint64_t offset = 2 * rows, sum = 0;
        for (std::uint64_t r = 0; r < rows; ++r)
            sum += Be16(&data[2 * r]);
        if (sum > data.size() - offset) return {};
        // A run of n + 2 bytes gives at most 128 bytes per two, so every row needs some bytes.
        if (!Plausible(rowBytes * usedRows, sum, 64)) return {};
        rowStart.resize(usedRows);
        rowSize.resize(usedRows);
        for (std::uint64_t r = 0; r < usedRows; ++r) {
            rowStart[r] = offset;
            rowSize[r] = Be16(&data[2 * r]);
            offset += rowSize[r];
        }
    }

    PackedDib dib = PackedDib::Create(static_cast<int>(width), static_cast<int>(height), outBits);
    if (!dib) return dib;
    RGBQUAD* table = dib.ColorTable();
    if (mode == kBitmap) {
        // Set bits are black.
        table[0] = RGBQUAD{255, 255, 255, 0};
    } else if (mode == kIndexed) {
        const BYTE* m = &f[modeStart];
        for (int i = 0; i < 256; ++i)
            table[i] = RGBQUAD{m[512 + i], m[256 + i], m[i], 0};
    } else if (outBits == 8) {
        SetGrayRamp(dib, 256);
    }

    std::vector<BYTE> plane(rowBytes * static_cast<std::size_t>(need));
    const int w = static_cast<int>(width), h = static_cast<int>(height), step = depth / 8;
    RowProgress steps(progress, height);
    for (int y = 0; y < h; ++y) {
        for (int c = 0; c < need; ++c) {
            BYTE* dst = &plane[c * rowBytes];
            const std::uint64_t r = static_cast<std::uint64_t>(c) * height + y;
            if (compression == 0) {
                std::memcpy(dst, &data[r * rowBytes], rowBytes);
            } else if (!UnpackRow(&data[rowStart[r]], rowSize[r], dst, rowBytes)) {
                return {};
            }
        }
        BYTE* out = dib.Row(y);
        const BYTE* p0 = plane.data();
        if (outBits == 1) {
            std::memcpy(out, p0, rowBytes);
        } else if (outBits == 8) {
            for (int x = 0; x < w; ++x)
                out[x] = p0[x * step];
        } else if (mode == kGray) {
            for (int x = 0; x < w; ++x) {
                out[4 * x] = out[4 * x + 1] = out[4 * x + 2] = p0[x * step];
                out[4 * x + 3] = p0[rowBytes + x * step];
            }
        } else if (mode == kCmyk) {
            // Stored inverted: 255 is no ink.
            for (int x = 0; x < w; ++x) {
                const int k = p0[3 * rowBytes + x * step];
                out[3 * x] = static_cast<BYTE>(p0[2 * rowBytes + x * step] * k / 255);
                out[3 * x + 1] = static_cast<BYTE>(p0[rowBytes + x * step] * k / 255);
                out[3 * x + 2] = static_cast<BYTE>(p0[x * step] * k / 255);
            }
        } else {
            const int n = outBits / 8;
            for (int x = 0; x < w; ++x) {
                out[n * x] = p0[2 * rowBytes + x * step];
                out[n * x + 1] = p0[rowBytes + x * step];
                out[n * x + 2] = p0[x * step];
                if (n == 4) out[n * x + 3] = p0[3 * rowBytes + x * step];
            }
        }
        steps.Update(static_cast<std::uint64_t>(y) + 1);
    }
    return dib;
}

} // namespace zepho
