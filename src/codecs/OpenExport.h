// Every file enters a document through OpenFile and leaves it through ExportFile; both choose
// the reader or writer by the path's extension alone.
#pragma once

#include "model/DocImage.h"
#include "model/ObjectNames.h"
#include "platform/Services.h"

#include <string>

namespace zepho {

// What a reader reports besides success.
struct LoadFlags {
    // A native document was read: its names and visibility are kept.
    bool nativeLoaded = false;
    // Layers were imported as objects: their visibility is kept.
    bool layersLoaded = false;
};

class CAppSettings;

// What an open may ask and remember: the PSD question goes to `ui` and its answer into
// `settings` (PSDOpenFashion, ShowPSDOpenFashionTip). Without them layers are imported.
struct OpenContext {
    IUiHost* ui = nullptr;
    CAppSettings* settings = nullptr;
};

// Clears the model and reads the file into it: the stored objects of a native document, or one
// image object at (0, 0) for a single image. False for an unknown extension or an unreadable file
// (the model then holds at most what the reader had appended).
bool OpenFile(CDocImage& doc, const std::string& path, LoadFlags& flags, IProgress* progress);
bool OpenFileWith(CDocImage& doc, const std::string& path, LoadFlags& flags, IProgress* progress,
                  const OpenContext& context);

// What an open does after the reader, in the editor and in the batch tool alike: unless a native
// document was read, every object gets the default name of its kind from nameFor, bottom to top;
// unless a native document or PSD layers were read, the bottom object is made visible (the
// readers of animations and icons leave every image hidden).
void FinishOpen(CDocImage& doc, const LoadFlags& flags, const NameForKind& nameFor);
// The visibility half alone, for callers that name the objects themselves.
void ShowBottomUnlessKept(CDocImage& doc, const LoadFlags& flags);

// Writes the visible objects, flattened over the background colour, in the format the extension
// names. `option` goes to the writer unchanged (JPEG quality, TIFF compression code, TGA bits, the
// hot spot of a cursor; for GIF non-zero interlaces); `extra` is not used. Never changes the
// document. False on failure.
bool ExportFile(const CDocImage& doc, const std::string& path, DWORD option, DWORD extra, IProgress* progress,
                COLORREF background);

// The BMP export: the flattened image converted by the colour choice (0..6, the "Colors" group).
bool ExportBmp(const CDocImage& doc, const std::string& path, int colorChoice, IProgress* progress,
               COLORREF background);

// The image of a preview pane: the file's first image at its own depth, without progress. Empty
// for formats without previews (native documents, video) and unreadable files.
PackedDib LoadPreviewImage(const std::string& path);
// The canvas the file would open with: a GIF's logical screen, else the preview image's size.
SIZE PreviewCanvasSize(const std::string& path, const PackedDib& preview);

// The visible objects drawn over the background colour into a new 32-bit canvas-sized image.
PackedDib FlattenForExport(const CDocImage& doc, COLORREF background);

} // namespace zepho
