#include "edit/dialogs/EffectModel.h"

#include "edit/commands/CmdCommon.h"
#include "edit/commands/CommandStrings.h"
#include "edit/view/OrvaneView.h"
#include "extlib/ImageTransform.h"
#include "platform/Parallel.h"
#include "raster/Dib.h"
#include "raster/Filters.h"

#include <algorithm>
#include <condition_variable>
#include <cstring>
#include <mutex>
#include <new>
#include <optional>
#include <thread>

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
        return v[0] < 2 ? start.Share() : BoxBlur(start, v[0]);
    case EffectKind::GaussianBlur:
        return v[0] < 2 ? start.Share() : GaussianBlur(start, v[0]);
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

namespace {

// The mean of every f x f block (fewer pixels at the right and bottom edges), all four channels,
// rounded: the image as a view reduced f times sees it.
PackedDib Reduce(const PackedDib& src, int f) {
    if (!src.Is32()) return {};
    const int w = src.Width(), h = src.Height();
    const int rw = (w + f - 1) / f, rh = (h + f - 1) / f;
    PackedDib out = CreateDIB(rw, rh, 32);
    if (!out) return out;
    ParallelFor(rh, RowGrain(rw * f * f), [&](std::ptrdiff_t begin, std::ptrdiff_t end) {
        std::vector<std::uint32_t> sums(4 * static_cast<std::size_t>(rw));
        for (std::ptrdiff_t ry = begin; ry < end; ++ry) {
            const int y0 = static_cast<int>(ry) * f, y1 = std::min(h, y0 + f);
            std::fill(sums.begin(), sums.end(), 0u);
            for (int y = y0; y < y1; ++y) {
                const BYTE* p = src.Row(y);
                for (int x = 0, bx = 0, k = 0; x < w; ++x, p += 4) {
                    std::uint32_t* s = &sums[4 * static_cast<std::size_t>(bx)];
                    s[0] += p[0];
                    s[1] += p[1];
                    s[2] += p[2];
                    s[3] += p[3];
                    if (++k == f) k = 0, ++bx;
                }
            }
            BYTE* o = out.Row(static_cast<int>(ry));
            for (int bx = 0; bx < rw; ++bx) {
                const std::uint32_t n =
                    static_cast<std::uint32_t>((std::min(w, (bx + 1) * f) - bx * f) * (y1 - y0));
                for (int c = 0; c < 4; ++c)
                    o[4 * bx + c] =
                        static_cast<BYTE>((sums[4 * static_cast<std::size_t>(bx) + c] + n / 2) / n);
            }
        }
    });
    return out;
}

// Every pixel of a reduced image spread over its f x f block of a w x h image, written over
// `out` when that is a 32-bit image of that size.
PackedDib Enlarge(const PackedDib& small, int f, int w, int h, PackedDib out) {
    if (!small.Is32()) return {};
    if (!out.Is32() || out.Width() != w || out.Height() != h) out = CreateDIB(w, h, 32);
    if (!out) return out;
    out.Detach(); // a spare may still share its pixels; the threads write through it
    ParallelFor(h, RowGrain(w), [&](std::ptrdiff_t begin, std::ptrdiff_t end) {
        for (std::ptrdiff_t y = begin; y < end; ++y) {
            const auto* s = reinterpret_cast<const std::uint32_t*>(small.Row(static_cast<int>(y) / f));
            auto* o = reinterpret_cast<std::uint32_t*>(out.Row(static_cast<int>(y)));
            for (int x = 0, k = 0; x < w; ++x) {
                o[x] = *s;
                if (++k == f) k = 0, ++s;
            }
        }
    });
    return out;
}

// The values that give a reduced image the look the full one gets: sizes shrink with it.
std::vector<int> QuickValues(EffectKind kind, std::vector<int> v, int f) {
    if ((kind == EffectKind::Blur || kind == EffectKind::GaussianBlur) && !v.empty())
        v[0] = std::max(1, (v[0] + f / 2) / f);
    return v;
}

// What the shadow of an object is made with; the worker builds shadows from a copy.
struct ShadowSettings {
    std::int32_t type, offsetX, offsetY;
    std::uint8_t size, transparency, smooth;
    COLORREF colour;
    std::uint16_t skew, perspective;

