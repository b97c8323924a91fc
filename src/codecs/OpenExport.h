// Every file enters a document through OpenFile and leaves it through ExportFile; both choose
// the reader or writer by the path's extension alone.
#pragma once

#include "model/DocImage.h"
#include "model/ObjectNames.h"
#include "platform/Services.h"

#include <cstdint>
#include <string>
#include <vector>

namespace zepho {

// What a reader reports besides success.
struct LoadFlags {
    // A native document was read: its names and visibility are kept.
    bool nativeLoaded = false;
    // Layers were imported as objects: their visibility is kept.
    bool layersLoaded = false;
    // When the open failed and the reader knows why better than a general "cannot open": the
    // text to show the user instead.
    std::string problem;
    // Why the open failed when the file asked for more memory than its budget allows (the size
    // it asked for and the budget); empty otherwise.
    std::string refusal;
    // Objects that were left out because they are too large to draw, one line each; the rest of
    // the document opened.
    std::vector<std::string> leftOut;
};

class CAppSettings;

// What an open may ask and remember: the PSD question goes to `ui` and its answer into
// `settings` (PSDOpenFashion, ShowPSDOpenFashionTip). Without them layers are imported.
struct OpenContext {
    IUiHost* ui = nullptr;
    CAppSettings* settings = nullptr;
    // The most pixels the document's rasters may hold at once while it is read and drawn; 0 takes
    // the settings' MaxDocumentMegapixels when there are settings, else the default (1 gigapixel).
    // Never more than half the machine's memory.
    std::uint64_t maxPixels = 0;
};

// Clears the model and reads the file into it: the stored objects of a native document, or one
// image object at (0, 0) for a single image. False for an unknown extension, an unreadable file
// or one whose images, with the canvas they are drawn on, would pass the pixel budget (the model
// then holds at most what the reader had appended; flags.refusal says why).
bool OpenFile(CDocImage& doc, const std::string& path, LoadFlags& flags, IProgress* progress);
// Appends one visible image object at (0, 0) and makes the canvas its size (single-image
// readers); false for an empty image.
bool AppendSingleImage(CDocImage& doc, PackedDib dib);
bool OpenFileWith(CDocImage& doc, const std::string& path, LoadFlags& flags, IProgress* progress,
                  const OpenContext& context);

// Bits of ExportFile's extra word.
// PNG, TIFF, TGA and BMP: the visible objects are flattened keeping their transparency (no
// background) and written as 32 bits with alpha.
constexpr DWORD kExportKeepAlpha = 1;
// GIF, WebP and JPEG XL: one frame per visible object, from the bottom up (see ExportGifAnimation).
constexpr DWORD kExportAnimate = 2;
// JPEG, PNG, TIFF and WebP carry the photo information of the document (see PhotoInfoIo.h);
// these leave out its GPS coordinates, or all of it.
constexpr DWORD kExportStripLocation = 4;
constexpr DWORD kExportStripMetadata = 8;

// What an open does after the reader, in the editor and in the batch tool alike: unless a native
// document was read, every object gets the default name of its kind from nameFor, bottom to top;
// unless a native document or PSD layers were read, the bottom object is made visible (the
// readers of animations and icons leave every image hidden).
void FinishOpen(CDocImage& doc, const LoadFlags& flags, const NameForKind& nameFor);
// The visibility half alone, for callers that name the objects themselves.
void ShowBottomUnlessKept(CDocImage& doc, const LoadFlags& flags);

// Writes the visible objects, flattened over the background colour, in the format the extension
// names. `option` goes to the writer unchanged (JPEG quality, TIFF compression code, TGA bits, the
// hot spot of a cursor; for GIF non-zero interlaces; for WebP quality and kWebpLossless, for AVIF
// AvifOption(quality, speed), for JPEG XL quality and kJxlLossless); `extra` holds the kExport
// bits above. WebP, AVIF and JPEG XL always keep the transparency; an ANI file always gets one frame per
// visible object. Never changes the document. False on failure.
bool ExportFile(const CDocImage& doc, const std::string& path, DWORD option, DWORD extra, IProgress* progress,
                COLORREF background);

// The BMP export: the flattened image converted by the colour choice (0..6, the "Colors" group).
// With `keepAlpha` the true-colour choice keeps the transparency (32 bits with an alpha mask).
bool ExportBmp(const CDocImage& doc, const std::string& path, int colorChoice, IProgress* progress,
               COLORREF background, bool keepAlpha = false);

// The image of a preview pane: the file's first image at its own depth, without progress. Empty
// for formats without previews (native documents, video) and unreadable files.
PackedDib LoadPreviewImage(const std::string& path);
// The canvas the file would open with: a GIF's logical screen, else the preview image's size.
SIZE PreviewCanvasSize(const std::string& path, const PackedDib& preview);

// The visible objects drawn over the background colour into a new 32-bit canvas-sized image.
PackedDib FlattenForExport(const CDocImage& doc, COLORREF background);
// Rows top .. top + rows - 1 of that image, as a canvas-wide 32-bit image.
PackedDib FlattenRowsForExport(const CDocImage& doc, COLORREF background, int top, int rows);

// The visible objects composed keeping their transparency (CompositeVisible), written as a PNG a
// band of rows at a time, so that the canvas is never held whole: RGBA, or RGB when every pixel
// is opaque and `keepAlpha` is not set. False on failure; the target is then left as it was.
bool ExportCompositePng(const CDocImage& doc, const std::string& path, IProgress* progress,
                        bool keepAlpha = false);

} // namespace zepho
