// The shell's side of the core's service interfaces.
#pragma once

#include "platform/Services.h"

#include <QString>

class QWidget;
class QSettings;
class QStatusBar;
class QProgressBar;
class QLabel;

namespace zepho {

// Message boxes parented to the main window.
class QtUiHost : public IUiHost {
public:
    explicit QtUiHost(QWidget* parent) : parent_(parent) {}
    void MessageBox(const std::string& text, const std::string& caption, MsgIcon icon) override;
    bool AskYesNo(const std::string& text, const std::string& caption) override;
    bool ChoosePsdOpenFashion(int& fashion, bool& showTip) override;

private:
    QWidget* parent_;
};

// Integer settings in the INI file of organisation "Quarnix", group "Default".
class QtSettingsStore : public ISettingsStore {
public:
    explicit QtSettingsStore(QSettings& settings) : settings_(settings) {}
    bool ReadInt(const std::string& name, int& value) const override;
    void WriteInt(const std::string& name, int value) override;

private:
    QSettings& settings_;
};

// The status-bar text and progress bar; Pump repaints without taking user input.
class QtProgress : public IProgress {
public:
    QtProgress(QLabel* text, QProgressBar* bar) : text_(text), bar_(bar) {}
    void SetText(const std::string& text) override;
    void SetPos(int percent) override;
    void Pump() override;

private:
    QLabel* text_;
    QProgressBar* bar_;
};

// The system clipboard: our private block under its own MIME type, and plain images.
class QtClipboard : public IClipboard {
public:
    static const char kMimeType[];
    bool SetContents(const std::vector<BYTE>* privateBlock, const PackedDib* dib) override;
    bool HasPrivate() const override;
    bool GetPrivate(std::vector<BYTE>& block) const override;
    bool HasDib() const override;
    PackedDib GetDib() const override;
};

} // namespace zepho
