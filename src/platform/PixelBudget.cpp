#include "platform/PixelBudget.h"

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <mutex>

#include <unistd.h>

namespace zepho {

// Shared by the scope that opened it and every ticket charged to it; the last one to let go
// frees it, so rasters may outlive the scope.
class PixelLedger {
public:
    explicit PixelLedger(std::uint64_t limit) : limit_(limit) {}

    void Retain() { refs_.fetch_add(1, std::memory_order_relaxed); }
    void Drop() {
        if (refs_.fetch_sub(1, std::memory_order_acq_rel) == 1) delete this;
    }

    bool Take(std::uint64_t pixels, std::int64_t w, std::int64_t h, std::int64_t planes, bool hold) {
        std::uint64_t used = used_.load(std::memory_order_relaxed);
        for (;;) {
            if (pixels > limit_ || used > limit_ - pixels) {
                Refuse(w, h, planes);
                return false;
            }
            if (!hold) return true;
            if (used_.compare_exchange_weak(used, used + pixels, std::memory_order_relaxed)) break;
        }
        std::uint64_t peak = peak_.load(std::memory_order_relaxed);
        while (used + pixels > peak &&
               !peak_.compare_exchange_weak(peak, used + pixels, std::memory_order_relaxed)) {
        }
        return true;
    }
    void Give(std::uint64_t pixels) { used_.fetch_sub(pixels, std::memory_order_relaxed); }

    void Refuse(std::int64_t w, std::int64_t h, std::int64_t planes) {
        std::lock_guard<std::mutex> lock(mutex_);
        if (refused_) return;
        refused_ = true;
        refusedW_ = w;
        refusedH_ = h;
        refusedPlanes_ = planes;
    }

