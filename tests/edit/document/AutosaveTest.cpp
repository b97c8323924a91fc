#include "edit/document/Autosave.h"

#include "edit/UndoTestUtil.h"
#include "model/DocDump.h"
#include "model/RectObj.h"
#include "platform/SaveTarget.h"
#include "support/Mishaps.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>

#include <sys/wait.h>
#include <unistd.h>

using namespace zepho;
using namespace zepho::test;
namespace fs = std::filesystem;

namespace {

struct TempFolder {
    fs::path path;
    TempFolder() {
        char pattern[] = "/tmp/zepho-autosave-XXXXXX";
        path = ::mkdtemp(pattern);
    }
    ~TempFolder() {
        std::error_code ec;
        fs::remove_all(path, ec);
    }
    std::string operator/(const std::string& name) const { return (path / name).string(); }
};

std::string ReadBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

// A document like a user's: a picture with a shadow, a hidden locked one and a vector shape.
void FillDocument(COrvaneDoc& doc) {
    ASSERT_TRUE(doc.CreateNewImage(64, 48, false, RGB(250, 240, 230)));
    Ref<CDrawObj> photo = ImageObject(20, 10, RGB(12, 34, 56), 5, 7);
    photo->content->name = "Photo";
    photo->content->UpdateShadow();
    photo->transparency = 40;
    doc.Image().objects.AddTail(photo);
    Ref<CDrawObj> hidden = ImageObject(3, 3, RGB(1, 2, 3), 50, 40);
    hidden->visible = 0;
    hidden->locked = 1;
    doc.Image().objects.AddTail(hidden);
    Ref<CRectObj> shape = MakeRef<CRectObj>();
    shape->width = 30, shape->height = 12, shape->roundCorner = 4, shape->strokeWidth = 2;
    shape->paint = {RGB(255, 0, 0), RGB(0, 0, 255), 1, 0};
    Ref<CObjContent> c = MakeRef<CObjContent>(KindRectangle);
    c->SetShape(shape);
    c->SetRaster(shape->Render());
    c->name = "Rectangle - 1";
    Ref<CDrawObj> rect = MakeRef<CDrawObj>(c);
    rect->x = 9, rect->y = 11, rect->visible = 1;
    doc.Image().objects.AddTail(rect);
    doc.counters[COrvaneDoc::CounterRectangle] = 2;
}

std::string Dump(const COrvaneDoc& doc) {
    return DumpDocument(doc.Image(), DumpOptions{false});
}

} // namespace

TEST(Autosave, SnapshotIsWrittenOnTheWriterAndRestoresEqualWithoutTouchingTheUsersFile) {
    TempFolder tmp;
    const std::string folder = tmp / "autosave";
    const std::string userFile = tmp / "mine.qzi";

    COrvaneDoc doc;
    FillDocument(doc);
    doc.Image().photoInfo.xmp = "<x:xmpmeta xmlns:x=\"adobe:ns:meta/\"/>";
    ASSERT_TRUE(doc.Image().SaveNative(userFile, nullptr));
    const std::string userBytes = ReadBytes(userFile);
    doc.filePath = userFile;
    // A change since the save.
    doc.Image().objects.At(1)->x += 3;
    doc.Image().objects.At(1)->content->raster.Pixel32(0, 0)[0] = 99;
    doc.SetModifiedFlag(true);
    const std::string atSnapshot = Dump(doc);

    CAutosaveSnapshot snap = TakeAutosaveSnapshot(doc, "mine.qzi");
    ASSERT_TRUE(snap.image);
    EXPECT_EQ(snap.changeCount, doc.ChangeCount());
    EXPECT_EQ(snap.info.originalPath, userFile);
    // The copy shares no pixels: the document may change while the writer works.
    EXPECT_NE(snap.image->objects.At(1)->content->raster.Data(),
              doc.Image().objects.At(1)->content->raster.Data());
    doc.Image().objects.At(1)->content->raster.Pixel32(1, 1)[1] = 7;
    doc.Image().objects.At(0)->y = 1;

    bool written = false;
    {
        CAutosaveWriter writer(folder);
        writer.Write("42-1", std::move(snap), [&](const CAutosaveWriteResult& r) {
            written = r.ok;
            EXPECT_GE(r.ms, 0.0);
            EXPECT_EQ(r.why, "");
        });
        writer.Flush();
    }
    ASSERT_TRUE(written);
    EXPECT_TRUE(fs::exists(folder + "/42-1.qzi"));
    EXPECT_FALSE(fs::exists(folder + "/42-1.qzi.tmp"));
    EXPECT_FALSE(fs::exists(folder + "/42-1.ini.tmp"));
    // Neither the user's file nor the document's state was touched.
    EXPECT_EQ(ReadBytes(userFile), userBytes);
    EXPECT_TRUE(doc.IsModified());
    EXPECT_EQ(doc.filePath, userFile);

    // Nobody holds the entry's lock, so the next start offers it.
    const std::vector<AutosaveEntry> found = FindOrphanAutosaves(folder);
    ASSERT_EQ(found.size(), 1u);
    EXPECT_EQ(found[0].entry, "42-1");
    EXPECT_EQ(found[0].info.originalPath, userFile);
    EXPECT_EQ(found[0].info.title, "mine.qzi");
    EXPECT_GT(found[0].info.time, 0);

    COrvaneDoc restored;
    ASSERT_TRUE(RestoreAutosave(found[0], restored));
    EXPECT_EQ(Dump(restored), atSnapshot);
    EXPECT_EQ(restored.Image().photoInfo.xmp, doc.Image().photoInfo.xmp);
    EXPECT_TRUE(restored.IsModified());
    EXPECT_EQ(restored.filePath, userFile);
    EXPECT_EQ(restored.counters[COrvaneDoc::CounterRectangle], 2);
}