    explicit ShadowSettings(const CObjContent& c)
        : type(c.shadowType), offsetX(c.shadowOffsetX), offsetY(c.shadowOffsetY), size(c.shadowSize),
          transparency(c.shadowTransparency), smooth(c.shadowSmooth), colour(c.shadowColour),
          skew(c.shadowSkew), perspective(c.shadowPerspective) {}
    void ApplyTo(CObjContent& c) const {
        c.shadowType = type;
        c.shadowOffsetX = offsetX;
        c.shadowOffsetY = offsetY;
        c.shadowSize = size;
        c.shadowTransparency = transparency;
        c.shadowSmooth = smooth;
        c.shadowColour = colour;
        c.shadowSkew = skew;
        c.shadowPerspective = perspective;
    }
};

} // namespace

struct CEffectModel::Result {
    std::uint64_t generation = 0;
    bool exact = false;
    // One per object; an empty one leaves the object as it is.
    std::vector<PackedDib> rasters;
    // Exact results only, for the objects whose shadow is on.
    std::vector<PackedDib> shadows;
    std::vector<POINT> shadowPos;
};

struct CEffectModel::Job {
    std::uint64_t generation = 0;
    std::vector<int> values;
    // The view's reduction; 1: no quick preview.
    int factor = 1;
    // Only the copies and reductions every preview needs, no result.
    bool prepareOnly = false;
};

struct CEffectModel::Worker {
    // Set on the owner's thread before the thread starts, read-only afterwards.
    EffectKind kind = EffectKind::Blur;
    // The objects' images and shadows as they were; read once, to copy them, before any result.
    std::vector<const PackedDib*> sources, shadowSources;
    std::vector<ShadowSettings> shadowSettings;
    std::vector<bool> shadowOn;

    // The thread's own until it ends, then the owner's: the unchanged images and shadows.
    std::vector<PackedDib> starts, startShadows;
    bool taken = false;
    int reducedFactor = 0;
    std::vector<PackedDib> reduced;

    std::thread thread;
    mutable std::mutex lock;
    std::condition_variable wake, news;
    // Guarded by lock.
    std::optional<Job> pending;
    std::optional<Result> ready;
    bool running = false, preparing = false, quit = false;
    // Images the objects showed before, to be written over by quick previews: a fresh block of
    // this size costs more in page faults than the preview itself.
    std::vector<PackedDib> spares;
    std::uint64_t runningGeneration = 0, stopped = 0;
    int runningFactor = 1;
    ParallelWatch* exactWatch = nullptr;
    std::size_t entriesDone = 0;
    // Quick previews are short and never given up for a newer request, only when the model closes.
    ParallelWatch quickWatch;

    std::mutex listenerLock;
    std::function<void()> listener;

    void Notify() {
        std::lock_guard<std::mutex> hold(listenerLock);
        if (listener) listener();
    }

    void Publish(Result result) {
        {
            std::lock_guard<std::mutex> hold(lock);
            if (!ready || result.generation > ready->generation ||
                (result.generation == ready->generation && result.exact))
                ready = std::move(result);
        }
        news.notify_all();
        Notify();
    }

    void Run() {
        for (;;) {
            Job job;
            {
                std::unique_lock<std::mutex> hold(lock);
                wake.wait(hold, [&] { return quit || pending; });
                if (quit) return;
                job = std::move(*pending);
                pending.reset();
                running = true;
                preparing = job.prepareOnly;
                runningFactor = job.factor;
                runningGeneration = job.generation;
            }
            RunJob(job);
            {
                std::lock_guard<std::mutex> hold(lock);
                running = false;
            }
            news.notify_all();
            Notify();
        }
    }

    PackedDib Spare(int w, int h) {
        std::lock_guard<std::mutex> hold(lock);
        for (PackedDib& s : spares)
            if (s.Width() == w && s.Height() == h) {
                PackedDib found = std::move(s);
                std::swap(s, spares.back());
                spares.pop_back();
                return found;
            }
        return {};
    }

