// Screen capture: the picking walk, the shaping of the pictures, the timing of the two commands
// and the delivery into a document, against a scripted windowing system.
#include "edit/CmdTestUtil.h"
#include "edit/dialogs/CaptureModel.h"
#include "edit/undo/UndoStrings.h"

#include <map>

using namespace zepho;
using namespace zepho::test;

namespace {

// A desktop of solid windows. Window 1 is the desktop.
struct FakeWindows : IWindowSystem {
    struct Win {
        RECT rect{};
        bool visible = true;
        COLORREF colour = 0;
        std::vector<WindowId> children; // front to back
        WindowId parent = 0;
        bool shaped = false;
        Region shape;
        bool hasOpacity = false;
        BYTE opacity = 255;
    };
    std::map<WindowId, Win> wins;
    SIZE screen{100, 80};
    bool failScreen = false;
    bool hasCursor = false;
    CursorImage cursor;
    std::vector<std::string> pointer;
    void ConfinePointer(POINT at) override {
        pointer.push_back("confine " + std::to_string(at.x) + "," + std::to_string(at.y));
    }
    void ReleasePointer() override { pointer.push_back("release"); }

    FakeWindows() {
        wins[1].rect = RECT{0, 0, 100, 80};
        wins[1].colour = RGB(0, 0, 90);
    }
    Win& Add(WindowId id, WindowId parent, RECT r, COLORREF colour) {
        Win& w = wins[id];
        w.rect = r;
        w.colour = colour;
        w.parent = parent;
        auto& siblings = wins[parent].children;
        siblings.insert(siblings.begin(), id); // the newest is in front
        return w;
    }
    void Paint(PackedDib& dib, WindowId id, const RECT& clip) {
        const Win& w = wins[id];
        if (!w.visible) return;
        const RECT r = IntersectRects(w.rect, clip);
        for (LONG y = r.top; y < r.bottom; ++y)
            for (LONG x = r.left; x < r.right; ++x) {
                BYTE* p = dib.Pixel32(x, y);
                p[0] = GetBValue(w.colour), p[1] = GetGValue(w.colour), p[2] = GetRValue(w.colour), p[3] = 7;
            }
        for (auto it = w.children.rbegin(); it != w.children.rend(); ++it)
            Paint(dib, *it, r);
    }

    SIZE ScreenSize() override { return screen; }
    PackedDib GrabScreen() override {
        if (failScreen) return {};
        PackedDib dib = PackedDib::Create(screen.cx, screen.cy, 32);
        Paint(dib, 1, RECT{0, 0, screen.cx, screen.cy});
        return dib;
    }
    bool GetCursor(CursorImage& out) override {
        if (!hasCursor) return false;
        out.image = cursor.image.Clone();
        out.hotSpot = cursor.hotSpot;
        out.position = cursor.position;
        return true;
    }
    WindowId Desktop() override { return 1; }
    bool IsVisible(WindowId w) override { return wins.count(w) && wins[w].visible; }
    bool GetWindowRect(WindowId w, RECT& out) override {
        if (!wins.count(w)) return false;
        out = wins[w].rect;
        return true;
    }
    std::vector<WindowId> Children(WindowId w) override { return wins[w].children; }
    WindowId Parent(WindowId w) override { return wins[w].parent; }
    bool GetShape(WindowId w, Region& out) override {
        if (!wins[w].shaped) return false;
        out = wins[w].shape;
        return true;
    }
    PackedDib GrabWindow(WindowId w, const RECT& rect) override {
        const COLORREF c = wins[w].colour;
        PackedDib dib = CreateSolidDIB(rect.Width(), rect.Height(), c, 9);
        return dib;
    }
    bool GetOpacity(WindowId w, BYTE& alpha) override {
        if (!wins[w].hasOpacity) return false;
        alpha = wins[w].opacity;
        return true;
    }
};

struct FakeHost : ICaptureHost {
    std::vector<std::string> log;
    COrvaneDoc* active = nullptr;
    std::vector<std::shared_ptr<COrvaneDoc>> opened;
    bool pickerFails = false;
    SIZE frozenSize{};

