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

thread_local ParallelWatch* currentWatch = nullptr;

} // namespace

double ParallelWatch::Fraction() const {
    const std::int64_t started = started_.load(std::memory_order_relaxed);
    const std::int64_t done = done_.load(std::memory_order_relaxed);
    return started > 0 ? std::min(1.0, static_cast<double>(done) / static_cast<double>(started)) : 0.0;
}

void ParallelWatch::RestartCount() {
    started_.store(0, std::memory_order_relaxed);
    done_.store(0, std::memory_order_relaxed);
}

ParallelWatchScope::ParallelWatchScope(ParallelWatch* watch) : previous_(currentWatch) {
    currentWatch = watch;
}

ParallelWatchScope::~ParallelWatchScope() {
    currentWatch = previous_;
}

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
    ParallelWatch* watch = currentWatch;
    if (!watch) {
        if (threads <= 1 || count <= grain) {
            body(0, count);
            return;
        }
        Arena(threads).execute([&] {
            tbb::parallel_for(tbb::blocked_range<std::ptrdiff_t>(0, count, grain),
                              [&](const tbb::blocked_range<std::ptrdiff_t>& r) { body(r.begin(), r.end()); });
        });
        return;
    }
    watch->started_.fetch_add(count, std::memory_order_relaxed);
    auto piece = [&](std::ptrdiff_t begin, std::ptrdiff_t end) {
        if (watch->Cancelled()) return;
        body(begin, end);
        watch->done_.fetch_add(end - begin, std::memory_order_relaxed);
    };
    if (threads <= 1 || count <= grain) {
        // In steps even on one thread, so that a cancel is seen and the count moves.
        const std::ptrdiff_t step = std::max(grain, (count + 31) / 32);
        for (std::ptrdiff_t begin = 0; begin < count; begin += step)
            piece(begin, std::min(count, begin + step));
        return;
    }
    Arena(threads).execute([&] {
        tbb::parallel_for(tbb::blocked_range<std::ptrdiff_t>(0, count, grain),
                          [&](const tbb::blocked_range<std::ptrdiff_t>& r) { piece(r.begin(), r.end()); });
    });
}

} // namespace zepho