    void TakeStarts() {
        const std::size_t n = sources.size();
        starts.resize(n);
        startShadows.resize(n);
        // The pixels are shared, not copied: a later write to the object's raster copies it.
        for (std::size_t i = 0; i < n; ++i) {
            starts[i] = sources[i]->Share();
            if (shadowSources[i]) startShadows[i] = shadowSources[i]->Share();
        }
        taken = true;
    }

    void RunJob(const Job& job) {
        try {
            if (!taken) TakeStarts();
            if (job.factor > 1 && taken && !RunQuick(job)) return;
        } catch (const std::bad_alloc&) {
            // Without memory for a quick preview the exact one may still be made.
        }
        if (!job.prepareOnly) RunExact(job);
    }

    // False when the model closes meanwhile.
    bool RunQuick(const Job& job) {
        const std::size_t n = starts.size();
        ParallelWatchScope scope(&quickWatch);
        if (reducedFactor != job.factor) {
            reducedFactor = 0;
            reduced.clear();
            for (const PackedDib& s : starts)
                reduced.push_back(Reduce(s, job.factor));
            reducedFactor = job.factor;
        }
        if (job.prepareOnly) {
            // Blocks for the first quick previews, their pages already touched.
            for (std::size_t i = 0; i < n && !quickWatch.Cancelled(); ++i) {
                PackedDib spare = Enlarge(reduced[i], job.factor, starts[i].Width(), starts[i].Height(), {});
                std::lock_guard<std::mutex> hold(lock);
                if (spares.size() < n) spares.push_back(std::move(spare));
            }
            return !quickWatch.Cancelled();
        }
        Result r;
        r.generation = job.generation;
        r.rasters.resize(n);
        const std::vector<int> values = QuickValues(kind, job.values, job.factor);
        for (std::size_t i = 0; i < n && !quickWatch.Cancelled(); ++i)
            if (PackedDib small = ApplyEffect(kind, reduced[i], values))
                r.rasters[i] = Enlarge(small, job.factor, starts[i].Width(), starts[i].Height(),
                                       Spare(starts[i].Width(), starts[i].Height()));
        if (quickWatch.Cancelled()) return false;
        Publish(std::move(r));
        return true;
    }

    void RunExact(const Job& job) {
        const std::size_t n = sources.size();
        ParallelWatch watch;
        {
            std::lock_guard<std::mutex> hold(lock);
            // A newer request makes this one's exact preview useless.
            if (quit || pending || stopped >= job.generation) return;
            exactWatch = &watch;
            entriesDone = 0;
        }
        Result r;
        r.generation = job.generation;
        r.exact = true;
        r.rasters.resize(n);
        r.shadows.resize(n);
        r.shadowPos.resize(n);
        {
            ParallelWatchScope scope(&watch);
            // Without the copies (no memory) every object keeps what it shows.
            for (std::size_t i = 0; i < n && taken && !watch.Cancelled(); ++i) {
                watch.RestartCount();
                try {
                    PackedDib out = ApplyEffect(kind, starts[i], job.values);
                    if (out && shadowOn[i]) {
                        CObjContent c;
                        shadowSettings[i].ApplyTo(c);
                        c.SetRaster(std::move(out));
                        c.UpdateShadow();
                        out = std::move(c.raster);
                        r.shadows[i] = std::move(c.shadowRaster);
                        r.shadowPos[i] = {c.shadowPosX, c.shadowPosY};
                    }
                    r.rasters[i] = std::move(out);
                } catch (const std::bad_alloc&) {
                    r.rasters[i].Reset();
                    r.shadows[i].Reset();
                }
                std::lock_guard<std::mutex> hold(lock);
                ++entriesDone;
            }
        }
        {
            std::lock_guard<std::mutex> hold(lock);
            exactWatch = nullptr;
        }
        if (!watch.Cancelled()) Publish(std::move(r));
    }
};