    void HideMainWindow() override { log.push_back("hide"); }
    void ShowMainWindow() override { log.push_back("show"); }
    void BringMainWindowToFront() override { log.push_back("front"); }
    void RepaintMainWindow() override { log.push_back("repaint"); }
    void StartTimer(int id, int ms) override {
        log.push_back("start " + std::to_string(id) + " " + std::to_string(ms));
    }
    void StopTimer(int id) override { log.push_back("stop " + std::to_string(id)); }
    bool OpenPicker(const PackedDib& frozen) override {
        log.push_back("picker");
        frozenSize = SIZE{frozen.Width(), frozen.Height()};
        return !pickerFails;
    }
    void ClosePicker() override { log.push_back("close picker"); }
    COrvaneDoc* ActiveDocument() override { return active; }
    void OpenDocument(std::shared_ptr<COrvaneDoc> doc) override {
        log.push_back("open");
        opened.push_back(std::move(doc));
    }
    void ReportCaptureFailed() override { log.push_back("failed"); }
    void ReportServiceMissing() override { log.push_back("no service"); }
    void ReportCaptureCancelled() override { log.push_back("cancelled"); }
    std::string Log() const {
        std::string s;
        for (const auto& e : log)
            s += (s.empty() ? "" : ", ") + e;
        return s;
    }
};

struct CaptureFixture : CmdFixture {
    FakeWindows sys;
    FakeHost shell;
    CCaptureModel model{&sys, shell, settings};

    // A window A (10,10)-(60,50) with a child B (20,20)-(40,30) and a window C in front of A at
    // (50,40)-(90,70).
    void AddWindows() {
        sys.Add(2, 1, RECT{10, 10, 60, 50}, RGB(200, 0, 0));
        sys.Add(3, 2, RECT{20, 20, 40, 30}, RGB(0, 200, 0));
        sys.Add(4, 1, RECT{50, 40, 90, 70}, RGB(0, 0, 200));
    }
    // Runs the window command through the picker to the grab at pt.
    void PickWindowAt(POINT pt) {
        model.WindowOrControl();
        model.OnTimer(CCaptureModel::kTimerCapture);
        model.OnPick(pt);
        model.OnTimer(CCaptureModel::kTimerPicked);
    }
    const CDrawObj& TopOfOpened() { return *shell.opened.back()->Image().objects.Tail(); }
};

// A screenshot service that records its requests; the test answers them.
struct FakeService : IScreenshotService {
    bool ready = true, sends = true;
    std::vector<bool> requests; // interactive or not
    bool Ready() override { return ready; }
    bool RequestScreenshot(bool interactive) override {
        requests.push_back(interactive);
        return sends;
    }
};

BYTE AlphaAt(const PackedDib& d, int x, int y) {
    return d.Pixel32(x, y)[3];
}
COLORREF ColourAt(const PackedDib& d, int x, int y) {
    const BYTE* p = d.Pixel32(x, y);
    return RGB(p[2], p[1], p[0]);
}

} // namespace

TEST(Capture, WindowFromPointTakesTheDeepestVisibleWindowFrontFirst) {
    CaptureFixture f;
    f.AddWindows();
    EXPECT_EQ(WindowFromPoint(f.sys, POINT{5, 5}, 0), 1u) << "the desktop background";
    EXPECT_EQ(WindowFromPoint(f.sys, POINT{12, 12}, 0), 2u);
    EXPECT_EQ(WindowFromPoint(f.sys, POINT{25, 25}, 0), 3u) << "the child, not its parent";
    EXPECT_EQ(WindowFromPoint(f.sys, POINT{55, 45}, 0), 4u) << "the front one where two overlap";
    EXPECT_EQ(WindowFromPoint(f.sys, POINT{55, 45}, 4), 2u) << "the picker is looked through";
    EXPECT_EQ(WindowFromPoint(f.sys, POINT{100, 10}, 0), 0u) << "off the desktop";
    f.sys.wins[4].visible = false;
    EXPECT_EQ(WindowFromPoint(f.sys, POINT{55, 45}, 0), 2u);
    // A child beyond its parent's rectangle is not reached through the parent.
    f.sys.Add(5, 2, RECT{55, 5, 70, 9}, RGB(1, 1, 1));
    EXPECT_EQ(WindowFromPoint(f.sys, POINT{56, 6}, 0), 1u);
}

