// Checked byte streams over files and memory, for every reader and writer of outside bytes.
//
// Failure is sticky: once a read, skip, seek or write fails, every later call fails too, so a
// parser can run a batch of reads and test Failed() once. A short read is a failure, never a
// partial result, and its destination is zero-filled so nothing uninitialised leaks out.
#pragma once

#include "platform/SaveTarget.h"
#include "platform/WinTypes.h"

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <span>
#include <string>
#include <vector>

namespace zepho {

class ByteReader {
public:
    virtual ~ByteReader() = default;
    ByteReader(const ByteReader&) = delete;
    ByteReader& operator=(const ByteReader&) = delete;

    // Exactly n bytes or failure.
    bool Read(void* dst, std::size_t n);
    // n bytes into out, checked against what is left before anything is allocated.
    bool ReadBytes(std::vector<BYTE>& out, std::size_t n);
    bool Skip(std::uint64_t n);
    // Any position up to and including Size().
    bool Seek(std::uint64_t pos);

    std::uint64_t Tell() const { return pos_; }
    std::uint64_t Size() const { return size_; }
    std::uint64_t Remaining() const { return size_ - pos_; }
    bool Failed() const { return failed_; }

    // Little-endian unless named BE. On failure the value is 0.
    bool ReadU8(BYTE& v);
    bool ReadU16(WORD& v);
    bool ReadI16(std::int16_t& v);
    bool ReadU32(DWORD& v);
    bool ReadI32(LONG& v);
    bool ReadU16BE(WORD& v);
    bool ReadI16BE(std::int16_t& v);
    bool ReadU32BE(DWORD& v);
    bool ReadI32BE(LONG& v);
    // IEEE 754 double, little-endian.
    bool ReadF64(double& v);

protected:
    ByteReader() = default;
    void SetSize(std::uint64_t size) { size_ = size; }
    void Fail() { failed_ = true; }
    // Copies n bytes starting at pos, which the caller has checked lie within Size().
    virtual bool ReadAt(std::uint64_t pos, void* dst, std::size_t n) = 0;

private:
    std::uint64_t size_ = 0;
    std::uint64_t pos_ = 0;
    bool failed_ = false;
};

// Reads from bytes owned by someone else, who keeps them alive for the reader's life.
class MemoryReader final : public ByteReader {
public:
    MemoryReader(const void* data, std::size_t size);
    explicit MemoryReader(std::span<const BYTE> bytes) : MemoryReader(bytes.data(), bytes.size()) {}

protected:
    bool ReadAt(std::uint64_t pos, void* dst, std::size_t n) override;

private:
    const BYTE* data_;
};

// Reads a regular file. Anything else (a directory, a pipe, a device) is refused: it would
// fail, block or never end. A reader that did not open has Failed() set.
//
// Small reads are served from two windows of the file, so that a reader going back and forth
// between a table and the payloads it points at (a document of many objects) costs one system
// call per window, not one per field.
class FileReader final : public ByteReader {
public:
    explicit FileReader(const std::string& path);
    ~FileReader() override;
    bool IsOpen() const { return fd_ >= 0; }

protected:
    bool ReadAt(std::uint64_t pos, void* dst, std::size_t n) override;

private:
    static constexpr std::size_t kWindow = 16384;
    struct Window {
        std::uint64_t start = 0;
        std::size_t length = 0;
        std::uint64_t lastUse = 0;
        std::vector<BYTE> bytes;
    };
    // Reads exactly n bytes at pos from the file itself; false when they are not all there.
    bool ReadFile(std::uint64_t pos, void* dst, std::size_t n);

    int fd_ = -1;
    Window windows_[2];
    std::uint64_t uses_ = 0;
};

class ByteWriter {
public:
    virtual ~ByteWriter() = default;
    ByteWriter(const ByteWriter&) = delete;
    ByteWriter& operator=(const ByteWriter&) = delete;

    // Writes at the current position, overwriting or extending.
    bool Write(const void* src, std::size_t n);
    // Any position up to and including Size(), e.g. back to a table entry to patch it.
    bool Seek(std::uint64_t pos);

    std::uint64_t Tell() const { return pos_; }
    // Bytes written so far (the furthest extent reached).
    std::uint64_t Size() const { return size_; }
    bool Failed() const { return failed_; }

