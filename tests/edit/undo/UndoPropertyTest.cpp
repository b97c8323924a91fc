// Random sequences of recorded changes: undoing them all gives back the starting document,
// redoing them all the final one. Each case replays from its seed.
#include "edit/UndoTestUtil.h"
#include "edit/document/HistoryRows.h"
#include "edit/undo/UndoCanvas.h"
#include "edit/undo/UndoObjects.h"
#include "edit/undo/UndoTransform.h"
#include "model/DocDump.h"

#include <gtest/gtest.h>

#include <optional>
#include <random>
#include <vector>

using namespace zepho;
using namespace zepho::test;

namespace {
class Session {
public:
    explicit Session(unsigned seed) : rng_(seed) {
        f_.settings.UndoMaxTimes = 1000;
        f_.Add(ImageObject(12, 9, RGB(200, 10, 10), 5, 5));
        f_.Add(ShapeObject(30, 20));
        f_.Add(ImageObject(7, 7, RGB(0, 0, 255), 40, 12));
    }

    std::string Dump() { return DumpDocument(f_.doc.Image(), DumpOptions{false}); }
    COrvaneDoc& Doc() { return f_.doc; }
    const ObserverLog& Log() const { return f_.log; }

    // One command, as the commands will record it.
    void Step() {
        CDrawObjList& list = f_.Objects();
        if (list.IsEmpty()) return NewObject();
        const Ref<CDrawObj> o = list.At(Pick(list.Count()));
        switch (Pick(12)) {
        case 0: {
            auto a = std::make_unique<CMoveUndo>(CMoveUndo::Variant(Pick(8)));
            a->AddObject(o, o->x, o->y);
            o->x += Pick(21) - 10;
            o->y += Pick(21) - 10;
            return Record(std::move(a));
        }
        case 1: {
            auto a = std::make_unique<CShowHideUndo>(Pick(2) == 1);
            a->AddObject(o, o->visible);
            o->visible = !o->visible;
            return Record(std::move(a));
        }
        case 2: {
            auto a = std::make_unique<COpacityUndo>();
            a->AddObject(o, o->transparency);
            o->transparency = static_cast<std::uint8_t>(Pick(256));
            auto l = std::make_unique<CLockUndo>(false);
            l->AddObject(o, o->locked);
            o->locked = !o->locked;
            Record(std::move(a));
            return Record(std::move(l));
        }
        case 3: {
            if (list.Count() < 2) return NewObject();
            auto a = std::make_unique<CObjListUndo>(CObjListUndo::Delete);
            a->Capture(list);
            list.Remove(o.Get());
            return Record(std::move(a));
        }
        case 4:
            return NewObject();
        case 5: {
            auto a = std::make_unique<CZOrderUndo>(CZOrderUndo::ToBack);
            a->Capture(list);
            list.Remove(o.Get());
            list.InsertAt(o, 0);
            return Record(std::move(a));
        }
        case 6: {
            // Trim one pixel off the left and top.
            if (o->content->width < 3 || o->content->height < 3) return;
            auto a = std::make_unique<CRasterEditUndo>(CRasterEditUndo::Trim);
            auto b = std::make_unique<CImageBackup>();
            if (b->Edit(o, CropDIB(o->content->raster, 1, 1, 0, 0), 1, 1)) a->AddRecord(std::move(b));
            return Record(std::move(a));
        }
        case 7: {
            // Negative, converting whatever kind it was.
            PackedDib neg = o->content->raster.Clone();
            for (std::size_t i = 0; i + 3 < neg.Size() - 40; i += 4)
                for (int k = 0; k < 3; ++k)
                    neg.Bits()[i + k] ^= 0xFF;
            auto a = std::make_unique<CImageOpUndo>(CImageOpUndo::Negative);
            auto b = std::make_unique<CImageBackup>();
            if (b->Edit(o, std::move(neg))) a->AddRecord(std::move(b));
            return Record(std::move(a));
        }
        case 8: {
            auto a = CTransformUndo::Create(o);
            const double sx = 0.5 + Pick(4) * 0.25, sy = 0.5 + Pick(4) * 0.25, angle = Pick(4) * 30.0;
            if (o->TransformAbout(20, 20, sx, sy, angle)) Record(std::move(a));
            return;
        }
        case 9: {
            CDocImage& img = f_.doc.Image();
            auto a = std::make_unique<CResizeCanvasUndo>(img.width, img.height);
            img.width += Pick(20);
            img.height += Pick(20);
            for (const auto& obj : list) {
                a->AddObject(obj, obj->x, obj->y);
                obj->x += 3;
            }
            return Record(std::move(a));
        }
        case 10: {
            auto a = std::make_unique<CPropertiesUndo>(o, ObjectProperties::Of(*o),
                                                       ShapeProperties::Of(*o->content));
            o->content->name += "'";
            o->y -= 2;
            if (o->content->HasShadow())
                o->content->FreeShadow();
            else
                o->content->UpdateShadow();
            if (auto* s = dynamic_cast<FakeShape*>(o->content->shape.Get())) {
                s->colour ^= 0x00FF00;
                o->content->SetRaster(s->Render());
            }
            return Record(std::move(a));
        }
        default: {
            auto a = std::make_unique<CCutDeleteUndo>(CCutDeleteUndo::Delete);
            a->AddRecord(CObjectRemoval::Remove(f_.doc, o));
            if (list.Count() > 1) a->AddRecord(CObjectRemoval::Remove(f_.doc, list.At(Pick(list.Count()))));
            return Record(std::move(a));
        }
        }
    }

private:
    int Pick(int n) { return std::uniform_int_distribution<int>(0, n - 1)(rng_); }
    void Record(std::unique_ptr<CUndoAction> a) { f_.doc.AddUndo(std::move(a)); }
    void NewObject() {
        auto a =
            std::make_unique<CObjListUndo>(Pick(2) ? CObjListUndo::NewObject : CObjListUndo::PaintRectangle);
        a->Capture(f_.Objects());
        f_.Add(Pick(2) ? ShapeObject(Pick(50), Pick(50))
                       : ImageObject(4 + Pick(8), 4 + Pick(8), Pick(0xFFFFFF)));
        Record(std::move(a));
    }

