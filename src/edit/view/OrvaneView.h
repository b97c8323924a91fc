// The view model of a document window: zoom, canvas layout and coordinate mapping, the
// composition of any repainted area, the selection region and its outline, the transform
// tracker, the floating raster and the routing of mouse input to the current tool. Whatever
// needs the widget goes through its IViewHost.
#pragma once

#include "edit/document/DocObserver.h"
#include "edit/tools/Tool.h"
#include "edit/tools/Tracker.h"
#include "edit/view/ViewComposition.h"
#include "edit/view/Snap.h"
#include "edit/view/ViewHost.h"
#include "model/DrawObj.h"
#include "model/FrameView.h"
#include "platform/Region.h"

#include <optional>
#include <string>

namespace zepho {

class COrvaneDoc;
class IUiHost;

class COrvaneView : private IFrameView, private IDocObserver {
public:
    static constexpr int kMinZoom = -8;
    static constexpr int kMaxZoom = 8;
    // The selection outline's timer.
    static constexpr int kOutlineTimerId = 1001;
    static constexpr int kOutlineTimerMs = 1000;

    // Registers with the document; the host may be null (no widget yet).
    COrvaneView(COrvaneDoc& doc, IViewHost* host);
    ~COrvaneView() override;
    COrvaneView(const COrvaneView&) = delete;
    COrvaneView& operator=(const COrvaneView&) = delete;

    COrvaneDoc& Document() const { return doc_; }
    void SetHost(IViewHost* host) { host_ = host; }
    IViewHost* Host() const { return host_; }
    // Where messages go; none shows nothing.
    void SetUiHost(IUiHost* ui) { ui_ = ui; }
    IUiHost* UiHost() const { return ui_; }
    // The shell's paint colours (not owned); the tools read and set them.
    void SetPaintColours(CPaintColours* colours) { colours_ = colours; }
    CPaintColours* PaintColours() const { return colours_; }

    // First showing: the move tool, the layout and the outline timer.
    void OnInitialUpdate();
    // The window changed size.
    void OnSize() { UpdateScrollSizes(); }

    // --- zoom ---------------------------------------------------------------------------------
    int Zoom() const { return zoom_; }
    // Ignores 0, -1 and values beyond -8..8.
    void SetZoom(int zoom);
    bool CanZoomIn() const { return zoom_ != kMaxZoom; }
    bool CanZoomOut() const { return zoom_ != kMinZoom; }
    // One step; -2 steps in to 1 and 1 steps out to -2.
    void ZoomIn();
    void ZoomOut();
    // The same zoom changes keeping the canvas point under the client point `anchor` in place.
    void ZoomAbout(int zoom, POINT anchor);
    void ZoomInAbout(POINT anchor);
    void ZoomOutAbout(POINT anchor);
    // The largest zoom level at which the whole canvas and its edge fit the window.
    int FitZoom() const;
    // True when the canvas at actual size does not fit the window.
    bool LargerThanWindow() const;
    // The zoom as the status bar shows it: "100%", "800%", "12.5%".
    std::string ZoomText() const;
    // The zoom a View menu command sets (Actual Size, 2x..8x, 1/2x..1/8x); 0 for other ids.
    static int ZoomOfCommand(int commandId);
    void OnZoomCommand(int commandId);
    bool IsZoomCommandChecked(int commandId) const;

    // --- layout and mapping -------------------------------------------------------------------
    // Where the zoomed canvas lies in scroll coordinates, as of the last layout.
    const RECT& CanvasRect() const { return canvasRect_; }
    POINT CanvasOrigin() const { return {canvasRect_.left, canvasRect_.top}; }
    // Recomputes the scroll sizes and the canvas rectangle from the canvas size and zoom.
    void UpdateScrollSizes();

    POINT ClientToLogical(POINT p) const;
    POINT LogicalToClient(POINT p) const;
    RECT LogicalToClient(const RECT& r) const;
    // Scroll coordinates to canvas pixels, as every tool receives its points.
    POINT LogicalToCanvas(POINT p) const;
    RECT LogicalToCanvas(const RECT& r) const;
    POINT CanvasToLogical(POINT p) const;
    POINT ClientToCanvas(POINT client) const { return LogicalToCanvas(ClientToLogical(client)); }
    // Scroll coordinates to canvas pixels as doubles, without rounding (the knob's drag).
    DPoint LogicalToCanvasExact(POINT p) const;
    // Inside 0..W-1 x 0..H-1, or 0..W x 0..H with both bounds.
    bool InsideCanvas(POINT canvas, bool boundsIncluded = false) const;

