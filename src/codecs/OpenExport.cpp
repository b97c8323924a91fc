#include "codecs/OpenExport.h"

#include "codecs/AviCodec.h"
#include "codecs/AvifCodec.h"
#include "codecs/FileTypes.h"
#include "codecs/GifCodec.h"
#include "codecs/HeifCodec.h"
#include "codecs/IconCodec.h"
#include "codecs/JxlCodec.h"
#include "codecs/PhotoInfoIo.h"
#include "codecs/PsdCodec.h"
#include "codecs/WebpCodec.h"
#include "extlib/ImageIO.h"
#include "extlib/ImageIOCodecs.h"
#include "extlib/PhotoLook.h"
#include "extlib/PngFile.h"
#include "model/AppSettings.h"
#include "model/Frame.h"
#include "model/ModelStrings.h"
#include "platform/PixelBudget.h"
#include "raster/ColorReduce.h"
#include "raster/Dib.h"

#include <algorithm>
#include <cstring>
#include <fstream>
#include <unordered_set>

namespace zepho {

namespace {

// The image-file library's reader of a kind, at the depth the file holds.
PackedDib LoadWithLibrary(FileKind kind, const std::string& path, IProgress* progress) {
    CImage image;
    switch (kind) {
    case FileKind::Bmp:
        return image.LoadBmpFile(path, progress);
    case FileKind::Jpg:
        return image.LoadJPGFile(path, progress);
    case FileKind::Pcx:
        return image.LoadPCXFile(path, progress);
    case FileKind::Png:
        return image.LoadPNGFile(path, progress);
    case FileKind::Tga:
        return image.LoadTGAFile(path, progress);
    case FileKind::Tiff:
        return image.LoadTIFFFile(path, progress);
    case FileKind::Psd:
        return image.LoadPSDFile(path, progress);
    default:
        return {};
    }
}

} // namespace

bool AppendSingleImage(CDocImage& doc, PackedDib dib) {
    if (!dib) return false;
    if (dib.BitCount() != 32) {
        dib = ConvertTo32(dib);
        if (!dib) return false;
    }
    doc.width = dib.Width();
    doc.height = dib.Height();
    doc.gifBackgroundIndex = 0;
    doc.gifTransparentIndex = 0;
    Ref<CObjContent> content = MakeRef<CObjContent>(KindImage);
    content->SetRaster(std::move(dib));
    Ref<CDrawObj> obj = MakeRef<CDrawObj>(content);
    obj->visible = 1;
    doc.objects.AddTail(obj);
    return true;
}

namespace {

// A PSD with layers may be opened either way; the question is asked while the settings say so.
bool OpenPsd(CDocImage& doc, const std::string& path, LoadFlags& flags, IProgress* progress,
             const OpenContext& context) {
    const int check = CheckPsdFile(path);
    if (check == 0) return false;
    int fashion = 0;
    if (check == 2 && context.settings) {
        CAppSettings& settings = *context.settings;
        int chosen = settings.PSDOpenFashion;
        bool showTip = settings.ShowPSDOpenFashionTip != 0;
        if (showTip && context.ui && context.ui->ChoosePsdOpenFashion(chosen, showTip)) {
            settings.PSDOpenFashion = chosen;
            settings.ShowPSDOpenFashionTip = showTip ? 1 : 0;
        }
        fashion = settings.PSDOpenFashion;
    }
    if (check == 1 || fashion == 1)
        return AppendSingleImage(doc, LoadWithLibrary(FileKind::Psd, path, progress));
    flags.layersLoaded = true;
    return ReadPsdLayers(doc, path, progress, &flags.problem);
}

} // namespace

PackedDib LoadPreviewUnbudgeted(const std::string& path);

bool OpenFile(CDocImage& doc, const std::string& path, LoadFlags& flags, IProgress* progress) {
    return OpenFileWith(doc, path, flags, progress, OpenContext{});
}

namespace {

bool ReadByKind(CDocImage& doc, const std::string& path, LoadFlags& flags, IProgress* progress,
                const OpenContext& context) {
    switch (const FileKind kind = FileKindOf(path)) {
    case FileKind::Native:
        flags.nativeLoaded = true;
        return doc.ReadNativeAnyVersion(path, progress) != 0;
    case FileKind::Gif:
        return ReadGifFile(doc, path, progress);
    case FileKind::Icon:
    case FileKind::Cursor:
        return ReadIconFile(doc, path, progress);
    case FileKind::Ani:
        return ReadAniFile(doc, path, progress);
    case FileKind::Psd:
        return OpenPsd(doc, path, flags, progress, context);
    case FileKind::Avi:
        return ImportAvi(doc, path, progress, context.ui);
    case FileKind::Webp:
        return ReadWebpFile(doc, path, progress);
    case FileKind::Avif:
        return ReadAvifFile(doc, path, progress);
    case FileKind::Heif:
        return ReadHeifFile(doc, path, progress);
    case FileKind::Jxl:
        return ReadJxlFile(doc, path, progress);
    default:
        return IsLibraryFormat(kind) && AppendSingleImage(doc, LoadWithLibrary(kind, path, progress));
    }
}

} // namespace

bool OpenFileWith(CDocImage& doc, const std::string& path, LoadFlags& flags, IProgress* progress,
                  const OpenContext& context) {
    doc.Clear();
    std::uint64_t limit = context.maxPixels;
    if (limit == 0 && context.settings)
        limit = static_cast<std::uint64_t>(std::max(context.settings->MaxDocumentMegapixels, 1)) << 20;
    PixelBudgetScope budget(limit);
    // Notes of an earlier read on this thread are not this file's.
    TakeProfileUnusableNote();
    TakeProfileSeen();
    TakeOrientationSeen();
    bool ok = ReadByKind(doc, path, flags, progress, context);
    // Only a document that is the photo itself keeps its information: frames and layers are not.
    if (ok && doc.objects.Count() == 1 && ReadsPhotoInfo(FileKindOf(path)))
        doc.photoInfo = ReadPhotoInfo(path);
    // What the reader turned and converted; a native document brings its own account of both.
    if (std::string profile = TakeProfileSeen(); !profile.empty()) doc.photoInfo.profile = std::move(profile);
    if (const int orientation = TakeOrientationSeen(); orientation != 1)
        doc.photoInfo.orientation = orientation;
    // The picture opened, but not in the colours its file meant: said once, whatever the reader.
    if (TakeProfileUnusableNote() && ok && context.ui)
        context.ui->MessageBox(kProfileUnusable, strings::kAppTitle, MsgIcon::Warning);
    // A document that opens must also be drawable: its canvas comes on top of its objects.
    if (ok && !budget.Allows(doc.width, doc.height)) ok = false;
    // A reader that went on after a refused raster (a shadow or an outline dropped) has not read
    // the document as it is.
    if (budget.Refused()) ok = false;
    flags.refusal = budget.RefusalText();
    flags.leftOut = budget.LeftOut();
    return ok;
}

void ShowBottomUnlessKept(CDocImage& doc, const LoadFlags& flags) {
    if (!flags.nativeLoaded && !flags.layersLoaded) doc.ShowFirstObjectOnly();
}

void FinishOpen(CDocImage& doc, const LoadFlags& flags, const NameForKind& nameFor) {
    if (!flags.nativeLoaded && nameFor)
        for (const auto& o : doc.objects)
            if (o->content) {
                // PSD layers keep the names they were given; the counters move on all the same.
                std::string name = nameFor(o->content->kind);
                if (!flags.layersLoaded || o->content->name.empty()) o->content->name = std::move(name);
            }
    ShowBottomUnlessKept(doc, flags);
}

PackedDib FlattenForExport(const CDocImage& doc, COLORREF background) {
    return FlattenRowsForExport(doc, background, 0, doc.height);
}

PackedDib FlattenRowsForExport(const CDocImage& doc, COLORREF background, int top, int rows) {
    PackedDib canvas = CreateSolidDIB(doc.width, rows, background, 255);
    if (canvas) FlattenFrame(doc.objects, canvas, POINT{0, top}, 1);
    return canvas;
}

namespace {

// Whether some pixel of the composite is less than opaque, looked at a band at a time. True also
// when a band cannot be made (the write will say so).
bool CompositeHasTransparency(const CDocImage& doc) {
    constexpr int kBandRows = 64;
    for (int top = 0; top < doc.height; top += kBandRows) {
        const PackedDib band =
            CompositeVisibleRows(doc.objects, doc.width, top, std::min(kBandRows, doc.height - top));
        if (!band) return true;
        for (int y = 0; y < band.Height(); ++y) {
            const BYTE* p = band.Row(y);
            for (int x = 0; x < band.Width(); ++x)
                if (p[4 * x + 3] != 255) return true;
        }
    }
    return false;
}

} // namespace

bool ExportCompositePng(const CDocImage& doc, const std::string& path, IProgress* progress, bool keepAlpha) {
    const bool alpha = keepAlpha || CompositeHasTransparency(doc);
    return WritePngBands(
        path, doc.width, doc.height, alpha,
        [&doc](int top, int rows) { return CompositeVisibleRows(doc.objects, doc.width, top, rows); },
        progress);
}

namespace {

// Whether the flattened picture has more than 256 colours, looked at a band at a time; a
// photograph answers within its first rows. False also when a band cannot be made.
bool MoreThan256Colours(const CDocImage& doc, COLORREF background) {
    constexpr int kBandRows = 64;
    std::unordered_set<DWORD> seen;
    for (int top = 0; top < doc.height; top += kBandRows) {
        const PackedDib band =
            FlattenRowsForExport(doc, background, top, std::min(kBandRows, doc.height - top));
        if (!band) return false;
        for (int y = 0; y < band.Height(); ++y) {
            const BYTE* p = band.Row(y);
            DWORD last = 0xFFFFFFFFu;
            for (int x = 0; x < band.Width(); ++x, p += 4) {
                const DWORD key = DWORD(p[0]) | DWORD(p[1]) << 8 | DWORD(p[2]) << 16;
                if (key == last) continue;
                last = key;
                if (seen.insert(key).second && seen.size() > 256) return true;
            }
        }
    }
    return false;
}

} // namespace

namespace {

// The picture a format of the image library gets: the composite with its alpha where kept, else
// flattened over the background to 24 bits, or an exact palette when few enough colours.
PackedDib LibraryExportImage(const CDocImage& doc, FileKind kind, DWORD extra, COLORREF background) {
    // 32 bits, straight alpha: every writer of these formats stores the alpha byte.
    if ((extra & kExportKeepAlpha) && CanKeepAlpha(kind)) return doc.CompositeVisible(doc.width, doc.height);
    PackedDib image = ConvertTo24(FlattenForExport(doc, background));
    if (PackedDib exact = image ? MakeExactPalette(image) : PackedDib()) image = std::move(exact);
    return image;
}

// The picture encoded in memory as ExportFile would write it, for the photo information to be
// put in before anything reaches the disk.
bool EncodeForPhotoExport(const CDocImage& doc, const std::string& path, FileKind kind, DWORD option,
                          DWORD extra, IProgress* progress, COLORREF background, std::vector<BYTE>& bytes) {
    if (kind == FileKind::Webp || kind == FileKind::Avif || kind == FileKind::Jxl) {
        const PackedDib flat = doc.CompositeVisible(doc.width, doc.height);
        if (!flat) return false;
        if (kind == FileKind::Webp) return EncodeWebp({&flat}, 10, option, bytes, progress);
        // These hold the blocks as items or boxes of their own, written by their encoders.
        const PhotoBlocks photo = PhotoBlocksOut(
            doc.photoInfo, PhotoInfoOut{doc.width, doc.height, (extra & kExportStripLocation) != 0});
        if (kind == FileKind::Avif) return EncodeAvif(flat, option, bytes, &photo);
        return EncodeJxl({&flat}, 10, option, bytes, progress, &photo);
    }
    const PackedDib image = LibraryExportImage(doc, kind, extra, background);
    MemoryWriter out;
    if (!image || !EncodeImageFile(path, image, option, out, progress) || out.Failed()) return false;
    bytes = out.Take();
    return true;
}

bool ExportWithPhotoInfo(const CDocImage& doc, const std::string& path, FileKind kind, DWORD option,
                         DWORD extra, IProgress* progress, COLORREF background) {
    std::vector<BYTE> bytes;
    if (!EncodeForPhotoExport(doc, path, kind, option, extra, progress, background, bytes)) return false;
    // Should exiv2 refuse the blocks, the picture still goes out, as it would without them.
    if (kind != FileKind::Avif && kind != FileKind::Jxl)
        EmbedPhotoInfo(bytes, doc.photoInfo,
                       PhotoInfoOut{doc.width, doc.height, (extra & kExportStripLocation) != 0});
    FileWriter out(path);
    return out.IsOpen() && out.Write(bytes.data(), bytes.size()) && out.Commit();
}

} // namespace

bool ExportFile(const CDocImage& doc, const std::string& path, DWORD option, DWORD extra, IProgress* progress,
                COLORREF background) {
    const FileKind kind = FileKindOf(path);
    if (!doc.photoInfo.Empty() && !(extra & kExportStripMetadata) && WritesPhotoInfo(kind) &&
        !((kind == FileKind::Webp || kind == FileKind::Jxl) && (extra & kExportAnimate)))
        return ExportWithPhotoInfo(doc, path, kind, option, extra, progress, background);
    switch (kind) {
    case FileKind::Gif:
        if (extra & kExportAnimate) return ExportGifAnimation(doc, path, progress, option != 0);
        return ExportGif(doc, path, progress, option != 0);
    case FileKind::Icon:
        return WriteIconFile(doc, path, false, 0, progress);
    case FileKind::Cursor:
        return WriteIconFile(doc, path, true, option, progress);
    case FileKind::Ani:
        return WriteAniFile(doc, path, option, progress);
    case FileKind::Psd:
        return ExportPsd(doc, path, progress, background);
    case FileKind::Webp:
        return ExportWebp(doc, path, option, (extra & kExportAnimate) != 0, progress);
    case FileKind::Avif:
        return ExportAvif(doc, path, option, progress);
    case FileKind::Jxl:
        return ExportJxl(doc, path, option, (extra & kExportAnimate) != 0, progress);
    default:
        if (!IsLibraryFormat(kind)) return false;
        break;
    }
    // A true-colour PNG is flattened and written a band at a time, never held whole.
    if (!((extra & kExportKeepAlpha) && CanKeepAlpha(kind)) && kind == FileKind::Png &&
        MoreThan256Colours(doc, background))
        return WritePngBands(
            path, doc.width, doc.height, false,
            [&](int top, int rows) { return FlattenRowsForExport(doc, background, top, rows); }, progress);
    const PackedDib image = LibraryExportImage(doc, kind, extra, background);
    return image && CImage().SaveImageFile(path, image, option, progress) != 0;
}

bool ExportBmp(const CDocImage& doc, const std::string& path, int colorChoice, IProgress* progress,
               COLORREF background, bool keepAlpha) {
    if (keepAlpha && colorChoice == ExportTrueColors) {
        PackedDib image = doc.CompositeVisible(doc.width, doc.height);
        return image && CImage().SaveImageFile(path, image, 85, progress) != 0;
    }
    PackedDib flat = FlattenForExport(doc, background);
    if (!flat) return false;
    PackedDib image = ConvertForExport(flat, colorChoice);
    if (!image) return false;
    return CImage().SaveImageFile(path, image, 85, progress) != 0;
}

PackedDib LoadPreviewImage(const std::string& path) {
    // A preview is read under the same budget as an open: browsing past a hostile file must not
    // take the machine's memory.
    PixelBudgetScope budget;
    PackedDib preview = LoadPreviewUnbudgeted(path);
    if (budget.Refused()) preview.Reset();
    return preview;
}

PackedDib LoadPreviewUnbudgeted(const std::string& path) {
    switch (const FileKind kind = FileKindOf(path)) {
    case FileKind::Gif:
        return LoadGifPreview(path);
    case FileKind::Icon:
    case FileKind::Cursor:
    case FileKind::Ani:
        return LoadIconPreview(path);
    case FileKind::Psd:
        return CheckPsdFile(path) != 0 ? LoadWithLibrary(kind, path, nullptr) : PackedDib();
    case FileKind::Webp:
        return LoadWebpPreview(path);
    case FileKind::Avif:
        return LoadAvifPreview(path);
    case FileKind::Heif:
        return LoadHeifPreview(path);
    case FileKind::Jxl:
        return LoadJxlPreview(path);
    default:
        return IsLibraryFormat(kind) ? LoadWithLibrary(kind, path, nullptr) : PackedDib();
    }
}

SIZE PreviewCanvasSize(const std::string& path, const PackedDib& preview) {
    SIZE size{preview.Width(), preview.Height()};
    if (FileKindOf(path) != FileKind::Gif) return size;
    // "GIF87a"/"GIF89a", then the logical screen's width and height, little-endian.
    std::ifstream in(path, std::ios::binary);
    unsigned char head[10] = {};
    if (!in.read(reinterpret_cast<char*>(head), sizeof head) || std::memcmp(head, "GIF", 3) != 0) return size;
    const LONG w = head[6] | head[7] << 8, h = head[8] | head[9] << 8;
    if (w > 0 && h > 0) size = {w, h};
    return size;
}

} // namespace zepho
