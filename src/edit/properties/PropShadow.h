// The "Shadow" page: every change rebuilds the object's shadow at once.
#pragma once

#include "edit/properties/PropSession.h"

namespace zepho {

class CShadowPage : public CPropertyPage {
public:
    // Ranges of the page's sliders and boxes.
    static constexpr int kMaxOffset = 1000;
    static constexpr int kMaxTransparency = 255;
    static constexpr int kMinSize = 50, kMaxSize = 200;
    static constexpr int kMaxSmooth = 150;
    static constexpr int kMaxPerspective = 100;
    static constexpr int kMaxSkew = 75;
    static constexpr int kTypeCount = 9;

    explicit CShadowPage(CPropertySession& session);

    bool On() const;
    // False when the object's pixels give no shadow; the box then stays clear.
    bool SetOn(bool on);
    // 1..5 flat, 6..9 perspective.
    int Type() const;
    void SetType(int type);
    COLORREF Colour() const;
    void SetColour(COLORREF c);
    int OffsetX() const;
    int OffsetY() const;
    void SetOffsetX(int v);
    void SetOffsetY(int v);
    int Transparency() const;
    void SetTransparency(int v);
    int Size() const;
    void SetSize(int v);
    int Smooth() const;
    void SetSmooth(int v);
    int Perspective() const;
    void SetPerspective(int v);
    int Skew() const;
    void SetSkew(int v);

    bool Changed() const override;

private:
    void Rebuild();

    bool on0_;
    int type0_, offsetX0_, offsetY0_, transparency0_, size0_, smooth0_, perspective0_, skew0_;
    COLORREF colour0_;
};

} // namespace zepho
