// PackedDib: the owner of one packed device-independent bitmap block.
//
// The block is laid out byte for byte as a packed DIB: a 40-byte BITMAPINFOHEADER, three DWORD
// channel masks when biCompression is BI_BITFIELDS, the RGBQUAD colour table for depths of 8 bits
// or less (biClrUsed entries, or 2^bitcount when that is 0), then the pixel rows bottom-up, each
// padded to a multiple of 4 bytes. An empty PackedDib stands for "no image".
#pragma once

#include "platform/PixelBudget.h"
#include "platform/WinTypes.h"

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <utility>

// Most pixels one raster may have: unlimited but for PackedDib::kMaxBytes, except in fuzz builds,
// which set it so that an input claiming a huge picture costs a refusal instead of seconds of
// memory traffic. Every raster is created through PackedDib::Layout, which checks it.
#ifndef ZEPHO_MAX_RASTER_PIXELS
#define ZEPHO_MAX_RASTER_PIXELS UINT64_MAX
#endif

namespace zepho {

class PackedDib {
public:
    // Largest block we are prepared to hold. Keeps every size a DWORD and every
    // offset computation far from overflow.
    static constexpr std::size_t kMaxBytes = 0xFFFFFFF0u;
    static constexpr std::uint64_t kMaxPixels = ZEPHO_MAX_RASTER_PIXELS;

    PackedDib() = default;
    ~PackedDib() { Release(); }
    PackedDib(PackedDib&& o) noexcept
        : block_(std::exchange(o.block_, nullptr)), data_(std::exchange(o.data_, nullptr)),
          size_(std::exchange(o.size_, 0)), pixelOffset_(std::exchange(o.pixelOffset_, 0)) {}
    PackedDib& operator=(PackedDib&& o) noexcept {
        if (this != &o) {
            Release();
            block_ = std::exchange(o.block_, nullptr);
            data_ = std::exchange(o.data_, nullptr);
            size_ = std::exchange(o.size_, 0);
            pixelOffset_ = std::exchange(o.pixelOffset_, 0);
        }
        return *this;
    }
    // Copies are explicit: Share() for a second reference to the same pixels, Clone() for a
    // separate block.
    PackedDib(const PackedDib&) = delete;
    PackedDib& operator=(const PackedDib&) = delete;

    // A new zero-filled DIB. colorsUsed is stored for depths of 8 or less when above 0.
    // Empty when the arguments are invalid, the size overflows, memory runs out or the pixel
    // budget of the document being read would be passed (PixelBudgetScope).
    static PackedDib Create(int width, int height, int bitCount, int colorsUsed = 0,
                            DWORD compression = BI_RGB);
    // A copy of a packed DIB held in memory, after checking that the header describes a block
    // that fits in `size` bytes. Empty when it does not.
    static PackedDib FromBytes(const void* data, std::size_t size);

    // Bytes of one row for the width and depth; 0 when it overflows.
    static std::size_t RowBytes(LONG width, int bitCount);
    // Offset of the pixels and the total block size that a header describes; false when the
    // header is invalid or the sizes overflow.
    static bool Layout(const BITMAPINFOHEADER& h, std::size_t& pixelOffset, std::size_t& total);

    bool IsNull() const { return !data_; }
    // The header still describes the block this object holds, with the pixels where the block
    // keeps them (a header edited after creation, with a depth of 3 or a width of 0, fails).
    bool IsSound() const {
        std::size_t offset = 0, total = 0;
        return data_ && size_ >= sizeof(BITMAPINFOHEADER) && Layout(*Header(), offset, total) &&
               total <= size_ && pixelOffset_ == offset;
    }
    explicit operator bool() const { return data_ != nullptr; }
    void Reset() { *this = PackedDib(); }

