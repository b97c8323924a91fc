// The number boxes of the property pages: what text they accept and what they say otherwise.
#pragma once

#include "platform/Services.h"

#include <string>
#include <string_view>

namespace zepho {

// A whole number inside lo..hi (blanks around it allowed). False for anything else.
bool ParseIntBox(std::string_view text, int lo, int hi, int& value);
// A decimal inside lo..hi. The boxes show three decimals, so a value that rounds to an end of
// the range is taken and held at that end.
bool ParseFloatBox(std::string_view text, double lo, double hi, double& value);

std::string IntRangeMessage(int lo, int hi);
std::string FloatRangeMessage(double lo, double hi);

// The range message in an "Error" box with the stop icon.
void ShowRangeMessage(IUiHost& ui, const std::string& message);

// The text a decimal box shows for a value.
std::string FormatFloatBox(double value);

} // namespace zepho
