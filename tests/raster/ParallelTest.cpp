// The parallel loops and the kernels built on them: every item visited once, failures reach
// the caller, and the bytes never depend on the number of threads.
#include "platform/Parallel.h"
#include "extlib/ImageTransform.h"
#include "extlib/VorRender.h"
#include "raster/Blend.h"
#include "raster/Dib.h"
#include "raster/Filters.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <random>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#if defined(__SANITIZE_THREAD__)
#define ZEPHO_UNDER_TSAN 1
#elif defined(__has_feature)
#if __has_feature(thread_sanitizer)
#define ZEPHO_UNDER_TSAN 1
#endif
#endif

using namespace zepho;

namespace {

PackedDib Noise(int w, int h, unsigned seed) {
    PackedDib d = CreateDIB(w, h, 32);
    std::mt19937 rng(seed);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w * 4; ++x)
            d.Row(y)[x] = static_cast<BYTE>(rng());
    return d;
}

bool SameBytes(const PackedDib& a, const PackedDib& b) {
    return a.Size() == b.Size() && std::memcmp(a.Data(), b.Data(), a.Size()) == 0;
}

// A warp onto a half-transparent canvas, so the blend onto the target takes part too.
PackedDib Warp(const PackedDib& src, const CVorTransMatrix& toSource, int filter) {
    PackedDib out = CreateSolidDIB(420, 380, RGB(200, 100, 50), 128);
    TransformImage(out, src, toSource, 0, 0, filter);
    return out;
}

// Restores the default thread count when a test ends.
struct ThreadCount {
    explicit ThreadCount(int n) { SetParallelThreads(n); }
    ~ThreadCount() { SetParallelThreads(0); }
};

} // namespace

TEST(Parallel, AWatchCountsTheItemsAndACancelStopsNewPieces) {
    for (int threads : {1, 2}) {
        ThreadCount use(threads);
        ParallelWatch watch;
        std::atomic<std::ptrdiff_t> visited{0};
        auto count = [&](std::ptrdiff_t b, std::ptrdiff_t e) { visited += e - b; };
        {
            ParallelWatchScope scope(&watch);
            ParallelFor(100000, 100, count);
            EXPECT_EQ(visited.load(), 100000);
            EXPECT_DOUBLE_EQ(watch.Fraction(), 1.0);
            watch.RestartCount();
            EXPECT_DOUBLE_EQ(watch.Fraction(), 0.0);
            visited = 0;
            ParallelFor(100000, 100, [&](std::ptrdiff_t b, std::ptrdiff_t e) {
                count(b, e);
                if (visited > 5000) watch.Cancel();
            });
            EXPECT_LT(visited.load(), 100000) << threads << " threads";
            EXPECT_LT(watch.Fraction(), 1.0);
        }
        // Outside the scope the cancelled watch is not consulted.
        visited = 0;
        ParallelFor(100000, 100, count);
        EXPECT_EQ(visited.load(), 100000);
    }
}

TEST(Parallel, EveryItemOnceAndFailuresReachTheCaller) {
    for (int threads : {1, 2, 5}) {
        ThreadCount use(threads);
        // Capped at the cores.
        EXPECT_GE(ParallelThreads(), 1);
        EXPECT_LE(ParallelThreads(), threads);
        for (std::ptrdiff_t count : {0, 1, 7, 1000, 100003}) {
            std::vector<std::atomic<int>> seen(static_cast<std::size_t>(count));
            ParallelFor(count, 13, [&](std::ptrdiff_t b, std::ptrdiff_t e) {
                ASSERT_LT(b, e);
                for (std::ptrdiff_t i = b; i < e; ++i)
                    seen[static_cast<std::size_t>(i)]++;
            });
            for (std::ptrdiff_t i = 0; i < count; ++i)
                ASSERT_EQ(seen[static_cast<std::size_t>(i)].load(), 1) << threads << " threads, item " << i;
        }
        EXPECT_THROW(ParallelFor(5000, 1,
                                 [](std::ptrdiff_t b, std::ptrdiff_t e) {
                                     if (b <= 4321 && 4321 < e) throw std::runtime_error("row");
                                 }),
                     std::runtime_error);
    }
    // One thread runs everything on the caller, in one piece.
    ThreadCount one(1);
    const auto caller = std::this_thread::get_id();
    int pieces = 0;
    ParallelFor(100000, 10, [&](std::ptrdiff_t b, std::ptrdiff_t e) {
        EXPECT_EQ(std::this_thread::get_id(), caller);
        EXPECT_EQ(e - b, 100000);
        ++pieces;
    });
    EXPECT_EQ(pieces, 1);
}

namespace {

// Plain vectors handed to the pieces and back: through one loop, a loop inside a piece, and a
// loop that throws (what the other pieces wrote is there once it has thrown).
bool HandsItsDataOver(int seed, bool watched) {
    ParallelWatch watch;
    ParallelWatchScope scope(watched ? &watch : nullptr);
    std::vector<int> in(20000), out(in.size(), 0);
    for (std::size_t i = 0; i < in.size(); ++i)
        in[i] = static_cast<int>(i) * seed;
    std::atomic<bool> innerGood{true};
    ParallelFor(static_cast<std::ptrdiff_t>(in.size()), 100, [&](std::ptrdiff_t b, std::ptrdiff_t e) {
        for (std::ptrdiff_t i = b; i < e; ++i)
            out[static_cast<std::size_t>(i)] = in[static_cast<std::size_t>(i)] + 1;
        if (b % 5000 == 0) {
            std::vector<int> inner(1000, seed);
            ParallelFor(1000, 10, [&](std::ptrdiff_t ib, std::ptrdiff_t ie) {
                for (std::ptrdiff_t j = ib; j < ie; ++j)
                    inner[static_cast<std::size_t>(j)] += 1;
            });
            if (std::count(inner.begin(), inner.end(), seed + 1) != 1000) innerGood = false;
        }
    });
    for (std::size_t i = 0; i < in.size(); ++i)
        if (out[i] != in[i] + 1) return false;
    std::vector<int> marks(in.size(), 0);
    try {
        ParallelFor(static_cast<std::ptrdiff_t>(marks.size()), 100, [&](std::ptrdiff_t b, std::ptrdiff_t e) {
            for (std::ptrdiff_t i = b; i < e; ++i)
                marks[static_cast<std::size_t>(i)] = 1;
            if (b <= 10000 && 10000 < e) throw std::runtime_error("piece");
        });
        return false;
    } catch (const std::runtime_error&) {
    }
    return innerGood && marks[10000] == 1;
}

} // namespace