CEffectModel::CEffectModel(COrvaneDoc& doc, EffectKind kind, std::vector<Ref<CDrawObj>> objects)
    : doc_(doc), kind_(kind), worker_(std::make_unique<Worker>()) {
    for (const EffectParam& p : Info().params)
        values_.push_back(p.start);
    worker_->kind = kind;
    for (auto& o : objects) {
        if (!o || !o->content) continue;
        Entry e;
        e.obj = std::move(o);
        CObjContent& c = *e.obj->content;
        e.shape = c.shape;
        e.kind = c.kind;
        worker_->sources.push_back(&c.raster);
        worker_->shadowSources.push_back(c.HasShadow() ? &c.shadowRaster : nullptr);
        worker_->shadowSettings.emplace_back(c);
        worker_->shadowOn.push_back(c.HasShadow());
        entries_.push_back(std::move(e));
    }
}

CEffectModel::~CEffectModel() {
    Cancel();
    StopWorker();
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
    Request(false);
}

int CEffectModel::QuickFactor() const {
    // A view that shows the images reduced gets a quick preview at its own resolution first.
    const COrvaneView* view = doc_.GetView();
    if (!view || view->Zoom() > -2) return 1;
    std::int64_t pixels = 0;
    for (const Entry& e : entries_)
        pixels += std::int64_t{e.obj->content->width} * e.obj->content->height;
    return pixels >= kQuickMinPixels ? -view->Zoom() : 1;
}

void CEffectModel::Prepare() {
    if (closed_ || entries_.empty()) return;
    Job job;
    job.factor = QuickFactor();
    job.prepareOnly = true;
    Submit(std::move(job));
}

void CEffectModel::Request(bool exactOnly) {
    if (closed_ || entries_.empty()) return;
    Job job;
    job.generation = ++generation_;
    job.values = values_;
    if (!exactOnly) job.factor = QuickFactor();
    Submit(std::move(job));
}

void CEffectModel::Submit(Job job) {
    Worker& w = *worker_;
    {
        std::lock_guard<std::mutex> hold(w.lock);
        if (job.prepareOnly && w.pending) return;
        // The exact preview under way for older values is given up, unless it came without a
        // quick one and is past half way: then it is shown first, so that a slider dragged
        // without pause over a large image shown at full size still shows something.
        if (!job.prepareOnly && w.exactWatch) {
            const double done = (static_cast<double>(w.entriesDone) + w.exactWatch->Fraction()) /
                                static_cast<double>(std::max<std::size_t>(entries_.size(), 1));
            if (w.runningFactor > 1 || done < 0.5) w.exactWatch->Cancel();
        }
        w.pending = std::move(job);
    }
    if (!w.thread.joinable()) w.thread = std::thread([&w] { w.Run(); });
    w.wake.notify_all();
}

void CEffectModel::SetListener(std::function<void()> listener) {
    std::lock_guard<std::mutex> hold(worker_->listenerLock);
    worker_->listener = std::move(listener);
}

bool CEffectModel::Poll() {
    if (closed_) return false;
    std::optional<Result> r;
    {
        std::lock_guard<std::mutex> hold(worker_->lock);
        r.swap(worker_->ready);
    }
    // Never back to something older than what the objects show.
    if (!r || r->generation < shown_ || (r->generation == shown_ && (shownExact_ || !r->exact))) return false;
    Show(*r);
    return true;
}

void CEffectModel::Show(Result& r) {
    bool converted = false;
    for (std::size_t i = 0; i < entries_.size(); ++i) {
        // Without a result the object keeps what it shows.
        if (!r.rasters[i]) continue;
        Entry& e = entries_[i];
        CObjContent& c = *e.obj->content;
        if (!e.previewing) {
            // A shape object shows a plain image until the dialog closes.
            e.previewing = true;
            e.shadowPosX = c.shadowPosX;
            e.shadowPosY = c.shadowPosY;
            converted = converted || c.kind != KindImage;
            c.kind = KindImage;
            c.SetShape({});
        }
        PackedDib old = std::move(c.raster);
        c.SetRaster(std::move(r.rasters[i]));
        Recycle(std::move(old));
        // A shadow that is on follows every exact preview; a quick one keeps the last shadow.
        if (r.exact && worker_->shadowOn[i]) {
            c.shadowRaster = std::move(r.shadows[i]);
            c.shadowPosX = r.shadowPos[i].x;
            c.shadowPosY = r.shadowPos[i].y;
        }
    }
    shown_ = r.generation;
    shownExact_ = r.exact;
    Repaint(converted);
}

