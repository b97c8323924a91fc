#include "model/AppSettings.h"
#include "platform/MapSettingsStore.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace zepho;

namespace {
CAppSettings LoadFrom(const CMapSettingsStore& store) {
    CAppSettings s;
    s.Load(store);
    return s;
}

CAppSettings LoadOne(const std::string& name, int value) {
    CMapSettingsStore store;
    store.WriteInt(name, value);
    return LoadFrom(store);
}

struct OrderStore : ISettingsStore {
    mutable std::vector<std::string> read;
    bool ReadInt(const std::string& name, int&) const override {
        read.push_back(name);
        return false;
    }
    void WriteInt(const std::string&, int) override {}
};
} // namespace

TEST(Settings, MissingEntriesTakeTheirDefaults) {
    CAppSettings changed;
    changed.UndoMaxTimes = 5;
    changed.BannerFillMode = 3;
    changed.TextOutlineSmooth = 7;
    changed.Load(CMapSettingsStore{});
    CMapSettingsStore a, b;
    changed.Save(a);
    CAppSettings{}.Save(b);
    EXPECT_EQ(a.Values(), b.Values());
    EXPECT_EQ(changed.BannerFillMode, 0);
    EXPECT_EQ(changed.JPGQuality, 85);
    EXPECT_EQ(changed.TIFFEncodeMode, 1);
    EXPECT_EQ(changed.NewImageWidth, 640);
    EXPECT_EQ(changed.DefaultBackgroundColor, 0xFFFFFFu);
}

TEST(Settings, RangeRules) {
    EXPECT_EQ(LoadOne("UndoMaxTimes", 0).UndoMaxTimes, 26);
    EXPECT_EQ(LoadOne("UndoMaxTimes", -4).UndoMaxTimes, 26);
    EXPECT_EQ(LoadOne("UndoMaxTimes", 1).UndoMaxTimes, 1);
    EXPECT_EQ(LoadOne("UndoMaxTimes", 5000).UndoMaxTimes, 5000);
    // The replacement differs from the default here only.
    EXPECT_EQ(LoadOne("BannerFillMode", 9).BannerFillMode, 1);
    EXPECT_EQ(LoadOne("BannerFillMode", 5).BannerFillMode, 5);
    // Byte values are cut before the test: 300 is 44, 357 is 101 (out of 0..100).
    EXPECT_EQ(LoadOne("TextOutlineSmooth", 300).TextOutlineSmooth, 44);
    EXPECT_EQ(LoadOne("TextOutlineSmooth", 151).TextOutlineSmooth, 3);
    EXPECT_EQ(LoadOne("TextOutlineThickness", 357).TextOutlineThickness, 5);
    EXPECT_EQ(LoadOne("MadeTextOutline", 256).MadeTextOutline, 0);
    EXPECT_EQ(LoadOne("TextInnerOutline", 257).TextInnerOutline, 1);
    EXPECT_EQ(LoadOne("TextBlendOpacity", 0x1FF).TextBlendOpacity, 0xFF);
    EXPECT_EQ(LoadOne("JPGQuality", -5).JPGQuality, 85);
    EXPECT_EQ(LoadOne("JPGQuality", 0).JPGQuality, 0);
    EXPECT_EQ(LoadOne("JPGQuality", 101).JPGQuality, 85);
    EXPECT_EQ(LoadOne("TIFFEncodeMode", 2).TIFFEncodeMode, 1);
    EXPECT_EQ(LoadOne("TIFFEncodeMode", 32946).TIFFEncodeMode, 32946);
    EXPECT_EQ(LoadOne("BannerAlign", 6).BannerAlign, 6);
    EXPECT_EQ(LoadOne("BannerAlign", 1).BannerAlign, 0);
    EXPECT_EQ(LoadOne("CaptureDelay", 0).CaptureDelay, 0);
    EXPECT_EQ(LoadOne("CaptureDelay", -1).CaptureDelay, 600);
    EXPECT_EQ(LoadOne("HorzOffset", -1000).HorzOffset, -1000);
    EXPECT_EQ(LoadOne("VertOffset", 1001).VertOffset, 0);
    EXPECT_EQ(LoadOne("NewImageHeight", 0).NewImageHeight, 480);
    EXPECT_EQ(LoadOne("EraseTransparence", 256).EraseTransparence, 255);
    EXPECT_EQ(LoadOne("FloodSimilarity", 101).FloodSimilarity, 32);
    EXPECT_EQ(LoadOne("ReferencePos", 9).ReferencePos, 0);
    EXPECT_EQ(LoadOne("PaintForeColor", 0x123456).PaintForeColor, 0x123456u);
    // The shape tools' options come back too, within their page's ranges.
    EXPECT_EQ(LoadOne("PaintShapeWidth", 0).PaintShapeWidth, 0);
    EXPECT_EQ(LoadOne("PaintShapeWidth", 101).PaintShapeWidth, 8);
    EXPECT_EQ(LoadOne("FillInsideShape", 0).FillInsideShape, 0);
    EXPECT_EQ(LoadOne("FillInsideShape", 2).FillInsideShape, 1);
    EXPECT_EQ(LoadOne("MaxDocumentMegapixels", 0).MaxDocumentMegapixels, 1024);
    EXPECT_EQ(LoadOne("MaxDocumentMegapixels", 4096).MaxDocumentMegapixels, 4096);
    // WebP, AVIF and the per-format "Keep transparency" switches.
    EXPECT_EQ(LoadOne("WebPQuality", 0).WebPQuality, 75);
    EXPECT_EQ(LoadOne("WebPQuality", 100).WebPQuality, 100);
    EXPECT_EQ(LoadOne("AVIFQuality", 101).AVIFQuality, 60);
    EXPECT_EQ(LoadOne("AVIFSpeed", 0).AVIFSpeed, 0);
    EXPECT_EQ(LoadOne("AVIFSpeed", 11).AVIFSpeed, 6);
    EXPECT_EQ(LoadOne("WebPLossless", 2).WebPLossless, 0);
    EXPECT_EQ(LoadOne("TGAKeepAlpha", 1).TGAKeepAlpha, 1);
    EXPECT_EQ(LoadOne("BMPKeepAlpha", -1).BMPKeepAlpha, 0);
    EXPECT_EQ(CAppSettings().PNGKeepAlpha, 0);
    // GIF export as an animation is a choice, off unless stored on.
    EXPECT_EQ(CAppSettings{}.GifAnimation, 0);
    EXPECT_EQ(LoadOne("GifAnimation", 1).GifAnimation, 1);
    EXPECT_EQ(LoadOne("GifAnimation", 2).GifAnimation, 0);
    EXPECT_EQ(LoadOne("GifAnimation", -1).GifAnimation, 0);
    // Autosave: 0 (off) to two hours; anything else falls back to two minutes.
    EXPECT_EQ(LoadOne("AutosaveMinutes", 0).AutosaveMinutes, 0);
    EXPECT_EQ(LoadOne("AutosaveMinutes", 120).AutosaveMinutes, 120);
    EXPECT_EQ(LoadOne("AutosaveMinutes", -1).AutosaveMinutes, 2);
    EXPECT_EQ(LoadOne("AutosaveMinutes", 121).AutosaveMinutes, 2);
    // JPEG XL export.
    EXPECT_EQ(CAppSettings{}.JXLQuality, 90);
    EXPECT_EQ(LoadOne("JXLQuality", 0).JXLQuality, 90);
    EXPECT_EQ(LoadOne("JXLQuality", 100).JXLQuality, 100);
    EXPECT_EQ(LoadOne("JXLLossless", 2).JXLLossless, 0);
    EXPECT_EQ(LoadOne("JXLAnimate", 1).JXLAnimate, 1);
    // Undo memory in MB; 0 (the default) is automatic, a negative value falls back to it.
    EXPECT_EQ(CAppSettings{}.UndoMaxMegabytes, 0);
    EXPECT_EQ(LoadOne("UndoMaxMegabytes", 300).UndoMaxMegabytes, 300);
    EXPECT_EQ(LoadOne("UndoMaxMegabytes", -5).UndoMaxMegabytes, 0);
    EXPECT_EQ(UndoBudgetBytes(LoadOne("UndoMaxMegabytes", 0)), std::size_t(AutomaticUndoMegabytes()) << 20);
    EXPECT_GE(AutomaticUndoMegabytes(), 1);
    EXPECT_LE(AutomaticUndoMegabytes(), 4096);
}

