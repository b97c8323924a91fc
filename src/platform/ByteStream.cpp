#include "platform/ByteStream.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <limits>
#include <new>
#include <random>

#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <unistd.h>

namespace zepho {

namespace {

constexpr std::uint64_t kMaxOffset = static_cast<std::uint64_t>(std::numeric_limits<off_t>::max());

bool SeekFile(std::FILE* f, std::uint64_t pos, std::uint64_t& filePos) {
    if (pos == filePos) return true;
    if (pos > kMaxOffset || fseeko(f, static_cast<off_t>(pos), SEEK_SET) != 0) return false;
    filePos = pos;
    return true;
}

std::uint32_t Le(const BYTE* b, int n) {
    std::uint32_t v = 0;
    for (int i = n - 1; i >= 0; --i)
        v = (v << 8) | b[i];
    return v;
}

std::uint32_t Be(const BYTE* b, int n) {
    std::uint32_t v = 0;
    for (int i = 0; i < n; ++i)
        v = (v << 8) | b[i];
    return v;
}

void PutLe(BYTE* b, std::uint32_t v, int n) {
    for (int i = 0; i < n; ++i)
        b[i] = static_cast<BYTE>(v >> (8 * i));
}

void PutBe(BYTE* b, std::uint32_t v, int n) {
    for (int i = 0; i < n; ++i)
        b[i] = static_cast<BYTE>(v >> (8 * (n - 1 - i)));
}

std::string FolderOf(const std::string& path) {
    const std::size_t slash = path.find_last_of('/');
    if (slash == std::string::npos) return ".";
    if (slash == 0) return "/";
    return path.substr(0, slash);
}

// Makes a finished rename survive a crash. Best effort: the file itself is already safe.
void SyncFolder(const std::string& folder) {
    const int fd = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return;
    fsync(fd);
    close(fd);
}

} // namespace

// ---- ByteReader

bool ByteReader::Read(void* dst, std::size_t n) {
    if (n == 0) return !failed_;
    if (failed_ || n > Remaining() || !ReadAt(pos_, dst, n)) {
        Fail();
        std::memset(dst, 0, n);
        return false;
    }
    pos_ += n;
    return true;
}

bool ByteReader::ReadBytes(std::vector<BYTE>& out, std::size_t n) {
    out.clear();
    if (failed_ || n > Remaining()) {
        Fail();
        return false;
    }
    try {
        out.resize(n);
    } catch (const std::bad_alloc&) {
        Fail();
        return false;
    }
    if (!Read(out.data(), n)) {
        out.clear();
        return false;
    }
    return true;
}

bool ByteReader::Skip(std::uint64_t n) {
    if (failed_ || n > Remaining()) {
        Fail();
        return false;
    }
    pos_ += n;
    return true;
}

bool ByteReader::Seek(std::uint64_t pos) {
    if (failed_ || pos > size_) {
        Fail();
        return false;
    }
    pos_ = pos;
    return true;
}

bool ByteReader::ReadU8(BYTE& v) {
    return Read(&v, 1);
}

bool ByteReader::ReadU16(WORD& v) {
    BYTE b[2];
    const bool ok = Read(b, 2);
    v = static_cast<WORD>(Le(b, 2));
    return ok;
}

bool ByteReader::ReadI16(std::int16_t& v) {
    WORD u;
    const bool ok = ReadU16(u);
    v = static_cast<std::int16_t>(u);
    return ok;
}

bool ByteReader::ReadU32(DWORD& v) {
    BYTE b[4];
    const bool ok = Read(b, 4);
    v = Le(b, 4);
    return ok;
}

bool ByteReader::ReadF64(double& v) {
    std::uint64_t u = 0;
    BYTE b[8];
    const bool ok = Read(b, 8);
    for (int i = 7; i >= 0; --i)
        u = (u << 8) | b[i];
    std::memcpy(&v, &u, 8);
    return ok;
}

bool ByteReader::ReadI32(LONG& v) {
    DWORD u;
    const bool ok = ReadU32(u);
    v = static_cast<LONG>(u);
    return ok;
}

bool ByteReader::ReadU16BE(WORD& v) {
    BYTE b[2];
    const bool ok = Read(b, 2);
    v = static_cast<WORD>(Be(b, 2));
    return ok;
}

bool ByteReader::ReadI16BE(std::int16_t& v) {
    WORD u;
    const bool ok = ReadU16BE(u);
    v = static_cast<std::int16_t>(u);
    return ok;
}

bool ByteReader::ReadU32BE(DWORD& v) {
    BYTE b[4];
    const bool ok = Read(b, 4);
    v = Be(b, 4);
    return ok;
}

bool ByteReader::ReadI32BE(LONG& v) {
    DWORD u;
    const bool ok = ReadU32BE(u);
    v = static_cast<LONG>(u);
    return ok;
}

// ---- MemoryReader

MemoryReader::MemoryReader(const void* data, std::size_t size) : data_(static_cast<const BYTE*>(data)) {
    SetSize(data_ ? size : 0);
}

bool MemoryReader::ReadAt(std::uint64_t pos, void* dst, std::size_t n) {
    std::memcpy(dst, data_ + pos, n);
    return true;
}

// ---- FileReader

FileReader::FileReader(const std::string& path) {
    // Non-blocking only for the open itself, so a FIFO cannot stall us before we reject it.
    const int fd = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    struct stat st {};
    if (fd < 0 || fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        if (fd >= 0) close(fd);
        Fail();
        return;
    }
    const int flags = fcntl(fd, F_GETFL);
    if (flags != -1) fcntl(fd, F_SETFL, flags & ~O_NONBLOCK);
    fd_ = fd;
    SetSize(static_cast<std::uint64_t>(st.st_size));
}

FileReader::~FileReader() {
    if (fd_ >= 0) close(fd_);
}

bool FileReader::ReadFile(std::uint64_t pos, void* dst, std::size_t n) {
    BYTE* out = static_cast<BYTE*>(dst);
    while (n > 0) {
        if (pos > kMaxOffset) return false;
        const ssize_t got = pread(fd_, out, std::min<std::size_t>(n, 1u << 30), static_cast<off_t>(pos));
        if (got < 0 && errno == EINTR) continue;
        // Short when the file shrank under us or the device failed.
        if (got <= 0) return false;
        out += got;
        pos += static_cast<std::uint64_t>(got);
        n -= static_cast<std::size_t>(got);
    }
    return true;
}

bool FileReader::ReadAt(std::uint64_t pos, void* dst, std::size_t n) {
    if (fd_ < 0) return false;
    if (n > kWindow / 2) return ReadFile(pos, dst, n);
    ++uses_;
    for (Window& w : windows_)
        if (pos >= w.start && pos - w.start + n <= w.length) {
            std::memcpy(dst, w.bytes.data() + (pos - w.start), n);
            w.lastUse = uses_;
            return true;
        }
    // Refill the window used least recently, starting at the bytes asked for.
    Window& w = windows_[0].lastUse <= windows_[1].lastUse ? windows_[0] : windows_[1];
    try {
        w.bytes.resize(kWindow);
    } catch (const std::bad_alloc&) {
        return ReadFile(pos, dst, n);
    }
    const std::uint64_t left = Size() > pos ? Size() - pos : 0;
    const std::size_t want = static_cast<std::size_t>(std::min<std::uint64_t>(kWindow, left));
    w.length = 0;
    if (want < n || !ReadFile(pos, w.bytes.data(), want)) return false;
    w.start = pos;
    w.length = want;
    w.lastUse = uses_;
    std::memcpy(dst, w.bytes.data(), n);
    return true;
}

// ---- ByteWriter

bool ByteWriter::Write(const void* src, std::size_t n) {
    if (failed_) return false;
    if (n == 0) return true;
    if (n > std::numeric_limits<std::uint64_t>::max() - pos_ || !WriteAt(pos_, src, n)) {
        Fail();
        return false;
    }
    pos_ += n;
    size_ = std::max(size_, pos_);
    return true;
}

bool ByteWriter::Seek(std::uint64_t pos) {
    if (failed_ || pos > size_) {
        Fail();
        return false;
    }
    pos_ = pos;
    return true;
}

bool ByteWriter::WriteU8(BYTE v) {
    return Write(&v, 1);
}

bool ByteWriter::WriteU16(WORD v) {
    BYTE b[2];
    PutLe(b, v, 2);
    return Write(b, 2);
}

bool ByteWriter::WriteI16(std::int16_t v) {
    return WriteU16(static_cast<WORD>(v));
}

bool ByteWriter::WriteU32(DWORD v) {
    BYTE b[4];
    PutLe(b, v, 4);
    return Write(b, 4);
}

bool ByteWriter::WriteF64(double v) {
    std::uint64_t u;
    std::memcpy(&u, &v, 8);
    BYTE b[8];
    for (int i = 0; i < 8; ++i)
        b[i] = static_cast<BYTE>(u >> (8 * i));
    return Write(b, 8);
}

bool ByteWriter::WriteI32(LONG v) {
    return WriteU32(static_cast<DWORD>(v));
}

bool ByteWriter::WriteU16BE(WORD v) {
    BYTE b[2];
    PutBe(b, v, 2);
    return Write(b, 2);
}

bool ByteWriter::WriteI16BE(std::int16_t v) {
    return WriteU16BE(static_cast<WORD>(v));
}

bool ByteWriter::WriteU32BE(DWORD v) {
    BYTE b[4];
    PutBe(b, v, 4);
    return Write(b, 4);
}

bool ByteWriter::WriteI32BE(LONG v) {
    return WriteU32BE(static_cast<DWORD>(v));
}

// ---- MemoryWriter

bool MemoryWriter::WriteAt(std::uint64_t pos, const void* src, std::size_t n) {
    const std::uint64_t end = pos + n;
    if (end > data_.max_size()) return false;
    if (end > data_.size()) {
        try {
            data_.resize(static_cast<std::size_t>(end));
        } catch (const std::bad_alloc&) {
            return false;
        }
    }
    std::memcpy(data_.data() + pos, src, n);
    return true;
}

std::vector<BYTE> MemoryWriter::Take() {
    std::vector<BYTE> out = std::move(data_);
    data_.clear();
    Fail();
    return out;
}

// ---- FileWriter

namespace {
thread_local const std::atomic<bool>* tSaveCancel = nullptr;
thread_local bool tNoReplace = false;
thread_local int tSaveErrno = 0;

bool SaveCancelled() {
    return tSaveCancel && tSaveCancel->load(std::memory_order_relaxed);
}

// Puts `temp` at `target` unless a file is there already (EEXIST).
bool RenameNoReplace(const std::string& temp, const std::string& target) {
    if (renameat2(AT_FDCWD, temp.c_str(), AT_FDCWD, target.c_str(), RENAME_NOREPLACE) == 0) return true;
    if (errno != EINVAL && errno != ENOSYS && errno != ENOTSUP) return false;
    // File systems without an exclusive rename: a hard link refuses an existing name as well.
    if (link(temp.c_str(), target.c_str()) == 0) {
        unlink(temp.c_str());
        return true;
    }
    if (errno == EEXIST) return false;
    struct stat st {};
    if (lstat(target.c_str(), &st) == 0) {
        errno = EEXIST;
        return false;
    }
    return rename(temp.c_str(), target.c_str()) == 0;
}
} // namespace

void SetSaveCancelFlag(const std::atomic<bool>* flag) {
    tSaveCancel = flag;
}

void SetSaveNoReplace(bool on) {
    tNoReplace = on;
}

void ResetSaveError() {
    tSaveErrno = 0;
}

int LastSaveErrno() {
    return tSaveErrno;
}

std::string LastSaveError() {
    return tSaveErrno ? std::strerror(tSaveErrno) : std::string();
}

bool FileWriter::Failure(int err) {
    if (tSaveErrno == 0 && err != 0) tSaveErrno = err;
    Fail();
    return false;
}

FileWriter::FileWriter(std::string target) {
    target_ = ResolveSaveTarget(target, &refusal_);
    if (refusal_ == SaveRefusal::None) refusal_ = CheckSaveTarget(target_);
    if (refusal_ != SaveRefusal::None) {
        Fail();
        return;
    }
    struct stat old {};
    const bool hadTarget = stat(target_.c_str(), &old) == 0 && S_ISREG(old.st_mode);
    RemoveStaleTemporariesSometimes(FolderOf(target_));

    // O_EXCL makes the name ours whatever the generator gives; the seed only has to differ
    // between writers racing for the same target.
    std::uint64_t seed =
        static_cast<std::uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count()) ^
        reinterpret_cast<std::uintptr_t>(this) ^ static_cast<std::uint64_t>(getpid());
    try {
        seed ^= std::random_device{}();
    } catch (...) {
    }
    std::mt19937_64 rng(seed);
    static constexpr char kChars[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";

    const std::string prefix = TempNamePrefix(target_);
    int err = EEXIST;
    for (int attempt = 0; attempt < 100; ++attempt) {
        std::string name = prefix;
        for (int i = 0; i < kTempSuffixLength; ++i)
            name += kChars[rng() % (sizeof(kChars) - 1)];
        // 0666 so the umask applies as for any new file (mkstemp would force 0600).
        const int fd = OpenLocked(name, true, O_WRONLY, 0666);
        if (fd < 0) {
            err = errno;
            // Taken, or removed by a cleaner in the instant before the lock: another name.
            if (err == EEXIST || err == ESTALE || err == EWOULDBLOCK) continue;
            break;
        }
        if (hadTarget) fchmod(fd, old.st_mode & 07777); // best effort
        lockFd_ = dup(fd);
        file_ = lockFd_ >= 0 ? fdopen(fd, "wb") : nullptr;
        if (!file_) {
            err = errno;
            unlink(name.c_str());
            close(fd);
            if (lockFd_ >= 0) close(lockFd_);
            lockFd_ = -1;
            break;
        }
        tempPath_ = std::move(name);
        RegisterTempFile(tempPath_);
        return;
    }
    Failure(err);
}

FileWriter::~FileWriter() {
    if (!committed_) Abandon();
}

bool FileWriter::WriteAt(std::uint64_t pos, const void* src, std::size_t n) {
    if (SaveCancelled()) return Failure(ECANCELED);
    if (!file_) return false;
    if (!SeekFile(file_, pos, filePos_)) return Failure(errno);
    errno = 0;
    const std::size_t put = std::fwrite(src, 1, n, file_);
    filePos_ += put;
    return put == n || Failure(errno ? errno : EIO);
}

void FileWriter::ReleaseTemp(bool removeFile) {
    if (removeFile) unlink(tempPath_.c_str());
    UnregisterTempFile(tempPath_);
    tempPath_.clear();
    if (lockFd_ >= 0) close(lockFd_);
    lockFd_ = -1;
}

bool FileWriter::Commit(Sync sync) {
    if (!file_) return committed_;
    bool ok = !Failed();
    if (ok && SaveCancelled()) ok = Failure(ECANCELED);
    if (ok && std::fflush(file_) != 0) ok = Failure(errno);
    if (ok && sync == Sync::Now && fsync(fileno(file_)) != 0) ok = Failure(errno);
    if (std::fclose(file_) != 0 && ok) ok = Failure(errno);
    file_ = nullptr;
    if (ok && !(tNoReplace ? RenameNoReplace(tempPath_, target_)
                           : std::rename(tempPath_.c_str(), target_.c_str()) == 0))
        ok = Failure(errno);
    if (!ok) {
        ReleaseTemp(true);
        Fail();
        return false;
    }
    committed_ = true;
    ReleaseTemp(false);
    if (sync == Sync::Now) SyncFolder(FolderOf(target_));
    return true;
}

bool AnyRangesOverlap(std::vector<ByteRange> ranges) {
    std::erase_if(ranges, [](const ByteRange& r) { return r.size == 0; });
    std::sort(ranges.begin(), ranges.end(),
              [](const ByteRange& a, const ByteRange& b) { return a.offset < b.offset; });
    std::uint64_t reach = 0; // the end of the furthest range so far
    for (std::size_t i = 0; i < ranges.size(); ++i) {
        if (i > 0 && ranges[i].offset < reach) return true;
        const std::uint64_t end = ranges[i].offset + ranges[i].size;
        reach = std::max(reach, end < ranges[i].offset ? ~std::uint64_t{0} : end);
    }
    return false;
}

bool SyncFileSystemOf(const std::string& folder) {
    const int fd = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return false;
    const bool ok = syncfs(fd) == 0 && fsync(fd) == 0;
    close(fd);
    return ok;
}

void FileWriter::Abandon() {
    if (file_) {
        std::fclose(file_);
        file_ = nullptr;
        ReleaseTemp(true);
    }
    Fail();
}

} // namespace zepho