void CEffectModel::Recycle(PackedDib dib) {
    Worker& w = *worker_;
    std::lock_guard<std::mutex> hold(w.lock);
    // Enough for one preview of every object; more would only hold memory.
    if (!w.quit && dib.Is32() && w.spares.size() < entries_.size()) w.spares.push_back(std::move(dib));
}

bool CEffectModel::Busy() const {
    const Worker& w = *worker_;
    std::lock_guard<std::mutex> hold(w.lock);
    return (w.pending && !w.pending->prepareOnly) || (w.running && !w.preparing) || w.ready;
}

bool CEffectModel::Ready() const {
    return generation_ == 0 || (shownExact_ && shown_ == generation_);
}

void CEffectModel::Finish() {
    if (closed_ || Ready()) return;
    {
        Worker& w = *worker_;
        std::lock_guard<std::mutex> hold(w.lock);
        const bool current = w.stopped < generation_;
        if (current && w.pending && w.pending->generation == generation_) return;
        if (current && w.running && w.runningGeneration == generation_) return;
        if (w.ready && w.ready->generation == generation_ && w.ready->exact) return;
    }
    Request(true);
}

int CEffectModel::Progress() const {
    const Worker& w = *worker_;
    std::lock_guard<std::mutex> hold(w.lock);
    if (w.ready && w.ready->exact && w.ready->generation == generation_) return 100;
    if (!w.exactWatch || w.runningGeneration != generation_ || entries_.empty()) return 0;
    const double done = (static_cast<double>(w.entriesDone) + w.exactWatch->Fraction()) / entries_.size();
    return std::clamp(static_cast<int>(done * 100), 0, 100);
}

void CEffectModel::StopWork() {
    Worker& w = *worker_;
    std::lock_guard<std::mutex> hold(w.lock);
    w.pending.reset();
    w.stopped = generation_;
    if (w.exactWatch) w.exactWatch->Cancel();
}

void CEffectModel::Settle() {
    Worker& w = *worker_;
    while (!closed_) {
        Poll();
        if (Ready()) return;
        Finish();
        std::unique_lock<std::mutex> hold(w.lock);
        w.news.wait(hold, [&] { return w.ready || (!w.pending && !w.running); });
    }
}

void CEffectModel::StopWorker() {
    Worker& w = *worker_;
    if (!w.thread.joinable()) return;
    {
        std::lock_guard<std::mutex> hold(w.lock);
        w.quit = true;
        w.pending.reset();
        w.ready.reset();
        if (w.exactWatch) w.exactWatch->Cancel();
        w.quickWatch.Cancel();
    }
    w.wake.notify_all();
    w.thread.join();
    w.spares.clear();
    w.reduced.clear();
}

bool CEffectModel::Ok() {
    if (closed_) return false;
    Settle();
    closed_ = true;
    StopWorker();
    auto action = std::make_unique<CImageOpUndo>(Info().variant);
    for (std::size_t i = 0; i < entries_.size(); ++i) {
        Entry& e = entries_[i];
        if (!e.previewing) continue;
        auto backup = std::make_unique<CImageBackup>();
        // A shape renders its unchanged image again on undo.
        if (e.shape)
            backup->SetSource(e.obj, e.kind, e.shape);
        else
            backup->SetRaster(e.obj, e.kind, std::move(worker_->starts[i]));
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
    StopWorker();
    bool any = false, converted = false;
    for (std::size_t i = 0; i < entries_.size(); ++i) {
        Entry& e = entries_[i];
        if (!e.previewing) continue;
        CObjContent& c = *e.obj->content;
        converted = converted || e.kind != KindImage;
        c.kind = e.kind;
        c.SetShape(e.shape);
        c.SetRaster(std::move(worker_->starts[i]));
        c.shadowRaster = std::move(worker_->startShadows[i]);
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
