// edit/dialogs: what the effect, resize and capture dialogs compute, without their widgets.
// The effect dialogs of the Transform menu without their widgets: what each one adjusts, and the
// session that previews it on the selected images, then keeps it as one undo step (OK) or gives
// every image back (Cancel).
#pragma once

#include "edit/document/OrvaneDoc.h"
#include "edit/undo/UndoImage.h"

#include <cstdint>
#include <functional>
#include <memory>
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

// A dialog's session over the selected objects. Previews are computed on a worker thread from
// copies of the unchanged images, so that a slider never waits for a large image: each request
// first gets a quick preview at the view's resolution when the view shows the images reduced,
// then the exact one. A newer request cancels the exact work of older ones; the results reach the
// objects only through Poll, on the thread that owns the document.
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
    // Asks for the preview of the current values, always computed from the unchanged images.
    void Preview();
    // Starts the worker on what every preview needs (its copies of the unchanged images, their
    // reduction for the view), so that the first change of a control is as quick as the next.
    void Prepare();

    // Called on the worker thread whenever a result waits for Poll or the work stops; the shell
    // posts a call to Poll from it. Empty removes it (it is not called any more on return).
    void SetListener(std::function<void()> listener);
    // Shows the newest waiting result, if it is newer than what the objects show. True when it
    // showed one.
    bool Poll();
    // True while previews are being computed or wait for Poll.
    bool Busy() const;
    // True when the objects show the exact preview of the current values (or nothing was asked).
    bool Ready() const;
    // True when the objects show a preview of the current values, quick or exact.
    bool ShowsCurrent() const { return shown_ == generation_; }
    // Makes sure the exact preview of the current values is on its way (after StopWork).
    void Finish();
    // How far the exact preview under way has come, 0..100.
    int Progress() const;
    // Gives up the work under way; the objects keep what they show.
    void StopWork();
    // Waits for the exact preview of the current values and shows it.
    void Settle();

    // Keeps the exact preview of the current values (waiting for it when needed): one undo step
    // for the objects that changed. True when it was recorded.
    bool Ok();
    // Every object gets its unchanged image, kind and shape back.
    void Cancel();

    // Images with fewer pixels than this get no quick preview: the exact one is as fast.
    static constexpr std::int64_t kQuickMinPixels = 1 << 20;

private:
    struct Entry {
        Ref<CDrawObj> obj;
        Ref<CObjShape> shape;
        int kind = 0;
        int shadowPosX = 0, shadowPosY = 0;
        // The object shows a preview.
        bool previewing = false;
    };
    struct Job;
    struct Worker;
    struct Result;
    void Request(bool exactOnly);
    void Submit(Job job);
    int QuickFactor() const;
    void Show(Result& result);
    // Keeps an image an object no longer shows for the worker to write the next quick preview over.
    void Recycle(PackedDib dib);
    // Ends the worker thread; its copies of the unchanged images stay for Ok and Cancel.
    void StopWorker();
    void Repaint(bool rebuild) const;

    COrvaneDoc& doc_;
    EffectKind kind_;
    std::vector<int> values_;
    std::vector<Entry> entries_;
    std::unique_ptr<Worker> worker_;
    // The generation of the current values, and of what the objects show.
    std::uint64_t generation_ = 0, shown_ = 0;
    bool shownExact_ = false;
    bool closed_ = false;
};

} // namespace zepho
