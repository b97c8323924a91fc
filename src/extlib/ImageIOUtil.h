// Helpers shared by the file-format readers and writers behind CImage.
#pragma once

#include "platform/PackedDib.h"
#include "platform/Services.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace zepho::imageio {

// Advances a progress indicator (which may be null) as rows go, touching it only when the
// percentage changes, so a tall image costs at most a hundred calls.
class RowProgress {
public:
    RowProgress(IProgress* progress, std::uint64_t total) : progress_(progress), total_(total) { Update(0); }
    void Update(std::uint64_t done) {
        if (!progress_) return;
        const int pct = total_ ? static_cast<int>(std::min<std::uint64_t>(done, total_) * 100 / total_) : 100;
        if (pct == last_) return;
        last_ = pct;
        progress_->SetPos(pct);
        progress_->Pump();
    }
    void Finish() { Update(total_); }

private:
    IProgress* progress_;
    std::uint64_t total_;
    int last_ = -1;
};

// The whole file in memory; false for anything but a readable regular file.
bool ReadWholeFile(const std::string& path, std::vector<BYTE>& out);

// Whether `decoded` bytes can plausibly come out of `encoded` bytes at a codec's best ratio.
// Checked before anything is allocated, so a tiny file that claims a huge image fails at once.
inline bool Plausible(std::uint64_t decoded, std::uint64_t encoded, std::uint64_t ratio) {
    constexpr std::uint64_t kLimit = std::uint64_t{1} << 40;
    if (encoded > kLimit / ratio) return true;
    return decoded <= encoded * ratio;
}

// Little- and big-endian fields of a buffer whose length the caller has checked.
inline WORD Le16(const BYTE* p) {
    return static_cast<WORD>(p[0] | (p[1] << 8));
}
inline DWORD Le32(const BYTE* p) {
    return static_cast<DWORD>(p[0]) | (static_cast<DWORD>(p[1]) << 8) | (static_cast<DWORD>(p[2]) << 16) |
           (static_cast<DWORD>(p[3]) << 24);
}
inline WORD Be16(const BYTE* p) {
    return static_cast<WORD>((p[0] << 8) | p[1]);
}
inline DWORD Be32(const BYTE* p) {
    return (static_cast<DWORD>(p[0]) << 24) | (static_cast<DWORD>(p[1]) << 16) |
           (static_cast<DWORD>(p[2]) << 8) | static_cast<DWORD>(p[3]);
}

// A palette DIB's colour table filled with an even grey ramp of `n` entries.
void SetGrayRamp(PackedDib& dib, int n);
// True when every entry of the colour table is a grey.
bool IsGrayPalette(const PackedDib& dib);
// Highest pixel index a palette DIB uses.
int MaxIndex(const PackedDib& dib);
// Number of colour-table entries a writer must store: the table, grown to cover every index the
// pixels use (missing entries are black), at most 2^bits.
int PaletteEntries(const PackedDib& dib);
// Colour `i` of the table, black beyond its end.
RGBQUAD PaletteColor(const PackedDib& dib, int i);

// Picture row y (from the top) of any DIB as blue, green, red triples; `out` holds 3 * width.
void RowToBgr(const PackedDib& dib, int y, BYTE* out);
// A 24-bit copy of any DIB. Empty on failure.
PackedDib ToBgr24(const PackedDib& dib);

// Whether a DIB is something the writers accept: a valid header of 1, 4, 8, 16, 24 or 32 bits.
bool Writable(const PackedDib& dib);

} // namespace zepho::imageio
