#include "app/ShellTestUtil.h"
#include "app/canvas/DocumentWindow.h"
#include "app/dialogs/ExportDialog.h"
#include "app/panels/ColorButton.h"
#include "codecs/CodecStrings.h"
#include "codecs/CodecTestUtil.h"
#include "codecs/OpenExport.h"
#include "raster/Dib.h"
#include "support/Mishaps.h"
#include "support/ScriptedUiHost.h"

#include <QApplication>
#include <QButtonGroup>
#include <QCheckBox>
#include <QFileInfo>
#include <QSpinBox>
#include <QTimer>
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>

using namespace zepho;

QApplication& TestApp();

namespace {

const ExportFormat& Format(ExportFormat::Id id) {
    for (const ExportFormat& f : ExportFormats())
        if (f.id == id) return f;
    throw std::logic_error("no such format");
}

// Answers the next modal export dialog: a file name, then whatever `set` changes, then OK.
void AnswerExportDialog(const QString& path, std::function<void(ExportDialog&)> set) {
    QTimer::singleShot(0, [path, set] {
        auto* d = qobject_cast<ExportDialog*>(QApplication::activeModalWidget());
        ASSERT_TRUE(d) << "no export dialog";
        d->selectFile(path);
        if (set) set(*d);
        QMetaObject::invokeMethod(d, "accept", Qt::DirectConnection);
    });
}

} // namespace

TEST(ExportDialog, FiltersAndOptionWords) {
    TestApp();
    EXPECT_EQ(QtNameFilters(strings::kFilterTiff), QStringList{"TIFF (Tag Image File Format) (*.tif *tiff)"});
    EXPECT_EQ(QtNameFilters(strings::kOpenFilter).size(), 17);

    CAppSettings s;
    s.TIFFEncodeMode = 5;
    s.TGAEncodingRLE = 0;
    s.BottomUpOrientation = 1;
    s.JPGQuality = 250; // out of range in the store: the panel holds it to 1..100
    ExportDialog tiff(Format(ExportFormat::Tiff), s, "x.tif", QImage());
    EXPECT_EQ(tiff.Option(), 5u);
    tiff.choices->button(32946)->click();
    EXPECT_EQ(tiff.Option(), 32946u);
    ExportDialog tga(Format(ExportFormat::Tga), s, "x.tga", QImage());
    EXPECT_EQ(tga.Option(), 2u); // RLE off, bottom-up on
    tga.rle->setChecked(true);
    EXPECT_EQ(tga.Option(), 3u);
    ExportDialog jpg(Format(ExportFormat::Jpg), s, "x.jpg", QImage());
    EXPECT_EQ(jpg.Option(), 100u);
    jpg.quality->setValue(42);
    EXPECT_EQ(jpg.Option(), 42u);
    ExportDialog bmp(Format(ExportFormat::Bmp), s, "x.bmp", QImage());
    EXPECT_EQ(bmp.Option(), 4u); // "True Colors" unless chosen otherwise
    ExportDialog gif(Format(ExportFormat::Gif), s, "x.gif", QImage());
    EXPECT_EQ(gif.fill, nullptr); // transparency is kept, nothing to fill
    EXPECT_EQ(gif.Option(), 0u);
    gif.interlace->setChecked(true);
    EXPECT_EQ(gif.Option(), 1u);
    gif.Store(s);
    EXPECT_EQ(s.Interlace, 1);
    // Cursors: the hot spot starts at (1, 8) inside the picture and travels as Y << 16 | X.
    ExportDialog cur(Format(ExportFormat::Cur), s, "x.cur", QImage(20, 5, QImage::Format_ARGB32));
    EXPECT_EQ(cur.hotX->value(), 1);
    EXPECT_EQ(cur.hotY->value(), 4);
    EXPECT_EQ(cur.Option(), (4u << 16) | 1u);
    cur.hotX->setValue(99);
    EXPECT_EQ(cur.hotX->value(), 19);
    ExportDialog ani(Format(ExportFormat::Ani), s, "x.ani", QImage(1, 32, QImage::Format_ARGB32));
    EXPECT_EQ(ani.Option(), 8u << 16);
    ExportDialog ico(Format(ExportFormat::Ico), s, "x.ico", QImage(4, 4, QImage::Format_ARGB32));
    EXPECT_EQ(ico.hotX, nullptr);
    EXPECT_EQ(ico.fill, nullptr);
    ExportDialog png(Format(ExportFormat::Png), s, "x.png", QImage());
    EXPECT_EQ(png.Option(), 85u);

    tga.Store(s);
    tiff.Store(s);
    jpg.fill->SetColour(RGB(1, 2, 3));
    jpg.Store(s);
    EXPECT_EQ(s.JPGQuality, 42);
    EXPECT_EQ(s.DefaultBackgroundColor, RGB(1, 2, 3));
    EXPECT_EQ(s.TGAEncodingRLE, 1);
    EXPECT_EQ(s.TIFFEncodeMode, 32946);
}

