#include "platform/PackedDib.h"

#include <cstdint>
#include <cstdio>
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

namespace {
std::atomic<std::uint64_t> gDetaches{0};
} // namespace

PackedDib PackedDib::Allocate(std::size_t bytes, std::size_t pixelOffset, LONG width, LONG height,
                              bool withinBudget) {
    constexpr std::size_t kAlign = 64;
    PackedDib dib;
    if (bytes == 0 || bytes > kMaxBytes || pixelOffset > bytes) return dib;
    auto block = std::make_unique<Block>();
    if (!block->ticket.Charge(width, height) && withinBudget) return dib;
    block->raw = static_cast<BYTE*>(std::calloc(1, bytes + kAlign));
    if (!block->raw) return dib;
    const auto base = reinterpret_cast<std::uintptr_t>(block->raw);
    const std::size_t shift = (kAlign - (base + pixelOffset) % kAlign) % kAlign;
    dib.data_ = block->raw + shift;
    dib.size_ = bytes;
    dib.pixelOffset_ = pixelOffset;
    dib.block_ = block.release();
    return dib;
}

void PackedDib::Release() {
    if (block_ && block_->holders.fetch_sub(1, std::memory_order_acq_rel) == 1) delete block_;
    block_ = nullptr;
    data_ = nullptr;
    size_ = 0;
    pixelOffset_ = 0;
}

PackedDib PackedDib::Share() const {
    PackedDib dib;
    if (!block_) return dib;
    block_->holders.fetch_add(1, std::memory_order_relaxed);
    dib.block_ = block_;
    dib.data_ = data_;
    dib.size_ = size_;
    dib.pixelOffset_ = pixelOffset_;
    return dib;
}

void PackedDib::DetachSlow() {
    // The write must not reach the other holders, and the caller cannot be told of a failure: a
    // budget open on this thread counts the copy but does not stop it; only running out of
    // memory does, as it would for any allocation.
    PackedDib own = Allocate(size_, pixelOffset_, Width(), Height(), false);
    if (own) std::memcpy(own.data_, data_, size_);
    if (!own) {
        std::fprintf(stderr, "out of memory copying a %zu-byte image\n", size_);
        std::abort();
    }
    gDetaches.fetch_add(1, std::memory_order_relaxed);
    *this = std::move(own);
}

std::uint64_t PackedDib::DetachCount() {
    return gDetaches.load(std::memory_order_relaxed);
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