    // --- repainting ---------------------------------------------------------------------------
    // Repaints the window; whatever the view kept of the composition is composed afresh.
    void InvalidateAll();
    // Repaints the window for what is drawn over the objects alone (the transform handles while
    // they are dragged): the objects have not changed.
    void InvalidateOverlay();
    // Repaints one object's area (shadow included).
    void InvalidateObject(const CDrawObj& obj);
    // Repaints a rectangle given in canvas pixels whose pixels may have changed in any way.
    void InvalidateCanvasRect(const RECT& canvas);
    // While objects are dragged (moved, or the transform handles dragged) a repaint composes
    // only the dragged objects, over kept images of the visible area made at the first repaint
    // of the drag and freed when it ends: the checkerboard with the objects below them, and the
    // objects above them (ViewComposition.h). The pixels are those of a full composition. On by
    // default; off composes every object at every repaint.
    void SetKeepComposition(bool keep);
    bool KeepsComposition() const { return keepComposition_; }
    // Bytes of the kept images now held (0 when none).
    std::size_t KeptCompositionBytes() const { return composition_.Bytes(); }
    // The window's pixels for a rectangle in client coordinates: a new 32-bit image of its size.
    PackedDib Render(const RECT& client) const { return Render(client, 1); }
    // The same on a screen of `scale` device pixels per window pixel (1 to 4): an image `scale`
    // times as wide and high, the canvas drawn at device resolution and the outlines, handles and
    // rubber bands one device pixel wide. A reduction the scale does not divide is drawn at
    // window resolution and enlarged.
    PackedDib Render(const RECT& client, int scale) const;

    // --- selection ----------------------------------------------------------------------------
    // The selection in canvas pixels; none when nothing is selected.
    const std::optional<Region>& Selection() const { return selection_; }
    std::optional<Region>& Selection() { return selection_; }
    void SetSelection(std::optional<Region> region);
    // The outline follows a changed region; repaints.
    void SelectionRegionChanged();
    // The outline in view pixels relative to the canvas origin; none without a selection.
    const std::optional<Region>& SelectionOutline() const { return outline_; }
    int OutlinePhase() const { return phase_; }
    // A selection being dragged draws its outline displaced by this many canvas pixels.
    void SetSelectionDragOffset(POINT canvasOffset);
    bool SelectionDragging() const { return dragging_; }
    void EndSelectionDrag();
    // The periodic timer: advances the outline's dashes.
    void OnTimer(int timerId);

    // --- transform tracker --------------------------------------------------------------------
    // The object carrying the transform handles, or none.
    CDrawObj* ActiveObject() const { return active_.Get(); }
    // Attaches the handles to the object (none detaches) at its current frame and angle.
    void AttachHandles(Ref<CDrawObj> obj);
    // The tracker's unrotated rectangle (canvas pixels) and angle (radians).
    const DRect& TrackerFrame() const { return tracker_.Frame(); }
    double TrackerAngle() const { return tracker_.Angle(); }
    CTracker& Tracker() { return tracker_; }
    const CTracker& Tracker() const { return tracker_; }

    // --- floating raster ----------------------------------------------------------------------
    // Pixels drawn over the frame while a tool moves them: position in canvas pixels, directly
    // above `after` when given (else above everything).
    void SetFloating(PackedDib image, POINT position, int transparency = 0, Ref<CDrawObj> after = {});
    void ClearFloating();
    const PackedDib& Floating() const { return floating_; }
    // A tool that draws into the floating raster repaints the area it changed.
    PackedDib& Floating() { return floating_; }
    POINT FloatingPosition() const { return floatingPos_; }

    // --- tools and mouse ----------------------------------------------------------------------
    int ToolNumber() const { return toolNumber_; }
    CTool& CurrentTool() const { return ToolOf(toolNumber_); }
    // Leaving the free transform detaches its handles.
    void SelectTool(int number);
    CDragState& Drag() { return drag_; }
    const CDragState& Drag() const { return drag_; }
    CStrokeState& Stroke() { return stroke_; }
    const CStrokeState& Stroke() const { return stroke_; }
    // The pixels of the gesture's rubber band (rectangle, ellipse, lasso path or straight
    // line) in scroll coordinates; empty when none is shown. Drawn inverted over the canvas.
    Region RubberBand() const { return RubberBand(1); }
    // The same in device pixels of a screen of `scale` device pixels per window pixel.
    Region RubberBand(int scale) const;
    // Repaints where the rubber band lies; tools call it before and after changing the drag.
    void InvalidateRubberBand();
    // Moves the rubber band's free end, repainting where it was and where it goes.
    void MoveRubberBandTo(POINT logical) {
        InvalidateRubberBand();
        Drag().current = logical;
        InvalidateRubberBand();
    }

    void OnLButtonDown(unsigned flags, POINT client);
    void OnMouseMove(unsigned flags, POINT client);
    void OnLButtonUp(unsigned flags, POINT client);
    void OnLButtonDblClk(unsigned flags, POINT client);
    void OnRButtonDown(unsigned flags, POINT client);
    // The cursor for the point (the host asks when the mouse enters or rests).
    int CursorAt(POINT client) const { return CurrentTool().GetCursor(*this, client); }
    // The status-bar text for a canvas point.
    static std::string PositionText(POINT canvas);
    // A size as the status bar shows it: "48 x 37".
    static std::string SizeText(SIZE size);
    // Moves the visible selected objects, repainting where they were and where they land.
    void MoveSelectedObjects(int dx, int dy);

