// The Capture menu end to end on the X display: the main window goes and comes back, the picker
// picks a real window, and the picture lands where the settings say.
#include "app/ShellTestUtil.h"
#include "app/capture/CaptureController.h"
#include "edit/undo/UndoStrings.h"

#include <QElapsedTimer>
#include <QGuiApplication>
#include <QTest>

#include <gtest/gtest.h>

using namespace zepho;
using namespace zepho::test;

namespace {

template <typename Pred> bool WaitFor(Pred pred, int ms = 5000) {
    QElapsedTimer t;
    t.start();
    while (!pred() && t.elapsed() < ms)
        QTest::qWait(10);
    return pred();
}

struct CaptureSession : ShellSession {
    CaptureController* capture = nullptr;
    bool exposed = false;

    CaptureSession() : ShellSession(QSize(300, 200)) {
        capture = window.findChild<CaptureController*>();
        CAppSettings& s = app.Settings();
        s.CaptureDelay = 1;
        s.IncludeCursor = 0;
        exposed = QTest::qWaitForWindowExposed(&window);
    }
    // Nothing is offered for saving when the window goes.
    ~CaptureSession() {
        for (DocumentWindow* w : window.DocumentWindows())
            w->Document().SetModifiedFlag(false);
    }
    bool Idle() const { return capture->Model().GetState() == CCaptureModel::Idle; }
};

} // namespace

TEST(CaptureShell, FullScreenHidesTheWindowAndOpensAScreenShot) {
    ASSERT_EQ(QGuiApplication::platformName(), QStringLiteral("xcb"));
    CaptureSession s;
    ASSERT_TRUE(s.capture && s.capture->Available());
    QAction* full = s.Find(QStringLiteral("&Full Screen"));
    ASSERT_TRUE(full && full->isEnabled());
    EXPECT_EQ(full->shortcut(), QKeySequence(QStringLiteral("Ctrl+Shift+F")));
    const int before = s.window.DocumentWindows().size();

    full->trigger();
    EXPECT_FALSE(s.window.isVisible());
    EXPECT_FALSE(full->isEnabled()) << "one capture at a time";
    ASSERT_TRUE(WaitFor([&] { return s.Idle(); }));
    EXPECT_TRUE(s.window.isVisible());
    EXPECT_TRUE(full->isEnabled());
    ASSERT_EQ(s.window.DocumentWindows().size(), before + 1);
    COrvaneDoc& doc = s.window.DocumentWindows().last()->Document();
    EXPECT_EQ(doc.title, "ScreenShot");
    EXPECT_EQ(doc.Image().width, 320);
    EXPECT_EQ(doc.Image().height, 240);
    EXPECT_TRUE(doc.IsModified());
}

TEST(CaptureShell, PickingAWindowInsertsItsPictureIntoTheCurrentDocument) {
    CaptureSession s;
    ASSERT_TRUE(s.window.NewDocument());
    s.app.Settings().InsertIntoCapture = 1;
    COrvaneDoc& doc = s.window.DocumentWindows().last()->Document();
    const int objects = doc.Image().objects.Count();

    // A translucent target of a known colour, away from the main window.
    QWidget target(nullptr, Qt::FramelessWindowHint | Qt::BypassWindowManagerHint);
    target.setAutoFillBackground(true);
    QPalette pal = target.palette();
    pal.setColor(QPalette::Window, QColor(0, 128, 255));
    target.setPalette(pal);
    target.setGeometry(200, 150, 60, 40);
    target.setWindowOpacity(0.5);
    target.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&target));
    QTest::qWait(50);

    s.Find(QStringLiteral("&Window or Control"))->trigger();
    ASSERT_TRUE(WaitFor([&] { return s.capture->Picker() && s.capture->Picker()->isVisible(); }));
    CapturePicker* picker = s.capture->Picker();
    picker->TrackPoint(POINT{220, 160});
    EXPECT_EQ(picker->Candidate(), static_cast<WindowId>(target.winId()));
    // The frozen screen with a red frame on the target's outline, 2 pixels either side.
    const QImage shown = picker->grab().toImage();
    EXPECT_EQ(shown.pixelColor(198, 160), QColor(255, 0, 0));
    EXPECT_EQ(shown.pixelColor(201, 160), QColor(255, 0, 0));
    EXPECT_NE(shown.pixelColor(202, 160), QColor(255, 0, 0));
    EXPECT_NE(shown.pixelColor(197, 160), QColor(255, 0, 0));
    QTest::mouseClick(picker, Qt::LeftButton, {}, QPoint(220, 160));
    ASSERT_TRUE(WaitFor([&] { return s.Idle(); }));
    EXPECT_TRUE(s.window.isVisible());

    ASSERT_EQ(doc.Image().objects.Count(), objects + 1);
    const CDrawObj& top = *doc.Image().objects.Tail();
    EXPECT_EQ(top.GetSize(), (SIZE{60, 40}));
    EXPECT_NEAR(top.transparency, 127, 1) << "half opacity";
    const BYTE* p = top.content->raster.Pixel32(30, 20);
    EXPECT_EQ(RGB(p[2], p[1], p[0]), RGB(0, 128, 255));
    EXPECT_EQ(doc.UndoManager().PeekUndo()->GetLabel(), std::string(strings::kUndoCaptureFullScreen));
}

TEST(CaptureShell, EscapeInThePickerGivesUp) {
    CaptureSession s;
    const int before = s.window.DocumentWindows().size();
    s.Find(QStringLiteral("&Window or Control"))->trigger();
    ASSERT_TRUE(WaitFor([&] { return s.capture->Picker() && s.capture->Picker()->isVisible(); }));
    QTest::keyClick(s.capture->Picker(), Qt::Key_Escape);
    EXPECT_TRUE(s.Idle());
    ASSERT_TRUE(WaitFor([&] { return s.window.isVisible() && !s.capture->Picker(); }));
    EXPECT_EQ(s.window.DocumentWindows().size(), before);
}