    UndoFixture f_;
    std::mt19937 rng_;
};
} // namespace

TEST(UndoProperty, UndoAllGivesTheStartRedoAllTheEnd) {
    test::ExpectUndoRedoRoundTrip<Session>(60, 30);
}

// New changes interleaved with undos, redos and saves, checked against a plain list of the
// states the document went through: every step shows the state the list says, a new change
// leaves nothing to redo, and the document is unmodified exactly at the saved state.
TEST(UndoProperty, InterleavedChangesFollowTheirReplay) {
    for (unsigned seed = 1; seed <= 40; ++seed) {
        SCOPED_TRACE("seed " + std::to_string(seed));
        Session s(seed);
        std::mt19937 rng(seed * 7919u);
        auto pick = [&rng](int n) { return std::uniform_int_distribution<int>(0, n - 1)(rng); };
        COrvaneDoc& doc = s.Doc();
        CUndoManager& m = doc.UndoManager();
        doc.SetModifiedFlag(false); // as opened
        // The states in history order; a state inside a multi-action step is not known.
        std::vector<std::optional<std::string>> states{s.Dump()};
        std::size_t pos = 0;
        std::optional<std::size_t> saved = 0;
        for (int i = 0; i < 80; ++i) {
            const int what = pick(10);
            if (what < 3 && m.PeekUndo()) {
                doc.OnEditUndo();
                --pos;
            } else if (what < 5 && m.PeekRedo()) {
                doc.OnEditRedo();
                ++pos;
            } else if (what == 5) {
                doc.SetModifiedFlag(false);
                saved = pos;
            } else {
                const std::string before = s.Dump();
                const std::size_t count = m.UndoCount();
                s.Step();
                const std::size_t added = m.UndoCount() - count;
                if (added == 0) {
                    ASSERT_EQ(s.Dump(), before);
                    continue;
                }
                doc.SetModifiedFlag();
                states.resize(pos + 1);
                if (saved && *saved > pos) saved.reset();
                for (std::size_t k = 1; k < added; ++k)
                    states.emplace_back();
                states.push_back(s.Dump());
                pos = states.size() - 1;
                ASSERT_FALSE(m.PeekRedo());
            }
            ASSERT_EQ(m.UndoCount(), pos);
            ASSERT_EQ(m.RedoCount(), states.size() - 1 - pos);
            if (states[pos]) ASSERT_EQ(s.Dump(), *states[pos]) << "step " << i;
            ASSERT_EQ(doc.IsModified(), saved != pos) << "step " << i;
        }
        while (m.PeekUndo())
            doc.OnEditUndo();
        ASSERT_EQ(s.Dump(), *states.front());
        ASSERT_EQ(doc.IsModified(), saved != std::size_t{0});
    }
}

