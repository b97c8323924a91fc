#include "platform/ParallelPool.h"

#include <oneapi/tbb/blocked_range.h>
#include <oneapi/tbb/info.h>
#include <oneapi/tbb/parallel_for.h>
#include <oneapi/tbb/task_arena.h>

#include <algorithm>
#include <map>
#include <memory>
#include <mutex>

// This file is not instrumented in the ThreadSanitizer build, which defines ZEPHO_TSAN_ANNOTATE
// for it.
#ifdef ZEPHO_TSAN_ANNOTATE
#include <sanitizer/tsan_interface.h>
#endif

namespace zepho::pool {

namespace {

#ifdef ZEPHO_TSAN_ANNOTATE
void Release(void* at) {
    __tsan_release(at);
}
void Acquire(void* at) {
    __tsan_acquire(at);
}
#else
void Release(void*) {}
void Acquire(void*) {}
#endif

// Each loop marks its hand-off and join for the sanitizer, on two addresses of its own: the caller
// releases the first before the loop and every piece (and the arena's call, which may run on one
// of its workers) acquires it when it starts; every piece releases the second when it ends, thrown
// or not, and the caller acquires it when the loop returns. Pieces are not ordered among
// themselves, so a race between two of them is reported however they fall in time.
class LoopSync {
public:
    LoopSync() { Release(&handOff_); }
    ~LoopSync() { Acquire(&join_); }
    LoopSync(const LoopSync&) = delete;
    LoopSync& operator=(const LoopSync&) = delete;

    class Held {
    public:
        explicit Held(LoopSync& sync) : sync_(sync) { Acquire(&sync_.handOff_); }
        ~Held() { Release(&sync_.join_); }
        Held(const Held&) = delete;
        Held& operator=(const Held&) = delete;

    private:
        LoopSync& sync_;
    };

private:
    char handOff_ = 0;
    char join_ = 0;
};

// One arena per thread count in use; an arena bounds how many threads join its loops.
tbb::task_arena& Arena(int threads) {
    static std::mutex lock;
    static std::map<int, std::unique_ptr<tbb::task_arena>> arenas;
    std::lock_guard<std::mutex> hold(lock);
    auto& arena = arenas[threads];
    if (!arena) arena = std::make_unique<tbb::task_arena>(threads);
    return *arena;
}

} // namespace

int Cores() {
    return std::max(1, tbb::info::default_concurrency());
}

void Run(int threads, std::ptrdiff_t count, std::ptrdiff_t grain, PieceFn piece, const void* context) {
    tbb::task_arena& arena = Arena(threads);
    LoopSync sync;
    arena.execute([&] {
        const LoopSync::Held call(sync);
        tbb::parallel_for(tbb::blocked_range<std::ptrdiff_t>(0, count, grain),
                          [&](const tbb::blocked_range<std::ptrdiff_t>& r) {
                              const LoopSync::Held held(sync);
                              piece(context, r.begin(), r.end());
                          });
    });
}

} // namespace zepho::pool
