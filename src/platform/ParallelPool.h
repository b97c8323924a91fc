// The oneTBB side of the parallel loops (used by Parallel.cpp only).
//
// Kept apart because the ThreadSanitizer build compiles this file uninstrumented, like libtbb
// itself: what oneTBB's headers compile into it hands tasks between threads in ways the sanitizer
// cannot follow. The file tells it instead how each loop hands work out and joins.
#pragma once

#include <cstddef>

namespace zepho::pool {

// The cores oneTBB may use (at least 1).
int Cores();

using PieceFn = void (*)(const void* context, std::ptrdiff_t begin, std::ptrdiff_t end);

// Calls piece(context, begin, end) on disjoint pieces covering [0, count), each of at least
// `grain` items, on an arena of `threads` threads; returns when all are done and passes on an
// exception thrown by a piece.
void Run(int threads, std::ptrdiff_t count, std::ptrdiff_t grain, PieceFn piece, const void* context);

} // namespace zepho::pool
