#include "platform/PackedDib.h"

#include <cstdint>
#include <cstring>

namespace zepho {

namespace {
bool ValidDepth(int bitCount) {
    return bitCount == 1 || bitCount == 4 || bitCount == 8 || bitCount == 16 || bitCount == 24 ||
           bitCount == 32;
}
} // namespace

std::size_t PackedDib::RowBytes(LONG width, int bitCount) {
    if (width < 0 || bitCount <= 0 || bitCount > 32) return 0;
    const unsigned long long bits = static_cast<unsigned long long>(width) * bitCount;
    return static_cast<std::size_t>(((bits + 31) / 32) * 4);
}

bool PackedDib::Layout(const BITMAPINFOHEADER& h, std::size_t& pixelOffset, std::size_t& total) {
    if (h.biSize != sizeof(BITMAPINFOHEADER)) return false;
    if (h.biWidth <= 0 || h.biHeight <= 0 || !ValidDepth(h.biBitCount)) return false;
    if (static_cast<std::uint64_t>(h.biWidth) * static_cast<std::uint64_t>(h.biHeight) > kMaxPixels)
        return false;
    if (h.biCompression != BI_RGB && h.biCompression != BI_BITFIELDS) return false;
    if (h.biCompression == BI_BITFIELDS && h.biBitCount != 16 && h.biBitCount != 32) return false;
    unsigned long long offset = sizeof(BITMAPINFOHEADER);
    if (h.biCompression == BI_BITFIELDS) offset += 12;
    if (h.biBitCount <= 8) {
        unsigned long long colours = h.biClrUsed ? h.biClrUsed : (1ull << h.biBitCount);
        if (colours > 256) return false;
        offset += colours * sizeof(RGBQUAD);
    }
    const unsigned long long rows = static_cast<unsigned long long>(RowBytes(h.biWidth, h.biBitCount)) *
                                    static_cast<unsigned long long>(h.biHeight);
    const unsigned long long all = offset + rows;
    if (all > kMaxBytes) return false;
    pixelOffset = static_cast<std::size_t>(offset);
    total = static_cast<std::size_t>(all);
    return true;
}

PackedDib PackedDib::Allocate(std::size_t bytes, std::size_t pixelOffset, LONG width, LONG height) {
    constexpr std::size_t kAlign = 64;
    PackedDib dib;
    if (bytes == 0 || bytes > kMaxBytes || pixelOffset > bytes) return dib;
    if (!dib.ticket_.Charge(width, height)) return dib;
    dib.raw_.reset(static_cast<BYTE*>(std::calloc(1, bytes + kAlign)));
    if (!dib.raw_) {
        dib.ticket_.Release();
        return dib;
    }
    const auto base = reinterpret_cast<std::uintptr_t>(dib.raw_.get());
    const std::size_t shift = (kAlign - (base + pixelOffset) % kAlign) % kAlign;
    dib.data_ = dib.raw_.get() + shift;
    dib.size_ = bytes;
    dib.pixelOffset_ = pixelOffset;
    return dib;
}

PackedDib PackedDib::Create(int width, int height, int bitCount, int colorsUsed, DWORD compression) {
    BITMAPINFOHEADER h{};
    h.biSize = sizeof(BITMAPINFOHEADER);
    h.biWidth = width;
    h.biHeight = height;
    h.biPlanes = 1;
    h.biBitCount = static_cast<WORD>(bitCount);
    h.biCompression = compression;
    h.biClrUsed = (colorsUsed > 0 && bitCount <= 8) ? static_cast<DWORD>(colorsUsed) : 0;
    std::size_t offset = 0, total = 0;
    if (!Layout(h, offset, total)) return {};
    PackedDib dib = Allocate(total, offset, h.biWidth, h.biHeight);
    if (dib) std::memcpy(dib.data_, &h, sizeof h);
    return dib;
}

PackedDib PackedDib::FromBytes(const void* data, std::size_t size) {
    if (!data || size < sizeof(BITMAPINFOHEADER)) return {};
    BITMAPINFOHEADER h;
    std::memcpy(&h, data, sizeof h);
    std::size_t offset = 0, total = 0;
    if (!Layout(h, offset, total) || total > size) return {};
    PackedDib dib = Allocate(total, offset, h.biWidth, h.biHeight);
    if (dib) std::memcpy(dib.data_, data, total);
    return dib;
}

PackedDib PackedDib::Clone() const {
    if (!data_) return {};
    PackedDib dib = Allocate(size_, pixelOffset_, Width(), Height());
    if (dib) std::memcpy(dib.data_, data_, size_);
    return dib;
}

const DWORD* PackedDib::Masks() const {
    if (!data_ || Header()->biCompression != BI_BITFIELDS) return nullptr;
    return reinterpret_cast<const DWORD*>(data_ + sizeof(BITMAPINFOHEADER));
}

const RGBQUAD* PackedDib::ColorTable() const {
    if (!data_ || BitCount() > 8) return nullptr;
    std::size_t off = sizeof(BITMAPINFOHEADER) + (Header()->biCompression == BI_BITFIELDS ? 12 : 0);
    return reinterpret_cast<const RGBQUAD*>(data_ + off);
}

int PackedDib::ColorCount() const {
    if (!data_ || BitCount() > 8) return 0;
    return Header()->biClrUsed ? static_cast<int>(Header()->biClrUsed) : (1 << BitCount());
}

} // namespace zepho
