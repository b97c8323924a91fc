#include "edit/dialogs/EffectModel.h"

#include "edit/commands/CmdCommon.h"
#include "edit/commands/CommandStrings.h"
#include "edit/view/OrvaneView.h"
#include "extlib/ImageTransform.h"
#include "raster/Filters.h"

#include <algorithm>

namespace zepho {

const EffectInfo& EffectInfoOf(EffectKind kind) {
    static const EffectInfo blur{CImageOpUndo::Blur, strings::kVerbBlur, {{1, 50, 1, 5}}, false};
    static const EffectInfo gaussian{CImageOpUndo::GaussianBlur, strings::kVerbBlur, {{1, 50, 1, 5}}, false};
    static const EffectInfo sharpness{
        CImageOpUndo::Sharpness, strings::kVerbSharpness, {{0, 255, 0, 32}}, false};
    static const EffectInfo emboss{
        CImageOpUndo::Emboss, strings::kVerbEmboss, {{0, 255, 128, 20}, {0, 15, 1, 1}, {0, 360, 0, 0}}, true};
    static const EffectInfo sunspot{CImageOpUndo::Sunspot,
                                    strings::kVerbSunspot,
                                    {{0, 100, 20, 12}, {0, 100, 80, 12}, {0, 255, 45, 30}},
                                    true};
    static const EffectInfo bc{CImageOpUndo::AdjustBrightness,
                               strings::kVerbAdjustBc,
                               {{-255, 255, 0, 32}, {-127, 127, 0, 16}},
                               false};
    static const EffectInfo hsl{CImageOpUndo::AdjustHsl,
                                strings::kVerbAdjustHsl,
                                {{-180, 180, 0, 22}, {-100, 100, 0, 12}, {-100, 100, 0, 12}},
                                false};
    static const EffectInfo rgb{CImageOpUndo::AdjustRgb,
                                strings::kVerbAdjustRgb,
                                {{-255, 255, 0, 32}, {-255, 255, 0, 32}, {-255, 255, 0, 32}},
                                false};
    switch (kind) {
    case EffectKind::Blur:
        return blur;
    case EffectKind::GaussianBlur:
        return gaussian;
    case EffectKind::Sharpness:
        return sharpness;
    case EffectKind::Emboss:
        return emboss;
    case EffectKind::Sunspot:
        return sunspot;
    case EffectKind::BrightnessContrast:
        return bc;
    case EffectKind::Hsl:
        return hsl;
    case EffectKind::Rgb:
        return rgb;
    }
    return blur;
}

PackedDib ApplyEffect(EffectKind kind, const PackedDib& start, const std::vector<int>& v) {
    if (v.size() != EffectInfoOf(kind).params.size()) return {};
    switch (kind) {
    case EffectKind::Blur:
        // Sizes below 2 have nothing to average.
        return v[0] < 2 ? start.Clone() : BoxBlur(start, v[0]);
    case EffectKind::GaussianBlur:
        return v[0] < 2 ? start.Clone() : GaussianBlur(start, v[0]);
    case EffectKind::Sharpness:
        return Sharpen(start, v[0]);
    case EffectKind::Emboss:
        return Emboss(start, v[0], v[1], v[2]);
    case EffectKind::Sunspot:
        return Sunspot(start, v[0], v[1], v[2]);
    case EffectKind::BrightnessContrast:
        return AdjustDIBBrightAndConstract(start, v[0], v[1], nullptr, 0);
    case EffectKind::Hsl:
        return AdjustDIBHSL(start, v[0], v[1], v[2], nullptr, 0);
    case EffectKind::Rgb:
        return AdjustDIBRGB(start, v[0], v[1], v[2], nullptr, 0);
    }
    return {};
}

CEffectModel::CEffectModel(COrvaneDoc& doc, EffectKind kind, std::vector<Ref<CDrawObj>> objects)
    : doc_(doc), kind_(kind) {
    for (const EffectParam& p : Info().params)
        values_.push_back(p.start);
    for (auto& o : objects) {
        if (!o || !o->content) continue;
        Entry e;
        e.obj = std::move(o);
        e.shape = e.obj->content->shape;
        e.kind = e.obj->content->kind;
        entries_.push_back(std::move(e));
    }
}

CEffectModel::~CEffectModel() {
    Cancel();
}

void CEffectModel::SetValue(int i, int value) {
    if (closed_ || i < 0 || i >= static_cast<int>(values_.size())) return;
    const EffectParam& p = Info().params[i];
    value = std::clamp(value, p.minimum, p.maximum);
    if (values_[i] == value) return;
    values_[i] = value;
    Preview();
}

void CEffectModel::Preview() {
    if (closed_) return;
    bool converted = false;
    for (Entry& e : entries_) {
        CObjContent& c = *e.obj->content;
        PackedDib result = ApplyEffect(kind_, e.previewing ? e.start : c.raster, values_);
        // Without a result the object keeps what it shows.
        if (!result) continue;
        // A shadow that is on follows every preview.
        const bool shadowOn = e.previewing ? static_cast<bool>(e.shadow) : c.HasShadow();
        if (!e.previewing) {
            // The unchanged image leaves the object; a shape object shows a plain image until
            // the dialog closes.
            e.previewing = true;
            e.start = std::move(c.raster);
            e.shadow = std::move(c.shadowRaster);
            e.shadowPosX = c.shadowPosX;
            e.shadowPosY = c.shadowPosY;
            converted = converted || c.kind != KindImage;
            c.kind = KindImage;
            c.SetShape({});
        }
        c.SetRaster(std::move(result));
        if (shadowOn) c.UpdateShadow();
    }
    Repaint(converted);
}

bool CEffectModel::Ok() {
    if (closed_) return false;
    closed_ = true;
    auto action = std::make_unique<CImageOpUndo>(Info().variant);
    for (Entry& e : entries_) {
        if (!e.previewing) continue;
        auto backup = std::make_unique<CImageBackup>();
        // A shape renders its unchanged image again on undo.
        if (e.shape)
            backup->SetSource(e.obj, e.kind, e.shape);
        else
            backup->SetRaster(e.obj, e.kind, std::move(e.start));
        action->AddRecord(std::move(backup));
    }
    entries_.clear();
    if (action->IsEmpty()) return false;
    CommitCommand(doc_, std::move(action), true);
    return true;
}

void CEffectModel::Cancel() {
    if (closed_) return;
    closed_ = true;
    bool any = false, converted = false;
    for (Entry& e : entries_) {
        if (!e.previewing) continue;
        CObjContent& c = *e.obj->content;
        converted = converted || e.kind != KindImage;
        c.kind = e.kind;
        c.SetShape(e.shape);
        c.SetRaster(std::move(e.start));
        c.shadowRaster = std::move(e.shadow);
        c.shadowPosX = e.shadowPosX;
        c.shadowPosY = e.shadowPosY;
        any = true;
    }
    if (any) Repaint(converted);
    entries_.clear();
}

void CEffectModel::Repaint(bool rebuild) const {
    if (COrvaneView* view = doc_.GetView()) {
        for (const Entry& e : entries_)
            if (view->ActiveObject() == e.obj.Get()) view->AttachHandles(e.obj);
        view->InvalidateAll();
    }
    if (rebuild) doc_.NotifyObjectsChanged();
    doc_.NotifyObjectsRepainted();
}

} // namespace zepho
