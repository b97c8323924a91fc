#include "app/canvas/QtDib.h"
#include "app/services/QtServices.h"
#include "model/ClipRecord.h"
#include "raster/Dib.h"

#include <QApplication>
#include <QSettings>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace zepho;

QApplication& TestApp();

TEST(ShellServices, SettingsLiveInTheDefaultGroup) {
    TestApp();
    QTemporaryDir dir;
    QSettings ini(dir.filePath("zepho.ini"), QSettings::IniFormat);
    QtSettingsStore store(ini);
    int v = 0;
    EXPECT_FALSE(store.ReadInt("UndoMaxTimes", v));
    store.WriteInt("UndoMaxTimes", 40);
    store.WriteInt("InitColor", static_cast<int>(0xFFFFFFFFu));
    ASSERT_TRUE(store.ReadInt("UndoMaxTimes", v));
    EXPECT_EQ(v, 40);
    ASSERT_TRUE(store.ReadInt("InitColor", v));
    EXPECT_EQ(static_cast<unsigned>(v), 0xFFFFFFFFu);
    EXPECT_EQ(ini.value("Default/UndoMaxTimes").toInt(), 40);
    ini.setValue("Default/Broken", "abc");
    EXPECT_FALSE(store.ReadInt("Broken", v));
}

TEST(ShellServices, ClipboardCarriesOurBlockAndImages) {
    TestApp();
    QtClipboard cb;
    Ref<CObjContent> c = MakeRef<CObjContent>(KindImage);
    c->SetRaster(CreateSolidDIB(3, 2, RGB(10, 20, 30), 200));
    std::vector<CClipItem> items(1);
    items[0] = {c, {4, 5}, 0, {}};
    ASSERT_TRUE(CopyToClipboard(cb, items));
    EXPECT_TRUE(cb.HasPrivate());
    auto back = PasteFromClipboard(cb, [](int) { return std::string("Obj - 2"); });
    ASSERT_EQ(back.size(), 1u);
    EXPECT_EQ(back[0].position, (POINT{4, 5}));

    PackedDib dib = CreateSolidDIB(5, 4, RGB(1, 2, 3), 255);
    dib.Pixel32(0, 0)[2] = 99;
    cb.SetContents(nullptr, &dib);
    EXPECT_FALSE(cb.HasPrivate());
    ASSERT_TRUE(cb.HasDib());
    PackedDib got = cb.GetDib();
    ASSERT_TRUE(got);
    EXPECT_EQ(got.Width(), 5);
    EXPECT_EQ(got.Pixel32(0, 0)[2], 99);
    EXPECT_EQ(got.Pixel32(4, 3)[0], 3);
}

TEST(ShellServices, DibImageRoundTripKeepsStraightAlpha) {
    PackedDib dib = CreateSolidDIB(2, 2, RGB(200, 100, 50), 77);
    const QImage img = ToQImage(dib);
    EXPECT_EQ(qAlpha(img.pixel(1, 1)), 77);
    EXPECT_EQ(qRed(img.pixel(1, 1)), 200);
    PackedDib back = FromQImage(img);
    EXPECT_EQ(0, std::memcmp(back.Bits(), dib.Bits(), 16));
    EXPECT_FALSE(FromQImage(QImage()));
}

#include "app/mainwindow/Icons.h"

TEST(ShellServices, EveryToolbarButtonHasAnIcon) {
    TestApp();
    for (int i = 0; i < static_cast<int>(ToolIconId::Count); ++i)
        EXPECT_FALSE(ToolIcon(static_cast<ToolIconId>(i)).isNull()) << "tool " << i;
    for (int i = 0; i < static_cast<int>(CommandIconId::Count); ++i)
        EXPECT_FALSE(CommandIcon(static_cast<CommandIconId>(i)).isNull()) << "command " << i;
}