    // --- snapping -----------------------------------------------------------------------------
    // The settings' snapping options with the document's guides.
    CSnapOptions SnapOptions() const;
    // Whether a gesture with these key flags snaps: Alt held suspends it.
    bool Snaps(unsigned flags) const;
    // A gesture starts snapping; the given objects (those it moves) are no targets.
    void BeginSnap(const std::vector<const CDrawObj*>& moving = {});
    // The gesture ended: its smart guides go.
    void EndSnap();
    // The move (canvas pixels) that snaps a box or a point; zero when the gesture does not snap.
    // The smart guides follow.
    DPoint SnapBox(const DRect& box, unsigned flags);
    DPoint SnapPoint(DPoint canvas, unsigned flags);
    // A point in scroll coordinates, snapped as a canvas point.
    POINT SnapLogical(POINT logical, unsigned flags);
    // What lines up with the dragged box or point, for the widget to draw.
    const SnapFeedback& SmartGuides() const { return smartGuides_; }
    // The size the gesture in progress gives its selection or shape, in canvas pixels; none when
    // no rubber band is being dragged.
    std::optional<SIZE> RubberBandSize() const;

    // Services the tools use.
    void CaptureMouse();
    void ReleaseMouse();
    bool HasCapture() const { return captured_; }
    void SetCursor(int cursorId);
    void ShowMessage(const char* text) const;
    // Selection flags changed: the panel follows and the view repaints.
    void SelectionFlagsChanged();

private:
    // IFrameView: what the model asks while it moves objects.
    // Only moves repaint through here, and the kept composition checks positions itself.
    void InvalidateDocRect(const RECT& docRect) override { InvalidateCanvasArea(docRect); }
    void DrawSelectionOutline(const RECT& viewRect) override;
    // IDocObserver.
    void DefaultModeRequested() override { SelectTool(ToolMove); }
    void ObjectsChanged() override { composition_.Drop(); }
    void ObjectsRepainted() override { composition_.Drop(); }
    void CanvasInvalidated() override { InvalidateAll(); }
    void CanvasResized() override { UpdateScrollSizes(); }
    void ObjectPlaced(const CDrawObj& obj) override {
        if (active_.Get() == &obj) AttachHandles(active_);
    }
    void ObjectAreaChanged(const CDrawObj& obj) override { InvalidateObject(obj); }
    void ObjectsRemoved() override;
    void SelectionRegionRestored(const COrvaneView* view) override {
        if (view == this) SelectionRegionChanged();
    }

    // Repaints a canvas rectangle keeping the kept composition.
    void InvalidateCanvasArea(const RECT& canvas);
    // While a drag may repaint from a kept composition: the list positions of the lowest dragged
    // object and of the first object above the highest one (both the count when nothing moves).
    bool CompositionRange(int& split, int& top) const;
    // The objects over the checkerboard for a w x h part of the canvas whose top-left lies at
    // `at` (zoomed canvas coordinates, device pixels; canvas in device scroll coordinates), from
    // the kept composition while a drag lasts.
    PackedDib ComposeCanvas(int w, int h, POINT at, int zoom, int scale, const RECT& canvas) const;

    void InvalidateViewRect(const RECT& view);
    void RebuildOutline();
    // The selection's border pixels at a zoom, relative to the canvas origin.
    std::optional<Region> OutlineAt(int zoom) const;
    // dstOrigin, canvas and zoom in device pixels of the scale.
    void DrawOutline(PackedDib& dst, POINT dstOrigin, int scale, const RECT& canvas, int zoom) const;
    void DrawRubberBand(PackedDib& dst, POINT dstOrigin, int scale) const;
    void AfterZoom();

    COrvaneDoc& doc_;
    IViewHost* host_;
    IUiHost* ui_ = nullptr;
    CPaintColours* colours_ = nullptr;
    int zoom_ = 1;
    RECT canvasRect_{};

    // Kept by the document, which undo reaches without the view.
    std::optional<Region>& selection_;
    std::optional<Region> outline_;
    // The outline at the device zoom of a high-density screen, made when first drawn.
    mutable std::optional<Region> deviceOutline_;
    mutable int deviceOutlineZoom_ = 0;
    int phase_ = 0;
    bool dragging_ = false;
    POINT dragOffset_{};

    Ref<CDrawObj> active_;
    CTracker tracker_;

    bool keepComposition_ = true;
    mutable CViewComposition composition_;

    PackedDib floating_;
    POINT floatingPos_{};
    int floatingTransparency_ = 0;
    Ref<CDrawObj> floatingAfter_;

    std::optional<CSnapper> snapper_;
    SnapFeedback smartGuides_;
    void ShowSmartGuides(SnapFeedback feedback);

    int toolNumber_ = ToolMove;
    CDragState drag_;
    CStrokeState stroke_;
    bool captured_ = false;
};

} // namespace zepho
