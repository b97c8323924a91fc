// The options panel: one page per tool, showing and editing the tool's settings.
#pragma once

#include "edit/view/ViewHost.h"

#include <QStackedWidget>

#include <functional>

class QLabel;

namespace zepho {

class CAppSettings;

class OptionsPanel : public QStackedWidget {
    Q_OBJECT
public:
    // runCommand runs one of the layout commands by its tooltip text on the active view.
    OptionsPanel(CAppSettings& settings, std::function<void(const QString&)> runCommand,
                 QWidget* parent = nullptr);

    // Shows the page of a tool (the text tool shows an empty page).
    void ShowToolPage(int tool);
    int CurrentPage() const { return currentIndex(); }
    void ShowPickedColour(const PickedColour& colour);

    enum Page {
        PageEmpty = 0,
        PageLayout = 1,
        PageSelection = 2,
        PageErase = 3,
        PagePen = 4,
        PageShape = 5,
        PagePickColor = 6,
        PageFlood = 7,
        PageShapeSelection = 8
    };
    // The page widget of a page number (for the tests).
    QWidget* PageWidget(int page) const {
        return page >= 0 && page <= 8 ? widget(pageIndex_[page]) : nullptr;
    }
    int CurrentPageNumber() const;
    QLabel* red = nullptr;
    QLabel* green = nullptr;
    QLabel* blue = nullptr;
    QLabel* transparent = nullptr;
    QLabel* swatch = nullptr;

private:
    QWidget* BuildLayoutPage();
    QWidget* BuildPickColorPage();

    CAppSettings& settings_;
    std::function<void(const QString&)> run_;
    int pageIndex_[9] = {};
};

} // namespace zepho
