// Shared pieces of the command tests: a fixture with a scripted host and an in-memory clipboard.
#pragma once

#include "edit/UndoTestUtil.h"
#include "model/DocDump.h"
#include "support/ScriptedUiHost.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

namespace zepho::test {

class MemoryClipboard : public IClipboard {
public:
    std::optional<std::vector<BYTE>> block;
    PackedDib dib;
    int writes = 0;

    bool SetContents(const std::vector<BYTE>* privateBlock, const PackedDib* d) override {
        ++writes;
        block.reset();
        dib.Reset();
        if (privateBlock) block = *privateBlock;
        if (d) dib = d->Clone();
        return true;
    }
    bool HasPrivate() const override { return block.has_value(); }
    bool GetPrivate(std::vector<BYTE>& out) const override {
        if (!block) return false;
        out = *block;
        return true;
    }
    bool HasDib() const override { return static_cast<bool>(dib); }
    PackedDib GetDib() const override { return dib.Clone(); }
};

struct CmdFixture : UndoFixture {
    ScriptedUiHost ui;

    CmdFixture() { settings.UndoMaxTimes = 1000; }

    Ref<CDrawObj> AddImage(const char* name, int w, int h, int x, int y, bool selected,
                           COLORREF colour = RGB(200, 0, 0)) {
        Ref<CDrawObj> o = ImageObject(w, h, colour, x, y);
        o->content->name = name;
        o->content->selected = selected ? 1 : 0;
        Add(o);
        return o;
    }
    Ref<CDrawObj> AddShape(const char* name, int x, int y, bool selected) {
        Ref<CDrawObj> o = ShapeObject(x, y);
        o->content->name = name;
        o->content->selected = selected ? 1 : 0;
        Add(o);
        return o;
    }
    std::string Dump() const { return DumpDocument(doc.Image(), DumpOptions{false}); }
    // Names bottom to top.
    std::string Order() const {
        std::string s;
        for (const auto& o : doc.Image().objects)
            s += (s.empty() ? "" : ",") + o->content->name;
        return s;
    }
    std::string Label() const {
        return doc.UndoManager().PeekUndo() ? doc.UndoManager().PeekUndo()->GetLabel() : "";
    }
    std::vector<std::string> Messages() const {
        std::vector<std::string> m;
        for (const auto& s : ui.shown)
            m.push_back(s.text);
        return m;
    }
    // Undo gives `before` back, redo `after`, twice over.
    void ExpectUndoRedo(const std::string& before, const std::string& after) {
        for (int i = 0; i < 2; ++i) {
            doc.OnEditUndo();
            EXPECT_EQ(Dump(), before);
            doc.OnEditRedo();
            EXPECT_EQ(Dump(), after);
        }
    }
};

} // namespace zepho::test
