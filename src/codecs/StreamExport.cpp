#include "codecs/StreamExport.h"

#include "codecs/FileTypes.h"
#include "codecs/OpenExport.h"
#include "codecs/PhotoInfoIo.h"
#include "extlib/ImageIOUtil.h"
#include "extlib/PhotoLook.h"
#include "extlib/RowCodecs.h"
#include "model/DocImage.h"
#include "model/Frame.h"
#include "platform/ByteStream.h"
#include "raster/ColorReduce.h"

#include <algorithm>
#include <memory>
#include <unordered_set>

namespace zepho {

namespace {

// About two megabytes of 32-bit canvas a band, as the banded PNG export takes them.
int BandRows(int width) {
    return static_cast<int>(
        std::clamp<std::int64_t>((std::int64_t{2} << 20) / (4 * std::int64_t{std::max(width, 1)}), 1, 1024));
}

bool Streams(FileKind kind) {
    return kind == FileKind::Png || kind == FileKind::Jpg || kind == FileKind::Tiff;
}

// One band of the picture as the document that opening the file makes would hold it: one visible
// image object at (0, 0), the band's size.
bool BandDocument(PackedDib band, int orientation, CDocImage& doc) {
    if (orientation == 2) band = ApplyOrientation(std::move(band), 2);
    return AppendSingleImage(doc, std::move(band));
}

// What a band becomes on its way out: the composite with its transparency, or the picture
// flattened over the background.
PackedDib OutputBand(const CDocImage& doc, const StreamRequest& r, bool withAlpha) {
    if (withAlpha) return CompositeVisibleRows(doc.objects, doc.width, 0, doc.height);
    return FlattenRowsForExport(doc, r.background, 0, doc.height);
}

// Reads the picture until the question is answered: whether its flattened picture has more than
// 256 colours (an export writes fewer as a palette), or, for the composite, whether any pixel
// is less than opaque. A photograph answers in its first band; a picture that never answers is
// read to its end.
enum class Scan { Yes, No, Unreadable };
Scan ScanFor(const StreamRequest& r, bool alphaQuestion) {
    std::unique_ptr<CRowReader> reader = CRowReader::Open(r.in);
    if (!reader) return Scan::Unreadable;
    const int bandRows = BandRows(reader->Width());
    std::unordered_set<DWORD> seen;
    while (reader->RowsRead() < reader->Height()) {
        CDocImage doc;
        if (!BandDocument(reader->ReadBand(bandRows), reader->Orientation(), doc)) return Scan::Unreadable;
        const PackedDib band = OutputBand(doc, r, alphaQuestion);
        if (!band) return Scan::Unreadable;
        for (int y = 0; y < band.Height(); ++y) {
            const BYTE* p = band.Row(y);
            DWORD last = 0xFFFFFFFFu;
            for (int x = 0; x < band.Width(); ++x, p += 4) {
                if (alphaQuestion) {
                    if (p[3] != 255) return Scan::Yes;
                    continue;
                }
                const DWORD key = DWORD(p[0]) | DWORD(p[1]) << 8 | DWORD(p[2]) << 16;
                if (key == last) continue;
                last = key;
                if (seen.insert(key).second && seen.size() > 256) return Scan::Yes;
            }
        }
    }
    return Scan::No;
}

} // namespace

bool MayStream(const StreamRequest& r) {
    const FileKind in = FileKindOf(r.in), out = FileKindOf(r.out);
    if (in != FileKind::Png && in != FileKind::Jpg) return false;
    if (r.composite) return out == FileKind::Png;
    return Streams(out) && !(r.extra & kExportAnimate);
}

std::uint64_t StreamedPixels(int width) {
    // The band as read, as an object, flattened and converted, and the encoders' own rows.
    return static_cast<std::uint64_t>(std::max(width, 1)) * static_cast<std::uint64_t>(BandRows(width)) * 6;
}

StreamOutcome ExportStreamed(const StreamRequest& r, IProgress* progress, bool* profileUnusable) {
    if (!MayStream(r)) return StreamOutcome::NotStreamed;
    const FileKind outKind = FileKindOf(r.out);
    std::unique_ptr<CRowReader> reader = CRowReader::Open(r.in);
    if (!reader) return StreamOutcome::NotStreamed;
    // Turned pictures need the whole of it; a mirror left to right does not.
    if (reader->Orientation() != 1 && reader->Orientation() != 2) return StreamOutcome::NotStreamed;
    const int w = reader->Width(), h = reader->Height();

    // Which picture the document's export would write: the composite with alpha, the flattened
    // picture in true colour, or (declined here) a palette.
    bool withAlpha = false;
    if (r.composite) {
        // The composite's alpha is written only where some pixel is less than opaque.
        bool transparent = false;
        if (r.extra & kExportKeepAlpha) {
            transparent = true;
        } else if (reader->Bits() == 32) {
            const Scan scan = ScanFor(r, true);
            if (scan == Scan::Unreadable) return StreamOutcome::NotStreamed;
            transparent = scan == Scan::Yes;
        }
        withAlpha = transparent;
    } else if ((r.extra & kExportKeepAlpha) && CanKeepAlpha(outKind)) {
        withAlpha = true;
    } else {
        const Scan scan = ScanFor(r, false);
        if (scan != Scan::Yes) return StreamOutcome::NotStreamed;
    }
    const bool composite = r.composite || withAlpha;

    CPhotoInfo info;
    if (!r.composite && !(r.extra & kExportStripMetadata) && WritesPhotoInfo(outKind) &&
        ReadsPhotoInfo(FileKindOf(r.in)))
        info = ReadPhotoInfo(r.in);
    const bool embed = !info.Empty();

    // With photo information the file is made in memory first, as the export does, for it to go in.
    FileWriter file(r.out);
    MemoryWriter memory;
    if (!file.IsOpen()) return StreamOutcome::Failed;
    ByteWriter& sink = embed ? static_cast<ByteWriter&>(memory) : file;
    // PNG takes the 32-bit rows as they are; JPEG and TIFF the 24-bit picture the export converts to.
    const bool rows32 = composite || outKind == FileKind::Png;
    std::unique_ptr<CRowWriter> writer =
        CRowWriter::Create(r.out, sink, w, h, withAlpha ? 4 : 3, rows32 ? 32 : 24, r.option);
    if (!writer) {
        file.Abandon();
        return StreamOutcome::NotStreamed;
    }
    const int bandRows = BandRows(w);
    imageio::RowProgress steps(progress, static_cast<std::uint64_t>(h));
    bool ok = true;
    while (ok && reader->RowsRead() < h) {
        CDocImage doc;
        ok = BandDocument(reader->ReadBand(bandRows), reader->Orientation(), doc);
        PackedDib band = ok ? (composite ? CompositeVisibleRows(doc.objects, doc.width, 0, doc.height)
                                         : FlattenRowsForExport(doc, r.background, 0, doc.height))
                            : PackedDib();
        if (band && !rows32) band = ConvertTo24(band);
        ok = band && writer->AddBand(band);
        steps.Update(static_cast<std::uint64_t>(reader->RowsRead()));
    }
    ok = ok && writer->Finish();
    if (profileUnusable) *profileUnusable = reader->ProfileUnusable();
    if (ok && embed) {
        std::vector<BYTE> bytes = memory.Take();
        // Should exiv2 refuse the blocks, the picture still goes out, as it would without them.
        EmbedPhotoInfo(bytes, info, PhotoInfoOut{w, h, (r.extra & kExportStripLocation) != 0});
        ok = file.Write(bytes.data(), bytes.size());
    }
    if (!ok) {
        file.Abandon();
        // A file that turns out damaged is left to the document's reader, which says what it can.
        return reader->Failed() ? StreamOutcome::NotStreamed : StreamOutcome::Failed;
    }
    return file.Commit() ? StreamOutcome::Written : StreamOutcome::Failed;
}

} // namespace zepho
