// The application's preferences and tool options: one flat record, filled with built-in values,
// read once at start-up and written back once at exit.
#pragma once

#include "platform/Services.h"
#include "platform/WinTypes.h"

#include <cstddef>
#include <cstdint>
#include <span>
#include <variant>

namespace zepho {

class CAppSettings {
public:
    // Field names are the stored entry names (typo in BannderGradientColor2 included).
    int PreviewPic = 1;
    int ShowPSDOpenFashionTip = 1;
    int PSDOpenFashion = 0;
    COLORREF DefaultBackgroundColor = 0xFFFFFF;
    int UndoMaxTimes = 26;
    int ShowAllItems = 1;
    int ThumbnailSizeOption = 1;
    int ShowDetails = 1;
    int AutoPlay = 1;
    int Similarity = 32;
    int ConnectedPixelsMagicWand = 1;
    int SelectionRoundCorner = 0;
    int EqualWidthAndHeight = 0;
    int EraseLineWidth = 8;
    int EraseRoundCap = 1;
    int EraseBeeline = 0;
    int EraseTransparence = 255;
    int PaintLineWidth = 8;
    int PaintRoundCap = 1;
    int PaintBeeline = 0;
    int LineOpacity = 0;
    int AllowPaintTransparence = 1;
    int RoundRadius = 0;
    int FillShapeMode = 0;
    int ShapeOpacity = 0;
    int FloodOpacity = 0;
    int FloodAdjacentArea = 1;
    int FloodSimilarity = 32;
    int FloodTransparence = 1;
    COLORREF PaintBackgndColor = 0xFFFFFF;
    COLORREF PaintForeColor = 0;
    COLORREF BannerSingleColor = 0;
    COLORREF BannerGradientColor1 = 0xFFFFFF;
    COLORREF BannderGradientColor2 = 0;
    int BannerFillMode = 0;
    int BannerLine = 0;
    int BannerVertical = 0;
    int BannerAlign = 0;
    std::uint8_t TextBlendOpacity = 0;
    int KeepAspectWhenResizing = 1;
    int JPGQuality = 85;
    int Interlace = 0;
    int TIFFEncodeMode = 1;
    int BottomUpOrientation = 0;
    int TGAEncodingRLE = 1;
    int NewImageWidth = 640;
    int NewImageHeight = 480;
    int InitTransparent = 0;
    COLORREF InitColor = 0xFFFFFF;
    int CaptureDelay = 600;
    int IncludeCursor = 1;
    int HideMainWindow = 1;
    int RestoreMainWindow = 1;
    int InsertIntoCapture = 0;
    int PreserveRatio = 1;
    int ResizingReference = 0;
    int ReferencePos = 0;
    int HorzOffset = 0;
    int VertOffset = 0;
    std::uint8_t TextOutlineOpacity = 0;
    std::uint8_t TextOutlineSmooth = 3;
    std::uint8_t TextOutlineThickness = 5;
    std::uint8_t TextInnerOutline = 0;
    std::uint8_t MadeTextOutline = 0;
    COLORREF TextOutlineColor = 0;
    int HorizontalOffset = 1;
    int VerticalOffset = 1;
    // WebP, AVIF and JPEG XL export, and "Keep transparency" of the formats that can hold it.
    int WebPQuality = 75;
    int WebPLossless = 0;
    int WebPAnimate = 0;
    int AVIFQuality = 60;
    int AVIFSpeed = 6;
    int JXLQuality = 90;
    int JXLLossless = 0;
    int JXLAnimate = 0;
    int PNGKeepAlpha = 0;
    int TIFFKeepAlpha = 0;
    int TGAKeepAlpha = 0;
    int BMPKeepAlpha = 0;
    // Options of the shape tools; also read back, so they survive a restart.
    int PaintShapeWidth = 8;
    int FillInsideShape = 1;
    // The memory budget of one document while it is opened and drawn, in megapixels (2^20 pixels,
    // 4 MB each at 32 bits); 1024 is one gigapixel. A file whose rasters would need more at once
    // is refused. Whatever the value, no more than half the machine's memory is granted.
    int MaxDocumentMegapixels = 1024;
    // The GIF export panel's "Save as animation (one frame per visible object)".
    int GifAnimation = 0;
    // Minutes between autosaves of modified documents; 0 turns autosave off.
    int AutosaveMinutes = 2;
    // View > Rulers, View > Guides > Show and Lock.
    int ShowRulers = 0;
    int ShowGuides = 1;
    int LockGuides = 0;
    // The grid: canvas pixels between lines, and its colour.
    int GridSpacing = 16;
    COLORREF GridColor = 0xC0C0C0;
    // View > Snap, and its targets: canvas 1, guides 2, grid 4, objects 8.
    int SnapEnabled = 1;
    int SnapTargets = 11;
    // Most memory the undo history of one document may hold, in MB (2^20 bytes); 0 takes
    // AutomaticUndoMegabytes(). Beyond it the oldest steps are dropped.
    int UndoMaxMegabytes = 0;

    // Reads every entry in order; a missing entry takes its default, an out-of-range one its
    // replacement. Nothing is reported.
    void Load(const ISettingsStore& store);
    // Writes every value under its entry name.
    void Save(ISettingsStore& store) const;

    // How one entry is read back.
    struct Entry {
        enum Rule {
            Any,       // taken as read
            Range,     // lo..hi, else `otherwise`
            AtLeast,   // lo and above, else `otherwise`
            OneOf,     // one of `choices`, else `otherwise`
            Unsigned,  // read as unsigned, then lo..hi, else `otherwise`
            ByteAny,   // cut to the low byte
            ByteRange, // cut to the low byte, then lo..hi, else `otherwise`
        };
        const char* name;
        std::variant<int CAppSettings::*, COLORREF CAppSettings::*, std::uint8_t CAppSettings::*> field;
        int def;
        Rule rule = Any;
        int lo = 0, hi = 0, otherwise = 0;
        std::span<const int> choices = {};
    };
    // Every entry in reading order: the two shape-tool options, then the document budget and the
    // later additions, last.
    static std::span<const Entry> Entries();
};

// The undo memory of a machine that was not told otherwise: a quarter of its physical memory, at
// most 4096 MB.
int AutomaticUndoMegabytes();
// The undo memory the settings give, in bytes.
std::size_t UndoBudgetBytes(const CAppSettings& settings);

} // namespace zepho
