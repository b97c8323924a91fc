#include "edit/document/Autosave.h"

#include "edit/document/OrvaneDoc.h"
#include "platform/ByteStream.h"
#include "platform/SaveTarget.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <sstream>

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

namespace zepho {

namespace fs = std::filesystem;

namespace {

std::string EntryFile(const std::string& folder, const std::string& entry, const char* ext) {
    return (fs::path(folder) / (entry + ext)).string();
}

// Keeps every value on one line.
std::string Escape(const std::string& s) {
    std::string out;
    for (char c : s) {
        if (c == '\\')
            out += "\\\\";
        else if (c == '\n')
            out += "\\n";
        else if (c == '\r')
            out += "\\r";
        else
            out += c;
    }
    return out;
}

std::string Unescape(const std::string& s) {
    std::string out;
    for (std::size_t i = 0; i < s.size(); ++i) {
        if (s[i] == '\\' && i + 1 < s.size()) {
            const char n = s[++i];
            out += n == 'n' ? '\n' : n == 'r' ? '\r' : n;
        } else {
            out += s[i];
        }
    }
    return out;
}

// The description is small and replaced as a whole, through a temporary file like any save.
bool WriteText(const std::string& path, const std::string& text) {
    FileWriter out(path);
    return out.IsOpen() && out.Write(text.data(), text.size()) && out.Commit();
}

bool Failed(std::string* why, std::string reason) {
    if (why) *why = reason.empty() ? "the copy could not be written" : std::move(reason);
    return false;
}

std::string InfoText(const AutosaveInfo& info) {
    std::ostringstream out;
    out << "[Autosave]\n";
    out << "OriginalPath=" << Escape(info.originalPath) << "\n";
    out << "Title=" << Escape(info.title) << "\n";
    out << "ImportedFrom=" << Escape(info.importedFrom) << "\n";
    out << "Time=" << info.time << "\n";
    out << "Pid=" << info.pid << "\n";
    out << "Counters=";
    for (int i = 0; i < 5; ++i)
        out << (i ? "," : "") << info.counters[i];
    out << "\n";
    return out.str();
}

bool ReadInfo(const std::string& path, AutosaveInfo& info) {
    std::ifstream in(path);
    if (!in) return false;
    std::string line;
    bool header = false, pid = false, time = false;
    while (std::getline(in, line)) {
        if (line == "[Autosave]") {
            header = true;
            continue;
        }
        const auto eq = line.find('=');
        if (eq == std::string::npos) continue;
        const std::string key = line.substr(0, eq);
        const std::string value = line.substr(eq + 1);
        if (key == "OriginalPath")
            info.originalPath = Unescape(value);
        else if (key == "Title")
            info.title = Unescape(value);
        else if (key == "ImportedFrom")
            info.importedFrom = Unescape(value);
        else if (key == "Time")
            time = std::sscanf(value.c_str(), "%lld", reinterpret_cast<long long*>(&info.time)) == 1;
        else if (key == "Pid")
            pid = std::sscanf(value.c_str(), "%d", &info.pid) == 1;
        else if (key == "Counters")
            std::sscanf(value.c_str(), "%d,%d,%d,%d,%d", &info.counters[0], &info.counters[1],
                        &info.counters[2], &info.counters[3], &info.counters[4]);
    }
    return header && pid && time;
}

std::string LockFile(const std::string& folder, int pid) {
    return (fs::path(folder) / (std::to_string(pid) + ".lock")).string();
}

} // namespace

std::string AutosaveFolder() {
    const char* state = std::getenv("XDG_STATE_HOME");
    if (state && *state && fs::path(state).is_absolute())
        return (fs::path(state) / "zepho" / "autosave").string();
    const char* home = std::getenv("HOME");
    if (home && *home) return (fs::path(home) / ".local" / "state" / "zepho" / "autosave").string();
    return {};
}

Ref<CDocImage> CloneDocImage(const CDocImage& image) {
    Ref<CDocImage> copy = MakeRef<CDocImage>();
    copy->width = image.width;
    copy->height = image.height;
    copy->gifControlFlags = image.gifControlFlags;
    copy->gifTransparentIndex = image.gifTransparentIndex;
    copy->gifImageFlags = image.gifImageFlags;
    copy->matteColour = image.matteColour;
    copy->gifBackgroundIndex = image.gifBackgroundIndex;
    copy->delay = image.delay;
    copy->photoInfo = image.photoInfo;
    for (const Ref<CDrawObj>& obj : image.objects) {
        Ref<CDrawObj> o = MakeRef<CDrawObj>();
        o->fallbackWidth = obj->fallbackWidth;
        o->fallbackHeight = obj->fallbackHeight;
        o->x = obj->x;
        o->y = obj->y;
        o->locked = obj->locked;
        o->visible = obj->visible;
        o->transparency = obj->transparency;
        if (obj->content) {
            o->content = obj->content->Clone();
            if (!o->content) return {};
        }
        copy->objects.AddTail(std::move(o));
    }
    return copy;
}

AutosaveInfo AutosaveInfoOf(const COrvaneDoc& doc, const std::string& title) {
    AutosaveInfo info;
    info.originalPath = doc.filePath;
    info.title = title;
    info.importedFrom = doc.importedFrom;
    info.time = static_cast<std::int64_t>(std::time(nullptr));
    info.pid = static_cast<int>(::getpid());
    for (int i = 0; i < 5; ++i)
        info.counters[i] = doc.counters[i];
    return info;
}

CAutosaveSnapshot TakeAutosaveSnapshot(const COrvaneDoc& doc, const std::string& title) {
    CAutosaveSnapshot snap;
    snap.image = CloneDocImage(doc.Image());
    snap.changeCount = doc.ChangeCount();
    snap.info = AutosaveInfoOf(doc, title);
    return snap;
}

bool WriteAutosave(const std::string& folder, const std::string& entry, const CAutosaveSnapshot& snap,
                   std::string* why) {
    if (folder.empty())
        return Failed(why, "no folder for the copies (neither XDG_STATE_HOME nor HOME is set)");
    if (!snap.image) return Failed(why, std::strerror(ENOMEM));
    std::error_code ec;
    fs::create_directories(folder, ec);
    if (ec || !fs::is_directory(folder, ec)) return Failed(why, ec ? ec.message() : std::strerror(ENOTDIR));
    ResetSaveError();
    // The document first: the description makes the entry complete.
    if (!snap.image->SaveNative(EntryFile(folder, entry, ".qzi"), nullptr))
        return Failed(why, LastSaveError());
    if (!WriteText(EntryFile(folder, entry, ".ini"), InfoText(snap.info)))
        return Failed(why, LastSaveError());
    return true;
}

bool AdoptAutosave(const std::string& folder, const std::string& entry, const AutosaveInfo& info,
                   std::string* why) {
    if (folder.empty() || entry.empty()) return Failed(why, std::strerror(ENOENT));
    ResetSaveError();
    return WriteText(EntryFile(folder, entry, ".ini"), InfoText(info)) || Failed(why, LastSaveError());
}

void RemoveAutosave(const std::string& folder, const std::string& entry) {
    if (folder.empty() || entry.empty()) return;
    // The description first: a half-removed entry is never offered.
    ::unlink(EntryFile(folder, entry, ".ini").c_str());
    ::unlink(EntryFile(folder, entry, ".qzi").c_str());
}

bool AutosaveOwnerAlive(const std::string& folder, int pid) {
    if (pid <= 0) return false;
    if (::kill(pid, 0) != 0 && errno == ESRCH) return false;
    // A live pid owns the entry only if its lock is held: the pid may have been reused.
    const int fd = ::open(LockFile(folder, pid).c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return false;
    const bool held = ::flock(fd, LOCK_SH | LOCK_NB) != 0 && errno == EWOULDBLOCK;
    ::close(fd); // also drops a lock we took
    return held;
}

int RemoveStaleAutosaveFiles(const std::string& folder) {
    std::error_code ec;
    if (folder.empty() || !fs::is_directory(folder, ec)) return 0;
    // Temporaries nobody writes, and locks nobody holds: their instance is gone.
    int removed = RemoveUnheldFiles(folder, [](const char* name) {
        return IsTempFileName(name) || fs::path(name).extension() == ".lock";
    });
    for (const fs::directory_entry& f : fs::directory_iterator(folder, ec)) {
        const std::string name = f.path().filename().string();
        const std::string path = f.path().string();
        if (name.size() > 8 && name.compare(name.size() - 8, 8, ".ini.tmp") == 0) {
            // Descriptions half written by earlier versions, which named them so: the entry's name
            // starts with the writer's pid.
            if (!AutosaveOwnerAlive(folder, std::atoi(name.c_str())) && ::unlink(path.c_str()) == 0)
                ++removed;
        }
    }
    return removed;
}

std::vector<AutosaveEntry> FindOrphanAutosaves(const std::string& folder) {
    std::vector<AutosaveEntry> out;
    std::error_code ec;
    if (folder.empty() || !fs::is_directory(folder, ec)) return out;
    for (const fs::directory_entry& f : fs::directory_iterator(folder, ec)) {
        if (f.path().extension() != ".ini") continue;
        AutosaveEntry e;
        e.entry = f.path().stem().string();
        e.documentPath = EntryFile(folder, e.entry, ".qzi");
        if (!ReadInfo(f.path().string(), e.info) || !fs::is_regular_file(e.documentPath, ec)) continue;
        if (AutosaveOwnerAlive(folder, e.info.pid)) continue;
        out.push_back(std::move(e));
    }
    std::sort(out.begin(), out.end(), [](const AutosaveEntry& a, const AutosaveEntry& b) {
        return a.info.time != b.info.time ? a.info.time < b.info.time : a.entry < b.entry;
    });
    return out;
}

bool RestoreAutosave(const AutosaveEntry& entry, COrvaneDoc& doc) {
    doc.Image().Clear();
    if (!doc.Image().ReadNativeAnyVersion(entry.documentPath, nullptr)) {
        doc.Image().Clear();
        return false;
    }
    doc.filePath = entry.info.originalPath;
    doc.title = entry.info.originalPath.empty() ? entry.info.title : std::string();
    doc.importedFrom = entry.info.importedFrom;
    for (int i = 0; i < 5; ++i)
        doc.counters[i] = std::max(1, entry.info.counters[i]);
    doc.SetModifiedFlag(true);
    return true;
}

CAutosaveLock::~CAutosaveLock() {
    Release();
}

bool CAutosaveLock::Acquire(const std::string& folder) {
    Release();
    std::error_code ec;
    if (folder.empty()) return false;
    fs::create_directories(folder, ec);
    path_ = LockFile(folder, static_cast<int>(::getpid()));
    // A cleaner at another start may remove a lock file in the instant between its creation and
    // its lock (it takes it for a dead instance's): OpenLocked notices, and we try again. A file
    // of our pid that is already there was left by a dead process that had it before.
    for (int attempt = 0; attempt < 20 && fd_ < 0; ++attempt) {
        fd_ = OpenLocked(path_, true, O_RDWR, 0600);
        if (fd_ < 0 && errno == EEXIST) fd_ = OpenLocked(path_, false, O_RDWR, 0600);
        if (fd_ < 0 && errno != EEXIST && errno != ESTALE && errno != ENOENT) break;
    }
    if (fd_ < 0) return false;
    const std::string pid = std::to_string(::getpid()) + "\n";
    if (::ftruncate(fd_, 0) != 0 || ::write(fd_, pid.data(), pid.size()) < 0) {
        // The lock itself is what matters; the text only helps a reader.
    }
    return true;
}

void CAutosaveLock::Release() {
    if (fd_ < 0) return;
    ::unlink(path_.c_str());
    ::close(fd_);
    fd_ = -1;
}

CAutosaveWriter::CAutosaveWriter(std::string folder) : folder_(std::move(folder)) {
    thread_ = std::thread([this] { Run(); });
}

CAutosaveWriter::~CAutosaveWriter() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stop_ = true;
    }
    wake_.notify_all();
    thread_.join();
}

