#include "codecs/PhotoInfoIo.h"

#include "platform/ByteStream.h"

#include <exiv2/exiv2.hpp>
#include <libheif/heif.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <exception>
#include <iterator>
#include <memory>
#include <mutex>

namespace zepho {

namespace {

// exiv2 keeps global state (its XMP toolkit, the tag registries) that is not safe to share
// between the batch tool's threads; its work is small next to encoding, so it runs one at a time.
std::mutex& Exiv2Lock() {
    static std::mutex lock;
    return lock;
}

void Exiv2Quiet(int, const char*) {}

void InitExiv2() {
    static std::once_flag once;
    std::call_once(once, [] {
        Exiv2::LogMsg::setLevel(Exiv2::LogMsg::mute);
        Exiv2::LogMsg::setHandler(&Exiv2Quiet);
        Exiv2::XmpParser::initialize();
        Exiv2::enableBMFF(true);
    });
}

bool StartsWith(const std::string& s, const char* prefix) {
    return s.compare(0, std::strlen(prefix), prefix) == 0;
}

// IFD0 tags that describe how the file stored its pixels, not the photo: the layout of the
// pixels, how they were coded, the colours they were stored in (the pixels are sRGB now, so the
// profile goes too), and the XMP, IPTC and Photoshop blocks, which are kept on their own.
constexpr std::uint16_t kStorageTags[] = {
    0x00FE, 0x00FF, 0x0100, 0x0101, 0x0102, 0x0103, 0x0106, 0x0107, 0x0108, 0x0109, 0x010A,
    0x0111, 0x0115, 0x0116, 0x0117, 0x0118, 0x0119, 0x011C, 0x011E, 0x011F, 0x0129, 0x012D,
    0x013D, 0x013E, 0x013F, 0x0140, 0x0141, 0x0142, 0x0143, 0x0144, 0x0145, 0x014A, 0x014C,
    0x014D, 0x014E, 0x0150, 0x0152, 0x0153, 0x015B, 0x0200, 0x0201, 0x0202, 0x0203, 0x0205,
    0x0206, 0x0207, 0x0208, 0x0209, 0x0211, 0x0212, 0x0214, 0x02BC, 0x83BB, 0x8649, 0x8773};

bool DescribesStorage(std::uint16_t tag) {
    return std::find(std::begin(kStorageTags), std::end(kStorageTags), tag) != std::end(kStorageTags);
}

// Only the photo's own IFDs travel: no thumbnail (IFD1), no sub-images.
bool KeepExif(const Exiv2::Exifdatum& d) {
    const std::string group = d.groupName();
    if (group == "Thumbnail" || StartsWith(group, "SubImage") || StartsWith(group, "SubThumb") ||
        group == "Image2" || group == "Image3")
        return false;
    return !(group == "Image" && DescribesStorage(d.tag()));
}

bool IsLocation(const Exiv2::Xmpdatum& d) {
    return StartsWith(d.key(), "Xmp.exif.GPS");
}

// Whether a kept tag says anything of the photo: orientation and resolution alone, which every
// writer puts in, are not worth carrying.
bool TellsOfPhoto(const Exiv2::Exifdatum& d) {
    if (d.groupName() != "Image") return true;
    const std::uint16_t tag = d.tag();
    return tag != 0x0112 && tag != 0x011A && tag != 0x011B && tag != 0x0128;
}

// The Exif data as a TIFF structure in the byte order given (anything but big-endian is little).
std::vector<BYTE> EncodeExif(const Exiv2::ExifData& exif, Exiv2::ByteOrder order) {
    Exiv2::Blob blob;
    Exiv2::ExifParser::encode(blob, order == Exiv2::bigEndian ? Exiv2::bigEndian : Exiv2::littleEndian, exif);
    return {blob.begin(), blob.end()};
}

// The byte order of a kept block ("MM" or "II").
Exiv2::ByteOrder OrderOf(const CPhotoInfo& info) {
    return !info.exif.empty() && info.exif[0] == 'M' ? Exiv2::bigEndian : Exiv2::littleEndian;
}

// The photo's own part of an Exif block, as a TIFF structure; empty when nothing in it tells of
// the photo.
std::vector<BYTE> KeptExif(const Exiv2::ExifData& all, Exiv2::ByteOrder order) {
    Exiv2::ExifData exif;
    bool tells = false;
    for (const Exiv2::Exifdatum& d : all)
        if (KeepExif(d)) {
            exif.add(d);
            tells = tells || TellsOfPhoto(d);
        }
    if (!tells) return {};
    std::vector<BYTE> bytes = EncodeExif(exif, order);
    if (bytes.size() > kMaxPhotoInfoBlock) return {};
    return bytes;
}

CPhotoInfo Capture(Exiv2::Image& image) {
    CPhotoInfo info;
    image.readMetadata();
    info.exif = KeptExif(image.exifData(), image.byteOrder());
    if (!image.xmpPacket().empty() && image.xmpPacket().size() <= kMaxPhotoInfoBlock)
        info.xmp = image.xmpPacket();
    if (!image.iptcData().empty()) {
        const Exiv2::DataBuf buf = Exiv2::IptcParser::encode(image.iptcData());
        if (buf.size_ > 0 && static_cast<std::size_t>(buf.size_) <= kMaxPhotoInfoBlock)
            info.iptc.assign(buf.pData_, buf.pData_ + buf.size_);
    }
    return info;
}

void SetIfPresent(Exiv2::ExifData& exif, const char* key, std::uint16_t value) {
    auto it = exif.findKey(Exiv2::ExifKey(key));
    if (it != exif.end()) exif[key] = value;
}

void SetIfPresent(Exiv2::XmpData& xmp, const char* key, const std::string& value) {
    auto it = xmp.findKey(Exiv2::XmpKey(key));
    if (it != xmp.end()) it->setValue(value);
}

// The GPS coordinates and everything of the GPS directory, and the pointer to it.
void EraseLocation(Exiv2::ExifData& exif) {
    for (auto it = exif.begin(); it != exif.end();)
        it =
            it->groupName() == "GPSInfo" || it->key() == "Exif.Image.GPSTag" ? exif.erase(it) : std::next(it);
}

void EraseLocation(Exiv2::XmpData& xmp) {
    for (auto it = xmp.begin(); it != xmp.end();)
        it = IsLocation(*it) ? xmp.erase(it) : std::next(it);
}

Exiv2::ExifData DecodeExif(const CPhotoInfo& info) {
    Exiv2::ExifData exif;
    if (!info.exif.empty() && info.exif.size() <= kMaxPhotoInfoBlock)
        Exiv2::ExifParser::decode(exif, info.exif.data(), static_cast<std::uint32_t>(info.exif.size()));
    return exif;
}

// The Exif block as the written file must say it.
Exiv2::ExifData ExifOut(const CPhotoInfo& info, const PhotoInfoOut& out) {
    Exiv2::ExifData exif = DecodeExif(info);
    for (auto it = exif.begin(); it != exif.end();)
        it = KeepExif(*it) ? std::next(it) : exif.erase(it);
    if (out.stripLocation) EraseLocation(exif);
    if (exif.empty()) return exif;
    SetIfPresent(exif, "Exif.Image.Orientation", 1);
    SetIfPresent(exif, "Exif.Photo.ColorSpace", 1);
    exif["Exif.Photo.PixelXDimension"] = static_cast<std::uint32_t>(out.width);
    exif["Exif.Photo.PixelYDimension"] = static_cast<std::uint32_t>(out.height);
    return exif;
}

Exiv2::XmpData XmpOut(const CPhotoInfo& info, const PhotoInfoOut& out) {
    Exiv2::XmpData xmp;
    if (info.xmp.empty() || Exiv2::XmpParser::decode(xmp, info.xmp) != 0) return {};
    for (auto it = xmp.begin(); it != xmp.end();)
        it = StartsWith(it->key(), "Xmp.xmp.Thumbnails") ? xmp.erase(it) : std::next(it);
    if (out.stripLocation) EraseLocation(xmp);
    SetIfPresent(xmp, "Xmp.tiff.Orientation", "1");
    SetIfPresent(xmp, "Xmp.exif.PixelXDimension", std::to_string(out.width));
    SetIfPresent(xmp, "Xmp.exif.PixelYDimension", std::to_string(out.height));
    SetIfPresent(xmp, "Xmp.tiff.ImageWidth", std::to_string(out.width));
    SetIfPresent(xmp, "Xmp.tiff.ImageLength", std::to_string(out.height));
    return xmp;
}

std::uint32_t Be32(const BYTE* p) {
    return std::uint32_t(p[0]) << 24 | std::uint32_t(p[1]) << 16 | std::uint32_t(p[2]) << 8 | p[3];
}

std::uint32_t Le32(const BYTE* p) {
    return p[0] | std::uint32_t(p[1]) << 8 | std::uint32_t(p[2]) << 16 | std::uint32_t(p[3]) << 24;
}

const BYTE kPngSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};

// Whether a PNG or WebP file holds a text or metadata chunk over the limit. exiv2 would copy it
// whole before looking at it, so such a file is not handed to it at all. JPEG segments cannot be
// that large; TIFF and the ISO containers are bounded by the file. Only the chunk heads are read.
bool ClaimsOversizedBlock(ByteReader& in) {
    BYTE head[12] = {};
    if (!in.Seek(0) || !in.Read(head, sizeof head)) return false;
    const bool png = std::memcmp(head, kPngSignature, 8) == 0;
    const bool webp = std::memcmp(head, "RIFF", 4) == 0 && std::memcmp(head + 8, "WEBP", 4) == 0;
    if (!png && !webp) return false;
    for (std::uint64_t pos = png ? 8 : 12; pos + 8 <= in.Size();) {
        BYTE chunk[8];
        if (!in.Seek(pos) || !in.Read(chunk, sizeof chunk)) return false;
        const BYTE* type = png ? chunk + 4 : chunk;
        const std::uint32_t length = png ? Be32(chunk) : Le32(chunk + 4);
        const bool info = png ? std::memcmp(type, "tEXt", 4) == 0 || std::memcmp(type, "zTXt", 4) == 0 ||
                                    std::memcmp(type, "iTXt", 4) == 0 || std::memcmp(type, "eXIf", 4) == 0
                              : std::memcmp(type, "EXIF", 4) == 0 || std::memcmp(type, "XMP ", 4) == 0;
        if (info && length > kMaxPhotoInfoBlock) return true;
        pos += png ? 12 + std::uint64_t(length) : 8 + std::uint64_t(length) + (length & 1);
    }
    return false;
}

bool IsIsoContainer(ByteReader& in) {
    BYTE head[8] = {};
    return in.Seek(0) && in.Read(head, sizeof head) && std::memcmp(head + 4, "ftyp", 4) == 0;
}

// HEIF keeps its blocks as items of the primary image, which exiv2 0.27 does not find in every
// file (grids, for one, as phones write them); libheif does. The Exif item starts with the offset
// of its TIFF header.
using HeifContext = std::unique_ptr<heif_context, decltype(&heif_context_free)>;

CPhotoInfo CaptureHeif(const HeifContext& ctx) {
    CPhotoInfo info;
    heif_image_handle* raw = nullptr;
    if (!ctx || heif_context_get_primary_image_handle(ctx.get(), &raw).code != heif_error_Ok) return info;
    std::unique_ptr<heif_image_handle, decltype(&heif_image_handle_release)> handle(
        raw, &heif_image_handle_release);
    const int n = heif_image_handle_get_number_of_metadata_blocks(raw, nullptr);
    std::vector<heif_item_id> ids(static_cast<std::size_t>(std::clamp(n, 0, 64)));
    const int got = heif_image_handle_get_list_of_metadata_block_IDs(raw, nullptr, ids.data(),
                                                                     static_cast<int>(ids.size()));
    for (int i = 0; i < got; ++i) {
        const std::size_t size = heif_image_handle_get_metadata_size(raw, ids[i]);
        if (size == 0 || size > kMaxPhotoInfoBlock) continue;
        std::vector<BYTE> block(size);
        if (heif_image_handle_get_metadata(raw, ids[i], block.data()).code != heif_error_Ok) continue;
        const std::string type = heif_image_handle_get_metadata_type(raw, ids[i]);
        const char* contentType = heif_image_handle_get_metadata_content_type(raw, ids[i]);
        if (type == "Exif" && info.exif.empty() && size > 4) {
            const std::size_t start = 4 + std::size_t(Be32(block.data()));
            if (start >= size) continue;
            Exiv2::ExifData exif;
            const Exiv2::ByteOrder order = Exiv2::ExifParser::decode(
                exif, block.data() + start, static_cast<std::uint32_t>(size - start));
            info.exif = KeptExif(exif, order);
        } else if (type == "mime" && contentType && std::string(contentType) == "application/rdf+xml" &&
                   info.xmp.empty()) {
            info.xmp.assign(block.begin(), block.end());
        }
    }
    return info;
}

} // namespace

