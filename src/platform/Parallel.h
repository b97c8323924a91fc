// Data-parallel loops for the pixel kernels, on oneTBB.
//
// One pool of worker threads serves every kernel. ZEPHO_THREADS=n caps it at n threads
// (1 runs every loop on the calling thread); by default, and at most, it uses every core. A loop body must
// give the same result however its range is cut, so that the output bytes never depend on the
// number of threads. Idle workers sleep; nothing waits by spinning for long.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>

namespace zepho {

// The number of threads a loop may use (at least 1).
int ParallelThreads();
// Changes that number (capped at the cores) for tests and benchmarks; 0 returns to the default. Not to be
// called while a loop runs on another thread.
void SetParallelThreads(int threads);

// Calls body(begin, end) on disjoint pieces that together cover [0, count) and returns when
// all are done. A piece holds at least `grain` items unless the range is smaller; a range of at
// most `grain` items runs on the calling thread. Exceptions thrown by the body reach the caller.
void ParallelFor(std::ptrdiff_t count, std::ptrdiff_t grain,
                 const std::function<void(std::ptrdiff_t begin, std::ptrdiff_t end)>& body);

// Watches the loops that one thread starts while a ParallelWatchScope holds it: they count the
// items done, and once the watch is cancelled they start no further piece (what they return is
// then incomplete, and the caller throws it away). Cancel may be called from any thread.
class ParallelWatch {
public:
    void Cancel() { cancelled_.store(true, std::memory_order_relaxed); }
    bool Cancelled() const { return cancelled_.load(std::memory_order_relaxed); }
    // Items done over items of the loops started since the last RestartCount, 0..1.
    double Fraction() const;
    void RestartCount();

private:
    friend void ParallelFor(std::ptrdiff_t, std::ptrdiff_t,
                            const std::function<void(std::ptrdiff_t, std::ptrdiff_t)>&);
    std::atomic<bool> cancelled_{false};
    std::atomic<std::int64_t> started_{0}, done_{0};
};

// Attaches a watch to the loops this thread starts until the scope ends (null attaches none).
class ParallelWatchScope {
public:
    explicit ParallelWatchScope(ParallelWatch* watch);
    ~ParallelWatchScope();
    ParallelWatchScope(const ParallelWatchScope&) = delete;
    ParallelWatchScope& operator=(const ParallelWatchScope&) = delete;

private:
    ParallelWatch* previous_;
};

// A grain for loops over rows: about `pixels` pixels per piece, at least one row.
inline std::ptrdiff_t RowGrain(int width, std::ptrdiff_t pixels = 16384) {
    return width > 0 ? (pixels + width - 1) / width : 1;
}

} // namespace zepho
