// Colour profiles made with Little CMS for tests and benchmarks, as the bytes files embed.
#pragma once

#include "platform/WinTypes.h"

#include <lcms2.h>

#include <vector>

namespace zepho::test {

// The bytes of a profile, which is closed.
inline std::vector<BYTE> ProfileBytes(cmsHPROFILE p) {
    cmsUInt32Number size = 0;
    std::vector<BYTE> icc;
    if (p && cmsSaveProfileToMem(p, nullptr, &size)) {
        icc.resize(size);
        cmsSaveProfileToMem(p, icc.data(), &size);
    }
    if (p) cmsCloseProfile(p);
    return icc;
}

// An RGB matrix-shaper profile with one tone curve of `gamma` for all three channels.
inline cmsHPROFILE MatrixProfile(const cmsCIExyY& white, const cmsCIExyYTRIPLE& primaries, double gamma) {
    cmsToneCurve* curve = cmsBuildGamma(nullptr, gamma);
    cmsToneCurve* curves[3] = {curve, curve, curve};
    cmsHPROFILE p = cmsCreateRGBProfile(&white, &primaries, curves);
    cmsFreeToneCurve(curve);
    return p;
}

// A wide gamut: ProPhoto's primaries and its 1.8 gamma.
inline cmsHPROFILE WideGamutProfile() {
    return MatrixProfile({0.3457, 0.3585, 1.0},
                         {{0.7347, 0.2653, 1.0}, {0.1596, 0.8404, 1.0}, {0.0366, 0.0001, 1.0}}, 1.8);
}

// sRGB's primaries with red and blue swapped, and a linear curve: a profile whose effect no
// conversion can miss.
inline std::vector<BYTE> SwappedProfile() {
    cmsCIExyY white;
    cmsWhitePointFromTemp(&white, 6504);
    return ProfileBytes(MatrixProfile(white, {{0.15, 0.06, 1.0}, {0.30, 0.60, 1.0}, {0.64, 0.33, 1.0}}, 1.0));
}

} // namespace zepho::test