bool ReadsPhotoInfo(FileKind kind) {
    switch (kind) {
    case FileKind::Jpg:
    case FileKind::Png:
    case FileKind::Tiff:
    case FileKind::Webp:
    case FileKind::Avif:
    case FileKind::Heif:
    case FileKind::Jxl:
        return true;
    default:
        return false;
    }
}

bool WritesPhotoInfo(FileKind kind) {
    return kind == FileKind::Jpg || kind == FileKind::Png || kind == FileKind::Tiff ||
           kind == FileKind::Webp || kind == FileKind::Avif || kind == FileKind::Jxl;
}

namespace {

// What the blocks of a file hold, from a reader of its bytes; `open` reads them into exiv2 and
// `readHeif` into libheif.
template <class OpenExiv2, class ReadHeif>
CPhotoInfo ReadWith(ByteReader& in, OpenExiv2 open, ReadHeif readHeif) {
    if (in.Failed() || in.Size() == 0 || ClaimsOversizedBlock(in)) return {};
    const bool iso = IsIsoContainer(in);
    std::lock_guard<std::mutex> hold(Exiv2Lock());
    InitExiv2();
    try {
        if (iso) {
            HeifContext ctx(heif_context_alloc(), &heif_context_free);
            if (ctx && readHeif(ctx.get()).code == heif_error_Ok) {
                CPhotoInfo heif = CaptureHeif(ctx);
                if (!heif.Empty()) return heif;
            }
        }
        Exiv2::Image::AutoPtr image = open();
        if (!image.get()) return {};
        return Capture(*image);
    } catch (const Exiv2::AnyError&) {
    } catch (const std::exception&) {
    }
    // A damaged or lying block costs the information, never the picture.
    return {};
}

} // namespace

