// One placed object of the stack: position, visibility, lock, transparency and its content.
#pragma once

#include "model/ObjContent.h"

namespace zepho {

struct DRect {
    double left = 0, top = 0, right = 0, bottom = 0;
};

class CDrawObj : public CRefObject {
public:
    CDrawObj() = default;
    explicit CDrawObj(Ref<CObjContent> c) : content(std::move(c)) {}

    std::int32_t fallbackWidth = 0;
    std::int32_t fallbackHeight = 0;
    std::int32_t x = 0;
    std::int32_t y = 0;
    std::int32_t locked = 0;
    Ref<CObjContent> content;
    std::int32_t visible = 0;
    std::uint8_t transparency = 0;

    void SetContent(Ref<CObjContent> c) { content = std::move(c); }
    SIZE GetSize() const;
    POINT Position() const { return {x, y}; }
    bool IsSelected() const { return content && content->selected; }
    // The raster's rectangle, united with the shadow's while the shadow is on.
    RECT GetBounds() const;
    // Inside the rectangle and not on a fully transparent pixel.
    bool HitTest(POINT pt) const;
    // The geometric rectangle centred on the geometry's centre.
    DRect GetFrame() const;
    // Transforms the content and re-centres the object on `center`.
    bool TransformAbout(double centerX, double centerY, double scaleX, double scaleY, double angle);
    // The geometry before a transform: the shape's snapshot, or for images the transform source's
    // scales and angle (1, 1, 0 without one).
    CGeometryMemento CreateTransformUndo() const;
    // The transparency the shadow is drawn with.
    int ShadowTransparency() const;
};

} // namespace zepho
