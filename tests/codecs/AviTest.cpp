#include "codecs/AviCodec.h"
#include "codecs/FfmpegLibrary.h"
#include "codecs/OpenExport.h"
#include "platform/ByteStream.h"
#include "support/AviWriter.h"
#include "support/ScriptedUiHost.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <unistd.h>

using namespace zepho;

namespace {

std::string TempPath(const std::string& name) {
    return testing::TempDir() + "zepho_avi_" + name;
}

} // namespace

TEST(Avi, EveryFrameOfEveryStreamInOrderWithTheFrameDuration) {
    const std::string path = TempPath("two.avi");
    ASSERT_TRUE(test::WriteTestAvi(path, 16, 8, 15, {3, 2}));
    AviHeader header;
    ASSERT_TRUE(ReadAviHeader(path, header));
    EXPECT_EQ(header.width, 16);
    EXPECT_EQ(header.height, 8);

    Ref<CDocImage> doc = MakeRef<CDocImage>();
    LoadFlags flags;
    ASSERT_TRUE(OpenFile(*doc, path, flags, nullptr));
    EXPECT_EQ(doc->width, 16);
    EXPECT_EQ(doc->height, 8);
    EXPECT_EQ(doc->delay, 7); // 100 / 15 + 0.5, truncated
    ASSERT_EQ(doc->objects.Count(), 5);
    const int red[] = {0, 1, 2, 40, 41};
    for (int i = 0; i < 5; ++i) {
        const Ref<CDrawObj> o = doc->objects.At(i);
        EXPECT_EQ(o->x, 0);
        EXPECT_EQ(o->visible, 0); // the opener shows the first one
        const PackedDib& r = o->content->raster;
        ASSERT_TRUE(r.Is32());
        const BYTE* p = r.Pixel32(5, 3);
        EXPECT_EQ(p[2], red[i]) << i;
        EXPECT_EQ(p[1], 5) << i;
        EXPECT_EQ(p[0], 3) << i;
        EXPECT_EQ(p[3], 255);
    }
    std::remove(path.c_str());
}

TEST(Avi, TwentyFiveFramesASecondAndTheMemoryBudget) {
    const std::string path = TempPath("fast.avi");
    ASSERT_TRUE(test::WriteTestAvi(path, 4, 4, 25, {4}));
    Ref<CDocImage> doc = MakeRef<CDocImage>();
    ASSERT_TRUE(ImportAvi(*doc, path, nullptr));
    EXPECT_EQ(doc->delay, 4);
    EXPECT_EQ(doc->objects.Count(), 4);
    // More frames than the budget holds: the import fails instead of exhausting memory.
    Ref<CDocImage> small = MakeRef<CDocImage>();
    EXPECT_FALSE(ImportAvi(*small, path, nullptr, nullptr, 250));
    std::remove(path.c_str());
}

TEST(Avi, APathWithAColonIsAPlainFile) {
    // FFmpeg would take "clip:" for a protocol.
    const std::string dir = testing::TempDir();
    ASSERT_TRUE(test::WriteTestAvi(dir + "/clip:1.avi", 4, 4, 10, {2}));
    char old[4096];
    ASSERT_TRUE(getcwd(old, sizeof old));
    ASSERT_EQ(chdir(dir.c_str()), 0);
    Ref<CDocImage> doc = MakeRef<CDocImage>();
    const bool ok = ImportAvi(*doc, "clip:1.avi", nullptr);
    EXPECT_EQ(chdir(old), 0);
    EXPECT_TRUE(ok);
    EXPECT_EQ(doc->objects.Count(), 2);
    std::remove((dir + "/clip:1.avi").c_str());
}

TEST(Avi, HeadersThatAreNotAVideoFail) {
    const std::string path = TempPath("bad.avi");
    {
        std::ofstream f(path, std::ios::binary);
        f << "RIFF\x10\0\0\0WAVEfmt ";
    }
    AviHeader header;
    EXPECT_FALSE(ReadAviHeader(path, header));
    Ref<CDocImage> doc = MakeRef<CDocImage>();
    LoadFlags flags;
    EXPECT_FALSE(OpenFile(*doc, path, flags, nullptr));
    // Every prefix of a real file's header is refused without reading past it.
    const std::string good = TempPath("good.avi");
    ASSERT_TRUE(test::WriteTestAvi(good, 4, 4, 10, {1}));
    std::ifstream in(good, std::ios::binary);
    std::vector<BYTE> bytes((std::istreambuf_iterator<char>(in)), {});
    for (std::size_t n = 0; n < 88; ++n) {
        std::vector<BYTE> cut(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(n));
        MemoryReader r(cut);
        EXPECT_FALSE(ReadAviHeader(r, header)) << n;
    }
    std::remove(path.c_str());
    std::remove(good.c_str());
}