CPhotoInfo ReadPhotoInfo(const std::vector<BYTE>& file) {
    if (file.size() > 0x7FFFFFFF) return {};
    MemoryReader in(file.data(), file.size());
    return ReadWith(
        in, [&] { return Exiv2::ImageFactory::open(file.data(), static_cast<long>(file.size())); },
        [&](heif_context* ctx) {
            return heif_context_read_from_memory_without_copy(ctx, file.data(), file.size(), nullptr);
        });
}

// exiv2 and libheif read the file themselves, the parts they need: a large TIFF or PNG is not
// copied into memory once more.
CPhotoInfo ReadPhotoInfo(const std::string& path) {
    FileReader in(path);
    return ReadWith(
        in, [&] { return Exiv2::ImageFactory::open(path); },
        [&](heif_context* ctx) { return heif_context_read_from_file(ctx, path.c_str(), nullptr); });
}

bool EmbedPhotoInfo(std::vector<BYTE>& file, const CPhotoInfo& info, const PhotoInfoOut& out) {
    if (file.empty() || file.size() > 0x7FFFFFFF) return false;
    std::lock_guard<std::mutex> hold(Exiv2Lock());
    InitExiv2();
    try {
        Exiv2::Image::AutoPtr image = Exiv2::ImageFactory::open(file.data(), static_cast<long>(file.size()));
        if (!image.get()) return false;
        image->readMetadata();
        image->setExifData(ExifOut(info, out));
        image->setXmpData(XmpOut(info, out));
        Exiv2::IptcData iptc;
        if (!info.iptc.empty() && info.iptc.size() <= kMaxPhotoInfoBlock &&
            Exiv2::IptcParser::decode(iptc, info.iptc.data(), static_cast<std::uint32_t>(info.iptc.size())) !=
                0)
            iptc.clear();
        image->setIptcData(iptc);
        image->writeMetadata();
        Exiv2::BasicIo& io = image->io();
        if (io.open() != 0) return false;
        const long size = static_cast<long>(io.size());
        std::vector<BYTE> written(static_cast<std::size_t>(size));
        io.seek(0, Exiv2::BasicIo::beg);
        const long got = size > 0 ? io.read(written.data(), size) : 0;
        io.close();
        if (got != size || size <= 0) return false;
        file = std::move(written);
        return true;
    } catch (const Exiv2::AnyError&) {
    } catch (const std::exception&) {
    }
    return false;
}

