#include "edit/dialogs/CaptureModel.h"

#include "edit/commands/CmdCommon.h"
#include "edit/undo/UndoObjects.h"
#include "model/AppSettings.h"
#include "model/ImageObjects.h"

#include <algorithm>

namespace zepho {

namespace {

// Window trees are shallow; the bound only keeps a broken tree from looping.
constexpr int kMaxDepth = 256;
// The picker's frame: 4 pixels wide, centred on the outline.
constexpr int kFrameHalf = 2;

bool Holds(IWindowSystem& sys, WindowId w, POINT pt) {
    RECT r;
    return sys.IsVisible(w) && sys.GetWindowRect(w, r) && r.Contains(pt.x, pt.y);
}

void SetAlpha(PackedDib& dib, BYTE alpha) {
    for (int y = 0; y < dib.Height(); ++y) {
        BYTE* p = dib.Row(y);
        for (int x = 0; x < dib.Width(); ++x)
            p[4 * x + 3] = alpha;
    }
}

Region Shifted(const Region& r, LONG dx, LONG dy) {
    Region out = r;
    out.Offset(dx, dy);
    return out;
}

// Dilation (grow) or erosion (shrink) by a square of side 2k + 1, one axis at a time.
Region Morph(const Region& r, int k, bool grow) {
    Region rows = r;
    for (int d = -k; d <= k; ++d) {
        if (d == 0) continue;
        if (grow)
            rows.Union(Shifted(r, d, 0));
        else
            rows.Intersect(Shifted(r, d, 0));
    }
    Region out = rows;
    for (int d = -k; d <= k; ++d) {
        if (d == 0) continue;
        if (grow)
            out.Union(Shifted(rows, 0, d));
        else
            out.Intersect(Shifted(rows, 0, d));
    }
    return out;
}

Ref<CDrawObj> CaptureObject(COrvaneDoc& doc, PackedDib picture, BYTE alpha) {
    Ref<CObjContent> content = MakeRef<CObjContent>(KindImage);
    content->SetRaster(std::move(picture));
    content->name = doc.NextObjectName(KindImage);
    content->selected = 1;
    Ref<CDrawObj> obj = MakeRef<CDrawObj>(content);
    obj->x = 0;
    obj->y = 0;
    obj->visible = 1;
    obj->transparency = static_cast<std::uint8_t>(255 - alpha);
    return obj;
}

} // namespace

WindowId WindowFromPoint(IWindowSystem& sys, POINT pt, WindowId exclude) {
    WindowId w = sys.Desktop();
    if (!w || !Holds(sys, w, pt)) return 0;
    for (int depth = 0; depth < kMaxDepth; ++depth) {
        WindowId next = 0;
        for (WindowId child : sys.Children(w))
            if (child && child != exclude && Holds(sys, child, pt)) {
                next = child;
                break;
            }
        if (!next) break;
        w = next;
    }
    return w;
}

void DrawCursor(PackedDib& picture, POINT origin, const CursorImage& cursor) {
    const PackedDib& img = cursor.image;
    if (!picture.Is32() || !img.Is32()) return;
    const std::int64_t left = std::int64_t{cursor.position.x} - cursor.hotSpot.x - origin.x;
    const std::int64_t top = std::int64_t{cursor.position.y} - cursor.hotSpot.y - origin.y;
    for (int cy = 0; cy < img.Height(); ++cy) {
        const std::int64_t y = top + cy;
        if (y < 0 || y >= picture.Height()) continue;
        for (int cx = 0; cx < img.Width(); ++cx) {
            const std::int64_t x = left + cx;
            if (x < 0 || x >= picture.Width()) continue;
            const BYTE* s = img.Pixel32(cx, cy);
            BYTE* d = picture.Pixel32(static_cast<int>(x), static_cast<int>(y));
            const int keep = 255 - s[3];
            // Premultiplied "over"; a colour above its alpha (a broken image) is clamped.
            for (int c = 0; c < 3; ++c)
                d[c] = static_cast<BYTE>(std::min(255, s[c] + (d[c] * keep + 127) / 255));
        }
    }
}

PackedDib ScreenPicture(IWindowSystem& sys, bool includeCursor) {
    PackedDib pic = sys.GrabScreen();
    if (!pic.Is32()) return {};
    if (includeCursor) {
        CursorImage cursor;
        if (sys.GetCursor(cursor)) DrawCursor(pic, POINT{0, 0}, cursor);
    }
    SetAlpha(pic, 255);
    return pic;
}

PackedDib WindowPicture(IWindowSystem& sys, WindowId w, bool includeCursor, BYTE& alpha) {
    alpha = 255;
    RECT window;
    if (!w || !sys.GetWindowRect(w, window)) return {};
    const SIZE screen = sys.ScreenSize();
    const RECT r = IntersectRects(window, RECT{0, 0, screen.cx, screen.cy});
    if (r.IsEmpty()) return {};
    PackedDib pic = sys.GrabWindow(w, r);
    if (!pic.Is32() || pic.Width() != r.Width() || pic.Height() != r.Height()) return {};
    if (includeCursor) {
        CursorImage cursor;
        if (sys.GetCursor(cursor)) DrawCursor(pic, POINT{r.left, r.top}, cursor);
    }
    SetAlpha(pic, 255);
    Region shape;
    if (sys.GetShape(w, shape)) {
        // Into picture coordinates: the shape is relative to the window, the picture starts at
        // the clipped corner.
        shape.Offset(window.left - r.left, window.top - r.top);
        Region outside = Region::Rect(0, 0, pic.Width(), pic.Height());
        outside.Subtract(shape);
        for (const RECT& o : outside.Rects())
            for (LONG y = o.top; y < o.bottom; ++y)
                for (LONG x = o.left; x < o.right; ++x)
                    pic.Pixel32(x, y)[3] = 0;
    }
    BYTE opacity = 255;
    if (sys.GetOpacity(w, opacity)) alpha = opacity;
    return pic;
}

Region CandidateFrame(IWindowSystem& sys, WindowId w) {
    RECT r;
    if (!w || !sys.GetWindowRect(w, r)) return {};
    Region outline;
    if (sys.GetShape(w, outline))
        outline.Offset(r.left, r.top);
    else
        outline = Region::Rect(r);
    Region frame = Morph(outline, kFrameHalf, true);
    frame.Subtract(Morph(outline, kFrameHalf, false));
    const WindowId parent = sys.Parent(w);
    RECT pr;
    if (parent && parent != sys.Desktop() && sys.GetWindowRect(parent, pr)) frame.Intersect(Region::Rect(pr));
    return frame;
}

RECT CandidateRepaintRect(IWindowSystem& sys, WindowId w) {
    RECT r;
    if (!w || !sys.GetWindowRect(w, r)) return {};
    return RECT{r.left - kFrameHalf, r.top - kFrameHalf, r.right + kFrameHalf, r.bottom + kFrameHalf};
}

bool InsertCapture(COrvaneDoc& doc, PackedDib picture, BYTE alpha) {
    if (!picture.Is32()) return false;
    CDocImage& img = doc.Image();
    auto action = std::make_unique<CObjListUndo>(CObjListUndo::CaptureFullScreen);
    action->Capture(img.objects);
    img.DeselectAll();
    img.objects.AddTail(CaptureObject(doc, std::move(picture), alpha));
    CommitCommand(doc, std::move(action), true);
    return true;
}

std::shared_ptr<COrvaneDoc> NewCaptureDocument(PackedDib picture, BYTE alpha) {
    if (!picture.Is32()) return nullptr;
    auto doc = std::make_shared<COrvaneDoc>();
    doc->ResetShapeCounters();
    CDocImage& img = doc->Image();
    img.width = picture.Width();
    img.height = picture.Height();
    img.objects.AddTail(CaptureObject(*doc, std::move(picture), alpha));
    doc->title = strings::kScreenShotTitle;
    doc->SetModifiedFlag();
    return doc;
}

CCaptureModel::CCaptureModel(IWindowSystem* sys, ICaptureHost& host, const CAppSettings& settings)
    : sys_(sys), host_(host), settings_(settings) {}

CCaptureModel::CCaptureModel(IWindowSystem* sys, ICaptureHost& host, const CAppSettings& settings,
                             IScreenshotService* service)
    : sys_(sys), service_(sys ? nullptr : service), host_(host), settings_(settings) {}

int CCaptureModel::FullScreenDelay(const CAppSettings& s) {
    return s.HideMainWindow ? std::max(s.CaptureDelay, 200) : std::max(s.CaptureDelay, 0);
}

int CCaptureModel::PickerDelay(const CAppSettings& s) {
    return std::max(s.CaptureDelay, 100);
}

bool CCaptureModel::Begin(State pending) {
    if (!Available() || state_ != Idle) return false;
    // Better said now than after hiding the window and waiting.
    if (!sys_ && !service_->Ready()) {
        host_.ReportServiceMissing();
        return false;
    }
    state_ = pending;
    return true;
}

void CCaptureModel::FullScreen() {
    if (!Begin(FullScreenPending)) return;
    hidMain_ = settings_.HideMainWindow != 0;
    // Waiting on a timer rather than blocking keeps the main window painting, so that it is
    // shown as it is when it stays in the picture.
    if (hidMain_) host_.HideMainWindow();
    host_.StartTimer(kTimerCapture, FullScreenDelay(settings_));
}

void CCaptureModel::WindowOrControl() {
    if (!Begin(WindowPending)) return;
    hidMain_ = settings_.HideMainWindow != 0;
    if (hidMain_)
        host_.HideMainWindow();
    else
        host_.RepaintMainWindow();
    host_.StartTimer(kTimerCapture, PickerDelay(settings_));
}

void CCaptureModel::Finish(bool showMain) {
    state_ = Idle;
    if (showMain) host_.ShowMainWindow();
    if (settings_.RestoreMainWindow) host_.BringMainWindowToFront();
}

void CCaptureModel::OnTimer(int id) {
    host_.StopTimer(id);
    if (id == kTimerCapture && !sys_ && (state_ == FullScreenPending || state_ == WindowPending)) {
        // The service shows its own choice of window or area, so Window or Control asks it to.
        const bool interactive = state_ == WindowPending;
        state_ = AwaitingScreenshot;
        if (!service_->RequestScreenshot(interactive)) {
            Finish(hidMain_);
            host_.ReportServiceMissing();
        }
    } else if (id == kTimerCapture && state_ == FullScreenPending) {
        PackedDib pic = ScreenPicture(*sys_, settings_.IncludeCursor != 0);
        const bool ok = static_cast<bool>(pic);
        if (ok) Deliver(std::move(pic), 255);
        Finish(hidMain_);
        if (!ok) host_.ReportCaptureFailed();
    } else if (id == kTimerCapture && state_ == WindowPending) {
        PackedDib pic = ScreenPicture(*sys_, settings_.IncludeCursor != 0);
        host_.ClosePicker();
        // Without a picture or a picker nobody could ever finish this capture: give the main
        // window back instead of leaving it hidden.
        if (!pic || !host_.OpenPicker(pic)) {
            Finish(hidMain_);
            host_.ReportCaptureFailed();
        }
    } else if (id == kTimerPicked && state_ == WindowPicked) {
        const WindowId w = WindowFromPoint(*sys_, picked_, 0);
        BYTE alpha = 255;
        PackedDib pic = WindowPicture(*sys_, w, settings_.IncludeCursor != 0, alpha);
        state_ = Idle;
        sys_->ReleasePointer();
        const bool ok = static_cast<bool>(pic);
        if (ok) Deliver(std::move(pic), alpha);
        Finish(hidMain_);
        if (!ok) host_.ReportCaptureFailed();
    }
}

void CCaptureModel::OnPick(POINT screen) {
    if (state_ != WindowPending) return;
    picked_ = screen;
    host_.StartTimer(kTimerPicked, kPickedDelay);
    state_ = WindowPicked;
    host_.ClosePicker();
    sys_->ConfinePointer(screen);
}

void CCaptureModel::OnPickerCancelled() {
    if (state_ != WindowPending) return;
    host_.StopTimer(kTimerCapture);
    host_.ClosePicker();
    Finish(hidMain_);
}

void CCaptureModel::OnScreenshot(ScreenshotOutcome outcome, PackedDib picture) {
    if (state_ != AwaitingScreenshot) return;
    const bool ok = outcome == ScreenshotOutcome::Taken && picture.Is32();
    if (ok) Deliver(std::move(picture), 255);
    Finish(hidMain_);
    if (outcome == ScreenshotOutcome::Cancelled)
        host_.ReportCaptureCancelled();
    else if (!ok)
        host_.ReportCaptureFailed();
}

void CCaptureModel::Deliver(PackedDib picture, BYTE alpha) {
    if (!picture.Is32()) return;
    if (settings_.InsertIntoCapture == 1)
        if (COrvaneDoc* doc = host_.ActiveDocument()) {
            InsertCapture(*doc, std::move(picture), alpha);
            return;
        }
    if (auto doc = NewCaptureDocument(std::move(picture), alpha)) host_.OpenDocument(std::move(doc));
}

} // namespace zepho
