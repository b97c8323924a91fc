// Texts of the Transform menu's effect entries and dialogs.
#pragma once

namespace zepho::effects {

// Menu entries.
inline constexpr const char kMenuBrightnessContrast[] = "Brightness/Contrast";
inline constexpr const char kMenuRgb[] = "Red/Green/Blue";
inline constexpr const char kMenuHsl[] = "Hue/Saturation/Lightness";
inline constexpr const char kMenuBlur[] = "Blur";
inline constexpr const char kMenuGaussianBlur[] = "Gaussian Blur";
inline constexpr const char kMenuSharpness[] = "Sharpness";
inline constexpr const char kMenuEmboss[] = "Emboss";
inline constexpr const char kMenuSunspot[] = "Sunspot";

// Dialog captions; each dialog's group carries the same title unless given below.
inline constexpr const char kBlur[] = "Blur";
inline constexpr const char kGaussianBlur[] = "Gaussian Blur";
inline constexpr const char kSharpness[] = "Sharpness";
inline constexpr const char kEmboss[] = "Emboss";
inline constexpr const char kSunspot[] = "Sunspot";
inline constexpr const char kAdjustBc[] = "Adjust BC";
inline constexpr const char kAdjustHsl[] = "Adjust HSL";
inline constexpr const char kAdjustRgb[] = "Adjust RGB";
// "&&" shows as one ampersand.
inline constexpr const char kGroupBc[] = "Brightness&&Contrast";
inline constexpr const char kGroupHsl[] = "Hue/Saturation/Lightness";
inline constexpr const char kGroupRgb[] = "Red/Green/Blue";

// Control labels.
inline constexpr const char kBlurLabel[] = "Blur:";
inline constexpr const char kSharpnessLabel[] = "Sharpness:";
inline constexpr const char kElevation[] = "Elevation:";
inline constexpr const char kWeight[] = "Weight:";
inline constexpr const char kAzimuth[] = "Azimuth";
inline constexpr const char kRight[] = "Right";
inline constexpr const char kUp[] = "Up";
inline constexpr const char kLeft[] = "Left";
inline constexpr const char kDown[] = "Down";
inline constexpr const char kCustomAngle[] = "Custom angle";
inline constexpr const char kClockwise[] = "Clockwise:";
inline constexpr const char kHorizontalPos[] = "Horizontal pos:";
inline constexpr const char kVerticalPos[] = "Vertical pos:";
inline constexpr const char kBrightness[] = "Brightness:";
inline constexpr const char kContrast[] = "Contrast:";
inline constexpr const char kHue[] = "Hue:";
inline constexpr const char kSaturation[] = "Saturation:";
inline constexpr const char kLightness[] = "Lightness:";
inline constexpr const char kRed[] = "Red:";
inline constexpr const char kGreen[] = "Green:";
inline constexpr const char kBlue[] = "Blue:";

// Below the controls while the preview is computed, and while OK waits for the exact result.
inline constexpr const char kWorking[] = "Working...";
inline constexpr const char kApplying[] = "Applying...";

} // namespace zepho::effects