PhotoBlocks PhotoBlocksOut(const CPhotoInfo& info, const PhotoInfoOut& out) {
    PhotoBlocks blocks;
    if (info.Empty()) return blocks;
    std::lock_guard<std::mutex> hold(Exiv2Lock());
    InitExiv2();
    try {
        const Exiv2::ExifData exif = ExifOut(info, out);
        if (!exif.empty()) blocks.exif = EncodeExif(exif, OrderOf(info));
        const Exiv2::XmpData xmp = XmpOut(info, out);
        if (!xmp.empty() && Exiv2::XmpParser::encode(blocks.xmp, xmp) != 0) blocks.xmp.clear();
    } catch (const Exiv2::AnyError&) {
        return {};
    } catch (const std::exception&) {
        return {};
    }
    return blocks;
}

bool RemovePhotoLocation(CPhotoInfo& info) {
    if (info.Empty()) return false;
    std::lock_guard<std::mutex> hold(Exiv2Lock());
    InitExiv2();
    try {
        CPhotoInfo changed = info;
        if (!info.exif.empty()) {
            Exiv2::ExifData exif = DecodeExif(info);
            EraseLocation(exif);
            changed.exif = exif.empty() ? std::vector<BYTE>() : EncodeExif(exif, OrderOf(info));
        }
        if (!info.xmp.empty()) {
            Exiv2::XmpData xmp;
            changed.xmp.clear();
            if (Exiv2::XmpParser::decode(xmp, info.xmp) == 0) {
                EraseLocation(xmp);
                if (!xmp.empty() && Exiv2::XmpParser::encode(changed.xmp, xmp) != 0) return false;
            }
        }
        info = std::move(changed);
        return true;
    } catch (const Exiv2::AnyError&) {
    } catch (const std::exception&) {
    }
    return false;
}