// A jump to any row of the history gives the document that as many single undos or redos give,
// tells the observers once, and the rows follow: the current one, the redoable ones after it and
// the saved state wherever it was saved.
TEST(UndoProperty, JumpsEqualSingleSteps) {
    struct HistoryLog : IDocObserver {
        int history = 0;
        void HistoryChanged() override { ++history; }
    };
    for (unsigned seed = 1; seed <= 30; ++seed) {
        SCOPED_TRACE("seed " + std::to_string(seed));
        Session s(seed);
        COrvaneDoc& doc = s.Doc();
        CUndoManager& m = doc.UndoManager();
        for (int i = 0; i < 25; ++i)
            s.Step();
        const std::size_t n = m.UndoCount();
        // The dumps row by row, by single undos from the end.
        std::vector<std::string> dumps(n + 1);
        dumps[n] = s.Dump();
        for (std::size_t k = n; k > 0; --k) {
            doc.OnEditUndo();
            dumps[k - 1] = s.Dump();
        }
        std::mt19937 rng(seed * 104729u);
        const std::size_t saved = std::uniform_int_distribution<std::size_t>(0, n)(rng);
        doc.JumpTo(saved);
        doc.SetModifiedFlag(false);
        HistoryLog heard;
        doc.Subscribe(&heard);
        for (int jump = 0; jump < 12; ++jump) {
            const std::size_t to = std::uniform_int_distribution<std::size_t>(0, n)(rng);
            const int before = heard.history, changed = s.Log().changed, repainted = s.Log().repainted;
            const std::size_t from = m.UndoCount();
            doc.JumpTo(to);
            ASSERT_EQ(s.Dump(), dumps[to]) << "from " << from << " to " << to;
            ASSERT_EQ(m.UndoCount(), to);
            ASSERT_EQ(m.RedoCount(), n - to);
            ASSERT_EQ(doc.IsModified(), to != saved);
            ASSERT_EQ(heard.history - before, from == to ? 0 : 1);
            ASSERT_LE(s.Log().changed - changed, 1);
            ASSERT_LE(s.Log().repainted - repainted, 1);
            const std::vector<CHistoryRow> rows = HistoryRows(doc);
            ASSERT_EQ(rows.size(), n + 1);
            for (std::size_t r = 0; r <= n; ++r) {
                ASSERT_EQ(rows[r].current, r == to);
                ASSERT_EQ(rows[r].redoable, r > to);
                ASSERT_EQ(rows[r].saved, r == saved) << r;
            }
            // Undo and redo from there agree with the rows.
            if (to > 0) {
                doc.OnEditUndo();
                ASSERT_EQ(s.Dump(), dumps[to - 1]);
                ASSERT_TRUE(HistoryRows(doc)[to - 1].current);
                doc.OnEditRedo();
            }
        }
        doc.Unsubscribe(&heard);
    }
}
