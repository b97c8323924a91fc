// The Transform menu's effect dialogs: sliders and spin boxes in step over an effect model that
// previews every change on the selected images.
#pragma once

#include "edit/dialogs/EffectModel.h"

#include <QDialog>
#include <QTimer>

#include <vector>

class QGridLayout;
class QGroupBox;
class QLabel;
class QProgressBar;
class QPushButton;
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
    // OK keeps the exact preview as one undo step, waiting for it with a progress bar when it is
    // still being computed; Cancel during that wait stops it and returns to the controls.
    // Otherwise anything but OK gives the images back.
    void done(int result) override;
    // True while OK waits for the exact preview.
    bool Applying() const { return applying_; }

    QGroupBox* group = nullptr;
    // One per control of the model; a control without a slider has none.
    std::vector<QSlider*> sliders;
    std::vector<QSpinBox*> spins;
    // Emboss: Right, Up, Left, Down and Custom angle.
    QRadioButton* directions[5] = {};
    // "Working..." while a preview is computed, "Applying..." while OK waits; with its bar.
    QLabel* status = nullptr;
    QProgressBar* progress = nullptr;
    QPushButton* okButton = nullptr;

protected:
    void showEvent(QShowEvent* event) override;

private:
    void AddControl(int i, const char* label, QGridLayout* grid, int row);
    void AddDirections(QVBoxLayout* layout);
    void SetValue(int i, int value);
    // A result or the end of some work on the model's worker.
    void OnWorkerNews();
    void ShowBusy();
    void StopApplying();

    CEffectModel& model_;
    QTimer progressTimer_;
    bool recorded_ = false;
    bool placed_ = false;
    bool applying_ = false;
    bool busyCursor_ = false;
};

// Opens the dialog of this kind over the document's selected images (after the conversion
// question for shapes). True when OK recorded an undo step.
bool RunEffectDialog(QWidget* parent, COrvaneDoc& doc, EffectKind kind, IUiHost& ui);

} // namespace zepho
