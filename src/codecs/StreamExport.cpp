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
#include "platform/PixelBudget.h"
#include "raster/ColorReduce.h"

#include <algorithm>
#include <memory>
#include <unordered_set>

namespace zepho {

namespace {

// About two megabytes of 32-bit canvas a band, as the banded PNG export takes them, and never
// more than an eighth of the pixel budget in force: a band is held as read, as an object, flattened
// and converted at once.
int BandRows(int width) {
    const std::int64_t w = std::max(width, 1);
    std::int64_t rows = (std::int64_t{2} << 20) / (4 * w);
    if (const PixelBudgetScope* budget = PixelBudgetScope::Current())
        rows = std::min<std::int64_t>(rows, static_cast<std::int64_t>(budget->Limit() / 8) / w);
    return static_cast<int>(std::clamp<std::int64_t>(rows, 1, 1024));
}

bool Streams(FileKind kind) {
    return kind == FileKind::Png || kind == FileKind::Jpg || kind == FileKind::Tiff;
}

// How the bands go out: the composite with its transparency or the picture flattened over the
// background, as 24-bit or 32-bit rows. A picture without alpha, read at 24 bits and not turned,
// is its own flattened picture: its bands go out as they are read.
struct BandPlan {
    bool withAlpha = false; // the composite keeps its alpha
    bool direct = false;    // the bands as read
    int rowBits = 32;
};

// The next band as the document that opening the file makes would give it to its export: one
// visible image object at (0, 0), composed or flattened. Empty at the end or on a damaged file.
PackedDib NextBand(CRowReader& reader, const StreamRequest& r, const BandPlan& plan) {
    PackedDib band = reader.ReadBand(BandRows(reader.Width()));
    if (!band || plan.direct) return band;
    if (reader.Orientation() == 2) band = ApplyOrientation(std::move(band), 2);
    CDocImage doc;
    if (!AppendSingleImage(doc, std::move(band))) return {};
    PackedDib out = plan.withAlpha ? CompositeVisibleRows(doc.objects, doc.width, 0, doc.height)
                                   : FlattenRowsForExport(doc, r.background, 0, doc.height);
    if (out && plan.rowBits == 24) out = ConvertTo24(out);
    return out;
}

// Reads the picture until the question is answered: whether its flattened picture has more than
// 256 colours (an export writes fewer as a palette), or, for the composite, whether any pixel
// is less than opaque. A photograph answers in its first band; a picture that never answers is
// read to its end.
enum class Scan { Yes, No, Unreadable };
Scan ScanFor(const StreamRequest& r, const BandPlan& plan, bool alphaQuestion) {
    std::unique_ptr<CRowReader> reader = CRowReader::Open(r.in);
    if (!reader) return Scan::Unreadable;
    std::unordered_set<DWORD> seen;
    const int step = plan.rowBits / 8;
    while (reader->RowsRead() < reader->Height()) {
        const PackedDib band = NextBand(*reader, r, plan);
        if (!band) return Scan::Unreadable;
        for (int y = 0; y < band.Height(); ++y) {
            const BYTE* p = band.Row(y);
            DWORD last = 0xFFFFFFFFu;
            for (int x = 0; x < band.Width(); ++x, p += step) {
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
    BandPlan plan;
    if (r.composite) {
        // The composite's alpha is written only where some pixel is less than opaque.
        if (r.extra & kExportKeepAlpha) {
            plan.withAlpha = true;
        } else if (reader->Bits() == 32) {
            const Scan scan = ScanFor(r, BandPlan{true, false, 32}, true);
            if (scan == Scan::Unreadable) return StreamOutcome::NotStreamed;
            plan.withAlpha = scan == Scan::Yes;
        }
    } else if ((r.extra & kExportKeepAlpha) && CanKeepAlpha(outKind)) {
        plan.withAlpha = true;
    }
    plan.direct = !plan.withAlpha && reader->Bits() == 24 && reader->Orientation() == 1;
    // PNG takes 32-bit rows as they are; JPEG and TIFF the 24-bit picture the export converts to.
    plan.rowBits = plan.direct ? 24 : plan.withAlpha || r.composite || outKind == FileKind::Png ? 32 : 24;
    if (!r.composite && !plan.withAlpha && ScanFor(r, plan, false) != Scan::Yes)
        return StreamOutcome::NotStreamed;

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
    std::unique_ptr<CRowWriter> writer =
        CRowWriter::Create(r.out, sink, w, h, plan.withAlpha ? 4 : 3, plan.rowBits, r.option);
    if (!writer) {
        file.Abandon();
        return StreamOutcome::NotStreamed;
    }
    imageio::RowProgress steps(progress, static_cast<std::uint64_t>(h));
    bool ok = true, bandsMade = true;
    while (ok && reader->RowsRead() < h) {
        const PackedDib band = NextBand(*reader, r, plan);
        bandsMade = static_cast<bool>(band);
        ok = bandsMade && writer->AddBand(band);
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
        // A file that turns out damaged, or a band over the budget, is left to the document's way,
        // which says what it can.
        return bandsMade ? StreamOutcome::Failed : StreamOutcome::NotStreamed;
    }
    return file.Commit() ? StreamOutcome::Written : StreamOutcome::Failed;
}

} // namespace zepho
