#include "edit/properties/PropNumber.h"

#include "edit/properties/PropStrings.h"
#include "model/ModelStrings.h"
#include "platform/Format.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace zepho {

namespace {
// Half of the last shown decimal.
constexpr double kShownPrecision = 0.0005;

std::string_view Trim(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t'))
        s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t'))
        s.remove_suffix(1);
    return s;
}
} // namespace

bool ParseIntBox(std::string_view text, int lo, int hi, int& value) {
    text = Trim(text);
    if (!text.empty() && text.front() == '+') text.remove_prefix(1);
    long long v = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), v);
    if (text.empty() || ec != std::errc() || end != text.data() + text.size()) return false;
    if (v < lo || v > hi) return false;
    value = static_cast<int>(v);
    return true;
}

bool ParseFloatBox(std::string_view text, double lo, double hi, double& value) {
    const std::string s(Trim(text));
    if (s.empty()) return false;
    char* end = nullptr;
    const double v = std::strtod(s.c_str(), &end);
    if (end != s.c_str() + s.size() || !std::isfinite(v)) return false;
    if (v < lo - kShownPrecision || v > hi + kShownPrecision) return false;
    value = std::clamp(v, lo, hi);
    return true;
}

std::string IntRangeMessage(int lo, int hi) {
    return Format(strings::kRangeInt, lo, hi);
}

std::string FloatRangeMessage(double lo, double hi) {
    return Format(strings::kRangeFloat, lo, hi);
}

void ShowRangeMessage(IUiHost& ui, const std::string& message) {
    ui.MessageBox(message, strings::kCaptionError, MsgIcon::Error);
}

std::string FormatFloatBox(double value) {
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.3f", value);
    std::string s = buf;
    // Whole values read better without their zeros.
    while (!s.empty() && s.back() == '0')
        s.pop_back();
    if (!s.empty() && s.back() == '.') s.pop_back();
    return s == "-0" ? "0" : s;
}

} // namespace zepho
