// Data-parallel loops for the pixel kernels, on oneTBB.
//
// One pool of worker threads serves every kernel. ZEPHO_THREADS=n caps it at n threads
// (1 runs every loop on the calling thread); by default, and at most, it uses every core. A loop body must
// give the same result however its range is cut, so that the output bytes never depend on the
// number of threads. Idle workers sleep; nothing waits by spinning for long.
#pragma once

#include <cstddef>
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

// A grain for loops over rows: about `pixels` pixels per piece, at least one row.
inline std::ptrdiff_t RowGrain(int width, std::ptrdiff_t pixels = 16384) {
    return width > 0 ? (pixels + width - 1) / width : 1;
}

} // namespace zepho