TEST(Settings, ReadingOrderAndEntryNames) {
    OrderStore store;
    CAppSettings s;
    s.Load(store);
    ASSERT_EQ(store.read.size(), 92u);
    EXPECT_EQ(store.read.front(), "PreviewPic");
    EXPECT_EQ(store.read[4], "UndoMaxTimes");
    EXPECT_EQ(store.read[33], "BannderGradientColor2");
    EXPECT_EQ(store.read[66], "VerticalOffset");
    EXPECT_EQ(store.read[67], "WebPQuality");
    EXPECT_EQ(store.read[75], "BMPKeepAlpha");
    EXPECT_EQ(store.read[76], "PaintShapeWidth");
    EXPECT_EQ(store.read[77], "FillInsideShape");
    EXPECT_EQ(store.read[78], "MaxDocumentMegapixels");
    EXPECT_EQ(store.read[79], "GifAnimation");
    EXPECT_EQ(store.read[80], "AutosaveMinutes");
    EXPECT_EQ(store.read[91], "UndoMaxMegabytes");
}

TEST(Settings, SaveThenLoadKeepsEveryValue) {
    // Every entry gets an accepted value other than its default.
    CMapSettingsStore written;
    for (const auto& e : CAppSettings::Entries()) {
        int v = e.def + 1;
        switch (e.rule) {
        case CAppSettings::Entry::OneOf:
            v = e.choices.back();
            break;
        case CAppSettings::Entry::Range:
        case CAppSettings::Entry::Unsigned:
        case CAppSettings::Entry::ByteRange:
            v = e.def == e.hi ? e.lo : e.hi;
            break;
        case CAppSettings::Entry::ByteAny:
            v = 200;
            break;
        default:
            break;
        }
        written.WriteInt(e.name, v);
    }
    const CAppSettings loaded = LoadFrom(written);
    CMapSettingsStore saved;
    loaded.Save(saved);
    EXPECT_EQ(saved.Values(), written.Values());
    EXPECT_EQ(loaded.BannerAlign, 6);
    EXPECT_EQ(loaded.TextOutlineOpacity, 200);
    EXPECT_EQ(loaded.PaintShapeWidth, 100);
    EXPECT_EQ(loaded.FillInsideShape, 0);
    EXPECT_EQ(loaded.GifAnimation, 1);
}