PhotoSummary SummarizePhotoInfo(const CPhotoInfo& info) {
    PhotoSummary s;
    s.orientation = info.orientation;
    if (info.Empty()) return s;
    std::lock_guard<std::mutex> hold(Exiv2Lock());
    InitExiv2();
    try {
        Exiv2::ExifData exif;
        if (!info.exif.empty())
            Exiv2::ExifParser::decode(exif, info.exif.data(), static_cast<std::uint32_t>(info.exif.size()));
        Exiv2::XmpData xmp;
        if (!info.xmp.empty() && Exiv2::XmpParser::decode(xmp, info.xmp) != 0) xmp.clear();
        auto text = [&](std::initializer_list<const char*> keys) -> std::string {
            for (const char* key : keys) {
                if (StartsWith(key, "Xmp.")) {
                    auto it = xmp.findKey(Exiv2::XmpKey(key));
                    if (it != xmp.end() && !it->toString().empty()) return it->toString();
                } else {
                    auto it = exif.findKey(Exiv2::ExifKey(key));
                    if (it != exif.end() && !it->toString().empty()) return it->toString();
                }
            }
            return {};
        };
        s.make = text({"Exif.Image.Make", "Xmp.tiff.Make"});
        s.model = text({"Exif.Image.Model", "Xmp.tiff.Model"});
        s.lens = text({"Exif.Photo.LensModel", "Xmp.exifEX.LensModel", "Xmp.aux.Lens"});
        s.dateTaken = text({"Exif.Photo.DateTimeOriginal", "Xmp.exif.DateTimeOriginal",
                            "Xmp.photoshop.DateCreated", "Exif.Image.DateTime"});
        s.exposureTime = text({"Exif.Photo.ExposureTime", "Xmp.exif.ExposureTime"});
        auto f = exif.findKey(Exiv2::ExifKey("Exif.Photo.FNumber"));
        if (f != exif.end() && f->count() > 0 && f->toFloat() > 0) {
            char buf[32];
            std::snprintf(buf, sizeof buf, "%.3g", std::round(f->toFloat() * 10) / 10);
            s.fNumber = buf;
        }
        auto iso = exif.findKey(Exiv2::ExifKey("Exif.Photo.ISOSpeedRatings"));
        if (iso != exif.end() && iso->count() > 0) s.iso = iso->toLong();
        for (const Exiv2::Exifdatum& d : exif)
            if (d.groupName() == "GPSInfo" && (d.tag() == 2 || d.tag() == 4)) s.hasLocation = true;
        for (const Exiv2::Xmpdatum& d : xmp)
            if (d.key() == "Xmp.exif.GPSLatitude" || d.key() == "Xmp.exif.GPSLongitude") s.hasLocation = true;
    } catch (const Exiv2::AnyError&) {
    } catch (const std::exception&) {
    }
    return s;
}

} // namespace zepho
