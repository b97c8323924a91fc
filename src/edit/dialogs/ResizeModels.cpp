#include "edit/dialogs/ResizeModels.h"

#include "model/AppSettings.h"

#include <algorithm>
#include <cmath>

namespace zepho {

namespace {
constexpr int kMinMaxPixels = 2000;

int Clamp(long long v, int lo, int hi) {
    return static_cast<int>(std::clamp<long long>(v, lo, hi));
}
long long Round(double v) {
    return static_cast<long long>(std::floor(v + 0.5));
}
// Stored values outside the range read as 0.
int InRangeOrZero(int v, int lo, int hi) {
    return v >= lo && v <= hi ? v : 0;
}
} // namespace

CResizeFields::CResizeFields(int w0, int h0, bool preserveRatio)
    : w0_(std::max(w0, 1)), h0_(std::max(h0, 1)), preserve_(preserveRatio), width_(w0_), height_(h0_) {}

int CResizeFields::MaxPixelWidth() const {
    return std::max(kMinMaxPixels, w0_);
}
int CResizeFields::MaxPixelHeight() const {
    return std::max(kMinMaxPixels, h0_);
}
int CResizeFields::MinWidthPercent() const {
    return (100 + w0_ - 1) / w0_;
}
int CResizeFields::MaxWidthPercent() const {
    return static_cast<int>(MaxPixelWidth() * 100LL / w0_);
}
int CResizeFields::MinHeightPercent() const {
    return (100 + h0_ - 1) / h0_;
}
int CResizeFields::MaxHeightPercent() const {
    return static_cast<int>(MaxPixelHeight() * 100LL / h0_);
}

int CResizeFields::ClampWidth(long long v) const {
    return Clamp(v, 1, MaxPixelWidth());
}
int CResizeFields::ClampHeight(long long v) const {
    return Clamp(v, 1, MaxPixelHeight());
}
int CResizeFields::ClampWidthPct(long long v) const {
    return Clamp(v, MinWidthPercent(), MaxWidthPercent());
}
int CResizeFields::ClampHeightPct(long long v) const {
    return Clamp(v, MinHeightPercent(), MaxHeightPercent());
}

void CResizeFields::SetPixelWidth(int value) {
    const long long v = width_ = ClampWidth(value);
    widthPct_ = ClampWidthPct(v * 100 / w0_);
    if (!preserve_) return;
    heightPct_ = ClampHeightPct(widthPct_);
    height_ = ClampHeight(h0_ * v / w0_);
}

void CResizeFields::SetPixelHeight(int value) {
    const long long v = height_ = ClampHeight(value);
    heightPct_ = ClampHeightPct(Round(v * 100.0 / h0_));
    if (!preserve_) return;
    widthPct_ = ClampWidthPct(heightPct_);
    width_ = ClampWidth(Round(static_cast<double>(v) * w0_ / h0_));
}

void CResizeFields::SetWidthPercent(int value) {
    const long long v = widthPct_ = ClampWidthPct(value);
    width_ = ClampWidth(Round(w0_ * static_cast<double>(v) * 0.01));
    if (!preserve_) return;
    heightPct_ = ClampHeightPct(v);
    height_ = ClampHeight(Round(h0_ * static_cast<double>(v) * 0.01));
}

void CResizeFields::SetHeightPercent(int value) {
    const long long v = heightPct_ = ClampHeightPct(value);
    height_ = ClampHeight(Round(h0_ * static_cast<double>(v) * 0.01));
    if (!preserve_) return;
    widthPct_ = ClampWidthPct(v);
    width_ = ClampWidth(v * w0_ / 100);
}

CResizeImageModel::CResizeImageModel(int w0, int h0, const CAppSettings& settings)
    : fields_(w0, h0, settings.PreserveRatio != 0) {}

void CResizeImageModel::Commit(CAppSettings& settings) const {
    settings.PreserveRatio = fields_.PreserveRatio() ? 1 : 0;
}

CResizeCanvasModel::CResizeCanvasModel(int w0, int h0, const CAppSettings& settings)
    : fields_(w0, h0, settings.PreserveRatio != 0),
      byOffset_(InRangeOrZero(settings.ResizingReference, 0, 1) == 1),
      cell_(InRangeOrZero(settings.ReferencePos, 0, 8)),
      horz_(InRangeOrZero(settings.HorzOffset, -kOffsetLimit, kOffsetLimit)),
      vert_(InRangeOrZero(settings.VertOffset, -kOffsetLimit, kOffsetLimit)) {}

void CResizeCanvasModel::SetAnchorCell(int cell) {
    if (cell >= 0 && cell <= 8) cell_ = cell;
}

void CResizeCanvasModel::SetHorzOffset(int v) {
    horz_ = std::clamp(v, -kOffsetLimit, kOffsetLimit);
}
void CResizeCanvasModel::SetVertOffset(int v) {
    vert_ = std::clamp(v, -kOffsetLimit, kOffsetLimit);
}

void CResizeCanvasModel::Commit(CAppSettings& settings) const {
    settings.PreserveRatio = fields_.PreserveRatio() ? 1 : 0;
    settings.ResizingReference = byOffset_ ? 1 : 0;
    settings.ReferencePos = cell_;
    settings.HorzOffset = horz_;
    settings.VertOffset = vert_;
}

} // namespace zepho
