#include "common/DumpPng.h"

#include "extlib/PngFile.h"

#include <cstdlib>

namespace zepho::test {

bool DumpPng(const std::string& name, const PackedDib& dib) {
    const char* dir = std::getenv("ZEPHO_TEST_DUMP");
    if (!dir || !*dir || !dib.Is32()) return false;
    return WritePngRgba(std::string(dir) + "/" + name + ".png", dib);
}

} // namespace zepho::test
