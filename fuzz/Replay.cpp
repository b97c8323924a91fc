// Runs one target over the files named, as the fuzzer would, in any build:
//   zepho-fuzz-replay native crash-1234 fuzz/regressions/native/*
#include "Targets.h"

#include <chrono>
#include <cstdio>
#include <fstream>
#include <iterator>

int main(int argc, char** argv) {
    const zepho::fuzz::Target* target = argc >= 2 ? zepho::fuzz::FindTarget(argv[1]) : nullptr;
    if (!target) {
        std::fprintf(stderr, "usage: zepho-fuzz-replay TARGET FILE...\n");
        return 2;
    }
    for (int i = 2; i < argc; ++i) {
        std::ifstream f(argv[i], std::ios::binary);
        const std::vector<std::uint8_t> bytes{std::istreambuf_iterator<char>(f),
                                              std::istreambuf_iterator<char>()};
        const auto start = std::chrono::steady_clock::now();
        target->run(bytes.data(), bytes.size());
        const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
        std::printf("%8.3f s  %s\n", took.count(), argv[i]);
        std::fflush(stdout);
    }
    return 0;
}
