// The Resize Image ("Resize Animation") and Resize Canvas dialogs over their field models.
#pragma once

#include "edit/dialogs/ResizeModels.h"

#include <QDialog>

#include <functional>

class QSpinBox;
class QRadioButton;
class QCheckBox;
class QPushButton;

namespace zepho {

// "New size": pixels or percentages, kept in ratio on request.
class SizeFieldsWidget : public QWidget {
    Q_OBJECT
public:
    SizeFieldsWidget(CResizeFields& fields, QWidget* parent = nullptr);
    ~SizeFieldsWidget() override;
    void Refresh();

    QRadioButton* pixels = nullptr;
    QRadioButton* percentage = nullptr;
    QSpinBox* width = nullptr;
    QSpinBox* height = nullptr;
    QSpinBox* widthPct = nullptr;
    QSpinBox* heightPct = nullptr;
    QCheckBox* ratio = nullptr;

private:
    void Hook(QSpinBox* box, std::function<void(int)> set);
    CResizeFields& fields_;
    bool refreshing_ = false;
};

class ResizeImageDialog : public QDialog {
    Q_OBJECT
public:
    ResizeImageDialog(int w0, int h0, const CAppSettings& settings, QWidget* parent = nullptr);
    ~ResizeImageDialog() override;
    CResizeImageModel model;
    SizeFieldsWidget* fields = nullptr;
};

class ResizeCanvasDialog : public QDialog {
    Q_OBJECT
public:
    ResizeCanvasDialog(int w0, int h0, const CAppSettings& settings, QWidget* parent = nullptr);
    ~ResizeCanvasDialog() override;
    CResizeCanvasModel model;
    SizeFieldsWidget* fields = nullptr;
    QRadioButton* byPosition = nullptr;
    QRadioButton* byOffset = nullptr;
    QPushButton* cells[9] = {};
    QSpinBox* horz = nullptr;
    QSpinBox* vert = nullptr;

private:
    void Refresh();
};

} // namespace zepho
