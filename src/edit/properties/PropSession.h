// One opening of the property sheet for one object. The session keeps what the object was when
// the sheet opened, lets the pages preview their changes on the object at once, and closes with
// either one undo step (OK) or everything given back exactly (Cancel).
#pragma once

#include "edit/document/OrvaneDoc.h"
#include "edit/undo/UndoObjects.h"

#include <functional>
#include <vector>

namespace zepho {

class CPropertySession;

// A page of the sheet: it keeps the values it can change and says whether any now differs.
class CPropertyPage {
public:
    explicit CPropertyPage(CPropertySession& session) : session_(session) {}
    virtual ~CPropertyPage() = default;
    CPropertyPage(const CPropertyPage&) = delete;
    CPropertyPage& operator=(const CPropertyPage&) = delete;

    virtual bool Changed() const = 0;

protected:
    CPropertySession& session_;
};

class CPropertySession {
public:
    CPropertySession(COrvaneDoc& doc, Ref<CDrawObj> obj);
    ~CPropertySession();
    CPropertySession(const CPropertySession&) = delete;
    CPropertySession& operator=(const CPropertySession&) = delete;

    COrvaneDoc& Document() const { return doc_; }
    CDrawObj& Object() const { return *obj_; }
    CObjContent& Content() const { return *obj_->content; }

    void AddPage(const CPropertyPage* page) { pages_.push_back(page); }
    bool Changed() const;

    // The view and the objects panel show the object as it is now; `rebuild` when the panel's
    // list must follow (a new name or visibility).
    void Repaint(bool rebuild = false) const;

    // Moves the object by (dx, dy); the centre that re-rendering keeps moves with it.
    void MoveBy(int dx, int dy);

    // Runs `apply` (which changes the shape) and installs the shape's new rendering, centred
    // where the object's geometry was centred. When nothing can be shown, `revert` puts the
    // values back and the object stays as it was; the result is then false.
    bool Rerender(const std::function<void()>& apply, const std::function<void()>& revert);

    // Keeps the object's raster and shadow before the first change to either.
    bool KeepRasters();

    // A plain image gets a transform source, so that it can be scaled and turned from its
    // untouched pixels.
    bool EnsureTransformSource();

    // OK: one properties undo step when anything changed. True when it was recorded.
    bool Ok();
    // Cancel: every kept value back, rasters included.
    void Cancel();

private:
    void RestoreShape();

    COrvaneDoc& doc_;
    Ref<CDrawObj> obj_;
    std::vector<const CPropertyPage*> pages_;

    // What the undo record receives.
    ObjectProperties props_;
    ShapeProperties shapeProps_;
    // What Cancel needs beyond that.
    int kind_ = 0;
    Ref<CObjShape> shape_;
    Ref<CObjShape> shapeCopy_;
    CGeometryMemento geometry_;
    int sourceFilter_ = 5;
    bool rastersKept_ = false;
    PackedDib raster_;
    PackedDib shadow_;
    int shadowPosX_ = 0, shadowPosY_ = 0;
    // The geometric centre that re-rendering keeps.
    double centerX_ = 0, centerY_ = 0;
    bool closed_ = false;
};

} // namespace zepho
