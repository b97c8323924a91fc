// Start-up of autosave in the executable, and the options tests use to drive it.
#pragma once

#include "app/mainwindow/AutosaveController.h"

#include <QStringList>

#include <memory>

namespace zepho {

class CZephoApp;
class MainWindow;

// Autosave for the running application, after the question about what a crashed instance left.
// ZEPHO_AUTOSAVE_SECONDS sets the interval in seconds; ZEPHO_RECOVERY_ANSWER ("restore",
// "delete", "later") answers the question without the dialog.
std::unique_ptr<AutosaveController> StartAutosave(MainWindow& window, CZephoApp& app);

// Options for tests that run the executable: "--test-edit=negative" turns every object of the
// active document into its negative through the Negative command; "--test-save-and-quit" saves
// every modified document that has a file and ends the application.
bool IsTestOption(const QString& arg);
void RunTestOptions(MainWindow& window, const QStringList& args);

} // namespace zepho
