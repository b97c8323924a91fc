// Shared pieces of the undo tests: a small vector shape, a recording view host and a document
// with a view.
#pragma once

#include "edit/document/OrvaneDoc.h"
#include "edit/view/OrvaneView.h"
#include "model/AppSettings.h"
#include "platform/ByteStream.h"
#include "raster/Dib.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

namespace zepho::test {

// A filled w x h rectangle whose colour is part of its paint; can be told to fail rendering.
struct FakeShape : CObjShape {
    double w = 10, h = 6;
    COLORREF colour = RGB(10, 20, 30);
    bool failRender = false;

    ObjectKind Kind() const override { return KindRectangle; }
    PackedDib Render() override {
        if (failRender) return {};
        const int iw = static_cast<int>(w + 0.5), ih = static_cast<int>(h + 0.5);
        return CreateSolidDIB(iw, ih, colour, 255);
    }
    void GetSize(double& ow, double& oh) const override { ow = w, oh = h; }
    CGeometryMemento CreateTransformUndo() override {
        CGeometryMemento m;
        m.kind = KindRectangle;
        m.scaleX = w;
        m.scaleY = h;
        m.angle = angle;
        m.shape = Ref<CObjShape>(this);
        return m;
    }
    void RestoreGeometry(const CGeometryMemento& m) override { w = m.scaleX, h = m.scaleY, angle = m.angle; }
    PackedDib Transform(double sx, double sy, double a) override {
        const double ow = w, oh = h, oa = angle;
        w *= sx, h *= sy, angle = a;
        PackedDib d = Render();
        if (!d) w = ow, h = oh, angle = oa;
        return d;
    }
    std::size_t Write(ByteWriter& out) const override {
        out.WriteF64(w);
        out.WriteF64(h);
        out.WriteF64(angle);
        out.WriteU32(colour);
        return out.Failed() ? 0 : 28;
    }
    bool Read(ByteReader& in) override {
        DWORD c = 0;
        if (!in.ReadF64(w) || !in.ReadF64(h) || !in.ReadF64(angle) || !in.ReadU32(c)) return false;
        colour = c;
        return true;
    }
    Ref<CObjShape> Clone() const override { return MakeRef<FakeShape>(*this); }
};

struct RecordingHost : IViewHost {
    int invalidatedAll = 0, layouts = 0;
    std::vector<RECT> rects;
    SIZE client{300, 200};
    void InvalidateRect(const RECT& r) override { rects.push_back(r); }
    void InvalidateAll() override { ++invalidatedAll; }
    SIZE ClientSize() const override { return client; }
    POINT ScrollPosition() const override { return {}; }
    void SetScrollSizes(SIZE, bool, bool) override { ++layouts; }
};

struct ObserverLog : IDocObserver {
    int changed = 0, repainted = 0, selection = 0;
    void ObjectsChanged() override { ++changed; }
    void ObjectsRepainted() override { ++repainted; }
    void SelectionChanged() override { ++selection; }
};

inline Ref<CDrawObj> ImageObject(int w, int h, COLORREF colour, int x = 0, int y = 0) {
    Ref<CObjContent> c = MakeRef<CObjContent>(KindImage);
    c->SetRaster(CreateSolidDIB(w, h, colour, 255));
    Ref<CDrawObj> o = MakeRef<CDrawObj>(c);
    o->x = x;
    o->y = y;
    o->visible = 1;
    return o;
}

inline Ref<CDrawObj> ShapeObject(int x = 0, int y = 0) {
    Ref<FakeShape> s = MakeRef<FakeShape>();
    Ref<CObjContent> c = MakeRef<CObjContent>(KindRectangle);
    c->SetShape(s);
    c->SetRaster(s->Render());
    c->name = "Rectangle - 1";
    Ref<CDrawObj> o = MakeRef<CDrawObj>(c);
    o->x = x;
    o->y = y;
    o->visible = 1;
    return o;
}

// A document with a view, an observer and settings the test may change.
struct UndoFixture {
    CAppSettings settings;
    COrvaneDoc doc;
    RecordingHost host;
    std::unique_ptr<COrvaneView> view;
    ObserverLog log;

    UndoFixture() {
        doc.SetSettings(&settings);
        doc.Image().width = 100;
        doc.Image().height = 80;
        view = std::make_unique<COrvaneView>(doc, &host);
        doc.Subscribe(&log);
    }
    ~UndoFixture() { doc.Unsubscribe(&log); }
    CDrawObjList& Objects() { return doc.Image().objects; }
    void Add(const Ref<CDrawObj>& o) { Objects().AddTail(o); }
};

// Random sessions (Session(seed), Step(), Dump(), Doc()): undoing everything must give back the
// start and redoing everything the end, twice over.
template <class Session> void ExpectUndoRedoRoundTrip(unsigned seeds, int steps) {
    for (unsigned seed = 1; seed <= seeds; ++seed) {
        SCOPED_TRACE("seed " + std::to_string(seed));
        Session s(seed);
        const std::string start = s.Dump();
        for (int i = 0; i < steps; ++i)
            s.Step();
        const std::string end = s.Dump();
        CUndoManager& m = s.Doc().UndoManager();
        for (int round = 0; round < 2; ++round) {
            while (m.PeekUndo())
                s.Doc().OnEditUndo();
            ASSERT_EQ(s.Dump(), start);
            while (m.PeekRedo())
                s.Doc().OnEditRedo();
            ASSERT_EQ(s.Dump(), end);
        }
    }
}

} // namespace zepho::test
