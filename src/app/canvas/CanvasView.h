// The widget of a document view: it paints what the view model composes for each exposed
// rectangle, keeps the scroll bars the model lays out, and passes mouse and keys to the tools.
#pragma once

#include "edit/tools/Tool.h"
#include "edit/view/OrvaneView.h"
#include "edit/view/ViewHost.h"
#include "model/Frame.h"

#include <QAbstractScrollArea>
#include <QImage>
#include <QPointF>

#include <functional>
#include <map>
#include <memory>
#include <optional>

class QTimer;

namespace zepho {

class CAppSettings;
class Ruler;

class CanvasView : public QAbstractScrollArea, public IViewHost {
    Q_OBJECT
public:
    CanvasView(COrvaneDoc& doc, CPaintColours* colours, IUiHost* ui, const CAppSettings* settings,
               QWidget* parent = nullptr);
    ~CanvasView() override;

    COrvaneView& View() { return *view_; }
    const COrvaneView& View() const { return *view_; }

    // IViewHost
    void InvalidateRect(const RECT& client) override;
    void InvalidateAll() override;
    SIZE ClientSize() const override;
    POINT ScrollPosition() const override;
    void SetScrollSizes(SIZE total, bool horzBar, bool vertBar) override;
    void ScrollTo(POINT p) override;
    void CaptureMouse() override;
    void ReleaseMouse() override;
    void SetCursor(int cursorId) override;
    void ShowContextMenu(ContextMenu menu, POINT client) override;
    void SetStatusText(const std::string& text) override;
    void StartTimer(int id, int periodMs) override;
    COLORREF FaceColour() const override;
    void OpenProperties(CDrawObj& obj) override;
    bool OpenTextEditor(CDrawObj& obj) override;
    void PaintColoursChanged() override;
    void ShowPickedColour(const PickedColour& colour) override;
    void ToolChanged(int toolNumber) override;

    // Set by the main window: the text editor for a new text object.
    std::function<bool(CDrawObj&)> textEditor;

    // One zoom step about the middle of the window (the keys and the toolbar).
    void ZoomStep(bool in);
    // The largest zoom level that shows the whole canvas.
    void FitInWindow();

    // Plays the document as the animation export writes it: frame i is the canvas after the
    // visible objects up to the i-th, shown for the document's delay. Esc or a click stops it;
    // the document is not changed. False when there are fewer than two visible objects.
    bool PlayAnimation();
    void StopAnimation();
    bool Playing() const { return playTimer_ != nullptr; }
    // The frame on screen while playing.
    int PlayFrame() const { return playFrame_; }

    // --- rulers, guides and grid --------------------------------------------------------------
    // Rulers along the top and left.
    void SetRulersShown(bool shown);
    bool RulersShown() const { return rulersShown_; }
    Ruler* HorizontalRuler() const { return hRuler_; }
    Ruler* VerticalRuler() const { return vRuler_; }
    // Screen pixels per canvas pixel.
    double Scale() const;
    // Canvas pixels to viewport coordinates and back, unrounded.
    double CanvasToClientX(double x) const;
    double CanvasToClientY(double y) const;
    double ClientToCanvasX(double x) const;
    double ClientToCanvasY(double y) const;
    // Where the mouse is over the viewport (for the rulers' marks); none when it is elsewhere.
    std::optional<QPointF> MouseClient() const { return mouse_; }
    // Starts dragging a guide: a new one (index -1) or the document's guide `index`. False
    // when guides are hidden or locked.
    bool BeginGuideDrag(bool vertical, int index);
    // The guide follows a point in viewport coordinates.
    void MoveGuideDrag(const QPoint& viewportPos);
    // Released: placed, moved, or deleted when let go over its ruler (beyond the canvas side).
    void EndGuideDrag(const QPoint& viewportPos);
    bool DraggingGuide() const { return guideDrag_.active; }
    // The guide under a viewport point within 3 screen pixels: its direction and index.
    std::optional<std::pair<bool, int>> GuideAt(const QPoint& viewportPos) const;

signals:
    void StatusText(const QString& text);
    void ContextMenuRequested(ContextMenu menu, const QPoint& global);
    void PropertiesRequested(CDrawObj* obj);
    void PaintColoursEdited();
    void PickedColourChanged(const PickedColour& colour);
    void ToolSwitched(int tool);
    void ZoomChanged();
    // A mouse button went down or up: what a tool did may change the commands' states.
    void ToolActed();
    // The document's guides were placed, moved or deleted here.
    void GuidesChanged();

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void scrollContentsBy(int dx, int dy) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void keyReleaseEvent(QKeyEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
    bool event(QEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;

private:
    unsigned Flags(const QMouseEvent* e) const;
    void EndPan();
    void NextFrame();
    void PlaceRulers();
    // The grid, the guides and the smart guides over the composed canvas.
    void PaintOverlay(QPainter& painter, const QRect& area);
    void TrackMouse(const QPointF& pos);

    Ruler* hRuler_ = nullptr;
    Ruler* vRuler_ = nullptr;
    QWidget* rulerCorner_ = nullptr;
    bool rulersShown_ = false;
    std::optional<QPointF> mouse_;
    struct GuideDrag {
        bool active = false;
        bool vertical = true;
        // -1 for a new guide.
        int index = -1;
        double pos = 0;
        // Whether the guide shows yet (a new one appears once it leaves its ruler).
        bool shown = false;
    } guideDrag_;

    std::unique_ptr<COrvaneView> view_;
    const CAppSettings* settings_;
    std::map<int, QTimer*> timers_;
    // Space held down turns the mouse into a hand that drags the view.
    bool spaceHeld_ = false;
    bool panning_ = false;
    QPoint panFrom_;
    QPoint scrollFrom_;
    QTimer* playTimer_ = nullptr;
    int playFrame_ = -1;
    QImage playImage_;
    CFrameComposer composer_;
};

} // namespace zepho
