// What the core asks of the outside world. The Qt shell implements these; tests use doubles.
#pragma once

#include "platform/PackedDib.h"

#include <string>
#include <vector>

namespace zepho {

enum class MsgIcon { None, Information, Warning, Error, Question };

// Message boxes and the few modal choices the core needs in the middle of an operation.
class IUiHost {
public:
    virtual ~IUiHost() = default;
    virtual void MessageBox(const std::string& text, const std::string& caption, MsgIcon icon) = 0;
    virtual bool AskYesNo(const std::string& text, const std::string& caption) = 0;
    // How to open a PSD file with layers: `fashion` 0 imports the layers as objects, 1 reads the
    // composite image; `showTip` whether to ask again next time. Both come in preset; false when
    // the user cancelled (the caller then keeps its settings).
    virtual bool ChoosePsdOpenFashion(int& fashion, bool& showTip) { return false; }
};

// The status-bar text and progress bar of a long operation.
class IProgress {
public:
    virtual ~IProgress() = default;
    virtual void SetText(const std::string& text) = 0;
    // 0..100.
    virtual void SetPos(int percent) = 0;
    // Lets the shell repaint; never processes user input.
    virtual void Pump() = 0;
};

// Integer settings by name, all in the "Default" section.
class ISettingsStore {
public:
    virtual ~ISettingsStore() = default;
    virtual bool ReadInt(const std::string& name, int& value) const = 0;
    virtual void WriteInt(const std::string& name, int value) = 0;
};

// The private "Quarnix Zepho Image" block and plain DIBs on the system clipboard.
class IClipboard {
public:
    virtual ~IClipboard() = default;
    virtual bool SetContents(const std::vector<BYTE>* privateBlock, const PackedDib* dib) = 0;
    virtual bool HasPrivate() const = 0;
    virtual bool GetPrivate(std::vector<BYTE>& block) const = 0;
    virtual bool HasDib() const = 0;
    virtual PackedDib GetDib() const = 0;
};

} // namespace zepho
