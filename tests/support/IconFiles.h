// Hand-made icon, cursor and animated-cursor files for tests, built from the layout tables.
#pragma once

#include "platform/WinTypes.h"

#include <cstdint>
#include <vector>

namespace zepho::test {

using Bytes = std::vector<BYTE>;

inline void Put16(Bytes& b, unsigned v) {
    b.insert(b.end(), {BYTE(v), BYTE(v >> 8)});
}
inline void Put32(Bytes& b, std::uint32_t v) {
    b.insert(b.end(), {BYTE(v), BYTE(v >> 8), BYTE(v >> 16), BYTE(v >> 24)});
}
inline void PutTag(Bytes& b, const char* tag) {
    for (int i = 0; i < 4; ++i)
        b.push_back(BYTE(tag[i]));
}
inline void Append(Bytes& b, const Bytes& more) {
    b.insert(b.end(), more.begin(), more.end());
}

// An image resource built from the layout: header with doubled height, table, colour rows and mask
// rows bottom-up. `pixels` are indices or 0xAARRGGBB values, top row first; `mask` 1 = transparent.
inline Bytes Resource(int w, int h, int bits, const std::vector<std::uint32_t>& table,
                      const std::vector<std::uint32_t>& pixels, const std::vector<int>& mask,
                      int clrUsed = -1) {
    Bytes b;
    Put32(b, 40), Put32(b, w), Put32(b, 2 * h), Put16(b, 1), Put16(b, bits);
    for (std::uint32_t v :
         {0u, 0u, 0u, 0u, clrUsed < 0 ? std::uint32_t(table.size()) : std::uint32_t(clrUsed), 0u})
        Put32(b, v);
    for (std::uint32_t c : table)
        Put32(b, c & 0xFFFFFF);
    auto rows = [&](int depth, auto value) {
        const std::size_t stride = (std::size_t(w) * depth + 31) / 32 * 4;
        for (int y = h - 1; y >= 0; --y) {
            Bytes row(stride, 0);
            for (int x = 0; x < w; ++x) {
                const std::uint32_t v = value(y * w + x);
                if (depth >= 8)
                    for (int k = 0; k < depth / 8; ++k)
                        row[std::size_t(x) * (depth / 8) + k] = BYTE(v >> (8 * k));
                else
                    row[std::size_t(x) * depth / 8] |= BYTE(v << (8 - depth - (x * depth) % 8));
            }
            Append(b, row);
        }
    };
    rows(bits, [&](int i) { return pixels[std::size_t(i)]; });
    rows(1, [&](int i) { return std::uint32_t(mask.empty() ? 0 : mask[std::size_t(i)]); });
    return b;
}

// An icon file whose entries point at the resources; `order` says where each resource is stored.
inline Bytes IconFile(int type, const std::vector<Bytes>& resources, const std::vector<int>& order = {}) {
    Bytes b;
    Put16(b, 0), Put16(b, type), Put16(b, resources.size());
    std::vector<std::uint32_t> offsets(resources.size());
    std::uint32_t at = 6 + 16 * std::uint32_t(resources.size());
    for (std::size_t k = 0; k < resources.size(); ++k) {
        const std::size_t i = order.empty() ? k : std::size_t(order[k]);
        offsets[i] = at;
        at += std::uint32_t(resources[i].size());
    }
    for (std::size_t i = 0; i < resources.size(); ++i) {
        b.insert(b.end(), {0, 0, 0, 0});
        Put16(b, 1), Put16(b, 32), Put32(b, resources[i].size()), Put32(b, offsets[i]);
    }
    for (std::size_t k = 0; k < resources.size(); ++k)
        Append(b, resources[order.empty() ? k : std::size_t(order[k])]);
    return b;
}

inline Bytes Chunk(const char* tag, const Bytes& data) {
    Bytes b;
    PutTag(b, tag);
    Put32(b, std::uint32_t(data.size()));
    Append(b, data);
    if (data.size() & 1) b.push_back(0);
    return b;
}
inline Bytes List(const char* type, const Bytes& chunks) {
    Bytes data;
    PutTag(data, type);
    Append(data, chunks);
    return Chunk("LIST", data);
}
inline Bytes Anih(std::uint32_t frames, std::uint32_t rate) {
    Bytes d;
    for (std::uint32_t v : {36u, frames, frames, 0u, 0u, 0u, 0u, rate, 1u})
        Put32(d, v);
    return Chunk("anih", d);
}
inline Bytes Riff(const Bytes& chunks) {
    Bytes b;
    PutTag(b, "RIFF");
    Put32(b, std::uint32_t(chunks.size() + 4));
    PutTag(b, "ACON");
    Append(b, chunks);
    return b;
}

} // namespace zepho::test
