// The "General" pages: the fields every object has, and the size fields of each kind.
#pragma once

#include "edit/properties/PropSession.h"

#include <string>

namespace zepho {

class CBitmapObj;
class CPolygonObj;

enum class SizeUnit { Pixel, Percentage };

class CGeneralObjInfoPage : public CPropertyPage {
public:
    static constexpr int kNameLimit = 48;
    static constexpr int kMinPosition = -1000;
    static constexpr int kMaxPosition = 1000;
    static constexpr int kMaxTransparency = 255;
    static constexpr double kMaxAngle = 359.999;

    explicit CGeneralObjInfoPage(CPropertySession& session);

    const std::string& Name() const;
    // Renames the object at once; longer names are cut to the limit (in characters).
    void SetName(const std::string& name);
    bool Visible() const;
    void SetVisible(bool on);
    bool Locked() const;
    void SetLocked(bool on);
    // "Left:" and "Top:" follow the object and are disabled while it is locked.
    bool PositionEnabled() const { return !Locked(); }
    int Left() const;
    int Top() const;
    void SetLeft(int v);
    void SetTop(int v);
    int Transparency() const;
    void SetTransparency(int v);

    bool Changed() const override;

protected:
    std::string name0_;
    int left0_, top0_, transparency0_, visible0_, locked0_;
};

// Units and the ratio box of the pages whose sizes come in two fields.
class CSizedGeneralPage : public CGeneralObjInfoPage {
public:
    using CGeneralObjInfoPage::CGeneralObjInfoPage;

    SizeUnit Unit() const { return unit_; }
    // Converts the two boxes into the new unit, held within its ranges.
    virtual void SetUnit(SizeUnit unit) = 0;
    bool KeepRatio() const { return keepRatio_; }
    void SetKeepRatio(bool on) { keepRatio_ = on; }

    // What the two size boxes show, and their ranges in the current unit.
    double HorzBox() const { return horz_; }
    double VertBox() const { return vert_; }
    virtual double MinHorz() const = 0;
    virtual double MaxHorz() const = 0;
    virtual double MinVert() const = 0;
    virtual double MaxVert() const = 0;
    // A new value in one box (held within its range); with the ratio kept the other follows.
    // False when the shape cannot show the result: the object and the boxes stay as they were.
    virtual bool SetHorz(double v) = 0;
    virtual bool SetVert(double v) = 0;

    double Angle() const;
    bool SetAngle(double degrees);

protected:
    // Renders the shape with the geometry of `g` (kept aside for a failure).
    bool ApplyGeometry(const CGeometryMemento& g);

    SizeUnit unit_ = SizeUnit::Pixel;
    bool keepRatio_ = true;
    double horz_ = 0, vert_ = 0;
};

// Image objects: the size in pixels or percent of the untouched source, the angle and the filter.
class CImageGeneralPage : public CSizedGeneralPage {
public:
    explicit CImageGeneralPage(CPropertySession& session);

    void SetUnit(SizeUnit unit) override;
    double MinHorz() const override;
    double MaxHorz() const override;
    double MinVert() const override;
    double MaxVert() const override;
    bool SetHorz(double v) override;
    bool SetVert(double v) override;

    // 0..16; renders again when the image is scaled or turned.
    int Filter() const;
    bool SetFilter(int filter);
    int SourceWidth() const { return srcW_; }
    int SourceHeight() const { return srcH_; }

    bool Changed() const override;

private:
    bool SetScales(double sx, double sy);
    double ScaleX() const;
    double ScaleY() const;

    int srcW_ = 1, srcH_ = 1;
    // The size the image had when the page opened.
    double size0X_ = 1, size0Y_ = 1;
    double scaleX0_ = 1, scaleY0_ = 1, angle0_ = 0;
    int filter0_ = 5;
};

// Rectangles ("Width:", "Height:", "Roundness") and ellipses ("Horz Radius:", "Vert Radius:"):
// two size fields measured against the sizes kept at opening.
class CShapeSizePage : public CSizedGeneralPage {
public:
    static constexpr int kMaxRoundness = 50;

    explicit CShapeSizePage(CPropertySession& session);

    void SetUnit(SizeUnit unit) override;
    double MinHorz() const override { return Min(s0x_); }
    double MaxHorz() const override { return Max(s0x_); }
    double MinVert() const override { return Min(s0y_); }
    double MaxVert() const override { return Max(s0y_); }
    bool SetHorz(double v) override;
    bool SetVert(double v) override;

    // Rectangles only.
    bool HasRoundness() const;
    int Roundness() const;
    bool SetRoundness(int v);

    double KeptHorz() const { return s0x_; }
    double KeptVert() const { return s0y_; }
    bool Changed() const override;

private:
    double Min(double s0) const;
    double Max(double s0) const;
    // The shape's size for a box value of the current unit.
    double SizeOf(double box, double s0) const;
    bool SetSizes(double horzBox, double vertBox);

    // S0x and S0y, never below a tiny size; size0 as they really were.
    double s0x_ = 1, s0y_ = 1, size0x_ = 0, size0y_ = 0, angle0_ = 0;
    int round0_ = 0;
};

// Polygons: two scales in percent of the points as they were when the page opened.
class CPolygonGeneralPage : public CSizedGeneralPage {
public:
    explicit CPolygonGeneralPage(CPropertySession& session);

    // Polygons have no units: always percent.
    void SetUnit(SizeUnit) override {}
    double MinHorz() const override { return Min(w0_); }
    double MaxHorz() const override { return Max(w0_); }
    double MinVert() const override { return Min(h0_); }
    double MaxVert() const override { return Max(h0_); }
    bool SetHorz(double v) override;
    bool SetVert(double v) override;

    bool Changed() const override;

private:
    static double Min(double size);
    static double Max(double size);
    bool SetScales(double horz, double vert);

    CGeometryMemento points0_;
    double w0_ = 0, h0_ = 0;
};

} // namespace zepho
