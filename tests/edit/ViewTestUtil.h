// A view host that records everything a view asks of its widget, and a document fixture
// whose view is laid out in a 300 x 200 window.
#pragma once

#include "edit/UndoTestUtil.h"
#include "edit/tools/Tool.h"
#include "support/ScriptedUiHost.h"

#include <algorithm>
#include <string>
#include <vector>

namespace zepho::test {

struct ViewHostLog : RecordingHost {
    POINT scroll{};
    int captures = 0, releases = 0, cursor = -1, coloursChanged = 0;
    std::vector<std::pair<ContextMenu, POINT>> menus;
    std::string status;
    std::vector<CDrawObj*> propertySheets, textEditors;
    std::vector<PickedColour> picked;
    std::vector<int> toolsShown;
    // What the text editor does with its object: confirm (after giving it a raster) or cancel.
    bool confirmText = false;

    SIZE total{};
    POINT ScrollPosition() const override { return scroll; }
    void SetScrollSizes(SIZE t, bool h, bool v) override {
        total = t;
        RecordingHost::SetScrollSizes(t, h, v);
    }
    // As a scroll bar does: within 0 .. extent - window.
    void ScrollTo(POINT p) override {
        scroll.x = std::clamp<LONG>(p.x, 0, std::max<LONG>(0, total.cx - client.cx));
        scroll.y = std::clamp<LONG>(p.y, 0, std::max<LONG>(0, total.cy - client.cy));
    }
    void CaptureMouse() override { ++captures; }
    void ReleaseMouse() override { ++releases; }
    void SetCursor(int id) override { cursor = id; }
    void ShowContextMenu(ContextMenu m, POINT p) override { menus.emplace_back(m, p); }
    void SetStatusText(const std::string& s) override { status = s; }
    void OpenProperties(CDrawObj& obj) override { propertySheets.push_back(&obj); }
    bool OpenTextEditor(CDrawObj& obj) override {
        textEditors.push_back(&obj);
        if (confirmText) obj.content->SetRaster(CreateSolidDIB(12, 8, RGB(0, 0, 0), 255));
        return confirmText;
    }
    void PaintColoursChanged() override { ++coloursChanged; }
    void ShowPickedColour(const PickedColour& c) override { picked.push_back(c); }
    void ToolChanged(int n) override { toolsShown.push_back(n); }
};

struct ViewFixture {
    CAppSettings settings;
    COrvaneDoc doc;
    ViewHostLog host;
    ScriptedUiHost ui;
    CPaintColours colours;
    std::unique_ptr<COrvaneView> view;

    ViewFixture(int w = 100, int h = 80) {
        settings.UndoMaxTimes = 1000;
        doc.SetSettings(&settings);
        doc.Image().width = w;
        doc.Image().height = h;
        view = std::make_unique<COrvaneView>(doc, &host);
        view->SetUiHost(&ui);
        view->SetPaintColours(&colours);
        view->OnInitialUpdate();
    }
    CDrawObjList& Objects() { return doc.Image().objects; }
    Ref<CDrawObj> Add(Ref<CDrawObj> o) {
        Objects().AddTail(o);
        return o;
    }
    // The client point showing a canvas pixel's top-left corner.
    POINT At(int x, int y) const { return view->LogicalToClient(view->CanvasToLogical(POINT{x, y})); }
    std::size_t UndoCount() const { return doc.UndoManager().UndoCount(); }

    // Mouse gestures in canvas pixels.
    void Click(int x, int y, unsigned keys = 0) {
        view->OnLButtonDown(kMkLButton | keys, At(x, y));
        view->OnLButtonUp(keys, At(x, y));
    }
    void Drag(std::initializer_list<POINT> canvasPath, unsigned keys = 0) {
        auto it = canvasPath.begin();
        view->OnLButtonDown(kMkLButton | keys, At(it->x, it->y));
        POINT last = *it;
        for (++it; it != canvasPath.end(); ++it) {
            view->OnMouseMove(kMkLButton | keys, At(it->x, it->y));
            last = *it;
        }
        view->OnLButtonUp(keys, At(last.x, last.y));
    }
    std::string Label() const {
        return doc.UndoManager().PeekUndo() ? doc.UndoManager().PeekUndo()->GetLabel() : "";
    }
};

} // namespace zepho::test