TEST(ExportDialog, ExportThenOpenTheImageAsANewDocument) {
    test::ShellSession s;
    test::ScriptedUiHost ui;
    s.window.SetUiHost(&ui);
    s.app.skipNewImageDialog = true;
    DocumentWindow* w = s.window.NewDocument();
    ASSERT_TRUE(w);
    const QString path = s.dir.filePath("shot.jpg");
    AnswerExportDialog(path, [](ExportDialog& d) { d.quality->setValue(30); });
    QAction* jpg = s.Find("&JPG...");
    ASSERT_TRUE(jpg);
    ASSERT_TRUE(jpg->isEnabled());
    jpg->trigger();
    EXPECT_TRUE(ui.shown.empty()) << ui.shown[0].text;
    EXPECT_TRUE(QFileInfo::exists(path));
    EXPECT_EQ(s.app.Settings().JPGQuality, 30);
    EXPECT_FALSE(w->Document().IsModified()); // exporting is not saving, and changes nothing

    // The image opens as its own document that does not claim the JPEG as its file.
    DocumentWindow* opened = s.window.OpenDocument(path);
    ASSERT_TRUE(opened);
    EXPECT_TRUE(opened->FilePath().isEmpty());
    EXPECT_EQ(opened->windowTitle(), QString("shot.jpg"));
    EXPECT_EQ(opened->Document().Image().width, w->Document().Image().width);
    ASSERT_EQ(opened->Document().Image().objects.Count(), 1);

    // JPEG XL from the menu, lossless, and back as a document of the same size.
    const QString jxlPath = s.dir.filePath("shot.jxl");
    AnswerExportDialog(jxlPath, [](ExportDialog& d) { d.lossless->setChecked(true); });
    QAction* jxl = s.Find("JPEG &XL...");
    ASSERT_TRUE(jxl);
    jxl->trigger();
    EXPECT_TRUE(ui.shown.empty()) << ui.shown[0].text;
    EXPECT_EQ(s.app.Settings().JXLLossless, 1);
    DocumentWindow* fromJxl = s.window.OpenDocument(jxlPath);
    ASSERT_TRUE(fromJxl);
    EXPECT_EQ(fromJxl->Document().Image().width, w->Document().Image().width);
    EXPECT_EQ(fromJxl->Document().Image().objects.Count(), 1);

    // A failed export names the path.
    const QString bad = s.dir.filePath("missing/x.png");
    AnswerExportDialog(bad, nullptr);
    s.Find("P&NG...")->trigger();
    ASSERT_EQ(ui.shown.size(), 1u);
    EXPECT_EQ(ui.shown[0].text.rfind("Save to file ", 0), 0u);
    EXPECT_NE(ui.shown[0].text.find("missing/x.png fail!\nNo such file or directory."), std::string::npos)
        << ui.shown[0].text;
    // A disk too full for the file: the reason, and no half-written file.
    const QString big = s.dir.filePath("big.jpg");
    {
        test::FileSizeLimit full(512);
        AnswerExportDialog(big, nullptr);
        jpg->trigger();
    }
    ASSERT_EQ(ui.shown.size(), 2u);
    EXPECT_EQ(ui.shown[1].text, "Save to file " + big.toStdString() + " fail!\nFile too large.");
    EXPECT_FALSE(QFileInfo::exists(big));
}

