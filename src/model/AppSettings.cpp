#include "model/AppSettings.h"

#include <algorithm>
#include <cstdint>

#include <unistd.h>

namespace zepho {

namespace {
using S = CAppSettings;
using E = CAppSettings::Entry;

// GDI text alignment: left, right, centre.
constexpr int kAlignChoices[] = {0, 2, 6};
// TIFF compression codes: none, CCITT 3, CCITT 4, LZW, JPEG, Adobe Deflate, Deflate.
constexpr int kTiffChoices[] = {1, 3, 4, 5, 7, 8, 32946};

const E kEntries[] = {
    {"PreviewPic", &S::PreviewPic, 1},
    {"ShowPSDOpenFashionTip", &S::ShowPSDOpenFashionTip, 1},
    {"PSDOpenFashion", &S::PSDOpenFashion, 0, E::Range, 0, 1, 0},
    {"DefaultBackgroundColor", &S::DefaultBackgroundColor, 0xFFFFFF},
    {"UndoMaxTimes", &S::UndoMaxTimes, 26, E::AtLeast, 1, 0, 26},
    {"ShowAllItems", &S::ShowAllItems, 1},
    {"ThumbnailSizeOption", &S::ThumbnailSizeOption, 1, E::Range, 0, 5, 1},
    {"ShowDetails", &S::ShowDetails, 1},
    {"AutoPlay", &S::AutoPlay, 1},
    {"Similarity", &S::Similarity, 32, E::Range, 0, 255, 32},
    {"ConnectedPixelsMagicWand", &S::ConnectedPixelsMagicWand, 1},
    {"SelectionRoundCorner", &S::SelectionRoundCorner, 0, E::Range, 0, 50, 0},
    {"EqualWidthAndHeight", &S::EqualWidthAndHeight, 0},
    {"EraseLineWidth", &S::EraseLineWidth, 8, E::Range, 1, 50, 8},
    {"EraseRoundCap", &S::EraseRoundCap, 1},
    {"EraseBeeline", &S::EraseBeeline, 0},
    {"EraseTransparence", &S::EraseTransparence, 255, E::Range, 0, 255, 255},
    {"PaintLineWidth", &S::PaintLineWidth, 8, E::Range, 1, 50, 8},
    {"PaintRoundCap", &S::PaintRoundCap, 1},
    {"PaintBeeline", &S::PaintBeeline, 0},
    {"LineOpacity", &S::LineOpacity, 0},
    {"AllowPaintTransparence", &S::AllowPaintTransparence, 1},
    {"RoundRadius", &S::RoundRadius, 0, E::Range, 0, 50, 0},
    {"FillShapeMode", &S::FillShapeMode, 0, E::Range, 0, 5, 0},
    {"ShapeOpacity", &S::ShapeOpacity, 0, E::Range, 0, 255, 0},
    {"FloodOpacity", &S::FloodOpacity, 0, E::Range, 0, 255, 0},
    {"FloodAdjacentArea", &S::FloodAdjacentArea, 1},
    {"FloodSimilarity", &S::FloodSimilarity, 32, E::Range, 0, 100, 32},
    {"FloodTransparence", &S::FloodTransparence, 1},
    {"PaintBackgndColor", &S::PaintBackgndColor, 0xFFFFFF},
    {"PaintForeColor", &S::PaintForeColor, 0},
    {"BannerSingleColor", &S::BannerSingleColor, 0},
    {"BannerGradientColor1", &S::BannerGradientColor1, 0xFFFFFF},
    {"BannderGradientColor2", &S::BannderGradientColor2, 0},
    // The one entry whose replacement differs from its default.
    {"BannerFillMode", &S::BannerFillMode, 0, E::Range, 0, 5, 1},
    {"BannerLine", &S::BannerLine, 0, E::Range, 0, 100, 0},
    {"BannerVertical", &S::BannerVertical, 0},
    {"BannerAlign", &S::BannerAlign, 0, E::OneOf, 0, 0, 0, kAlignChoices},
    {"TextBlendOpacity", &S::TextBlendOpacity, 0, E::ByteAny},
    {"KeepAspectWhenResizing", &S::KeepAspectWhenResizing, 1},
    {"JPGQuality", &S::JPGQuality, 85, E::Unsigned, 0, 100, 85},
    {"Interlace", &S::Interlace, 0},
    {"TIFFEncodeMode", &S::TIFFEncodeMode, 1, E::OneOf, 0, 0, 1, kTiffChoices},
    {"BottomUpOrientation", &S::BottomUpOrientation, 0},
    {"TGAEncodingRLE", &S::TGAEncodingRLE, 1},
    {"NewImageWidth", &S::NewImageWidth, 640, E::Range, 1, 2000, 640},
    {"NewImageHeight", &S::NewImageHeight, 480, E::Range, 1, 2000, 480},
    {"InitTransparent", &S::InitTransparent, 0},
    {"InitColor", &S::InitColor, 0xFFFFFF},
    {"CaptureDelay", &S::CaptureDelay, 600, E::AtLeast, 0, 0, 600},
    {"IncludeCursor", &S::IncludeCursor, 1},
    {"HideMainWindow", &S::HideMainWindow, 1},
    {"RestoreMainWindow", &S::RestoreMainWindow, 1},
    {"InsertIntoCapture", &S::InsertIntoCapture, 0},
    {"PreserveRatio", &S::PreserveRatio, 1},
    {"ResizingReference", &S::ResizingReference, 0, E::Range, 0, 1, 0},
    {"ReferencePos", &S::ReferencePos, 0, E::Range, 0, 8, 0},
    {"HorzOffset", &S::HorzOffset, 0, E::Range, -1000, 1000, 0},
    {"VertOffset", &S::VertOffset, 0, E::Range, -1000, 1000, 0},
    {"TextOutlineOpacity", &S::TextOutlineOpacity, 0, E::ByteAny},
    {"TextOutlineSmooth", &S::TextOutlineSmooth, 3, E::ByteRange, 0, 150, 3},
    {"TextOutlineThickness", &S::TextOutlineThickness, 5, E::ByteRange, 0, 100, 5},
    {"TextInnerOutline", &S::TextInnerOutline, 0, E::ByteRange, 0, 1, 0},
    {"MadeTextOutline", &S::MadeTextOutline, 0, E::ByteRange, 0, 1, 0},
    {"TextOutlineColor", &S::TextOutlineColor, 0},
    {"HorizontalOffset", &S::HorizontalOffset, 1, E::Range, 1, 100, 1},
    {"VerticalOffset", &S::VerticalOffset, 1, E::Range, 1, 100, 1},
    {"WebPQuality", &S::WebPQuality, 75, E::Range, 1, 100, 75},
    {"WebPLossless", &S::WebPLossless, 0, E::Range, 0, 1, 0},
    {"WebPAnimate", &S::WebPAnimate, 0, E::Range, 0, 1, 0},
    {"AVIFQuality", &S::AVIFQuality, 60, E::Range, 1, 100, 60},
    {"AVIFSpeed", &S::AVIFSpeed, 6, E::Range, 0, 10, 6},
    {"PNGKeepAlpha", &S::PNGKeepAlpha, 0, E::Range, 0, 1, 0},
    {"TIFFKeepAlpha", &S::TIFFKeepAlpha, 0, E::Range, 0, 1, 0},
    {"TGAKeepAlpha", &S::TGAKeepAlpha, 0, E::Range, 0, 1, 0},
    {"BMPKeepAlpha", &S::BMPKeepAlpha, 0, E::Range, 0, 1, 0},
    // The ranges of the shape tools' option page.
    {"PaintShapeWidth", &S::PaintShapeWidth, 8, E::Range, 0, 100, 8},
    {"FillInsideShape", &S::FillInsideShape, 1, E::Range, 0, 1, 1},
    // Megapixels; up to 2^20 of them (4 TB of pixels), the machine's memory caps it anyway.
    {"MaxDocumentMegapixels", &S::MaxDocumentMegapixels, 1024, E::Range, 1, 1 << 20, 1024},
    // Later additions.
    {"GifAnimation", &S::GifAnimation, 0, E::Range, 0, 1, 0},
    {"AutosaveMinutes", &S::AutosaveMinutes, 2, E::Range, 0, 120, 2},
    {"JXLQuality", &S::JXLQuality, 90, E::Range, 1, 100, 90},
    {"JXLLossless", &S::JXLLossless, 0, E::Range, 0, 1, 0},
    {"JXLAnimate", &S::JXLAnimate, 0, E::Range, 0, 1, 0},
    // Rulers, guides, grid and snapping.
    {"ShowRulers", &S::ShowRulers, 0, E::Range, 0, 1, 0},
    {"ShowGuides", &S::ShowGuides, 1, E::Range, 0, 1, 1},
    {"LockGuides", &S::LockGuides, 0, E::Range, 0, 1, 0},
    {"GridSpacing", &S::GridSpacing, 16, E::Range, 1, 1000, 16},
    {"GridColor", &S::GridColor, 0xC0C0C0, E::Any},
    {"SnapEnabled", &S::SnapEnabled, 1, E::Range, 0, 1, 1},
    {"SnapTargets", &S::SnapTargets, 11, E::Range, 0, 15, 11},
    // 0 is automatic (a quarter of the machine's memory, at most 4096 MB).
    {"UndoMaxMegabytes", &S::UndoMaxMegabytes, 0, E::Range, 0, 1 << 20, 0},
};

int Checked(const E& e, int v) {
    switch (e.rule) {
    case E::Any:
        return v;
    case E::Range:
        return v >= e.lo && v <= e.hi ? v : e.otherwise;
    case E::AtLeast:
        return v >= e.lo ? v : e.otherwise;
    case E::OneOf:
        return std::find(e.choices.begin(), e.choices.end(), v) != e.choices.end() ? v : e.otherwise;
    case E::Unsigned: {
        const auto u = static_cast<std::uint32_t>(v);
        return u >= static_cast<std::uint32_t>(e.lo) && u <= static_cast<std::uint32_t>(e.hi) ? v
                                                                                              : e.otherwise;
    }
    case E::ByteAny:
        return v & 0xFF;
    case E::ByteRange: {
        const int b = v & 0xFF;
        return b >= e.lo && b <= e.hi ? b : e.otherwise;
    }
    }
    return e.otherwise;
}

struct Assign {
    S& s;
    int v;
    void operator()(int S::*f) const { s.*f = v; }
    void operator()(COLORREF S::*f) const { s.*f = static_cast<COLORREF>(v); }
    void operator()(std::uint8_t S::*f) const { s.*f = static_cast<std::uint8_t>(v); }
};

struct Fetch {
    const S& s;
    int operator()(int S::*f) const { return s.*f; }
    int operator()(COLORREF S::*f) const { return static_cast<int>(s.*f); }
    int operator()(std::uint8_t S::*f) const { return s.*f; }
};
} // namespace

std::span<const CAppSettings::Entry> CAppSettings::Entries() {
    return kEntries;
}

void CAppSettings::Load(const ISettingsStore& store) {
    for (const E& e : kEntries) {
        int v = 0;
        const int value = store.ReadInt(e.name, v) ? Checked(e, v) : e.def;
        std::visit(Assign{*this, value}, e.field);
    }
}

void CAppSettings::Save(ISettingsStore& store) const {
    for (const E& e : kEntries)
        store.WriteInt(e.name, std::visit(Fetch{*this}, e.field));
}

int AutomaticUndoMegabytes() {
    constexpr long long kMost = 4096;
    const long pages = sysconf(_SC_PHYS_PAGES), pageSize = sysconf(_SC_PAGE_SIZE);
    if (pages <= 0 || pageSize <= 0) return static_cast<int>(kMost);
    const long long quarter = static_cast<long long>(pages) * pageSize / 4 / (1 << 20);
    return static_cast<int>(std::clamp<long long>(quarter, 1, kMost));
}

std::size_t UndoBudgetBytes(const CAppSettings& settings) {
    const int mb = settings.UndoMaxMegabytes > 0 ? settings.UndoMaxMegabytes : AutomaticUndoMegabytes();
    return static_cast<std::size_t>(mb) << 20;
}

} // namespace zepho
