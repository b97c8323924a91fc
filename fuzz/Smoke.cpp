// A short deterministic run of every fuzz target: each seed, every prefix of it, and mutated
// copies (flipped, overwritten, inserted and deleted bytes). Runs with the ordinary build, so
// that a parser that crashes on damaged input is caught by the test run. Then every input kept
// in fuzz/regressions/<target> (each a fault once found) is replayed through its target.
#include "Targets.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <sys/resource.h>

using namespace zepho::fuzz;

namespace {

std::vector<std::uint8_t> Mutate(std::vector<std::uint8_t> b, std::mt19937& rng) {
    const int edits = 1 + static_cast<int>(rng() % 4);
    for (int e = 0; e < edits && !b.empty(); ++e) {
        const std::size_t at = rng() % b.size();
        switch (rng() % 5) {
        case 0:
            b[at] ^= static_cast<std::uint8_t>(1u << (rng() % 8));
            break;
        case 1:
            b[at] = rng() % 2 ? 0xFF : 0x00;
            break;
        case 2:
            b[at] = static_cast<std::uint8_t>(rng());
            break;
        case 3:
            b.insert(b.begin() + static_cast<std::ptrdiff_t>(at), static_cast<std::uint8_t>(rng()));
            break;
        default:
            b.erase(b.begin() + static_cast<std::ptrdiff_t>(at));
            break;
        }
    }
    return b;
}

class FuzzSmoke : public testing::TestWithParam<Target> {};

TEST_P(FuzzSmoke, SeedsPrefixesAndMutationsAreSurvived) {
    const Target& t = GetParam();
    const auto seeds = t.seeds();
    ASSERT_FALSE(seeds.empty()) << t.name;
    std::mt19937 rng(20261207);
    for (const auto& seed : seeds) {
        t.run(seed.data(), seed.size());
        // Prefixes: a few hundred cut points spread over the file.
        const std::size_t step = std::max<std::size_t>(1, seed.size() / 200);
        for (std::size_t n = 0; n < seed.size(); n += step)
            t.run(seed.data(), n);
        for (int i = 0; i < 400; ++i) {
            const auto m = Mutate(seed, rng);
            t.run(m.data(), m.size());
        }
    }
}

std::string TargetName(const testing::TestParamInfo<Target>& info) {
    return info.param.name;
}

INSTANTIATE_TEST_SUITE_P(Parsers, FuzzSmoke, testing::ValuesIn(Targets()), TargetName);

// Replayed as on a machine short of memory: what a file asks for beyond 1 GiB of address space
// fails to allocate, and the reader must refuse cleanly. (ctest runs these tests in a process of
// their own, so the limit touches nothing else.)
void LimitAddressSpace() {
    rlimit limit{};
    if (getrlimit(RLIMIT_AS, &limit) != 0) return;
    const rlim_t cap = rlim_t{1} << 30;
    if (limit.rlim_cur == RLIM_INFINITY || limit.rlim_cur > cap) {
        limit.rlim_cur = cap;
        setrlimit(RLIMIT_AS, &limit);
    }
}

// The folders of fuzz/regressions a target replays: its own, and for the round trip the native
// documents too, which must draw and write if they parse.
std::vector<std::filesystem::path> RegressionFolders(const std::string& target) {
    const std::filesystem::path root = ZEPHO_FUZZ_REGRESSIONS;
    std::vector<std::filesystem::path> out{root / target};
    if (target == "roundtrip") out.push_back(root / "native");
    // The photo information reader takes every picture file the readers were once fooled by.
    if (target == "photoinfo")
        for (const char* kind : {"png", "tiff", "jxl", "pcx"})
            out.push_back(root / kind);
    return out;
}

TEST(Regressions, EveryKeptInputIsSurvivedByItsTargets) {
    LimitAddressSpace();
    // Every folder names a target: a misspelt one would silently replay nothing.
    for (const auto& entry : std::filesystem::directory_iterator(ZEPHO_FUZZ_REGRESSIONS)) {
        if (entry.is_directory()) {
            EXPECT_NE(FindTarget(entry.path().filename().string()), nullptr) << entry.path();
        }
    }
    int replayed = 0;
    for (const Target& t : Targets())
        for (const auto& dir : RegressionFolders(t.name)) {
            if (!std::filesystem::is_directory(dir)) continue;
            for (const auto& entry : std::filesystem::directory_iterator(dir)) {
                if (!entry.is_regular_file()) continue;
                std::ifstream f(entry.path(), std::ios::binary);
                const std::vector<std::uint8_t> bytes{std::istreambuf_iterator<char>(f),
                                                      std::istreambuf_iterator<char>()};
                // Printed first, so that a crash names its input.
                std::printf("%s: %s\n", t.name, entry.path().c_str());
                std::fflush(stdout);
                t.run(bytes.data(), bytes.size());
                ++replayed;
            }
        }
    EXPECT_GE(replayed, 10);
}

} // namespace