TEST(Capture, FullScreenWithDefaultsHidesCapturesThenShowsAndOpensScreenShot) {
    CaptureFixture f;
    f.AddWindows();
    f.model.FullScreen();
    EXPECT_EQ(f.model.GetState(), CCaptureModel::FullScreenPending);
    EXPECT_EQ(f.shell.Log(), "hide, start 1001 600");
    f.model.OnTimer(CCaptureModel::kTimerCapture);
    EXPECT_EQ(f.model.GetState(), CCaptureModel::Idle);
    // The picture is delivered while the window is still hidden.
    EXPECT_EQ(f.shell.Log(), "hide, start 1001 600, stop 1001, open, show, front");
    ASSERT_EQ(f.shell.opened.size(), 1u);
    COrvaneDoc& doc = *f.shell.opened[0];
    EXPECT_EQ(doc.title, "ScreenShot");
    EXPECT_TRUE(doc.IsModified());
    EXPECT_EQ(doc.Image().width, 100);
    EXPECT_EQ(doc.Image().height, 80);
    ASSERT_EQ(doc.Image().objects.Count(), 1);
    const CDrawObj& obj = f.TopOfOpened();
    EXPECT_EQ(obj.content->name, "Obj - 1");
    EXPECT_TRUE(obj.IsSelected() && obj.visible);
    EXPECT_EQ(obj.Position(), (POINT{0, 0}));
    EXPECT_EQ(obj.transparency, 0);
    EXPECT_EQ(ColourAt(obj.content->raster, 55, 45), RGB(0, 0, 200));
    EXPECT_EQ(ColourAt(obj.content->raster, 2, 2), RGB(0, 0, 90));
    EXPECT_EQ(AlphaAt(obj.content->raster, 2, 2), 255);
    EXPECT_EQ(doc.UndoManager().UndoCount(), 0u) << "a new document has nothing to undo";

    // The timer has done its work: firing again changes nothing.
    f.model.OnTimer(CCaptureModel::kTimerCapture);
    EXPECT_EQ(f.shell.opened.size(), 1u);
}

TEST(Capture, DelaysAndTheMainWindowFollowTheSettings) {
    CaptureFixture f;
    f.settings.CaptureDelay = 50;
    EXPECT_EQ(CCaptureModel::FullScreenDelay(f.settings), 200);
    EXPECT_EQ(CCaptureModel::PickerDelay(f.settings), 100);
    f.settings.CaptureDelay = 700;
    EXPECT_EQ(CCaptureModel::PickerDelay(f.settings), 700);

    // Not hiding: the main window stays in the picture and only comes to the front.
    f.settings.HideMainWindow = 0;
    f.settings.CaptureDelay = 50;
    EXPECT_EQ(CCaptureModel::FullScreenDelay(f.settings), 50);
    f.model.FullScreen();
    f.model.OnTimer(CCaptureModel::kTimerCapture);
    EXPECT_EQ(f.shell.Log(), "start 1001 50, stop 1001, open, front");

    f.shell.log.clear();
    f.settings.RestoreMainWindow = 0;
    f.model.WindowOrControl();
    EXPECT_EQ(f.shell.Log(), "repaint, start 1001 100");

    // Hiding without restoring: shown again, but not raised.
    f.model.OnPickerCancelled();
    f.shell.log.clear();
    f.settings.HideMainWindow = 1;
    f.model.FullScreen();
    // A second command while one is running is ignored.
    f.model.WindowOrControl();
    f.model.OnTimer(CCaptureModel::kTimerCapture);
    EXPECT_EQ(f.shell.Log(), "hide, start 1001 200, stop 1001, open, show");
}

