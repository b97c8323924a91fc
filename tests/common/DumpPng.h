// Lets a reviewer look at what the rendering tests drew: with ZEPHO_TEST_DUMP=dir set, DumpPng
// writes a 32-bit DIB to dir/name.png; without it, it does nothing.
#pragma once

#include "platform/PackedDib.h"

#include <string>

namespace zepho::test {

// True when the image was written (false when dumping is off or the write failed).
bool DumpPng(const std::string& name, const PackedDib& dib);

} // namespace zepho::test
