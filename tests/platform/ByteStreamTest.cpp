#include "platform/ByteStream.h"

#include "support/Mishaps.h"

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

#include <csignal>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace zepho;
namespace fs = std::filesystem;

namespace {

const std::vector<BYTE> kBytes = {0x01, 0x02, 0x03, 0x04, 0xFE, 0xFF, 0xFF, 0xFF};

class ByteFiles : public ::testing::Test {
protected:
    void SetUp() override {
        std::string pattern = (fs::temp_directory_path() / "zepho-bytestream-XXXXXX").string();
        ASSERT_NE(mkdtemp(pattern.data()), nullptr);
        dir_ = pattern;
    }
    void TearDown() override { fs::remove_all(dir_); }

    std::string PathOf(const std::string& name) const { return (dir_ / name).string(); }
    std::vector<std::string> Listing() const {
        std::vector<std::string> names;
        for (const auto& e : fs::directory_iterator(dir_))
            names.push_back(e.path().filename().string());
        std::sort(names.begin(), names.end());
        return names;
    }
    static void Put(const std::string& path, const std::string& text) { std::ofstream(path) << text; }
    static std::string Get(const std::string& path) {
        std::ifstream in(path, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }

    fs::path dir_;
};

} // namespace

TEST(ByteReader, ShortReadsAndBadSeeksFailAndStayFailed) {
    MemoryReader r(kBytes.data(), kBytes.size());
    BYTE buf[6];
    ASSERT_TRUE(r.Read(buf, 3));
    std::fill(std::begin(buf), std::end(buf), 0xAA);
    EXPECT_FALSE(r.Read(buf, 6));
    EXPECT_EQ(std::vector<BYTE>(buf, buf + 6), std::vector<BYTE>(6, 0)); // nothing stale handed out
    DWORD v = 123;
    EXPECT_FALSE(r.ReadU32(v)); // would have fitted, but the stream has failed
    EXPECT_EQ(v, 0u);
    EXPECT_FALSE(r.Seek(0));

    MemoryReader end(kBytes.data(), kBytes.size());
    EXPECT_TRUE(end.Seek(8)); // the end itself is a valid position
    EXPECT_FALSE(end.Seek(9));
    EXPECT_TRUE(end.Failed());

    MemoryReader skip(kBytes.data(), kBytes.size());
    EXPECT_TRUE(skip.Skip(6));
    EXPECT_EQ(skip.Remaining(), 2u);
    EXPECT_FALSE(skip.Skip(3));

    // A size read from a header must not become a huge allocation.
    MemoryReader h(kBytes.data(), kBytes.size());
    std::vector<BYTE> out;
    EXPECT_FALSE(h.ReadBytes(out, std::size_t{1} << 40));
    EXPECT_TRUE(out.empty());
}

TEST(ByteReader, LittleAndBigEndianValues) {
    MemoryReader r(kBytes.data(), kBytes.size());
    WORD w = 0, wb = 0;
    DWORD d = 0, db = 0;
    LONG l = 0, lb = 0;
    std::int16_t s = 0, sb = 0;
    ASSERT_TRUE(r.ReadU16(w) && r.Seek(0) && r.ReadU16BE(wb) && r.Seek(0) && r.ReadU32(d) && r.Seek(0) &&
                r.ReadU32BE(db) && r.ReadI32(l) && r.Seek(4) && r.ReadI32BE(lb) && r.Seek(4) &&
                r.ReadI16(s) && r.Seek(5) && r.ReadI16BE(sb));
    EXPECT_EQ(w, 0x0201);
    EXPECT_EQ(wb, 0x0102);
    EXPECT_EQ(d, 0x04030201u);
    EXPECT_EQ(db, 0x01020304u);
    EXPECT_EQ(l, -2);
    EXPECT_EQ(lb, static_cast<LONG>(0xFEFFFFFF));
    EXPECT_EQ(s, -2);
    EXPECT_EQ(sb, -1);
}

TEST(ByteWriter, EncodesPatchesAndRefusesSeeksPastTheEnd) {
    MemoryWriter w;
    EXPECT_TRUE(w.WriteU32(0) && w.WriteU16(0x0201) && w.WriteU16BE(0x0102) && w.WriteI32(-2) &&
                w.WriteU32BE(0xA1B2C3D4));
    const std::uint64_t end = w.Tell();
    EXPECT_TRUE(w.Seek(0) && w.WriteU32(static_cast<DWORD>(end))); // patch the leading size
    EXPECT_EQ(w.Size(), end);
    const std::vector<BYTE> expected = {16,   0,    0,    0,    1,    2,    1,    2,
                                        0xFE, 0xFF, 0xFF, 0xFF, 0xA1, 0xB2, 0xC3, 0xD4};
    EXPECT_EQ(w.Data(), expected);

    EXPECT_FALSE(w.Seek(end + 1));
    EXPECT_FALSE(w.WriteU8(1));
    EXPECT_EQ(w.Data(), expected);
}

TEST_F(ByteFiles, FileReaderReadsRegularFilesOnly) {
    Put(PathOf("data.bin"), "ABCDEFG");
    FileReader r(PathOf("data.bin"));
    ASSERT_TRUE(r.IsOpen());
    EXPECT_EQ(r.Size(), 7u);
    char buf[8] = {};
    ASSERT_TRUE(r.Seek(3) && r.Read(buf, 4));
    EXPECT_EQ(std::string(buf, 4), "DEFG");
    ASSERT_TRUE(r.Seek(1) && r.Read(buf, 2)); // back again after reading on
    EXPECT_EQ(std::string(buf, 2), "BC");
    EXPECT_FALSE(r.Read(buf, 5));

    EXPECT_TRUE(FileReader(PathOf("missing")).Failed());
    EXPECT_FALSE(FileReader(dir_.string()).IsOpen());
    // Opening a FIFO for reading would block until a writer came; it must be refused instead.
    ASSERT_EQ(mkfifo(PathOf("fifo").c_str(), 0600), 0);
    EXPECT_FALSE(FileReader(PathOf("fifo")).IsOpen());
}

TEST_F(ByteFiles, CommitReplacesTheTargetAndKeepsItsPermissions) {
    const std::string target = PathOf("image.bin");
    Put(target, "old contents");
    ASSERT_EQ(chmod(target.c_str(), 0640), 0);
    {
        FileWriter w(target);
        ASSERT_TRUE(w.IsOpen());
        EXPECT_EQ(w.TempPath().rfind(target + kTempMarker, 0), 0u);
        EXPECT_TRUE(w.WriteU32(0) && w.Write("payload", 7));
        EXPECT_TRUE(w.Seek(0) && w.WriteU32BE(0x4E455721)); // "NEW!"
        EXPECT_EQ(Get(target), "old contents");             // untouched until the commit
        EXPECT_TRUE(w.Commit());
        EXPECT_FALSE(w.Write("x", 1));
    }
    EXPECT_EQ(Get(target), "NEW!payload");
    EXPECT_EQ(Listing(), std::vector<std::string>{"image.bin"});
    struct stat st {};
    ASSERT_EQ(stat(target.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0640u);
}

TEST_F(ByteFiles, AbandonedOrFailedWritersLeaveTheOldFile) {
    const std::string target = PathOf("image.bin");
    Put(target, "keep me");
    {
        FileWriter w(target);
        EXPECT_TRUE(w.Write("half written", 12));
    } // destroyed without Commit
    {
        FileWriter w(target);
        EXPECT_TRUE(w.Write("abc", 3));
        EXPECT_FALSE(w.Seek(10)); // any failed step poisons the commit
        EXPECT_FALSE(w.Commit());
    }
    EXPECT_EQ(Get(target), "keep me");
    EXPECT_EQ(Listing(), std::vector<std::string>{"image.bin"});

    fs::create_directory(PathOf("folder"));
    {
        FileWriter w(PathOf("folder")); // a folder is not replaced by a file
        EXPECT_EQ(w.Refusal(), SaveRefusal::NotAFile);
        EXPECT_FALSE(w.Write("abc", 3));
        EXPECT_FALSE(w.Commit());
    }
    EXPECT_EQ(Listing(), (std::vector<std::string>{"folder", "image.bin"}));

    FileWriter nowhere(PathOf("no/such/folder/out.bin"));
    EXPECT_FALSE(nowhere.IsOpen());
    EXPECT_FALSE(nowhere.Write("abc", 3));
    EXPECT_FALSE(nowhere.Commit());
    EXPECT_EQ(Listing(), (std::vector<std::string>{"folder", "image.bin"}));
}

// Saving through a link writes the linked file and keeps the link; a read-only file is refused
// and stays as it was; the new file keeps the old one's permission bits.
TEST_F(ByteFiles, SavesFollowLinksAndRefuseReadOnlyFiles) {
    const std::string real = PathOf("real.bin");
    Put(real, "old");
    ASSERT_EQ(chmod(real.c_str(), 0604), 0);
    ASSERT_EQ(symlink("real.bin", PathOf("link.bin").c_str()), 0); // relative to the link's folder
    ASSERT_EQ(symlink(PathOf("link.bin").c_str(), PathOf("chain.bin").c_str()), 0);
    ASSERT_EQ(symlink("fresh.bin", PathOf("dangling.bin").c_str()), 0);
    const auto save = [](const std::string& path, const std::string& text) {
        FileWriter w(path);
        return w.IsOpen() && w.Write(text.data(), text.size()) && w.Commit();
    };
    struct stat st {};
    for (const char* via : {"link.bin", "chain.bin"}) {
        SCOPED_TRACE(via);
        ASSERT_TRUE(save(PathOf(via), via));
        EXPECT_EQ(Get(real), via);
        ASSERT_EQ(lstat(PathOf(via).c_str(), &st), 0);
        EXPECT_TRUE(S_ISLNK(st.st_mode));
        ASSERT_EQ(stat(real.c_str(), &st), 0);
        EXPECT_EQ(st.st_mode & 07777, 0604u);
    }
    ASSERT_TRUE(save(PathOf("dangling.bin"), "new file"));
    EXPECT_EQ(Get(PathOf("fresh.bin")), "new file");
    ASSERT_EQ(lstat(PathOf("dangling.bin").c_str(), &st), 0);
    EXPECT_TRUE(S_ISLNK(st.st_mode));

    const std::string locked = PathOf("locked.bin");
    Put(locked, "keep");
    ASSERT_EQ(chmod(locked.c_str(), 0444), 0);
    ASSERT_EQ(symlink("locked.bin", PathOf("to-locked.bin").c_str()), 0);
    for (const char* name : {"locked.bin", "to-locked.bin"}) {
        FileWriter w(PathOf(name));
        EXPECT_FALSE(w.IsOpen());
        EXPECT_EQ(w.Refusal(), SaveRefusal::ReadOnly);
        EXPECT_STREQ(SaveRefusalText(w.Refusal()), "the file is read-only");
        EXPECT_FALSE(w.Commit());
    }
    EXPECT_EQ(Get(locked), "keep");

    ASSERT_EQ(symlink("loop-b", PathOf("loop-a").c_str()), 0);
    ASSERT_EQ(symlink("loop-a", PathOf("loop-b").c_str()), 0);
    EXPECT_EQ(FileWriter(PathOf("loop-a")).Refusal(), SaveRefusal::LinkLoop);
    EXPECT_EQ(Listing(),
              (std::vector<std::string>{"chain.bin", "dangling.bin", "fresh.bin", "link.bin", "locked.bin",
                                        "loop-a", "loop-b", "real.bin", "to-locked.bin"}));
}

// A process stopped by SIGINT or SIGTERM in the middle of a save leaves the target as it was and
// no temporary file; SIGKILL cannot be caught, and leaves a file named for what it is.
TEST_F(ByteFiles, StoppedSavesLeaveNoTemporaryFile) {
    const std::string target = PathOf("doc.qzi");
    Put(target, "saved before");
    for (int sig : {SIGINT, SIGTERM, SIGKILL}) {
        SCOPED_TRACE(sig);
        const pid_t child = fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            InstallSaveCleanupOnSignals();
            FileWriter w(target);
            w.Write("half", 4);
            raise(sig);
            _exit(0); // not reached
        }
        int status = 0;
        ASSERT_EQ(waitpid(child, &status, 0), child);
        ASSERT_TRUE(WIFSIGNALED(status));
        EXPECT_EQ(WTERMSIG(status), sig);
        EXPECT_EQ(Get(target), "saved before");
        const std::vector<std::string> files = Listing();
        if (sig != SIGKILL) {
            EXPECT_EQ(files, std::vector<std::string>{"doc.qzi"});
        } else {
            ASSERT_EQ(files.size(), 2u);
            EXPECT_EQ(files[1].rfind(std::string("doc.qzi") + kTempMarker, 0), 0u) << files[1];
        }
    }
    // The next save into the folder removes what the killed writer left, but never the
    // temporary file of a save still being written.
    FileWriter running(target);
    ASSERT_TRUE(running.IsOpen() && running.Write("slow", 4));
    FileWriter next(target);
    ASSERT_TRUE(next.IsOpen() && next.Write("next", 4) && next.Commit());
    std::vector<std::string> files = Listing();
    ASSERT_EQ(files.size(), 2u);
    EXPECT_EQ(PathOf(files[1]), running.TempPath());
    EXPECT_EQ(RemoveStaleTemporaries(dir_.string()), 0);
    ASSERT_TRUE(running.Commit());
    EXPECT_EQ(Listing(), std::vector<std::string>{"doc.qzi"});
    EXPECT_EQ(Get(target), "slow");
}

// Names up to the file system's limit save and are replaced: the temporary name is cut to fit,
// at a character boundary.
TEST_F(ByteFiles, NamesUpToTheLimitSave) {
    std::string accents;
    while (accents.size() + 2 <= 251)
        accents += "\xC3\xA9"; // é
    for (const std::string& name : {std::string(235, 'a') + ".qzi", std::string(246, 'b') + ".png",
                                    std::string(251, 'c') + ".qzi", accents + ".qzi"}) {
        SCOPED_TRACE(name.size());
        const std::string target = PathOf(name);
        for (const char* text : {"first", "second"}) {
            FileWriter w(target);
            ASSERT_TRUE(w.IsOpen()) << LastSaveError();
            const std::string temp = fs::path(w.TempPath()).filename().string();
            EXPECT_LE(temp.size(), 255u);
            const std::size_t marker = temp.rfind(kTempMarker);
            ASSERT_NE(marker, std::string::npos);
            EXPECT_EQ(name.compare(0, marker, temp, 0, marker), 0);
            // Not cut inside a character.
            EXPECT_NE(static_cast<unsigned char>(name[marker]) & 0xC0, 0x80);
            ASSERT_TRUE(w.Write(text, std::strlen(text)) && w.Commit());
            EXPECT_EQ(Get(target), text);
        }
        EXPECT_EQ(Listing(), std::vector<std::string>{name});
        fs::remove(target);
    }
}

// A failed save says why, in the system's words, and leaves the target as it was.
TEST_F(ByteFiles, FailedSavesKeepTheSystemsReason) {
    const std::string kept = PathOf("kept.bin");
    Put(kept, "old");
    const std::string big(100000, 'x');
    struct Case {
        const char* what;
        std::string path;
        const char* reason;
    };
    for (const Case& c :
         {Case{"a folder that is not there", PathOf("nowhere/x.bin"), "No such file or directory"},
          Case{"a name too long", PathOf(std::string(256, 'n')), "File name too long"},
          Case{"a full disk", kept, "File too large"}, Case{"an existing file kept", kept, "File exists"}}) {
        SCOPED_TRACE(c.what);
        ResetSaveError();
        {
            test::FileSizeLimit limit(std::string(c.reason) == "File too large" ? 4096 : RLIM_INFINITY);
            SetSaveNoReplace(std::string(c.reason) == "File exists");
            FileWriter w(c.path);
            EXPECT_FALSE(w.Write(big.data(), big.size()) && w.Commit());
            SetSaveNoReplace(false);
        }
        EXPECT_EQ(LastSaveError(), c.reason);
        EXPECT_EQ(Get(kept), "old");
        EXPECT_EQ(Listing(), std::vector<std::string>{"kept.bin"});
    }
    // Without the no-replace rule the same file is replaced.
    FileWriter w(kept);
    ASSERT_TRUE(w.Write("new", 3) && w.Commit());
    EXPECT_EQ(Get(kept), "new");
}

// Reads jumping between two far parts of a file, across the reader's windows and past their
// size, give the same bytes as the file holds.
TEST_F(ByteFiles, ScatteredReadsMatchTheFile) {
    std::string bytes(200000, '\0');
    for (std::size_t i = 0; i < bytes.size(); ++i)
        bytes[i] = static_cast<char>((i * 2654435761u) >> 13);
    const std::string path = PathOf("scattered.bin");
    Put(path, bytes);
    FileReader file(path);
    MemoryReader memory(bytes.data(), bytes.size());
    ASSERT_EQ(file.Size(), bytes.size());
    std::mt19937 rng(7);
    for (int i = 0; i < 5000; ++i) {
        const std::uint64_t base = (i % 2) ? 150000 : 0; // a table and its payloads
        const std::uint64_t pos = base + rng() % 50000;
        // Now and then more than a window holds; never past the end.
        const std::size_t want = (i % 97 == 0) ? 20000 : rng() % 64;
        const std::size_t n = static_cast<std::size_t>(std::min<std::uint64_t>(want, bytes.size() - pos));
        std::vector<BYTE> a(n), b(n);
        ASSERT_TRUE(file.Seek(pos) && memory.Seek(pos));
        ASSERT_TRUE(file.Read(a.data(), n)) << pos << " " << n;
        ASSERT_TRUE(memory.Read(b.data(), n));
        ASSERT_EQ(a, b) << pos << " " << n;
    }
    std::vector<BYTE> tail(2);
    ASSERT_TRUE(file.Seek(bytes.size() - 1));
    EXPECT_FALSE(file.Read(tail.data(), 2)); // past the end: refused
}