TEST(Capture, WindowPickInsertsIntoTheActiveDocumentAsOneUndoStep) {
    CaptureFixture f;
    f.AddWindows();
    f.sys.wins[2].hasOpacity = true;
    f.sys.wins[2].opacity = 128;
    f.AddImage("A", 5, 5, 3, 3, true);
    f.settings.InsertIntoCapture = 1;
    f.shell.active = &f.doc;
    const std::string before = f.Dump();

    f.model.WindowOrControl();
    f.model.OnTimer(CCaptureModel::kTimerCapture);
    EXPECT_EQ(f.model.GetState(), CCaptureModel::WindowPending);
    EXPECT_EQ(f.shell.frozenSize, (SIZE{100, 80}));
    f.model.OnPick(POINT{12, 45});
    EXPECT_EQ(f.model.GetState(), CCaptureModel::WindowPicked);
    // The pointer stays on the clicked point until the window is taken.
    EXPECT_EQ(f.sys.pointer, (std::vector<std::string>{"confine 12,45"}));
    f.model.OnTimer(CCaptureModel::kTimerPicked);
    EXPECT_EQ(f.model.GetState(), CCaptureModel::Idle);
    EXPECT_EQ(f.sys.pointer, (std::vector<std::string>{"confine 12,45", "release"}));
    EXPECT_EQ(f.shell.Log(),
              "hide, start 1001 600, stop 1001, close picker, picker, start 1002 100, close picker, "
              "stop 1002, show, front");

    EXPECT_EQ(f.Order(), "A,Obj - 1");
    const CDrawObj& top = *f.Objects().Tail();
    EXPECT_FALSE(f.Objects().Head()->IsSelected());
    EXPECT_TRUE(top.IsSelected() && top.visible);
    EXPECT_EQ(top.Position(), (POINT{0, 0}));
    EXPECT_EQ(top.transparency, 127) << "opacity 128";
    EXPECT_EQ(top.GetSize(), (SIZE{50, 40}));
    EXPECT_EQ(ColourAt(top.content->raster, 0, 0), RGB(200, 0, 0));
    EXPECT_EQ(AlphaAt(top.content->raster, 49, 39), 255);
    EXPECT_EQ(f.Label(), strings::kUndoCaptureFullScreen);
    EXPECT_TRUE(f.doc.IsModified());
    f.ExpectUndoRedo(before, f.Dump());

    // Without an active document the capture opens a document of its own.
    f.shell.active = nullptr;
    f.PickWindowAt(POINT{25, 25});
    ASSERT_EQ(f.shell.opened.size(), 1u);
    EXPECT_EQ(f.TopOfOpened().GetSize(), (SIZE{20, 10}));
    EXPECT_EQ(f.TopOfOpened().transparency, 0);
}

TEST(Capture, WindowPictureIsClippedShapedAndCarriesTheCursor) {
    CaptureFixture f;
    // Half off the screen, shaped as its left column of 10 pixels plus its top row.
    FakeWindows::Win& w = f.sys.Add(2, 1, RECT{-20, 60, 30, 100}, RGB(10, 20, 30));
    w.shaped = true;
    w.shape = Region::Rect(0, 0, 10, 40);
    w.shape.Union(Region::Rect(0, 0, 50, 1));
    // A 2 x 2 cursor, its hot spot at its bottom-right pixel, pointing at (5, 70).
    f.sys.hasCursor = true;
    f.sys.cursor.image = CreateSolidDIB(2, 2, RGB(255, 255, 255), 255);
    f.sys.cursor.hotSpot = POINT{1, 1};
    f.sys.cursor.position = POINT{5, 70};

    BYTE alpha = 0;
    const PackedDib pic = WindowPicture(f.sys, 2, true, alpha);
    ASSERT_EQ(pic.Width(), 30);
    ASSERT_EQ(pic.Height(), 20);
    EXPECT_EQ(alpha, 255);
    // The shape starts at the window's corner, 20 pixels left of the picture.
    EXPECT_EQ(AlphaAt(pic, 0, 5), 0);
    EXPECT_EQ(AlphaAt(pic, 29, 0), 255) << "the top row";
    EXPECT_EQ(AlphaAt(pic, 29, 1), 0);
    // The cursor covers (4, 69)-(5, 70) on screen, (4, 9)-(5, 10) in the picture.
    EXPECT_EQ(ColourAt(pic, 4, 9), RGB(255, 255, 255));
    EXPECT_EQ(ColourAt(pic, 5, 10), RGB(255, 255, 255));
    EXPECT_EQ(ColourAt(pic, 6, 10), RGB(10, 20, 30));
    EXPECT_EQ(ColourAt(pic, 3, 9), RGB(10, 20, 30));

    // A half-transparent premultiplied cursor pixel blends; a cursor off the picture is clipped.
    PackedDib base = CreateSolidDIB(3, 1, RGB(0, 0, 200), 255);
    CursorImage c;
    c.image = CreateSolidDIB(2, 1, RGB(50, 50, 50), 128);
    c.position = POINT{-1, 0};
    DrawCursor(base, POINT{0, 0}, c);
    EXPECT_EQ(ColourAt(base, 0, 0), RGB(50, 50, 50 + 100));
    EXPECT_EQ(ColourAt(base, 1, 0), RGB(0, 0, 200));

    // Entirely off the screen: nothing to take.
    f.sys.wins[2].rect = RECT{-50, 0, -10, 10};
    EXPECT_FALSE(WindowPicture(f.sys, 2, false, alpha));
}

