// Where a save really goes, whether it may go there, and the temporary files a save has open.
#pragma once

#include <cstddef>
#include <functional>
#include <string>

#include <sys/types.h>

namespace zepho {

// Why a file cannot be saved at a path.
enum class SaveRefusal {
    None,
    // The file exists and its permissions do not allow writing.
    ReadOnly,
    // The path names a folder, a device or another thing that is not a file.
    NotAFile,
    // A chain of symbolic links that does not end.
    LinkLoop,
};

// The file a save to `path` must replace: symbolic links are followed (relative ones from the
// folder holding the link), so that saving through a link updates the linked file and keeps the
// link. A link to a file that does not exist yet resolves to that file's path.
std::string ResolveSaveTarget(const std::string& path, SaveRefusal* refusal = nullptr);

// Whether the resolved target may be replaced. A file whose permission bits grant nobody write
// access counts as read-only even for a user who could override them.
SaveRefusal CheckSaveTarget(const std::string& resolved);

// ResolveSaveTarget and CheckSaveTarget in one: why a save to `path` would be refused.
SaveRefusal SaveRefusalOf(const std::string& path);

// The user's words for a refusal ("the file is read-only", ...); empty for None.
const char* SaveRefusalText(SaveRefusal refusal);

// Temporary files of saves in progress, removed when the process is stopped by SIGINT, SIGTERM,
// SIGHUP or SIGQUIT once InstallSaveCleanupOnSignals has run. Register and Unregister are for the
// file writer; a process that kills itself with SIGKILL leaves the file, whose name ends in
// kTempMarker and six random characters.
constexpr const char* kTempMarker = ".zepho-tmp-";
// The random part after kTempMarker.
constexpr int kTempSuffixLength = 6;

// The start of the temporary names of a save of `target`: "<folder>/<name>.zepho-tmp-", the name
// cut (at a character boundary) so that a whole temporary name stays within the folder's limit
// on name length. It only has to be unique within the folder (the random part and O_EXCL see to
// that) and recognisable.
std::string TempNamePrefix(const std::string& target);

// A writer holds an exclusive flock on its temporary file from the moment it creates it until it
// has renamed it; the kernel drops the lock when the process ends, however it ends. A temporary
// nobody holds is left over from a writer that is gone.
//
// Whether a file name is one our writers give their temporaries.
bool IsTempFileName(const char* name);
// Removes the plain files of `folder` whose names `which` accepts and that nobody holds locked
// (OpenLocked fails on a held one); `seen` counts the folder's names. Returns how many went.
int RemoveUnheldFiles(const std::string& folder, const std::function<bool(const char* name)>& which,
                      std::size_t* seen = nullptr);
// Removes such leftovers in `folder` (the names of our temporaries only) and returns how many.
int RemoveStaleTemporaries(const std::string& folder);
// The same, done by every save before it creates its temporary file. A folder of many thousand
// names is read again only when its last clean is ten minutes old, so that saving many files into
// one big folder does not read it each time.
void RemoveStaleTemporariesSometimes(const std::string& folder);

// Opens (creating with O_EXCL when `create`) `path` and takes an exclusive flock on it without
// waiting, making sure that the lock is on the file that has that name now (a cleaner may have
// removed the name between the open and the lock). -1 with errno set when the file exists and
// someone holds it (EWOULDBLOCK), or on any other failure.
int OpenLocked(const std::string& path, bool create, int flags, mode_t mode);

void RegisterTempFile(const std::string& path);
void UnregisterTempFile(const std::string& path);
// Installs the handlers once; they remove the registered files and then end the process the way
// the signal would have (the default action, re-raised). SIGXFSZ is ignored from then on, so that
// a file too large for the user's limit fails to save instead of ending the process.
void InstallSaveCleanupOnSignals();

} // namespace zepho