    std::uint64_t limit_;
    std::atomic<std::uint64_t> used_{0};
    std::atomic<std::uint64_t> peak_{0};
    std::atomic<int> refs_{1};
    std::mutex mutex_;
    bool refused_ = false;
    std::int64_t refusedW_ = 0, refusedH_ = 0, refusedPlanes_ = 1;
    std::vector<std::string> leftOut_;
};

namespace {

thread_local PixelBudgetScope* tCurrent = nullptr;

// width x height x planes, or 0 for a negative factor; saturates instead of wrapping.
std::uint64_t PixelsOf(std::int64_t w, std::int64_t h, std::int64_t planes) {
    if (w <= 0 || h <= 0 || planes <= 0) return 0;
    const auto uw = static_cast<std::uint64_t>(w), uh = static_cast<std::uint64_t>(h),
               up = static_cast<std::uint64_t>(planes);
    const std::uint64_t max = ~std::uint64_t{0};
    if (uw > max / uh) return max;
    const std::uint64_t area = uw * uh;
    return area > max / up ? max : area * up;
}

std::uint64_t HalfMemoryPixels() {
    const long pages = sysconf(_SC_PHYS_PAGES), pageSize = sysconf(_SC_PAGE_SIZE);
    if (pages <= 0 || pageSize <= 0) return kDefaultMaxPixels;
    return static_cast<std::uint64_t>(pages) * static_cast<std::uint64_t>(pageSize) / 2 / 4;
}

} // namespace

std::uint64_t EffectivePixelLimit(std::uint64_t requested) {
    const std::uint64_t want = requested == 0 ? kDefaultMaxPixels : requested;
    return std::min(want, HalfMemoryPixels());
}

PixelTicket::PixelTicket(PixelTicket&& o) noexcept : ledger_(o.ledger_), pixels_(o.pixels_) {
    o.ledger_ = nullptr;
    o.pixels_ = 0;
}

PixelTicket& PixelTicket::operator=(PixelTicket&& o) noexcept {
    if (this != &o) {
        Release();
        ledger_ = o.ledger_;
        pixels_ = o.pixels_;
        o.ledger_ = nullptr;
        o.pixels_ = 0;
    }
    return *this;
}

bool PixelTicket::Charge(std::int64_t width, std::int64_t height, std::int64_t planes) {
    Release();
    PixelBudgetScope* scope = tCurrent;
    if (!scope) return true;
    PixelLedger* ledger = scope->ledger_;
    const std::uint64_t pixels = PixelsOf(width, height, planes);
    if (!ledger->Take(pixels, width, height, planes, true)) return false;
    ledger->Retain();
    ledger_ = ledger;
    pixels_ = pixels;
    return true;
}

void PixelTicket::Release() {
    if (!ledger_) return;
    ledger_->Give(pixels_);
    ledger_->Drop();
    ledger_ = nullptr;
    pixels_ = 0;
}

PixelBudgetScope::PixelBudgetScope(std::uint64_t maxPixels) : previous_(tCurrent) {
    if (previous_) {
        ledger_ = previous_->ledger_;
        ledger_->Retain();
    } else {
        ledger_ = new PixelLedger(EffectivePixelLimit(maxPixels));
        owner_ = true;
    }
    tCurrent = this;
}

PixelBudgetScope::~PixelBudgetScope() {
    tCurrent = previous_;
    ledger_->Drop();
}

std::uint64_t PixelBudgetScope::Limit() const {
    return ledger_->limit_;
}
std::uint64_t PixelBudgetScope::Used() const {
    return ledger_->used_.load();
}
std::uint64_t PixelBudgetScope::Peak() const {
    return ledger_->peak_.load();
}

bool PixelBudgetScope::Refused() const {
    std::lock_guard<std::mutex> lock(ledger_->mutex_);
    return ledger_->refused_;
}
std::int64_t PixelBudgetScope::RefusedWidth() const {
    std::lock_guard<std::mutex> lock(ledger_->mutex_);
    return ledger_->refusedW_;
}
std::int64_t PixelBudgetScope::RefusedHeight() const {
    std::lock_guard<std::mutex> lock(ledger_->mutex_);
    return ledger_->refusedH_;
}
std::int64_t PixelBudgetScope::RefusedPlanes() const {
    std::lock_guard<std::mutex> lock(ledger_->mutex_);
    return ledger_->refusedPlanes_;
}

std::string PixelBudgetScope::RefusalText() const {
    std::lock_guard<std::mutex> lock(ledger_->mutex_);
    if (!ledger_->refused_) return {};
    char text[256];
    if (ledger_->refusedPlanes_ > 1)
        std::snprintf(
            text, sizeof text,
            "too large: an image of %lld x %lld pixels needs %lld times its size in working memory, "
            "over the budget of %llu pixels",
            static_cast<long long>(ledger_->refusedW_), static_cast<long long>(ledger_->refusedH_),
            static_cast<long long>(ledger_->refusedPlanes_),
            static_cast<unsigned long long>(ledger_->limit_));
    else
        std::snprintf(text, sizeof text,
                      "too large: an image of %lld x %lld pixels is over the budget of %llu pixels",
                      static_cast<long long>(ledger_->refusedW_), static_cast<long long>(ledger_->refusedH_),
                      static_cast<unsigned long long>(ledger_->limit_));
    return text;
}

bool PixelBudgetScope::Allows(std::int64_t width, std::int64_t height, std::int64_t planes) {
    return ledger_->Take(PixelsOf(width, height, planes), width, height, planes, false);
}

void PixelBudgetScope::NoteLeftOut(const std::string& what) {
    std::lock_guard<std::mutex> lock(ledger_->mutex_);
    ledger_->leftOut_.push_back(what);
}

const std::vector<std::string>& PixelBudgetScope::LeftOut() const {
    return ledger_->leftOut_;
}

PixelBudgetScope* PixelBudgetScope::Current() {
    return tCurrent;
}

bool PixelBudgetScope::CurrentAllows(std::int64_t width, std::int64_t height, std::int64_t planes) {
    return !tCurrent || tCurrent->Allows(width, height, planes);
}

} // namespace zepho
