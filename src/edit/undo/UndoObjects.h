// Undo actions for object properties and for the set and order of objects in the frame.
#pragma once

#include "edit/undo/Undo.h"
#include "model/DrawObjList.h"

#include <string>
#include <utility>
#include <vector>

namespace zepho {

// Visibility changes from the objects panel.
class CShowHideUndo : public CUndoAction {
public:
    // selectionMode: the command acted on the panel's selected items.
    explicit CShowHideUndo(bool selectionMode);
    void AddObject(Ref<CDrawObj> obj, int visible);
    void Undo() override;
    void Redo() override;
    void TallyRasters(CRasterTally& tally) const override {
        for (const auto& e : entries_)
            tally.AddObject(e.first.Get());
    }
    std::size_t Count() const { return entries_.size(); }

private:
    void Exchange();
    std::vector<std::pair<Ref<CDrawObj>, int>> entries_;
    bool selectionMode_;
};

class CLockUndo : public CUndoAction {
public:
    explicit CLockUndo(bool selectionMode);
    void AddObject(Ref<CDrawObj> obj, int locked);
    void Undo() override;
    void Redo() override;
    void TallyRasters(CRasterTally& tally) const override {
        for (const auto& e : entries_)
            tally.AddObject(e.first.Get());
    }

private:
    void Exchange();
    std::vector<std::pair<Ref<CDrawObj>, int>> entries_;
    bool selectionMode_;
};

class CMoveUndo : public CUndoAction {
public:
    enum Variant { Move, AlignTop, AlignBottom, AlignLeft, AlignRight, CenterVert, CenterHorz, CenterBoth };
    static const char* LabelOf(Variant v);

    explicit CMoveUndo(Variant v = Move);
    void AddObject(Ref<CDrawObj> obj, int left, int top);
    void Undo() override;
    void Redo() override;
    void TallyRasters(CRasterTally& tally) const override {
        for (const auto& e : entries_)
            tally.AddObject(e.obj.Get());
    }
    Variant GetVariant() const { return variant_; }

private:
    struct Entry {
        Ref<CDrawObj> obj;
        int left, top;
    };
    void Exchange();
    std::vector<Entry> entries_;
    Variant variant_;
};

class COpacityUndo : public CUndoAction {
public:
    COpacityUndo();
    void AddObject(Ref<CDrawObj> obj, std::uint8_t transparency);
    void Undo() override;
    void Redo() override;
    void TallyRasters(CRasterTally& tally) const override {
        for (const auto& e : entries_)
            tally.AddObject(e.first.Get());
    }

private:
    void Exchange();
    std::vector<std::pair<Ref<CDrawObj>, std::uint8_t>> entries_;
};

// Changes to which objects the frame holds: keeps the whole list before the change and its
// selected objects, and exchanges them with the live ones.
class CObjListUndo : public CUndoAction {
public:
    enum Variant {
        NewObject,
        Duplicate,
        Delete,
        Combine,
        Paste,
        AddText,
        PaintRectangle,
        PaintEllipse,
        PaintPolygon,
        AddImageFiles,
        AddAvi,
        CaptureFullScreen
    };
    static const char* LabelOf(Variant v);

    explicit CObjListUndo(Variant v);
    // Called before the change with the frame's list.
    void Capture(const CDrawObjList& objects);
    void Undo() override;
    void Redo() override;
    void TallyRasters(CRasterTally& tally) const override {
        tally.AddObjects(list_);
        for (const auto& o : selected_)
            tally.AddObject(o.Get());
    }

    const CDrawObjList& StoredList() const { return list_; }
    const std::vector<Ref<CDrawObj>>& StoredSelection() const { return selected_; }

protected:
    explicit CObjListUndo(const char* label) : CUndoAction(label) {}
    virtual void Exchange();
    void ExchangeList(bool clearOthers);

private:
    CDrawObjList list_;
    std::vector<Ref<CDrawObj>> selected_;
};

// "Make frame as single object": the list exchange plus the visibility the command changed.
class CMakeFrameUndo : public CObjListUndo {
public:
    CMakeFrameUndo();
    void AddObject(Ref<CDrawObj> obj, int visible);

protected:
    void Exchange() override;

private:
    std::vector<std::pair<Ref<CDrawObj>, int>> visible_;
};

// Reordering; unlike the list exchange, restores exactly the stored selection.
class CZOrderUndo : public CObjListUndo {
public:
    enum Variant { ToFront, ToBack, Forward, Backward };
    static const char* LabelOf(Variant v);
    explicit CZOrderUndo(Variant v);

protected:
    void Exchange() override { ExchangeList(true); }
};

// What the property sheet can change on any object.
struct ObjectProperties {
    std::string name;
    int x = 0, y = 0;
    std::uint8_t transparency = 0;
    int locked = 0, visible = 0;
    int filter = 5;
    bool shadowOn = false;
    int shadowType = 4;
    COLORREF shadowColour = 0;
    int shadowOffsetX = 10, shadowOffsetY = 10;
    std::uint8_t shadowSize = 100, shadowTransparency = 0, shadowSmooth = 10;
    std::uint16_t shadowSkew = 30, shadowPerspective = 80;

    static ObjectProperties Of(const CDrawObj& obj);
    // Sets the fields; the shadow raster is left to the caller.
    void ApplyTo(CDrawObj& obj) const;
};

// The kind, the shape and its paint and geometry, as the property sheet found them.
struct ShapeProperties {
    int kind = 0;
    Ref<CObjShape> shape;
    // The shape's own stored record (paint and geometry); for transform sources, whose record
    // would carry the whole source image, the geometry snapshot and filter instead.
    std::vector<BYTE> record;
    CGeometryMemento geometry;
    int sourceFilter = 5;

    static ShapeProperties Of(const CObjContent& content);
};

class CPropertiesUndo : public CUndoAction {
public:
    // The values the sheet kept when it opened; the object now carries the new ones.
    CPropertiesUndo(Ref<CDrawObj> obj, ObjectProperties before, ShapeProperties shapeBefore);
    void Undo() override;
    void Redo() override;
    void TallyRasters(CRasterTally& tally) const override {
        tally.AddObject(obj_.Get());
        tally.AddShape(shape_.shape.Get());
        tally.AddShape(shape_.geometry.shape.Get());
    }

private:
    bool Exchange();
    bool ExchangeShape();
    Ref<CDrawObj> obj_;
    ObjectProperties props_;
    ShapeProperties shape_;
};

} // namespace zepho
