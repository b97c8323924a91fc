// The hashed LZW compressor of the GIF writers. Codes go out least significant bit first, in
// data sub-blocks of at most 254 bytes.
#pragma once

#include "platform/ByteStream.h"
#include "platform/WinTypes.h"

#include <algorithm>
#include <array>
#include <cstdint>

namespace zepho::gif {

constexpr int kHashSize = 5003; // prime, about 80% occupancy at 4096 codes
constexpr int kHashShift = 4;   // 8 minus the doublings that take kHashSize to 65536
constexpr int kMaxBits = 12;
constexpr int kMaxMaxCode = 1 << kMaxBits;
constexpr int kPacketBytes = 254;

constexpr std::array<std::uint32_t, 17> kMasks = {0x0000, 0x0001, 0x0003, 0x0007, 0x000F, 0x001F,
                                                  0x003F, 0x007F, 0x00FF, 0x01FF, 0x03FF, 0x07FF,
                                                  0x0FFF, 0x1FFF, 0x3FFF, 0x7FFF, 0xFFFF};

inline int Log2(int n) {
    int k = 0;
    while ((1 << k) < n)
        ++k;
    return k;
}

// The hashed LZW compressor. Codes go out least significant bit first, in sub-blocks of at most
// 254 bytes.
class LzwEncoder {
public:
    // With `deferClear` a full table is kept (decoders then simply stop adding strings) until
    // the compression starts to fall off, instead of being cleared at once.
    LzwEncoder(ByteWriter& out, int minCodeSize, bool deferClear = false)
        : out_(out), initBits_(minCodeSize + 1), nBits_(initBits_), maxCode_(MaxCode(nBits_)),
          clearCode_(1 << minCodeSize), eofCode_(clearCode_ + 1), freeEnt_(clearCode_ + 2),
          deferClear_(deferClear) {
        ClearHash();
    }

    // Pixels that may show either of two indices: alt[k] replaces pixels[k] wherever that
    // continues the string being matched. Where neither does, pixels[k] starts the next one.
    void AddEither(const BYTE* pixels, const BYTE* alt, int n) {
        int k = 0;
        if (!started_ && n > 0) {
            Output(clearCode_);
            ent_ = pixels[0];
            started_ = true;
            k = 1;
        }
        int ent = ent_;
        pixelsSinceClear_ += static_cast<std::uint64_t>(n);
        for (; k < n; ++k) {
            const int c = pixels[k];
            int slot = 0;
            if (Find(c, ent, slot)) {
                ent = codetab_[slot];
                continue;
            }
            int other = 0;
            if (alt[k] != c && Find(alt[k], ent, other)) {
                ent = codetab_[other];
                continue;
            }
            // The next string starts with whichever value matches further ahead.
            int next = c;
            if (alt[k] != c &&
                MatchLength(alt[k], pixels, alt, k + 1, n) > MatchLength(c, pixels, alt, k + 1, n)) {
                next = alt[k];
                Find(next, ent, slot);
            }
            Output(ent);
            if (freeEnt_ < kMaxMaxCode) {
                codetab_[slot] = static_cast<std::uint16_t>(freeEnt_++);
                htab_[slot] = (std::int32_t(next) << kMaxBits) + ent;
            } else if (!deferClear_ || CompressionFallsOff()) {
                ClearBlock();
            }
            ent = next;
        }
        ent_ = ent;
    }

    void Add(const BYTE* pixels, int n) {
        int i0 = 0;
        if (!started_ && n > 0) {
            Output(clearCode_);
            ent_ = pixels[0];
            started_ = true;
            i0 = 1;
        }
        int ent = ent_;
        for (int k = i0; k < n; ++k) {
            const int c = pixels[k];
            const std::int32_t fcode = (std::int32_t(c) << kMaxBits) + ent;
            int i = (c << kHashShift) ^ ent;
            if (htab_[i] == fcode) {
                ent = codetab_[i];
                continue;
            }
            // Only -1 marks a free slot: key 0 (colour 0 after code 0) is a real entry.
            if (htab_[i] >= 0) {
                const int disp = i == 0 ? 1 : kHashSize - i;
                bool hit = false;
                do {
                    i -= disp;
                    if (i < 0) i += kHashSize;
                    if (htab_[i] == fcode) {
                        hit = true;
                        break;
                    }
                } while (htab_[i] >= 0);
                if (hit) {
                    ent = codetab_[i];
                    continue;
                }
            }
            Output(ent);
            ent = c;
            if (freeEnt_ < kMaxMaxCode) {
                codetab_[i] = static_cast<std::uint16_t>(freeEnt_++);
                htab_[i] = fcode;
            } else {
                ClearBlock();
            }
        }
        ent_ = ent;
    }