void CAutosaveWriter::Write(const std::string& entry, CAutosaveSnapshot snap,
                            std::function<void(const CAutosaveWriteResult&)> done, std::string replaces) {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        // A waiting write of the same entry is out of date; a removal waiting after it is not
        // passed over, so only the newest job is looked at.
        if (!jobs_.empty() && jobs_.back().entry == entry && !jobs_.back().remove) {
            jobs_.back().snap = std::move(snap);
            jobs_.back().done = std::move(done);
            if (!replaces.empty()) jobs_.back().replaces = std::move(replaces);
        } else {
            jobs_.push_back(Job{entry, false, std::move(snap), std::move(done), std::move(replaces)});
        }
    }
    wake_.notify_all();
}

void CAutosaveWriter::Remove(const std::string& entry) {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        jobs_.push_back(Job{entry, true, {}, {}, {}});
    }
    wake_.notify_all();
}

void CAutosaveWriter::Flush() {
    std::unique_lock<std::mutex> lock(mutex_);
    idle_.wait(lock, [this] { return jobs_.empty() && !busy_; });
}

void CAutosaveWriter::Run() {
    for (;;) {
        Job job;
        {
            std::unique_lock<std::mutex> lock(mutex_);
            wake_.wait(lock, [this] { return stop_ || !jobs_.empty(); });
            if (jobs_.empty()) return; // stopping, nothing left
            job = std::move(jobs_.front());
            jobs_.pop_front();
            busy_ = true;
        }
        if (job.remove) {
            RemoveAutosave(folder_, job.entry);
        } else {
            const auto start = std::chrono::steady_clock::now();
            CAutosaveWriteResult result;
            result.ok = WriteAutosave(folder_, job.entry, job.snap, &result.why);
            result.ms =
                std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
            // The older copy goes only once the new one is complete on disk.
            if (result.ok && !job.replaces.empty() && job.replaces != job.entry)
                RemoveAutosave(folder_, job.replaces);
            // The copy goes on this thread, not on the one that took it.
            job.snap.image.Reset();
            if (job.done) job.done(result);
        }
        {
            std::lock_guard<std::mutex> lock(mutex_);
            busy_ = false;
        }
        idle_.notify_all();
    }
}

} // namespace zepho
