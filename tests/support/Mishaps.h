// What goes wrong around saving, made happen in tests.
#pragma once

#include <csignal>

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

namespace zepho::test {

// A full disk, without a small file system: while a FileSizeLimit lives, writes that
// would make any file of this process larger than the limit fail with EFBIG ("File too large"),
// as writes to a full disk fail with ENOSPC. The limit is the process's, so it holds for every
// thread, and the signal the kernel sends with the failure is ignored as the programs ignore it.
class FileSizeLimit {
public:
    explicit FileSizeLimit(rlim_t bytes) {
        std::signal(SIGXFSZ, SIG_IGN);
        getrlimit(RLIMIT_FSIZE, &old_);
        rlimit lower = old_;
        lower.rlim_cur = bytes;
        setrlimit(RLIMIT_FSIZE, &lower);
    }
    ~FileSizeLimit() { setrlimit(RLIMIT_FSIZE, &old_); }
    FileSizeLimit(const FileSizeLimit&) = delete;
    FileSizeLimit& operator=(const FileSizeLimit&) = delete;

private:
    rlimit old_{};
};

// A pid that certainly runs no longer, as a crashed instance's.
inline int DeadPid() {
    const pid_t child = ::fork();
    if (child == 0) ::_exit(0);
    int status = 0;
    ::waitpid(child, &status, 0);
    return static_cast<int>(child);
}

} // namespace zepho::test