// A photo's information goes out with its export unless the panel says otherwise; the location
// alone can be left out. Read back by exiftool.
TEST(ExportDialog, PhotoInformationKeptOrLeftOut) {
    if (std::system("command -v exiftool >/dev/null 2>&1") != 0) GTEST_SKIP() << "exiftool is not installed";
    test::ShellSession s;
    test::ScriptedUiHost ui;
    s.window.SetUiHost(&ui);
    const std::string photo = s.dir.filePath("photo.jpg").toStdString();
    ASSERT_TRUE(ExportFile(*test::DocWith(CreateSolidDIB(40, 30, RGB(20, 120, 220), 255)), photo, 90, 0,
                           nullptr, RGB(255, 255, 255)));
    ASSERT_EQ(
        std::system(
            ("exiftool -q -overwrite_original -Make=Zcam -GPSLatitude=48.1 -GPSLatitudeRef=N '" + photo + "'")
                .c_str()),
        0);
    auto tags = [](const QString& path) {
        std::string out;
        if (FILE* p =
                popen(("exiftool -s3 -Make -GPSLatitudeRef '" + path.toStdString() + "'").c_str(), "r")) {
            char buf[256];
            while (std::fgets(buf, sizeof buf, p))
                out += buf;
            pclose(p);
        }
        return out;
    };
    DocumentWindow* w = s.window.OpenDocument(QString::fromStdString(photo));
    ASSERT_TRUE(w);
    QAction* jpg = s.Find("&JPG...");
    const struct {
        const char* name;
        bool keep, removeLocation;
        const char* tags;
    } cases[] = {{"all.jpg", true, false, "Zcam\nNorth\n"},
                 {"no-gps.jpg", true, true, "Zcam\n"},
                 {"nothing.jpg", false, true, ""}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const QString out = s.dir.filePath(c.name);
        AnswerExportDialog(out, [&](ExportDialog& d) {
            ASSERT_TRUE(d.keepPhotoInfo && d.removeLocation);
            EXPECT_TRUE(d.keepPhotoInfo->isChecked());
            d.removeLocation->setChecked(c.removeLocation);
            d.keepPhotoInfo->setChecked(c.keep);
            EXPECT_EQ(d.removeLocation->isEnabled(), c.keep);
        });
        jpg->trigger();
        EXPECT_EQ(tags(out), c.tags);
    }
    EXPECT_TRUE(ui.shown.empty());
    // A picture without information is not asked about.
    s.app.skipNewImageDialog = true;
    ASSERT_TRUE(s.window.NewDocument());
    AnswerExportDialog(s.dir.filePath("plain.jpg"),
                       [](ExportDialog& d) { EXPECT_EQ(d.keepPhotoInfo, nullptr); });
    jpg->trigger();
}

#include "app/dialogs/ImageBrowser.h"
#include "raster/Dib.h"

#include <QFile>
#include <QLabel>

TEST(ImageBrowser, ShowsSizeColoursAndPreviewWhileAllowed) {
    TestApp();
    QTemporaryDir dir;
    // A two-colour picture is stored as a palette image; a photo-like one at 24 bits.
    Ref<CDocImage> doc = MakeRef<CDocImage>();
    doc->width = 300;
    doc->height = 20;
    const std::string small = dir.filePath("small.png").toStdString();
    ASSERT_TRUE(ExportFile(*doc, small, 85, 0, nullptr, RGB(255, 255, 255)));

    CAppSettings settings;
    settings.PreviewPic = 1;
    ImageBrowserDialog browser(settings, "Open", false);
    browser.ShowFile(QString::fromStdString(small));
    EXPECT_EQ(browser.widthValue->text(), "300");
    EXPECT_EQ(browser.heightValue->text(), "20");
    EXPECT_EQ(browser.coloursValue->text(), "2");
    // Scaled down to the box, never past it.
    ASSERT_FALSE(browser.preview->pixmap().isNull());
    EXPECT_LE(browser.preview->pixmap().width(), browser.preview->width() - 4);

    browser.showPreview->setChecked(false);
    EXPECT_EQ(settings.PreviewPic, 0);
    EXPECT_TRUE(browser.widthValue->text().isEmpty());
    EXPECT_TRUE(browser.preview->pixmap().isNull());
    browser.ShowFile(QString::fromStdString(small)); // stays empty while previews are off
    EXPECT_TRUE(browser.widthValue->text().isEmpty());
    browser.showPreview->setChecked(true);
    EXPECT_EQ(browser.widthValue->text(), "300");

    // A GIF shows the canvas it opens with, not the size of its first image (1 x 1 here).
    const unsigned char gif[] = {'G', 'I',  'F',  '8',  '9', 'a', 50, 0,    40,   0, 0x80, 0,
                                 0,   0xFF, 0xFF, 0xFF, 0,   0,   0,  0x2C, 0,    0, 0,    0,
                                 1,   0,    1,    0,    0,   2,   2,  0x44, 0x01, 0, 0x3B};
    QFile file(dir.filePath("screen.gif"));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(reinterpret_cast<const char*>(gif), sizeof gif);
    file.close();
    browser.ShowFile(file.fileName());
    EXPECT_EQ(browser.widthValue->text(), "50");
    EXPECT_EQ(browser.heightValue->text(), "40");

    // A document or an unreadable file shows nothing.
    browser.ShowFile(dir.filePath("none.qzi"));
    EXPECT_TRUE(browser.coloursValue->text().isEmpty());
    EXPECT_EQ(ColourCountText(16), "Hicolor");
    EXPECT_EQ(ColourCountText(24), "Truecolor");
    EXPECT_EQ(ColourCountText(4), "16");
}

