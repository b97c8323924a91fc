#include "platform/Parallel.h"
#include "platform/ParallelPool.h"

#include <algorithm>
#include <atomic>
#include <cstdlib>

namespace zepho {

namespace {

// More threads than cores would only queue up behind each other.
int Cores() {
    return pool::Cores();
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

// The pool takes a plain function and its context: no template of ours crosses into its file.
template <class Piece>
void RunOnPool(int threads, std::ptrdiff_t count, std::ptrdiff_t grain, const Piece& piece) {
    pool::Run(
        threads, count, grain,
        [](const void* context, std::ptrdiff_t begin, std::ptrdiff_t end) {
            (*static_cast<const Piece*>(context))(begin, end);
        },
        &piece);
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
        RunOnPool(threads, count, grain, body);
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
    RunOnPool(threads, count, grain, piece);
}

} // namespace zepho
