#include "edit/document/OrvaneDoc.h"

#include <gtest/gtest.h>

using namespace zepho;

namespace {
struct CountingObserver : IDocObserver {
    int changed = 0, defaultMode = 0;
    void ObjectsChanged() override { ++changed; }
    void DefaultModeRequested() override { ++defaultMode; }
};

struct RecordingProgress : IProgress {
    std::vector<std::string> texts;
    void SetText(const std::string& t) override { texts.push_back(t); }
    void SetPos(int) override {}
    void Pump() override {}
};
} // namespace

TEST(Document, NamesAndCounters) {
    COrvaneDoc doc;
    ASSERT_TRUE(doc.CreateNewImage(30, 20, false, RGB(255, 255, 255)));
    const CDocImage& img = doc.Image();
    EXPECT_EQ(img.width, 30);
    ASSERT_EQ(img.objects.Count(), 1);
    const CObjContent& first = *img.objects.Head()->content;
    EXPECT_EQ(first.name, "Obj - 1");
    EXPECT_TRUE(first.selected);
    EXPECT_EQ(first.PixelAt(29, 19) >> 24, 255u);
    EXPECT_EQ(doc.NextObjectName(KindTransformedImage), "Obj - 2");
    EXPECT_EQ(doc.NextObjectName(KindRectangle), "Rectangle - 1");
    EXPECT_EQ(doc.NextObjectName(KindEllipse), "Ellipse - 1");
    EXPECT_EQ(doc.NextObjectName(KindPolygon), "Polygon - 1");
    EXPECT_EQ(doc.NextObjectName(KindText), "Text - 1");
    EXPECT_EQ(doc.NextObjectName(6), "");
    EXPECT_EQ(doc.NextObjectName(-1), "");
    EXPECT_EQ(doc.NextObjectName(KindRectangle), "Rectangle - 2");

    COrvaneDoc clear;
    ASSERT_TRUE(clear.CreateNewImage(5, 5, true, RGB(255, 0, 0)));
    EXPECT_EQ(clear.Image().objects.Head()->content->PixelAt(2, 2) >> 24, 0u);
    EXPECT_FALSE(clear.CreateNewImage(0, 5, false, 0));
}

TEST(Document, OpenSequence) {
    COrvaneDoc doc;
    CountingObserver obs;
    doc.Subscribe(&obs);
    RecordingProgress progress;
    doc.counters[COrvaneDoc::CounterImage] = 7;
    doc.counters[COrvaneDoc::CounterText] = 4;
    // Without a reader the open fails and nothing is announced.
    EXPECT_FALSE(doc.OnOpenDocument("/tmp/none.png", &progress));
    EXPECT_EQ(obs.defaultMode, 0);
    EXPECT_EQ(progress.texts.front(), "Reading file none.png");

    bool native = false;
    doc.SetFileLoader([&](CDocImage& image, const std::string&, LoadFlags& flags, IProgress*) {
        image.Clear();
        for (int i = 0; i < 3; ++i) {
            Ref<CObjContent> c = MakeRef<CObjContent>(i == 1 ? KindText : KindImage);
            c->name = "stored";
            image.objects.AddTail(MakeRef<CDrawObj>(c));
        }
        flags.nativeLoaded = native;
        return true;
    });
    doc.SetModifiedFlag();
    ASSERT_TRUE(doc.OnOpenDocument("dir/anim.gif", &progress));
    EXPECT_FALSE(doc.IsModified());
    const CDrawObjList& objs = doc.Image().objects;
    EXPECT_EQ(objs.At(0)->content->name, "Obj - 1");
    EXPECT_EQ(objs.At(1)->content->name, "Text - 4"); // text keeps counting
    EXPECT_EQ(objs.At(2)->content->name, "Obj - 2");
    EXPECT_EQ(doc.Image().CountVisible(), 1);
    EXPECT_TRUE(objs.At(0)->visible);
    EXPECT_EQ(obs.defaultMode, 1);

    native = true;
    ASSERT_TRUE(doc.OnOpenDocument("doc.qzi", &progress));
    EXPECT_EQ(doc.Image().objects.At(0)->content->name, "stored");
    EXPECT_EQ(doc.Image().CountVisible(), 0);
    doc.Unsubscribe(&obs);
    doc.NotifyObjectsChanged();
    EXPECT_EQ(obs.changed, 2);
}
