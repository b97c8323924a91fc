// The view model of a document window: zoom, canvas layout, the selection region and the
// object carrying the transform handles. It never paints; it tells its host what to repaint.
#pragma once

#include "edit/ViewHost.h"
#include "model/DrawObj.h"
#include "platform/Region.h"

#include <optional>

namespace zepho {

class COrvaneDoc;

class COrvaneView {
public:
    // Registers with the document; the host may be null (no widget yet).
    COrvaneView(COrvaneDoc& doc, IViewHost* host);
    ~COrvaneView();
    COrvaneView(const COrvaneView&) = delete;
    COrvaneView& operator=(const COrvaneView&) = delete;

    COrvaneDoc& Document() const { return doc_; }
    void SetHost(IViewHost* host) { host_ = host; }

    int Zoom() const { return zoom_; }
    void SetZoom(int zoom);
    // Where the zoomed canvas lies in scroll coordinates, as of the last layout.
    const RECT& CanvasRect() const { return canvasRect_; }
    // Recomputes the scroll sizes and the canvas rectangle from the canvas size and zoom.
    void UpdateScrollSizes();

    void InvalidateAll();
    // Repaints one object's area (shadow included).
    void InvalidateObject(const CDrawObj& obj);

    // The selection in canvas pixels; none when nothing is selected.
    const std::optional<Region>& Selection() const { return selection_; }
    std::optional<Region>& Selection() { return selection_; }
    void SetSelection(std::optional<Region> region);
    // The outline follows a changed region; repaints.
    void SelectionRegionChanged();

    // The object carrying the transform handles, or none.
    CDrawObj* ActiveObject() const { return active_.Get(); }
    // Attaches the handles to the object (none detaches) at its current frame and angle.
    void AttachHandles(Ref<CDrawObj> obj);
    // The tracker's unrotated rectangle (canvas pixels) and angle (radians).
    const DRect& TrackerFrame() const { return trackerFrame_; }
    double TrackerAngle() const { return trackerAngle_; }

private:
    COrvaneDoc& doc_;
    IViewHost* host_;
    int zoom_ = 1;
    RECT canvasRect_{};
    std::optional<Region> selection_;
    Ref<CDrawObj> active_;
    DRect trackerFrame_{};
    double trackerAngle_ = 0;
};

} // namespace zepho
