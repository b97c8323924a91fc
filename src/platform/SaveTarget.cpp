#include "platform/SaveTarget.h"

#include <atomic>
#include <cerrno>
#include <climits>
#include <csignal>
#include <cstring>
#include <mutex>

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
