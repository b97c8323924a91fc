// One libFuzzer entry per target; the build names the target.
#include "Targets.h"

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const zepho::fuzz::Target* target = zepho::fuzz::FindTarget(ZEPHO_FUZZ_TARGET);
    if (!target) std::abort();
    target->run(data, size);
    return 0;
}