// Several threads start loops at once on the shared pool, as the batch tool's jobs do; under
// ThreadSanitizer a hand-off or join it cannot see is reported here.
TEST(Parallel, LoopsStartedFromSeveralThreadsAtOnceHandTheirDataOver) {
    std::atomic<int> good{0};
    std::vector<std::thread> callers;
    for (int t = 0; t < 4; ++t)
        callers.emplace_back([&good, t] { good += HandsItsDataOver(t + 2, t % 2 == 1); });
    const bool mine = HandsItsDataOver(1, false);
    for (std::thread& c : callers)
        c.join();
    EXPECT_TRUE(mine);
    EXPECT_EQ(good.load(), 4);
}

#ifdef ZEPHO_UNDER_TSAN
namespace {

// Two pieces on different threads write one variable without a lock. The first piece on each
// thread waits (a while at most) for a second thread to take part; relaxed atomics order nothing.
void RacingPieces() {
    static std::atomic<int> threadsIn{0};
    static thread_local bool counted = false;
    long shared = 0;
    ParallelFor(64, 1, [&](std::ptrdiff_t b, std::ptrdiff_t e) {
        if (!counted) {
            counted = true;
            threadsIn.fetch_add(1, std::memory_order_relaxed);
            for (int i = 0; i < 5000 && threadsIn.load(std::memory_order_relaxed) < 2; ++i)
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        shared += e - b;
    });
    std::printf("%ld\n", shared);
}

} // namespace

// The annotations that show the sanitizer oneTBB's hand-offs must not hide a race between the
// pieces themselves.
TEST(ParallelDeathTest, ARaceBetweenPiecesIsReported) {
    if (ParallelThreads() < 2) GTEST_SKIP() << "one thread: no piece can race another";
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    // The child must stop at the report rather than finish the statement.
    const char* given = std::getenv("TSAN_OPTIONS");
    const std::string options = given ? given : "";
    setenv("TSAN_OPTIONS", (options + " halt_on_error=1").c_str(), 1);
    EXPECT_DEATH(RacingPieces(), "ThreadSanitizer: data race");
    setenv("TSAN_OPTIONS", options.c_str(), 1);
}
#endif

// Each threaded kernel on odd-sized images, with one, two and three threads.
TEST(Parallel, KernelsGiveTheSameBytesOnAnyNumberOfThreads) {
    const PackedDib photo = Noise(301, 203, 5);
    const PackedDib layer = Noise(301, 203, 6);
    CVorTransMatrix turn = CVorTransMatrix::Rotation(0.4);
    turn.Multiply(CVorTransMatrix::Translation(40, -90));
    const std::vector<std::pair<const char*, std::function<PackedDib()>>> kernels = {
        {"gaussian 3", [&] { return GaussianBlur(photo, 3); }},
        {"gaussian 50", [&] { return GaussianBlur(photo, 50); }},
        {"hsl", [&] { return AdjustDIBHSL(photo, 77, -20, 15, nullptr, 0); }},
        {"brightness/contrast", [&] { return AdjustDIBBrightAndConstract(photo, 30, -40, nullptr, 0); }},
        {"rgb", [&] { return AdjustDIBRGB(photo, 10, -20, 30, nullptr, 0); }},
        {"composite over",
         [&] {
             PackedDib out = photo.Clone();
             CompositeOver(out, POINT{0, 0}, layer, POINT{-7, 11}, 20);
             return out;
         }},
        {"rotate nearest", [&] { return Warp(photo, turn, 0); }},
        {"rotate bilinear", [&] { return Warp(photo, turn, 1); }},
        {"rotate hanning", [&] { return Warp(photo, turn, 5); }},
        {"rotate lanczos", [&] { return Warp(photo, turn, 15); }},
        {"shrink", [&] { return Warp(photo, CVorTransMatrix::Scaling(3.1, 2.2), 2); }},
        {"perspective",
         [&] {
             PackedDib out = CreateSolidDIB(320, 260, RGB(9, 9, 9), 40);
             BulidPerspective(out, photo, 10, 5, 300, 40, 250, 250, 20, 200);
             return out;
         }},
        {"blend",
         [&] {
             PackedDib out = photo.Clone();
             BlendTransparent(out, POINT{0, 0}, layer, POINT{9, -4}, 30);
             return out;
         }},
    };
    for (const auto& [name, run] : kernels) {
        PackedDib single;
        {
            ThreadCount use(1);
            single = run();
        }
        ASSERT_TRUE(single) << name;
        for (int threads : {2, 3}) {
            ThreadCount use(threads);
            EXPECT_TRUE(SameBytes(run(), single)) << name << " with " << threads << " threads";
        }
    }
}
