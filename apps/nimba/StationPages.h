// Tabs 0 and 1 of the main window: the frequency list and the schedule, on
// the program's list and schedule. Starting a station switches the
// program's own decoder and tunes the built-in receiver; the schedule runs
// on the housekeeping tick. Each page reads its settings (filters, sort
// order, selected row, column widths) from NIMBA.INI when it is created and
// writes them when it is left.
#pragma once

#include <QWidget>

#include "stations/FrequencyList.h"
#include "ui/StationTexts.h"

namespace zeb::ui {
class SchedulePanel;
class StationListPanel;
}  // namespace zeb::ui

namespace zeb::nimba {

class Nimba;

// The main program's numbers of the list's and schedule's strings.
ui::StationTexts nimbaStationTexts();

class FrequencyPage : public QWidget {
    Q_OBJECT
public:
    FrequencyPage(Nimba& nimba, QWidget* parent = nullptr);
    ~FrequencyPage() override;
    ui::StationListPanel* panel() const { return panel_; }

private:
    Nimba& nimba_;
    stations::ListSettings settings_;
    ui::StationListPanel* panel_ = nullptr;
};

class SchedulePage : public QWidget {
    Q_OBJECT
public:
    SchedulePage(Nimba& nimba, QWidget* parent = nullptr);
    ~SchedulePage() override;
    ui::SchedulePanel* panel() const { return panel_; }

private:
    Nimba& nimba_;
    ui::SchedulePanel* panel_ = nullptr;
};

}  // namespace zeb::nimba