    // A second holder of the same block, in constant time. The holders share the pixels until
    // one of them writes: every non-const accessor below first gives its holder a block of its
    // own when another holds it too (copy on write), so no holder ever sees another's change.
    // The count is atomic: holders may live and read on different threads. One PackedDib object
    // is still used by one thread at a time, except that several threads may write through it
    // at once when it is not shared (call Detach() before handing it to them).
    PackedDib Share() const;
    // A block of its own, copied now.
    PackedDib Clone() const;
    // Makes this holder the only one of its block (copying it if another holds it too). The
    // non-const accessors do this themselves.
    void Detach() {
        if (block_ && IsShared()) DetachSlow();
    }
    // Whether another PackedDib holds the same block.
    bool IsShared() const { return block_ && block_->holders.load(std::memory_order_acquire) > 1; }
    // Names the block: holders that share one give the same key (null for no image). For
    // counting memory that several holders share once.
    const void* BlockKey() const { return block_; }
    // Bytes of the block this holder keeps alive (0 for no image).
    std::size_t BlockBytes() const { return size_; }
    // Blocks copied by a write to a shared block, since the start (for tests and measurements).
    static std::uint64_t DetachCount();

    BYTE* Data() {
        Detach();
        return data_;
    }
    const BYTE* Data() const { return data_; }
    std::size_t Size() const { return size_; }

    BITMAPINFOHEADER* Header() { return reinterpret_cast<BITMAPINFOHEADER*>(Data()); }
    const BITMAPINFOHEADER* Header() const { return reinterpret_cast<const BITMAPINFOHEADER*>(data_); }

    int Width() const { return data_ ? Header()->biWidth : 0; }
    int Height() const { return data_ ? Header()->biHeight : 0; }
    int BitCount() const { return data_ ? Header()->biBitCount : 0; }
    bool Is32() const { return data_ && Header()->biBitCount == 32 && Width() > 0 && Height() > 0; }
    std::size_t Stride() const { return data_ ? RowBytes(Width(), BitCount()) : 0; }

    // The three channel masks (red, green, blue) of a BI_BITFIELDS DIB, otherwise null.
    const DWORD* Masks() const;
    DWORD* Masks() {
        Detach();
        return const_cast<DWORD*>(static_cast<const PackedDib*>(this)->Masks());
    }
    // The colour table; null for depths above 8.
    const RGBQUAD* ColorTable() const;
    RGBQUAD* ColorTable() {
        Detach();
        return const_cast<RGBQUAD*>(static_cast<const PackedDib*>(this)->ColorTable());
    }
    int ColorCount() const;

    // First stored row (the bottom row of the picture).
    BYTE* Bits() {
        Detach();
        return data_ ? data_ + pixelOffset_ : nullptr;
    }
    const BYTE* Bits() const { return data_ ? data_ + pixelOffset_ : nullptr; }
    // Picture row y counted from the top (stored row height - 1 - y).
    BYTE* Row(int y) { return Bits() + static_cast<std::size_t>(Height() - 1 - y) * Stride(); }
    const BYTE* Row(int y) const { return Bits() + static_cast<std::size_t>(Height() - 1 - y) * Stride(); }
    // 32-bit pixel access by picture coordinates.
    BYTE* Pixel32(int x, int y) { return Row(y) + 4 * static_cast<std::size_t>(x); }
    const BYTE* Pixel32(int x, int y) const { return Row(y) + 4 * static_cast<std::size_t>(x); }

private:
    // One allocation and its holders. The ticket is declared first so that the pixels leave the
    // budget only after they are freed.
    struct Block {
        PixelTicket ticket;
        BYTE* raw = nullptr;
        std::atomic<std::uint32_t> holders{1};
        Block() = default;
        Block(const Block&) = delete;
        Block& operator=(const Block&) = delete;
        ~Block() { std::free(raw); }
    };
    // A zero-filled block whose pixels (at pixelOffset) start on a 64-byte boundary, so that
    // the kernels' vector loads do not straddle cache lines.
    // The pixels are charged to the budget open on this thread, if any, before allocating; a
    // refused charge fails the allocation unless withinBudget is false.
    static PackedDib Allocate(std::size_t bytes, std::size_t pixelOffset, LONG width, LONG height,
                              bool withinBudget = true);

    void Release();
    void DetachSlow();

    Block* block_ = nullptr;
    // Cached from the block: the header's address, the block's size and the pixels' offset.
    BYTE* data_ = nullptr;
    std::size_t size_ = 0;
    std::size_t pixelOffset_ = 0;
};

} // namespace zepho
