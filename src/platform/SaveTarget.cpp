#include "platform/SaveTarget.h"

#include <algorithm>
#include <atomic>
#include <cctype>
#include <cerrno>
#include <chrono>
#include <climits>
#include <csignal>
#include <cstring>
#include <functional>
#include <map>
#include <mutex>

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace zepho {

namespace {

std::string FolderPart(const std::string& path) {
    const std::size_t slash = path.find_last_of('/');
    if (slash == std::string::npos) return {};
    return path.substr(0, slash + 1);
}

// Slots for the paths of temporary files being written. The signal handler reads them without a
// lock: a slot's path is complete before its flag is set, and the flag is cleared before the
// path is touched again.
constexpr int kSlots = 32;
struct Slot {
    std::atomic<bool> used{false};
    char path[PATH_MAX];
};
Slot gSlots[kSlots];
std::mutex gSlotsLock;

constexpr int kSignals[] = {SIGINT, SIGTERM, SIGHUP, SIGQUIT};

extern "C" void RemoveTempFilesAndDie(int sig) {
    for (Slot& s : gSlots)
        if (s.used.load(std::memory_order_acquire)) unlink(s.path);
    std::signal(sig, SIG_DFL);
    raise(sig);
}

} // namespace

std::string ResolveSaveTarget(const std::string& path, SaveRefusal* refusal) {
    if (refusal) *refusal = SaveRefusal::None;
    std::string current = path;
    // The same bound the kernel puts on a chain of links.
    for (int hops = 0; hops < 40; ++hops) {
        struct stat st {};
        if (lstat(current.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) return current;
        char buf[PATH_MAX];
        const ssize_t n = readlink(current.c_str(), buf, sizeof buf - 1);
        if (n <= 0) return current;
        const std::string link(buf, static_cast<std::size_t>(n));
        current = link[0] == '/' ? link : FolderPart(current) + link;
    }
    if (refusal) *refusal = SaveRefusal::LinkLoop;
    return current;
}

SaveRefusal CheckSaveTarget(const std::string& resolved) {
    struct stat st {};
    if (stat(resolved.c_str(), &st) != 0) return SaveRefusal::None; // a new file
    if (!S_ISREG(st.st_mode)) return SaveRefusal::NotAFile;
    if ((st.st_mode & 0222) == 0 || access(resolved.c_str(), W_OK) != 0) return SaveRefusal::ReadOnly;
    return SaveRefusal::None;
}

SaveRefusal SaveRefusalOf(const std::string& path) {
    SaveRefusal refusal = SaveRefusal::None;
    const std::string target = ResolveSaveTarget(path, &refusal);
    return refusal == SaveRefusal::None ? CheckSaveTarget(target) : refusal;
}

const char* SaveRefusalText(SaveRefusal refusal) {
    switch (refusal) {
    case SaveRefusal::ReadOnly:
        return "the file is read-only";
    case SaveRefusal::NotAFile:
        return "the path is not a regular file";
    case SaveRefusal::LinkLoop:
        return "too many levels of symbolic links";
    default:
        return "";
    }
}

std::string TempNamePrefix(const std::string& target) {
    const std::string folder = FolderPart(target);
    std::string name = target.substr(folder.size());
    long limit = pathconf(folder.empty() ? "." : folder.c_str(), _PC_NAME_MAX);
    if (limit <= 0) limit = NAME_MAX;
    const std::size_t room = static_cast<std::size_t>(
        std::max<long>(1, limit - static_cast<long>(std::strlen(kTempMarker)) - kTempSuffixLength));
    if (name.size() > room) {
        std::size_t cut = room;
        // Not in the middle of a UTF-8 sequence: the name stays readable in a file manager.
        while (cut > 1 && (static_cast<unsigned char>(name[cut]) & 0xC0) == 0x80)
            --cut;
        name.resize(cut);
    }
    return folder + name + kTempMarker;
}

int OpenLocked(const std::string& path, bool create, int flags, mode_t mode) {
    const int fd = open(path.c_str(), flags | O_CLOEXEC | (create ? O_CREAT | O_EXCL : 0), mode);
    if (fd < 0) return -1;
    if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
        const int err = errno;
        close(fd);
        errno = err;
        return -1;
    }
    struct stat mine {
    }, named{};
    if (fstat(fd, &mine) != 0 || lstat(path.c_str(), &named) != 0 || mine.st_dev != named.st_dev ||
        mine.st_ino != named.st_ino) {
        close(fd);
        errno = ESTALE;
        return -1;
    }
    return fd;
}

bool IsTempFileName(const char* name) {
    const std::size_t n = std::strlen(name), marker = std::strlen(kTempMarker);
    if (n <= marker + kTempSuffixLength) return false;
    if (std::memcmp(name + n - kTempSuffixLength - marker, kTempMarker, marker) != 0) return false;
    for (std::size_t i = n - kTempSuffixLength; i < n; ++i)
        if (!std::isalnum(static_cast<unsigned char>(name[i]))) return false;
    return true;
}

int RemoveUnheldFiles(const std::string& folder, const std::function<bool(const char*)>& which,
                      std::size_t* seen) {
    if (seen) *seen = 0;
    DIR* dir = opendir(folder.empty() ? "." : folder.c_str());
    if (!dir) return 0;
    const std::string base = folder.empty() || folder.back() == '/' ? folder : folder + "/";
    int removed = 0;
    while (const dirent* e = readdir(dir)) {
        if (seen) ++*seen;
        if (!which(e->d_name)) continue;
        const std::string path = base + e->d_name;
        // Only a plain file nobody holds: its writer, while it runs, keeps its lock.
        const int fd = OpenLocked(path, false, O_RDONLY | O_NOFOLLOW | O_NONBLOCK, 0);
        if (fd < 0) continue;
        struct stat st {};
        if (fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && unlink(path.c_str()) == 0) ++removed;
        close(fd);
    }
    closedir(dir);
    return removed;
}

int RemoveStaleTemporaries(const std::string& folder) {
    return RemoveUnheldFiles(folder, &IsTempFileName);
}

void RemoveStaleTemporariesSometimes(const std::string& folder) {
    using Clock = std::chrono::steady_clock;
    struct Scan {
        Clock::time_point when;
        std::size_t entries = 0;
    };
    static std::mutex lock;
    static std::map<std::string, Scan> scans;
    // Reading a folder of a few thousand names costs less than writing the smallest file.
    constexpr std::size_t kBigFolder = 2000;
    const Clock::time_point now = Clock::now();
    {
        std::lock_guard<std::mutex> guard(lock);
        auto it = scans.find(folder);
        if (it != scans.end() && it->second.entries > kBigFolder &&
            now - it->second.when < std::chrono::minutes(10))
            return;
    }
    std::size_t seen = 0;
    RemoveUnheldFiles(folder, &IsTempFileName, &seen);
    std::lock_guard<std::mutex> guard(lock);
    scans[folder] = Scan{now, seen};
}

void RegisterTempFile(const std::string& path) {
    if (path.size() >= PATH_MAX) return;
    std::lock_guard<std::mutex> lock(gSlotsLock);
    for (Slot& s : gSlots) {
        if (s.used.load(std::memory_order_relaxed)) continue;
        std::memcpy(s.path, path.c_str(), path.size() + 1);
        s.used.store(true, std::memory_order_release);
        return;
    }
}

void UnregisterTempFile(const std::string& path) {
    std::lock_guard<std::mutex> lock(gSlotsLock);
    for (Slot& s : gSlots)
        if (s.used.load(std::memory_order_relaxed) && path == s.path) {
            s.used.store(false, std::memory_order_release);
            return;
        }
}

void InstallSaveCleanupOnSignals() {
    static std::once_flag once;
    std::call_once(once, [] {
        // A write past the file-size limit (ulimit -f) then fails with EFBIG, which the save
        // reports, instead of killing the process with the user's work.
        std::signal(SIGXFSZ, SIG_IGN);
        for (int sig : kSignals) {
            struct sigaction sa {};
            sa.sa_handler = &RemoveTempFilesAndDie;
            sigemptyset(&sa.sa_mask);
            for (int other : kSignals)
                sigaddset(&sa.sa_mask, other);
            struct sigaction old {};
            // A signal the caller chose to ignore (nohup) stays ignored.
            if (sigaction(sig, nullptr, &old) == 0 && old.sa_handler == SIG_IGN) continue;
            sigaction(sig, &sa, nullptr);
        }
    });
}

} // namespace zepho
