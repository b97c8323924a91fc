// The program's icons: themed ones where the desktop has them, otherwise drawn by the program.
#pragma once

#include <QIcon>

namespace zepho {

// The drawing toolbar in its order: default mode, rectangular, elliptical, lasso and magic-wand
// selection, resize and rotate, text, pencil, erase, flood fill, pick colour, rectangle,
// ellipse, polygon, zoom in, zoom out, actual size.
enum class ToolIconId {
    Default,
    RectSelect,
    EllipseSelect,
    Lasso,
    MagicWand,
    Transform,
    Text,
    Pencil,
    Erase,
    Fill,
    Picker,
    Rectangle,
    Ellipse,
    Polygon,
    ZoomIn,
    ZoomOut,
    ActualSize,
    Count
};
QIcon ToolIcon(ToolIconId id);

enum class CommandIconId {
    New,
    Open,
    OpenAvi,
    AddImages,
    Save,
    Print,
    Undo,
    Redo,
    Cut,
    Copy,
    Paste,
    Delete,
    ResizeImage,
    AdjustRgb,
    AdjustHsl,
    GaussianBlur,
    Sharpness,
    Emboss,
    ContextHelp,
    SwapColours,
    DefaultColours,
    Count
};
QIcon CommandIcon(CommandIconId id);

} // namespace zepho
