// Where a save really goes, whether it may go there, and the temporary files a save has open.
#pragma once

#include <string>

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

// The user's words for a refusal ("the file is read-only", ...); empty for None.
const char* SaveRefusalText(SaveRefusal refusal);

// Temporary files of saves in progress, removed when the process is stopped by SIGINT, SIGTERM,
// SIGHUP or SIGQUIT once InstallSaveCleanupOnSignals has run. Register and Unregister are for the
// file writer; a process that kills itself with SIGKILL leaves the file, whose name ends in
// kTempMarker and six random characters.
constexpr const char* kTempMarker = ".zepho-tmp-";
void RegisterTempFile(const std::string& path);
void UnregisterTempFile(const std::string& path);
// Installs the handlers once; they remove the registered files and then end the process the way
// the signal would have (the default action, re-raised).
void InstallSaveCleanupOnSignals();

} // namespace zepho
