// The parsers of outside bytes, each as a function of one input, with valid inputs to start from.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace zepho::fuzz {

struct Target {
    const char* name;
    // Parses the bytes and throws the result away; must never crash, hang or leak.
    void (*run)(const std::uint8_t* data, std::size_t size);
    // Well-formed files of the format, made by our own writers.
    std::vector<std::vector<std::uint8_t>> (*seeds)();
};

const std::vector<Target>& Targets();
const Target* FindTarget(const std::string& name);

} // namespace zepho::fuzz
