// The picture sizes of the benchmarks that run at more than one.
#pragma once

#include <cstdlib>
#include <utility>
#include <vector>

namespace zepho::bench {

// 1920 x 1080 and 4096 x 4096; only the first with ZEPHO_BENCH_QUICK=1, the short run `make test`
// makes to see every benchmark run clean.
inline std::vector<std::pair<int, int>> BenchSizes() {
    const char* quick = std::getenv("ZEPHO_BENCH_QUICK");
    if (quick && *quick && *quick != '0') return {{1920, 1080}};
    return {{1920, 1080}, {4096, 4096}};
}

} // namespace zepho::bench