TEST(Capture, FailuresGiveTheMainWindowBack) {
    CaptureFixture f;
    f.shell.pickerFails = true;
    f.model.WindowOrControl();
    f.model.OnTimer(CCaptureModel::kTimerCapture);
    EXPECT_EQ(f.model.GetState(), CCaptureModel::Idle);
    EXPECT_EQ(f.shell.Log(), "hide, start 1001 600, stop 1001, close picker, picker, show, front, failed");

    f.shell.log.clear();
    f.sys.failScreen = true;
    f.model.FullScreen();
    f.model.OnTimer(CCaptureModel::kTimerCapture);
    EXPECT_EQ(f.model.GetState(), CCaptureModel::Idle);
    EXPECT_TRUE(f.shell.opened.empty());
    EXPECT_EQ(f.shell.Log(), "hide, start 1001 600, stop 1001, show, front, failed");

    // Dismissing the picker ends the capture the same way, without a picture.
    f.sys.failScreen = false;
    f.shell.pickerFails = false;
    f.shell.log.clear();
    f.model.WindowOrControl();
    f.model.OnTimer(CCaptureModel::kTimerCapture);
    f.model.OnPickerCancelled();
    EXPECT_EQ(f.model.GetState(), CCaptureModel::Idle);
    EXPECT_TRUE(f.shell.opened.empty());
    // Neither a late pick nor a late timer does anything now.
    f.model.OnPick(POINT{1, 1});
    f.model.OnTimer(CCaptureModel::kTimerPicked);
    EXPECT_TRUE(f.shell.opened.empty());
}

TEST(Capture, CandidateFrameIsFourPixelsOnTheOutlineClippedToTheParent) {
    CaptureFixture f;
    f.AddWindows();
    const Region frame = CandidateFrame(f.sys, 4);
    EXPECT_EQ(frame.Bounds(), (RECT{48, 38, 92, 72}));
    EXPECT_EQ(CandidateRepaintRect(f.sys, 4), frame.Bounds());
    for (int x : {48, 49, 50, 51})
        EXPECT_TRUE(frame.Contains(x, 50)) << x;
    EXPECT_FALSE(frame.Contains(52, 50));
    EXPECT_FALSE(frame.Contains(47, 50));

    // A child on its parent's left edge: the part of its frame outside the parent goes.
    f.sys.wins[3].rect = RECT{10, 20, 30, 30};
    const Region child = CandidateFrame(f.sys, 3);
    EXPECT_FALSE(child.Contains(8, 25));
    EXPECT_TRUE(child.Contains(10, 25));

    // A shaped window is framed along its shape: an L of two bars.
    FakeWindows::Win& l = f.sys.Add(6, 1, RECT{0, 0, 40, 40}, 0);
    l.shaped = true;
    l.shape = Region::Rect(0, 0, 10, 40);
    l.shape.Union(Region::Rect(0, 30, 40, 40));
    const Region shaped = CandidateFrame(f.sys, 6);
    EXPECT_TRUE(shaped.Contains(11, 10)) << "beside the upright bar";
    EXPECT_FALSE(shaped.Contains(20, 10)) << "in the notch, away from the shape";
    EXPECT_FALSE(shaped.Contains(5, 10)) << "inside the bar";
}

