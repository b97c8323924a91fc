// The question at start-up when documents of an instance that ended abnormally were autosaved:
// each with its name, original path, time and a thumbnail; Restore, Delete or Later.
#pragma once

#include "edit/document/Autosave.h"

#include <QDialog>

#include <vector>

class QTreeWidget;

namespace zepho {

class RecoveryDialog : public QDialog {
    Q_OBJECT
public:
    enum Choice { Later, Restore, Delete };

    explicit RecoveryDialog(std::vector<AutosaveEntry> entries, QWidget* parent = nullptr);

    Choice choice() const { return choice_; }
    // The entries ticked when the dialog closed.
    std::vector<AutosaveEntry> Chosen() const;
    QTreeWidget* List() const { return list_; }

private:
    std::vector<AutosaveEntry> entries_;
    QTreeWidget* list_ = nullptr;
    Choice choice_ = Later;
};

} // namespace zepho
