// File > Properties on a camera's photo: what it says, and Remove Location as one undo step that
// the next export honours.
#include "app/dialogs/PropertiesDialog.h"
#include "codecs/OpenExport.h"
#include "codecs/PhotoInfoIo.h"
#include "edit/document/OrvaneDoc.h"
#include "raster/Dib.h"

#include <gtest/gtest.h>

#include <QPushButton>

#include <cstdlib>
#include <string>

using namespace zepho;

TEST(PropertiesDialog, TellsThePhotoAndRemovesItsLocationAsOneStep) {
    if (std::system("command -v exiftool >/dev/null 2>&1") != 0) GTEST_SKIP() << "exiftool is not installed";
    const std::string dir = testing::TempDir() + "/properties_";
    const std::string photo = dir + "photo.jpg";
    {
        CDocImage plain;
        AppendSingleImage(plain, CreateSolidDIB(64, 48, RGB(220, 30, 30), 255));
        ASSERT_TRUE(ExportFile(plain, photo, 90, 0, nullptr, RGB(255, 255, 255)));
    }
    const std::string cmd =
        "exiftool -q -overwrite_original -Make=Acme -Model='Shooter 5' -LensModel='Acme 35mm' "
        "-DateTimeOriginal='2024:05:06 07:08:09' -ExposureTime=1/125 -FNumber=2.8 -ISO=200 "
        "-GPSLatitude=48.85 -GPSLatitudeRef=N -GPSLongitude=2.35 -GPSLongitudeRef=E "
        "-XMP-exif:GPSLatitude=48.85 -XMP-exif:GPSLongitude=2.35 -XMP-dc:Title=Harbour "
        "-Orientation#=6 '" +
        photo + "'";
    ASSERT_EQ(std::system(cmd.c_str()), 0);

    COrvaneDoc doc;
    LoadFlags flags;
    ASSERT_TRUE(OpenFile(doc.Image(), photo, flags, nullptr));
    PropertiesDialog dialog(doc, QString::fromStdString(photo));
    const struct {
        const char* label;
        const char* value;
    } rows[] = {
        {"Format:", "JPEG image"},
        {"Size:", "48 x 64 pixels (0.0 MP)"},
        {"Colour profile:", "sRGB"},
        {"Orientation:", "Stored turned 90° clockwise, shown upright"},
        {"Camera:", "Acme Shooter 5"},
        {"Lens:", "Acme 35mm"},
        {"Date taken:", "2024-05-06 07:08:09"},
        {"Exposure:", "1/125 s, f/2.8, ISO 200"},
        {"Location:", "Recorded (GPS)"},
    };
    for (const auto& r : rows)
        EXPECT_EQ(dialog.Value(QString::fromUtf8(r.label)).toStdString(), r.value) << r.label;

    ASSERT_TRUE(dialog.RemoveLocationButton()->isEnabled());
    dialog.RemoveLocationButton()->click();
    EXPECT_EQ(dialog.Value(QStringLiteral("Location:")), QStringLiteral("None"));
    EXPECT_EQ(dialog.Value(QStringLiteral("Camera:")), QStringLiteral("Acme Shooter 5"));
    EXPECT_FALSE(dialog.RemoveLocationButton()->isEnabled());
    EXPECT_TRUE(doc.IsModified());
    ASSERT_EQ(doc.UndoManager().UndoCount(), 1u);
    EXPECT_EQ(doc.UndoManager().PeekUndo()->GetLabel(), "Undo Remove location");

    // The export carries everything but the location; undo brings the location back.
    const std::string out = dir + "out.jpg";
    ASSERT_TRUE(ExportFile(doc.Image(), out, 90, 0, nullptr, RGB(255, 255, 255)));
    const PhotoSummary written = SummarizePhotoInfo(ReadPhotoInfo(out));
    EXPECT_FALSE(written.hasLocation);
    EXPECT_EQ(written.model, "Shooter 5");
    EXPECT_NE(ReadPhotoInfo(out).xmp.find("Harbour"), std::string::npos);
    doc.OnEditUndo();
    EXPECT_TRUE(SummarizePhotoInfo(doc.Image().photoInfo).hasLocation);
}