TEST(Capture, ThroughAScreenshotServiceKeepsDelaysHidingAndDelivery) {
    CmdFixture f;
    FakeService service;
    FakeHost shell;
    CCaptureModel model{nullptr, shell, f.settings, &service};
    ASSERT_TRUE(model.Available());
    auto solid = [](int w, int h) {
        PackedDib d = PackedDib::Create(w, h, 32);
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x) {
                BYTE* p = d.Pixel32(x, y);
                p[0] = 10, p[1] = 20, p[2] = 30, p[3] = 255;
            }
        return d;
    };

    // Full screen: hidden, the delay, then one non-interactive request; the answer opens a
    // "ScreenShot" document and gives the window back.
    model.FullScreen();
    EXPECT_EQ(shell.Log(), "hide, start 1001 600");
    EXPECT_TRUE(service.requests.empty()) << "asked only after the delay";
    model.OnTimer(CCaptureModel::kTimerCapture);
    EXPECT_EQ(model.GetState(), CCaptureModel::AwaitingScreenshot);
    ASSERT_EQ(service.requests, std::vector<bool>{false});
    model.WindowOrControl();
    EXPECT_EQ(service.requests.size(), 1u) << "no second command while the service is asked";
    model.OnScreenshot(ScreenshotOutcome::Taken, solid(7, 5));
    EXPECT_EQ(model.GetState(), CCaptureModel::Idle);
    EXPECT_EQ(shell.Log(), "hide, start 1001 600, stop 1001, open, show, front");
    ASSERT_EQ(shell.opened.size(), 1u);
    EXPECT_EQ(shell.opened[0]->title, "ScreenShot");
    EXPECT_EQ(shell.opened[0]->Image().width, 7);
    // A late or repeated answer does nothing.
    model.OnScreenshot(ScreenshotOutcome::Taken, solid(7, 5));
    EXPECT_EQ(shell.opened.size(), 1u);

    // Window or control asks interactively and inserts into the active document as one step.
    f.AddImage("A", 0, 0, 3, 3, true);
    f.settings.InsertIntoCapture = 1;
    f.settings.HideMainWindow = 0;
    shell.active = &f.doc;
    shell.log.clear();
    const std::string before = f.Dump();
    model.WindowOrControl();
    model.OnTimer(CCaptureModel::kTimerCapture);
    ASSERT_EQ(service.requests.back(), true);
    model.OnScreenshot(ScreenshotOutcome::Taken, solid(4, 6));
    EXPECT_EQ(shell.Log(), "repaint, start 1001 600, stop 1001, front");
    EXPECT_EQ(f.Order(), "A,Obj - 1");
    EXPECT_EQ(f.Objects().Tail()->GetSize(), (SIZE{4, 6}));
    EXPECT_EQ(f.Label(), strings::kUndoCaptureFullScreen);
    f.ExpectUndoRedo(before, f.Dump());

    // Cancelled, failed, not sent, not running: nothing delivered, the user told each time.
    f.settings.HideMainWindow = 1;
    const int count = f.Objects().Count();
    shell.log.clear();
    model.WindowOrControl();
    model.OnTimer(CCaptureModel::kTimerCapture);
    model.OnScreenshot(ScreenshotOutcome::Cancelled, PackedDib());
    EXPECT_EQ(shell.Log(), "hide, start 1001 600, stop 1001, show, front, cancelled");
    shell.log.clear();
    model.FullScreen();
    model.OnTimer(CCaptureModel::kTimerCapture);
    model.OnScreenshot(ScreenshotOutcome::Taken, PackedDib());
    EXPECT_EQ(shell.Log(), "hide, start 1001 600, stop 1001, show, front, failed");
    shell.log.clear();
    service.sends = false;
    model.FullScreen();
    model.OnTimer(CCaptureModel::kTimerCapture);
    EXPECT_EQ(shell.Log(), "hide, start 1001 600, stop 1001, show, front, no service");
    shell.log.clear();
    service.ready = false;
    model.FullScreen();
    EXPECT_EQ(model.GetState(), CCaptureModel::Idle);
    EXPECT_EQ(shell.Log(), "no service") << "said before hiding or waiting";
    EXPECT_EQ(f.Objects().Count(), count);
}