TEST(Avi, ADamagedVideoKeepsTheFramesBeforeTheDamageAndSaysSo) {
    // The fourth frame cannot be made into an image: the three before it stay.
    const std::string path = TempPath("cut.avi");
    ASSERT_TRUE(test::WriteTestAvi(path, 16, 8, 10, {6}, 3));
    Ref<CDocImage> doc = MakeRef<CDocImage>();
    test::ScriptedUiHost ui;
    LoadFlags flags;
    ASSERT_TRUE(OpenFileWith(*doc, path, flags, nullptr, OpenContext{&ui, nullptr}));
    ASSERT_EQ(doc->objects.Count(), 3);
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(doc->objects.At(i)->content->raster.Pixel32(5, 3)[2], i) << i;
    EXPECT_EQ(doc->width, 16);
    EXPECT_EQ(doc->delay, 10);
    ASSERT_EQ(ui.shown.size(), 1u);
    EXPECT_EQ(
        ui.shown[0].text,
        "Only the first 3 frames of this video could be read; they were imported and the rest was left out.");
    EXPECT_EQ(ui.shown[0].caption, "Quarnix Zepho Image");
    EXPECT_FALSE(ui.shown[0].question);

    // One good frame is said in the singular; without a host the frames are kept all the same.
    ASSERT_TRUE(test::WriteTestAvi(path, 16, 8, 10, {6}, 1));
    ui.shown.clear();
    ASSERT_TRUE(OpenFileWith(*doc, path, flags, nullptr, OpenContext{&ui, nullptr}));
    EXPECT_EQ(doc->objects.Count(), 1);
    ASSERT_EQ(ui.shown.size(), 1u);
    EXPECT_EQ(ui.shown[0].text,
              "Only the first frame of this video could be read; it was imported and the rest was left out.");
    ASSERT_TRUE(OpenFile(*doc, path, flags, nullptr));
    EXPECT_EQ(doc->objects.Count(), 1);

    // A film whose first frame is already unreadable has nothing to keep: the open fails quietly
    // (the caller reports the failure).
    ASSERT_TRUE(test::WriteTestAvi(path, 16, 8, 10, {6}, 0));
    ui.shown.clear();
    EXPECT_FALSE(OpenFileWith(*doc, path, flags, nullptr, OpenContext{&ui, nullptr}));
    EXPECT_TRUE(ui.shown.empty());

    // A sound film says nothing.
    ASSERT_TRUE(test::WriteTestAvi(path, 16, 8, 10, {6}));
    ASSERT_TRUE(OpenFileWith(*doc, path, flags, nullptr, OpenContext{&ui, nullptr}));
    EXPECT_EQ(doc->objects.Count(), 6);
    EXPECT_TRUE(ui.shown.empty());
    std::remove(path.c_str());
}

TEST(Avi, FfmpegIsLoadedOnDemandAndMissingPiecesAreNamed) {
    std::string why;
    EXPECT_TRUE(CanDecodeVideo(&why)) << why;
    ASSERT_TRUE(FfmpegLibrary::Get());
    EXPECT_EQ(FfmpegLibrary::Get(), FfmpegLibrary::Get()); // loaded once

    // A library that is not there is named, and nothing is half loaded.
    std::vector<std::string> names = FfmpegLibrary::DefaultNames();
    names.insert(names.begin() + 1, "libavnothing.so.99");
    EXPECT_FALSE(FfmpegLibrary::Load(names, why));
    EXPECT_EQ(why, "libavnothing.so.99");
    // So is a call that the libraries do not have (libavutil alone lacks the decoder calls).
    EXPECT_FALSE(FfmpegLibrary::Load({names[0]}, why));
    EXPECT_EQ(why, "av_packet_alloc");
    EXPECT_TRUE(FfmpegLibrary::Load(FfmpegLibrary::DefaultNames(), why));
}
