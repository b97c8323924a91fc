// The option pages of the selection, eraser, pen, shape, flood-fill and shape-selection tools.
#pragma once

#include <QWidget>

class QCheckBox;
class QToolButton;

namespace zepho {

class CAppSettings;
class NumberBox;

// Page 2: the magic wand.
class SelectionPage : public QWidget {
    Q_OBJECT
public:
    explicit SelectionPage(CAppSettings& s);
    NumberBox* similarity = nullptr;
    QCheckBox* connected = nullptr;
};

// Pages 3 and 4: the eraser and the pen share one layout.
class EraseSettingPage : public QWidget {
    Q_OBJECT
public:
    EraseSettingPage(CAppSettings& s, bool penMode);
    QToolButton* freeLine = nullptr;
    QToolButton* straightLine = nullptr;
    QToolButton* squareCap = nullptr;
    QToolButton* roundCap = nullptr;
    NumberBox* width = nullptr;
    NumberBox* transparency = nullptr;
    QCheckBox* allowTransparent = nullptr;
};

// Page 5: new shapes.
class ShapeSettingPage : public QWidget {
    Q_OBJECT
public:
    explicit ShapeSettingPage(CAppSettings& s);
    // Argument 1 (rectangles) enables the round corner.
    void SetArgument(int argument);
    NumberBox* transparency = nullptr;
    NumberBox* lineWidth = nullptr;
    QCheckBox* fillInside = nullptr;
    NumberBox* roundCorner = nullptr;
    QCheckBox* gradient = nullptr;
    QToolButton* styles[5] = {};

private:
    void ShowStyle();
    CAppSettings& settings_;
    // The style whose button is down, kept while "Gradient" is off.
    int style_ = 1;
};

// Page 7: flood fill.
class FloodFillSettingPage : public QWidget {
    Q_OBJECT
public:
    explicit FloodFillSettingPage(CAppSettings& s);
    NumberBox* transparency = nullptr;
    NumberBox* similarity = nullptr;
    QCheckBox* connected = nullptr;
    QCheckBox* transparentAreas = nullptr;
};

// Page 8: rectangular, elliptic and lasso selections.
class ShapeSelectionPage : public QWidget {
    Q_OBJECT
public:
    explicit ShapeSelectionPage(CAppSettings& s);
    void SetArgument(int argument);
    NumberBox* roundCorner = nullptr;
    QCheckBox* equalSides = nullptr;
};

} // namespace zepho
