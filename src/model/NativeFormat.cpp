// The native document format: a 36-byte header, a table of fixed-size entries and the payloads.
#include "extlib/VorRender.h"
#include "model/DibStream.h"
#include "model/DocImage.h"
#include "model/FileStrings.h"
#include "model/ShadowRecord.h"
#include "model/ShapeFactory.h"
#include "platform/AnsiText.h"
#include "platform/ByteStream.h"
#include "platform/Path.h"
#include "platform/PixelBudget.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <vector>

namespace zepho {

namespace {

constexpr char kMagic[4] = {'Q', 'Z', 'I', ' '};
constexpr std::uint32_t kHeaderSize = 36;
constexpr std::uint32_t kEntrySize = 100;
constexpr std::size_t kNameBytes = 48;

enum class Version { V2000, V2001, V2002, V2003 };

bool ReadTag(ByteReader& in, char tag[4]) {
    return in.Read(tag, 4);
}

bool VersionOf(const char tag[4], Version& v) {
    static const struct {
        const char* text;
        Version v;
    } known[] = {{"2003", Version::V2003},
                 {"2002", Version::V2002},
                 {"2001", Version::V2001},
                 {"2000", Version::V2000}};
    for (const auto& k : known)
        if (std::memcmp(tag, k.text, 4) == 0) {
            v = k.v;
            return true;
        }
    return false;
}

std::uint32_t EntrySize(Version v) {
    switch (v) {
    case Version::V2000:
        return 76;
    case Version::V2001:
        return 96;
    default:
        return 100;
    }
}

// Names are stored as single-byte text, one byte per character: a name of 48 characters or more
// fills the field without terminator.
void WriteName(ByteWriter& out, const std::string& name) {
    char buf[kNameBytes] = {};
    const std::string bytes = Utf8ToAnsi(name, kNameBytes);
    std::memcpy(buf, bytes.data(), bytes.size());
    out.Write(buf, kNameBytes);
}

bool ReadName(ByteReader& in, std::string& name) {
    char buf[kNameBytes];
    if (!in.Read(buf, kNameBytes)) return false;
    name = AnsiToUtf8(std::string_view(buf, strnlen(buf, kNameBytes)));
    return true;
}

class StatusScope {
public:
    StatusScope(IProgress* p, const char* what, const std::string& name) : p_(p) {
        if (!p_) return;
        p_->SetText(what + name);
        p_->SetPos(0);
    }
    void Step(int i, int n) {
        if (!p_ || n <= 0) return;
        p_->SetPos(static_cast<int>(static_cast<long long>(i) * 100 / n));
        p_->Pump();
    }
    ~StatusScope() {
        if (!p_) return;
        p_->SetText({});
        p_->SetPos(0);
    }

private:
    IProgress* p_;
};

// A payload must lie wholly inside the stream.
bool PayloadInside(const ByteReader& in, LONG offset, LONG size) {
    return offset >= 0 && size >= 0 &&
           static_cast<std::uint64_t>(offset) + static_cast<std::uint64_t>(size) <= in.Size();
}

// The raster of a current-version payload: the shape's record rendered, or a DIB stream.
PackedDib ReadPayload(ByteReader& in, LONG kind, LONG offset, LONG size, Ref<CObjShape>& shape) {
    if (!PayloadInside(in, offset, size) || !in.Seek(static_cast<std::uint64_t>(offset))) return {};
    const std::uint64_t end = static_cast<std::uint64_t>(offset) + static_cast<std::uint64_t>(size);
    PackedDib raster;
    if (kind >= KindEllipse && kind <= KindText) {
        shape = CreateShapeOfKind(kind);
        if (!shape || !shape->Read(in) || in.Tell() > end) return {};
        raster = shape->Render();
    } else {
        raster = ReadDIBStream(in, static_cast<std::uint64_t>(size));
    }
    // A payload that needed more bytes than its entry grants is not trusted.
    if (in.Tell() > end) return {};
    return raster;
}

void NoteTooLarge(const CObjShape& shape, const std::string& name) {
    PixelBudgetScope* budget = PixelBudgetScope::Current();
    if (!budget) return;
    double w = 0, h = 0;
    shape.GetSize(w, h);
    char text[160];
    std::snprintf(text, sizeof text,
                  "\"%s\" (%.0f x %.0f pixels) is too large to draw; at most %d pixels a side", name.c_str(),
                  w, h, kMaxRenderSide);
    budget->NoteLeftOut(text);
}

struct Header {
    LONG count = 0;
};

bool ReadHeader(ByteReader& in, CDocImage& doc, Header& h) {
    WORD unused = 0;
    BYTE pad = 0;
    if (!in.ReadU32(doc.matteColour) || !in.ReadI32(doc.gifBackgroundIndex) || !in.ReadI32(doc.width) ||
        !in.ReadI32(doc.height) || !in.ReadU16(unused) || !in.ReadU16(doc.delay) ||
        !in.ReadU8(doc.gifTransparentIndex) || !in.ReadU8(doc.gifControlFlags) ||
        !in.ReadU8(doc.gifImageFlags) || !in.ReadU8(pad) || !in.ReadI32(h.count))
        return false;
    return doc.width >= 0 && doc.height >= 0;
}

bool ReadCurrentEntry(ByteReader& in, CDocImage& doc, std::uint64_t entryPos) {
    LONG offset = 0, size = 0, kind = 0;
    if (!in.Seek(entryPos) || !in.ReadI32(offset) || !in.ReadI32(size) || !in.ReadI32(kind)) return false;
    Ref<CObjShape> shape;
    PackedDib raster = ReadPayload(in, kind, offset, size, shape);
    if (!raster && shape && shape->tooLarge) {
        // A sound shape too large to draw is left out; the rest of the document still opens.
        std::string name;
        if (!in.Seek(entryPos + 16) || !ReadName(in, name)) return false;
        NoteTooLarge(*shape, name);
        return true;
    }
    if (!raster) return false;
    Ref<CObjContent> c = MakeRef<CObjContent>(static_cast<ObjectKind>(kind));
    Ref<CDrawObj> o = MakeRef<CDrawObj>();
    LONG filter = 0, on = 0;
    BYTE visible = 0, locked = 0, unusedByte = 0;
    if (!in.Seek(entryPos + 12) || !in.ReadI32(filter) || !ReadName(in, c->name) || !in.ReadI32(o->x) ||
        !in.ReadI32(o->y) || !in.ReadU8(visible) || !in.ReadU8(locked) || !in.ReadU8(o->transparency) ||
        !in.ReadU8(unusedByte) || !ReadShadowRecord(in, *c, true, on))
        return false;
    o->x = ClampStoredPosition(o->x);
    o->y = ClampStoredPosition(o->y);
    c->SetShape(shape);
    c->filter = filter;
    c->SetRaster(std::move(raster));
    o->visible = visible != 0;
    o->locked = locked != 0;
    o->SetContent(c);
    if (on) c->UpdateShadow();
    doc.objects.AddTail(o);
    return true;
}

bool ReadOldEntry(ByteReader& in, CDocImage& doc, std::uint64_t entryPos, Version v) {
    Ref<CObjContent> c = MakeRef<CObjContent>(KindImage);
    Ref<CDrawObj> o = MakeRef<CDrawObj>();
    LONG w = 0, h = 0, on = 0, offset = 0, size = 0;
    BYTE visible = 0, locked = 0, unusedByte = 0;
    if (!in.Seek(entryPos) || !in.ReadI32(w) || !in.ReadI32(h) || !ReadName(in, c->name) ||
        !in.ReadI32(o->x) || !in.ReadI32(o->y) || !in.ReadU8(visible) || !in.ReadU8(locked) ||
        !in.ReadU8(o->transparency) || !in.ReadU8(unusedByte))
        return false;
    if (v != Version::V2000 && !ReadShadowRecord(in, *c, v != Version::V2001, on)) return false;
    o->x = ClampStoredPosition(o->x);
    o->y = ClampStoredPosition(o->y);
    if (!in.ReadI32(offset) || !in.ReadI32(size) || !PayloadInside(in, offset, size) || w <= 0 || h <= 0 ||
        !in.Seek(static_cast<std::uint64_t>(offset)))
        return false;
    if (MinimumPlaneBytes(static_cast<std::uint64_t>(w), static_cast<std::uint64_t>(h)) >
        std::min<std::uint64_t>(static_cast<std::uint64_t>(size), in.Remaining()))
        return false;
    PackedDib raster = PackedDib::Create(w, h, 32);
    if (!raster || !ReadDIBPlanes(in, raster, static_cast<std::uint64_t>(size))) return false;
    if (in.Tell() > static_cast<std::uint64_t>(offset) + static_cast<std::uint64_t>(size)) return false;
    c->SetRaster(std::move(raster));
    o->visible = visible != 0;
    o->locked = locked != 0;
    o->SetContent(c);
    if (on) c->UpdateShadow();
    doc.objects.AddTail(o);
    return true;
}

// The payload ranges the table names, read from the table alone before any payload is touched.
// Entries whose offset or size is negative are left out here: they are refused with their entry.
bool ReadPayloadRanges(ByteReader& in, Version v, LONG count, std::vector<ByteRange>& ranges) {
    const std::uint32_t entry = EntrySize(v);
    // The current version stores offset and size first, the older ones last.
    const std::uint64_t at = v == Version::V2003 ? 0 : entry - 8;
    ranges.reserve(static_cast<std::size_t>(std::max<LONG>(count, 0)));
    for (LONG i = 0; i < count; ++i) {
        LONG offset = 0, size = 0;
        if (!in.Seek(kHeaderSize + static_cast<std::uint64_t>(i) * entry + at) || !in.ReadI32(offset) ||
            !in.ReadI32(size))
            return false;
        if (offset < 0 || size < 0) continue;
        ranges.push_back({static_cast<std::uint64_t>(offset), static_cast<std::uint64_t>(size)});
    }
    return true;
}

// A photo's information travels in a block after the last payload: "ZPHO", the length of the rest,
// a version, then the Exif, XMP and IPTC blocks and the profile's description, each as a length and
// its bytes, and the orientation the photo was stored in. Readers of the format find everything
// through the header and the table, so they never look past the payloads, and a document without
// photo information is written exactly as before.
constexpr char kPhotoTag[4] = {'Z', 'P', 'H', 'O'};
constexpr DWORD kPhotoBlockVersion = 1;

void WriteBlob(ByteWriter& out, const void* data, std::size_t size) {
    out.WriteU32(static_cast<DWORD>(size));
    if (size) out.Write(data, size);
}

void WritePhotoBlock(ByteWriter& out, const CPhotoInfo& info) {
    const std::uint64_t start = out.Tell();
    out.Write(kPhotoTag, 4);
    out.WriteU32(0); // the length, once known
    out.WriteU32(kPhotoBlockVersion);
    WriteBlob(out, info.exif.data(), info.exif.size());
    WriteBlob(out, info.xmp.data(), info.xmp.size());
    WriteBlob(out, info.iptc.data(), info.iptc.size());
    WriteBlob(out, info.profile.data(), info.profile.size());
    out.WriteI32(info.orientation);
    const std::uint64_t end = out.Tell();
    out.Seek(start + 4);
    out.WriteU32(static_cast<DWORD>(end - start - 8));
    out.Seek(end);
}

template <class Bytes> bool ReadBlob(ByteReader& in, std::uint64_t end, Bytes& into) {
    DWORD n = 0;
    if (!in.ReadU32(n) || n > kMaxPhotoInfoBlock || in.Tell() > end || n > end - in.Tell()) return false;
    into.resize(n);
    return n == 0 || in.Read(into.data(), n);
}

// The block at `at`, if there is a sound one; anything else there is left alone, and the document
// opens without photo information.
void ReadPhotoBlock(ByteReader& in, std::uint64_t at, CPhotoInfo& info) {
    char tag[4];
    DWORD length = 0, version = 0;
    if (at >= in.Size() || !in.Seek(at) || !ReadTag(in, tag) || std::memcmp(tag, kPhotoTag, 4) != 0 ||
        !in.ReadU32(length) || length > in.Remaining())
        return;
    const std::uint64_t end = in.Tell() + length;
    CPhotoInfo read;
    LONG orientation = 1;
    // Later versions may add fields after these.
    if (!in.ReadU32(version) || version < 1 || !ReadBlob(in, end, read.exif) ||
        !ReadBlob(in, end, read.xmp) || !ReadBlob(in, end, read.iptc) || !ReadBlob(in, end, read.profile) ||
        !in.ReadI32(orientation) || in.Tell() > end)
        return;
    read.orientation = orientation >= 1 && orientation <= 8 ? orientation : 1;
    info = std::move(read);
}

bool ReadBody(CDocImage& doc, ByteReader& in, Version v, IProgress* progress, const std::string& name) {
    Header h;
    if (!ReadHeader(in, doc, h)) return false;
    StatusScope status(progress, strings::kReadingFile, name);
    if (h.count < 1) {
        if (v == Version::V2003) ReadPhotoBlock(in, kHeaderSize, doc.photoInfo);
        return true;
    }
    const std::uint32_t entry = EntrySize(v);
    // The table must fit in the file before anything is read from it.
    if (static_cast<std::uint64_t>(h.count) * entry >
        in.Size() - std::min<std::uint64_t>(in.Size(), kHeaderSize))
        return false;
    std::vector<ByteRange> ranges;
    if (!ReadPayloadRanges(in, v, h.count, ranges)) return false;
    std::uint64_t payloadsEnd = kHeaderSize + static_cast<std::uint64_t>(h.count) * entry;
    for (const ByteRange& r : ranges)
        payloadsEnd = std::max(payloadsEnd, r.offset + r.size);
    // Two entries pointing into one payload are refused.
    if (AnyRangesOverlap(std::move(ranges))) return false;
    for (LONG i = 0; i < h.count; ++i) {
        const std::uint64_t pos = kHeaderSize + static_cast<std::uint64_t>(i) * entry;
        const bool ok = v == Version::V2003 ? ReadCurrentEntry(in, doc, pos) : ReadOldEntry(in, doc, pos, v);
        if (!ok) return false;
        status.Step(i, h.count);
    }
    if (v == Version::V2003) ReadPhotoBlock(in, payloadsEnd, doc.photoInfo);
    return true;
}

// Reads the body under the document's pixel budget (joining the caller's, if one is open). A
// document must fit with the canvas it is drawn on, and must be read whole: a raster refused on
// the way (a shadow, an outline) fails the read rather than leave a different document.
bool ReadBudgeted(CDocImage& doc, ByteReader& in, Version v, IProgress* progress, const std::string& name) {
    PixelBudgetScope budget;
    if (!ReadBody(doc, in, v, progress, name)) return false;
    return budget.Allows(doc.width, doc.height) && !budget.Refused();
}

int ReadFile(CDocImage& doc, const std::string& path, IProgress* progress, const Version* only) {
    FileReader in(path);
    if (!in.IsOpen()) return 0;
    char magic[4], tag[4];
    Version v;
    if (!ReadTag(in, magic) || std::memcmp(magic, kMagic, 4) != 0 || !ReadTag(in, tag) || !VersionOf(tag, v))
        return 0;
    if (only && *only != v) return 0;
    return ReadBudgeted(doc, in, v, progress, BaseName(path)) ? 1 : 0;
}

} // namespace

bool CDocImage::WriteNative(ByteWriter& out, IProgress* progress, const std::string& name) const {
    const LONG n = objects.Count();
    out.Write(kMagic, 4);
    out.Write("2003", 4);
    out.WriteU32(matteColour);
    out.WriteI32(gifBackgroundIndex);
    out.WriteI32(width);
    out.WriteI32(height);
    out.WriteU16(0);
    out.WriteU16(delay);
    out.WriteU8(gifTransparentIndex);
    out.WriteU8(gifControlFlags);
    out.WriteU8(gifImageFlags);
    out.WriteU8(0);
    out.WriteI32(n);
    const std::uint64_t tableStart = out.Tell();
    for (const auto& o : objects) {
        const CObjContent& c = *o->content;
        out.WriteI32(0);
        out.WriteI32(0);
        out.WriteI32(c.kind);
        out.WriteI32(c.filter);
        WriteName(out, c.name);
        out.WriteI32(o->x);
        out.WriteI32(o->y);
        out.WriteU8(o->visible ? 1 : 0);
        out.WriteU8(o->locked ? 1 : 0);
        out.WriteU8(o->transparency);
        out.WriteU8(0);
        WriteShadowRecord(out, c, c.HasShadow());
    }
    StatusScope status(progress, strings::kSavingFile, name);
    std::uint64_t start = out.Tell();
    for (LONG i = 0; i < n; ++i) {
        const CObjContent& c = *objects.At(i)->content;
        const std::size_t written = c.shape ? c.shape->Write(out) : WriteDIBStream(out, c.raster);
        if (written == 0 || out.Failed()) return false;
        const std::uint64_t end = out.Tell();
        // Offsets and sizes are stored as 32-bit signed values: a document that grows past them
        // cannot be written, rather than written so that it cannot be read back.
        if (end > 0x7FFFFFFFu) return false;
        out.Seek(tableStart + static_cast<std::uint64_t>(i) * kEntrySize);
        out.WriteI32(static_cast<LONG>(start));
        out.WriteI32(static_cast<LONG>(end - start));
        out.Seek(end);
        start = end;
        status.Step(i + 1, n);
    }
    if (photoInfo.WorthKeeping()) WritePhotoBlock(out, photoInfo);
    return !out.Failed();
}

bool CDocImage::ReadNativeFrom(ByteReader& in, IProgress* progress, const std::string& name) {
    char magic[4], tag[4];
    Version v;
    if (!ReadTag(in, magic) || std::memcmp(magic, kMagic, 4) != 0 || !ReadTag(in, tag) || !VersionOf(tag, v))
        return false;
    return ReadBudgeted(*this, in, v, progress, name);
}

int CDocImage::SaveNative(const std::string& path, IProgress* progress) const {
    // Every object must have content and a raster: a shape that renders nothing would make the
    // whole file unreadable, since the reader refuses an object it cannot draw.
    for (const auto& o : objects)
        if (!o->content || !o->content->raster) return 0;
    FileWriter out(path);
    if (!out.IsOpen()) return 0;
    if (!WriteNative(out, progress, BaseName(path))) return 0;
    return out.Commit() ? 1 : 0;
}

int CDocImage::ReadNativeAnyVersion(const std::string& path, IProgress* progress) {
    return ReadFile(*this, path, progress, nullptr);
}

int CDocImage::ReadNative(const std::string& path, IProgress* progress) {
    const Version v = Version::V2003;
    return ReadFile(*this, path, progress, &v);
}

int CDocImage::ReadNative2002(const std::string& path, IProgress* progress) {
    const Version v = Version::V2002;
    return ReadFile(*this, path, progress, &v);
}

int CDocImage::ReadNative2001(const std::string& path, IProgress* progress) {
    const Version v = Version::V2001;
    return ReadFile(*this, path, progress, &v);
}

int CDocImage::ReadNative2000(const std::string& path, IProgress* progress) {
    const Version v = Version::V2000;
    return ReadFile(*this, path, progress, &v);
}

} // namespace zepho