#include "app/dialogs/VideoBrowser.h"
#include "support/AviWriter.h"

TEST(VideoBrowser, ShowsTheHeaderAndPlaysTheFramesOnce) {
    TestApp();
    QTemporaryDir dir;
    const std::string path = dir.filePath("clip.avi").toStdString();
    ASSERT_TRUE(test::WriteTestAvi(path, 320, 240, 10, {3}));
    CAppSettings settings;
    settings.AutoPlay = 1;
    VideoBrowserDialog browser(settings, "Add AVI");
    browser.ShowFile(QString::fromStdString(path));
    EXPECT_EQ(browser.widthValue->text(), "320");
    EXPECT_EQ(browser.heightValue->text(), "240");
    EXPECT_EQ(browser.framesValue->text(), "3");
    // Too large for the preview: scaled down, keeping its shape.
    ASSERT_FALSE(browser.preview->pixmap().isNull());
    EXPECT_EQ(browser.preview->pixmap().width(), 160);
    EXPECT_EQ(browser.preview->pixmap().height(), 120);
    EXPECT_TRUE(browser.ShowNextFrame());
    EXPECT_TRUE(browser.ShowNextFrame());
    EXPECT_FALSE(browser.ShowNextFrame()); // three frames, then the end

    // Closing the dialog stops the preview before the chosen file is read.
    browser.ShowFile(QString::fromStdString(path));
    browser.done(QDialog::Accepted);
    EXPECT_FALSE(browser.ShowNextFrame());

    browser.autoPlay->setChecked(false);
    EXPECT_EQ(settings.AutoPlay, 0);
    EXPECT_TRUE(browser.widthValue->text().isEmpty());
    EXPECT_TRUE(browser.preview->pixmap().isNull());
    browser.ShowFile(dir.filePath("missing.avi"));
    EXPECT_TRUE(browser.framesValue->text().isEmpty());
}

TEST(Shell, AChangeWhileTheFileIsWrittenKeepsTheDocumentModified) {
    test::ShellSession s;
    s.app.skipNewImageDialog = true;
    DocumentWindow* w = s.window.NewDocument();
    ASSERT_TRUE(w);
    COrvaneDoc& doc = w->Document();
    // The save pumps the event loop between objects; a timer that fires there changes the document.
    QTimer::singleShot(0, [&doc] { doc.SetModifiedFlag(); });
    ASSERT_TRUE(s.window.SaveDocumentAs(w, s.dir.filePath("racing.qzi")));
    EXPECT_TRUE(doc.IsModified());
    ASSERT_TRUE(s.window.SaveDocumentAs(w, s.dir.filePath("racing.qzi")));
    EXPECT_FALSE(doc.IsModified());
}

#include <QToolBar>

TEST(Shell, MainToolbarHoldsTheCommandsInOrder) {
    test::ShellSession s;
    auto* bar = s.window.findChild<QToolBar*>("MainToolbar");
    ASSERT_TRUE(bar);
    QStringList tips;
    for (QAction* a : bar->actions())
        if (!a->isSeparator()) tips << a->toolTip();
    const QStringList expected = {"New",           "Open",           "Open AVI File",
                                  "Add Image(s)",  "Save",           "Print",
                                  "Can't Undo",    "Can't Redo",     "Cut",
                                  "Copy",          "Paste",          "Delete",
                                  "Resize Image",  "Red/Green/Blue", "Hue/Saturation/Lightness",
                                  "Gaussian Blur", "Sharpness",      "Emboss"};
    ASSERT_GE(tips.size(), expected.size());
    EXPECT_TRUE(tips.mid(0, expected.size()) == expected) << tips.join(", ").toStdString();
}

#include "app/canvas/DocumentWindow.h"
#include "codecs/AvifCodec.h"
#include "codecs/CodecTestUtil.h"
#include "codecs/JxlCodec.h"
#include "codecs/OpenExport.h"
#include "codecs/WebpCodec.h"
#include "raster/ColorReduce.h"
#include "raster/Dib.h"

