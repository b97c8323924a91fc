#include "edit/properties/PropShadow.h"

#include <algorithm>

namespace zepho {

CShadowPage::CShadowPage(CPropertySession& session) : CPropertyPage(session) {
    const CObjContent& c = session.Content();
    on0_ = c.HasShadow();
    type0_ = c.shadowType;
    offsetX0_ = c.shadowOffsetX;
    offsetY0_ = c.shadowOffsetY;
    transparency0_ = c.shadowTransparency;
    size0_ = c.shadowSize;
    smooth0_ = c.shadowSmooth;
    perspective0_ = c.shadowPerspective;
    skew0_ = c.shadowSkew;
    colour0_ = c.shadowColour;
}

void CShadowPage::Rebuild() {
    CObjContent& c = session_.Content();
    if (c.HasShadow() && session_.KeepRasters()) c.UpdateShadow();
    session_.Repaint();
}

bool CShadowPage::On() const {
    return session_.Content().HasShadow();
}

bool CShadowPage::SetOn(bool on) {
    if (on == On()) return true;
    if (!session_.KeepRasters()) return false;
    CObjContent& c = session_.Content();
    if (on)
        c.UpdateShadow();
    else
        c.FreeShadow();
    session_.Repaint();
    return On() == on;
}

int CShadowPage::Type() const {
    return session_.Content().shadowType;
}
void CShadowPage::SetType(int type) {
    if (type < 1 || type > kTypeCount) return;
    session_.Content().shadowType = type;
    Rebuild();
}

COLORREF CShadowPage::Colour() const {
    return session_.Content().shadowColour;
}
void CShadowPage::SetColour(COLORREF c) {
    session_.Content().shadowColour = c;
    Rebuild();
}

int CShadowPage::OffsetX() const {
    return session_.Content().shadowOffsetX;
}
int CShadowPage::OffsetY() const {
    return session_.Content().shadowOffsetY;
}
void CShadowPage::SetOffsetX(int v) {
    session_.Content().shadowOffsetX = std::clamp(v, 0, kMaxOffset);
    Rebuild();
}
void CShadowPage::SetOffsetY(int v) {
    session_.Content().shadowOffsetY = std::clamp(v, 0, kMaxOffset);
    Rebuild();
}

int CShadowPage::Transparency() const {
    return session_.Content().shadowTransparency;
}
void CShadowPage::SetTransparency(int v) {
    session_.Content().shadowTransparency = static_cast<std::uint8_t>(std::clamp(v, 0, kMaxTransparency));
    Rebuild();
}

int CShadowPage::Size() const {
    return session_.Content().shadowSize;
}
void CShadowPage::SetSize(int v) {
    session_.Content().shadowSize = static_cast<std::uint8_t>(std::clamp(v, kMinSize, kMaxSize));
    Rebuild();
}

int CShadowPage::Smooth() const {
    return session_.Content().shadowSmooth;
}
void CShadowPage::SetSmooth(int v) {
    session_.Content().shadowSmooth = static_cast<std::uint8_t>(std::clamp(v, 0, kMaxSmooth));
    Rebuild();
}

int CShadowPage::Perspective() const {
    return session_.Content().shadowPerspective;
}
void CShadowPage::SetPerspective(int v) {
    session_.Content().shadowPerspective = static_cast<std::uint16_t>(std::clamp(v, 0, kMaxPerspective));
    Rebuild();
}

int CShadowPage::Skew() const {
    return session_.Content().shadowSkew;
}
void CShadowPage::SetSkew(int v) {
    session_.Content().shadowSkew = static_cast<std::uint16_t>(std::clamp(v, 0, kMaxSkew));
    Rebuild();
}

bool CShadowPage::Changed() const {
    const CObjContent& c = session_.Content();
    return c.HasShadow() != on0_ || c.shadowType != type0_ || c.shadowOffsetX != offsetX0_ ||
           c.shadowOffsetY != offsetY0_ || c.shadowTransparency != transparency0_ || c.shadowSize != size0_ ||
           c.shadowSmooth != smooth0_ || c.shadowPerspective != perspective0_ || c.shadowSkew != skew0_ ||
           c.shadowColour != colour0_;
}

} // namespace zepho
