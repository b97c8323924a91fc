// Writes every target's starting inputs into DIR/<target>/seed-N, for the fuzzers' corpora.
#include "Targets.h"

#include <cstdio>
#include <filesystem>
#include <fstream>

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: zepho-fuzz-seeds DIR\n");
        return 2;
    }
    for (const zepho::fuzz::Target& t : zepho::fuzz::Targets()) {
        const std::filesystem::path dir = std::filesystem::path(argv[1]) / t.name;
        std::filesystem::create_directories(dir);
        int i = 0;
        for (const auto& seed : t.seeds()) {
            std::ofstream f(dir / ("seed-" + std::to_string(i++)), std::ios::binary);
            f.write(reinterpret_cast<const char*>(seed.data()), static_cast<std::streamsize>(seed.size()));
        }
    }
    return 0;
}
