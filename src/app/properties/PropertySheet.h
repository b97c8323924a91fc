// The modal "Properties" sheet of an image, ellipse, rectangle or polygon object. Every control
// previews on the object at once; OK keeps the changes as one undo step, Cancel gives them back.
#pragma once

#include "edit/properties/PropSheet.h"

#include <QDialog>

#include <memory>

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QSlider;
class QTabWidget;
class QToolButton;

namespace zepho {

class BoundBox;
class ColorButton;

class PropertySheetDialog : public QDialog {
    Q_OBJECT
public:
    // The object must be one that CPropertySheetModel::Supports accepts.
    PropertySheetDialog(COrvaneDoc& doc, Ref<CDrawObj> obj, IUiHost& ui, QWidget* parent = nullptr);
    ~PropertySheetDialog() override;

    CPropertySheetModel& Model() { return *model_; }
    // Whether OK recorded an undo step.
    bool Recorded() const { return recorded_; }
    // Shows the model's values in every control.
    void Refresh();

    void accept() override;
    void reject() override;

    enum ShadowField { XOffset, YOffset, Transparency, Size, Smooth, Perspective, Skew, ShadowFieldCount };

    QTabWidget* tabs = nullptr;
    // "General".
    QLineEdit* name = nullptr;
    QCheckBox* visible = nullptr;
    BoundBox* transparency = nullptr;
    BoundBox* left = nullptr;
    BoundBox* top = nullptr;
    QCheckBox* lock = nullptr;
    QLabel* horzLabel = nullptr;
    QLabel* vertLabel = nullptr;
    BoundBox* horz = nullptr;
    BoundBox* vert = nullptr;
    BoundBox* rotate = nullptr;
    QRadioButton* pixel = nullptr;
    QRadioButton* percentage = nullptr;
    QCheckBox* ratio = nullptr;
    QComboBox* filters = nullptr;
    BoundBox* roundness = nullptr;
    // "Fill and Stroke".
    QCheckBox* stroke = nullptr;
    BoundBox* strokeWidth = nullptr;
    ColorButton* strokeColour = nullptr;
    QCheckBox* fill = nullptr;
    ColorButton* fillColour = nullptr;
    QToolButton* styles[6] = {};
    // "Shadow".
    QCheckBox* shadow = nullptr;
    QToolButton* shadowTypes[9] = {};
    ColorButton* shadowColour = nullptr;
    QSlider* shadowSliders[ShadowFieldCount] = {};
    BoundBox* shadowBoxes[ShadowFieldCount] = {};
    QPushButton* okButton = nullptr;
    QPushButton* cancelButton = nullptr;

private:
    QWidget* BuildGeneral();
    QWidget* BuildFillStroke();
    QWidget* BuildShadow();
    void RefreshGeneral();
    void RefreshFillStroke();
    void RefreshShadow();
    // Runs a change and shows its outcome.
    template <class F> void Change(F&& f);
    void SetShadowField(int field, int value);
    int ShadowValue(int field) const;

    IUiHost& ui_;
    std::unique_ptr<CPropertySheetModel> model_;
    bool refreshing_ = false;
    bool recorded_ = false;
    bool closed_ = false;
    // A change is being rendered (on a worker, while this sheet waits): a box's timer that fires
    // meanwhile must not start another one on the same object.
    bool changing_ = false;
};

} // namespace zepho
