// The program shows its own icon: on the main window, the document windows and the about box.
#include "app/mainwindow/AppIcon.h"
#include "app/ShellTestUtil.h"

#include <QApplication>
#include <QImage>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMessageBox>
#include <QTimer>
#include <gtest/gtest.h>

#include <cstdlib>

using namespace zepho;

QApplication& TestApp();

namespace {

bool HasSize(const QIcon& icon, int size) {
    return icon.availableSizes().contains(QSize(size, size));
}

// Equal but for the rounding of premultiplied storage in the pixmap.
bool Near(QRgb a, QRgb b) {
    const int tolerance = qAlpha(b) < 32 ? 16 : 3;
    return std::abs(qAlpha(a) - qAlpha(b)) <= 1 && std::abs(qRed(a) - qRed(b)) <= tolerance &&
           std::abs(qGreen(a) - qGreen(b)) <= tolerance && std::abs(qBlue(a) - qBlue(b)) <= tolerance;
}

// The icon's pixels at a size are those of the committed PNG of that size.
bool SameAsInstalledPng(const QIcon& icon, int size) {
    const QImage expected(
        QStringLiteral(ZEPHO_SOURCE_DIR "/data/icons/hicolor/%1x%1/apps/zepho.png").arg(size));
    if (expected.isNull()) return false;
    const QImage shown = icon.pixmap(QSize(size, size), 1.0).toImage().convertToFormat(QImage::Format_ARGB32);
    const QImage want = expected.convertToFormat(QImage::Format_ARGB32);
    if (shown.size() != want.size()) {
        ADD_FAILURE() << "size " << shown.width() << "x" << shown.height();
        return false;
    }
    for (int y = 0; y < want.height(); ++y)
        for (int x = 0; x < want.width(); ++x)
            if (!Near(shown.pixel(x, y), want.pixel(x, y))) {
                ADD_FAILURE() << x << "," << y << ": " << std::hex << shown.pixel(x, y) << " vs "
                              << want.pixel(x, y);
                return false;
            }
    return true;
}

} // namespace

TEST(AppIcon, OurMarkOnTheWindowsAndTheAboutBox) {
    TestApp();
    const QIcon icon = AppIcon();
    ASSERT_FALSE(icon.isNull());
    for (int size : {16, 22, 24, 32, 48, 64, 128, 256}) {
        EXPECT_TRUE(HasSize(icon, size)) << size;
        EXPECT_TRUE(SameAsInstalledPng(icon, size)) << size;
    }

    test::ShellSession s;
    DocumentWindow* doc = s.window.NewDocument();
    ASSERT_TRUE(doc);
    for (const QIcon& shown : {s.window.windowIcon(), QApplication::windowIcon(),
                               s.window.MdiArea()->activeSubWindow()->windowIcon()}) {
        EXPECT_FALSE(shown.isNull());
        EXPECT_TRUE(HasSize(shown, 256));
        EXPECT_TRUE(SameAsInstalledPng(shown, 48));
    }

    // The about box carries the mark as its picture.
    QAction* about = nullptr;
    for (QAction* a : s.window.findChildren<QAction*>())
        if (a->text().startsWith(QStringLiteral("&About"))) about = a;
    ASSERT_TRUE(about);
    bool seen = false;
    QTimer::singleShot(0, [&] {
        auto* box = s.window.findChild<QMessageBox*>(QStringLiteral("aboutBox"));
        if (!box) return;
        seen = true;
        const QImage pic = box->iconPixmap().toImage();
        EXPECT_FALSE(pic.isNull());
        EXPECT_GE(pic.width(), 48);
        EXPECT_TRUE(HasSize(box->windowIcon(), 256));
        box->accept();
    });
    about->trigger();
    EXPECT_TRUE(seen);
}