    bool WriteU8(BYTE v);
    bool WriteU16(WORD v);
    bool WriteI16(std::int16_t v);
    bool WriteU32(DWORD v);
    bool WriteI32(LONG v);
    bool WriteU16BE(WORD v);
    bool WriteI16BE(std::int16_t v);
    bool WriteU32BE(DWORD v);
    bool WriteI32BE(LONG v);
    bool WriteF64(double v);

protected:
    ByteWriter() = default;
    void Fail() { failed_ = true; }
    // Writes n bytes at pos (at most Size()), extending the output when needed.
    virtual bool WriteAt(std::uint64_t pos, const void* src, std::size_t n) = 0;

private:
    std::uint64_t size_ = 0;
    std::uint64_t pos_ = 0;
    bool failed_ = false;
};

class MemoryWriter final : public ByteWriter {
public:
    MemoryWriter() = default;
    const std::vector<BYTE>& Data() const { return data_; }
    // Hands the bytes over; the writer is left failed so nothing more goes astray.
    std::vector<BYTE> Take();

protected:
    bool WriteAt(std::uint64_t pos, const void* src, std::size_t n) override;

private:
    std::vector<BYTE> data_;
};

// A save the user may call off: once `*flag` reads true, every FileWriter on the calling thread
// refuses its further writes and its Commit, so the save fails with its temporary file removed
// and the target as it was. Null (the start) turns it off for the thread.
void SetSaveCancelFlag(const std::atomic<bool>* flag);

// While set on a thread, the FileWriters of that thread never replace an existing file: Commit
// fails with EEXIST instead, and the temporary file goes.
void SetSaveNoReplace(bool on);

// Why the latest save on this thread failed, in the system's words: the errno of the first call
// of a FileWriter that failed (creating the temporary file, a write, the flush, the close, the
// rename), or 0 when none did (an encoder's own failure, a refused target). Reset before a save
// whose reason is wanted; a FileWriter that fails sets it.
void ResetSaveError();
int LastSaveErrno();
// strerror of LastSaveErrno ("No space left on device"), empty when it is 0.
std::string LastSaveError();

// Writes a file without ever putting the previous one at risk: the bytes go to a temporary
// file "<target>.zepho-tmp-XXXXXX" in the same folder (see TempNamePrefix), and only Commit()
// puts them in place with a rename. A writer destroyed before Commit() removes its temporary file
// and leaves the target as it was. The writer holds an flock on its temporary file until then, so
// that temporaries left by writers that died can be told apart and removed
// (RemoveStaleTemporaries), which every writer does for its folder from time to time. The new file keeps the
// old one's permissions, or gets the usual ones (0666 less the umask) when there was none. A path that is a
// symbolic link saves to the file it links to (the link stays); a read-only file is not replaced: the writer
// does not open and Refusal() says why.
class FileWriter final : public ByteWriter {
public:
    explicit FileWriter(std::string target);
    ~FileWriter() override;
    bool IsOpen() const { return file_ != nullptr; }
    const std::string& TempPath() const { return tempPath_; }
    // The file that Commit() replaces (the path with its links followed).
    const std::string& Target() const { return target_; }
    SaveRefusal Refusal() const { return refusal_; }

    // Whether Commit() waits for the data to reach the disk. Deferred leaves that to one later
    // SyncFileSystemOf() for many files written in a row.
    enum class Sync { Now, Deferred };

    // Flushes the data to disk, closes and renames over the target. False, with the temporary
    // file removed and the target untouched, when any write, the flush, the close or the rename
    // failed.
    bool Commit(Sync sync = Sync::Now);
    // Drops everything written; the target stays as it was.
    void Abandon();

protected:
    bool WriteAt(std::uint64_t pos, const void* src, std::size_t n) override;

private:
    // Records errno as the reason when this writer has none yet; returns false.
    bool Failure(int err);
    void ReleaseTemp(bool removeFile);

    std::string target_;
    std::string tempPath_;
    SaveRefusal refusal_ = SaveRefusal::None;
    std::FILE* file_ = nullptr;
    // Another descriptor of the temporary file that keeps its lock after file_ is closed, until
    // the rename is done.
    int lockFd_ = -1;
    std::uint64_t filePos_ = 0;
    bool committed_ = false;
};

// A span of a file that a table entry points at.
struct ByteRange {
    std::uint64_t offset = 0;
    std::uint64_t size = 0;
};
// Whether two of the non-empty ranges share a byte. Tables of valid files never point two entries
// at one payload; a file that does would make one stored image cost its size many times over.
bool AnyRangesOverlap(std::vector<ByteRange> ranges);

// Makes everything written to the file system holding `folder` durable, the folder's entries
// included: one call after many deferred commits. False when the folder cannot be opened or the
// sync fails.
bool SyncFileSystemOf(const std::string& folder);

} // namespace zepho
