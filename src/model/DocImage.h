// The content model of a document: canvas size, the GIF frame attributes and the object stack.
#pragma once

#include "model/DrawObjList.h"
#include "model/FrameView.h"
#include "model/PhotoInfo.h"
#include "platform/Services.h"

#include <string>

namespace zepho {

class ByteReader;
class ByteWriter;

class CDocImage : public CRefObject {
public:
    std::int32_t width = 0;
    std::int32_t height = 0;
    std::uint8_t gifControlFlags = kDefaultGifControlFlags;
    std::uint8_t gifTransparentIndex = 0;
    std::uint8_t gifImageFlags = 0x80;
    CDrawObjList objects;
    COLORREF matteColour = 0;
    std::int32_t gifBackgroundIndex = 0;
    std::uint16_t delay = 20;
    // Camera, date, title and location of a photo opened from a single-image file.
    CPhotoInfo photoInfo;

    // Disposal method 2 in bits 2-4.
    static constexpr std::uint8_t kDefaultGifControlFlags = 2 << 2;

    void SetDisposal(int method) {
        gifControlFlags = static_cast<std::uint8_t>((gifControlFlags & 0xE3) | ((method & 7) << 2));
    }
    int Disposal() const { return (gifControlFlags >> 2) & 7; }

    // Releases every object and resets every field.
    void Clear();
    void ShowFirstObjectOnly();
    int CountVisible() const;
    int CountSelectedVisible() const;
    bool AnySelectedLocked() const;
    void DeselectAll();
    Ref<CDrawObj> TopmostVisible() const;
    Ref<CDrawObj> TopmostAt(POINT pt) const;
    // The topmost visible selected object hit at pt; else the highest visible selected one.
    Ref<CDrawObj> TopmostSelectedAt(POINT pt) const;
    // Moves every visible selected object; the view repaints each object's area before and after.
    void MoveSelected(int dx, int dy, IFrameView* view);
    // The visible objects flattened with their transparency into a new w x h image.
    PackedDib CompositeVisible(int w, int h) const;
    // Outlines every visible selected object's bounds at the given zoom.
    void InvalidateSelection(IFrameView& view, int zoom) const;

    // The native document format. The writer always writes the current version, through a
    // temporary file that replaces the target only when everything was written. The readers
    // append to the (cleared) model; non-zero on success.
    int SaveNative(const std::string& path, IProgress* progress) const;
    int ReadNativeAnyVersion(const std::string& path, IProgress* progress);
    int ReadNative(const std::string& path, IProgress* progress);
    int ReadNative2000(const std::string& path, IProgress* progress);
    int ReadNative2001(const std::string& path, IProgress* progress);
    int ReadNative2002(const std::string& path, IProgress* progress);
    // The same over streams; `name` is what the status bar shows.
    bool WriteNative(ByteWriter& out, IProgress* progress, const std::string& name) const;
    bool ReadNativeFrom(ByteReader& in, IProgress* progress, const std::string& name);
};

} // namespace zepho
