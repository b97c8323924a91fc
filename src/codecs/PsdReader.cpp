#include "codecs/PsdReader.h"

#include "codecs/CodecStrings.h"
#include "codecs/PsdCodec.h"
#include "platform/AnsiText.h"
#include "platform/ByteStream.h"

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <new>

#include <zlib.h>

namespace zepho {

namespace {

constexpr int kModeRgb = 3;

bool KnownDepth(int depth) {
    return depth == 8 || depth == 16;
}

// Skips one block that starts with its 32-bit length.
bool SkipBlock(ByteReader& in) {
    DWORD length = 0;
    return in.ReadU32BE(length) && in.Skip(length);
}

// Where a channel's bytes land in a BGRA pixel.
int PlaneOf(int id) {
    return id == -1 ? 3 : 2 - id;
}

// The layer name of a record's extra data (after the mask and blending-range blocks), read up to
// `end`. The single-byte name field comes first: other programs write it in a Windows or Mac
// code page, earlier versions of this program wrote UTF-8 there, so text that is not valid UTF-8
// is read as Windows-1252. Names have been padded two ways: to a multiple of 4 bytes (what
// readers expect), and by earlier versions of this program with a space appended to names of
// even length; a name of that second kind is known by an odd length, a final space and no
// padding after it. A "luni" block after the field holds the whole name in UTF-16 and wins.
std::string ReadLayerName(ByteReader& in, std::uint64_t end) {
    auto skipBlock = [&] {
        DWORD n = 0;
        return end - in.Tell() >= 4 && in.ReadU32BE(n) && n <= end - in.Tell() && in.Skip(n);
    };
    BYTE n = 0;
    if (!skipBlock() || !skipBlock() || in.Tell() >= end) return {};
    const std::uint64_t fieldStart = in.Tell();
    if (!in.ReadU8(n) || n > end - in.Tell()) return {};
    std::string name(n, '\0');
    if (!in.Read(name.data(), n)) return {};
    if (n % 2 == 1 && name.back() == ' ' && in.Tell() == end && (n + 1) % 4 != 0) name.pop_back();
    if (!IsUtf8(name)) name = AnsiToUtf8(name);

    // The additional blocks: signature, key, length, data.
    std::uint64_t at = fieldStart + (1 + std::uint64_t{n} + 3) / 4 * 4;
    while (at + 12 <= end && in.Seek(at)) {
        char head[8];
        DWORD length = 0;
        if (!in.Read(head, 8) || !in.ReadU32BE(length) || length > end - in.Tell()) break;
        if (std::memcmp(head, "8BIM", 4) != 0 && std::memcmp(head, "8B64", 4) != 0) break;
        DWORD count = 0;
        if (std::memcmp(head + 4, "luni", 4) == 0 && length >= 4 && in.ReadU32BE(count) &&
            count <= (length - 4) / 2) {
            std::u16string wide(count, u'\0');
            for (char16_t& c : wide) {
                WORD unit = 0;
                in.ReadU16BE(unit);
                c = unit;
            }
            // Some writers count a terminating zero.
            while (!wide.empty() && wide.back() == 0)
                wide.pop_back();
            if (!in.Failed()) return Utf16ToUtf8(wide);
        }
        at += 12 + std::uint64_t{length};
    }
    return name;
}

// The sample rows of a channel are stored as differences from the sample to their left.
void UndoPrediction(std::vector<BYTE>& raw, std::size_t width, std::size_t rows, int sampleBytes) {
    for (std::size_t y = 0; y < rows; ++y) {
        BYTE* row = raw.data() + y * width * static_cast<std::size_t>(sampleBytes);
        if (sampleBytes == 1) {
            for (std::size_t x = 1; x < width; ++x)
                row[x] = static_cast<BYTE>(row[x] + row[x - 1]);
            continue;
        }
        unsigned prev = 0;
        for (std::size_t x = 0; x < width; ++x) {
            const unsigned v = (prev + ((unsigned{row[2 * x]} << 8) | row[2 * x + 1])) & 0xFFFFu;
            row[2 * x] = static_cast<BYTE>(v >> 8);
            row[2 * x + 1] = static_cast<BYTE>(v);
            prev = v;
        }
    }
}

} // namespace

bool PsdReader::ReadHeader(ByteReader& in) {
    BYTE h[26];
    if (!in.Read(h, sizeof h) || std::memcmp(h, "8BPS", 4) != 0) return false;
    const int version = (h[4] << 8) | h[5];
    channels_ = (h[12] << 8) | h[13];
    height_ = (DWORD{h[14]} << 24) | (DWORD{h[15]} << 16) | (DWORD{h[16]} << 8) | h[17];
    width_ = (DWORD{h[18]} << 24) | (DWORD{h[19]} << 16) | (DWORD{h[20]} << 8) | h[21];
    depth_ = (h[22] << 8) | h[23];
    mode_ = (h[24] << 8) | h[25];
    return version == 1 && channels_ < 25;
}

bool PsdReader::Open(ByteReader& in) {
    in_ = &in;
    layers_.clear();
    if (!ReadHeader(in)) return false;
    if (width_ < 1 || height_ < 1 || width_ > DWORD(kMaxSide) || height_ > DWORD(kMaxSide)) return false;
    return SkipBlock(in) && SkipBlock(in);
}

PsdReader::Records PsdReader::ReadRecords() {
    ByteReader& in = *in_;
    layers_.clear();
    DWORD sectionLength = 0;
    if (!in.ReadU32BE(sectionLength) || sectionLength > in.Remaining()) return Records::Damaged;
    if (sectionLength == 0) return Records::Read;
    const std::uint64_t sectionEnd = in.Tell() + sectionLength;
    DWORD infoLength = 0;
    if (sectionLength < 4 || !in.ReadU32BE(infoLength) || infoLength > sectionEnd - in.Tell())
        return Records::Damaged;
    if (infoLength < 2) return Records::Read; // no layers here
    const std::uint64_t infoEnd = in.Tell() + infoLength;
    auto left = [&] { return infoEnd - in.Tell(); };

    std::int16_t count = 0;
    in.ReadI16BE(count);
    const int n = std::abs(static_cast<int>(count)); // negative: the composite has transparency
    // A record takes at least 34 bytes: a count the section cannot hold is refused at once.
    if (std::uint64_t(n) * 34 > left()) return Records::Damaged;
    layers_.reserve(static_cast<std::size_t>(n));
    for (int i = 0; i < n; ++i) {
        PsdLayerRecord rec;
        WORD channels = 0;
        if (left() < 18) return Records::Damaged;
        in.ReadI32BE(rec.top);
        in.ReadI32BE(rec.left);
        in.ReadI32BE(rec.bottom);
        in.ReadI32BE(rec.right);
        in.ReadU16BE(channels);
        if (left() < 6ULL * channels + 16) return Records::Damaged;
        rec.channels.resize(channels);
        for (PsdChannel& ch : rec.channels) {
            in.ReadI16BE(ch.id);
            in.ReadU32BE(ch.length);
        }
        BYTE blend[12];
        in.Read(blend, sizeof blend);
        if (std::memcmp(blend, "8BIM", 4) != 0) {
            layers_.clear();
            return Records::WrongBlend;
        }
        // The blend mode key and the clipping are not used: every layer is drawn normally.
        rec.opacity = blend[8];
        rec.visible = (blend[10] & 2) == 0;
        DWORD extra = 0;
        in.ReadU32BE(extra);
        if (in.Failed() || extra > left()) return Records::Damaged;
        const std::uint64_t extraEnd = in.Tell() + extra;
        rec.name = ReadLayerName(in, extraEnd);
        if (in.Failed() || !in.Seek(extraEnd)) return Records::Damaged;
        layers_.push_back(std::move(rec));
    }
    // The channel data follows in record order; each channel is found by the lengths before it,
    // so a channel we do not read is simply passed over.
    std::uint64_t offset = in.Tell();
    for (PsdLayerRecord& rec : layers_)
        for (PsdChannel& ch : rec.channels) {
            ch.offset = offset;
            offset += ch.length;
            if (offset > infoEnd) return Records::Damaged;
        }
    return in.Failed() ? Records::Damaged : Records::Read;
}

std::uint64_t PsdReader::MinChannelBytes(int compression, std::uint64_t w, std::uint64_t h, int sampleBytes) {
    const std::uint64_t rowBytes = w * static_cast<std::uint64_t>(sampleBytes);
    if (compression == 0) return 2 + rowBytes * h;
    // Deflate packs at most 1032 bytes into one, so a short stream cannot stand for a huge layer.
    if (compression == kZip || compression == kZipPredicted) return 2 + rowBytes * h / 1032;
    // A row takes at least one two-byte packet per 128 bytes, after its entry in the count table.
    return 2 + h * (2 + 2 * ((rowBytes + 127) / 128));
}

bool PsdReader::PackBitsDecode(std::span<const BYTE> data, int sampleBytes, PackedDib& dib, int plane) {
    const int w = dib.Width(), h = dib.Height();
    const std::size_t rowBytes = static_cast<std::size_t>(w) * static_cast<std::size_t>(sampleBytes);
    const std::size_t size = data.size();
    std::size_t p = 2 * static_cast<std::size_t>(h); // the byte counts are not needed
    if (p > size) return false;
    std::vector<BYTE> row(rowBytes);
    for (int y = 0; y < h; ++y) {
        std::size_t done = 0;
        while (done < rowBytes) {
            if (p >= size) return false;
            const int head = data[p++];
            if (head < 128) {
                const std::size_t count = static_cast<std::size_t>(head) + 1;
                if (size - p < count) return false;
                std::memcpy(row.data() + done, data.data() + p, std::min(count, rowBytes - done));
                p += count;
                done += std::min(count, rowBytes - done);
            } else if (head > 128) {
                if (p >= size) return false;
                const std::size_t count = std::min<std::size_t>(257 - head, rowBytes - done);
                std::memset(row.data() + done, data[p++], count);
                done += count;
            }
        }
        BYTE* dst = dib.Row(y) + plane;
        const BYTE* src = row.data();
        for (int x = 0; x < w; ++x, dst += 4, src += sampleBytes)
            *dst = *src;
    }
    return true;
}

bool PsdReader::ZipDecode(std::span<const BYTE> data, std::vector<BYTE>& out) {
    z_stream z{};
    if (inflateInit(&z) != Z_OK) return false;
    z.next_in = const_cast<Bytef*>(data.data());
    z.avail_in = static_cast<uInt>(std::min<std::size_t>(data.size(), UINT_MAX));
    std::size_t done = 0;
    int result = Z_OK;
    // In steps, so that sizes beyond 32 bits are handled too.
    while (done < out.size() && result == Z_OK) {
        const std::size_t step = std::min<std::size_t>(out.size() - done, 1u << 30);
        z.next_out = out.data() + done;
        z.avail_out = static_cast<uInt>(step);
        result = inflate(&z, Z_SYNC_FLUSH);
        done += step - z.avail_out;
        if (result == Z_BUF_ERROR && z.avail_out == 0) result = Z_OK;
    }
    inflateEnd(&z);
    return done == out.size() && (result == Z_OK || result == Z_STREAM_END);
}

PsdReader::Layer PsdReader::ReadLayer(std::size_t i, PackedDib& out) {
    ByteReader& in = *in_;
    const PsdLayerRecord& rec = layers_[i];
    struct Plan {
        const PsdChannel* channel;
        WORD compression;
    };
    std::vector<Plan> plans;
    bool colour[3] = {}, alpha = false;
    for (const PsdChannel& ch : rec.channels) {
        if (ch.id < -1 || ch.id > 2) continue; // masks and extra channels are not ours
        plans.push_back({&ch, 0});
        if (ch.id == -1)
            alpha = true;
        else
            colour[ch.id] = true;
    }
    if (!colour[0] || !colour[1] || !colour[2]) return Layer::NoImage;
    const long long w = 0LL + rec.right - rec.left, h = 0LL + rec.bottom - rec.top;
    if (w <= 0 || h <= 0) return Layer::NoImage;
    if (w > kMaxSide || h > kMaxSide) return Layer::Damaged;

    // Every channel is checked against what its length can hold before the raster is made.
    const int sampleBytes = depth_ == 16 ? 2 : 1;
    for (Plan& plan : plans) {
        const PsdChannel& ch = *plan.channel;
        if (ch.length < 2 || !in.Seek(ch.offset) || !in.ReadU16BE(plan.compression)) return Layer::Damaged;
        if (plan.compression > kZipPredicted) return Layer::NoImage;
        if (ch.length < MinChannelBytes(plan.compression, std::uint64_t(w), std::uint64_t(h), sampleBytes))
            return Layer::Damaged;
    }

    out = PackedDib::Create(static_cast<int>(w), static_cast<int>(h), 32);
    if (!out) return Layer::Damaged;
    if (!alpha)
        for (int y = 0; y < h; ++y) {
            BYTE* p = out.Row(static_cast<int>(y)) + 3;
            for (long long x = 0; x < w; ++x, p += 4)
                *p = 255;
        }

    const std::size_t rowBytes = static_cast<std::size_t>(w) * static_cast<std::size_t>(sampleBytes);
    for (const Plan& plan : plans) {
        const PsdChannel& ch = *plan.channel;
        const int plane = PlaneOf(ch.id);
        const std::size_t rawBytes = rowBytes * static_cast<std::size_t>(h);
        const std::size_t need = plan.compression == kRaw ? rawBytes : ch.length - 2;
        if (!in.Seek(ch.offset + 2) || !in.ReadBytes(buffer_, need)) return Layer::Damaged;
        if (plan.compression == kPackBits) {
            if (!PackBitsDecode(buffer_, sampleBytes, out, plane)) return Layer::Damaged;
            continue;
        }
        const std::vector<BYTE>* raw = &buffer_;
        if (plan.compression == kZip || plan.compression == kZipPredicted) {
            inflated_.resize(rawBytes);
            if (!ZipDecode(buffer_, inflated_)) return Layer::Damaged;
            if (plan.compression == kZipPredicted)
                UndoPrediction(inflated_, static_cast<std::size_t>(w), static_cast<std::size_t>(h),
                               sampleBytes);
            raw = &inflated_;
        }
        for (int y = 0; y < h; ++y) {
            const BYTE* src = raw->data() + static_cast<std::size_t>(y) * rowBytes;
            BYTE* dst = out.Row(y) + plane;
            for (long long x = 0; x < w; ++x, dst += 4, src += sampleBytes)
                *dst = *src;
        }
    }
    return Layer::Image;
}

int CheckPsd(ByteReader& in) {
    PsdReader reader;
    if (!reader.ReadHeader(in)) return 0;
    // Only 8- and 16-bit RGB layers are read here; everything else goes to the composite reader.
    if (reader.ColorMode() != kModeRgb || !KnownDepth(reader.Depth())) return 1;
    if (!SkipBlock(in) || !SkipBlock(in)) return 1;
    DWORD sectionLength = 0, infoLength = 0;
    if (!in.ReadU32BE(sectionLength) || sectionLength == 0) return 1;
    if (!in.ReadU32BE(infoLength) || infoLength < 2) return 1;
    std::int16_t count = 0;
    if (!in.ReadI16BE(count)) return 1;
    return std::abs(static_cast<int>(count)) >= 2 ? 2 : 1;
}

int CheckPsdFile(const std::string& path) {
    FileReader in(path);
    return in.IsOpen() ? CheckPsd(in) : 0;
}

bool ReadPsdLayers(CDocImage& doc, const std::string& path, IProgress* progress, std::string* problem) {
    FileReader in(path);
    return in.IsOpen() && ReadPsdLayers(doc, in, progress, problem);
}

bool ReadPsdLayers(CDocImage& doc, ByteReader& in, IProgress* progress, std::string* problem) {
    PsdReader reader;
    if (!reader.Open(in) || reader.ColorMode() != kModeRgb || !KnownDepth(reader.Depth())) return false;
    doc.width = reader.Width();
    doc.height = reader.Height();
    // An empty document would pass for a file that holds nothing: it is refused with the reason.
    auto nothingShown = [problem] {
        if (problem) *problem = strings::kPsdNoLayerShown;
        return false;
    };
    switch (reader.ReadRecords()) {
    case PsdReader::Records::Damaged:
        return false;
    case PsdReader::Records::WrongBlend:
        return nothingShown();
    case PsdReader::Records::Read:
        break;
    }
    const std::size_t count = reader.Layers().size();
    for (std::size_t i = 0; i < count; ++i) {
        PackedDib dib;
        const PsdReader::Layer result = reader.ReadLayer(i, dib);
        if (result == PsdReader::Layer::Damaged) return false;
        if (result == PsdReader::Layer::Image) {
            const PsdLayerRecord& rec = reader.Layers()[i];
            Ref<CObjContent> content = MakeRef<CObjContent>(KindImage);
            content->SetRaster(std::move(dib));
            Ref<CDrawObj> obj = MakeRef<CDrawObj>(content);
            // A layer that starts right of or below the canvas is moved to its left or top edge.
            obj->x = rec.left >= doc.width ? 0 : rec.left;
            obj->y = rec.top >= doc.height ? 0 : rec.top;
            obj->visible = rec.visible ? 1 : 0;
            obj->transparency = static_cast<std::uint8_t>(255 - rec.opacity);
            content->name = rec.name;
            doc.objects.AddTail(obj);
        }
        if (progress) {
            progress->SetPos(static_cast<int>((i + 1) * 100 / count));
            progress->Pump();
        }
    }
    return doc.objects.Count() > 0 || nothingShown();
}

} // namespace zepho
