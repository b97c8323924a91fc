// The Transform menu's effect dialogs: sliders and spin boxes in step over an effect model that
// previews every change on the selected images.
#pragma once

#include "edit/dialogs/EffectModel.h"

#include <QDialog>

#include <vector>

class QGridLayout;
class QGroupBox;
class QRadioButton;
class QSlider;
class QSpinBox;
class QVBoxLayout;

namespace zepho {

class EffectDialog : public QDialog {
    Q_OBJECT
public:
    EffectDialog(CEffectModel& model, QWidget* parent = nullptr);
    ~EffectDialog() override;

    CEffectModel& Model() const { return model_; }
    // True when OK recorded an undo step.
    bool Recorded() const { return recorded_; }
    // OK keeps the preview as one undo step, anything else gives the images back.
    void done(int result) override;

    QGroupBox* group = nullptr;
    // One per control of the model; a control without a slider has none.
    std::vector<QSlider*> sliders;
    std::vector<QSpinBox*> spins;
    // Emboss: Right, Up, Left, Down and Custom angle.
    QRadioButton* directions[5] = {};

protected:
    void showEvent(QShowEvent* event) override;

private:
    void AddControl(int i, const char* label, QGridLayout* grid, int row);
    void AddDirections(QVBoxLayout* layout);

    CEffectModel& model_;
    bool recorded_ = false;
    bool placed_ = false;
};

// Opens the dialog of this kind over the document's selected images (after the conversion
// question for shapes). True when OK recorded an undo step.
bool RunEffectDialog(QWidget* parent, COrvaneDoc& doc, EffectKind kind, IUiHost& ui);

} // namespace zepho
