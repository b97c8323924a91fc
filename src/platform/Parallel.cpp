#include "platform/Parallel.h"

#include <oneapi/tbb/blocked_range.h>
#include <oneapi/tbb/info.h>
#include <oneapi/tbb/parallel_for.h>
#include <oneapi/tbb/task_arena.h>

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <map>
#include <memory>
#include <mutex>

namespace zepho {

namespace {

// More threads than cores would only queue up behind each other.
int Cores() {
    return std::max(1, tbb::info::default_concurrency());
}

int DefaultThreads() {
    if (const char* env = std::getenv("ZEPHO_THREADS"); env && *env) {
        char* end = nullptr;
        const long n = std::strtol(env, &end, 10);
        if (end != env && n >= 1) return static_cast<int>(std::min<long>(n, Cores()));
    }
    return Cores();
}

std::atomic<int>& Threads() {
    static std::atomic<int> threads{DefaultThreads()};
    return threads;
}

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

int ParallelThreads() {
    return Threads().load(std::memory_order_relaxed);
}

void SetParallelThreads(int threads) {
    Threads().store(threads > 0 ? std::min(threads, Cores()) : DefaultThreads(), std::memory_order_relaxed);
}

void ParallelFor(std::ptrdiff_t count, std::ptrdiff_t grain,
                 const std::function<void(std::ptrdiff_t, std::ptrdiff_t)>& body) {
    if (count <= 0) return;
    grain = std::max<std::ptrdiff_t>(grain, 1);
    const int threads = ParallelThreads();
    if (threads <= 1 || count <= grain) {
        body(0, count);
        return;
    }
    Arena(threads).execute([&] {
        tbb::parallel_for(tbb::blocked_range<std::ptrdiff_t>(0, count, grain),
                          [&](const tbb::blocked_range<std::ptrdiff_t>& r) { body(r.begin(), r.end()); });
    });
}

} // namespace zepho