TEST(Autosave, EntriesOfARunningInstanceAreNotOfferedAndBrokenOnesAreSkipped) {
    TempFolder tmp;
    const std::string folder = tmp / "autosave";
    COrvaneDoc doc;
    FillDocument(doc);
    doc.SetModifiedFlag(true);

    CAutosaveLock lock;
    ASSERT_TRUE(lock.Acquire(folder));
    ASSERT_TRUE(WriteAutosave(folder, "mine", TakeAutosaveSnapshot(doc, "Untitled 3")));
    EXPECT_TRUE(AutosaveOwnerAlive(folder, static_cast<int>(::getpid())));
    EXPECT_TRUE(FindOrphanAutosaves(folder).empty());

    // A crashed instance: its pid is gone (and its lock file stayed behind).
    CAutosaveSnapshot crashed = TakeAutosaveSnapshot(doc, "Untitled 1");
    crashed.info.pid = DeadPid();
    crashed.info.time -= 60;
    std::ofstream(folder + "/" + std::to_string(crashed.info.pid) + ".lock") << crashed.info.pid;
    ASSERT_TRUE(WriteAutosave(folder, "crashed", crashed));
    EXPECT_FALSE(AutosaveOwnerAlive(folder, crashed.info.pid));
    // Incomplete entries: a description without its document, and a torn description.
    std::ofstream(folder + "/lonely.ini") << "[Autosave]\nTime=1\nPid=1\n";
    std::ofstream(folder + "/torn.qzi") << "QZ";
    std::ofstream(folder + "/torn.ini") << "[Autos";

    std::vector<AutosaveEntry> found = FindOrphanAutosaves(folder);
    ASSERT_EQ(found.size(), 1u);
    EXPECT_EQ(found[0].entry, "crashed");
    EXPECT_EQ(found[0].info.title, "Untitled 1");
    COrvaneDoc restored;
    ASSERT_TRUE(RestoreAutosave(found[0], restored));
    EXPECT_TRUE(restored.filePath.empty());
    EXPECT_EQ(restored.title, "Untitled 1");
    EXPECT_TRUE(restored.IsModified());

    // Once this instance ends, its entry is offered as well, oldest first.
    lock.Release();
    EXPECT_FALSE(fs::exists(folder + "/" + std::to_string(::getpid()) + ".lock"));
    found = FindOrphanAutosaves(folder);
    ASSERT_EQ(found.size(), 2u);
    EXPECT_EQ(found[0].entry, "crashed");
    EXPECT_EQ(found[1].entry, "mine");

    // What killed instances leave besides entries goes at the next start: locks nobody holds,
    // temporary files nobody writes (this one's name as earlier versions gave it, that one's as
    // a save gives it). Entries and the lock of a running instance stay.
    ASSERT_TRUE(lock.Acquire(folder));
    std::ofstream(folder + "/crashed.ini.tmp") << "[Autos";
    std::ofstream(folder + "/crashed.qzi" + kTempMarker + "AbC123") << "QZI 2";
    const std::string ours = std::to_string(::getpid()) + ".lock";
    EXPECT_EQ(RemoveStaleAutosaveFiles(folder), 3);
    std::vector<std::string> left;
    for (const auto& f : fs::directory_iterator(folder))
        left.push_back(f.path().filename().string());
    std::sort(left.begin(), left.end());
    EXPECT_EQ(left, (std::vector<std::string>{ours, "crashed.ini", "crashed.qzi", "lonely.ini", "mine.ini",
                                              "mine.qzi", "torn.ini", "torn.qzi"}));
    lock.Release();

    // A document that does not read back is refused, and the target stays empty.
    std::ofstream(found[1].documentPath, std::ios::trunc) << "not a document";
    COrvaneDoc broken;
    EXPECT_FALSE(RestoreAutosave(found[1], broken));
    EXPECT_EQ(broken.Image().objects.Count(), 0);
    EXPECT_FALSE(broken.IsModified());
}

