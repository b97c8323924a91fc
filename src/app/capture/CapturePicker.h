// The window picker: a borderless window over the whole screen showing the frozen screen, with
// a red frame around the window under the pointer; a left click picks it, Escape gives up.
#pragma once

#include "edit/dialogs/CaptureModel.h"

#include <QImage>
#include <QWidget>

#include <functional>

namespace zepho {

class CapturePicker : public QWidget {
    Q_OBJECT
public:
    CapturePicker(IWindowSystem& sys, const PackedDib& frozen, std::function<void(POINT)> picked,
                  std::function<void()> cancelled);
    // Shows the picker over the whole screen with the keyboard held; false when it has no
    // window of its own to show.
    bool Open();
    WindowId Candidate() const { return candidate_; }
    // The window under a screen point, the picker looked through.
    void TrackPoint(POINT screen);

protected:
    void paintEvent(QPaintEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    // Screen pixels from the toolkit's logical coordinates and back.
    POINT ToScreen(QPointF global) const;
    QRect ToLogical(const RECT& r) const;

    IWindowSystem& sys_;
    QImage frozen_;
    std::function<void(POINT)> picked_;
    std::function<void()> cancelled_;
    WindowId candidate_ = 0;
    Region frame_;
};

} // namespace zepho
