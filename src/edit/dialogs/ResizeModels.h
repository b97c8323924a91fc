// The field logic of the Resize Image and Resize Canvas dialogs, for the dialogs to drive:
// a change to one field sets the others, every value is kept within its range.
#pragma once

namespace zepho {

class CAppSettings;

// Width and height in pixels and in percent of the document's size, optionally kept in ratio.
class CResizeFields {
public:
    enum Mode { Pixels, Percentage };

    // w0, h0: the document's size (taken as at least 1).
    CResizeFields(int w0, int h0, bool preserveRatio);

    // Which pair of fields is editable; the other pair is kept up to date but disabled.
    Mode GetMode() const { return mode_; }
    void SetMode(Mode m) { mode_ = m; }
    bool PixelFieldsEnabled() const { return mode_ == Pixels; }
    bool PercentFieldsEnabled() const { return mode_ == Percentage; }

    bool PreserveRatio() const { return preserve_; }
    void SetPreserveRatio(bool on) { preserve_ = on; }

    // A field changed to v (clamped into its range); the others follow.
    void SetPixelWidth(int v);
    void SetPixelHeight(int v);
    void SetWidthPercent(int v);
    void SetHeightPercent(int v);

    int PixelWidth() const { return width_; }
    int PixelHeight() const { return height_; }
    int WidthPercent() const { return widthPct_; }
    int HeightPercent() const { return heightPct_; }

    // Ranges: pixels 1..max(2000, size); percent ceil(100 / size)..max(2000, size) * 100 / size.
    int MaxPixelWidth() const;
    int MaxPixelHeight() const;
    int MinWidthPercent() const;
    int MaxWidthPercent() const;
    int MinHeightPercent() const;
    int MaxHeightPercent() const;

    int OriginalWidth() const { return w0_; }
    int OriginalHeight() const { return h0_; }
    // The new size differs from the document's.
    bool Changed() const { return width_ != w0_ || height_ != h0_; }

private:
    int ClampWidth(long long v) const;
    int ClampHeight(long long v) const;
    int ClampWidthPct(long long v) const;
    int ClampHeightPct(long long v) const;

    int w0_, h0_;
    bool preserve_;
    Mode mode_ = Pixels;
    int width_, height_, widthPct_ = 100, heightPct_ = 100;
};

// The Resize Image dialog ("Resize Animation").
class CResizeImageModel {
public:
    CResizeImageModel(int w0, int h0, const CAppSettings& settings);
    CResizeFields& Fields() { return fields_; }
    const CResizeFields& Fields() const { return fields_; }
    // On OK: the ratio box goes back to the settings.
    void Commit(CAppSettings& settings) const;

private:
    CResizeFields fields_;
};

// The Resize Canvas dialog: the size fields and where the old canvas sits in the new one.
class CResizeCanvasModel {
public:
    static constexpr int kOffsetLimit = 1000;

    CResizeCanvasModel(int w0, int h0, const CAppSettings& settings);
    CResizeFields& Fields() { return fields_; }
    const CResizeFields& Fields() const { return fields_; }

    // "By position" (false) or "By offset" (true).
    bool ByOffset() const { return byOffset_; }
    void SetByOffset(bool on) { byOffset_ = on; }
    // The anchor cell 0..8, row by row from the top-left; exactly one is selected.
    int AnchorCell() const { return cell_; }
    void SetAnchorCell(int cell);
    int HorzOffset() const { return horz_; }
    int VertOffset() const { return vert_; }
    void SetHorzOffset(int v);
    void SetVertOffset(int v);

    // On OK: the ratio box, the reference mode, the anchor and the offsets.
    void Commit(CAppSettings& settings) const;

private:
    CResizeFields fields_;
    bool byOffset_;
    int cell_, horz_, vert_;
};

} // namespace zepho
