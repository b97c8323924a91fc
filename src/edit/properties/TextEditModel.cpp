#include "edit/properties/TextEditModel.h"

#include "edit/commands/CmdCommon.h"
#include "edit/undo/UndoObjects.h"
#include "model/AppSettings.h"
#include "model/ModelStrings.h"
#include "platform/AnsiText.h"
#include "platform/ByteStream.h"

#include <algorithm>

namespace zepho {

CTextEditValues CTextEditValues::Of(const CTextObj& t) {
    CTextEditValues v;
    v.runs = t.runs;
    v.lineSpacing = t.lineSpacing;
    v.alignment = t.alignment;
    v.paint = t.paint;
    v.outline = t.outline;
    v.outlineColor = t.outlineColor;
    v.outlineThickness = t.outlineThickness;
    v.outlineTransparency = t.outlineTransparency;
    v.outlineSmooth = t.outlineSmooth;
    return v;
}

void CTextEditValues::Normalise() {
    lineSpacing = std::clamp(lineSpacing, 0, kMaxLine);
    if (alignment != CTextObj::kAlignRight && alignment != CTextObj::kAlignCenter)
        alignment = CTextObj::kAlignLeft;
    if (paint.mode > 5) paint.mode = 0;
    outline = outline ? 1 : 0;
    outlineThickness = std::clamp(outlineThickness, 0, kMaxThickness);
    outlineSmooth = std::clamp(outlineSmooth, 0, kMaxSmooth);
    outlineTransparency = std::clamp(outlineTransparency, 0, kMaxTransparency);
    std::vector<CTextRun> out;
    out.reserve(runs.size());
    for (CTextRun& r : runs) {
        r.face = CutUtf8(r.face, kFaceLimit);
        r.size = std::max(r.size, 1);
        r.bold = r.bold ? 1 : 0;
        r.italic = r.italic ? 1 : 0;
        r.outlined = r.outlined ? 1 : 0;
        r.lineEnd = r.lineEnd ? 1 : 0;
        r.baselineOffset = std::clamp(r.baselineOffset, kMinBaseline, kMaxBaseline);
        r.spacing = std::clamp(r.spacing, 0, kMaxCharacter);
        if (!out.empty() && out.back().SameFormat(r)) {
            CTextRun& prev = out.back();
            prev.SetText(prev.text + r.text);
            prev.lineEnd = r.lineEnd;
            continue;
        }
        // An empty run that does not end a line adds nothing.
        if (r.text.empty() && !r.lineEnd && !out.empty()) continue;
        CTextRun copy = r;
        copy.capacity = 0;
        copy.SetText(r.text);
        out.push_back(std::move(copy));
    }
    runs = std::move(out);
}

void CTextEditValues::ApplyTo(CTextObj& t) const {
    t.runs = runs;
    t.lineSpacing = lineSpacing;
    t.alignment = alignment;
    t.paint = paint;
    t.outline = outline;
    t.outlineColor = outlineColor;
    t.outlineThickness = outlineThickness;
    t.outlineTransparency = outlineTransparency;
    t.outlineSmooth = outlineSmooth;
    t.measure = 1;
}

void CTextEditValues::TakeSettings(const CAppSettings& s) {
    outline = s.MadeTextOutline ? 1 : 0;
    outlineColor = s.TextOutlineColor;
    outlineThickness = s.TextOutlineThickness;
    outlineTransparency = s.TextOutlineOpacity;
    outlineSmooth = s.TextOutlineSmooth;
    lineSpacing = s.BannerLine;
    alignment = s.BannerAlign;
    Normalise();
}

void CTextEditValues::StoreSettings(CAppSettings& s) const {
    s.MadeTextOutline = static_cast<std::uint8_t>(outline ? 1 : 0);
    s.TextOutlineColor = outlineColor;
    s.TextOutlineThickness = static_cast<std::uint8_t>(std::clamp(outlineThickness, 0, kMaxThickness));
    s.TextOutlineOpacity = static_cast<std::uint8_t>(std::clamp(outlineTransparency, 0, kMaxTransparency));
    s.TextOutlineSmooth = static_cast<std::uint8_t>(std::clamp(outlineSmooth, 0, kMaxSmooth));
    s.BannerLine = std::clamp(lineSpacing, 0, kMaxLine);
    s.BannerAlign = alignment;
}

TextCommit CommitTextEdit(COrvaneDoc& doc, CDrawObj& obj, const CTextEditValues& values, bool isNew,
                          IUiHost& ui) {
    CObjContent* c = obj.content.Get();
    Ref<CTextObj> text = c ? RefCast<CTextObj>(c->shape) : Ref<CTextObj>{};
    if (!text) return TextCommit::Failed;

    // Tried on a copy first, so that a text that shows nothing leaves the object untouched.
    Ref<CTextObj> trial = RefCast<CTextObj>(text->Clone());
    if (!trial) return TextCommit::Failed;
    values.ApplyTo(*trial);
    PackedDib dib = RenderForObject(*trial);
    if (!dib) {
        ui.MessageBox(strings::kNoValidTexts, strings::kCaptionError, MsgIcon::Error);
        return TextCommit::NothingToShow;
    }

    const ShapeProperties before = ShapeProperties::Of(*c);
    if (!isNew) {
        MemoryWriter out;
        if (trial->Write(out) > 0 && !out.Failed() && out.Take() == before.record)
            return TextCommit::Unchanged;
    }
    const ObjectProperties props = ObjectProperties::Of(obj);
    *text = *trial;
    InstallRaster(*c, std::move(dib));
    if (isNew) return TextCommit::Done;
    CommitCommand(doc, std::make_unique<CPropertiesUndo>(Ref<CDrawObj>(&obj), props, before), true);
    return TextCommit::Done;
}

} // namespace zepho