TEST(Autosave, WriterKeepsTheOrderOfWritesAndRemovals) {
    TempFolder tmp;
    const std::string folder = tmp / "a";
    COrvaneDoc doc;
    FillDocument(doc);
    {
        CAutosaveWriter writer(folder);
        // A save after an autosave: the entry must be gone, not rewritten by a late write.
        writer.Write("e", TakeAutosaveSnapshot(doc, "x"));
        writer.Remove("e");
        // Several writes queued for one entry: the newest content is what stays.
        writer.Write("f", TakeAutosaveSnapshot(doc, "x"));
        doc.Image().objects.At(0)->x = 17;
        writer.Write("f", TakeAutosaveSnapshot(doc, "x"));
        writer.Flush();
        EXPECT_FALSE(fs::exists(folder + "/e.qzi"));
        EXPECT_FALSE(fs::exists(folder + "/e.ini"));
        ASSERT_TRUE(fs::exists(folder + "/f.qzi"));
        writer.Write("g", TakeAutosaveSnapshot(doc, "x"));
        // The destructor finishes what was asked.
    }
    EXPECT_TRUE(fs::exists(folder + "/g.qzi"));
    const auto found = FindOrphanAutosaves(folder);
    ASSERT_EQ(found.size(), 2u);
    COrvaneDoc restored;
    ASSERT_TRUE(RestoreAutosave(found[0].entry == "f" ? found[0] : found[1], restored));
    EXPECT_EQ(Dump(restored), Dump(doc));
}

// An older copy that a new one replaces goes only once the new one is complete: on a full disk
// the old copy is all there is.
TEST(Autosave, ReplacedCopyStaysUntilItsSuccessorIsOnDisk) {
    TempFolder tmp;
    const std::string folder = tmp / "a";
    COrvaneDoc doc;
    FillDocument(doc);
    CAutosaveSnapshot old = TakeAutosaveSnapshot(doc, "old");
    old.info.pid = DeadPid();
    ASSERT_TRUE(WriteAutosave(folder, "old", old));
    const std::string oldBytes = ReadBytes(folder + "/old.qzi");
    doc.Image().objects.At(0)->x = 21;

    CAutosaveWriter writer(folder);
    CAutosaveWriteResult result;
    auto keep = [&](const CAutosaveWriteResult& r) { result = r; };
    {
        FileSizeLimit full(512);
        writer.Write("new", TakeAutosaveSnapshot(doc, "new"), keep, "old");
        writer.Flush();
    }
    EXPECT_FALSE(result.ok);
    EXPECT_EQ(result.why, "File too large");
    EXPECT_EQ(ReadBytes(folder + "/old.qzi"), oldBytes);
    std::vector<AutosaveEntry> found = FindOrphanAutosaves(folder);
    ASSERT_EQ(found.size(), 1u);
    EXPECT_EQ(found[0].entry, "old");
    EXPECT_EQ(std::distance(fs::directory_iterator(folder), fs::directory_iterator()), 2); // no temporaries

    writer.Write("new", TakeAutosaveSnapshot(doc, "new"), keep, "old");
    writer.Flush();
    EXPECT_TRUE(result.ok);
    EXPECT_FALSE(fs::exists(folder + "/old.qzi"));
    EXPECT_FALSE(fs::exists(folder + "/old.ini"));
    COrvaneDoc restored;
    ASSERT_TRUE(RestoreAutosave({"new", folder + "/new.qzi", {}}, restored));
    EXPECT_EQ(Dump(restored), Dump(doc));
}

TEST(Autosave, FolderFollowsTheStateHomeAndNamesSurviveTheDescription) {
    const char* oldState = std::getenv("XDG_STATE_HOME");
    const std::string savedState = oldState ? oldState : "";
    ::setenv("XDG_STATE_HOME", "/x/state", 1);
    EXPECT_EQ(AutosaveFolder(), "/x/state/zepho/autosave");
    // A relative value is ignored, as the base-directory rules say.
    ::setenv("XDG_STATE_HOME", "rel", 1);
    const std::string home = std::getenv("HOME") ? std::getenv("HOME") : "";
    if (!home.empty()) EXPECT_EQ(AutosaveFolder(), home + "/.local/state/zepho/autosave");
    ::unsetenv("XDG_STATE_HOME");
    if (!home.empty()) EXPECT_EQ(AutosaveFolder(), home + "/.local/state/zepho/autosave");
    if (oldState) ::setenv("XDG_STATE_HOME", savedState.c_str(), 1);

    TempFolder tmp;
    COrvaneDoc doc;
    FillDocument(doc);
    CAutosaveSnapshot snap = TakeAutosaveSnapshot(doc, "odd\nname \\ here");
    snap.info.originalPath = "/home/u/a=b\\c\nd.qzi";
    snap.info.pid = DeadPid();
    ASSERT_TRUE(WriteAutosave(tmp.path.string(), "n", snap));
    const auto found = FindOrphanAutosaves(tmp.path.string());
    ASSERT_EQ(found.size(), 1u);
    EXPECT_EQ(found[0].info.title, "odd\nname \\ here");
    EXPECT_EQ(found[0].info.originalPath, "/home/u/a=b\\c\nd.qzi");
}
