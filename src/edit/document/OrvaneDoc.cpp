#include "edit/document/OrvaneDoc.h"

#include "model/AppSettings.h"
#include "model/FileStrings.h"
#include "model/ModelStrings.h"
#include "model/ObjectNames.h"
#include "platform/Format.h"
#include "platform/Path.h"
#include "raster/Dib.h"

#include <algorithm>

namespace zepho {

COrvaneDoc::COrvaneDoc() : image_(MakeRef<CDocImage>()), loader_(&OpenFile) {
    undo_.SetDocumentRasters([this](CRasterTally& tally) { tally.AddObjects(image_->objects); });
}
COrvaneDoc::~COrvaneDoc() = default;

// The document's counters are the model's default-name counters, in the same order.
static_assert(int(COrvaneDoc::CounterImage) == int(zepho::CounterImage) &&
              int(COrvaneDoc::CounterText) == int(zepho::CounterText) &&
              int(COrvaneDoc::CounterCount) == int(zepho::CounterCount));

std::string COrvaneDoc::NextObjectName(int kind) {
    return NextDefaultName(kind, counters);
}

void COrvaneDoc::RenameAllByKind() {
    for (const auto& o : image_->objects)
        if (o->content) o->content->name = NextObjectName(o->content->kind);
}

void COrvaneDoc::ResetShapeCounters() {
    counters[CounterImage] = counters[CounterRectangle] = counters[CounterEllipse] =
        counters[CounterPolygon] = 1;
}

bool COrvaneDoc::CreateNewImage(int width, int height, bool transparent, COLORREF colour) {
    PackedDib dib = CreateSolidDIB(width, height, colour, transparent ? 0 : 255);
    if (!dib) return false;
    image_->width = width;
    image_->height = height;
    Ref<CObjContent> content = MakeRef<CObjContent>(KindImage);
    content->selected = 1;
    content->SetRaster(std::move(dib));
    content->name = NextObjectName(KindImage);
    Ref<CDrawObj> obj = MakeRef<CDrawObj>(content);
    obj->visible = 1;
    image_->objects.AddTail(obj);
    NotifyObjectsChanged();
    return true;
}

bool COrvaneDoc::OnOpenDocument(const std::string& path, IProgress* progress) {
    if (progress) {
        progress->SetText(strings::kReadingFile + BaseName(path));
        progress->SetPos(0);
    }
    undo_.RemoveAll();
    ResetShapeCounters();
    lastLoad = LoadFlags{};
    const bool ok = loader_ && loader_(*image_, path, lastLoad, progress);
    opened_ = ok;
    SetModifiedFlag(false);
    hasFile_ = ok;
    if (progress) {
        progress->SetText({});
        progress->SetPos(0);
    }
    if (ok) {
        FinishOpen(*image_, lastLoad, [this](int kind) { return NextObjectName(kind); });
        NotifyObjectsChanged();
        NotifyDefaultMode();
    }
    return ok;
}

void COrvaneDoc::AddUndo(std::unique_ptr<CUndoAction> action) {
    if (!action) return;
    action->SetDocument(this);
    undo_.Add(std::move(action));
    recordedState_ = undo_.State();
    NotifyHistoryChanged();
}

void COrvaneDoc::SetModifiedFlag(bool modified) {
    const std::uint64_t saved = savedState_;
    const bool hadFile = hasFile_;
    if (!modified) {
        savedState_ = undo_.State();
        modified_ = false;
        hasFile_ = true;
    } else {
        if (undo_.State() != recordedState_) savedState_ = kNoState;
        modified_ = true;
        ++changes_;
    }
    if (savedState_ != saved || hasFile_ != hadFile) NotifyHistoryChanged();
}

void COrvaneDoc::OnEditUndo() {
    if (!undo_.PeekUndo()) return;
    undo_.Undo();
    recordedState_ = kNoState;
    modified_ = undo_.State() != savedState_;
    ++changes_;
    NotifyHistoryChanged();
}

void COrvaneDoc::OnEditRedo() {
    if (!undo_.PeekRedo()) return;
    undo_.Redo();
    recordedState_ = kNoState;
    modified_ = undo_.State() != savedState_;
    ++changes_;
    NotifyHistoryChanged();
}

void COrvaneDoc::JumpTo(std::size_t steps) {
    const std::size_t all = undo_.UndoCount() + undo_.RedoCount();
    if (steps > all || steps == undo_.UndoCount()) return;
    ++holding_;
    while (undo_.UndoCount() > steps)
        undo_.Undo();
    while (undo_.UndoCount() < steps)
        undo_.Redo();
    recordedState_ = kNoState;
    modified_ = undo_.State() != savedState_;
    ++changes_;
    --holding_;
    if (holding_ == 0) {
        std::vector<void (IDocObserver::*)()> events;
        events.swap(held_);
        events.push_back(&IDocObserver::HistoryChanged);
        for (std::size_t i = 0; i < events.size(); ++i)
            if (std::find(events.begin(), events.begin() + static_cast<std::ptrdiff_t>(i), events[i]) ==
                events.begin() + static_cast<std::ptrdiff_t>(i))
                Notify(events[i]);
    }
}

void COrvaneDoc::SetSettings(const CAppSettings* settings) {
    settings_ = settings;
    undo_.SetSettings(settings);
}

const CAppSettings& COrvaneDoc::Settings() const {
    static const CAppSettings builtIn;
    return settings_ ? *settings_ : builtIn;
}

std::optional<Region>& COrvaneDoc::AddView(COrvaneView* view) {
    if (view && std::find(views_.begin(), views_.end(), view) == views_.end()) views_.push_back(view);
    return selections_[view];
}

void COrvaneDoc::RemoveView(COrvaneView* view) {
    std::erase(views_, view);
    selections_.erase(view);
}

std::optional<Region>* COrvaneDoc::SelectionOf(const COrvaneView* view) {
    if (!view || !FindView(view)) return nullptr;
    auto it = selections_.find(view);
    return it == selections_.end() ? nullptr : &it->second;
}

void COrvaneDoc::Subscribe(IDocObserver* observer) {
    if (observer && std::find(observers_.begin(), observers_.end(), observer) == observers_.end())
        observers_.push_back(observer);
}

void COrvaneDoc::Unsubscribe(IDocObserver* observer) {
    std::erase(observers_, observer);
}

void COrvaneDoc::Notify(void (IDocObserver::*event)()) {
    if (holding_ > 0) {
        held_.push_back(event);
        return;
    }
    // Observers may unsubscribe while being told; walk a copy.
    for (IDocObserver* o : std::vector<IDocObserver*>(observers_))
        (o->*event)();
}

// Events that carry what they are about reach the observers at once, even during a jump: the
// views keep their handles, outlines and scroll sizes in step with every step.
template <class Event> void COrvaneDoc::NotifyNow(const Event& event) {
    for (IDocObserver* o : std::vector<IDocObserver*>(observers_))
        event(o);
}

void COrvaneDoc::NotifyObjectsChanged() {
    Notify(&IDocObserver::ObjectsChanged);
}
void COrvaneDoc::NotifyObjectsRepainted() {
    Notify(&IDocObserver::ObjectsRepainted);
}
void COrvaneDoc::NotifySelectionChanged() {
    Notify(&IDocObserver::SelectionChanged);
}
void COrvaneDoc::NotifyDefaultMode() {
    Notify(&IDocObserver::DefaultModeRequested);
}
void COrvaneDoc::NotifyHistoryChanged() {
    Notify(&IDocObserver::HistoryChanged);
}
void COrvaneDoc::NotifyCanvasInvalidated() {
    Notify(&IDocObserver::CanvasInvalidated);
}
void COrvaneDoc::NotifyCanvasResized() {
    NotifyNow([](IDocObserver* o) { o->CanvasResized(); });
}
void COrvaneDoc::NotifyObjectPlaced(const CDrawObj& obj) {
    NotifyNow([&obj](IDocObserver* o) { o->ObjectPlaced(obj); });
}
void COrvaneDoc::NotifyObjectAreaChanged(const CDrawObj& obj) {
    NotifyNow([&obj](IDocObserver* o) { o->ObjectAreaChanged(obj); });
}
void COrvaneDoc::NotifyObjectsRemoved() {
    NotifyNow([](IDocObserver* o) { o->ObjectsRemoved(); });
}
void COrvaneDoc::NotifySelectionRegionRestored(const COrvaneView* view) {
    NotifyNow([view](IDocObserver* o) { o->SelectionRegionRestored(view); });
}

} // namespace zepho