    void Finish() {
        if (started_)
            Output(ent_);
        else
            Output(clearCode_);
        Output(eofCode_);
    }

private:
    static int MaxCode(int bits) { return (1 << bits) - 1; }

    // Looks the string ent + c up; on a miss `slot` is the free slot where it would go.
    bool Find(int c, int ent, int& slot) const {
        const std::int32_t fcode = (std::int32_t(c) << kMaxBits) + ent;
        int i = (c << kHashShift) ^ ent;
        if (htab_[i] == fcode) {
            slot = i;
            return true;
        }
        if (htab_[i] >= 0) {
            const int disp = i == 0 ? 1 : kHashSize - i;
            do {
                i -= disp;
                if (i < 0) i += kHashSize;
                if (htab_[i] == fcode) {
                    slot = i;
                    return true;
                }
            } while (htab_[i] >= 0);
        }
        slot = i;
        return false;
    }

    // How many pixels from `from` on the string starting with `first` covers (at most 64).
    int MatchLength(int first, const BYTE* pixels, const BYTE* alt, int from, int n) const {
        int ent = first, k = from, slot = 0;
        const int end = std::min(n, from + 64);
        while (k < end) {
            if (Find(pixels[k], ent, slot) || (alt[k] != pixels[k] && Find(alt[k], ent, slot)))
                ent = codetab_[slot], ++k;
            else
                break;
        }
        return k - from;
    }

    // With a full table: true when the codes written since the last clear now carry fewer
    // pixels per bit than at the previous check, a few thousand pixels ago.
    bool CompressionFallsOff() {
        if (pixelsSinceClear_ < nextCheck_) return false;
        nextCheck_ = pixelsSinceClear_ + 4096;
        const double ratio = double(pixelsSinceClear_) / double(bitsSinceClear_);
        if (ratio < lastRatio_) return true;
        lastRatio_ = ratio;
        return false;
    }

    void ClearHash() { htab_.fill(-1); }

    void ClearBlock() {
        ClearHash();
        freeEnt_ = clearCode_ + 2;
        clearFlag_ = true;
        Output(clearCode_);
        pixelsSinceClear_ = bitsSinceClear_ = 0;
        nextCheck_ = 0;
        lastRatio_ = 0;
    }

    void Output(int code) {
        bitsSinceClear_ += static_cast<std::uint64_t>(nBits_);
        accum_ &= kMasks[static_cast<std::size_t>(curBits_)];
        accum_ = curBits_ > 0 ? accum_ | (std::uint32_t(code) << curBits_) : std::uint32_t(code);
        curBits_ += nBits_;
        while (curBits_ >= 8) {
            PutByte(static_cast<BYTE>(accum_));
            accum_ >>= 8;
            curBits_ -= 8;
        }
        // The width follows the next free code; after a clear it starts over.
        if (freeEnt_ > maxCode_ || clearFlag_) {
            if (clearFlag_) {
                nBits_ = initBits_;
                maxCode_ = MaxCode(nBits_);
                clearFlag_ = false;
            } else {
                ++nBits_;
                maxCode_ = nBits_ == kMaxBits ? kMaxMaxCode : MaxCode(nBits_);
            }
        }
        if (code == eofCode_) {
            while (curBits_ > 0) {
                PutByte(static_cast<BYTE>(accum_));
                accum_ >>= 8;
                curBits_ -= 8;
            }
            curBits_ = 0;
            FlushPacket();
        }
    }

    void PutByte(BYTE b) {
        packet_[static_cast<std::size_t>(++packetCount_)] = b;
        if (packetCount_ >= kPacketBytes) FlushPacket();
    }

    void FlushPacket() {
        if (packetCount_ == 0) return;
        packet_[0] = static_cast<BYTE>(packetCount_);
        out_.Write(packet_.data(), static_cast<std::size_t>(packetCount_) + 1);
        packetCount_ = 0;
    }

    ByteWriter& out_;
    const int initBits_;
    int nBits_;
    int maxCode_;
    const int clearCode_;
    const int eofCode_;
    int freeEnt_;
    bool clearFlag_ = false;
    const bool deferClear_;
    std::uint64_t pixelsSinceClear_ = 0;
    std::uint64_t bitsSinceClear_ = 0;
    std::uint64_t nextCheck_ = 0;
    double lastRatio_ = 0;
    bool started_ = false;
    int ent_ = 0;
    std::uint32_t accum_ = 0;
    int curBits_ = 0;
    // The length byte followed by the packet, so that a sub-block goes out in one write.
    std::array<BYTE, kPacketBytes + 1> packet_{};
    int packetCount_ = 0;
    std::array<std::int32_t, kHashSize> htab_;
    std::array<std::uint16_t, kHashSize> codetab_{};
};

} // namespace zepho::gif