TEST(ExportDialog, TransparencyAnimationWebpAvifAndLargeIcons) {
    TestApp();
    CAppSettings s;
    // "Keep transparency" on the four formats that can hold alpha, remembered per format; off by
    // default, so the Fill Color flattening stays.
    for (ExportFormat::Id id :
         {ExportFormat::Png, ExportFormat::Tiff, ExportFormat::Tga, ExportFormat::Bmp}) {
        ExportDialog d(Format(id), s, "x", QImage());
        ASSERT_TRUE(d.keepAlpha) << id;
        EXPECT_FALSE(d.keepAlpha->isChecked());
        EXPECT_EQ(d.Extra(), 0u);
        d.keepAlpha->setChecked(true);
        EXPECT_EQ(d.Extra(), kExportKeepAlpha);
        d.Store(s);
    }
    EXPECT_EQ(s.PNGKeepAlpha + s.TIFFKeepAlpha + s.TGAKeepAlpha + s.BMPKeepAlpha, 4);
    ExportDialog bmp(Format(ExportFormat::Bmp), s, "x.bmp", QImage());
    EXPECT_TRUE(bmp.keepAlpha->isChecked());
    bmp.choices->button(ExportColors256)->click(); // only true colour holds alpha
    EXPECT_FALSE(bmp.keepAlpha->isEnabled());
    EXPECT_EQ(bmp.Extra(), 0u);

    // GIF and WebP as animations: off by default, remembered.
    ExportDialog gif(Format(ExportFormat::Gif), s, "x.gif", QImage());
    ASSERT_TRUE(gif.animate);
    EXPECT_EQ(gif.animate->text(), "Save as animation (one frame per visible object)");
    EXPECT_FALSE(gif.animate->isChecked());
    gif.animate->setChecked(true);
    EXPECT_EQ(gif.Extra(), kExportAnimate);
    gif.Store(s);
    EXPECT_EQ(s.GifAnimation, 1);
    EXPECT_EQ(s.WebPAnimate, 0);

    ExportDialog webp(Format(ExportFormat::Webp), s, "x.webp", QImage());
    EXPECT_EQ(webp.fill, nullptr); // WebP keeps transparency
    EXPECT_EQ(webp.Option(), DWORD(kWebpDefaultQuality));
    webp.quality->setValue(90);
    webp.lossless->setChecked(true);
    EXPECT_EQ(webp.Option(), 90u | kWebpLossless);
    webp.Store(s);
    EXPECT_EQ(s.WebPQuality, 90);
    EXPECT_EQ(s.WebPLossless, 1);
    ExportDialog avif(Format(ExportFormat::Avif), s, "x.avif", QImage());
    avif.quality->setValue(70);
    avif.speed->setValue(3);
    EXPECT_EQ(avif.Option(), AvifOption(70, 3));
    // JPEG XL: quality, lossless and animation of its own, remembered apart from WebP's.
    ExportDialog jxl(Format(ExportFormat::Jxl), s, "x.jxl", QImage());
    EXPECT_EQ(jxl.fill, nullptr);
    EXPECT_FALSE(jxl.lossless->isChecked());
    EXPECT_EQ(jxl.Option(), DWORD(kJxlDefaultQuality));
    jxl.quality->setValue(40);
    jxl.animate->setChecked(true);
    EXPECT_EQ(jxl.Option(), 40u);
    EXPECT_EQ(jxl.Extra(), kExportAnimate);
    jxl.Store(s);
    EXPECT_EQ(s.JXLQuality, 40);
    EXPECT_EQ(s.JXLAnimate, 1);
    EXPECT_EQ(s.WebPQuality, 90);
    EXPECT_EQ(s.WebPLossless, 1);
    EXPECT_EQ(s.WebPAnimate, 0);

    // An icon larger than 256 x 256 says how it will be scaled.
    ExportDialog small(Format(ExportFormat::Ico), s, "x.ico", QImage(64, 48, QImage::Format_ARGB32));
    EXPECT_EQ(small.iconNote, nullptr);
    ExportDialog big(Format(ExportFormat::Ico), s, "x.ico", QImage(800, 600, QImage::Format_ARGB32));
    ASSERT_TRUE(big.iconNote);
    EXPECT_TRUE(big.iconNote->text().contains("256 x 192")) << big.iconNote->text().toStdString();
}
