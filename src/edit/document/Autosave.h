// Autosave and recovery: copies of modified documents in the native format, kept in the user's
// state folder so that a crash, a killed session or a power cut loses at most a few minutes.
//
// Each entry is two files in the folder: `<entry>.qzi`, the document, and `<entry>.ini`, what it
// belongs to (original path, title, time, the owning process). Both are replaced atomically.
// A running instance holds `<pid>.lock` locked; entries whose instance is gone are offered for
// recovery at the next start.
#pragma once

#include "model/DocImage.h"

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace zepho {

class COrvaneDoc;

// $XDG_STATE_HOME/zepho/autosave, else ~/.local/state/zepho/autosave; empty when neither is known.
std::string AutosaveFolder();

// What an autosave records besides the content.
struct AutosaveInfo {
    // The native file the document belongs to; empty for an untitled or imported one.
    std::string originalPath;
    // What the window showed ("Untitled 2", "photo.png").
    std::string title;
    // The file an imported document was read from.
    std::string importedFrom;
    // Seconds since 1970.
    std::int64_t time = 0;
    // The process that wrote it.
    int pid = 0;
    // The document's object-name counters.
    int counters[5] = {1, 1, 1, 1, 1};
};

// A document's content frozen on the UI thread, to be written on another.
struct CAutosaveSnapshot {
    Ref<CDocImage> image;
    AutosaveInfo info;
    // The document's change count when it was taken.
    std::uint64_t changeCount = 0;
};

// What an entry of `doc` records now; `title` is what the window shows.
AutosaveInfo AutosaveInfoOf(const COrvaneDoc& doc, const std::string& title);

// An independent copy of the content: every raster, shadow and shape is copied, so the document
// may change while the copy is written. Null when memory runs out.
Ref<CDocImage> CloneDocImage(const CDocImage& image);
// The copy plus what the entry records; `title` is what the window shows.
CAutosaveSnapshot TakeAutosaveSnapshot(const COrvaneDoc& doc, const std::string& title);

// Writes `<folder>/<entry>.qzi` and its `.ini`, each through a temporary file (the folder is
// created when missing). False when anything fails, with the system's reason in `why` ("No space
// left on device"); a previous entry then stays as it was.
bool WriteAutosave(const std::string& folder, const std::string& entry, const CAutosaveSnapshot& snap,
                   std::string* why = nullptr);
// Makes an entry left by another process this process's own without copying its document: only
// its description is rewritten with `info` (this process's pid, the window's title), which takes
// a few hundred bytes where a new copy could need more room than a full disk has. False (and the
// entry as it was) when that fails.
bool AdoptAutosave(const std::string& folder, const std::string& entry, const AutosaveInfo& info,
                   std::string* why = nullptr);
// Removes both files of an entry (missing files are not an error).
void RemoveAutosave(const std::string& folder, const std::string& entry);

// One entry found in the folder.
struct AutosaveEntry {
    std::string entry;
    std::string documentPath; // the .qzi
    AutosaveInfo info;
};
// The complete entries (both files present and readable) that no running instance owns, oldest
// first.
std::vector<AutosaveEntry> FindOrphanAutosaves(const std::string& folder);
// Reads an entry into a fresh document: it opens modified, named after its original path (or its
// old title), so that Save goes where the original would have gone. False when unreadable.
bool RestoreAutosave(const AutosaveEntry& entry, COrvaneDoc& doc);

// The lock that marks this process's entries as owned while it runs: `<folder>/<pid>.lock`,
// held with flock (the kernel drops it when the process dies, however it dies).
class CAutosaveLock {
public:
    CAutosaveLock() = default;
    ~CAutosaveLock();
    CAutosaveLock(const CAutosaveLock&) = delete;
    CAutosaveLock& operator=(const CAutosaveLock&) = delete;
    bool Acquire(const std::string& folder);
    void Release();
    bool Held() const { return fd_ >= 0; }

private:
    int fd_ = -1;
    std::string path_;
};

// True while the process of `pid` runs and holds its lock in the folder.
bool AutosaveOwnerAlive(const std::string& folder, int pid);

// What killed instances leave besides their entries: half-written temporary files (their writer
// no longer holds them) and `<pid>.lock` files nobody holds. Removes them; entries stay. Returns
// how many files went.
int RemoveStaleAutosaveFiles(const std::string& folder);

// How a write of the writer ended.
struct CAutosaveWriteResult {
    bool ok = false;
    // The time the write took (ms).
    double ms = 0;
    // The system's reason when it failed.
    std::string why;
};

// The writer thread: writes and removals run in the order they were asked for, so a removal
// after a save is never undone by a write still in flight. A newer write of an entry that is
// still waiting replaces the older one.
class CAutosaveWriter {
public:
    explicit CAutosaveWriter(std::string folder);
    ~CAutosaveWriter(); // finishes what was asked, then stops
    CAutosaveWriter(const CAutosaveWriter&) = delete;
    CAutosaveWriter& operator=(const CAutosaveWriter&) = delete;

    const std::string& Folder() const { return folder_; }
    // `done` runs on the writer thread with the result. Once the copy is complete on disk, the
    // entry `replaces` (an older copy of the same document) is removed; a failed write leaves it.
    void Write(const std::string& entry, CAutosaveSnapshot snap,
               std::function<void(const CAutosaveWriteResult&)> done = {}, std::string replaces = {});
    void Remove(const std::string& entry);
    // Waits until everything asked so far is done.
    void Flush();

private:
    struct Job {
        std::string entry;
        bool remove = false;
        CAutosaveSnapshot snap;
        std::function<void(const CAutosaveWriteResult&)> done;
        std::string replaces;
    };
    void Run();

    std::string folder_;
    std::mutex mutex_;
    std::condition_variable wake_;
    std::condition_variable idle_;
    std::deque<Job> jobs_;
    bool busy_ = false;
    bool stop_ = false;
    std::thread thread_;
};

} // namespace zepho
