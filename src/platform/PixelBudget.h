// The memory budget of reading one document.
//
// While a PixelBudgetScope is open on a thread, every raster created on that thread (PackedDib)
// and every large working buffer (PixelCharge) is counted in pixels against the scope's limit,
// and released from it when freed. A request that would take the count past the limit is refused
// before anything is allocated, and the scope remembers the first refused size so that the user
// can be told. Rasters outlive the scope (they become the document); the count follows them until
// they are freed.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace zepho {

class PixelLedger;

// What the default budget is: 1 gigapixel (4 GB of 32-bit pixels).
constexpr std::uint64_t kDefaultMaxPixels = std::uint64_t{1} << 30;

// The limit actually applied for a requested one: 0 means the default, and no limit exceeds the
// pixels that half of the machine's memory holds at 4 bytes each.
std::uint64_t EffectivePixelLimit(std::uint64_t requested);

// One holding of pixels against a ledger; moves with its raster or buffer.
class PixelTicket {
public:
    PixelTicket() = default;
    PixelTicket(PixelTicket&& o) noexcept;
    PixelTicket& operator=(PixelTicket&& o) noexcept;
    PixelTicket(const PixelTicket&) = delete;
    PixelTicket& operator=(const PixelTicket&) = delete;
    ~PixelTicket() { Release(); }

    // Charges width x height x planes pixels to the ledger of the scope open on this thread (none:
    // nothing is counted and the charge succeeds). False when it would pass the limit.
    bool Charge(std::int64_t width, std::int64_t height, std::int64_t planes = 1);
    void Release();

private:
    PixelLedger* ledger_ = nullptr;
    std::uint64_t pixels_ = 0;
};

class PixelBudgetScope {
public:
    // maxPixels 0 takes the default. A scope opened while another is open on the thread joins
    // that one: the outer limit applies and both see the same results.
    explicit PixelBudgetScope(std::uint64_t maxPixels = 0);
    ~PixelBudgetScope();
    PixelBudgetScope(const PixelBudgetScope&) = delete;
    PixelBudgetScope& operator=(const PixelBudgetScope&) = delete;

    std::uint64_t Limit() const;
    // Pixels held now, and the most held at once so far.
    std::uint64_t Used() const;
    std::uint64_t Peak() const;

    // Whether a request was refused, and its size (width x height x planes).
    bool Refused() const;
    std::int64_t RefusedWidth() const;
    std::int64_t RefusedHeight() const;
    std::int64_t RefusedPlanes() const;
    // "needs W x H pixels ..., over the budget of N pixels" for the first refusal; empty if none.
    std::string RefusalText() const;

    // Checks that `pixels` more could be held without holding them (a reader's early test of the
    // sizes a file declares, and the canvas a document needs to be drawn). A failure counts as a
    // refusal of that size.
    bool Allows(std::int64_t width, std::int64_t height, std::int64_t planes = 1);

    // Objects that were left out of the document, with the reason, for the open to report.
    void NoteLeftOut(const std::string& what);
    const std::vector<std::string>& LeftOut() const;

    // The scope open on this thread, or none.
    static PixelBudgetScope* Current();
    // Allows() of the scope open on this thread; true when there is none.
    static bool CurrentAllows(std::int64_t width, std::int64_t height, std::int64_t planes = 1);

private:
    friend class PixelTicket;
    PixelLedger* ledger_ = nullptr;
    PixelBudgetScope* previous_ = nullptr;
    bool owner_ = false;
};

// A working buffer's share of the budget (blur planes and the like), held for its life.
class PixelCharge {
public:
    PixelCharge(std::int64_t width, std::int64_t height, std::int64_t planes) {
        ok_ = ticket_.Charge(width, height, planes);
    }
    bool Ok() const { return ok_; }

private:
    PixelTicket ticket_;
    bool ok_ = false;
};

} // namespace zepho
