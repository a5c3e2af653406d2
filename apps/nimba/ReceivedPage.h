// Tab 2 of the main window: the suite's received-files browser
// (ui::ReceivedPanel) with the main program's strings, bundle, message boxes,
// working directory and status field.
#pragma once

#include <QWidget>

#include "PageContext.h"
#include "ui/ReceivedPanel.h"

namespace zeb::nimba {

namespace receivedid = ui::receivedid;

class ReceivedPage : public ui::ReceivedPanel {
public:
    // `remembered`: the selected entry's index, kept by the program while
    // pages come and go (-1: none).
    ReceivedPage(PageContext& context, const weather::WeatherData* weatherData, int& remembered,
                 QWidget* parent = nullptr);
};

}  // namespace zeb::nimba
