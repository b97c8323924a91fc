// A full disk for tests, without a small file system: while a FileSizeLimit lives, writes that
// would make any file of this process larger than the limit fail with EFBIG ("File too large"),
// as writes to a full disk fail with ENOSPC. The limit is the process's, so it holds for every
// thread, and the signal the kernel sends with the failure is ignored as the programs ignore it.
#pragma once

#include <csignal>

#include <sys/resource.h>

namespace zepho::test {

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

} // namespace zepho::test
