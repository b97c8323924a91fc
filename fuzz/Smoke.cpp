// A short deterministic run of every fuzz target: each seed, every prefix of it, and mutated
// copies (flipped, overwritten, inserted and deleted bytes). Runs with the ordinary build, so
// that a parser that crashes on damaged input is caught by the test run.
#include "Targets.h"

#include <gtest/gtest.h>

#include <random>

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

INSTANTIATE_TEST_SUITE_P(Parsers, FuzzSmoke, testing::ValuesIn(Targets()),
                         [](const testing::TestParamInfo<Target>& info) {
                             return std::string(info.param.name);
                         });

} // namespace
