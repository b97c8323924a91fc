// edit/dialogs: what the effect, resize and capture dialogs compute, without their widgets.
// The effect dialogs of the Transform menu without their widgets: what each one adjusts, and the
// session that previews it on the selected images, then keeps it as one undo step (OK) or gives
// every image back (Cancel).
#pragma once

#include "edit/document/OrvaneDoc.h"
#include "edit/undo/UndoImage.h"

#include <vector>

namespace zepho {

enum class EffectKind { Blur, GaussianBlur, Sharpness, Emboss, Sunspot, BrightnessContrast, Hsl, Rgb };

// One control of a dialog: its range, start value and the slider's tick interval (0: a spin box
// without a slider).
struct EffectParam {
    int minimum, maximum, start, tick;
};

struct EffectInfo {
    CImageOpUndo::Variant variant;
    // What the conversion question says the user wants to do.
    const char* verb;
    // In the order the dialog shows them and the operation takes them.
    std::vector<EffectParam> params;
    // Emboss and sunspot change the image at their start values: they show it at once.
    bool previewOnOpen;
};

const EffectInfo& EffectInfoOf(EffectKind kind);

// The emboss angle's place among its parameters, and the angles of its direction buttons.
inline constexpr int kEmbossAngle = 2;
inline constexpr int kEmbossDirections[] = {0, 90, 180, 270};

// The effect applied to an unchanged image with the given values: a new image (a copy when the
// values mean no change), or empty when it cannot be made.
PackedDib ApplyEffect(EffectKind kind, const PackedDib& start, const std::vector<int>& values);

class CEffectModel {
public:
    // The objects come from SelectImageTargets: images, and shapes the user agreed to convert.
    CEffectModel(COrvaneDoc& doc, EffectKind kind, std::vector<Ref<CDrawObj>> objects);
    // A model that goes away without OK gives everything back.
    ~CEffectModel();
    CEffectModel(const CEffectModel&) = delete;
    CEffectModel& operator=(const CEffectModel&) = delete;

    EffectKind Kind() const { return kind_; }
    const EffectInfo& Info() const { return EffectInfoOf(kind_); }
    int Value(int i) const { return values_[i]; }
    const std::vector<int>& Values() const { return values_; }
    std::size_t ObjectCount() const { return entries_.size(); }

    // Sets one control, limited to its range; the preview follows when the value changed.
    void SetValue(int i, int value);
    // Shows the effect of the current values, always computed from the unchanged images.
    void Preview();

    // Keeps what the objects show: one undo step for the objects that changed. True when it
    // was recorded.
    bool Ok();
    // Every object gets its unchanged image, kind and shape back.
    void Cancel();

private:
    struct Entry {
        Ref<CDrawObj> obj;
        Ref<CObjShape> shape;
        int kind = 0;
        // The unchanged image and shadow, taken from the object at its first preview.
        PackedDib start;
        PackedDib shadow;
        int shadowPosX = 0, shadowPosY = 0;
        bool previewing = false;
    };
    void Repaint(bool rebuild) const;

    COrvaneDoc& doc_;
    EffectKind kind_;
    std::vector<int> values_;
    std::vector<Entry> entries_;
    bool closed_ = false;
};

} // namespace zepho
