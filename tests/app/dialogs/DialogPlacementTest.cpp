// Effect and resize dialogs open beside the document they change, inside the screen, whether the
// document is a small window with room around it or fills the whole main window.
#include "app/ShellTestUtil.h"
#include "app/dialogs/EffectDialogs.h"
#include "app/dialogs/ResizeDialogs.h"
#include "edit/commands/CmdEffects.h"
#include "support/ScriptedUiHost.h"

#include <QApplication>
#include <QDockWidget>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QScreen>
#include <gtest/gtest.h>

#include <functional>

using namespace zepho;

QApplication& TestApp();

namespace {

QRect FrameOf(const QWidget* w) {
    return QRect(w->mapToGlobal(QPoint(0, 0)), w->size());
}

// Shows the dialog and reports where its frame landed, relative to the document and the screen.
struct Placement {
    QRect dialog, document, screen;
};

Placement ShowBeside(QDialog& d, QMdiSubWindow* sub) {
    d.show();
    QApplication::processEvents();
    Placement p{d.frameGeometry(), FrameOf(sub).intersected(FrameOf(sub->mdiArea()->viewport())),
                sub->window()->screen()->availableGeometry()};
    d.reject();
    return p;
}

// Touching or overlapping the document window, never off the screen, never the screen's corner.
void ExpectBeside(const Placement& p, const char* what) {
    SCOPED_TRACE(what);
    EXPECT_TRUE(p.dialog.intersects(p.document.adjusted(-1, -1, 1, 1)))
        << "dialog at " << p.dialog.x() << "," << p.dialog.y() << " " << p.dialog.width() << "x"
        << p.dialog.height() << ", document at " << p.document.x() << "," << p.document.y() << " "
        << p.document.width() << "x" << p.document.height();
    EXPECT_TRUE(p.screen.contains(p.dialog)) << "dialog leaves the screen";
    EXPECT_NE(p.dialog.topLeft(), p.screen.topLeft());
}

struct PlacementSession : test::ShellSession {
    test::ScriptedUiHost ui;
    DocumentWindow* doc = nullptr;
    QMdiSubWindow* sub = nullptr;

    PlacementSession() : test::ShellSession(QSize(780, 560)) {
        window.move(10, 10);
        doc = window.NewDocument();
        sub = window.MdiArea()->activeSubWindow();
        doc->Document().Image().objects.Head()->content->selected = 1;
    }
    // Every dialog this case covers, each shown and cancelled in turn.
    void ForEachDialog(const std::function<void(QDialog&, const char*)>& check) {
        for (EffectKind kind : {EffectKind::Blur, EffectKind::Hsl}) {
            auto model = BeginEffect(doc->Document(), kind, ui);
            ASSERT_TRUE(model);
            EffectDialog d(*model, &window);
            check(d, kind == EffectKind::Blur ? "Blur" : "Hue/Saturation");
        }
        ResizeImageDialog image(100, 80, app.Settings(), &window);
        check(image, "resize image");
        ResizeCanvasDialog canvas(100, 80, app.Settings(), &window);
        check(canvas, "resize canvas");
    }
};

} // namespace

TEST(DialogPlacement, BesideASmallDocumentWindowOnItsRight) {
    TestApp();
    PlacementSession s;
    ASSERT_TRUE(s.sub);
    s.sub->showNormal();
    s.sub->setGeometry(0, 0, 260, 200);
    QApplication::processEvents();
    s.ForEachDialog([&](QDialog& d, const char* what) {
        const Placement p = ShowBeside(d, s.sub);
        ExpectBeside(p, what);
        // With room on the right the dialog starts right after the document's frame, at its top.
        if (p.document.right() + p.dialog.width() <= p.screen.right()) {
            EXPECT_EQ(p.dialog.left(), p.document.right() + 1) << what;
            EXPECT_EQ(p.dialog.top(), p.document.top()) << what;
        }
    });
}

TEST(DialogPlacement, InsideTheScreenWhenTheDocumentFillsTheWindow) {
    TestApp();
    PlacementSession s;
    ASSERT_TRUE(s.sub);
    s.window.setGeometry(s.window.screen()->availableGeometry());
    for (QDockWidget* dock : s.window.findChildren<QDockWidget*>())
        dock->hide();
    s.sub->showMaximized();
    QApplication::processEvents();
    s.ForEachDialog([&](QDialog& d, const char* what) {
        const Placement p = ShowBeside(d, s.sub);
        ExpectBeside(p, what);
        // No room on either side: along the document's right edge.
        ASSERT_GT(p.document.right() + p.dialog.width(), p.screen.right()) << what;
        ASSERT_LT(p.document.left() - p.dialog.width(), p.screen.left()) << what;
        EXPECT_EQ(p.dialog.right(), std::min(p.document.right(), p.screen.right())) << what;
    });
}
